#include "history/LineStore.h"

#include <text/Utf8Qt.h>

#include <algorithm>
#include <iterator>

namespace {

std::ptrdiff_t Signed(std::size_t value) { return static_cast<std::ptrdiff_t>(value); }

} // namespace

LineStore::LineStore() { Clear(); }

void LineStore::Clear() {
  chunks_.assign(1, Chunk{});
  chunks_[0].ends.push_back(0);
  firstLine_.assign(1, 0);
  count_ = 1;
  units_ = 0;
  textBytes_ = 0;
}

std::pair<std::size_t, std::size_t> LineStore::Locate(std::size_t index) const {
  const auto after = std::upper_bound(firstLine_.begin(), firstLine_.end(), index);
  const auto chunk = static_cast<std::size_t>(after - firstLine_.begin()) - 1;
  return {chunk, index - firstLine_[chunk]};
}

void LineStore::Reindex(std::size_t fromChunk) {
  firstLine_.resize(chunks_.size());
  for (std::size_t c = fromChunk; c < chunks_.size(); ++c)
    firstLine_[c] = c == 0 ? 0 : firstLine_[c - 1] + chunks_[c - 1].ends.size();
  count_ = firstLine_.back() + chunks_.back().ends.size();
}

std::string_view LineStore::Line(std::size_t index) const {
  const auto [c, i] = Locate(std::min(index, count_ - 1));
  return chunks_[c].LineAt(i);
}

void LineStore::Append(std::string_view line) {
  // A chunk is closed at so many lines or so many bytes, whichever comes
  // first, and closing it gives back what it had reserved to grow: the
  // memory held stays close to what is counted.
  const Chunk& open = chunks_.back();
  if (open.ends.size() >= kChunkLines ||
      (!open.text.empty() && open.text.size() + line.size() > kChunkBytes)) {
    chunks_.back().text.shrink_to_fit();
    chunks_.back().ends.shrink_to_fit();
    firstLine_.push_back(count_);
    chunks_.emplace_back();
  }
  Chunk& chunk = chunks_.back();
  chunk.text.append(line);
  chunk.ends.push_back(static_cast<std::uint32_t>(chunk.text.size()));
  textBytes_ += line.size();
  const std::size_t units = text::Utf16Length(line);
  chunk.units += units;
  units_ += units;
  ++count_;
}

void LineStore::Replace(std::size_t index, std::string_view line) {
  const auto [c, i] = Locate(index);
  Chunk& chunk = chunks_[c];
  const std::size_t begin = chunk.Begin(i);
  const std::size_t oldLength = chunk.ends[i] - begin;
  const std::size_t oldUnits = text::Utf16Length(chunk.LineAt(i));
  const std::size_t newUnits = text::Utf16Length(line);
  chunk.units = chunk.units - oldUnits + newUnits;
  units_ = units_ - oldUnits + newUnits;
  chunk.text.replace(begin, oldLength, line);
  textBytes_ = textBytes_ - oldLength + line.size();
  const auto delta = static_cast<std::int64_t>(line.size()) - static_cast<std::int64_t>(oldLength);
  for (std::size_t k = i; k < chunk.ends.size(); ++k)
    chunk.ends[k] = static_cast<std::uint32_t>(static_cast<std::int64_t>(chunk.ends[k]) + delta);
}

void LineStore::Insert(std::size_t index, std::string_view line) { InsertLines(index, {line}); }

void LineStore::SplitIfOvergrown(std::size_t c) {
  if (chunks_[c].ends.size() <= 2 * kChunkLines) return;
  // Cut the chunk into chunks of kChunkLines in one pass: cutting one off
  // at a time would copy the rest again and again (a paste of a million
  // lines would take seconds).
  Chunk& chunk = chunks_[c];
  const std::size_t count = chunk.ends.size();
  std::vector<Chunk> tails;
  tails.reserve(count / kChunkLines);
  std::size_t movedUnits = 0;
  for (std::size_t from = kChunkLines; from < count; from += kChunkLines) {
    const std::size_t to = std::min(count, from + kChunkLines);
    const std::uint32_t begin = chunk.ends[from - 1];
    Chunk tail;
    tail.text.assign(chunk.text, begin, chunk.ends[to - 1] - begin);
    tail.ends.reserve(to - from);
    for (std::size_t k = from; k < to; ++k)
      tail.ends.push_back(chunk.ends[k] - begin);
    tail.units = text::Utf16Length(tail.text);
    movedUnits += tail.units;
    tails.push_back(std::move(tail));
  }
  chunk.text.resize(chunk.ends[kChunkLines - 1]);
  chunk.text.shrink_to_fit();
  chunk.ends.resize(kChunkLines);
  chunk.ends.shrink_to_fit();
  chunk.units -= movedUnits;
  chunks_.insert(chunks_.begin() + Signed(c) + 1, std::make_move_iterator(tails.begin()),
                 std::make_move_iterator(tails.end()));
}

void LineStore::InsertLines(std::size_t index, const std::vector<std::string_view>& lines) {
  if (lines.empty()) return;
  if (index >= count_) {
    for (const std::string_view line : lines)
      Append(line);
    return;
  }
  const auto [c, i] = Locate(index);
  Chunk& chunk = chunks_[c];
  const std::size_t begin = chunk.Begin(i);
  std::string added;
  std::vector<std::uint32_t> ends;
  ends.reserve(lines.size());
  for (const std::string_view line : lines) {
    added.append(line);
    ends.push_back(static_cast<std::uint32_t>(begin + added.size()));
  }
  chunk.text.insert(begin, added);
  textBytes_ += added.size();
  for (std::size_t k = i; k < chunk.ends.size(); ++k)
    chunk.ends[k] += static_cast<std::uint32_t>(added.size());
  chunk.ends.insert(chunk.ends.begin() + Signed(i), ends.begin(), ends.end());
  const std::size_t units = text::Utf16Length(added);
  chunk.units += units;
  units_ += units;
  SplitIfOvergrown(c);
  Reindex(c);
}

void LineStore::SplitAt(std::size_t c, std::size_t at) {
  Chunk& chunk = chunks_[c];
  const std::uint32_t begin = chunk.ends[at - 1];
  Chunk tail;
  tail.text.assign(chunk.text, begin);
  tail.ends.reserve(chunk.ends.size() - at);
  for (std::size_t k = at; k < chunk.ends.size(); ++k)
    tail.ends.push_back(chunk.ends[k] - begin);
  tail.units = text::Utf16Length(tail.text);
  chunk.units -= tail.units;
  chunk.text.resize(begin);
  chunk.text.shrink_to_fit();
  chunk.ends.resize(at);
  chunk.ends.shrink_to_fit();
  chunks_.insert(chunks_.begin() + Signed(c) + 1, std::move(tail));
}

std::size_t LineStore::InsertJoined(std::size_t index, std::string_view joined) {
  std::size_t breaks = 0;
  for (const char c : joined)
    if (c == '\n' && ++breaks > kChunkLines) break;
  if (breaks <= kChunkLines) {
    // A few lines go into the chunk where they belong.
    std::vector<std::string_view> views;
    views.reserve(breaks + 1);
    for (std::size_t from = 0; views.size() <= breaks;) {
      const std::size_t end = std::min(joined.find('\n', from), joined.size());
      views.push_back(joined.substr(from, end - from));
      from = end + 1;
    }
    InsertLines(index, views);
    return views.size();
  }
  // Many lines are cut into chunks of their own in one pass over the text
  // (a line at a time, no string per line), closed at kChunkLines lines or
  // once they hold kChunkBytes, and put in between the chunks around
  // `index`.
  std::vector<Chunk> made;
  std::string text; // the chunk being filled
  std::vector<std::uint32_t> ends;
  text.reserve(kChunkBytes);
  ends.reserve(kChunkLines);
  std::size_t lines = 0;
  std::size_t units = 0;
  const auto close = [&] {
    Chunk chunk;
    chunk.text.assign(text);
    chunk.ends.assign(ends.begin(), ends.end());
    chunk.units = text::Utf16Length(chunk.text);
    units += chunk.units;
    lines += ends.size();
    made.push_back(std::move(chunk));
    text.clear();
    ends.clear();
  };
  const char* const end = joined.data() + joined.size();
  for (const char* from = joined.data();;) {
    const char* lineEnd = from;
    while (lineEnd != end && *lineEnd != '\n')
      ++lineEnd;
    text.append(from, lineEnd);
    ends.push_back(static_cast<std::uint32_t>(text.size()));
    if (lineEnd == end) break;
    from = lineEnd + 1;
    if (ends.size() == kChunkLines || text.size() >= kChunkBytes) close();
  }
  close();
  std::size_t c = chunks_.size();
  if (index >= count_) {
    // The open chunk is closed: what it reserved to grow goes back.
    chunks_.back().text.shrink_to_fit();
    chunks_.back().ends.shrink_to_fit();
  } else {
    const auto [at, i] = Locate(index);
    if (i > 0) SplitAt(at, i);
    c = i > 0 ? at + 1 : at;
  }
  chunks_.insert(chunks_.begin() + Signed(c), std::make_move_iterator(made.begin()),
                 std::make_move_iterator(made.end()));
  textBytes_ += joined.size() - (lines - 1);
  units_ += units;
  Reindex(c == 0 ? 0 : c - 1);
  return lines;
}

void LineStore::Erase(std::size_t index) { EraseRange(index, 1); }

void LineStore::EraseRange(std::size_t first, std::size_t count) {
  if (first >= count_ || count == 0) return;
  count = std::min(count, count_ - first);
  if (count == count_) {
    Clear();
    return;
  }
  const auto [c1, i1] = Locate(first);
  const auto [c2, i2] = Locate(first + count - 1);
  // Cuts lines [from, to) out of one chunk.
  auto cut = [this](Chunk& chunk, std::size_t from, std::size_t to) {
    const std::size_t begin = chunk.Begin(from);
    const std::size_t length = chunk.ends[to - 1] - begin;
    const std::size_t units = text::Utf16Length(std::string_view(chunk.text).substr(begin, length));
    chunk.units -= units;
    units_ -= units;
    chunk.text.erase(begin, length);
    textBytes_ -= length;
    chunk.ends.erase(chunk.ends.begin() + Signed(from), chunk.ends.begin() + Signed(to));
    for (std::size_t k = from; k < chunk.ends.size(); ++k)
      chunk.ends[k] -= static_cast<std::uint32_t>(length);
  };
  if (c1 == c2) {
    cut(chunks_[c1], i1, i2 + 1);
  } else {
    cut(chunks_[c2], 0, i2 + 1);
    cut(chunks_[c1], i1, chunks_[c1].ends.size());
    for (std::size_t c = c1 + 1; c < c2; ++c) {
      units_ -= chunks_[c].units;
      textBytes_ -= chunks_[c].text.size();
    }
    chunks_.erase(chunks_.begin() + Signed(c1) + 1, chunks_.begin() + Signed(c2));
  }
  // Drop the chunks left empty (at most the two ends of the range).
  const std::size_t last = std::min(c1 + 1, chunks_.size() - 1);
  for (std::size_t c = last + 1; c-- > c1;)
    if (chunks_[c].ends.empty()) chunks_.erase(chunks_.begin() + Signed(c));
  Reindex(c1 == 0 ? 0 : c1 - 1);
}

std::size_t LineStore::TextBytes(std::size_t first, std::size_t count) const {
  if (first >= count_ || count == 0) return 0;
  count = std::min(count, count_ - first);
  const auto [c1, i1] = Locate(first);
  const auto [c2, i2] = Locate(first + count - 1);
  if (c1 == c2) return chunks_[c1].ends[i2] - chunks_[c1].Begin(i1);
  std::size_t bytes = chunks_[c1].text.size() - chunks_[c1].Begin(i1) + chunks_[c2].ends[i2];
  for (std::size_t c = c1 + 1; c < c2; ++c)
    bytes += chunks_[c].text.size();
  return bytes;
}

char* LineStore::CopyJoined(std::size_t first, std::size_t count, char* out) const {
  if (first >= count_ || count == 0) return out;
  std::size_t left = std::min(count, count_ - first);
  auto [c, i] = Locate(first);
  for (;; ++c, i = 0) {
    const Chunk& chunk = chunks_[c];
    for (; i < chunk.ends.size(); ++i) {
      const std::string_view line = chunk.LineAt(i);
      out = std::copy(line.begin(), line.end(), out);
      if (--left == 0) return out;
      *out++ = '\n';
    }
  }
}

std::size_t LineStore::Units() const { return units_ + count_ - 1; }

std::size_t LineStore::UnitsBefore(std::size_t line) const {
  line = std::min(line, count_ - 1);
  const auto [c, i] = Locate(line);
  std::size_t units = line; // one per line break before it
  for (std::size_t k = 0; k < c; ++k)
    units += chunks_[k].units;
  const Chunk& chunk = chunks_[c];
  units += text::Utf16Length(std::string_view(chunk.text).substr(0, chunk.Begin(i)));
  return units;
}

std::pair<std::size_t, std::size_t> LineStore::LineAtUnit(std::size_t offset) const {
  std::size_t before = 0;
  for (std::size_t c = 0; c < chunks_.size(); ++c) {
    const Chunk& chunk = chunks_[c];
    const std::size_t span = chunk.units + chunk.ends.size(); // with one break per line
    if (offset >= before + span && c + 1 < chunks_.size()) {
      before += span;
      continue;
    }
    for (std::size_t i = 0; i < chunk.ends.size(); ++i) {
      const std::size_t length = text::Utf16Length(chunk.LineAt(i));
      if (offset <= before + length || i + 1 == chunk.ends.size())
        return {firstLine_[c] + i, before};
      before += length + 1;
    }
  }
  return {count_ - 1, before};
}

std::size_t LineStore::Capacity() const {
  std::size_t bytes =
      chunks_.capacity() * sizeof(Chunk) + firstLine_.capacity() * sizeof(std::size_t);
  for (const Chunk& chunk : chunks_)
    bytes += chunk.text.capacity() + chunk.ends.capacity() * sizeof(std::uint32_t);
  return bytes;
}
