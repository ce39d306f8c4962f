#pragma once

#include <chrono>
#include <cstdint>

// Groups the datagrams turned away for their rate into floods, so that the
// user is told once per flood: a flood ends after `calm` without any
// turned away. Fed the running total of datagrams turned away; answers the
// flood's number and how many of them were turned away in it.
//
// Plain code: the time is passed in.
class FloodTally {
public:
  using Clock = std::chrono::steady_clock;
  struct Tally {
    std::uint64_t flood = 0;
    std::uint64_t turnedAway = 0;
  };

  explicit FloodTally(Clock::duration calm = std::chrono::seconds(60)) : calm_(calm) {}

  Tally Seen(std::uint64_t total, Clock::time_point now) {
    if (flood_ == 0 || (total != seen_ && now - changed_ > calm_)) {
      ++flood_;
      base_ = seen_;
    }
    if (total != seen_) changed_ = now;
    seen_ = total;
    return {flood_, total - base_};
  }
  [[nodiscard]] std::uint64_t Total() const { return seen_; }

private:
  Clock::duration calm_;
  std::uint64_t flood_ = 0;
  std::uint64_t base_ = 0;
  std::uint64_t seen_ = 0;
  Clock::time_point changed_{};
};
