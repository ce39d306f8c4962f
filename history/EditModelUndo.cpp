// The undo stack of EditModel: steps recorded and merged, within their
// budget, and put back (a large text a piece at a time).
#include "history/EditModel.h"

#include <text/Utf8Qt.h>

#include <algorithm>
#include <malloc.h>

namespace {

// The bytes of the next piece of a text put back: up to the break that
// ends kPieceLines lines or passes kPieceBytes bytes, that break included;
// the whole text when no such break is left.
std::size_t PieceLength(std::string_view text) {
  std::size_t lines = 0;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n' && (++lines >= EditModel::kPieceLines || i + 1 >= EditModel::kPieceBytes))
      return i + 1;
  return text.size();
}

std::size_t Breaks(std::string_view text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

} // namespace

// Adds an edit to the last step when it goes on from it, as a text box
// merges typing, Backspace and Delete runs; false when it starts a step.
bool EditModel::MergeInto(const Step& step) {
  if (done_ == 0 || !mergeable_ || step.kind == EditKind::Other) return false;
  Step& last = steps_.back();
  if (last.kind != step.kind) return false;
  switch (step.kind) {
  case EditKind::Typing:
    // Typing goes on from where the last typed text ends; the first
    // character may have replaced a selection, as in a text box.
    if (step.removed.empty() && EndOf(last.from, last.inserted) == step.from) {
      last.inserted += step.inserted;
      return true;
    }
    break;
  case EditKind::Backspace:
    if (step.inserted.empty() && EndOf(step.from, step.removed) == last.from) {
      last.from = step.from;
      last.removed = step.removed + last.removed;
      return true;
    }
    break;
  case EditKind::Delete:
    if (step.inserted.empty() && step.from == last.from) {
      last.removed += step.removed;
      return true;
    }
    break;
  case EditKind::Other: break;
  }
  return false;
}

void EditModel::Record(Step step) {
  // Counted at what they hold: no room reserved beyond the text.
  step.removed.shrink_to_fit();
  step.inserted.shrink_to_fit();
  while (steps_.size() > done_) {
    undoBytes_ -= steps_.back().Bytes();
    steps_.pop_back();
  }
  const std::size_t lastBytes = done_ > 0 ? steps_.back().Bytes() : 0;
  if (MergeInto(step)) {
    undoBytes_ = undoBytes_ - lastBytes + steps_.back().Bytes();
  } else {
    undoBytes_ += step.Bytes();
    steps_.push_back(std::move(step));
  }
  if (steps_.back().Bytes() > kUndoBytes) return LoseUndo();
  while (steps_.size() > kUndoSteps || undoBytes_ > kUndoBytes)
    DropOldestStep();
  done_ = steps_.size();
  mergeable_ = true;
}

void EditModel::LoseUndo() {
  // Too large to keep: neither it nor what came before can be undone.
  steps_.clear();
  done_ = 0;
  undoBytes_ = 0;
  mergeable_ = false;
  for (const auto& observer : undoLostObservers_)
    observer();
}

void EditModel::DropOldestStep() {
  undoBytes_ -= steps_.front().Bytes();
  steps_.erase(steps_.begin());
}

void EditModel::ApplyStep(const Step& step, bool undo) {
  // UTF-8 straight into the store: putting back millions of lines makes no
  // string per line. A large text goes back in pieces (see Continue).
  const std::string& now = undo ? step.inserted : step.removed;
  const std::string& then = undo ? step.removed : step.inserted;
  const std::string_view first = std::string_view(then).substr(0, PieceLength(then));
  const bool whole = first.size() == then.size();
  const TextPos end = ReplaceRange(step.from, EndOf(step.from, now), first, nullptr, whole);
  mergeable_ = false;
  if (now.size() >= kLargeRemoval) malloc_trim(0);
  if (!whole) {
    pending_ = &then;
    pendingDone_ = first.size();
    pendingAt_ = end;
    const std::string_view rest = std::string_view(then).substr(first.size());
    pendingLines_ = Breaks(rest);
    pendingBytes_ = rest.size() - pendingLines_ + pendingLines_ * lanchat::config::kLineBytes;
    return;
  }
  // The cursor lands after the text put back, with nothing selected.
  cursor_ = anchor_ = end;
  NotifyCursor();
}

bool EditModel::Continue() {
  if (pending_ == nullptr) return false;
  const std::string_view rest = std::string_view(*pending_).substr(pendingDone_);
  const std::string_view piece = rest.substr(0, PieceLength(rest));
  const std::size_t breaks = Breaks(piece);
  pendingLines_ -= breaks;
  pendingBytes_ -= piece.size() - breaks + breaks * lanchat::config::kLineBytes;
  pendingDone_ += piece.size();
  // Each piece but the last ends with its break: the next goes at the
  // start of the line that holds what followed the place put back at.
  pendingAt_ = ReplaceRange(pendingAt_, pendingAt_, piece, nullptr, false);
  if (pendingDone_ < pending_->size()) return true;
  pending_ = nullptr;
  cursor_ = anchor_ = pendingAt_;
  NotifyCursor();
  return false;
}

void EditModel::Finish() {
  while (Continue()) {
  }
}

// Whether undoing (or redoing) a step keeps the text within its capacity
// and budget: text put back may have been made room for since.
bool EditModel::Fits(const Step& step, bool undo) const {
  const std::string& back = undo ? step.removed : step.inserted;
  const std::string& away = undo ? step.inserted : step.removed;
  const auto breaks = [](const std::string& text) {
    return static_cast<long long>(std::count(text.begin(), text.end(), '\n'));
  };
  const long long lines = breaks(back) - breaks(away);
  const long long bytes = static_cast<long long>(back.size()) -
                          static_cast<long long>(away.size()) +
                          lines * static_cast<long long>(lanchat::config::kLineBytes);
  if (lines <= 0 && bytes <= 0) return true;
  return static_cast<long long>(store_.Count()) + lines <= static_cast<long long>(capacity_) &&
         static_cast<long long>(store_.Bytes()) + bytes <= static_cast<long long>(budget_);
}

void EditModel::Undo() {
  Finish();
  if (!CanUndo()) return;
  --done_;
  ApplyStep(steps_[done_], true);
}

void EditModel::Redo() {
  Finish();
  if (!CanRedo()) return;
  ApplyStep(steps_[done_], false);
  ++done_;
}
