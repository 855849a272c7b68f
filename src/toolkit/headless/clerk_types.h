// Plain values shared by the clerk driver and every toolkit test harness.
//
// ShownMessage is one modal message box as the clerk saw it, with the answer it got.
// ClerkKey names the keys a clerk presses besides ordinary characters. Both are plain values
// with no behaviour, so that a harness for another toolkit can use them without linking the
// headless toolkit.
#pragma once

#include <string>

#include "components/toolkit.h"

namespace varnolde {

struct ShownMessage {
  std::string text;
  MsgButtons buttons = MsgButtons::kOk;
  MsgIcon icon = MsgIcon::kExclamation;
  std::string title;
  int answer = 0;  // kAnswerOk, kAnswerYes or kAnswerNo

  bool operator==(const ShownMessage&) const = default;
};

enum class ClerkKey { kEnter, kBackspace, kTab, kEscape };

}  // namespace varnolde
