#include "history/HistoryControl.h"

#include "history/HistoryViewport.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMimeData>
#include <QStyleHints>
#include <QTimer>
#include <QTimerEvent>
#include <QWheelEvent>

#include <algorithm>
#include <tuple>

namespace {

// Shortcut names shown beside a menu entry, as a text box's menu shows them.
QString WithShortcut(const QString& text, QKeySequence::StandardKey key) {
  const QKeySequence sequence(key);
  if (sequence.isEmpty()) return text;
  return text + QLatin1Char('\t') + sequence.toString(QKeySequence::NativeText);
}

QString Translated(const char* text) {
  // The menu of Qt's own text boxes, so that a loaded translation names
  // both alike.
  return QCoreApplication::translate("QWidgetTextControl", text);
}

} // namespace

HistoryControl::HistoryControl(EditModel& model, HistoryLayout& layout, HistoryViewport& viewport,
                               QObject* parent)
    : QObject(parent), model_(model), layout_(layout), viewport_(viewport) {
  // One change, heard once: the rows and the screen's top follow the text,
  // and the viewport is repainted. The primary selection hears of an edit before it is made
  // (lines appended leave what it offers valid).
  model_.OnEditing([this] { primary_.TextChanging(); });
  model_.OnChange([this](const TextChange& change) {
    viewport_.TextChanged(change);
    Update();
  });
  model_.OnCursor([this] { Update(); });
}

HistoryControl::~HistoryControl() = default;

void HistoryControl::EnsureCursorVisible() {
  viewport_.EnsureVisible(model_.Cursor());
  Update();
}

void HistoryControl::TellLater(std::size_t size) {
  QTimer::singleShot(0, this, [this, size] { emit selectionTooLarge(static_cast<qint64>(size)); });
}

void HistoryControl::SelectionChanged() {
  primary_.Offer();
  Update();
}

// ---- The edits and commands of the keys and of the context menu alike

void HistoryControl::Run(Action action) {
  switch (action) {
  case Action::Undo:
  case Action::Redo:
    // While a large one is put back, another waits for none: it is not
    // taken (its menu entry is off meanwhile).
    if (model_.Busy()) break;
    Edit([this, action] { action == Action::Undo ? model_.Undo() : model_.Redo(); });
    PutBack();
    break;
  case Action::Cut: Cut(); break;
  case Action::Copy: Copy(); break;
  case Action::Paste: Paste(); break;
  case Action::Delete: Edit([this] { model_.DeleteSelection(); }); break;
  case Action::SelectAll:
    model_.SelectAll();
    cursorX_ = -1;
    SelectionChanged();
    break;
  case Action::Find: emit findRequested(); break;
  case Action::FindNext:
  case Action::FindPrevious: emit findAgain(action == Action::FindNext); break;
  }
}

void HistoryControl::PutBack() {
  if (!model_.Busy() || putBackQueued_) return;
  putBackQueued_ = true;
  QTimer::singleShot(0, this, [this] {
    putBackQueued_ = false;
    if (model_.Continue()) return PutBack();
    // All back: the cursor after it, in view, as a small undo leaves it.
    cursorX_ = -1;
    EnsureCursorVisible();
  });
}

bool HistoryControl::Copy() {
  if (!model_.HasSelection()) return false;
  const auto [a, b] = model_.Selection();
  // Counted chunk by chunk before anything is copied; the clipboard keeps
  // what it had.
  const std::size_t size = model_.Utf8Size(a, b);
  if (size > PrimarySelection::kMaxHandedOut) {
    emit selectionTooLarge(static_cast<qint64>(size));
    return false;
  }
  // Held as UTF-8, what other programs are sent, and never as a QString.
  auto* data = new QMimeData;
  data->setData(QStringLiteral("text/plain"), model_.Utf8Between(a, b));
  QGuiApplication::clipboard()->setMimeData(data);
  return true;
}

void HistoryControl::Cut() {
  // A selection that cannot be copied is not deleted either.
  if (!Copy()) return;
  Edit([this] { model_.DeleteSelection(); });
}

void HistoryControl::Paste(bool primary) {
  const QString text =
      QGuiApplication::clipboard()->text(primary ? QClipboard::Selection : QClipboard::Clipboard);
  if (text.isEmpty()) return;
  if (text.size() > kMaxPaste) {
    // The clipboard keeps the text; the owner tells the user why.
    emit pasteTooLarge(text.size());
    return;
  }
  Edit([&] { model_.InsertText(text); });
}

// ---- Mouse

std::pair<TextPos, TextPos> HistoryControl::UnitAt(TextPos pos) const {
  if (unit_ == Unit::Word) return model_.WordAt(pos);
  return {TextPos{pos.line, 0}, model_.NextCharacter({pos.line, model_.LineLength(pos.line)})};
}

void HistoryControl::DragTo(QPoint viewportPoint) {
  const TextPos pos = viewport_.PositionAt(viewportPoint);
  if (unit_ == Unit::Character) {
    model_.SetCursor(pos, true);
  } else if (unitStart_ <= pos && pos <= unitEnd_) {
    // Over the unit first clicked: that unit alone.
    model_.Select(unitStart_, unitEnd_);
  } else {
    // By whole units, the first one kept: to the far edge of a line, or to
    // the edge of a word nearer the mouse (the selection stays put while
    // the mouse is beside the word, or the word is split across rows).
    const bool back = pos < unitStart_;
    const auto [start, end] = UnitAt(pos);
    TextPos to = back ? start : end;
    if (unit_ == Unit::Word) {
      const qreal startX = layout_.CursorX(start);
      const qreal endX = layout_.CursorX(end);
      const qreal x = viewportPoint.x();
      if (start == end || layout_.RowStart(start) != layout_.RowStart(end) || x < startX ||
          x > endX)
        return;
      to = x - startX < endX - x ? start : end;
    }
    model_.Select(back ? unitEnd_ : unitStart_, to);
  }
  Update();
}

void HistoryControl::MousePress(QMouseEvent* event) {
  const QPoint point = event->position().toPoint();
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  cursorX_ = -1;
  pageYValid_ = false;
  selecting_ = true;
  const TextPos pos = viewport_.PositionAt(point);
  if (tripleClickTimer_.isActive() &&
      (point - tripleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
    tripleClickTimer_.stop();
    unit_ = Unit::Line;
    std::tie(unitStart_, unitEnd_) = UnitAt(pos);
    model_.Select(unitStart_, unitEnd_);
    primary_.Offer();
  } else {
    unit_ = Unit::Character;
    model_.SetCursor(pos, (event->modifiers() & Qt::ShiftModifier) != 0);
  }
  cursorOn_ = true;
  Update();
}

void HistoryControl::MouseDoubleClick(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    event->ignore();
    return;
  }
  const QPoint point = event->position().toPoint();
  unit_ = Unit::Word;
  std::tie(unitStart_, unitEnd_) = UnitAt(viewport_.PositionAt(point));
  selecting_ = true;
  model_.Select(unitStart_, unitEnd_);
  primary_.Offer();
  tripleClickPoint_ = point;
  tripleClickTimer_.start(QGuiApplication::styleHints()->mouseDoubleClickInterval(), this);
  Update();
}

void HistoryControl::MouseMove(QMouseEvent* event) {
  if (!selecting_ || !(event->buttons() & Qt::LeftButton)) return;
  const QPoint point = event->position().toPoint();
  dragPoint_ = point;
  if (QRect(QPoint(), viewport_.Size()).contains(point)) {
    dragScrollTimer_.stop();
  } else if (!dragScrollTimer_.isActive()) {
    dragScrollTimer_.start(100, this);
  }
  DragTo(point);
}

void HistoryControl::MouseRelease(QMouseEvent* event) {
  dragScrollTimer_.stop();
  if (event->button() == Qt::LeftButton && selecting_) {
    selecting_ = false;
    primary_.Offer();
  } else if (event->button() == Qt::MiddleButton &&
             QGuiApplication::clipboard()->supportsSelection()) {
    // The X11 way: the middle button pastes the primary selection where
    // it is released.
    model_.SetCursor(viewport_.PositionAt(event->position().toPoint()));
    Paste(true);
  }
  event->accept();
}

// Dragging past an edge scrolls a row at a time, faster the further the
// mouse is from the edge.
void HistoryControl::DragScroll() {
  const QRect visible(QPoint(), viewport_.Size());
  const QPoint pos = dragPoint_;
  DragTo(pos);
  const int delta =
      std::max(pos.y() - visible.top(), visible.bottom() - pos.y()) - visible.height();
  if (delta < 0) {
    dragScrollTimer_.stop();
    return;
  }
  const int speed = std::max(delta, 7);
  dragScrollTimer_.start(4900 / (speed * speed), this);
  viewport_.ScrollRows(pos.y() < visible.center().y() ? -1 : 1);
  DragTo(pos);
}

void HistoryControl::Wheel(QWheelEvent* event) {
  const int steps = event->angleDelta().y() / 120;
  if (steps != 0) {
    viewport_.ScrollRows(-steps * QApplication::wheelScrollLines());
    Update();
  }
  event->accept();
}

// ---- Focus, the cursor's blink and the timers

void HistoryControl::Focus(bool in) {
  if (in) {
    cursorOn_ = true;
    const int flash = QGuiApplication::styleHints()->cursorFlashTime();
    if (flash > 0) blinkTimer_.start(flash / 2, this);
  } else {
    blinkTimer_.stop();
  }
  Update();
}

void HistoryControl::timerEvent(QTimerEvent* event) {
  if (event->timerId() == blinkTimer_.timerId()) {
    cursorOn_ = !cursorOn_;
    emit updateRequest(viewport_.CursorRect(model_.Cursor()).toRect().adjusted(-1, 0, 1, 0));
  } else if (event->timerId() == dragScrollTimer_.timerId()) {
    DragScroll();
  } else if (event->timerId() == tripleClickTimer_.timerId()) {
    tripleClickTimer_.stop();
  } else {
    QObject::timerEvent(event);
  }
}

// ---- The one entry of the widget's events

bool HistoryControl::ProcessEvent(QEvent* event, QWidget* widget) {
  switch (event->type()) {
  case QEvent::KeyPress: KeyPress(static_cast<QKeyEvent*>(event)); return true;
  case QEvent::InputMethod:
    InputMethod(static_cast<QInputMethodEvent*>(event), widget);
    return true;
  case QEvent::MouseButtonPress: MousePress(static_cast<QMouseEvent*>(event)); return true;
  case QEvent::MouseMove: MouseMove(static_cast<QMouseEvent*>(event)); return true;
  case QEvent::MouseButtonRelease: MouseRelease(static_cast<QMouseEvent*>(event)); return true;
  case QEvent::MouseButtonDblClick: MouseDoubleClick(static_cast<QMouseEvent*>(event)); return true;
  case QEvent::ContextMenu:
    ContextMenu(static_cast<QContextMenuEvent*>(event), widget);
    return true;
  case QEvent::Wheel: Wheel(static_cast<QWheelEvent*>(event)); return true;
  case QEvent::FocusIn:
  case QEvent::FocusOut: Focus(event->type() == QEvent::FocusIn); return true;
  default: return false;
  }
}

// ---- Context menu

QMenu* HistoryControl::CreateStandardContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  const auto add = [&](const char* text, QKeySequence::StandardKey key, bool enabled,
                       Action action) {
    QAction* item =
        menu->addAction(WithShortcut(Translated(text), key), this, [this, action] { Run(action); });
    item->setEnabled(enabled);
  };
  const bool selection = model_.HasSelection();
  add("&Undo", QKeySequence::Undo, model_.CanUndo(), Action::Undo);
  add("&Redo", QKeySequence::Redo, model_.CanRedo(), Action::Redo);
  menu->addSeparator();
  add("Cu&t", QKeySequence::Cut, selection, Action::Cut);
  add("&Copy", QKeySequence::Copy, selection, Action::Copy);
  add("&Paste", QKeySequence::Paste, !QGuiApplication::clipboard()->text().isEmpty(),
      Action::Paste);
  add("Delete", QKeySequence::UnknownKey, selection, Action::Delete);
  menu->addSeparator();
  add("Select All", QKeySequence::SelectAll, model_.CharacterCount() > 0, Action::SelectAll);
  menu->addSeparator();
  menu->addAction(WithShortcut(QStringLiteral("Rechercher…"), QKeySequence::Find), this,
                  [this] { Run(Action::Find); });
  return menu;
}

void HistoryControl::ContextMenu(QContextMenuEvent* event, QWidget* widget) {
  QMenu* menu = CreateStandardContextMenu(widget);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  menu->popup(event->globalPos());
}

// ---- Input methods

void HistoryControl::InputMethod(QInputMethodEvent* event, const QWidget* widget) {
  if (event->replacementLength() > 0 || event->replacementStart() != 0) {
    const TextPos cursor = model_.Cursor();
    const TextPos from = model_.Clamp({cursor.line, cursor.column + event->replacementStart()});
    const TextPos to = model_.Clamp({cursor.line, from.column + event->replacementLength()});
    model_.Select(from, to);
  }
  if (!event->commitString().isEmpty() || event->replacementLength() > 0)
    model_.InsertText(event->commitString(), EditKind::Typing);
  const QString preedit = event->preeditString();
  int preeditCursor = static_cast<int>(preedit.size());
  QList<QTextLayout::FormatRange> formats;
  for (const QInputMethodEvent::Attribute& attribute : event->attributes()) {
    if (attribute.type == QInputMethodEvent::Cursor) preeditCursor = attribute.start;
    const QTextCharFormat format = attribute.value.value<QTextFormat>().toCharFormat();
    if (attribute.type == QInputMethodEvent::TextFormat && format.isValid())
      formats.append({attribute.start, attribute.length, format});
  }
  viewport_.SetPreedit(preedit, preeditCursor, std::move(formats));
  EnsureCursorVisible();
  event->accept();
  if (QInputMethod* method = QGuiApplication::inputMethod(); widget->hasFocus())
    method->update(Qt::ImCursorRectangle);
}

// Text on one side of the cursor for an input method: whole lines added
// until there is at least a kilobyte, as a text box gives it.
QString HistoryControl::TextAroundCursor(bool after) const {
  constexpr qsizetype kLength = 1024;
  const TextPos cursor = model_.Cursor();
  QString text = after ? model_.Line(cursor.line).mid(cursor.column)
                       : model_.Line(cursor.line).left(cursor.column);
  for (std::size_t line = cursor.line; text.size() < kLength;) {
    if (after ? line + 1 >= model_.LineCount() : line == 0) break;
    line = after ? line + 1 : line - 1;
    text = after ? text + u'\n' + model_.Line(line) : model_.Line(line) + u'\n' + text;
  }
  return text;
}

QVariant HistoryControl::InputMethodQuery(Qt::InputMethodQuery query) const {
  const TextPos cursor = model_.Cursor();
  const TextPos anchor = model_.Anchor();
  switch (query) {
  case Qt::ImEnabled: return true;
  case Qt::ImCursorRectangle: return viewport_.CursorRect(cursor);
  case Qt::ImCursorPosition: return cursor.column;
  case Qt::ImAnchorPosition: return anchor.line == cursor.line ? anchor.column : cursor.column;
  case Qt::ImSurroundingText: return model_.Line(cursor.line);
  case Qt::ImCurrentSelection:
    // Within what is handed out to the clipboard.
    if (model_.Utf8Size(anchor, cursor) > PrimarySelection::kMaxHandedOut) return QString();
    return model_.SelectedText();
  case Qt::ImAbsolutePosition: return static_cast<qlonglong>(model_.Offset(cursor));
  case Qt::ImTextBeforeCursor: return TextAroundCursor(false);
  case Qt::ImTextAfterCursor: return TextAroundCursor(true);
  case Qt::ImHints: return static_cast<int>(Qt::ImhMultiLine);
  default: return {}; // the widget's own answer (its font, …)
  }
}
