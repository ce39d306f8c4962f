#pragma once

#include <chrono>
#include <cstddef>
#include <optional>

namespace chat {

// How often arrivals are told to assistive technology: the first after a
// quiet interval is told at once, on its own; those that follow within the
// interval are held, and told together once it has passed; then at most
// one telling an interval while they keep coming. Plain code: the time is
// passed in. The history's accessible interface tells its inserted lines at
// this pace, and the window's announcer the messages.
class ArrivalPace {
public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kInterval = std::chrono::seconds(1);

  // One arrival at `now`: true if it is to be told at once, false if it is
  // held for a later telling.
  bool Arrive(Clock::time_point now);
  // The arrivals held, if their telling is due at `now` (they then count as
  // told); 0 if none are held or they are not due yet.
  std::size_t TakeDue(Clock::time_point now);
  // When the held arrivals are to be told; nothing if none are held.
  [[nodiscard]] std::optional<Clock::time_point> Due() const;

private:
  std::optional<Clock::time_point> told_; // the last telling
  std::size_t held_ = 0;
};

} // namespace chat
