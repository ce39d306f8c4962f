// The wire's code page over Windows' own tables (MultiByteToWideChar and
// WideCharToMultiByte), made into two tables once per codec, so that it
// gives byte for byte what the Linux build gives over iconv:
// - a byte decodes only when Windows defines it and maps it back to the
//   same byte with no best fit (MB_ERR_INVALID_CHARS, WC_NO_BEST_FIT_CHARS);
//   Windows maps the bytes that the code pages leave undefined to C1
//   controls (WINDOWS-1252's 0x81, 0x8D, 0x8F, 0x90, 0x9D) or to the
//   private use area, and those are undefined here as in iconv;
// - a character encodes only to the byte that decodes to it: nothing is
//   best-fitted ("œ" is never "o"), the rest is "?".
#include "text/Codec.h"

#include "text/CodecShared.h"
#include "text/Utf8.h"

#include <windows.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>
#include <stdexcept>
#include <unordered_map>

namespace text {
namespace {

std::string Upper(std::string_view name) {
  std::string upper(name);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper;
}

std::optional<unsigned> Number(std::string_view digits) {
  if (digits.empty() || digits.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return value;
}

// What follows `prefix` in `name`, when `name` begins with it.
std::optional<std::string_view> After(std::string_view name, std::string_view prefix) {
  if (name.substr(0, prefix.size()) != prefix) return std::nullopt;
  return name.substr(prefix.size());
}

bool IsWindowsPage(unsigned page) { return page == 874 || (page >= 1250 && page <= 1258); }

} // namespace

// The Windows code page of an iconv name: WINDOWS-125x and CP125x are
// 125x, ISO-8859-n is 2859n (28603 and 28605 for -13 and -15), CPnnn and
// IBMnnn are nnn (CP850, CP437…), KOI8-R and KOI8-U are 20866 and 21866.
std::optional<unsigned> WindowsCodePage(std::string_view name) {
  const std::string upper = Upper(name);
  for (const std::string_view prefix : {"WINDOWS-", "CP", "IBM", "MS-"})
    if (const auto rest = After(upper, prefix)) return Number(*rest);
  for (const std::string_view prefix : {"ISO-8859-", "ISO8859-", "ISO_8859-"})
    if (const auto rest = After(upper, prefix)) {
      const auto part = Number(*rest);
      if (!part || *part == 0 || *part > 16) return std::nullopt;
      return 28590 + *part;
    }
  if (upper == "KOI8-R") return 20866;
  if (upper == "KOI8-U") return 21866;
  if (upper == "US-ASCII" || upper == "ASCII") return 20127;
  return std::nullopt;
}

struct Codec::Tables {
  unsigned page = 0;
  std::array<char32_t, 256> character{}; // 0: undefined
  std::array<std::string, 256> utf8{};   // what each byte decodes to
  std::unordered_map<char32_t, char> byte;
};

namespace {

std::shared_ptr<const Codec::Tables> MakeTables(const std::string& name) {
  const auto page = WindowsCodePage(name);
  CPINFO info{};
  if (!page || GetCPInfo(*page, &info) == 0 || info.MaxCharSize != 1)
    throw std::runtime_error("Windows ne connaît pas la page de code " + name +
                             " (seules les pages d'un octet par caractère sont prises en charge)");
  auto tables = std::make_shared<Codec::Tables>();
  tables->page = *page;
  for (unsigned b = 1; b < 256; ++b) {
    const char in = static_cast<char>(b);
    wchar_t wide[2] = {};
    const int units = MultiByteToWideChar(*page, MB_ERR_INVALID_CHARS, &in, 1, wide, 2);
    tables->utf8[b] = std::string(kReplacement);
    if (units != 1) continue;
    const char32_t c = wide[0];
    if (c == 0xFFFD || (c >= 0xD800 && c <= 0xDFFF) || (c >= 0xE000 && c <= 0xF8FF)) continue;
    if (b >= 0x80 && c >= 0x80 && c <= 0x9F && IsWindowsPage(*page)) continue;
    // Back to the same byte, with no best fit and no default character.
    char out[4] = {};
    BOOL usedDefault = FALSE;
    const int bytes = WideCharToMultiByte(*page, WC_NO_BEST_FIT_CHARS, wide, 1, out, sizeof out,
                                          nullptr, &usedDefault);
    if (bytes != 1 || usedDefault || out[0] != in) continue;
    tables->character[b] = c;
    tables->utf8[b].clear();
    AppendUtf8(c, tables->utf8[b]);
    tables->byte.emplace(c, in);
  }
  tables->utf8[0] = std::string(kReplacement);
  return tables;
}

} // namespace

Codec::Codec(std::string codePage) : codePage_(std::move(codePage)), tables_(MakeTables(codePage_)) {}

std::string Codec::Encode(std::string_view utf8) const {
  const std::string text = NormaliseLineBreaks(utf8);
  std::string out;
  out.reserve(text.size());
  const std::string_view rest = text;
  for (std::size_t i = 0; i < rest.size();) {
    const Utf8Char one = DecodeUtf8At(rest, i);
    const auto lead = static_cast<unsigned char>(rest[i]);
    // A well-formed character, not overlong, not a surrogate: iconv takes
    // nothing else.
    const bool wellFormed =
        one.length == SequenceLength(lead) &&
        (one.length != 3 || (one.character >= 0x800 && (one.character < 0xD800 || one.character > 0xDFFF))) &&
        (one.length != 4 || (one.character >= 0x10000 && one.character <= 0x10FFFF));
    const auto found = wellFormed ? tables_->byte.find(one.character) : tables_->byte.end();
    if (found != tables_->byte.end()) {
      out += found->second;
    } else {
      // A character the code page lacks, or invalid UTF-8: one "?", the
      // sequence its first byte announces skipped (the rest of the text
      // when it is cut short at the end), as over iconv.
      out += '?';
    }
    i += found != tables_->byte.end() ? one.length : std::min(rest.size() - i, SequenceLength(lead));
  }
  return out;
}

std::string Codec::Decode(std::string_view bytes) const {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  for (const char byte : bytes)
    out += tables_->utf8[static_cast<unsigned char>(byte)];
  return out;
}

} // namespace text
