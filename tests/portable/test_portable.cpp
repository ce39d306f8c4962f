// The plain libraries alone, with no Qt and no framework: the chat
// datagram, the wire's code page, the allowances, the fair queue, the
// budget of a pass, the tally of floods, the system's reasons in French and
// the receiver over loopback. The same program runs on Linux (a ctest) and,
// built for Windows, under Wine (tests/wine_run.sh): what it checks is what
// both systems must do alike. The fuller suites are tests/test_chat.cpp and
// tests/test_flood.cpp (Linux, QtTest).
#include "Check.h"

#include <chat/Datagram.h>
#include <lanchat/BuildConfig.h>
#include <netcore/Allowance.h>
#include <netcore/FairQueue.h>
#include <netcore/FloodTally.h>
#include <netcore/PassBudget.h>
#include <netcore/Receiver.h>
#include <netcore/SystemReason.h>
#include <text/Codec.h>
#include <text/TextLines.h>
#include <text/Utf8.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <deque>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <winsock2.h>
#endif

using namespace std::chrono_literals;
using namespace std::string_literals;
using check::Row;

namespace {

std::string Wire(const std::vector<char>& datagram) { return {datagram.begin(), datagram.end()}; }

// ---- The chat datagram

void Compose() {
  struct Case {
    const char* name;
    std::string nickname; // UTF-8, as the boxes give it
    std::string message;
    std::string wire;
  };
  const Case cases[] = {
      {"Ana/Salut", "Ana", "Salut", "Ana a dit :Salut\0"s},
      {"both empty", "", "", " a dit :\0"s},
      {"message holds the separator", "Ana", "il a dit : non", "Ana a dit :il a dit : non\0"s},
      {"two lines become CR LF", "Ana", "un\ndeux", "Ana a dit :un\r\ndeux\0"s},
      {"paragraph separator becomes CR LF", "Ana", "un\u2029deux", "Ana a dit :un\r\ndeux\0"s},
      {"French accents in Windows-1252", "Élodie", "Ça va très bien, merci !",
       "\xC9lodie a dit :\xC7"
       "a va tr\xE8s bien, merci !\0"s},
      {"euro sign and typographic quotes", "Zoé", "5 € «\u00A0oui\u00A0» l’été",
       "Zo\xE9 a dit :5 \x80 \xAB\xA0oui\xA0\xBB l\x92\xE9t\xE9\0"s},
      {"characters outside the code page become ?", "Ωmega", "日本 🙂", "?mega a dit :?? ?\0"s},
      {"a zero character never reaches the wire", "Ana", "a\0b"s, "Ana a dit :a?b\0"s},
  };
  const text::Codec& codec = text::Codec::Wire();
  for (const Case& c : cases) {
    Row(c.name);
    const std::string nick = codec.Encode(c.nickname);
    const std::string text = codec.Encode(c.message);
    CHECK_EQ(Wire(chat::ComposeDatagram(nick, text)), c.wire);
    CHECK_EQ(chat::DatagramSize(nick.size(), text.size()), c.wire.size());
  }
}

void Split() {
  struct Case {
    const char* name;
    std::string payload;
    bool isChat;
    std::string header;
    std::string message;
  };
  const Case cases[] = {
      {"Ana/Salut", "Ana a dit :Salut\0"s, true, "Ana a dit :", "Salut"},
      {"both empty", " a dit :\0"s, true, " a dit :", ""},
      {"message holds the separator", "Ana a dit :x a dit :y\0"s, true,
       "Ana a dit :", "x a dit :y"},
      {"CR LF kept", "A a dit :un\r\ndeux\0"s, true, "A a dit :", "un\r\ndeux"},
      {"bytes after the zero byte are not used", "A a dit :vu\0cach\xE9\0"s, true,
       "A a dit :", "vu"},
      {"no zero byte: up to the end", "A a dit :fin", true, "A a dit :", "fin"},
      {"zero bytes inside the nickname stay in the header", "A\0B a dit :m\0"s, true,
       "A\0B a dit :"s, "m"},
      {"0 bytes", "", false, "", ""},
      {"1 byte", "\0"s, false, "", ""},
      {"no separator", "bonjour\0"s, false, "", ""},
      {"separator cut short", "Ana a dit", false, "", ""},
  };
  for (const Case& c : cases) {
    Row(c.name);
    const auto parts = chat::Split(c.payload);
    CHECK_EQ(parts.has_value(), c.isChat);
    if (!parts) continue;
    CHECK_EQ(parts->header, c.header);
    CHECK_EQ(parts->message, c.message);
  }
}

void Refusal() {
  struct Case {
    const char* name;
    std::string nickname;
    std::size_t messageSize;
    std::string mentions; // empty: may be sent
  };
  const Case cases[] = {
      {"ordinary", "Ana", 5, ""},
      {"largest datagram", "Ana", 65507 - 12, ""},
      {"one byte too many", "Ana", 65507 - 11, "65508 octets"},
      {"nickname holds the separator", "X a dit :Y", 1, "pseudo"},
  };
  for (const Case& c : cases) {
    Row(c.name);
    const auto why = chat::RefusalToSend(c.nickname, std::string(c.messageSize, 'm'));
    CHECK_EQ(why.has_value(), !c.mentions.empty());
    if (why) CHECK(why->find(c.mentions) != std::string::npos);
  }
}

// What a payload costs once shown: its text as the history stores it
// (UTF-8: 0x80 becomes three bytes), kLineBytes per line (8 on Linux, 50
// on Windows), never less than the payload.
void HistoryCost() {
  constexpr std::size_t kLine = lanchat::config::kLineBytes;
  struct Case {
    const char* name;
    std::string payload;
    std::size_t cost;
  };
  const Case cases[] = {
      {"Ana/Salut: 16 bytes of text, two lines", "Ana a dit :Salut\0"s, 16 + 2 * kLine},
      {"not a chat datagram: its size", "bonjour", 7},
      {"euro signs take three bytes", "A a dit :\x80\x80\0"s, 9 + 6 + 2 * kLine},
      {"each break starts a line", "A a dit :a\r\nb\rc\nd\0"s, 9 + 4 + 5 * kLine},
  };
  for (const Case& c : cases) {
    Row(c.name);
    CHECK_EQ(chat::HistoryCost(c.payload), c.cost);
    // Cut once on the reader thread, the cut handed on: the same parts and
    // the same cost from the offsets.
    const auto parts = chat::Split(c.payload);
    if (!parts) continue;
    CHECK_EQ(chat::HistoryCost(*parts, c.payload.size()), c.cost);
    const chat::CutOffsets offsets = chat::OffsetsOf(c.payload, *parts);
    const auto again = chat::SplitAt(c.payload, offsets.headerEnd, offsets.messageEnd);
    CHECK(again.has_value() && again->header == parts->header && again->message == parts->message);
  }
  Row("offsets that do not fit");
  CHECK(!chat::SplitAt("A a dit :x", 9, 11).has_value());
  CHECK(!chat::SplitAt("A a dit :x", 3, 10).has_value());
}

// ---- The wire's code page

// Windows-1252, every byte, against its table written out by hand; zero
// and the five undefined bytes decode to U+FFFD.
constexpr char32_t kHigh1252[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                    0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t Expected1252(unsigned byte) {
  if (byte == 0) return 0xFFFD;
  if (byte >= 0x80 && byte < 0xA0) return kHigh1252[byte - 0x80];
  return byte; // ASCII and Latin-1's upper half
}

void EveryByteOf1252() {
  const text::Codec codec("WINDOWS-1252");
  for (unsigned b = 0; b < 256; ++b) {
    char name[16];
    std::snprintf(name, sizeof name, "byte 0x%02X", b);
    Row(name);
    const std::string byte(1, static_cast<char>(b));
    std::string expected;
    text::AppendUtf8(Expected1252(b), expected);
    CHECK_EQ(codec.Decode(byte), expected);
    if (Expected1252(b) == 0xFFFD) {
      // Nothing encodes to an undefined byte.
      if (b != 0) CHECK_EQ(codec.Encode(expected), "?"s);
      continue;
    }
    // A lone break goes out as CR LF; every other byte comes back.
    CHECK_EQ(codec.Encode(expected), b == '\r' || b == '\n' ? "\r\n"s : byte);
  }
}

void CodecRows() {
  const text::Codec& codec = text::Codec::Wire();
  struct Case {
    const char* name;
    std::string utf8;
    std::string wire;
  };
  const Case encodes[] = {
      {"euro", "€", "\x80"},
      {"oe", "œŒ", "\x9C\x8C"},
      {"ellipsis", "…", "\x85"},
      {"no best fit: ω is not w", "ω", "?"},
      {"no best fit: Ł is not L", "Ł", "?"},
      {"CR LF", "a\r\nb", "a\r\nb"},
      {"CR alone", "a\rb", "a\r\nb"},
      {"LF alone", "a\nb", "a\r\nb"},
      {"line separator", "a\u2028b", "a\r\nb"},
      {"LF CR is two breaks", "a\n\rb", "a\r\n\r\nb"},
      {"invalid UTF-8",
       "a\xFF"
       "b\xC3",
       "a?b?"},
      {"a broken sequence takes what its lead announces", "\xC3(x", "?x"},
      {"overlong", "\xC1\x81", "??"},
      {"surrogate", "\xED\xA0\x80", "?"},
      {"U+FFFD itself", "\xEF\xBF\xBD", "?"},
  };
  for (const Case& c : encodes) {
    Row(std::string("encode ") + c.name);
    CHECK_EQ(codec.Encode(c.utf8), c.wire);
  }
  const Case decodes[] = {
      {"round trip € œ …", "€ œ …", "\x80 \x9C \x85"},
      {"undefined bytes", "a�b����c",
       "a\x81"
       "b\x8D\x8F\x90\x9D"
       "c"},
      {"zero byte", "a�b", "a\0b"s},
      {"empty", "", ""},
  };
  for (const Case& c : decodes) {
    Row(std::string("decode ") + c.name);
    CHECK_EQ(codec.Decode(c.wire), c.utf8);
  }

  Row("ISO-8859-15");
  const text::Codec latin9("ISO-8859-15");
  CHECK_EQ(latin9.Encode("€"), "\xA4"s);
  CHECK_EQ(latin9.Decode("\xA4"), "€"s);
  Row("an unknown code page throws");
  bool threw = false;
  try {
    const text::Codec unknown("NO-SUCH-CODEPAGE-42");
  } catch (const std::runtime_error&) {
    threw = true;
  }
  CHECK(threw);
}

void Lines() {
  Row("split");
  const auto lines = text::SplitLines("un\r\ndeux\rtrois\n");
  CHECK_EQ(lines.size(), std::size_t{4});
  if (lines.size() == 4) {
    CHECK_EQ(lines[0], std::string_view("un"));
    CHECK_EQ(lines[2], std::string_view("trois"));
    CHECK_EQ(lines[3], std::string_view(""));
  }
  Row("first line and joined");
  CHECK_EQ(text::FirstLine("é\u2028è"), std::string_view("é"));
  CHECK_EQ(text::JoinLines("a\r\nb\u2029c", " "), "a b c"s);
  Row("the one UTF-8 decoder");
  CHECK_EQ(std::uint32_t(text::DecodeUtf8At("é", 0).character), std::uint32_t{0xE9});
  CHECK_EQ(text::DecodeUtf8At("🙂", 0).length, std::size_t{4});
  CHECK_EQ(std::uint32_t(text::DecodeUtf8At("\xC3(", 0).character), std::uint32_t{0xFFFD});
  CHECK_EQ(text::DecodeUtf8At("\xC3(", 0).length, std::size_t{1});
}

// ---- The network's core

using Clock = Allowance::Clock;
const Clock::time_point kStart{};
std::uint32_t Address(std::uint32_t n) { return 0x0A000000U + n; }

// One address: its burst, then what the rate refills; another address
// keeps its own.
void PerSenderRate() {
  struct Case {
    const char* name;
    std::size_t cost;
    int burst;
    int perHalfSecond;
  };
  const Case cases[] = {
      {"messages", 10, 50, 50}, {"bytes", 1000, 50, 50}, {"bytes, costly", 5000, 10, 10}};
  for (const Case& c : cases) {
    Row(c.name);
    Allowance::Limits limits;
    limits.perSender = {100, 50, 100'000, 50'000};
    limits.shared = {1e9, 1e9, 1e12, 1e12};
    Allowance allowance(limits);
    const auto admitted = [&](std::uint32_t address, Clock::time_point at) {
      int count = 0;
      for (int i = 0; i < 300; ++i)
        count += allowance.Admit(address, c.cost, at) ? 1 : 0;
      return count;
    };
    CHECK_EQ(admitted(Address(1), kStart), c.burst);
    CHECK_EQ(admitted(Address(2), kStart), c.burst);
    CHECK_EQ(admitted(Address(1), kStart + 500ms), c.perHalfSecond);
  }
}

// A flood from many addresses is held under the one ceiling for all.
void OneCeilingForAll() {
  Allowance::Limits limits;
  limits.seed = 1;
  const Allowance::Bound ceiling = Allowance::Ceiling(limits);
  Allowance allowance(limits);
  double admitted = 0;
  constexpr int kSeconds = 60;
  for (int tick = 0; tick < kSeconds * 4; ++tick)
    for (std::uint32_t i = 0; i < 2000; ++i)
      if (allowance.Admit(Address(i), 616, kStart + tick * 250ms)) admitted += 616;
  CHECK(allowance.Flood());
  CHECK(admitted <= ceiling.byteBurst + ceiling.bytesPerSecond * kSeconds);
}

// The queue holds at most its bytes; a flood from one address does not
// crowd out a neighbour, who is served in turn.
void FairQueueBasics() {
  Row("bounded");
  {
    FairQueue queue({.bytes = 1 << 20, .senders = 256});
    for (int i = 0; i < 5000; ++i) {
      queue.Push(Datagram{std::string(1000, 'x'), Address(std::uint32_t(i % 7)), 2000, 1000});
      CHECK(queue.Bytes() <= std::size_t{1} << 20);
    }
    CHECK(queue.Count() > 0);
    CHECK_EQ(queue.Dropped(), std::uint64_t(5000) - queue.Count());
  }
  Row("a neighbour in turn with a flood");
  FairQueue queue({.bytes = 256 << 10, .senders = 64});
  const std::uint32_t neighbour = Address(0x00FFFFFF);
  for (int i = 0; i < 100'000; ++i) {
    queue.Push(Datagram{std::string(1000, 'f'), Address(1), 2000, 1000});
    if (i % 1000 == 0) queue.Push(Datagram{std::string(20, 'n'), neighbour, 2000, 20});
  }
  CHECK(queue.Dropped() > 0);
  int neighbours = 0;
  int position = 0;
  int lastNeighbour = -1;
  bool inTurn = true;
  while (const auto datagram = queue.Pop()) {
    if (datagram->address == neighbour) {
      ++neighbours;
      inTurn = inTurn && position - lastNeighbour <= 2 * 65;
      lastNeighbour = position;
    }
    ++position;
  }
  CHECK(inTurn);
  CHECK_EQ(neighbours, 100);
}

void PassBudgetRows() {
  struct Case {
    const char* name;
    std::size_t cost;
    int microseconds;
    int handled;
  };
  const Case cases[] = {{"short ones, quick", 30, 1, 8739},
                        {"short ones, slow", 30, 100, 100},
                        {"largest, 0x80 bytes", 196'521, 10, 2},
                        {"65,507 line breaks", 524'072, 30'000, 1}};
  for (const Case& c : cases) {
    Row(c.name);
    PassBudget budget(kStart);
    int count = 0;
    auto now = kStart;
    for (bool spent = false; !spent && count < 10'000; ++count) {
      now += std::chrono::microseconds(c.microseconds);
      spent = budget.Spend(c.cost, now);
    }
    CHECK_EQ(count, c.handled);
  }
}

void FloodTallyRows() {
  FloodTally tally;
  const int seconds[] = {0, 1, 100, 101};
  const std::uint64_t totals[] = {10, 20, 25, 40};
  const std::uint64_t floods[] = {1, 1, 2, 2};
  const std::uint64_t counts[] = {10, 20, 5, 20};
  for (int i = 0; i < 4; ++i) {
    const auto told = tally.Seen(totals[i], kStart + seconds[i] * 1s);
    CHECK_EQ(told.flood, floods[i]);
    CHECK_EQ(told.turnedAway, counts[i]);
  }
}

void SystemReasons() {
#ifdef _WIN32
  CHECK_EQ(SystemReason(WSAEADDRINUSE), "adresse déjà utilisée"s);
  CHECK_EQ(SystemReason(WSAENETUNREACH), "réseau injoignable"s);
  CHECK_EQ(SystemReason(WSAEMSGSIZE), "message trop long"s);
  // Any other: the number, and the system's words.
  const std::string other = SystemReason(ERROR_FILE_NOT_FOUND);
  CHECK(other.rfind("erreur système 2 (", 0) == 0);
#else
  CHECK_EQ(SystemReason(EADDRINUSE), "adresse déjà utilisée"s);
  CHECK_EQ(SystemReason(ENETUNREACH), "réseau injoignable"s);
  CHECK_EQ(SystemReason(EMSGSIZE), "message trop long"s);
  CHECK_EQ(SystemReason(EOWNERDEAD), "erreur système 130 (Owner died)"s);
#endif
}

// The receiver over loopback: a datagram it sends to its own port, to
// 127.0.0.1 and to the loopback's broadcast address, comes back through its
// reader thread and its queue, a drain asked for each time the queue fills
// from empty; the reader stops when the receiver goes.
void ReceiverOverLoopback() {
  constexpr int kPort = 47190;
  std::atomic<int> drains{0};
  Receiver receiver(
      kPort, {}, nullptr, [&] { ++drains; }, [] {});
  int asked = 0;
  for (const char* to : {"127.0.0.1", "127.255.255.255"}) {
    Row(to);
    const std::string payload = "Ana a dit :"s + to + '\0';
    const auto failed = receiver.SendTo(to, kPort, payload);
    CHECK(!failed.has_value());
    if (failed) std::printf("  %s\n", failed->c_str());
    ++asked;
    for (int i = 0; i < 500 && drains.load() < asked; ++i)
      std::this_thread::sleep_for(10ms);
    CHECK_EQ(drains.load(), asked);
    std::deque<Datagram> inHand;
    Receiver::Taken taken = Receiver::Taken::kBusy;
    for (int i = 0; i < 100 && taken == Receiver::Taken::kBusy; ++i)
      taken = receiver.Take(inHand, 16, 64 << 10);
    CHECK(taken == Receiver::Taken::kSome);
    CHECK_EQ(inHand.size(), std::size_t{1});
    if (!inHand.empty()) {
      CHECK_EQ(inHand.front().bytes, payload);
      CHECK_EQ(inHand.front().address, std::uint32_t{0x0100007F}); // 127.0.0.1, network order
      CHECK_EQ(inHand.front().port, std::uint16_t{kPort});
    }
    inHand.clear();
    CHECK(receiver.Take(inHand, 16, 64 << 10) == Receiver::Taken::kNone);
    CHECK_EQ(receiver.Queued(), std::size_t{0});
  }

  Row("not an address");
  const auto refused = receiver.SendTo("pas.une.adresse", kPort, "x");
  CHECK(refused.has_value() && *refused == "ce n'est pas une adresse IPv4");
}

} // namespace

int main() {
  return check::RunAll({
      {"compose", Compose},
      {"split", Split},
      {"refusal", Refusal},
      {"historyCost", HistoryCost},
      {"everyByteOf1252", EveryByteOf1252},
      {"codec", CodecRows},
      {"lines", Lines},
      {"perSenderRate", PerSenderRate},
      {"oneCeilingForAll", OneCeilingForAll},
      {"fairQueue", FairQueueBasics},
      {"passBudget", PassBudgetRows},
      {"floodTally", FloodTallyRows},
      {"systemReasons", SystemReasons},
      {"receiverOverLoopback", ReceiverOverLoopback},
  });
}
