#include "history/HistoryView.h"

#include "history/FindBar.h"
#include "history/HistoryAccessible.h"
#include "history/HistoryControl.h"
#include "history/HistoryFinder.h"
#include "history/HistoryLayout.h"
#include "history/HistoryViewport.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>
#include <utility>

static_assert(HistoryView::kMaxPaste == HistoryControl::kMaxPaste);

// The view's parts, in the order they are made: each observes the model
// from its making, the layout before the viewport, both before the control.
struct HistoryView::Impl {
  Impl(std::size_t capacity, std::size_t budget) : model(capacity, budget) {}
  EditModel model;
  HistoryLayout layout{model};
  HistoryViewport viewport{model, layout};
  HistoryControl control{model, layout, viewport};
  HistoryFinder finder{model};
  FindBar* findBar = nullptr; // made when first opened
  std::uint64_t refused = 0;
  bool toldFull = false;
};

HistoryView::HistoryView(QWidget* parent, std::size_t capacity, std::size_t budget)
    : QAbstractScrollArea(parent), d_(std::make_unique<Impl>(capacity, budget)) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  d_->viewport.SetFont(font());
  d_->viewport.SetSize(viewport()->size());
  HistoryControl* control = &d_->control;
  connect(control, &HistoryControl::updateRequest, viewport(), [this](const QRect& rect) {
    rect.isEmpty() ? viewport()->update() : viewport()->update(rect);
  });
  connect(control, &HistoryControl::pasteTooLarge, this, &HistoryView::PasteTooLarge);
  connect(control, &HistoryControl::selectionTooLarge, this, &HistoryView::SelectionTooLarge);
  d_->model.OnUndoLost([this] { emit UndoLost(); });
  connect(control, &HistoryControl::findRequested, this, &HistoryView::OpenFind);
  connect(control, &HistoryControl::findAgain, this, [this](bool forward) {
    if (d_->finder.Text().isEmpty()) return OpenFind();
    forward ? d_->finder.Next() : d_->finder.Previous();
  });
  connect(&d_->finder, &HistoryFinder::matchSelected, this, [this] {
    d_->control.EnsureCursorVisible();
    viewport()->update();
  });
  AttachAccessibility(*this, d_->model);
}

HistoryView::~HistoryView() = default;

bool HistoryView::HasRoom() {
  if (!d_->model.Full()) {
    d_->toldFull = false;
    return true;
  }
  ++d_->refused;
  if (!d_->toldFull) {
    d_->toldFull = true;
    emit HistoryFull();
  }
  return false;
}

std::uint64_t HistoryView::Refused() const { return d_->refused; }

const EditModel& HistoryView::Model() const { return d_->model; }

void HistoryView::Append(std::string_view utf8) { d_->model.Append(utf8); }
void HistoryView::AppendLine(const QString& line) { d_->model.AppendLine(line); }

// ---- Edits, passed on to the model

void HistoryView::SetText(const QString& text) { d_->model.SetText(text); }
void HistoryView::SetCursor(TextPos to) { d_->model.SetCursor(to); }
void HistoryView::Select(TextPos anchor, TextPos cursor) { d_->model.Select(anchor, cursor); }
void HistoryView::SelectAll() { d_->model.SelectAll(); }
void HistoryView::InsertText(const QString& text) { d_->model.InsertText(text); }
void HistoryView::Replace(TextPos from, TextPos to, const QString& text) {
  d_->model.Replace(from, to, text);
}
void HistoryView::DeleteSelection() { d_->model.DeleteSelection(); }
void HistoryView::Undo() { d_->model.Undo(); }

// ---- What is on screen

int HistoryView::FirstVisibleLine() const { return d_->viewport.FirstVisibleLine(); }
int HistoryView::LastVisibleLine() const { return d_->viewport.LastVisibleLine(); }
bool HistoryView::Following() const { return d_->viewport.Following(); }
void HistoryView::EnsureCursorVisible() { d_->control.EnsureCursorVisible(); }

QRect HistoryView::CursorRect() const {
  return d_->viewport.CursorRect(d_->model.Cursor()).toRect();
}
QRect HistoryView::CharacterRect(TextPos pos) const { return d_->viewport.CharacterRect(pos); }
TextPos HistoryView::PositionAt(QPoint point) const { return d_->viewport.PositionAt(point); }

QMenu* HistoryView::CreateStandardContextMenu() {
  return d_->control.CreateStandardContextMenu(this);
}

// ---- Finding

void HistoryView::OpenFind() {
  if (d_->findBar == nullptr) {
    d_->findBar = new FindBar(d_->finder, this);
    connect(d_->findBar, &FindBar::ToTell, this, &HistoryView::FindResult);
  }
  d_->findBar->Open();
}

const HistoryFinder& HistoryView::Finder() const { return d_->finder; }
FindBar* HistoryView::FindBox() const { return d_->findBar; }

QVariant HistoryView::inputMethodQuery(Qt::InputMethodQuery query) const {
  const QVariant answer = d_->control.InputMethodQuery(query);
  return answer.isValid() ? answer : QAbstractScrollArea::inputMethodQuery(query);
}

// ---- Painting

void HistoryView::paintEvent(QPaintEvent* event) {
  if (viewport()->size() != d_->viewport.Size()) d_->viewport.SetSize(viewport()->size());
  d_->viewport.Settle();
  QPainter painter(viewport());
  const QRect area = event->rect();
  const std::pair<TextPos, TextPos> selection = d_->model.Selection();
  const TextPos selectionStart = selection.first;
  const TextPos selectionEnd = selection.second;
  const TextPos cursor = d_->model.Cursor();
  const bool showCursor = hasFocus() && d_->control.CursorOn();
  d_->viewport.ForEachOnScreen([&](const HistoryViewport::Piece& piece) {
    if (piece.y + piece.height < area.top() || piece.y > area.bottom()) return;
    const std::size_t line = piece.line;
    QList<QTextLayout::FormatRange> selections;
    if (d_->model.HasSelection() && selectionStart.line <= line && line <= selectionEnd.line) {
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
                              cursor.column - piece.start + d_->layout.PreeditCursor(), 1);
  });
}

void HistoryView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  d_->viewport.SetSize(viewport()->size());
}

void HistoryView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) d_->viewport.SetFont(font());
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
  case QEvent::InputMethod: return d_->control.ProcessEvent(event, this);
  case QEvent::ContextMenu: // from the keyboard; the mouse's comes through the viewport
    if (static_cast<QContextMenuEvent*>(event)->reason() != QContextMenuEvent::Keyboard) break;
    return d_->control.ProcessEvent(event, this);
  case QEvent::FocusIn:
  case QEvent::FocusOut: {
    const bool handled = QAbstractScrollArea::event(event);
    d_->control.ProcessEvent(event, this);
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
  case QEvent::ContextMenu: return d_->control.ProcessEvent(event, this);
  default: return QAbstractScrollArea::viewportEvent(event);
  }
}

void HistoryView::keyPressEvent(QKeyEvent* event) { d_->control.ProcessEvent(event, this); }
