#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace text {

// The one rule for line breaks, everywhere in the program: CR LF, CR, LF,
// and the Unicode line and paragraph separators (U+2028, U+2029).

// The length of the break that starts at `i`, in bytes of UTF-8 or units of
// UTF-16; 0 if none starts there.
std::size_t BreakAt(std::string_view utf8, std::size_t i);
std::size_t BreakAt(std::u16string_view utf16, std::size_t i);

// Cuts a text into the lines it shows as. An empty text is one empty line;
// a text ending in a break ends with an empty line.
std::vector<std::string_view> SplitLines(std::string_view utf8);
std::vector<std::u16string_view> SplitLines(std::u16string_view utf16);

// The first line of a text, and its lines joined by `separator`: a text in
// one line, as a notification or a screen reader takes it.
std::string_view FirstLine(std::string_view utf8);
std::string JoinLines(std::string_view utf8, std::string_view separator);

} // namespace text
