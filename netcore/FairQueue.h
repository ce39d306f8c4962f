#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

// Where the receiver's cost function cut a payload: two offsets into it,
// their meaning the cost function's own (the chat's: the end of the header
// and the end of the message). It goes on with the datagram, so that a
// payload is cut once on its way in.
struct Cut {
  bool made = false;  // a cost function looked for the cut
  bool found = false; // and found it
  std::uint32_t at = 0;
  std::uint32_t end = 0;
};

// A datagram that arrived, with its sender.
struct Datagram {
  std::string bytes;
  std::uint32_t address = 0; // network order
  std::uint16_t port = 0;    // host order
  std::size_t cost = 0;      // what it will cost its receiver once shown
  Cut cut{};                 // where the cost function cut it
};

// The datagrams waiting between the network and the window, at most
// `bytes` of memory counted at what they really hold: each datagram's
// record and payload allocation, each sender's queue. The senders are
// served in turn, one datagram each, so a sender that sends much waits
// behind the others. When it is full, the sender holding the most gives
// way: its newest datagram goes, or the incoming one if it is that sender's.
//
// At most `senders` source addresses have a queue of their own; beyond
// them, newcomers share one. Every step costs the same however many senders
// there are: the heaviest is kept in order, nothing is scanned.
//
// Plain code, not thread-safe: its owner holds a lock around each call.
class FairQueue {
public:
  struct Limits {
    std::size_t bytes = 16 << 20;
    std::size_t senders = 256;
  };

  explicit FairQueue(const Limits& limits);

  // Queues a datagram, or drops it (or the heaviest sender's newest ones)
  // when there is no room.
  void Push(Datagram datagram);
  // The next datagram, from the next sender in turn.
  std::optional<Datagram> Pop();

  [[nodiscard]] bool Empty() const { return count_ == 0; }
  [[nodiscard]] std::size_t Count() const { return count_; }
  [[nodiscard]] std::size_t Bytes() const { return bytes_; }
  [[nodiscard]] std::uint64_t Dropped() const { return dropped_; }

  // What a datagram costs while it waits, and what a sender's queue costs.
  static std::size_t Cost(const Datagram& datagram);
  static constexpr std::size_t kQueueCost = 1024;

private:
  struct Queue {
    std::deque<Datagram> items;
    std::size_t bytes = 0;
    std::uint32_t address = 0;
    bool assigned = false; // holds a sender's address (the shared one never does)
    bool inTurn = false;   // has its place in turns_
  };

  std::size_t QueueOf(std::uint32_t address);
  void Release(std::size_t slot);
  void SetBytes(std::size_t slot, std::size_t bytes);
  void DropNewest(std::size_t slot);

  Limits limits_;
  std::vector<Queue> queues_; // the last one is shared by the newcomers
  std::unordered_map<std::uint32_t, std::size_t> index_;
  std::vector<std::size_t> free_;
  std::deque<std::size_t> turns_;
  std::set<std::pair<std::size_t, std::size_t>> byWeight_; // (bytes, slot), non-empty queues
  std::size_t bytes_ = 0;
  std::size_t count_ = 0;
  std::uint64_t dropped_ = 0;
};
