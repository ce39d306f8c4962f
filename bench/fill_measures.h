#pragma once

// How fast a flood fills the history, measured in this process on the
// chat's window (offscreen) and extrapolated to the history's budget, with
// a neighbour chatting at a human pace; and the same neighbour beside a
// plain socket under the same flood. Readings only; lanchat_bench records
// them.
#include "flood_measures.h"

namespace bench {

// A neighbour who chats from `lead` seconds before the flood: a message of
// about `size` bytes every `every` seconds.
struct Chat {
  double lead = 0;
  double every = 0;
  long size = 0;
};

struct Filling {
  double seconds = 0;  // of the flood, as measured
  double filledAt = 0; // seconds into the flood when the history reached its budget; 0: not
  double toFill = 0;   // seconds until it does: measured, or extrapolated from the rate
  long bytes = 0;      // held at the end: UTF-8 and 8 bytes a line
  long lines = 0;
  double byteRate = 0, lineRate = 0; // over the second half of the flood, a second
  long sent = 0;                     // the flood's datagrams
  double sending = 0;                // and the seconds it took to send them
  Heard neighbour;                   // the neighbour's messages sent during the flood
};

// The chat's window under `flood` for its length, and the neighbour.
Filling FillUnderFlood(const FloodSetup& setup, const Flood& flood, const Chat& chat);
// bench_baseline_receiver under the same flood and neighbour: the
// neighbour's datagrams sent during the flood, and read.
Heard PlainUnderFlood(const FloodSetup& setup, const Flood& flood, const Chat& chat);

} // namespace bench
