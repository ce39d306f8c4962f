// How fast a flood fills the history: the chat's window (offscreen) under a
// flood, the history's text counted as its budget counts it (UTF-8 and 8
// bytes a line) every half second; a neighbour chatting beside the flood.
#include "fill_measures.h"

#include "processes.h"

#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QEventLoop>
#include <QTimer>

#include <cmath>
#include <limits>
#include <memory>
#include <tuple>

namespace bench {

namespace {

void RunFor(double seconds) {
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(seconds * 1000), &loop, &QEventLoop::quit);
  loop.exec();
}

// Bytes of a line as UTF-8.
long Utf8Bytes(const QString& line) {
  long bytes = 0;
  for (const QChar c : line)
    bytes += c.unicode() < 0x80    ? 1
             : c.unicode() < 0x800 ? 2
             : c.isHighSurrogate() ? 4
             : c.isLowSurrogate()  ? 0
                                   : 3;
  return bytes;
}

// The neighbour: messages of about `chat.size` bytes every `chat.every` s
// from `chat.lead` s before the flood until just before its end.
Child Neighbour(const FloodSetup& setup, const Flood& flood, const Chat& chat) {
  return Spawn({setup.binDir + "/bench_sender", setup.broadcast, std::to_string(setup.port),
                "1000000", Format("%g", 1 / chat.every),
                Format("%g", chat.lead + flood.seconds - 0.5)},
               {"BENCH_FROM=" + setup.neighbour, "BENCH_NICK=Voisin",
                "BENCH_SIZE=" + std::to_string(chat.size)});
}

// Its messages sent before the flood began: at 0, every, 2 every, ...
long BeforeFlood(const Chat& chat) { return static_cast<long>(std::ceil(chat.lead / chat.every)); }

// What a sender sent, and in how many seconds.
std::pair<long, double> SentBy(Child& child) {
  std::istringstream text(child.ReadAll());
  child.Wait();
  long sent = 0;
  double seconds = 0;
  text >> sent >> seconds;
  return {sent, seconds};
}

struct Sample {
  double at;
  long bytes, lines;
};

} // namespace

Filling FillUnderFlood(const FloodSetup& setup, const Flood& flood, const Chat& chat) {
  Filling result;
  auto form = std::make_unique<TForm1>(nullptr);
  form->Show();
  Pump(0.2);
  const EditModel& model = form->Component<TLogRichEdit>("RichEdit1").Log()->Model();
  // The neighbour's messages that reach the history once the flood has begun.
  bool flooding = false;
  const TUDPDataReceivedEvent handler = form->NMUDP1->OnDataReceived;
  TStrings& lines = *form->RichEdit1->Lines;
  form->NMUDP1->OnDataReceived = [&](TComponent* sender, int bytes, AnsiString ip, int port) {
    const bool neighbour = ip == setup.neighbour;
    const int before = lines.Count();
    handler(sender, bytes, std::move(ip), port);
    if (neighbour && flooding && lines.Count() > before) ++result.neighbour.shown;
  };
  // The text held, counted line by line as lines come.
  long bytes = 0;
  std::size_t counted = 0;
  const auto count = [&] {
    for (; counted < model.LineCount(); ++counted)
      bytes += Utf8Bytes(model.Line(counted)) + 8;
  };

  Child neighbour = Neighbour(setup, flood, chat);
  RunFor(chat.lead);
  Child flooder = Spawn(FloodCommand(setup, flood));
  const auto start = Clock::now();
  flooding = true;
  std::vector<Sample> samples;
  while (Since(start) < flood.seconds) {
    RunFor(0.5);
    count();
    samples.push_back({Since(start), bytes, static_cast<long>(counted)});
    const bool full = bytes >= long(EditModel::kBudget) || counted >= EditModel::kCapacity;
    if (full && result.filledAt == 0) result.filledAt = samples.back().at;
  }
  // The neighbour's messages still queued are shown.
  const auto end = Clock::now();
  while ((form->NMUDP1->Queued() > 0 || Since(end) < 0.5) && Since(end) < 10)
    RunFor(0.1);
  std::tie(result.sent, result.sending) = SentBy(flooder);
  result.neighbour.sent = SentBy(neighbour).first - BeforeFlood(chat);
  form->NMUDP1->OnDataReceived = handler;

  // The rate over the second half, past the bursts the allowances let through.
  const Sample& last = samples.back();
  // (From the last sample at or before the middle, the flood's start if none.)
  Sample origin{0, 0, 0};
  const Sample* middle = &origin;
  for (const Sample& sample : samples)
    if (sample.at <= last.at / 2) middle = &sample;
  const double span = last.at - middle->at;
  result.seconds = last.at;
  result.bytes = last.bytes;
  result.lines = last.lines;
  result.byteRate = span > 0 ? double(last.bytes - middle->bytes) / span : 0;
  result.lineRate = span > 0 ? double(last.lines - middle->lines) / span : 0;
  constexpr double kNever = std::numeric_limits<double>::infinity();
  const double byBytes = result.byteRate > 0
                             ? double(long(EditModel::kBudget) - last.bytes) / result.byteRate
                             : kNever;
  const double byLines = result.lineRate > 0
                             ? double(long(EditModel::kCapacity) - last.lines) / result.lineRate
                             : kNever;
  result.toFill = result.filledAt > 0 ? result.filledAt : last.at + std::min(byBytes, byLines);
  return result;
}

Heard PlainUnderFlood(const FloodSetup& setup, const Flood& flood, const Chat& chat) {
  Child receiver = Spawn({setup.binDir + "/bench_baseline_receiver", std::to_string(setup.port),
                          "2000", setup.neighbour});
  receiver.ReadLine(); // ready
  Child neighbour = Neighbour(setup, flood, chat);
  usleep(static_cast<useconds_t>(chat.lead * 1e6));
  Child flooder = Spawn(FloodCommand(setup, flood));
  SentBy(flooder);
  Heard heard;
  heard.sent = SentBy(neighbour).first - BeforeFlood(chat);
  std::istringstream got(receiver.ReadAll());
  receiver.Wait();
  long count = 0, drops = 0, read = 0;
  double span = 0;
  got >> count >> span >> drops >> read;
  heard.shown = read - BeforeFlood(chat);
  return heard;
}

} // namespace bench
