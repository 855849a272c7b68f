// ClerkDriver: a person at the keyboard and mouse of a drivable toolkit
// (toolkit/drivable_toolkit.h): the headless toolkit, or the Qt one through QtClerkToolkit.
//
// Each action does what a clerk's hands do, in the order the toolkit contract gives: an action
// on a control that can hold the focus moves the focus there first (so the old control's
// lost-focus reaction runs before anything else), then the input goes in. When that lost-focus
// reaction takes the control out of the clerk's reach or sends the focus elsewhere, the rest of
// a mouse action does not happen, as the click on a button does not happen when the focus is
// pulled back before the mouse is released; a keyboard action is refused instead (below), since
// the keys would go to a control the script did not name.
//
// The driver refuses, with ClerkRefusal, to act where a person could not: a control that is
// disabled, invisible, inside a disabled or invisible frame, or on a disabled panel; a control
// of a kind that does not take that action; a row, item or scroll value that does not exist; a
// scroll bar that is not usable; text that is not UTF-8 or holds control characters. A refused
// action raises nothing. While typing several characters, each one is checked again: if the
// focus has left the box or the box has become unreachable, the rest is refused, naming how
// many characters went in.
//
// ClerkRefusal is not a ComponentError, so no resume-next procedure or dispatch swallows it. The
// driver borrows the toolkit, which must outlive it.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

#include "components/toolkit.h"
#include "toolkit/drivable_toolkit.h"
#include "toolkit/headless/clerk_types.h"

namespace varnolde {

// A person could not do what the driver was asked; what() names the control and the reason.
class ClerkRefusal : public std::runtime_error {
 public:
  ClerkRefusal(ControlId control, const std::string& message);
  ControlId control() const noexcept { return control_; }

 private:
  ControlId control_;
};

class ClerkDriver {
 public:
  explicit ClerkDriver(DrivableToolkit& toolkit);

  // Types utf8_text into a text box or editable combo box, one character at a time: key press
  // reaction (code point by reference), insertion at the caret within the maximum length,
  // change reaction.
  void Type(ControlId control, std::string_view utf8_text);
  // Enter, Backspace and Escape go to a text box or editable combo box through its key press
  // reaction; Backspace then deletes the character before the caret. Tab moves the focus to
  // the next reachable control in tab order (wrapping) and reaches no reaction but lost focus.
  void PressKey(ControlId control, ClerkKey key);
  // A button (focus, then kClick), a click into a text box (focus, then its kClick), a list or
  // combo box (focus only), a label or frame (kClick, no focus).
  void Click(ControlId control);
  // Picks item index of a combo box: the text becomes the item's, then kClick, every time.
  void Pick(ControlId combo, int index);
  // Clicks row of a list box: kClick when the current row changes.
  void ClickRow(ControlId list, int row);
  // ClickRow, then kDblClick.
  void DoubleClickRow(ControlId list, int row);
  // An arrow or page click that brings the scroll bar to value (0 .. max(0, ScrollMax)).
  void MoveScroll(ControlId bar, int value);
  // Drags the thumb to value: kScroll at each intermediate value, kChange at release.
  void DragScroll(ControlId bar, int value);
  // Clicks into or tabs to control, giving it the focus.
  void Focus(ControlId control);
  // The answer to the next Yes/No message box (kAnswerYes or kAnswerNo).
  void QueueAnswer(int answer);

 private:
  std::string NameOf(ControlId control) const;
  [[noreturn]] void Refuse(ControlId control, std::string_view action,
                           std::string_view reason) const;
  // The control's kind, after checking that it exists and that a person can reach it.
  ControlKind Reach(ControlId control, std::string_view action) const;
  // Moves the focus to control; false when a lost-focus reaction then took it away again.
  bool FocusFirst(ControlId control);
  bool StillThere(ControlId control) const;
  // Why control no longer has the clerk's input: its unreachability or where the focus is.
  std::string Whereabouts(ControlId control) const;
  void RequireTextEntry(ControlId control, ControlKind kind, std::string_view action) const;
  void RequireRow(ControlId list, int row, std::string_view action) const;
  void RequireScrollTo(ControlId bar, int value, std::string_view action) const;
  // Focus, then the row click; false when the focus was taken away before the click.
  bool ClickListRow(ControlId list, int row, std::string_view action);

  DrivableToolkit& toolkit_;
};

}  // namespace varnolde
