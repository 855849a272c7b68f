// HeadlessToolkit: the toolkit contract (components/toolkit.h) kept entirely in memory.
//
// A real implementation, not a mock: it builds the panel's controls from the PanelLayout, keeps
// their texts, lists, flags, focus and caret, and raises the panel's reactions exactly as the
// contract's rules say, each reaction a dispatch boundary (rule 11). Nothing is drawn and no
// event is ever pending: every reaction runs at once, nested in what caused it.
//
// What the contract leaves to the screen is recorded instead: every SetBusyPointer call, the
// DoEvents calls, CloseHost, and every message box with the answer it got. A person's input
// (typing, clicks, picks, scrolling) comes only through a ClerkDriver, which checks first that a
// person could reach the control.
//
// Message boxes: an OK box is answered kAnswerOk. A Yes/No box takes the oldest answer queued
// with QueueAnswer; when none is queued it throws UnansweredQuestion, which is not a
// ComponentError, so that neither a resume-next procedure nor the dispatch swallows it: the test
// or the script fails at the question.
//
// Ownership: the layout and the reactions given to Attach must outlive the toolkit's use of
// them. Toolkit operations raise ComponentError err::kInvalidCall for an unknown control, a
// control of the wrong kind, an index out of range, or a focus that a person could not give.
// Using the toolkit before Attach, or attaching twice, throws std::logic_error.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "components/toolkit.h"
#include "toolkit/drivable_toolkit.h"
#include "toolkit/headless/clerk_types.h"

namespace varnolde {

class HeadlessToolkit final : public Toolkit, public DrivableToolkit {
 public:
  HeadlessToolkit();
  ~HeadlessToolkit() override;
  HeadlessToolkit(const HeadlessToolkit&) = delete;
  HeadlessToolkit& operator=(const HeadlessToolkit&) = delete;

  // Toolkit. Text() of a label, frame or button is its caption (SetText changes it, raising
  // nothing); a scroll bar has no text.
  void Attach(const PanelLayout& layout, PanelReactions& reactions) override;
  std::string Text(ControlId control) const override;
  void SetText(ControlId control, std::string_view text) override;
  bool Enabled(ControlId control) const override;
  void SetEnabled(ControlId control, bool enabled) override;
  bool Visible(ControlId control) const override;
  void SetVisible(ControlId control, bool visible) override;
  void SetFocus(ControlId control) override;
  ControlId Focused() const override;
  bool PanelEnabled() const override;
  void SetPanelEnabled(bool enabled) override;
  void Clear(ControlId list) override;
  void AddItem(ControlId list, std::string_view text) override;
  int ListCount(ControlId list) const override;
  std::string ItemText(ControlId list, int index) const override;
  void SetItemText(ControlId list, int index, std::string_view text) override;
  int ListIndex(ControlId list) const override;
  void SetListIndex(ControlId list, int index) override;
  int ScrollValue(ControlId bar) const override;
  void SetScrollValue(ControlId bar, int value) override;
  int ScrollMax(ControlId bar) const override;  // as last set, -1 included
  void SetScrollMax(ControlId bar, int maximum) override;
  bool ScrollUsable(ControlId bar) const override;
  void SetScrollUsable(ControlId bar, bool usable) override;
  void SetBusyPointer(bool busy) override;
  bool BusyPointer() const override;
  void DoEvents() override;
  int MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
             std::string_view title) override;
  void CloseHost() override;

  // Inspection, for tests, the clerk driver and RenderPanel (DrivableToolkit gives
  // UnreachableReason and TakesFocus).
  const Toolkit& Screen() const override { return *this; }
  bool Attached() const override;
  const PanelLayout& Layout() const override;
  const ControlSpec& Definition(ControlId control) const;
  // The caret of a text box or editable combo box, in characters from the start of its text.
  int Caret(ControlId control) const;

  // Every SetBusyPointer call, in order.
  const std::vector<bool>& BusyHistory() const;
  int DoEventsCount() const;
  bool HostClosed() const override;
  const std::vector<ShownMessage>& Messages() const override;

  void QueueAnswer(int answer) override;
  std::size_t PendingAnswers() const override;

 private:
  struct Rep;

  // A person's input as the window system delivers it. The ClerkDriver has checked that the
  // control is reachable and of the right kind.
  void InputFocus(ControlId control) override;           // kLostFocus on the old focus
  void InputTab() override;                              // on in tab order, wrapping
  void InputKey(ControlId control, int code) override;   // key press, insert/delete, kChange
  void InputClick(ControlId control) override;           // kClick
  void InputRowClick(ControlId list, int row) override;  // current row; kClick if it changed
  void InputDoubleClick(ControlId list) override;        // kDblClick
  void InputPick(ControlId combo, int index) override;   // the item's text and index; kClick
  void InputScroll(ControlId bar, int value) override;   // kChange if the value changed
  void InputDrag(ControlId bar, int value) override;     // kScroll per step, kChange at release

  std::unique_ptr<Rep> rep_;
};

}  // namespace varnolde
