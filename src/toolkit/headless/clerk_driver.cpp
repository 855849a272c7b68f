#include "toolkit/headless/clerk_driver.h"

#include <algorithm>

#include "components/utf8.h"

namespace varnolde {
namespace {

std::string_view KindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::kLabel: return "a label";
    case ControlKind::kTextBox: return "a text box";
    case ControlKind::kComboList: return "a drop-down list";
    case ControlKind::kComboEdit: return "a combo box";
    case ControlKind::kListBox: return "a list box";
    case ControlKind::kButton: return "a button";
    case ControlKind::kFrame: return "a frame";
    case ControlKind::kVScrollBar: return "a scroll bar";
  }
  return "a control";
}

std::string_view KeyName(ClerkKey key) {
  switch (key) {
    case ClerkKey::kEnter: return "press Enter in";
    case ClerkKey::kBackspace: return "press Backspace in";
    case ClerkKey::kTab: return "press Tab in";
    case ClerkKey::kEscape: return "press Escape in";
  }
  return "press a key in";
}

int KeyCode(ClerkKey key) {
  switch (key) {
    case ClerkKey::kEnter: return kKeyEnter;
    case ClerkKey::kBackspace: return kKeyBackspace;
    case ClerkKey::kTab: return kKeyTab;
    case ClerkKey::kEscape: return kKeyEscape;
  }
  return 0;
}

std::string Characters(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " character" : " characters");
}

}  // namespace

ClerkRefusal::ClerkRefusal(ControlId control, const std::string& message)
    : std::runtime_error(message), control_(control) {}

ClerkDriver::ClerkDriver(DrivableToolkit& toolkit) : toolkit_(toolkit) {}

void ClerkDriver::Type(ControlId control, std::string_view utf8_text) {
  constexpr std::string_view kAction = "type into";
  RequireTextEntry(control, Reach(control, kAction), kAction);
  // The whole text is checked before the first key, so a bad text types nothing.
  std::vector<int> code_points;
  for (std::size_t at = 0; at < utf8_text.size();) {
    const std::size_t start = at;
    const int code = utf8::Next(utf8_text, at);
    if (code < 0) {
      Refuse(control, kAction, "the text is not UTF-8 (byte " + std::to_string(start + 1) + ")");
    }
    code_points.push_back(code);
  }
  for (std::size_t i = 0; i < code_points.size(); ++i) {
    const int code = code_points[i];
    if (code < 0x20 || code == 0x7F) {
      Refuse(control, kAction,
             "character " + std::to_string(i + 1) +
                 " is a control character (Enter, Tab, Backspace and Escape are keys to press)");
    }
  }
  if (!FocusFirst(control)) {
    Refuse(control, kAction, "it lost the focus as the clerk came to it (" + Whereabouts(control) + ")");
  }
  for (std::size_t i = 0; i < code_points.size(); ++i) {
    if (i > 0 && !StillThere(control)) {
      Refuse(control, kAction,
             "it lost the focus after " + Characters(i) + " (" + Whereabouts(control) + ")");
    }
    toolkit_.InputKey(control, code_points[i]);
  }
}

void ClerkDriver::PressKey(ControlId control, ClerkKey key) {
  const std::string_view action = KeyName(key);
  const ControlKind kind = Reach(control, action);
  if (key == ClerkKey::kTab) {
    if (!DrivableToolkit::TakesFocus(kind)) {
      Refuse(control, action, std::string(KindName(kind)) + " does not take the focus");
    }
  } else {
    RequireTextEntry(control, kind, action);
  }
  if (!FocusFirst(control)) {
    Refuse(control, action, "it lost the focus as the clerk came to it (" + Whereabouts(control) + ")");
  }
  if (key == ClerkKey::kTab) {
    toolkit_.InputTab();
  } else {
    toolkit_.InputKey(control, KeyCode(key));
  }
}

void ClerkDriver::Click(ControlId control) {
  const ControlKind kind = Reach(control, "click");
  switch (kind) {
    case ControlKind::kVScrollBar:
      Refuse(control, "click", "a scroll bar is moved with MoveScroll or DragScroll");
    case ControlKind::kLabel:
    case ControlKind::kFrame:
      toolkit_.InputClick(control);
      return;
    case ControlKind::kButton:
    case ControlKind::kTextBox:
      if (FocusFirst(control)) toolkit_.InputClick(control);
      return;
    case ControlKind::kListBox:
    case ControlKind::kComboList:
    case ControlKind::kComboEdit:
      FocusFirst(control);
      return;
  }
}

void ClerkDriver::Pick(ControlId combo, int index) {
  constexpr std::string_view kAction = "pick in";
  const ControlKind kind = Reach(combo, kAction);
  if (kind != ControlKind::kComboList && kind != ControlKind::kComboEdit) {
    Refuse(combo, kAction, std::string(KindName(kind)) + " has no items to pick");
  }
  RequireRow(combo, index, kAction);
  if (FocusFirst(combo) && index < toolkit_.Screen().ListCount(combo)) {
    toolkit_.InputPick(combo, index);
  }
}

void ClerkDriver::ClickRow(ControlId list, int row) { ClickListRow(list, row, "click a row of"); }

void ClerkDriver::DoubleClickRow(ControlId list, int row) {
  if (ClickListRow(list, row, "double-click a row of") && StillThere(list)) {
    toolkit_.InputDoubleClick(list);
  }
}

void ClerkDriver::MoveScroll(ControlId bar, int value) {
  RequireScrollTo(bar, value, "move");
  toolkit_.InputScroll(bar, value);
}

void ClerkDriver::DragScroll(ControlId bar, int value) {
  RequireScrollTo(bar, value, "drag");
  toolkit_.InputDrag(bar, value);
}

void ClerkDriver::Focus(ControlId control) {
  const ControlKind kind = Reach(control, "focus");
  if (!DrivableToolkit::TakesFocus(kind)) {
    Refuse(control, "focus", std::string(KindName(kind)) + " does not take the focus");
  }
  toolkit_.InputFocus(control);
}

void ClerkDriver::QueueAnswer(int answer) { toolkit_.QueueAnswer(answer); }

// --- Checks -------------------------------------------------------------------------------

std::string ClerkDriver::NameOf(ControlId control) const {
  if (control >= 0 && static_cast<std::size_t>(control) < toolkit_.Layout().controls.size()) {
    return std::string(toolkit_.Layout().controls[static_cast<std::size_t>(control)].name);
  }
  return "control " + std::to_string(control);
}

void ClerkDriver::Refuse(ControlId control, std::string_view action,
                         std::string_view reason) const {
  throw ClerkRefusal(control, "cannot " + std::string(action) + " " + NameOf(control) + ": " +
                                  std::string(reason));
}

ControlKind ClerkDriver::Reach(ControlId control, std::string_view action) const {
  if (!toolkit_.Attached()) throw std::logic_error("ClerkDriver used before the panel is built");
  if (control < 0 || static_cast<std::size_t>(control) >= toolkit_.Layout().controls.size()) {
    Refuse(control, action, "there is no such control");
  }
  const std::string reason = toolkit_.UnreachableReason(control);
  if (!reason.empty()) Refuse(control, action, reason);
  return toolkit_.Layout().controls[static_cast<std::size_t>(control)].kind;
}

bool ClerkDriver::FocusFirst(ControlId control) {
  toolkit_.InputFocus(control);
  return StillThere(control);
}

bool ClerkDriver::StillThere(ControlId control) const {
  return toolkit_.Screen().Focused() == control && toolkit_.UnreachableReason(control).empty();
}

std::string ClerkDriver::Whereabouts(ControlId control) const {
  const std::string reason = toolkit_.UnreachableReason(control);
  if (!reason.empty()) return reason;
  const ControlId focused = toolkit_.Screen().Focused();
  return focused == kNoControl ? "no control has the focus"
                               : "the focus is on " + NameOf(focused);
}

void ClerkDriver::RequireTextEntry(ControlId control, ControlKind kind,
                                   std::string_view action) const {
  if (kind != ControlKind::kTextBox && kind != ControlKind::kComboEdit) {
    Refuse(control, action, std::string(KindName(kind)) + " takes no typing");
  }
}

void ClerkDriver::RequireRow(ControlId list, int row, std::string_view action) const {
  const int count = toolkit_.Screen().ListCount(list);
  if (row < 0 || row >= count) {
    Refuse(list, action,
           "there is no row " + std::to_string(row) + " (it holds " + std::to_string(count) +
               (count == 1 ? " row, numbered from 0)" : " rows, numbered from 0)"));
  }
}

bool ClerkDriver::ClickListRow(ControlId list, int row, std::string_view action) {
  const ControlKind kind = Reach(list, action);
  if (kind != ControlKind::kListBox) {
    Refuse(list, action, std::string(KindName(kind)) + " has no rows to click");
  }
  RequireRow(list, row, action);
  if (!FocusFirst(list) || row >= toolkit_.Screen().ListCount(list)) return false;
  toolkit_.InputRowClick(list, row);
  return true;
}

void ClerkDriver::RequireScrollTo(ControlId bar, int value, std::string_view action) const {
  const ControlKind kind = Reach(bar, action);
  if (kind != ControlKind::kVScrollBar) {
    Refuse(bar, action, std::string(KindName(kind)) + " is not a scroll bar");
  }
  if (!toolkit_.Screen().ScrollUsable(bar)) Refuse(bar, action, "the scroll bar is not usable");
  const int upper = std::max(0, toolkit_.Screen().ScrollMax(bar));
  if (value < 0 || value > upper) {
    Refuse(bar, action,
           "value " + std::to_string(value) + " is outside 0.." + std::to_string(upper));
  }
}

}  // namespace varnolde
