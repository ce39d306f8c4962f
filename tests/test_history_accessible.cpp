// The history as assistive technology sees it: its accessible interface
// against the model it shows (text, cursor, selection, geometry, editing),
// the events its changes send, and nothing sent while no assistive
// technology listens; the pace at which arrivals are told. Then the names
// of the main window's controls.
#include <history/HistoryAccessible.h>
#include <history/HistoryView.h>
#include <ui/Form1.h>

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QTextBoundaryFinder>
#include <QToolButton>
#include <QtTest>

// The platform's accessibility, switched on and off as a screen reader
// would: QAccessible::setActive alone does not make isActive() true.
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

#include <memory>
#include <vector>

namespace {

void SetActive(bool active) {
  QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(active);
}

// What an event told, copied while it exists.
struct Told {
  QAccessible::Event type = QAccessible::InvalidEvent;
  int position = -1;
  QString inserted;
  QString removed;
  int cursor = -1;
  int selectionStart = -1;
  int selectionEnd = -1;
};

std::vector<Told> told;
const QObject* watched = nullptr;

void OnUpdate(QAccessibleEvent* event) {
  if (event->object() != watched) return;
  Told item;
  item.type = event->type();
  switch (event->type()) {
  case QAccessible::TextInserted: {
    auto* e = static_cast<QAccessibleTextInsertEvent*>(event);
    item.position = e->changePosition();
    item.inserted = e->textInserted();
    item.cursor = e->cursorPosition();
    break;
  }
  case QAccessible::TextRemoved: {
    auto* e = static_cast<QAccessibleTextRemoveEvent*>(event);
    item.position = e->changePosition();
    item.removed = e->textRemoved();
    item.cursor = e->cursorPosition();
    break;
  }
  case QAccessible::TextUpdated: {
    auto* e = static_cast<QAccessibleTextUpdateEvent*>(event);
    item.position = e->changePosition();
    item.inserted = e->textInserted();
    item.removed = e->textRemoved();
    item.cursor = e->cursorPosition();
    break;
  }
  case QAccessible::TextCaretMoved:
    item.cursor = static_cast<QAccessibleTextCursorEvent*>(event)->cursorPosition();
    break;
  case QAccessible::TextSelectionChanged: {
    auto* e = static_cast<QAccessibleTextSelectionEvent*>(event);
    item.selectionStart = e->selectionStart();
    item.selectionEnd = e->selectionEnd();
    item.cursor = e->cursorPosition();
    break;
  }
  default: break;
  }
  told.push_back(item);
}

std::vector<Told> Events(QAccessible::Event type) {
  std::vector<Told> found;
  for (const auto& item : told)
    if (item.type == type) found.push_back(item);
  return found;
}

// Accessible objects asked for, counted before the history's own factory
// answers: none may be made while accessibility is off.
int asked = 0;
QAccessibleInterface* CountingFactory(const QString&, QObject* object) {
  if (dynamic_cast<HistoryView*>(object) != nullptr) ++asked;
  return nullptr;
}

// The item before (-1), at (0) or after (1) an offset, found in the whole
// text at once: characters, words and sentences between the edges Qt's
// boundaries mark; lines with their line break.
struct Item {
  QString text;
  int start = -1;
  int end = -1;
  bool operator==(const Item&) const = default;
};

Item WholeTextItem(const QString& text, QAccessible::TextBoundaryType type, int side, int offset) {
  const int count = static_cast<int>(text.size());
  if (offset == -1) offset = count;
  if (count == 0 || offset < 0 || offset > count) return {};
  std::vector<int> edges;
  if (type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary) {
    edges.push_back(0);
    for (int i = 0; i < count; ++i)
      if (text[i] == u'\n') edges.push_back(i + 1);
    if (edges.back() != count || text.endsWith(u'\n')) edges.push_back(count);
    // The line holding the offset, the end of the text being in the last.
    std::size_t line = 0;
    while (line + 2 < edges.size() && edges[line + 1] <= offset)
      ++line;
    const std::size_t wanted = line + static_cast<std::size_t>(side + 1) - 1;
    if ((side < 0 && (line == 0 || offset == 0)) ||
        (side > 0 && (offset >= count || wanted + 1 >= edges.size())))
      return {};
    return {text.mid(edges[wanted], edges[wanted + 1] - edges[wanted]), edges[wanted],
            edges[wanted + 1]};
  }
  const auto finderType = type == QAccessible::WordBoundary       ? QTextBoundaryFinder::Word
                          : type == QAccessible::SentenceBoundary ? QTextBoundaryFinder::Sentence
                                                                  : QTextBoundaryFinder::Grapheme;
  QTextBoundaryFinder finder(finderType, text);
  for (int at = 0; at <= count; ++at) {
    finder.setPosition(at);
    if (at == 0 || at == count ||
        (finder.isAtBoundary() && (finder.boundaryReasons() & (QTextBoundaryFinder::StartOfItem |
                                                               QTextBoundaryFinder::EndOfItem))))
      edges.push_back(at);
  }
  // Item i runs from edges[i] to edges[i + 1]; the end of the text is past
  // the last item.
  std::size_t i = 0;
  while (i + 1 < edges.size() && edges[i + 1] <= offset)
    ++i;
  const long wanted = static_cast<long>(i) + side;
  if (offset == count && side == 0) return {};
  if (wanted < 0 || static_cast<std::size_t>(wanted) + 1 >= edges.size()) return {};
  const auto w = static_cast<std::size_t>(wanted);
  return {text.mid(edges[w], edges[w + 1] - edges[w]), edges[w], edges[w + 1]};
}

// "e" with a combining acute accent, and an emoji outside the BMP.
const QString kAccent = QStringLiteral("e\u0301");
const QString kEmoji = QString::fromUtf8("\xF0\x9F\x98\x80");

QAccessibleTextInterface* TextOf(QAccessibleInterface* iface) {
  return iface != nullptr ? iface->textInterface() : nullptr;
}

} // namespace

class TestHistoryAccessible : public QObject {
  Q_OBJECT

  std::unique_ptr<HistoryView> view;
  QAccessibleInterface* iface = nullptr;
  QAccessibleTextInterface* textIf = nullptr;

  void Load(const QString& content) {
    view->SetText(content);
    told.clear();
  }

private slots:
  void initTestCase() {
    QAccessible::installUpdateHandler(&OnUpdate);
    SetActive(true);
    QVERIFY(QAccessible::isActive());
  }

  void init() {
    SetActive(true);
    view = std::make_unique<HistoryView>();
    view->resize(320, 200);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    // As in the window, where the message box has the focus.
    view->clearFocus();
    watched = view.get();
    iface = QAccessible::queryAccessibleInterface(view.get());
    QVERIFY(iface != nullptr);
    textIf = TextOf(iface);
    QVERIFY(textIf != nullptr);
    told.clear();
  }

  void cleanup() {
    watched = nullptr;
    view.reset();
    iface = nullptr;
    textIf = nullptr;
  }

  void roleStateName() {
    QCOMPARE(iface->role(), QAccessible::EditableText);
    QCOMPARE(iface->text(QAccessible::Name), "Historique des messages");
    const QAccessible::State state = iface->state();
    QVERIFY(state.multiLine);
    QVERIFY(state.editable);
    QVERIFY(state.focusable);
    QVERIFY(!state.readOnly);
    QVERIFY(iface->editableTextInterface() != nullptr);
    QCOMPARE(iface->childCount(), 0);
    Load("un\ndeux");
    QCOMPARE(iface->text(QAccessible::Value), "un\ndeux");
  }

  void textAndSelection_data() {
    QTest::addColumn<QString>("content");
    QTest::newRow("empty") << QString();
    QTest::newRow("one line") << "Ana a dit :";
    QTest::newRow("two lines") << "Ana a dit :\nSalut";
    QTest::newRow("empty lines") << "\n\nx\n\n";
    QTest::newRow("emoji") << "Ana a dit :\n" + kEmoji + " ok " + kEmoji;
    QTest::newRow("accent") << "caf" + kAccent + "\n" + kAccent + kAccent;
    QTest::newRow("both") << kEmoji + kAccent + "\n" + kAccent + kEmoji + "\n";
  }

  // Counts, text, cursor and selection in UTF-16 units, as the model has
  // them; the model has no place inside a surrogate pair.
  void textAndSelection() {
    QFETCH(QString, content);
    Load(content);
    const int count = static_cast<int>(content.size());
    QCOMPARE(textIf->characterCount(), count);
    QCOMPARE(textIf->text(0, count), content);
    QCOMPARE(iface->text(QAccessible::Value), content);
    const auto inPair = [&](int i) {
      return i > 0 && i < count && content[i].isLowSurrogate() && content[i - 1].isHighSurrogate();
    };
    for (int a = 0; a <= count; ++a)
      for (int b = a; b <= count; ++b)
        if (!inPair(a) && !inPair(b)) QCOMPARE(textIf->text(a, b), content.mid(a, b - a));

    for (int at = 0; at <= count; ++at) {
      if (inPair(at)) continue;
      textIf->setCursorPosition(at);
      QCOMPARE(textIf->cursorPosition(), at);
      QCOMPARE(static_cast<int>(view->Model().Offset(view->Model().Cursor())), at);
      QCOMPARE(textIf->selectionCount(), 0);
    }
    for (int a = 0; a < count; ++a) {
      const int b = count - (a % 3);
      if (b <= a || inPair(a) || inPair(b)) continue;
      textIf->setSelection(0, a, b);
      QCOMPARE(textIf->selectionCount(), 1);
      int start = -1;
      int end = -1;
      textIf->selection(0, &start, &end);
      QCOMPARE(start, a);
      QCOMPARE(end, b);
      QCOMPARE(view->Model().SelectedText(), content.mid(a, b - a));
      textIf->removeSelection(0);
      QCOMPARE(textIf->selectionCount(), 0);
      QVERIFY(!view->Model().HasSelection());
      textIf->addSelection(b, a);
      textIf->selection(0, &start, &end);
      QCOMPARE(start, a);
      QCOMPARE(end, b);
      QCOMPARE(textIf->cursorPosition(), a);
    }
  }

  void boundaries_data() {
    QTest::addColumn<QString>("content");
    QTest::newRow("words") << "Ana a dit :\nSalut, tout le monde. Ça va ?\nOui !";
    QTest::newRow("empty lines") << "un\n\n\n\n\n\ndeux\n\n";
    QTest::newRow("starts empty") << "\n\nun deux";
    QTest::newRow("emoji") << kEmoji + " ok\n" + kEmoji + kEmoji + " fin.";
    QTest::newRow("accent") << "caf" + kAccent + " cr" + kAccent + "me\n" + kAccent;
    QTest::newRow("sentences") << "Un. Deux ! Trois ?\nQuatre. Cinq\nsix sept.";
    QString many;
    for (int i = 0; i < 40; ++i)
      many += i % 7 == 0 ? QStringLiteral("mot %1 fin.\n").arg(i) : QStringLiteral("\n");
    QTest::newRow("far apart") << many + "dernier";
  }

  // Characters, words, sentences and lines before, at and after every
  // offset, as found in the whole text at once.
  void boundaries() {
    QFETCH(QString, content);
    Load(content);
    const int count = static_cast<int>(content.size());
    for (const auto type :
         {QAccessible::CharBoundary, QAccessible::WordBoundary, QAccessible::SentenceBoundary,
          QAccessible::LineBoundary, QAccessible::ParagraphBoundary}) {
      for (int offset = -1; offset <= count; ++offset) {
        for (int side = -1; side <= 1; ++side) {
          const Item expected = WholeTextItem(content, type, side, offset);
          Item got;
          if (side < 0) got.text = textIf->textBeforeOffset(offset, type, &got.start, &got.end);
          if (side == 0) got.text = textIf->textAtOffset(offset, type, &got.start, &got.end);
          if (side > 0) got.text = textIf->textAfterOffset(offset, type, &got.start, &got.end);
          QVERIFY2(got == expected,
                   qPrintable(QStringLiteral("boundary %1, side %2, offset %3: \"%4\" %5-%6 "
                                             "instead of \"%7\" %8-%9")
                                  .arg(type)
                                  .arg(side)
                                  .arg(offset)
                                  .arg(got.text)
                                  .arg(got.start)
                                  .arg(got.end)
                                  .arg(expected.text)
                                  .arg(expected.start)
                                  .arg(expected.end)));
        }
      }
    }
  }

  void items_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("side");
    QTest::addColumn<int>("offset");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    const int word = QAccessible::WordBoundary;
    const int character = QAccessible::CharBoundary;
    const int line = QAccessible::LineBoundary;
    QTest::newRow("word at") << "Ana a dit :" << word << 0 << 1 << "Ana" << 0 << 3;
    QTest::newRow("word before") << "Ana a dit :" << word << -1 << 4 << " " << 3 << 4;
    QTest::newRow("word after") << "Ana a\ndit" << word << 1 << 4 << "\n" << 5 << 6;
    QTest::newRow("emoji") << "x" + kEmoji + "y" << character << 0 << 1 << kEmoji << 1 << 3;
    QTest::newRow("inside emoji") << "x" + kEmoji + "y" << character << 0 << 2 << kEmoji << 1 << 3;
    QTest::newRow("after emoji") << "x" + kEmoji + "y" << character << 1 << 1 << "y" << 3 << 4;
    QTest::newRow("accent") << "d" + kAccent + "j" << character << 0 << 1 << kAccent << 1 << 3;
    QTest::newRow("line at") << "un\ndeux" << line << 0 << 1 << "un\n" << 0 << 3;
    QTest::newRow("last line") << "un\ndeux" << line << 0 << 3 << "deux" << 3 << 7;
    QTest::newRow("line before") << "un\ndeux" << line << -1 << 4 << "un\n" << 0 << 3;
    QTest::newRow("line after") << "un\ndeux" << line << 1 << 0 << "deux" << 3 << 7;
    QTest::newRow("end of text") << "un\ndeux" << word << -1 << -1 << "deux" << 3 << 7;
    QTest::newRow("no line before") << "un\ndeux" << line << -1 << 2 << "" << -1 << -1;
  }

  // A few items spelled out.
  void items() {
    QFETCH(QString, content);
    QFETCH(int, type);
    QFETCH(int, side);
    QFETCH(int, offset);
    QFETCH(QString, expected);
    QFETCH(int, start);
    QFETCH(int, end);
    Load(content);
    const auto boundary = static_cast<QAccessible::TextBoundaryType>(type);
    int gotStart = 0;
    int gotEnd = 0;
    QString got;
    if (side < 0) got = textIf->textBeforeOffset(offset, boundary, &gotStart, &gotEnd);
    if (side == 0) got = textIf->textAtOffset(offset, boundary, &gotStart, &gotEnd);
    if (side > 0) got = textIf->textAfterOffset(offset, boundary, &gotStart, &gotEnd);
    QCOMPARE(got, expected);
    QCOMPARE(gotStart, start);
    QCOMPARE(gotEnd, end);
  }

  void geometry_data() {
    QTest::addColumn<QString>("content");
    QTest::newRow("plain") << "Ana a dit :\nSalut";
    QTest::newRow("emoji and accent") << "x" + kEmoji + "y\nd" + kAccent + "j" + kAccent;
  }

  // A character's rectangle is on screen where the view draws it, and the
  // point inside it leads back to it.
  void geometry() {
    QFETCH(QString, content);
    Load(content);
    const EditModel& model = view->Model();
    for (std::size_t line = 0; line < model.LineCount(); ++line) {
      for (TextPos pos{line, 0}; pos.column < model.LineLength(line);
           pos = model.NextCharacter(pos)) {
        const int offset = static_cast<int>(model.Offset(pos));
        const QRect rect = textIf->characterRect(offset);
        const QRect local = view->CharacterRect(pos);
        QVERIFY(!rect.isEmpty());
        QCOMPARE(rect.size(), local.size());
        QCOMPARE(rect.topLeft(), view->viewport()->mapToGlobal(local.topLeft()));
        const QPoint inside(rect.left() + rect.width() / 4, rect.center().y());
        QCOMPARE(textIf->offsetAtPoint(inside), offset);
      }
    }
    QCOMPARE(textIf->offsetAtPoint(view->viewport()->mapToGlobal(QPoint(-5, -5))), -1);
  }

  void editing_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("with");
    QTest::addColumn<QString>("expected");
    QTest::newRow("insert") << "ab\ncd"
                            << "insert" << 4 << 4 << "X"
                            << "ab\ncXd";
    QTest::newRow("insert lines") << "ab\ncd"
                                  << "insert" << 1 << 1 << "1\r\n2"
                                  << "a1\n2b\ncd";
    QTest::newRow("delete across lines") << "ab\ncd"
                                         << "delete" << 1 << 4 << ""
                                         << "ad";
    QTest::newRow("delete emoji") << "a" + kEmoji + "b"
                                  << "delete" << 1 << 3 << ""
                                  << "ab";
    QTest::newRow("replace") << "Ana a dit :\nSalut"
                             << "replace" << 12 << 17 << kAccent + "!"
                             << "Ana a dit :\n" + kAccent + "!";
  }

  // Edits through the interface are the model's edits: each one step of undo.
  void editing() {
    QFETCH(QString, content);
    QFETCH(QString, operation);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, with);
    QFETCH(QString, expected);
    Load(content);
    QAccessibleEditableTextInterface* editable = iface->editableTextInterface();
    QVERIFY(editable != nullptr);
    if (operation == "insert") editable->insertText(start, with);
    if (operation == "delete") editable->deleteText(start, end);
    if (operation == "replace") editable->replaceText(start, end, with);
    QCOMPARE(view->Model().Text(), expected);
    QCOMPARE(textIf->characterCount(), static_cast<int>(expected.size()));
    QVERIFY(view->Model().CanUndo());
    view->Undo();
    QCOMPARE(view->Model().Text(), content);
    QVERIFY(!view->Model().CanUndo());
  }

  void changeEvents_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("end");
    QTest::addColumn<QString>("with");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("inserted");
    QTest::addColumn<QString>("removed");
    QTest::newRow("append") << "Ana a dit :\nSalut"
                            << "append" << 0 << 0 << "Bob a dit :" << int(QAccessible::TextInserted)
                            << 17 << "\nBob a dit :"
                            << "";
    // A message's two lines: one insertion, so a screen reader says them together.
    QTest::newRow("append lines") << "Ana a dit :\nSalut"
                                  << "appendLines" << 0 << 0 << "Bob a dit :\nSalut"
                                  << int(QAccessible::TextInserted) << 17 << "\nBob a dit :\nSalut"
                                  << "";
    QTest::newRow("append emoji") << kEmoji + "\n" + kAccent << "append" << 0 << 0 << kEmoji
                                  << int(QAccessible::TextInserted) << 5 << "\n" + kEmoji << "";
    QTest::newRow("insert") << "ab\ncd"
                            << "insert" << 4 << 4 << kEmoji << int(QAccessible::TextInserted) << 4
                            << kEmoji << "";
    QTest::newRow("insert CR LF") << "ab"
                                  << "insert" << 1 << 1 << "1\r\n2"
                                  << int(QAccessible::TextInserted) << 1 << "1\n2"
                                  << "";
    QTest::newRow("delete") << "ab\ncd"
                            << "delete" << 1 << 4 << "" << int(QAccessible::TextRemoved) << 1 << ""
                            << "b\nc";
    QTest::newRow("replace") << "a" + kEmoji + "b"
                             << "replace" << 1 << 3 << kAccent << int(QAccessible::TextUpdated) << 1
                             << kAccent << kEmoji;
    // Changes of more than a mebibyte (clearing a long history, pasting a
    // log) are told too, by their first kAccessibleTextLimit units.
    QStringList lines;
    for (int i = 0; i < 90000; ++i)
      lines << QStringLiteral("Ana a dit :%1").arg(i);
    const QString large = lines.join(u'\n');
    const int size = static_cast<int>(large.size());
    QTest::newRow("delete large") << large << "delete" << 0 << size << ""
                                  << int(QAccessible::TextRemoved) << 0 << ""
                                  << large.left(kAccessibleTextLimit);
    QTest::newRow("delete large within")
        << "x" + large << "delete" << 1 << size + 1 << "" << int(QAccessible::TextRemoved) << 1
        << "" << large.left(kAccessibleTextLimit);
    QTest::newRow("insert large") << "ab"
                                  << "insert" << 1 << 1 << large << int(QAccessible::TextInserted)
                                  << 1 << large.left(kAccessibleTextLimit) << "";
  }

  // Each change of the text is told once, where it happened, with its text.
  void changeEvents() {
    QFETCH(QString, content);
    QFETCH(QString, operation);
    QFETCH(int, start);
    QFETCH(int, end);
    QFETCH(QString, with);
    QFETCH(int, type);
    QFETCH(int, position);
    QFETCH(QString, inserted);
    QFETCH(QString, removed);
    Load(content);
    QAccessibleEditableTextInterface* editable = iface->editableTextInterface();
    if (operation == "append") view->AppendLine(with);
    if (operation == "appendLines") view->AppendLines(with.split(u'\n'));
    if (operation == "insert") editable->insertText(start, with);
    if (operation == "delete") editable->deleteText(start, end);
    if (operation == "replace") editable->replaceText(start, end, with);
    std::vector<Told> changes;
    for (const auto& item : told)
      if (item.type == QAccessible::TextInserted || item.type == QAccessible::TextRemoved ||
          item.type == QAccessible::TextUpdated)
        changes.push_back(item);
    QCOMPARE(changes.size(), std::size_t{1});
    QCOMPARE(int(changes[0].type), type);
    QCOMPARE(changes[0].position, position);
    QCOMPARE(changes[0].inserted, inserted);
    QCOMPARE(changes[0].removed, removed);
    // An appended line leaves the cursor where it was.
    if (operation.startsWith("append")) QCOMPARE(changes[0].cursor, textIf->cursorPosition());
    // What is told is what the text now holds there.
    QCOMPARE(textIf->text(position, position + static_cast<int>(inserted.size())), inserted);
  }

  // While the history has the focus, its arrivals are not told as
  // insertions, the first nor those held: the window says each arrival
  // (Announcer), and Orca would say an insertion too after some keys. Its
  // edits are told.
  void arrivalsWhileFocused() {
    Load("Ana a dit :");
    view->setFocus();
    QVERIFY(view->hasFocus());
    view->AppendLine("Bob a dit :");
    view->AppendLine("Salut");
    QTest::qWait(1100);
    QVERIFY(Events(QAccessible::TextInserted).empty());
    iface->editableTextInterface()->deleteText(0, 3);
    QCOMPARE(Events(QAccessible::TextRemoved).size(), std::size_t{1});
  }

  // Cursor moves and selections are told with their offsets.
  void cursorEvents() {
    Load("Ana a dit :\n" + kEmoji + "salut");
    textIf->setCursorPosition(14);
    auto moves = Events(QAccessible::TextCaretMoved);
    QCOMPARE(moves.size(), std::size_t{1});
    QCOMPARE(moves[0].cursor, 14);
    QVERIFY(Events(QAccessible::TextSelectionChanged).empty());

    told.clear();
    textIf->setSelection(0, 12, 16);
    auto selections = Events(QAccessible::TextSelectionChanged);
    QCOMPARE(selections.size(), std::size_t{1});
    QCOMPARE(selections[0].selectionStart, 12);
    QCOMPARE(selections[0].selectionEnd, 16);
    moves = Events(QAccessible::TextCaretMoved);
    QCOMPARE(moves.size(), std::size_t{1});
    QCOMPARE(moves[0].cursor, 16);

    // Dropping the selection is told too; the cursor stays.
    told.clear();
    textIf->removeSelection(0);
    selections = Events(QAccessible::TextSelectionChanged);
    QCOMPARE(selections.size(), std::size_t{1});
    QCOMPARE(selections[0].selectionStart, selections[0].selectionEnd);
    QVERIFY(Events(QAccessible::TextCaretMoved).empty());

    // Setting the cursor where it is tells nothing.
    told.clear();
    textIf->setCursorPosition(16);
    QVERIFY(told.empty());
  }

  // With nothing listening, changes and moves tell nothing and make no
  // accessible object.
  void inactive() {
    cleanup();
    SetActive(false);
    QVERIFY(!QAccessible::isActive());
    static const bool installed = [] {
      QAccessible::installFactory(&CountingFactory);
      return true;
    }();
    QVERIFY(installed);
    asked = 0;
    view = std::make_unique<HistoryView>();
    watched = view.get();
    view->SetText("Ana a dit :\nSalut");
    view->AppendLine("Bob a dit :");
    view->SetCursor({1, 2});
    view->Select({0, 0}, {1, 3});
    view->InsertText("x");
    view->Undo();
    QVERIFY(told.empty());
    QCOMPARE(asked, 0);

    // The same view tells once something listens.
    SetActive(true);
    view->AppendLine("Salut");
    QCOMPARE(Events(QAccessible::TextInserted).size(), std::size_t{1});
    QVERIFY(asked > 0);
  }

  // A long history: offsets near its end are found without reading it all
  // and agree with the model.
  void longHistory() {
    QStringList lines;
    for (int i = 0; i < 200000; ++i)
      lines << QStringLiteral("ligne %1").arg(i);
    Load(lines.join(u'\n'));
    const EditModel& model = view->Model();
    const int count = textIf->characterCount();
    QCOMPARE(static_cast<std::size_t>(count), model.CharacterCount());
    int start = -1;
    int end = -1;
    QCOMPARE(textIf->textAtOffset(count - 1, QAccessible::LineBoundary, &start, &end),
             "ligne 199999");
    QCOMPARE(start, count - 12);
    QCOMPARE(end, count);
    QCOMPARE(textIf->textAtOffset(count - 1, QAccessible::WordBoundary, &start, &end), "199999");
    QCOMPARE(start, count - 6);
    QCOMPARE(textIf->textBeforeOffset(count - 1, QAccessible::WordBoundary, &start, &end), " ");
    QCOMPARE(start, count - 7);
    QCOMPARE(textIf->text(count - 6, count), "199999");
    // One request is handed at most kAccessibleTextLimit units, from where
    // it asked.
    const QString head = model.TextBetween({0, 0}, model.PosAt(kAccessibleTextLimit));
    QCOMPARE(textIf->text(0, count), head);
    QCOMPARE(iface->text(QAccessible::Value), head);
    QCOMPARE(textIf->textAtOffset(5, QAccessible::NoBoundary, &start, &end), head);
    QCOMPARE(start, 0);
    QCOMPARE(end, kAccessibleTextLimit);
    const auto from = static_cast<std::size_t>(count - kAccessibleTextLimit - 5);
    QCOMPARE(textIf->text(static_cast<int>(from), count),
             model.TextBetween(model.PosAt(from), model.PosAt(from + kAccessibleTextLimit)));
    view->AppendLine(QStringLiteral("Ana a dit :"));
    const auto inserted = Events(QAccessible::TextInserted);
    QCOMPARE(inserted.size(), std::size_t{1});
    QCOMPARE(inserted[0].position, count);
    QCOMPARE(inserted[0].inserted, "\nAna a dit :");
    // A surrogate pair across the limit is left out whole.
    const QString before(kAccessibleTextLimit - 1, u'x');
    Load(before + kEmoji);
    QCOMPARE(textIf->text(0, textIf->characterCount()), before);
  }

  // Arrivals in a flood: the first is told at once, those that follow
  // within the second in one insertion once it has passed; an edit tells
  // the lines held before itself.
  void floodEvents() {
    Load("Ana a dit :");
    const int start = textIf->characterCount();
    QString rest;
    for (int i = 0; i < 50; ++i) {
      const QString line = QStringLiteral("Flot a dit :%1").arg(i);
      view->AppendLine(line);
      if (i > 0) rest += u'\n' + line;
    }
    auto inserted = Events(QAccessible::TextInserted);
    QCOMPARE(inserted.size(), std::size_t{1});
    QCOMPARE(inserted[0].inserted, "\nFlot a dit :0");
    QTRY_COMPARE_WITH_TIMEOUT(Events(QAccessible::TextInserted).size(), std::size_t{2}, 3000);
    inserted = Events(QAccessible::TextInserted);
    QCOMPARE(inserted[1].position, start + static_cast<int>(inserted[0].inserted.size()));
    QCOMPARE(inserted[1].inserted, rest);
    QCOMPARE(textIf->text(inserted[1].position, textIf->characterCount()), rest);

    // Within the second after that telling, arrivals are held; an edit
    // tells them first.
    told.clear();
    view->AppendLine("Bob a dit :");
    view->AppendLine("Salut");
    QVERIFY(told.empty());
    const int end = textIf->characterCount();
    QAccessibleEditableTextInterface* editable = iface->editableTextInterface();
    editable->deleteText(0, 3);
    QCOMPARE(told.size(), std::size_t{2});
    QCOMPARE(int(told[0].type), int(QAccessible::TextInserted));
    QCOMPARE(told[0].position, end - static_cast<int>(QString("\nBob a dit :\nSalut").size()));
    QCOMPARE(told[0].inserted, "\nBob a dit :\nSalut");
    QCOMPARE(int(told[1].type), int(QAccessible::TextRemoved));
    // Nothing more once their second is over.
    QTest::qWait(1100);
    QCOMPARE(told.size(), std::size_t{2});
  }
};

// The main window's controls carry French names for assistive technology.
class TestControlNames : public QObject {
  Q_OBJECT

private slots:
  void names_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("name");
    QTest::newRow("nickname") << "Edit2"
                              << "pseudo";
    QTest::newRow("message") << "RichEdit2"
                             << "Message";
    QTest::newRow("history") << "RichEdit1"
                             << "Historique des messages";
    QTest::newRow("received font") << "ToolButton1"
                                   << "Police des messages reçus";
    QTest::newRow("sent font") << "ToolButton2"
                               << "Police du message à envoyer";
    QTest::newRow("colour") << "ToolButton3"
                            << "Couleur";
  }

  void names() {
    QFETCH(QString, control);
    QFETCH(QString, name);
    TForm1 form(nullptr);
    form.Show();
    QVERIFY(QTest::qWaitForWindowExposed(form.Window()));
    auto* widget = form.Window()->findChild<QWidget*>(control);
    QVERIFY(widget != nullptr);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(iface != nullptr);
    QCOMPARE(iface->text(QAccessible::Name), name);
  }

  // The nickname's label points at its box, so that its shortcut and its
  // text go to it.
  void labelBuddy() {
    TForm1 form(nullptr);
    QCOMPARE(static_cast<QLabel*>(form.Label1->Widget())->buddy(), form.Edit2->Widget());
  }
};

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TestHistoryAccessible history;
  TestControlNames names;
  return QTest::qExec(&history, argc, argv) | QTest::qExec(&names, argc, argv);
}

#include "test_history_accessible.moc"
