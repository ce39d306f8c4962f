// libFuzzer target over everything a received datagram goes through below
// the widgets: splitting, decoding, and cutting the text into history lines.
#include <chat/Datagram.h>
#include <text/Codec.h>
#include <text/TextLines.h>

#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool ValidUtf8(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80         ? 1
                               : (lead >> 5) == 6  ? 2
                               : (lead >> 4) == 14 ? 3
                               : (lead >> 3) == 30 ? 4
                                                   : 0;
    if (length == 0 || i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    i += length;
  }
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view payload(reinterpret_cast<const char*>(data), size);
  const auto parts = chat::Split(payload);
  if (!parts) {
    Check(payload.find(chat::kSeparator) == std::string_view::npos);
    return 0;
  }
  // The header is everything up to and including the first separator.
  Check(parts->header.size() >= chat::kSeparator.size());
  Check(parts->header.find(chat::kSeparator) == parts->header.size() - chat::kSeparator.size());
  Check(parts->message.find('\0') == std::string_view::npos);
  Check(parts->header.data() == payload.data());

  std::size_t stored = 0; // what the history will hold of it
  for (const std::string_view bytes : {parts->header, parts->message}) {
    const std::string decoded = text::Codec::Wire().Decode(bytes);
    Check(ValidUtf8(decoded));
    Check(decoded.find('\0') == std::string::npos);
    std::size_t total = 0;
    for (const std::string_view line : text::SplitLines(decoded)) {
      Check(line.find_first_of("\r\n") == std::string_view::npos);
      total += line.size();
      stored += line.size() + lanchat::config::kLineBytes;
    }
    Check(total <= decoded.size());
    // What decodes comes back unchanged, but for undefined bytes and breaks.
    const std::string again = text::Codec::Wire().Encode(decoded);
    Check(again.find('\0') == std::string::npos);
  }
  // The allowances charge a message at least what it will cost once shown.
  Check(stored <= chat::HistoryCost(payload));
  return 0;
}
