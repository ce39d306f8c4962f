#include "text/Fold.h"

#include <QChar>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace text {
namespace {

void AppendUtf8(char32_t c, std::string& out) {
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

// One character of UTF-8 text: its code point and its length. A byte that
// does not begin a well-formed sequence is one character, U+FFFD.
struct Decoded {
  char32_t character;
  std::size_t length;
};
Decoded Decode(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t c = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    c = lead & 0x1FU;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    c = lead & 0x0FU;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    c = lead & 0x07U;
  } else {
    return {0xFFFD, 1};
  }
  if (at + length > text.size()) return {0xFFFD, 1};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0U) != 0x80) return {0xFFFD, 1};
    c = (c << 6) | (byte(at + i) & 0x3FU);
  }
  return {c, length};
}

bool IsMark(char32_t c) {
  const auto category = QChar::category(c);
  return category == QChar::Mark_NonSpacing || category == QChar::Mark_Enclosing;
}

void Decompose(char32_t c, std::u32string& out) {
  if (QChar::decompositionTag(c) == QChar::Canonical) {
    for (const char32_t part : QChar::decomposition(c).toUcs4())
      Decompose(part, out);
    return;
  }
  out.push_back(c);
}

// Letters that carry no combining accent but that French readers treat as
// two letters, or as a letter with a stroke.
std::string_view WithoutAccent(char32_t c) {
  switch (c) {
  case U'œ': return "oe";
  case U'Œ': return "OE";
  case U'æ': return "ae";
  case U'Æ': return "AE";
  case U'ß': return "ss";
  case U'ẞ': return "SS";
  case U'ø': return "o";
  case U'Ø': return "O";
  case U'đ': return "d";
  case U'Đ': return "D";
  case U'ł': return "l";
  case U'Ł': return "L";
  default: return {};
  }
}

void ComputeFolded(char32_t c, FindOptions options, std::string& out) {
  if (!options.matchAccents) {
    if (const std::string_view plain = WithoutAccent(c); !plain.empty()) {
      for (const char letter : plain)
        out.push_back(options.matchCase ? letter
                                        : static_cast<char>(QChar::toLower(char32_t(letter))));
      return;
    }
  }
  std::u32string parts;
  Decompose(c, parts);
  for (char32_t part : parts) {
    if (!options.matchAccents && IsMark(part)) continue;
    if (!options.matchCase) part = QChar::toCaseFolded(part);
    AppendUtf8(part, out);
  }
}

// Room for what one character compares as.
struct Scratch {
  std::array<char, 32> bytes; // filled before it is read
  std::size_t size = 0;
};

} // namespace

// What each character of the Basic Multilingual Plane compares as, worked
// out once per set of options (about 140 KiB each): an index into a pool of
// folded texts, 0 where the character compares as itself. Hangul syllables
// compare as themselves; their jamo are not looked for apart.
class FoldTable {
public:
  explicit FoldTable(FindOptions options) : options_(options) {
    entries_.push_back({0, 0});
    std::string folded;
    std::string itself;
    for (char32_t c = 0; c < 0x10000; ++c) {
      if ((c >= 0xD800 && c <= 0xDFFF) || (c >= 0xAC00 && c <= 0xD7A3)) continue;
      folded.clear();
      itself.clear();
      ComputeFolded(c, options, folded);
      AppendUtf8(c, itself);
      if (folded == itself) continue;
      changed_.push_back(c);
      index_[c] = static_cast<std::uint16_t>(entries_.size());
      entries_.push_back(
          {static_cast<std::uint32_t>(pool_.size()), static_cast<std::uint32_t>(folded.size())});
      pool_ += folded;
    }
  }

  // What `c` compares as; `scratch` holds it when the table does not.
  std::string_view Fold(char32_t c, Scratch& scratch) const {
    if (c < 0x10000) {
      if (const std::uint16_t i = index_[c]; i != 0)
        return std::string_view(pool_).substr(entries_[i].offset, entries_[i].size);
    }
    std::string folded;
    if (c < 0x10000) {
      AppendUtf8(c, folded);
    } else {
      ComputeFolded(c, options_, folded);
    }
    scratch.size = std::min(folded.size(), scratch.bytes.size());
    std::copy_n(folded.begin(), scratch.size, scratch.bytes.begin());
    return {scratch.bytes.data(), scratch.size};
  }

  // The characters that compare as something other than themselves.
  [[nodiscard]] const std::vector<char32_t>& Changed() const { return changed_; }

private:
  struct Entry {
    std::uint32_t offset;
    std::uint32_t size;
  };
  FindOptions options_;
  std::vector<std::uint16_t> index_ = std::vector<std::uint16_t>(0x10000);
  std::vector<Entry> entries_;
  std::vector<char32_t> changed_;
  std::string pool_;
};

namespace {

const FoldTable& TableFor(FindOptions options) {
  // Built on first use, one per set of options that is used.
  switch ((options.matchCase ? 2 : 0) + (options.matchAccents ? 1 : 0)) {
  case 0: {
    static const FoldTable table(FindOptions{false, false});
    return table;
  }
  case 1: {
    static const FoldTable table(FindOptions{false, true});
    return table;
  }
  case 2: {
    static const FoldTable table(FindOptions{true, false});
    return table;
  }
  default: {
    static const FoldTable table(FindOptions{true, true});
    return table;
  }
  }
}

bool IsAsciiLetter(unsigned char b) { return (b | 0x20U) >= 'a' && (b | 0x20U) <= 'z'; }

} // namespace

void AppendFolded(char32_t character, FindOptions options, std::string& out) {
  if (character >= 0x10000) {
    ComputeFolded(character, options, out);
    return;
  }
  Scratch scratch;
  out += TableFor(options).Fold(character, scratch);
}

std::string Folded(std::string_view utf8, FindOptions options) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const Decoded one = Decode(utf8, i);
    AppendFolded(one.character, options, out);
    i += one.length;
  }
  return out;
}

Needle::Needle(std::string_view utf8, FindOptions options)
    : options_(options), table_(&TableFor(options)), folded_(Folded(utf8, options)) {
  if (folded_.empty()) return;
  // The characters of several bytes that may begin a match: those that
  // compare as something else that agrees with the needle's beginning, and
  // the needle's own first character where it compares as itself.
  begins_.assign(0x10000 / 64, 0);
  const auto mayBegin = [&](char32_t c) {
    if (c < 0x80 || c >= 0x10000) return;
    begins_[c / 64] |= std::uint64_t{1} << (c % 64);
    std::string bytes;
    AppendUtf8(c, bytes);
    leads_[static_cast<unsigned char>(bytes[0])] = true;
  };
  Scratch scratch;
  for (const char32_t c : table_->Changed()) {
    const std::string_view folded = table_->Fold(c, scratch);
    const std::size_t common = std::min(folded.size(), folded_.size());
    if (!folded.empty() && folded.compare(0, common, folded_, 0, common) == 0) mayBegin(c);
  }
  const Decoded first = Decode(folded_, 0);
  if (first.length > 1 || first.character >= 0x80) mayBegin(first.character);
  std::fill(leads_.begin() + 0xF0, leads_.end(), true); // beyond the plane: compared
  std::size_t few = 0;
  for (unsigned lead = 0xC0; lead < 0xF0; ++lead) {
    if (!leads_[lead]) continue;
    if (few == leadProbes_.size()) {
      few = leadProbes_.size() + 1;
      break;
    }
    leadProbes_[few++] = static_cast<unsigned char>(lead);
  }
  fewLeads_ = few <= leadProbes_.size();
  for (std::size_t i = few; fewLeads_ && i < leadProbes_.size(); ++i)
    leadProbes_[i] = few == 0 ? 0xF0 : leadProbes_[0];
  // Where a match begins, the text holds the first folded byte itself (in
  // either case when case is ignored) or a character of several bytes that
  // folds to it; the byte after is the second one likewise, or any byte of
  // a character of several bytes (a continuation, or a mark to be dropped).
  const auto allow = [&](std::array<bool, 256>& set, unsigned char folded, unsigned char from) {
    std::fill(set.begin() + from, set.end(), true);
    if (folded >= 0x80) return;
    set[folded] = true;
    if (!options_.matchCase && IsAsciiLetter(folded)) set[folded ^ 0x20U] = true;
  };
  const auto f0 = static_cast<unsigned char>(folded_[0]);
  allow(first_, f0, 0xC0);
  probes_[0] = f0 < 0x80 ? f0 : 0xC0;
  probes_[1] = f0 < 0x80 && !options_.matchCase && IsAsciiLetter(f0) ? f0 ^ 0x20U : probes_[0];
  if (folded_.size() < 2) {
    second_.fill(true);
    probes_[2] = probes_[3] = probes_[4] = probes_[5] = 0x80;
    return;
  }
  const auto f1 = static_cast<unsigned char>(folded_[1]);
  allow(second_, f1, 0x80);
  probes_[2] = f1 < 0x80 ? f1 : 0x80;
  probes_[3] = f1 < 0x80 && !options_.matchCase && IsAsciiLetter(f1) ? f1 ^ 0x20U : probes_[2];
  const auto f2 = static_cast<unsigned char>(folded_.size() > 2 ? folded_[2] : 0x80);
  probes_[4] = f2 < 0x80 ? f2 : 0x80;
  probes_[5] = f2 < 0x80 && !options_.matchCase && IsAsciiLetter(f2) ? f2 ^ 0x20U : probes_[4];
}

std::size_t Needle::MatchAt(std::string_view text, std::size_t at) const {
  if (folded_.empty() || at >= text.size()) return 0;
  const FoldTable& table = *table_;
  Scratch scratch;
  std::size_t i = at;
  std::size_t matched = 0;
  while (matched < folded_.size()) {
    if (i >= text.size()) return 0;
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      const char folded = options_.matchCase
                              ? static_cast<char>(byte)
                              : static_cast<char>(IsAsciiLetter(byte) ? byte | 0x20U : byte);
      if (folded != folded_[matched]) return 0;
      ++matched;
      ++i;
      continue;
    }
    const Decoded one = Decode(text, i);
    const std::string_view folded = table.Fold(one.character, scratch);
    if (folded.empty()) {
      if (matched == 0) return 0; // a match begins on a character of its own
    } else if (folded.size() > folded_.size() - matched ||
               folded_.compare(matched, folded.size(), folded) != 0) {
      return 0;
    }
    matched += folded.size();
    i += one.length;
  }
  // Marks that follow belong to the last character: taken in when accents
  // are ignored; when they count, "e" is not the "e" of "e" + acute.
  while (i < text.size() && static_cast<unsigned char>(text[i]) >= 0x80) {
    const Decoded one = Decode(text, i);
    if (!IsMark(one.character)) break;
    if (options_.matchAccents) return 0;
    i += one.length;
  }
  return i - at;
}

bool Needle::MayBegin(std::string_view text, std::size_t at) const {
  const Decoded one = Decode(text, at);
  if (one.character >= 0x10000) return true;
  return ((begins_[one.character / 64] >> (one.character % 64)) & 1U) != 0;
}

std::optional<Match> Needle::FindIn(std::string_view text, std::size_t from) const {
  if (folded_.empty()) return std::nullopt;
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = from;
  const auto tryAt = [&](std::size_t at) -> std::optional<Match> {
    if (data[at] >= 0x80 && (!leads_[data[at]] || !MayBegin(text, at))) return std::nullopt;
    if (const std::size_t length = MatchAt(text, at); length != 0) return Match{at, at + length};
    return std::nullopt;
  };
#if defined(__SSE2__)
  const __m128i p0 = _mm_set1_epi8(static_cast<char>(probes_[0]));
  const __m128i p1 = _mm_set1_epi8(static_cast<char>(probes_[1]));
  const __m128i p2 = _mm_set1_epi8(static_cast<char>(probes_[2]));
  const __m128i p3 = _mm_set1_epi8(static_cast<char>(probes_[3]));
  const __m128i leadBits = _mm_set1_epi8(static_cast<char>(0xC0));
  const __m128i l0 = _mm_set1_epi8(static_cast<char>(leadProbes_[0]));
  const __m128i l1 = _mm_set1_epi8(static_cast<char>(leadProbes_[1]));
  const __m128i l2 = _mm_set1_epi8(static_cast<char>(leadProbes_[2]));
  const __m128i fourBits = _mm_set1_epi8(static_cast<char>(0xF8));
  const __m128i four = _mm_set1_epi8(static_cast<char>(0xF0));
  const __m128i p4 = _mm_set1_epi8(static_cast<char>(probes_[4]));
  const __m128i p5 = _mm_set1_epi8(static_cast<char>(probes_[5]));
  const bool oneByte = folded_.size() < 2;
  const bool twoBytes = folded_.size() < 3;
  for (; i + 18 <= size; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 1));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + i + 2));
    const __m128i lead =
        fewLeads_ ? _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, l0), _mm_cmpeq_epi8(a, l1)),
                                 _mm_or_si128(_mm_cmpeq_epi8(a, l2),
                                              _mm_cmpeq_epi8(_mm_and_si128(a, fourBits), four)))
                  : _mm_cmpeq_epi8(_mm_and_si128(a, leadBits), leadBits);
    auto mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, p0), _mm_cmpeq_epi8(a, p1)), lead)));
    if (mask == 0) continue;
    if (!oneByte)
      mask &= static_cast<unsigned>(_mm_movemask_epi8(
          _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(b, p2), _mm_cmpeq_epi8(b, p3)), b)));
    // The third byte, where the first two are ASCII: then each is a whole
    // character that folds to one byte, and the third begins the third.
    if (!twoBytes && mask != 0)
      mask &= static_cast<unsigned>(_mm_movemask_epi8(
          _mm_or_si128(_mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(c, p4), _mm_cmpeq_epi8(c, p5)), c),
                       _mm_or_si128(a, b))));
    while (mask != 0) {
      const auto offset = static_cast<std::size_t>(__builtin_ctz(mask));
      if (auto match = tryAt(i + offset)) return match;
      mask &= mask - 1;
    }
  }
#endif
  for (; i < size; ++i) {
    if (!first_[data[i]] || (i + 1 < size && !second_[data[i + 1]])) continue;
    if (auto match = tryAt(i)) return match;
  }
  return std::nullopt;
}

} // namespace text
