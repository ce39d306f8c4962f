// The program's window, started as the program starts, its history then
// filled with 20-character lines as messages fill it, up to its budget (or
// LINES, if given and fewer); the notice that it is full is closed, as a
// user would. Prints its resident set 300 ms after start-up (bytes), the
// lines held and the window's id, then runs as the program does.
#include "processes.h"

#include <platform/Forms.h>
#include <ui/Form1.h>

#include <QMessageBox>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  const long most = argc > 1 ? std::atol(argv[1]) : 0;
  Application->Initialize();
  Application->CreateForm(Form1);
  QTimer::singleShot(300, [most] {
    const long resident = bench::RssOf(0);
    TStrings& lines = *Form1->RichEdit1->Lines;
    for (long n = 0; lines.HasRoom() && (most == 0 || n < most); ++n)
      lines.Add("abcdefghijklmnopqrst");
    bench::Pump(0.2);
    for (QWidget* widget : QApplication::topLevelWidgets())
      if (auto* box = qobject_cast<QMessageBox*>(widget)) box->close();
    bench::Pump(0.2);
    std::printf("%ld %d %llu\n", resident, lines.Count(),
                static_cast<unsigned long long>(Form1->Window()->winId()));
    std::fflush(stdout);
  });
  Application->Run();
  return 0;
}
