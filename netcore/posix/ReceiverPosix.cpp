// The receiver on Linux: recvmmsg in batches, poll on the socket and an
// eventfd that stops the reader.
#include "netcore/ReceiverState.h"
#include "netcore/SystemReason.h"

#include <lanchat/BuildConfig.h>

#include <arpa/inet.h>
#include <cerrno>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr std::size_t kMaxPayload = lanchat::config::kMaxDatagramSize;
constexpr int kReceiveBuffer = 8 << 20;

// A file descriptor closed when it goes out of scope.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int get() const { return fd_; }

private:
  int fd_;
};

// A UDP socket bound to `port` on every address, shared with any other
// socket on the host that asks the same, allowed to send to a broadcast
// address, with a large receive buffer. -1 and errno set when it cannot.
int OpenListeningSocket(int port) {
  const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
  // A large receive buffer absorbs bursts while the reader is descheduled;
  // the privileged variant passes the system's limit where it may.
  if (setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &kReceiveBuffer, sizeof kReceiveBuffer) != 0)
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &kReceiveBuffer, sizeof kReceiveBuffer);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

} // namespace

struct Receiver::System {
  System(int port, State& shared) : state(shared), socket(OpenListeningSocket(port)) {
    if (socket.get() < 0)
      throw ReceiverError("Impossible d'écouter sur le port UDP " + std::to_string(port) + " : " +
                              SystemReason(errno) + ".",
                          errno);
    if (wake.get() < 0)
      throw ReceiverError("Impossible de préparer la réception UDP : " + SystemReason(errno) + ".",
                          errno);
    reader = std::thread([this] { ReadLoop(); });
  }
  ~System() {
    state.stop.store(true, std::memory_order_release);
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(wake.get(), &one, sizeof one);
    if (reader.joinable()) reader.join();
  }
  System(const System&) = delete;
  System& operator=(const System&) = delete;

  void ReadLoop();

  State& state;
  Fd socket;
  Fd wake{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
  std::thread reader;
};

// The reader thread: takes datagrams from the socket in batches as fast as
// they come and hands them to the shared part. It looks for the stop after
// every batch, so a flood that never lets the socket run dry cannot hold it.
void Receiver::System::ReadLoop() {
  pthread_setname_np(pthread_self(), kReaderName);
  // The window's share of a core, so that a flood from a busy machine finds
  // it reading as often as any program there; the window never waits for
  // it. As a batch thread it does not take the core from the window each
  // time a datagram wakes it: it runs when the window's turn ends.
  const sched_param normal{};
  sched_setscheduler(0, SCHED_BATCH, &normal);
  state.admitted.reserve(kReadBatch);
  const auto buffers =
      std::make_unique_for_overwrite<char[]>(std::size_t{kReadBatch} * (kMaxPayload + 1));
  mmsghdr messages[kReadBatch];
  iovec vectors[kReadBatch];
  sockaddr_in senders[kReadBatch];
  State::Arrival arrivals[kReadBatch];
  pollfd fds[2] = {{socket.get(), POLLIN, 0}, {wake.get(), POLLIN, 0}};
  while (!state.stop.load(std::memory_order_acquire)) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if ((fds[1].revents & POLLIN) != 0) return;
    while (!state.stop.load(std::memory_order_acquire)) {
      for (unsigned i = 0; i < kReadBatch; ++i) {
        vectors[i] = {buffers.get() + std::size_t{i} * (kMaxPayload + 1), kMaxPayload + 1};
        messages[i] = {};
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &senders[i];
        messages[i].msg_hdr.msg_namelen = sizeof senders[i];
      }
      const int count = recvmmsg(socket.get(), messages, kReadBatch, MSG_DONTWAIT, nullptr);
      if (count <= 0) break;
      for (int i = 0; i < count; ++i) {
        const std::size_t size = std::min<std::size_t>(messages[i].msg_len, kMaxPayload);
        arrivals[i] = {{static_cast<const char*>(vectors[i].iov_base), size},
                       senders[i].sin_addr.s_addr,
                       ntohs(senders[i].sin_port)};
      }
      state.Received(arrivals, static_cast<std::size_t>(count));
      if (static_cast<unsigned>(count) < kReadBatch) break;
    }
  }
}

void Receiver::SystemGone::operator()(System* system) const { delete system; }

std::unique_ptr<Receiver::System, Receiver::SystemGone> StartReceiving(int port,
                                                                      Receiver::State& state) {
  return std::unique_ptr<Receiver::System, Receiver::SystemGone>(
      new Receiver::System(port, state));
}

std::optional<std::string> SendFrom(Receiver::System& system, const std::string& host, int port,
                                    std::string_view bytes) {
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  if (inet_pton(AF_INET, host.c_str(), &to.sin_addr) != 1)
    return "ce n'est pas une adresse IPv4";
  // The system's reason is reported as it gives it.
  const auto sent = sendto(system.socket.get(), bytes.data(), bytes.size(), 0,
                           reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent < 0) return SystemReason(errno);
  if (static_cast<std::size_t>(sent) != bytes.size()) return "datagramme tronqué";
  return std::nullopt;
}
