#include "reliability/crash_harness.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>

#include "mvdb/link.h"
#include "reliability/child_process.h"
#include "reliability/clerk_session.h"
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
void ValidateUntilKilled(const CrashRunOptions& options, int report_fd) {
  const std::string& db_path = options.db_path;
  int next_tag = 0;
  const auto stored = ReadAdvances(db_path, AllTaggedKeys());
  for (const char* caregiver : kTaggedCaregivers) {
    std::string why;
    auto tag = StoredTag(stored, caregiver, &why);
    if (!tag) throw std::runtime_error("at start: " + why);
    next_tag = std::max(next_tag, *tag + 1);
  }
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

    const std::string integrity = IntegrityCheck(options.db_path);
    if (integrity != "ok") report.violations.push_back(run + "integrity check: " + integrity);
    const auto stored = ReadAdvances(options.db_path, AllTaggedKeys());
    for (int c = 0; c < static_cast<int>(kTaggedCaregivers.size()); ++c) {
      std::string why;
      auto found = StoredTag(stored, kTaggedCaregivers[c], &why);
      if (!found) {
        report.violations.push_back(run + "split validation: " + why);
      } else if (*found != expected[c] && !(in_flight >= 0 && CaregiverOf(in_flight) == c &&
                                             *found == in_flight)) {
        report.violations.push_back(run + kTaggedCaregivers[c] + " holds validation " +
                                    std::to_string(*found) + ", expected " +
                                    std::to_string(expected[c]) +
                                    (in_flight >= 0 ? " or " + std::to_string(in_flight) : ""));
      } else {
        baseline[c] = *found;
      }
    }
    if (static_cast<int>(report.violations.size()) >= options.stop_after_violations) break;
    // Amounts have at most five integer digits: start the tags again before they run out.
    if (*std::max_element(baseline.begin(), baseline.end()) > kLastTagToStartFrom) {
      SeedFirstTags(options.db_path, baseline);
    }
  }
  return report;
}

}  // namespace varnolde::reliability
