// A small UDP helper for the process-level tests:
//   udp_tool hold PORT            bind PORT without sharing it, until killed
//   udp_tool send HOST PORT HEX   send one datagram of the given bytes
//   udp_tool recv PORT MS         print the first datagram on PORT as hex
//   udp_tool flood HOST PORT S    send valid chat datagrams as fast as it can
//                                 for S seconds; print how many
#include "UdpSocket.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Says which step failed and why, as perror() would; the exit code is 2.
int Fail(const std::string& what) {
  std::fprintf(stderr, "%s\n", what.c_str());
  return 2;
}

int Fail(const char* step, int error) {
  return Fail(std::string(step) + ": " + std::strerror(error));
}

} // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "hold" && argc == 3) {
    const UdpSocket holder({.port = std::atoi(argv[2])});
    if (!holder.ok()) return Fail(holder.Failure());
    std::puts("held");
    std::fflush(stdout);
    pause();
    return 0;
  }
  if (command == "send" && argc == 5) {
    UdpSocket sender({.broadcast = true});
    if (!sender.ok()) return Fail(sender.Failure());
    const std::string hex = argv[4];
    std::vector<char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
      bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    if (!sender.SendTo(argv[2], std::atoi(argv[3]), bytes)) return Fail("sendto", sender.error());
    return 0;
  }
  if (command == "flood" && argc == 5) {
    UdpSocket sender({.broadcast = true});
    if (!sender.ok()) return Fail(sender.Failure());
    const int port = std::atoi(argv[3]);
    const time_t end = time(nullptr) + std::atoi(argv[4]);
    long sent = 0;
    char payload[64];
    while (time(nullptr) < end) {
      for (int i = 0; i < 1000; ++i) {
        const int n = std::snprintf(payload, sizeof payload, "Flood a dit :%ld", sent);
        if (sender.SendTo(argv[2], port, payload, static_cast<std::size_t>(n) + 1)) ++sent;
      }
    }
    std::printf("%ld\n", sent);
    return 0;
  }
  if (command == "recv" && argc == 4) {
    UdpSocket receiver({.port = std::atoi(argv[2]), .share = true});
    if (!receiver.ok()) return Fail(receiver.Failure());
    const auto datagram = receiver.Receive(std::atoi(argv[3]));
    if (!datagram) return 1;
    for (const char byte : *datagram)
      std::printf("%02x", static_cast<unsigned char>(byte));
    std::puts("");
    return 0;
  }
  std::fprintf(
      stderr,
      "usage: udp_tool hold PORT | send HOST PORT HEX | recv PORT MS | flood HOST PORT S\n");
  return 2;
}
