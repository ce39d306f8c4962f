#include "platform/LineStore.h"

#include <algorithm>

LineStore::LineStore() { Clear(); }

void LineStore::Clear() {
  chunks_.assign(1, Chunk{});
  chunks_[0].ends.push_back(0);
  firstLine_.assign(1, 0);
  count_ = 1;
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
  const Chunk& chunk = chunks_[c];
  return std::string_view(chunk.text).substr(chunk.Begin(i), chunk.ends[i] - chunk.Begin(i));
}

void LineStore::Append(std::string_view line) {
  if (chunks_.back().ends.size() >= kChunkLines) {
    chunks_.back().text.shrink_to_fit();
    chunks_.back().ends.shrink_to_fit();
    firstLine_.push_back(count_);
    chunks_.emplace_back();
  }
  Chunk& chunk = chunks_.back();
  chunk.text.append(line);
  chunk.ends.push_back(static_cast<std::uint32_t>(chunk.text.size()));
  ++count_;
}

void LineStore::Replace(std::size_t index, std::string_view line) {
  const auto [c, i] = Locate(index);
  Chunk& chunk = chunks_[c];
  const std::size_t begin = chunk.Begin(i);
  const std::size_t oldLength = chunk.ends[i] - begin;
  chunk.text.replace(begin, oldLength, line);
  const auto delta = static_cast<std::int64_t>(line.size()) - static_cast<std::int64_t>(oldLength);
  for (std::size_t k = i; k < chunk.ends.size(); ++k)
    chunk.ends[k] = static_cast<std::uint32_t>(static_cast<std::int64_t>(chunk.ends[k]) + delta);
}

void LineStore::Insert(std::size_t index, std::string_view line) {
  if (index >= count_) {
    Append(line);
    return;
  }
  const auto [c, i] = Locate(index);
  Chunk& chunk = chunks_[c];
  const std::size_t begin = chunk.Begin(i);
  chunk.text.insert(begin, line);
  chunk.ends.insert(chunk.ends.begin() + static_cast<std::ptrdiff_t>(i),
                    static_cast<std::uint32_t>(begin));
  for (std::size_t k = i; k < chunk.ends.size(); ++k)
    chunk.ends[k] += static_cast<std::uint32_t>(line.size());
  if (chunk.ends.size() > 2 * kChunkLines) {
    // Split an overgrown chunk in two.
    const std::size_t half = chunk.ends.size() / 2;
    const std::uint32_t cut = chunk.ends[half - 1];
    Chunk tail;
    tail.text = chunk.text.substr(cut);
    for (std::size_t k = half; k < chunk.ends.size(); ++k)
      tail.ends.push_back(chunk.ends[k] - cut);
    chunk.text.resize(cut);
    chunk.ends.resize(half);
    chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(c) + 1, std::move(tail));
  }
  Reindex(c);
}

void LineStore::Erase(std::size_t index) {
  if (count_ == 1) {
    Replace(0, {});
    return;
  }
  const auto [c, i] = Locate(index);
  Chunk& chunk = chunks_[c];
  const std::size_t begin = chunk.Begin(i);
  const std::size_t length = chunk.ends[i] - begin;
  chunk.text.erase(begin, length);
  chunk.ends.erase(chunk.ends.begin() + static_cast<std::ptrdiff_t>(i));
  for (std::size_t k = i; k < chunk.ends.size(); ++k)
    chunk.ends[k] -= static_cast<std::uint32_t>(length);
  if (chunk.ends.empty()) chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(c));
  Reindex(c == 0 ? 0 : c - 1);
}

std::size_t LineStore::Capacity() const {
  std::size_t bytes =
      chunks_.capacity() * sizeof(Chunk) + firstLine_.capacity() * sizeof(std::size_t);
  for (const Chunk& chunk : chunks_)
    bytes += chunk.text.capacity() + chunk.ends.capacity() * sizeof(std::uint32_t);
  return bytes;
}
