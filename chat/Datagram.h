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

// What a received payload will cost its receiver once shown, in bytes: the
// header and message as the history stores them (UTF-8 from the wire's code
// page, which can take three bytes for one), the bookkeeping of each line
// they make, and never less than the payload itself, which waits whole
// until it is shown.
std::size_t HistoryCost(std::string_view payload);

} // namespace chat
