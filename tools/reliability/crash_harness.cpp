#include "reliability/crash_harness.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <random>
#include <sstream>

#include "mvdb/link.h"
#include "panel/layout.h"
#include "reliability/child_process.h"
#include "reliability/clerk_session.h"
#include "reliability/private_server.h"
#include "reliability/tagged_validations.h"

namespace varnolde::reliability {
namespace {

std::vector<std::string> AllTaggedKeys() {
  std::vector<std::string> keys;
  for (const char* caregiver : kTaggedCaregivers) {
    for (const std::string& key : AdvanceKeys(caregiver)) keys.push_back(key);
  }
  return keys;
}

// A child may run a few thousand validations before it is killed; tags stay below 100 000.
constexpr int kLastTagToStartFrom = 90000;

int CaregiverOf(int tag) { return tag % static_cast<int>(kTaggedCaregivers.size()); }

// The child: validates the caregivers in turn, with the tags that follow the newest one stored,
// until it is killed. Reports "B tag" just before pressing Ok and "E tag" once it returned.
// The tag after the newest one stored.
int NextTag(const std::string& db_path) {
  int next_tag = 0;
  const auto stored = ReadAdvances(db_path, AllTaggedKeys());
  for (const char* caregiver : kTaggedCaregivers) {
    std::string why;
    auto tag = StoredTag(stored, caregiver, &why);
    if (!tag) throw std::runtime_error("at start: " + why);
    next_tag = std::max(next_tag, *tag + 1);
  }
  return next_tag;
}

void ValidateUntilKilled(const CrashRunOptions& options, int report_fd) {
  const std::string& db_path = options.db_path;
  const int next_tag = NextTag(db_path);
  std::shared_ptr<DatabaseLink> link = mvdb::OpenDatabase(db_path);
  if (options.wrap_link) link = options.wrap_link(link);
  ClerkSession session(link);
  session.ChooseEntity();
  for (int tag = next_tag;; ++tag) {
    auto shown = RunTaggedValidation(session, kTaggedCaregivers[CaregiverOf(tag)], tag, [&] {
      WriteLine(report_fd, "B " + std::to_string(tag) + "\n");
    });
    if (!shown.empty()) throw std::runtime_error("validation " + std::to_string(tag) + " showed " + shown[0]);
    WriteLine(report_fd, "E " + std::to_string(tag) + "\n");
  }
}

std::string LastLine(const std::string& text) {
  std::istringstream lines(text);
  std::string line, last;
  while (std::getline(lines, line)) last = line;
  return last;
}

// Stores the first tags, 0, 1 and 2, for the three caregivers.
void SeedFirstTags(const std::string& db_path, std::vector<int>& baseline) {
  auto link = mvdb::OpenDatabase(db_path);
  baseline.clear();
  for (int c = 0; c < static_cast<int>(kTaggedCaregivers.size()); ++c) {
    SeedTag(*link, kTaggedCaregivers[c], c);
    baseline.push_back(c);
  }
}

long long MicrosecondsNow() {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// "what tag time", a line of the child of a shutdown run.
std::string Said(const std::string& what, int tag) {
  return what + " " + std::to_string(tag) + " " + std::to_string(MicrosecondsNow());
}

// The child of a shutdown run: validates the caregivers in turn with the tags that follow the
// newest one stored, on one panel. Reports "B tag time" just before pressing Ok, "E tag time"
// once the validation returned, and, when a validation showed something or the caregiver could
// not be loaded, "F tag time" (the write failure, once), "U tag time | messages" (not loaded)
// or "O tag time | messages" (anything else), then waits for its parent. Times are of the
// steady clock, in microseconds.
void ValidateThroughShutdowns(const ServerShutdownOptions& options, const std::string& db_path,
                              int report_fd, int command_fd) {
  const int next_tag = NextTag(db_path);
  std::shared_ptr<DatabaseLink> link = mvdb::OpenDatabase(db_path);
  if (options.wrap_link) link = options.wrap_link(link);
  ClerkSession session(link);
  for (int tag = next_tag; tag < kLastTagToStartFrom; ++tag) {
    const std::size_t first = session.toolkit().Messages().size();
    std::string outcome = "O", why;
    // A caregiver whose contracts cannot be read (the server is down) has none for the panel,
    // which offers the previous month's: the clerk says no.
    if (session.toolkit().PendingAnswers() == 0) session.toolkit().QueueAnswer(kAnswerNo);
    try {
      session.ChooseEntity();
      const auto shown = RunTaggedValidation(session, kTaggedCaregivers[CaregiverOf(tag)], tag,
                                             [&] { WriteLine(report_fd, Said("B", tag) + "\n"); });
      if (shown.empty()) {
        WriteLine(report_fd, Said("E", tag) + "\n");
        continue;
      }
      if (shown == std::vector<std::string>{kWriteFailedMessage}) outcome = "F";
    } catch (const std::runtime_error& e) {
      outcome = "U";
      why = std::string(" (") + e.what() + ")";
      // What the link itself says of a read now: the reason the panel does not show.
      try {
        link->OpenFile("ACOMPTEBULL")->Read(AdvanceKeys(kTaggedCaregivers[CaregiverOf(tag)])[0]);
      } catch (const std::exception& read) {
        why += std::string(" (a read: ") + read.what() + ")";
      }
      try {
        session.clerk().Click(panel::Cmd_AnnulerGene);
      } catch (const ClerkRefusal&) {
        // Nothing was loaded: nothing to drop.
      }
    }
    std::string line = Said(outcome, tag) + why + " |";
    for (std::string text : session.MessagesSince(first)) {
      std::replace(text.begin(), text.end(), '\r', ' ');
      std::replace(text.begin(), text.end(), '\n', ' ');
      line += " " + text;
    }
    WriteLine(report_fd, line + "\n");
    if (!AwaitParent(command_fd)) return;
  }
  throw std::runtime_error("no tag left");
}

// Checks the database after a kill or a shutdown: sound, every caregiver's rows of one
// validation, each the one expected (the last that returned to the clerk) or the one in flight
// (-1: none). Records what is wrong in violations, each line beginning with run; baseline
// takes the tags found. Returns whether the validation in flight was found stored.
bool CheckStored(const std::string& db_path, const std::string& run,
                 const std::vector<int>& expected, int in_flight, std::vector<int>& baseline,
                 std::vector<std::string>& violations) {
  const std::string integrity = IntegrityCheck(db_path);
  if (integrity != "ok") violations.push_back(run + "integrity check: " + integrity);
  const auto stored = ReadAdvances(db_path, AllTaggedKeys());
  bool in_flight_stored = false;
  for (int c = 0; c < static_cast<int>(kTaggedCaregivers.size()); ++c) {
    std::string why;
    auto found = StoredTag(stored, kTaggedCaregivers[c], &why);
    const bool is_in_flight = found && in_flight >= 0 && CaregiverOf(in_flight) == c &&
                              *found == in_flight && in_flight != expected[c];
    if (!found) {
      violations.push_back(run + "split validation: " + why);
    } else if (*found != expected[c] && !is_in_flight) {
      violations.push_back(run + kTaggedCaregivers[c] + " holds validation " +
                           std::to_string(*found) + ", expected " + std::to_string(expected[c]) +
                           (in_flight >= 0 ? " or " + std::to_string(in_flight) : ""));
    } else {
      baseline[c] = *found;
      in_flight_stored = in_flight_stored || is_in_flight;
    }
  }
  return in_flight_stored;
}

}  // namespace

CrashRunReport RunCrashKills(const CrashRunOptions& options) {
  CrashRunReport report;
  MakeFixtureDatabase(options.db_path);
  // The tag each caregiver's rows were last seen to hold.
  std::vector<int> baseline;
  SeedFirstTags(options.db_path, baseline);
  std::mt19937 random(options.seed);
  std::uniform_int_distribution<int> delay(0, options.max_delay_us);

  for (int attempt = 0; report.kills < options.kills; ++attempt) {
    const std::string run = "kill " + std::to_string(attempt + 1) + ": ";
    ChildProcess child;
    child.Start([&](int fd) { ValidateUntilKilled(options, fd); });
    ::usleep(static_cast<useconds_t>(delay(random)));
    child.Kill();
    const std::string said = child.Wait();
    if (child.Killed()) {
      ++report.kills;
    } else {
      report.violations.push_back(run + "the child ended on its own (" + child.Outcome() +
                                  "): " + LastLine(said));
    }

    // What the child got through: the last validation returned per caregiver, and the one in
    // flight.
    std::vector<int> expected = baseline;
    int in_flight = -1;
    std::istringstream lines(said);
    std::string what;
    int tag = 0;
    while (lines >> what >> tag) {
      if (what == "B") in_flight = tag;
      if (what == "E") {
        expected[CaregiverOf(tag)] = tag;
        in_flight = -1;
        ++report.validations_returned;
      }
    }
    if (child.Killed() && in_flight >= 0) ++report.kills_during_validation;

    CheckStored(options.db_path, run, expected, in_flight, baseline, report.violations);
    if (static_cast<int>(report.violations.size()) >= options.stop_after_violations) break;
    // Amounts have at most five integer digits: start the tags again before they run out.
    if (*std::max_element(baseline.begin(), baseline.end()) > kLastTagToStartFrom) {
      SeedFirstTags(options.db_path, baseline);
    }
  }
  return report;
}

ServerShutdownReport RunServerShutdowns(const ServerShutdownOptions& options) {
  ::signal(SIGPIPE, SIG_IGN);  // a word to a child that is gone must not end the run
  ServerShutdownReport report;
  PrivateServer server;
  const std::string db = server.CreateDatabase("shutdowns");
  MakeFixtureDatabase(db);
  std::vector<int> baseline;
  SeedFirstTags(db, baseline);
  std::mt19937 random(options.seed);
  ChildProcess child;
  child.Start([&](int report_fd, int command_fd) {
    ValidateThroughShutdowns(options, db, report_fd, command_fd);
  });

  std::vector<int> expected = baseline;
  int in_flight = -1;
  long long pressed_at = 0, validating_us = 0;  // the last Ok pressed; all validations' time
  // Reads the child's next line and keeps track of what it got through; false at its end or
  // after a minute of silence.
  std::string line, what;
  int tag = 0;
  long long at = 0;
  const auto next = [&](const std::string& run) {
    if (!child.ReadLine(line, 60000)) {
      report.violations.push_back(run + "the child said nothing more for a minute, or ended: " +
                                  child.Wait());
      return false;
    }
    std::istringstream words(line);
    words >> what >> tag >> at;
    if (what == "B") {
      in_flight = tag;
      pressed_at = at;
    } else if (what == "E") {
      expected[CaregiverOf(tag)] = tag;
      in_flight = -1;
      validating_us += at - pressed_at;
      ++report.validations_returned;
    }
    return true;
  };

  while (report.shutdowns < options.shutdowns &&
         static_cast<int>(report.violations.size()) < options.stop_after_violations) {
    const std::string run = "shutdown " + std::to_string(report.shutdowns + 1) + ": ";
    // The clerk presses Ok, once to three times; the server goes down within about as long as
    // a validation takes.
    int presses = std::uniform_int_distribution<int>(1, 3)(random);
    while (presses > 0) {
      if (!next(run)) return report;
      if (what == "B") --presses;
      if (what != "B" && what != "E") {
        report.violations.push_back(run + "a validation failed while the server was up: " + line);
        if (static_cast<int>(report.violations.size()) >= options.stop_after_violations) break;
        child.Tell();
      }
    }
    if (presses > 0) break;
    const long long mean_us = validating_us / std::max(1, report.validations_returned);
    const int delay_us = std::uniform_int_distribution<int>(
        0, static_cast<int>(std::max<long long>(2000, mean_us * 2)))(random);
    ::usleep(static_cast<useconds_t>(delay_us));
    const long long stopped_at = MicrosecondsNow();
    server.Crash();
    ++report.shutdowns;
    do {
      if (!next(run)) return report;
    } while (what == "B" || what == "E");
    if (at < stopped_at) {
      report.violations.push_back(run + "a validation failed before the shutdown: " + line);
    }
    if (what == "F") {
      ++report.during_validation;
    } else {
      in_flight = -1;  // not loaded: nothing was in flight
      if (what != "U") report.violations.push_back(run + "the clerk saw: " + line);
    }
    server.Resume();
    if (CheckStored(db, run, expected, in_flight, baseline, report.violations)) {
      ++report.in_flight_kept;
    }
    expected = baseline;
    in_flight = -1;
    child.Tell();
  }
  child.Kill();
  child.Wait();
  return report;
}

}  // namespace varnolde::reliability
