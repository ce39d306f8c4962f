#include "history/HistoryView.h"

#include "history/HistoryAccessible.h"

#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

HistoryView::HistoryView(QWidget* parent, std::size_t capacity, std::size_t budget)
    : QAbstractScrollArea(parent), model_(capacity, budget),
      control_(
          model_, layout_, *this, [this](qsizetype length) { emit PasteTooLarge(length); },
          [this](std::size_t bytes) { emit SelectionTooLarge(static_cast<qint64>(bytes)); }) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  layout_.SetFont(font());
  layout_.SetSize(viewport()->size());
  model_.OnChange([this](const TextChange& change) {
    layout_.TextChanged(change);
    viewport()->update();
  });
  model_.OnCursor([this] { viewport()->update(); });
  model_.OnUndoLost([this] { emit UndoLost(); });
  AttachAccessibility(*this);
}

HistoryView::~HistoryView() = default;

void HistoryView::AppendLine(const QString& line) {
  model_.AppendLine(line);
  layout_.LinesAppended();
  viewport()->update();
}

void HistoryView::AppendLines(const QStringList& lines) {
  // The model takes a text with breaks as that many lines, in one change.
  AppendLine(lines.join(u'\n'));
}

bool HistoryView::HasRoom() {
  if (!model_.Full()) {
    toldFull_ = false;
    return true;
  }
  ++refused_;
  if (!toldFull_) {
    toldFull_ = true;
    emit HistoryFull();
  }
  return false;
}

QRect HistoryView::CursorRect() const { return layout_.CursorRect(model_.Cursor()).toRect(); }

QVariant HistoryView::inputMethodQuery(Qt::InputMethodQuery query) const {
  return control_.InputMethodQuery(query);
}

// ---- Painting

void HistoryView::paintEvent(QPaintEvent* event) {
  if (viewport()->size() != layout_.Size()) layout_.SetSize(viewport()->size());
  layout_.Settle();
  QPainter painter(viewport());
  const QRect area = event->rect();
  const std::pair<TextPos, TextPos> selection = model_.Selection();
  const TextPos selectionStart = selection.first;
  const TextPos selectionEnd = selection.second;
  const TextPos cursor = model_.Cursor();
  const bool showCursor = hasFocus() && control_.CursorOn();
  layout_.ForEachOnScreen([&](const HistoryLayout::Piece& piece) {
    if (piece.y + piece.height < area.top() || piece.y > area.bottom()) return;
    const std::size_t line = piece.line;
    QList<QTextLayout::FormatRange> selections;
    if (model_.HasSelection() && selectionStart.line <= line && line <= selectionEnd.line) {
      // A selected line break shows as selected space at the line's end.
      const int start = line == selectionStart.line ? selectionStart.column : 0;
      const int end = line == selectionEnd.line ? selectionEnd.column : piece.end + 1;
      QTextLayout::FormatRange range;
      range.start = std::max(start, piece.start) - piece.start;
      range.length =
          std::min(end, piece.last ? piece.end + 1 : piece.end) - piece.start - range.start;
      range.format.setBackground(palette().brush(QPalette::Highlight));
      range.format.setForeground(palette().brush(QPalette::HighlightedText));
      if (range.length > 0) selections << range;
    }
    painter.setPen(palette().color(QPalette::Text));
    piece.layout.draw(&painter, QPointF(0, piece.y), selections, area);
    if (showCursor && line == cursor.line && piece.Holds(cursor.column))
      piece.layout.drawCursor(&painter, QPointF(0, piece.y),
                              cursor.column - piece.start + layout_.PreeditCursor(), 1);
  });
}

void HistoryView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  layout_.SetSize(viewport()->size());
}

void HistoryView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) layout_.SetFont(font());
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange ||
      event->type() == QEvent::ActivationChange)
    viewport()->update();
}

// ---- Input, passed on to the control

bool HistoryView::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride &&
      HistoryControl::TakesShortcut(static_cast<QKeyEvent*>(event))) {
    event->accept();
    return true;
  }
  return QAbstractScrollArea::event(event);
}

void HistoryView::keyPressEvent(QKeyEvent* event) { control_.KeyPress(event); }
void HistoryView::inputMethodEvent(QInputMethodEvent* event) { control_.InputMethod(event); }
void HistoryView::mousePressEvent(QMouseEvent* event) { control_.MousePress(event); }
void HistoryView::mouseMoveEvent(QMouseEvent* event) { control_.MouseMove(event); }
void HistoryView::mouseReleaseEvent(QMouseEvent* event) { control_.MouseRelease(event); }
void HistoryView::mouseDoubleClickEvent(QMouseEvent* event) { control_.MouseDoubleClick(event); }
void HistoryView::contextMenuEvent(QContextMenuEvent* event) { control_.ContextMenu(event); }
void HistoryView::wheelEvent(QWheelEvent* event) { control_.Wheel(event); }

void HistoryView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  control_.FocusIn();
}

void HistoryView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  control_.FocusOut();
}

void HistoryView::timerEvent(QTimerEvent* event) {
  if (!control_.Timer(event)) QAbstractScrollArea::timerEvent(event);
}
