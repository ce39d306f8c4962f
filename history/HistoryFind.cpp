#include "history/HistoryFind.h"

#include <algorithm>

namespace {

// The byte where line `index` of a chunk begins in the chunk's text.
std::size_t LineBegin(const LineStore::ChunkView& chunk, std::size_t index) {
  return index == 0 ? 0 : chunk.ends[index - 1];
}

// Calls visit(found) for each match in chunk `c` from byte `from` of its
// text on, in order, until visit returns false; returns false then.
template <class Visit>
bool VisitChunk(const LineStore& lines, const text::Needle& needle, std::size_t c, std::size_t from,
                Visit visit) {
  const LineStore::ChunkView chunk = lines.ChunkAt(c);
  std::size_t at = from;
  std::size_t index = 0;
  while (auto match = needle.FindIn(chunk.text, at)) {
    // The line that holds the match's first byte: the first that ends
    // after it. Matches come in order, and most lines are short.
    while (chunk.ends[index] <= match->begin)
      ++index;
    const std::size_t lineEnd = chunk.ends[index];
    if (match->end > lineEnd) {
      // Marks taken in from the next line's start: the match within its own line, if any.
      const std::size_t length = needle.MatchAt(chunk.text.substr(0, lineEnd), match->begin);
      if (length == 0) {
        at = match->begin + 1;
        continue;
      }
      match->end = match->begin + length;
    }
    const std::size_t begin = LineBegin(chunk, index);
    if (!visit(Found{chunk.firstLine + index, match->begin - begin, match->end - begin}))
      return false;
    at = match->end;
  }
  return true;
}

// The byte of chunk `c`'s text where (line, byte) lies.
std::size_t ChunkOffset(const LineStore& lines, std::size_t c, std::size_t line, std::size_t byte) {
  const LineStore::ChunkView chunk = lines.ChunkAt(c);
  const std::size_t index = std::min(line - chunk.firstLine, chunk.ends.size() - 1);
  const std::size_t begin = LineBegin(chunk, index);
  return std::min(begin + byte, static_cast<std::size_t>(chunk.ends[index]));
}

bool Before(const Found& found, std::size_t line, std::size_t byte) {
  return found.line < line || (found.line == line && found.begin < byte);
}

} // namespace

std::optional<Found> FindNext(const LineStore& lines, const text::Needle& needle, std::size_t line,
                              std::size_t byte) {
  if (needle.Empty() || line >= lines.Count()) return std::nullopt;
  std::optional<Found> result;
  const auto take = [&](const Found& found) {
    result = found;
    return false;
  };
  const std::size_t first = lines.ChunkOf(line);
  for (std::size_t c = first; c < lines.ChunkCount() && !result; ++c)
    VisitChunk(lines, needle, c, c == first ? ChunkOffset(lines, c, line, byte) : 0, take);
  return result;
}

std::optional<Found> FindPrevious(const LineStore& lines, const text::Needle& needle,
                                  std::size_t line, std::size_t byte) {
  if (needle.Empty()) return std::nullopt;
  if (line >= lines.Count()) {
    line = lines.Count() - 1;
    byte = lines.Line(line).size() + 1;
  }
  std::optional<Found> result;
  const auto keep = [&](const Found& found) {
    if (!Before(found, line, byte)) return false;
    result = found;
    return true;
  };
  for (std::size_t c = lines.ChunkOf(line) + 1; c-- > 0 && !result;)
    VisitChunk(lines, needle, c, 0, keep);
  return result;
}

void CountInChunk(const LineStore& lines, const text::Needle& needle, std::size_t chunk,
                  std::size_t line, std::size_t byte, Tally& tally) {
  if (needle.Empty()) return;
  VisitChunk(lines, needle, chunk, 0, [&](const Found& found) {
    if (Before(found, line, byte)) ++tally.before;
    ++tally.total;
    return true;
  });
}

Tally CountMatches(const LineStore& lines, const text::Needle& needle, std::size_t line,
                   std::size_t byte) {
  Tally tally;
  for (std::size_t c = 0; c < lines.ChunkCount(); ++c)
    CountInChunk(lines, needle, c, line, byte, tally);
  return tally;
}
