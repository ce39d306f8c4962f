#include "history/HistoryView.h"

#include "history/FindBar.h"
#include "history/HistoryAccessible.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

HistoryView::HistoryView(QWidget* parent, std::size_t capacity, std::size_t budget)
    : QAbstractScrollArea(parent), model_(capacity, budget), control_(model_, layout_, viewport_) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  viewport_.SetFont(font());
  viewport_.SetSize(viewport()->size());
  connect(&control_, &HistoryControl::updateRequest, viewport(), [this](const QRect& rect) {
    rect.isEmpty() ? viewport()->update() : viewport()->update(rect);
  });
  connect(&control_, &HistoryControl::pasteTooLarge, this, &HistoryView::PasteTooLarge);
  connect(&control_, &HistoryControl::selectionTooLarge, this, &HistoryView::SelectionTooLarge);
  model_.OnUndoLost([this] { emit UndoLost(); });
  connect(&control_, &HistoryControl::findRequested, this, &HistoryView::OpenFind);
  connect(&control_, &HistoryControl::findAgain, this, [this](bool forward) {
    if (finder_.Text().isEmpty()) return OpenFind();
    forward ? finder_.Next() : finder_.Previous();
  });
  connect(&finder_, &HistoryFinder::matchSelected, this, [this] {
    control_.EnsureCursorVisible();
    viewport()->update();
  });
  AttachAccessibility(*this);
}

HistoryView::~HistoryView() = default;

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

void HistoryView::OpenFind() {
  if (findBar_ == nullptr) {
    findBar_ = new FindBar(finder_, this);
    connect(findBar_, &FindBar::ToTell, this, &HistoryView::FindResult);
  }
  findBar_->Open();
}

QRect HistoryView::CursorRect() const { return viewport_.CursorRect(model_.Cursor()).toRect(); }

QVariant HistoryView::inputMethodQuery(Qt::InputMethodQuery query) const {
  const QVariant answer = control_.InputMethodQuery(query);
  return answer.isValid() ? answer : QAbstractScrollArea::inputMethodQuery(query);
}

// ---- Painting

void HistoryView::paintEvent(QPaintEvent* event) {
  if (viewport()->size() != viewport_.Size()) viewport_.SetSize(viewport()->size());
  viewport_.Settle();
  QPainter painter(viewport());
  const QRect area = event->rect();
  const std::pair<TextPos, TextPos> selection = model_.Selection();
  const TextPos selectionStart = selection.first;
  const TextPos selectionEnd = selection.second;
  const TextPos cursor = model_.Cursor();
  const bool showCursor = hasFocus() && control_.CursorOn();
  viewport_.ForEachOnScreen([&](const HistoryViewport::Piece& piece) {
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
  viewport_.SetSize(viewport()->size());
}

void HistoryView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) viewport_.SetFont(font());
  if (event->type() == QEvent::FontChange || event->type() == QEvent::PaletteChange ||
      event->type() == QEvent::ActivationChange)
    viewport()->update();
}

// ---- Input, passed on to the control

bool HistoryView::event(QEvent* event) {
  switch (event->type()) {
  case QEvent::ShortcutOverride:
    if (!HistoryControl::TakesShortcut(static_cast<QKeyEvent*>(event))) break;
    event->accept();
    return true;
  case QEvent::InputMethod: return control_.ProcessEvent(event, this);
  case QEvent::ContextMenu: // from the keyboard; the mouse's comes through the viewport
    if (static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Keyboard) break;
    return control_.ProcessEvent(event, this);
  case QEvent::FocusIn:
  case QEvent::FocusOut: {
    const bool handled = QAbstractScrollArea::event(event);
    control_.ProcessEvent(event, this);
    return handled;
  }
  default: break;
  }
  return QAbstractScrollArea::event(event);
}

bool HistoryView::viewportEvent(QEvent* event) {
  switch (event->type()) {
  case QEvent::MouseButtonPress:
  case QEvent::MouseMove:
  case QEvent::MouseButtonRelease:
  case QEvent::MouseButtonDblClick:
  case QEvent::Wheel:
  case QEvent::ContextMenu: return control_.ProcessEvent(event, this);
  default: return QAbstractScrollArea::viewportEvent(event);
  }
}

void HistoryView::keyPressEvent(QKeyEvent* event) { control_.ProcessEvent(event, this); }
