#include "text/Fold.h"

#include "text/Utf8.h"

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
    const Utf8Char one = DecodeUtf8At(utf8, i);
    AppendFolded(one.character, options, out);
    i += one.length;
  }
  return out;
}

#if defined(__SSE2__)
namespace {

// The scan's byte values, sixteen of each.
struct Vectors {
  __m128i first, firstOther, second, secondOther, third, thirdOther; // the probes
  __m128i lead0, lead1, lead2;                                       // the lead probes
  bool fewLeads;
  bool oneByte;
  bool twoBytes;
};

__m128i Splat(unsigned char byte) { return _mm_set1_epi8(static_cast<char>(byte)); }
__m128i Equal(__m128i bytes, __m128i a, __m128i b) {
  return _mm_or_si128(_mm_cmpeq_epi8(bytes, a), _mm_cmpeq_epi8(bytes, b));
}
unsigned HighBits(__m128i bytes) { return static_cast<unsigned>(_mm_movemask_epi8(bytes)); }

// One bit for each of the sixteen places from `at` where a match may begin.
unsigned BlockMask(const unsigned char* at, const Vectors& v) {
  const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 1));
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 2));
  const __m128i leadBits = Splat(0xC0);
  const __m128i four = _mm_cmpeq_epi8(_mm_and_si128(a, Splat(0xF8)), Splat(0xF0));
  const __m128i lead = v.fewLeads ? _mm_or_si128(Equal(a, v.lead0, v.lead1),
                                                 _mm_or_si128(_mm_cmpeq_epi8(a, v.lead2), four))
                                  : _mm_cmpeq_epi8(_mm_and_si128(a, leadBits), leadBits);
  unsigned mask = HighBits(_mm_or_si128(Equal(a, v.first, v.firstOther), lead));
  if (mask == 0 || v.oneByte) return mask;
  mask &= HighBits(_mm_or_si128(Equal(b, v.second, v.secondOther), b));
  // The third byte, where the first two are ASCII: then each is a whole
  // character that folds to one byte, and the third begins the third.
  if (mask == 0 || v.twoBytes) return mask;
  return mask & HighBits(_mm_or_si128(_mm_or_si128(Equal(c, v.third, v.thirdOther), c),
                                      _mm_or_si128(a, b)));
}

} // namespace
#endif

Needle::Needle(std::string_view utf8, FindOptions options)
    : options_(options), table_(&TableFor(options)), folded_(Folded(utf8, options)) {
  if (folded_.empty()) return;
  MarkBeginnings();
  SetProbes();
}

// The characters of several bytes that may begin a match: those that
// compare as something else that agrees with the needle's beginning, and
// the needle's own first character where it compares as itself.
void Needle::MarkBeginnings() {
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
  const Utf8Char first = DecodeUtf8At(folded_, 0);
  if (first.length > 1 || first.character >= 0x80) mayBegin(first.character);
  std::fill(leads_.begin() + 0xF0, leads_.end(), true); // beyond the plane: compared
  std::size_t few = 0;
  for (unsigned lead = 0xC0; lead < 0xF0 && few <= leadProbes_.size(); ++lead) {
    if (!leads_[lead]) continue;
    if (few < leadProbes_.size()) leadProbes_[few] = static_cast<unsigned char>(lead);
    ++few;
  }
  fewLeads_ = few <= leadProbes_.size();
  for (std::size_t i = few; fewLeads_ && i < leadProbes_.size(); ++i)
    leadProbes_[i] = few == 0 ? 0xF0 : leadProbes_[0];
}

// Where a match begins, the text holds the first folded byte itself (in
// either case when case is ignored) or a character of several bytes that
// folds to it; the byte after is the second one likewise, or any byte of a
// character of several bytes (a continuation, or a mark to be dropped).
void Needle::SetProbes() {
  const auto otherCase = [&](unsigned char folded) -> unsigned char {
    return !options_.matchCase && IsAsciiLetter(folded) ? folded ^ 0x20U : folded;
  };
  const auto allow = [&](std::array<bool, 256>& set, unsigned char folded, unsigned char from) {
    std::fill(set.begin() + from, set.end(), true);
    if (folded >= 0x80) return;
    set[folded] = true;
    set[otherCase(folded)] = true;
  };
  const auto folded = [&](std::size_t i) {
    return static_cast<unsigned char>(i < folded_.size() ? folded_[i] : 0x80);
  };
  allow(first_, folded(0), 0xC0);
  if (folded_.size() < 2)
    second_.fill(true);
  else
    allow(second_, folded(1), 0x80);
  for (std::size_t i = 0; i < 3; ++i) {
    const unsigned char none = i == 0 ? 0xC0 : 0x80; // a byte the other test takes anyway
    probes_[2 * i] = folded(i) < 0x80 ? folded(i) : none;
    probes_[2 * i + 1] = folded(i) < 0x80 ? otherCase(folded(i)) : none;
  }
}

// What the character at `i` compares as agrees with the needle from byte
// `matched` on: the bytes it takes in the text and in the needle; none in
// the text when it does not agree.
Needle::Step Needle::Compare(std::string_view text, std::size_t i, std::size_t matched) const {
  const auto byte = static_cast<unsigned char>(text[i]);
  if (byte < 0x80) {
    const auto folded =
        static_cast<char>(!options_.matchCase && IsAsciiLetter(byte) ? byte | 0x20U : byte);
    return folded == folded_[matched] ? Step{1, 1} : Step{};
  }
  const Utf8Char one = DecodeUtf8At(text, i);
  Scratch scratch;
  const std::string_view folded = table_->Fold(one.character, scratch);
  if (folded.empty())
    return matched == 0 ? Step{} : Step{one.length, 0}; // a match begins on a character of its own
  if (folded.size() > folded_.size() - matched ||
      folded_.compare(matched, folded.size(), folded) != 0)
    return Step{};
  return Step{one.length, folded.size()};
}

std::size_t Needle::MatchAt(std::string_view text, std::size_t at) const {
  if (folded_.empty() || at >= text.size()) return 0;
  std::size_t i = at;
  for (std::size_t matched = 0; matched < folded_.size();) {
    if (i >= text.size()) return 0;
    const Step step = Compare(text, i, matched);
    if (step.text == 0) return 0;
    i += step.text;
    matched += step.needle;
  }
  // Marks that follow belong to the last character: taken in when accents
  // are ignored; when they count, "e" is not the "e" of "e" + acute.
  while (i < text.size() && static_cast<unsigned char>(text[i]) >= 0x80) {
    const Utf8Char one = DecodeUtf8At(text, i);
    if (!IsMark(one.character)) break;
    if (options_.matchAccents) return 0;
    i += one.length;
  }
  return i - at;
}

bool Needle::MayBegin(std::string_view text, std::size_t at) const {
  const auto lead = static_cast<unsigned char>(text[at]);
  if (lead < 0x80) return true;
  if (!leads_[lead]) return false;
  const Utf8Char one = DecodeUtf8At(text, at);
  if (one.character >= 0x10000) return true;
  return ((begins_[one.character / 64] >> (one.character % 64)) & 1U) != 0;
}

std::optional<Match> Needle::TryAt(std::string_view text, std::size_t at) const {
  if (!MayBegin(text, at)) return std::nullopt;
  if (const std::size_t length = MatchAt(text, at); length != 0) return Match{at, at + length};
  return std::nullopt;
}

std::optional<Match> Needle::FindIn(std::string_view text, std::size_t from) const {
  if (folded_.empty()) return std::nullopt;
  const auto* data = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = from;
#if defined(__SSE2__)
  Vectors vectors{};
  vectors.first = Splat(probes_[0]);
  vectors.firstOther = Splat(probes_[1]);
  vectors.second = Splat(probes_[2]);
  vectors.secondOther = Splat(probes_[3]);
  vectors.third = Splat(probes_[4]);
  vectors.thirdOther = Splat(probes_[5]);
  vectors.lead0 = Splat(leadProbes_[0]);
  vectors.lead1 = Splat(leadProbes_[1]);
  vectors.lead2 = Splat(leadProbes_[2]);
  vectors.fewLeads = fewLeads_;
  vectors.oneByte = folded_.size() < 2;
  vectors.twoBytes = folded_.size() < 3;
  for (; i + 18 <= size; i += 16) {
    for (unsigned mask = BlockMask(data + i, vectors); mask != 0; mask &= mask - 1)
      if (auto match = TryAt(text, i + static_cast<std::size_t>(__builtin_ctz(mask)))) return match;
  }
#endif
  for (; i < size; ++i) {
    if (!first_[data[i]] || (i + 1 < size && !second_[data[i + 1]])) continue;
    if (auto match = TryAt(text, i)) return match;
  }
  return std::nullopt;
}

} // namespace text
