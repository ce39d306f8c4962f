#pragma once

// Helpers shared by the window tests: a raw UDP socket on the chat port to
// watch and inject datagrams, and a watcher that answers error boxes.

#include <QApplication>
#include <QByteArray>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextBlock>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>

// A plain socket sharing the chat's port: it sees every broadcast the
// windows send, and sends raw bytes to them.
class UdpSniffer {
public:
  explicit UdpSniffer(int port = 2000) : port_(port) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    ok_ = bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~UdpSniffer() { close(fd_); }
  UdpSniffer(const UdpSniffer&) = delete;
  UdpSniffer& operator=(const UdpSniffer&) = delete;

  [[nodiscard]] bool ok() const { return ok_; }

  // The next datagram, or nothing after `ms` milliseconds of silence.
  std::optional<QByteArray> Receive(int ms = 2000) {
    pollfd fd{fd_, POLLIN, 0};
    if (poll(&fd, 1, ms) <= 0) return std::nullopt;
    QByteArray buffer(65536, '\0');
    const auto n = recv(fd_, buffer.data(), static_cast<std::size_t>(buffer.size()), 0);
    if (n < 0) return std::nullopt;
    buffer.resize(n);
    return buffer;
  }

  void Send(const QByteArray& bytes, const char* host = "127.255.255.255") {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port_));
    inet_pton(AF_INET, host, &to.sin_addr);
    sendto(fd_, bytes.constData(), static_cast<std::size_t>(bytes.size()), 0,
           reinterpret_cast<sockaddr*>(&to), sizeof to);
  }

private:
  int port_;
  int fd_ = -1;
  bool ok_ = false;
};

// Answers every modal error box that opens, remembering its text.
class ErrorBoxWatcher {
public:
  ErrorBoxWatcher() {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        texts << box->text();
        box->done(QMessageBox::Ok);
      }
    });
    timer_.start(5);
  }
  QStringList texts;

private:
  QTimer timer_;
};
