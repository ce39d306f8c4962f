#pragma once

#include "net/RecentArrivals.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

// Decides which arriving datagrams may go on to the window, so that no
// sender, and no crowd of senders, can make the program take in more than
// a sustained rate with a burst. Each datagram is charged what it will cost
// in the history (see Cost in Limits), not its size on the wire.
//
// Three allowances, each a pair of buckets (messages and bytes) that fill
// at a sustained rate up to a burst:
// - one per source address: no single sender goes past it;
// - one shared by all senders: many addresses do not multiply the burst;
// - a small quiet allowance per address, outside the shared one: a sender
//   chatting at a human pace is let through even while a crowd has used up
//   the shared allowance.
// At most `senders` addresses are followed one by one; when all are taken,
// the one quiet the longest gives its place if it has been quiet for
// `forgetAfter`, and otherwise the newcomer is served by one overflow entry
// shared by all such newcomers, which has no quiet allowance. Such a
// newcomer that has sent little of late (RecentArrivals) may instead draw on
// one small allowance of newcomers, outside the shared one: a neighbour who
// begins to chat while a few thousand loud addresses hold every place gets
// through. A crowd of quiet addresses shares that one allowance, so it stays
// small. No step scans the senders: memory and time per datagram are
// bounded.
//
// Plain code: the time is passed in, nothing here reads a clock.
class Allowance {
public:
  using Clock = std::chrono::steady_clock;

  struct Rate {
    double messagesPerSecond = 0;
    double messageBurst = 0;
    double bytesPerSecond = 0;
    double byteBurst = 0;
  };
  struct Limits {
    Rate perSender{1000, 100'000, 256 << 10, 16 << 20};
    Rate shared{20'000, 200'000, 2 << 20, 32 << 20};
    Rate quiet{4, 32, 2 << 10, 32 << 10};
    std::size_t senders = 1024;
    Clock::duration forgetAfter = std::chrono::seconds(10);
    // Newcomers without a place that sent at most `quietArrivals` datagrams
    // in the last one to two seconds share this.
    Rate newcomers{64, 256, 32 << 10, 256 << 10};
    unsigned quietArrivals = 16;
    std::uint64_t seed = 0; // of the hashing of addresses; 0: chosen at random
  };

  explicit Allowance(const Limits& limits);

  // Whether a datagram costing `cost` bytes from `address` may go on now;
  // charges the allowances it uses when it may.
  bool Admit(std::uint32_t address, std::size_t cost, Clock::time_point now);
  // The same for a datagram whose cost is at least `atLeast` and takes
  // work to find: `cost` is asked only when the sender can afford the least,
  // so that a flood beyond its allowance costs a look-up per datagram.
  bool Admit(std::uint32_t address, std::size_t atLeast, const std::function<std::size_t()>& cost,
             Clock::time_point now);

  // Addresses followed one by one at present.
  [[nodiscard]] std::size_t Followed() const { return index_.size(); }

private:
  struct Buckets {
    double messages = 0;
    double bytes = 0;
    void Refill(const Rate& rate, double seconds);
    [[nodiscard]] bool Hold(double cost) const { return messages >= 1 && bytes >= cost; }
    void Take(double cost) {
      messages -= 1;
      bytes -= cost;
    }
  };
  struct Sender {
    std::uint32_t address = 0;
    Buckets own;
    Buckets quiet;
    Clock::time_point last;
    // Places in the list of senders by last arrival, newest first.
    std::size_t newer = kNone;
    std::size_t older = kNone;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  std::size_t Find(std::uint32_t address, Clock::time_point now);
  void Unlink(std::size_t slot);
  void PushNewest(std::size_t slot);
  bool Charge(Sender& sender, const Rate& quietRate, std::size_t atLeast,
              const std::function<std::size_t()>& cost, Clock::time_point now);
  bool ChargeNewcomer(std::size_t atLeast, const std::function<std::size_t()>& cost);

  Limits limits_;
  std::vector<Sender> senders_; // reserved once: never more than limits_.senders
  std::unordered_map<std::uint32_t, std::size_t> index_;
  std::size_t newest_ = kNone;
  std::size_t oldest_ = kNone;
  Sender overflow_;
  RecentArrivals recent_;
  Buckets newcomers_;
  Buckets shared_;
  Clock::time_point sharedLast_;
  bool started_ = false;
};
