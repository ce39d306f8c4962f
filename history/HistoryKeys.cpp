// The keys of a history, as a text box takes them: moves by characters,
// words, rows and pages, with Shift to select; edits; the clipboard's keys.
#include "history/HistoryControl.h"

#include "history/HistoryViewport.h"

#include <QKeyEvent>

#include <algorithm>
#include <iterator>

namespace {

// Whether a key gives text to insert, by the rule of Qt's text boxes:
// printable text, a tab (when Tab has not moved the focus on), formatting
// and private-use characters, a character outside the BMP; not with Ctrl
// held (AltGr, Ctrl+Alt, is fine).
bool IsTypedText(const QKeyEvent* event) {
  const QString text = event->text();
  if (text.isEmpty()) return false;
  const QChar c = text.front();
  if (c.category() == QChar::Other_Format) return true;
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  if (modifiers == Qt::ControlModifier || modifiers == (Qt::ShiftModifier | Qt::ControlModifier))
    return false;
  return c.isPrint() || c == u'\t' || c.category() == QChar::Other_PrivateUse ||
         (c.isHighSurrogate() && text.size() > 1 && text.at(1).isLowSurrogate());
}

} // namespace

// ---- Keys

bool HistoryControl::TakesShortcut(const QKeyEvent* key) {
  // Shortcuts the box takes itself rather than the window's actions.
  return key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Cut) ||
         key->matches(QKeySequence::Paste) || key->matches(QKeySequence::SelectAll) ||
         key->matches(QKeySequence::Undo) || key->matches(QKeySequence::Redo) ||
         key->matches(QKeySequence::Find) || key->matches(QKeySequence::FindNext) ||
         key->matches(QKeySequence::FindPrevious) || key->matches(QKeySequence::Delete) ||
         key->matches(QKeySequence::DeleteStartOfWord) ||
         key->matches(QKeySequence::DeleteEndOfWord) || key->key() == Qt::Key_Home ||
         key->key() == Qt::Key_End || key->key() == Qt::Key_Left || key->key() == Qt::Key_Right;
}

void HistoryControl::KeyPress(QKeyEvent* event) {
  // Paging again keeps the height on screen the first page key started from.
  if (!event->matches(QKeySequence::MoveToNextPage) &&
      !event->matches(QKeySequence::MoveToPreviousPage) &&
      !event->matches(QKeySequence::SelectNextPage) &&
      !event->matches(QKeySequence::SelectPreviousPage))
    pageYValid_ = false;
  if (HandleMoveKey(event) || HandleEditKey(event)) {
    cursorOn_ = true;
    event->accept();
    return;
  }
  event->ignore();
}

void HistoryControl::MoveCursor(TextPos to, bool select, bool keepX) {
  const qreal x = cursorX_;
  model_.SetCursor(to, select);
  cursorX_ = keepX ? x : -1;
  EnsureCursorVisible();
  SelectionChanged();
}

void HistoryControl::PageUpDown(bool down, bool select) {
  // As a text box pages: the view scrolls by a screenful, then the cursor
  // moves by rows (keeping its x) back to the height on screen it had.
  EnsureCursorVisible();
  if (!pageYValid_) pageY_ = viewport_.RowTop(model_.Cursor());
  pageYValid_ = true;
  const qreal x = cursorX_ >= 0 ? cursorX_ : layout_.CursorX(model_.Cursor());
  model_.SetCursor(viewport_.Page(model_.Cursor(), down, x, pageY_), select);
  cursorX_ = x;
  Update();
  SelectionChanged();
}

bool HistoryControl::HandleMoveKey(QKeyEvent* event) {
  enum class To {
    Next,
    Previous,
    NextWord,
    PreviousWord,
    Down,
    Up,
    RowStart,
    RowEnd,
    Start,
    End,
    PageDown,
    PageUp
  };
  struct Binding {
    QKeySequence::StandardKey move;
    QKeySequence::StandardKey select;
    To to;
  };
  static constexpr Binding kBindings[] = {
      {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, To::Next},
      {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, To::Previous},
      {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, To::NextWord},
      {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, To::PreviousWord},
      {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, To::Down},
      {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, To::Up},
      {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, To::RowStart},
      {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, To::RowEnd},
      {QKeySequence::MoveToStartOfBlock, QKeySequence::SelectStartOfBlock, To::RowStart},
      {QKeySequence::MoveToEndOfBlock, QKeySequence::SelectEndOfBlock, To::RowEnd},
      {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, To::Start},
      {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, To::End},
      {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, To::PageDown},
      {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, To::PageUp},
  };
  const auto* binding =
      std::find_if(std::begin(kBindings), std::end(kBindings), [&](const Binding& b) {
        return event->matches(b.move) || event->matches(b.select);
      });
  if (binding == std::end(kBindings)) return false;
  const bool select = event->matches(binding->select);
  const TextPos cursor = model_.Cursor();
  const auto [start, end] = model_.Selection();
  const qreal x = cursorX_ >= 0 ? cursorX_ : layout_.CursorX(cursor);
  switch (binding->to) {
  case To::Next:
    // Without Shift, a selection collapses to its edge.
    MoveCursor(model_.HasSelection() && !select ? end : model_.NextCharacter(cursor), select);
    break;
  case To::Previous:
    MoveCursor(model_.HasSelection() && !select ? start : model_.PreviousCharacter(cursor), select);
    break;
  case To::NextWord: MoveCursor(model_.NextWord(cursor), select); break;
  case To::PreviousWord: MoveCursor(model_.PreviousWord(cursor), select); break;
  case To::Down:
    cursorX_ = x;
    MoveCursor(layout_.MoveVertically(cursor, 1, x), select, true);
    break;
  case To::Up:
    cursorX_ = x;
    MoveCursor(layout_.MoveVertically(cursor, -1, x), select, true);
    break;
  case To::RowStart: MoveCursor(layout_.RowStart(cursor), select); break;
  case To::RowEnd: MoveCursor(layout_.RowEnd(cursor), select); break;
  case To::Start: MoveCursor({}, select); break;
  case To::End: MoveCursor(model_.End(), select); break;
  case To::PageDown: PageUpDown(true, select); break;
  case To::PageUp: PageUpDown(false, select); break;
  }
  return true;
}

bool HistoryControl::HandleEditKey(QKeyEvent* event) {
  static constexpr std::pair<QKeySequence::StandardKey, Action> kActions[] = {
      {QKeySequence::Undo, Action::Undo},
      {QKeySequence::Redo, Action::Redo},
      {QKeySequence::SelectAll, Action::SelectAll},
      {QKeySequence::Copy, Action::Copy},
      {QKeySequence::Cut, Action::Cut},
      {QKeySequence::Paste, Action::Paste},
      {QKeySequence::Find, Action::Find},
      {QKeySequence::FindNext, Action::FindNext},
      {QKeySequence::FindPrevious, Action::FindPrevious},
  };
  for (const auto& [key, action] : kActions)
    if (event->matches(key)) {
      Run(action);
      return true;
    }
  if (event->matches(QKeySequence::DeleteStartOfWord)) {
    Edit([this] { model_.DeletePreviousWord(); });
  } else if (event->matches(QKeySequence::DeleteEndOfWord)) {
    Edit([this] { model_.DeleteNextWord(); });
  } else if (event->key() == Qt::Key_Backspace && !(event->modifiers() & ~Qt::ShiftModifier)) {
    Edit([this] { model_.DeletePreviousCharacter(); });
  } else if (event->matches(QKeySequence::Delete)) {
    Edit([this] { model_.DeleteNextCharacter(); });
  } else if (event->matches(QKeySequence::InsertParagraphSeparator) ||
             event->matches(QKeySequence::InsertLineSeparator)) {
    Edit([this] { model_.InsertText(QStringLiteral("\n")); });
  } else {
    if (!IsTypedText(event)) return false;
    Edit([&] { model_.InsertText(event->text(), EditKind::Typing); });
  }
  return true;
}
