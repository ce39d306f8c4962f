#pragma once

#include "history/EditModel.h"
#include "history/PrimarySelection.h"

#include <lanchat/BuildConfig.h>

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QPoint>
#include <QString>
#include <QTextLayout>

#include <cstdint>
#include <map>
#include <memory>

class QMenu;

// The view of an EditModel: an editable multi-line box made for a long,
// growing log. Only the lines on screen are laid out, so appending costs the
// same at ten lines or a million. It lays out, paints and edits as a
// QPlainTextEdit with wrapping at the widget's width and no scroll bars:
// same margins, same rows, same keys, mouse, clipboard and context menu.
//
// Reading position: while the last line is in view, an appended line brings
// itself into view; scrolled back, the view stays where the user left it.
class HistoryView : public QAbstractScrollArea {
public:
  explicit HistoryView(QWidget* parent = nullptr, std::size_t capacity = EditModel::kCapacity,
                       std::size_t budget = EditModel::kBudget);
  ~HistoryView() override;

  // Whether a message may still be added. When the history is full it
  // turns messages away, counts them, and tells the user once (until there
  // is room again) that clearing it makes room.
  [[nodiscard]] bool HasRoom();
  [[nodiscard]] std::uint64_t Refused() const { return refused_; }

  [[nodiscard]] EditModel& Model() { return model_; }
  [[nodiscard]] const EditModel& Model() const { return model_; }

  // Adds a line at the end; followed into view only if the view was
  // already showing the last line.
  void AppendLine(const QString& line);
  // Adds several lines at the end as one insertion (one change, one event
  // for assistive technology); followed as AppendLine is.
  void AppendLines(const QStringList& lines);

  // Index of the first line with a row on screen, and of the last.
  [[nodiscard]] int FirstVisibleLine() const;
  [[nodiscard]] int LastVisibleLine() const;
  // Whether the view shows the end of the text (and so follows new lines).
  [[nodiscard]] bool Following() const { return following_; }
  // Scrolls as little as needed to show the cursor's row.
  void EnsureCursorVisible();

  // Geometry, in viewport coordinates.
  [[nodiscard]] QRect CursorRect() const;
  [[nodiscard]] QRect CharacterRect(TextPos pos) const; // empty if off screen
  [[nodiscard]] TextPos PositionAt(QPoint viewportPoint) const;

  [[nodiscard]] QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

  // The most text a paste may bring into a chat box: what one datagram can
  // carry. Laying out more would hold the window up, and it could never be
  // sent. A larger paste is refused, the user told why (under `parent`);
  // the clipboard keeps the text.
  static constexpr auto kMaxPaste = static_cast<qsizetype>(lanchat::config::kMaxDatagramSize);
  static bool PasteFits(const QString& text, QWidget* parent);

  // The context menu a right click opens; the caller owns it.
  QMenu* CreateStandardContextMenu();

  // Margin around the text, as a text document's.
  static constexpr int kMargin = 4;

protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

private:
  // A place on screen: row `row` of line `line`.
  struct RowPos {
    std::size_t line = 0;
    int row = 0;
  };

  QTextLayout& Layout(std::size_t line) const;
  [[nodiscard]] int Rows(std::size_t line) const;
  [[nodiscard]] qreal RowHeight() const;
  [[nodiscard]] qreal LineHeight(std::size_t line) const;
  [[nodiscard]] qreal TextWidth() const;
  void ForgetLayouts();
  void OnModelChange(const TextChange& change);

  // Scrolling, by rows.
  void Settle() const;
  // The top that shows `line` (up to its row `lastRow`, or whole) as the
  // last thing on screen.
  [[nodiscard]] RowPos TopShowing(std::size_t line, int lastRow = -1) const;
  void AnchorBottom(std::size_t line) const;
  void ScrollRows(int rows);
  [[nodiscard]] qreal TopLineY() const;
  [[nodiscard]] bool AtBottom() const;
  [[nodiscard]] qreal LineTop(std::size_t line) const; // viewport y, or far off screen

  // Cursor movement by visual rows.
  [[nodiscard]] TextPos MoveVertically(TextPos from, int rows, qreal x) const;
  [[nodiscard]] TextPos RowStart(TextPos pos) const;
  [[nodiscard]] TextPos RowEnd(TextPos pos) const;
  [[nodiscard]] qreal CursorX(TextPos pos) const;
  [[nodiscard]] QRectF CursorRectF() const;
  [[nodiscard]] QString TextAroundCursor(bool after) const;
  [[nodiscard]] qreal RowTop(TextPos pos) const; // viewport y of the row holding pos
  void MoveCursor(TextPos to, bool select, bool keepX = false);
  void PageUpDown(bool down, bool select);
  // Scroll the view by a screenful down or up; true when the text ends within
  // it that way, and the cursor goes to its last or first row.
  bool ScrollPageDown(qreal bottom);
  bool ScrollPageUp(qreal top);
  // Moves from a position by rows, down or up, until a row's top reaches y.
  [[nodiscard]] TextPos MoveToRowAt(TextPos from, bool down, qreal x, qreal y) const;
  bool HandleMoveKey(QKeyEvent* event);
  bool HandleEditKey(QKeyEvent* event);
  enum class Action { Undo, Redo, Cut, Copy, Paste, Delete, SelectAll };
  void Run(Action action);

  void Copy() const;
  void Cut();
  void Paste(bool primary = false);
  void UpdatePrimarySelection();
  void SelectionChanged();
  void DragTo(QPoint viewportPoint);

  EditModel model_;
  PrimarySelection primary_{model_};
  mutable std::map<std::size_t, std::unique_ptr<QTextLayout>> layouts_;
  mutable std::size_t top_ = 0; // first row on screen: row topRow_ of line top_
  mutable int topRow_ = 0;
  bool following_ = true;              // the end of the text is in view
  mutable bool anchorPending_ = false; // lines came while following: show the end
  qreal cursorX_ = -1;                 // kept across Up/Down
  qreal pageY_ = 0;                    // height on screen kept across PageUp/PageDown
  bool pageYValid_ = false;
  QString preedit_;
  int preeditCursor_ = 0;
  QList<QTextLayout::FormatRange> preeditFormats_;
  // Mouse selection: by characters, words (double click) or lines (triple).
  enum class Unit { Character, Word, Line } unit_ = Unit::Character;
  TextPos unitStart_;
  TextPos unitEnd_;
  bool selecting_ = false;
  QPoint tripleClickPoint_;
  QBasicTimer tripleClickTimer_;
  QBasicTimer dragScrollTimer_;
  QBasicTimer blinkTimer_;
  bool cursorOn_ = true;
  std::uint64_t refused_ = 0;
  bool toldFull_ = false;
  void TellUndoLost();
  static void Notice(const QString& text, QWidget* near);
};
