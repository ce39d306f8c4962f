// The network's core alone, plain code with the time passed in: what a
// flood may take (the allowances, the queue between the network and the
// window, the budget of one pass of the event loop), and the system's
// reasons in French.
#include <netcore/Allowance.h>
#include <netcore/FairQueue.h>
#include <netcore/FloodTally.h>
#include <netcore/PassBudget.h>
#include <netcore/SystemReason.h>

#include <QtTest>

#include "HeapInUse.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <clocale>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Clock = Allowance::Clock;

const Clock::time_point kStart{};

std::uint32_t Address(std::uint32_t n) { return 0x0A000000U + n; }

Datagram From(std::uint32_t address, std::size_t size, char fill = 'x') {
  return Datagram{std::string(size, fill), address, 2000, size};
}

// Limits small enough to count by hand, for one sender.
Allowance::Limits Small() {
  Allowance::Limits limits;
  limits.perSender = {100, 50, 100'000, 50'000};
  limits.shared = {1e9, 1e9, 1e12, 1e12};
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

  // Whatever floods, from however many addresses, warmed up or not, all
  // senders together are admitted no more than the ceiling's burst and its
  // rate over the time.
  void oneCeilingForAll_data() {
    QTest::addColumn<int>("addresses");
    QTest::addColumn<int>("perSecond"); // datagrams from each address
    QTest::addColumn<std::size_t>("cost");
    QTest::addColumn<bool>("warmedUp"); // each chatted for a minute first
    QTest::newRow("1,024 addresses, 4/s of 600 bytes") << 1024 << 4 << std::size_t{616} << false;
    QTest::newRow("the same, warmed up") << 1024 << 4 << std::size_t{616} << true;
    QTest::newRow("5,000 addresses, largest datagrams")
        << 5000 << 1 << std::size_t{196'521} << false;
    QTest::newRow("50,000 addresses, short") << 50'000 << 1 << std::size_t{40} << false;
    QTest::newRow("one address, 1,000/s") << 1 << 1000 << std::size_t{100} << false;
  }
  void oneCeilingForAll() {
    QFETCH(int, addresses);
    QFETCH(int, perSecond);
    QFETCH(std::size_t, cost);
    QFETCH(bool, warmedUp);
    Allowance::Limits limits;
    limits.seed = 1;
    const Allowance::Bound ceiling = Allowance::Ceiling(limits);

    Allowance allowance(limits);
    auto now = kStart;
    if (warmedUp) // each address in turn, at a chat's pace
      for (int i = 0; i < addresses; ++i, now += 50ms)
        allowance.Admit(Address(std::uint32_t(i)), 100, now);
    const auto floodBegins = now;
    double admitted = 0;
    constexpr int kSeconds = 120;
    for (int tick = 0; tick < kSeconds * perSecond; ++tick) {
      now = floodBegins + tick * 1s / perSecond;
      for (int i = 0; i < addresses; ++i)
        if (allowance.Admit(Address(std::uint32_t(i)), cost, now)) admitted += double(cost);
    }
    QVERIFY(allowance.Flood());
    QVERIFY2(admitted <= ceiling.byteBurst + ceiling.bytesPerSecond * kSeconds,
             qPrintable(QString::number(admitted)));
  }

  // A neighbour who chatted before the flood keeps being shown whole, a
  // message of 1 KB every 2 s, whether the flood comes from a few loud
  // addresses that were silent before or from new ones all the time; one
  // who begins to chat during a flood from one address is shown too.
  void neighbourKeepsBeingShown_data() {
    QTest::addColumn<int>("addresses");
    QTest::addColumn<int>("each"); // datagrams from each address every half second
    QTest::addColumn<bool>("newEachTime");
    QTest::addColumn<bool>("chattedBefore");
    QTest::addColumn<std::size_t>("cost"); // of each of the neighbour's messages
    QTest::newRow("1,024 loud addresses") << 1024 << 1 << false << true << std::size_t{1040};
    QTest::newRow("5,000 new addresses every half second")
        << 5000 << 1 << true << true << std::size_t{1040};
    QTest::newRow("one address at full speed, neighbour begins during it")
        << 1 << 2000 << false << false << std::size_t{100};
  }
  void neighbourKeepsBeingShown() {
    QFETCH(int, addresses);
    QFETCH(int, each);
    QFETCH(bool, newEachTime);
    QFETCH(bool, chattedBefore);
    QFETCH(std::size_t, cost);
    Allowance::Limits limits;
    limits.seed = 1;
    Allowance allowance(limits);
    const std::uint32_t neighbour = Address(999'999);
    if (chattedBefore) {
      QVERIFY(allowance.Admit(neighbour, cost, kStart));
      QVERIFY(allowance.Admit(neighbour, cost, kStart + 40s)); // a minute of chat before
    }
    int shown = 0;
    for (int tick = 1; tick <= 240; ++tick) { // two minutes, every half second
      const auto now = kStart + 60s + tick * 500ms;
      for (int i = 0; i < addresses; ++i)
        for (int repeat = 0; repeat < each; ++repeat)
          allowance.Admit(Address(std::uint32_t((newEachTime ? tick : 0) * addresses + i)), 600,
                          now);
      if (tick % 4 == 0) shown += allowance.Admit(neighbour, cost, now) ? 1 : 0;
    }
    QVERIFY(allowance.Flood());
    QCOMPARE(shown, 60);
  }

  // Among senders that all chatted before the flood, the reserve is shared
  // fairly: the quietest gets its part, the loudest no more than theirs.
  void warmedUpCrowdSharesTheReserve() {
    Allowance::Limits limits;
    limits.seed = 1;
    Allowance allowance(limits);
    constexpr int kLoud = 64;
    const std::uint32_t neighbour = Address(999'999);
    for (int i = 0; i < kLoud; ++i)
      allowance.Admit(Address(std::uint32_t(i)), 100, kStart);
    allowance.Admit(neighbour, 100, kStart);
    std::vector<double> got(kLoud + 1, 0);
    constexpr int kSeconds = 600;
    for (int tick = 0; tick < kSeconds * 10; ++tick) { // every 100 ms
      const auto now = kStart + 10s + tick * 100ms;
      for (int i = 0; i < kLoud; ++i)
        for (int repeat = 0; repeat < 20; ++repeat)
          if (allowance.Admit(Address(std::uint32_t(i)), 100, now)) got[std::size_t(i)] += 100;
      if (tick % 20 == 0 && allowance.Admit(neighbour, 100, now)) got[kLoud] += 100;
    }
    // Past the shared burst, the reserve's rate split in equal parts.
    const double fair = limits.reserve.bytesPerSecond * kSeconds / (kLoud + 1);
    QVERIFY2(got[kLoud] >= fair / 2, qPrintable(QString::number(got[kLoud])));
    const double loudest = *std::max_element(got.begin(), got.end() - 1);
    QVERIFY2(loudest <= limits.shared.byteBurst / 8 + 2 * fair + limits.reserveEachBytes,
             qPrintable(QString::number(loudest)));
  }

  // Datagrams turned away are told as floods: one number for each, and the
  // count of that flood alone; a minute without any ends a flood.
  void floodsAreTold_data() {
    QTest::addColumn<QList<int>>("seconds"); // when the total was seen
    QTest::addColumn<QList<int>>("totals");
    QTest::addColumn<QList<int>>("floods");
    QTest::addColumn<QList<int>>("counts");
    QTest::newRow("one flood") << QList<int>{0, 1, 2} << QList<int>{1, 500, 900}
                               << QList<int>{1, 1, 1} << QList<int>{1, 500, 900};
    QTest::newRow("a second flood after a quiet minute")
        << QList<int>{0, 1, 100, 101} << QList<int>{10, 20, 25, 40} << QList<int>{1, 1, 2, 2}
        << QList<int>{10, 20, 5, 20};
    QTest::newRow("pauses shorter than a minute") << QList<int>{0, 50, 100} << QList<int>{1, 2, 3}
                                                  << QList<int>{1, 1, 1} << QList<int>{1, 2, 3};
  }
  void floodsAreTold() {
    QFETCH(QList<int>, seconds);
    QFETCH(QList<int>, totals);
    QFETCH(QList<int>, floods);
    QFETCH(QList<int>, counts);
    FloodTally tally;
    for (qsizetype i = 0; i < seconds.size(); ++i) {
      const auto told = tally.Seen(std::uint64_t(totals[i]), kStart + seconds[i] * 1s);
      QCOMPARE(told.flood, std::uint64_t(floods[i]));
      QCOMPARE(told.turnedAway, std::uint64_t(counts[i]));
    }
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

  // The reasons given in error boxes are French under any locale; others
  // keep the system's words beside their number.
  void systemReasonsInFrench_data() {
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("reason");
    QTest::newRow("in use") << EADDRINUSE << "adresse déjà utilisée";
    QTest::newRow("permission") << EACCES << "permission refusée";
    QTest::newRow("network unreachable") << ENETUNREACH << "réseau injoignable";
    QTest::newRow("network down") << ENETDOWN << "réseau hors service";
    QTest::newRow("host unreachable") << EHOSTUNREACH << "hôte injoignable";
    QTest::newRow("no buffer space") << ENOBUFS << "plus de mémoire tampon disponible";
    QTest::newRow("too long") << EMSGSIZE << "message trop long";
    QTest::newRow("not available") << EADDRNOTAVAIL << "adresse non disponible sur cette machine";
    QTest::newRow("any other") << EOWNERDEAD << "erreur système 130 (Owner died)";
  }
  void systemReasonsInFrench() {
    QFETCH(int, error);
    QFETCH(QString, reason);
    for (const char* locale : {"C", "C.UTF-8", ""}) {
      setlocale(LC_ALL, locale);
      QCOMPARE(QString::fromStdString(SystemReason(error)), reason);
    }
  }
};

QTEST_GUILESS_MAIN(TestFlood)
#include "test_flood.moc"
