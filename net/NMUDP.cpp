#include "net/NMUDP.h"

#include "net/SystemReason.h"

#include <lanchat/BuildConfig.h>

#include "platform/Controls.h"
#include "platform/Forms.h"

#include <QObject>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace {

constexpr int kMaxPayload = static_cast<int>(lanchat::config::kMaxDatagramSize);
constexpr int kReceiveBuffer = 8 << 20;
constexpr unsigned kReadBatch = 32;

// Per-datagram bookkeeping counted against the queue's limit.
constexpr std::size_t kOverhead = 64;

struct Arrival {
  std::string bytes;
  std::uint32_t address = 0; // network order
  std::uint16_t port = 0;    // host order
};

// A file descriptor closed when it goes out of scope.
class Fd {
public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd& operator=(Fd&& other) noexcept {
    std::swap(fd_, other.fd_);
    return *this;
  }
  [[nodiscard]] int get() const { return fd_; }

private:
  int fd_;
};

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

using Clock = std::chrono::steady_clock;

// A sender's allowance: messages and bytes, each a bucket that fills at the
// sustained rate up to the burst.
struct Allowance {
  double messages = 0;
  double bytes = 0;
  Clock::time_point last;

  bool Take(std::size_t size, Clock::time_point now, const TNMUDP::Limits& limits) {
    const double seconds = std::chrono::duration<double>(now - last).count();
    last = now;
    messages = std::min(limits.messageBurst, messages + seconds * limits.messagesPerSecond);
    bytes = std::min(limits.byteBurst, bytes + seconds * limits.bytesPerSecond);
    const auto cost = static_cast<double>(size);
    if (messages < 1 || bytes < cost) return false;
    messages -= 1;
    bytes -= cost;
    return true;
  }
  [[nodiscard]] bool Full(Clock::time_point now, const TNMUDP::Limits& limits) const {
    const double seconds = std::chrono::duration<double>(now - last).count();
    return messages + seconds * limits.messagesPerSecond >= limits.messageBurst &&
           bytes + seconds * limits.bytesPerSecond >= limits.byteBurst;
  }
};

// The datagrams waiting from one source address.
struct SenderQueue {
  std::deque<Arrival> items;
  std::size_t bytes = 0;
};

} // namespace

struct TNMUDP::Impl {
  explicit Impl(const Limits& l) : limits(l) {}

  const Limits limits;
  Fd socket;
  Fd wake{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
  QObject context; // lives on the event loop's thread; receives the drain calls
  std::thread reader;

  // Reader thread only.
  std::unordered_map<std::uint32_t, Allowance> allowances;

  std::mutex mutex; // guards what follows, up to the event loop's part
  std::unordered_map<std::uint32_t, SenderQueue> queues;
  std::deque<std::uint32_t> turns; // senders with datagrams waiting, in turn
  std::size_t queuedBytes = 0;
  bool readerPostedDrain = false; // set by the reader, cleared by the drain that empties the queue
  std::uint64_t dropped = 0;
  std::uint64_t limited = 0;

  bool Allowed(std::uint32_t address, std::size_t size);
  void Enqueue(Arrival arrival);
  bool QueueReceived(const mmsghdr* messages, const sockaddr_in* senders, std::size_t count);
  void TakeBatch();

  // Event loop side only.
  std::deque<Arrival> batch;
  bool loopPostedDrain = false; // set by the event loop: a drain it posted has not started
  const Arrival* current = nullptr;
  bool currentRead = false;
};

// Whether the sender may add this datagram now (reader thread).
bool TNMUDP::Impl::Allowed(std::uint32_t address, std::size_t size) {
  const auto now = Clock::now();
  auto found = allowances.find(address);
  if (found == allowances.end()) {
    if (allowances.size() >= kSenders) {
      // Forget the senders that have been quiet long enough to have their
      // whole allowance back; if none has, the newcomers share one.
      std::erase_if(allowances, [&](const auto& entry) { return entry.second.Full(now, limits); });
      if (allowances.size() >= kSenders) address = 0;
    }
    found = allowances.try_emplace(address, Allowance{limits.messageBurst, limits.byteBurst, now})
                .first;
  }
  return found->second.Take(size, now, limits);
}

// Queues a datagram (mutex held). When the queue is full, the sender that
// holds the most of it gives way: its newest datagram goes, or this one if
// it is the one sending most.
void TNMUDP::Impl::Enqueue(Arrival arrival) {
  const std::size_t cost = arrival.bytes.size() + kOverhead;
  while (queuedBytes + cost > limits.queueBytes) {
    auto heaviest = queues.end();
    for (auto it = queues.begin(); it != queues.end(); ++it)
      if (heaviest == queues.end() || it->second.bytes > heaviest->second.bytes) heaviest = it;
    const auto own = queues.find(arrival.address);
    const std::size_t ownBytes = (own != queues.end() ? own->second.bytes : 0) + cost;
    if (heaviest == queues.end() || ownBytes >= heaviest->second.bytes) {
      ++dropped;
      return;
    }
    SenderQueue& victim = heaviest->second;
    const std::size_t freed = victim.items.back().bytes.size() + kOverhead;
    victim.items.pop_back();
    victim.bytes -= freed;
    queuedBytes -= freed;
    ++dropped;
    if (victim.items.empty()) {
      std::erase(turns, heaviest->first);
      queues.erase(heaviest);
    }
  }
  SenderQueue& queue = queues[arrival.address];
  if (queue.items.empty()) turns.push_back(arrival.address);
  queue.bytes += cost;
  queuedBytes += cost;
  queue.items.push_back(std::move(arrival));
}

// Fills the event loop's batch from the queue (mutex held), one datagram
// from each sender in turn: a sender that sends much waits behind the others.
void TNMUDP::Impl::TakeBatch() {
  while (batch.size() < kBatch && !turns.empty()) {
    const std::uint32_t address = turns.front();
    turns.pop_front();
    const auto found = queues.find(address);
    if (found == queues.end() || found->second.items.empty()) continue; // never: kept in step
    SenderQueue& queue = found->second;
    const std::size_t cost = queue.items.front().bytes.size() + kOverhead;
    batch.push_back(std::move(queue.items.front()));
    queue.items.pop_front();
    queue.bytes -= cost;
    queuedBytes -= cost;
    if (queue.items.empty())
      queues.erase(found);
    else
      turns.push_back(address);
  }
}

TNMUDP::TNMUDP(TComponent* owner, std::string name, const Settings& settings)
    : TComponent(owner, std::move(name)), LocalPort(settings.LocalPort),
      RemotePort(settings.RemotePort), RemoteHost(settings.RemoteHost),
      ReportLevel(settings.ReportLevel), d_(std::make_unique<Impl>(settings.limits)) {
  d_->socket = Fd(OpenListeningSocket(LocalPort));
  if (d_->socket.get() < 0)
    throw Exception("Impossible d'écouter sur le port UDP " + std::to_string(LocalPort) + " : " +
                    SystemReason(errno) + ".");
  if (d_->wake.get() < 0)
    throw Exception("Impossible de préparer la réception UDP : " + SystemReason(errno) + ".");

  d_->reader = std::thread([this] { ReadLoop(); });
}

// Holds each datagram of a batch just read to its sender's allowance and
// queues those it allows; true when the reader is to post a drain, none
// being pending (reader thread).
bool TNMUDP::Impl::QueueReceived(const mmsghdr* messages, const sockaddr_in* senders,
                                 std::size_t count) {
  std::lock_guard lock(mutex);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t size = std::min<std::size_t>(messages[i].msg_len, kMaxPayload);
    const std::uint32_t address = senders[i].sin_addr.s_addr;
    if (!Allowed(address, size)) {
      ++limited;
      continue;
    }
    Enqueue({std::string(static_cast<const char*>(messages[i].msg_hdr.msg_iov->iov_base), size),
             address, ntohs(senders[i].sin_port)});
  }
  const bool post = !readerPostedDrain && !queues.empty();
  if (post) readerPostedDrain = true;
  return post;
}

// The reader thread: takes datagrams from the socket in batches as fast as
// they come, holds each sender to its allowance, queues them and posts a
// drain to the event loop when none is pending; ends when woken.
void TNMUDP::ReadLoop() {
  Impl& impl = *d_;
  // Left uninitialised: pages are touched only as datagrams fill them.
  const auto buffers =
      std::make_unique_for_overwrite<char[]>(std::size_t{kReadBatch} * (kMaxPayload + 1));
  mmsghdr messages[kReadBatch];
  iovec vectors[kReadBatch];
  sockaddr_in senders[kReadBatch];
  pollfd fds[2] = {{impl.socket.get(), POLLIN, 0}, {impl.wake.get(), POLLIN, 0}};
  for (;;) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if ((fds[1].revents & POLLIN) != 0) return;
    for (;;) {
      for (unsigned i = 0; i < kReadBatch; ++i) {
        vectors[i] = {buffers.get() + std::size_t{i} * (kMaxPayload + 1), kMaxPayload + 1};
        messages[i] = {};
        messages[i].msg_hdr.msg_iov = &vectors[i];
        messages[i].msg_hdr.msg_iovlen = 1;
        messages[i].msg_hdr.msg_name = &senders[i];
        messages[i].msg_hdr.msg_namelen = sizeof senders[i];
      }
      const int count = recvmmsg(impl.socket.get(), messages, kReadBatch, MSG_DONTWAIT, nullptr);
      if (count <= 0) break;
      if (impl.QueueReceived(messages, senders, static_cast<std::size_t>(count)))
        QMetaObject::invokeMethod(
            &impl.context, [this] { Drain(); }, Qt::QueuedConnection);
      if (static_cast<unsigned>(count) < kReadBatch) break;
    }
  }
}

TNMUDP::~TNMUDP() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const auto written = write(d_->wake.get(), &one, sizeof one);
  if (d_->reader.joinable()) d_->reader.join();
}

void TNMUDP::PostDrain() {
  if (d_->loopPostedDrain) return;
  d_->loopPostedDrain = true;
  QMetaObject::invokeMethod(
      &d_->context, [this] { Drain(); }, Qt::QueuedConnection);
}

void TNMUDP::Drain() {
  d_->loopPostedDrain = false;
  // A handler may open a modal box whose nested loop drains again; both
  // take from the same batch, so order holds.
  for (std::size_t handled = 0; handled < kBatch; ++handled) {
    if (d_->batch.empty()) {
      std::lock_guard lock(d_->mutex);
      d_->TakeBatch();
      if (d_->batch.empty()) {
        d_->readerPostedDrain = false;
        return;
      }
    }
    const Arrival arrival = std::move(d_->batch.front());
    d_->batch.pop_front();
    // Should the handler run a nested event loop (a modal box), the
    // datagrams after this one go on showing meanwhile.
    PostDrain();
    // A nested drain (inside a modal box opened by a handler) hands the
    // datagram it announced back to the outer handler when it returns.
    const Arrival* const outer = d_->current;
    const bool outerRead = d_->currentRead;
    d_->current = &arrival; // cppcheck-suppress danglingLifetime
    d_->currentRead = false;
    Dispatch([&] {
      if (!OnDataReceived) return;
      char address[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &arrival.address, address, sizeof address);
      OnDataReceived(this, static_cast<int>(arrival.bytes.size()), address, arrival.port);
    });
    d_->current = outer;
    d_->currentRead = outerRead;
  }
  // More to come: the posted drain lets input and painting through first.
  PostDrain();
}

void TNMUDP::ReadBuffer(char* Buff, int BuffLast, int& Length) {
  Length = 0;
  if (d_->current == nullptr || d_->currentRead || Buff == nullptr || BuffLast < 0) return;
  d_->currentRead = true;
  const std::size_t count =
      std::min(d_->current->bytes.size(), static_cast<std::size_t>(BuffLast) + 1);
  std::memcpy(Buff, d_->current->bytes.data(), count);
  Length = static_cast<int>(count);
}

void TNMUDP::SendBuffer(const char* Buff, int BuffLast, int Length) {
  const std::string target = RemoteHost + ":" + std::to_string(RemotePort);
  if (Length > kMaxPayload)
    throw Exception("Envoi impossible vers " + target + " : le datagramme ferait " +
                    std::to_string(Length) + " octets, la limite est de " +
                    std::to_string(kMaxPayload) + " octets.");
  if (Length < 0 || Buff == nullptr || Length > BuffLast + 1)
    throw Exception("Envoi impossible vers " + target + " : " + std::to_string(Length) +
                    " octets demandés, le tampon n'en contient que " +
                    std::to_string(Buff == nullptr ? 0 : std::max(BuffLast + 1, 0)) + ".");
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(RemotePort));
  if (inet_pton(AF_INET, RemoteHost.c_str(), &to.sin_addr) != 1)
    throw Exception("Envoi impossible vers " + target + " : ce n'est pas une adresse IPv4.");
  // Sent from the listening socket itself; the system's reason is reported
  // as it gives it.
  const auto sent = sendto(d_->socket.get(), Buff, static_cast<std::size_t>(Length), 0,
                           reinterpret_cast<const sockaddr*>(&to), sizeof to);
  if (sent != Length)
    throw Exception("Envoi impossible vers " + target + " : " +
                    (sent < 0 ? SystemReason(errno) : "datagramme tronqué") + ".");
}

std::uint64_t TNMUDP::Limited() const {
  std::lock_guard lock(d_->mutex);
  return d_->limited;
}

std::uint64_t TNMUDP::Dropped() const {
  std::lock_guard lock(d_->mutex);
  return d_->dropped;
}

void UdpDesc::Create(TForm& form, const EventTables& events) const {
  auto& udp = form.Create<TNMUDP>(
      std::string(name),
      TNMUDP::Settings{localPort, remotePort, std::string(remoteHost), reportLevel});
  if (!onDataReceived.empty()) udp.OnDataReceived = events.dataReceived.Bind(onDataReceived, form);
}
