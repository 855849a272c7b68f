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

// Shutting the server down at once in the middle of validations, over and over.
//
// RunServerShutdowns starts a server of its own (PrivateServer), makes the fixture database on
// it and seeds the tagged caregivers. One child opens the panel once and validates the three
// caregivers in turn, reporting the moment it presses Ok, each validation that returned, and
// each that did not (then it waits for its parent). Once per shutdown the parent waits until
// the child has pressed Ok (the first, second or third time, at random), waits a random delay
// within about a validation's time, shuts the server down (pg_ctl stop -m immediate), waits for
// the child to report its failure, starts the server again and checks, with connections of its
// own, as after a kill (the server's amcheck instead of SQLite's check). Then the child goes on
// with the same panel: its next action must reconnect. It is a violation too when the child
// fails while the server is up, or shows anything but the write-failure message, once, for a
// validation the shutdown interrupted.
struct ServerShutdownOptions {
  int shutdowns = 200;
  std::uint32_t seed = 1;
  int stop_after_violations = 20;
  std::function<std::shared_ptr<DatabaseLink>(std::shared_ptr<DatabaseLink>)> wrap_link = {};
};

struct ServerShutdownReport {
  int shutdowns = 0;
  int during_validation = 0;     // the validation in flight showed the write failure
  int in_flight_kept = 0;        // of which the server had committed it before going down
  int validations_returned = 0;  // validations that returned to the clerk
  std::vector<std::string> violations;
};

ServerShutdownReport RunServerShutdowns(const ServerShutdownOptions& options);

}  // namespace varnolde::reliability
