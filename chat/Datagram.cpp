#include "chat/Datagram.h"

#include <text/Codec.h>

#include <algorithm>
#include <array>

namespace chat {

std::vector<char> ComposeDatagram(std::string_view nickname, std::string_view message) {
  std::vector<char> datagram(DatagramSize(nickname.size(), message.size()));
  auto out = std::copy(nickname.begin(), nickname.end(), datagram.begin());
  out = std::copy(kSeparator.begin(), kSeparator.end(), out);
  out = std::copy(message.begin(), message.end(), out);
  *out = '\0';
  return datagram;
}

std::optional<std::string> RefusalToSend(std::string_view nickname, std::string_view message) {
  if (nickname.find(kSeparator) != std::string_view::npos)
    return "Le pseudo contient « a dit : » : les autres verraient le message coupé au milieu "
           "du pseudo. Choisissez un autre pseudo ; rien n'a été envoyé.";
  const std::size_t size = DatagramSize(nickname.size(), message.size());
  if (size > kMaxDatagramSize)
    return "Message trop long : il ferait " + std::to_string(size) +
           " octets, la limite d'un datagramme est de " + std::to_string(kMaxDatagramSize) +
           " octets. Rien n'a été envoyé.";
  return std::nullopt;
}

std::optional<SplitDatagram> Split(std::string_view payload) {
  const std::size_t separator = payload.find(kSeparator);
  if (separator == std::string_view::npos) return std::nullopt;
  const std::size_t headerEnd = separator + kSeparator.size();
  std::string_view message = payload.substr(headerEnd);
  message = message.substr(0, message.find('\0'));
  return SplitDatagram{payload.substr(0, headerEnd), message};
}

std::optional<SplitDatagram> SplitAt(std::string_view payload, std::size_t headerEnd,
                                     std::size_t messageEnd) {
  if (headerEnd < kSeparator.size() || headerEnd > messageEnd || messageEnd > payload.size())
    return std::nullopt;
  return SplitDatagram{payload.substr(0, headerEnd),
                       payload.substr(headerEnd, messageEnd - headerEnd)};
}

CutOffsets OffsetsOf(std::string_view payload, const SplitDatagram& parts) {
  const auto headerEnd =
      static_cast<std::size_t>(parts.header.data() - payload.data()) + parts.header.size();
  const auto messageEnd =
      static_cast<std::size_t>(parts.message.data() - payload.data()) + parts.message.size();
  return {headerEnd, messageEnd};
}

std::size_t HistoryCost(std::string_view payload) {
  const auto parts = Split(payload);
  return parts ? HistoryCost(*parts, payload.size()) : payload.size();
}

std::size_t HistoryCost(const SplitDatagram& parts, std::size_t payloadSize) {
  // The UTF-8 length of each byte once decoded: one table for the program's
  // code page, made from its own converter.
  static const std::array<std::uint8_t, 256> kUtf8Length = [] {
    std::array<std::uint8_t, 256> lengths{};
    for (std::size_t byte = 0; byte < lengths.size(); ++byte)
      lengths[byte] = static_cast<std::uint8_t>(
          text::Codec::Wire().Decode(std::string(1, static_cast<char>(byte))).size());
    return lengths;
  }();
  std::size_t bytes = 0;
  std::size_t lines = 2;
  auto count = [&](std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const auto byte = static_cast<unsigned char>(text[i]);
      // CR LF, CR and LF each start a line; the break itself is not stored.
      if (byte == '\n' || (byte == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
        ++lines;
      else if (byte != '\r')
        bytes += kUtf8Length[byte];
    }
  };
  count(parts.header);
  count(parts.message);
  return std::max(payloadSize, bytes + lines * lanchat::config::kLineBytes);
}

} // namespace chat
