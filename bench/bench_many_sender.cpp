// Floods HOST:PORT at full speed from ADDRESSES source addresses on
// loopback (127.1.0.1 onward, each datagram from the next address in turn)
// for SECONDS. SIZE 0 sends short chat datagrams ("Flot a dit :message N");
// any other SIZE sends datagrams of that many bytes whose message is bytes
// 0x80-0x9F, three bytes each once in UTF-8, or with TEXT "ascii", words
// of plain ASCII. RATE, if given and not 0, paces them at that many
// datagrams a second in all. Prints how many it sent and in how long.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// The i-th source address: 127.1.0.1 onward, never ending in .0 or .255.
in_addr Source(long i) {
  const long hosts = 254;
  const auto third = static_cast<std::uint32_t>(i / hosts);
  const auto host = static_cast<std::uint32_t>(i % hosts + 1);
  return in_addr{htonl((127u << 24) | ((1 + third / 256) << 16) | ((third % 256) << 8) | host)};
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 6) {
    std::fprintf(stderr,
                 "usage: bench_many_sender HOST PORT ADDRESSES SECONDS SIZE [RATE [TEXT]]\n");
    return 2;
  }
  const long addresses = std::max(1L, std::atol(argv[3]));
  const double seconds = std::atof(argv[4]);
  const auto size = static_cast<std::size_t>(std::atol(argv[5]));
  const double rate = argc > 6 ? std::atof(argv[6]) : 0;
  const bool ascii = argc > 7 && std::string(argv[7]) == "ascii";
  if (addresses > 254L * 256 * 126) return 2; // stays inside 127/8
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
  inet_pton(AF_INET, argv[1], &to.sin_addr);
  if ((ntohl(to.sin_addr.s_addr) >> 24) != 127) return 2; // loopback only

  std::string wide = "Flot a dit :";
  for (std::size_t i = 0; size > 0 && wide.size() + 1 < size; ++i)
    wide.push_back(ascii ? "bla "[i % 4] : static_cast<char>(0x80 + i % 32));
  wide.push_back('\0');

  // Each datagram of a batch names its source in an IP_PKTINFO message.
  // Paced, a batch goes every 10 ms at most.
  const auto batch = static_cast<unsigned>(rate > 0 ? std::clamp(rate / 100, 1.0, 64.0) : 64);
  struct Slot {
    std::string payload;
    iovec vector{};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))]{};
  };
  std::vector<Slot> slots(batch);
  std::vector<mmsghdr> messages(batch);

  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  long sent = 0, next = 0;
  while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
    if (rate > 0)
      std::this_thread::sleep_until(start +
                                    std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(double(sent) / rate)));
    for (unsigned i = 0; i < batch; ++i, ++next) {
      Slot& slot = slots[i];
      if (size == 0) {
        slot.payload = "Flot a dit :message " + std::to_string(next);
        slot.payload.push_back('\0');
      } else if (slot.payload.empty()) {
        slot.payload = wide;
      }
      slot.vector = {slot.payload.data(), slot.payload.size()};
      std::memset(slot.control, 0, sizeof slot.control);
      msghdr& header = messages[i].msg_hdr;
      header = {};
      header.msg_name = &to;
      header.msg_namelen = sizeof to;
      header.msg_iov = &slot.vector;
      header.msg_iovlen = 1;
      header.msg_control = slot.control;
      header.msg_controllen = sizeof slot.control;
      cmsghdr* control = CMSG_FIRSTHDR(&header);
      control->cmsg_level = IPPROTO_IP;
      control->cmsg_type = IP_PKTINFO;
      control->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
      // The interface (any), the source address, the address seen (unused
      // on sending).
      const in_pktinfo info{0, Source(next % addresses), {}};
      std::memcpy(CMSG_DATA(control), &info, sizeof info);
    }
    const int count = sendmmsg(fd, messages.data(), batch, 0);
    if (count < 0) {
      std::perror("sendmmsg");
      return 1;
    }
    sent += count;
  }
  std::printf("%ld %.6f\n", sent, std::chrono::duration<double>(Clock::now() - start).count());
  return 0;
}
