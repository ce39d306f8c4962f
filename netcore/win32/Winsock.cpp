#include "netcore/win32/Winsock.h"

namespace lanchat::win32 {
namespace {

struct Winsock {
  Winsock() {
    WSADATA data{};
    error = WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~Winsock() {
    if (error == 0) WSACleanup();
  }
  Winsock(const Winsock&) = delete;
  Winsock& operator=(const Winsock&) = delete;
  int error = 0;
};

} // namespace

int StartWinsock() {
  static const Winsock winsock;
  return winsock.error;
}

} // namespace lanchat::win32
