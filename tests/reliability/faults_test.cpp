// Write failures during a validation: injected at every write, delete and commit, a read-only
// database and an advance locked by someone else, on a file and on a server; a full disk (on a
// file). The clerk sees the failure once and no stored advance is lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "mvdb/fault_injection.h"
#include "mvdb/link.h"
#include "support/support.h"
#include "reliability/clerk_session.h"
#include "storages.h"

namespace varnolde::reliability {

namespace {

using mvdb::FaultInjectingLink;
using Operation = FaultInjectingLink::Operation;
using Strings = std::vector<std::string>;

// A validation and what it must store: the advance keys of the caregiver's rows, in row order,
// and each row's stored advance before and after.
struct Scenario {
  std::string caregiver;
  Strings keys;
  std::vector<StoredAdvance> before, after;
  std::function<void(ClerkSession&)> edit;  // what the clerk changes before validating
};

// Caregiver 00030: five contracts, each row of its validation doing something else: a new
// amount, an emptied amount, an amount where there was none, a deleted paid advance, and a row
// left as it is.
Scenario EveryKindOfRow() {
  return {"00030",
          {"00030001200203", "00030002200203", "00030003200203", "00030004200203",
           "00030005200203"},
          {{true, "1000", ""}, {true, "500", ""}, {}, {true, "700", "12488"}, {true, "800", ""}},
          {{true, "2000", ""}, {}, {true, "300", ""}, {}, {true, "800", ""}},
          [](ClerkSession& session) {
            session.SetAmount(0, "20");
            session.SetAmount(1, "");
            session.SetAmount(2, "3");
            session.DeleteRow(3);
          }};
}

// Caregiver 00024: twenty contracts, seven advances (one paid), validated without a change:
// every advance is deleted and written again, so a failure anywhere must lose none.
Scenario TwentyRowsUnchanged() {
  Scenario scenario{"00024", {}, {}, {}, [](ClerkSession&) {}};
  const std::map<int, StoredAdvance> advances = {
      {1, {true, "1001", ""}},  {2, {true, "2002", ""}},   {3, {true, "4200", "12488"}},
      {5, {true, "5005", ""}},  {9, {true, "9009", ""}},   {14, {true, "14014", ""}},
      {20, {true, "20020", ""}}};
  for (int n = 1; n <= 20; ++n) {
    std::string number = std::to_string(n);
    scenario.keys.push_back("00024" + std::string(3 - number.size(), '0') + number + kPeriod);
    auto found = advances.find(n);
    scenario.before.push_back(found == advances.end() ? StoredAdvance{} : found->second);
  }
  scenario.after = scenario.before;
  return scenario;
}

std::string OperationName(Operation operation) {
  switch (operation) {
    case Operation::kWrite: return "write";
    case Operation::kDelete: return "delete";
    case Operation::kCommit: return "commit";
  }
  return "?";
}

// Every line of a JSON-lines dump but those of the caregiver's advances.
std::string WithoutAdvancesOf(const std::string& caregiver, const std::string& dump) {
  std::istringstream lines(dump);
  std::string line, kept;
  while (std::getline(lines, line)) {
    if (line.find(R"("file":"ACOMPTEBULL","id":")" + caregiver) == std::string::npos) {
      kept += line + "\n";
    }
  }
  return kept;
}

// The checks of a validation's outcome against a database made from the fixture (the
// template), on one storage.
class FaultTest : public ::testing::Test {
 protected:
  explicit FaultTest(Where where = Where::kFile) : databases_(where) {}

  // A fresh copy of the template.
  std::string FreshDatabase(const std::string& name) {
    Template();
    return databases_.Copy("template", name);
  }
  const std::string& Template() {
    if (template_.empty()) {
      template_ = databases_.New("template");
      MakeFixtureDatabase(template_);
    }
    return template_;
  }

  // Loads the scenario's caregiver and makes its changes.
  static void EditRows(ClerkSession& session, const Scenario& scenario) {
    session.ChooseEntity();
    ASSERT_EQ(session.LoadCaregiver(scenario.caregiver).size(), scenario.keys.size());
    scenario.edit(session);
  }

  // Makes the scenario's changes on a panel opened on link, calls arm, validates; returns the
  // texts of the message boxes the validation showed.
  static Strings EditAndValidate(std::shared_ptr<DatabaseLink> link, const Scenario& scenario,
                                 const std::function<void()>& arm = [] {}) {
    ClerkSession session(std::move(link));
    EditRows(session, scenario);
    arm();
    return session.Validate();
  }

  // After a validation that showed `shown`: either nothing shown and every row as after, or
  // the write failure shown once, the rows before the failing one as after and the others as
  // before (all as before when the commit failed). Nothing else in the database changed.
  void ExpectNothingLost(const std::string& db, const Scenario& scenario, const Strings& shown,
                         bool commit_failed) {
    const Strings& keys = scenario.keys;
    const auto stored = ReadAdvances(db, keys);
    if (shown.empty()) {
      for (std::size_t k = 0; k < keys.size(); ++k) {
        EXPECT_EQ(Describe(stored.at(keys[k])), Describe(scenario.after[k])) << keys[k];
      }
    } else {
      EXPECT_EQ(shown, Strings{kWriteFailedMessage});
      std::size_t first_not_written = 0;
      while (!commit_failed && first_not_written < keys.size() &&
             stored.at(keys[first_not_written]) == scenario.after[first_not_written]) {
        ++first_not_written;
      }
      for (std::size_t k = first_not_written; k < keys.size(); ++k) {
        EXPECT_EQ(Describe(stored.at(keys[k])), Describe(scenario.before[k]))
            << keys[k] << " after the failure at row " << first_not_written;
      }
    }
    EXPECT_EQ(WithoutAdvancesOf(scenario.caregiver, DumpExcept(db, {})),
              WithoutAdvancesOf(scenario.caregiver, TemplateDump()));
    EXPECT_EQ(IntegrityCheck(db), "ok");
  }

  const std::string& TemplateDump() {
    if (template_dump_.empty()) template_dump_ = DumpExcept(Template(), {});
    return template_dump_;
  }

  Databases databases_;
  std::string template_;
  std::string template_dump_;
};

// The faults a validation meets on either storage.
class ValidationFaultTest : public FaultTest, public ::testing::WithParamInterface<Where> {
 protected:
  ValidationFaultTest() : FaultTest(GetParam()) {}
  void SetUp() override {
    if (NoServerFor(GetParam())) GTEST_SKIP() << "no test server answers";
  }

  // Makes each write, delete and commit of the scenario's validation fail in turn, one per
  // validation, and one more validation past the last; returns the number of faults injected.
  int FailEveryStep(const Scenario& scenario, std::map<Operation, int>& attempts) {
    // How many of each operation the validation makes, counted on a run without faults.
    {
      const std::string db = FreshDatabase("count.db");
      auto counting = FaultInjectingLink::Wrap(mvdb::OpenDatabase(db));
      ExpectNothingLost(db, scenario, EditAndValidate(counting, scenario), false);
      for (Operation op : {Operation::kWrite, Operation::kDelete, Operation::kCommit}) {
        attempts[op] = counting->Attempts(op);
      }
    }
    int injected = 0;
    for (Operation op : {Operation::kWrite, Operation::kDelete, Operation::kCommit}) {
      for (int n = 1; n <= attempts[op] + 1; ++n) {
        SCOPED_TRACE(OperationName(op) + " " + std::to_string(n));
        const std::string db = FreshDatabase("fault.db");
        auto faulty = FaultInjectingLink::Wrap(mvdb::OpenDatabase(db));
        const Strings shown = EditAndValidate(faulty, scenario, [&] { faulty->FailNth(op, n); });
        const bool failed = n <= attempts[op];
        EXPECT_EQ(faulty->Injected(op), failed ? 1 : 0);
        EXPECT_EQ(shown.size(), failed ? 1u : 0u);
        ExpectNothingLost(db, scenario, shown, failed && op == Operation::kCommit);
        injected += faulty->Injected(op);
      }
    }
    return injected;
  }
};

INSTANTIATE_TEST_SUITE_P(Storages, ValidationFaultTest,
                         ::testing::Values(Where::kFile, Where::kServer), WhereName);

TEST_P(ValidationFaultTest, EveryWriteDeleteAndCommitOfAValidationMayFail) {
  std::map<Operation, int> attempts;
  const int injected = FailEveryStep(EveryKindOfRow(), attempts);
  EXPECT_EQ(attempts[Operation::kWrite], 3);   // rows 1, 3 and 5
  EXPECT_EQ(attempts[Operation::kDelete], 5);  // every row, the one with no advance included
  EXPECT_EQ(attempts[Operation::kCommit], 1);
  EXPECT_EQ(injected, 3 + 5 + 1);
  std::cout << "faults injected: " << injected << "\n";
}

TEST_P(ValidationFaultTest, NoFailureInALongValidationLosesAnAdvance) {
  std::map<Operation, int> attempts;
  const int injected = FailEveryStep(TwentyRowsUnchanged(), attempts);
  EXPECT_EQ(attempts[Operation::kWrite], 7);
  EXPECT_EQ(attempts[Operation::kDelete], 20);
  EXPECT_EQ(injected, 7 + 20 + 1);
  std::cout << "faults injected: " << injected << "\n";
}

// An operation that always fails, a read-only database, the first row's advance locked by
// another connection (after the bounded wait; on a file, that connection holds the whole
// database): the clerk sees the failure once and every advance is kept.
TEST_P(ValidationFaultTest, AValidationThatCannotWriteShowsTheFailureOnceAndKeepsEverything) {
  const Scenario scenario = EveryKindOfRow();
  const auto expect_refused = [&](const std::string& db, const Strings& shown) {
    EXPECT_EQ(shown, Strings{kWriteFailedMessage});
    ExpectNothingLost(db, scenario, shown, true);
  };
  for (Operation op : {Operation::kWrite, Operation::kDelete, Operation::kCommit}) {
    SCOPED_TRACE(OperationName(op));
    const std::string db = FreshDatabase("always.db");
    auto faulty = FaultInjectingLink::Wrap(mvdb::OpenDatabase(db));
    expect_refused(db, EditAndValidate(faulty, scenario, [&] { faulty->FailAlways(op, true); }));
  }
  const std::string read_only = FreshDatabase("read-only.db");
  expect_refused(read_only, EditAndValidate(mvdb::OpenDatabase(read_only, {.read_only = true}),
                                            scenario));

  const std::string locked = FreshDatabase("locked.db");
  auto other = mvdb::OpenDatabase(locked);
  other->Begin();
  other->OpenFile("ACOMPTEBULL")->ReadForUpdate(scenario.keys[0])->DBWrite();
  const Strings shown =
      EditAndValidate(mvdb::OpenDatabase(locked, {.busy_timeout_ms = 50}), scenario);
  other->Rollback();
  other.reset();
  expect_refused(locked, shown);
}

// A file system of a fixed size, mounted for the test (needs the right to mount: root).
class SmallFileSystem {
 public:
  SmallFileSystem(const std::string& mount_point, int kilobytes) : mount_point_(mount_point) {
    std::filesystem::create_directories(mount_point);
    const std::string options = "size=" + std::to_string(kilobytes) + "k";
    mounted_ = ::mount("tmpfs", mount_point.c_str(), "tmpfs", 0, options.c_str()) == 0;
    if (!mounted_) why_ = std::strerror(errno);
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(mount_point_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  const std::string& why() const { return why_; }

 private:
  std::string mount_point_;
  bool mounted_ = false;
  std::string why_;
};

// Fills the file system holding path with one file, to the last byte; returns its size.
off_t FillDisk(int fd) {
  std::string chunk(4096, 'x');
  off_t size = 0;
  for (std::size_t step : {std::size_t{4096}, std::size_t{512}, std::size_t{1}}) {
    while (::write(fd, chunk.data(), step) == static_cast<ssize_t>(step)) size += static_cast<off_t>(step);
  }
  return size;
}

// A full disk is the file's matter: a server has its own disk, and its administrator.
TEST_F(FaultTest, AFullDiskShowsTheFailureOnceAndLosesNothing) {
  const Scenario scenario = EveryKindOfRow();
  const test::ScratchDir& dir = databases_.dir();
  SmallFileSystem disk(dir.File("disk"), 2048);
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here: " << disk.why();
  const std::string db = dir.File("disk/panel.db");
  std::filesystem::copy_file(Template(), db);
  const int filler = ::open(dir.File("disk/filler").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
  ASSERT_GE(filler, 0);

  auto session = std::make_unique<ClerkSession>(mvdb::OpenDatabase(db));
  const off_t full = FillDisk(filler);
  // The clerk validates again and again while the free space grows, 4 KiB at a time.
  int failures = 0;
  bool written = false;
  for (off_t headroom = 0; headroom <= 1024 * 1024 && !written; headroom += 4096) {
    SCOPED_TRACE("free space " + std::to_string(headroom));
    ASSERT_EQ(::ftruncate(filler, full - headroom), 0);
    ASSERT_NO_FATAL_FAILURE(EditRows(*session, scenario));
    const Strings shown = session->Validate();
    if (shown.empty()) {
      written = true;
    } else {
      ++failures;
      EXPECT_EQ(shown, Strings{kWriteFailedMessage});
      const auto stored = ReadAdvances(db, scenario.keys);
      for (std::size_t k = 0; k < scenario.keys.size(); ++k) {
        EXPECT_EQ(Describe(stored.at(scenario.keys[k])), Describe(scenario.before[k]));
      }
    }
    EXPECT_EQ(IntegrityCheck(db), "ok");
  }
  session.reset();
  ::close(filler);
  EXPECT_TRUE(written) << "no validation went through once space was freed";
  EXPECT_GE(failures, 1) << "the disk was never full enough to refuse a validation";
  ExpectNothingLost(db, scenario, {}, false);
  std::cout << "validations refused by the full disk: " << failures << "\n";
}

}  // namespace
}  // namespace varnolde::reliability
