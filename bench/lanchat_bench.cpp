// The benchmark: prints each figure beside a baseline measured in the same
// run. In-process figures use the offscreen platform; start-up and the flood
// run the real program in Xvfb. Loopback only; every loop is bounded.
//
//   lanchat_bench BIN_DIR [--quick] [--only 9,10] [--windows DIR]
//                                       takes the readings (of those figures
//                                       only; 19. with the Windows build in
//                                       DIR), prints the results
//   lanchat_bench --markdown [--quick]  prints the table of figures (how,
//                                       baseline, target) as Markdown
//
// Every figure, every row of the results and every target is in kFigures
// (figures.cpp); the measures only take readings and record them under a
// row's key.
#include "figures.h"
#include "find_measures.h"
#include "history_measures.h"
#include "inprocess_measures.h"
#include "processes.h"
#include "wine_measures.h"
#include "x11_measures.h"

#include <QApplication>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

using namespace bench;

// The measures, in the order they run, and the figures each reads.
struct Measure {
  void (*measure)(Context&);
  std::vector<int> figures;
};
const std::array<Measure, 14> kMeasures{{{Bursts, {1}},
                                         {Growth, {2}},
                                         {Latency, {3}},
                                         {MemoryPerLine, {5}},
                                         {LongHistory, {7}},
                                         {FillClear, {11}},
                                         {PagingLongLines, {13}},
                                         {ClearAndUndo, {14}},
                                         {InXserver, {4, 5, 6, 8, 9, 10, 17}},
                                         {FillTime, {12}},
                                         {PrimaryOfFullHistory, {15}},
                                         {ScreenReader, {16}},
                                         {FindInFullHistory, {18}},
                                         {UnderWine, {19}}}};

} // namespace

int main(int argc, char** argv) {
  Context context;
  bool markdown = false, usage = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--quick")
      context.quick = true;
    else if (arg == "--windows" && i + 1 < argc)
      context.windowsDir = argv[++i];
    else if (arg == "--markdown")
      markdown = true;
    else if (arg == "--only" && i + 1 < argc)
      for (std::istringstream list(argv[++i]); list.good();) {
        int figure = 0;
        char comma = 0;
        if (list >> figure) context.only.push_back(figure);
        list >> comma;
      }
    else if (context.binDir.empty() && !arg.starts_with("-"))
      context.binDir = arg;
    else
      usage = true;
  }
  if (usage || (!markdown && context.binDir.empty())) {
    std::fprintf(stderr, "usage: lanchat_bench BIN_DIR [--quick] [--only 9,10] [--windows DIR]\n"
                         "       lanchat_bench --markdown [--quick]\n");
    return 2;
  }
  context.counts = context.quick ? kQuick : kFull;
  context.network = Configured();
  if (markdown) {
    PrintMarkdown(context.counts, context.network);
    return 0;
  }
  if (!OnLoopback(context.network.broadcast)) {
    std::fprintf(stderr,
                 "lanchat_bench floods loopback only; this build sends to %s. Build it with a "
                 "broadcast address of 127.x.x.255 (the default).\n",
                 context.network.broadcast.c_str());
    return 1;
  }
  std::signal(SIGPIPE, SIG_IGN);
  if (Listening(context.network.port)) {
    std::fprintf(stderr, "UDP port %d is in use: close every lanchat first.\n",
                 context.network.port);
    return 1;
  }
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  std::fprintf(stderr, "%s run\n", context.quick ? "Quick" : "Full");
  // The floods meet the receive buffer an ordinary user gets where the
  // Debian package is installed, whatever this host is set to (17. also
  // measures a fresh Debian's); the host's own limit is put back.
  const long hostLimit = ReceiveLimit();
  if (SetReceiveLimit(kPackageReceiveLimit))
    std::fprintf(stderr, "net.core.rmem_max: %ld for the run (the host's: %ld)\n",
                 kPackageReceiveLimit, hostLimit);
  else
    std::fprintf(stderr, "net.core.rmem_max: the host's, %ld (not handed over)\n", hostLimit);
  for (const auto& [measure, figures] : kMeasures)
    if (std::any_of(figures.begin(), figures.end(), [&](int f) { return context.Wants(f); }))
      measure(context);
  SetReceiveLimit(hostLimit);
  context.Print();
  return 0;
}
