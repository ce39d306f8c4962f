#include "history/HistoryLayout.h"

#include <QFontMetricsF>
#include <QTextOption>

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
    // Nothing on screen changed; the new line is laid out when shown.
    layouts_.erase(change.from.line);
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
  Forget();
  ClampTop();
}

void HistoryLayout::LinesAppended() {
  if (following_) anchorPending_ = true;
}

void HistoryLayout::SetPreedit(const QString& text, int cursor,
                               QList<QTextLayout::FormatRange> formats) {
  preedit_ = text;
  preeditCursor_ = cursor;
  preeditFormats_ = std::move(formats);
  layouts_.erase(model_.Cursor().line);
  ClampTop();
}

// ---- The lines' layouts

qreal HistoryLayout::TextWidth() const { return std::max<qreal>(1, size_.width() - 2 * kMargin); }

qreal HistoryLayout::RowHeight() const { return QFontMetricsF(font_).lineSpacing(); }

std::unique_ptr<QTextLayout> HistoryLayout::MakeLayout(std::size_t line) const {
  auto layout = std::make_unique<QTextLayout>(model_.Line(line), font_);
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
  return layout;
}

HistoryLayout::LineLayout HistoryLayout::Find(std::size_t line) const {
  if (const auto kept = layouts_.find(line); kept != layouts_.end() && kept->second)
    return LineLayout(*kept->second);
  return LineLayout(MakeLayout(line));
}

const QTextLayout& HistoryLayout::Keep(std::size_t line) {
  auto& layout = layouts_[line];
  if (!layout) layout = MakeLayout(line);
  return *layout;
}

void HistoryLayout::Forget() { layouts_.clear(); }

void HistoryLayout::ClampTop() {
  top_ = std::min(top_, model_.LineCount() - 1);
  topRow_ = std::clamp(topRow_, 0, std::max(1, Keep(top_).lineCount()) - 1);
}

qreal HistoryLayout::HeightOf(const QTextLayout& layout) const {
  if (layout.lineCount() == 0) return RowHeight();
  const QTextLine last = layout.lineAt(layout.lineCount() - 1);
  return last.y() + last.height();
}

int HistoryLayout::Rows(std::size_t line) const { return std::max(1, Find(line)->lineCount()); }

qreal HistoryLayout::LineHeight(std::size_t line) const { return HeightOf(*Find(line)); }

// ---- Scrolling. The view's top is a row of a line; the bottom-most top is
// the one that shows the last row, as a plain text box counts it.

void HistoryLayout::Settle() {
  if (anchorPending_) {
    anchorPending_ = false;
    const RowPos top = TopShowing(model_.LineCount() - 1);
    top_ = top.line;
    topRow_ = top.row;
  }
  ClampTop();
  // Keep the layouts of what is on screen only.
  std::map<std::size_t, std::unique_ptr<QTextLayout>> onScreen;
  qreal y = TopLineY({top_, topRow_});
  for (std::size_t line = top_; line < model_.LineCount() && y < size_.height(); ++line) {
    y += HeightOf(Keep(line));
    onScreen[line] = std::move(layouts_[line]);
  }
  layouts_ = std::move(onScreen);
}

HistoryLayout::RowPos HistoryLayout::Top() const {
  // Lines that came while following are shown from the next settling on;
  // until then, the top they ask for.
  if (anchorPending_) return TopShowing(model_.LineCount() - 1);
  return {top_, topRow_};
}

HistoryLayout::RowPos HistoryLayout::TopShowing(std::size_t line, int lastRow) const {
  const qreal visible = size_.height() - kMargin - 1;
  qreal y = 0;
  for (std::size_t l = line + 1; l-- > 0;) {
    const LineLayout layout = Find(l);
    qreal height = HeightOf(*layout);
    if (l == line && lastRow >= 0 && lastRow < layout->lineCount())
      height = layout->lineAt(lastRow).y() + layout->lineAt(lastRow).height();
    y += height;
    if (y > visible) {
      // The rows of this line whose top still fits.
      int row = 0;
      while (row < layout->lineCount() && layout->lineAt(row).y() < y - visible)
        ++row;
      if (row < layout->lineCount()) return {l, row};
      return {std::min(l + 1, line), 0};
    }
  }
  return {0, 0};
}

bool HistoryLayout::AtBottom() const {
  if (anchorPending_) return true;
  const std::size_t last = model_.LineCount() - 1;
  return LineTop(last) + LineHeight(last) <= size_.height();
}

void HistoryLayout::ScrollRows(int rows) {
  Settle();
  const RowPos bottom = TopShowing(model_.LineCount() - 1);
  while (rows > 0 && RowPos{top_, topRow_} < bottom) {
    if (topRow_ + 1 < std::max(1, Keep(top_).lineCount())) {
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
      topRow_ = std::max(1, Keep(top_).lineCount()) - 1;
    }
    ++rows;
  }
  following_ = AtBottom();
  Settle();
}

void HistoryLayout::EnsureVisible(TextPos pos) {
  Settle();
  const QTextLayout& layout = Keep(pos.line);
  const int row = std::max(0, layout.lineForTextPosition(pos.column).lineNumber());
  const QTextLine textLine = layout.lineAt(row);
  const qreal height = size_.height();
  if (RowPos{pos.line, row} < RowPos{top_, topRow_}) {
    top_ = pos.line;
    topRow_ = row;
  } else if (LineTop(pos.line) + textLine.y() + textLine.height() >= height) {
    // The row becomes the last one shown, as a text box places the cursor's.
    qreal h = textLine.y() + textLine.height();
    std::size_t line = pos.line;
    std::size_t after = line;
    while (h < height && line > 0) {
      after = line;
      --line;
      h += HeightOf(Keep(line));
    }
    const qreal margin = line == 0 ? kMargin : 0;
    const QTextLayout& first = Keep(line);
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
  Settle();
}

// Where the top line starts, in viewport y: its first shown row at the
// top, below the margin for the text's first line, as a text box puts it.
qreal HistoryLayout::TopLineY(RowPos top) const {
  return (top.line == 0 ? kMargin : 0) - Find(top.line)->lineAt(top.row).y();
}

qreal HistoryLayout::LineTop(std::size_t line) const {
  const RowPos top = Top();
  if (line < top.line) return -kOffScreen;
  qreal y = TopLineY(top);
  for (std::size_t l = top.line; l < line; ++l) {
    y += LineHeight(l);
    if (y > size_.height()) return kOffScreen;
  }
  return y;
}

int HistoryLayout::FirstVisibleLine() const { return static_cast<int>(Top().line); }

int HistoryLayout::LastVisibleLine() const {
  const RowPos top = Top();
  qreal y = TopLineY(top);
  std::size_t line = top.line;
  while (line + 1 < model_.LineCount()) {
    y += LineHeight(line);
    if (y >= size_.height()) break;
    ++line;
  }
  return static_cast<int>(line);
}

// ---- Paging, as a text box pages: the view scrolls by a screenful, then
// the cursor moves by rows (keeping its x) back to the height on screen it
// had.

TextPos HistoryLayout::Page(TextPos from, bool down, qreal x, qreal y) {
  Settle();
  qreal lastY = y;
  const qreal height = size_.height();
  // Where the view's top lies below the top of its first line.
  const qreal offset = -TopLineY({top_, topRow_});
  const bool toEdge = down ? ScrollPageDown(height + offset) : ScrollPageUp(offset - height);
  if (toEdge) lastY = down ? kOffScreen : 0;
  Settle();
  const TextPos to = MoveToRowAt(from, down, x, lastY);
  following_ = AtBottom();
  return to;
}

// Scrolls a screenful down; true when the text ends within it.
bool HistoryLayout::ScrollPageDown(qreal bottom) {
  std::size_t line = top_;
  qreal h = 0;
  while (h + HeightOf(Keep(line)) <= bottom) {
    if (line + 1 == model_.LineCount()) return true;
    h += HeightOf(Keep(line));
    ++line;
  }
  // The first row that did not wholly fit becomes the top.
  const QTextLayout& layout = Keep(line);
  int row = 0;
  while (row < layout.lineCount() - 1 &&
         layout.lineAt(row).y() + layout.lineAt(row).height() <= bottom - h)
    ++row;
  top_ = line;
  topRow_ = row;
  return false;
}

// Scrolls a screenful up; true when the view was already at the start.
bool HistoryLayout::ScrollPageUp(qreal top) {
  std::size_t line = top_;
  bool toEdge = false;
  qreal h = 0;
  while (h >= top) {
    if (line == 0) {
      toEdge = top_ == 0 && topRow_ == 0;
      break;
    }
    --line;
    h -= HeightOf(Keep(line));
  }
  const QTextLayout& layout = Keep(line);
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
  return LineTop(pos.line) + Find(pos.line)->lineForTextPosition(pos.column).y();
}

QRect HistoryLayout::CharacterRect(TextPos pos) const {
  pos = model_.Clamp(pos);
  const qreal top = LineTop(pos.line);
  if (std::abs(top) >= kOffScreen) return {};
  const LineLayout layout = Find(pos.line);
  const TextPos cursor = model_.Cursor();
  const int column = pos.line == cursor.line && pos.column >= cursor.column
                         ? pos.column + static_cast<int>(preedit_.size())
                         : pos.column;
  const QTextLine row = layout->lineForTextPosition(column);
  if (!row.isValid()) return {};
  const qreal x = row.cursorToX(column);
  const TextPos nextPos = model_.NextCharacter(pos);
  const int next = nextPos.line == pos.line ? nextPos.column : pos.column;
  const qreal right = next > pos.column ? row.cursorToX(next) : x + 1;
  return QRectF(QPointF(std::min(x, right), top + row.y()),
                QPointF(std::max(x, right), top + row.y() + row.height()))
      .toAlignedRect();
}

QRectF HistoryLayout::CursorRect(TextPos cursor) const {
  const qreal top = LineTop(cursor.line);
  const LineLayout layout = Find(cursor.line);
  const int column = cursor.column + preeditCursor_;
  const QTextLine row = layout->lineForTextPosition(column);
  if (!row.isValid() || std::abs(top) >= kOffScreen) return {};
  return {row.cursorToX(column), top + row.y(), 1, row.height()};
}

TextPos HistoryLayout::PositionAt(QPoint point) const {
  // The line whose rows span the point's height, on screen or not; above
  // or below all its rows, the start or the end of that line.
  const RowPos first = Top();
  const qreal y = point.y();
  qreal top = TopLineY(first);
  std::size_t line = first.line;
  while (line + 1 < model_.LineCount() && top + LineHeight(line) <= y) {
    top += LineHeight(line);
    ++line;
  }
  while (line > 0 && top > y) {
    --line;
    top -= LineHeight(line);
  }
  const LineLayout layout = Find(line);
  int column = 0;
  for (int i = 0; i < layout->lineCount(); ++i) {
    const QTextLine row = layout->lineAt(i);
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

// ---- Movement by rows

TextPos HistoryLayout::RowStart(TextPos pos) const {
  const LineLayout layout = Find(pos.line);
  const QTextLine row = layout->lineForTextPosition(pos.column);
  return row.isValid() ? TextPos{pos.line, row.textStart()} : TextPos{pos.line, 0};
}

TextPos HistoryLayout::RowEnd(TextPos pos) const {
  const LineLayout layout = Find(pos.line);
  const QTextLine row = layout->lineForTextPosition(pos.column);
  if (!row.isValid()) return {pos.line, model_.LineLength(pos.line)};
  int end = row.textStart() + row.textLength();
  // A wrapped row ends before the space it broke at, as in a text box.
  if (row.lineNumber() < layout->lineCount() - 1 && end > 0 && layout->text().at(end - 1).isSpace())
    --end;
  return {pos.line, end};
}

qreal HistoryLayout::CursorX(TextPos pos) const {
  const LineLayout layout = Find(pos.line);
  const QTextLine row = layout->lineForTextPosition(pos.column);
  return row.isValid() ? row.cursorToX(pos.column) : kMargin;
}

TextPos HistoryLayout::MoveVertically(TextPos from, int rows, qreal x) const {
  std::size_t line = from.line;
  int row = std::max(0, Find(line)->lineForTextPosition(from.column).lineNumber());
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
  const LineLayout layout = Find(line);
  const QTextLine textLine = layout->lineAt(row);
  if (!textLine.isValid()) return {line, 0};
  return {line, textLine.xToCursor(x)};
}
