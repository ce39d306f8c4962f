#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The passage between the program's UTF-8 and the UTF-16 of Windows.
namespace win32 {

// Invalid UTF-8 bytes and lone surrogates become U+FFFD.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// A number as French writes it: groups of three digits apart, with a
// no-break space between them.
std::wstring FrenchNumber(std::uint64_t value);

} // namespace win32
