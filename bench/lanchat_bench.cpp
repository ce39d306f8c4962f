// The benchmark: prints each figure beside a baseline measured in the same
// run. In-process figures use the offscreen platform; start-up and the flood
// run the real program in Xvfb. Loopback only; every loop is bounded.
//
//   lanchat_bench BIN_DIR [--quick] [--only 9,10]
//                                       takes the readings (of those figures
//                                       only), prints the results
//   lanchat_bench --markdown [--quick]  prints the table of figures (how,
//                                       baseline, target) as Markdown
//
// Every figure, every row of the results and every target is in kFigures;
// the measures only take readings and record them under a row's key.
#include "bench_process.h"
#include "flood_measures.h"

#include <history/HistoryView.h>
#include <lanchat/BuildConfig.h>
#include <ui/Form1.h>
#include <ui/Form1Layout.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <xcb/xcb.h>

#include <algorithm>
#include <arpa/inet.h>
#include <array>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <variant>
#include <vector>

namespace {

using namespace bench;

// 100000 as "100,000".
std::string Thousands(long value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

// ---- What a run measures with: the counts, and the chat's address and port

struct Counts {
  long burst;            // 1. datagrams per burst
  long pacedRate;        // 1. datagrams a second, paced
  long fillSome;         // 2. lines already in the history
  long fillMany;         // 2.
  long growthMessages;   // 2. messages timed at each fill
  long sends;            // 3. clicks on "Envoyer"
  long startRuns;        // 4. start-ups of each program
  long perLineLines;     // 5. lines added to measure a line's cost
  double floodSeconds;   // 6. the flood "Quitter" is clicked in
  long historyLines;     // 7. lines of the long history
  long paints;           // 7. renderings timed
  long longFloodSeconds; // 8.
  long neighbourRate;    // 8. and 10. the second sender's messages a second
  long worstAddresses;   // 9. source addresses of the worst flood
  long worstSize;        // 9. its datagrams' size
  long worstEarly;       // 9. seconds into it, the first reading
  long worstSeconds;     // 9.
  long manyAddresses;    // 10.
  long fewAddresses;     // 10.
  long manySeconds;      // 10. each flood
  long fillCycles;       // 11.
  long fillLines;        // 11. lines at most (0: to its capacity or budget)
};

constexpr Counts kFull{.burst = 100000,
                       .pacedRate = 50000,
                       .fillSome = 100000,
                       .fillMany = 1000000,
                       .growthMessages = 10000,
                       .sends = 1000,
                       .startRuns = 10,
                       .perLineLines = 1000000,
                       .floodSeconds = 5,
                       .historyLines = 1000000,
                       .paints = 11,
                       .longFloodSeconds = 90,
                       .neighbourRate = 2,
                       .worstAddresses = 5000,
                       .worstSize = 65507,
                       .worstEarly = 30,
                       .worstSeconds = 90,
                       .manyAddresses = 300000,
                       .fewAddresses = 5000,
                       .manySeconds = 20,
                       .fillCycles = 3,
                       .fillLines = 0};

constexpr Counts kQuick{.burst = 2000,
                        .pacedRate = 50000,
                        .fillSome = 1000,
                        .fillMany = 10000,
                        .growthMessages = 1000,
                        .sends = 100,
                        .startRuns = 3,
                        .perLineLines = 100000,
                        .floodSeconds = 1.5,
                        .historyLines = 10000,
                        .paints = 11,
                        .longFloodSeconds = 6,
                        .neighbourRate = 2,
                        .worstAddresses = 5000,
                        .worstSize = 65507,
                        .worstEarly = 2,
                        .worstSeconds = 6,
                        .manyAddresses = 300000,
                        .fewAddresses = 5000,
                        .manySeconds = 3,
                        .fillCycles = 3,
                        .fillLines = 200000};

// The chat's broadcast address and port, as this build of it has them.
struct Network {
  std::string broadcast;
  int port = 0;
  std::string neighbour;     // the second sender's source address (8., 10.)
  std::string lateNeighbour; // the one that starts during the flood (10.)
};

Network Configured() {
  Network network{lanchat::config::kBroadcastAddress, 0, "127.0.0.2", "127.0.0.3"};
  for (const auto& component : kForm1Layout.components)
    if (const auto* udp = std::get_if<UdpDesc>(&component)) network.port = udp->localPort;
  return network;
}

bool OnLoopback(const std::string& address) {
  in_addr parsed{};
  return inet_pton(AF_INET, address.c_str(), &parsed) == 1 && (ntohl(parsed.s_addr) >> 24) == 127;
}

// ---- Targets: the wording and the test in one

struct Target {
  enum class Rule {
    Reported,           // shown, not judged
    None,               // the reading is 0
    NoMoreThanBaseline, // reading <= baseline
    ShareOfBaseline,    // reading >= baseline / limit
    WithinPercent,      // reading <= baseline * (1 + limit / 100)
    TimesBaseline,      // reading <= limit * baseline
    Below,              // reading < limit (in unit)
    AllOfBaseline,      // reading == baseline
    BelowBaseline,      // reading < baseline
  };
  Rule rule = Rule::Reported;
  double limit = 0;
  std::string_view unit{}; // Below: the reading's unit; None: what there is none of
  std::string_view note{}; // appended to the wording

  [[nodiscard]] std::string Text() const {
    const std::string n = Format("%g", limit);
    std::string text;
    switch (rule) {
    case Rule::Reported: return "-";
    case Rule::None: text = "none " + std::string(unit); break;
    case Rule::NoMoreThanBaseline: text = "<= baseline"; break;
    case Rule::ShareOfBaseline: text = ">= 1/" + n + " of baseline"; break;
    case Rule::WithinPercent: text = "within " + n + " %"; break;
    case Rule::TimesBaseline: text = "<= " + n + " x baseline"; break;
    case Rule::Below: text = "< " + n + " " + std::string(unit); break;
    case Rule::AllOfBaseline: text = "all"; break;
    case Rule::BelowBaseline: text = "< baseline"; break;
    }
    return text + std::string(note);
  }

  [[nodiscard]] bool Met(double value, double baseline) const {
    switch (rule) {
    case Rule::Reported: return true;
    case Rule::None: return value == 0;
    case Rule::NoMoreThanBaseline: return value <= baseline;
    case Rule::ShareOfBaseline: return value >= baseline / limit;
    case Rule::WithinPercent: return value <= baseline * (1 + limit / 100);
    case Rule::TimesBaseline: return value <= limit * baseline;
    case Rule::Below: return value < limit;
    case Rule::AllOfBaseline: return value == baseline;
    case Rule::BelowBaseline: return value < baseline;
    }
    return false;
  }
};

constexpr Target Reported() { return {}; }
constexpr Target None(std::string_view what) { return {Target::Rule::None, 0, what}; }
constexpr Target NoMoreThanBaseline() { return {Target::Rule::NoMoreThanBaseline}; }
constexpr Target ShareOfBaseline(double over) { return {Target::Rule::ShareOfBaseline, over}; }
constexpr Target WithinPercent(double percent) { return {Target::Rule::WithinPercent, percent}; }
constexpr Target TimesBaseline(double times) { return {Target::Rule::TimesBaseline, times}; }
constexpr Target Below(double limit, std::string_view unit, std::string_view note = {}) {
  return {Target::Rule::Below, limit, unit, note};
}
constexpr Target AllOfBaseline(std::string_view note) {
  return {Target::Rule::AllOfBaseline, 0, {}, note};
}
constexpr Target BelowBaseline(std::string_view note) {
  return {Target::Rule::BelowBaseline, 0, {}, note};
}

// ---- The table of figures

// One row of the results.
enum class Key {
  LostPaced,
  LostFull,
  Rate,
  CostSome,
  CostMany,
  LatencyP50,
  LatencyP99,
  StartUp,
  Resident,
  PerLine,
  FloodQuit,
  FloodPeak,
  Delete,
  Copy,
  Paint,
  LongFloodMemory,
  Neighbour,
  LongFloodQuit,
  WorstEarly,
  WorstLate,
  WorstKeys,
  WorstQuit,
  ManyDrops,
  ManyNeighbour,
  ManyLate,
  ManyKeys,
  ManyQuit,
  FewDrops,
  FewNeighbour,
  FewLate,
  FewKeys,
  FewQuit,
  FillClear,
};

struct Row {
  Key key;
  std::string_view name;       // "{}" stands for the count arg, "{,}" for it as 100,000
  long Counts::*arg = nullptr; // the count in the name, if any
  Target target;
};

using Describe = std::string (*)(const Counts&, const Network&);

struct Figure {
  std::string_view title;
  Describe how;      // what is measured
  Describe baseline; // what it stands beside
  std::vector<Row> rows;
};

std::string T(long value) { return Thousands(value); }
std::string N(long value) { return std::to_string(value); }

// clang-format off
const std::array<Figure, 11> kFigures{{
    {"1. bursts into the history",
     [](const Counts& c, const Network& n) {
       return "`bench_sender`, a separate process, sends " + T(c.burst) + " chat datagrams to " +
              n.broadcast + ":" + N(n.port) + ", paced at " + T(c.pacedRate) +
              "/s and at full speed; a window (offscreen) counts what reaches its history and "
              "how fast";
     },
     [](const Counts&, const Network&) -> std::string {
       return "`bench_baseline_receiver`: a plain socket with the same receive buffer that only "
              "reads";
     },
     {{Key::LostPaced, "1. datagrams lost, paced at {,}/s", &Counts::pacedRate, None("lost")},
      {Key::LostFull, "1. datagrams lost, at full speed", nullptr, NoMoreThanBaseline()},
      {Key::Rate, "1. rate into the history, at full speed", nullptr, ShareOfBaseline(4)}}},
    {"2. growth",
     [](const Counts& c, const Network&) {
       return "time spent in the receive handler per message, over " + T(c.growthMessages) +
              " messages, with " + T(c.fillSome) + " and " + T(c.fillMany) +
              " lines already in the history";
     },
     [](const Counts&, const Network&) -> std::string { return "the same with an empty history"; },
     {{Key::CostSome, "2. cost per message at {} lines", &Counts::fillSome, WithinPercent(30)},
      {Key::CostMany, "2. cost per message at {} lines", &Counts::fillMany, WithinPercent(30)}}},
    {"3. latency",
     [](const Counts& c, const Network&) {
       return "from a click on \"Envoyer\" until both lines of the sender's own message are in "
              "its history, " + T(c.sends) + " sends";
     },
     [](const Counts&, const Network&) -> std::string {
       return "the same trip through two plain sockets";
     },
     {{Key::LatencyP50, "3. latency p50", nullptr, Reported()},
      {Key::LatencyP99, "3. latency p99", nullptr, Below(1000, "us")}}},
    {"4. start-up",
     [](const Counts& c, const Network& n) {
       return "from `fork` until the window is mapped (seen from another X client) and port " +
              N(n.port) + " is bound, median of " + N(c.startRuns) + " runs in Xvfb";
     },
     [](const Counts&, const Network&) -> std::string {
       return "`bench_empty_window`, a Qt program that shows one empty window, interleaved run "
              "for run";
     },
     {{Key::StartUp, "4. start-up to listening and shown (median)", nullptr, TimesBaseline(1.5)}}},
    {"5. memory",
     [](const Counts& c, const Network&) {
       return "resident set 300 ms after start-up; heap bytes per history line of 20 characters "
              "up to " + T(c.perLineLines) + " lines";
     },
     [](const Counts&, const Network&) -> std::string {
       return "the empty window; the same lines in a `std::vector<std::string>`";
     },
     {{Key::Resident, "5. resident memory after start-up", nullptr, Below(60, "MB")},
      {Key::PerLine, "5. memory per history line of 20 characters", nullptr, Below(200, "B")}}},
    {"6. flood",
     [](const Counts& c, const Network&) {
       return "a click on \"Quitter\" (xdotool) halfway through a " + Format("%g", c.floodSeconds) +
              " s full-speed flood, until the process has exited; peak resident set during the "
              "flood";
     },
     [](const Counts&, const Network&) -> std::string { return "the same click with no flood"; },
     {{Key::FloodQuit, "6. \"Quitter\" answered during a full-speed flood", nullptr,
       Below(300, "ms")},
      {Key::FloodPeak, "6. peak resident memory during the flood", nullptr,
       Below(200, "MB", " (stated bound)")}}},
    {"7. long history",
     [](const Counts& c, const Network&) {
       return "a history of " + T(c.historyLines) + " lines of 20 characters (offscreen): "
              "deleting the first half as one selection (`DeleteSelection`); select all, "
              "`SelectedText` and `QClipboard::setText`; rendering the history box into an image "
              "with `QWidget::render`, median of " + N(c.paints);
     },
     [](const Counts& c, const Network&) {
       return "a `QPlainTextEdit` of the same size doing the same with " +
              T(c.historyLines / 10) + " lines (loading ten times as many into it takes minutes)";
     },
     {{Key::Delete, "7. delete the first half of {} lines", &Counts::historyLines,
       Below(50, "ms")},
      {Key::Copy, "7. select all and copy, {} lines", &Counts::historyLines, Below(1000, "ms")},
      {Key::Paint, "7. paint a screenful at {} lines (median)", &Counts::historyLines,
       Below(5, "ms")}}},
    {"8. long flood",
     [](const Counts& c, const Network& n) {
       return "`bench_sender` floods at full speed for " + N(c.longFloodSeconds) +
              " s while a second `bench_sender` sends " + N(c.neighbourRate) +
              " messages a second from " + n.neighbour + " (\"Voisin\"); the real program in "
              "Xvfb: resident set at " + N(c.longFloodSeconds / 3) + " s and at " +
              N(c.longFloodSeconds) + " s; then the history copied as a user would (click, "
              "Ctrl+A, Ctrl+C, read with xclip) and the second sender's messages checked, all "
              "and in order; then a click on \"Quitter\" during the flood";
     },
     [](const Counts&, const Network&) -> std::string {
       return "resident set after start-up (5.); the idle \"Quitter\" click (6.); what the "
              "second sender sent";
     },
     {{Key::LongFloodMemory, "8. resident memory, flood of {} s: at a third / at the end",
       &Counts::longFloodSeconds, Below(50, "MB", " growth after 30 s")},
      {Key::Neighbour, "8. second sender at {}/s during the flood: shown, in order",
       &Counts::neighbourRate, AllOfBaseline(", in order")},
      {Key::LongFloodQuit, "8. \"Quitter\" at the end of the long flood", nullptr,
       Below(300, "ms")}}},
    {"9. worst flood",
     [](const Counts& c, const Network&) {
       return "`bench_many_sender` floods at full speed from " + T(c.worstAddresses) +
              " source addresses (127.1.0.1 onward), datagrams of " + T(c.worstSize) +
              " bytes whose message is bytes 0x80-0x9F (three bytes each in UTF-8), for " +
              N(c.worstSeconds) + " s. The real program in Xvfb: resident set at " +
              N(c.worstEarly) + " s and at " + N(c.worstSeconds) + " s, then a click on "
              "\"Quitter\" during the flood. Then the same flood on a window (offscreen) in the "
              "benchmark's process, while another thread posts a key press to the message box "
              "every 20 ms (\"x\" and Backspace in turn): the slowest wait from posting until an "
              "event filter on the box sees it";
     },
     [](const Counts&, const Network&) -> std::string {
       return "the stated budget: resident set after start-up (5.) + history 128 MiB + queue "
              "16 MiB + undo 16 MiB + reader buffers 2 MiB; the same key presses into an idle "
              "window; the idle \"Quitter\" click (6.)";
     },
     {{Key::WorstEarly, "9. resident memory at {} s of the worst flood", &Counts::worstEarly,
       BelowBaseline(" (stated budget)")},
      {Key::WorstLate, "9. resident memory at {} s of the worst flood", &Counts::worstSeconds,
       BelowBaseline(" (stated budget)")},
      {Key::WorstKeys, "9. slowest keystroke during the worst flood", nullptr, Below(100, "ms")},
      {Key::WorstQuit, "9. \"Quitter\" at the end of the worst flood", nullptr,
       Below(300, "ms")}}},
    {"10. many sources",
     [](const Counts& c, const Network& n) {
       return "`bench_many_sender` floods short chat datagrams at full speed for " +
              N(c.manySeconds) + " s from " + T(c.manyAddresses) + ", then from " +
              T(c.fewAddresses) + " source addresses, while `bench_sender` sends " +
              N(c.neighbourRate) + " messages a second from " + n.neighbour + " (\"Voisin\", "
              "chatting from 1 s before the flood) and as many from " + n.lateNeighbour +
              " (\"Voisine\", from 2 s into it). A window (offscreen) in the benchmark's process: "
              "the kernel's drops on its socket (/proc/net/udp) as a share of what was sent, each "
              "neighbour's messages that did not reach the history, key presses timed as in 9. "
              "Then the real program in Xvfb: a click on \"Quitter\" halfway through the same "
              "flood";
     },
     [](const Counts&, const Network&) -> std::string {
       return "`bench_baseline_receiver` under the same flood and neighbours: its socket's "
              "drops (SO_MEMINFO) and each neighbour's datagrams it did not read; 9.'s idle "
              "window; the idle \"Quitter\" click (6.)";
     },
     {{Key::ManyDrops, "10. kernel drops, {,} addresses", &Counts::manyAddresses,
       NoMoreThanBaseline()},
      {Key::ManyNeighbour, "10. neighbour's messages lost, {,} addresses", &Counts::manyAddresses,
       NoMoreThanBaseline()},
      {Key::ManyLate, "10. late neighbour's messages lost, {,} addresses", &Counts::manyAddresses,
       NoMoreThanBaseline()},
      {Key::ManyKeys, "10. slowest keystroke, {,} addresses", &Counts::manyAddresses,
       Below(100, "ms")},
      {Key::ManyQuit, "10. \"Quitter\" during the flood, {,} addresses", &Counts::manyAddresses,
       Below(300, "ms")},
      {Key::FewDrops, "10. kernel drops, {,} addresses", &Counts::fewAddresses,
       NoMoreThanBaseline()},
      {Key::FewNeighbour, "10. neighbour's messages lost, {,} addresses", &Counts::fewAddresses,
       NoMoreThanBaseline()},
      {Key::FewLate, "10. late neighbour's messages lost, {,} addresses", &Counts::fewAddresses,
       NoMoreThanBaseline()},
      {Key::FewKeys, "10. slowest keystroke, {,} addresses", &Counts::fewAddresses,
       Below(100, "ms")},
      {Key::FewQuit, "10. \"Quitter\" during the flood, {,} addresses", &Counts::fewAddresses,
       Below(300, "ms")}}},
    {"11. fill and clear",
     [](const Counts& c, const Network&) {
       return std::string(c.fillLines == 0 ? "a history filled to its capacity or its budget"
                                           : "a history of " + T(c.fillLines) + " lines") +
              " of 20-character lines (offscreen, in the benchmark's process, through the "
              "history's lines as arriving messages are), then cleared as a user would: Ctrl+A "
              "and Delete sent to the history box; " + N(c.fillCycles) + " times. Resident set "
              "of the process after the last clear";
     },
     [](const Counts&, const Network&) -> std::string {
       return "the resident set where the first cycle began";
     },
     {{Key::FillClear, "11. resident memory after {} fill-and-clear cycles", &Counts::fillCycles,
       Below(50, "MB", " growth")}}},
}};
// clang-format on

const Row& RowOf(Key key) {
  for (const Figure& figure : kFigures)
    for (const Row& row : figure.rows)
      if (row.key == key) return row;
  std::abort(); // every key has its row
}

std::string NameOf(const Row& row, const Counts& counts) {
  std::string name(row.name);
  if (row.arg == nullptr) return name;
  if (const auto at = name.find("{,}"); at != std::string::npos)
    return name.replace(at, 3, Thousands(counts.*row.arg));
  if (const auto at = name.find("{}"); at != std::string::npos)
    return name.replace(at, 2, std::to_string(counts.*row.arg));
  return name;
}

// The table of figures as Markdown, for bench/README.md.
void PrintMarkdown(const Counts& counts, const Network& network) {
  std::printf("| figure | how | baseline | target |\n|---|---|---|---|\n");
  for (const Figure& figure : kFigures) {
    std::string targets;
    for (const Row& row : figure.rows) {
      std::string name = NameOf(row, counts);
      name.erase(0, name.find(' ') + 1); // without its number
      targets += (targets.empty() ? "" : "<br>") + name + ": " + row.target.Text();
    }
    std::printf("| %s | %s | %s | %s |\n", std::string(figure.title).c_str(),
                figure.how(counts, network).c_str(), figure.baseline(counts, network).c_str(),
                targets.c_str());
  }
}

// ---- A run: its settings and what it has read

// What a measure hands over for one row: the text shown, and the numbers the
// row's target judges.
struct Reading {
  std::string value, baseline; // as printed
  double x = 0, base = 0;      // as judged
  bool sound = true;           // the measure's own check held (all copied, all deleted, ...)
};

struct Context {
  std::string binDir;
  bool quick = false;
  std::vector<int> only; // figures to measure; all if empty
  Counts counts = kFull;
  Network network;

  struct Result {
    Key key;
    Reading reading;
    bool ok;
  };
  std::vector<Result> results;

  [[nodiscard]] std::string Bin(const char* name) const { return binDir + "/" + name; }
  // Whether figure `n` is measured in this run.
  [[nodiscard]] bool Wants(int n) const {
    return only.empty() || std::find(only.begin(), only.end(), n) != only.end();
  }
  [[nodiscard]] std::string Port() const { return std::to_string(network.port); }
  [[nodiscard]] FloodSetup Setup() const {
    return {binDir,
            network.broadcast,
            network.port,
            network.neighbour,
            network.lateNeighbour,
            double(counts.neighbourRate)};
  }

  void Record(Key key, Reading reading) {
    const Row& row = RowOf(key);
    const bool ok = reading.sound && row.target.Met(reading.x, reading.base);
    std::fprintf(stderr, "  %s: %s (baseline %s)\n", NameOf(row, counts).c_str(),
                 reading.value.c_str(), reading.baseline.c_str());
    results.push_back({key, std::move(reading), ok});
  }

  // The results in the order they were taken, then any row not measured,
  // in columns as wide as their widest cell.
  void Print() const {
    std::vector<std::array<std::string, 5>> lines{
        {"figure", "lanchat", "baseline (same run)", "target", ""}};
    for (const Result& result : results) {
      const Row& row = RowOf(result.key);
      lines.push_back({NameOf(row, counts), result.reading.value, result.reading.baseline,
                       row.target.Text(), result.ok ? "ok" : "MISSED"});
    }
    for (const Figure& figure : kFigures)
      for (const Row& row : figure.rows)
        if (Wants(std::atoi(figure.title.data())) &&
            std::none_of(results.begin(), results.end(),
                         [&](const Result& result) { return result.key == row.key; }))
          lines.push_back({NameOf(row, counts), "not measured", "-", row.target.Text(), "MISSED"});
    std::array<int, 5> widths{};
    for (const auto& cells : lines)
      for (std::size_t i = 0; i < cells.size(); ++i)
        widths[i] = std::max(widths[i], static_cast<int>(cells[i].size()));
    std::printf("\n");
    for (const auto& cells : lines)
      std::printf("%-*s  %-*s  %-*s  %-*s  %s\n", widths[0], cells[0].c_str(), widths[1],
                  cells[1].c_str(), widths[2], cells[2].c_str(), widths[3], cells[3].c_str(),
                  cells[4].c_str());
  }
};

// bench_sender: COUNT chat datagrams to the chat's address and port at RATE
// a second (0: full speed), for at most SECONDS if given.
Child Send(const Context& context, long count, double rate, double seconds = 0,
           std::vector<std::string> env = {}) {
  std::vector<std::string> args = {context.Bin("bench_sender"), context.network.broadcast,
                                   context.Port(), std::to_string(count), Format("%.0f", rate)};
  if (seconds > 0) args.push_back(Format("%.1f", seconds));
  return Spawn(std::move(args), std::move(env));
}

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

// Heap bytes in use: unlike the resident set, it does not depend on what
// earlier figures left in the allocator's free lists.
long HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return static_cast<long>(info.uordblks + info.hblkhd); // small blocks + mapped ones
}

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

double Millis(Clock::time_point t) { return Since(t) * 1000; }

double Median(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

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
  EditModel& model = view->Model();
  const std::size_t count = model.LineCount();
  QImage image(view->size(), QImage::Format_ARGB32_Premultiplied);
  std::vector<double> paint;
  for (long i = 0; i < paints; ++i) {
    const auto t = Clock::now();
    view->render(&image);
    paint.push_back(Millis(t));
  }
  auto t = Clock::now();
  model.SelectAll();
  clipboard->setText(model.SelectedText());
  const double copy = Millis(t);
  const bool copied = static_cast<std::size_t>(clipboard->text().size()) == model.CharacterCount();
  clipboard->clear();
  model.Select({}, {count / 2, 0});
  t = Clock::now();
  model.DeleteSelection();
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

// ---- Programs in a real X server: start-up, resident memory, flood

struct Xserver {
  pid_t pid = -1;
  std::string display;
  xcb_connection_t* connection = nullptr;
  bool Start() {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid = fork();
    if (pid == 0) {
      close(fds[0]);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      const std::string fd = std::to_string(fds[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-dpi", "96",
             "-nolisten", "tcp", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[1]);
    Child reader{pid, fds[0]};
    pollfd p{fds[0], POLLIN, 0};
    if (poll(&p, 1, 10000) <= 0) return false;
    display = ":" + reader.ReadLine();
    close(fds[0]);
    connection = xcb_connect(display.c_str(), nullptr);
    if (xcb_connection_has_error(connection)) return false;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection,
                                 xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root,
                                 XCB_CW_EVENT_MASK, &mask);
    xcb_flush(connection);
    return true;
  }
  // Waits for a top-level window to be mapped; returns its id, or 0.
  xcb_window_t WaitMapped(double seconds) {
    const auto start = Clock::now();
    while (Since(start) < seconds) {
      while (xcb_generic_event_t* event = xcb_poll_for_event(connection)) {
        const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY;
        const xcb_window_t window =
            mapped ? reinterpret_cast<xcb_map_notify_event_t*>(event)->window : 0;
        std::free(event);
        if (mapped) return window;
      }
      pollfd p{xcb_get_file_descriptor(connection), POLLIN, 0};
      poll(&p, 1, 1);
    }
    return 0;
  }
  ~Xserver() {
    if (connection != nullptr) xcb_disconnect(connection);
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }
};

struct Started {
  Child child;
  double seconds = 0;
  xcb_window_t window = 0;
};

Started Start(const Context& context, Xserver& x, const std::string& program, bool listens) {
  while (xcb_generic_event_t* stale = xcb_poll_for_event(x.connection))
    std::free(stale);
  const auto t = Clock::now();
  Started started{Spawn({program}, {"DISPLAY=" + x.display, "QT_QPA_PLATFORM=xcb"}), 0, 0};
  started.window = x.WaitMapped(20);
  while (listens && !Listening(context.network.port) && Since(t) < 20)
    usleep(200);
  started.seconds = Since(t);
  return started;
}

void Stop(Child& child) {
  kill(child.pid, SIGTERM);
  child.Wait();
}

// Clicks "Quitter" (xdotool) and waits for the process to end; ms, and the
// process ended by force after 10 s.
double ClickQuitter(Xserver& x, Started& chat) {
  const auto click = Clock::now();
  Spawn(
      {"xdotool", "mousemove", "--window", std::to_string(chat.window), "588", "388", "click", "1"},
      {"DISPLAY=" + x.display})
      .Wait();
  int status = 0;
  while (waitpid(chat.child.pid, &status, WNOHANG) == 0 && Since(click) < 10)
    usleep(500);
  const double quit = Since(click) * 1000;
  if (Since(click) >= 10) Stop(chat.child);
  return quit;
}

// 8. A long flood: one address floods at full speed while another sends a
// few messages a second. Memory at a third and at the end, the second
// sender's messages read back from the history, "Quitter" at the end.
void LongFlood(Context& context, Xserver& x, long startRss, double idleQuit) {
  const auto seconds = double(context.counts.longFloodSeconds);
  const double early = seconds / 3;
  const auto rate = double(context.counts.neighbourRate);
  Started chat = Start(context, x, context.Bin("../app/lanchat"), true);
  const auto start = Clock::now();
  Child flooder = Send(context, 1000000000000, 0, seconds + 5);
  Child neighbour = Send(context, long(rate * (seconds - 2)), rate, 0,
                         {"BENCH_FROM=" + context.network.neighbour, "BENCH_NICK=Voisin"});
  long rssEarly = 0;
  while (Since(start) < seconds) {
    if (rssEarly == 0 && Since(start) >= early) rssEarly = RssOf(chat.child.pid);
    usleep(100000);
  }
  const long rssLate = RssOf(chat.child.pid);
  std::istringstream sentText(neighbour.ReadAll());
  neighbour.Wait();
  long sent = 0;
  sentText >> sent;
  // The history, copied as a user would: click in it, Ctrl+A, Ctrl+C.
  const std::string window = std::to_string(chat.window);
  const std::vector<std::string> display = {"DISPLAY=" + x.display};
  Spawn({"xdotool", "mousemove", "--window", window, "250", "300", "click", "1", "key", "ctrl+a",
         "ctrl+c"},
        display)
      .Wait();
  usleep(500000);
  Child paste = Spawn({"xclip", "-o", "-selection", "clipboard"}, display);
  std::istringstream history(paste.ReadAll());
  paste.Wait();
  long next = 0;
  bool inOrder = true;
  // Each shows as its header line, then its message line.
  for (std::string line, message; std::getline(history, line);) {
    if (line != "Voisin a dit :" || !std::getline(history, message)) continue;
    inOrder = inOrder && message == "message " + std::to_string(next);
    ++next;
  }
  const double quit = ClickQuitter(x, chat);
  Stop(flooder);

  const double growth = double(rssLate - rssEarly) / 1e6;
  context.Record(
      Key::LongFloodMemory,
      {Format("%.1f", double(rssEarly) / 1e6) + Format(" / %.1f MB", double(rssLate) / 1e6),
       Format("%.1f MB at start-up", double(startRss) / 1e6), growth, 0});
  context.Record(Key::Neighbour,
                 {std::to_string(next) + " of " + std::to_string(sent),
                  std::to_string(sent) + " sent", double(next), double(sent), sent > 0 && inOrder});
  context.Record(Key::LongFloodQuit,
                 {Format("%.0f ms", quit), Format("%.0f ms idle", idleQuit), quit, idleQuit});
}

// The real program under a flood of many addresses: resident set at
// `early` s, and at `clickAt` s, when "Quitter" is clicked, the flood going on.
struct RealFlood {
  long rssEarly = 0, rssLate = 0;
  double quit = 0;
};

RealFlood RealUnderFlood(const Context& context, Xserver& x, Flood flood, double early,
                         double clickAt) {
  Started chat = Start(context, x, context.Bin("../app/lanchat"), true);
  const auto start = Clock::now();
  flood.seconds = clickAt + 5;
  Child flooder = Spawn(FloodCommand(context.Setup(), flood));
  RealFlood result;
  while (Since(start) < clickAt) {
    if (result.rssEarly == 0 && Since(start) >= early) result.rssEarly = RssOf(chat.child.pid);
    usleep(20000);
  }
  result.rssLate = RssOf(chat.child.pid);
  result.quit = ClickQuitter(x, chat);
  Stop(flooder);
  return result;
}

Reading MB(long bytes, const std::string& baseline, double base) {
  return {Format("%.1f MB", double(bytes) / 1e6), baseline, double(bytes) / 1e6, base};
}

Reading Quit(double quit, double idleQuit) {
  return {Format("%.0f ms", quit), Format("%.0f ms idle", idleQuit), quit, idleQuit};
}

Reading Keys(const Keystrokes& keys, const Keystrokes& idle) {
  std::fprintf(stderr,
               "    %ld keystrokes; the window's thread ran %.1f s, waited for a core %.1f s;"
               " during the slowest, ran %.1f ms, waited %.1f ms\n",
               keys.count, keys.ran, keys.waited, keys.slowestRan, keys.slowestWaited);
  return {Format("%.1f ms", keys.slowest), Format("%.1f ms idle", idle.slowest), keys.slowest,
          idle.slowest, keys.count > 0};
}

// 9. The worst flood: the real program's memory against the stated budget
// and "Quitter" at its end; then keystrokes in a window here.
void WorstFlood(Context& context, Xserver& x, long startRss, double idleQuit,
                const Keystrokes& idleKeys) {
  const Counts& c = context.counts;
  const Flood flood{c.worstAddresses, c.worstSize, double(c.worstSeconds)};
  const RealFlood real =
      RealUnderFlood(context, x, flood, double(c.worstEarly), double(c.worstSeconds));
  constexpr double kMiB = 1 << 20;
  const double budget = (double(startRss) + (128 + 16 + 16 + 2) * kMiB) / 1e6;
  const std::string stated =
      Format("%.1f MB stated", budget) + Format(" (%.1f + 169.9)", double(startRss) / 1e6);
  context.Record(Key::WorstEarly, MB(real.rssEarly, stated, budget));
  context.Record(Key::WorstLate, MB(real.rssLate, stated, budget));
  context.Record(Key::WorstQuit, Quit(real.quit, idleQuit));
  FloodSetup quiet = context.Setup();
  quiet.neighbourRate = 0;
  context.Record(Key::WorstKeys, Keys(InWindow(quiet, flood).keys, idleKeys));
}

// 10. Many sources: drops and the neighbour's share in a window here beside
// a plain socket, keystrokes, then "Quitter" in the real program.
void ManySources(Context& context, Xserver& x, double idleQuit, const Keystrokes& idleKeys) {
  const Counts& c = context.counts;
  const auto share = [](long part, long whole) {
    return whole > 0 ? 100.0 * double(part) / double(whole) : 0.0;
  };
  const auto shares = [&](long part, long whole) {
    return Format("%.2f %%", share(part, whole)) + " (" + Thousands(part) + " of " +
           Thousands(whole) + ")";
  };
  struct Rows {
    long addresses;
    std::array<Key, 5> keys; // drops, neighbours, keystrokes, "Quitter"
  };
  for (const Rows& rows :
       {Rows{c.manyAddresses,
             {Key::ManyDrops, Key::ManyNeighbour, Key::ManyLate, Key::ManyKeys, Key::ManyQuit}},
        Rows{c.fewAddresses,
             {Key::FewDrops, Key::FewNeighbour, Key::FewLate, Key::FewKeys, Key::FewQuit}}}) {
    const long addresses = rows.addresses;
    const Flood flood{addresses, 0, double(c.manySeconds)};
    const UnderFlood plain = InPlainSocket(context.Setup(), flood);
    const UnderFlood window = InWindow(context.Setup(), flood);
    const auto key = [&](int i) { return rows.keys[std::size_t(i)]; };
    context.Record(key(0), {shares(window.drops, window.sent), shares(plain.drops, plain.sent),
                            share(window.drops, window.sent), share(plain.drops, plain.sent)});
    const auto lost = [&](const Heard& heard) { return heard.sent - heard.shown; };
    const auto lostOf = [&](const Heard& heard) {
      return Thousands(lost(heard)) + " of " + Thousands(heard.sent);
    };
    for (const auto& [row, ours, base] : {std::tuple{key(1), window.neighbour, plain.neighbour},
                                          std::tuple{key(2), window.late, plain.late}})
      context.Record(row, {lostOf(ours), lostOf(base), share(lost(ours), ours.sent),
                           share(lost(base), base.sent), ours.sent > 0});
    context.Record(key(3), Keys(window.keys, idleKeys));
    const RealFlood real = RealUnderFlood(context, x, flood, 0, double(c.manySeconds) / 2);
    context.Record(key(4), Quit(real.quit, idleQuit));
  }
}

// 11. Fill and clear, in a window here.
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

void InXserver(Context& context) {
  Xserver x;
  if (!x.Start()) {
    std::fprintf(stderr, "  Xvfb did not start: start-up, memory and floods not measured\n");
    return;
  }
  // 4. Start-up, and 5. resident memory after it.
  std::vector<double> ours, base;
  long rss = 0, baseRss = 0;
  for (long i = 0; i < (context.Wants(4) ? context.counts.startRuns : 1); ++i) {
    Started chat = Start(context, x, context.Bin("../app/lanchat"), true);
    ours.push_back(chat.seconds);
    std::fprintf(stderr, "    start-up: lanchat %.1f ms", chat.seconds * 1000);
    usleep(300000);
    rss = RssOf(chat.child.pid);
    Stop(chat.child);
    Started empty = Start(context, x, context.Bin("bench_empty_window"), false);
    base.push_back(empty.seconds);
    std::fprintf(stderr, ", empty window %.1f ms\n", empty.seconds * 1000);
    usleep(300000);
    baseRss = RssOf(empty.child.pid);
    Stop(empty.child);
  }
  const double median = Median(ours) * 1000, baseMedian = Median(base) * 1000;
  if (context.Wants(4))
    context.Record(Key::StartUp, {Format("%.0f ms", median),
                                  Format("%.0f ms empty window", baseMedian), median, baseMedian});
  if (context.Wants(5))
    context.Record(Key::Resident, {Format("%.1f MB", double(rss) / 1e6),
                                   Format("%.1f MB empty window", double(baseRss) / 1e6),
                                   double(rss) / 1e6, double(baseRss) / 1e6});

  // 6. "Quitter" while another process floods the port, beside an idle click.
  const double floodSeconds = context.counts.floodSeconds;
  double idleQuit = 0, floodQuit = 0;
  long peak = 0;
  for (const bool flood : {false, true}) {
    Started chat = Start(context, x, context.Bin("../app/lanchat"), true);
    Child flooder;
    const auto floodStart = Clock::now();
    if (flood && !context.Wants(6)) break; // the idle click only
    if (flood) flooder = Send(context, 1000000000, 0, floodSeconds);
    while (flood && Since(floodStart) < floodSeconds / 2) {
      peak = std::max(peak, RssOf(chat.child.pid));
      usleep(50000);
    }
    if (!flood) usleep(300000);
    const std::string window = std::to_string(chat.window);
    const auto click = Clock::now();
    Child xdotool = Spawn({"xdotool", "mousemove", "--window", window, "588", "388", "click", "1"},
                          {"DISPLAY=" + x.display});
    xdotool.Wait();
    int status = 0;
    while (waitpid(chat.child.pid, &status, WNOHANG) == 0 && Since(click) < 10) {
      if (flood) peak = std::max(peak, RssOf(chat.child.pid));
      usleep(500);
    }
    (flood ? floodQuit : idleQuit) = Since(click) * 1000;
    if (Since(click) >= 10) Stop(chat.child);
    if (flood) {
      // Keep measuring memory until the flood ends, in a fresh window.
      flooder.Wait();
    }
  }
  if (context.Wants(6)) {
    context.Record(Key::FloodQuit, {Format("%.0f ms", floodQuit), Format("%.0f ms idle", idleQuit),
                                    floodQuit, idleQuit});
    context.Record(Key::FloodPeak,
                   {Format("%.1f MB", double(peak) / 1e6), "-", double(peak) / 1e6});
  }

  if (context.Wants(8)) LongFlood(context, x, rss, idleQuit);
  if (!context.Wants(9) && !context.Wants(10)) return;
  const Keystrokes idleKeys = Idle(context.quick ? 1 : 5);
  if (context.Wants(9)) WorstFlood(context, x, rss, idleQuit, idleKeys);
  if (context.Wants(10)) ManySources(context, x, idleQuit, idleKeys);
}

// The measures, in the order they run, and the figures each reads.
struct Measure {
  void (*measure)(Context&);
  std::vector<int> figures;
};
const std::array<Measure, 7> kMeasures{{{Bursts, {1}},
                                        {Growth, {2}},
                                        {Latency, {3}},
                                        {MemoryPerLine, {5}},
                                        {LongHistory, {7}},
                                        {FillClear, {11}},
                                        {InXserver, {4, 5, 6, 8, 9, 10}}}};

} // namespace

int main(int argc, char** argv) {
  Context context;
  bool markdown = false, usage = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--quick")
      context.quick = true;
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
    std::fprintf(stderr, "usage: lanchat_bench BIN_DIR [--quick] [--only 9,10]\n"
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
  for (const auto& [measure, figures] : kMeasures)
    if (std::any_of(figures.begin(), figures.end(), [&](int f) { return context.Wants(f); }))
      measure(context);
  context.Print();
  return 0;
}
