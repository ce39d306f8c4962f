#pragma once

#include "history/EditModel.h"

#include <QFont>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTextLayout>

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

// The rows of an EditModel's lines on a screen of a given size and font,
// laid out as a plain text document lays out its blocks: wrapped at the
// width, rows at the margin, each as high as its font's line spacing. Only
// what is near the screen is laid out, whatever the lines hold: a line
// longer than kPieceLength is laid out in pieces (cut at a place where a
// row may break, else between two characters), each on rows of its own, so
// that a question about one row lays out one piece and a million lines cost
// what ten do. It knows where the view's top is, whether the view follows
// the end of the text, and answers the geometry questions of painting, the
// mouse, the keys that move by rows and pages, and assistive technology. No
// widget.
//
// Changes of state (the text, the size, the font, scrolling) happen in the
// non-const functions; the const ones only answer (laying out, and keeping
// for a while, the pieces they need).
class HistoryLayout {
public:
  // A place on screen: row `row` of piece `piece` of line `line`.
  struct RowPos {
    std::size_t line = 0;
    int piece = 0;
    int row = 0;
    auto operator<=>(const RowPos&) const = default;
  };

  // A piece of a line laid out: the line's columns [start, end), the last
  // piece's end being the line's. As painting gets it, with the viewport y
  // of its top and its height.
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

  // Margin around the text, as a text document's.
  static constexpr int kMargin = 4;
  // Where a row lies when it is not on screen: far above or below it.
  static constexpr qreal kOffScreen = 1e9;
  // Lines up to this many UTF-16 units are laid out whole, as a text box
  // lays them out; longer ones in pieces of about this length. A text
  // without a place to break costs QTextLayout time in the square of its
  // length, so the pieces stay short.
  static constexpr int kPieceLength = 1024;

  explicit HistoryLayout(const EditModel& model);
  HistoryLayout(const HistoryLayout&) = delete;
  HistoryLayout& operator=(const HistoryLayout&) = delete;
  ~HistoryLayout();

  // ---- What the rows depend on
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
  [[nodiscard]] int PreeditCursor() const { return preeditCursor_; }

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
  // Movement by visual rows.
  [[nodiscard]] TextPos MoveVertically(TextPos from, int rows, qreal x) const;
  [[nodiscard]] TextPos RowStart(TextPos pos) const;
  [[nodiscard]] TextPos RowEnd(TextPos pos) const;
  [[nodiscard]] qreal CursorX(TextPos pos) const;

  // Calls draw(piece) for each piece with a row on screen, top to bottom.
  // After Settle, all are kept laid out.
  template <class Draw> void ForEachOnScreen(Draw&& draw) const;

private:
  // A piece of a line: the unit that is laid out, and kept.
  struct PieceKey {
    std::size_t line = 0;
    int piece = 0;
    auto operator<=>(const PieceKey&) const = default;
  };
  using LayoutPtr = std::shared_ptr<const QTextLayout>;

  // ---- Pieces (HistoryLayoutPieces.cpp)
  // Where the pieces of a line start, and the line's length last: in
  // UTF-16 units, and for a line of several pieces in bytes of its UTF-8.
  struct LineCuts {
    std::vector<int> units;
    std::vector<std::size_t> bytes;
  };
  [[nodiscard]] const std::vector<int>& Cuts(std::size_t line) const;
  [[nodiscard]] const LineCuts& FindCuts(std::size_t line) const;
  [[nodiscard]] LineCuts MakeCuts(std::size_t line) const;
  [[nodiscard]] int PieceCount(std::size_t line) const;
  [[nodiscard]] int PieceStart(PieceKey key) const {
    return Cuts(key.line)[static_cast<std::size_t>(key.piece)];
  }
  [[nodiscard]] int PieceEnd(PieceKey key) const {
    return Cuts(key.line)[static_cast<std::size_t>(key.piece) + 1];
  }
  [[nodiscard]] bool LastPiece(PieceKey key) const;
  // The piece that shows a cursor at `column`.
  [[nodiscard]] int PieceOf(std::size_t line, int column) const;
  [[nodiscard]] RowPos RowOf(TextPos pos) const;
  [[nodiscard]] LayoutPtr MakeLayout(PieceKey key) const;
  [[nodiscard]] LayoutPtr Find(PieceKey key) const;
  [[nodiscard]] bool Next(PieceKey& key) const;
  [[nodiscard]] bool Previous(PieceKey& key) const;
  [[nodiscard]] bool Next(RowPos& pos) const;
  [[nodiscard]] bool Previous(RowPos& pos) const;
  [[nodiscard]] int Rows(PieceKey key) const;
  [[nodiscard]] qreal Height(PieceKey key) const;
  [[nodiscard]] PieceKey LastKey() const;
  void Forget();
  void KeepOnly(const std::vector<PieceKey>& keys);

  // ---- The top and scrolling (HistoryLayout.cpp)
  void ClampTop();
  [[nodiscard]] qreal TextWidth() const;
  [[nodiscard]] qreal RowHeight() const;
  // The top that shows the last row as the last thing on screen.
  [[nodiscard]] RowPos TopShowingEnd() const;
  // The viewport y of the top of the top piece.
  [[nodiscard]] qreal TopPieceY(RowPos top) const;
  // The viewport y of a piece's top, or ±kOffScreen.
  [[nodiscard]] qreal PieceTop(PieceKey key) const;
  [[nodiscard]] bool AtBottom() const;
  bool ScrollPageDown(qreal bottom);
  bool ScrollPageUp(qreal top);
  // The place at x on a row of a piece.
  [[nodiscard]] TextPos ColumnAt(PieceKey key, const QTextLine& row, qreal x) const;
  [[nodiscard]] TextPos MoveToRowAt(TextPos from, bool down, qreal x, qreal y) const;

  const EditModel& model_;
  QFont font_;
  QSize size_;
  mutable std::map<PieceKey, LayoutPtr> layouts_; // the pieces kept laid out
  std::size_t onScreen_ = 0;                      // of them, those on screen when last settled
  mutable std::map<std::size_t, LineCuts> cuts_;  // of the lines asked about
  RowPos top_;                                    // first row on screen
  bool following_ = true;                         // the end of the text is in view
  bool anchorPending_ = false; // lines came while following: show the end when settled
  QString preedit_;
  int preeditCursor_ = 0;
  QList<QTextLayout::FormatRange> preeditFormats_;
};

template <class Draw> void HistoryLayout::ForEachOnScreen(Draw&& draw) const {
  const RowPos top = Top();
  qreal y = TopPieceY(top);
  PieceKey key{top.line, top.piece};
  do {
    const LayoutPtr layout = Find(key);
    const qreal height = Height(key);
    draw(Piece{key.line, PieceStart(key), PieceEnd(key), LastPiece(key), *layout, y, height});
    y += height;
  } while (y < size_.height() && Next(key));
}
