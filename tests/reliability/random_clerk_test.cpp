// A random clerk: thousands of seeded random actions on the panel, its invariants checked after
// every one (random_clerk.h).
#include <gtest/gtest.h>

#include "reliability/clerk_session.h"
#include "reliability/random_clerk.h"

namespace varnolde::reliability {
namespace {

RandomClerkReport RunAndCheck(const std::string& login, std::uint32_t seed, int events) {
  ScratchDir dir("random-clerk");
  RandomClerkReport report =
      RunRandomClerk({.db_path = dir.File("random.db"), .login = login, .seed = seed, .events = events});
  for (const std::string& violation : report.violations) ADD_FAILURE() << violation;
  EXPECT_EQ(report.events, events);
  // No error may escape a reaction: the clerk would see an "Erreur N" box.
  for (const auto& [text, trail] : report.escaped_error_trails) {
    ADD_FAILURE() << report.messages.at(text) << " x " << text;
    std::cout << report.messages.at(text) << " x " << text << "\n  first after:";
    for (std::size_t i = trail.size() > 8 ? trail.size() - 8 : 0; i < trail.size(); ++i) {
      std::cout << " | " << trail[i];
    }
    std::cout << "\n";
  }
  std::cout << login << ", seed " << seed << ": " << report.events << " events, "
            << report.refused << " refused, " << report.answers << " answers, "
            << report.validations << " validations, " << report.reopenings << " reopenings\n";
  return report;
}

TEST(RandomClerk, AClerkWhoMayChangeAdvancesKeepsEveryInvariant) {
  const RandomClerkReport report = RunAndCheck("gestionnaire", 20020301, 6000);
  // The run must have reached the places worth checking.
  EXPECT_GT(report.validations, 0);
  EXPECT_GT(report.answers, 0);
}

TEST(RandomClerk, AClerkWhoOnlyConsultsWritesNothing) {
  RunAndCheck("consultant", 20020402, 3000);
}

TEST(RandomClerk, ARestrictedClerkKeepsEveryInvariant) {
  RunAndCheck("restreint", 20020503, 2000);
}

}  // namespace
}  // namespace varnolde::reliability
