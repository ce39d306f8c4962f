// Chat datagram composition and splitting, wire text conversion and the
// cutting of text into history lines. No widgets, no network.
#include <chat/Datagram.h>
#include <text/Codec.h>
#include <text/TextLines.h>

#include <QtTest>

using namespace std::string_literals;

namespace {

QByteArray Bytes(const std::vector<char>& v) {
  return {v.data(), static_cast<qsizetype>(v.size())};
}
QByteArray Bytes(std::string_view s) { return {s.data(), static_cast<qsizetype>(s.size())}; }
std::string Utf8(const char* s) { return s; }
std::string_view View(const QByteArray& b) {
  return {b.constData(), static_cast<std::size_t>(b.size())};
}

} // namespace

class TestChat : public QObject {
  Q_OBJECT

private slots:
  // Text as the boxes give it (UTF-8), through the wire codec, into a datagram.
  void compose_data() {
    QTest::addColumn<QString>("nickname");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("Ana/Salut") << "Ana"
                               << "Salut" << QByteArray("Ana a dit :Salut\0", 17);
    QTest::newRow("both empty") << ""
                                << "" << QByteArray(" a dit :\0", 9);
    QTest::newRow("empty nickname") << ""
                                    << "Salut" << QByteArray(" a dit :Salut\0", 14);
    QTest::newRow("empty message") << "Ana"
                                   << "" << QByteArray("Ana a dit :\0", 12);
    QTest::newRow("message holds the separator")
        << "Ana"
        << "il a dit : non" << QByteArray("Ana a dit :il a dit : non\0", 26);
    QTest::newRow("two lines become CR LF")
        << "Ana"
        << "un\ndeux" << QByteArray("Ana a dit :un\r\ndeux\0", 20);
    QTest::newRow("paragraph separator becomes CR LF")
        << "Ana" << QString("un") + QChar(0x2029) + "deux"
        << QByteArray("Ana a dit :un\r\ndeux\0", 20);
    QTest::newRow("French accents in Windows-1252")
        << QString::fromUtf8("Élodie") << QString::fromUtf8("Ça va très bien, merci !")
        << QByteArray("\xC9lodie a dit :\xC7"
                      "a va tr\xE8s bien, merci !\0",
                      39);
    QTest::newRow("euro sign and typographic quotes")
        << "Zoé" << QString::fromUtf8("5 € «\u00A0oui\u00A0» l’été")
        << QByteArray("Zo\xE9 a dit :5 \x80 \xAB\xA0oui\xA0\xBB l\x92\xE9t\xE9\0", 29);
    QTest::newRow("characters outside the code page become ?")
        << QString::fromUtf8("Ωmega") << QString::fromUtf8("日本 🙂")
        << QByteArray("?mega a dit :?? ?\0", 18);
    QTest::newRow("a zero character never reaches the wire")
        << "Ana" << QString("a") + QChar(0) + "b" << QByteArray("Ana a dit :a?b\0", 15);
  }
  void compose() {
    QFETCH(QString, nickname);
    QFETCH(QString, message);
    QFETCH(QByteArray, wire);
    const text::Codec& codec = text::Codec::Wire();
    const std::string nick = codec.Encode(nickname.toStdString());
    const std::string text = codec.Encode(message.toStdString());
    QCOMPARE(Bytes(chat::ComposeDatagram(nick, text)), wire);
    QCOMPARE(chat::DatagramSize(nick.size(), text.size()), static_cast<std::size_t>(wire.size()));
  }

  void split_data() {
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("isChat");
    QTest::addColumn<QByteArray>("header");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("Ana/Salut") << QByteArray("Ana a dit :Salut\0", 17) << true
                               << QByteArray("Ana a dit :") << QByteArray("Salut");
    QTest::newRow("both empty") << QByteArray(" a dit :\0", 9) << true << QByteArray(" a dit :")
                                << QByteArray();
    QTest::newRow("message holds the separator")
        << QByteArray("Ana a dit :x a dit :y\0", 22) << true << QByteArray("Ana a dit :")
        << QByteArray("x a dit :y");
    QTest::newRow("CR LF kept") << QByteArray("A a dit :un\r\ndeux\0", 18) << true
                                << QByteArray("A a dit :") << QByteArray("un\r\ndeux");
    QTest::newRow("bytes after the zero byte are not used")
        << QByteArray("A a dit :vu\0cach\xE9\0", 18) << true << QByteArray("A a dit :")
        << QByteArray("vu");
    QTest::newRow("no zero byte: up to the end")
        << QByteArray("A a dit :fin") << true << QByteArray("A a dit :") << QByteArray("fin");
    QTest::newRow("zero bytes inside the nickname stay in the header")
        << QByteArray("A\0B a dit :m\0", 13) << true << QByteArray("A\0B a dit :", 11)
        << QByteArray("m");
    QTest::newRow("long nickname") << QByteArray(1000, 'n') + QByteArray(" a dit :m\0", 10) << true
                                   << QByteArray(1000, 'n') + " a dit :" << QByteArray("m");
    QTest::newRow("separator only, no zero byte")
        << QByteArray(" a dit :") << true << QByteArray(" a dit :") << QByteArray();
    QTest::newRow("0 bytes") << QByteArray() << false << QByteArray() << QByteArray();
    QTest::newRow("1 byte") << QByteArray("\0", 1) << false << QByteArray() << QByteArray();
    QTest::newRow("no separator") << QByteArray("bonjour\0", 8) << false << QByteArray()
                                  << QByteArray();
    QTest::newRow("separator cut short")
        << QByteArray("Ana a dit") << false << QByteArray() << QByteArray();
  }
  void split() {
    QFETCH(QByteArray, payload);
    QFETCH(bool, isChat);
    QFETCH(QByteArray, header);
    QFETCH(QByteArray, message);
    const auto parts = chat::Split(View(payload));
    QCOMPARE(parts.has_value(), isChat);
    if (!parts) return;
    QCOMPARE(Bytes(parts->header), header);
    QCOMPARE(Bytes(parts->message), message);
  }

  void decode_data() {
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<QString>("text");
    QTest::newRow("ASCII") << QByteArray("Salut") << "Salut";
    QTest::newRow("accents") << QByteArray("\xC9lodie \xE0 \xE9t\xE9")
                             << QString::fromUtf8("Élodie à été");
    QTest::newRow("0x80-0x9F defined")
        << QByteArray("\x80\x85\x92\x9C") << QString::fromUtf8("€…’œ");
    QTest::newRow("undefined bytes become U+FFFD") << QByteArray("a\x81"
                                                                 "b\x8D\x8F\x90\x9D"
                                                                 "c")
                                                   << QString::fromUtf8("a�b����c");
    QTest::newRow("zero byte becomes U+FFFD") << QByteArray("a\0b", 3) << QString::fromUtf8("a�b");
    QTest::newRow("empty") << QByteArray() << QString();
  }
  void decode() {
    QFETCH(QByteArray, wire);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(text::Codec::Wire().Decode(View(wire))), text);
  }

  // Every byte but zero decodes, and every defined one comes back unchanged.
  void everyByteRoundTrips() {
    const text::Codec& codec = text::Codec::Wire();
    for (int b = 1; b < 256; ++b) {
      const std::string byte(1, static_cast<char>(b));
      const std::string text = codec.Decode(byte);
      QVERIFY2(!text.empty(), qPrintable(QString::number(b, 16)));
      if (text == "\xEF\xBF\xBD") continue; // undefined in the code page
      if (b == '\r' || b == '\n') continue; // a lone break becomes CR LF
      QCOMPARE(Bytes(codec.Encode(text)), Bytes(byte));
    }
  }

  // Windows-1252's 0x80-0x9F one byte at a time, against its table written
  // out by hand, both ways: a round trip cannot see two characters that
  // trade places.
  void windows1252HighBytes() {
    static constexpr char16_t kTable[32] = {
        0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    const text::Codec codec("WINDOWS-1252");
    for (int b = 0x80; b < 0xA0; ++b) {
      const std::string byte(1, static_cast<char>(b));
      const QString character(QChar(kTable[b - 0x80]));
      QCOMPARE(QString::fromStdString(codec.Decode(byte)), character);
      if (character != QChar(0xFFFD))
        QCOMPARE(Bytes(codec.Encode(character.toStdString())), Bytes(byte));
    }
  }

  void encodeInvalidUtf8() {
    QCOMPARE(Bytes(text::Codec::Wire().Encode("a\xFF"
                                              "b\xC3")),
             QByteArray("a?b?"));
  }

  void unknownCodePageThrows() {
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, text::Codec("NO-SUCH-CODEPAGE-42"));
  }

  void otherCodePage() {
    const text::Codec latin9("ISO-8859-15");
    QCOMPARE(Bytes(latin9.Encode(Utf8("€"))), QByteArray("\xA4"));
    QCOMPARE(QString::fromStdString(latin9.Decode("\xA4")), QString::fromUtf8("€"));
  }

  void refusal_data() {
    QTest::addColumn<QByteArray>("nickname");
    QTest::addColumn<int>("messageSize");
    QTest::addColumn<QString>("mentions");
    QTest::newRow("ordinary") << QByteArray("Ana") << 5 << QString();
    QTest::newRow("largest datagram") << QByteArray("Ana") << 65507 - 12 << QString();
    QTest::newRow("one byte too many") << QByteArray("Ana") << 65507 - 11 << "65508 octets";
    QTest::newRow("nickname holds the separator") << QByteArray("X a dit :Y") << 1 << "pseudo";
  }
  void refusal() {
    QFETCH(QByteArray, nickname);
    QFETCH(int, messageSize);
    QFETCH(QString, mentions);
    const std::string message(static_cast<std::size_t>(messageSize), 'm');
    const auto why = chat::RefusalToSend(View(nickname), message);
    QCOMPARE(why.has_value(), !mentions.isEmpty());
    if (why) QVERIFY2(QString::fromStdString(*why).contains(mentions), why->c_str());
  }

  // The one rule for line breaks: the lines of a text, its first line (a
  // notification's) and its lines joined by a space (a screen reader's).
  void lines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("joined");
    QTest::newRow("empty text is one empty line") << "" << QStringList{""} << ""
                                                  << "";
    QTest::newRow("one line") << "Salut" << QStringList{"Salut"} << "Salut"
                              << "Salut";
    QTest::newRow("CR LF") << "un\r\ndeux" << QStringList{"un", "deux"} << "un"
                           << "un deux";
    QTest::newRow("CR and LF alone") << "a\rb\nc" << QStringList{"a", "b", "c"} << "a"
                                     << "a b c";
    QTest::newRow("LF CR is two breaks") << "a\n\rb" << QStringList{"a", "", "b"} << "a"
                                         << "a  b";
    QTest::newRow("trailing break") << "a\r\n"
                                    << QStringList{"a", ""} << "a"
                                    << "a ";
    QTest::newRow("breaks only") << "\r\n\r\n"
                                 << QStringList{"", "", ""} << ""
                                 << "  ";
    QTest::newRow("line and paragraph separators")
        << QString::fromUtf8("é\u2028è\u2029à") << QStringList{"é", "è", "à"} << "é"
        << "é è à";
  }
  void lines() {
    QFETCH(QString, text);
    QFETCH(QStringList, lines);
    QFETCH(QString, first);
    QFETCH(QString, joined);
    const std::string utf8 = text.toStdString();
    QStringList got;
    for (const auto line : text::SplitLines(utf8))
      got << QString::fromStdString(std::string(line));
    QCOMPARE(got, lines);
    QCOMPARE(QString::fromStdString(std::string(text::FirstLine(utf8))), first);
    QCOMPARE(QString::fromStdString(text::JoinLines(utf8, " ")), joined);
  }
};

QTEST_APPLESS_MAIN(TestChat)
#include "test_chat.moc"
