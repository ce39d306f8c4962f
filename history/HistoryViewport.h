#pragma once

#include "history/HistoryLayout.h"

#include <QPoint>
#include <QRect>
#include <QSize>

// What a screen of a given size shows of a HistoryLayout's rows: the top
// row, whether the view follows the end of the text, scrolling and paging,
// and the geometry questions of painting, the mouse and assistive
// technology, in viewport coordinates. The rows themselves are the
// layout's; this holds the scroll state, as a text box keeps its top line
// apart from its document's layout. No widget.
class HistoryViewport {
public:
  using RowPos = HistoryLayout::RowPos;
  using PieceKey = HistoryLayout::PieceKey;
  using LayoutPtr = HistoryLayout::LayoutPtr;

  // A piece of a line on screen, as painting gets it: the line's columns
  // [start, end), the last piece's end being the line's, with the viewport
  // y of its top and its height.
  struct Piece {
    std::size_t line;
    int start;
    int end;
    bool last;
    const QTextLayout& layout;
    qreal y;
    qreal height;
    // Whether a cursor at `column` of the line is drawn in this piece.
    [[nodiscard]] bool Holds(int column) const { return column >= start && (column < end || last); }
  };

  static constexpr int kMargin = HistoryLayout::kMargin;
  // Where a row lies when it is not on screen: far above or below it.
  static constexpr qreal kOffScreen = 1e9;

  HistoryViewport(const EditModel& model, HistoryLayout& layout);

  // ---- What the rows on screen depend on; each keeps a view that showed
  // the end of the text showing it
  void SetFont(const QFont& font);
  void SetSize(QSize size);
  [[nodiscard]] QSize Size() const { return size_; }
  // The model's text changed (called by its owner from the model's change
  // observer, before anyone asks where things are). Lines appended are
  // shown at once if the end of the text was in view, placed when next
  // settled, so that a burst of lines costs one placement.
  void TextChanged(const TextChange& change);
  // An input method's pre-edit text, shown inside the cursor's line.
  void SetPreedit(const QString& text, int cursor, QList<QTextLayout::FormatRange> formats);

  // Places the top as the last changes ask, lays out the pieces on screen
  // and forgets the others. Before painting, and before an edit or a move
  // that works with the rows on screen.
  void Settle();

  // ---- Scrolling
  void ScrollRows(int rows);
  // Scrolls as little as needed to show the row holding `pos`.
  void EnsureVisible(TextPos pos);
  // Scrolls a screenful, as a text box pages, and returns where a cursor at
  // `from` goes: by rows (at x) back to the height on screen `y`, or to
  // the last or first row when the text ends within the screenful.
  [[nodiscard]] TextPos Page(TextPos from, bool down, qreal x, qreal y);
  // Whether the view shows the end of the text (and so follows new lines).
  [[nodiscard]] bool Following() const { return following_; }

  // ---- Questions, in viewport coordinates
  [[nodiscard]] RowPos Top() const;
  [[nodiscard]] int FirstVisibleLine() const;
  [[nodiscard]] int LastVisibleLine() const;
  [[nodiscard]] qreal RowTop(TextPos pos) const; // of the row holding pos, or ±kOffScreen
  [[nodiscard]] QRectF CursorRect(TextPos cursor) const;
  [[nodiscard]] QRect CharacterRect(TextPos pos) const; // empty if off screen
  [[nodiscard]] TextPos PositionAt(QPoint point) const;

  // Calls draw(piece) for each piece with a row on screen, top to bottom.
  // After Settle, all are kept laid out.
  template <class Draw> void ForEachOnScreen(Draw&& draw) const;

private:
  void ClampTop();
  // The top that shows the last row as the last thing on screen.
  [[nodiscard]] RowPos TopShowingEnd() const;
  // The viewport y of the top of the top piece.
  [[nodiscard]] qreal TopPieceY(RowPos top) const;
  // The viewport y of a piece's top, or ±kOffScreen.
  [[nodiscard]] qreal PieceTop(PieceKey key) const;
  [[nodiscard]] bool AtBottom() const;
  bool ScrollPageDown(qreal bottom);
  bool ScrollPageUp(qreal top);
  [[nodiscard]] TextPos MoveToRowAt(TextPos from, bool down, qreal x, qreal y) const;

  const EditModel& model_;
  HistoryLayout& rows_;
  QSize size_;
  RowPos top_;                 // first row on screen
  bool following_ = true;      // the end of the text is in view
  bool anchorPending_ = false; // lines came while following: show the end when settled
};

template <class Draw> void HistoryViewport::ForEachOnScreen(Draw&& draw) const {
  const RowPos top = Top();
  qreal y = TopPieceY(top);
  PieceKey key{top.line, top.piece};
  do {
    const LayoutPtr layout = rows_.Find(key);
    const qreal height = rows_.Height(key);
    draw(Piece{key.line, rows_.PieceStart(key), rows_.PieceEnd(key), rows_.LastPiece(key), *layout,
               y, height});
    y += height;
  } while (y < size_.height() && rows_.Next(key));
}
