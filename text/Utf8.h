#pragma once

#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

namespace text {

// ---- The one walk over UTF-8 bytes in the program.

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

// Between the program's UTF-8 strings and Qt's UTF-16 ones.
inline QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

inline std::string ToUtf8(QStringView text) {
  const QByteArray bytes = text.toUtf8();
  return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

inline std::u16string_view View(QStringView text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size())};
}

} // namespace text
