// Hostile datagrams against a running window: whatever arrives on the port,
// the window shows exactly what the rules give, raises no error box, and
// still shows the next valid message. A flood from another process leaves
// memory bounded and the window answering.
#include "Support.h"

#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QtTest>

#include <fstream>
#include <random>

namespace {

QByteArray Bytes(const char* bytes, int size) { return {bytes, size}; }

// The bound on resident memory during a flood: the queue's limit, the
// history of five seconds of messages and the program itself fit well
// below it. AddressSanitizer's shadow memory and quarantine need more.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryBound = 1'000'000'000;
#else
constexpr long kMemoryBound = 200'000'000;
#endif

// Windows-1252 for 0x80-0x9F, written out by hand; U+FFFD where it has none.
const char16_t kHighControls[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

QString Windows1252(const QByteArray& bytes) {
  QString text;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += b >= 0x80 && b < 0xA0 ? QChar(kHighControls[b - 0x80]) : QChar(b);
  }
  return text;
}

long Rss() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long kb = 0;
  while (status >> key)
    if (key == "VmRSS:") status >> kb;
  return kb * 1024;
}

} // namespace

class TestHostile : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> form;
  std::unique_ptr<UdpSniffer> wire;

  QStringList History() const { return form->RichEdit1->Lines->ToStringList(); }

  QStringList LastTwoLines() const {
    const EditModel& log = form->Component<TLogRichEdit>("RichEdit1").Log()->Model();
    return {log.Line(log.LineCount() - 2), log.Line(log.LineCount() - 1)};
  }

  // Sends a valid message and waits until it shows: all that came before
  // has been handled by then.
  void Sync() {
    wire->Send(Bytes("Sync a dit :ok\0", 15));
    QTRY_COMPARE_WITH_TIMEOUT(LastTwoLines(), (QStringList{"Sync a dit :", "ok"}), 60000);
  }

private slots:
  void init() {
    wire = std::make_unique<UdpSniffer>();
    form = std::make_unique<TForm1>(nullptr);
    form->Show();
    QVERIFY(QTest::qWaitForWindowExposed(form->Window()));
  }
  void cleanup() {
    form.reset();
    wire.reset();
  }

  void hostileDatagrams_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("shown"); // lines added to the history

    QByteArray everyByte("A a dit :");
    for (int b = 1; b < 256; ++b)
      everyByte += char(b);
    QByteArray rest;
    for (int b = 0x0E; b < 256; ++b)
      rest += char(b);

    QByteArray highControls("A a dit :");
    for (int b = 0x80; b < 0xA0; ++b)
      highControls += char(b);

    QByteArray largest("B a dit :");
    largest += QByteArray(65507 - largest.size(), 'y');

    QByteArray manyLines("C a dit :");
    for (int i = 0; i < 10000; ++i)
      manyLines += "x\r\n";
    QStringList manyShown{"C a dit :"};
    for (int i = 0; i < 10000; ++i)
      manyShown << "x";
    manyShown << "";

    QTest::newRow("0 bytes") << QByteArray() << QStringList{};
    QTest::newRow("1 byte") << Bytes("\0", 1) << QStringList{};
    QTest::newRow("separator only") << QByteArray(" a dit :") << QStringList{" a dit :", ""};
    QTest::newRow("no separator") << Bytes("Ana dit :Salut\0", 15) << QStringList{};
    QTest::newRow("no zero byte") << QByteArray("Ana a dit :Salut")
                                  << QStringList{"Ana a dit :", "Salut"};
    QTest::newRow("65,507 bytes") << largest << QStringList{"B a dit :", QString(65507 - 9, 'y')};
    QTest::newRow("every byte 0x01-0xFF")
        << everyByte
        << QStringList{"A a dit :", Windows1252(QByteArray("\x01\x02\x03\x04\x05\x06\x07\x08\x09")),
                       Windows1252(QByteArray("\x0B\x0C")), Windows1252(rest)};
    QTest::newRow("bytes 0x80-0x9F")
        << highControls << QStringList{"A a dit :", Windows1252(highControls.mid(9))};
    QTest::newRow("embedded zero bytes")
        << Bytes("Z\0e a dit :vu\0cach\xE9\0", 20)
        << QStringList{QString::fromUtf8("Z\uFFFDe a dit :"), "vu"};
    QTest::newRow("HTML") << QByteArray(
                                 "<b>X</b> a dit :<img src=x onerror=alert(1)><a href=\"y\">z</a>")
                          << QStringList{"<b>X</b> a dit :",
                                         "<img src=x onerror=alert(1)><a href=\"y\">z</a>"};
    QTest::newRow("RTF") << QByteArray("{\\rtf1 a dit :{\\rtf1\\ansi\\b gras\\b0}\\par")
                         << QStringList{"{\\rtf1 a dit :", "{\\rtf1\\ansi\\b gras\\b0}\\par"};
    QTest::newRow("10,000 CR LF lines") << manyLines << manyShown;
  }
  void hostileDatagrams() {
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, shown);
    ErrorBoxWatcher boxes;
    wire->Send(payload);
    Sync();
    QCOMPARE(History().mid(1, History().size() - 3), shown);
    QVERIFY(boxes.texts.isEmpty());
  }

  void randomBytes() {
    ErrorBoxWatcher boxes;
    std::mt19937 random(2026);
    for (int i = 0; i < 300; ++i) {
      QByteArray payload(static_cast<int>(random() % 200), '\0');
      for (char& c : payload)
        c = static_cast<char>(random());
      if (i % 3 == 0)
        payload.insert(static_cast<qsizetype>(random() % static_cast<unsigned>(payload.size() + 1)),
                       " a dit :");
      wire->Send(payload);
    }
    Sync();
    QVERIFY(boxes.texts.isEmpty());
    // Every datagram added no lines or a header line ending with the separator.
    QVERIFY(form->RichEdit1->Lines->Count() >= 3);
  }

  // Another process floods the port at full speed: memory stays bounded, the
  // window takes typing throughout, and a message after the flood shows.
  void flood() {
    const QString tool = QCoreApplication::applicationDirPath() + "/udp_tool";
    QProcess flooder;
    flooder.start(tool, {"flood", "127.255.255.255", "2000", "5"});
    QVERIFY(flooder.waitForStarted());
    long peak = 0;
    int typed = 0;
    QLineEdit* nickname = form->Edit2->LineEdit();
    nickname->setFocus();
    while (flooder.state() == QProcess::Running) {
      QTest::keyClick(nickname, Qt::Key_A);
      ++typed;
      QTRY_COMPARE(nickname->text().size(), typed); // the window answers
      QTest::qWait(100);
      peak = std::max(peak, Rss());
    }
    QCOMPARE(flooder.exitCode(), 0);
    qInfo("flood: %s datagrams sent, peak resident memory %.1f MB, %d keys typed",
          flooder.readAllStandardOutput().trimmed().constData(), double(peak) / 1e6, typed);
    QVERIFY2(peak < kMemoryBound, "resident memory above the bound");
    QVERIFY(typed >= 10);
    // The flooder's own message after the flood is turned away while the
    // queue is full of its datagrams (the heaviest sender's newest gives
    // way): it is sent once what the queue holds has been shown.
    // What the kernel's buffer still holds of the flood is read after it
    // (turned away, or queued and shown) before anything sent later: done
    // when nothing is queued and the count turned away stood still a second.
    std::uint64_t before = ~std::uint64_t{0};
    for (int second = 0; second < 120; ++second) {
      if (form->NMUDP1->Queued() == 0 && form->NMUDP1->Limited() == before) break;
      before = form->NMUDP1->Limited();
      QTest::qWait(1000);
    }
    QCOMPARE(form->NMUDP1->Queued(), std::size_t{0});
    Sync();
    // The user was told, once, beside the window, with the count kept up to
    // date: a second after the flood it is all that was turned away.
    const auto notices = form->Window()->findChildren<QMessageBox*>(QStringLiteral("TurnedAway"));
    QCOMPARE(notices.size(), 1);
    QVERIFY(!notices.front()->isModal());
    QVERIFY(form->NMUDP1->Limited() > 0);
    const QString count = QLocale(QLocale::French).toString(qulonglong(form->NMUDP1->Limited()));
    QTRY_COMPARE(notices.front()->text().section(QLatin1Char('\n'), 0, 0),
                 "Trafic anormal sur le réseau : " + count + " messages ignorés.");
  }

  // Messages at a chat's pace are never turned away, and nothing is said.
  void noNoticeAtAChatsPace() {
    for (int i = 0; i < 20; ++i) {
      wire->Send(Bytes("Ana a dit :Salut\0", 17));
      QTest::qWait(50);
    }
    Sync();
    QCOMPARE(form->NMUDP1->Limited(), std::uint64_t{0});
    QVERIFY(form->Window()->findChild<QMessageBox*>(QStringLiteral("TurnedAway")) == nullptr);
  }
};

QTEST_MAIN(TestHostile)
#include "test_hostile.moc"
