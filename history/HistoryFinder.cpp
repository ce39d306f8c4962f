#include "history/HistoryFinder.h"

#include <text/Utf8Qt.h>

#include <QElapsedTimer>

HistoryFinder::HistoryFinder(EditModel& model, QObject* parent) : QObject(parent), model_(model) {
  recount_.setSingleShot(true);
  recount_.setInterval(kRecountEvery);
  connect(&recount_, &QTimer::timeout, this, &HistoryFinder::Recount);
  slice_.setSingleShot(true);
  slice_.setInterval(0);
  connect(&slice_, &QTimer::timeout, this, &HistoryFinder::CountSome);
  model_.OnChange([this](const TextChange& change) {
    if (!needle_) return;
    // An edit may have moved or removed the match; an arrival at the end
    // leaves it where it is.
    if (!change.appended) current_.reset();
    if (!recount_.isActive()) recount_.start();
  });
}

void HistoryFinder::SetText(const QString& text) {
  if (text == text_) return;
  text_ = text;
  if (text_.isEmpty()) {
    needle_.reset();
    current_.reset();
    tally_ = {};
    slice_.stop();
    emit resultChanged(Result());
    return;
  }
  needle_.emplace(text::ToUtf8(text_), options_);
  Search(From::Here);
}

void HistoryFinder::SetOptions(text::FindOptions options) {
  if (options == options_) return;
  options_ = options;
  if (text_.isEmpty()) return;
  needle_.emplace(text::ToUtf8(text_), options_);
  Search(From::Here);
}

void HistoryFinder::Next() { Search(From::After); }
void HistoryFinder::Previous() { Search(From::Before); }

QString HistoryFinder::Result() const {
  if (!needle_) return {};
  if (!current_ || tally_.total == 0) return QStringLiteral("Aucun résultat");
  return QStringLiteral("%1 sur %2").arg(tally_.before + 1).arg(tally_.total);
}

TextPos HistoryFinder::ToPos(std::size_t line, std::size_t byte) const {
  return {line, static_cast<int>(text::Utf16Length(model_.Utf8Line(line).substr(0, byte)))};
}

std::size_t HistoryFinder::ToByte(TextPos pos) const {
  return text::BoundaryAtUnit(model_.Utf8Line(pos.line), static_cast<std::size_t>(pos.column)).byte;
}

// From here: where the last match began, or else where the selection or
// the cursor is. After: past the last match. Before: before it. Each goes
// round the end of the history once.
void HistoryFinder::Search(From from) {
  if (!needle_) return;
  const LineStore& lines = model_.Store();
  std::size_t line = 0;
  std::size_t byte = 0;
  if (current_) {
    line = current_->line;
    byte = from == From::After ? current_->end : current_->begin;
  } else {
    const TextPos start = model_.Selection().first;
    line = start.line;
    byte = ToByte(start);
  }
  std::optional<Found> found;
  if (from == From::Before) {
    found = FindPrevious(lines, *needle_, line, byte);
    if (!found) found = FindPrevious(lines, *needle_, lines.Count(), 0);
  } else {
    found = FindNext(lines, *needle_, line, byte);
    if (!found) found = FindNext(lines, *needle_, 0, 0);
  }
  current_ = found;
  if (found) Select(*found);
  Recount();
}

void HistoryFinder::Select(const Found& found) {
  model_.Select(ToPos(found.line, found.begin), ToPos(found.line, found.end));
  emit matchSelected();
}

void HistoryFinder::Recount() {
  recount_.stop();
  if (!needle_) return;
  if (!current_) {
    // The match was edited away: the one nearest where it was, if any.
    const TextPos start = model_.Selection().first;
    current_ = FindNext(model_.Store(), *needle_, start.line, ToByte(start));
  }
  counting_ = {};
  nextChunk_ = 0;
  CountSome();
}

void HistoryFinder::CountSome() {
  if (!needle_) return;
  const LineStore& lines = model_.Store();
  const std::size_t line = current_ ? current_->line : 0;
  const std::size_t byte = current_ ? current_->begin : 0;
  QElapsedTimer slice;
  slice.start();
  while (nextChunk_ < lines.ChunkCount() && slice.elapsed() < kCountSlice)
    CountInChunk(lines, *needle_, nextChunk_++, line, byte, counting_);
  if (nextChunk_ < lines.ChunkCount()) {
    slice_.start();
    return;
  }
  tally_ = current_ ? counting_ : Tally{};
  emit resultChanged(Result());
}
