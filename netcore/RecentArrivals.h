#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

// About how many datagrams each source address sent in the last one to two
// seconds, for any number of addresses in a fixed 256 KiB: counts kept in a
// few rows of hashed counters, each address adding to one counter per row,
// and read as the least of its counters. A count is never below what the
// address really sent; it is above only when every one of its counters is
// shared with a louder address. The hashing is seeded, so that a sender
// cannot choose addresses that share counters with a given one.
//
// Plain code: the time is passed in.
class RecentArrivals {
public:
  using Clock = std::chrono::steady_clock;

  explicit RecentArrivals(std::uint64_t seed);

  // Counts one arrival from `address` and returns its count.
  unsigned Arrive(std::uint32_t address, Clock::time_point now);

private:
  static constexpr unsigned kRows = 4;
  static constexpr unsigned kBits = 14; // 16,384 counters a row
  static constexpr Clock::duration kWindow = std::chrono::seconds(1);

  std::uint64_t seed_;
  // This window's counts and the last one's, row after row.
  std::vector<std::uint16_t> current_;
  std::vector<std::uint16_t> previous_;
  Clock::time_point windowStart_{};
  bool started_ = false;
};
