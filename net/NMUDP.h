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
  struct Settings {
    int LocalPort = 0;
    int RemotePort = 0;
    std::string RemoteHost;
    int ReportLevel = 0;
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

  // Datagrams dropped because the queue was full.
  [[nodiscard]] std::uint64_t Dropped() const;

  // Limits of the queue between the reader thread and the event loop.
  static constexpr std::size_t kQueueBytes = 64u << 20;
  static constexpr std::size_t kBatch = 256;

private:
  struct Impl;
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
  void Create(TForm& form) const;
};
