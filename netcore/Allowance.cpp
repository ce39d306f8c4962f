#include "netcore/Allowance.h"

#include <algorithm>
#include <random>

namespace {

std::uint64_t SeedOf(std::uint64_t seed) {
  if (seed != 0) return seed;
  std::random_device random;
  return (std::uint64_t{random()} << 32) | random();
}

double Seconds(Allowance::Clock::duration duration) {
  return std::max(0.0, std::chrono::duration<double>(duration).count());
}

} // namespace

void Allowance::Buckets::Refill(const Rate& rate, double seconds) {
  messages = std::min(rate.messageBurst, messages + seconds * rate.messagesPerSecond);
  bytes = std::min(rate.byteBurst, bytes + seconds * rate.bytesPerSecond);
}

Allowance::Bound Allowance::Ceiling(const Limits& limits) {
  // A sender's part of the reserve is also charged to the reserve itself,
  // so the parts add nothing.
  return {limits.shared.bytesPerSecond + limits.newcomers.bytesPerSecond +
              limits.reserve.bytesPerSecond,
          limits.shared.byteBurst + limits.newcomers.byteBurst + limits.reserve.byteBurst};
}

Allowance::Allowance(const Limits& limits) : limits_(limits), recent_(SeedOf(limits.seed)) {
  limits_.senders = std::max<std::size_t>(limits_.senders, 1);
  senders_.reserve(limits_.senders);
  index_.reserve(limits_.senders);
  const auto full = [](const Rate& rate) { return Buckets{rate.messageBurst, rate.byteBurst}; };
  overflow_.own = full(limits_.perSender);
  overflow_.shared = full(limits_.shared);
  shared_ = full(limits_.shared);
  newcomers_ = full(limits_.newcomers);
  reserve_ = full(limits_.reserve);
  pressure_ = full(limits_.pressure);
}

void Allowance::Unlink(std::size_t slot) {
  Sender& sender = senders_[slot];
  if (sender.newer != kNone)
    senders_[sender.newer].older = sender.older;
  else
    newest_ = sender.older;
  if (sender.older != kNone)
    senders_[sender.older].newer = sender.newer;
  else
    oldest_ = sender.newer;
  sender.newer = sender.older = kNone;
}

void Allowance::PushNewest(std::size_t slot) {
  Sender& sender = senders_[slot];
  sender.newer = kNone;
  sender.older = newest_;
  if (newest_ != kNone) senders_[newest_].newer = slot;
  newest_ = slot;
  if (oldest_ == kNone) oldest_ = slot;
}

// Counts the arrival against the pace of a chat; going past it begins a
// flood, or makes the one going on last.
void Allowance::Pressure(std::size_t atLeast, Clock::time_point now) {
  const auto cost = static_cast<double>(atLeast);
  if (pressure_.Hold(cost)) {
    pressure_.Take(cost);
    return;
  }
  pressed_ = now;
  if (flood_) return;
  flood_ = true;
  floodBegan_ = now;
  ++floodNumber_;
  sharers_ = 0;
}

bool Allowance::HeardBeforeFlood(const Sender& sender, Clock::time_point now) const {
  return flood_ && sender.first + limits_.heardBefore <= floodBegan_ &&
         now - sender.last <= limits_.chattedWithin;
}

// A place for a newcomer: a free one, or the place of the sender quiet the
// longest if it has been quiet long enough. One that was chatting before
// the flood keeps its place longer: it is passed over, a few at a time.
std::size_t Allowance::FreeSlot(Clock::time_point now) {
  if (senders_.size() < limits_.senders) {
    senders_.emplace_back();
    return senders_.size() - 1;
  }
  for (int tries = 0; tries < 4; ++tries) {
    const std::size_t slot = oldest_;
    Sender& sender = senders_[slot];
    if (now - sender.last < limits_.forgetAfter) return kNone;
    Unlink(slot);
    if (HeardBeforeFlood(sender, now)) {
      PushNewest(slot);
      continue;
    }
    if (flood_ && sender.sharing == floodNumber_) --sharers_;
    index_.erase(sender.address);
    return slot;
  }
  return kNone;
}

// The slot of a followed sender, taking a free or forgotten one for a
// newcomer; kNone when the newcomer is to share the overflow entry.
std::size_t Allowance::Find(std::uint32_t address, Clock::time_point now) {
  if (const auto found = index_.find(address); found != index_.end()) {
    Unlink(found->second);
    PushNewest(found->second);
    return found->second;
  }
  const std::size_t slot = FreeSlot(now);
  if (slot == kNone) return kNone;
  Sender& sender = senders_[slot];
  sender = Sender{};
  sender.address = address;
  sender.own = {limits_.perSender.messageBurst, limits_.perSender.byteBurst};
  sender.shared = {limits_.shared.messageBurst, limits_.shared.byteBurst};
  sender.first = sender.last = now;
  index_.emplace(address, slot);
  PushNewest(slot);
  return slot;
}

bool Allowance::Charge(Sender& sender, bool followed, std::size_t atLeast,
                       const std::function<std::size_t()>& cost, Clock::time_point now) {
  const double seconds = Seconds(now - sender.last);
  if (now - sender.last > limits_.chattedWithin) sender.first = now; // heard anew
  sender.last = now;
  sender.own.Refill(limits_.perSender, seconds);
  // Each followed sender, and the overflow entry, refills an equal part of
  // the shared rate.
  const auto followers = static_cast<double>(index_.size() + 1);
  sender.shared.Refill({limits_.shared.messagesPerSecond / followers, limits_.shared.messageBurst,
                        limits_.shared.bytesPerSecond / followers, limits_.shared.byteBurst},
                       seconds);

  // A sender heard before the flood began draws on the reserve, an equal
  // part of its rate for each such sender.
  const bool sharing = followed && flood_ && sender.first + limits_.heardBefore <= floodBegan_;
  if (sharing && sender.sharing != floodNumber_) {
    sender.sharing = floodNumber_;
    ++sharers_;
    sender.reserve = {limits_.reserveEachMessages, limits_.reserveEachBytes};
  } else if (!sharing && sender.sharing != 0) {
    if (flood_ && sender.sharing == floodNumber_) --sharers_;
    sender.sharing = 0;
  }
  if (sharing) {
    const auto parts = static_cast<double>(std::max<std::size_t>(sharers_, 1));
    sender.reserve.Refill({limits_.reserve.messagesPerSecond / parts, limits_.reserveEachMessages,
                           limits_.reserve.bytesPerSecond / parts, limits_.reserveEachBytes},
                          seconds);
  }

  const auto open = [&](double charge) {
    return sender.shared.Hold(charge) && shared_.Hold(charge);
  };
  const auto affordable = [&](double charge) {
    return sender.own.Hold(charge) &&
           (open(charge) || (sharing && sender.reserve.Hold(charge) && reserve_.Hold(charge)));
  };
  if (!affordable(static_cast<double>(atLeast))) return false;
  const auto charge = static_cast<double>(std::max(atLeast, cost()));
  if (!affordable(charge)) return false;
  sender.own.Take(charge);
  if (open(charge)) {
    sender.shared.Take(charge);
    shared_.Take(charge);
  } else {
    sender.reserve.Take(charge);
    reserve_.Take(charge);
  }
  return true;
}

bool Allowance::ChargeNewcomer(std::size_t atLeast, const std::function<std::size_t()>& cost) {
  if (!newcomers_.Hold(static_cast<double>(atLeast))) return false;
  const auto charge = static_cast<double>(std::max(atLeast, cost()));
  if (!newcomers_.Hold(charge)) return false;
  newcomers_.Take(charge);
  return true;
}

bool Allowance::Admit(std::uint32_t address, std::size_t cost, Clock::time_point now) {
  return Admit(
      address, cost, [cost] { return cost; }, now);
}

bool Allowance::Admit(std::uint32_t address, std::size_t atLeast,
                      const std::function<std::size_t()>& cost, Clock::time_point now) {
  if (!started_) {
    started_ = true;
    last_ = now;
    overflow_.last = now;
  }
  const double seconds = Seconds(now - last_);
  last_ = std::max(last_, now);
  shared_.Refill(limits_.shared, seconds);
  newcomers_.Refill(limits_.newcomers, seconds);
  reserve_.Refill(limits_.reserve, seconds);
  pressure_.Refill(limits_.pressure, seconds);
  if (flood_ && now - pressed_ > limits_.calmAfter) flood_ = false;
  Pressure(atLeast, now);

  const std::size_t slot = Find(address, now);
  if (slot == kNone) {
    std::size_t known = 0; // the cost, worked out once at most
    const std::function<std::size_t()> once = [&] { return known != 0 ? known : known = cost(); };
    if (recent_.Arrive(address, now) <= limits_.quietArrivals && ChargeNewcomer(atLeast, once))
      return true;
    return Charge(overflow_, false, atLeast, once, now);
  }
  return Charge(senders_[slot], true, atLeast, cost, now);
}
