#pragma once

// The one plain UDP socket of the tests (IPv4), for the Qt tests and for
// udp_tool alike: no Qt here. Bytes go in and out as any container with
// data(), size() and resize() (std::string, QByteArray...).

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

class UdpSocket {
public:
  struct Options {
    const char* address = nullptr;          // the local address bound to; nullptr: any
    std::optional<int> port = std::nullopt; // the local port; 0: a free one; none: no bind
    bool share = false;                     // SO_REUSEADDR: other sockets may bind the port too
    bool broadcast = false;                 // SO_BROADCAST: may send to a broadcast address
  };

  // Opens the socket, sets the options, then binds if a port is given. On
  // failure ok() is false and Failure() says which step failed and why.
  explicit UdpSocket(const Options& options) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
      Fail("socket");
      return;
    }
    const int on = 1;
    if (options.share && setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) {
      Fail("setsockopt(SO_REUSEADDR)");
      return;
    }
    if (options.broadcast && setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
      Fail("setsockopt(SO_BROADCAST)");
      return;
    }
    if (options.port) {
      const sockaddr_in local = Address(options.address, *options.port);
      if (bind(fd_, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        Fail("bind");
        return;
      }
    }
  }
  ~UdpSocket() {
    if (fd_ >= 0) close(fd_);
  }
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  [[nodiscard]] bool ok() const { return failedStep_ == nullptr; }
  // "bind: Address already in use", as perror() would put it; empty if ok().
  [[nodiscard]] std::string Failure() const {
    return ok() ? std::string() : std::string(failedStep_) + ": " + std::strerror(error_);
  }
  // The errno of the last failure, of the constructor or of a send.
  [[nodiscard]] int error() const { return error_; }

  // One datagram to host:port (a dotted IPv4 address). False if the system
  // refused it, with error() set.
  bool SendTo(const char* host, int port, const char* data, std::size_t size) {
    const sockaddr_in to = Address(host, port);
    if (sendto(fd_, data, size, 0, reinterpret_cast<const sockaddr*>(&to), sizeof to) >= 0)
      return true;
    error_ = errno;
    return false;
  }
  template <class Bytes> bool SendTo(const char* host, int port, const Bytes& bytes) {
    return SendTo(host, port, bytes.data(), static_cast<std::size_t>(bytes.size()));
  }

  // The next datagram, or nothing after `ms` milliseconds of silence
  // (negative: wait for ever).
  template <class Bytes = std::string> std::optional<Bytes> Receive(int ms) {
    pollfd ready{fd_, POLLIN, 0};
    if (poll(&ready, 1, ms) <= 0) return std::nullopt;
    Bytes buffer;
    buffer.resize(65536);
    const auto n = recv(fd_, buffer.data(), static_cast<std::size_t>(buffer.size()), 0);
    if (n < 0) return std::nullopt;
    buffer.resize(static_cast<decltype(buffer.size())>(n));
    return buffer;
  }

private:
  static sockaddr_in Address(const char* host, int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    if (host != nullptr) inet_pton(AF_INET, host, &address.sin_addr);
    return address;
  }
  void Fail(const char* step) {
    failedStep_ = step;
    error_ = errno;
  }

  int fd_ = -1;
  const char* failedStep_ = nullptr;
  int error_ = 0;
};
