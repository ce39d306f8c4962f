#pragma once

#include "platform/LineStore.h"

#include <QFrame>
#include <QString>
#include <QStringList>

#include <map>
#include <memory>

class QTextLayout;

// An editable multi-line text box made for a long, growing log: lines live in
// a LineStore and only the lines on screen are laid out, so appending costs
// the same at ten lines or a million. Long lines wrap at the box's width.
// Editing covers typing, line breaks, deletion, selection with mouse and
// keyboard, and the clipboard; Tab moves the focus on.
class LogView : public QFrame {
public:
  explicit LogView(QWidget* parent = nullptr);
  ~LogView() override;

  // Adds a line at the end and brings it into view.
  void AppendLine(const QString& line);
  [[nodiscard]] int LineCount() const { return static_cast<int>(store_.Count()); }
  [[nodiscard]] QString LineText(int index) const;
  // The whole text, lines joined by "\n".
  [[nodiscard]] QString Text() const;
  [[nodiscard]] const LineStore& Store() const { return store_; }

  // Index of the first line on screen.
  [[nodiscard]] int FirstVisibleLine() const;
  // Index of the last line with a row on screen.
  [[nodiscard]] int LastVisibleLine() const;

protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

private:
  struct Position {
    std::size_t line = 0;
    int column = 0; // UTF-16 index in the line
    auto operator<=>(const Position&) const = default;
  };

  QTextLayout& Layout(std::size_t line) const;
  int Rows(std::size_t line) const;
  int RowHeight() const;
  int TextWidth() const;
  void ForgetLayouts();
  void ForgetLayout(std::size_t line);

  // Scrolling: the first row on screen is row topRow_ of line top_. When
  // following, the last line's last row sits at the bottom instead.
  void AnchorBottom(std::size_t line) const;
  // Brings the scroll position up to date while following.
  void Settle() const;
  void ScrollRows(int rows);
  void EnsureCursorVisible();

  Position HitTest(QPoint point) const;
  [[nodiscard]] bool HasSelection() const { return anchor_ != cursor_; }
  [[nodiscard]] std::pair<Position, Position> Selection() const;
  [[nodiscard]] QString SelectedText() const;
  void DeleteSelection();
  void InsertText(const QString& text);
  void MoveCursor(Position to, bool select);
  void SetLine(std::size_t line, const QString& text);
  [[nodiscard]] QString Line(std::size_t line) const;

  LineStore store_;
  mutable std::map<std::size_t, std::unique_ptr<QTextLayout>> layouts_;
  mutable std::size_t top_ = 0;
  mutable int topRow_ = 0;
  bool following_ = true;
  Position cursor_;
  Position anchor_;
};
