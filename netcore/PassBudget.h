#pragma once

#include <chrono>
#include <cstddef>

// How much one pass of the event loop may spend on arrivals before it lets
// input and painting through: a time and an amount of work, whichever runs
// out first. The first datagram of a pass is always handled, so a pass is
// never empty. Plain code: the time is passed in.
class PassBudget {
public:
  using Clock = std::chrono::steady_clock;

  static constexpr Clock::duration kTime = std::chrono::milliseconds(10);
  // Bytes the history may gain in one pass: a few milliseconds of appending.
  static constexpr std::size_t kWork = 256 << 10;

  explicit PassBudget(Clock::time_point start, Clock::duration time = kTime,
                      std::size_t work = kWork)
      : deadline_(start + time), work_(work) {}

  // Counts a datagram handled, of that cost; true when the pass must end.
  bool Spend(std::size_t cost, Clock::time_point now) {
    spent_ += cost;
    return spent_ >= work_ || now >= deadline_;
  }

private:
  Clock::time_point deadline_;
  std::size_t work_;
  std::size_t spent_ = 0;
};
