#include "net/NMUDP.h"

#include "net/Loop.h"

#include <classes/Dispatch.h>
#include <netcore/PassBudget.h>

#include <lanchat/BuildConfig.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <optional>
#include <utility>

namespace {

constexpr int kMaxPayload = static_cast<int>(lanchat::config::kMaxDatagramSize);
// Datagrams the window takes from the queue at once, and their bytes.
constexpr std::size_t kTakeAtOnce = 16;
constexpr std::size_t kTakeBytes = 64 << 10;

using Clock = std::chrono::steady_clock;

// A dotted IPv4 address from one in network order, as inet_ntop writes it.
std::string DottedAddress(std::uint32_t networkOrder) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&networkOrder);
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", bytes[0], bytes[1], bytes[2], bytes[3]);
  return text;
}

} // namespace

struct TNMUDP::Impl {
  LoopContext loop; // made first, gone last: the receiver posts to it until it stops
  std::optional<Receiver> receiver;

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

TNMUDP::TNMUDP(TComponent* owner, std::string name, const Settings& settings)
    : TComponent(owner, std::move(name)), LocalPort(settings.LocalPort),
      RemotePort(settings.RemotePort), RemoteHost(settings.RemoteHost),
      ReportLevel(settings.ReportLevel), d_(std::make_unique<Impl>()) {
  try {
    // Called on the reader thread: each posts its work to the event loop.
    d_->receiver.emplace(
        LocalPort, settings.limits, settings.cost,
        [this] { d_->loop.Post([this] { Drain(); }); },
        [this] { d_->loop.Post([this] { TurnedAway(); }); });
  } catch (const ReceiverError& e) {
    throw Exception(e.what());
  }
}

TNMUDP::~TNMUDP() { d_->receiver.reset(); }

void TNMUDP::PostDrain() {
  if (d_->loopPostedDrain) return;
  d_->loopPostedDrain = true;
  d_->loop.Post([this] { Drain(); });
}

void TNMUDP::RetryDrain() {
  if (d_->retryArmed) return;
  d_->retryArmed = true;
  d_->loop.After(1, [this] {
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
  switch (d_->receiver->Take(d_->inHand, kTakeAtOnce, kTakeBytes)) {
  case Receiver::Taken::kSome: return true;
  case Receiver::Taken::kNone: return false;
  case Receiver::Taken::kBusy: break;
  }
  RetryDrain();
  return false;
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
      OnDataReceived(this, static_cast<int>(arrival.bytes.size()), DottedAddress(arrival.address),
                     arrival.port);
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
  d_->loop.After(1000, [this] {
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
  // Sent from the listening socket itself; the system's reason is reported
  // as it gives it.
  if (const auto failed = d_->receiver->SendTo(
          RemoteHost, RemotePort, std::string_view(Buff, static_cast<std::size_t>(Length))))
    throw Exception("Envoi impossible vers " + target + " : " + *failed + ".");
}

std::uint64_t TNMUDP::Limited() const { return d_->receiver->Limited(); }

std::uint64_t TNMUDP::Dropped() const { return d_->receiver->Dropped(); }

std::size_t TNMUDP::Queued() const { return d_->receiver->Queued() + d_->inHand.size(); }
