// The baseline receiver: a plain socket on PORT with the same receive buffer
// as the chat's endpoint, that only reads. Once datagrams stop for IDLE_MS,
// prints how many arrived and over how long, the kernel's drops on its
// socket, and how many came from each ADDRESS given.
#include <arpa/inet.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_baseline_receiver PORT IDLE_MS [ADDRESS...]\n");
    return 2;
  }
  std::vector<in_addr> addresses(static_cast<std::size_t>(argc - 3));
  for (std::size_t i = 0; i < addresses.size(); ++i)
    inet_pton(AF_INET, argv[i + 3], &addresses[i]);
  std::vector<long> from(addresses.size());
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const int on = 1;
  const int size = 32 << 20; // as the endpoint asks
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &size, sizeof size) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[1])));
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return 1;
  std::puts("ready");
  std::fflush(stdout);
  using Clock = std::chrono::steady_clock;
  long count = 0;
  Clock::time_point first, last;
  char buffer[65536];
  pollfd p{fd, POLLIN, 0};
  while (poll(&p, 1, count == 0 ? 30000 : std::atoi(argv[2])) > 0) {
    sockaddr_in sender{};
    socklen_t length = sizeof sender;
    if (recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&sender), &length) < 0)
      continue;
    last = Clock::now();
    if (count++ == 0) first = last;
    for (std::size_t i = 0; i < addresses.size(); ++i)
      if (sender.sin_addr.s_addr == addresses[i].s_addr) ++from[i];
  }
  std::uint32_t memory[SK_MEMINFO_VARS] = {};
  socklen_t length = sizeof memory;
  getsockopt(fd, SOL_SOCKET, SO_MEMINFO, memory, &length);
  std::printf("%ld %.6f %u", count, std::chrono::duration<double>(last - first).count(),
              memory[SK_MEMINFO_DROPS]);
  for (const long n : from)
    std::printf(" %ld", n);
  std::printf("\n");
  return 0;
}
