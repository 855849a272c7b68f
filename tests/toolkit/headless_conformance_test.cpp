// The conformance suite on the headless toolkit, acted on by the clerk driver.
#include "toolkit/harness.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::conformance {
namespace {

INSTANTIATE_TEST_SUITE_P(Headless, ToolkitConformance,
                         ::testing::Values(HarnessFactory("Headless", [] {
                           return std::make_unique<ClerkHarness<HeadlessToolkit>>();
                         })),
                         HarnessFactoryName());

}  // namespace
}  // namespace varnolde::conformance
