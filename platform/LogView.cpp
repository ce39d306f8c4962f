#include "platform/LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTextLayout>

#include <algorithm>

namespace {

constexpr int kMargin = 4;
constexpr int kWheelRows = 3;

QString FromUtf8(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

LogView::LogView(QWidget* parent) : QFrame(parent) {
  setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::IBeamCursor);
  setAttribute(Qt::WA_InputMethodEnabled);
  setBackgroundRole(QPalette::Base);
  setAutoFillBackground(true);
}

LogView::~LogView() = default;

QString LogView::Line(std::size_t line) const { return FromUtf8(store_.Line(line)); }
QString LogView::LineText(int index) const { return Line(static_cast<std::size_t>(index)); }

QString LogView::Text() const {
  QString text;
  for (std::size_t i = 0; i < store_.Count(); ++i) {
    if (i > 0) text += QLatin1Char('\n');
    text += Line(i);
  }
  return text;
}

void LogView::AppendLine(const QString& line) {
  store_.Append(line.toStdString());
  following_ = true;
  update();
}

// ---- Layout of the lines on screen

int LogView::RowHeight() const { return fontMetrics().lineSpacing(); }
int LogView::TextWidth() const { return std::max(1, contentsRect().width() - 2 * kMargin); }

QTextLayout& LogView::Layout(std::size_t line) const {
  auto& layout = layouts_[line];
  if (!layout) {
    layout = std::make_unique<QTextLayout>(Line(line), font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    layout->beginLayout();
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine())
      row.setLineWidth(TextWidth());
    layout->endLayout();
  }
  return *layout;
}

int LogView::Rows(std::size_t line) const { return std::max(1, Layout(line).lineCount()); }

void LogView::ForgetLayouts() { layouts_.clear(); }
void LogView::ForgetLayout(std::size_t line) { layouts_.erase(line); }

void LogView::Settle() const {
  if (following_) AnchorBottom(store_.Count() - 1);
}

void LogView::AnchorBottom(std::size_t line) const {
  const int visibleRows = std::max(1, (contentsRect().height() - 2 * kMargin) / RowHeight());
  int rows = 0;
  std::size_t first = line;
  for (;;) {
    rows += Rows(first);
    if (rows >= visibleRows || first == 0) break;
    --first;
  }
  top_ = first;
  topRow_ = std::max(0, rows - visibleRows);
}

void LogView::ScrollRows(int rows) {
  Settle();
  following_ = false;
  while (rows > 0) {
    if (topRow_ + 1 < Rows(top_)) {
      ++topRow_;
    } else if (top_ + 1 < store_.Count()) {
      ++top_;
      topRow_ = 0;
    } else {
      break;
    }
    --rows;
  }
  while (rows < 0) {
    if (topRow_ > 0) {
      --topRow_;
    } else if (top_ > 0) {
      --top_;
      topRow_ = Rows(top_) - 1;
    } else {
      break;
    }
    ++rows;
  }
  update();
}

int LogView::FirstVisibleLine() const {
  Settle();
  return static_cast<int>(top_);
}

int LogView::LastVisibleLine() const {
  const int first = FirstVisibleLine();
  const int height = contentsRect().height() - 2 * kMargin;
  int y = -topRow_ * RowHeight();
  auto line = static_cast<std::size_t>(first);
  while (line + 1 < store_.Count() && y + Rows(line) * RowHeight() < height) {
    y += Rows(line) * RowHeight();
    ++line;
  }
  return static_cast<int>(line);
}

void LogView::EnsureCursorVisible() {
  Settle();
  following_ = false;
  if (cursor_.line < top_ || (cursor_.line == top_ && topRow_ > 0)) {
    top_ = cursor_.line;
    topRow_ = 0;
  } else if (static_cast<int>(cursor_.line) > LastVisibleLine() ||
             (static_cast<int>(cursor_.line) == LastVisibleLine() && cursor_.line > top_)) {
    AnchorBottom(cursor_.line);
  }
  update();
}

// ---- Painting

void LogView::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  Settle();
  QPainter painter(this);
  const QRect area = contentsRect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
  painter.setClipRect(area);
  painter.setPen(palette().color(QPalette::Text));
  const auto [selectionStart, selectionEnd] = Selection();
  std::map<std::size_t, std::unique_ptr<QTextLayout>> onScreen;
  int y = area.top() - topRow_ * RowHeight();
  for (std::size_t line = top_; line < store_.Count() && y < area.bottom(); ++line) {
    QTextLayout& layout = Layout(line);
    QList<QTextLayout::FormatRange> selections;
    if (HasSelection() && selectionStart.line <= line && line <= selectionEnd.line) {
      QTextLayout::FormatRange range;
      range.start = line == selectionStart.line ? selectionStart.column : 0;
      const int end = line == selectionEnd.line ? selectionEnd.column
                                                : static_cast<int>(layout.text().size()) + 1;
      range.length = end - range.start;
      range.format.setBackground(palette().brush(QPalette::Highlight));
      range.format.setForeground(palette().brush(QPalette::HighlightedText));
      selections << range;
    }
    layout.draw(&painter, QPointF(area.left(), y), selections);
    if (hasFocus() && line == cursor_.line)
      layout.drawCursor(&painter, QPointF(area.left(), y), cursor_.column);
    y += Rows(line) * RowHeight();
    onScreen[line] = std::move(layouts_[line]);
  }
  // Keep the layouts of what is on screen only.
  layouts_ = std::move(onScreen);
}

void LogView::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  ForgetLayouts();
}

void LogView::changeEvent(QEvent* event) {
  QFrame::changeEvent(event);
  if (event->type() == QEvent::FontChange) ForgetLayouts();
}

void LogView::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  update();
}

void LogView::focusOutEvent(QFocusEvent* event) {
  QFrame::focusOutEvent(event);
  update();
}

// ---- Editing

std::pair<LogView::Position, LogView::Position> LogView::Selection() const {
  return {std::min(anchor_, cursor_), std::max(anchor_, cursor_)};
}

QString LogView::SelectedText() const {
  const auto [start, end] = Selection();
  if (start.line == end.line) return Line(start.line).mid(start.column, end.column - start.column);
  QString text = Line(start.line).mid(start.column);
  for (std::size_t line = start.line + 1; line < end.line; ++line)
    text += QLatin1Char('\n') + Line(line);
  return text + QLatin1Char('\n') + Line(end.line).left(end.column);
}

void LogView::SetLine(std::size_t line, const QString& text) {
  store_.Replace(line, text.toStdString());
  ForgetLayout(line);
}

void LogView::DeleteSelection() {
  if (!HasSelection()) return;
  const auto [start, end] = Selection();
  if (start.line == 0 && start.column == 0 && end.line + 1 == store_.Count() &&
      end.column == Line(end.line).size()) {
    store_.Clear(); // the whole text: quick
  } else {
    const QString joined = Line(start.line).left(start.column) + Line(end.line).mid(end.column);
    for (std::size_t line = end.line; line > start.line; --line)
      store_.Erase(line);
    SetLine(start.line, joined);
  }
  ForgetLayouts();
  cursor_ = anchor_ = start;
}

void LogView::InsertText(const QString& text) {
  DeleteSelection();
  QStringList parts = text.split(QRegularExpression("\r\n|\r|\n|\u2028|\u2029"));
  const QString line = Line(cursor_.line);
  const QString before = line.left(cursor_.column);
  const QString after = line.mid(cursor_.column);
  if (parts.size() == 1) {
    SetLine(cursor_.line, before + parts[0] + after);
    cursor_.column += static_cast<int>(parts[0].size());
  } else {
    SetLine(cursor_.line, before + parts.first());
    for (qsizetype i = 1; i < parts.size(); ++i) {
      const QString piece = i + 1 == parts.size() ? parts[i] + after : parts[i];
      store_.Insert(cursor_.line + static_cast<std::size_t>(i), piece.toStdString());
    }
    cursor_.line += static_cast<std::size_t>(parts.size() - 1);
    cursor_.column = static_cast<int>(parts.last().size());
    ForgetLayouts();
  }
  anchor_ = cursor_;
  EnsureCursorVisible();
}

void LogView::MoveCursor(Position to, bool select) {
  to.line = std::min(to.line, store_.Count() - 1);
  to.column = std::clamp(to.column, 0, static_cast<int>(Line(to.line).size()));
  cursor_ = to;
  if (!select) anchor_ = cursor_;
  EnsureCursorVisible();
}

void LogView::keyPressEvent(QKeyEvent* event) {
  const bool select = event->modifiers() & Qt::ShiftModifier;
  const bool control = event->modifiers() & Qt::ControlModifier;
  const int length = static_cast<int>(Line(cursor_.line).size());
  const int pageLines = std::max(1, contentsRect().height() / RowHeight() - 1);
  if (event->matches(QKeySequence::SelectAll)) {
    anchor_ = {0, 0};
    cursor_ = {store_.Count() - 1, static_cast<int>(Line(store_.Count() - 1).size())};
    update();
  } else if (event->matches(QKeySequence::Copy) || event->matches(QKeySequence::Cut)) {
    if (HasSelection()) QApplication::clipboard()->setText(SelectedText());
    if (event->matches(QKeySequence::Cut)) {
      DeleteSelection();
      EnsureCursorVisible();
    }
  } else if (event->matches(QKeySequence::Paste)) {
    InsertText(QApplication::clipboard()->text());
  } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    InsertText(QStringLiteral("\n"));
  } else if (event->key() == Qt::Key_Backspace) {
    if (!HasSelection()) {
      if (cursor_.column > 0)
        anchor_ = {cursor_.line, cursor_.column - 1};
      else if (cursor_.line > 0)
        anchor_ = {cursor_.line - 1, static_cast<int>(Line(cursor_.line - 1).size())};
    }
    DeleteSelection();
    EnsureCursorVisible();
  } else if (event->key() == Qt::Key_Delete) {
    if (!HasSelection()) {
      if (cursor_.column < length)
        anchor_ = {cursor_.line, cursor_.column + 1};
      else if (cursor_.line + 1 < store_.Count())
        anchor_ = {cursor_.line + 1, 0};
    }
    DeleteSelection();
    EnsureCursorVisible();
  } else if (event->key() == Qt::Key_Left) {
    if (cursor_.column > 0)
      MoveCursor({cursor_.line, cursor_.column - 1}, select);
    else if (cursor_.line > 0)
      MoveCursor({cursor_.line - 1, static_cast<int>(Line(cursor_.line - 1).size())}, select);
  } else if (event->key() == Qt::Key_Right) {
    if (cursor_.column < length)
      MoveCursor({cursor_.line, cursor_.column + 1}, select);
    else if (cursor_.line + 1 < store_.Count())
      MoveCursor({cursor_.line + 1, 0}, select);
  } else if (event->key() == Qt::Key_Up) {
    MoveCursor({cursor_.line == 0 ? 0 : cursor_.line - 1, cursor_.column}, select);
  } else if (event->key() == Qt::Key_Down) {
    MoveCursor({cursor_.line + 1, cursor_.column}, select);
  } else if (event->key() == Qt::Key_PageUp) {
    MoveCursor({cursor_.line - std::min<std::size_t>(cursor_.line, std::size_t(pageLines)),
                cursor_.column},
               select);
  } else if (event->key() == Qt::Key_PageDown) {
    MoveCursor({cursor_.line + std::size_t(pageLines), cursor_.column}, select);
  } else if (event->key() == Qt::Key_Home) {
    MoveCursor(control ? Position{} : Position{cursor_.line, 0}, select);
  } else if (event->key() == Qt::Key_End) {
    MoveCursor(control ? Position{store_.Count() - 1, INT32_MAX} : Position{cursor_.line, length},
               select);
  } else if (!event->text().isEmpty() && event->text().front().isPrint() && !control) {
    InsertText(event->text());
  } else {
    QFrame::keyPressEvent(event);
    return;
  }
  event->accept();
}

void LogView::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) InsertText(event->commitString());
  event->accept();
}

LogView::Position LogView::HitTest(QPoint point) const {
  Settle();
  const QRect area = contentsRect().adjusted(kMargin, kMargin, -kMargin, -kMargin);
  int y = area.top() - topRow_ * RowHeight();
  std::size_t line = top_;
  while (line + 1 < store_.Count() && y + Rows(line) * RowHeight() <= point.y()) {
    y += Rows(line) * RowHeight();
    ++line;
  }
  QTextLayout& layout = Layout(line);
  const int row = std::clamp((point.y() - y) / RowHeight(), 0, std::max(0, layout.lineCount() - 1));
  const QTextLine textLine = layout.lineAt(row);
  const int column = textLine.isValid() ? textLine.xToCursor(point.x() - area.left()) : 0;
  return {line, column};
}

void LogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
  cursor_ = HitTest(event->position().toPoint());
  if (!(event->modifiers() & Qt::ShiftModifier)) anchor_ = cursor_;
  following_ = false; // the view stays where the user clicked
  update();
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  cursor_ = HitTest(event->position().toPoint());
  update();
}

void LogView::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

void LogView::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps != 0) ScrollRows(-steps * kWheelRows);
  event->accept();
}
