// Write failures during a validation: injected at every write, delete and commit, a read-only
// database and an advance locked by someone else, on a file and on a server; a full disk (on a
// file). The clerk sees the failure once and no stored advance is lost.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <thread>

#include "mvdb/dynarray.h"
#include "mvdb/fault_injection.h"
#include "mvdb/link.h"
#include "support/support.h"
#include "reliability/clerk_session.h"
#include "reliability/private_server.h"
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

  // The test's working database, made from the template at the first call, with the
  // template's advances of the scenario's caregiver again: a validation changes nothing else,
  // which ExpectNothingLost checks.
  std::string FreshDatabase(const Scenario& scenario) {
    if (work_.empty()) {
      Template();
      return work_ = databases_.Copy("template", "work");
    }
    auto database = mvdb::OpenMvdb(work_);
    const auto stored = ReadAdvances(*database, scenario.keys);
    database->Begin();
    for (std::size_t k = 0; k < scenario.keys.size(); ++k) {
      const StoredAdvance& before = scenario.before[k];
      if (before.present) {
        database->WriteRecord("ACOMPTEBULL", scenario.keys[k],
                              before.amount + (before.paid_on.empty() ? "" : mvdb::kAM +
                                                                                 before.paid_on));
      } else if (stored.at(scenario.keys[k]).present) {
        database->DeleteRecord("ACOMPTEBULL", scenario.keys[k]);
      }
    }
    database->Commit();
    return work_;
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
  std::string work_;
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
      const std::string db = FreshDatabase(scenario);
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
        const std::string db = FreshDatabase(scenario);
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

// An operation that always fails, a read-only database, another program's transaction that
// has written the fourth row's advance (it holds the database's writer lock on either storage:
// the validation is refused after the bounded wait): the clerk sees the failure once and every
// advance is kept.
TEST_P(ValidationFaultTest, AValidationThatCannotWriteShowsTheFailureOnceAndKeepsEverything) {
  const Scenario scenario = EveryKindOfRow();
  const auto expect_refused = [&](const std::string& db, const Strings& shown) {
    EXPECT_EQ(shown, Strings{kWriteFailedMessage});
    ExpectNothingLost(db, scenario, shown, true);
  };
  for (Operation op : {Operation::kWrite, Operation::kDelete, Operation::kCommit}) {
    SCOPED_TRACE(OperationName(op));
    const std::string db = FreshDatabase(scenario);
    auto faulty = FaultInjectingLink::Wrap(mvdb::OpenDatabase(db));
    expect_refused(db, EditAndValidate(faulty, scenario, [&] { faulty->FailAlways(op, true); }));
  }
  const std::string read_only = FreshDatabase(scenario);
  expect_refused(read_only, EditAndValidate(mvdb::OpenDatabase(read_only, {.read_only = true}),
                                            scenario));

  const std::string locked = FreshDatabase(scenario);
  auto other = mvdb::OpenDatabase(locked);
  other->Begin();
  other->OpenFile("ACOMPTEBULL")->ReadForUpdate(scenario.keys[3])->DBWrite();
  const Strings shown =
      EditAndValidate(mvdb::OpenDatabase(locked, {.busy_timeout_ms = 50}), scenario);
  other->Rollback();
  other.reset();
  expect_refused(locked, shown);
}

// A validation waiting for an advance an administrator's session holds, when the wait runs
// out, when its connection is cut (the server ends it) or when the server is shut down at once
// and started again: the clerk sees the failure once, the server keeps nothing of the
// validation, and the panel's next action reconnects. On a server of the test's own, since the
// test stops it.
TEST_F(FaultTest, AConnectionLostMidValidationKeepsNothingAndTheNextActionReconnects) {
  if (!test::ServerDatabase::Available()) GTEST_SKIP() << "no test server answers";
  const Scenario scenario = EveryKindOfRow();
  PrivateServer server;
  // Below the panel: once the server ended the transaction, every later write of it fails
  // (none may reconnect and commit on its own), and so does a lock, until Rollback; then the
  // link reconnects.
  {
    const std::string db = server.CreateDatabase("lost");
    MakeFixtureDatabase(db);
    auto database = mvdb::OpenMvdb(db);
    database->Begin();
    database->Savepoint("row");  // queued: the write below finds the loss with it
    PrivateServer::Query(db, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                             "datname = current_database() AND pid <> pg_backend_pid()");
    const auto write = [&] { database->WriteRecord("ACOMPTEBULL", scenario.keys[2], "9"); };
    EXPECT_EQ(test::ErrorOf(write), err::kWriteFailed) << "the write that finds the loss";
    EXPECT_EQ(test::ErrorOf(write), err::kWriteFailed) << "a write after the loss";
    EXPECT_EQ(test::ErrorOf([&] { database->Lock("ACOMPTEBULL 00030"); }), err::kWriteFailed);
    database->Rollback();
    EXPECT_EQ(Describe(ReadAdvances(*database, scenario.keys).at(scenario.keys[2])), "<absent>");
    // The same loss found by a query, which sends what is queued before it.
    database->Begin();
    database->Savepoint("row");
    PrivateServer::Query(db, "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                             "datname = current_database() AND pid <> pg_backend_pid()");
    EXPECT_NE(test::ErrorOf([&] { ReadAdvances(*database, scenario.keys); }), 0);
    EXPECT_EQ(test::ErrorOf([&] { database->Commit(); }), err::kWriteFailed);
  }
  struct Loss {
    std::string what;  // "wait runs out", "cut" or "shut down"
    int wait_ms;       // the panel's busy timeout
  };
  int made = 0;
  for (const Loss& loss : {Loss{"wait runs out", 100}, Loss{"cut", 60000},
                           Loss{"shut down", 60000}}) {
    SCOPED_TRACE(loss.what);
    const std::string db = server.CreateDatabase("loss" + std::to_string(++made));
    MakeFixtureDatabase(db);
    ClerkSession session(mvdb::OpenDatabase(db, {.busy_timeout_ms = loss.wait_ms}));
    ASSERT_NO_FATAL_FAILURE(EditRows(session, scenario));
    // The session holds the fourth row's advance in the file's table (f<id>, by the server
    // layout): the validation has written three rows when it waits.
    auto holder = std::make_unique<ServerSession>(db);
    const std::string table =
        "f" + holder->Query("SELECT id FROM mvdb_file WHERE name = 'ACOMPTEBULL'::bytea");
    holder->Query("BEGIN; SELECT 1 FROM " + table + " WHERE k = '" + scenario.keys[3] +
                  "'::bytea FOR UPDATE");
    std::string done = loss.what == "wait runs out" ? loss.what : "";
    std::thread losing([&] {
      try {
        for (int look = 0; look < 3000 && done.empty(); ++look) {
          const std::string waiting = PrivateServer::Query(
              db, "SELECT pid FROM pg_stat_activity WHERE datname = current_database() "
                  "AND wait_event_type = 'Lock'");
          if (waiting.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
          } else if (loss.what == "shut down") {
            server.Crash();
            done = loss.what;
          } else {
            PrivateServer::Query(db, "SELECT pg_terminate_backend(" + waiting + ")");
            done = loss.what;
          }
        }
      } catch (const std::exception& e) {
        done = std::string("failed: ") + e.what();
      }
    });
    Strings shown;
    try {
      shown = session.Validate();
    } catch (const std::exception& e) {
      ADD_FAILURE() << "the validation raised " << e.what();
    }
    losing.join();
    holder.reset();
    if (loss.what == "shut down") server.Resume();
    ASSERT_EQ(done, loss.what) << "the validation never waited";
    ExpectNothingLost(db, scenario, shown, true);
    ASSERT_NO_FATAL_FAILURE(EditRows(session, scenario));
    ExpectNothingLost(db, scenario, session.Validate(), false);
  }
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
