#include "net/NMUDP.h"

#include "netcore/PassBudget.h"
#include "netcore/Socket.h"
#include "netcore/SystemReason.h"
#include <classes/Dispatch.h>

#include <lanchat/BuildConfig.h>

#include <QObject>
#include <QTimer>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int kMaxPayload = static_cast<int>(lanchat::config::kMaxDatagramSize);
constexpr unsigned kReadBatch = 32;
// Datagrams the window takes from the queue at once, and their bytes.
constexpr std::size_t kTakeAtOnce = 16;
constexpr std::size_t kTakeBytes = 64 << 10;

using Clock = std::chrono::steady_clock;

} // namespace

struct TNMUDP::Impl {
  Impl(const Limits& given, CostFunction costOf) : limits(given), cost(costOf) {}

  [[nodiscard]] std::size_t CostOf(std::string_view payload) const {
    return cost != nullptr ? cost(payload) : payload.size();
  }

  // The allowances and the queue are made when the first datagram comes:
  // they take a few hundred kilobytes that start-up does not need.
  const Limits limits;
  const CostFunction cost;
  Fd socket;
  Fd wake{eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)};
  std::atomic<bool> stop{false};
  QObject context; // lives on the event loop's thread; receives the drain calls
  std::thread reader;

  // Reader thread only.
  std::optional<Allowance> allowance;
  std::vector<Datagram> admitted; // of the batch being read, before they are queued
  std::atomic<std::uint64_t> limited{0};
  Clock::time_point toldTurnedAway{}; // the last time the event loop was told
  bool tellTurnedAway = false;        // tell it after this batch

  mutable std::mutex mutex; // guards what follows, up to the event loop's part
  std::optional<FairQueue> queue;
  bool readerPostedDrain = false; // set by the reader, cleared by the drain that empties the queue

  // Reader thread: holds each datagram of a batch to the allowances and
  // queues those allowed, taking the lock once per batch; true when a
  // drain is to be posted, none being pending.
  bool QueueReceived(const mmsghdr* messages, const sockaddr_in* senders, std::size_t count);

  // Event loop side only.
  bool loopPostedDrain = false; // set by the event loop: a drain it posted has not started
  bool retryArmed = false;      // a drain waits on a timer for the reader to let go of the queue
  std::deque<Datagram> inHand;  // taken from the queue, not yet handled
  const Datagram* current = nullptr;
  bool currentRead = false;
  FloodTally floods;
  bool recountArmed = false;        // the count is taken again a second later
  Clock::time_point recountUntil{}; // as long as it changed less than two seconds ago
};

bool TNMUDP::Impl::QueueReceived(const mmsghdr* messages, const sockaddr_in* senders,
                                 std::size_t count) {
  const auto now = Clock::now();
  if (!allowance) allowance.emplace(limits.allowance);
  admitted.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t size = std::min<std::size_t>(messages[i].msg_len, kMaxPayload);
    const std::string_view payload(static_cast<const char*>(messages[i].msg_hdr.msg_iov->iov_base),
                                   size);
    const std::uint32_t address = senders[i].sin_addr.s_addr;
    // A datagram costs at least its size: a sender that cannot afford that
    // is turned away before its datagram is read through.
    std::size_t charge = size;
    if (!allowance->Admit(
            address, size, [&] { return charge = CostOf(payload); }, now)) {
      limited.fetch_add(1, std::memory_order_relaxed);
      if (now - toldTurnedAway >= std::chrono::seconds(1)) {
        toldTurnedAway = now;
        tellTurnedAway = true;
      }
      continue;
    }
    admitted.push_back({std::string(payload), address, ntohs(senders[i].sin_port), charge});
  }
  if (admitted.empty()) return false;
  // The batch goes in under one lock: the window finds the queue held less
  // often, and the reader takes the lock once however many got through.
  const std::lock_guard lock(mutex);
  if (!queue) queue.emplace(limits.queue);
  for (Datagram& datagram : admitted)
    queue->Push(std::move(datagram));
  if (readerPostedDrain || queue->Empty()) return false;
  readerPostedDrain = true;
  return true;
}

TNMUDP::TNMUDP(TComponent* owner, std::string name, const Settings& settings)
    : TComponent(owner, std::move(name)), LocalPort(settings.LocalPort),
      RemotePort(settings.RemotePort), RemoteHost(settings.RemoteHost),
      ReportLevel(settings.ReportLevel),
      d_(std::make_unique<Impl>(settings.limits, settings.cost)) {
  d_->socket = Fd(OpenListeningSocket(LocalPort));
  if (d_->socket.get() < 0)
    throw Exception("Impossible d'écouter sur le port UDP " + std::to_string(LocalPort) + " : " +
                    SystemReason(errno) + ".");
  if (d_->wake.get() < 0)
    throw Exception("Impossible de préparer la réception UDP : " + SystemReason(errno) + ".");

  d_->reader = std::thread([this] { ReadLoop(); });
}

// The reader thread: takes datagrams from the socket in batches as fast as
// they come and queues those the allowances let through, posting a drain to
// the event loop when none is pending. It looks for the stop after every
// batch, so a flood that never lets the socket run dry cannot hold it.
void TNMUDP::ReadLoop() {
  Impl& impl = *d_;
  pthread_setname_np(pthread_self(), kReaderName);
  // The window's share of a core, so that a flood from a busy machine finds
  // it reading as often as any program there; the window never waits for
  // it. As a batch thread it does not take the core from the window each
  // time a datagram wakes it: it runs when the window's turn ends.
  const sched_param normal{};
  sched_setscheduler(0, SCHED_BATCH, &normal);
  impl.admitted.reserve(kReadBatch);
  const auto buffers =
      std::make_unique_for_overwrite<char[]>(std::size_t{kReadBatch} * (kMaxPayload + 1));
  mmsghdr messages[kReadBatch];
  iovec vectors[kReadBatch];
  sockaddr_in senders[kReadBatch];
  pollfd fds[2] = {{impl.socket.get(), POLLIN, 0}, {impl.wake.get(), POLLIN, 0}};
  while (!impl.stop.load(std::memory_order_acquire)) {
    if (poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if ((fds[1].revents & POLLIN) != 0) return;
    while (!impl.stop.load(std::memory_order_acquire)) {
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
      if (std::exchange(impl.tellTurnedAway, false))
        QMetaObject::invokeMethod(
            &impl.context, [this] { TurnedAway(); }, Qt::QueuedConnection);
      if (static_cast<unsigned>(count) < kReadBatch) break;
    }
  }
}

TNMUDP::~TNMUDP() {
  d_->stop.store(true, std::memory_order_release);
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

void TNMUDP::RetryDrain() {
  if (d_->retryArmed) return;
  d_->retryArmed = true;
  QTimer::singleShot(1, &d_->context, [this] {
    d_->retryArmed = false;
    Drain();
  });
}

// Takes the next few datagrams from the queue, under one lock: the fewer
// times the window takes it, the fewer times it finds the reader holding
// it. It never waits for the reader: when a flood keeps the cores busy, the
// reader can lose its core while it holds the queue, and the window would
// wait with it. The pass ends instead, and a drain comes back a millisecond
// later, input and painting going first. False when nothing was taken.
bool TNMUDP::TakeFromQueue() {
  const std::unique_lock lock(d_->mutex, std::try_to_lock);
  if (!lock.owns_lock()) {
    RetryDrain();
    return false;
  }
  if (!d_->queue) return !d_->inHand.empty();
  std::size_t bytes = 0;
  while (d_->inHand.size() < kTakeAtOnce && bytes < kTakeBytes) {
    std::optional<Datagram> next = d_->queue->Pop();
    if (!next) break;
    bytes += next->bytes.size();
    d_->inHand.push_back(std::move(*next));
  }
  if (d_->queue->Empty()) d_->readerPostedDrain = false; // the reader posts the next drain
  return !d_->inHand.empty();
}

void TNMUDP::Drain() {
  d_->loopPostedDrain = false;
  // A pass ends when its budget is spent, whatever the datagrams hold, and
  // a posted drain takes up the rest once input and painting went through.
  PassBudget budget(Clock::now());
  for (;;) {
    if (d_->inHand.empty() && !TakeFromQueue()) return;
    const Datagram arrival = std::move(d_->inHand.front());
    d_->inHand.pop_front();
    // Should the handler run a nested event loop (a modal box), the
    // datagrams after this one go on showing meanwhile.
    PostDrain();
    // A nested drain (inside a modal box opened by a handler) hands the
    // datagram it announced back to the outer handler when it returns.
    const Datagram* const outer = d_->current;
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
    if (budget.Spend(arrival.cost, Clock::now())) break;
  }
  // More to come: the posted drain lets input and painting through first.
  PostDrain();
}

// Tells the flood's count when it changed, and takes it again every second
// until it has stood for two: the reader tells of datagrams turned away at
// most once a second, so the last ones of a flood are counted this way.
void TNMUDP::TurnedAway() {
  const auto now = Clock::now();
  if (const std::uint64_t total = Limited(); total != d_->floods.Total()) {
    const FloodTally::Tally tally = d_->floods.Seen(total, now);
    if (OnTurnedAway) Dispatch([&] { OnTurnedAway(tally); });
    d_->recountUntil = now + std::chrono::seconds(2);
  }
  if (d_->recountArmed || now >= d_->recountUntil) return;
  d_->recountArmed = true;
  QTimer::singleShot(1000, &d_->context, [this] {
    d_->recountArmed = false;
    TurnedAway();
  });
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

std::uint64_t TNMUDP::Limited() const { return d_->limited.load(std::memory_order_relaxed); }

std::uint64_t TNMUDP::Dropped() const {
  const std::lock_guard lock(d_->mutex);
  return d_->queue ? d_->queue->Dropped() : 0;
}

std::size_t TNMUDP::Queued() const {
  const std::lock_guard lock(d_->mutex);
  return (d_->queue ? d_->queue->Count() : 0) + d_->inHand.size();
}
