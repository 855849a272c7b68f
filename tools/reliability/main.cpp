// varnolde-reliability: the crash and random-clerk runs, short in the test suite and long by
// hand (docs/reliability.md gives the figures).
//
//   varnolde-reliability crash [KILLS] [SEED]                  a validating clerk killed KILLS times
//   varnolde-reliability server-crash [SHUTDOWNS] [SEED]       its server shut down at once
//   varnolde-reliability random-clerk [EVENTS] [SEED] [LOGIN]  a random clerk, invariants checked
//
// Each run works on a fresh database in a folder of its own under the temporary folder; the
// server run on a PostgreSQL server of its own (scripts/pg-test-server.sh), stopped at the end.
// Exit status 0 when every check held, 1 otherwise (each violation is printed), 2 for usage,
// 77 when the server run finds no PostgreSQL installed.
#include <stdlib.h>

#include <stdexcept>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "reliability/crash_harness.h"
#include "reliability/private_server.h"
#include "reliability/random_clerk.h"

namespace {

using namespace varnolde::reliability;

// A new folder for one run's database, removed at the end of the run.
class RunFolder {
 public:
  RunFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "varnolde-run-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
    path_ = pattern;
  }
  ~RunFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string Database() const { return (path_ / "run.db").string(); }

 private:
  std::filesystem::path path_;
};

int Crash(int kills, unsigned seed) {
  RunFolder folder;
  const CrashRunReport report = RunCrashKills({.db_path = folder.Database(), .kills = kills, .seed = seed});
  for (const std::string& violation : report.violations) std::cout << "VIOLATION " << violation << "\n";
  std::cout << "kills " << report.kills << ", during a validation "
            << report.kills_during_validation << ", validations returned "
            << report.validations_returned << ", violations " << report.violations.size() << "\n";
  // A run whose kills never landed inside a validation, or that got no work done, proves nothing.
  return report.violations.empty() && report.kills == kills && report.kills_during_validation > 0 &&
                 report.validations_returned > 0
             ? 0
             : 1;
}

int ServerCrash(int shutdowns, unsigned seed) {
  if (!PrivateServer::Installed()) {
    std::cout << "PostgreSQL is not installed (scripts/install-deps.sh): nothing run\n";
    return 77;
  }
  const auto started = std::chrono::steady_clock::now();
  const ServerShutdownReport report = RunServerShutdowns({.shutdowns = shutdowns, .seed = seed});
  for (const std::string& violation : report.violations) {
    std::cout << "VIOLATION " << violation << "\n";
  }
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::steady_clock::now() - started);
  std::cout << "shutdowns " << report.shutdowns << ", during a validation "
            << report.during_validation << " (committed before the shutdown "
            << report.in_flight_kept << "), validations returned " << report.validations_returned
            << ", violations " << report.violations.size() << ", " << seconds.count() << " s\n";
  // A run whose shutdowns never landed inside a validation, or that got no work done, proves
  // nothing.
  return report.violations.empty() && report.shutdowns == shutdowns &&
                 report.during_validation > 0 && report.validations_returned > 0
             ? 0
             : 1;
}

int Random(int events, unsigned seed, const std::string& login) {
  RunFolder folder;
  const RandomClerkReport report =
      RunRandomClerk({.db_path = folder.Database(), .login = login, .seed = seed, .events = events});
  for (const std::string& violation : report.violations) std::cout << "VIOLATION " << violation << "\n";
  // No error may escape a reaction: the clerk would see an "Erreur N" box.
  for (const auto& [text, trail] : report.escaped_error_trails) {
    std::cout << "ESCAPED " << report.messages.at(text) << " x " << text << "\n  first after:";
    for (std::size_t i = trail.size() > 8 ? trail.size() - 8 : 0; i < trail.size(); ++i) {
      std::cout << " | " << trail[i];
    }
    std::cout << "\n";
  }
  std::cout << login << ", seed " << seed << ": " << report.events << " events, "
            << report.refused << " refused, " << report.answers << " answers, "
            << report.validations << " validations, " << report.reopenings << " reopenings, "
            << report.violations.size() << " violations\n";
  return report.violations.empty() && report.escaped_error_trails.empty() && report.events == events
             ? 0
             : 1;
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
  if (run == "server-crash") {
    return ServerCrash(static_cast<int>(number(2, 200)), static_cast<unsigned>(number(3, 1)));
  }
  if (run == "random-clerk") {
    return Random(static_cast<int>(number(2, 200000)), static_cast<unsigned>(number(3, 1)),
                  argc > 4 ? argv[4] : "gestionnaire");
  }
  std::cerr << "usage: varnolde-reliability crash [KILLS] [SEED]\n"
               "       varnolde-reliability server-crash [SHUTDOWNS] [SEED]\n"
               "       varnolde-reliability random-clerk [EVENTS] [SEED] [LOGIN]\n";
  return 2;
}
