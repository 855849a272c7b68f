// Longer reliability runs, by hand (not part of ctest); docs/reliability.md gives the figures.
//
//   reliability_long crash [KILLS] [SEED]                  a validating clerk killed KILLS times
//   reliability_long random-clerk [EVENTS] [SEED] [LOGIN]  a random clerk, invariants checked
//
// Exit status 0 when every check held, 1 otherwise (each violation is printed), 2 for usage.
#include <cstdlib>
#include <iostream>
#include <string>

#include "reliability/clerk_session.h"
#include "reliability/crash_harness.h"
#include "reliability/random_clerk.h"

namespace {

using namespace varnolde::reliability;

int Crash(int kills, unsigned seed) {
  ScratchDir dir("crash-long");
  const CrashRunReport report =
      RunCrashKills({.db_path = dir.File("crash.db"), .kills = kills, .seed = seed});
  for (const std::string& violation : report.violations) std::cout << "VIOLATION " << violation << "\n";
  std::cout << "kills " << report.kills << ", during a validation "
            << report.kills_during_validation << ", validations returned "
            << report.validations_returned << ", violations " << report.violations.size() << "\n";
  return report.violations.empty() && report.kills == kills ? 0 : 1;
}

int Random(int events, unsigned seed, const std::string& login) {
  ScratchDir dir("random-long");
  const RandomClerkReport report = RunRandomClerk(
      {.db_path = dir.File("random.db"), .login = login, .seed = seed, .events = events});
  for (const std::string& violation : report.violations) std::cout << "VIOLATION " << violation << "\n";
  for (const auto& [text, trail] : report.escaped_error_trails) {
    std::cout << report.messages.at(text) << " x " << text << "\n";
  }
  std::cout << login << ", seed " << seed << ": " << report.events << " events, "
            << report.refused << " refused, " << report.answers << " answers, "
            << report.validations << " validations, " << report.reopenings << " reopenings, "
            << report.violations.size() << " violations\n";
  return report.violations.empty() && report.events == events ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string run = argc > 1 ? argv[1] : "";
  const auto number = [&](int index, long fallback) {
    return argc > index ? std::strtol(argv[index], nullptr, 10) : fallback;
  };
  if (run == "crash") {
    return Crash(static_cast<int>(number(2, 5000)), static_cast<unsigned>(number(3, 1)));
  }
  if (run == "random-clerk") {
    return Random(static_cast<int>(number(2, 200000)), static_cast<unsigned>(number(3, 1)),
                  argc > 4 ? argv[4] : "gestionnaire");
  }
  std::cerr << "usage: reliability_long crash [KILLS] [SEED]\n"
               "       reliability_long random-clerk [EVENTS] [SEED] [LOGIN]\n";
  return 2;
}
