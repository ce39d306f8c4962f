#pragma once
// What both systems' codecs share; the text library's own.

#include <string>
#include <string_view>

namespace text {

// U+FFFD in UTF-8: what an undefined byte, or a zero byte, decodes to.
inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Rewrites every line break of a UTF-8 text as CR LF, and a zero character,
// which would cut the datagram short, as "?".
std::string NormaliseLineBreaks(std::string_view utf8);

} // namespace text
