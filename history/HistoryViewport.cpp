#include "history/HistoryViewport.h"

#include <algorithm>
#include <cmath>
#include <utility>

HistoryViewport::HistoryViewport(const EditModel& model, HistoryLayout& layout)
    : model_(model), rows_(layout) {}

// ---- What the rows on screen depend on

void HistoryViewport::SetFont(const QFont& font) {
  rows_.SetFont(font);
  // Rows change with the font; a view showing the end keeps showing it.
  if (following_) anchorPending_ = true;
  ClampTop();
}

void HistoryViewport::SetSize(QSize size) {
  size_ = size;
  rows_.SetWidth(size.width());
  // Rows change with the width; a view showing the end keeps showing it.
  if (following_) anchorPending_ = true;
  ClampTop();
}

void HistoryViewport::TextChanged(const TextChange& change) {
  rows_.TextChanged(change);
  if (change.appended) {
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
  ClampTop();
}

void HistoryViewport::SetPreedit(const QString& text, int cursor,
                                 QList<QTextLayout::FormatRange> formats) {
  rows_.SetPreedit(text, cursor, std::move(formats));
  ClampTop();
}

void HistoryViewport::ClampTop() {
  top_.line = std::min(top_.line, model_.LineCount() - 1);
  top_.piece = std::clamp(top_.piece, 0, rows_.PieceCount(top_.line) - 1);
  top_.row = std::clamp(top_.row, 0, rows_.Rows({top_.line, top_.piece}) - 1);
}

// ---- Scrolling. The view's top is a row of a piece; the bottom-most top is
// the one that shows the last row, as a plain text box counts it.

void HistoryViewport::Settle() {
  if (anchorPending_) {
    anchorPending_ = false;
    top_ = TopShowingEnd();
  }
  ClampTop();
  // Keep the layouts of what is on screen only.
  std::vector<PieceKey> onScreen;
  ForEachOnScreen([&](const Piece& piece) {
    onScreen.push_back({piece.line, rows_.PieceOf(piece.line, piece.start)});
  });
  rows_.KeepOnly(onScreen);
}

HistoryViewport::RowPos HistoryViewport::Top() const {
  // Lines that came while following are shown from the next settling on;
  // until then, the top they ask for.
  if (anchorPending_) return TopShowingEnd();
  return top_;
}

// The top that shows the last row as the last thing on screen, as a text
// box counts it: the text's bottom margin below it.
HistoryViewport::RowPos HistoryViewport::TopShowingEnd() const {
  const qreal visible = size_.height() - kMargin - 1;
  qreal y = kMargin;
  PieceKey key = rows_.LastKey();
  do {
    const LayoutPtr layout = rows_.Find(key);
    y += rows_.Height(key);
    if (y > visible) {
      // The rows of this piece whose top still fits.
      int row = 0;
      while (row < layout->lineCount() && layout->lineAt(row).y() < y - visible)
        ++row;
      if (row < layout->lineCount()) return {key.line, key.piece, row};
      if (key != rows_.LastKey()) (void)rows_.Next(key);
      return {key.line, key.piece, 0};
    }
  } while (rows_.Previous(key));
  return {};
}

bool HistoryViewport::AtBottom() const {
  if (anchorPending_) return true;
  const PieceKey last = rows_.LastKey();
  return PieceTop(last) + rows_.Height(last) <= size_.height();
}

void HistoryViewport::ScrollRows(int rows) {
  Settle();
  const RowPos bottom = TopShowingEnd();
  for (; rows > 0 && top_ < bottom && rows_.Next(top_); --rows) {
  }
  for (; rows < 0 && rows_.Previous(top_); ++rows) {
  }
  following_ = AtBottom();
  Settle();
}

void HistoryViewport::EnsureVisible(TextPos pos) {
  Settle();
  const RowPos target = rows_.RowOf(pos);
  PieceKey key{target.line, target.piece};
  const QTextLine textLine = rows_.Find(key)->lineAt(target.row);
  const qreal height = size_.height();
  if (target < top_) {
    top_ = target;
  } else if (PieceTop(key) + textLine.y() + textLine.height() >= height) {
    // The row becomes the last one shown, as a text box places the cursor's.
    qreal h = textLine.y() + textLine.height();
    PieceKey after = key;
    for (PieceKey before = key; h < height && rows_.Previous(before);) {
      after = key;
      key = before;
      h += rows_.Height(key);
    }
    const qreal margin = key == PieceKey{} ? kMargin : 0;
    const LayoutPtr first = rows_.Find(key);
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
qreal HistoryViewport::TopPieceY(RowPos top) const {
  return (top == RowPos{} ? kMargin : 0) - rows_.Find({top.line, top.piece})->lineAt(top.row).y();
}

qreal HistoryViewport::PieceTop(PieceKey key) const {
  const RowPos top = Top();
  PieceKey at{top.line, top.piece};
  if (key < at) return -kOffScreen;
  qreal y = TopPieceY(top);
  for (; at < key; (void)rows_.Next(at)) {
    y += rows_.Height(at);
    if (y > size_.height()) return kOffScreen;
  }
  return y;
}

int HistoryViewport::FirstVisibleLine() const { return static_cast<int>(Top().line); }

int HistoryViewport::LastVisibleLine() const {
  std::size_t line = 0;
  ForEachOnScreen([&](const Piece& piece) { line = piece.line; });
  return static_cast<int>(line);
}

// ---- Paging, as a text box pages: the view scrolls by a screenful, then
// the cursor moves by rows (keeping its x) back to the height on screen it
// had.

TextPos HistoryViewport::Page(TextPos from, bool down, qreal x, qreal y) {
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
bool HistoryViewport::ScrollPageDown(qreal bottom) {
  PieceKey key{top_.line, top_.piece};
  qreal h = 0;
  while (h + rows_.Height(key) <= bottom) {
    h += rows_.Height(key);
    if (!rows_.Next(key)) return true;
  }
  // The first row that did not wholly fit becomes the top.
  const LayoutPtr layout = rows_.Find(key);
  int row = 0;
  while (row < layout->lineCount() - 1 &&
         layout->lineAt(row).y() + layout->lineAt(row).height() <= bottom - h)
    ++row;
  top_ = {key.line, key.piece, row};
  return false;
}

// Scrolls a screenful up; true when the view was already at the start.
bool HistoryViewport::ScrollPageUp(qreal top) {
  PieceKey key{top_.line, top_.piece};
  const PieceKey from = key;
  bool toEdge = false;
  qreal h = 0;
  while (h >= top) {
    if (!rows_.Previous(key)) {
      toEdge = top_ == RowPos{};
      break;
    }
    h -= rows_.Height(key);
  }
  const LayoutPtr layout = rows_.Find(key);
  int row = 0;
  while (row < layout->lineCount() && layout->lineAt(row).y() < top - h)
    ++row;
  if (row == layout->lineCount()) {
    PieceKey next = key;
    if (rows_.Next(next) && next != from) {
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
TextPos HistoryViewport::MoveToRowAt(TextPos from, bool down, qreal x, qreal y) const {
  TextPos pos = from;
  for (;;) {
    const TextPos next = rows_.MoveVertically(pos, down ? 1 : -1, x);
    if (next == pos) break;
    pos = next;
    if (down ? RowTop(pos) >= y : RowTop(pos) <= y) break;
  }
  return pos;
}

// ---- Geometry

qreal HistoryViewport::RowTop(TextPos pos) const {
  const RowPos row = rows_.RowOf(pos);
  const qreal top = PieceTop({row.line, row.piece});
  if (std::abs(top) >= kOffScreen) return top;
  return top + rows_.Find({row.line, row.piece})->lineAt(row.row).y();
}

QRect HistoryViewport::CharacterRect(TextPos pos) const {
  pos = model_.Clamp(pos);
  const PieceKey key{pos.line, rows_.PieceOf(pos.line, pos.column)};
  const qreal top = PieceTop(key);
  if (std::abs(top) >= kOffScreen) return {};
  const LayoutPtr layout = rows_.Find(key);
  const int start = rows_.PieceStart(key);
  const TextPos cursor = model_.Cursor();
  const bool preedit = pos.line == cursor.line && pos.column >= cursor.column &&
                       key.piece == rows_.PieceOf(cursor.line, cursor.column);
  const int column = pos.column - start + (preedit ? static_cast<int>(rows_.PreeditLength()) : 0);
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

QRectF HistoryViewport::CursorRect(TextPos cursor) const {
  const PieceKey key{cursor.line, rows_.PieceOf(cursor.line, cursor.column)};
  const qreal top = PieceTop(key);
  const LayoutPtr layout = rows_.Find(key);
  const int column = cursor.column - rows_.PieceStart(key) + rows_.PreeditCursor();
  const QTextLine row = layout->lineForTextPosition(column);
  if (!row.isValid() || std::abs(top) >= kOffScreen) return {};
  return {row.cursorToX(column), top + row.y(), 1, row.height()};
}

TextPos HistoryViewport::PositionAt(QPoint point) const {
  // The piece whose rows span the point's height, on screen or not; above
  // or below all its rows, the start or the end of that piece.
  const RowPos first = Top();
  const qreal y = point.y();
  qreal top = TopPieceY(first);
  PieceKey key{first.line, first.piece};
  for (PieceKey next = key; top + rows_.Height(key) <= y && rows_.Next(next); key = next)
    top += rows_.Height(key);
  while (top > y && rows_.Previous(key))
    top -= rows_.Height(key);
  const LayoutPtr layout = rows_.Find(key);
  const int start = rows_.PieceStart(key);
  int column = 0;
  for (int i = 0; i < layout->lineCount(); ++i) {
    const QTextLine row = layout->lineAt(i);
    if (top + row.y() > y) break;
    if (top + row.y() + row.height() <= y) {
      column = std::max(column, row.textStart() + row.textLength());
    } else {
      return model_.Clamp(rows_.ColumnAt(key, row, point.x()));
    }
  }
  return model_.Clamp({key.line, start + column});
}
