// 15. The primary selection of a full history, read by another program:
// the program's window in Xvfb (bench_full_history), its history selected
// with Ctrl+A, and xclip reading the selection, the window's process's peak
// resident set meanwhile. 16. Orca after a flood, by orca_delay.sh.
#include "history_measures.h"

#include "processes.h"

#include <cerrno>
#include <csignal>
#include <fstream>
#include <poll.h>
#include <sstream>

namespace bench {

namespace {

// The peak resident set of a process so far, in bytes (VmHWM).
long PeakOf(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string key;
  long kb = 0;
  while (status >> key)
    if (key == "VmHWM:") {
      status >> kb;
      break;
    }
  return kb * 1024;
}

// Starts the peak anew from the present resident set; false where the
// kernel does not allow it.
bool ResetPeak(pid_t pid) {
  std::ofstream clear("/proc/" + std::to_string(pid) + "/clear_refs");
  clear << "5\n";
  clear.flush();
  return clear.good();
}

} // namespace

void PrimaryOfFullHistory(Context& context) {
  Xserver x;
  if (!x.Start()) {
    std::fprintf(stderr, "  Xvfb did not start: the selection not measured\n");
    return;
  }
  Child window =
      Spawn({context.Bin("bench_full_history"), std::to_string(context.counts.selectionLines)},
            {"DISPLAY=" + x.display, "QT_QPA_PLATFORM=xcb"});
  std::istringstream ready(window.ReadLine()); // once filled
  long started = 0, lines = 0;
  unsigned long long id = 0;
  ready >> started >> lines >> id;
  if (id == 0) {
    std::fprintf(stderr, "  bench_full_history did not start: the selection not measured\n");
    Stop(window);
    return;
  }
  usleep(500000);
  const long before = RssOf(window.pid);
  const bool reset = ResetPeak(window.pid);
  // As the notice says: a click in the history, Ctrl+A.
  Click(x, static_cast<xcb_window_t>(id), CentreOf("RichEdit1"), {"ctrl+a"});
  usleep(300000);
  const auto asked = Clock::now();
  Child reader = Spawn({"xclip", "-o", "-selection", "primary"}, {"DISPLAY=" + x.display});
  long peak = 0, read = 0;
  bool ended = false;
  std::vector<char> buffer(1 << 16);
  while (Since(asked) < 120) {
    peak = std::max(peak, RssOf(window.pid));
    pollfd p{reader.out, POLLIN, 0};
    if (poll(&p, 1, 10) <= 0) continue;
    const ssize_t n = ::read(reader.out, buffer.data(), buffer.size());
    if (n > 0) read += n;
    if (n == 0 || (n < 0 && errno != EINTR)) {
      ended = true;
      break;
    }
  }
  const double took = Since(asked);
  if (!ended) kill(reader.pid, SIGKILL);
  reader.Wait();
  if (reset) peak = std::max(peak, PeakOf(window.pid));
  Stop(window);
  std::fprintf(stderr,
               "    %ld lines held; %.1f MB resident before the click; xclip read %ld bytes in "
               "%.1f s%s\n",
               lines, double(before) / 1e6, read, took, reset ? "" : " (peak polled only)");
  constexpr double kMiB = 1 << 20;
  const double budget = (double(started) + (128 + 16 + 16 + 2) * kMiB) / 1e6;
  context.Record(Key::SelectionPeak, {Format("%.1f MB", double(peak) / 1e6),
                                      Format("%.1f MB stated", budget) +
                                          Format(" (%.1f + 169.9)", double(started) / 1e6),
                                      double(peak) / 1e6, budget, ended});
}

// ---- 16. A screen reader after a flood

void ScreenReader(Context& context) {
  const Counts& c = context.counts;
  Child script =
      Spawn({std::string(LANCHAT_BENCH_SOURCE) + "/orca_delay.sh", context.Bin("../app/lanchat"),
             context.Bin("bench_many_sender"), context.network.broadcast, context.Port(),
             std::to_string(c.readerFlood), std::to_string(c.readerWait)});
  const std::string out = script.ReadUntilExit();
  double idle = 0, flood = 0;
  const std::size_t lineEnd = out.find('\n');
  const std::string said = lineEnd == std::string::npos ? "" : out.substr(lineEnd + 1);
  if (std::sscanf(out.c_str(), "%lf %lf", &idle, &flood) != 2) {
    std::fprintf(stderr, "  16. not measured: %s", out.c_str());
    return;
  }
  std::fprintf(stderr, "    %s", said.c_str());
  const bool spoken = flood >= 0;
  context.Record(Key::ReaderTab, {spoken ? Format("%.0f ms", flood)
                                         : Format("not within %.0f s", double(c.readerWait)),
                                  Format("%.0f ms idle", idle), spoken ? flood : 1e9, idle});
}

} // namespace bench
