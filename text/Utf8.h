#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// ---- The one walk over UTF-8 bytes in the program, and its one decoder.
// Plain C++, no Qt: the same on every system (the passage to Qt's strings
// is in Utf8Qt.h).

// Length of the UTF-8 sequence that starts with `lead`, or 1 for a byte that
// cannot start one (a continuation byte or an invalid lead), so that
// skipping it makes progress.
constexpr std::size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// UTF-16 units of the character a UTF-8 sequence of that length holds: a
// four-byte one is a surrogate pair.
constexpr std::size_t Utf16Units(std::size_t sequenceLength) { return sequenceLength == 4 ? 2 : 1; }

// Walks the characters of UTF-8 text in order: calls step(byte, units) with
// the byte where each starts and the UTF-16 units it takes, until step
// returns false. Returns the byte where the walk stopped.
template <class Step> std::size_t WalkUtf8(std::string_view utf8, Step step) {
  std::size_t i = 0;
  while (i < utf8.size()) {
    const std::size_t length = SequenceLength(static_cast<unsigned char>(utf8[i]));
    if (!step(i, Utf16Units(length))) return i;
    i += std::min(length, utf8.size() - i);
  }
  return i;
}

// UTF-16 length of UTF-8 text.
inline std::size_t Utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  WalkUtf8(utf8, [&](std::size_t, std::size_t each) {
    units += each;
    return true;
  });
  return units;
}

// The first character boundary of UTF-8 text at or after UTF-16 unit
// `unit`, as a count of UTF-16 units (a place between the halves of a
// surrogate pair goes after the pair; past the end, the end) and as a byte.
struct Boundary {
  std::size_t unit = 0;
  std::size_t byte = 0;
};
inline Boundary BoundaryAtUnit(std::string_view utf8, std::size_t unit) {
  std::size_t units = 0;
  const std::size_t byte = WalkUtf8(utf8, [&](std::size_t, std::size_t each) {
    if (units >= unit) return false;
    units += each;
    return true;
  });
  return {units, byte};
}

// One character of UTF-8 text: its code point and the bytes it takes. A
// byte that does not begin a well-formed sequence (a continuation byte, an
// invalid lead, a sequence cut short or broken) is one character, U+FFFD.
struct Utf8Char {
  char32_t character;
  std::size_t length;
};
constexpr Utf8Char DecodeUtf8At(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return {lead, 1};
  const std::size_t length = SequenceLength(lead);
  if (length == 1 || at + length > text.size()) return {0xFFFD, 1};
  char32_t c = lead & (length == 2 ? 0x1FU : length == 3 ? 0x0FU : 0x07U);
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0U) != 0x80) return {0xFFFD, 1};
    c = (c << 6) | (next & 0x3FU);
  }
  return {c, length};
}

// Appends a code point as UTF-8.
inline void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

} // namespace text
