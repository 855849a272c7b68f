#include <cerrno>
#include <cstdio>

#include "components/errors.h"
#include "components/toolkit.h"

namespace varnolde {

std::string FormatErrorNumber(ErrorNumber number) {
  char text[16];
  if (number >= 0x10000) {
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(number));
  } else {
    std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(number));
  }
  return text;
}

std::string SystemCause(int errno_value) {
  switch (errno_value) {
    case ENOENT: return "fichier ou dossier introuvable";
    case ENOTDIR: return "un élément du chemin n'est pas un dossier";
    case EACCES:
    case EPERM: return "accès refusé";
    case EROFS: return "système de fichiers en lecture seule";
    case EISDIR: return "c'est un dossier";
    case EEXIST: return "le fichier existe déjà";
    case ENOSPC: return "disque plein";
    case EDQUOT: return "quota de disque dépassé";
    case EIO: return "erreur d'entrée-sortie du disque";
    case ENAMETOOLONG: return "nom trop long";
    case EMFILE:
    case ENFILE: return "trop de fichiers ouverts";
    case ENOMEM: return "mémoire insuffisante";
    case EBUSY: return "fichier occupé";
    case EXDEV: return "déplacement entre deux systèmes de fichiers impossible";
    default: return "erreur système n° " + std::to_string(errno_value);
  }
}

void ShowEscapedError(Toolkit& toolkit, const ComponentError& error) {
  std::string text = "Erreur " + FormatErrorNumber(error.number()) + " : " + error.what();
  toolkit.MsgBox(text, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle);
}

}  // namespace varnolde
