#include "net/Allowance.h"

#include <algorithm>

void Allowance::Buckets::Refill(const Rate& rate, double seconds) {
  messages = std::min(rate.messageBurst, messages + seconds * rate.messagesPerSecond);
  bytes = std::min(rate.byteBurst, bytes + seconds * rate.bytesPerSecond);
}

Allowance::Allowance(const Limits& limits) : limits_(limits) {
  limits_.senders = std::max<std::size_t>(limits_.senders, 1);
  senders_.reserve(limits_.senders);
  index_.reserve(limits_.senders);
  overflow_.own = {limits_.perSender.messageBurst, limits_.perSender.byteBurst};
  shared_ = {limits_.shared.messageBurst, limits_.shared.byteBurst};
}

void Allowance::Unlink(List& list, Links Sender::*links, std::size_t slot) {
  Links& place = senders_[slot].*links;
  if (place.before != kNone)
    (senders_[place.before].*links).after = place.after;
  else
    list.first = place.after;
  if (place.after != kNone)
    (senders_[place.after].*links).before = place.before;
  else
    list.last = place.before;
  place = {};
}

void Allowance::PushFront(List& list, Links Sender::*links, std::size_t slot) {
  senders_[slot].*links = {kNone, list.first};
  if (list.first != kNone) (senders_[list.first].*links).before = slot;
  list.first = slot;
  if (list.last == kNone) list.last = slot;
}

void Allowance::PushBack(List& list, Links Sender::*links, std::size_t slot) {
  senders_[slot].*links = {list.last, kNone};
  if (list.last != kNone) (senders_[list.last].*links).after = slot;
  list.last = slot;
  if (list.first == kNone) list.first = slot;
}

void Allowance::SetLoud(std::size_t slot, bool loud) {
  Sender& sender = senders_[slot];
  if (sender.loud == loud) return;
  sender.loud = loud;
  if (loud)
    PushBack(loud_, &Sender::byLoudness, slot);
  else
    Unlink(loud_, &Sender::byLoudness, slot);
}

// The slot of a followed sender, giving a newcomer a free place, a
// forgotten one or a loud one's; kNone when the newcomer is to share the
// overflow entry.
std::size_t Allowance::Find(std::uint32_t address, Clock::time_point now) {
  if (const auto found = index_.find(address); found != index_.end()) {
    Unlink(arrivals_, &Sender::byArrival, found->second);
    PushFront(arrivals_, &Sender::byArrival, found->second);
    return found->second;
  }
  std::size_t slot = kNone;
  if (senders_.size() < limits_.senders) {
    slot = senders_.size();
    senders_.emplace_back();
  } else {
    if (now - senders_[arrivals_.last].last >= limits_.forgetAfter) {
      slot = arrivals_.last;
    } else if (loud_.first != kNone) {
      slot = loud_.first;
    } else {
      return kNone;
    }
    // The place is taken over: its sender is forgotten.
    index_.erase(senders_[slot].address);
    Unlink(arrivals_, &Sender::byArrival, slot);
    SetLoud(slot, false);
  }
  Sender& sender = senders_[slot];
  sender.address = address;
  sender.own = {limits_.perSender.messageBurst, limits_.perSender.byteBurst};
  sender.quiet = {};
  sender.last = sender.since = now;
  index_.emplace(address, slot);
  PushFront(arrivals_, &Sender::byArrival, slot);
  return slot;
}

Allowance::Charged Allowance::Charge(Sender& sender, const Rate& quietRate, std::size_t atLeast,
                                     const std::function<std::size_t()>& cost,
                                     Clock::time_point now) {
  const double seconds = std::max(0.0, std::chrono::duration<double>(now - sender.last).count());
  sender.last = now;
  sender.own.Refill(limits_.perSender, seconds);
  sender.quiet.Refill(quietRate, seconds);
  const auto least = static_cast<double>(atLeast);
  if (!sender.own.Hold(least) || (!sender.quiet.Hold(least) && !shared_.Hold(least)))
    return Charged::Refused;
  const auto charge = static_cast<double>(std::max(atLeast, cost()));
  if (!sender.own.Hold(charge)) return Charged::Refused;
  Charged to = Charged::Quiet;
  if (sender.quiet.Hold(charge)) {
    sender.quiet.Take(charge);
  } else if (shared_.Hold(charge)) {
    shared_.Take(charge);
    to = Charged::Shared;
  } else {
    return Charged::Refused;
  }
  sender.own.Take(charge);
  return to;
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
  const std::size_t slot = Find(address, now);
  if (slot == kNone) return Charge(overflow_, Rate{}, atLeast, cost, now) != Charged::Refused;
  const Charged charged = Charge(senders_[slot], limits_.quiet, atLeast, cost, now);
  // Loud: past its quiet allowance, once it has had the time to fill it.
  SetLoud(slot, charged != Charged::Quiet && now - senders_[slot].since >= limits_.settle);
  return charged != Charged::Refused;
}
