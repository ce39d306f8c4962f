#pragma once

#include "history/EditModel.h"
#include "history/PrimarySelection.h"

#include <lanchat/BuildConfig.h>

#include <QBasicTimer>
#include <QObject>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QVariant>

class HistoryLayout;
class HistoryViewport;
class QContextMenuEvent;
class QEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QWheelEvent;
class QWidget;

// The input of a history, as a text box takes it: the keys, the mouse
// (selection by characters, words or lines, scrolling while dragging past
// an edge), the clipboard and the primary selection, the context menu and
// input methods. It edits the model and scrolls the viewport, and signals
// what is to be repainted and what the user is to be told; the widget it
// works for passes its events to ProcessEvent and paints. It owns its
// timers (the cursor's blink, scrolling while dragging, the triple click).
// (The keys are in HistoryKeys.cpp.)
class HistoryControl : public QObject {
  Q_OBJECT

public:
  HistoryControl(EditModel& model, HistoryLayout& layout, HistoryViewport& viewport,
                 QObject* parent = nullptr);
  HistoryControl(const HistoryControl&) = delete;
  HistoryControl& operator=(const HistoryControl&) = delete;
  ~HistoryControl() override;

  // The most text a paste may bring into a chat box: what one datagram can
  // carry. Laying out more would hold the window up, and it could never be
  // sent.
  static constexpr auto kMaxPaste = static_cast<qsizetype>(lanchat::config::kMaxDatagramSize);

  // The edits and commands of both the keys and the context menu.
  enum class Action {
    Undo,
    Redo,
    Cut,
    Copy,
    Paste,
    Delete,
    SelectAll,
    Find,
    FindNext,
    FindPrevious
  };
  void Run(Action action);

  // The context menu a right click opens, a child of `parent`; the caller
  // owns it.
  QMenu* CreateStandardContextMenu(QWidget* parent);
  // Scrolls as little as needed to show the cursor's row.
  void EnsureCursorVisible();
  // Whether the blinking cursor is on.
  [[nodiscard]] bool CursorOn() const { return cursorOn_; }

  // Takes an event of `widget`, the widget it works for: keys, input
  // methods, focus, and the mouse, wheel and context menu of its viewport
  // (in viewport coordinates). False if it is not one it takes.
  bool ProcessEvent(QEvent* event, QWidget* widget);
  // Whether a key is one the control takes before a shortcut would.
  [[nodiscard]] static bool TakesShortcut(const QKeyEvent* key);
  // An input method's question; an invalid answer for those the widget
  // answers itself.
  [[nodiscard]] QVariant InputMethodQuery(Qt::InputMethodQuery query) const;

signals:
  // Ctrl+F, or « Rechercher… » in the context menu: the find box is to open.
  void findRequested();
  // F3 (forward) or Maj+F3: the next or the previous match.
  void findAgain(bool forward);
  // A part of the viewport is to be repainted; an empty one: all of it.
  void updateRequest(const QRect& rect = QRect());
  // A paste of `length` characters was refused: more than kMaxPaste. The
  // clipboard keeps the text.
  void pasteTooLarge(qsizetype length);
  // A selection of `bytes` (UTF-8) was not handed out: more than
  // PrimarySelection::kMaxHandedOut. Once per copy refused and once per
  // primary selection asked for.
  void selectionTooLarge(qint64 bytes);

protected:
  void timerEvent(QTimerEvent* event) override;

private:
  enum class Unit { Character, Word, Line };

  void Update() { emit updateRequest(); }
  void KeyPress(QKeyEvent* event);
  void InputMethod(QInputMethodEvent* event, const QWidget* widget);
  void MousePress(QMouseEvent* event);
  void MouseMove(QMouseEvent* event);
  void MouseRelease(QMouseEvent* event);
  void MouseDoubleClick(QMouseEvent* event);
  void ContextMenu(QContextMenuEvent* event, QWidget* widget);
  void Wheel(QWheelEvent* event);
  void Focus(bool in);
  void MoveCursor(TextPos to, bool select, bool keepX = false);
  void PageUpDown(bool down, bool select);
  bool HandleMoveKey(QKeyEvent* event);
  bool HandleEditKey(QKeyEvent* event);
  // An edit: the remembered column goes, the cursor is brought into view.
  template <class Change> void Edit(Change&& change);
  // Puts back the rest of a large undo or redo, a piece per turn of the
  // event loop.
  void PutBack();
  // False when the selection is too large to hand out (the user is told).
  bool Copy();
  void Cut();
  void Paste(bool primary = false);
  void SelectionChanged();
  // Tells of a selection too large once the clipboard's handling of
  // another program's request is done.
  void TellLater(std::size_t size);
  [[nodiscard]] std::pair<TextPos, TextPos> UnitAt(TextPos pos) const;
  void DragTo(QPoint viewportPoint);
  void DragScroll();
  [[nodiscard]] QString TextAroundCursor(bool after) const;

  EditModel& model_;
  HistoryLayout& layout_;     // the rows
  HistoryViewport& viewport_; // what is on screen, and scrolling
  PrimarySelection primary_{model_, [this](std::size_t size) { TellLater(size); }};
  qreal cursorX_ = -1; // kept across Up/Down
  qreal pageY_ = 0;    // height on screen kept across PageUp/PageDown
  bool pageYValid_ = false;
  // Mouse selection: by characters, words (double click) or lines (triple).
  Unit unit_ = Unit::Character;
  TextPos unitStart_;
  TextPos unitEnd_;
  bool selecting_ = false;
  QPoint tripleClickPoint_;
  QPoint dragPoint_; // where the mouse was last seen while selecting
  QBasicTimer tripleClickTimer_;
  QBasicTimer dragScrollTimer_;
  QBasicTimer blinkTimer_;
  bool cursorOn_ = true;
  bool putBackQueued_ = false;
};

template <class Change> void HistoryControl::Edit(Change&& change) {
  change();
  cursorX_ = -1;
  EnsureCursorVisible();
}
