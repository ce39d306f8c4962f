#include "net/Allowance.h"

#include <algorithm>
#include <random>

namespace {

std::uint64_t SeedOf(std::uint64_t seed) {
  if (seed != 0) return seed;
  std::random_device random;
  return (std::uint64_t{random()} << 32) | random();
}

} // namespace

void Allowance::Buckets::Refill(const Rate& rate, double seconds) {
  messages = std::min(rate.messageBurst, messages + seconds * rate.messagesPerSecond);
  bytes = std::min(rate.byteBurst, bytes + seconds * rate.bytesPerSecond);
}

Allowance::Allowance(const Limits& limits) : limits_(limits), recent_(SeedOf(limits.seed)) {
  limits_.senders = std::max<std::size_t>(limits_.senders, 1);
  senders_.reserve(limits_.senders);
  index_.reserve(limits_.senders);
  overflow_.own = {limits_.perSender.messageBurst, limits_.perSender.byteBurst};
  shared_ = {limits_.shared.messageBurst, limits_.shared.byteBurst};
  newcomers_ = {limits_.newcomers.messageBurst, limits_.newcomers.byteBurst};
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

// The slot of a followed sender, taking a free or forgotten one for a
// newcomer; kNone when the newcomer is to share the overflow entry.
std::size_t Allowance::Find(std::uint32_t address, Clock::time_point now) {
  if (const auto found = index_.find(address); found != index_.end()) {
    Unlink(found->second);
    PushNewest(found->second);
    return found->second;
  }
  std::size_t slot = kNone;
  if (senders_.size() < limits_.senders) {
    slot = senders_.size();
    senders_.emplace_back();
  } else if (now - senders_[oldest_].last >= limits_.forgetAfter) {
    slot = oldest_;
    index_.erase(senders_[slot].address);
    Unlink(slot);
  } else {
    return kNone;
  }
  Sender& sender = senders_[slot];
  sender.address = address;
  sender.own = {limits_.perSender.messageBurst, limits_.perSender.byteBurst};
  sender.quiet = {limits_.quiet.messageBurst, limits_.quiet.byteBurst};
  sender.last = now;
  index_.emplace(address, slot);
  PushNewest(slot);
  return slot;
}

bool Allowance::Charge(Sender& sender, const Rate& quietRate, std::size_t atLeast,
                       const std::function<std::size_t()>& cost, Clock::time_point now) {
  const double seconds = std::max(0.0, std::chrono::duration<double>(now - sender.last).count());
  sender.last = now;
  sender.own.Refill(limits_.perSender, seconds);
  sender.quiet.Refill(quietRate, seconds);
  const auto least = static_cast<double>(atLeast);
  if (!sender.own.Hold(least) || (!sender.quiet.Hold(least) && !shared_.Hold(least))) return false;
  const auto charge = static_cast<double>(std::max(atLeast, cost()));
  if (!sender.own.Hold(charge)) return false;
  if (sender.quiet.Hold(charge)) {
    sender.quiet.Take(charge);
  } else if (shared_.Hold(charge)) {
    shared_.Take(charge);
  } else {
    return false;
  }
  sender.own.Take(charge);
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
    sharedLast_ = now;
    overflow_.last = now;
  }
  const double seconds = std::max(0.0, std::chrono::duration<double>(now - sharedLast_).count());
  sharedLast_ = std::max(sharedLast_, now);
  shared_.Refill(limits_.shared, seconds);
  newcomers_.Refill(limits_.newcomers, seconds);
  const std::size_t slot = Find(address, now);
  if (slot == kNone) {
    std::size_t known = 0; // the cost, worked out once at most
    const std::function<std::size_t()> once = [&] { return known != 0 ? known : known = cost(); };
    if (recent_.Arrive(address, now) <= limits_.quietArrivals && ChargeNewcomer(atLeast, once))
      return true;
    return Charge(overflow_, Rate{}, atLeast, once, now);
  }
  return Charge(senders_[slot], limits_.quiet, atLeast, cost, now);
}
