#include "history/HistoryLayout.h"

#include <QFontMetricsF>

#include <algorithm>
#include <utility>

HistoryLayout::HistoryLayout(const EditModel& model) : model_(model) {}

HistoryLayout::~HistoryLayout() = default;

// ---- What the rows depend on

void HistoryLayout::SetFont(const QFont& font) {
  font_ = font;
  Forget();
}

void HistoryLayout::SetWidth(int width) {
  width_ = width;
  Forget();
}

void HistoryLayout::TextChanged(const TextChange& change) {
  if (change.appended) {
    // Nothing changed but the last line, which may have grown; the new
    // lines are laid out when asked about.
    layouts_.erase(layouts_.lower_bound({change.from.line, 0}), layouts_.end());
    cuts_.erase(change.from.line);
    return;
  }
  Forget();
}

void HistoryLayout::SetPreedit(const QString& text, int cursor,
                               QList<QTextLayout::FormatRange> formats) {
  preedit_ = text;
  preeditCursor_ = cursor;
  preeditFormats_ = std::move(formats);
  const std::size_t line = model_.Cursor().line;
  std::erase_if(layouts_, [&](const auto& kept) { return kept.first.line == line; });
}

qreal HistoryLayout::TextWidth() const { return std::max<qreal>(1, width_ - 2 * kMargin); }

qreal HistoryLayout::RowHeight() const { return QFontMetricsF(font_).lineSpacing(); }

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
