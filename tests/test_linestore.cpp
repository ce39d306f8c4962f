// The history's line store against a plain vector of strings: random edits
// that cross chunk boundaries, ranges of lines inserted and erased (within a
// chunk, across chunks, whole chunks, the whole store), and the UTF-16 unit
// counts against QString over text of one- to four-byte characters.
#include <history/LineStore.h>

#include <QString>
#include <QtTest>
#include <text/Utf8Qt.h>

#include <random>

namespace {

using Lines = std::vector<std::string>;

std::ptrdiff_t Signed(std::size_t value) { return static_cast<std::ptrdiff_t>(value); }

std::size_t Utf16(const std::string& utf8) {
  return static_cast<std::size_t>(
      QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())).size());
}

// What the store should do, on a vector.
void InsertInto(Lines& model, std::size_t at, const Lines& lines) {
  at = std::min(at, model.size());
  model.insert(model.begin() + Signed(at), lines.begin(), lines.end());
}

void EraseFrom(Lines& model, std::size_t first, std::size_t count) {
  if (first >= model.size()) return;
  count = std::min(count, model.size() - first);
  model.erase(model.begin() + Signed(first), model.begin() + Signed(first + count));
  if (model.empty()) model.emplace_back();
}

std::vector<std::string_view> Views(const Lines& lines) { return {lines.begin(), lines.end()}; }

// Characters of one to four bytes in UTF-8 (1 or 2 UTF-16 units each).
const std::vector<std::string> kCharacters = {"a",
                                              "z",
                                              " ",
                                              "\xC3\xA9" /* é */,
                                              "\xD0\x96" /* Ж */,
                                              "\xE2\x82\xAC" /* € */,
                                              "\xE4\xB8\xAD" /* 中 */,
                                              "\xCC\x81" /* combining acute */,
                                              "\xF0\x9F\x98\x80" /* 😀 */,
                                              "\xF0\x9D\x84\x9E" /* 𝄞 */};

struct Generator {
  std::mt19937 random;
  bool unicode = false;
  std::string Text() {
    const std::size_t length = random() % 30;
    std::string text;
    if (!unicode) return std::string(length, static_cast<char>('a' + random() % 26));
    for (std::size_t i = 0; i < length; ++i)
      text += kCharacters[random() % kCharacters.size()];
    return text;
  }
  Lines Many(std::size_t count) {
    Lines lines;
    for (std::size_t i = 0; i < count; ++i)
      lines.push_back(Text());
    return lines;
  }
  std::size_t Below(std::size_t bound) { return bound == 0 ? 0 : random() % bound; }
};

} // namespace

class TestLineStore : public QObject {
  Q_OBJECT

  static void Compare(const LineStore& store, const Lines& model) {
    QCOMPARE(store.Count(), model.size());
    for (std::size_t i = 0; i < model.size(); ++i)
      QCOMPARE(std::string(store.Line(i)), model[i]);
  }

  // Units, UnitsBefore and LineAtUnit against QString's counts: every line
  // start, end and break, and some offsets inside lines.
  static void CompareUnits(const LineStore& store, const Lines& model, std::mt19937& random) {
    std::vector<std::size_t> starts; // units before each line
    std::size_t total = 0;
    for (std::size_t i = 0; i < model.size(); ++i) {
      if (i > 0) ++total; // the break before line i
      starts.push_back(total);
      QCOMPARE(text::Utf16Length(model[i]), Utf16(model[i]));
      total += Utf16(model[i]);
    }
    QCOMPARE(store.Units(), total);
    const std::size_t stride = std::max<std::size_t>(1, model.size() / 200);
    for (std::size_t i = random() % stride; i < model.size(); i += stride) {
      QCOMPARE(store.UnitsBefore(i), starts[i]);
      const std::size_t length = Utf16(model[i]);
      // The line's first unit, one inside it, its last unit and its break.
      for (const std::size_t at :
           {starts[i], starts[i] + (length == 0 ? 0 : random() % length), starts[i] + length}) {
        const auto [line, before] = store.LineAtUnit(at);
        QCOMPARE(line, i);
        QCOMPARE(before, starts[i]);
      }
    }
    // Past the end: the last line.
    const auto [line, before] = store.LineAtUnit(total + 5);
    QCOMPARE(line, model.size() - 1);
    QCOMPARE(before, starts.back());
    QCOMPARE(store.UnitsBefore(model.size() + 3), starts.back());
  }

private slots:
  void startsWithOneEmptyLine() {
    LineStore store;
    Compare(store, {""});
    QCOMPARE(store.Units(), std::size_t{0});
    store.Erase(0);
    Compare(store, {""});
    store.EraseRange(0, 10);
    Compare(store, {""});
    store.InsertLines(0, {});
    Compare(store, {""});
  }

  void randomEditsMatchAVector_data() {
    QTest::addColumn<unsigned>("seed");
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("unicode");
    QTest::addColumn<int>("longest"); // lines inserted or erased at once, at most
    QTest::newRow("few lines") << 1u << 10 << false << 3;
    QTest::newRow("several chunks") << 2u << 3000 << false << 3;
    QTest::newRow("another seed") << 3u << 3000 << false << 3;
    QTest::newRow("ranges within a chunk") << 4u << 3000 << false << 100;
    QTest::newRow("ranges across chunks") << 5u << 5000 << false << 1500;
    QTest::newRow("unicode, few lines") << 6u << 10 << true << 5;
    QTest::newRow("unicode, ranges across chunks") << 7u << 5000 << true << 1500;
    QTest::newRow("unicode, long ranges") << 8u << 20000 << true << 6000;
  }
  void randomEditsMatchAVector() {
    QFETCH(unsigned, seed);
    QFETCH(int, lines);
    QFETCH(bool, unicode);
    QFETCH(int, longest);
    Generator make{std::mt19937(seed), unicode};
    LineStore store;
    Lines model{""};
    for (int i = 0; i < lines; ++i) {
      const std::string line = make.Text();
      store.Append(line);
      model.push_back(line);
    }
    const auto span = static_cast<std::size_t>(longest);
    for (int step = 0; step < 4000; ++step) {
      const std::size_t at = make.Below(model.size());
      switch (make.random() % 7) {
      case 0: {
        const std::string line = make.Text();
        store.Replace(at, line);
        model[at] = line;
        break;
      }
      case 1: {
        const std::string line = make.Text();
        store.Insert(at, line);
        InsertInto(model, at, {line});
        break;
      }
      case 2:
        store.Erase(at);
        EraseFrom(model, at, 1);
        break;
      case 3: {
        // Up to `longest` lines, anywhere up to and including Count().
        const std::size_t where = make.Below(model.size() + 1);
        const Lines added = make.Many(make.Below(span + 1));
        store.InsertLines(where, Views(added));
        InsertInto(model, where, added);
        break;
      }
      case 4: {
        // Erasing as much as was inserted keeps the size steady; sometimes
        // the range runs past the end.
        const std::size_t count = make.Below(span + 1);
        store.EraseRange(at, count);
        EraseFrom(model, at, count);
        break;
      }
      default: {
        const std::string line = make.Text();
        store.Append(line);
        model.push_back(line);
      }
      }
      if (step % 250 == 0) {
        Compare(store, model);
        CompareUnits(store, model, make.random);
        if (QTest::currentTestFailed()) QFAIL(qPrintable(QString("after step %1").arg(step)));
      }
    }
    Compare(store, model);
    CompareUnits(store, model, make.random);
    // Inserting many lines at one place splits chunks and stays right.
    for (int i = 0; i < 2000; ++i) {
      store.Insert(1, std::to_string(i));
      model.insert(model.begin() + 1, std::to_string(i));
    }
    Compare(store, model);
    CompareUnits(store, model, make.random);
  }

  // Ranges of lines laid over the chunks as a store built by appending
  // holds them: line 0 is the empty first line, each chunk kChunkLines long.
  void eraseRange_data() {
    QTest::addColumn<int>("lines"); // lines appended after the first
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("count");
    constexpr int k = static_cast<int>(LineStore::kChunkLines);
    QTest::newRow("nothing") << 2000 << 10 << 0;
    QTest::newRow("one line") << 2000 << 10 << 1;
    QTest::newRow("within a chunk") << 2000 << 10 << 100;
    QTest::newRow("the end of a chunk") << 2000 << k - 10 << 10;
    QTest::newRow("the start of a chunk") << 2000 << k << 10;
    QTest::newRow("across one boundary") << 2000 << k - 5 << 10;
    QTest::newRow("a whole chunk") << 2000 << k << k;
    QTest::newRow("the first chunk") << 2000 << 0 << k;
    QTest::newRow("the last chunk") << 4 * k - 1 << 3 * k << k;
    QTest::newRow("two whole chunks") << 4000 << k << 2 * k;
    QTest::newRow("from inside one to inside a later one") << 4000 << k + 7 << 2 * k + 11;
    QTest::newRow("a chunk and a half") << 4000 << k / 2 << k + k / 2;
    QTest::newRow("everything but the first line") << 3000 << 1 << 3000;
    QTest::newRow("everything but the last line") << 3000 << 0 << 3000;
    QTest::newRow("the whole store") << 3000 << 0 << 3001;
    QTest::newRow("more than the whole store") << 3000 << 0 << 100000;
    QTest::newRow("running past the end") << 3000 << 2500 << 100000;
    QTest::newRow("starting past the end") << 3000 << 3001 << 5;
    QTest::newRow("the last line") << 3000 << 3000 << 1;
    QTest::newRow("half of a long history") << 200000 << 0 << 100000;
  }
  void eraseRange() {
    QFETCH(int, lines);
    QFETCH(int, first);
    QFETCH(int, count);
    Generator make{std::mt19937(static_cast<unsigned>(lines + first)), true};
    LineStore store;
    Lines model{""};
    for (int i = 0; i < lines; ++i) {
      model.push_back(make.Text());
      store.Append(model.back());
    }
    store.EraseRange(static_cast<std::size_t>(first), static_cast<std::size_t>(count));
    EraseFrom(model, static_cast<std::size_t>(first), static_cast<std::size_t>(count));
    Compare(store, model);
    CompareUnits(store, model, make.random);
    // The store stays usable at both ends and where the range was.
    for (const std::size_t at :
         {std::size_t{0}, std::min(static_cast<std::size_t>(first), model.size()), model.size(),
          model.size() / 2}) {
      const Lines added = make.Many(3);
      store.InsertLines(at, Views(added));
      InsertInto(model, at, added);
    }
    store.Append("last");
    model.emplace_back("last");
    Compare(store, model);
    CompareUnits(store, model, make.random);
  }

  // Lines inserted one by one into a chunk (InsertLines), or, many at once,
  // cut into chunks of their own from one text (InsertJoined: an undo
  // putting back what was deleted); `repeat` makes lines long enough that
  // chunks close at their bytes.
  void insertLines_data() {
    QTest::addColumn<int>("lines"); // lines appended after the first
    QTest::addColumn<int>("at");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("joined");
    QTest::addColumn<int>("repeat");
    constexpr int k = static_cast<int>(LineStore::kChunkLines);
    const auto row = [](const char* name, int lines, int at, int count, bool joined = false,
                        int repeat = 1) {
      QTest::newRow(name) << lines << at << count << joined << repeat;
    };
    row("none", 2000, 10, 0);
    row("one, at the start", 2000, 0, 1);
    row("inside a chunk", 2000, 10, 50);
    row("at a chunk boundary", 2000, k, 50);
    row("just before a boundary", 2000, k - 1, 50);
    row("filling a chunk to twice its size", 2000, 10, k);
    row("just over twice a chunk", 2000, 10, k + 1);
    row("many chunks' worth", 2000, 700, 10 * k + 3);
    row("at the end (Count)", 2000, 2001, 1000);
    row("past the end", 2000, 5000, 10);
    row("into the first empty line's store", 0, 0, 3 * k);
    row("before the last line", 2000, 2000, 3 * k);
    row("joined, a few lines", 2000, 10, 50, true);
    row("joined, inside a chunk", 2000, 700, 10 * k + 3, true);
    row("joined, at a chunk boundary", 2000, k, 3 * k, true);
    row("joined, at the start", 2000, 0, k + 1, true);
    row("joined, at the end (Count)", 2000, 2001, 3 * k, true);
    row("joined, into the first empty line's store", 0, 0, 3 * k, true);
    row("joined, long lines", 2000, 10, 3 * k, true, 50);
  }
  void insertLines() {
    QFETCH(int, lines);
    QFETCH(int, at);
    QFETCH(int, count);
    QFETCH(bool, joined);
    QFETCH(int, repeat);
    Generator make{std::mt19937(static_cast<unsigned>(lines + at + count)), true};
    LineStore store;
    Lines model{""};
    for (int i = 0; i < lines; ++i) {
      model.push_back(make.Text());
      store.Append(model.back());
    }
    Lines added = make.Many(static_cast<std::size_t>(count));
    std::string text;
    for (std::string& line : added) {
      const std::string once = line;
      for (int r = 1; r < repeat; ++r)
        line += once;
      text += (&line == added.data() ? "" : "\n") + line;
    }
    const std::size_t where = std::min(static_cast<std::size_t>(at), model.size());
    if (joined) {
      QCOMPARE(store.InsertJoined(static_cast<std::size_t>(at), text), added.size());
    } else {
      store.InsertLines(static_cast<std::size_t>(at), Views(added));
    }
    InsertInto(model, static_cast<std::size_t>(at), added);
    Compare(store, model);
    CompareUnits(store, model, make.random);
    std::size_t bytes = 0;
    for (const std::string& line : model)
      bytes += line.size();
    QCOMPARE(store.Bytes(), bytes + model.size() * lanchat::config::kLineBytes);
    // The lines read back joined, as a deletion keeps them for undo.
    const std::size_t textBytes = store.TextBytes(where, added.size());
    std::string copy(textBytes + added.size() - std::min<std::size_t>(added.size(), 1), '?');
    QCOMPARE(store.CopyJoined(where, added.size(), copy.data()), copy.data() + copy.size());
    QCOMPARE(copy, text);
    // Appending goes on after it.
    store.Append("last");
    model.emplace_back("last");
    Compare(store, model);
    // Erasing what was inserted gives back the lines as they were.
    if (static_cast<std::size_t>(at) < model.size()) {
      store.EraseRange(static_cast<std::size_t>(at), static_cast<std::size_t>(count));
      EraseFrom(model, static_cast<std::size_t>(at), static_cast<std::size_t>(count));
      Compare(store, model);
      CompareUnits(store, model, make.random);
    }
  }

  // One line against QString's own count: characters of one to four bytes,
  // lines that are empty or all of one kind.
  void unitsOfALine_data() {
    QTest::addColumn<QByteArray>("utf8");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("ascii") << QByteArray("abc def");
    QTest::newRow("two bytes") << QByteArray("\xC3\xA9t\xC3\xA9");
    QTest::newRow("three bytes") << QByteArray("\xE2\x82\xAC 5 \xE4\xB8\xAD");
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80");
    QTest::newRow("four bytes, several") << QByteArray("a\xF0\x9F\x98\x80\xF0\x9D\x84\x9E"
                                                       "b\xF4\x8F\xBF\xBF");
    QTest::newRow("combining marks") << QByteArray("e\xCC\x81\xCC\xA7");
    QTest::newRow("all sizes") << QByteArray("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z");
  }
  void unitsOfALine() {
    QFETCH(QByteArray, utf8);
    const std::string line(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    const std::size_t expected = Utf16(line);
    QCOMPARE(text::Utf16Length(line), expected);
    // The line between two others, the middle of a chunk or at its edge.
    for (const std::size_t before : {std::size_t{0}, std::size_t{1}, LineStore::kChunkLines - 1,
                                     LineStore::kChunkLines, std::size_t{1500}}) {
      LineStore store;
      Lines model{""};
      for (std::size_t i = 0; i < before; ++i) {
        model.push_back(kCharacters[i % kCharacters.size()]);
        store.Append(model.back());
      }
      store.Append(line);
      model.push_back(line);
      store.Append("\xF0\x9F\x98\x80 after");
      model.emplace_back("\xF0\x9F\x98\x80 after");
      std::mt19937 random(1);
      CompareUnits(store, model, random);
      // Replacing it with itself twice over keeps the counts right.
      store.Replace(before + 1, line + line);
      model[before + 1] = line + line;
      CompareUnits(store, model, random);
    }
  }

  void memoryPerLineIsSmall() {
    LineStore store;
    for (int i = 0; i < 100000; ++i)
      store.Append("abcdefghijklmnopqrst");
    QVERIFY2(store.Capacity() / 100000 < 40,
             qPrintable(QString::number(store.Capacity() / 100000)));
  }
};

QTEST_APPLESS_MAIN(TestLineStore)
#include "test_linestore.moc"
