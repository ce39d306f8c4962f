// The program's window, started as the program starts, its history then
// given LINES lines (through its lines, as messages are added) of KIND:
// "short" (20 characters), "plain" (LENGTH characters without spaces) or
// "high" (LENGTH bytes 0x80-0x9F, decoded as the program decodes them).
// Then a paging session (answer.h: KEYS Page Down and Page Up, NOTCHES of
// the wheel each way), each key timed in this process. Prints the slowest
// and the median in ms, the keys, the viewport's paints, and 1 if Ctrl+Home
// and Ctrl+End reached the ends (else 0); then ends.
#include "answer.h"

#include <platform/Forms.h>
#include <ui/Form1.h>

#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr, "usage: bench_paging LINES KIND LENGTH KEYS NOTCHES\n");
    return 2;
  }
  const long lines = std::atol(argv[1]);
  const std::string kind = argv[2];
  const long length = std::atol(argv[3]);
  const long keys = std::atol(argv[4]);
  const long notches = std::atol(argv[5]);
  std::string line;
  if (kind == "short") line = "abcdefghijklmnopqrst";
  for (long i = 0; kind != "short" && i < length; ++i)
    line.push_back(kind == "high" ? static_cast<char>(0x80 + i % 32)
                                  : static_cast<char>('a' + i % 26));
  Application->Initialize();
  Application->CreateForm(Form1);
  QTimer::singleShot(300, [&] {
    const bench::Paged paged = bench::Page(*Form1, lines, line, keys, notches);
    std::printf("%.3f %.3f %ld %ld %d\n", paged.slowest, paged.median, paged.keys, paged.paints,
                paged.sound ? 1 : 0);
    std::fflush(stdout);
    std::_Exit(0); // measured: no need to close the window as a user would
  });
  Application->Run();
  return 1;
}
