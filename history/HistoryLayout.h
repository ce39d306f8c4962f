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

// The rows of an EditModel's lines on a screen of a given size and font,
// laid out as a plain text document lays out its blocks: wrapped at the
// width, rows at the margin, each as high as its font's line spacing. Only
// the lines on screen are kept laid out, so a million lines cost what ten
// do. It knows where the view's top is, whether the view follows the end of
// the text, and answers the geometry questions of painting, the mouse, the
// keys that move by rows and pages, and assistive technology. No widget.
//
// Changes of state (the text, the size, the font, scrolling) happen in the
// non-const functions; the const ones only answer.
class HistoryLayout {
public:
  // A place on screen: row `row` of line `line`.
  struct RowPos {
    std::size_t line = 0;
    int row = 0;
    auto operator<=>(const RowPos&) const = default;
  };

  // Margin around the text, as a text document's.
  static constexpr int kMargin = 4;
  // Where a line lies when it is not on screen: far above or below it.
  static constexpr qreal kOffScreen = 1e9;

  explicit HistoryLayout(const EditModel& model);
  HistoryLayout(const HistoryLayout&) = delete;
  HistoryLayout& operator=(const HistoryLayout&) = delete;
  ~HistoryLayout();

  // ---- What the rows depend on
  void SetFont(const QFont& font);
  void SetSize(QSize size);
  [[nodiscard]] QSize Size() const { return size_; }
  // The model's text changed (called by its owner from the model's change
  // observer, before anyone asks where things are).
  void TextChanged(const TextChange& change);
  // Lines were appended: shown at once if the end of the text was in view.
  // Placed when next settled, so that a burst of lines costs one placement.
  void LinesAppended();
  // An input method's pre-edit text, shown inside the cursor's line.
  void SetPreedit(const QString& text, int cursor, QList<QTextLayout::FormatRange> formats);
  [[nodiscard]] const QString& Preedit() const { return preedit_; }
  [[nodiscard]] int PreeditCursor() const { return preeditCursor_; }

  // Places the top as the last changes ask, lays out the lines on screen
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
  [[nodiscard]] qreal LineTop(std::size_t line) const; // or ±kOffScreen
  [[nodiscard]] qreal RowTop(TextPos pos) const;       // of the row holding pos
  [[nodiscard]] QRectF CursorRect(TextPos cursor) const;
  [[nodiscard]] QRect CharacterRect(TextPos pos) const; // empty if off screen
  [[nodiscard]] TextPos PositionAt(QPoint point) const;
  // Movement by visual rows.
  [[nodiscard]] TextPos MoveVertically(TextPos from, int rows, qreal x) const;
  [[nodiscard]] TextPos RowStart(TextPos pos) const;
  [[nodiscard]] TextPos RowEnd(TextPos pos) const;
  [[nodiscard]] qreal CursorX(TextPos pos) const;

  // Calls draw(line, layout, y, height) for each line on screen, top to
  // bottom, with the viewport y of the line's top and its height. After
  // Settle, all are kept laid out.
  template <class Draw> void ForEachOnScreen(Draw&& draw) const;

private:
  // A line's layout: the one kept for it, or one made for the question.
  class LineLayout {
  public:
    explicit LineLayout(const QTextLayout& kept) : layout_(&kept) {}
    explicit LineLayout(std::unique_ptr<QTextLayout> made)
        : layout_(made.get()), made_(std::move(made)) {}
    const QTextLayout& operator*() const { return *layout_; }
    const QTextLayout* operator->() const { return layout_; }

  private:
    const QTextLayout* layout_;
    std::unique_ptr<QTextLayout> made_;
  };

  [[nodiscard]] std::unique_ptr<QTextLayout> MakeLayout(std::size_t line) const;
  [[nodiscard]] LineLayout Find(std::size_t line) const;
  const QTextLayout& Keep(std::size_t line);
  void Forget();
  void ClampTop();

  [[nodiscard]] qreal TextWidth() const;
  [[nodiscard]] qreal RowHeight() const;
  [[nodiscard]] qreal HeightOf(const QTextLayout& layout) const;
  [[nodiscard]] int Rows(std::size_t line) const;
  [[nodiscard]] qreal LineHeight(std::size_t line) const;
  // The top that shows `line` (up to its row `lastRow`, or whole) as the
  // last thing on screen.
  [[nodiscard]] RowPos TopShowing(std::size_t line, int lastRow = -1) const;
  [[nodiscard]] qreal TopLineY(RowPos top) const;
  [[nodiscard]] bool AtBottom() const;
  bool ScrollPageDown(qreal bottom);
  bool ScrollPageUp(qreal top);
  [[nodiscard]] TextPos MoveToRowAt(TextPos from, bool down, qreal x, qreal y) const;

  const EditModel& model_;
  QFont font_;
  QSize size_;
  std::map<std::size_t, std::unique_ptr<QTextLayout>> layouts_; // the lines kept laid out
  std::size_t top_ = 0; // first row on screen: row topRow_ of line top_
  int topRow_ = 0;
  bool following_ = true;      // the end of the text is in view
  bool anchorPending_ = false; // lines came while following: show the end when settled
  QString preedit_;
  int preeditCursor_ = 0;
  QList<QTextLayout::FormatRange> preeditFormats_;
};

template <class Draw> void HistoryLayout::ForEachOnScreen(Draw&& draw) const {
  const RowPos top = Top();
  qreal y = TopLineY(top);
  for (std::size_t line = top.line; line < model_.LineCount() && y < size_.height(); ++line) {
    const LineLayout layout = Find(line);
    const qreal height = HeightOf(*layout);
    draw(line, *layout, y, height);
    y += height;
  }
}
