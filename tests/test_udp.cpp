// The UDP endpoint over loopback: sharing the port, exact sizes, limits,
// order under a burst, short buffers and binding failures.
#include <net/NMUDP.h>

#include <QtTest>

#include "UdpSocket.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <functional>
#include <sched.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kBroadcast = "127.255.255.255";

struct Arrived {
  QByteArray bytes;
  int announced = 0;
  QString fromIp;
};

// An endpoint on `port` that records every datagram it is told about.
struct Endpoint {
  explicit Endpoint(int port, std::string host = kBroadcast, TNMUDP::Limits limits = {},
                    TNMUDP::CostFunction cost = nullptr)
      : udp(nullptr, "udp", {port, port, std::move(host), 1, limits, cost}) {
    udp.OnDataReceived = [this](TComponent*, int size, AnsiString ip, int) {
      std::vector<char> buffer(static_cast<std::size_t>(std::max(size, 0)));
      int got = -1;
      udp.ReadBuffer(buffer.data(), size - 1, got);
      arrived.push_back({QByteArray(buffer.data(), got), size, QString::fromStdString(ip)});
    };
  }
  void Send(const QByteArray& bytes) {
    udp.SendBuffer(bytes.constData(), static_cast<int>(bytes.size()) - 1,
                   static_cast<int>(bytes.size()));
  }
  TNMUDP udp;
  std::vector<Arrived> arrived;
};

// A plain socket sending from a loopback address of its own (127.0.0.2,
// 127.0.0.3...), so that the endpoint sees distinct senders.
class Sender : public UdpSocket {
public:
  explicit Sender(const char* from) : UdpSocket({.address = from, .port = 0}) {}
  void Send(int port, const QByteArray& bytes) { SendTo("127.0.0.1", port, bytes); }
};

// Waits without running the event loop, so that nothing is drained.
bool WaitWithoutDraining(const std::function<bool()>& done) {
  for (int i = 0; i < 500 && !done(); ++i)
    QThread::msleep(10);
  return done();
}

// A cost that makes the reader slower than any sender.
std::size_t SlowCost(std::string_view payload, Cut& /*cut*/) {
  std::this_thread::sleep_for(std::chrono::microseconds(300));
  return payload.size();
}

std::size_t MegabyteCost(std::string_view /*payload*/, Cut& /*cut*/) { return 1 << 20; }

// The id of this process's thread named `name`, 0 when there is none.
pid_t ThreadNamed(const char* name) {
  for (const QString& task : QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    QFile comm("/proc/self/task/" + task + "/comm");
    if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name) return task.toInt();
  }
  return 0;
}

} // namespace

class TestUdp : public QObject {
  Q_OBJECT

private slots:
  void bothEndpointsOnOnePortReceiveABroadcast() {
    Endpoint a(47101);
    Endpoint b(47101);
    a.Send(QByteArray("Ana a dit :Salut\0", 17));
    QTRY_COMPARE(a.arrived.size(), 1u);
    QTRY_COMPARE(b.arrived.size(), 1u);
    for (const Endpoint* e : {&a, &b}) {
      QCOMPARE(e->arrived[0].bytes, QByteArray("Ana a dit :Salut\0", 17));
      QCOMPARE(e->arrived[0].announced, 17);
      QCOMPARE(e->arrived[0].fromIp, QString("127.0.0.1"));
    }
  }

  void exactSizes_data() {
    QTest::addColumn<int>("size");
    QTest::newRow("0 bytes") << 0;
    QTest::newRow("1 byte") << 1;
    QTest::newRow("65507 bytes, the largest") << 65507;
  }
  void exactSizes() {
    QFETCH(int, size);
    Endpoint sender(47102);
    Endpoint receiver(47102);
    QByteArray payload(size, '\0');
    for (int i = 0; i < size; ++i)
      payload[i] = static_cast<char>(i * 7 + 1);
    sender.Send(payload);
    QTRY_COMPARE(receiver.arrived.size(), 1u);
    QCOMPARE(receiver.arrived[0].announced, size);
    QCOMPARE(receiver.arrived[0].bytes, payload);
  }

  void refusedSendsRaiseAndSendNothing_data() {
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("65508 bytes") << 65508 << 65508 << kBroadcast << "65507";
    QTest::newRow("longer than the buffer") << 10 << 11 << kBroadcast << "10";
    QTest::newRow("negative length") << 10 << -1 << kBroadcast << "-1";
    QTest::newRow("no such address") << 5 << 5 << "pas.une.adresse"
                                     << "pas.une.adresse:47103";
  }
  void refusedSendsRaiseAndSendNothing() {
    QFETCH(int, bufferSize);
    QFETCH(int, length);
    QFETCH(QString, host);
    QFETCH(QString, mentions);
    Endpoint sender(47103, host.toStdString());
    Endpoint listener(47103);
    const QByteArray buffer(bufferSize, 'x');
    try {
      sender.udp.SendBuffer(buffer.constData(), bufferSize - 1, length);
      QFAIL("no exception");
    } catch (const Exception& e) {
      QVERIFY2(QString::fromStdString(e.Message()).contains(mentions), e.what());
    }
    QTest::qWait(100);
    QCOMPARE(listener.arrived.size(), 0u);
  }

  void burstArrivesCompleteAndInOrder() {
    Endpoint sender(47104);
    Endpoint receiver(47104);
    constexpr int kCount = 1000;
    for (int i = 0; i < kCount; ++i)
      sender.Send(QByteArray::number(i));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.arrived.size(), std::size_t{kCount}, 10000);
    for (int i = 0; i < kCount; ++i)
      QCOMPARE(receiver.arrived[std::size_t(i)].bytes, QByteArray::number(i));
    QCOMPARE(receiver.udp.Dropped(), 0u);
  }

  // One pass of the event loop handles a bounded amount, whatever the
  // datagrams hold: input and painting get through between passes.
  void aPassHandlesABoundedAmount() {
    Endpoint receiver(47110);
    Sender sender("127.0.0.2");
    QVERIFY(sender.ok());
    constexpr std::size_t kCount = 40;
    for (std::size_t i = 0; i < kCount; ++i)
      sender.Send(47110, QByteArray(60'000, 'x'));
    QVERIFY(WaitWithoutDraining([&] { return receiver.udp.Queued() == kCount; }));
    QCoreApplication::processEvents();
    QVERIFY2(!receiver.arrived.empty() && receiver.arrived.size() <= 5,
             qPrintable(QString::number(receiver.arrived.size())));
    QTRY_COMPARE(receiver.arrived.size(), kCount);
  }

  // What a sender is charged is what its datagrams will cost once shown,
  // not their size on the wire.
  void allowanceChargesTheCost() {
    TNMUDP::Limits limits;
    limits.allowance.perSender.byteBurst = 16 << 20;
    Endpoint receiver(47111, kBroadcast, limits, MegabyteCost);
    Sender sender("127.0.0.2");
    QVERIFY(sender.ok());
    for (int i = 0; i < 30; ++i)
      sender.Send(47111, "1 a dit :x");
    QTRY_COMPARE(receiver.arrived.size() + receiver.udp.Limited(), std::size_t{30});
    QCOMPARE(receiver.arrived.size(), std::size_t{16});
  }

  // The reader sees the stop after every batch: an endpoint goes at once
  // even while a flood keeps its socket full.
  void goesPromptlyDuringAFlood() {
    std::atomic<bool> flooding{true};
    auto receiver = std::make_unique<Endpoint>(47112, kBroadcast, TNMUDP::Limits{}, SlowCost);
    std::thread flood([&] {
      Sender flooder("127.0.0.2");
      QElapsedTimer sending;
      sending.start();
      // Three seconds at most, so that a reader that misses the stop
      // fails the test rather than hanging it.
      while (flooding && sending.elapsed() < 3000)
        flooder.Send(47112, "f");
    });
    QThread::msleep(300); // the socket's buffer fills behind the slow reader
    QElapsedTimer clock;
    clock.start();
    receiver.reset();
    const qint64 took = clock.elapsed();
    flooding = false;
    flood.join();
    QVERIFY2(took < 1000, qPrintable(QString::number(took)));
  }

  // The reader has the window's share of a core: at a lower one, a flood
  // on a busy machine fills the socket's queue while it waits for a core,
  // and a neighbour's datagrams are lost there.
  void theReaderHasTheWindowsShareOfACore() {
    const Endpoint receiver(47113);
    pid_t reader = 0;
    QTRY_VERIFY((reader = ThreadNamed(TNMUDP::kReaderName)) != 0);
    errno = 0;
    QCOMPARE(getpriority(PRIO_PROCESS, static_cast<id_t>(reader)),
             getpriority(PRIO_PROCESS, static_cast<id_t>(gettid())));
    QCOMPARE(errno, 0);
    const int policy = sched_getscheduler(reader);
    QVERIFY2(policy == SCHED_OTHER || policy == SCHED_BATCH, qPrintable(QString::number(policy)));
  }

  void readBufferNeverOverflows() {
    Endpoint sender(47105);
    TNMUDP receiver(nullptr, "receiver", {47105, 47105, kBroadcast, 1});
    std::vector<int> reads;
    char canary[8] = {};
    receiver.OnDataReceived = [&](TComponent*, int, AnsiString, int) {
      char buffer[4 + 8];
      std::memset(buffer, '#', sizeof buffer);
      int got = -1;
      receiver.ReadBuffer(buffer, 3, got); // room for 4 bytes
      reads.push_back(got);
      std::memcpy(canary, buffer + 4, sizeof canary);
      receiver.ReadBuffer(buffer, 3, got); // a second read gets nothing
      reads.push_back(got);
    };
    sender.Send("0123456789");
    QTRY_COMPARE(reads.size(), 2u);
    QCOMPARE(reads, (std::vector<int>{4, 0}));
    QCOMPARE(QByteArray(canary, 8), QByteArray(8, '#'));

    char outside[4] = {'a', 'b', 'c', 'd'};
    int got = -1;
    receiver.ReadBuffer(outside, 3, got);
    QCOMPARE(got, 0);
    QCOMPARE(QByteArray(outside, 4), QByteArray("abcd"));
  }

  void aThrowingHandlerDoesNotStopDelivery() {
    Endpoint sender(47106);
    TNMUDP receiver(nullptr, "receiver", {47106, 47106, kBroadcast, 1});
    int calls = 0;
    receiver.OnDataReceived = [&](TComponent*, int, AnsiString, int) {
      ++calls;
      throw Exception("échec volontaire");
    };
    sender.Send("un");
    sender.Send("deux");
    QTRY_COMPARE(calls, 2);
  }

  // A handler that runs a nested event loop (as a modal error box does) sees
  // the later datagrams handled inside it, in order, and still reads its own.
  void nestedLoopsKeepEachHandlersDatagram() {
    Endpoint sender(47108);
    TNMUDP receiver(nullptr, "receiver", {47108, 47108, kBroadcast, 1});
    QStringList events;
    receiver.OnDataReceived = [&](TComponent*, int size, AnsiString, int) {
      std::vector<char> buffer(static_cast<std::size_t>(size));
      const bool first = events.isEmpty();
      events << "start";
      if (first) {
        QEventLoop nested;
        QTimer::singleShot(300, &nested, &QEventLoop::quit);
        nested.exec();
      }
      int got = 0;
      receiver.ReadBuffer(buffer.data(), size - 1, got);
      events << QString::fromLatin1(buffer.data(), got);
    };
    sender.Send("un");
    sender.Send("deux");
    QTRY_COMPARE(events.size(), 4);
    QCOMPARE(events, (QStringList{"start", "start", "deux", "un"}));
  }

  void aPortHeldWithoutSharingRaises() {
    const UdpSocket holder({.port = 47107});
    QVERIFY2(holder.ok(), holder.Failure().c_str());
    try {
      Endpoint blocked(47107);
      QFAIL("no exception");
    } catch (const Exception& e) {
      const QString message = QString::fromStdString(e.Message());
      QVERIFY2(message.contains("47107") && message.contains("adresse déjà utilisée"), e.what());
    }
  }
};

QTEST_GUILESS_MAIN(TestUdp)
#include "test_udp.moc"
