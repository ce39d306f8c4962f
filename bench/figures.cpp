// The table of figures and its printing: the targets, every figure's rows,
// the Markdown table for bench/README.md and the table of a run's results
// (the counts of a run are in counts.cpp).
#include "figures.h"

#include "measure.h"
#include "targets.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace bench {
namespace {

// ---- The table of figures

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
const std::array<Figure, 19> kFigures{{
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
      {Key::Rate, "1. rate into the history, at full speed", nullptr, ShareOfBaseline(1)}}},
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
     {{Key::StartUp, "4. start-up to listening and shown (median)", nullptr, TimesBaseline(1.05)}}},
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
              " messages a second from " + n.neighbour + " (\"Voisin\", chatting from 1 s before "
              "the flood); the real program in Xvfb, as an ordinary user: resident set at " + N(c.longFloodSeconds / 3) + " s and at " +
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
              N(c.worstSeconds) + " s. The real program in Xvfb, as an ordinary user: resident set at " +
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
              "Then the real program in Xvfb, as an ordinary user: a click on \"Quitter\" halfway through the same "
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
    {"12. filling the history",
     [](const Counts& c, const Network& n) {
       return "a window (offscreen, in the benchmark's process) under a flood of " +
              N(c.fillSeconds) + " s, its history's text counted every half second as its "
              "budget counts it (UTF-8 and 8 bytes a line, against 128 MiB or 10,000,000 lines): "
              "the time until it is full, measured or extrapolated from the rate over the flood's "
              "second half. Two floods of `bench_many_sender`: 9.'s (" + T(c.worstAddresses) +
              " addresses, " + T(c.worstSize) + "-byte datagrams of 0x80-0x9F, full speed), and " +
              T(c.steadyAddresses) + " addresses sending " + N(c.steadyRate) + " datagrams a "
              "second each, of " + N(c.steadySize) + " bytes of ASCII words. Meanwhile a "
              "neighbour at " + n.neighbour + " (\"Voisin\", chatting from " + N(c.chatLead) +
              " s before the flood) sends a message of " + T(c.chatSize) + " bytes every " +
              N(c.chatEvery) + " s: those sent during the flood that reach the history";
     },
     [](const Counts& c, const Network&) {
       return "the flood's own rate on the wire (the time it would take to fill 128 MiB if all "
              "were kept); `bench_baseline_receiver` under the same floods and neighbour for " +
              N(c.fillBaseSeconds) + " s: the neighbour's datagrams it read";
     },
     {{Key::FillWorst, "12. time to fill the history, worst flood", nullptr, AtLeast(8, "h")},
      {Key::FillWorstNeighbour, "12. neighbour's messages shown, worst flood", nullptr,
       AllOfBaseline("")},
      {Key::FillSteady, "12. time to fill the history, {,} addresses at a steady rate",
       &Counts::steadyAddresses, AtLeast(8, "h")},
      {Key::FillSteadyNeighbour, "12. neighbour's messages shown, {,} addresses at a steady rate",
       &Counts::steadyAddresses, AllOfBaseline("")}}},
    {"13. paging over long lines",
     [](const Counts& c, const Network&) {
       return "the program's window in Xvfb (`bench_paging`: the program's start-up, then its "
              "history given " + N(c.pageLines) + " lines of " + T(c.longLine) + " characters "
              "without spaces, or " + N(c.pageLines) + " lines of " + T(c.longLine) + " bytes "
              "0x80-0x9F as the program decodes them, through its lines); keys sent to the "
              "history in that process: Ctrl+Home, " + N(c.pageKeys) +
              " x Page Down, Ctrl+End, " + N(c.pageKeys) + " x Page Up, Ctrl+Home, " +
              N(c.wheelNotches) + " wheel notches down, Ctrl+End, " + N(c.wheelNotches) +
              " notches up. Each is timed from its posting until an event posted after it, below "
              "the priority of a repaint, is handled: the key and the repaint it asks for";
     },
     [](const Counts& c, const Network&) {
       return "the same keys over " + N(c.pageLines) + " lines of 20 characters";
     },
     {{Key::PageLong, "13. slowest key or notch, lines of {,} characters without spaces",
       &Counts::longLine, Below(50, "ms")},
      {Key::PageHigh, "13. slowest key or notch, lines of {,} bytes 0x80-0x9F", &Counts::longLine,
       Below(50, "ms")}}},
    {"14. clearing a long history",
     [](const Counts& c, const Network&) {
       return "a window (offscreen) whose history holds " + T(c.undoLines) + " empty lines (the "
              "most lines it holds; empty, so that the clear fits the undo's 16 MiB); in the "
              "history Ctrl+A, Delete, then Ctrl+Z. Delete is timed as 13.'s keys; Ctrl+Z from "
              "the key until the lines are all back, while another thread posts an event to the "
              "window every 10 ms: the slowest wait of any of them for the window";
     },
     [](const Counts& c, const Network&) {
       return "the same over " + T(c.undoBaseLines) + " lines";
     },
     {{Key::ClearDelete, "14. Delete of a whole history of {,} lines", &Counts::undoLines,
       Below(100, "ms")},
      {Key::ClearUndo, "14. undo of that clear: the window answers within", nullptr,
       Below(100, "ms")}}},
    {"15. primary selection of a full history",
     [](const Counts& c, const Network&) {
       return std::string("the program's window in Xvfb (`bench_full_history`: the program's "
                          "start-up, then ") +
              (c.selectionLines == 0 ? std::string("its history filled to its budget")
                                     : "a history of " + T(c.selectionLines) + " lines") +
              " with 20-character lines, the notice closed); a click in the history and Ctrl+A "
              "(xdotool), then `xclip -o -selection primary` reads the selection: the process's "
              "peak resident set meanwhile (VmHWM, reset before the click)";
     },
     [](const Counts&, const Network&) -> std::string {
       return "the stated budget, as in 9.: its resident set after start-up + history 128 MiB "
              "+ queue 16 MiB + undo 16 MiB + reader buffers 2 MiB";
     },
     {{Key::SelectionPeak, "15. peak resident memory while another program reads the selection",
       nullptr, BelowBaseline(" (stated budget)")}}},
    {"16. screen reader after a flood",
     [](const Counts& c, const Network&) {
       return "the real program in Xvfb with Orca, speaking through a speech-dispatcher whose "
              "synthesiser writes each text to a log (`orca_delay.sh`, as "
              "tests/screen_reader.sh); the focus in the message box, `bench_many_sender` "
              "floods short chat datagrams from 50 addresses at 2,000 a second for " +
              N(c.readerFlood) + " s; at its end Tab is pressed (xdotool), and the time until "
              "Orca speaks it (\"tab\", its echo of the key) is read from the log (waited for " +
              N(c.readerWait) + " s at most)";
     },
     [](const Counts&, const Network&) -> std::string {
       return "the same Tab with no flood, in the same session";
     },
     {{Key::ReaderTab, "16. Tab spoken after a flood of {} s", &Counts::readerFlood,
       Below(1000, "ms")}}},
    {"17. one loud address",
     [](const Counts& c, const Network& n) {
       return "`bench_many_sender` floods short chat datagrams at full speed for " +
              N(c.oneSeconds) + " s from one source address, with the two neighbours of 10. (" +
              n.neighbour + " from 1 s before the flood, " + n.lateNeighbour + " from 2 s into "
              "it, " + N(c.neighbourRate) + " messages a second each). A window (offscreen) in "
              "the benchmark's process, its socket opened as an ordinary user's: the kernel's "
              "drops on its socket as a share of what was sent, each neighbour's messages that "
              "did not reach the history, key presses timed as in 9. Then the real program in "
              "Xvfb as an ordinary user: a click on \"Quitter\" halfway through the same flood. "
              "Then the same flood and neighbours against the real program, as an ordinary user "
              "with net.core.rmem_max at 212,992 (a fresh Debian's) and at 33,554,432 (what the "
              "Debian package sets), and as root at 212,992: the neighbours' messages missing "
              "from its history (copied as in 8.) and the kernel's drops on its socket";
     },
     [](const Counts&, const Network&) -> std::string {
       return "`bench_baseline_receiver` under the same flood and neighbours, as in 10., run the "
              "same way (the same user, the same limit); 9.'s idle window; the idle "
              "\"Quitter\" click (6.)";
     },
     {{Key::OneDrops, "17. kernel drops, one address", nullptr, NoMoreThanBaseline()},
      {Key::OneNeighbour, "17. neighbour's messages lost, one address", nullptr,
       NoMoreThanBaseline()},
      {Key::OneLate, "17. late neighbour's messages lost, one address", nullptr,
       NoMoreThanBaseline()},
      {Key::OneKeys, "17. slowest keystroke, one address", nullptr, Below(100, "ms")},
      {Key::OneQuit, "17. \"Quitter\" during the flood, one address", nullptr,
       Below(150, "ms")},
      {Key::OneUserDefault, "17. neighbours' messages lost, ordinary user, rmem_max 212,992",
       nullptr, NoMoreThanBaseline()},
      {Key::OneUserPackage, "17. neighbours' messages lost, ordinary user, rmem_max 33,554,432",
       nullptr, None("lost")},
      {Key::OneRootDefault, "17. neighbours' messages lost, root, rmem_max 212,992", nullptr,
       None("lost")}}},
    {"18. find in a full history",
     [](const Counts& c, const Network&) {
       return "a window (offscreen) whose history holds " + N(c.findMiB) + " MiB of chat "
              "(two lines a message; one message in a hundred says \"La réunion de 14 h ...\", "
              "the last one alone names Pauline), searched as the find box does, without "
              "accents nor capitals: the next match of \"pauline\" from the start (a pass over "
              "the whole text), and the count of every \"reunion\" (best of 5 each); then "
              "\"reunion\" typed into the find box (Ctrl+F) a key at a time, each key timed as "
              "14.'s";
     },
     [](const Counts&, const Network&) -> std::string {
       return "std::search (Boyer-Moore-Horspool) over a copy of the whole text in one string, "
              "for the exact bytes of \"Pauline\" and of \"réunion\"";
     },
     {{Key::FindNext, "18. next match, a pass over {} MiB", &Counts::findMiB, Below(50, "ms")},
      {Key::FindCount, "18. count of every match in {} MiB", &Counts::findMiB, Below(50, "ms")},
      {Key::FindTyping, "18. slowest key typed into the find box", nullptr,
       Below(100, "ms")}}},
    {"19. Windows build under Wine",
     [](const Counts& c, const Network& n) {
       return "`lanchat.exe` of the Windows build (`--windows DIR`; `bench/run.sh` builds it with "
              "`scripts/windows.sh`) under Wine 8 in Xvfb, by `bench/wine_measures.py`: start-up "
              "until the window is mapped (xdotool) and port " + N(n.port) + " is bound, the "
              "wineserver running, median of " + N(c.startRuns) + "; " + T(c.wineMessages) +
              " short messages sent at full speed, their rate into the history (read with the "
              "window probe) and the resident growth per two-line message; the resident peak "
              "under 9.'s worst flood (5,000 addresses, 65,507 bytes) for " +
              N(c.wineFloodSeconds) + " s";
     },
     [](const Counts&, const Network&) -> std::string {
       return "the Linux build in the same run: 4.'s start-up, 1.'s rate at full speed, twice "
              "5.'s memory per line; the bound of the Wine flood test (`tests/wine/"
              "wine_flood.py`: a full history of 1,000,000 characters, at about 210 bytes each "
              "in Wine's RichEdit, and the queue)";
     },
     {{Key::WineStartUp, "19. start-up under Wine (median)", nullptr, Reported()},
      {Key::WineRate, "19. rate into the history under Wine", nullptr, Reported()},
      {Key::WinePerMessage, "19. memory per message under Wine", nullptr, Reported()},
      {Key::WinePeak, "19. worst-flood peak under Wine", nullptr, Below(320, "MiB")}}},
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

} // namespace

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

// ---- A run's results

bool Context::Wants(int n) const {
  return only.empty() || std::find(only.begin(), only.end(), n) != only.end();
}

void Context::Record(Key key, Reading reading) {
  const Row& row = RowOf(key);
  const bool ok = reading.sound && row.target.Met(reading.x, reading.base);
  std::fprintf(stderr, "  %s: %s (baseline %s)\n", NameOf(row, counts).c_str(),
               reading.value.c_str(), reading.baseline.c_str());
  results.push_back({key, std::move(reading), ok});
}

void Context::Print() const {
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

} // namespace bench
