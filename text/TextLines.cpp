#include "text/TextLines.h"

namespace text {

namespace {

constexpr std::string_view kLineSeparator = "\xE2\x80\xA8";      // U+2028
constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9"; // U+2029

template <class Char> std::size_t CrLf(std::basic_string_view<Char> text, std::size_t i) {
  if (text[i] == Char('\r')) return i + 1 < text.size() && text[i + 1] == Char('\n') ? 2 : 1;
  return text[i] == Char('\n') ? 1 : 0;
}

template <class Char>
std::vector<std::basic_string_view<Char>> Split(std::basic_string_view<Char> text) {
  std::vector<std::basic_string_view<Char>> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = BreakAt(text, i);
    if (length == 0) {
      ++i;
      continue;
    }
    lines.push_back(text.substr(start, i - start));
    i += length;
    start = i;
  }
  lines.push_back(text.substr(start));
  return lines;
}

} // namespace

std::size_t BreakAt(std::string_view utf8, std::size_t i) {
  if (i >= utf8.size()) return 0;
  if (const std::size_t length = CrLf(utf8, i); length > 0) return length;
  const std::string_view three = utf8.substr(i, 3);
  return three == kLineSeparator || three == kParagraphSeparator ? 3 : 0;
}

std::size_t BreakAt(std::u16string_view utf16, std::size_t i) {
  if (i >= utf16.size()) return 0;
  if (const std::size_t length = CrLf(utf16, i); length > 0) return length;
  return utf16[i] == u'\u2028' || utf16[i] == u'\u2029' ? 1 : 0;
}

std::vector<std::string_view> SplitLines(std::string_view utf8) { return Split(utf8); }
std::vector<std::u16string_view> SplitLines(std::u16string_view utf16) { return Split(utf16); }

std::string_view FirstLine(std::string_view utf8) {
  for (std::size_t i = 0; i < utf8.size(); ++i)
    if (BreakAt(utf8, i) > 0) return utf8.substr(0, i);
  return utf8;
}

std::string JoinLines(std::string_view utf8, std::string_view separator) {
  std::string joined;
  joined.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    if (const std::size_t length = BreakAt(utf8, i); length > 0) {
      joined += separator;
      i += length;
    } else {
      joined += utf8[i++];
    }
  }
  return joined;
}

} // namespace text
