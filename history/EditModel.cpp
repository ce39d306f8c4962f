#include "history/EditModel.h"

#include <text/TextLines.h>
#include <text/Utf8Qt.h>

#include <algorithm>
#include <malloc.h>

namespace {

using text::ToUtf8;
QString FromUtf8(std::string_view utf8) { return text::ToQString(utf8); }

// Whether UTF-8 text holds a line break other than "\n", the only one the
// store takes.
bool HasOtherBreak(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size(); ++i)
    if ((utf8[i] == '\r' || utf8[i] == '\xE2') && text::BreakAt(utf8, i) > 0) return true;
  return false;
}

// UTF-8 text with each of the program's line breaks made one "\n".
std::string WithNewlines(std::string_view utf8) {
  std::string joined;
  joined.reserve(utf8.size());
  bool first = true;
  for (const std::string_view line : text::SplitLines(utf8)) {
    if (!first) joined += '\n';
    first = false;
    joined += line;
  }
  return joined;
}

// A text as the store holds it: UTF-8, each of the program's line breaks
// one "\n". Converted whole, then cut only if it holds another break.
std::string Joined(const QString& text) {
  std::string utf8 = ToUtf8(text);
  return HasOtherBreak(utf8) ? WithNewlines(utf8) : utf8;
}

// The byte where a UTF-16 column starts in a line of UTF-8 text.
std::size_t ByteAt(std::string_view utf8, int column) {
  return text::BoundaryAtUnit(utf8, static_cast<std::size_t>(std::max(column, 0))).byte;
}

// A column within a line of UTF-8 text, never between the two halves of a
// surrogate pair: an edit there would leave halves that UTF-8 cannot hold.
// A place there goes after the pair, where a text layout draws it.
int ClampColumn(std::string_view utf8, int column) {
  if (column <= 0) return 0;
  return static_cast<int>(text::BoundaryAtUnit(utf8, static_cast<std::size_t>(column)).unit);
}

} // namespace

QString TextChange::Inserted() const { return FromUtf8(insertedUtf8); }

EditModel::EditModel(std::size_t capacity, std::size_t budget)
    : capacity_(capacity), budget_(budget) {}

// ---- The text

QString EditModel::Line(std::size_t line) const { return FromUtf8(store_.Line(line)); }

int EditModel::LineLength(std::size_t line) const {
  return static_cast<int>(text::Utf16Length(store_.Line(line)));
}

QString EditModel::Text() const { return TextBetween({}, End()); }

QString EditModel::TextBetween(TextPos a, TextPos b) const {
  a = Clamp(a);
  b = Clamp(b);
  if (b < a) std::swap(a, b);
  if (a.line == b.line) return Line(a.line).mid(a.column, b.column - a.column);
  // Gathered as UTF-8 and converted once: quick for a million lines.
  return FromUtf8(Utf8String(a, b));
}

std::size_t EditModel::Utf8Size(TextPos a, TextPos b) const {
  a = Clamp(a);
  b = Clamp(b);
  if (b < a) std::swap(a, b);
  const std::string_view first = store_.Line(a.line);
  if (a.line == b.line) return ByteAt(first, b.column) - ByteAt(first, a.column);
  return first.size() - ByteAt(first, a.column) +
         store_.TextBytes(a.line + 1, b.line - a.line - 1) + ByteAt(store_.Line(b.line), b.column) +
         (b.line - a.line);
}

QByteArray EditModel::Utf8Between(TextPos a, TextPos b) const {
  a = Clamp(a);
  b = Clamp(b);
  if (b < a) std::swap(a, b);
  QByteArray text(static_cast<qsizetype>(Utf8Size(a, b)), Qt::Uninitialized);
  CopyUtf8(a, b, text.data());
  return text;
}

std::string EditModel::Utf8String(TextPos a, TextPos b) const {
  std::string text(Utf8Size(a, b), '\0');
  CopyUtf8(a, b, text.data());
  return text;
}

char* EditModel::CopyUtf8(TextPos a, TextPos b, char* out) const {
  const std::string_view first = store_.Line(a.line);
  const std::size_t from = ByteAt(first, a.column);
  if (a.line == b.line) {
    const std::string_view piece = first.substr(from, ByteAt(first, b.column) - from);
    return std::copy(piece.begin(), piece.end(), out);
  }
  out = std::copy(first.begin() + static_cast<std::ptrdiff_t>(from), first.end(), out);
  *out++ = '\n';
  if (b.line > a.line + 1) {
    out = store_.CopyJoined(a.line + 1, b.line - a.line - 1, out);
    *out++ = '\n';
  }
  const std::string_view last = store_.Line(b.line);
  return std::copy_n(last.begin(), ByteAt(last, b.column), out);
}

TextPos EditModel::End() const {
  const std::size_t last = store_.Count() - 1;
  return {last, LineLength(last)};
}

TextPos EditModel::Clamp(TextPos pos) const {
  pos.line = std::min(pos.line, store_.Count() - 1);
  pos.column = ClampColumn(store_.Line(pos.line), pos.column);
  return pos;
}

void EditModel::SetText(const QString& text) {
  // What was being put back goes with the rest of the text.
  pending_ = nullptr;
  pendingLines_ = pendingBytes_ = 0;
  const TextPos end = End();
  cursor_ = anchor_ = {};
  steps_.clear();
  done_ = 0;
  undoBytes_ = 0;
  ReplaceRange({}, end, Joined(text), nullptr);
  cursor_ = anchor_ = {};
  NotifyCursor();
}

void EditModel::Append(std::string_view utf8) {
  // A break kept inside a line would split it on undo: each break goes in
  // as "\n", which the store cuts lines at.
  std::string newlines;
  if (HasOtherBreak(utf8)) utf8 = newlines = WithNewlines(utf8);
  const bool observed = !changeObservers_.empty();
  TextChange change;
  if (observed) {
    change.from = change.removedEnd = End();
    change.offset = store_.Units();
  }
  // What comes before the first break ends the last line; each break
  // starts a line.
  const std::size_t firstBreak = std::min(utf8.find('\n'), utf8.size());
  if (firstBreak > 0) {
    const std::size_t last = store_.Count() - 1;
    store_.Replace(last, std::string(store_.Line(last)).append(utf8.substr(0, firstBreak)));
  }
  for (std::size_t at = firstBreak; at < utf8.size();) {
    const std::size_t next = std::min(utf8.find('\n', at + 1), utf8.size());
    store_.Append(utf8.substr(at + 1, next - at - 1));
    at = next;
  }
  if (!observed) return;
  change.insertedEnd = End();
  change.insertedUtf8 = utf8;
  change.appended = true;
  for (const auto& observer : changeObservers_)
    observer(change);
}

void EditModel::AppendLine(const QString& line) { Append('\n' + Joined(line)); }

// ---- Cursor and selection

std::pair<TextPos, TextPos> EditModel::Selection() const {
  return {std::min(anchor_, cursor_), std::max(anchor_, cursor_)};
}

QString EditModel::SelectedText() const { return TextBetween(anchor_, cursor_); }

void EditModel::SetCursor(TextPos to, bool keepAnchor) {
  to = Clamp(to);
  if (to == cursor_ && (keepAnchor || anchor_ == cursor_)) return;
  cursor_ = to;
  if (!keepAnchor) anchor_ = to;
  NotifyCursor();
}

void EditModel::Select(TextPos anchor, TextPos cursor) {
  anchor = Clamp(anchor);
  cursor = Clamp(cursor);
  if (anchor == anchor_ && cursor == cursor_) return;
  anchor_ = anchor;
  cursor_ = cursor;
  NotifyCursor();
}

void EditModel::SelectAll() { Select({}, End()); }

void EditModel::NotifyCursor() {
  for (const auto& observer : cursorObservers_)
    observer();
}

// ---- Editing

TextPos EditModel::EndOf(TextPos from, std::string_view joined) {
  const std::size_t lastBreak = joined.rfind('\n');
  if (lastBreak == std::string_view::npos)
    return {from.line, from.column + static_cast<int>(text::Utf16Length(joined))};
  const auto breaks = static_cast<std::size_t>(std::count(joined.begin(), joined.end(), '\n'));
  return {from.line + breaks, static_cast<int>(text::Utf16Length(joined.substr(lastBreak + 1)))};
}

// The text between `a` and `b` as a change tells it: whole up to
// TextChange::kShown bytes, else its head. `removed`, when given, holds it
// already.
QString EditModel::RemovedToTell(TextPos a, TextPos b, const std::string* removed,
                                 std::size_t offset) const {
  if (removed != nullptr && removed->size() <= TextChange::kShown) return FromUtf8(*removed);
  if (removed == nullptr && Utf8Size(a, b) <= TextChange::kShown) return FromUtf8(Utf8String(a, b));
  return TextBetween(a, std::min(b, Clamp(PosAt(offset + TextChange::kHead))));
}

TextPos EditModel::ReplaceRange(TextPos a, TextPos b, std::string_view joined, std::string* removed,
                                bool told) {
  a = Clamp(a);
  b = Clamp(b);
  if (b < a) std::swap(a, b);
  for (const auto& observer : editingObservers_)
    observer();
  const bool observed = !changeObservers_.empty();
  std::string insertedHead; // what a large insertion is told by
  TextChange change;
  change.from = a;
  change.removedEnd = b;
  // The removed text is read only when wanted, straight from the store as
  // UTF-8: it may be millions of lines.
  if (removed != nullptr) *removed = Utf8String(a, b);
  if (observed) {
    change.offset = Offset(a);
    change.removed = RemovedToTell(a, b, removed, change.offset);
    if (told && joined.size() <= TextChange::kShown) change.insertedUtf8 = joined;
  }

  const std::string_view firstLine = store_.Line(a.line);
  std::string head(firstLine.substr(0, ByteAt(firstLine, a.column)));
  const std::string_view lastLine = store_.Line(b.line);
  const std::string tail(lastLine.substr(ByteAt(lastLine, b.column)));
  if (b.line > a.line) store_.EraseRange(a.line + 1, b.line - a.line);
  const std::size_t firstBreak = joined.find('\n');
  TextPos end;
  if (firstBreak == std::string_view::npos) {
    end = {a.line, a.column + static_cast<int>(text::Utf16Length(joined))};
    head.append(joined).append(tail);
    store_.Replace(a.line, head);
  } else {
    // The first line and the last are joined to what was around the range;
    // the lines between go in as they are, many at once, each written once.
    head.append(joined.substr(0, firstBreak));
    store_.Replace(a.line, head);
    const std::size_t lastBreak = joined.rfind('\n');
    std::string last(joined.substr(lastBreak + 1));
    end.column = static_cast<int>(text::Utf16Length(last));
    std::size_t between = 0;
    if (lastBreak > firstBreak)
      between = store_.InsertJoined(a.line + 1,
                                    joined.substr(firstBreak + 1, lastBreak - firstBreak - 1));
    end.line = a.line + between + 1;
    store_.Insert(end.line, last.append(tail));
  }
  change.insertedEnd = end;
  // A large insertion is told by its head, read back from where it went.
  if (observed && told && joined.size() > TextChange::kShown) {
    insertedHead = Utf8String(a, std::min(end, Clamp(PosAt(change.offset + TextChange::kHead))));
    change.insertedUtf8 = insertedHead;
  }

  // Places after the change move with the text.
  auto follow = [&](TextPos& pos) {
    if (pos <= a) return;
    if (pos < b) {
      pos = a;
    } else if (pos.line == b.line) {
      pos = {end.line, end.column + (pos.column - b.column)};
    } else {
      pos.line = pos.line - b.line + end.line;
    }
  };
  follow(cursor_);
  follow(anchor_);
  if (observed)
    for (const auto& observer : changeObservers_)
      observer(change);
  return end;
}

void EditModel::Edit(TextPos a, TextPos b, std::string joined, EditKind kind, bool moveCursor) {
  Finish();
  a = Clamp(a);
  b = Clamp(b);
  if (b < a) std::swap(a, b);
  if (a == b && joined.empty()) return;
  Step step;
  step.from = a;
  step.kind = kind;
  step.cursorBefore = cursor_;
  step.anchorBefore = anchor_;
  step.inserted = std::move(joined);
  // A removal too large for the undo budget is not even read: clearing a
  // full history copies nothing.
  const std::size_t removedBytes = Utf8Size(a, b);
  const bool kept = sizeof(Step) + removedBytes + step.inserted.size() <= kUndoBytes;
  const TextPos end = ReplaceRange(a, b, step.inserted, kept ? &step.removed : nullptr);
  if (moveCursor) cursor_ = anchor_ = end;
  if (kept) {
    Record(std::move(step));
  } else {
    LoseUndo();
  }
  // The allocator keeps what a large deletion freed unless asked to give
  // it back; clearing a long history should make the memory free again.
  if (removedBytes >= kLargeRemoval) malloc_trim(0);
  NotifyCursor();
}

void EditModel::InsertText(const QString& text, EditKind kind) {
  Finish(); // an edit goes where a whole undo would have left the text
  const auto [a, b] = Selection();
  std::string joined = Joined(text);
  // A line break is a step of its own.
  if (joined.find('\n') != std::string::npos) kind = EditKind::Other;
  Edit(a, b, std::move(joined), kind);
}

void EditModel::DeleteSelection() {
  Finish(); // an edit goes where a whole undo would have left the text
  const auto [a, b] = Selection();
  Edit(a, b, {}, EditKind::Other);
}

void EditModel::DeletePreviousCharacter() {
  Finish(); // an edit goes where a whole undo would have left the text
  if (HasSelection()) return DeleteSelection();
  if (cursor_.column == 0) {
    if (cursor_.line == 0) return;
    const TextPos joined{cursor_.line - 1, LineLength(cursor_.line - 1)};
    return Edit(joined, cursor_, {}, EditKind::Other);
  }
  // One UTF-16 unit, or a whole surrogate pair: a combining mark goes alone.
  const QString text = Line(cursor_.line);
  int from = cursor_.column - 1;
  if (from > 0 && text.at(from).isLowSurrogate() && text.at(from - 1).isHighSurrogate()) --from;
  Edit({cursor_.line, from}, cursor_, {}, EditKind::Backspace);
}

void EditModel::DeleteNextCharacter() {
  Finish(); // an edit goes where a whole undo would have left the text
  if (HasSelection()) return DeleteSelection();
  const TextPos next = NextCharacter(cursor_);
  Edit(cursor_, next, {}, next.line == cursor_.line ? EditKind::Delete : EditKind::Other);
}

void EditModel::DeletePreviousWord() {
  Finish(); // an edit goes where a whole undo would have left the text
  if (HasSelection()) return DeleteSelection();
  Edit(PreviousWord(cursor_), cursor_, {}, EditKind::Other);
}

void EditModel::DeleteNextWord() {
  Finish(); // an edit goes where a whole undo would have left the text
  if (HasSelection()) return DeleteSelection();
  Edit(cursor_, NextWord(cursor_), {}, EditKind::Other);
}

void EditModel::Replace(TextPos a, TextPos b, const QString& text) {
  Finish(); // an edit goes where a whole undo would have left the text
  // An edit away from the cursor: the cursor and anchor follow the text.
  Edit(a, b, Joined(text), EditKind::Other, false);
}

// ---- Offsets

std::size_t EditModel::Offset(TextPos pos) const {
  // Exact, even inside a surrogate pair: offsets are in UTF-16 units.
  pos.line = std::min(pos.line, store_.Count() - 1);
  pos.column = std::clamp(pos.column, 0, LineLength(pos.line));
  return store_.UnitsBefore(pos.line) + static_cast<std::size_t>(pos.column);
}

TextPos EditModel::PosAt(std::size_t offset) const {
  const auto [line, before] = store_.LineAtUnit(offset);
  const auto column =
      std::min(offset - std::min(offset, before), static_cast<std::size_t>(LineLength(line)));
  return {line, static_cast<int>(column)};
}

// ---- Observers

void EditModel::OnChange(std::function<void(const TextChange&)> observer) {
  changeObservers_.push_back(std::move(observer));
}

void EditModel::OnCursor(std::function<void()> observer) {
  cursorObservers_.push_back(std::move(observer));
}

void EditModel::OnEditing(std::function<void()> observer) {
  editingObservers_.push_back(std::move(observer));
}

void EditModel::OnUndoLost(std::function<void()> observer) {
  undoLostObservers_.push_back(std::move(observer));
}
