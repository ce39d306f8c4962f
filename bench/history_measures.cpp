// 12. How fast a flood fills the history (fill_measures.h), 13. paging over
// long lines and 14. clearing a long history and undoing it, on the chat's
// window (offscreen) in this process. 15. is in selection_measures.cpp.
#include "history_measures.h"

#include "bench_process.h"
#include "fill_measures.h"

#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QKeyEvent>
#include <QWheelEvent>

#include <atomic>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <tuple>

namespace bench {

namespace {

// An event of its own type, noted when it reaches its receiver.
const auto kMarkerType = static_cast<QEvent::Type>(QEvent::registerEventType());

class Marker final : public QEvent {
public:
  explicit Marker(std::size_t at) : QEvent(kMarkerType), index(at) {}
  const std::size_t index;
};

// Receives markers on the window's thread; `seen` is called with each.
class MarkerSink final : public QObject {
public:
  explicit MarkerSink(std::function<void(std::size_t)> seen) : seen_(std::move(seen)) {}
  bool event(QEvent* event) override {
    if (event->type() != kMarkerType) return QObject::event(event);
    seen_(static_cast<Marker*>(event)->index);
    return true;
  }

private:
  std::function<void(std::size_t)> seen_;
};

// Posts `event` to `target`; once it is handled, posts a marker below the
// priority of a repaint's request (a batch of posted events being handled
// takes what it posts after itself): ms until that marker is handled, the
// event handled and the window repainted.
double Answer(QObject* target, QEvent* event) {
  int seen = 0;
  MarkerSink sink([&](std::size_t) { ++seen; });
  const auto t = Clock::now();
  QCoreApplication::postEvent(target, event);
  QCoreApplication::postEvent(&sink, new Marker(0), Qt::LowEventPriority - 1);
  for (int posted = 1; seen < 2;) {
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (seen == posted && posted++ == 1)
      QCoreApplication::postEvent(&sink, new Marker(0), Qt::LowEventPriority - 1);
  }
  return Since(t) * 1000;
}

QKeyEvent* Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
               const QString& text = {}) {
  return new QKeyEvent(QEvent::KeyPress, key, modifiers, text);
}

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

// ---- 13. Paging over long lines

namespace {

struct Paged {
  double slowest = 0, median = 0;
  long keys = 0, paints = 0; // paints of the history's viewport while they were timed
  bool sound = true;         // Ctrl+End and Ctrl+Home reached the ends
};

// Counts the paints of a widget.
class PaintCounter final : public QObject {
public:
  explicit PaintCounter(QWidget* widget) : widget_(widget) { widget_->installEventFilter(this); }
  ~PaintCounter() override { widget_->removeEventFilter(this); }
  PaintCounter(const PaintCounter&) = delete;
  PaintCounter& operator=(const PaintCounter&) = delete;
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
  long paints = 0;

private:
  QWidget* widget_;
};

Paged Page(const Counts& c, const std::string& line) {
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  for (long i = 0; i < c.pageLines; ++i)
    form->RichEdit1->Lines->Add(line);
  Pump(0.2);
  HistoryView* view = form->Component<TLogRichEdit>("RichEdit1").Log();
  const EditModel& model = view->Model();
  view->setFocus();
  Pump(0.05);
  Paged paged;
  const PaintCounter painted(view->viewport());
  std::vector<double> times;
  const auto press = [&](int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    times.push_back(Answer(view, Key(key, modifiers)));
  };
  const auto notches = [&](int count, int angle) {
    QWidget* viewport = view->viewport();
    const QPointF at(viewport->width() / 2.0, viewport->height() / 2.0);
    for (int i = 0; i < count; ++i)
      times.push_back(Answer(viewport, new QWheelEvent(at, viewport->mapToGlobal(at), QPoint(),
                                                       QPoint(0, angle), Qt::NoButton,
                                                       Qt::NoModifier, Qt::NoScrollPhase, false)));
  };
  const auto atStart = [&] { paged.sound = paged.sound && model.Cursor().line == 0; };
  const auto atEnd = [&] {
    paged.sound = paged.sound && model.Cursor().line + 1 == model.LineCount();
  };
  press(Qt::Key_Home, Qt::ControlModifier);
  atStart();
  for (long i = 0; i < c.pageKeys; ++i)
    press(Qt::Key_PageDown);
  press(Qt::Key_End, Qt::ControlModifier);
  atEnd();
  for (long i = 0; i < c.pageKeys; ++i)
    press(Qt::Key_PageUp);
  press(Qt::Key_Home, Qt::ControlModifier);
  atStart();
  notches(int(c.wheelNotches), -120);
  press(Qt::Key_End, Qt::ControlModifier);
  atEnd();
  notches(int(c.wheelNotches), 120);
  paged.keys = static_cast<long>(times.size());
  paged.paints = painted.paints;
  paged.slowest = *std::max_element(times.begin(), times.end());
  paged.median = Median(times);
  return paged;
}

} // namespace

void PagingLongLines(Context& context) {
  const Counts& c = context.counts;
  std::string plain, high;
  for (long i = 0; i < c.longLine; ++i) {
    plain.push_back(static_cast<char>('a' + i % 26));
    high.push_back(static_cast<char>(0x80 + i % 32));
  }
  const Paged base = Page(c, "abcdefghijklmnopqrst");
  std::fprintf(stderr, "    short lines: slowest %.1f ms, median %.1f ms; %ld paints, %ld keys\n",
               base.slowest, base.median, base.paints, base.keys);
  const std::string baseline = Format("%.1f ms short lines", base.slowest);
  for (const auto& [line, key] :
       {std::pair{&plain, Key::PageLong}, std::pair{&high, Key::PageHigh}}) {
    const Paged paged = Page(c, *line);
    std::fprintf(stderr, "    median %.1f ms; %ld paints, %ld keys\n", paged.median, paged.paints,
                 paged.keys);
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
  // Empty lines, 10,000 at a time: each break starts another line.
  const std::string block(9999, '\n');
  while (text.Count() < lines && text.HasRoom())
    text.Add(text.Count() + 10000 <= lines ? block
                                           : std::string(std::size_t(lines - text.Count()), '\n'));
  Pump(0.2);
  Cleared cleared;
  cleared.lines = text.Count();
  HistoryView* view = form->Component<TLogRichEdit>("RichEdit1").Log();
  view->setFocus();
  Answer(view, Key(Qt::Key_A, Qt::ControlModifier, QStringLiteral("a")));
  cleared.erase = Answer(view, Key(Qt::Key_Delete));
  cleared.sound = text.Count() <= 1;
  Prober prober;
  const auto t = Clock::now();
  const double key = Answer(view, Key(Qt::Key_Z, Qt::ControlModifier, QStringLiteral("z")));
  while (text.Count() < cleared.lines && Since(t) < 60)
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
