// DrivableToolkit: a toolkit with a person at its keyboard and mouse, as the clerk driver
// (toolkit/headless/clerk_driver.h) and the clerk-script runner (script/runner.h) reach it.
//
// Two toolkits offer it: HeadlessToolkit, which delivers a person's input in memory, and
// QtClerkToolkit (toolkit/qt/qt_clerk.h), which delivers it to real Qt widgets as key and
// mouse events. Either way a drivable toolkit
//  - shows what is on the screen through Screen(), the Toolkit the panel is built on;
//  - records every message box with the answer it got (Messages()), and answers the Yes/No
//    ones from a queue: an OK box is answered kAnswerOk and never takes a queued answer; a
//    Yes/No box takes the oldest answer queued with QueueAnswer, and with none queued the
//    action that brought it up (or the Toolkit call that showed it) throws UnansweredQuestion,
//    which is not a ComponentError, so that no resume-next procedure or dispatch swallows it;
//  - tells whether the host window was closed (CloseHost, the panel's "Sortir");
//  - takes a person's input through the Input operations. These check nothing: ClerkDriver
//    calls them only once it has checked that a person could do it (the control reachable
//    and of the right kind, the row or value existing), which is why they are meant for it
//    alone.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

#include "components/toolkit.h"
#include "toolkit/headless/clerk_types.h"

namespace varnolde {

// A Yes/No message box appeared while no answer was queued.
class UnansweredQuestion : public std::runtime_error {
 public:
  explicit UnansweredQuestion(const std::string& question)
      : std::runtime_error("a Yes/No message box was shown with no answer queued: \"" +
                           question + "\""),
        question_(question) {}
  const std::string& question() const noexcept { return question_; }

 private:
  std::string question_;
};

class DrivableToolkit {
 public:
  virtual ~DrivableToolkit() = default;

  // What the screen shows, read through the toolkit contract.
  virtual const Toolkit& Screen() const = 0;
  virtual bool Attached() const = 0;
  virtual const PanelLayout& Layout() const = 0;  // std::logic_error before Attach

  // Why a person could not act on control ("disabled", "invisible", "inside disabled frame
  // Fra_Contrats", "the panel is disabled", ...), or the empty text when they could. Read from
  // the control's own flags, those of the frames holding it and the panel's.
  std::string UnreachableReason(ControlId control) const {
    const Toolkit& screen = Screen();
    if (!screen.Visible(control)) return "invisible";
    if (!screen.Enabled(control)) return "disabled";
    const auto definition = [this](ControlId id) -> const ControlSpec& {
      return Layout().controls[static_cast<std::size_t>(id)];
    };
    for (ControlId frame = definition(control).container; frame != kNoControl;
         frame = definition(frame).container) {
      const std::string name(definition(frame).name);
      if (!screen.Visible(frame)) return "inside invisible frame " + name;
      if (!screen.Enabled(frame)) return "inside disabled frame " + name;
    }
    if (!screen.PanelEnabled()) return "the panel is disabled";
    return {};
  }

  // Whether a person can give the focus to a control of this kind: text boxes, combo boxes,
  // list boxes and buttons.
  static bool TakesFocus(ControlKind kind) {
    return kind == ControlKind::kTextBox || kind == ControlKind::kComboEdit ||
           kind == ControlKind::kComboList || kind == ControlKind::kListBox ||
           kind == ControlKind::kButton;
  }

  virtual const std::vector<ShownMessage>& Messages() const = 0;
  // Queues the answer to the next Yes/No box: kAnswerYes or kAnswerNo, else
  // std::invalid_argument (CheckedAnswer).
  virtual void QueueAnswer(int answer) = 0;
  virtual std::size_t PendingAnswers() const = 0;
  virtual bool HostClosed() const = 0;

  // answer when it is kAnswerYes or kAnswerNo; else std::invalid_argument.
  static int CheckedAnswer(int answer) {
    if (answer != kAnswerYes && answer != kAnswerNo) {
      throw std::invalid_argument("a queued answer must be Yes (6) or No (7), not " +
                                  std::to_string(answer));
    }
    return answer;
  }

  // A person's input as the window system delivers it, for ClerkDriver only.
  virtual void InputFocus(ControlId control) = 0;           // the focus moves here
  virtual void InputTab() = 0;                              // Tab in the focused control
  virtual void InputKey(ControlId control, int code) = 0;   // a character, 8, 13 or 27
  virtual void InputClick(ControlId control) = 0;           // a button, text box, label, frame
  virtual void InputRowClick(ControlId list, int row) = 0;  // a click on a list's row
  virtual void InputDoubleClick(ControlId list) = 0;        // the second click on the current row
  virtual void InputPick(ControlId combo, int index) = 0;   // an item of a combo box's list
  virtual void InputScroll(ControlId bar, int value) = 0;   // arrow or page: one step to value
  virtual void InputDrag(ControlId bar, int value) = 0;     // the thumb dragged to value
};

}  // namespace varnolde
