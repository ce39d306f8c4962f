// 12. How fast a flood fills the history (fill_measures.h) and 14. clearing
// a long history and undoing it, on the chat's window (offscreen) in this
// process; 13. paging over long lines, in bench_paging in Xvfb. 15. and 16.
// are in selection_measures.cpp.
#include "history_measures.h"

#include "answer.h"
#include "fill_measures.h"
#include "processes.h"

#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QKeyEvent>

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

namespace bench {

namespace {

// Markers posted to the window's thread every 10 ms from a thread of its
// own, as a user's events come while the window is busy; the slowest wait
// from posting until handled.
class Prober {
public:
  Prober()
      : sink_([this](std::size_t at) {
          const std::lock_guard lock(mutex_);
          waited_[at] = Since(posted_[at]) * 1000;
        }),
        thread_([this] {
          for (auto next = Clock::now(); !stop_.load();) {
            std::size_t at = 0;
            {
              const std::lock_guard lock(mutex_);
              at = posted_.size();
              posted_.push_back(Clock::now());
              waited_.push_back(-1);
            }
            QCoreApplication::postEvent(&sink_, new Marker(at));
            next += std::chrono::milliseconds(10);
            std::this_thread::sleep_until(next);
          }
        }) {}
  Prober(const Prober&) = delete;
  Prober& operator=(const Prober&) = delete;
  ~Prober() { Stop(); }

  // Stops posting, lets the last be handled; the slowest wait in ms.
  double Finish() {
    Stop();
    Pump(0.1);
    const std::lock_guard lock(mutex_);
    double slowest = 0;
    for (std::size_t i = 0; i < posted_.size(); ++i)
      slowest = std::max(slowest, waited_[i] >= 0 ? waited_[i] : Since(posted_[i]) * 1000);
    return slowest;
  }

private:
  void Stop() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  MarkerSink sink_;
  std::mutex mutex_;
  std::vector<Clock::time_point> posted_;
  std::vector<double> waited_; // ms, -1 until seen
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::string Hours(double seconds) {
  if (!std::isfinite(seconds)) return "never (no growth)";
  return seconds >= 3600 ? Format("%.1f h", seconds / 3600)
                         : Format(seconds >= 10 ? "%.0f s" : "%.1f s", seconds);
}

} // namespace

// ---- 12. A flood against the history's budget

void FillTime(Context& context) {
  const Counts& c = context.counts;
  const Chat chat{double(c.chatLead), double(c.chatEvery), c.chatSize};
  const auto seconds = double(c.fillSeconds);
  const Flood worst{c.worstAddresses, c.worstSize, seconds};
  const Flood steady{c.steadyAddresses, c.steadySize, seconds,
                     double(c.steadyAddresses * c.steadyRate), true};
  // The window's socket and the plain one are opened as the ordinary user's.
  const AsOrdinaryUser user;
  for (const auto& [flood, fillKey, neighbourKey] :
       {std::tuple{worst, Key::FillWorst, Key::FillWorstNeighbour},
        std::tuple{steady, Key::FillSteady, Key::FillSteadyNeighbour}}) {
    const Filling fill = FillUnderFlood(context.Setup(), flood, chat);
    Flood shorter = flood;
    shorter.seconds = double(c.fillBaseSeconds);
    const Heard plain = PlainUnderFlood(context.Setup(), shorter, chat);
    std::fprintf(stderr,
                 "    %ld datagrams sent in %.0f s; the history holds %ld lines, %.1f MB; over "
                 "the second half %.0f lines/s, %.3f MB/s\n",
                 fill.sent, fill.seconds, fill.lines, double(fill.bytes) / 1e6, fill.lineRate,
                 fill.byteRate / 1e6);
    const double wire = fill.sending > 0 ? double(fill.sent * flood.size) / fill.sending : 0;
    const double wireFill = wire > 0 ? double(EditModel::kBudget) / wire : 0;
    const std::string value =
        fill.filledAt > 0 ? Hours(fill.toFill) + " (full)" : Hours(fill.toFill) + " (extrapolated)";
    context.Record(fillKey, {value, Format("%.1f MB/s sent: ", wire / 1e6) + Hours(wireFill),
                             fill.toFill / 3600, 0, fill.sent > 0});
    const auto of = [](const Heard& heard) {
      return std::to_string(heard.shown) + " of " + std::to_string(heard.sent);
    };
    context.Record(neighbourKey,
                   {of(fill.neighbour), of(plain) + " plain socket", double(fill.neighbour.shown),
                    double(fill.neighbour.sent), fill.neighbour.sent > 0});
  }
}

// ---- 13. Paging over long lines, in bench_paging in Xvfb

namespace {

// bench_paging in the X server: the program's window, `lines` lines of
// `kind` (short, plain or high), the session timed.
Paged PageIn(const Context& context, const Xserver& x, long lines, const char* kind) {
  const Counts& c = context.counts;
  Child paging =
      Spawn({context.Bin("bench_paging"), std::to_string(lines), kind, std::to_string(c.longLine),
             std::to_string(c.pageKeys), std::to_string(c.wheelNotches)},
            {"DISPLAY=" + x.display, "QT_QPA_PLATFORM=xcb"});
  std::istringstream out(paging.ReadAll());
  paging.Wait();
  Paged paged;
  int sound = 0;
  out >> paged.slowest >> paged.median >> paged.keys >> paged.paints >> sound;
  paged.sound = sound == 1 && paged.keys > 0 && paged.paints >= paged.keys;
  std::fprintf(stderr, "    %s lines: slowest %.1f ms, median %.1f ms; %ld paints, %ld keys\n",
               kind, paged.slowest, paged.median, paged.paints, paged.keys);
  return paged;
}

} // namespace

void PagingLongLines(Context& context) {
  Xserver x;
  if (!x.Start()) {
    std::fprintf(stderr, "  Xvfb did not start: paging not measured\n");
    return;
  }
  const long lines = context.counts.pageLines;
  const Paged base = PageIn(context, x, lines, "short");
  const std::string baseline = Format("%.1f ms short lines", base.slowest);
  for (const auto& [kind, key] :
       {std::pair{"plain", Key::PageLong}, std::pair{"high", Key::PageHigh}}) {
    const Paged paged = PageIn(context, x, lines, kind);
    context.Record(key, {Format("%.1f ms", paged.slowest), baseline, paged.slowest, base.slowest,
                         paged.sound && base.sound});
  }
}

// ---- 14. Clearing a long history and undoing it

namespace {

struct Cleared {
  double erase = 0;   // Delete answered, ms
  double undo = 0;    // the slowest wait while Ctrl+Z brings the lines back, ms
  double restore = 0; // until all are back, s
  long lines = 0;
  bool sound = true; // cleared, then all back
};

Cleared ClearUndo(long lines) {
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  TStrings& text = *form->RichEdit1->Lines;
  // Empty lines, up to `lines` in all, 10,000 at a time: n breaks make
  // n + 1 lines.
  while (text.Count() < lines && text.HasRoom())
    text.Add(std::string(std::size_t(std::min(10000L, lines - text.Count()) - 1), '\n'));
  Pump(0.2);
  Cleared cleared;
  cleared.lines = text.Count();
  HistoryView* view = form->Component<TLogRichEdit>("RichEdit1").Log();
  view->setFocus();
  Answer(view, Press(Qt::Key_A, Qt::ControlModifier, QStringLiteral("a")));
  cleared.erase = Answer(view, Press(Qt::Key_Delete));
  cleared.sound = text.Count() <= 1;
  Prober prober;
  const auto t = Clock::now();
  const double key = Answer(view, Press(Qt::Key_Z, Qt::ControlModifier, QStringLiteral("z")));
  // (Up to a minute; 5 s if nothing comes back, the undo not offered.)
  while (text.Count() < cleared.lines && Since(t) < (text.Count() > 1 ? 60 : 5))
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  cleared.restore = Since(t);
  cleared.undo = std::max(key, prober.Finish());
  cleared.sound = cleared.sound && text.Count() == cleared.lines;
  return cleared;
}

} // namespace

void ClearAndUndo(Context& context) {
  const Cleared base = ClearUndo(context.counts.undoBaseLines);
  const Cleared full = ClearUndo(context.counts.undoLines);
  std::fprintf(stderr, "    %ld lines back in %.2f s (%ld lines: %.2f s)\n", full.lines,
               full.restore, base.lines, base.restore);
  const std::string at = " at " + Thousands(base.lines);
  context.Record(Key::ClearDelete,
                 {Format("%.1f ms", full.erase), Format("%.1f ms", base.erase) + at, full.erase,
                  base.erase, full.sound});
  context.Record(Key::ClearUndo, {Format("%.1f ms", full.undo), Format("%.1f ms", base.undo) + at,
                                  full.undo, base.undo, full.sound && base.sound});
}

} // namespace bench
