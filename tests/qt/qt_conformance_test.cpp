// The toolkit conformance suite on the Qt toolkit: real widgets on the offscreen platform,
// acted on with QTest key and mouse events.
#include "qt/qt_harness.h"

namespace varnolde::conformance {
namespace {

INSTANTIATE_TEST_SUITE_P(Qt, ToolkitConformance,
                         ::testing::Values(HarnessFactory(
                             "Qt", [] { return std::make_unique<qt_test::QtHarness>(); })),
                         HarnessFactoryName());

}  // namespace
}  // namespace varnolde::conformance
