// Killing a clerk in the middle of validations, over and over, and checking the database after
// each kill.
//
// RunCrashKills makes the fixture database at db_path and seeds the caregivers of the tagged
// validations (tagged_validations.h). Then, once per kill, it forks a child that opens the panel
// on the database and validates the three caregivers in turn with ever higher tags, reporting
// each validation it starts and each that returned; after a random delay the parent sends the
// child SIGKILL. After every kill the parent checks, with connections of its own:
//   - SQLite's PRAGMA integrity_check answers "ok";
//   - every caregiver's rows are all those of one validation (none split);
//   - no validation that returned to the clerk is lost, and nothing newer than the one in
//     flight is stored.
// Every violation is recorded in the report (the run goes on); a child that ends on its own
// counts as a violation too, with what it reported.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/database.h"

namespace varnolde::reliability {

struct CrashRunOptions {
  std::string db_path;
  int kills = 200;
  std::uint32_t seed = 1;
  int max_delay_us = 40000;  // the kill comes after 0 .. max_delay_us of the child's life
  int stop_after_violations = 20;
  // What the child's panel gets instead of the plain link (to check that the checks can fail).
  std::function<std::shared_ptr<DatabaseLink>(std::shared_ptr<DatabaseLink>)> wrap_link = {};
};

struct CrashRunReport {
  int kills = 0;                     // children killed while running
  int kills_during_validation = 0;   // of which between pressing Ok and its return
  int validations_returned = 0;      // validations that completed before a kill
  std::vector<std::string> violations;
};

CrashRunReport RunCrashKills(const CrashRunOptions& options);

}  // namespace varnolde::reliability
