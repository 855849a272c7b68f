// QtClerkToolkit: the Qt toolkit in a window of its own with a person at its keyboard and
// mouse. It is a QtToolkit (the panel is built on it as on any) and a DrivableToolkit
// (toolkit/drivable_toolkit.h), so that a ClerkDriver acts on real widgets exactly as on the
// headless toolkit, with the same checks and the same refusals: varnolde-script --toolkit qt,
// with --picture the screenshot of docs/, and the tests of the Qt toolkit use it.
//
// It owns a top-level host window holding the panel, with the window host's title and font.
// The window is shown once the panel is built, and activated before each input (or by Show).
// Input arrives as Qt events: typed characters and Enter, Backspace, Escape and Tab as key
// events; clicks on buttons, labels, frames and into text boxes, clicks and double clicks on
// list rows as mouse events (a row out of the list's view is first brought into it, which
// raises nothing); a pick as a click on the combo box's arrow, then on the item in its popup
// list; a drag as the mouse holding the scroll bar's thumb. Two things are not events: moving
// the focus to a control (what the press of a click does first) and moving the scroll bar by
// an arrow or page click (the slider action such a click triggers), because the contract asks
// for one change of value where the mouse would step.
//
// Message boxes are the toolkit's own modal QMessageBoxes, answered from inside their loop by
// a click on the answer's button: OK for an OK box, the oldest queued answer for a Yes/No box.
// With no answer queued, the question is closed with No, is not recorded, and the MsgBox call
// that showed it throws UnansweredQuestion. When that call ran inside a reaction to the
// clerk's input, where no exception may cross Qt's event loop, the input operation throws it
// once the event has been delivered (the toolkit's internal-error box for it is not recorded).
//
// The driver judges what a person can reach by the toolkit's flags; the input then checks that
// the widget it goes to is really shown and not greyed, so that a toolkit whose screen differs
// from its flags fails the action instead of reaching a widget no person could.
//
// Requires a QApplication on the calling thread (QtApplication makes one).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "toolkit/drivable_toolkit.h"
#include "toolkit/qt/qt_toolkit.h"

class QApplication;
class QWidget;

namespace varnolde {

// The QApplication of a program that drives the panel with QtClerkToolkit, made when the
// program has none yet and ended with this object. Without QT_QPA_PLATFORM, and with no
// display (neither DISPLAY nor WAYLAND_DISPLAY), it runs on Qt's offscreen platform: no screen
// is needed.
class QtApplication {
 public:
  explicit QtApplication(const char* program_name);
  ~QtApplication();
  QtApplication(const QtApplication&) = delete;
  QtApplication& operator=(const QtApplication&) = delete;

 private:
  std::unique_ptr<QApplication> application_;
};

namespace qt {
class ClerkWindow;
// Made before the QtToolkit base, which is built inside its window.
struct ClerkWindowHolder {
  ClerkWindowHolder();
  ~ClerkWindowHolder();
  std::unique_ptr<ClerkWindow> window;
};
}  // namespace qt

class QtClerkToolkit final : private qt::ClerkWindowHolder,
                             public QtToolkit,
                             public DrivableToolkit {
 public:
  QtClerkToolkit();
  ~QtClerkToolkit() override;

  // The window holding the panel, for a caller that gives it a title or font, or draws it.
  QWidget& Host();
  void Show();  // shows and activates the window
  // Saves the window as drawn now as a PNG picture at path: written beside it, then renamed
  // over it, so that a failure (std::runtime_error naming the file) leaves no half picture.
  void SavePicture(const std::string& path);

  // Toolkit: Attach notes the layout; MsgBox throws UnansweredQuestion as above.
  void Attach(const PanelLayout& layout, PanelReactions& reactions) override;
  int MsgBox(std::string_view text, MsgButtons buttons, MsgIcon icon,
             std::string_view title) override;

  // DrivableToolkit.
  const Toolkit& Screen() const override { return *this; }
  bool Attached() const override;
  const PanelLayout& Layout() const override;
  const std::vector<ShownMessage>& Messages() const override;
  void QueueAnswer(int answer) override;
  std::size_t PendingAnswers() const override;
  bool HostClosed() const override;

  void InputFocus(ControlId control) override;
  void InputTab() override;
  void InputKey(ControlId control, int code) override;
  void InputClick(ControlId control) override;
  void InputRowClick(ControlId list, int row) override;
  void InputDoubleClick(ControlId list) override;
  void InputPick(ControlId combo, int index) override;
  void InputScroll(ControlId bar, int value) override;
  void InputDrag(ControlId bar, int value) override;

 private:
  // Delivers one input: the window shown and active first; an unanswered question afterwards.
  template <class Events>
  void Deliver(Events&& events);
  // The widget of a control the driver found within reach, which the screen must show as such
  // (std::logic_error, a fault of the toolkit, when it is hidden or greyed).
  QWidget& Reached(ControlId control);
};

}  // namespace varnolde
