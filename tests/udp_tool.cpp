// A small UDP helper for the process-level tests:
//   udp_tool hold PORT            bind PORT without sharing it, until killed
//   udp_tool send HOST PORT HEX   send one datagram of the given bytes
//   udp_tool recv PORT MS         print the first datagram on PORT as hex
//   udp_tool flood HOST PORT S    send valid chat datagrams as fast as it can
//                                 for S seconds; print how many
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace {

int Fail(const char* what) {
  std::perror(what);
  return 2;
}

sockaddr_in Address(const char* host, int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (host != nullptr) inet_pton(AF_INET, host, &address.sin_addr);
  return address;
}

} // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return Fail("socket");
  const int on = 1;
  if (command == "hold" && argc == 3) {
    const sockaddr_in address = Address(nullptr, std::atoi(argv[2]));
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      return Fail("bind");
    std::puts("held");
    std::fflush(stdout);
    pause();
    return 0;
  }
  if (command == "send" && argc == 5) {
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const std::string hex = argv[4];
    std::vector<char> bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
      bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    const sockaddr_in to = Address(argv[2], std::atoi(argv[3]));
    if (sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to) < 0)
      return Fail("sendto");
    return 0;
  }
  if (command == "flood" && argc == 5) {
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    const sockaddr_in to = Address(argv[2], std::atoi(argv[3]));
    const time_t end = time(nullptr) + std::atoi(argv[4]);
    long sent = 0;
    char payload[64];
    while (time(nullptr) < end) {
      for (int i = 0; i < 1000; ++i) {
        const int n = std::snprintf(payload, sizeof payload, "Flood a dit :%ld", sent);
        if (sendto(fd, payload, static_cast<std::size_t>(n) + 1, 0,
                   reinterpret_cast<const sockaddr*>(&to), sizeof to) > 0)
          ++sent;
      }
    }
    std::printf("%ld\n", sent);
    return 0;
  }
  if (command == "recv" && argc == 4) {
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = Address(nullptr, std::atoi(argv[2]));
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
      return Fail("bind");
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, std::atoi(argv[3])) <= 0) return 1;
    std::vector<unsigned char> buffer(65536);
    const auto n = recv(fd, buffer.data(), buffer.size(), 0);
    for (ssize_t i = 0; i < n; ++i)
      std::printf("%02x", buffer[static_cast<std::size_t>(i)]);
    std::puts("");
    return 0;
  }
  std::fprintf(
      stderr,
      "usage: udp_tool hold PORT | send HOST PORT HEX | recv PORT MS | flood HOST PORT S\n");
  return 2;
}
