#include "chat/ArrivalPace.h"

#include <utility>

namespace chat {

bool ArrivalPace::Arrive(Clock::time_point now) {
  if (held_ == 0 && (!told_ || now - *told_ >= kInterval)) {
    told_ = now;
    return true;
  }
  ++held_;
  return false;
}

std::size_t ArrivalPace::TakeDue(Clock::time_point now) {
  if (held_ == 0 || now - *told_ < kInterval) return 0;
  told_ = now;
  return std::exchange(held_, 0);
}

std::optional<ArrivalPace::Clock::time_point> ArrivalPace::Due() const {
  if (held_ == 0) return std::nullopt;
  return *told_ + kInterval;
}

} // namespace chat
