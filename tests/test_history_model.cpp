// The history's editing model without a widget. Texts in the rows carry
// markers: '|' is the cursor, '^' the anchor (where it differs), and '['
// ']' a range to replace. Each edit row is also undone and redone, and the
// text must come back both times.
#include <history/EditModel.h>
#include <history/PrimarySelection.h>

#include <QTextCursor>
#include <QTextDocument>
#include <QtTest>

#include "HeapInUse.h"

#include <random>

Q_DECLARE_METATYPE(TextPos)

namespace QTest {
template <> char* toString(const TextPos& pos) {
  return qstrdup(QByteArray::number(qulonglong(pos.line)) + '.' + QByteArray::number(pos.column));
}
} // namespace QTest

namespace {

struct Marked {
  QString text;
  TextPos cursor;
  TextPos anchor;
  TextPos from;
  TextPos to;
};

// Reads a marked text; only "\n" breaks a line in it.
Marked Parse(const QString& marked) {
  Marked out;
  TextPos pos;
  bool anchored = false;
  for (const QChar c : marked) {
    switch (c.unicode()) {
    case u'|': out.cursor = pos; break;
    case u'^':
      out.anchor = pos;
      anchored = true;
      break;
    case u'[': out.from = pos; break;
    case u']': out.to = pos; break;
    default:
      out.text += c;
      if (c == u'\n') {
        ++pos.line;
        pos.column = 0;
      } else {
        ++pos.column;
      }
    }
  }
  if (!anchored) out.anchor = out.cursor;
  return out;
}

// The model's text with its cursor and anchor marked, read line by line.
QString Render(const EditModel& model) {
  QStringList lines;
  for (std::size_t i = 0; i < model.LineCount(); ++i) {
    QString line = model.Line(i);
    const TextPos cursor = model.Cursor(), anchor = model.Anchor();
    auto mark = [&](TextPos pos, QChar marker) {
      if (pos.line == i) line.insert(pos.column, marker);
    };
    if (cursor == anchor) {
      mark(cursor, u'|');
    } else if (cursor.line == anchor.line && cursor.column > anchor.column) {
      mark(cursor, u'|');
      mark(anchor, u'^');
    } else {
      mark(anchor, u'^');
      mark(cursor, u'|');
    }
    lines << line;
  }
  return lines.join(u'\n');
}

void Load(EditModel& model, const Marked& start) {
  model.SetText(start.text);
  model.Select(start.anchor, start.cursor);
}

// Runs a script of space-separated operations: "type:x" (typing), "ins:x",
// "bs", "del", "delsel", "all", "app:x" (a line appended), "cur:L.C",
// "brk" (break the merge), "u" (undo), "r" (redo). "_" in an argument
// stands for a space, "~" for a line break.
void Run(EditModel& model, const QString& script) {
  for (const QString& op : script.split(u' ', Qt::SkipEmptyParts)) {
    const qsizetype colon = op.indexOf(u':');
    const QString name = op.left(colon);
    QString arg = colon < 0 ? QString() : op.mid(colon + 1);
    arg.replace(u'_', u' ').replace(u'~', u'\n');
    if (name == "type") {
      model.InsertText(arg, EditKind::Typing);
    } else if (name == "ins") {
      model.InsertText(arg);
    } else if (name == "bs") {
      model.DeletePreviousCharacter();
    } else if (name == "del") {
      model.DeleteNextCharacter();
    } else if (name == "delsel") {
      model.DeleteSelection();
    } else if (name == "all") {
      model.SelectAll();
    } else if (name == "app") {
      model.AppendLine(arg);
    } else if (name == "utf8") {
      model.Append(arg.toStdString());
    } else if (name == "cur") {
      const QStringList parts = arg.split(u'.');
      model.SetCursor({parts[0].toULongLong(), parts[1].toInt()});
    } else if (name == "brk") {
      model.BreakMerge();
    } else if (name == "u") {
      model.Undo();
    } else if (name == "r") {
      model.Redo();
    } else {
      QFAIL(qPrintable("unknown operation " + op));
    }
  }
}

// Text of many lines for the chunk-crossing rows: line i is "<i>:" and a few
// characters, some outside the BMP, some lines empty.
QStringList ManyLines(int count, bool unicode, unsigned seed = 1) {
  static const QStringList kPieces = {"a",          "bc",      " ",          "\u00e9", "\u20ac",
                                      "\U0001F600", "e\u0301", "\U0001D11E", "xyz"};
  std::mt19937 random(seed);
  QStringList lines;
  for (int i = 0; i < count; ++i) {
    if (i % 97 == 5) {
      lines << QString();
      continue;
    }
    QString line = QString::number(i) + u':';
    const auto pieces = random() % 6;
    for (decltype(random()) k = 0; k < pieces; ++k)
      line +=
          unicode
              ? kPieces[static_cast<qsizetype>(random() % static_cast<std::size_t>(kPieces.size()))]
              : QStringLiteral("word");
    lines << line;
  }
  return lines;
}

} // namespace

class TestHistoryModel : public QObject {
  Q_OBJECT

private slots:
  void edits_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("arg");
    QTest::addColumn<QString>("expected");
    auto row = [](const char* name, const QString& start, const char* op, const QString& arg,
                  const QString& expected) {
      QTest::newRow(name) << start << QString::fromLatin1(op) << arg << expected;
    };
    // Line breaks in inserted text.
    row("LF", "ab|cd", "insert", "1\n2", "ab1\n2|cd");
    row("CR LF", "ab|cd", "insert", "1\r\n2", "ab1\n2|cd");
    row("CR", "ab|cd", "insert", "1\r2", "ab1\n2|cd");
    row("U+2028", "ab|cd", "insert", "1\u20282", "ab1\n2|cd");
    row("U+2029", "ab|cd", "insert", "1\u20292", "ab1\n2|cd");
    row("LF CR is two breaks", "|", "insert", "1\n\r2", "1\n\n2|");
    row("CR CR LF is two breaks", "|", "insert", "1\r\r\n2", "1\n\n2|");
    row("break alone", "ab|", "insert", "\r\n", "ab\n|");
    row("break first and last", "x|y", "insert", "\n1\n", "x\n1\n|y");
    row("lines over a selection", "a^bc\nd|e", "insert", "1\r\n2\u20283", "a1\n2\n3|e");
    row("nothing over a selection", "a^bc|d", "insert", "", "a|d");
    // Deleting a selection.
    row("selection within a line", "a^bcd|e", "delsel", "", "a|e");
    row("selection backwards", "a|bcd^e", "delsel", "", "a|e");
    row("selection across lines", "ab^c\nde\nf|g", "delsel", "", "ab|g");
    row("selection of a line break", "ab^\n|cd", "delsel", "", "ab|cd");
    row("selection of whole lines", "^ab\ncd\n|ef", "delsel", "", "|ef");
    row("the whole text", "^ab\ncd\nef|", "delsel", "", "|");
    row("no selection", "ab|c", "delsel", "", "ab|c");
    // Backspace: one unit, or a surrogate pair whole.
    row("backspace", "abc|", "backspace", "", "ab|");
    row("backspace over an emoji", "a\U0001F600|b", "backspace", "", "a|b");
    row("backspace over a clef", "\U0001D11E|", "backspace", "", "|");
    row("backspace over an accent", "xe\u0301|y", "backspace", "", "xe|y");
    row("backspace over one flag half", "\U0001F1EB\U0001F1F7|", "backspace", "", "\U0001F1EB|");
    row("backspace joins lines", "ab\n|cd", "backspace", "", "ab|cd");
    row("backspace at the start", "|ab", "backspace", "", "|ab");
    row("backspace over a selection", "a^bc|", "backspace", "", "a|");
    // Delete: one grapheme.
    row("delete", "|abc", "delete", "", "|bc");
    row("delete an accented letter", "x|e\u0301y", "delete", "", "x|y");
    row("delete two accents", "|a\u0301\u0302b", "delete", "", "|b");
    row("delete an emoji", "|\U0001F600b", "delete", "", "|b");
    row("delete a flag", "|\U0001F1EB\U0001F1F7b", "delete", "", "|b");
    row("delete joins lines", "ab|\ncd", "delete", "", "ab|cd");
    row("delete at the end", "ab|", "delete", "", "ab|");
    // Word-wise deletion.
    row("backspace a word", "foo bar|", "bsword", "", "foo |");
    row("backspace a word and space", "foo bar |", "bsword", "", "foo |");
    row("delete a word", "|foo bar", "delword", "", "|bar");
    row("backspace a word at a line start", "ab\n|cd", "bsword", "", "ab|cd");
    // Cursor and anchor follow an edit elsewhere.
    row("edit after the cursor", "a|b[c]d", "replace", "XY", "a|bXYd");
    row("edit before the cursor", "[a]b|c", "replace", "XY", "XYb|c");
    row("lines inserted before the cursor's line", "[a]\nb|c", "replace", "X\nY", "X\nY\nb|c");
    row("a break inserted before the cursor", "[a]b|c", "replace", "1\r\n2", "1\n2b|c");
    row("lines removed before the cursor", "[a\nb]c|d", "replace", "", "c|d");
    row("lines removed after the cursor", "a|b[c\nd]e", "replace", "", "a|be");
    row("cursor inside the range", "a[b|c]d", "replace", "X", "a|Xd");
    row("cursor at the range's end", "a[bc]|d", "replace", "XYZ", "aXYZ|d");
    row("cursor at the range's start", "a|[bc]d", "replace", "XYZ", "a|XYZd");
    row("anchor before, cursor after", "^a[bc]d|", "replace", "X", "^aXd|");
    row("cursor before, anchor after on a later line", "a|[b]c\nd^e", "replace", "1\n2",
        "a|1\n2c\nd^e");
    // A place inside a surrogate pair goes after the pair.
    row("cursor inside an emoji",
        QString::fromUtf16(u"a\xD83D|\xDE00"
                           u"b"),
        "insert", "x", "a\U0001F600x|b");
    row("range from inside an emoji",
        QString::fromUtf16(u"a\xD83D[\xDE00"
                           u"b]c"),
        "replace", "x", "|a\U0001F600xc");
    row("range to inside an emoji",
        QString::fromUtf16(u"[a\xD83D]\xDE00"
                           u"b|"),
        "replace", "x", "xb|");
    row("selection swallowed", "a[b^c|d]e", "replace", "X", "a|Xe");
  }

  void edits() {
    QFETCH(QString, start);
    QFETCH(QString, op);
    QFETCH(QString, arg);
    QFETCH(QString, expected);
    const Marked marked = Parse(start);
    EditModel model;
    Load(model, marked);
    if (op == "insert") {
      model.InsertText(arg);
    } else if (op == "delsel") {
      model.DeleteSelection();
    } else if (op == "backspace") {
      model.DeletePreviousCharacter();
    } else if (op == "delete") {
      model.DeleteNextCharacter();
    } else if (op == "bsword") {
      model.DeletePreviousWord();
    } else if (op == "delword") {
      model.DeleteNextWord();
    } else if (op == "replace") {
      model.Replace(marked.from, marked.to, arg);
    }
    QCOMPARE(Render(model), expected);
    QCOMPARE(model.CharacterCount(), static_cast<std::size_t>(Parse(expected).text.size()));
    model.Undo();
    QCOMPARE(model.Text(), marked.text);
    model.Redo();
    QCOMPARE(model.Text(), Parse(expected).text);
  }

  void undoRedo_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<bool>("canUndo");
    QTest::addColumn<bool>("canRedo");
    auto row = [](const char* name, const char* start, const char* script, const char* expected,
                  bool canUndo, bool canRedo) {
      QTest::newRow(name) << QString::fromUtf8(start) << QString::fromLatin1(script)
                          << QString::fromUtf8(expected) << canUndo << canRedo;
    };
    row("typing is one step", "x|", "type:a type:b type:c u", "x|", false, true);
    row("typing redone whole", "x|", "type:a type:b type:c u r", "xabc|", true, false);
    row("typing elsewhere is a new step", "x|y", "type:a cur:0.0 type:b u", "|xay", true, true);
    row("a broken merge is a new step", "|", "type:a brk type:b u", "a|", true, true);
    row("a line break ends a run", "|", "type:a type:~ type:b u", "a\n|", true, true);
    row("backspace run merges", "abcd|", "bs bs bs u", "abcd|", false, true);
    row("delete run merges", "|abcd", "del del del u", "abc|d", false, true);
    row("backspace then typing are two steps", "abc|", "bs type:x u", "ab|", true, true);
    row("typing then backspace are two steps", "ab|", "type:x bs u", "abx|", true, true);
    row("delete then backspace are two steps", "a|bc", "del bs u", "a|c", true, true);
    row("select all and type is undone whole", "ab\ncd|", "all type:x type:y type:z u", "ab\ncd|",
        false, true);
    row("select all and type, redone", "ab\ncd|", "all type:x type:y u r", "xy|", true, false);
    row("typing over a selection is a step of its own", "ab|", "type:x all type:y u", "abx|", true,
        true);
    row("undo twice, redo twice", "|", "ins:a ins:b u u r r", "ab|", true, false);
    row("a new edit clears redo", "|", "ins:a ins:b u ins:c", "ac|", true, false);
    row("undo all after a new edit", "|", "ins:a ins:b u ins:c u u", "|", false, true);
    row("redo after a new edit does nothing", "|", "ins:a ins:b u ins:c r", "ac|", true, false);
    row("undo with nothing done", "ab|", "u", "ab|", false, false);
    row("appended line is not undone", "ab|", "type:x app:new u", "ab|\nnew", false, true);
    row("append leaves the cursor", "a|b", "app:new app:old", "a|b\nnew\nold", false, false);
    row("append leaves the selection", "^a|b", "app:new", "^a|b\nnew", false, false);
    row("append inside a typing run", "|", "type:x app:l type:y u", "|\nl", false, true);
    row("undo after append, then redo", "a|", "ins:b app:l u r", "ab|\nl", true, false);
    row("undo at the last line after appends", "a|", "del app:l bs app:m u", "a|\nl\nm", false,
        true);
    row("delete selection undone", "a^b\ncd|e", "delsel u", "ab\ncd|e", false, true);
  }

  void undoRedo() {
    QFETCH(QString, start);
    QFETCH(QString, script);
    QFETCH(QString, expected);
    QFETCH(bool, canUndo);
    QFETCH(bool, canRedo);
    EditModel model;
    Load(model, Parse(start));
    Run(model, script);
    QCOMPARE(Render(model), expected);
    QCOMPARE(model.CanUndo(), canUndo);
    QCOMPARE(model.CanRedo(), canRedo);
  }

  void undoKeepsTheLastSteps() {
    EditModel model;
    const int edits = static_cast<int>(EditModel::kUndoSteps) + 5;
    for (int i = 0; i < edits; ++i)
      model.InsertText(QString(QChar(u'a' + i % 26)));
    int undone = 0;
    while (model.CanUndo()) {
      model.Undo();
      ++undone;
    }
    QCOMPARE(undone, static_cast<int>(EditModel::kUndoSteps));
    QCOMPARE(model.Text(), QStringLiteral("abcde"));
    while (model.CanRedo())
      model.Redo();
    QCOMPARE(model.Text().size(), edits);
  }

  // Undo keeps at most its budget in bytes: older steps go first, and an
  // edit larger than the budget cannot be undone (the user is told), nor
  // what came before it. Clearing a long history then frees its text.
  void undoBudget_data() {
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("lineLength"); // each step deletes 10,000 such lines
    QTest::addColumn<int>("undoable");
    QTest::addColumn<int>("lost"); // edits reported as not undoable
    QTest::newRow("small steps") << 20 << 10 << 20 << 0;
    QTest::newRow("steps of 1 MB") << 20 << 100 << 16 << 0;
    QTest::newRow("one step over the budget") << 1 << 1700 << 0 << 1;
  }
  void undoBudget() {
    QFETCH(int, steps);
    QFETCH(int, lineLength);
    QFETCH(int, undoable);
    QFETCH(int, lost);
    const std::size_t heapBefore = HeapInUse();
    {
      EditModel model;
      int told = 0;
      model.OnUndoLost([&] { ++told; });
      const QString line(lineLength, u'x');
      for (int step = 0; step < steps; ++step) {
        for (int i = 0; i < 10'000; ++i)
          model.AppendLine(line);
        model.Select({1, 0}, model.End());
        model.DeleteSelection();
        QVERIFY(model.UndoBytes() <= EditModel::kUndoBytes);
      }
      QCOMPARE(told, lost);
      int undone = 0;
      for (; model.CanUndo(); ++undone)
        model.Undo();
      QCOMPARE(undone, undoable);
      if (lost > 0) QCOMPARE(model.LineCount(), std::size_t{2});
      model.SetText({});
      // What the history and its undo held is free again.
      const std::size_t held = HeapInUse() - std::min(heapBefore, HeapInUse());
      QVERIFY2(held < (2u << 20), qPrintable(QString::number(held)));
    }
  }

  // A large deletion undone and redone gives back exactly the text. Its
  // text goes back a piece at a time (by lines, or by bytes for long
  // lines); between pieces lines may arrive at the end, and an edit first
  // puts back the rest, as if the undo had been done at once.
  void largeUndoInPieces_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("between"); // what happens after the first piece
    QTest::newRow("pieces of lines") << 250'000 << 5 << "";
    QTest::newRow("pieces of bytes") << 12'000 << 300 << "";
    QTest::newRow("lines arrive between pieces") << 250'000 << 5 << "app:un app:deux";
    QTest::newRow("typing between pieces") << 250'000 << 5 << "type:Z";
    QTest::newRow("undo between pieces") << 250'000 << 5 << "u";
  }
  void largeUndoInPieces() {
    QFETCH(int, lines);
    QFETCH(int, length);
    QFETCH(QString, between);
    QStringList text;
    for (int i = 0; i < lines; ++i)
      text << QString::number(i).leftJustified(length, u'\u00e9');
    const QString whole = text.join(u'\n');
    EditModel model;
    model.SetText(whole);
    model.InsertText("x"); // a step before the deletion
    const TextPos from{2, 3};
    const TextPos to{static_cast<std::size_t>(lines - 2), 4};
    model.Select(from, to);
    const QString removed = model.SelectedText();
    const QString before = model.Text();
    model.DeleteSelection();
    const QString after = model.Text();
    model.Undo();
    QVERIFY(model.Busy());
    Run(model, between);
    int pieces = 1;
    for (; model.Busy(); ++pieces)
      model.Continue();
    QString expected = before;
    if (between.startsWith("app")) expected += "\nun\ndeux";
    if (between == "type:Z") expected.insert(static_cast<qsizetype>(model.Offset(to)), u'Z');
    if (between == "u") expected = whole;
    QCOMPARE(model.Text(), expected);
    QCOMPARE(model.CharacterCount(), static_cast<std::size_t>(expected.size()));
    if (!between.isEmpty()) return;
    QVERIFY(pieces >= 3);
    QCOMPARE(model.Cursor(), to);
    QCOMPARE(model.TextBetween(from, to), removed);
    model.Redo();
    QVERIFY(!model.Busy());
    QCOMPARE(model.Text(), after);
    model.Undo();
    model.Undo(); // finishes the first, then undoes the step before
    QCOMPARE(model.Text(), whole);
  }

  // The primary selection is read only when another program asks, as UTF-8
  // or as a QString; a selection larger than what is handed out gives
  // nothing, however often asked, and the user is told once.
  void selectionHandedOut_data() {
    QTest::addColumn<int>("lines"); // of 1,000 bytes each, 'é' two
    QTest::addColumn<bool>("handedOut");
    const int limit = static_cast<int>(PrimarySelection::kMaxHandedOut / 1001);
    QTest::newRow("a few lines") << 3 << true;
    QTest::newRow("just within the limit") << limit << true;
    QTest::newRow("just over the limit") << limit + 1 << false;
  }
  void selectionHandedOut() {
    QFETCH(int, lines);
    QFETCH(bool, handedOut);
    EditModel model;
    const QString line = QString(499, u'\u00e9') + "ab";
    for (int i = 0; i < lines; ++i)
      model.AppendLine(line);
    int told = 0;
    std::size_t toldSize = 0;
    SelectionOffer offer(model, {1, 0}, model.End(), [&](std::size_t size) {
      ++told;
      toldSize = size;
    });
    const std::size_t size = static_cast<std::size_t>(lines) * 1001 - 1;
    QCOMPARE(model.Utf8Size({1, 0}, model.End()), size);
    const QByteArray utf8 = offer.data("text/plain");
    const QString text = offer.text();
    QCOMPARE(offer.data("text/plain"), utf8);
    if (handedOut) {
      QCOMPARE(static_cast<std::size_t>(utf8.size()), size);
      QCOMPARE(text, QString::fromUtf8(utf8));
      QCOMPARE(text, QStringList(lines, line).join(u'\n'));
      QCOMPARE(told, 0);
    } else {
      QVERIFY(utf8.isEmpty() && text.isEmpty());
      QCOMPARE(told, 1);
      QCOMPARE(toldSize, size);
    }
  }

  // An undo or redo that would take the history past its capacity or its
  // budget is not offered.
  void undoStaysWithinCapacity_data() {
    QTest::addColumn<std::size_t>("lines");
    QTest::addColumn<std::size_t>("bytes");
    QTest::newRow("lines") << std::size_t{10} << EditModel::kBudget;
    QTest::newRow("bytes") << EditModel::kCapacity << std::size_t{200};
  }
  void undoStaysWithinCapacity() {
    QFETCH(std::size_t, lines);
    QFETCH(std::size_t, bytes);
    EditModel model(lines, bytes);
    model.SetText("un\ndeux\ntrois\nquatre\ncinq");
    model.SelectAll();
    model.DeleteSelection();
    QVERIFY(model.CanUndo());
    for (int i = 0; i < 8; ++i)
      model.AppendLine(QString(10, u'a'));
    QVERIFY(!model.CanUndo());
    model.Undo();
    QCOMPARE(model.LineCount(), std::size_t{9});
  }

  void deleteAcrossChunks_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<TextPos>("from");
    QTest::addColumn<TextPos>("to");
    QTest::newRow("within one chunk") << 1500 << TextPos{10, 2} << TextPos{300, 1};
    QTest::newRow("over one boundary") << 1500 << TextPos{510, 1} << TextPos{514, 3};
    QTest::newRow("to a chunk's first line") << 1500 << TextPos{500, 0} << TextPos{512, 2};
    QTest::newRow("from a chunk's last line") << 1500 << TextPos{511, 3} << TextPos{600, 0};
    QTest::newRow("whole chunks") << 1600 << TextPos{512, 0} << TextPos{1536, 0};
    QTest::newRow("many chunks, partial ends") << 3000 << TextPos{100, 3} << TextPos{2900, 4};
    QTest::newRow("from the start") << 1500 << TextPos{0, 0} << TextPos{1100, 2};
    QTest::newRow("to the end") << 1500 << TextPos{700, 1} << TextPos{1499, 9999};
    QTest::newRow("all") << 1500 << TextPos{0, 0} << TextPos{1499, 9999};
  }

  void deleteAcrossChunks() {
    QFETCH(int, lines);
    QFETCH(TextPos, from);
    QFETCH(TextPos, to);
    const QStringList text = ManyLines(lines, true);
    EditModel model;
    model.SetText(text.join(u'\n'));
    QCOMPARE(model.LineCount(), static_cast<std::size_t>(lines));
    to = model.Clamp(to);
    // The expected text, cut out of the list.
    QStringList expected = text.mid(0, static_cast<qsizetype>(from.line));
    const auto fromLine = static_cast<qsizetype>(from.line),
               toLine = static_cast<qsizetype>(to.line);
    expected << text[fromLine].left(from.column) + text[toLine].mid(to.column);
    expected << text.mid(toLine + 1);
    QString removed = text[fromLine].mid(from.column);
    for (qsizetype l = fromLine + 1; l <= toLine; ++l)
      removed += u'\n' + (l == toLine ? text[l].left(to.column) : text[l]);

    model.Select(from, to);
    QCOMPARE(model.SelectedText(), removed);
    model.DeleteSelection();
    QCOMPARE(model.LineCount(), static_cast<std::size_t>(expected.size()));
    QCOMPARE(model.Text(), expected.join(u'\n'));
    QCOMPARE(model.CharacterCount(), static_cast<std::size_t>(expected.join(u'\n').size()));
    QCOMPARE(model.Cursor(), from);
    // Every line still where it should be, and offsets agree with the text.
    for (qsizetype l = 0; l < expected.size(); l += 37) {
      QCOMPARE(model.Line(static_cast<std::size_t>(l)), expected[l]);
      const std::size_t offset = model.Offset({static_cast<std::size_t>(l), 0});
      QCOMPARE(model.PosAt(offset), (TextPos{static_cast<std::size_t>(l), 0}));
    }
    // Undo puts the lines back in one insertion, split into chunks again.
    model.Undo();
    QCOMPARE(model.Text(), text.join(u'\n'));
    QCOMPARE(model.LineCount(), static_cast<std::size_t>(lines));
    QCOMPARE(model.CharacterCount(), static_cast<std::size_t>(text.join(u'\n').size()));
    const auto last = static_cast<std::size_t>(lines - 1);
    const auto lastStart = static_cast<std::size_t>(text.join(u'\n').size() - text.back().size());
    QCOMPARE(model.Offset({last, 0}), lastStart);
    QCOMPARE(model.PosAt(lastStart), (TextPos{last, 0}));
  }

  void offsetsRoundTrip_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<bool>("unicode");
    QTest::addColumn<bool>("edited");
    QTest::newRow("one line") << 1 << true << false;
    QTest::newRow("ASCII, three chunks") << 1300 << false << false;
    QTest::newRow("non-BMP, three chunks") << 1300 << true << false;
    QTest::newRow("non-BMP, after edits") << 1300 << true << true;
  }

  void offsetsRoundTrip() {
    QFETCH(int, lines);
    QFETCH(bool, unicode);
    QFETCH(bool, edited);
    QStringList text = ManyLines(lines, unicode);
    EditModel model;
    model.SetText(text.join(u'\n'));
    if (edited) {
      // Lines added in the middle chunk, and lines joined in the first.
      model.Replace({600, 0}, {600, 0}, "\U0001F600\U0001F600\n\u00e9\n");
      text[600].prepend("\u00e9\n").prepend("\U0001F600\U0001F600\n");
      text = text.join(u'\n').split(u'\n');
      model.Replace({100, 1}, {102, 0}, "");
      text[100] = text[100].left(1) + text[102];
      text.remove(101, 2);
    }
    const QString joined = text.join(u'\n');
    QCOMPARE(model.Text(), joined);
    QCOMPARE(model.CharacterCount(), static_cast<std::size_t>(joined.size()));
    std::size_t offset = 0;
    for (qsizetype l = 0; l < text.size(); ++l) {
      const auto line = static_cast<std::size_t>(l);
      // Every column of some lines, the start and end of every line.
      const bool everyColumn = l % 50 == 0 || l == text.size() - 1;
      for (int c = 0; c <= text[l].size(); ++c) {
        if (!everyColumn && c != 0 && c != text[l].size()) continue;
        const TextPos pos{line, c};
        QCOMPARE(model.Offset(pos), offset + static_cast<std::size_t>(c));
        QCOMPARE(model.PosAt(offset + static_cast<std::size_t>(c)), pos);
      }
      offset += static_cast<std::size_t>(text[l].size()) + 1;
    }
    QCOMPARE(model.PosAt(model.CharacterCount()), model.End());
    QCOMPARE(model.PosAt(model.CharacterCount() + 100), model.End());
  }

  void changesReported_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("script");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("removed");
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<bool>("appended");
    auto row = [](const char* name, const char* start, const char* script, int offset,
                  const QString& removed, const QString& inserted, bool appended = false) {
      QTest::newRow(name) << QString::fromUtf8(start) << QString::fromLatin1(script) << offset
                          << removed << inserted << appended;
    };
    row("typing", "ab\ncd|", "type:x", 5, "", "x");
    row("line break typed", "ab\ncd|", "type:~", 5, "", "\n");
    row("selection replaced", "a^b\nc|d", "ins:XY", 1, "b\nc", "XY");
    row("backspace over an emoji", "ab\n\U0001F600|", "bs", 3, "\U0001F600", "");
    row("delete a line break", "ab|\ncd", "del", 2, "\n", "");
    row("undo of a deletion", "a^b\nc|d", "delsel u", 1, "", "b\nc");
    row("redo of a deletion", "a^b\nc|d", "delsel u r", 1, "b\nc", "");
    row("appended line", "ab\n\U0001F600|", "app:new", 5, "", "\nnew", true);
    row("appended as UTF-8", "ab|", "utf8:~x~y", 2, "", "\nx\ny", true);
    row("appended to the last line", "ab|", "utf8:z~y", 2, "", "z\ny", true);
  }

  void changesReported() {
    QFETCH(QString, start);
    QFETCH(QString, script);
    QFETCH(int, offset);
    QFETCH(QString, removed);
    QFETCH(QString, inserted);
    QFETCH(bool, appended);
    EditModel model;
    Load(model, Parse(start));
    std::vector<TextChange> changes;
    QString lastInserted; // the text a change points at lasts as long as the call
    QString textThen = model.Text();
    model.OnChange([&](const TextChange& change) {
      changes.push_back(change);
      lastInserted = change.Inserted();
      // What was reported is what the text holds now.
      QCOMPARE(model.TextBetween(change.from, change.insertedEnd), lastInserted);
      QCOMPARE(model.Offset(change.from), change.offset);
      QCOMPARE(model.Offset(change.insertedEnd) - change.offset,
               static_cast<std::size_t>(lastInserted.size()));
      // And what was removed was in the text before.
      QCOMPARE(textThen.mid(static_cast<qsizetype>(change.offset), change.removed.size()),
               change.removed);
      textThen = model.Text();
    });
    Run(model, script);
    QVERIFY(!changes.empty());
    const TextChange& last = changes.back();
    QCOMPARE(last.offset, static_cast<std::size_t>(offset));
    QCOMPARE(last.removed, removed);
    QCOMPARE(lastInserted, inserted);
    QCOMPARE(last.appended, appended);
  }

  void insertedBreaksReportedAsTheyStand() {
    EditModel model;
    model.SetText("ab");
    model.SetCursor({0, 1});
    TextChange seen;
    QString inserted;
    model.OnChange([&](const TextChange& change) {
      seen = change;
      inserted = change.Inserted();
    });
    model.InsertText("1\r\n2\r3\u20284");
    QCOMPARE(inserted, QStringLiteral("1\n2\n3\n4"));
    QCOMPARE(seen.insertedEnd, (TextPos{3, 1}));
    model.AppendLine("x\r\ny");
    QCOMPARE(inserted, QStringLiteral("\nx\ny"));
    QCOMPARE(model.LineCount(), std::size_t{6});
    QCOMPARE(model.Text(), QStringLiteral("a1\n2\n3\n4b\nx\ny"));
    // Arrivals come as UTF-8, their breaks as the wire has them.
    model.Append("\nun\r\ndeux\rtrois\xE2\x80\xA8quatre\xE2\x80\xA9");
    QCOMPARE(inserted, QStringLiteral("\nun\ndeux\ntrois\nquatre\n"));
    QCOMPARE(model.LineCount(), std::size_t{11});
    QCOMPARE(model.Line(9), QStringLiteral("quatre"));
  }

  // Character and word steps as a text document's cursor takes them.
  void boundariesMatchATextCursor_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("words") << QStringLiteral("Salut tout le monde");
    QTest::newRow("punctuation") << QStringLiteral("a,b. c!! (d) e-f  g's \"h\"");
    QTest::newRow("spaces") << QStringLiteral("  lead  and  trail  ");
    QTest::newRow("accents and emoji")
        << QStringLiteral("cafe\u0301 \U0001F600\U0001F600 x\U0001F1EB\U0001F1F7y \u00e9t\u00e9");
    QTest::newRow("lines") << QStringLiteral("one two\n\nthree, four\n  five");
  }

  void boundariesMatchATextCursor() {
    QFETCH(QString, text);
    EditModel model;
    model.SetText(text);
    QTextDocument document(text);
    QTextCursor cursor(&document);
    for (std::size_t offset = 0; offset <= model.CharacterCount(); ++offset) {
      const TextPos pos = model.PosAt(offset);
      if (!model.IsCursorPosition(pos)) continue;
      auto step = [&](QTextCursor::MoveOperation move) {
        cursor.setPosition(static_cast<int>(offset));
        cursor.movePosition(move);
        return model.PosAt(static_cast<std::size_t>(cursor.position()));
      };
      const QByteArray where = QByteArray::number(qulonglong(offset));
      QVERIFY2(model.NextCharacter(pos) == step(QTextCursor::NextCharacter), where);
      QVERIFY2(model.PreviousCharacter(pos) == step(QTextCursor::PreviousCharacter), where);
      QVERIFY2(model.NextWord(pos) == step(QTextCursor::NextWord), where);
      QVERIFY2(model.PreviousWord(pos) == step(QTextCursor::PreviousWord), where);
    }
  }

  void wordAt_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::newRow("in a word") << "ab cde fg" << 4 << 3 << 6;
    QTest::newRow("at a word's start") << "ab cde fg" << 3 << 3 << 6;
    QTest::newRow("at a word's end") << "ab cde fg" << 6 << 3 << 6;
    QTest::newRow("separators") << "ab,,,cd" << 3 << 2 << 5;
    QTest::newRow("at the line's end") << "ab cd" << 5 << 3 << 5;
  }

  void wordAt() {
    QFETCH(QString, text);
    QFETCH(int, column);
    QFETCH(int, start);
    QFETCH(int, end);
    EditModel model;
    model.SetText(text);
    const auto [from, to] = model.WordAt({0, column});
    QCOMPARE(from, (TextPos{0, start}));
    QCOMPARE(to, (TextPos{0, end}));
  }
};

QTEST_MAIN(TestHistoryModel)
#include "test_history_model.moc"
