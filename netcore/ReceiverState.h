#pragma once
// The receiver's parts shared by both platforms' readers; netcore's own.

#include "netcore/Receiver.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <vector>

struct Receiver::State {
  using Clock = std::chrono::steady_clock;

  State(const Limits& given, CostFunction costOf, std::function<void()> drain,
        std::function<void()> turnedAway)
      : limits(given), cost(costOf), wantDrain(std::move(drain)),
        wantTurnedAway(std::move(turnedAway)) {}

  // One datagram as the reader took it from the socket.
  struct Arrival {
    std::string_view payload;
    std::uint32_t address = 0; // network order
    std::uint16_t port = 0;    // host order
  };

  // Reader thread: holds each datagram of a batch to the allowances and
  // queues those allowed, taking the lock once per batch; then asks for a
  // drain, none being pending, and tells of datagrams turned away, at most
  // once a second.
  void Received(const Arrival* arrivals, std::size_t count);

  [[nodiscard]] std::size_t CostOf(std::string_view payload) const {
    return cost != nullptr ? cost(payload) : payload.size();
  }

  const Limits limits;
  const CostFunction cost;
  const std::function<void()> wantDrain;
  const std::function<void()> wantTurnedAway;
  std::atomic<bool> stop{false};

  // Reader thread only. The allowances and the queue are made when the
  // first datagram comes: they take a few hundred kilobytes that start-up
  // does not need.
  std::optional<Allowance> allowance;
  std::vector<Datagram> admitted; // of the batch being read, before they are queued
  Clock::time_point toldTurnedAway{}; // the last time the event loop was told
  std::atomic<std::uint64_t> limited{0};

  mutable std::mutex mutex; // guards what follows
  std::optional<FairQueue> queue;
  bool readerPostedDrain = false; // set by the reader, cleared by the Take that empties the queue
};

// The platform's part: opens the socket (throwing ReceiverError) and starts
// the reader thread over `state`; deleting it stops the thread and closes
// the socket.
std::unique_ptr<Receiver::System, Receiver::SystemGone> StartReceiving(int port,
                                                                      Receiver::State& state);
// Sends from the receiver's socket; nothing when it went, otherwise why not.
std::optional<std::string> SendFrom(Receiver::System& system, const std::string& host, int port,
                                    std::string_view bytes);
