#pragma once

// The figures measured in the benchmark's own process, on the chat's window
// (offscreen) beside a plain baseline: 1. bursts, 2. growth, 3. latency,
// 5. memory per line, 7. a long history, 11. fill and clear.
#include "figures.h"

namespace bench {

void Bursts(Context& context);
void Growth(Context& context);
void Latency(Context& context);
void MemoryPerLine(Context& context);
void LongHistory(Context& context);
void FillClear(Context& context);

} // namespace bench
