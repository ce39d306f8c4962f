#include "netcore/RecentArrivals.h"

#include <algorithm>
#include <limits>

namespace {

// A 64-bit mix (splitmix64's finaliser): every bit of the address moves
// every bit of the result, which the rows take 14 bits each.
std::uint64_t Mix(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

} // namespace

RecentArrivals::RecentArrivals(std::uint64_t seed)
    : seed_(seed), current_(std::size_t{kRows} << kBits), previous_(std::size_t{kRows} << kBits) {}

unsigned RecentArrivals::Arrive(std::uint32_t address, Clock::time_point now) {
  if (!started_) {
    started_ = true;
    windowStart_ = now;
  }
  if (now - windowStart_ >= 2 * kWindow) {
    std::fill(current_.begin(), current_.end(), 0);
    std::fill(previous_.begin(), previous_.end(), 0);
    windowStart_ = now;
  } else if (now - windowStart_ >= kWindow) {
    current_.swap(previous_);
    std::fill(current_.begin(), current_.end(), 0);
    windowStart_ += kWindow;
  }
  const std::uint64_t hash = Mix(address ^ seed_);
  unsigned count = std::numeric_limits<unsigned>::max();
  for (unsigned row = 0; row < kRows; ++row) {
    const std::size_t at =
        (std::size_t{row} << kBits) | ((hash >> (row * kBits)) & ((1U << kBits) - 1));
    if (current_[at] < std::numeric_limits<std::uint16_t>::max()) ++current_[at];
    count = std::min(count, unsigned{current_[at]} + previous_[at]);
  }
  return count;
}
