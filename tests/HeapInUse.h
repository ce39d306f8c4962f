#pragma once

#include <cstddef>
#include <malloc.h>

// Bytes the allocator has handed out, mapped blocks included: what a test
// compares before and after, to see what the code under test holds.
inline std::size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}
