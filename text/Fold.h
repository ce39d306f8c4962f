#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace text {

class FoldTable;

// How a search compares text. By default as French users type: case and
// accents are ignored, so that "ecole" finds "École". Each option makes one
// of them count.
struct FindOptions {
  bool matchCase = false;
  bool matchAccents = false;
  bool operator==(const FindOptions&) const = default;
};

// What a character compares as under `options`, as UTF-8: its canonical
// decomposition (so that "é" and "e" followed by a combining acute are one),
// without its combining marks when accents are ignored (œ, æ, ß, ø, đ, ł
// then compare as oe, ae, ss, o, d, l), each part case-folded when case is
// ignored. Appended to `out`; a mark whose accent is ignored appends nothing.
void AppendFolded(char32_t character, FindOptions options, std::string& out);

// The same for a whole UTF-8 text.
std::string Folded(std::string_view utf8, FindOptions options);

// A match in UTF-8 text: bytes [begin, end).
struct Match {
  std::size_t begin = 0;
  std::size_t end = 0;
  bool operator==(const Match&) const = default;
};

// A text to look for in UTF-8 text, prepared once for many searches. A
// match begins and ends on whole characters: "e" finds the "é" of "école"
// when accents are ignored (with its combining accent, if it is written so)
// and not when they count.
//
// The search first picks the places where a match may begin from the first
// two bytes of what the text compares as, sixteen bytes at a time, and
// compares only there: a pass over a day of history takes milliseconds.
class Needle {
public:
  Needle(std::string_view utf8, FindOptions options);

  [[nodiscard]] bool Empty() const { return folded_.empty(); }
  [[nodiscard]] FindOptions Options() const { return options_; }

  // The first match that begins at or after byte `from`.
  [[nodiscard]] std::optional<Match> FindIn(std::string_view text, std::size_t from = 0) const;
  // The length in bytes of the match that begins at `at`; 0 if none does.
  [[nodiscard]] std::size_t MatchAt(std::string_view text, std::size_t at) const;

private:
  // The bytes one character takes in the text and in the needle.
  struct Step {
    std::size_t text = 0;
    std::size_t needle = 0;
  };
  void MarkBeginnings();
  void SetProbes();
  [[nodiscard]] Step Compare(std::string_view text, std::size_t i, std::size_t matched) const;
  // Whether the character at `at` may begin a match, by its first bytes.
  [[nodiscard]] bool MayBegin(std::string_view text, std::size_t at) const;
  [[nodiscard]] std::optional<Match> TryAt(std::string_view text, std::size_t at) const;

  FindOptions options_;
  const FoldTable* table_;
  std::string folded_;
  // For each character of the Basic Multilingual Plane, whether what it
  // compares as agrees with the beginning of the needle: one bit each.
  std::vector<std::uint64_t> begins_;
  // The first bytes of those characters.
  std::array<bool, 256> leads_{};
  // When they are few (as for a Latin letter), those below the four-byte
  // ones, for the scan to compare against; otherwise it takes every first byte.
  std::array<unsigned char, 3> leadProbes_{};
  bool fewLeads_ = false;
  // Bytes that may begin a match, and bytes that may follow that one.
  std::array<bool, 256> first_{};
  std::array<bool, 256> second_{};
  // The byte values the scan compares against: the first three folded
  // bytes in either case, where they are ASCII.
  std::array<unsigned char, 6> probes_{};
};

} // namespace text
