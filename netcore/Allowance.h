#pragma once

#include "netcore/RecentArrivals.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

// Decides which arriving datagrams may go on to the window, so that no
// sender, and no crowd of senders, can make the program take in more than
// one sustained rate with a burst. Each datagram is charged what it will
// cost in the history (see Cost in Limits), not its size on the wire.
//
// Every datagram admitted is charged to its sender's own allowance (no
// single sender goes past it) and to one of three allowances that together
// make the ceiling of all that the history can be given:
// - the shared one, open to everyone, each followed sender drawing an equal
//   part of its rate (the burst goes to whoever comes), so that a loud
//   sender does not crowd out one who begins to chat during its flood;
// - the newcomers' one: senders without a place of their own that sent
//   little of late share it, so a neighbour who begins to chat while a
//   crowd of loud addresses holds every place gets through;
// - the reserve: while a flood lasts, senders that were chatting before it
//   began share it, each drawing an equal part of its rate, so that a
//   neighbour keeps being shown at a human pace however many addresses
//   that were silent before it flood.
// A flood is told by the arrivals, admitted or not: it begins when they go
// past a pace that no chat at a human pace reaches (Limits::pressure), and
// ends after `calmAfter` below it.
//
// At most `senders` addresses are followed one by one; when all are taken,
// the one quiet the longest gives its place if it has been quiet for
// `forgetAfter` (`chattedWithin` for one that draws on the reserve), and
// otherwise the newcomer is served by one overflow entry shared by all such
// newcomers. No step scans the senders: memory and time per datagram are
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
    // The ceiling: shared + newcomers + reserve. With these, 8 hours of the
    // worst flood admit less than 80 MB, the cost of 10,000,000 history
    // lines of nothing (8 bytes each): the history's budget lasts a working
    // day whatever is sent (see Ceiling()).
    Rate shared{100, 200'000, 768, 16 << 20};
    Rate newcomers{4, 256, 256, 64 << 10};
    Rate reserve{8, 64, 1 << 10, 64 << 10};
    // What one sender that chatted before the flood may hold of the
    // reserve at once: a message of 1 KB even in the costliest code page
    // bytes, with its header.
    double reserveEachMessages = 4;
    double reserveEachBytes = 4 << 10;
    // Arrivals beyond this, admitted or not, are a flood.
    Rate pressure{64, 256, 32 << 10, 256 << 10};
    Clock::duration calmAfter = std::chrono::seconds(60);
    // A sender draws on the reserve when it was first heard at least this
    // long before the flood began and has not been silent for
    // `chattedWithin` since.
    Clock::duration heardBefore = std::chrono::milliseconds(500);
    Clock::duration chattedWithin = std::chrono::seconds(60);
    std::size_t senders = 1024;
    Clock::duration forgetAfter = std::chrono::seconds(10);
    // Newcomers without a place that sent at most `quietArrivals` datagrams
    // in the last one to two seconds share the newcomers' allowance.
    unsigned quietArrivals = 16;
    std::uint64_t seed = 0; // of the hashing of addresses; 0: chosen at random
  };

  // The sustained rate and the burst of everything all senders together
  // can have admitted, in bytes of cost.
  struct Bound {
    double bytesPerSecond = 0;
    double byteBurst = 0;
  };
  [[nodiscard]] static Bound Ceiling(const Limits& limits);

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
  // Whether a flood is going on.
  [[nodiscard]] bool Flood() const { return flood_; }

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
    Buckets shared;          // its part of the shared allowance
    Buckets reserve;         // its part of the reserve
    Clock::time_point first; // heard first, since its last silence of chattedWithin
    Clock::time_point last;
    std::uint64_t sharing = 0; // the flood in which it draws on the reserve
    // Places in the list of senders by last arrival, newest first.
    std::size_t newer = kNone;
    std::size_t older = kNone;
  };
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

  void Pressure(std::size_t atLeast, Clock::time_point now);
  [[nodiscard]] bool HeardBeforeFlood(const Sender& sender, Clock::time_point now) const;
  std::size_t Find(std::uint32_t address, Clock::time_point now);
  std::size_t FreeSlot(Clock::time_point now);
  void Unlink(std::size_t slot);
  void PushNewest(std::size_t slot);
  bool Charge(Sender& sender, bool followed, std::size_t atLeast,
              const std::function<std::size_t()>& cost, Clock::time_point now);
  bool ChargeNewcomer(std::size_t atLeast, const std::function<std::size_t()>& cost);

  Limits limits_;
  std::vector<Sender> senders_; // reserved once: never more than limits_.senders
  std::unordered_map<std::uint32_t, std::size_t> index_;
  std::size_t newest_ = kNone;
  std::size_t oldest_ = kNone;
  Sender overflow_;
  RecentArrivals recent_;
  Buckets shared_;
  Buckets newcomers_;
  Buckets reserve_;
  Buckets pressure_;
  Clock::time_point last_;
  bool started_ = false;
  // The flood going on, if any: when it began, when arrivals last went
  // past the pressure, its number, and how many senders share the reserve.
  bool flood_ = false;
  Clock::time_point floodBegan_;
  Clock::time_point pressed_;
  std::uint64_t floodNumber_ = 0;
  std::size_t sharers_ = 0;
};
