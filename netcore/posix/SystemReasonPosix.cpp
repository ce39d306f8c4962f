#include "netcore/SystemReason.h"

#include <cerrno>
#include <cstring>

std::string SystemReason(int error) {
  switch (error) {
  case EADDRINUSE: return "adresse déjà utilisée";
  case EADDRNOTAVAIL: return "adresse non disponible sur cette machine";
  case EACCES: return "permission refusée";
  case EPERM: return "opération non permise";
  case ENETUNREACH: return "réseau injoignable";
  case ENETDOWN: return "réseau hors service";
  case EHOSTUNREACH: return "hôte injoignable";
  case EHOSTDOWN: return "hôte hors service";
  case ECONNREFUSED: return "connexion refusée";
  case ENOBUFS: return "plus de mémoire tampon disponible";
  case ENOMEM: return "mémoire insuffisante";
  case EMSGSIZE: return "message trop long";
  case EAFNOSUPPORT: return "famille d'adresses non prise en charge";
  case EMFILE: return "trop de fichiers ouverts par le programme";
  case ENFILE: return "trop de fichiers ouverts sur le système";
  case ENODEV: return "aucun périphérique réseau";
  case EINVAL: return "argument invalide";
  case EAGAIN: return "ressource temporairement indisponible";
  case EINTR: return "appel interrompu";
  default: break;
  }
  // strerrordesc_np gives the system's own words without regard to the
  // locale; they stay as they are, beside the number.
  const char* words = strerrordesc_np(error);
  return "erreur système " + std::to_string(error) + " (" +
         (words != nullptr ? words : "inconnue") + ")";
}
