// What both systems' codecs share: the one rule for line breaks on the
// wire, and the program's own codec.
#include "text/Codec.h"

#include "text/CodecShared.h"
#include "text/TextLines.h"

#include <lanchat/BuildConfig.h>

namespace text {

// Rewrites every line break of a UTF-8 text as CR LF, and a zero character,
// which would cut the datagram short, as "?".
std::string NormaliseLineBreaks(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size();) {
    if (const std::size_t length = BreakAt(utf8, i); length > 0) {
      out += "\r\n";
      i += length;
    } else {
      out += utf8[i] == '\0' ? '?' : utf8[i];
      ++i;
    }
  }
  return out;
}

const Codec& Codec::Wire() {
  static const Codec wire{lanchat::config::kCodePage};
  return wire;
}

} // namespace text
