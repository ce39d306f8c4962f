#include "netcore/SystemReason.h"

#include "netcore/win32/Winsock.h"

#include <string>

namespace {

// UTF-16 to UTF-8.
std::string Utf8(const wchar_t* text, int length) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

// The system's own words for an error, in French where the system has
// them, otherwise in its default language; without the final period and
// line break. Empty when it has none.
std::string SystemWords(int error) {
  const DWORD flags =
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
  wchar_t words[512];
  DWORD length = 0;
  for (const DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_FRENCH, SUBLANG_FRENCH)),
                               static_cast<DWORD>(MAKELANGID(LANG_FRENCH, SUBLANG_DEFAULT)),
                               DWORD{0}}) {
    length = FormatMessageW(flags, nullptr, static_cast<DWORD>(error), language, words,
                            sizeof words / sizeof words[0], nullptr);
    if (length > 0) break;
  }
  while (length > 0 && (words[length - 1] == L' ' || words[length - 1] == L'\r' ||
                        words[length - 1] == L'\n' || words[length - 1] == L'.'))
    --length;
  return Utf8(words, static_cast<int>(length));
}

} // namespace

std::string SystemReason(int error) {
  switch (error) {
  case WSAEADDRINUSE: return "adresse déjà utilisée";
  case WSAEADDRNOTAVAIL: return "adresse non disponible sur cette machine";
  case WSAEACCES: return "permission refusée";
  case WSAENETUNREACH: return "réseau injoignable";
  case WSAENETDOWN: return "réseau hors service";
  case WSAEHOSTUNREACH: return "hôte injoignable";
  case WSAEHOSTDOWN: return "hôte hors service";
  case WSAECONNREFUSED: return "connexion refusée";
  case WSAENOBUFS: return "plus de mémoire tampon disponible";
  case WSA_NOT_ENOUGH_MEMORY: return "mémoire insuffisante";
  case WSAEMSGSIZE: return "message trop long";
  case WSAEAFNOSUPPORT: return "famille d'adresses non prise en charge";
  case WSAEMFILE: return "trop de sockets ouverts";
  case WSAEINVAL: return "argument invalide";
  case WSAEWOULDBLOCK: return "ressource temporairement indisponible";
  case WSAEINTR: return "appel interrompu";
  case WSANOTINITIALISED: return "Winsock n'est pas initialisé";
  case WSASYSNOTREADY: return "le sous-système réseau n'est pas prêt";
  case WSAVERNOTSUPPORTED: return "version de Winsock non prise en charge";
  default: break;
  }
  // The system's words stay as they are, beside the number.
  const std::string words = SystemWords(error);
  return "erreur système " + std::to_string(error) + " (" + (words.empty() ? "inconnue" : words) +
         ")";
}
