#pragma once

// The table of figures (kFigures in figures.cpp): what each figure measures,
// the rows it prints and the targets that judge them; the counts a run
// measures with; a run's results and their printing. The measures only take
// readings and record them under a row's key.
#include "flood_measures.h"

#include <string>
#include <vector>

namespace bench {

// 100000 as "100,000".
std::string Thousands(long value);

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
  long oneSeconds;       // 17. the one-address flood
  long fillSeconds;      // 12. each flood into the window
  long fillBaseSeconds;  // 12. each flood into the plain socket
  long chatLead;         // 12. seconds the neighbour chats before the flood
  long chatEvery;        // 12. seconds between its messages
  long chatSize;         // 12. bytes of each
  long steadyAddresses;  // 12. the paced flood: its source addresses,
  long steadyRate;       //     datagrams a second from each,
  long steadySize;       //     and their size
  long pageLines;        // 13. lines of each history paged over
  long longLine;         // 13. characters of each line
  long pageKeys;         // 13. Page Down pressed, then as many Page Up
  long wheelNotches;     // 13. notches down, then as many up
  long undoLines;        // 14. lines cleared and brought back
  long undoBaseLines;    // 14. the same, the baseline
  long selectionLines;   // 15. lines at most (0: to the budget)
  long readerFlood;      // 16. seconds of the flood
  long readerWait;       // 16. seconds waited at most for the key to be spoken
  long findMiB;          // 18. MiB of text in the history searched
  long wineMessages;     // 19. short messages sent into the window under Wine
  long wineFloodSeconds; // 19. the worst flood under Wine
};

extern const Counts kFull;  // a full run
extern const Counts kQuick; // --quick

// The chat's broadcast address and port, as this build of it has them.
struct Network {
  std::string broadcast;
  int port = 0;
  std::string neighbour;     // the second sender's source address (8., 10.)
  std::string lateNeighbour; // the one that starts during the flood (10.)
};

Network Configured();
bool OnLoopback(const std::string& address);

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
  OneDrops,
  OneNeighbour,
  OneLate,
  OneKeys,
  OneQuit,
  OneUserDefault,
  OneUserPackage,
  OneRootDefault,
  FillWorst,
  FillWorstNeighbour,
  FillSteady,
  FillSteadyNeighbour,
  PageLong,
  PageHigh,
  ClearDelete,
  ClearUndo,
  SelectionPeak,
  ReaderTab,
  FindNext,
  FindCount,
  FindTyping,
  WineStartUp,
  WineRate,
  WinePerMessage,
  WinePeak,
};

// The table of figures as Markdown, for bench/README.md.
void PrintMarkdown(const Counts& counts, const Network& network);

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
  std::string windowsDir; // the Windows build (19.); not measured without it
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
  [[nodiscard]] bool Wants(int n) const;
  [[nodiscard]] std::string Port() const { return std::to_string(network.port); }
  [[nodiscard]] FloodSetup Setup() const {
    return {binDir,
            network.broadcast,
            network.port,
            network.neighbour,
            network.lateNeighbour,
            double(counts.neighbourRate)};
  }

  // Judges a reading by its row's target and keeps it.
  void Record(Key key, Reading reading);
  // The results in the order they were taken, then any row not measured,
  // in columns as wide as their widest cell.
  void Print() const;
};

} // namespace bench
