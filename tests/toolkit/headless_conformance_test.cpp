// The conformance suite on the headless toolkit, acted on by the clerk driver.
#include "toolkit/harness.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::conformance {
namespace {

class HeadlessHarness final : public ToolkitHarness {
 public:
  void Attach(const PanelLayout& layout, PanelReactions& reactions) override {
    toolkit_.Attach(layout, reactions);
  }
  Toolkit& toolkit() override { return toolkit_; }

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
  HeadlessToolkit toolkit_;
  ClerkDriver driver_{toolkit_};
};

INSTANTIATE_TEST_SUITE_P(Headless, ToolkitConformance,
                         ::testing::Values(HarnessFactory(
                             "Headless", [] { return std::make_unique<HeadlessHarness>(); })),
                         HarnessFactoryName());

}  // namespace
}  // namespace varnolde::conformance
