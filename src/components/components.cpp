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

void ShowEscapedError(Toolkit& toolkit, const ComponentError& error) {
  std::string text = "Erreur " + FormatErrorNumber(error.number()) + " : " + error.what();
  toolkit.MsgBox(text, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle);
}

}  // namespace varnolde
