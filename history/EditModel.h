#pragma once

#include "history/LineStore.h"

#include <QByteArray>
#include <QString>

#include <compare>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A place in the text: a line and a UTF-16 index into it.
struct TextPos {
  std::size_t line = 0;
  int column = 0;
  auto operator<=>(const TextPos&) const = default;
};

// What one change did to the text: the text between `from` and
// `removedEnd` (as it stood before) gave way to the text between `from` and
// `insertedEnd` (as it stands after). Offsets are in UTF-16 units over the
// whole text, a line break counting one, as assistive technology counts.
struct TextChange {
  TextPos from;
  TextPos removedEnd;
  TextPos insertedEnd;
  std::size_t offset = 0;
  // Each whole when it is at most kShown bytes, else only its first kHead
  // UTF-16 units (or one more, not to split a surrogate pair): an undo or a
  // deletion of millions of lines is not copied to be told.
  QString removed;
  // The inserted text as the store holds it (UTF-8, "\n" between lines;
  // its head only when it is more than kShown bytes, as for `removed`),
  // valid while the observers are called. Inserted() makes a QString of it
  // for an observer that needs one: an arrival no one reads is never
  // converted.
  std::string_view insertedUtf8;
  [[nodiscard]] QString Inserted() const;
  static constexpr std::size_t kShown = 1 << 20;
  static constexpr std::size_t kHead = 1 << 16;
  bool appended = false; // lines added at the end, not an edit by the user
};

// How an edit may merge with the one before it into one undo step, as a
// text box does: characters typed one after another, Backspace pressed
// again and again, Delete pressed again and again.
enum class EditKind { Other, Typing, Backspace, Delete };

// The history's text and its editing, apart from any widget: the lines in a
// compact LineStore, a cursor and an anchor (the selection lies between
// them), insertion and deletion, character and word boundaries, and an
// undo/redo stack. Lines appended at the end (arriving messages) are not
// edits: they are never undone and leave the cursor where it is.
class EditModel {
public:
  // `capacity`: the lines it holds before it counts as full; `budget`: the
  // bytes of text likewise (see Full).
  explicit EditModel(std::size_t capacity = kCapacity, std::size_t budget = kBudget);

  // The history's stated capacity and budget: far more than any
  // conversation, small enough that a full history stays well within an
  // office computer's memory. The budget counts the text as stored (UTF-8)
  // and each line's bookkeeping (LineStore::Bytes).
  static constexpr std::size_t kCapacity = 10'000'000;
  static constexpr std::size_t kBudget = 128 << 20;
  [[nodiscard]] std::size_t Capacity() const { return capacity_; }
  [[nodiscard]] std::size_t Budget() const { return budget_; }
  // Whether it holds its capacity or its budget, or more. Nothing is
  // refused here: what arrives while it is full is for its owner to turn
  // away, whole, so it goes past either by one message at most.
  [[nodiscard]] bool Full() const {
    return store_.Count() + pendingLines_ >= capacity_ || store_.Bytes() + pendingBytes_ >= budget_;
  }

  // ---- The text
  [[nodiscard]] std::size_t LineCount() const { return store_.Count(); }
  [[nodiscard]] QString Line(std::size_t line) const;
  // A line as the store holds it, UTF-8.
  [[nodiscard]] std::string_view Utf8Line(std::size_t line) const { return store_.Line(line); }
  [[nodiscard]] int LineLength(std::size_t line) const;
  // The whole text, lines joined by "\n".
  [[nodiscard]] QString Text() const;
  // The text between two places, lines joined by "\n".
  [[nodiscard]] QString TextBetween(TextPos a, TextPos b) const;
  // The same as UTF-8, and its size in bytes, counted without reading the
  // lines (chunk by chunk): what is too large to copy is known at once.
  [[nodiscard]] QByteArray Utf8Between(TextPos a, TextPos b) const;
  [[nodiscard]] std::size_t Utf8Size(TextPos a, TextPos b) const;
  [[nodiscard]] TextPos End() const;
  // The nearest place in the text; a place inside a surrogate pair goes
  // after the pair.
  [[nodiscard]] TextPos Clamp(TextPos pos) const;

  // Replaces the whole text; the cursor goes to the start, undo is emptied.
  void SetText(const QString& text);
  // Adds UTF-8 text at the end, as arriving messages are added: each line
  // after a line break ("\nAna a dit :\nSalut" adds two lines), each of the
  // program's line breaks starting a line. Not an edit: not undoable,
  // cursor unmoved; the observers hear it as one change.
  void Append(std::string_view utf8);
  // Adds a line at the end (breaks in it make several), as Append does.
  void AppendLine(const QString& line);

  // The lines as stored, for a pass over the whole text (finding).
  [[nodiscard]] const LineStore& Store() const { return store_; }

  // ---- Cursor and selection
  [[nodiscard]] TextPos Cursor() const { return cursor_; }
  [[nodiscard]] TextPos Anchor() const { return anchor_; }
  [[nodiscard]] bool HasSelection() const { return cursor_ != anchor_; }
  [[nodiscard]] std::pair<TextPos, TextPos> Selection() const;
  [[nodiscard]] QString SelectedText() const;
  // Moves the cursor (clamped to the text); the anchor follows unless kept.
  void SetCursor(TextPos to, bool keepAnchor = false);
  void Select(TextPos anchor, TextPos cursor);
  void SelectAll();

  // ---- Boundaries; each crosses a line break as one step
  [[nodiscard]] TextPos NextCharacter(TextPos pos) const; // by grapheme
  [[nodiscard]] TextPos PreviousCharacter(TextPos pos) const;
  [[nodiscard]] TextPos NextWord(TextPos pos) const; // to the start of the next word
  [[nodiscard]] TextPos PreviousWord(TextPos pos) const;
  // The word (or run of separators) under a place, for a double click.
  [[nodiscard]] std::pair<TextPos, TextPos> WordAt(TextPos pos) const;
  // Whether a place is a cursor position (not inside a grapheme).
  [[nodiscard]] bool IsCursorPosition(TextPos pos) const;

  // ---- Editing; each is one undo step unless it merges with the last
  // Replaces the selection (if any) with the text; CR LF, CR, LF, U+2028
  // and U+2029 each break a line.
  void InsertText(const QString& text, EditKind kind = EditKind::Other);
  void DeleteSelection();
  void DeletePreviousCharacter(); // Backspace: one character, a surrogate pair whole
  void DeleteNextCharacter();     // Delete: one grapheme
  void DeletePreviousWord();      // Ctrl+Backspace
  void DeleteNextWord();          // Ctrl+Delete
  // Replaces the text between two places, as one undo step. The cursor and
  // anchor stay with the text around them, as a text box's cursor does when
  // its document is edited elsewhere (a place inside the range goes to its
  // start).
  void Replace(TextPos a, TextPos b, const QString& text);

  // ---- Undo and redo
  // An undo or redo that would take the text past its capacity or budget
  // is not offered.
  // Neither is offered while a large one is being put back (see Busy).
  [[nodiscard]] bool CanUndo() const {
    return !Busy() && done_ > 0 && Fits(steps_[done_ - 1], true);
  }
  [[nodiscard]] bool CanRedo() const {
    return !Busy() && done_ < steps_.size() && Fits(steps_[done_], false);
  }
  void Undo();
  void Redo();
  // A large undo or redo puts its text back a piece at a time (at most
  // kPieceLines lines or about kPieceBytes bytes each), so that the window
  // answers between pieces; the text is whole and consistent after each.
  // Busy while pieces are left; Continue puts back the next one (false
  // when none is left). Any edit, undo or redo first puts back the rest.
  [[nodiscard]] bool Busy() const { return pending_ != nullptr; }
  bool Continue();
  static constexpr std::size_t kPieceLines = 100'000;
  static constexpr std::size_t kPieceBytes = 1 << 20;
  // The next edit starts a step of its own.
  void BreakMerge() { mergeable_ = false; }

  // ---- Offsets in UTF-16 units over the whole text, a break counting one
  [[nodiscard]] std::size_t Offset(TextPos pos) const;
  [[nodiscard]] TextPos PosAt(std::size_t offset) const;
  [[nodiscard]] std::size_t CharacterCount() const { return store_.Units(); }

  // ---- Observers, called after the change
  void OnChange(std::function<void(const TextChange&)> observer);
  void OnCursor(std::function<void()> observer); // cursor or selection moved
  // Called before an edit (not an append) changes the text.
  void OnEditing(std::function<void()> observer);
  // An edit too large for the undo budget was made: it cannot be undone,
  // nor can anything before it.
  void OnUndoLost(std::function<void()> observer);

  // Undo steps kept at most, and their bytes; the oldest go first. An edit
  // larger than the budget alone empties the stack.
  static constexpr std::size_t kUndoSteps = 1000;
  // A removal after which freed memory is handed back to the system.
  static constexpr std::size_t kLargeRemoval = 1 << 20;
  static constexpr std::size_t kUndoBytes = 16 << 20;
  [[nodiscard]] std::size_t UndoBytes() const { return undoBytes_; }

private:
  // One undo step: at `from`, `removed` gave way to `inserted` (UTF-8,
  // lines joined by "\n", as the store takes them back in bulk). Several
  // edits merged form one step.
  struct Step {
    TextPos from;
    std::string removed;
    std::string inserted;
    EditKind kind = EditKind::Other;
    TextPos cursorBefore;
    TextPos anchorBefore;
    [[nodiscard]] std::size_t Bytes() const {
      return sizeof(Step) + removed.capacity() + inserted.capacity();
    }
  };

  // Replaces [a, b) with `joined` (UTF-8, lines joined by "\n"), reports
  // the change and returns the end of the inserted text. The removed text
  // goes to `removed` if given.
  // `told`: whether the inserted text is told to the observers (a piece of
  // a larger text is not).
  [[nodiscard]] QString RemovedToTell(TextPos a, TextPos b, const std::string* removed,
                                      std::size_t offset) const;
  TextPos ReplaceRange(TextPos a, TextPos b, std::string_view joined, std::string* removed,
                       bool told = true);
  void Finish();
  // `joined`: the text to insert as the store holds it (see Joined).
  void Edit(TextPos a, TextPos b, std::string joined, EditKind kind, bool moveCursor = true);
  void Record(Step step);
  bool MergeInto(const Step& step);
  // The text between two clamped places, a <= b, as UTF-8; CopyUtf8 writes
  // it where Utf8Size(a, b) bytes fit and returns the end.
  [[nodiscard]] std::string Utf8String(TextPos a, TextPos b) const;
  char* CopyUtf8(TextPos a, TextPos b, char* out) const;
  void ApplyStep(const Step& step, bool undo);
  [[nodiscard]] bool Fits(const Step& step, bool undo) const;
  void DropOldestStep();
  // Empties the stack and tells the observers: an edit too large to keep.
  void LoseUndo();
  void NotifyCursor();
  // mode: a QTextLayout::CursorMode, by grapheme or by word.
  [[nodiscard]] TextPos Move(TextPos pos, bool forward, int mode) const;
  // The end of a text of lines joined by "\n" put at `from`.
  [[nodiscard]] static TextPos EndOf(TextPos from, std::string_view joined);

  std::size_t capacity_;
  std::size_t budget_;
  LineStore store_;
  TextPos cursor_;
  TextPos anchor_;
  std::vector<Step> steps_;
  std::size_t done_ = 0; // steps_[0, done_) are done, the rest undone
  bool mergeable_ = false;
  std::size_t undoBytes_ = 0;
  // A step's text being put back, how much of it is back, where the rest
  // goes, and the lines and bytes (as Full counts them) still to come.
  const std::string* pending_ = nullptr;
  std::size_t pendingDone_ = 0;
  TextPos pendingAt_;
  std::size_t pendingLines_ = 0;
  std::size_t pendingBytes_ = 0;
  std::vector<std::function<void()>> undoLostObservers_;
  std::vector<std::function<void(const TextChange&)>> changeObservers_;
  std::vector<std::function<void()>> cursorObservers_;
  std::vector<std::function<void()>> editingObservers_;
};
