// Reads and drives the chat's window from outside, as the Wine tests need:
//   window_probe [--title T] [--wait S] [--count N] [--window K] [VERB...]
// finds the top-level windows titled T ("Form1"), waiting up to S seconds
// (10) until N of them (1) are shown, and acts on the K-th (0, in the order
// of their handles). Verbs, done in turn:
//   --list                  the window and every control (the default)
//   --set-text TARGET TEXT  WM_SETTEXT, as typing the text would leave it
//   --fill TARGET N         WM_SETTEXT of N lines "x", as a paste would leave it
//   --click TARGET          BM_CLICK: the button pressed and released
//   --text TARGET           the control's whole text, on one line
//   --ping MS               whether the window answers within MS ms; prints ms
//   --sleep MS              waits MS ms (between pings, from one process)
//   --shot FILE             a 24-bit BMP of the window as the screen shows it
//   --close                 WM_CLOSE, as the title bar's close box sends
// A TARGET is a control's index in the list, or @X,Y: the smallest control
// holding that point of the client area, where a user would click.
// --list prints tab-separated lines, text last (UTF-8; \ \t \r \n escaped):
//   window  -  CLASS  X Y W H  TITLE   the outer rectangle, on the screen
//   client  -  -      0 0 W H          the client area
//   dpi     -  -      DPI
//   child   I  CLASS  X Y W H  TEXT    in the window's client coordinates
// Exit codes: 0 done, 1 no such window or control, 2 usage, 3 no answer.
//   window_probe --idle-window T
// shows an empty window titled T that only answers, until it is closed: a
// baseline for --ping, under the same load.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Control {
  HWND hwnd;
  RECT rect; // in the window's client coordinates
};

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size,
                      nullptr, nullptr);
  return out;
}

std::string Escaped(const std::wstring& text) {
  std::string out;
  for (const char c : Utf8(text)) {
    switch (c) {
    case '\\': out += "\\\\"; break;
    case '\t': out += "\\t"; break;
    case '\r': out += "\\r"; break;
    case '\n': out += "\\n"; break;
    default: out += c;
    }
  }
  return out;
}

// The text through WM_GETTEXT, which Windows carries across processes (the
// EM_ messages with pointers it does not).
std::wstring TextOf(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return {};
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(std::min<std::size_t>(copied, length));
  return text;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[256] = {};
  GetClassNameW(hwnd, name, 256);
  return name;
}

std::vector<HWND> FindWindows(const std::wstring& title) {
  std::vector<HWND> found;
  struct Search {
    const std::wstring* title;
    std::vector<HWND>* found;
  } search{&title, &found};
  EnumWindows(
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t text[256] = {};
        GetWindowTextW(hwnd, text, 256);
        if (IsWindowVisible(hwnd) && *s->title == text) s->found->push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  std::sort(found.begin(), found.end());
  return found;
}

std::vector<Control> Controls(HWND window) {
  struct Walk {
    HWND window;
    std::vector<Control> controls;
  } walk{window, {}};
  EnumChildWindows(
      window,
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* w = reinterpret_cast<Walk*>(data);
        RECT rect{};
        GetWindowRect(hwnd, &rect);
        MapWindowPoints(HWND_DESKTOP, w->window, reinterpret_cast<POINT*>(&rect), 2);
        w->controls.push_back({hwnd, rect});
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&walk));
  return walk.controls;
}

void PrintLine(const char* kind, const std::string& index, const std::wstring& cls, const RECT& r,
               const std::wstring& text) {
  std::printf("%s\t%s\t%s\t%ld\t%ld\t%ld\t%ld\t%s\n", kind, index.c_str(), Escaped(cls).c_str(),
              r.left, r.top, r.right - r.left, r.bottom - r.top, Escaped(text).c_str());
}

void List(HWND window) {
  RECT outer{};
  GetWindowRect(window, &outer);
  PrintLine("window", "-", ClassOf(window), outer, TextOf(window));
  RECT client{};
  GetClientRect(window, &client);
  PrintLine("client", "-", L"-", client, L"");
  HDC dc = GetDC(window);
  std::printf("dpi\t-\t-\t%d\n", GetDeviceCaps(dc, LOGPIXELSX));
  ReleaseDC(window, dc);
  const auto controls = Controls(window);
  for (std::size_t i = 0; i < controls.size(); ++i)
    PrintLine("child", std::to_string(i), ClassOf(controls[i].hwnd), controls[i].rect,
              TextOf(controls[i].hwnd));
}

// The control a TARGET names, or null.
HWND Target(HWND window, const wchar_t* target) {
  const auto controls = Controls(window);
  long x = 0, y = 0;
  if (std::swscanf(target, L"@%ld,%ld", &x, &y) == 2) {
    HWND best = nullptr;
    long bestArea = 0;
    for (const auto& c : controls) {
      const POINT p{x, y};
      const long area = (c.rect.right - c.rect.left) * (c.rect.bottom - c.rect.top);
      if (PtInRect(&c.rect, p) && (!best || area < bestArea)) best = c.hwnd, bestArea = area;
    }
    return best;
  }
  wchar_t* end = nullptr;
  const unsigned long index = std::wcstoul(target, &end, 10);
  return (end != target && *end == 0 && index < controls.size()) ? controls[index].hwnd : nullptr;
}

bool Shot(HWND window, const wchar_t* path) {
  RECT r{};
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const int stride = (w * 3 + 3) & ~3;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  const bool copied = BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != 0;
  GdiFlush();
  bool written = false;
  if (FILE* f = copied ? _wfopen(path, L"wb") : nullptr) {
    const DWORD size = static_cast<DWORD>(stride) * static_cast<DWORD>(h);
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const BITMAPFILEHEADER file{0x4D42, offset + size, 0, 0, offset};
    written = std::fwrite(&file, sizeof file, 1, f) == 1 &&
              std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f) == 1 &&
              std::fwrite(bits, size, 1, f) == 1;
    written = std::fclose(f) == 0 && written;
  }
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return written;
}

int Usage() {
  std::fputs("usage: window_probe [--title T] [--wait S] [--count N] [--window K] [--list] "
             "[--set-text TARGET TEXT] [--fill TARGET N] [--click TARGET] [--text TARGET] [--ping "
             "MS] [--sleep MS] "
             "[--shot FILE] [--close]\n",
             stderr);
  return 2;
}

} // namespace

// An empty window that does nothing but answer, until closed.
int IdleWindow(const wchar_t* title) {
  WNDCLASSW kind{};
  kind.lpfnWndProc = [](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
    if (message == WM_DESTROY) PostQuitMessage(0);
    return DefWindowProcW(hwnd, message, wParam, lParam);
  };
  kind.hInstance = GetModuleHandleW(nullptr);
  kind.lpszClassName = L"IdleWindow";
  RegisterClassW(&kind);
  CreateWindowExW(0, kind.lpszClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                  nullptr, nullptr, kind.hInstance, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0)
    DispatchMessageW(&message);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc == 3 && std::wstring(argv[1]) == L"--idle-window") return IdleWindow(argv[2]);
  std::wstring title = L"Form1";
  double wait = 10;
  std::size_t count = 1, which = 0;
  int first = 1;
  for (; first + 1 < argc; first += 2) {
    const std::wstring option = argv[first];
    if (option == L"--title")
      title = argv[first + 1];
    else if (option == L"--wait")
      wait = _wtof(argv[first + 1]);
    else if (option == L"--count")
      count = std::wcstoul(argv[first + 1], nullptr, 10);
    else if (option == L"--window")
      which = std::wcstoul(argv[first + 1], nullptr, 10);
    else
      break;
  }
  std::vector<HWND> windows;
  const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(wait * 1000);
  while ((windows = FindWindows(title)).size() < std::max(count, which + 1) &&
         GetTickCount64() < deadline)
    Sleep(100);
  if (windows.size() <= which) {
    std::fprintf(stderr, "window_probe: %zu window(s) titled \"%s\", none at %zu\n", windows.size(),
                 Utf8(title).c_str(), which);
    return 1;
  }
  HWND window = windows[which];
  if (first == argc) List(window);
  for (int i = first; i < argc; ++i) {
    const std::wstring verb = argv[i];
    const int left = argc - i - 1;
    auto control = [&]() -> HWND {
      HWND hwnd = Target(window, argv[i + 1]);
      if (!hwnd) std::fprintf(stderr, "window_probe: no control %s\n", Utf8(argv[i + 1]).c_str());
      return hwnd;
    };
    DWORD_PTR answer = 0;
    if (verb == L"--list") {
      List(window);
    } else if (verb == L"--set-text" && left >= 2) {
      HWND hwnd = control();
      if (!hwnd) return 1;
      if (!SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[i + 2]),
                               SMTO_ABORTIFHUNG, 5000, &answer))
        return 3;
      i += 2;
    } else if (verb == L"--fill" && left >= 2) {
      HWND hwnd = control();
      if (!hwnd) return 1;
      std::wstring text;
      for (unsigned long n = std::wcstoul(argv[i + 2], nullptr, 10); n > 0; --n)
        text += n > 1 ? L"x\r\n" : L"x";
      if (!SendMessageTimeoutW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                               SMTO_ABORTIFHUNG, 30000, &answer))
        return 3;
      i += 2;
    } else if (verb == L"--click" && left >= 1) {
      HWND hwnd = control();
      if (!hwnd) return 1;
      if (!SendMessageTimeoutW(hwnd, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer)) return 3;
      ++i;
    } else if (verb == L"--text" && left >= 1) {
      HWND hwnd = control();
      if (!hwnd) return 1;
      std::printf("%s\n", Escaped(TextOf(hwnd)).c_str());
      ++i;
    } else if (verb == L"--ping" && left >= 1) {
      const ULONGLONG start = GetTickCount64();
      const UINT ms = static_cast<UINT>(std::wcstoul(argv[++i], nullptr, 10));
      if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ms, &answer)) return 3;
      std::printf("%llu\n", GetTickCount64() - start);
    } else if (verb == L"--sleep" && left >= 1) {
      Sleep(static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10)));
    } else if (verb == L"--shot" && left >= 1) {
      if (!Shot(window, argv[++i])) return 1;
    } else if (verb == L"--close") {
      PostMessageW(window, WM_CLOSE, 0, 0);
    } else {
      return Usage();
    }
    std::fflush(stdout);
  }
  return 0;
}
