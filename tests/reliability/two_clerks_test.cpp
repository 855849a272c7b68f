// Two clerks at once: two processes, each with its panel on the same database (a file, or a
// database on the test server), validating the same caregiver and one of their own in turn. No
// validation is split or silently dropped, and the stored advances are those of the last
// validation that went through.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "mvdb/link.h"
#include "panel/layout.h"
#include "support/support.h"
#include "reliability/child_process.h"
#include "reliability/clerk_session.h"
#include "reliability/tagged_validations.h"
#include "storages.h"

namespace varnolde::reliability {

namespace {

constexpr char kShared[] = "00021";
const std::map<int, std::string> kOwn = {{1, "00022"}, {2, "00023"}};

// One clerk's run: validation i (from 1) is of the shared caregiver when i is even, else of
// the clerk's own, with the tag clerk * 10000 + i. Reports one line per validation:
// "tag caregiver ok", "tag caregiver failed" (the write failure shown once), "tag caregiver
// changed" (the other clerk validated the caregiver since it was loaded: nothing written),
// "tag caregiver unloaded" (the caregiver's rows could not be shown), or "tag caregiver other
// MESSAGES"; after a validation kept, "split after tag: WHY" when the stored rows of one of its
// caregivers were of no single validation right after.
void Clerk(const std::string& db_path, int clerk, int validations, int busy_timeout_ms,
           int report_fd) {
  ClerkSession session(
      mvdb::OpenDatabase(db_path, mvdb::OpenOptions{.busy_timeout_ms = busy_timeout_ms}));
  session.ChooseEntity();
  auto reader = mvdb::OpenMvdb(db_path, mvdb::OpenOptions{.read_only = true});
  for (int i = 1; i <= validations; ++i) {
    const int tag = clerk * 10000 + i;
    const std::string caregiver = i % 2 == 0 ? kShared : kOwn.at(clerk);
    std::string outcome, split;
    try {
      const auto shown = RunTaggedValidation(session, caregiver, tag);
      if (shown.empty()) {
        outcome = "ok";
        // The stored rows as of one moment right after: a validation split by the other
        // clerk's shows here, before a later validation writes over it.
        std::vector<std::string> keys = AdvanceKeys(kShared);
        for (const std::string& key : AdvanceKeys(kOwn.at(clerk))) keys.push_back(key);
        try {
          const auto stored = ReadAdvances(*reader, keys);
          for (const std::string& each : {std::string(kShared), kOwn.at(clerk)}) {
            std::string why;
            if (!StoredTag(stored, each, &why)) split += " " + why;
          }
        } catch (const std::exception& e) {
          split = std::string(" unread: ") + e.what();
        }
      } else if (shown == std::vector<std::string>{kWriteFailedMessage}) {
        outcome = "failed";
      } else if (shown == std::vector<std::string>{kChangedByOtherMessage}) {
        outcome = "changed";
      } else {
        outcome = "other";
        for (const std::string& text : shown) outcome += " " + text;
      }
    } catch (const std::runtime_error&) {
      outcome = "unloaded";
      try {
        session.clerk().Click(panel::Cmd_AnnulerGene);
      } catch (const ClerkRefusal&) {
        // Nothing was loaded: nothing to drop.
      }
    }
    WriteLine(report_fd, std::to_string(tag) + " " + caregiver + " " + outcome + "\n");
    if (!split.empty()) {
      WriteLine(report_fd, "split after " + std::to_string(tag) + ":" + split + "\n");
    }
  }
}

struct ClerkRecord {
  std::map<std::string, int> outcomes;           // outcome -> count
  std::map<std::string, int> last_ok;            // caregiver -> tag of its last validation kept
  std::vector<std::string> odd_lines;
};

ClerkRecord Parse(const std::string& said) {
  ClerkRecord record;
  std::istringstream lines(said);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream words(line);
    int tag = 0;
    std::string caregiver, outcome;
    if (!(words >> tag >> caregiver >> outcome) || outcome == "other") {
      record.odd_lines.push_back(line);
      continue;
    }
    ++record.outcomes[outcome];
    if (outcome == "ok") record.last_ok[caregiver] = tag;
  }
  return record;
}

// Runs both clerks at once and checks the database they leave.
void RunTwoClerks(Where where, int validations, int busy_timeout_ms) {
  Databases databases(where);
  const std::string db = databases.New("shared.db");
  MakeFixtureDatabase(db);
  {
    auto link = mvdb::OpenDatabase(db);
    for (const char* caregiver : kTaggedCaregivers) SeedTag(*link, caregiver, 0);
  }
  ChildProcess first, second;
  first.Start([&](int fd) { Clerk(db, 1, validations, busy_timeout_ms, fd); });
  second.Start([&](int fd) { Clerk(db, 2, validations, busy_timeout_ms, fd); });
  std::map<int, ClerkRecord> records;
  for (auto [clerk, child] : {std::pair{1, &first}, std::pair{2, &second}}) {
    const std::string said = child->Wait();
    EXPECT_EQ(child->Outcome(), "exit 0") << "clerk " << clerk << ": " << said;
    records[clerk] = Parse(said);
    ClerkRecord& record = records[clerk];
    EXPECT_TRUE(record.odd_lines.empty()) << "clerk " << clerk << ": " << record.odd_lines[0];
    int counted = 0;
    for (const auto& [outcome, count] : record.outcomes) counted += count;
    EXPECT_EQ(counted, validations) << "clerk " << clerk << ": validations unaccounted for";
    EXPECT_GT(record.outcomes["ok"], 0) << "clerk " << clerk << " got nothing through";
    std::cout << "clerk " << clerk << ": " << record.outcomes["ok"] << " kept, "
              << record.outcomes["failed"] << " refused with the write-failure message, "
              << record.outcomes["changed"] << " refused as changed by the other clerk, "
              << record.outcomes["unloaded"] << " not loaded\n";
  }

  EXPECT_EQ(IntegrityCheck(db), "ok");
  std::vector<std::string> keys;
  for (const char* caregiver : kTaggedCaregivers) {
    for (const std::string& key : AdvanceKeys(caregiver)) keys.push_back(key);
  }
  const auto stored = ReadAdvances(db, keys);
  const auto last_ok = [&](int clerk, const std::string& caregiver) {
    auto found = records[clerk].last_ok.find(caregiver);
    return found == records[clerk].last_ok.end() ? 0 : found->second;
  };
  // Each clerk's own caregiver holds that clerk's last validation kept; the shared one holds
  // the last kept validation of one clerk or the other, whole.
  for (int clerk : {1, 2}) {
    std::string why;
    const auto tag = StoredTag(stored, kOwn.at(clerk), &why);
    ASSERT_TRUE(tag.has_value()) << why;
    EXPECT_EQ(*tag, last_ok(clerk, kOwn.at(clerk))) << "caregiver " << kOwn.at(clerk);
  }
  std::string why;
  const auto shared = StoredTag(stored, kShared, &why);
  ASSERT_TRUE(shared.has_value()) << why;
  EXPECT_TRUE(*shared == last_ok(1, kShared) || *shared == last_ok(2, kShared))
      << "the shared caregiver holds validation " << *shared << ", neither clerk's last ("
      << last_ok(1, kShared) << ", " << last_ok(2, kShared) << ")";
}

class TwoClerks : public ::testing::TestWithParam<Where> {
 protected:
  void SetUp() override {
    if (NoServerFor(GetParam())) GTEST_SKIP() << "no test server answers";
  }
};

TEST_P(TwoClerks, WithAShortWaitSomeValidationsAreRefusedAndNoneIsLostOrSplit) {
  RunTwoClerks(GetParam(), 100, 1);
}

TEST_P(TwoClerks, WithTheUsualWaitBothClerksValidateTheSameCaregiver) {
  RunTwoClerks(GetParam(), 60, 5000);
}

INSTANTIATE_TEST_SUITE_P(Storages, TwoClerks, ::testing::Values(Where::kFile, Where::kServer),
                         WhereName);

}  // namespace
}  // namespace varnolde::reliability

namespace varnolde::reliability {
namespace {

// Waits for a file another process makes; false after 30 s.
bool AwaitFile(const std::string& path) {
  for (int i = 0; i < 3000; ++i) {
    if (std::filesystem::exists(path)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// Both clerks load the shared caregiver and change it; then the first validates, then the
// second: the second is told the advances changed, and nothing of it is written.
TEST_P(TwoClerks, LoadingOneCaregiverTheSecondValidationWritesNothing) {
  test::ScratchDir dir("two-loaded");
  Databases databases(GetParam());
  const std::string db = databases.New("loaded.db");
  MakeFixtureDatabase(db);
  SeedTag(*mvdb::OpenDatabase(db), kShared, 0);
  const auto clerk = [&](int number, int fd) {
    ClerkSession session(mvdb::OpenDatabase(db));
    session.ChooseEntity();
    const auto shown = RunTaggedValidation(session, kShared, number, [&] {
      std::ofstream(dir.File(std::to_string(number) + ".loaded")) << "";
      if (!AwaitFile(dir.File(std::to_string(number) + ".go"))) throw std::runtime_error("no go");
    });
    for (const std::string& text : shown) WriteLine(fd, text + "\n");
  };
  ChildProcess first, second;
  first.Start([&](int fd) { clerk(1, fd); });
  second.Start([&](int fd) { clerk(2, fd); });
  ASSERT_TRUE(AwaitFile(dir.File("1.loaded")) && AwaitFile(dir.File("2.loaded")));
  std::ofstream(dir.File("1.go")) << "";
  EXPECT_EQ(first.Wait(), "");
  std::ofstream(dir.File("2.go")) << "";
  EXPECT_EQ(second.Wait(), std::string(kChangedByOtherMessage) + "\n");
  EXPECT_EQ(second.Outcome(), "exit 0");
  std::string why;
  const auto stored = StoredTag(ReadAdvances(db, AdvanceKeys(kShared)), kShared, &why);
  ASSERT_TRUE(stored.has_value()) << why;
  EXPECT_EQ(*stored, 1);
}

}  // namespace
}  // namespace varnolde::reliability

namespace varnolde::reliability {
namespace {

// A clerk's program that opened the database a second time (a reader beside its panel) still
// holds it as in use: the other clerk leaving must not fold the log away while the first still
// writes to it, or the first clerk's next validation is lost to every other program.
TEST(TwoClerksOnAFile, AValidationAfterTheOtherClerkLeftIsSeenByOthers) {
  Databases databases(Where::kFile);
  const std::string db = databases.New("leaving.db");
  MakeFixtureDatabase(db);
  SeedTag(*mvdb::OpenDatabase(db), kShared, 0);
  ChildProcess staying, leaving;
  staying.Start([&](int fd, int commands) {
    ClerkSession session(mvdb::OpenDatabase(db));
    session.ChooseEntity();
    auto reader = mvdb::OpenMvdb(db, mvdb::OpenOptions{.read_only = true});
    ReadAdvances(*reader, AdvanceKeys(kShared));
    for (int tag : {1, 3}) {
      for (const std::string& text : RunTaggedValidation(session, kShared, tag)) {
        WriteLine(fd, text + "\n");
      }
      WriteLine(fd, "validated " + std::to_string(tag) + "\n");
      if (!AwaitParent(commands)) return;
    }
  });
  leaving.Start([&](int, int commands) {
    if (!AwaitParent(commands)) return;
    ClerkSession session(mvdb::OpenDatabase(db));
    session.ChooseEntity();
    RunTaggedValidation(session, kOwn.at(2), 2);
  });
  std::string line;
  ASSERT_TRUE(staying.ReadLine(line, 30000));
  ASSERT_EQ(line, "validated 1");
  leaving.Tell();
  EXPECT_EQ(leaving.Wait(), "");
  EXPECT_EQ(leaving.Outcome(), "exit 0");
  staying.Tell();
  ASSERT_TRUE(staying.ReadLine(line, 30000));
  ASSERT_EQ(line, "validated 3");
  // Read by this program while the first clerk still has the database open.
  std::string why;
  const auto stored = StoredTag(ReadAdvances(db, AdvanceKeys(kShared)), kShared, &why);
  ASSERT_TRUE(stored.has_value()) << why;
  EXPECT_EQ(*stored, 3);
  staying.Tell();
  EXPECT_EQ(staying.Wait(), "");
  EXPECT_EQ(staying.Outcome(), "exit 0");
}

}  // namespace
}  // namespace varnolde::reliability
