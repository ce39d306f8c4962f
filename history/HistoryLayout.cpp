#include "history/HistoryLayout.h"

#include <QFontMetricsF>

#include <algorithm>
#include <cmath>
#include <utility>

HistoryLayout::HistoryLayout(const EditModel& model) : model_(model) {}

HistoryLayout::~HistoryLayout() = default;

// ---- What the rows depend on

void HistoryLayout::SetFont(const QFont& font) {
  font_ = font;
  Forget();
  // Rows change with the font; a view showing the end keeps showing it.
  if (following_) anchorPending_ = true;
  ClampTop();
}

void HistoryLayout::SetSize(QSize size) {
  size_ = size;
  Forget();
  // Rows change with the width; a view showing the end keeps showing it.
  if (following_) anchorPending_ = true;
  ClampTop();
}

void HistoryLayout::TextChanged(const TextChange& change) {
  if (change.appended) {
    // Nothing on screen changed but the last line, which may have grown;
    // the new lines are laid out when shown.
    layouts_.erase(layouts_.lower_bound({change.from.line, 0}), layouts_.end());
    cuts_.erase(change.from.line);
    if (following_) anchorPending_ = true;
    return;
  }
  // Lines after the change moved; the top of the view keeps its text.
  const auto removed = change.removedEnd.line - change.from.line;
  const auto inserted = change.insertedEnd.line - change.from.line;
  if (top_.line > change.removedEnd.line) {
    top_.line = top_.line - removed + inserted;
  } else if (top_.line > change.from.line) {
    top_ = {change.from.line, 0, 0};
  }
  Forget();
  ClampTop();
}

void HistoryLayout::SetPreedit(const QString& text, int cursor,
                               QList<QTextLayout::FormatRange> formats) {
  preedit_ = text;
  preeditCursor_ = cursor;
  preeditFormats_ = std::move(formats);
  const std::size_t line = model_.Cursor().line;
  std::erase_if(layouts_, [&](const auto& kept) { return kept.first.line == line; });
  ClampTop();
}

qreal HistoryLayout::TextWidth() const { return std::max<qreal>(1, size_.width() - 2 * kMargin); }

qreal HistoryLayout::RowHeight() const { return QFontMetricsF(font_).lineSpacing(); }

void HistoryLayout::ClampTop() {
  top_.line = std::min(top_.line, model_.LineCount() - 1);
  top_.piece = std::clamp(top_.piece, 0, PieceCount(top_.line) - 1);
  top_.row = std::clamp(top_.row, 0, Rows({top_.line, top_.piece}) - 1);
}

// ---- Scrolling. The view's top is a row of a piece; the bottom-most top is
// the one that shows the last row, as a plain text box counts it.

void HistoryLayout::Settle() {
  if (anchorPending_) {
    anchorPending_ = false;
    top_ = TopShowingEnd();
  }
  ClampTop();
  // Keep the layouts of what is on screen only.
  std::vector<PieceKey> onScreen;
  ForEachOnScreen([&](const Piece& piece) {
    onScreen.push_back({piece.line, PieceOf(piece.line, piece.start)});
  });
  KeepOnly(onScreen);
}

HistoryLayout::RowPos HistoryLayout::Top() const {
  // Lines that came while following are shown from the next settling on;
  // until then, the top they ask for.
  if (anchorPending_) return TopShowingEnd();
  return top_;
}

// The top that shows the last row as the last thing on screen, as a text
// box counts it: the text's bottom margin below it.
HistoryLayout::RowPos HistoryLayout::TopShowingEnd() const {
  const qreal visible = size_.height() - kMargin - 1;
  qreal y = kMargin;
  PieceKey key = LastKey();
  do {
    const LayoutPtr layout = Find(key);
    y += Height(key);
    if (y > visible) {
      // The rows of this piece whose top still fits.
      int row = 0;
      while (row < layout->lineCount() && layout->lineAt(row).y() < y - visible)
        ++row;
      if (row < layout->lineCount()) return {key.line, key.piece, row};
      if (key != LastKey()) (void)Next(key);
      return {key.line, key.piece, 0};
    }
  } while (Previous(key));
  return {};
}

bool HistoryLayout::AtBottom() const {
  if (anchorPending_) return true;
  const PieceKey last = LastKey();
  return PieceTop(last) + Height(last) <= size_.height();
}

void HistoryLayout::ScrollRows(int rows) {
  Settle();
  const RowPos bottom = TopShowingEnd();
  for (; rows > 0 && top_ < bottom && Next(top_); --rows) {
  }
  for (; rows < 0 && Previous(top_); ++rows) {
  }
  following_ = AtBottom();
  Settle();
}

void HistoryLayout::EnsureVisible(TextPos pos) {
  Settle();
  const RowPos target = RowOf(pos);
  PieceKey key{target.line, target.piece};
  const QTextLine textLine = Find(key)->lineAt(target.row);
  const qreal height = size_.height();
  if (target < top_) {
    top_ = target;
  } else if (PieceTop(key) + textLine.y() + textLine.height() >= height) {
    // The row becomes the last one shown, as a text box places the cursor's.
    qreal h = textLine.y() + textLine.height();
    PieceKey after = key;
    for (PieceKey before = key; h < height && Previous(before);) {
      after = key;
      key = before;
      h += Height(key);
    }
    const qreal margin = key == PieceKey{} ? kMargin : 0;
    const LayoutPtr first = Find(key);
    int firstRow = 0;
    while (firstRow < first->lineCount() &&
           h + (firstRow == 0 ? margin : 0) - first->lineAt(firstRow).y() > height)
      ++firstRow;
    if (firstRow >= first->lineCount()) {
      key = after;
      firstRow = 0;
    }
    top_ = {key.line, key.piece, firstRow};
  }
  following_ = AtBottom();
  Settle();
}

// Where the top piece starts, in viewport y: its first shown row at the
// top, below the margin when that row is the text's first, as a text box
// puts it.
qreal HistoryLayout::TopPieceY(RowPos top) const {
  return (top == RowPos{} ? kMargin : 0) - Find({top.line, top.piece})->lineAt(top.row).y();
}

qreal HistoryLayout::PieceTop(PieceKey key) const {
  const RowPos top = Top();
  PieceKey at{top.line, top.piece};
  if (key < at) return -kOffScreen;
  qreal y = TopPieceY(top);
  for (; at < key; (void)Next(at)) {
    y += Height(at);
    if (y > size_.height()) return kOffScreen;
  }
  return y;
}

int HistoryLayout::FirstVisibleLine() const { return static_cast<int>(Top().line); }

int HistoryLayout::LastVisibleLine() const {
  std::size_t line = 0;
  ForEachOnScreen([&](const Piece& piece) { line = piece.line; });
  return static_cast<int>(line);
}

// ---- Paging, as a text box pages: the view scrolls by a screenful, then
// the cursor moves by rows (keeping its x) back to the height on screen it
// had.

TextPos HistoryLayout::Page(TextPos from, bool down, qreal x, qreal y) {
  Settle();
  qreal lastY = y;
  const qreal height = size_.height();
  // Where the view's top lies below the top of its first piece.
  const qreal offset = -TopPieceY(top_);
  const bool toEdge = down ? ScrollPageDown(height + offset) : ScrollPageUp(offset - height);
  if (toEdge) lastY = down ? kOffScreen : 0;
  // No further down than the top that shows the end.
  top_ = std::min(top_, TopShowingEnd());
  Settle();
  const TextPos to = MoveToRowAt(from, down, x, lastY);
  following_ = AtBottom();
  return to;
}

// Scrolls a screenful down; true when the text ends within it.
bool HistoryLayout::ScrollPageDown(qreal bottom) {
  PieceKey key{top_.line, top_.piece};
  qreal h = 0;
  while (h + Height(key) <= bottom) {
    h += Height(key);
    if (!Next(key)) return true;
  }
  // The first row that did not wholly fit becomes the top.
  const LayoutPtr layout = Find(key);
  int row = 0;
  while (row < layout->lineCount() - 1 &&
         layout->lineAt(row).y() + layout->lineAt(row).height() <= bottom - h)
    ++row;
  top_ = {key.line, key.piece, row};
  return false;
}

// Scrolls a screenful up; true when the view was already at the start.
bool HistoryLayout::ScrollPageUp(qreal top) {
  PieceKey key{top_.line, top_.piece};
  const PieceKey from = key;
  bool toEdge = false;
  qreal h = 0;
  while (h >= top) {
    if (!Previous(key)) {
      toEdge = top_ == RowPos{};
      break;
    }
    h -= Height(key);
  }
  const LayoutPtr layout = Find(key);
  int row = 0;
  while (row < layout->lineCount() && layout->lineAt(row).y() < top - h)
    ++row;
  if (row == layout->lineCount()) {
    PieceKey next = key;
    if (Next(next) && next != from) {
      key = next;
      row = 0;
    } else {
      --row;
    }
  }
  top_ = {key.line, key.piece, std::max(0, row)};
  return toEdge;
}

// Moves from a position by rows, down or up, until a row's top reaches y.
TextPos HistoryLayout::MoveToRowAt(TextPos from, bool down, qreal x, qreal y) const {
  TextPos pos = from;
  for (;;) {
    const TextPos next = MoveVertically(pos, down ? 1 : -1, x);
    if (next == pos) break;
    pos = next;
    if (down ? RowTop(pos) >= y : RowTop(pos) <= y) break;
  }
  return pos;
}

// ---- Geometry

qreal HistoryLayout::RowTop(TextPos pos) const {
  const RowPos row = RowOf(pos);
  const qreal top = PieceTop({row.line, row.piece});
  if (std::abs(top) >= kOffScreen) return top;
  return top + Find({row.line, row.piece})->lineAt(row.row).y();
}

QRect HistoryLayout::CharacterRect(TextPos pos) const {
  pos = model_.Clamp(pos);
  const PieceKey key{pos.line, PieceOf(pos.line, pos.column)};
  const qreal top = PieceTop(key);
  if (std::abs(top) >= kOffScreen) return {};
  const LayoutPtr layout = Find(key);
  const int start = PieceStart(key);
  const TextPos cursor = model_.Cursor();
  const bool preedit = pos.line == cursor.line && pos.column >= cursor.column &&
                       key.piece == PieceOf(cursor.line, cursor.column);
  const int column = pos.column - start + (preedit ? static_cast<int>(preedit_.size()) : 0);
  const QTextLine row = layout->lineForTextPosition(column);
  if (!row.isValid()) return {};
  const qreal x = row.cursorToX(column);
  const TextPos nextPos = model_.NextCharacter(pos);
  const int next = nextPos.line == pos.line ? nextPos.column - start : pos.column - start;
  const qreal right = next > pos.column - start ? row.cursorToX(next) : x + 1;
  return QRectF(QPointF(std::min(x, right), top + row.y()),
                QPointF(std::max(x, right), top + row.y() + row.height()))
      .toAlignedRect();
}

QRectF HistoryLayout::CursorRect(TextPos cursor) const {
  const PieceKey key{cursor.line, PieceOf(cursor.line, cursor.column)};
  const qreal top = PieceTop(key);
  const LayoutPtr layout = Find(key);
  const int column = cursor.column - PieceStart(key) + preeditCursor_;
  const QTextLine row = layout->lineForTextPosition(column);
  if (!row.isValid() || std::abs(top) >= kOffScreen) return {};
  return {row.cursorToX(column), top + row.y(), 1, row.height()};
}

TextPos HistoryLayout::PositionAt(QPoint point) const {
  // The piece whose rows span the point's height, on screen or not; above
  // or below all its rows, the start or the end of that piece.
  const RowPos first = Top();
  const qreal y = point.y();
  qreal top = TopPieceY(first);
  PieceKey key{first.line, first.piece};
  for (PieceKey next = key; top + Height(key) <= y && Next(next); key = next)
    top += Height(key);
  while (top > y && Previous(key))
    top -= Height(key);
  const LayoutPtr layout = Find(key);
  const int start = PieceStart(key);
  int column = 0;
  for (int i = 0; i < layout->lineCount(); ++i) {
    const QTextLine row = layout->lineAt(i);
    if (top + row.y() > y) break;
    if (top + row.y() + row.height() <= y) {
      column = std::max(column, row.textStart() + row.textLength());
    } else {
      return model_.Clamp(ColumnAt(key, row, point.x()));
    }
  }
  return model_.Clamp({key.line, start + column});
}

// ---- Movement by rows

TextPos HistoryLayout::RowStart(TextPos pos) const {
  const RowPos at = RowOf(pos);
  const QTextLine row = Find({at.line, at.piece})->lineAt(at.row);
  const int start = PieceStart({at.line, at.piece});
  return row.isValid() ? TextPos{pos.line, start + row.textStart()} : TextPos{pos.line, start};
}

TextPos HistoryLayout::RowEnd(TextPos pos) const {
  const RowPos at = RowOf(pos);
  const PieceKey key{at.line, at.piece};
  const LayoutPtr layout = Find(key);
  const QTextLine row = layout->lineAt(at.row);
  if (!row.isValid()) return {pos.line, model_.LineLength(pos.line)};
  int end = row.textStart() + row.textLength();
  // A wrapped row ends before the space it broke at, as in a text box.
  const bool wrapped = at.row < layout->lineCount() - 1 || !LastPiece(key);
  if (wrapped && end > 0 && layout->text().at(end - 1).isSpace()) --end;
  return {pos.line, PieceStart(key) + end};
}

qreal HistoryLayout::CursorX(TextPos pos) const {
  const RowPos at = RowOf(pos);
  const QTextLine row = Find({at.line, at.piece})->lineAt(at.row);
  return row.isValid() ? row.cursorToX(pos.column - PieceStart({at.line, at.piece})) : kMargin;
}

TextPos HistoryLayout::MoveVertically(TextPos from, int rows, qreal x) const {
  RowPos at = RowOf(from);
  for (; rows > 0; --rows)
    if (!Next(at)) return from;
  for (; rows < 0; ++rows)
    if (!Previous(at)) return from;
  const PieceKey key{at.line, at.piece};
  const QTextLine textLine = Find(key)->lineAt(at.row);
  if (!textLine.isValid()) return {at.line, PieceStart(key)};
  return ColumnAt(key, textLine, x);
}

TextPos HistoryLayout::ColumnAt(PieceKey key, const QTextLine& row, qreal x) const {
  const int start = PieceStart(key);
  int column = row.xToCursor(x);
  // Right of a piece's last row, as right of a wrapped row in a text box:
  // before its last character, so that the cursor stays on that row.
  if (start + column == PieceEnd(key) && !LastPiece(key))
    column = Find(key)->previousCursorPosition(column);
  return {key.line, start + column};
}
