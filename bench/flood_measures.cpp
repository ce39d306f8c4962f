#include "flood_measures.h"

#include "processes.h"

#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QEventLoop>
#include <QInputDevice>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <malloc.h>
#include <memory>
#include <mutex>
#include <thread>

namespace bench {

namespace {

// Seconds this process's main thread has spent on a core and waiting for
// one (/proc schedstat).
std::pair<double, double> MainThreadTimes() {
  std::ifstream stat("/proc/self/task/" + std::to_string(getpid()) + "/schedstat");
  double ran = 0, waited = 0;
  stat >> ran >> waited;
  return {ran / 1e9, waited / 1e9};
}

// A key press that knows when it was posted: "x", then Backspace, in turn,
// so that the box never holds more than a character.
class TimedKey final : public QKeyEvent {
public:
  explicit TimedKey(std::size_t at)
      : QKeyEvent(QEvent::KeyPress, at % 2 == 0 ? Qt::Key_X : Qt::Key_Backspace, Qt::NoModifier,
                  at % 2 == 0 ? QStringLiteral("x") : QStringLiteral("\b")),
        index(at) {}
  const std::size_t index;
};

// Posts a key press to the box every 20 ms from a thread of its own, as
// the X server's events come in while the event loop is busy, and times
// each from its posting until an event filter on the box sees it.
class KeyProbe final : public QObject {
public:
  explicit KeyProbe(QWidget* box) : box_(box) {
    // The keyboard a key event names is made on first use: made here, on
    // the thread that owns the application.
    QInputDevice::primaryKeyboard();
    times_ = MainThreadTimes();
    box_->installEventFilter(this);
    thread_ = std::thread([this] { Post(); });
  }
  ~KeyProbe() override {
    StopPosting();
    box_->removeEventFilter(this);
  }
  KeyProbe(const KeyProbe&) = delete;
  KeyProbe& operator=(const KeyProbe&) = delete;

  // Stops posting and waits (up to 5 s) for the keys posted to be seen; a
  // key never seen counts as waiting until now.
  Keystrokes Finish() {
    StopPosting();
    const auto start = Clock::now();
    while (Unseen() > 0 && Since(start) < 5)
      QApplication::processEvents(QEventLoop::AllEvents, 5);
    const std::lock_guard lock(mutex_);
    Keystrokes keys;
    const auto [ran, waited] = MainThreadTimes();
    keys.ran = ran - times_.first;
    keys.waited = waited - times_.second;
    keys.count = static_cast<long>(posted_.size());
    for (std::size_t i = 0; i < posted_.size(); ++i) {
      const double wait = waited_[i] >= 0 ? waited_[i] : Since(posted_[i]) * 1000;
      if (wait <= keys.slowest) continue;
      keys.slowest = wait;
      if (waited_[i] < 0) continue;
      keys.slowestRan = (seenTimes_[i].first - postTimes_[i].first) * 1000;
      keys.slowestWaited = (seenTimes_[i].second - postTimes_[i].second) * 1000;
    }
    return keys;
  }

  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    if (const auto* key = dynamic_cast<TimedKey*>(event)) {
      const auto times = MainThreadTimes();
      const std::lock_guard lock(mutex_);
      waited_[key->index] = Since(posted_[key->index]) * 1000;
      seenTimes_[key->index] = times;
    }
    return false; // the box handles it
  }

private:
  void Post() {
    auto next = Clock::now();
    while (!stop_.load()) {
      std::size_t index = 0;
      const auto times = MainThreadTimes(); // read before the lock: the filter waits on it
      {
        const std::lock_guard lock(mutex_);
        index = posted_.size();
        posted_.push_back(Clock::now());
        waited_.push_back(-1);
        postTimes_.push_back(times);
        seenTimes_.push_back({});
      }
      QCoreApplication::postEvent(box_, new TimedKey(index));
      next += std::chrono::milliseconds(20);
      std::this_thread::sleep_until(next);
    }
  }
  void StopPosting() {
    stop_.store(true);
    if (thread_.joinable()) thread_.join();
  }
  long Unseen() {
    const std::lock_guard lock(mutex_);
    return std::count(waited_.begin(), waited_.end(), -1.0);
  }

  QWidget* box_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Clock::time_point> posted_;
  std::vector<double> waited_; // ms, -1 until seen
  // The window's thread's times (on a core, waiting) at posting and when seen.
  std::vector<std::pair<double, double>> postTimes_, seenTimes_;
  std::pair<double, double> times_;
};

// Runs the event loop as the program does, for `seconds`.
void RunLoop(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

Child Neighbour(const FloodSetup& setup, const std::string& from, const char* nick,
                double seconds) {
  const long count = static_cast<long>(setup.neighbourRate * seconds);
  return Spawn({setup.binDir + "/bench_sender", setup.broadcast, std::to_string(setup.port),
                std::to_string(count), Format("%g", setup.neighbourRate)},
               {"BENCH_FROM=" + from, std::string("BENCH_NICK=") + nick});
}

long SentBy(Child& child) {
  std::istringstream text(child.ReadAll());
  child.Wait();
  long sent = 0;
  text >> sent;
  return sent;
}

// A flood beside its neighbours: the first from 1 s before it, the second
// from 2 s into it; `wait` lets the seconds go by.
struct Senders {
  Child flooder, neighbour, late;
  Senders(const FloodSetup& setup, const Flood& flood, void (*wait)(double)) {
    const bool neighbours = setup.neighbourRate > 0;
    if (neighbours) {
      neighbour = Neighbour(setup, setup.neighbour, "Voisin", flood.seconds + 1);
      wait(1);
    }
    flooder = Spawn(FloodCommand(setup, flood));
    wait(2);
    if (neighbours) late = Neighbour(setup, setup.lateNeighbour, "Voisine", flood.seconds - 2);
    wait(flood.seconds - 2);
  }
  void Collect(UnderFlood& result) {
    result.sent = SentBy(flooder);
    if (neighbour.pid > 0) result.neighbour.sent = SentBy(neighbour);
    if (late.pid > 0) result.late.sent = SentBy(late);
  }
};

void Sleep(double seconds) { usleep(static_cast<useconds_t>(seconds * 1e6)); }

} // namespace

std::vector<std::string> FloodCommand(const FloodSetup& setup, const Flood& flood) {
  return {setup.binDir + "/bench_many_sender", setup.broadcast,
          std::to_string(setup.port),          std::to_string(flood.addresses),
          Format("%.1f", flood.seconds),       std::to_string(flood.size),
          Format("%.0f", flood.rate),          flood.ascii ? "ascii" : "bytes"};
}

UnderFlood InWindow(const FloodSetup& setup, const Flood& flood) {
  UnderFlood result;
  const long dropsBefore = DropsOn(setup.port);
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  Pump(0.2);
  // The neighbours' messages that reach the history.
  const TUDPDataReceivedEvent handler = form->NMUDP1->OnDataReceived;
  TStrings& lines = *form->RichEdit1->Lines;
  form->NMUDP1->OnDataReceived = [&](TComponent* sender, int bytes, AnsiString ip, int port) {
    Heard* heard = ip == setup.neighbour       ? &result.neighbour
                   : ip == setup.lateNeighbour ? &result.late
                                               : nullptr;
    const int before = lines.Count();
    handler(sender, bytes, std::move(ip), port);
    if (heard != nullptr && lines.Count() > before) ++heard->shown;
  };
  KeyProbe probe(form->Component<TPlainRichEdit>("RichEdit2").TextEdit());
  Senders senders(setup, flood, RunLoop);
  // What the socket still holds is shown, keystrokes still timed.
  const auto end = Clock::now();
  while ((form->NMUDP1->Queued() > 0 || Since(end) < 0.5) && Since(end) < 10)
    RunLoop(0.1);
  senders.Collect(result);
  result.keys = probe.Finish();
  result.drops = DropsOn(setup.port) - dropsBefore;
  form->NMUDP1->OnDataReceived = handler;
  return result;
}

UnderFlood InPlainSocket(const FloodSetup& setup, const Flood& flood) {
  UnderFlood result;
  Child receiver = Spawn({setup.binDir + "/bench_baseline_receiver", std::to_string(setup.port),
                          "2000", setup.neighbour, setup.lateNeighbour});
  receiver.ReadLine(); // ready
  Senders senders(setup, flood, Sleep);
  senders.Collect(result);
  std::istringstream got(receiver.ReadAll());
  receiver.Wait();
  long count = 0;
  double span = 0;
  got >> count >> span >> result.drops >> result.neighbour.shown >> result.late.shown;
  return result;
}

UnderFlood SendersAlone(const FloodSetup& setup, const Flood& flood) {
  UnderFlood result;
  Senders senders(setup, flood, Sleep);
  senders.Collect(result);
  return result;
}

Keystrokes Idle(double seconds) {
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  Pump(0.2);
  KeyProbe probe(form->Component<TPlainRichEdit>("RichEdit2").TextEdit());
  RunLoop(seconds);
  return probe.Finish();
}

FillAndClear FillAndClearCycles(int cycles, long lines) {
  FillAndClear result;
  const auto start = Clock::now();
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  Pump(0.2);
  HistoryView* view = form->Component<TLogRichEdit>("RichEdit1").Log();
  const EditModel& model = view->Model();
  // Where the first cycle begins: without what earlier figures left free.
  malloc_trim(0);
  result.before = RssOf(0);
  for (int cycle = 0; cycle < cycles; ++cycle) {
    // Filled as messages fill it, to its capacity or its budget.
    for (long n = 0; !model.Full() && (lines == 0 || n < lines); ++n) {
      form->RichEdit1->Lines->Add("abcdefghijklmnopqrst");
      if (n % 65536 == 0) QApplication::processEvents();
    }
    Pump(0.1);
    result.lines = static_cast<long>(model.LineCount());
    result.full = RssOf(0);
    // Cleared as a user would: in the history, Ctrl+A, then Delete.
    view->setFocus();
    QKeyEvent selectAll(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier, QStringLiteral("a"));
    QApplication::sendEvent(view, &selectAll);
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(view, &erase);
    Pump(0.3);
    result.cleared = result.cleared && model.CharacterCount() == 0;
    result.after.push_back(RssOf(0));
  }
  result.seconds = Since(start);
  return result;
}

} // namespace bench
