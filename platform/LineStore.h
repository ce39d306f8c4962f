#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Many lines of UTF-8 text held compactly: lines are packed into chunks of a
// few hundred, each one string plus the end offset of each line. Appending
// costs the same however many lines there are; an edit touches one chunk.
// There is always at least one line.
class LineStore {
public:
  LineStore();

  [[nodiscard]] std::size_t Count() const { return count_; }
  [[nodiscard]] std::string_view Line(std::size_t index) const;

  void Append(std::string_view line);
  void Replace(std::size_t index, std::string_view line);
  void Insert(std::size_t index, std::string_view line); // before `index`; Count() appends
  void Erase(std::size_t index);                         // the last line left is emptied
  void Clear();                                          // back to one empty line

  // Bytes of memory held, counting what was reserved.
  [[nodiscard]] std::size_t Capacity() const;

  static constexpr std::size_t kChunkLines = 512;

private:
  struct Chunk {
    std::string text;
    std::vector<std::uint32_t> ends; // end offset of each line in text
    [[nodiscard]] std::size_t Begin(std::size_t i) const { return i == 0 ? 0 : ends[i - 1]; }
  };
  std::pair<std::size_t, std::size_t> Locate(std::size_t index) const;
  void Reindex(std::size_t fromChunk);

  std::vector<Chunk> chunks_;
  std::vector<std::size_t> firstLine_; // index of each chunk's first line
  std::size_t count_ = 0;
};
