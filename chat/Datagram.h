#pragma once

#include <lanchat/BuildConfig.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chat {

// The chat datagram: nickname, separator, message, one zero byte.
// The nickname and message are 8-bit text in the wire's code page.
inline constexpr std::string_view kSeparator = " a dit :";

using lanchat::config::kMaxDatagramSize;

// Size of the datagram for a nickname of `nickname` bytes and a message of
// `message` bytes.
constexpr std::size_t DatagramSize(std::size_t nickname, std::size_t message) {
  return nickname + kSeparator.size() + message + 1;
}

// Writes nickname, separator, message and the closing zero byte.
std::vector<char> ComposeDatagram(std::string_view nickname, std::string_view message);

// Why a datagram must not be sent, in French for the user, or nothing when it
// may go: a nickname holding the separator would be split inside the nickname
// by every receiver, and a datagram over kMaxDatagramSize cannot leave at all.
std::optional<std::string> RefusalToSend(std::string_view nickname, std::string_view message);

// A received payload cut in two. Both views point into the payload.
struct SplitDatagram {
  std::string_view header;  // the nickname followed by the separator
  std::string_view message; // up to the first zero byte after the header
};

// Cuts a payload after the first separator. Returns nothing for a payload
// that holds no separator, which is not a chat datagram.
std::optional<SplitDatagram> Split(std::string_view payload);

// The same payload as Split cut it before, from where the header and the
// message end (offsets into the payload, as CutOffsets gives them), so that
// an arrival is cut once on its way in; nothing if they do not fit.
std::optional<SplitDatagram> SplitAt(std::string_view payload, std::size_t headerEnd,
                                     std::size_t messageEnd);
// Where a split payload's header and message end, as offsets into it.
struct CutOffsets {
  std::size_t headerEnd = 0;
  std::size_t messageEnd = 0;
};
CutOffsets OffsetsOf(std::string_view payload, const SplitDatagram& parts);

// What a received payload will cost its receiver once shown, in bytes: the
// header and message as the history stores them (UTF-8 from the wire's code
// page, which can take three bytes for one), the bookkeeping of each line
// they make, and never less than the payload itself, which waits whole
// until it is shown. The payload as Split cut it, and its size; a payload
// that is not a chat datagram costs its size.
std::size_t HistoryCost(const SplitDatagram& parts, std::size_t payloadSize);
// The same for a payload not yet cut (it is cut here).
std::size_t HistoryCost(std::string_view payload);

} // namespace chat
