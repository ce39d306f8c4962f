#pragma once

#include "netcore/Allowance.h"
#include "netcore/FairQueue.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The socket could not be opened: the message for the user, in French
// ("Impossible d'écouter sur le port UDP 2000 : adresse déjà utilisée."),
// and the system's error number (errno on Linux, a Winsock error on
// Windows).
class ReceiverError : public std::runtime_error {
public:
  ReceiverError(const std::string& message, int code) : std::runtime_error(message), code_(code) {}
  [[nodiscard]] int Code() const noexcept { return code_; }

private:
  int code_;
};

// The reading side of a UDP endpoint, without an event loop: a socket bound
// to a port on every address (shared with any other socket on the host that
// asks the same, allowed to broadcast, with a large receive buffer), and a
// reader thread of its own that drains it as fast as datagrams come, holds
// each to its sender's allowance and queues those allowed in a fair queue.
//
// The reader calls `wantDrain` when the queue holds datagrams and no drain
// is pending (none was asked since the last Take that emptied it), and
// `wantTurnedAway` at most once a second while datagrams are turned away
// for their rate; both are called on the reader thread, and are expected to
// post the work to the event loop, not to do it there.
//
// The same on Linux (recvmmsg, poll and an eventfd to stop) and on Windows
// (recvfrom in batches, WSAWaitForMultipleEvents on the socket's event and a
// stop event); the build picks one.
class Receiver {
public:
  // What a flood may take: the allowances (per sender, shared by all, and
  // quiet senders') and the queue's memory.
  struct Limits {
    Allowance::Limits allowance{};
    FairQueue::Limits queue{};
  };
  // What a datagram will cost its receiver once shown, in bytes: what the
  // allowances charge, and what bounds a pass of the event loop. By
  // default (nullptr), its size. Called on the reader thread.
  using CostFunction = std::size_t (*)(std::string_view payload);

  // The reader thread's name, as `ps -L`, `top -H` or a debugger show it.
  static constexpr const char* kReaderName = "lecteur UDP";
  // Datagrams read from the socket at once.
  static constexpr unsigned kReadBatch = 32;

  // Opens the socket and starts the reader. Throws ReceiverError when the
  // port cannot be bound or the reader cannot be prepared.
  Receiver(int port, const Limits& limits, CostFunction cost, std::function<void()> wantDrain,
           std::function<void()> wantTurnedAway);
  // Stops the reader at once, even while a flood keeps the socket full.
  ~Receiver();
  Receiver(const Receiver&) = delete;
  Receiver& operator=(const Receiver&) = delete;

  enum class Taken {
    kSome, // `inHand` holds datagrams
    kNone, // nothing in hand and nothing queued: the reader asks for the next drain
    kBusy, // the reader holds the queue: try again a little later, never wait for it
  };
  // Moves datagrams from the queue to `inHand`, under one lock taken
  // without waiting, until it holds `maxCount` or `maxBytes` of payload.
  // When the queue is left empty, the reader asks for the next drain.
  Taken Take(std::deque<Datagram>& inHand, std::size_t maxCount, std::size_t maxBytes);

  // Sends `bytes` as one datagram to host:port (a dotted IPv4 address, a
  // broadcast one allowed) from the listening socket. Nothing when it went,
  // otherwise why not, in French ("réseau injoignable").
  std::optional<std::string> SendTo(const std::string& host, int port, std::string_view bytes);

  // Datagrams turned away for their rate, dropped because the queue was
  // full, and waiting in the queue.
  [[nodiscard]] std::uint64_t Limited() const;
  [[nodiscard]] std::uint64_t Dropped() const;
  [[nodiscard]] std::size_t Queued() const;

  // What the platform's part and the shared part hold (netcore/ReceiverState.h).
  struct State;
  struct System;
  struct SystemGone {
    void operator()(System* system) const;
  };

private:
  std::unique_ptr<State> state_;
  std::unique_ptr<System, SystemGone> system_; // stopped first: its thread uses the state
};
