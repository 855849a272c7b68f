// The windowing toolkit as the panel sees it.
//
// The panel is a set of reactions to control events. A Toolkit builds the panel's controls
// from a declarative table (PanelLayout), holds their state, and raises the panel's reactions
// through PanelReactions. Two implementations exist: the headless one (in memory, exact, for
// tests and scripted runs) and the Qt one (a real window). Both give exactly these semantics,
// checked by one conformance suite:
//
//  1. Setting a text box's or an editable combo box's text by program raises its kChange
//     reaction at once, nested inside SetText, only when the text really changes.
//  2. Setting the current index of a list box or combo box by program raises its kClick
//     reaction at once, nested, only when the index changes. A clerk's click on a list row
//     raises it when the row changes; a clerk's pick in a combo box raises it on every pick
//     (the box's text becomes the item's text first; no kChange). Clear sets the index to -1
//     and, like AddItem, raises nothing; Clear on an editable combo keeps its edit text.
//  3. A typed character first goes to OnKeyPress with its code by reference (a Unicode code
//     point; 8 Backspace, 13 Enter, 27 Escape). Code 0 discards the key; another code replaces
//     the character. Then the box inserts it at the caret, honouring its maximum length, and
//     kChange follows. Enter inserts nothing in a single-line box. Tab moves the focus to the
//     next control in tab order and reaches no key press reaction. The caret goes to the end
//     of the text when the program sets the text and when the focus arrives.
//  4. Moving the focus away raises kLostFocus on the control that had it, nested inside the
//     move; pressing a button takes the focus first, so kLostFocus runs before kClick. Only a
//     focus change made by the clerk or by SetFocus raises kLostFocus: disabling a control or
//     the panel, or a message box opening, raises none. SetFocus on a control that is disabled,
//     invisible or inside a disabled container (the whole panel while busy) raises
//     ComponentError 5 (err::kInvalidCall) and changes nothing.
//  5. A disabled control, or one inside a disabled frame or panel, receives no user input;
//     its own enabled flag keeps its value (Enabled() returns the control's own flag).
//  6. A double click on a list row is a click (which makes the row current) followed by
//     kDblClick.
//  7. The scroll bar raises kChange when its value changes (by user or program) and kScroll
//     while its thumb is dragged; minimum 0. SetScrollMax below 0 (-1 for an empty list)
//     leaves the value at 0 with no kChange; a value beyond a new maximum moves to it and
//     raises kChange. SetScrollValue clamps into [0, max(0, maximum)].
//  8. MsgBox is modal and returns the answer (kAnswerOk, kAnswerYes, kAnswerNo).
//  9. SetBusyPointer is screen-wide; DoEvents lets pending events run; CloseHost closes the
//     window that holds the panel.
// 10. ItemText beyond the last row, or of row -1, is the empty text; ListIndex -1 means no row.
//     Text() of a list box is its current row's text; SetText on a list box leaves the
//     current row alone when it already has that text, else makes the first row holding it
//     current (raising kClick), and does nothing when no row holds it. Text() of a combo box is
//     its edit text (for a drop-down list: the current item's text).
// 11. An error that escapes a reaction is caught at that reaction's dispatch (every reaction
//     the toolkit raises, nested or not, is a boundary): the clerk sees a message box titled
//     "Message QUASTELOR" with the error's number and text (ShowEscapedError), and the panel
//     goes on. Nothing crashes the host.
//
// Operations on a control of the wrong kind, or on an unknown ControlId, raise
// err::kInvalidCall.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "components/errors.h"

namespace varnolde {

// Index of a control in the PanelLayout's table.
using ControlId = int;
inline constexpr ControlId kNoControl = -1;

enum class ControlKind {
  kLabel,
  kTextBox,
  kComboList,  // drop-down list, no free text
  kComboEdit,  // editable combo box with a drop-down list
  kListBox,
  kButton,
  kFrame,
  kVScrollBar,
};

struct ControlSpec {
  std::string_view name;
  ControlKind kind;
  std::string_view caption;
  ControlId container;  // a kFrame's index, or kNoControl for the panel itself
  int tab_index;
  int left, top, width, height;  // twips, relative to the container
  bool fixed_pitch;              // "Courier New" 8.25 pt instead of the host's default font
  int max_length;                // characters; 0 = no limit
  bool visible;                  // at design time
};

struct PanelLayout {
  int width;   // twips
  int height;  // twips
  std::string_view fixed_font_family;
  double fixed_font_points;
  std::span<const ControlSpec> controls;
};

enum class EventKind { kChange, kClick, kDblClick, kLostFocus, kScroll };

// Implemented by the panel: the toolkit calls these when an event happens.
class PanelReactions {
 public:
  virtual ~PanelReactions() = default;
  virtual void OnEvent(ControlId control, EventKind event) = 0;
  virtual void OnKeyPress(ControlId control, int& key_code) = 0;
};

enum class MsgButtons { kOk = 0, kYesNo = 4 };
enum class MsgIcon { kQuestion = 32, kExclamation = 48 };
inline constexpr int kAnswerOk = 1;
inline constexpr int kAnswerYes = 6;
inline constexpr int kAnswerNo = 7;
inline constexpr std::string_view kMessageTitle = "Message QUASTELOR";

inline constexpr int kKeyBackspace = 8;
inline constexpr int kKeyTab = 9;
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyEscape = 27;

class Toolkit {
 public:
  virtual ~Toolkit() = default;

  // Builds the controls of layout and routes their events to reactions. Called once, before
  // anything else. Both objects must outlive the toolkit's use of them.
  virtual void Attach(const PanelLayout& layout, PanelReactions& reactions) = 0;

  virtual std::string Text(ControlId control) const = 0;
  virtual void SetText(ControlId control, std::string_view text) = 0;
  virtual bool Enabled(ControlId control) const = 0;
  virtual void SetEnabled(ControlId control, bool enabled) = 0;
  virtual bool Visible(ControlId control) const = 0;
  virtual void SetVisible(ControlId control, bool visible) = 0;
  virtual void SetFocus(ControlId control) = 0;
  virtual ControlId Focused() const = 0;  // kNoControl when no control has the focus
  virtual bool PanelEnabled() const = 0;
  virtual void SetPanelEnabled(bool enabled) = 0;

  // List boxes and combo boxes.
  virtual void Clear(ControlId list) = 0;
  virtual void AddItem(ControlId list, std::string_view text) = 0;
  virtual int ListCount(ControlId list) const = 0;
  virtual std::string ItemText(ControlId list, int index) const = 0;
  virtual void SetItemText(ControlId list, int index, std::string_view text) = 0;  // list boxes
  virtual int ListIndex(ControlId list) const = 0;
  virtual void SetListIndex(ControlId list, int index) = 0;  // -1 .. ListCount-1

  // The vertical scroll bar.
  virtual int ScrollValue(ControlId bar) const = 0;
  virtual void SetScrollValue(ControlId bar, int value) = 0;
  virtual int ScrollMax(ControlId bar) const = 0;
  virtual void SetScrollMax(ControlId bar, int maximum) = 0;
  virtual bool ScrollUsable(ControlId bar) const = 0;
  virtual void SetScrollUsable(ControlId bar, bool usable) = 0;

  virtual void SetBusyPointer(bool busy) = 0;
  virtual bool BusyPointer() const = 0;
  virtual void DoEvents() = 0;
  virtual int MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
                     std::string_view title) = 0;
  virtual void CloseHost() = 0;
};

// A text box handed to an outside component (the converter reads the amount box through it).
class TextBox {
 public:
  TextBox(const Toolkit& toolkit, ControlId control) : toolkit_(toolkit), control_(control) {}
  std::string Text() const { return toolkit_.Text(control_); }

 private:
  const Toolkit& toolkit_;
  ControlId control_;
};

// Rule 11, shared by every toolkit's dispatch: shows an error that escaped a reaction.
void ShowEscapedError(Toolkit& toolkit, const ComponentError& error);

// Runs one reaction as a dispatch boundary (rule 11).
template <class Reaction>
void DispatchReaction(Toolkit& toolkit, Reaction&& reaction) {
  try {
    reaction();
  } catch (const ComponentError& error) {
    ShowEscapedError(toolkit, error);
  }
}

}  // namespace varnolde
