// QtHarness: a person at the keyboard and mouse of a QtToolkit, for the conformance suite and
// the end-to-end tests of the panel on real widgets.
//
// The harness owns a top-level host window and the QtToolkit built inside it, shows and
// activates the window (offscreen platform), and acts with QTest key and mouse events sent to
// the real widgets: typed characters, Enter/Backspace/Escape/Tab, clicks on buttons and into
// text boxes, a click on a combo box's arrow then on the item in its popup list, clicks and
// double clicks on list rows, a drag of the scroll bar's thumb. Two things are not mouse
// events: moving the focus to a control (what the press of a click, or Tab, does first) and
// moving the scroll bar by an arrow or page click (the slider action such a click triggers),
// because the contract asks for one change of value where the mouse would step.
//
// As the conformance harness must, it refuses (HarnessRefusal, not a ComponentError) to act
// where a person could not, and a Yes/No message box with no queued answer is answered No and
// makes the Toolkit call that showed it, and the action during which it was shown, fail with
// HarnessRefusal. Message boxes are answered by clicking their buttons.
#pragma once

#include <deque>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "toolkit/harness.h"
#include "toolkit/qt/qt_toolkit.h"

class QWidget;

namespace varnolde::qt_test {

// The QApplication of the test process, created on first use on the offscreen platform
// (QT_QPA_PLATFORM=offscreen unless the environment chose one; QTEST_DISABLE_STACK_DUMP=1)
// and ended after the last test. Does nothing when a QApplication exists already.
void EnsureApplication();

class HarnessRefusal : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class QtHarness final : public conformance::ToolkitHarness {
 public:
  QtHarness();
  ~QtHarness() override;

  // Builds the controls (for the conformance suite) and shows the window. The panel calls
  // toolkit().Attach itself; the window is then shown by the first action, or by Show.
  void Attach(const PanelLayout& layout, PanelReactions& reactions) override;
  Toolkit& toolkit() override;
  QtToolkit& qt_toolkit();
  QWidget& host();
  void Show();

  void Type(ControlId control, std::string_view utf8_text) override;
  void PressKey(ControlId control, ClerkKey key) override;
  void Click(ControlId control) override;
  void Pick(ControlId combo, int index) override;
  void ClickRow(ControlId list, int row) override;
  void DoubleClickRow(ControlId list, int row) override;
  void MoveScroll(ControlId bar, int value) override;
  void DragScroll(ControlId bar, int value) override;
  void Focus(ControlId control) override;
  void QueueAnswer(int answer) override;

  std::vector<ShownMessage> Messages() override;
  bool HostClosed() override;

  class Rep;  // the message box watcher and the checked toolkit reach into it

 private:
  std::unique_ptr<Rep> rep_;
};

}  // namespace varnolde::qt_test
