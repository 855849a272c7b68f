// Crash safety: a clerk's process killed at random moments while validating advances.
#include <gtest/gtest.h>

#include "reliability/clerk_session.h"
#include "reliability/crash_harness.h"

namespace varnolde::reliability {
namespace {

TEST(CrashSafety, KilledValidationsAreKeptWholeOrNotAtAll) {
  ScratchDir dir("crash");
  constexpr int kKills = 220;
  const CrashRunReport report =
      RunCrashKills({.db_path = dir.File("crash.db"), .kills = kKills, .seed = 20020301});
  for (const std::string& violation : report.violations) ADD_FAILURE() << violation;
  EXPECT_EQ(report.kills, kKills);
  // The kills must have landed inside validations too, and the child must have got work done.
  EXPECT_GT(report.kills_during_validation, 0);
  EXPECT_GT(report.validations_returned, 0);
  std::cout << "kills " << report.kills << ", during a validation "
            << report.kills_during_validation << ", validations returned "
            << report.validations_returned << "\n";
}

}  // namespace
}  // namespace varnolde::reliability
