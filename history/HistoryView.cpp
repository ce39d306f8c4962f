#include "history/HistoryView.h"

#include "history/HistoryAccessible.h"

#include <QAbstractTextDocumentLayout>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

// Where the view places a line before it knows: far below any screen.
constexpr qreal kOffScreen = 1e9;

// Shortcut names shown beside a menu entry, as a text box's menu shows them.
QString WithShortcut(const QString& text, QKeySequence::StandardKey key) {
  const QKeySequence sequence(key);
  if (sequence.isEmpty()) return text;
  return text + QLatin1Char('\t') + sequence.toString(QKeySequence::NativeText);
}

QString Translated(const char* text) {
  // The menu of Qt's own text boxes, so that a loaded translation names
  // both alike.
  return QCoreApplication::translate("QWidgetTextControl", text);
}

// Whether a key gives text to insert, by the rule of Qt's text boxes:
// printable text, a tab (when Tab has not moved the focus on), formatting
// and private-use characters, a character outside the BMP; not with Ctrl
// held (AltGr, Ctrl+Alt, is fine).
bool IsTypedText(const QKeyEvent* event) {
  const QString text = event->text();
  if (text.isEmpty()) return false;
  const QChar c = text.front();
  if (c.category() == QChar::Other_Format) return true;
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  if (modifiers == Qt::ControlModifier || modifiers == (Qt::ShiftModifier | Qt::ControlModifier))
    return false;
  return c.isPrint() || c == u'\t' || c.category() == QChar::Other_PrivateUse ||
         (c.isHighSurrogate() && text.size() > 1 && text.at(1).isLowSurrogate());
}

} // namespace

HistoryView::HistoryView(QWidget* parent, std::size_t capacity, std::size_t budget)
    : QAbstractScrollArea(parent), model_(capacity, budget) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  model_.OnChange([this](const TextChange& change) { OnModelChange(change); });
  model_.OnCursor([this] { viewport()->update(); });
  model_.OnEditing([this] { primary_.TextChanging(); });
  model_.OnUndoLost([this] { TellUndoLost(); });
  AttachAccessibility(*this);
}

// Tells the user something beside the window, without stopping it.
void HistoryView::Notice(const QString& text, QWidget* near) {
  auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("lanchat"), text,
                              QMessageBox::Ok, near != nullptr ? near->window() : nullptr);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

// Said once per such edit, beside the window: the deletion stands.
void HistoryView::TellUndoLost() {
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("Cette modification ne pourra pas être annulée : elle porte sur plus de "
                        "%1 Mo de texte, ce que l'annulation ne garde pas. Les modifications "
                        "précédentes ne peuvent plus être annulées non plus.")
             .arg(french.toString(static_cast<qulonglong>(EditModel::kUndoBytes >> 20))),
         this);
}

HistoryView::~HistoryView() = default;

void HistoryView::AppendLine(const QString& line) {
  model_.AppendLine(line);
  // Shown at once if the end of the text was in view; placed at the next
  // paint or query, so that a burst of lines costs one placement.
  if (following_) anchorPending_ = true;
  viewport()->update();
}

void HistoryView::AppendLines(const QStringList& lines) {
  // The model takes a text with breaks as that many lines, in one change.
  AppendLine(lines.join(u'\n'));
}

bool HistoryView::HasRoom() {
  if (!model_.Full()) {
    toldFull_ = false;
    return true;
  }
  ++refused_;
  if (!toldFull_) {
    toldFull_ = true;
    // Told beside the window, without stopping it: messages go on being
    // counted while the box is open.
    const QLocale french(QLocale::French);
    Notice(QStringLiteral("L'historique est plein : il a atteint sa limite de %1 lignes ou %2 Mo "
                          "de texte, et les messages qui arrivent ne s'y ajoutent plus.\n\nPour "
                          "faire de la place, effacez-le : cliquez dans l'historique, puis "
                          "Ctrl+A et Suppr. Les messages s'afficheront de nouveau.")
               .arg(french.toString(static_cast<qulonglong>(model_.Capacity())),
                    french.toString(static_cast<qulonglong>(model_.Budget() >> 20))),
           this);
  }
  return false;
}

// ---- Layout of the lines on screen, as a plain text document lays out
// its blocks: rows at the margin, each as high as its font's line spacing.

qreal HistoryView::TextWidth() const {
  return std::max<qreal>(1, viewport()->width() - 2 * kMargin);
}

QTextLayout& HistoryView::Layout(std::size_t line) const {
  auto& layout = layouts_[line];
  if (!layout) {
    layout = std::make_unique<QTextLayout>(model_.Line(line), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    if (!preedit_.isEmpty() && line == model_.Cursor().line) {
      // The pre-edit text shows inside the line, in the formats the input
      // method asks for.
      layout->setPreeditArea(model_.Cursor().column, preedit_);
      QList<QTextLayout::FormatRange> formats = preeditFormats_;
      for (QTextLayout::FormatRange& range : formats)
        range.start += model_.Cursor().column;
      layout->setFormats(formats);
    }
    layout->beginLayout();
    qreal y = 0;
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
      row.setLeadingIncluded(true);
      row.setLineWidth(TextWidth());
      row.setPosition(QPointF(kMargin, y));
      y += row.height();
    }
    layout->endLayout();
  }
  return *layout;
}

int HistoryView::Rows(std::size_t line) const { return std::max(1, Layout(line).lineCount()); }

qreal HistoryView::RowHeight() const { return QFontMetricsF(font()).lineSpacing(); }

qreal HistoryView::LineHeight(std::size_t line) const {
  const QTextLayout& layout = Layout(line);
  if (layout.lineCount() == 0) return RowHeight();
  const QTextLine last = layout.lineAt(layout.lineCount() - 1);
  return last.y() + last.height();
}

void HistoryView::ForgetLayouts() {
  layouts_.clear();
  viewport()->update();
}

void HistoryView::OnModelChange(const TextChange& change) {
  if (change.appended) {
    // Nothing on screen changed; the new line is laid out when shown.
    layouts_.erase(change.from.line);
    viewport()->update();
    return;
  }
  // Lines after the change moved; the top of the view keeps its text.
  const auto removed = change.removedEnd.line - change.from.line;
  const auto inserted = change.insertedEnd.line - change.from.line;
  if (top_ > change.removedEnd.line) {
    top_ = top_ - removed + inserted;
  } else if (top_ > change.from.line) {
    top_ = change.from.line;
    topRow_ = 0;
  }
  top_ = std::min(top_, model_.LineCount() - 1);
  ForgetLayouts();
}

// ---- Scrolling. The view's top is a row of a line; the bottom-most top is
// the one that shows the last row, as a plain text box counts it.

void HistoryView::Settle() const {
  if (anchorPending_) {
    anchorPending_ = false;
    AnchorBottom(model_.LineCount() - 1);
  }
  topRow_ = std::clamp(topRow_, 0, Rows(top_) - 1);
}

HistoryView::RowPos HistoryView::TopShowing(std::size_t line, int lastRow) const {
  const qreal visible = viewport()->height() - kMargin - 1;
  qreal y = 0;
  for (std::size_t l = line + 1; l-- > 0;) {
    const QTextLayout& layout = Layout(l);
    qreal height = LineHeight(l);
    if (l == line && lastRow >= 0 && lastRow < layout.lineCount())
      height = layout.lineAt(lastRow).y() + layout.lineAt(lastRow).height();
    y += height;
    if (y > visible) {
      // The rows of this line whose top still fits.
      int row = 0;
      while (row < layout.lineCount() && layout.lineAt(row).y() < y - visible)
        ++row;
      if (row < layout.lineCount()) return {l, row};
      return {std::min(l + 1, line), 0};
    }
  }
  return {0, 0};
}

void HistoryView::AnchorBottom(std::size_t line) const {
  const RowPos top = TopShowing(line);
  top_ = top.line;
  topRow_ = top.row;
}

bool HistoryView::AtBottom() const {
  if (anchorPending_) return true;
  const std::size_t last = model_.LineCount() - 1;
  return LineTop(last) + LineHeight(last) <= viewport()->height();
}

void HistoryView::ScrollRows(int rows) {
  Settle();
  const RowPos bottom = TopShowing(model_.LineCount() - 1);
  while (rows > 0 && std::pair(top_, topRow_) < std::pair(bottom.line, bottom.row)) {
    if (topRow_ + 1 < Rows(top_)) {
      ++topRow_;
    } else {
      ++top_;
      topRow_ = 0;
    }
    --rows;
  }
  while (rows < 0 && (top_ > 0 || topRow_ > 0)) {
    if (topRow_ > 0) {
      --topRow_;
    } else {
      --top_;
      topRow_ = Rows(top_) - 1;
    }
    ++rows;
  }
  following_ = AtBottom();
  viewport()->update();
}

// Where the top line starts, in viewport y: its first shown row at the
// top, below the margin for the text's first line, as a text box puts it.
qreal HistoryView::TopLineY() const {
  return (top_ == 0 ? kMargin : 0) - Layout(top_).lineAt(topRow_).y();
}

qreal HistoryView::LineTop(std::size_t line) const {
  Settle();
  if (line < top_) return -kOffScreen;
  qreal y = TopLineY();
  for (std::size_t l = top_; l < line; ++l) {
    y += LineHeight(l);
    if (y > viewport()->height()) return kOffScreen;
  }
  return y;
}

int HistoryView::FirstVisibleLine() const {
  Settle();
  return static_cast<int>(top_);
}

int HistoryView::LastVisibleLine() const {
  Settle();
  qreal y = TopLineY();
  std::size_t line = top_;
  while (line + 1 < model_.LineCount()) {
    y += LineHeight(line);
    if (y >= viewport()->height()) break;
    ++line;
  }
  return static_cast<int>(line);
}

void HistoryView::EnsureCursorVisible() {
  Settle();
  const TextPos cursor = model_.Cursor();
  QTextLayout& layout = Layout(cursor.line);
  const int row = std::max(0, layout.lineForTextPosition(cursor.column).lineNumber());
  const QTextLine textLine = layout.lineAt(row);
  if (std::pair(cursor.line, row) < std::pair(top_, topRow_)) {
    top_ = cursor.line;
    topRow_ = row;
  } else if (LineTop(cursor.line) + textLine.y() + textLine.height() >= viewport()->height()) {
    // The cursor's row becomes the last one shown, as a text box places it.
    const qreal height = viewport()->height();
    qreal h = textLine.y() + textLine.height();
    std::size_t line = cursor.line;
    std::size_t after = line;
    while (h < height && line > 0) {
      after = line;
      --line;
      h += LineHeight(line);
    }
    const qreal margin = line == 0 ? kMargin : 0;
    const QTextLayout& first = Layout(line);
    int firstRow = 0;
    while (firstRow < first.lineCount() && h + margin - first.lineAt(firstRow).y() > height)
      ++firstRow;
    if (firstRow >= first.lineCount()) {
      line = after;
      firstRow = 0;
    }
    top_ = line;
    topRow_ = firstRow;
  }
  following_ = AtBottom();
  viewport()->update();
}

// ---- Geometry

QRect HistoryView::CharacterRect(TextPos pos) const {
  pos = model_.Clamp(pos);
  const qreal top = LineTop(pos.line);
  if (std::abs(top) >= kOffScreen) return {};
  QTextLayout& layout = Layout(pos.line);
  const int column = pos.line == model_.Cursor().line && pos.column >= model_.Cursor().column
                         ? pos.column + static_cast<int>(preedit_.size())
                         : pos.column;
  const QTextLine row = layout.lineForTextPosition(column);
  if (!row.isValid()) return {};
  const qreal x = row.cursorToX(column);
  const int next =
      model_.NextCharacter(pos).line == pos.line ? model_.NextCharacter(pos).column : pos.column;
  const qreal right = next > pos.column ? row.cursorToX(next) : x + 1;
  return QRectF(QPointF(std::min(x, right), top + row.y()),
                QPointF(std::max(x, right), top + row.y() + row.height()))
      .toAlignedRect();
}

QRectF HistoryView::CursorRectF() const {
  const TextPos cursor = model_.Cursor();
  const qreal top = LineTop(cursor.line);
  QTextLayout& layout = Layout(cursor.line);
  const int column = cursor.column + preeditCursor_;
  const QTextLine row = layout.lineForTextPosition(column);
  if (!row.isValid() || std::abs(top) >= kOffScreen) return {};
  return {row.cursorToX(column), top + row.y(), 1, row.height()};
}

QRect HistoryView::CursorRect() const { return CursorRectF().toRect(); }

TextPos HistoryView::PositionAt(QPoint point) const {
  // The line whose rows span the point's height, on screen or not; above
  // or below all its rows, the start or the end of that line.
  Settle();
  const qreal y = point.y();
  qreal top = TopLineY();
  std::size_t line = top_;
  while (line + 1 < model_.LineCount() && top + LineHeight(line) <= y) {
    top += LineHeight(line);
    ++line;
  }
  while (line > 0 && top > y) {
    --line;
    top -= LineHeight(line);
  }
  const QTextLayout& layout = Layout(line);
  int column = 0;
  for (int i = 0; i < layout.lineCount(); ++i) {
    const QTextLine row = layout.lineAt(i);
    if (top + row.y() > y) break;
    if (top + row.y() + row.height() <= y) {
      column = std::max(column, row.textStart() + row.textLength());
    } else {
      column = row.xToCursor(point.x());
      break;
    }
  }
  return model_.Clamp({line, column});
}

// ---- Painting

void HistoryView::paintEvent(QPaintEvent* event) {
  Settle();
  QPainter painter(viewport());
  const QRect area = event->rect();
  const auto [selectionStart, selectionEnd] = model_.Selection();
  const TextPos cursor = model_.Cursor();
  const bool showCursor = hasFocus() && cursorOn_;
  std::map<std::size_t, std::unique_ptr<QTextLayout>> onScreen;
  qreal y = TopLineY();
  for (std::size_t line = top_; line < model_.LineCount() && y < viewport()->height(); ++line) {
    QTextLayout& layout = Layout(line);
    const qreal height = LineHeight(line);
    if (y + height >= area.top() && y <= area.bottom()) {
      QList<QTextLayout::FormatRange> selections;
      if (model_.HasSelection() && selectionStart.line <= line && line <= selectionEnd.line) {
        QTextLayout::FormatRange range;
        range.start = line == selectionStart.line ? selectionStart.column : 0;
        // A selected line break shows as selected space at the line's end.
        const int end = line == selectionEnd.line ? selectionEnd.column
                                                  : static_cast<int>(layout.text().size()) + 1;
        range.length = end - range.start;
        range.format.setBackground(palette().brush(QPalette::Highlight));
        range.format.setForeground(palette().brush(QPalette::HighlightedText));
        selections << range;
      }
      painter.setPen(palette().color(QPalette::Text));
      layout.draw(&painter, QPointF(0, y), selections, area);
      if (showCursor && line == cursor.line)
        layout.drawCursor(&painter, QPointF(0, y), cursor.column + preeditCursor_, 1);
    }
    y += height;
    onScreen[line] = std::move(layouts_[line]);
  }
  // Keep the layouts of what is on screen only.
  layouts_ = std::move(onScreen);
}

void HistoryView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  layouts_.clear();
  // Rows change with the width; a view showing the end keeps showing it.
  if (following_) anchorPending_ = true;
}

void HistoryView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    ForgetLayouts();
    if (following_) anchorPending_ = true;
  }
  if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ActivationChange)
    viewport()->update();
}

bool HistoryView::event(QEvent* event) {
  // Shortcuts the box takes itself rather than the window's actions.
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
        key->matches(QKeySequence::Paste) || key->matches(QKeySequence::SelectAll) ||
        key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
        key->matches(QKeySequence::Delete) || key->matches(QKeySequence::DeleteStartOfWord) ||
        key->matches(QKeySequence::DeleteEndOfWord) || key->key() == Qt::Key_Home ||
        key->key() == Qt::Key_End || key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) {
      event->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

// ---- Focus and the cursor's blink

void HistoryView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  cursorOn_ = true;
  const int flash = QGuiApplication::styleHints()->cursorFlashTime();
  if (flash > 0) blinkTimer_.start(flash / 2, this);
  viewport()->update();
}

void HistoryView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  blinkTimer_.stop();
  viewport()->update();
}

void HistoryView::timerEvent(QTimerEvent* event) {
  if (event->timerId() == blinkTimer_.timerId()) {
    cursorOn_ = !cursorOn_;
    viewport()->update(CursorRect().adjusted(-1, 0, 1, 0));
  } else if (event->timerId() == dragScrollTimer_.timerId()) {
    // Dragging past an edge scrolls a row at a time, faster the further the
    // mouse is from the edge.
    const QRect visible = viewport()->rect();
    const QPoint pos = viewport()->mapFromGlobal(QCursor::pos());
    DragTo(pos);
    const int delta =
        std::max(pos.y() - visible.top(), visible.bottom() - pos.y()) - visible.height();
    if (delta >= 0) {
      const int speed = std::max(delta, 7);
      dragScrollTimer_.start(4900 / (speed * speed), this);
      ScrollRows(pos.y() < visible.center().y() ? -1 : 1);
      DragTo(pos);
    } else {
      dragScrollTimer_.stop();
    }
  } else if (event->timerId() == tripleClickTimer_.timerId()) {
    tripleClickTimer_.stop();
  } else {
    QAbstractScrollArea::timerEvent(event);
  }
}

// ---- Keys

TextPos HistoryView::RowStart(TextPos pos) const {
  const QTextLine row = Layout(pos.line).lineForTextPosition(pos.column);
  return row.isValid() ? TextPos{pos.line, row.textStart()} : TextPos{pos.line, 0};
}

TextPos HistoryView::RowEnd(TextPos pos) const {
  const QTextLayout& layout = Layout(pos.line);
  const QTextLine row = layout.lineForTextPosition(pos.column);
  if (!row.isValid()) return {pos.line, model_.LineLength(pos.line)};
  int end = row.textStart() + row.textLength();
  // A wrapped row ends before the space it broke at, as in a text box.
  if (row.lineNumber() < layout.lineCount() - 1 && end > 0 && layout.text().at(end - 1).isSpace())
    --end;
  return {pos.line, end};
}

qreal HistoryView::CursorX(TextPos pos) const {
  const QTextLine row = Layout(pos.line).lineForTextPosition(pos.column);
  return row.isValid() ? row.cursorToX(pos.column) : kMargin;
}

TextPos HistoryView::MoveVertically(TextPos from, int rows, qreal x) const {
  std::size_t line = from.line;
  int row = std::max(0, Layout(line).lineForTextPosition(from.column).lineNumber());
  for (; rows > 0; --rows) {
    if (row + 1 < Rows(line)) {
      ++row;
    } else if (line + 1 < model_.LineCount()) {
      ++line;
      row = 0;
    } else {
      return from;
    }
  }
  for (; rows < 0; ++rows) {
    if (row > 0) {
      --row;
    } else if (line > 0) {
      --line;
      row = Rows(line) - 1;
    } else {
      return from;
    }
  }
  const QTextLine textLine = Layout(line).lineAt(row);
  if (!textLine.isValid()) return {line, 0};
  return {line, textLine.xToCursor(x)};
}

void HistoryView::MoveCursor(TextPos to, bool select, bool keepX) {
  const qreal x = cursorX_;
  model_.SetCursor(to, select);
  cursorX_ = keepX ? x : -1;
  EnsureCursorVisible();
  SelectionChanged();
}

qreal HistoryView::RowTop(TextPos pos) const {
  return LineTop(pos.line) + Layout(pos.line).lineForTextPosition(pos.column).y();
}

void HistoryView::PageUpDown(bool down, bool select) {
  // As a text box pages: the view scrolls by a screenful, then the cursor
  // moves by rows (keeping its x) back to the height on screen it had.
  EnsureCursorVisible();
  if (!pageYValid_) pageY_ = RowTop(model_.Cursor());
  pageYValid_ = true;
  qreal lastY = pageY_;
  const qreal height = viewport()->height();
  // Where the view's top lies below the top of its first line.
  const qreal offset = -TopLineY();
  const bool toEdge = down ? ScrollPageDown(height + offset) : ScrollPageUp(offset - height);
  if (toEdge) lastY = down ? kOffScreen : 0;
  const qreal x = cursorX_ >= 0 ? cursorX_ : CursorX(model_.Cursor());
  model_.SetCursor(MoveToRowAt(model_.Cursor(), down, x, lastY), select);
  cursorX_ = x;
  following_ = AtBottom();
  viewport()->update();
  SelectionChanged();
}

bool HistoryView::ScrollPageDown(qreal bottom) {
  std::size_t line = top_;
  qreal h = 0;
  while (h + LineHeight(line) <= bottom) {
    if (line + 1 == model_.LineCount()) return true;
    h += LineHeight(line);
    ++line;
  }
  // The first row that did not wholly fit becomes the top.
  const QTextLayout& layout = Layout(line);
  int row = 0;
  while (row < layout.lineCount() - 1 &&
         layout.lineAt(row).y() + layout.lineAt(row).height() <= bottom - h)
    ++row;
  top_ = line;
  topRow_ = row;
  return false;
}

bool HistoryView::ScrollPageUp(qreal top) {
  std::size_t line = top_;
  bool toEdge = false;
  qreal h = 0;
  while (h >= top) {
    if (line == 0) {
      toEdge = top_ == 0 && topRow_ == 0;
      break;
    }
    --line;
    h -= LineHeight(line);
  }
  const QTextLayout& layout = Layout(line);
  int row = 0;
  while (row < layout.lineCount() && layout.lineAt(row).y() < top - h)
    ++row;
  if (row == layout.lineCount()) {
    if (line + 1 < model_.LineCount() && line + 1 != top_) {
      ++line;
      row = 0;
    } else {
      --row;
    }
  }
  top_ = line;
  topRow_ = std::max(0, row);
  return toEdge;
}

TextPos HistoryView::MoveToRowAt(TextPos from, bool down, qreal x, qreal y) const {
  TextPos pos = from;
  for (;;) {
    const TextPos next = MoveVertically(pos, down ? 1 : -1, x);
    if (next == pos) break;
    pos = next;
    if (down ? RowTop(pos) >= y : RowTop(pos) <= y) break;
  }
  return pos;
}

bool HistoryView::HandleMoveKey(QKeyEvent* event) {
  enum class To {
    Next,
    Previous,
    NextWord,
    PreviousWord,
    Down,
    Up,
    RowStart,
    RowEnd,
    Start,
    End,
    PageDown,
    PageUp
  };
  struct Binding {
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    To to;
  };
  static constexpr Binding kBindings[] = {
      {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, To::Next},
      {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, To::Previous},
      {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, To::NextWord},
      {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, To::PreviousWord},
      {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, To::Down},
      {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, To::Up},
      {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, To::RowStart},
      {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, To::RowEnd},
      {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, To::RowStart},
      {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, To::RowEnd},
      {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, To::Start},
      {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, To::End},
      {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, To::PageDown},
      {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, To::PageUp},
  };
  const auto* binding =
      std::find_if(std::begin(kBindings), std::end(kBindings), [&](const Binding& b) {
        return event->matches(b.move) || event->matches(b.select);
      });
  if (binding == std::end(kBindings)) return false;
  const bool select = event->matches(binding->select);
  const TextPos cursor = model_.Cursor();
  const auto [start, end] = model_.Selection();
  const qreal x = cursorX_ >= 0 ? cursorX_ : CursorX(cursor);
  switch (binding->to) {
  case To::Next:
    // Without Shift, a selection collapses to its edge.
    MoveCursor(model_.HasSelection() && !select ? end : model_.NextCharacter(cursor), select);
    break;
  case To::Previous:
    MoveCursor(model_.HasSelection() && !select ? start : model_.PreviousCharacter(cursor), select);
    break;
  case To::NextWord: MoveCursor(model_.NextWord(cursor), select); break;
  case To::PreviousWord: MoveCursor(model_.PreviousWord(cursor), select); break;
  case To::Down:
    cursorX_ = x;
    MoveCursor(MoveVertically(cursor, 1, x), select, true);
    break;
  case To::Up:
    cursorX_ = x;
    MoveCursor(MoveVertically(cursor, -1, x), select, true);
    break;
  case To::RowStart: MoveCursor(RowStart(cursor), select); break;
  case To::RowEnd: MoveCursor(RowEnd(cursor), select); break;
  case To::Start: MoveCursor({}, select); break;
  case To::End: MoveCursor(model_.End(), select); break;
  case To::PageDown: PageUpDown(true, select); break;
  case To::PageUp: PageUpDown(false, select); break;
  }
  return true;
}

bool HistoryView::HandleEditKey(QKeyEvent* event) {
  const auto edit = [this](auto&& change) {
    change();
    cursorX_ = -1;
    EnsureCursorVisible();
  };
  if (event->matches(QKeySequence::Undo)) {
    Run(Action::Undo);
  } else if (event->matches(QKeySequence::Redo)) {
    Run(Action::Redo);
  } else if (event->matches(QKeySequence::SelectAll)) {
    Run(Action::SelectAll);
  } else if (event->matches(QKeySequence::Copy)) {
    Run(Action::Copy);
  } else if (event->matches(QKeySequence::Cut)) {
    Run(Action::Cut);
  } else if (event->matches(QKeySequence::Paste)) {
    Run(Action::Paste);
  } else if (event->matches(QKeySequence::DeleteStartOfWord)) {
    edit([this] { model_.DeletePreviousWord(); });
  } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
    edit([this] { model_.DeleteNextWord(); });
  } else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier)) {
    edit([this] { model_.DeletePreviousCharacter(); });
  } else if (event->matches(QKeySequence::Delete)) {
    edit([this] { model_.DeleteNextCharacter(); });
  } else if (event->matches(QKeySequence::InsertParagraphSeparator) ||
             event->matches(QKeySequence::InsertLineSeparator)) {
    edit([this] { model_.InsertText(QStringLiteral("\n")); });
  } else {
    if (!IsTypedText(event)) return false;
    edit([&] { model_.InsertText(event->text(), EditKind::Typing); });
  }
  return true;
}

// The edits and commands of the keys and of the context menu alike. Each
// but a copy moves the cursor, so the column Up and Down kept goes.
void HistoryView::Run(Action action) {
  if (action != Action::Copy) cursorX_ = -1;
  switch (action) {
  case Action::Undo: model_.Undo(); break;
  case Action::Redo: model_.Redo(); break;
  case Action::Cut: Cut(); return;
  case Action::Copy: Copy(); return;
  case Action::Paste: Paste(); return;
  case Action::Delete: model_.DeleteSelection(); break;
  case Action::SelectAll:
    model_.SelectAll();
    SelectionChanged();
    return;
  }
  EnsureCursorVisible();
}

void HistoryView::keyPressEvent(QKeyEvent* event) {
  // Paging again keeps the height on screen the first page key started from.
  if (!event->matches(QKeySequence::MoveToNextPage) &&
      !event->matches(QKeySequence::MoveToPreviousPage) &&
      !event->matches(QKeySequence::SelectNextPage) &&
      !event->matches(QKeySequence::SelectPreviousPage))
    pageYValid_ = false;
  if (HandleMoveKey(event) || HandleEditKey(event)) {
    cursorOn_ = true;
    event->accept();
    return;
  }
  event->ignore();
}

// ---- Clipboard

void HistoryView::Copy() const {
  if (model_.HasSelection()) QGuiApplication::clipboard()->setText(model_.SelectedText());
}

void HistoryView::Cut() {
  if (!model_.HasSelection()) return;
  Copy();
  model_.DeleteSelection();
  EnsureCursorVisible();
}

bool HistoryView::PasteFits(const QString& text, QWidget* parent) {
  if (text.size() <= kMaxPaste) return true;
  const QLocale french(QLocale::French);
  Notice(QStringLiteral("Le texte à coller compte %1 caractères : c'est plus qu'un message peut "
                        "en porter (%2 octets). Rien n'a été collé ; le texte reste dans le "
                        "presse-papiers.")
             .arg(french.toString(static_cast<qlonglong>(text.size())),
                  french.toString(static_cast<qlonglong>(kMaxPaste))),
         parent);
  return false;
}

void HistoryView::Paste(bool primary) {
  const QString text =
      QGuiApplication::clipboard()->text(primary ? QClipboard::Selection : QClipboard::Clipboard);
  if (text.isEmpty() || !PasteFits(text, this)) return;
  model_.InsertText(text);
  cursorX_ = -1;
  EnsureCursorVisible();
}

void HistoryView::UpdatePrimarySelection() { primary_.Offer(); }

void HistoryView::SelectionChanged() {
  UpdatePrimarySelection();
  viewport()->update();
}

// ---- Mouse

void HistoryView::DragTo(QPoint viewportPoint) {
  const TextPos pos = PositionAt(viewportPoint);
  switch (unit_) {
  case Unit::Character: model_.SetCursor(pos, true); break;
  case Unit::Word: {
    const auto [start, end] = model_.WordAt(pos);
    if (pos < unitStart_) {
      model_.Select(unitEnd_, start);
    } else {
      model_.Select(unitStart_, std::max(end, unitEnd_));
    }
    break;
  }
  case Unit::Line: {
    const TextPos start{pos.line, 0};
    const TextPos end = model_.NextCharacter({pos.line, model_.LineLength(pos.line)});
    if (pos < unitStart_) {
      model_.Select(unitEnd_, start);
    } else {
      model_.Select(unitStart_, std::max(end, unitEnd_));
    }
    break;
  }
  }
  viewport()->update();
}

void HistoryView::mousePressEvent(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  cursorX_ = -1;
  pageYValid_ = false;
  selecting_ = true;
  const TextPos pos = PositionAt(point);
  if (tripleClickTimer_.isActive() &&
      (point - tripleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
    tripleClickTimer_.stop();
    unit_ = Unit::Line;
    unitStart_ = {pos.line, 0};
    unitEnd_ = model_.NextCharacter({pos.line, model_.LineLength(pos.line)});
    model_.Select(unitStart_, unitEnd_);
    UpdatePrimarySelection();
  } else if (event->modifiers() & Qt::ShiftModifier) {
    unit_ = Unit::Character;
    model_.SetCursor(pos, true);
  } else {
    unit_ = Unit::Character;
    model_.SetCursor(pos);
  }
  cursorOn_ = true;
  viewport()->update();
}

void HistoryView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const QPoint point = event->position().toPoint();
  const auto [start, end] = model_.WordAt(PositionAt(point));
  unit_ = Unit::Word;
  unitStart_ = start;
  unitEnd_ = end;
  selecting_ = true;
  model_.Select(start, end);
  UpdatePrimarySelection();
  tripleClickPoint_ = point;
  tripleClickTimer_.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
  viewport()->update();
}

void HistoryView::mouseMoveEvent(QMouseEvent* event) {
  if (!selecting_ || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint point = event->position().toPoint();
  if (viewport()->rect().contains(point)) {
    dragScrollTimer_.stop();
  } else if (!dragScrollTimer_.isActive()) {
    dragScrollTimer_.start(100, this);
  }
  DragTo(point);
}

void HistoryView::mouseReleaseEvent(QMouseEvent* event) {
  dragScrollTimer_.stop();
  if (event->button() == Qt::LeftButton && selecting_) {
    selecting_ = false;
    UpdatePrimarySelection();
  } else if (event->button() == Qt::MiddleButton &&
             QGuiApplication::clipboard()->supportsSelection()) {
    // The X11 way: the middle button pastes the primary selection where
    // it is released.
    model_.SetCursor(PositionAt(event->position().toPoint()));
    Paste(true);
  }
  event->accept();
}

void HistoryView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps != 0) ScrollRows(-steps * QApplication::wheelScrollLines());
  event->accept();
}

// ---- Context menu

QMenu* HistoryView::CreateStandardContextMenu() {
  auto* menu = new QMenu(this);
  const auto add = [&](const char* text, QKeySequence::StandardKey key, bool enabled, auto action) {
    QAction* item = menu->addAction(WithShortcut(Translated(text), key), this, action);
    item->setEnabled(enabled);
    return item;
  };
  const bool selection = model_.HasSelection();
  add("&Undo", QKeySequence::Undo, model_.CanUndo(), [this] { Run(Action::Undo); });
  add("&Redo", QKeySequence::Redo, model_.CanRedo(), [this] { Run(Action::Redo); });
  menu->addSeparator();
  add("Cu&t", QKeySequence::Cut, selection, [this] { Run(Action::Cut); });
  add("&Copy", QKeySequence::Copy, selection, [this] { Run(Action::Copy); });
  add("&Paste", QKeySequence::Paste, !QGuiApplication::clipboard()->text().isEmpty(),
      [this] { Run(Action::Paste); });
  add("Delete", QKeySequence::UnknownKey, selection, [this] { Run(Action::Delete); });
  menu->addSeparator();
  add("Select All", QKeySequence::SelectAll, model_.CharacterCount() > 0,
      [this] { Run(Action::SelectAll); });
  return menu;
}

void HistoryView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = CreateStandardContextMenu();
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

// ---- Input methods

void HistoryView::inputMethodEvent(QInputMethodEvent* event) {
  if (event->replacementLength() > 0 || event->replacementStart() != 0) {
    const TextPos cursor = model_.Cursor();
    const TextPos from = model_.Clamp({cursor.line, cursor.column + event->replacementStart()});
    const TextPos to = model_.Clamp({cursor.line, from.column + event->replacementLength()});
    model_.Select(from, to);
  }
  if (!event->commitString().isEmpty() || event->replacementLength() > 0)
    model_.InsertText(event->commitString(), EditKind::Typing);
  preedit_ = event->preeditString();
  preeditCursor_ = static_cast<int>(preedit_.size());
  preeditFormats_.clear();
  for (const QInputMethodEvent::Attribute& attribute : event->attributes()) {
    if (attribute.type == QInputMethodEvent::Cursor) preeditCursor_ = attribute.start;
    const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
    if (attribute.type == QInputMethodEvent::TextFormat && format.isValid())
      preeditFormats_.append({attribute.start, attribute.length, format});
  }
  layouts_.erase(model_.Cursor().line);
  EnsureCursorVisible();
  event->accept();
  if (QInputMethod* method = QGuiApplication::inputMethod(); hasFocus())
    method->update(Qt::ImCursorRectangle);
}

// Text on one side of the cursor for an input method: whole lines added
// until there is at least a kilobyte, as a text box gives it.
QString HistoryView::TextAroundCursor(bool after) const {
  constexpr qsizetype kLength = 1024;
  const TextPos cursor = model_.Cursor();
  QString text = after ? model_.Line(cursor.line).mid(cursor.column)
                       : model_.Line(cursor.line).left(cursor.column);
  for (std::size_t line = cursor.line; text.size() < kLength;) {
    if (after ? line + 1 >= model_.LineCount() : line == 0) break;
    line = after ? line + 1 : line - 1;
    text = after ? text + u'\n' + model_.Line(line) : model_.Line(line) + u'\n' + text;
  }
  return text;
}

QVariant HistoryView::inputMethodQuery(Qt::InputMethodQuery query) const {
  const TextPos cursor = model_.Cursor();
  const TextPos anchor = model_.Anchor();
  switch (query) {
  case Qt::ImEnabled: return true;
  case Qt::ImCursorRectangle: return CursorRectF();
  case Qt::ImFont: return font();
  case Qt::ImCursorPosition: return cursor.column;
  case Qt::ImAnchorPosition: return anchor.line == cursor.line ? anchor.column : cursor.column;
  case Qt::ImSurroundingText: return model_.Line(cursor.line);
  case Qt::ImCurrentSelection: return model_.SelectedText();
  case Qt::ImAbsolutePosition: return static_cast<qlonglong>(model_.Offset(cursor));
  case Qt::ImTextBeforeCursor: return TextAroundCursor(false);
  case Qt::ImTextAfterCursor: return TextAroundCursor(true);
  case Qt::ImHints: return static_cast<int>(Qt::ImhMultiLine);
  default: return QAbstractScrollArea::inputMethodQuery(query);
  }
}
