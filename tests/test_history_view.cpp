// The history view against the text box users know: the same keys, mouse
// and input-method events go to a QPlainTextEdit and to a HistoryView of the
// same size and font, and text, cursor and selection must agree; the rows
// must be drawn where the text box draws them.
#include <history/HistoryLayout.h>
#include <history/HistoryView.h>
#include <history/PrimarySelection.h>

#include <QAction>
#include <QClipboard>
#include <QCursor>
#include <QInputMethodEvent>
#include <QLibraryInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextBoundaryFinder>
#include <QTranslator>
#include <QtTest>

#include "HeapInUse.h"

#include <memory>
#include <utility>

namespace {

// A text box set up as the message box is: wrapping at its width, no
// scroll bars, Tab moving the focus on.
std::unique_ptr<QPlainTextEdit> MakeReference(QSize size, const QFont& font) {
  auto edit = std::make_unique<QPlainTextEdit>();
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  edit->setTabChangesFocus(true);
  edit->setFont(font);
  edit->resize(size);
  return edit;
}

// The reference's text with its line and paragraph separators as "\n", as
// the history holds lines.
QString ReferenceText(const QPlainTextEdit& edit) {
  QString text = edit.document()->toRawText();
  text.replace(QChar::ParagraphSeparator, u'\n').replace(QChar::LineSeparator, u'\n');
  return text;
}

// `length` characters of the bytes 0x80–0x9F over and over, as Windows-1252
// decodes them: typographic signs, and U+FFFD for the five it leaves
// undefined.
QString Typographic(int length) {
  static constexpr char16_t kDecoded[32] = {
      0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
  QString text;
  for (int i = 0; i < length; ++i)
    text += QChar(kDecoded[i % 32]);
  return text;
}

// Where the history cuts a long line into pieces: at the last place a row
// may break within a quarter of a piece before each multiple of the
// piece's length, else at that multiple.
QList<int> CutsOf(const QString& line) {
  constexpr int kPiece = HistoryLayout::kPieceLength;
  QList<int> cuts;
  QTextBoundaryFinder rows(QTextBoundaryFinder::Line, line);
  for (int at = kPiece; at < line.size(); at += kPiece) {
    rows.setPosition(at);
    if (!rows.isAtBoundary()) rows.toPreviousBoundary();
    cuts << (rows.position() > at - kPiece / 4 ? static_cast<int>(rows.position()) : at);
  }
  return cuts;
}

void SendWheel(QAbstractScrollArea* widget, int notches) {
  const QPointF at(10, 10);
  QWheelEvent wheel(at, widget->viewport()->mapToGlobal(at), {}, QPoint(0, 120 * notches),
                    Qt::NoButton, {}, Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget->viewport(), &wheel);
}

void SendText(QWidget* widget, const QString& text) {
  // One key press per code point, as a keyboard sends them.
  for (qsizetype i = 0; i < text.size(); ++i) {
    const qsizetype n = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
    QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, text.mid(i, n), Qt::NoModifier);
    i += n - 1;
  }
}

void SendKeys(QWidget* widget, const QString& sequence) {
  const QKeyCombination key = QKeySequence::fromString(sequence, QKeySequence::PortableText)[0];
  QTest::keyClick(widget, key.key(), key.keyboardModifiers());
}

void SendInputMethod(QWidget* widget, const QString& preedit, const QString& commit) {
  QInputMethodEvent event(preedit, {});
  event.setCommitString(commit);
  QApplication::sendEvent(widget, &event);
}

// Where two renderings differ: the box around the pixels that differ,
// empty if none do.
QRect Difference(const QImage& a, const QImage& b) {
  if (a.size() != b.size()) return {QPoint(), a.size().expandedTo(b.size())};
  QRect box;
  const QImage x = a.convertToFormat(QImage::Format_RGB32);
  const QImage y = b.convertToFormat(QImage::Format_RGB32);
  for (int row = 0; row < x.height(); ++row)
    for (int column = 0; column < x.width(); ++column)
      if (x.pixel(column, row) != y.pixel(column, row)) box |= QRect(column, row, 1, 1);
  return box;
}

#define COMPARE_RENDERINGS(a, b)                                                                   \
  do {                                                                                             \
    const QRect box =                                                                              \
        Difference((a)->viewport()->grab().toImage(), (b)->viewport()->grab().toImage());          \
    QVERIFY2(box.isEmpty(), qPrintable(QString("the renderings differ in %1,%2 %3x%4")             \
                                           .arg(box.x())                                           \
                                           .arg(box.y())                                           \
                                           .arg(box.width())                                       \
                                           .arg(box.height())));                                   \
  } while (false)

} // namespace

class TestHistoryView : public QObject {
  Q_OBJECT

  static constexpr QSize kSize{260, 120};
  std::unique_ptr<QPlainTextEdit> reference;
  std::unique_ptr<HistoryView> view;

  // A point on screen at the start of the character at `offset`, as the
  // reference places it: both views must agree that it is there.
  QPoint PointAt(int offset, int dy = 0) const {
    QTextCursor cursor(reference->document());
    cursor.setPosition(offset);
    const QRect rect = reference->cursorRect(cursor);
    return {rect.left() + 1, rect.center().y() + dy};
  }

  // Runs one step of a script on a widget (the reference's viewport or
  // the history's).
  void Step(QAbstractScrollArea* widget, const QString& step) {
    QWidget* area = widget->viewport();
    const QString op = step.section(u':', 0, 0);
    const QString arg = step.section(u':', 1);
    if (op == "k") {
      SendKeys(widget, arg);
    } else if (op == "t") {
      SendText(widget, arg);
    } else if (op == "im") {
      SendInputMethod(widget, {}, arg);
    } else if (op == "clip") {
      QGuiApplication::clipboard()->setText(arg);
    } else if (op == "click" || op == "shiftclick") {
      const auto modifiers = op == "click" ? Qt::NoModifier : Qt::ShiftModifier;
      QTest::mouseClick(area, Qt::LeftButton, modifiers, PointAt(arg.toInt()));
    } else if (op == "dclick") {
      QTest::mouseDClick(area, Qt::LeftButton, {}, PointAt(arg.toInt()));
    } else if (op == "tclick") {
      QTest::mouseDClick(area, Qt::LeftButton, {}, PointAt(arg.toInt()));
      QTest::mouseClick(area, Qt::LeftButton, {}, PointAt(arg.toInt()));
    } else if (op == "drag") { // drag:from-to
      QTest::mousePress(area, Qt::LeftButton, {}, PointAt(arg.section(u'-', 0, 0).toInt()));
      QTest::mouseMove(area, PointAt(arg.section(u'-', 1, 1).toInt()));
      QTest::mouseRelease(area, Qt::LeftButton, {}, PointAt(arg.section(u'-', 1, 1).toInt()));
    } else if (op == "ddrag") {
      // QTest's double click on `from` releases the button: the press after
      // it is a triple click, held and dragged to `to`.
      const QPoint from = PointAt(arg.section(u'-', 0, 0).toInt());
      const QPoint to = PointAt(arg.section(u'-', 1, 1).toInt());
      QTest::mouseDClick(area, Qt::LeftButton, {}, from);
      QTest::mousePress(area, Qt::LeftButton, {}, from);
      QTest::mouseMove(area, to);
      QTest::mouseRelease(area, Qt::LeftButton, {}, to);
    } else if (op == "wdrag") { // a double click on `from` held and dragged to `to`
      DoubleClickDrag(area, PointAt(arg.section(u'-', 0, 0).toInt()),
                      PointAt(arg.section(u'-', 1, 1).toInt()));
    } else if (op == "mclick") { // the middle button pastes the primary selection
      QTest::mouseClick(area, Qt::MiddleButton, {}, PointAt(arg.toInt()));
    } else if (op == "dragout") { // dragout:from:up|down — past an edge
      DragOut(area, PointAt(arg.section(u':', 0, 0).toInt()), arg.section(u':', 1) == "down");
    } else if (op == "menu") { // menu:<entry> — an entry of the context menu, by its words
      ChooseFromMenu(widget, arg);
    } else {
      QFAIL(qPrintable("unknown step " + step));
    }
  }

  // The second press of a double click held and dragged, as a hand does
  // it: press, release, press and double click, move, release. (QTest's
  // double click releases the button, and a press after it makes a triple
  // click.)
  void DoubleClickDrag(QWidget* area, QPoint from, QPoint to) {
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 20);
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
      const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
      QMouseEvent event(type, at, area->mapToGlobal(at), button, buttons, Qt::NoModifier);
      QApplication::sendEvent(area, &event);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, from, Qt::NoButton);
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseButtonDblClick, from, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
  }

  // Opens the box's context menu and chooses the entry of those words
  // (without its accelerator and shortcut), which must be enabled.
  void ChooseFromMenu(QAbstractScrollArea* widget, const QString& entry) {
    auto* edit = qobject_cast<QPlainTextEdit*>(widget);
    const std::unique_ptr<QMenu> menu(edit != nullptr ? edit->createStandardContextMenu()
                                                      : view->CreateStandardContextMenu());
    for (QAction* action : menu->actions()) {
      if (action->isSeparator() || action->text().remove(u'&').section(u'\t', 0, 0) != entry)
        continue;
      QVERIFY2(action->isEnabled(), qPrintable(entry + " is greyed out"));
      action->trigger();
      return;
    }
    QFAIL(qPrintable("no menu entry " + entry));
  }

  // Presses at `from`, holds the mouse past the top or bottom edge until the
  // view has scrolled as far as it goes, and releases it there.
  void DragOut(QWidget* area, QPoint from, bool down) {
    QTest::mousePress(area, Qt::LeftButton, {}, from);
    const QPoint outside(from.x(), down ? area->height() + 60 : -60);
    QCursor::setPos(area->mapToGlobal(outside));
    QTest::mouseMove(area, outside);
    auto* scrollArea = static_cast<QAbstractScrollArea*>(area->parentWidget());
    if (auto* edit = qobject_cast<QPlainTextEdit*>(scrollArea)) {
      QScrollBar* bar = edit->verticalScrollBar();
      QTRY_VERIFY_WITH_TIMEOUT(down ? bar->value() == bar->maximum() : bar->value() == 0, 10000);
    } else {
      QTRY_VERIFY_WITH_TIMEOUT(
          down ? view->Following() : view->FirstVisibleLine() == 0 && view->CursorRect().top() >= 0,
          10000);
    }
    QTest::qWait(50);
    QTest::mouseRelease(area, Qt::LeftButton, {}, outside);
  }

  void Compare(const QString& where) {
    const QTextCursor cursor = reference->textCursor();
    const EditModel& model = view->Model();
    QCOMPARE_EQ(model.Text(), ReferenceText(*reference));
    if (static_cast<int>(model.Offset(model.Cursor())) != cursor.position() ||
        static_cast<int>(model.Offset(model.Anchor())) != cursor.anchor())
      QFAIL(qPrintable(QString("after %1: cursor %2 anchor %3, text box %4 anchor %5")
                           .arg(where)
                           .arg(model.Offset(model.Cursor()))
                           .arg(model.Offset(model.Anchor()))
                           .arg(cursor.position())
                           .arg(cursor.anchor())));
  }

  // Sets up both boxes from the data row's text and selection, then runs
  // its script on both, comparing after every step.
  void RunScript() {
    QFETCH(QString, text);
    QFETCH(int, cursor);
    QFETCH(int, anchor);
    QFETCH(QString, script);
    reference->setPlainText(text);
    view->SetText(text);
    QTextCursor start(reference->document());
    start.setPosition(anchor < 0 ? cursor : anchor);
    start.setPosition(cursor, QTextCursor::KeepAnchor);
    reference->setTextCursor(start);
    const auto at = [&](int offset) {
      return view->Model().PosAt(static_cast<std::size_t>(offset));
    };
    view->Select(at(anchor < 0 ? cursor : anchor), at(cursor));
    view->EnsureCursorVisible();
    Compare("the start");
    for (const QString& step : script.split(u'|')) {
      // The history first: the points of a step come from the text box's
      // geometry before the step.
      Step(view.get(), step);
      Step(reference.get(), step);
      Compare(step);
    }
  }

private slots:
  void init() {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    reference = MakeReference(kSize, font);
    view = std::make_unique<HistoryView>();
    view->setFont(font);
    view->resize(kSize);
    reference->show();
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(reference.get()));
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
    QGuiApplication::clipboard()->clear();
  }

  void cleanup() {
    view.reset();
    reference.reset();
  }

  // Scripts of steps separated by "|": k:<keys>, t:<typed text>,
  // im:<input method commit>, clip:<clipboard text>, click:<offset>,
  // shiftclick:<offset>, dclick:<offset>, tclick:<offset>,
  // drag:<from>-<to>, ddrag:<from>-<to> (a triple click held),
  // wdrag:<from>-<to> (a double click held), dragout:<from>:up|down,
  // menu:<entry of the context menu>.
  void sameAsATextBox_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<QString>("script");
    const QString two = "premier mot\nsecond mot";
    const QString wrapped = "Bonjour tout le monde, voici un message assez long pour tenir sur "
                            "plusieurs rangées de la boîte, coupé aux espaces entre les mots.";
    const QString emoji = QString::fromUtf8("a\xF0\x9F\x98\x80"
                                            "b e\xCC\x81t\xC3\xA9");
    QString many;
    for (int i = 0; i < 40; ++i)
      many += QString("ligne %1 de l'historique\n").arg(i);
    many += "fin";

    // Typing, Enter, Backspace, Delete.
    QTest::newRow("typing") << two << 7 << -1 << "t:abc d";
    QTest::newRow("typing over a selection") << two << 2 << 9 << "t:xy";
    QTest::newRow("Enter") << two << 3 << -1 << "k:Return|t:z|k:Enter";
    QTest::newRow("Shift+Enter") << two << 3 << -1 << "k:Shift+Return";
    QTest::newRow("Enter over a selection") << two << 14 << 4 << "k:Return";
    QTest::newRow("Backspace") << two << 5 << -1 << "k:Backspace|k:Backspace";
    QTest::newRow("Backspace over a selection") << two << 3 << 15 << "k:Backspace";
    QTest::newRow("Backspace joins lines") << two << 12 << -1 << "k:Backspace";
    QTest::newRow("Backspace at the start") << two << 0 << -1 << "k:Backspace";
    QTest::newRow("Backspace over a surrogate pair") << emoji << 3 << -1 << "k:Backspace";
    QTest::newRow("Backspace over a combining accent") << emoji << 7 << -1 << "k:Backspace";
    QTest::newRow("Delete") << two << 2 << -1 << "k:Delete|k:Delete";
    QTest::newRow("Delete over a selection") << two << 15 << 3 << "k:Delete";
    QTest::newRow("Delete joins lines") << two << 11 << -1 << "k:Delete";
    QTest::newRow("Delete at the end") << two << 22 << -1 << "k:Delete";
    QTest::newRow("Delete over a surrogate pair") << emoji << 1 << -1 << "k:Delete";
    QTest::newRow("Delete over an accented letter") << emoji << 5 << -1 << "k:Delete";
    QTest::newRow("typing a character outside the BMP")
        << two << 4 << -1 << QString::fromUtf8("t:\xF0\x9F\x98\x80|k:Left|t:x");
    QTest::newRow("Ctrl+letter types nothing") << two << 4 << -1 << "k:Ctrl+Q|k:Ctrl+Shift+W";

    // Moving by character, word, row, page; with Shift.
    QTest::newRow("Left and Right by grapheme")
        << emoji << 0 << -1 << "k:Right|k:Right|k:Right|k:Right|k:Right|k:Left";
    QTest::newRow("Right across a line break") << two << 10 << -1 << "k:Right|k:Right|k:Right";
    QTest::newRow("Left across a line break") << two << 13 << -1 << "k:Left|k:Left|k:Left";
    QTest::newRow("Left on a selection") << two << 9 << 3 << "k:Left";
    QTest::newRow("Right on a selection") << two << 9 << 3 << "k:Right";
    QTest::newRow("Shift+Left and Shift+Right")
        << two << 5 << -1 << "k:Shift+Right|k:Shift+Right|k:Shift+Left|k:Shift+Left|k:Shift+Left";
    QTest::newRow("Ctrl+Right by word")
        << wrapped << 0 << -1 << "k:Ctrl+Right|k:Ctrl+Right|k:Ctrl+Right|k:Ctrl+Right";
    QTest::newRow("Ctrl+Left by word")
        << wrapped << 30 << -1 << "k:Ctrl+Left|k:Ctrl+Left|k:Ctrl+Left";
    QTest::newRow("Ctrl+Right across lines")
        << two << 8 << -1 << "k:Ctrl+Right|k:Ctrl+Right|k:Ctrl+Right";
    QTest::newRow("Ctrl+Left across lines")
        << two << 14 << -1 << "k:Ctrl+Left|k:Ctrl+Left|k:Ctrl+Left";
    QTest::newRow("Ctrl+Shift+Right") << two << 0 << -1 << "k:Ctrl+Shift+Right|k:Ctrl+Shift+Right";
    QTest::newRow("Ctrl+Shift+Left") << two << 20 << -1 << "k:Ctrl+Shift+Left|k:Ctrl+Shift+Left";
    QTest::newRow("Down by row of a wrapped line") << wrapped << 5 << -1 << "k:Down|k:Down|k:Down";
    QTest::newRow("Up by row of a wrapped line") << wrapped << 120 << -1 << "k:Up|k:Up";
    QTest::newRow("Down keeps its column")
        << "abcdefgh\nab\nabcdefgh" << 6 << -1 << "k:Down|k:Down";
    QTest::newRow("Up keeps its column") << "abcdefgh\nab\nabcdefgh" << 18 << -1 << "k:Up|k:Up";
    QTest::newRow("Up on the first row") << two << 5 << -1 << "k:Up";
    QTest::newRow("Down on the last row") << two << 15 << -1 << "k:Down";
    QTest::newRow("Shift+Down and Shift+Up")
        << wrapped << 10 << -1 << "k:Shift+Down|k:Shift+Down|k:Shift+Up";
    QTest::newRow("Home and End by row") << wrapped << 70 << -1 << "k:Home|t:<|k:End|t:>";
    QTest::newRow("End of a row broken at a space") << wrapped << 3 << -1 << "k:End";
    QTest::newRow("Shift+Home and Shift+End") << wrapped << 70 << -1 << "k:Shift+End|k:Shift+Home";
    QTest::newRow("Ctrl+Home and Ctrl+End") << two << 5 << -1 << "k:Ctrl+End|t:x|k:Ctrl+Home|t:y";
    QTest::newRow("Ctrl+Shift+End") << two << 5 << -1 << "k:Ctrl+Shift+End";
    QTest::newRow("Ctrl+Shift+Home") << two << 15 << -1 << "k:Ctrl+Shift+Home";
    QTest::newRow("PageDown") << many << 3 << -1 << "k:PgDown";
    QTest::newRow("PageDown twice") << many << 3 << -1 << "k:PgDown|k:PgDown";
    QTest::newRow("PageUp") << many << 800 << -1 << "k:PgUp";
    QTest::newRow("PageDown at the end") << many << 900 << -1 << "k:PgDown";
    QTest::newRow("PageUp at the start") << many << 10 << -1 << "k:PgUp";
    QTest::newRow("Shift+PageDown") << many << 3 << -1 << "k:Shift+PgDown";
    QTest::newRow("Shift+PageUp") << many << 700 << -1 << "k:Shift+PgUp";
    // Long lines (laid out whole up to HistoryLayout::kPieceLength): without
    // spaces, and of the signs that bytes 0x80–0x9F decode to.
    for (const auto& [name, line] : {std::pair{"without spaces", QString(1000, u'x')},
                                     std::pair{"of 0x80-0x9F", Typographic(1000)}}) {
      const QString lines = QStringList{line, line, line}.join(u'\n');
      const QString pages = QString("k:PgDown|").repeated(9) + "k:PgDown";
      const auto row = [&](const char* what) -> QTestData& {
        return QTest::newRow(qPrintable(what + QString(name)));
      };
      row("PageDown over long lines ") << lines << 0 << -1 << pages;
      row("PageUp over long lines ") << lines << 3002 << -1 << QString(pages).replace("Down", "Up");
      row("Ctrl+End, Ctrl+Home over long lines ")
          << lines << 500 << -1 << "k:Ctrl+End|k:PgUp|k:Ctrl+Home|k:PgDown|k:Ctrl+End";
      row("Down and Up over long lines ")
          << lines << 940 << -1
          << QString("k:Down|").repeated(4) + QString("k:Up|").repeated(5) + "k:Up";
    }

    // Deleting by word, selecting all.
    QTest::newRow("Ctrl+Backspace") << wrapped << 22 << -1 << "k:Ctrl+Backspace|k:Ctrl+Backspace";
    QTest::newRow("Ctrl+Backspace joins lines") << two << 12 << -1 << "k:Ctrl+Backspace";
    QTest::newRow("Ctrl+Delete") << wrapped << 8 << -1 << "k:Ctrl+Delete|k:Ctrl+Delete";
    QTest::newRow("Ctrl+Delete over a selection") << two << 2 << 5 << "k:Ctrl+Delete";
    QTest::newRow("Ctrl+A") << two << 5 << -1 << "k:Ctrl+A";
    QTest::newRow("Ctrl+K") << two << 3 << -1 << "k:Ctrl+K";
    QTest::newRow("Insert then type") << two << 3 << -1 << "k:Ins|t:xy";
    QTest::newRow("Ctrl+Up and Ctrl+Down")
        << wrapped << 40 << -1 << "k:Ctrl+Down|k:Ctrl+Up|k:Ctrl+Up";
    // Tab moves the focus on in a window; alone on screen, it is typed.
    QTest::newRow("Tab, Escape") << two << 3 << -1 << "k:Tab|k:Esc|k:Backtab";
    QTest::newRow("Ctrl+A then type") << two << 5 << -1 << "k:Ctrl+A|t:x";

    // Undo and redo.
    QTest::newRow("typing undone as one step") << two << 4 << -1 << "t:abc|t:def|k:Ctrl+Z";
    QTest::newRow("typing across a word undone whole") << two << 4 << -1 << "t:ab cd|k:Ctrl+Z";
    QTest::newRow("typing then Enter, undo twice")
        << two << 4 << -1 << "t:ab|k:Return|t:cd|k:Ctrl+Z|k:Ctrl+Z";
    QTest::newRow("select all and type, undone whole")
        << two << 4 << -1 << "k:Ctrl+A|t:xyz|k:Ctrl+Z";
    QTest::newRow("select all and type, undo, redo")
        << two << 4 << -1 << "k:Ctrl+A|t:xyz|k:Ctrl+Z|k:Ctrl+Shift+Z";
    QTest::newRow("Backspaces undone as one step")
        << two << 8 << -1 << "k:Backspace|k:Backspace|k:Backspace|k:Ctrl+Z";
    QTest::newRow("Deletes undone as one step") << two << 2 << -1 << "k:Delete|k:Delete|k:Ctrl+Z";
    QTest::newRow("typing after a move is a new step")
        << two << 2 << -1 << "t:ab|k:Right|t:cd|k:Ctrl+Z";
    QTest::newRow("undo a cut selection") << two << 2 << 14 << "k:Delete|k:Ctrl+Z";
    QTest::newRow("redo with Ctrl+Shift+Z") << two << 4 << -1 << "t:ab|k:Ctrl+Z|k:Ctrl+Shift+Z";
    QTest::newRow("Ctrl+Y") << two << 4 << -1 << "t:ab|k:Ctrl+Z|k:Ctrl+Y";
    QTest::newRow("undo everything, redo everything")
        << two << 4 << -1
        << "t:ab|k:Return|k:Backspace|k:Ctrl+Delete|k:Ctrl+Z|k:Ctrl+Z|k:Ctrl+Z|k:Ctrl+Z|k:Ctrl+"
           "Shift+Z|k:Ctrl+Shift+Z|k:Ctrl+Shift+Z|k:Ctrl+Shift+Z";
    QTest::newRow("an edit after undo drops the redo")
        << two << 4 << -1 << "t:ab|k:Ctrl+Z|t:c|k:Ctrl+Shift+Z";

    // The context menu's edits, as the keys do them: each forgets the
    // column Up and Down were keeping; a copy keeps it.
    const QString columns = "abcdefgh\nabcdefgh\nabcdefgh";
    QTest::newRow("menu Undo, then Down") << columns << 1 << -1 << "t:x|k:Down|menu:Undo|k:Down";
    QTest::newRow("menu Redo, then Down")
        << columns << 1 << -1 << "t:x|k:Ctrl+Z|k:Down|menu:Redo|k:Down";
    QTest::newRow("menu Delete, then Up")
        << "abcdefgh\nab\nabcdefgh" << 6 << -1 << "k:Down|k:Shift+Down|menu:Delete|k:Up";
    QTest::newRow("menu Cut, then Up")
        << "abcdefgh\nab\nabcdefgh" << 6 << -1 << "k:Down|k:Shift+Down|menu:Cut|k:Up";
    QTest::newRow("Ctrl+X, then Up")
        << "abcdefgh\nab\nabcdefgh" << 6 << -1 << "k:Down|k:Shift+Down|k:Ctrl+X|k:Up";
    QTest::newRow("menu Paste, then Up") << columns << 1 << -1 << "clip:xyz|k:Down|menu:Paste|k:Up";
    QTest::newRow("menu Select All, then Up") << columns << 20 << -1 << "k:Up|menu:Select All|k:Up";
    QTest::newRow("Ctrl+A, then Up") << columns << 20 << -1 << "k:Up|k:Ctrl+A|k:Up";
    QTest::newRow("menu Copy keeps the column")
        << columns << 20 << -1 << "k:Up|k:Shift+Right|menu:Copy|k:Up";

    // Clipboard.
    QTest::newRow("Ctrl+C then Ctrl+V") << two << 0 << 7 << "k:Ctrl+C|k:End|k:Ctrl+V";
    QTest::newRow("Ctrl+X then Ctrl+V") << two << 0 << 8 << "k:Ctrl+X|k:Ctrl+End|k:Ctrl+V";
    QTest::newRow("Ctrl+Insert then Shift+Insert")
        << two << 12 << 22 << "k:Ctrl+Ins|k:Ctrl+Home|k:Shift+Ins";
    QTest::newRow("Shift+Delete cuts") << two << 3 << 15 << "k:Shift+Del|k:Ctrl+End|k:Ctrl+V";
    QTest::newRow("pasting lines") << two << 4 << -1 << "clip:un\ndeux\r\ntrois|k:Ctrl+V";
    QTest::newRow("pasting over a selection, undone")
        << two << 2 << 16 << "clip:x\ny|k:Ctrl+V|k:Ctrl+Z";

    // Input methods.
    QTest::newRow("input method commit")
        << two << 3 << -1 << QString::fromUtf8("im:\xC3\xA9|im:\xC3\xAA");
    QTest::newRow("input method commit, undo")
        << two << 3 << -1 << QString::fromUtf8("im:\xC3\xA9|t:t|k:Ctrl+Z");

    // The mouse.
    QTest::newRow("click") << two << 0 << -1 << "click:5|t:x|click:15|t:y";
    QTest::newRow("click on a wrapped row") << wrapped << 0 << -1 << "click:80|t:x";
    QTest::newRow("shift-click") << two << 3 << -1 << "shiftclick:16";
    QTest::newRow("double click selects a word") << two << 0 << -1 << "dclick:3";
    QTest::newRow("double click on the second word") << two << 0 << -1 << "dclick:16";
    QTest::newRow("double click on a separator") << "un, deux" << 0 << -1 << "dclick:2";
    QTest::newRow("triple click then drag by lines") << wrapped << 0 << -1 << "ddrag:9-30";
    QTest::newRow("triple click then drag back by lines") << wrapped << 0 << -1 << "ddrag:30-9";
    // Held after a double click, the mouse selects by words: to the edge of
    // the word under it that is nearer the mouse.
    const QString words = "un deux trois\nquatre cinq six";
    QTest::newRow("double click held, dragged onto a word's start")
        << words << 0 << -1 << "wdrag:4-9";
    QTest::newRow("double click held, dragged onto a word's end")
        << words << 0 << -1 << "wdrag:4-12";
    QTest::newRow("double click held, dragged to the next line")
        << words << 0 << -1 << "wdrag:4-16";
    QTest::newRow("double click held, dragged back onto a word's end")
        << words << 0 << -1 << "wdrag:24-5";
    QTest::newRow("double click held, dragged back onto a word's start")
        << words << 0 << -1 << "wdrag:24-4";
    QTest::newRow("double click held, dragged within the word") << words << 0 << -1 << "wdrag:4-5";
    QTest::newRow("triple click held, dragged to the next line's start")
        << two << 0 << -1 << "ddrag:3-12";
    QTest::newRow("triple click held, dragged back to the line's start")
        << two << 0 << -1 << "ddrag:15-12";
    QTest::newRow("triple click selects a line") << two << 0 << -1 << "tclick:3";
    QTest::newRow("triple click on the last line") << two << 0 << -1 << "tclick:15";
    QTest::newRow("drag selects") << two << 0 << -1 << "drag:2-16";
    QTest::newRow("drag backwards") << two << 0 << -1 << "drag:16-2";
    QTest::newRow("drag then type") << wrapped << 0 << -1 << "drag:10-90|t:X";
    QTest::newRow("drag past the bottom scrolls") << many << 0 << -1 << "dragout:5:down";
    QTest::newRow("drag past the top scrolls") << many << 0 << -1 << "k:Ctrl+End|dragout:900:up";
  }

  void sameAsATextBox() { RunScript(); }

  // A line longer than HistoryLayout::kPieceLength is laid out in pieces,
  // each on rows of its own: its rows are those of a text box holding the
  // same text with a line break at each cut. After each step of the script
  // (k:<keys>, wheel:<notches>), the top row and the cursor's row must be
  // the text box's, and the cursor at the same character; right of a
  // piece's last row the cursor goes before its last character, as right
  // of a wrapped row.
  void longLinesInPieces_data() {
    QTest::addColumn<QString>("line");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("script");
    const QString downs = QString("k:PgDown|").repeated(29) + "k:PgDown";
    const QString ups = QString(downs).replace("Down", "Up");
    // A notch at a time: a text box scrolls a larger turn by a page at most.
    const QString wheel = QString("wheel:-1|").repeated(60) + QString("wheel:1|").repeated(40);
    for (const auto& [name, line] : {std::pair{"without spaces", QString(2600, u'x')},
                                     std::pair{"of 0x80-0x9F", Typographic(2600)}}) {
      const auto row = [&](const char* what) -> QTestData& {
        return QTest::newRow(qPrintable(what + QString(name)));
      };
      row("PageDown ") << line << 0 << downs;
      row("PageUp ") << line << 2 * 2601 - 1 << ups;
      row("PageUp from the middle ") << line << 2601 + 1000 << ups;
      row("Ctrl+End, Ctrl+Home ") << line << 1500 << "k:Ctrl+End|k:PgUp|k:Ctrl+Home|k:Ctrl+End";
      row("Down from a row's end ")
          << line << 0 << "k:End|k:Left|" + QString("k:Down|").repeated(69) + "k:Down";
      row("Up ") << line << 2601 + 2500 << QString("k:Up|").repeated(59) + "k:Up";
      row("wheel ") << line << 0 << wheel.chopped(1);
    }
  }
  void longLinesInPieces() {
    QFETCH(QString, line);
    QFETCH(int, cursor);
    QFETCH(QString, script);
    // Two such lines; the text box's text has a break before each cut.
    const QString text = line + u'\n' + line;
    QList<int> cuts;
    for (const int cut : CutsOf(line))
      cuts << cut;
    for (const int cut : CutsOf(line))
      cuts << static_cast<int>(line.size()) + 1 + cut;
    QString broken = text;
    for (qsizetype i = cuts.size(); i-- > 0;)
      broken.insert(cuts[i], u'\n');
    // From the text box's offsets to the history's: the breaks before it go;
    // at a break (right of a piece's last row), before the last character.
    const auto ours = [&](int offset, bool atBreakBefore) {
      for (qsizetype i = 0; i < cuts.size(); ++i) {
        if (offset == cuts[i] + i)
          return atBreakBefore ? offset - static_cast<int>(i) - 1 : offset - static_cast<int>(i);
        if (offset < cuts[i] + i) return offset - static_cast<int>(i);
      }
      return offset - static_cast<int>(cuts.size());
    };
    view->SetText(text);
    reference->setPlainText(broken);
    // Every block laid out: a text box scrolls over blocks it has not laid
    // out yet as if each were one row.
    auto* blocks = qobject_cast<QPlainTextDocumentLayout*>(reference->document()->documentLayout());
    for (QTextBlock block = reference->document()->begin(); block.isValid(); block = block.next())
      blocks->ensureBlockLayout(block);
    const int start =
        static_cast<int>(std::upper_bound(cuts.begin(), cuts.end(), cursor) - cuts.begin());
    QTextCursor place(reference->document());
    place.setPosition(cursor + start);
    reference->setTextCursor(place);
    view->SetCursor(view->Model().PosAt(static_cast<std::size_t>(cursor)));
    view->EnsureCursorVisible();
    const EditModel& model = view->Model();
    const QPoint corner(6, 8);
    for (const QString& step : script.split(u'|')) {
      for (QAbstractScrollArea* widget : {static_cast<QAbstractScrollArea*>(view.get()),
                                          static_cast<QAbstractScrollArea*>(reference.get())}) {
        if (step.startsWith("wheel:"))
          SendWheel(widget, step.mid(6).toInt());
        else
          SendKeys(widget, step.mid(2));
      }
      const int top = static_cast<int>(model.Offset(view->PositionAt(corner)));
      QCOMPARE_EQ(top, ours(reference->cursorForPosition(corner).position(), false));
      const QTextCursor theirs = reference->textCursor();
      const int at = static_cast<int>(model.Offset(model.Cursor()));
      if (at != ours(theirs.position(), true))
        QFAIL(qPrintable(QString("after %1: cursor %2, text box %3")
                             .arg(step)
                             .arg(at)
                             .arg(ours(theirs.position(), true))));
      // The same row: the text box rounds its rows' heights apart.
      const QRect rect = view->CursorRect();
      const QRect expected = reference->cursorRect(theirs);
      if (rect.isEmpty())
        QVERIFY2(expected.bottom() < 0 || expected.top() >= view->viewport()->height(),
                 qPrintable(step));
      else
        QVERIFY2(std::abs(rect.top() - expected.top()) <= 1,
                 qPrintable(QString("after %1: cursor's row at %2, text box's at %3")
                                .arg(step)
                                .arg(rect.top())
                                .arg(expected.top())));
    }
  }

  // The X11 primary selection: selecting sets it, the middle button pastes
  // it where it is released.
  void primarySelection_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<QString>("script");
    const QString two = "premier mot\nsecond mot";
    QTest::newRow("drag, middle click") << two << 0 << -1 << "drag:0-7|mclick:19";
    QTest::newRow("double click, middle click") << two << 0 << -1 << "dclick:14|mclick:3";
    QTest::newRow("Shift+arrows, middle click") << two << 0 << -1 << "k:Shift+End|mclick:22";
    QTest::newRow("Ctrl+A, middle click") << two << 0 << -1 << "k:Ctrl+A|k:Right|mclick:22";
  }
  void primarySelection() {
    if (!QGuiApplication::clipboard()->supportsSelection())
      QSKIP("this platform has no primary selection; ctest runs this case again under Xvfb");
    QFETCH(QString, text);
    QFETCH(QString, script);
    // Each box alone, so that neither pastes what the other selected.
    view->SetText(text);
    reference->setPlainText(text);
    const QStringList steps = script.split(u'|');
    QGuiApplication::clipboard()->clear(QClipboard::Selection);
    for (const QString& step : steps)
      Step(view.get(), step);
    QGuiApplication::clipboard()->clear(QClipboard::Selection);
    for (const QString& step : steps)
      Step(reference.get(), step);
    Compare("the script");
    QVERIFY(view->Model().Text() != text);
  }

  // Selecting hands nothing out in advance: the text is read when a
  // program asks for it, and clearing a long history keeps no copy of it.
  void primarySelectionOnRequest() {
    if (!QGuiApplication::clipboard()->supportsSelection())
      QSKIP("this platform has no primary selection; ctest runs this case again under Xvfb");
    QClipboard* clipboard = QGuiApplication::clipboard();
    HistoryView log;
    log.resize(kSize);
    const QString line(100, u'x');
    for (int i = 0; i < 50'000; ++i)
      log.AppendLine(line);
    const std::size_t heapBefore = HeapInUse();
    QTest::keyClick(&log, Qt::Key_A, Qt::ControlModifier);
    const std::size_t held = HeapInUse() - std::min(heapBefore, HeapInUse());
    QVERIFY2(held < (1u << 20), qPrintable(QString::number(held)));
    QCOMPARE(clipboard->text(QClipboard::Selection).size(), 101 * 50'000);
    QTest::keyClick(&log, Qt::Key_Delete);
    QVERIFY(clipboard->text(QClipboard::Selection).isEmpty());
  }

  // Where the rows fall: every cursor place of the text is drawn at the
  // same spot as in the text box, and the rendered pixels agree.
  void rowsFallWhereATextBoxDrawsThem_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("one short line") << "Ana a dit :";
    QTest::newRow("a 150-character message")
        << "Ana a dit :\n" +
               QString("Voici un message de cent cinquante caractères qui ne tient pas "
                       "sur une rangée et doit se lire, rangée après rangée, en entier.")
                   .left(150);
    QTest::newRow("a word longer than the box") << QString(90, u'x') + " fin";
    QTest::newRow("empty lines") << "\n\nun\n\ndeux\n";
    QTest::newRow("emoji and accents")
        << QString::fromUtf8("caf\xC3\xA9 e\xCC\x81 \xF0\x9F\x98\x80 ok");
  }

  void rowsFallWhereATextBoxDrawsThem() {
    QFETCH(QString, text);
    reference->setPlainText(text);
    view->SetText(text);
    reference->clearFocus();
    view->clearFocus();
    for (int offset = 0; offset <= static_cast<int>(view->Model().CharacterCount()); ++offset) {
      if (!view->Model().IsCursorPosition(view->Model().PosAt(static_cast<std::size_t>(offset))))
        continue; // inside a character: no cursor goes there
      QTextCursor cursor(reference->document());
      cursor.setPosition(offset);
      reference->setTextCursor(cursor);
      view->SetCursor(view->Model().PosAt(static_cast<std::size_t>(offset)));
      const QRect expected = reference->cursorRect();
      const QRect actual = view->CursorRect();
      if (actual.topLeft() != expected.topLeft() || actual.height() != expected.height())
        QFAIL(qPrintable(QString("offset %1: cursor at %2,%3 h%4, text box at %5,%6 h%7")
                             .arg(offset)
                             .arg(actual.x())
                             .arg(actual.y())
                             .arg(actual.height())
                             .arg(expected.x())
                             .arg(expected.y())
                             .arg(expected.height())));
    }
    COMPARE_RENDERINGS(view, reference);
  }

  // Reading position: new lines show while the end is in view; scrolled
  // back, the view does not move at all; reaching the end again follows.
  void readingPosition_data() {
    QTest::addColumn<QString>("back");  // how the user scrolls back
    QTest::addColumn<QString>("again"); // how the user comes back to the end
    QTest::newRow("wheel, wheel") << "wheel:2"
                                  << "wheel:-30";
    QTest::newRow("wheel, Ctrl+End") << "wheel:1"
                                     << "k:Ctrl+End";
    QTest::newRow("PageUp, PageDown") << "k:PgUp"
                                      << "k:PgDown|k:PgDown|k:PgDown";
    QTest::newRow("Ctrl+Home, Ctrl+End") << "k:Ctrl+Home"
                                         << "k:Ctrl+End";
    // The cursor stays on the line it was on as lines arrive: more rows down.
    QTest::newRow("Up, Down") << QString("k:Up|").repeated(7) + "k:Up"
                              << QString("k:Down|").repeated(13) + "k:Down";
  }
  void readingPosition() {
    QFETCH(QString, back);
    QFETCH(QString, again);
    const auto append = [&](int count) {
      for (int i = 0; i < count; ++i)
        view->AppendLine(QString("message %1").arg(view->Model().LineCount()));
    };
    const auto run = [&](const QString& script) {
      for (const QString& step : script.split(u'|')) {
        if (step.startsWith("wheel:")) {
          QWheelEvent wheel(QPointF(10, 10), view->mapToGlobal(QPointF(10, 10)), {},
                            QPoint(0, 120 * step.mid(6).toInt()), Qt::NoButton, {},
                            Qt::NoScrollPhase, false);
          QApplication::sendEvent(view->viewport(), &wheel);
        } else {
          Step(view.get(), step);
        }
      }
    };
    append(30);
    QVERIFY(view->Following());
    QCOMPARE(view->LastVisibleLine(), 30);
    view->SetCursor(view->Model().End());
    run(back);
    QVERIFY(!view->Following());
    const QImage before = view->viewport()->grab().toImage();
    const int first = view->FirstVisibleLine();
    append(5);
    QCOMPARE(view->FirstVisibleLine(), first);
    QCOMPARE(view->viewport()->grab().toImage(), before);
    run(again);
    QVERIFY2(view->Following(), qPrintable(QString("first %1 last %2")
                                               .arg(view->FirstVisibleLine())
                                               .arg(view->LastVisibleLine())));
    QCOMPARE(view->LastVisibleLine(), 35);
    append(1);
    QCOMPARE(view->LastVisibleLine(), 36);
    // A narrower box wraps the lines anew and still shows the end.
    view->resize(kSize.width() / 2, kSize.height());
    append(1);
    QCOMPARE(view->LastVisibleLine(), 37);
  }

  // The context menu: the entries of a text box's menu, enabled alike, in
  // Qt's own French.
  void contextMenu_data() {
    QTest::addColumn<QString>("script");
    QTest::newRow("empty") << "";
    QTest::newRow("with text") << "t:abc";
    QTest::newRow("with a selection") << "t:abc|k:Shift+Left";
    QTest::newRow("after undo") << "t:abc|k:Ctrl+Z";
    QTest::newRow("with something to paste") << "clip:x|t:a";
  }
  void contextMenu() {
    QFETCH(QString, script);
    QTranslator french;
    QVERIFY(french.load("qtbase_fr", QLibraryInfo::path(QLibraryInfo::TranslationsPath)));
    QCoreApplication::installTranslator(&french);
    if (!script.isEmpty())
      for (const QString& step : script.split(u'|')) {
        Step(view.get(), step);
        Step(reference.get(), step);
      }
    const auto entries = [](QMenu* menu) {
      QStringList list;
      for (QAction* action : menu->actions())
        if (!action->isSeparator())
          list << action->text() + (action->isEnabled() ? "" : " (grisé)");
      delete menu;
      return list;
    };
    QStringList ours = entries(view->CreateStandardContextMenu());
    // The one entry a plain text box lacks comes last.
    QCOMPARE(ours.takeLast(), QString("Rechercher…\tCtrl+F"));
    QCOMPARE(ours, entries(reference->createStandardContextMenu()));
    QStringList words;
    for (QString entry : ours)
      words << entry.remove(u'&').section(u'\t', 0, 0).remove(" (grisé)");
    QCOMPARE(words, (QStringList{"Annuler", "Rétablir", "Couper", "Copier", "Coller", "Supprimer",
                                 "Tout sélectionner"}));
    QCoreApplication::removeTranslator(&french);
  }

  void contextMenuActions() {
    view->SetText("un deux trois");
    view->Select({0, 3}, {0, 8});
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10),
                            view->mapToGlobal(QPoint(10, 10)));
    QApplication::sendEvent(view->viewport(), &event);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QVERIFY(menu != nullptr);
    const auto trigger = [](QMenu* m, int index) {
      QList<QAction*> actions;
      for (QAction* action : m->actions())
        if (!action->isSeparator()) actions << action;
      actions.at(index)->trigger();
    };
    trigger(menu, 2); // cut
    menu->close();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("deux "));
    QCOMPARE(view->Model().Text(), QString("un trois"));
    std::unique_ptr<QMenu> second(view->CreateStandardContextMenu());
    trigger(second.get(), 0); // undo
    QCOMPARE(view->Model().Text(), QString("un deux trois"));
    trigger(second.get(), 6); // select all
    QCOMPARE(view->Model().SelectedText(), QString("un deux trois"));
    std::unique_ptr<QMenu> third(view->CreateStandardContextMenu());
    trigger(third.get(), 5); // delete
    QCOMPARE(view->Model().Text(), QString());
  }

  // Input methods: the pre-edit text shows at the cursor as in a text box,
  // and the box answers the same queries.
  void inputMethod_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cursor");
    QTest::addColumn<QString>("preedit");
    QTest::newRow("dead key") << "premier mot\nsecond mot" << 15 << "^";
    QTest::newRow("compose in a wrapped line")
        << "Bonjour tout le monde, voici un message assez long pour tenir sur plusieurs rangées"
        << 70 << QString::fromUtf8("\xC3\xA9t\xC3\xA9");
    QTest::newRow("at the start") << "abc" << 0 << "x";
  }
  void inputMethod() {
    QFETCH(QString, text);
    QFETCH(int, cursor);
    QFETCH(QString, preedit);
    reference->setPlainText(text);
    view->SetText(text);
    QTextCursor start(reference->document());
    start.setPosition(cursor);
    reference->setTextCursor(start);
    view->SetCursor(view->Model().PosAt(static_cast<std::size_t>(cursor)));
    for (QWidget* widget :
         {static_cast<QWidget*>(reference.get()), static_cast<QWidget*>(view.get())}) {
      QTextCharFormat underline;
      underline.setFontUnderline(true);
      QInputMethodEvent event(
          preedit, {{QInputMethodEvent::TextFormat, 0, static_cast<int>(preedit.size()), underline},
                    {QInputMethodEvent::Cursor, static_cast<int>(preedit.size()), 0, {}}});
      QApplication::sendEvent(widget, &event);
    }
    for (const Qt::InputMethodQuery query :
         {Qt::ImCursorRectangle, Qt::ImSurroundingText, Qt::ImCursorPosition, Qt::ImAnchorPosition,
          Qt::ImCurrentSelection, Qt::ImTextBeforeCursor, Qt::ImTextAfterCursor})
      QCOMPARE(view->inputMethodQuery(query), reference->inputMethodQuery(query));
    QCOMPARE(view->Model().Text(), text); // a pre-edit is not text yet
    reference->clearFocus();
    view->clearFocus();
    COMPARE_RENDERINGS(view, reference);
    // Committed, it is typed text.
    SendInputMethod(view.get(), {}, preedit);
    SendInputMethod(reference.get(), {}, preedit);
    Compare("the commit");
    COMPARE_RENDERINGS(view, reference);
  }

  // A full history, by lines or by bytes, turns messages away whole (never
  // removing old ones), counts them, and signals it once; clearing it makes
  // room again. (The window says it in words: see test_form.)
  void capacity_data() {
    QTest::addColumn<std::size_t>("lines");
    QTest::addColumn<std::size_t>("bytes");
    QTest::newRow("lines") << std::size_t{6} << EditModel::kBudget;
    // The empty line and three messages: 8 + 3 * (11 + 8 + 9 + 8) bytes.
    QTest::newRow("bytes") << EditModel::kCapacity << std::size_t{116};
  }
  void capacity() {
    QFETCH(std::size_t, lines);
    QFETCH(std::size_t, bytes);
    HistoryView small(nullptr, lines, bytes);
    small.resize(kSize);
    small.show();
    QSignalSpy full(&small, &HistoryView::HistoryFull);
    int shown = 0;
    for (int i = 0; i < 10; ++i) {
      if (!small.HasRoom()) continue;
      small.AppendLine(QString("Ana a dit :"));
      small.AppendLine(QString("message %1").arg(i));
      ++shown;
    }
    QCOMPARE(shown, 3); // 1 empty line, then three messages: 7 lines
    QCOMPARE(small.Model().LineCount(), 7u);
    QCOMPARE(small.Model().Line(1), QString("Ana a dit :"));
    QCOMPARE(small.Refused(), 7u);
    QCOMPARE(full.count(), 1);
    // Cleared by the user: messages show again, and a new fill says so anew.
    QTest::keyClick(&small, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(&small, Qt::Key_Delete);
    QVERIFY(small.HasRoom());
    QCOMPARE(full.count(), 1);
    for (int i = 0; i < 20; ++i)
      if (small.HasRoom()) small.AppendLine("x");
    QVERIFY(!small.HasRoom());
    QCOMPARE(full.count(), 2);
  }

  // A paste larger than a message can carry is refused and signalled; the
  // clipboard keeps it.
  void pasteTooLarge() {
    QSignalSpy refused(view.get(), &HistoryView::PasteTooLarge);
    const QString text(HistoryView::kMaxPaste + 1, u'x');
    QGuiApplication::clipboard()->setText(text);
    QTest::keyClick(view.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(view->Model().Text(), QString());
    QCOMPARE(refused.count(), 1);
    QCOMPARE(refused.front().front().value<qsizetype>(), text.size());
    QCOMPARE(QGuiApplication::clipboard()->text(), text);
  }

  // So is a copy of more than is handed out; the clipboard keeps its text.
  void copyTooLarge() {
    QSignalSpy refused(view.get(), &HistoryView::SelectionTooLarge);
    QGuiApplication::clipboard()->setText("kept");
    std::string lines;
    while (lines.size() <= PrimarySelection::kMaxHandedOut)
      lines += '\n' + std::string(1023, 'x');
    view->Append(lines);
    QTest::keyClick(view.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(view.get(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(refused.count(), 1);
    QCOMPARE(refused.front().front().value<qint64>(), static_cast<qint64>(lines.size()));
    QCOMPARE(QGuiApplication::clipboard()->text(), "kept");
  }
};

QTEST_MAIN(TestHistoryView)
#include "test_history_view.moc"
