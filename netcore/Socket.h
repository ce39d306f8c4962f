#pragma once

#include <utility>

// A file descriptor closed when it goes out of scope.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd();
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  [[nodiscard]] int get() const { return fd_; }

private:
  int fd_;
};

// A UDP socket bound to `port` on every address, shared with any other
// socket on the host that asks the same, allowed to send to a broadcast
// address, with a large receive buffer. -1 and errno set when it cannot.
int OpenListeningSocket(int port);
