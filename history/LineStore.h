#pragma once

#include <lanchat/BuildConfig.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Many lines of UTF-8 text held compactly: lines are packed into chunks of a
// few hundred, each one string plus the end offset of each line. Appending
// costs the same however many lines there are; an edit touches one chunk,
// and erasing a range of lines drops whole chunks at once. There is always
// at least one line.
//
// Each chunk also counts its text in UTF-16 units, so that a character
// offset into the whole text (what assistive technology speaks in) is found
// by walking chunks rather than lines.
class LineStore {
public:
  LineStore();

  [[nodiscard]] std::size_t Count() const { return count_; }
  [[nodiscard]] std::string_view Line(std::size_t index) const;

  void Append(std::string_view line);
  void Replace(std::size_t index, std::string_view line);
  void Insert(std::size_t index, std::string_view line); // before `index`; Count() appends
  // Inserts the lines before `index`, in order; Count() appends them.
  void InsertLines(std::size_t index, const std::vector<std::string_view>& lines);
  void Erase(std::size_t index); // the last line left is emptied
  // Inserts the lines of `joined` (lines joined by '\n', one more line than
  // breaks) before `index`; Count() appends them. Returns the lines added.
  // Many lines are cut into chunks straight from the text, without a
  // string per line: putting back millions of lines takes a pass over
  // their bytes.
  std::size_t InsertJoined(std::size_t index, std::string_view joined);
  // Erases `count` lines from `first` on; erasing them all leaves one empty line.
  void EraseRange(std::size_t first, std::size_t count);
  void Clear(); // back to one empty line

  // Bytes of the text of `count` lines from `first` on, breaks not counted.
  // Walks chunks, not lines.
  [[nodiscard]] std::size_t TextBytes(std::size_t first, std::size_t count) const;
  // Writes `count` lines from `first` on, joined by '\n', to `out`, which
  // has room for TextBytes(first, count) + count - 1 bytes; returns the end.
  char* CopyJoined(std::size_t first, std::size_t count, char* out) const;

  // UTF-16 units of the whole text, each line break counting one.
  [[nodiscard]] std::size_t Units() const;
  // UTF-16 units before the start of `line`, each line break counting one.
  [[nodiscard]] std::size_t UnitsBefore(std::size_t line) const;
  // The line that holds unit `offset` (a line's break belongs to it), and
  // the units before that line's start. Past the end: the last line.
  [[nodiscard]] std::pair<std::size_t, std::size_t> LineAtUnit(std::size_t offset) const;

  // The text a chunk at a time, for a pass over all of it: the lines of a
  // chunk joined without breaks, the end of each line in that text, and
  // the index of the chunk's first line.
  struct ChunkView {
    std::string_view text;
    std::span<const std::uint32_t> ends;
    std::size_t firstLine = 0;
  };
  [[nodiscard]] std::size_t ChunkCount() const { return chunks_.size(); }
  [[nodiscard]] ChunkView ChunkAt(std::size_t chunk) const {
    return {chunks_[chunk].text, chunks_[chunk].ends, firstLine_[chunk]};
  }
  // The chunk that holds `line` (past the end: the last).
  [[nodiscard]] std::size_t ChunkOf(std::size_t line) const {
    return Locate(std::min(line, count_ - 1)).first;
  }

  // Bytes of memory held, counting what was reserved.
  [[nodiscard]] std::size_t Capacity() const;
  // Bytes counted for the text: the lines' UTF-8 and each line's
  // bookkeeping (lanchat::config::kLineBytes). Kept as it changes.
  [[nodiscard]] std::size_t Bytes() const {
    return textBytes_ + count_ * lanchat::config::kLineBytes;
  }

  static constexpr std::size_t kChunkLines = 512;
  static constexpr std::size_t kChunkBytes = 64 << 10;

private:
  struct Chunk {
    std::string text;
    std::vector<std::uint32_t> ends; // end offset of each line in text
    std::size_t units = 0;           // UTF-16 units of the lines, breaks not counted
    [[nodiscard]] std::size_t Begin(std::size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
    [[nodiscard]] std::string_view LineAt(std::size_t i) const {
      return std::string_view(text).substr(Begin(i), ends[i] - Begin(i));
    }
  };
  [[nodiscard]] std::pair<std::size_t, std::size_t> Locate(std::size_t index) const;
  void Reindex(std::size_t fromChunk);
  void SplitIfOvergrown(std::size_t chunk);
  // Cuts a chunk in two before its line `at` (0 < at < its lines).
  void SplitAt(std::size_t chunk, std::size_t at);

  std::vector<Chunk> chunks_;
  std::vector<std::size_t> firstLine_; // index of each chunk's first line
  std::size_t count_ = 0;
  std::size_t units_ = 0; // UTF-16 units of all lines, breaks not counted
  std::size_t textBytes_ = 0;
};
