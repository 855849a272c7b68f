// The toolkit conformance suite and the harness through which it drives a toolkit.
//
// One suite, ToolkitConformance, checks the event semantics of components/toolkit.h on any
// Toolkit. A toolkit takes part by providing a ToolkitHarness: the toolkit itself, and a
// person acting on it (typing, clicking, picking, scrolling, answering message boxes). The
// suite builds a small panel of its own (ConformanceLayout) with a recording PanelReactions and
// calls only the harness and the Toolkit interface.
//
// Harness obligations, beyond doing what a person would do:
//  - An action on a control a person could not reach (disabled, invisible, inside a disabled
//    or invisible frame, the panel disabled, a scroll bar that is not usable, a row or item
//    that does not exist) throws an exception that is NOT a ComponentError and raises no
//    reaction.
//  - A Yes/No message box shown while no answer is queued throws an exception that is NOT a
//    ComponentError (so neither a resume-next procedure nor the dispatch swallows it). An OK
//    box is answered OK and never takes a queued answer. Messages() lists every answered box
//    in order.
//
// Adding a toolkit (for example in tests/qt, with ClerkHarness below for a drivable one):
//
//   namespace varnolde::conformance {
//   INSTANTIATE_TEST_SUITE_P(Qt, ToolkitConformance,
//                            ::testing::Values(HarnessFactory("Qt", [] { return MakeQtHarness(); })),
//                            HarnessFactoryName());
//   }
//
// and link the test executable against varnolde_conformance. (Constructing a HarnessFactory is
// what draws the suite's object file out of the static library; keep it in the instantiation.)
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "components/toolkit.h"
#include "toolkit/drivable_toolkit.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/clerk_types.h"

namespace varnolde::conformance {

class ToolkitHarness {
 public:
  virtual ~ToolkitHarness() = default;

  // Builds the panel from layout on the toolkit (Toolkit::Attach) and shows it if the toolkit
  // has a window. Called once, first.
  virtual void Attach(const PanelLayout& layout, PanelReactions& reactions) = 0;
  virtual Toolkit& toolkit() = 0;

  // A person's actions. Each one that targets a focusable control moves the focus there first.
  virtual void Type(ControlId control, std::string_view utf8_text) = 0;
  virtual void PressKey(ControlId control, ClerkKey key) = 0;
  virtual void Click(ControlId control) = 0;
  virtual void Pick(ControlId combo, int index) = 0;
  virtual void ClickRow(ControlId list, int row) = 0;
  virtual void DoubleClickRow(ControlId list, int row) = 0;
  virtual void MoveScroll(ControlId bar, int value) = 0;   // arrow or page click: one kChange
  virtual void DragScroll(ControlId bar, int value) = 0;   // kScroll while dragging, kChange at release
  virtual void Focus(ControlId control) = 0;
  virtual void QueueAnswer(int answer) = 0;  // kAnswerYes or kAnswerNo for the next question

  virtual std::vector<ShownMessage> Messages() = 0;
  virtual bool HostClosed() = 0;
};

// The harness of a drivable toolkit (the headless one, QtClerkToolkit): the clerk driver acts
// on it, as varnolde-script does.
template <class Drivable>
class ClerkHarness : public ToolkitHarness {
 public:
  void Attach(const PanelLayout& layout, PanelReactions& reactions) override {
    toolkit_.Attach(layout, reactions);
  }
  Toolkit& toolkit() override { return toolkit_; }
  Drivable& drivable() { return toolkit_; }

  void Type(ControlId control, std::string_view text) override { driver_.Type(control, text); }
  void PressKey(ControlId control, ClerkKey key) override { driver_.PressKey(control, key); }
  void Click(ControlId control) override { driver_.Click(control); }
  void Pick(ControlId combo, int index) override { driver_.Pick(combo, index); }
  void ClickRow(ControlId list, int row) override { driver_.ClickRow(list, row); }
  void DoubleClickRow(ControlId list, int row) override { driver_.DoubleClickRow(list, row); }
  void MoveScroll(ControlId bar, int value) override { driver_.MoveScroll(bar, value); }
  void DragScroll(ControlId bar, int value) override { driver_.DragScroll(bar, value); }
  void Focus(ControlId control) override { driver_.Focus(control); }
  void QueueAnswer(int answer) override { driver_.QueueAnswer(answer); }

  std::vector<ShownMessage> Messages() override { return toolkit_.Messages(); }
  bool HostClosed() override { return toolkit_.HostClosed(); }

 private:
  Drivable toolkit_;
  ClerkDriver driver_{toolkit_};
};

// A named way of making a fresh harness; the parameter of ToolkitConformance.
struct HarnessFactory {
  HarnessFactory(std::string name, std::function<std::unique_ptr<ToolkitHarness>()> make);
  std::string name;
  std::function<std::unique_ptr<ToolkitHarness>()> make;
};

void PrintTo(const HarnessFactory& factory, std::ostream* out);

// Names each instantiated case after its harness ("Headless", "Qt").
struct HarnessFactoryName {
  std::string operator()(const ::testing::TestParamInfo<HarnessFactory>& info) const;
};

class RecordingReactions;

// The fixture of the suite: a fresh harness attached to ConformanceLayout for every case. Each
// case starts with the focus given to txt_Libre by the clerk and an empty reaction log.
class ToolkitConformance : public ::testing::TestWithParam<HarnessFactory> {
 protected:
  ToolkitConformance();
  ~ToolkitConformance() override;
  void SetUp() override;

  ToolkitHarness& harness() { return *harness_; }
  Toolkit& toolkit() { return harness_->toolkit(); }
  RecordingReactions& reactions() { return *reactions_; }

 private:
  std::unique_ptr<RecordingReactions> reactions_;  // outlives the harness that calls it
  std::unique_ptr<ToolkitHarness> harness_;
};

}  // namespace varnolde::conformance

namespace varnolde {
// Readable failure messages for expectations on Messages().
void PrintTo(const ShownMessage& message, std::ostream* out);
}  // namespace varnolde
