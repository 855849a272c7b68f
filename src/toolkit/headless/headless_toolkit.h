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
#include "toolkit/headless/clerk_types.h"

namespace varnolde {

// A Yes/No message box appeared while no answer was queued.
class UnansweredQuestion : public std::runtime_error {
 public:
  explicit UnansweredQuestion(const std::string& question);
  const std::string& question() const noexcept { return question_; }

 private:
  std::string question_;
};

class ClerkDriver;

class HeadlessToolkit final : public Toolkit {
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

  // Inspection, for tests, the clerk driver and RenderPanel.
  bool Attached() const;
  const PanelLayout& Layout() const;
  const ControlSpec& Definition(ControlId control) const;
  // The caret of a text box or editable combo box, in characters from the start of its text.
  int Caret(ControlId control) const;
  // Why a person could not act on control ("disabled", "invisible", "inside disabled frame
  // Fra_Contrats", "the panel is disabled", ...), or the empty text when they could. Kinds
  // that never take input (labels, frames) are judged by their flags and containers only.
  std::string UnreachableReason(ControlId control) const;
  // Whether the control kind can hold the keyboard focus: text boxes, combo boxes, list boxes
  // and buttons.
  static bool TakesFocus(ControlKind kind);

  // Every SetBusyPointer call, in order.
  const std::vector<bool>& BusyHistory() const;
  int DoEventsCount() const;
  bool HostClosed() const;
  const std::vector<ShownMessage>& Messages() const;

  // Queues the answer to the next Yes/No box: kAnswerYes or kAnswerNo, else
  // std::invalid_argument.
  void QueueAnswer(int answer);
  std::size_t PendingAnswers() const;

 private:
  friend class ClerkDriver;
  struct Rep;

  // A person's input as the window system delivers it. The ClerkDriver has checked that the
  // control is reachable and of the right kind.
  void InputFocus(ControlId control);           // the focus moves here (kLostFocus on the old)
  void InputTab();                              // the focus moves on in tab order
  void InputKey(ControlId control, int code);   // key press, then insert/delete, then kChange
  void InputClick(ControlId control);           // kClick
  void InputRowClick(ControlId list, int row);  // the row becomes current; kClick if it changed
  void InputDoubleClick(ControlId list);        // kDblClick
  void InputPick(ControlId combo, int index);   // text and index become the item's; kClick
  void InputScroll(ControlId bar, int value);   // arrow or page: kChange if the value changed
  void InputDrag(ControlId bar, int value);     // kScroll per step, kChange at release

  std::unique_ptr<Rep> rep_;
};

}  // namespace varnolde
