// Longer reliability runs, by hand (not part of ctest): docs/reliability.md.
//
//   reliability_long crash [KILLS] [SEED]
#include <cstdlib>
#include <iostream>
#include <string>

#include "reliability/clerk_session.h"
#include "reliability/crash_harness.h"

namespace {

using namespace varnolde::reliability;

int Crash(int kills, unsigned seed) {
  ScratchDir dir("crash-long");
  const CrashRunReport report = RunCrashKills({.db_path = dir.File("crash.db"), .kills = kills, .seed = seed});
  for (const std::string& violation : report.violations) std::cout << "VIOLATION " << violation << "\n";
  std::cout << "kills " << report.kills << ", during a validation " << report.kills_during_validation
            << ", validations returned " << report.validations_returned << ", violations "
            << report.violations.size() << "\n";
  return report.violations.empty() && report.kills == kills ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string run = argc > 1 ? argv[1] : "";
  const auto number = [&](int index, long fallback) {
    return argc > index ? std::strtol(argv[index], nullptr, 10) : fallback;
  };
  if (run == "crash") return Crash(static_cast<int>(number(2, 5000)), static_cast<unsigned>(number(3, 1)));
  std::cerr << "usage: reliability_long crash [KILLS] [SEED]\n";
  return 2;
}
