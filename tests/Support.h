#pragma once

// Helpers shared by the window tests: a plain UDP socket on the chat port to
// watch and inject datagrams, and a watcher that answers error boxes.

#include <QApplication>
#include <QByteArray>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QStringList>
#include <QTextBlock>
#include <QTimer>

#include "UdpSocket.h"

#include <optional>

// A socket sharing the chat's port: it sees every broadcast the windows
// send, and sends raw bytes to them.
class UdpSniffer : public UdpSocket {
public:
  explicit UdpSniffer(int port = 2000)
      : UdpSocket({.port = port, .share = true, .broadcast = true}), port_(port) {}

  // The next datagram, or nothing after `ms` milliseconds of silence.
  std::optional<QByteArray> Receive(int ms = 2000) { return UdpSocket::Receive<QByteArray>(ms); }

  void Send(const QByteArray& bytes, const char* host = "127.255.255.255") {
    SendTo(host, port_, bytes);
  }

private:
  int port_;
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
