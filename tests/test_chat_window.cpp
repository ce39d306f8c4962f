// Sending and receiving through real windows on loopback: two windows in
// this process share the chat's port, and a plain socket watches the wire.
#include "Support.h"

#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <algorithm>

namespace {

QByteArray Wire(const char* bytes, int size) { return {bytes, size}; }

} // namespace

class TestChatWindow : public QObject {
  Q_OBJECT

  std::unique_ptr<TForm1> a; // the sender
  std::unique_ptr<TForm1> b;
  std::unique_ptr<UdpSniffer> wire;

  void Type(const QString& nickname, const QString& message) {
    a->Edit2->LineEdit()->setText(nickname);
    a->Component<TPlainRichEdit>("RichEdit2").TextEdit()->setPlainText(message);
  }
  void Send() { QTest::mouseClick(a->Button1->Widget(), Qt::LeftButton); }

private slots:
  void init() {
    wire = std::make_unique<UdpSniffer>();
    QVERIFY(wire->ok());
    a = std::make_unique<TForm1>(nullptr);
    b = std::make_unique<TForm1>(nullptr);
    a->Show();
    QVERIFY(QTest::qWaitForWindowExposed(a->Window()));
  }
  void cleanup() {
    a.reset();
    b.reset();
    wire.reset();
  }

  void messagesGoOutExactlyAndShowEverywhere_data() {
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("datagram");
    QTest::addColumn<QStringList>("history");
    QTest::newRow("Ana/Salut") << "Ana"
                               << "Salut" << Wire("Ana a dit :Salut\0", 17)
                               << QStringList{"", "Ana a dit :", "Salut"};
    QTest::newRow("both boxes empty")
        << ""
        << "" << Wire(" a dit :\0", 9) << QStringList{"", " a dit :", ""};
    QTest::newRow("two-line message") << "Ana"
                                      << "un\ndeux" << Wire("Ana a dit :un\r\ndeux\0", 20)
                                      << QStringList{"", "Ana a dit :", "un", "deux"};
    QTest::newRow("accents in Windows-1252")
        << QString::fromUtf8("Élodie") << QString::fromUtf8("Ça va très bien, merci !")
        << Wire("\xC9lodie a dit :\xC7"
                "a va tr\xE8s bien, merci !\0",
                39)
        << QStringList{"", QString::fromUtf8("Élodie a dit :"),
                       QString::fromUtf8("Ça va très bien, merci !")};
    QTest::newRow("markup shows as typed")
        << "<i>Bob</i>"
        << "<b>gras</b> {\\rtf1\\b x} <a href=\"http://x\">lien</a>"
        << Wire("<i>Bob</i> a dit :<b>gras</b> {\\rtf1\\b x} <a href=\"http://x\">lien</a>\0", 70)
        << QStringList{
               "", "<i>Bob</i> a dit :", "<b>gras</b> {\\rtf1\\b x} <a href=\"http://x\">lien</a>"};
  }
  void messagesGoOutExactlyAndShowEverywhere() {
    QFETCH(QString, nickname);
    QFETCH(QString, message);
    QFETCH(QByteArray, datagram);
    QFETCH(QStringList, history);
    Type(nickname, message);
    Send();
    QCOMPARE(wire->Receive(), datagram);
    QTRY_COMPARE(a->RichEdit1->Lines->ToStringList(), history);
    QTRY_COMPARE(b->RichEdit1->Lines->ToStringList(), history);
    // The boxes keep what was sent.
    QCOMPARE(a->Edit2->LineEdit()->text(), nickname);
    QCOMPARE(a->Component<TPlainRichEdit>("RichEdit2").TextEdit()->toPlainText(), message);
  }

  void aMessageTypedOverTwoLinesCarriesCrLf() {
    a->Edit2->LineEdit()->setText("Ana");
    QPlainTextEdit* box = a->Component<TPlainRichEdit>("RichEdit2").TextEdit();
    box->setFocus();
    QTest::keyClicks(box, "un");
    QTest::keyClick(box, Qt::Key_Return); // a line break, not a send
    QTest::keyClicks(box, "deux");
    QVERIFY(!wire->Receive(50));
    Send();
    QCOMPARE(wire->Receive(), Wire("Ana a dit :un\r\ndeux\0", 20));
  }

  void twoClicksSendTwoIdenticalDatagrams() {
    Type("Ana", "encore");
    Send();
    Send();
    const auto first = wire->Receive();
    const auto second = wire->Receive();
    QVERIFY(first && second);
    QCOMPARE(*first, Wire("Ana a dit :encore\0", 18));
    QCOMPARE(*second, *first);
    QTRY_COMPARE(b->RichEdit1->Lines->ToStringList(),
                 (QStringList{"", "Ana a dit :", "encore", "Ana a dit :", "encore"}));
  }

  void theSenderSeesItsMessageOnlyWhenItComesBack() {
    Type("Ana", "retour");
    a->Button1->Button()->click(); // no event processed after the click
    QCOMPARE(a->RichEdit1->Lines->ToStringList(), QStringList{""});
    QTRY_COMPARE(a->RichEdit1->Lines->ToStringList(), (QStringList{"", "Ana a dit :", "retour"}));
  }

  // Payloads that are no chat datagram are dropped silently; the next valid
  // one shows as usual.
  void datagramsWithoutSeparatorAreDropped_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("0 bytes") << QByteArray();
    QTest::newRow("1 zero byte") << Wire("\0", 1);
    QTest::newRow("text without separator") << Wire("bonjour\0", 8);
  }
  void datagramsWithoutSeparatorAreDropped() {
    QFETCH(QByteArray, payload);
    ErrorBoxWatcher boxes;
    wire->Send(payload);
    wire->Send(Wire("Bob a dit :ok\0", 14));
    QTRY_COMPARE(b->RichEdit1->Lines->ToStringList(), (QStringList{"", "Bob a dit :", "ok"}));
    QTRY_COMPARE(a->RichEdit1->Lines->ToStringList(), (QStringList{"", "Bob a dit :", "ok"}));
    QVERIFY(boxes.texts.isEmpty());
  }

  void receivedTextFollowsTheRules_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<QStringList>("history");
    QTest::newRow("bytes after the zero byte are hidden")
        << Wire("A a dit :vu\0cach\xE9", 17) << QStringList{"", "A a dit :", "vu"};
    QTest::newRow("no zero byte") << QByteArray("A a dit :fin")
                                  << QStringList{"", "A a dit :", "fin"};
    QTest::newRow("separator in the message")
        << Wire("A a dit :B a dit :C\0", 20) << QStringList{"", "A a dit :", "B a dit :C"};
    QTest::newRow("undefined byte")
        << Wire("A a dit :\x81\0", 11) << QStringList{"", "A a dit :", QString::fromUtf8("�")};
  }
  void receivedTextFollowsTheRules() {
    QFETCH(QByteArray, payload);
    QFETCH(QStringList, history);
    wire->Send(payload);
    QTRY_COMPARE(b->RichEdit1->Lines->ToStringList(), history);
  }

  // Refused sends: an error box says why, nothing leaves, the boxes keep
  // their text and the window goes on.
  void refusedSendsExplainAndSendNothing_data() {
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("mentions");
    QTest::newRow("nickname holds the separator") << "X a dit :Y"
                                                  << "coucou" << QStringList{"pseudo", "a dit :"};
    QTest::newRow("too large") << "Ana" << QString(65500, 'x')
                               << QStringList{"65512 octets", "65507"};
  }
  void refusedSendsExplainAndSendNothing() {
    QFETCH(QString, nickname);
    QFETCH(QString, message);
    QFETCH(QStringList, mentions);
    ErrorBoxWatcher boxes;
    Type(nickname, message);
    Send();
    QTRY_COMPARE(boxes.texts.size(), 1);
    for (const QString& part : mentions)
      QVERIFY2(boxes.texts[0].contains(part), qPrintable(boxes.texts[0]));
    QVERIFY(!wire->Receive(100));
    QCOMPARE(a->Edit2->LineEdit()->text(), nickname);
    QCOMPARE(a->Component<TPlainRichEdit>("RichEdit2").TextEdit()->toPlainText(), message);
    // The window goes on: a fixed nickname and a short message go out.
    Type("Ana", "ok");
    Send();
    QCOMPARE(wire->Receive(), Wire("Ana a dit :ok\0", 14));
  }

  // Whatever the boxes hold goes out whole, up to the largest datagram:
  // neither box has a length limit of its own.
  void largeTextGoesThroughWhole_data() {
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("message");
    QTest::newRow("the largest message") << "Ana" << QString(65507 - 12, 'x');
    QTest::newRow("a nickname of 40,000 characters") << QString(40000, 'n') << "salut";
    QTest::newRow("the largest nickname") << QString(65507 - 9, 'n') << "";
  }
  void largeTextGoesThroughWhole() {
    QFETCH(QString, nickname);
    QFETCH(QString, message);
    Type(nickname, message);
    Send();
    const auto datagram = wire->Receive();
    QVERIFY(datagram);
    QCOMPARE(datagram->size(), nickname.size() + 8 + message.size() + 1);
    QVERIFY(datagram->startsWith(nickname.toLatin1() + " a dit :"));
    QTRY_COMPARE(b->RichEdit1->Lines->ToStringList(),
                 (QStringList{"", nickname + " a dit :", message}));
  }

  // The window's allowances let its history last a working day: 8 hours of
  // the flood's ceiling cost less than the history's budget, in bytes and in
  // lines of nothing (8 bytes each).
  void floodCeilingLeavesTheHistoryAWorkingDay() {
    const Allowance::Bound ceiling = Allowance::Ceiling(TNMUDP::Limits{}.allowance);
    const EditModel& model = b->Component<TLogRichEdit>("RichEdit1").Log()->Model();
    const double budget = std::min<double>(double(model.Budget()), double(model.Capacity()) * 8.0);
    QVERIFY(ceiling.byteBurst + ceiling.bytesPerSecond * 8 * 3600 < budget);
  }
};

QTEST_MAIN(TestChatWindow)
#include "test_chat_window.moc"
