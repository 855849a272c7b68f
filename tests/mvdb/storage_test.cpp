// Storage: transactions and savepoints, durability, locking, read-only use, indexes kept up to
// date. (Files that are no database are refused in tests/reliability/damaged_files_test.cpp.)
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "components/errors.h"
#include "mvdb/link.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

using fixture::ErrorOf;

// Every case on a database file and on a database of the test server.
class StorageTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      if (!test::ServerDatabase::Available()) GTEST_SKIP() << "no test server";
      server_ = std::make_unique<test::ServerDatabase>();
      path_ = server_->Name();
    } else {
      path_ = temp_.File("store.db");
    }
    fixture::Load(path_, R"({"file":"ACOMPTEBULL","id":"A1","rec":["100"]}
{"file":"ACOMPTEBULL","id":"A2","rec":["200"]}
)");
    db_ = OpenMvdb(path_);
  }

  // What a fresh connection sees: the committed state.
  std::string Committed(const std::string& key) {
    std::string text = "<none>";
    OpenMvdb(path_)->ForEachRecord("ACOMPTEBULL", [&](std::string_view k, std::string_view t) {
      if (k == key) text = std::string(t);
    });
    return text;
  }

  std::string Mine(const std::string& key) {
    try {
      return db_->OpenFile("ACOMPTEBULL")->Read(key)->Get();
    } catch (const ComponentError&) {
      return "<none>";
    }
  }

  fixture::TempDir temp_;
  std::unique_ptr<test::ServerDatabase> server_;
  std::string path_;
  std::shared_ptr<Database> db_;
};

INSTANTIATE_TEST_SUITE_P(Storages, StorageTest, ::testing::Bool(),
                         [](const auto& param_info) { return param_info.param ? "server" : "file"; });

TEST_P(StorageTest, TransactionIsVisibleToItsLinkOnlyUntilCommit) {
  db_->Begin();
  EXPECT_TRUE(db_->InTransaction());
  db_->WriteRecord("ACOMPTEBULL", "A3", "300");
  db_->DeleteRecord("ACOMPTEBULL", "A1");
  EXPECT_EQ(Mine("A3"), "300");
  EXPECT_EQ(Mine("A1"), "<none>");
  EXPECT_EQ(Committed("A3"), "<none>");
  EXPECT_EQ(Committed("A1"), "100");
  db_->Commit();
  EXPECT_FALSE(db_->InTransaction());
  EXPECT_EQ(Committed("A3"), "300");
  EXPECT_EQ(Committed("A1"), "<none>");
}

// A read group sees one view of the database, taken at its first read, until it ends; its own
// writes and transactions read and write the database as it is.
TEST_P(StorageTest, AReadGroupKeepsOneViewAndNeverHidesItsOwnWrites) {
  auto other = OpenMvdb(path_);
  auto found = [&](const char* sentence) {
    std::int32_t count = 0;
    return db_->Select(std::string(sentence) + kAttributeMark + "ACOMPTEBULL" + kAttributeMark + "0",
                       "", count)->Get();
  };
  db_->BeginReadGroup();
  EXPECT_EQ(Mine("A1"), "100");
  EXPECT_EQ(found("SSELECT ACOMPTEBULL AVEC 1 = \"200\""), "A2");
  other->WriteRecord("ACOMPTEBULL", "A1", "101");
  other->WriteRecord("ACOMPTEBULL", "A2", "201");
  db_->BeginReadGroup();  // nested: the same view
  db_->EndReadGroup();
  EXPECT_EQ(Mine("A1"), "100");
  EXPECT_EQ(Mine("A2"), "200");  // as the query found it
  // A write of its own ends the view.
  db_->WriteRecord("ACOMPTEBULL", "A3", "300");
  EXPECT_EQ(Mine("A1"), "101");
  EXPECT_EQ(Mine("A3"), "300");
  other->WriteRecord("ACOMPTEBULL", "A1", "102");
  // A transaction reads the database as it is, and the group goes on after it.
  db_->Begin();
  EXPECT_TRUE(db_->InTransaction());
  EXPECT_EQ(db_->OpenFile("ACOMPTEBULL")->ReadForUpdate("A1")->Get(), "102");
  db_->WriteRecord("ACOMPTEBULL", "A2", "202");
  db_->Commit();
  EXPECT_FALSE(db_->InTransaction());
  EXPECT_EQ(Mine("A2"), "202");
  other->WriteRecord("ACOMPTEBULL", "A2", "203");
  EXPECT_EQ(Mine("A2"), "202");
  db_->EndReadGroup();
  db_->EndReadGroup();  // one too many: nothing happens
  EXPECT_EQ(Mine("A2"), "203");
  EXPECT_EQ(Committed("A3"), "300");
}

TEST_P(StorageTest, ARecordReadAheadIsTheOneTheGroupReadsAbsentOrNot) {
  auto other = OpenMvdb(path_);
  db_->ReadAhead("ACOMPTEBULL", {"A1"});  // outside a group: nothing is kept
  other->WriteRecord("ACOMPTEBULL", "A1", "101");
  EXPECT_EQ(Mine("A1"), "101");
  db_->BeginReadGroup();
  db_->ReadAhead("ACOMPTEBULL", {"A1", "A9", "A1", ""});
  db_->ReadAhead("NO SUCH FILE", {"A1"});  // a hint: no failure
  other->WriteRecord("ACOMPTEBULL", "A1", "102");
  other->WriteRecord("ACOMPTEBULL", "A9", "900");
  EXPECT_EQ(Mine("A1"), "101");
  EXPECT_EQ(Mine("A9"), "<none>");
  EXPECT_EQ(ErrorOf([&] { db_->OpenFile("NO SUCH FILE"); }), err::kUnknownFile);
  db_->EndReadGroup();
  EXPECT_EQ(Mine("A1"), "102");
  EXPECT_EQ(Mine("A9"), "900");
}

// Inside a transaction a server locks what it reads ahead; a record it cannot lock is left to
// the transaction's own reads and writes. (A file's transaction holds the whole file.)
TEST_P(StorageTest, ATransactionReadsAheadWhatNoOtherMayThenChange) {
  auto other = OpenMvdb(path_, OpenOptions{.busy_timeout_ms = 50});
  auto mine = OpenMvdb(path_, OpenOptions{.busy_timeout_ms = 50});
  if (GetParam()) {
    other->Begin();
    other->WriteRecord("ACOMPTEBULL", "A2", "held by the other");
  }
  mine->Begin();
  mine->ReadAhead("ACOMPTEBULL", {"A1", "A9"});
  mine->ReadAhead("ACOMPTEBULL", {"A2"});  // held by the other: not locked, and no failure
  EXPECT_EQ(mine->OpenFile("ACOMPTEBULL")->Read("A1")->Get(), "100");
  if (GetParam()) {
    EXPECT_EQ(ErrorOf([&] { other->WriteRecord("ACOMPTEBULL", "A1", "blocked"); }),
              err::kWriteFailed);
    other->Rollback();
  }
  EXPECT_EQ(ErrorOf([&] { OpenMvdb(path_, OpenOptions{.busy_timeout_ms = 50})
                              ->WriteRecord("ACOMPTEBULL", "A1", "blocked"); }),
            err::kWriteFailed);
  mine->WriteRecord("ACOMPTEBULL", "A2", "201");
  mine->WriteRecord("ACOMPTEBULL", "A9", "900");
  mine->Commit();
  EXPECT_EQ(Committed("A1"), "100");
  EXPECT_EQ(Committed("A2"), "201");
  EXPECT_EQ(Committed("A9"), "900");
}

TEST_P(StorageTest, RollbackUndoesTheWholeTransaction) {
  db_->Begin();
  db_->WriteRecord("ACOMPTEBULL", "A1", "999");
  db_->CreateFile("TEMPORARY");
  db_->WriteRecord("TEMPORARY", "T", "x");
  db_->Rollback();
  EXPECT_EQ(Mine("A1"), "100");
  EXPECT_EQ(ErrorOf([&] { db_->OpenFile("TEMPORARY"); }), err::kUnknownFile);
  EXPECT_EQ(db_->FileNames(), std::vector<std::string>{"ACOMPTEBULL"});
}

TEST_P(StorageTest, RollbackToKeepsTheSavepointAndReleaseForgetsIt) {
  db_->Begin();
  db_->WriteRecord("ACOMPTEBULL", "A1", "first");
  db_->Savepoint("row");
  db_->WriteRecord("ACOMPTEBULL", "A2", "second");
  db_->RollbackTo("row");
  EXPECT_EQ(Mine("A2"), "200");
  db_->WriteRecord("ACOMPTEBULL", "A2", "again");
  db_->RollbackTo("row");  // the savepoint survives a roll back to it
  EXPECT_EQ(Mine("A2"), "200");
  db_->WriteRecord("ACOMPTEBULL", "A2", "kept");
  db_->ReleaseSavepoint("row");
  EXPECT_EQ(ErrorOf([&] { db_->RollbackTo("row"); }), err::kBadTransaction);
  db_->Commit();
  EXPECT_EQ(Committed("A1"), "first");
  EXPECT_EQ(Committed("A2"), "kept");
}

TEST_P(StorageTest, NestedSavepointsAndNamesThatNeedQuoting) {
  db_->Begin();
  db_->Savepoint("outer \"one\"");
  db_->WriteRecord("ACOMPTEBULL", "A1", "1");
  db_->Savepoint("inner");
  db_->WriteRecord("ACOMPTEBULL", "A2", "2");
  db_->RollbackTo("outer \"one\"");  // undoes both and forgets the inner savepoint
  EXPECT_EQ(Mine("A1"), "100");
  EXPECT_EQ(Mine("A2"), "200");
  EXPECT_EQ(ErrorOf([&] { db_->ReleaseSavepoint("inner"); }), err::kBadTransaction);
  db_->Commit();
}

TEST_P(StorageTest, TransactionMisuseRaisesBadTransaction) {
  EXPECT_EQ(ErrorOf([&] { db_->Commit(); }), err::kBadTransaction);
  EXPECT_EQ(ErrorOf([&] { db_->Rollback(); }), err::kBadTransaction);
  EXPECT_EQ(ErrorOf([&] { db_->Savepoint("s"); }), err::kBadTransaction);
  EXPECT_EQ(ErrorOf([&] { db_->RollbackTo("s"); }), err::kBadTransaction);
  db_->Begin();
  EXPECT_EQ(ErrorOf([&] { db_->Begin(); }), err::kBadTransaction);
  EXPECT_EQ(ErrorOf([&] { db_->ReleaseSavepoint("unknown"); }), err::kBadTransaction);
  EXPECT_EQ(ErrorOf([&] { db_->Savepoint(""); }), err::kBadTransaction);
  EXPECT_TRUE(db_->InTransaction());
  db_->Rollback();
}

TEST_P(StorageTest, AFailedWriteInsideATransactionUndoesOnlyItself) {
  fixture::Load(path_, R"json({"file":"DICT PERSON","id":"Name","rec":["I","UPCASE(@1)"]}
{"file":"PERSON","id":"P1","rec":["léa"]}
)json");
  db_->CreateIndex("PERSON", "Name");
  db_->Begin();
  db_->WriteRecord("PERSON", "P2", "zoé");
  // Rewriting the item that the index reads with a broken expression fails after the item
  // itself was stored: that store must be undone, and only it.
  EXPECT_EQ(ErrorOf([&] { db_->WriteRecord("DICT PERSON", "Name", fixture::Dyn("I^UPCASE(@1")); }),
            err::kWriteFailed);
  EXPECT_TRUE(db_->InTransaction());
  db_->Commit();
  auto database = OpenMvdb(path_);
  EXPECT_EQ(database->OpenFile("DICT PERSON")->Read("Name")->Get(2), "UPCASE(@1)");
  EXPECT_EQ(database->OpenFile("PERSON")->Read("P2")->Get(1), "zoé");
  EXPECT_NE(database->Explain("SSELECT PERSON AVEC Name = \"Z]\"").find("SEARCH INDEX Name"),
            std::string::npos);
}

// A server that refuses a record's write or delete (here a trigger) in the batch that also
// carries the savepoint made just before: only the refused operation is undone; the savepoint,
// what came before it and what this transaction knows of its records stay right.
TEST_P(StorageTest, ARefusalInTheBatchOfAQueuedSavepointUndoesOnlyItself) {
  if (!GetParam()) GTEST_SKIP() << "the refusal is a server's trigger";
  server_->Execute(
      "CREATE FUNCTION refuse_a2() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
      "IF (TG_OP = 'DELETE' AND OLD.k = 'A2'::bytea) OR (TG_OP <> 'DELETE' AND NEW.k = 'A2'::bytea) "
      "THEN RAISE EXCEPTION 'refused' USING ERRCODE = '23514'; END IF; "
      "RETURN COALESCE(NEW, OLD); END $$");
  server_->Execute(
      "DO $$ BEGIN EXECUTE format('CREATE TRIGGER refuse_a2 BEFORE INSERT OR UPDATE OR DELETE "
      "ON f%s FOR EACH ROW EXECUTE FUNCTION refuse_a2()', "
      "(SELECT id FROM mvdb_file WHERE name = 'ACOMPTEBULL'::bytea)); END $$");
  auto file = db_->OpenFile("ACOMPTEBULL");
  const std::pair<const char*, std::function<void()>> refusals[] = {
      {"write", [&] { auto r = file->ReadForUpdate("A2"); r->Set("x"); db_->Savepoint("row"); r->DBWrite(); }},
      {"delete", [&] { db_->Savepoint("row"); db_->DeleteRecord("ACOMPTEBULL", "A2"); }},
      // A locked record's delete goes with the next statements: the read then fails with it.
      {"locked delete", [&] {
         db_->ReadAhead("ACOMPTEBULL", {"A2"});
         db_->DeleteRecord("ACOMPTEBULL", "A2");
         db_->Savepoint("row");
         db_->ReadAhead("ACOMPTEBULL", {"A1"});  // a hint, which must not carry it
         file->Read("A9");
       }},
  };
  for (const auto& [what, refused] : refusals) {
    SCOPED_TRACE(what);
    db_->Begin();
    db_->DeleteRecord("ACOMPTEBULL", "A1");
    EXPECT_EQ(ErrorOf(refused), err::kWriteFailed);
    EXPECT_TRUE(db_->InTransaction());
    EXPECT_EQ(Mine("A1"), "<none>");
    EXPECT_EQ(Mine("A2"), "200");
    auto again = file->ReadForUpdate("A1");
    again->Set("after");
    again->DBWrite();
    EXPECT_EQ(Mine("A1"), "after");
    db_->RollbackTo("row");  // the savepoint sent with the refused operation is there
    EXPECT_EQ(Mine("A1"), "<none>");
    db_->ReleaseSavepoint("row");
    db_->Commit();
    EXPECT_EQ(Committed("A1"), "<none>");
    EXPECT_EQ(Committed("A2"), "200");
    db_->WriteRecord("ACOMPTEBULL", "A1", "100");
  }
  // Sent with the commit, it fails the commit: nothing of the transaction is kept.
  db_->Begin();
  db_->DeleteRecord("ACOMPTEBULL", "A1");
  db_->ReadAhead("ACOMPTEBULL", {"A2"});
  db_->DeleteRecord("ACOMPTEBULL", "A2");
  EXPECT_EQ(ErrorOf([&] { db_->Commit(); }), err::kWriteFailed);
  EXPECT_FALSE(db_->InTransaction());
  EXPECT_EQ(Committed("A1"), "100");
  EXPECT_EQ(Committed("A2"), "200");
}

// A child process writes and dies without closing anything: what it committed is there,
// what it had not committed is not.
TEST_P(StorageTest, CommittedDataSurvivesAKilledProcess) {
  db_.reset();
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    auto database = OpenMvdb(path_);
    database->WriteRecord("ACOMPTEBULL", "A7", "autocommitted");
    database->Begin();
    database->WriteRecord("ACOMPTEBULL", "A8", "committed");
    database->Commit();
    database->Begin();
    database->WriteRecord("ACOMPTEBULL", "A9", "never committed");
    database->DeleteRecord("ACOMPTEBULL", "A1");
    raise(SIGKILL);
    _exit(3);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(Committed("A7"), "autocommitted");
  EXPECT_EQ(Committed("A8"), "committed");
  EXPECT_EQ(Committed("A9"), "<none>");
  EXPECT_EQ(Committed("A1"), "100");
}

// A file takes one writer at a time; a server locks the records written.
TEST_P(StorageTest, AWriteThatCannotGetTheLockFailsAfterTheWait) {
  auto other = OpenMvdb(path_, OpenOptions{.busy_timeout_ms = 50});
  db_->Begin();
  db_->WriteRecord("ACOMPTEBULL", "A1", "held");
  EXPECT_EQ(ErrorOf([&] { other->WriteRecord("ACOMPTEBULL", "A1", "blocked"); }),
            err::kWriteFailed);
  if (!GetParam()) {
    EXPECT_EQ(ErrorOf([&] { other->Begin(); }), err::kWriteFailed);
    EXPECT_FALSE(other->InTransaction());
  }
  // Readers are never blocked, and see the committed state.
  EXPECT_EQ(other->OpenFile("ACOMPTEBULL")->Read("A1")->Get(), "100");
  db_->Commit();
  other->WriteRecord("ACOMPTEBULL", "A2", "now");
  EXPECT_EQ(Committed("A2"), "now");
  EXPECT_EQ(Committed("A1"), "held");
}

TEST_P(StorageTest, ReadOnlyDatabaseReadsButEveryWriteFails) {
  db_.reset();
  auto database = OpenMvdb(path_, OpenOptions{.read_only = true});
  auto record = database->OpenFile("ACOMPTEBULL")->Read("A1");
  EXPECT_EQ(record->Get(1), "100");
  record->Set(1, "5");
  EXPECT_EQ(ErrorOf([&] { record->DBWrite(); }), err::kWriteFailed);
  EXPECT_EQ(ErrorOf([&] { record->DBDelete(); }), err::kWriteFailed);
  EXPECT_EQ(ErrorOf([&] { database->Begin(); }), err::kWriteFailed);
  EXPECT_EQ(ErrorOf([&] { database->CreateFile("NEW"); }), err::kWriteFailed);
  EXPECT_EQ(ErrorOf([&] { database->CreateIndex("ACOMPTEBULL", "1"); }), err::kWriteFailed);
  EXPECT_EQ(Committed("A1"), "100");
}

TEST_P(StorageTest, IndexCreatedByAnotherConnectionIsKeptUpToDate) {
  auto other = OpenMvdb(path_);
  db_->WriteRecord("ACOMPTEBULL", "A3", "300");  // db_ has cached the file without index
  other->CreateIndex("ACOMPTEBULL", "1");
  db_->WriteRecord("ACOMPTEBULL", "A4", "400");
  db_->DeleteRecord("ACOMPTEBULL", "A2");
  std::string sentence = "SSELECT ACOMPTEBULL AVEC 1 = \"400\" OR AVEC 1 = \"200\"";
  EXPECT_NE(other->Explain(sentence).find("SEARCH INDEX 1"), std::string::npos);
  std::int32_t count = 0;
  auto list = other->Select(sentence, "", count);
  EXPECT_EQ(list->Get(), "A4");
}

// A lookup through an index gives each record as last written, also when the indexed value
// did not change. On a file, an index made before entries held their record still serves and is
// kept up to date; `mvdb index` makes it again in the current layout.
TEST_P(StorageTest, AnIndexLookupGivesTheRecordAsLastWritten) {
  db_->CreateIndex("ACOMPTEBULL", "1");
  std::int32_t count = 0;
  const std::string sentence = "SSELECT ACOMPTEBULL AVEC 1 = \"200\"" + std::string(1, kAttributeMark) +
                               "ACOMPTEBULL" + kAttributeMark + "0 2";
  auto found = [&] { return db_->Select(sentence, "", count)->Get(); };
  db_->WriteRecord("ACOMPTEBULL", "A2", fixture::Dyn("200^paid"));
  EXPECT_EQ(found(), fixture::Dyn("A2]paid"));
  // An index made before entries held their record.
  db_.reset();
  if (GetParam()) {
    server_->Execute("ALTER TABLE x1 DROP COLUMN r");
  } else {
    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &raw), SQLITE_OK);
    const char* older =
        "CREATE TABLE old (v BLOB NOT NULL, k BLOB NOT NULL, PRIMARY KEY (v, k)) WITHOUT ROWID;"
        "INSERT INTO old SELECT v, k FROM x1; DROP TABLE x1; ALTER TABLE old RENAME TO x1;";
    EXPECT_EQ(sqlite3_exec(raw, older, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(raw);
  }
  db_ = OpenMvdb(path_);
  EXPECT_EQ(found(), fixture::Dyn("A2]paid"));
  db_->WriteRecord("ACOMPTEBULL", "A2", fixture::Dyn("200^late"));
  db_->WriteRecord("ACOMPTEBULL", "A1", "200");
  EXPECT_EQ(found(), fixture::Dyn("A1]^A2]late"));
  EXPECT_EQ(db_->CreateIndex("ACOMPTEBULL", "1"), 2);
  db_->WriteRecord("ACOMPTEBULL", "A1", fixture::Dyn("200^now"));
  EXPECT_EQ(found(), fixture::Dyn("A1]now^A2]late"));
}

TEST_P(StorageTest, IndexFollowsItsDictionaryItem) {
  fixture::Load(path_, R"({"file":"DICT PERSON","id":"Name","rec":["I","@1"]}
{"file":"PERSON","id":"P1","rec":["léa","x"]}
{"file":"PERSON","id":"P2","rec":["zoé","léa"]}
)");
  db_->CreateIndex("PERSON", "Name");
  std::int32_t count = 0;
  auto select = [&](const std::string& sentence) {
    return db_->Select(sentence, "", count)->Get();
  };
  EXPECT_EQ(select("SSELECT PERSON AVEC Name = \"léa\""), "P1");
  // Redefined: the index is rebuilt from the new expression.
  db_->WriteRecord("DICT PERSON", "Name", fixture::Dyn("I^@2"));
  EXPECT_EQ(select("SSELECT PERSON AVEC Name = \"léa\""), "P2");
  EXPECT_NE(db_->Explain("SSELECT PERSON AVEC Name = \"léa\"").find("SEARCH INDEX"),
            std::string::npos);
  // Removed: the index goes with it.
  db_->DeleteRecord("DICT PERSON", "Name");
  EXPECT_TRUE(db_->IndexNames("PERSON").empty());
  EXPECT_EQ(ErrorOf([&] { select("SSELECT PERSON AVEC Name = \"léa\""); }), err::kUnknownDictItem);
}

TEST_P(StorageTest, DictionaryChangedByAnotherConnectionIsSeenAtTheNextQuery) {
  fixture::Load(path_, R"({"file":"DICT PERSON","id":"Name","rec":["I","@1"]}
{"file":"PERSON","id":"P1","rec":["léa","zoé"]}
)");
  std::int32_t count = 0;
  auto select = [&] { return db_->Select("SSELECT PERSON AVEC Name = \"zoé\"", "", count)->Get(); };
  EXPECT_EQ(select(), "");  // caches the item as @1
  OpenMvdb(path_)->WriteRecord("DICT PERSON", "Name", fixture::Dyn("I^@2"));
  EXPECT_EQ(select(), "P1");
}

// A server database is opened only with this layout's version; the refusal names the server
// and the database, never a password given in the connection text.
TEST(ServerLayoutTest, AnotherVersionAForeignSchemaOrNoDatabaseIsRefused) {
  if (!test::ServerDatabase::Available()) GTEST_SKIP() << "no test server";
  test::ServerDatabase empty, foreign, newer;
  foreign.Execute("CREATE TABLE payroll (id integer)");
  fixture::Load(newer.Name(), R"({"file":"F","id":"1","rec":["x"]})");
  newer.Execute("UPDATE mvdb_meta SET value = 2 WHERE name = 'format'");
  const std::string absent = empty.Name() + "_absent password=s3cret";
  for (const auto& [name, cause] :
       {std::pair{empty.Name(), "base vide"}, std::pair{foreign.Name(), "autre application"},
        std::pair{newer.Name(), "format mvdb 2"}, std::pair{absent, "connexion impossible"}}) {
    try {
      OpenMvdb(name);
      ADD_FAILURE() << name;
    } catch (const ComponentError& e) {
      EXPECT_EQ(e.number(), err::kDatabaseOpen) << e.what();
      EXPECT_NE(std::string(e.what()).find(cause), std::string::npos) << e.what();
      EXPECT_NE(std::string(e.what()).find("serveur « "), std::string::npos) << e.what();
      EXPECT_EQ(std::string(e.what()).find("s3cret"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace varnolde::mvdb
