#include "netcore/FairQueue.h"

#include <algorithm>

std::size_t FairQueue::Cost(const Datagram& datagram) {
  // A payload longer than the string's own buffer is a heap block: its
  // capacity, the terminating zero and the allocator's header, rounded.
  constexpr std::size_t kInline = 15;
  const std::size_t capacity = datagram.bytes.capacity();
  const std::size_t heap = capacity > kInline ? (capacity + 1 + 8 + 15) / 16 * 16 : 0;
  return sizeof(Datagram) + heap;
}

FairQueue::FairQueue(const Limits& limits)
    : limits_(limits), queues_(std::max<std::size_t>(limits.senders, 1) + 1) {
  index_.reserve(queues_.size());
  free_.reserve(queues_.size());
  for (std::size_t slot = queues_.size() - 1; slot-- > 0;)
    free_.push_back(slot);
}

std::size_t FairQueue::QueueOf(std::uint32_t address) {
  if (const auto found = index_.find(address); found != index_.end()) return found->second;
  if (free_.empty()) return queues_.size() - 1;
  const std::size_t slot = free_.back();
  free_.pop_back();
  queues_[slot].address = address;
  queues_[slot].assigned = true;
  index_.emplace(address, slot);
  return slot;
}

// An emptied queue gives its sender's place back, its memory with it.
void FairQueue::Release(std::size_t slot) {
  Queue& queue = queues_[slot];
  std::deque<Datagram>().swap(queue.items);
  if (!queue.assigned) return;
  queue.assigned = false;
  index_.erase(queue.address);
  free_.push_back(slot);
}

// Keeps the order by weight and the total in step with a queue's bytes.
void FairQueue::SetBytes(std::size_t slot, std::size_t bytes) {
  Queue& queue = queues_[slot];
  const std::size_t before = queue.bytes;
  if (before != 0) {
    auto node = byWeight_.extract({before, slot});
    if (bytes != 0 && !node.empty()) {
      node.value().first = bytes;
      byWeight_.insert(std::move(node));
    }
  } else if (bytes != 0) {
    byWeight_.emplace(bytes, slot);
  }
  bytes_ = bytes_ - before + bytes;
  queue.bytes = bytes;
}

void FairQueue::DropNewest(std::size_t slot) {
  Queue& queue = queues_[slot];
  const std::size_t cost = Cost(queue.items.back());
  queue.items.pop_back();
  --count_;
  ++dropped_;
  if (queue.items.empty()) {
    SetBytes(slot, 0);
    Release(slot);
  } else {
    SetBytes(slot, queue.bytes - cost);
  }
}

void FairQueue::Push(Datagram datagram) {
  const std::size_t slot = QueueOf(datagram.address);
  Queue& queue = queues_[slot];
  const std::size_t cost = Cost(datagram) + (queue.items.empty() ? kQueueCost : 0);
  while (bytes_ + cost > limits_.bytes) {
    const std::size_t own = queue.bytes + cost;
    if (byWeight_.empty() || own >= byWeight_.rbegin()->first) {
      ++dropped_;
      if (queue.items.empty()) Release(slot);
      return;
    }
    DropNewest(byWeight_.rbegin()->second);
  }
  queue.items.push_back(std::move(datagram));
  ++count_;
  SetBytes(slot, queue.bytes + cost);
  if (!queue.inTurn) {
    queue.inTurn = true;
    turns_.push_back(slot);
  }
}

std::optional<Datagram> FairQueue::Pop() {
  while (!turns_.empty()) {
    const std::size_t slot = turns_.front();
    turns_.pop_front();
    Queue& queue = queues_[slot];
    queue.inTurn = false;
    if (queue.items.empty()) continue; // emptied by a drop since it took its turn
    Datagram datagram = std::move(queue.items.front());
    queue.items.pop_front();
    --count_;
    const std::size_t cost = Cost(datagram) + (queue.items.empty() ? kQueueCost : 0);
    SetBytes(slot, queue.bytes - cost);
    if (queue.items.empty()) {
      Release(slot);
    } else {
      queue.inTurn = true;
      turns_.push_back(slot);
    }
    return datagram;
  }
  return std::nullopt;
}
