#pragma once

#include "history/LineStore.h"

#include <QString>

#include <compare>
#include <cstddef>
#include <functional>
#include <string>
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
  QString removed;
  QString inserted;
  bool appended = false; // a line added at the end, not an edit by the user
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
  // `capacity`: the lines it holds before it counts as full (see Full).
  explicit EditModel(std::size_t capacity = kCapacity);

  // The history's stated capacity: far more than any conversation, small
  // enough that a full history stays well within a desktop's memory.
  static constexpr std::size_t kCapacity = 10'000'000;
  [[nodiscard]] std::size_t Capacity() const { return capacity_; }
  // Whether it holds its capacity or more. Nothing is refused here: what
  // arrives while it is full is for its owner to turn away, whole.
  [[nodiscard]] bool Full() const { return store_.Count() >= capacity_; }

  // ---- The text
  [[nodiscard]] const LineStore& Store() const { return store_; }
  [[nodiscard]] std::size_t LineCount() const { return store_.Count(); }
  [[nodiscard]] QString Line(std::size_t line) const;
  [[nodiscard]] int LineLength(std::size_t line) const;
  // The whole text, lines joined by "\n".
  [[nodiscard]] QString Text() const;
  // The text between two places, lines joined by "\n".
  [[nodiscard]] QString TextBetween(TextPos a, TextPos b) const;
  [[nodiscard]] TextPos End() const;
  // The nearest place in the text; a place inside a surrogate pair goes
  // after the pair.
  [[nodiscard]] TextPos Clamp(TextPos pos) const;

  // Replaces the whole text; the cursor goes to the start, undo is emptied.
  void SetText(const QString& text);
  // Adds a line at the end (breaks in it make several). Not an edit: not
  // undoable, cursor unmoved.
  void AppendLine(const QString& line);

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
  [[nodiscard]] bool CanUndo() const { return done_ > 0; }
  [[nodiscard]] bool CanRedo() const { return done_ < steps_.size(); }
  void Undo();
  void Redo();
  // The next edit starts a step of its own.
  void BreakMerge() { mergeable_ = false; }

  // ---- Offsets in UTF-16 units over the whole text, a break counting one
  [[nodiscard]] std::size_t Offset(TextPos pos) const;
  [[nodiscard]] TextPos PosAt(std::size_t offset) const;
  [[nodiscard]] std::size_t CharacterCount() const { return store_.Units(); }

  // ---- Observers, called after the change
  void OnChange(std::function<void(const TextChange&)> observer);
  void OnCursor(std::function<void()> observer); // cursor or selection moved

  // Undo steps kept at most; the oldest go first.
  static constexpr std::size_t kUndoSteps = 1000;

private:
  // One undo step: at `from`, `removed` gave way to `inserted` (UTF-8,
  // lines joined by "\n"). Several edits merged form one step.
  struct Step {
    TextPos from;
    std::string removed;
    std::string inserted;
    EditKind kind = EditKind::Other;
    TextPos cursorBefore;
    TextPos anchorBefore;
  };

  // Replaces [a, b) with text and reports the change; returns the end of
  // the inserted text.
  TextPos ReplaceRange(TextPos a, TextPos b, const QString& text, std::string* removedUtf8);
  void Edit(TextPos a, TextPos b, const QString& text, EditKind kind, bool moveCursor = true);
  void Record(Step step);
  // The text between two clamped places, a <= b, as UTF-8.
  [[nodiscard]] std::string Utf8Between(TextPos a, TextPos b) const;
  void ApplyStep(const Step& step, bool undo);
  void NotifyCursor();
  // mode: a QTextLayout::CursorMode, by grapheme or by word.
  [[nodiscard]] TextPos Move(TextPos pos, bool forward, int mode) const;
  void SetLine(std::size_t line, const QString& text);
  [[nodiscard]] TextPos EndOf(TextPos from, const QString& inserted) const;

  std::size_t capacity_;
  LineStore store_;
  TextPos cursor_;
  TextPos anchor_;
  std::vector<Step> steps_;
  std::size_t done_ = 0; // steps_[0, done_) are done, the rest undone
  bool mergeable_ = false;
  std::vector<std::function<void(const TextChange&)>> changeObservers_;
  std::vector<std::function<void()>> cursorObservers_;
};
