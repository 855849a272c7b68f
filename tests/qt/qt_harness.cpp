#include "qt/qt_harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace varnolde::qt_test {
namespace {

std::unique_ptr<QtApplication>& Application() {
  static std::unique_ptr<QtApplication> application;
  return application;
}

class ApplicationEnvironment final : public ::testing::Environment {
 public:
  void TearDown() override { Application().reset(); }
};

[[maybe_unused]] ::testing::Environment* const kApplicationEnvironment =
    ::testing::AddGlobalTestEnvironment(new ApplicationEnvironment);  // owned by GoogleTest

}  // namespace

void EnsureApplication() {
  if (Application()) return;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  Application() = std::make_unique<QtApplication>("varnolde_qt_test");
}

}  // namespace varnolde::qt_test
