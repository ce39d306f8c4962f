#include "netcore/Receiver.h"

#include "netcore/ReceiverState.h"

#include <lanchat/BuildConfig.h>

#include <algorithm>

void Receiver::State::Received(const Arrival* arrivals, std::size_t count) {
  const auto now = Clock::now();
  if (!allowance) allowance.emplace(limits.allowance);
  admitted.clear();
  bool tellTurnedAway = false;
  for (std::size_t i = 0; i < count; ++i) {
    const Arrival& arrival = arrivals[i];
    const std::string_view payload = arrival.payload;
    // A datagram costs at least its size: a sender that cannot afford that
    // is turned away before its datagram is read through.
    std::size_t charge = payload.size();
    if (!allowance->Admit(
            arrival.address, payload.size(), [&] { return charge = CostOf(payload); }, now)) {
      limited.fetch_add(1, std::memory_order_relaxed);
      if (now - toldTurnedAway >= std::chrono::seconds(1)) {
        toldTurnedAway = now;
        tellTurnedAway = true;
      }
      continue;
    }
    admitted.push_back({std::string(payload), arrival.address, arrival.port, charge});
  }
  bool drain = false;
  if (!admitted.empty()) {
    // The batch goes in under one lock: the window finds the queue held
    // less often, and the reader takes the lock once however many got
    // through.
    const std::lock_guard lock(mutex);
    if (!queue) queue.emplace(limits.queue);
    for (Datagram& datagram : admitted)
      queue->Push(std::move(datagram));
    if (!readerPostedDrain && !queue->Empty()) drain = readerPostedDrain = true;
  }
  if (drain && wantDrain) wantDrain();
  if (tellTurnedAway && wantTurnedAway) wantTurnedAway();
}

Receiver::Receiver(int port, const Limits& limits, CostFunction cost,
                   std::function<void()> wantDrain, std::function<void()> wantTurnedAway)
    : state_(std::make_unique<State>(limits, cost, std::move(wantDrain),
                                     std::move(wantTurnedAway))),
      system_(StartReceiving(port, *state_)) {}

Receiver::~Receiver() {
  state_->stop.store(true, std::memory_order_release);
  system_.reset();
}

// It never waits for the reader: when a flood keeps the cores busy, the
// reader can lose its core while it holds the queue, and the window would
// wait with it.
Receiver::Taken Receiver::Take(std::deque<Datagram>& inHand, std::size_t maxCount,
                               std::size_t maxBytes) {
  const std::unique_lock lock(state_->mutex, std::try_to_lock);
  if (!lock.owns_lock()) return Taken::kBusy;
  if (!state_->queue) return inHand.empty() ? Taken::kNone : Taken::kSome;
  std::size_t bytes = 0;
  while (inHand.size() < maxCount && bytes < maxBytes) {
    std::optional<Datagram> next = state_->queue->Pop();
    if (!next) break;
    bytes += next->bytes.size();
    inHand.push_back(std::move(*next));
  }
  if (state_->queue->Empty()) state_->readerPostedDrain = false; // the reader asks for the next
  return inHand.empty() ? Taken::kNone : Taken::kSome;
}

std::optional<std::string> Receiver::SendTo(const std::string& host, int port,
                                            std::string_view bytes) {
  if (bytes.size() > lanchat::config::kMaxDatagramSize) return "message trop long";
  return SendFrom(*system_, host, port, bytes);
}

std::uint64_t Receiver::Limited() const {
  return state_->limited.load(std::memory_order_relaxed);
}

std::uint64_t Receiver::Dropped() const {
  const std::lock_guard lock(state_->mutex);
  return state_->queue ? state_->queue->Dropped() : 0;
}

std::size_t Receiver::Queued() const {
  const std::lock_guard lock(state_->mutex);
  return state_->queue ? state_->queue->Count() : 0;
}
