#pragma once

// Floods from many source addresses, measured in this process: the chat's
// window (offscreen) and a plain socket under the same flood, keystrokes
// into the window, and a history filled and cleared. Readings only;
// lanchat_bench records them.
#include <string>
#include <vector>

namespace bench {

// Where the floods go, and who sends them.
struct FloodSetup {
  std::string binDir;    // bench_many_sender, bench_sender, bench_baseline_receiver
  std::string broadcast; // the chat's address and port
  int port = 0;
  // Two well-behaved senders: one chatting from before the flood, one
  // starting 2 s into it, at the same rate.
  std::string neighbour;
  std::string lateNeighbour;
  double neighbourRate = 0;
};

// One flood of bench_many_sender at full speed.
struct Flood {
  long addresses = 0;
  long size = 0; // 0: short chat datagrams; else that many bytes of 0x80-0x9F
  double seconds = 0;
  double rate = 0;    // datagrams a second in all; 0: full speed
  bool ascii = false; // words of ASCII rather than bytes 0x80-0x9F
};

// bench_many_sender's command line for a flood.
std::vector<std::string> FloodCommand(const FloodSetup& setup, const Flood& flood);

// Key presses posted to the message box every 20 ms from another thread;
// each waits from its posting until an event filter on the box sees it.
struct Keystrokes {
  double slowest = 0; // ms
  long count = 0;
  // Seconds the window's thread spent on a core, and runnable but waiting
  // for one, meanwhile.
  double ran = 0, waited = 0;
  // The same during the slowest key's wait, in ms.
  double slowestRan = 0, slowestWaited = 0;
};

// A neighbour's messages: sent, and shown in the history (or read by the
// plain socket).
struct Heard {
  long sent = 0;
  long shown = 0;
};

// What a flood did to the window and to a plain socket.
struct UnderFlood {
  long sent = 0;  // the flood's datagrams
  long drops = 0; // the kernel's, on the receiving socket
  Heard neighbour, late;
  Keystrokes keys;
};

// The chat's window, offscreen in this process, under a flood and the
// neighbours (when their rate is not 0); keystrokes timed throughout.
UnderFlood InWindow(const FloodSetup& setup, const Flood& flood);
// bench_baseline_receiver under the same flood and neighbours.
UnderFlood InPlainSocket(const FloodSetup& setup, const Flood& flood);
// The same flood and neighbours alone, for a receiver already listening
// elsewhere (the real program): what each sent.
UnderFlood SendersAlone(const FloodSetup& setup, const Flood& flood);
// Keystrokes into an idle window.
Keystrokes Idle(double seconds);

// A history filled to its capacity or budget (or `lines`, if fewer), then
// cleared with Ctrl+A and Delete sent to it, `cycles` times. Resident sets
// of this process in bytes.
struct FillAndClear {
  long before = 0;
  std::vector<long> after; // after each clear
  long lines = 0;          // held when full
  long full = 0;           // resident set when last full
  bool cleared = true;
  double seconds = 0;
  double rate = 0;    // datagrams a second in all; 0: full speed
  bool ascii = false; // words of ASCII rather than bytes 0x80-0x9F
};
FillAndClear FillAndClearCycles(int cycles, long lines);

} // namespace bench
