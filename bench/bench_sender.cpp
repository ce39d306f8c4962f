// Sends numbered chat datagrams to HOST:PORT, paced at RATE per second, or as
// fast as a plain socket loop can when RATE is 0; stops after COUNT datagrams
// or SECONDS seconds. Prints how many it sent and in how long. BENCH_FROM
// sets the source address (another loopback address: another sender),
// BENCH_NICK the nickname, and BENCH_SIZE a length in bytes the message is
// brought to with words after its number.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: bench_sender HOST PORT COUNT RATE [SECONDS]\n");
    return 2;
  }
  const long count = std::atol(argv[3]);
  const double rate = std::atof(argv[4]);
  const double seconds = argc > 5 ? std::atof(argv[5]) : 1e9;
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  if (const char* from = std::getenv("BENCH_FROM")) {
    sockaddr_in source{};
    source.sin_family = AF_INET;
    inet_pton(AF_INET, from, &source.sin_addr);
    if (bind(fd, reinterpret_cast<sockaddr*>(&source), sizeof source) != 0) {
      std::perror("bind");
      return 1;
    }
  }
  const char* nick = std::getenv("BENCH_NICK");
  const std::string header = std::string(nick != nullptr ? nick : "Bench") + " a dit :message ";
  const char* sizeText = std::getenv("BENCH_SIZE");
  const std::size_t size = sizeText != nullptr ? std::strtoul(sizeText, nullptr, 10) : 0;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
  inet_pton(AF_INET, argv[1], &to.sin_addr);

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  long sent = 0;
  std::string payload;
  for (long i = 0; i < count; ++i) {
    const auto elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    if (elapsed > seconds) break;
    if (rate > 0) {
      const auto due = start + std::chrono::duration_cast<Clock::duration>(
                                   std::chrono::duration<double>(double(i) / rate));
      while (Clock::now() < due) {
      }
      // Nothing is sent past SECONDS, the wait included.
      if (std::chrono::duration<double>(Clock::now() - start).count() > seconds) break;
    }
    payload = header + std::to_string(i);
    while (payload.size() + 1 < size)
      payload += " bla"; // words, as a person's message has
    payload.push_back('\0');
    if (sendto(fd, payload.data(), payload.size(), 0, reinterpret_cast<sockaddr*>(&to), sizeof to) >
        0)
      ++sent;
  }
  std::printf("%ld %.6f\n", sent, std::chrono::duration<double>(Clock::now() - start).count());
  return 0;
}
