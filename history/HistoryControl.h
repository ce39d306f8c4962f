#pragma once

#include "history/EditModel.h"
#include "history/PrimarySelection.h"

#include <lanchat/BuildConfig.h>

#include <QBasicTimer>
#include <QPoint>
#include <QString>
#include <QVariant>

#include <functional>

class HistoryLayout;
class QAbstractScrollArea;
class QContextMenuEvent;
class QInputMethodEvent;
class QKeyEvent;
class QMenu;
class QMouseEvent;
class QTimerEvent;
class QWheelEvent;

// The input of a history, as a text box takes it: the keys, the mouse
// (selection by characters, words or lines, scrolling while dragging past
// an edge), the clipboard and the primary selection, the context menu and
// input methods. It edits the model and scrolls the layout; the widget it
// works for forwards its events here and paints. (The keys are in
// HistoryKeys.cpp.)
class HistoryControl {
public:
  // `pasteTooLarge` is told the length of a paste refused for its size;
  // `selectionTooLarge` the bytes of a selection too large to hand out
  // (more than PrimarySelection::kMaxHandedOut), once per copy refused and
  // once per primary selection asked for.
  HistoryControl(EditModel& model, HistoryLayout& layout, QAbstractScrollArea& widget,
                 std::function<void(qsizetype)> pasteTooLarge,
                 std::function<void(std::size_t)> selectionTooLarge);
  HistoryControl(const HistoryControl&) = delete;
  HistoryControl& operator=(const HistoryControl&) = delete;
  ~HistoryControl();

  // The most text a paste may bring into a chat box: what one datagram can
  // carry. Laying out more would hold the window up, and it could never be
  // sent.
  static constexpr auto kMaxPaste = static_cast<qsizetype>(lanchat::config::kMaxDatagramSize);

  // The edits and commands of both the keys and the context menu.
  enum class Action { Undo, Redo, Cut, Copy, Paste, Delete, SelectAll };
  void Run(Action action);

  // The context menu a right click opens; the caller owns it.
  QMenu* CreateStandardContextMenu();
  // Scrolls as little as needed to show the cursor's row.
  void EnsureCursorVisible();
  // Whether the blinking cursor is on.
  [[nodiscard]] bool CursorOn() const { return cursorOn_; }

  // ---- The widget's events
  [[nodiscard]] static bool TakesShortcut(const QKeyEvent* key);
  void KeyPress(QKeyEvent* event);
  void InputMethod(QInputMethodEvent* event);
  [[nodiscard]] QVariant InputMethodQuery(Qt::InputMethodQuery query) const;
  void MousePress(QMouseEvent* event);
  void MouseMove(QMouseEvent* event);
  void MouseRelease(QMouseEvent* event);
  void MouseDoubleClick(QMouseEvent* event);
  void ContextMenu(QContextMenuEvent* event);
  void Wheel(QWheelEvent* event);
  void FocusIn();
  void FocusOut();
  // Whether the timer was one of the control's.
  bool Timer(QTimerEvent* event);

private:
  enum class Unit { Character, Word, Line };

  void Update();
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
  HistoryLayout& layout_;
  QAbstractScrollArea& widget_;
  std::function<void(qsizetype)> pasteTooLarge_;
  std::function<void(std::size_t)> selectionTooLarge_;
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
