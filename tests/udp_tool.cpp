// A small UDP helper for the process-level tests:
//   udp_tool hold PORT            bind PORT without sharing it, until killed
//   udp_tool send HOST PORT HEX   send one datagram of the given bytes
//   udp_tool recv PORT MS         print the first datagram on PORT as hex
//   udp_tool flood HOST PORT S    send valid chat datagrams as fast as it can
//                                 for S seconds; print how many
//   udp_tool pace HOST PORT S N R  send short chat datagrams from N loopback
//                                 addresses (127.1.0.1 onward) in turn, R a
//                                 second in all, for S seconds; print how many
#include "UdpSocket.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
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

// Short chat datagrams from `addresses` loopback addresses (127.1.0.1
// onward) in turn, `rate` a second in all, for `seconds`; prints how many.
int Pace(const char* host, int port, int seconds, int addresses, double rate) {
  addresses = std::clamp(addresses, 1, 254);
  rate = std::max(1.0, rate);
  std::vector<std::unique_ptr<UdpSocket>> senders;
  for (int i = 1; i <= addresses; ++i) {
    const std::string address = "127.1.0." + std::to_string(i);
    senders.push_back(
        std::make_unique<UdpSocket>(UdpSocket::Options{.address = address.c_str(), .port = 0}));
    if (!senders.back()->ok()) return Fail(senders.back()->Failure());
  }
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(seconds);
  long sent = 0;
  char payload[64];
  // Each datagram leaves when its turn comes at the given rate.
  for (auto now = start; now < end; now = Clock::now()) {
    const auto due = static_cast<long>(std::chrono::duration<double>(now - start).count() * rate);
    for (; sent < due; ++sent) {
      UdpSocket& sender = *senders[static_cast<std::size_t>(sent % addresses)];
      const int n = std::snprintf(payload, sizeof payload, "Flot%ld a dit :message %ld",
                                  sent % addresses + 1, sent);
      sender.SendTo(host, port, payload, static_cast<std::size_t>(n) + 1);
    }
    usleep(1000);
  }
  std::printf("%ld\n", sent);
  return 0;
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
  if (command == "pace" && argc == 7)
    return Pace(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]),
                std::atof(argv[6]));
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
      stderr, "usage: udp_tool hold PORT | send HOST PORT HEX | recv PORT MS | flood HOST PORT S | "
              "pace HOST PORT S N R\n");
  return 2;
}
