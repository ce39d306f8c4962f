#include "chat/Datagram.h"

#include <algorithm>

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

} // namespace chat
