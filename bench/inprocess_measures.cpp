// The figures measured in the benchmark's own process: the chat's window,
// offscreen, fed by bench_sender or through its history's lines, each beside
// a plain baseline taken in the same run.
#include "inprocess_measures.h"

#include "flood_measures.h"
#include "processes.h"

#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <cstdio>
#include <malloc.h>
#include <memory>
#include <netinet/in.h>
#include <sstream>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace bench {

namespace {
// Counts and times the datagrams a window handles, calling its own handler.
struct Meter {
  explicit Meter(TForm1& window) : handler(window.NMUDP1->OnDataReceived) {
    window.NMUDP1->OnDataReceived = [this](TComponent* s, int n, AnsiString ip, int port) {
      const auto t = Clock::now();
      if (count++ == 0) first = t;
      handler(s, n, std::move(ip), port);
      last = Clock::now();
      busy += last - t;
    };
  }
  TUDPDataReceivedEvent handler;
  long count = 0;
  Clock::time_point first, last;
  Clock::duration busy{};
  [[nodiscard]] double Span() const { return std::chrono::duration<double>(last - first).count(); }
};

} // namespace

// ---- 1. Bursts into the history

void Bursts(Context& context) {
  const long count = context.counts.burst;
  for (const double rate : {double(context.counts.pacedRate), 0.0}) {
    // Baseline: a receiver that only reads.
    Child receiver = Spawn({context.Bin("bench_baseline_receiver"), context.Port(), "500"});
    receiver.ReadLine();
    Child sender = Send(context, count, rate);
    std::istringstream sent(sender.ReadAll());
    sender.Wait();
    long sentCount = 0;
    double sendSeconds = 0;
    sent >> sentCount >> sendSeconds;
    std::istringstream got(receiver.ReadAll());
    receiver.Wait();
    long baseCount = 0;
    double baseSpan = 0;
    got >> baseCount >> baseSpan;

    // The window.
    auto form = std::make_unique<TForm1>(nullptr);
    form->Show();
    Meter meter(*form);
    Child flood = Send(context, count, rate);
    const auto start = Clock::now();
    long lastSeen = -1;
    auto quiet = Clock::now();
    while (Since(start) < 60) {
      Pump(0.05);
      if (meter.count != lastSeen) {
        lastSeen = meter.count;
        quiet = Clock::now();
      } else if (Since(quiet) > 0.5 && waitpid(flood.pid, nullptr, WNOHANG) != 0) {
        break;
      }
    }
    flood.Wait();
    const long shown = (form->RichEdit1->Lines->Count() - 1) / 2;
    const double rateShown = meter.Span() > 0 ? double(shown) / meter.Span() : 0;
    const double rateBase = baseSpan > 0 ? double(baseCount) / baseSpan : 0;
    const long lost = sentCount - shown;
    const long baseLost = sentCount - baseCount;
    context.Record(rate > 0 ? Key::LostPaced : Key::LostFull,
                   {std::to_string(lost) + " of " + std::to_string(sentCount),
                    std::to_string(baseLost), double(lost), double(baseLost)});
    if (rate == 0)
      context.Record(Key::Rate, {Format("%.0f/s", rateShown), Format("%.0f/s", rateBase), rateShown,
                                 rateBase});
  }
}

// ---- 2. Growth: the cost of one received message with a full history

void Growth(Context& context) {
  const std::array<long, 3> fills{0, context.counts.fillSome, context.counts.fillMany};
  const long count = context.counts.growthMessages;
  std::vector<double> costs;
  for (const long fill : fills) {
    auto form = std::make_unique<TForm1>(nullptr);
    form->Show();
    for (long i = 0; i < fill; ++i)
      form->RichEdit1->Lines->Add("abcdefghijklmnopqrst");
    Pump(0.05);
    Meter meter(*form);
    Child sender = Send(context, count, 20000);
    const auto start = Clock::now();
    while (meter.count < count && Since(start) < 30)
      Pump(0.02);
    sender.Wait();
    costs.push_back(std::chrono::duration<double, std::micro>(meter.busy).count() /
                    double(std::max(meter.count, 1L)));
  }
  const std::string base = Format("%.2f us at 0", costs[0]);
  context.Record(Key::CostSome, {Format("%.2f us", costs[1]), base, costs[1], costs[0]});
  context.Record(Key::CostMany, {Format("%.2f us", costs[2]), base, costs[2], costs[0]});
}

// ---- 3. Latency from "Envoyer" to both lines in the sender's history

void Latency(Context& context) {
  const long sends = context.counts.sends;
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  QTimer wake; // bounds each wait below
  wake.start(100);
  form->Edit2->LineEdit()->setText("Ana");
  form->Component<TPlainRichEdit>("RichEdit2").TextEdit()->setPlainText("Salut");
  Pump(0.05);
  std::vector<double> samples;
  for (long i = 0; i < sends; ++i) {
    const int before = form->RichEdit1->Lines->Count();
    const auto t = Clock::now();
    form->Button1->Button()->click();
    // Sleep until events come, as the event loop would.
    while (form->RichEdit1->Lines->Count() < before + 2 && Since(t) < 1)
      QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    samples.push_back(Since(t) * 1e6);
  }
  // Baseline: the same trip through plain sockets, to the chat's broadcast
  // address on the port above the chat's (which the window holds).
  std::vector<double> base;
  {
    const int in = socket(AF_INET, SOCK_DGRAM, 0), out = socket(AF_INET, SOCK_DGRAM, 0);
    const int on = 1;
    setsockopt(in, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(out, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(context.network.port + 1));
    bind(in, reinterpret_cast<sockaddr*>(&address), sizeof address);
    inet_pton(AF_INET, context.network.broadcast.c_str(), &address.sin_addr);
    char buffer[64];
    for (long i = 0; i < sends; ++i) {
      const auto t = Clock::now();
      sendto(out, "Ana a dit :Salut", 17, 0, reinterpret_cast<sockaddr*>(&address), sizeof address);
      recv(in, buffer, sizeof buffer, 0);
      base.push_back(Since(t) * 1e6);
    }
    close(in);
    close(out);
  }
  auto percentile = [](std::vector<double> v, double p) {
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * double(v.size())))];
  };
  for (const auto& [key, p] : {std::pair{Key::LatencyP50, 0.5}, std::pair{Key::LatencyP99, 0.99}}) {
    const double value = percentile(samples, p), baseline = percentile(base, p);
    context.Record(key, {Format("%.0f us", value), Format("%.0f us", baseline), value, baseline});
  }
}

// ---- 5b. Memory per history line

namespace {

// Heap bytes in use: unlike the resident set, it does not depend on what
// earlier figures left in the allocator's free lists.
long HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd); // small blocks + mapped ones
}

} // namespace

void MemoryPerLine(Context& context) {
  const long lines = context.counts.perLineLines;
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  Pump(0.05);
  const long before = HeapInUse();
  for (long i = 0; i < lines; ++i)
    form->RichEdit1->Lines->Add("abcdefghijklmnopqrst");
  Pump(0.1);
  const double perLine = double(HeapInUse() - before) / double(lines);
  form.reset();
  // Baseline: the same lines in a vector of strings.
  const long baseBefore = HeapInUse();
  std::vector<std::string> plain;
  for (long i = 0; i < lines; ++i)
    plain.emplace_back("abcdefghijklmnopqrst");
  const double basePerLine = double(HeapInUse() - baseBefore) / double(lines);
  context.Record(Key::PerLine,
                 {Format("%.0f B", perLine), Format("%.0f B in a vector<string>", basePerLine),
                  perLine, basePerLine});
}

// ---- 7. A long history: deleting half of it, copying all of it, painting it

namespace {

double Millis(Clock::time_point t) { return Since(t) * 1000; }

} // namespace

// Times the three on the history box and, as the baseline, on a plain text
// box ten times smaller (a million lines take minutes to load in one).
void LongHistory(Context& context) {
  const long lines = context.counts.historyLines;
  const long baseLines = lines / 10;
  const long paints = context.counts.paints;
  const QString line = QStringLiteral("abcdefghijklmnopqrst");
  QClipboard* clipboard = QApplication::clipboard();

  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  for (long i = 0; i < lines; ++i)
    form->RichEdit1->Lines->Add("abcdefghijklmnopqrst");
  Pump(0.1);
  HistoryView* view = form->Component<TLogRichEdit>("RichEdit1").Log();
  const EditModel& model = view->Model();
  const std::size_t count = model.LineCount();
  QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
  std::vector<double> paint;
  for (long i = 0; i < paints; ++i) {
    const auto t = Clock::now();
    view->render(&image);
    paint.push_back(Millis(t));
  }
  auto t = Clock::now();
  view->SelectAll();
  clipboard->setText(model.SelectedText());
  const double copy = Millis(t);
  const bool copied = static_cast<std::size_t>(clipboard->text().size()) == model.CharacterCount();
  clipboard->clear();
  view->Select({}, {count / 2, 0});
  t = Clock::now();
  view->DeleteSelection();
  const double erase = Millis(t);
  const bool erased = model.LineCount() == count - count / 2;
  const QSize size = view->size();
  form.reset();

  // Baseline: the same on a QPlainTextEdit of the same size on screen.
  QPlainTextEdit box;
  box.resize(size);
  box.setPlainText(QStringList(baseLines, line).join(u'\n'));
  box.show();
  Pump(0.1);
  QImage baseImage(box.size(), QImage::Format_ARGB32_Premultiplied);
  std::vector<double> basePaint;
  for (long i = 0; i < paints; ++i) {
    t = Clock::now();
    box.render(&baseImage);
    basePaint.push_back(Millis(t));
  }
  t = Clock::now();
  box.selectAll();
  box.copy();
  const double baseCopy = Millis(t);
  clipboard->clear();
  QTextCursor half(box.document());
  half.setPosition(box.document()->findBlockByNumber(static_cast<int>(baseLines / 2)).position(),
                   QTextCursor::KeepAnchor);
  t = Clock::now();
  half.removeSelectedText();
  const double baseErase = Millis(t);

  const std::string base = " QPlainTextEdit " + std::to_string(baseLines);
  context.Record(Key::Delete, {Format("%.1f ms", erase), Format("%.1f ms", baseErase) + base, erase,
                               baseErase, erased});
  context.Record(Key::Copy, {Format("%.0f ms", copy), Format("%.0f ms", baseCopy) + base, copy,
                             baseCopy, copied});
  context.Record(Key::Paint,
                 {Format("%.2f ms", Median(paint)), Format("%.2f ms", Median(basePaint)) + base,
                  Median(paint), Median(basePaint)});
}

// ---- 11. Fill and clear

void FillClear(Context& context) {
  const FillAndClear cycles =
      FillAndClearCycles(int(context.counts.fillCycles), context.counts.fillLines);
  const long growth = cycles.after.back() - cycles.before;
  std::string value = Format("%.1f MB", double(cycles.after.back()) / 1e6);
  std::fprintf(stderr,
               "    fill and clear: %ld lines and %.1f MB when full, %.0f s; after each clear:",
               cycles.lines, double(cycles.full) / 1e6, cycles.seconds);
  for (const long rss : cycles.after)
    std::fprintf(stderr, " %.1f MB", double(rss) / 1e6);
  std::fprintf(stderr, "\n");
  context.Record(Key::FillClear,
                 {value, Format("%.1f MB at the start", double(cycles.before) / 1e6),
                  double(growth) / 1e6, 0, cycles.cleared});
}

} // namespace bench
