#pragma once

#include "history/EditModel.h"

#include <QFont>
#include <QList>
#include <QString>
#include <QTextLayout>

#include <cstddef>
#include <map>
#include <memory>
#include <vector>

// The rows of an EditModel's lines at a given width and font, laid out as
// a plain text document lays out its blocks: wrapped at the width, rows at
// the margin, each as high as its font's line spacing. Only what is asked
// about is laid out, whatever the lines hold: a line longer than
// kPieceLength is laid out in pieces (cut at a place where a row may
// break, else between two characters), each on rows of its own, so that a
// question about one row lays out one piece and a million lines cost what
// ten do. It answers in the rows' own terms (moves by rows, a row's start
// and end, x within a row); where the screen's top is, and the geometry on
// screen, are a HistoryViewport's. No widget.
//
// Changes (the text, the width, the font) happen in the non-const
// functions; the const ones only answer (laying out, and keeping for a
// while, the pieces they need).
class HistoryLayout {
public:
  // A place among the rows: row `row` of piece `piece` of line `line`.
  struct RowPos {
    std::size_t line = 0;
    int piece = 0;
    int row = 0;
    auto operator<=>(const RowPos&) const = default;
  };
  // A piece of a line: the unit that is laid out, and kept.
  struct PieceKey {
    std::size_t line = 0;
    int piece = 0;
    auto operator<=>(const PieceKey&) const = default;
  };
  using LayoutPtr = std::shared_ptr<const QTextLayout>;

  // Margin around the text, as a text document's.
  static constexpr int kMargin = 4;
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
  void SetWidth(int width);
  // The model's text changed: the pieces it touched are laid out again.
  void TextChanged(const TextChange& change);
  // An input method's pre-edit text, shown inside the cursor's line.
  void SetPreedit(const QString& text, int cursor, QList<QTextLayout::FormatRange> formats);
  [[nodiscard]] int PreeditCursor() const { return preeditCursor_; }
  [[nodiscard]] int PreeditLength() const { return static_cast<int>(preedit_.size()); }
  [[nodiscard]] qreal RowHeight() const;

  // ---- Pieces and rows (HistoryLayoutPieces.cpp)
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
  // A piece laid out; it lives on with its holders.
  [[nodiscard]] LayoutPtr Find(PieceKey key) const;
  [[nodiscard]] bool Next(PieceKey& key) const;
  [[nodiscard]] bool Previous(PieceKey& key) const;
  [[nodiscard]] bool Next(RowPos& pos) const;
  [[nodiscard]] bool Previous(RowPos& pos) const;
  [[nodiscard]] int Rows(PieceKey key) const;
  [[nodiscard]] qreal Height(PieceKey key) const;
  [[nodiscard]] PieceKey LastKey() const;
  // Keeps the layouts of these pieces (those on screen) and forgets others.
  void KeepOnly(const std::vector<PieceKey>& keys);

  // ---- Movement by rows
  [[nodiscard]] TextPos MoveVertically(TextPos from, int rows, qreal x) const;
  [[nodiscard]] TextPos RowStart(TextPos pos) const;
  [[nodiscard]] TextPos RowEnd(TextPos pos) const;
  [[nodiscard]] qreal CursorX(TextPos pos) const;
  // The place at x on a row of a piece.
  [[nodiscard]] TextPos ColumnAt(PieceKey key, const QTextLine& row, qreal x) const;

private:
  // Where the pieces of a line start, and the line's length last: in
  // UTF-16 units, and for a line of several pieces in bytes of its UTF-8.
  struct LineCuts {
    std::vector<int> units;
    std::vector<std::size_t> bytes;
  };
  [[nodiscard]] const std::vector<int>& Cuts(std::size_t line) const;
  [[nodiscard]] const LineCuts& FindCuts(std::size_t line) const;
  [[nodiscard]] LineCuts MakeCuts(std::size_t line) const;
  [[nodiscard]] LayoutPtr MakeLayout(PieceKey key) const;
  [[nodiscard]] qreal TextWidth() const;
  void Forget();

  const EditModel& model_;
  QFont font_;
  int width_ = 0;
  mutable std::map<PieceKey, LayoutPtr> layouts_; // the pieces kept laid out
  std::size_t onScreen_ = 0;                      // of them, those on screen when last settled
  mutable std::map<std::size_t, LineCuts> cuts_;  // of the lines asked about
  QString preedit_;
  int preeditCursor_ = 0;
  QList<QTextLayout::FormatRange> preeditFormats_;
};
