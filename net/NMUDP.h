#pragma once

#include <classes/Classes.h>
#include <netcore/FloodTally.h>
#include <netcore/Receiver.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

using TUDPDataReceivedEvent =
    std::function<void(TComponent* Sender, int NumberBytes, AnsiString FromIP, int Port)>;

// A UDP endpoint. It listens on LocalPort from its creation to its
// destruction, sharing the port with any other endpoint on the host, and
// sends to RemoteHost:RemotePort, a broadcast address being allowed.
//
// A reader thread of its own, with the window's share of a core, drains the
// socket as fast as datagrams arrive, holds each to its sender's allowance
// and queues those allowed (netcore's Receiver); the event
// loop takes them from there, a bounded amount of work per pass, raising
// OnDataReceived once per datagram, on the thread that created the endpoint
// (through the loop's seam, net/Loop.h: Qt's loop on Linux, a message-only
// window's on Windows).
class TNMUDP : public TComponent {
public:
  // What a flood may take: the allowances (per sender, shared by all, and
  // quiet senders') and the queue's memory.
  using Limits = Receiver::Limits;
  // What a datagram will cost its receiver once shown, in bytes: what the
  // allowances charge, and what bounds a pass of the event loop. By
  // default, its size.
  using CostFunction = Receiver::CostFunction;

  struct Settings {
    int LocalPort = 0;
    int RemotePort = 0;
    std::string RemoteHost;
    int ReportLevel = 0;
    Limits limits{};
    CostFunction cost = nullptr;
  };

  // The reader thread's name, as `ps -L` and `top -H` show it.
  static constexpr const char* kReaderName = Receiver::kReaderName;

  // Throws Exception when the local port cannot be bound.
  TNMUDP(TComponent* owner, std::string name, const Settings& settings);
  ~TNMUDP() override;

  // Sends the first Length bytes of Buff, whose last index is BuffLast, as
  // one datagram. Throws Exception when it cannot.
  void SendBuffer(const char* Buff, int BuffLast, int Length);

  // Inside an OnDataReceived handler, copies the datagram it announced into
  // Buff, whose last index is BuffLast, as far as it fits, and reports the
  // bytes copied in Length. Outside a handler, or a second time in one,
  // copies nothing and reports 0.
  void ReadBuffer(char* Buff, int BuffLast, int& Length);

  TUDPDataReceivedEvent OnDataReceived;
  // Datagrams are being turned away for their rate: the flood's number and
  // how many it has had turned away so far. Raised on the event loop when
  // a flood begins, then at most once a second while the count grows.
  std::function<void(const FloodTally::Tally&)> OnTurnedAway;

  const int LocalPort;
  const int RemotePort;
  const std::string RemoteHost;
  const int ReportLevel;

  // Datagrams dropped because the queue was full, and because their sender
  // (or the crowd of senders) went past its allowance.
  [[nodiscard]] std::uint64_t Dropped() const;
  [[nodiscard]] std::uint64_t Limited() const;
  // Datagrams waiting for the event loop.
  [[nodiscard]] std::size_t Queued() const;

private:
  struct Impl;
  void Drain();
  void PostDrain();
  void RetryDrain();
  bool TakeFromQueue();
  void TurnedAway();
  std::unique_ptr<Impl> d_;
};
