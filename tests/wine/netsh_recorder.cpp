// Stands in for netsh.exe in a test's Wine prefix, whose own netsh does
// nothing: appends its arguments, one line per call, to C:\netsh.log, so a
// test can read what the installer asked of Windows Defender Firewall.
#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t** argv) {
  std::wstring line;
  for (int i = 1; i < argc; ++i)
    line += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
  line += L"\n";
  FILE* log = _wfopen(L"C:\\netsh.log", L"ab");
  if (!log) return 1;
  const int size = WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), size,
                      nullptr, nullptr);
  const bool written = std::fwrite(utf8.data(), 1, utf8.size(), log) == utf8.size();
  return std::fclose(log) == 0 && written ? 0 : 1;
}
