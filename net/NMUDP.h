#pragma once

#include "platform/Classes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class TForm;

using TUDPDataReceivedEvent =
    std::function<void(TComponent* Sender, int NumberBytes, AnsiString FromIP, int Port)>;

// A UDP endpoint. It listens on LocalPort from its creation to its
// destruction, sharing the port with any other endpoint on the host, and
// sends to RemoteHost:RemotePort, a broadcast address being allowed.
//
// A reader thread of its own drains the socket into a bounded queue as fast
// as datagrams arrive; the event loop takes them from there in bounded
// batches, raising OnDataReceived once per datagram, in arrival order, on the
// thread that created the endpoint.
class TNMUDP : public TComponent {
public:
  // What a flood may take. Each source address may add messages at a
  // sustained rate, with a burst allowance, and bytes likewise; beyond that
  // its datagrams are dropped and counted. When the window cannot keep up,
  // the queue holds at most queueBytes; what gives way comes from the
  // sender that holds the most of it, and the senders are served in turn.
  struct Limits {
    std::size_t queueBytes = 64u << 20;
    double messagesPerSecond = 1000;
    double messageBurst = 100000;
    double bytesPerSecond = 256 << 10;
    double byteBurst = 16 << 20;
  };
  struct Settings {
    int LocalPort = 0;
    int RemotePort = 0;
    std::string RemoteHost;
    int ReportLevel = 0;
    Limits limits{};
  };

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

  const int LocalPort;
  const int RemotePort;
  const std::string RemoteHost;
  const int ReportLevel;

  // Datagrams dropped because the queue was full, and because their sender
  // went past its rate.
  [[nodiscard]] std::uint64_t Dropped() const;
  [[nodiscard]] std::uint64_t Limited() const;

  // Datagrams the event loop takes at a time.
  static constexpr std::size_t kBatch = 256;
  // Source addresses whose rate is followed one by one; beyond them, new
  // addresses share one allowance.
  static constexpr std::size_t kSenders = 4096;

private:
  struct Impl;
  void ReadLoop();
  void Drain();
  void PostDrain();
  std::unique_ptr<Impl> d_;
};

struct UdpDesc {
  std::string_view name{};
  int localPort = 0;
  int remotePort = 0;
  std::string_view remoteHost{};
  int reportLevel = 0;
  std::string_view onDataReceived{};
  void Create(TForm& form, const EventTables& events) const;
};
