// What a flood may take, as plain code with the time passed in: the
// allowances, the queue between the network and the window, and the budget
// of one pass of the event loop.
#include <net/Allowance.h>
#include <net/FairQueue.h>
#include <net/PassBudget.h>

#include <QtTest>

#include "HeapInUse.h"

#include <chrono>

namespace {

using namespace std::chrono_literals;
using Clock = Allowance::Clock;

const Clock::time_point kStart{};

std::uint32_t Address(std::uint32_t n) { return 0x0A000000U + n; }

Datagram From(std::uint32_t address, std::size_t size, char fill = 'x') {
  return Datagram{std::string(size, fill), address, 2000, size};
}

// Limits small enough to count by hand: no quiet allowance unless asked.
Allowance::Limits Small() {
  Allowance::Limits limits;
  limits.perSender = {100, 50, 100'000, 50'000};
  limits.shared = {1e9, 1e9, 1e12, 1e12};
  limits.quiet = {};
  return limits;
}

} // namespace

class TestFlood : public QObject {
  Q_OBJECT

private slots:
  // One address: its burst, then what the rate refills, in messages or in
  // the cost charged; other addresses keep their own.
  void perSenderRate_data() {
    QTest::addColumn<std::size_t>("cost");
    QTest::addColumn<int>("burst"); // datagrams the burst lets through
    QTest::addColumn<int>("perHalfSecond");
    QTest::newRow("messages") << std::size_t{10} << 50 << 50;
    QTest::newRow("bytes") << std::size_t{1000} << 50 << 50;
    QTest::newRow("bytes, costly") << std::size_t{5000} << 10 << 10;
  }
  void perSenderRate() {
    QFETCH(std::size_t, cost);
    QFETCH(int, burst);
    QFETCH(int, perHalfSecond);
    Allowance allowance(Small());
    const auto admitted = [&](std::uint32_t address, Clock::time_point at) {
      int count = 0;
      for (int i = 0; i < 300; ++i)
        count += allowance.Admit(address, cost, at) ? 1 : 0;
      return count;
    };
    QCOMPARE(admitted(Address(1), kStart), burst);
    QCOMPARE(admitted(Address(2), kStart), burst);
    QCOMPARE(admitted(Address(1), kStart + 500ms), perHalfSecond);
  }

  // Many addresses do not multiply the burst: together they get the shared
  // allowance, and each its small quiet one.
  void manyAddressesShareOneAllowance_data() {
    QTest::addColumn<int>("addresses");
    QTest::newRow("5,000 addresses") << 5000;
    QTest::newRow("300,000 addresses") << 300'000;
  }
  void manyAddressesShareOneAllowance() {
    QFETCH(int, addresses);
    Allowance::Limits limits;
    limits.shared = {1e9, 1e9, 1 << 20, 4 << 20};
    limits.quiet = {4, 4, 1 << 10, 16 << 10};
    limits.newcomers = {64, 256, 32 << 10, 256 << 10};
    limits.senders = 1024;
    Allowance allowance(limits);
    constexpr std::size_t kCost = 60'000;
    std::size_t bytes = 0;
    for (int second = 0; second < 10; ++second)
      for (int i = 0; i < addresses; ++i)
        if (allowance.Admit(Address(std::uint32_t(i)), kCost, kStart + second * 1s)) bytes += kCost;
    // The shared burst and ten seconds of its rate, and the same of the
    // newcomers' allowance; the quiet allowances admit nothing of this size.
    QVERIFY2(bytes <= (4u << 20) + 10 * (1u << 20) + (256u << 10) + 10 * (32u << 10),
             qPrintable(QString::number(bytes)));
    QVERIFY(bytes >= (4u << 20));
    QVERIFY(allowance.Followed() <= limits.senders);
  }

  // A neighbour chatting at a human pace is let through while a crowd of
  // addresses uses up the shared allowance; a newcomer then is not.
  void quietSenderPassesDuringAFlood() {
    Allowance::Limits limits;
    limits.shared = {1e9, 1e9, 1 << 20, 1 << 20};
    limits.senders = 1024;
    Allowance allowance(limits);
    const std::uint32_t neighbour = Address(999'999);
    QVERIFY(allowance.Admit(neighbour, 100, kStart));
    int shown = 0;
    for (int tick = 1; tick <= 120; ++tick) { // a minute, every half second
      const auto now = kStart + tick * 500ms;
      for (int i = 0; i < 5000; ++i)
        allowance.Admit(Address(std::uint32_t(tick * 5000 + i)), 1000, now);
      shown += allowance.Admit(neighbour, 100, now) ? 1 : 0;
    }
    QCOMPARE(shown, 120);
    QVERIFY(!allowance.Admit(Address(12'345'678), 1000, kStart + 60s));
  }

  // A neighbour who begins to chat while 5,000 loud addresses hold every
  // place (and use up the shared allowance) gets through as a quiet
  // newcomer.
  void quietNewcomerPassesALoudCrowd() {
    Allowance::Limits limits;
    limits.shared = {1000, 1000, 1 << 20, 1 << 20};
    limits.seed = 1;
    Allowance allowance(limits);
    const std::uint32_t neighbour = Address(999'999);
    int shown = 0;
    for (int tick = 0; tick < 600; ++tick) { // 30 s, each address every 50 ms
      const auto now = kStart + tick * 50ms;
      for (std::uint32_t i = 0; i < 5000; ++i)
        allowance.Admit(Address(i), 100, now);
      if (tick >= 100 && tick % 10 == 0) shown += allowance.Admit(neighbour, 100, now) ? 1 : 0;
    }
    QCOMPARE(allowance.Followed(), limits.senders);
    QCOMPARE(shown, 50);
  }

  // The queue holds at most its bytes, counted at what each datagram and
  // each sender's queue really take; the rest is dropped and counted.
  void queueIsBounded_data() {
    QTest::addColumn<int>("senders");
    QTest::addColumn<std::size_t>("size");
    QTest::newRow("one sender, 1000 bytes") << 1 << std::size_t{1000};
    QTest::newRow("one sender, 1 byte") << 1 << std::size_t{1};
    QTest::newRow("300,000 senders, 1 byte") << 300'000 << std::size_t{1};
    QTest::newRow("5,000 senders, 60,000 bytes") << 5000 << std::size_t{60'000};
  }
  void queueIsBounded() {
    QFETCH(int, senders);
    QFETCH(std::size_t, size);
    constexpr std::size_t kLimit = 1 << 20;
    FairQueue queue({.bytes = kLimit, .senders = 256});
    const int count = std::max(senders, 2000);
    // What the queue counts is what the allocator hands out for it.
    const std::size_t heapBefore = HeapInUse();
    for (int i = 0; i < count; ++i) {
      queue.Push(From(Address(std::uint32_t(i % senders)), size));
      QVERIFY(queue.Bytes() <= kLimit);
    }
    const std::size_t held = HeapInUse() - heapBefore;
    QVERIFY2(held <= kLimit + (64 << 10), qPrintable(QString::number(held)));
    QVERIFY(queue.Count() > 0);
    QCOMPARE(queue.Dropped(), std::uint64_t(count) - queue.Count());
    std::size_t counted = 0;
    while (const auto datagram = queue.Pop())
      counted += FairQueue::Cost(*datagram);
    QVERIFY(counted <= kLimit);
    QCOMPARE(queue.Bytes(), std::size_t{0});
  }

  // A flood, from one address or from a crowd beyond the senders that have
  // a queue of their own, does not crowd out a neighbour: what gives way
  // is the heaviest's newest, and the senders are served in turn.
  void floodDoesNotDrownANeighbour_data() {
    QTest::addColumn<int>("flooders");
    QTest::newRow("one address") << 1;
    QTest::newRow("300,000 addresses") << 300'000;
  }
  void floodDoesNotDrownANeighbour() {
    QFETCH(int, flooders);
    FairQueue queue({.bytes = 256 << 10, .senders = 64});
    const std::uint32_t neighbour = Address(0x00FFFFFF);
    for (int i = 0; i < 300'000; ++i) {
      queue.Push(From(Address(std::uint32_t(i % flooders)), 1000, 'f'));
      if (i % 1000 == 0) queue.Push(From(neighbour, 20, 'n'));
    }
    QVERIFY(queue.Dropped() > 0);
    int neighbours = 0;
    int position = 0;
    int lastNeighbour = -1;
    while (const auto datagram = queue.Pop()) {
      if (datagram->address == neighbour) {
        ++neighbours;
        // In turn with the flood, not behind it.
        QVERIFY2(position - lastNeighbour <= 2 * 65, qPrintable(QString::number(position)));
        lastNeighbour = position;
      }
      ++position;
    }
    QCOMPARE(neighbours, 300);
  }

  // A pass of the event loop ends when its time or its work is spent,
  // whatever the datagrams hold; the first is always handled.
  void passBudget_data() {
    QTest::addColumn<std::size_t>("cost");
    QTest::addColumn<int>("microseconds"); // each datagram takes
    QTest::addColumn<int>("handled");
    QTest::newRow("short ones, quick") << std::size_t{30} << 1 << 8739;
    QTest::newRow("short ones, slow") << std::size_t{30} << 100 << 100;
    QTest::newRow("largest, 0x80 bytes") << std::size_t{196'521} << 10 << 2;
    QTest::newRow("65,507 line breaks") << std::size_t{524'072} << 30'000 << 1;
  }
  void passBudget() {
    QFETCH(std::size_t, cost);
    QFETCH(int, microseconds);
    QFETCH(int, handled);
    PassBudget budget(kStart);
    int count = 0;
    auto now = kStart;
    for (bool spent = false; !spent && count < 10'000; ++count) {
      now += std::chrono::microseconds(microseconds);
      spent = budget.Spend(cost, now);
    }
    QCOMPARE(count, handled);
  }
};

QTEST_GUILESS_MAIN(TestFlood)
#include "test_flood.moc"
