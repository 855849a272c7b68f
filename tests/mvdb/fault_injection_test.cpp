// The fault-injecting link: the chosen write, delete or commit fails and nothing else changes.
#include "mvdb/fault_injection.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "components/errors.h"
#include "mvdb/link.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

using Operation = FaultInjectingLink::Operation;

class FaultInjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = temp_.File("faults.db");
    fixture::Load(path_, R"({"file":"ACOMPTEBULL","id":"A1","rec":["100"]}
{"file":"ACOMPTEBULL","id":"A2","rec":["200"]}
)");
    link_ = FaultInjectingLink::Wrap(OpenDatabase(path_));
    file_ = link_->OpenFile("ACOMPTEBULL");
  }

  ErrorNumber Write(const std::string& key, const std::string& amount) {
    auto record = file_->ReadForUpdate(key);
    record->Set(1, amount);
    return fixture::ErrorOf([&] { record->DBWrite(); });
  }

  ErrorNumber Delete(const std::string& key) {
    return fixture::ErrorOf([&] { file_->ReadForUpdate(key)->DBDelete(); });
  }

  std::string Stored(const std::string& key) {
    try {
      return OpenDatabase(path_)->OpenFile("ACOMPTEBULL")->Read(key)->Get(1);
    } catch (const ComponentError&) {
      return "<none>";
    }
  }

  fixture::TempDir temp_;
  std::string path_;
  std::shared_ptr<FaultInjectingLink> link_;
  std::shared_ptr<DbFile> file_;
};

// Alone or inside a transaction that goes on and commits.
TEST_F(FaultInjectionTest, TheNthWriteFailsOnceAndLeavesTheDataAlone) {
  for (bool in_transaction : {false, true}) {
    SCOPED_TRACE(in_transaction ? "in a transaction" : "alone");
    if (in_transaction) link_->Begin();
    link_->FailNth(Operation::kWrite, 2);
    const std::string suffix = in_transaction ? "b" : "a";
    EXPECT_EQ(Write("A1", "101" + suffix), 0u);
    EXPECT_EQ(Write("A2", "201" + suffix), err::kWriteFailed);
    EXPECT_EQ(Write("A3", "301" + suffix), 0u);
    if (in_transaction) link_->Commit();
    EXPECT_EQ(Stored("A1"), "101" + suffix);
    EXPECT_EQ(Stored("A2"), "200");
    EXPECT_EQ(Stored("A3"), "301" + suffix);
  }
  EXPECT_EQ(link_->Attempts(Operation::kWrite), 6);
  EXPECT_EQ(link_->Injected(Operation::kWrite), 2);
  EXPECT_EQ(link_->Attempts(Operation::kDelete), 0);
}

TEST_F(FaultInjectionTest, OperationsAreCountedSeparatelyFromNow) {
  EXPECT_EQ(Write("A1", "x"), 0u);
  EXPECT_EQ(Delete("A9"), 0u);
  link_->FailNth(Operation::kDelete, 1);  // the next delete, whatever came before
  EXPECT_EQ(Write("A2", "y"), 0u);
  EXPECT_EQ(Delete("A1"), err::kWriteFailed);
  EXPECT_EQ(Stored("A1"), "x");
  EXPECT_EQ(Delete("A1"), 0u);
  EXPECT_EQ(Stored("A1"), "<none>");
  // Cancelled before it is due: nothing fails.
  link_->FailNth(Operation::kWrite, 1);
  link_->FailNth(Operation::kWrite, 0);
  EXPECT_EQ(Write("A2", "z"), 0u);
}

TEST_F(FaultInjectionTest, FailAlwaysFailsEveryOperationUntilCleared) {
  link_->FailAlways(Operation::kWrite, true);
  EXPECT_EQ(Write("A1", "1"), err::kWriteFailed);
  EXPECT_EQ(Write("A2", "2"), err::kWriteFailed);
  EXPECT_EQ(Delete("A1"), 0u);
  link_->FailAlways(Operation::kWrite, false);
  EXPECT_EQ(Write("A2", "3"), 0u);
  EXPECT_EQ(Stored("A2"), "3");
  EXPECT_EQ(link_->Injected(Operation::kWrite), 2);
}

TEST_F(FaultInjectionTest, AFailedCommitRollsTheTransactionBack) {
  link_->Begin();
  EXPECT_EQ(Write("A1", "in transaction"), 0u);
  EXPECT_EQ(Delete("A2"), 0u);
  link_->FailNth(Operation::kCommit, 1);
  EXPECT_EQ(fixture::ErrorOf([&] { link_->Commit(); }), err::kWriteFailed);
  EXPECT_FALSE(link_->InTransaction());
  EXPECT_EQ(Stored("A1"), "100");
  EXPECT_EQ(Stored("A2"), "200");
  // The next transaction commits.
  link_->Begin();
  EXPECT_EQ(Write("A1", "second try"), 0u);
  link_->Commit();
  EXPECT_EQ(Stored("A1"), "second try");
  EXPECT_EQ(link_->Attempts(Operation::kCommit), 2);
}

TEST_F(FaultInjectionTest, RecordsOfEveryOriginGoThroughTheWrapper) {
  link_->FailAlways(Operation::kWrite, true);
  link_->FailAlways(Operation::kDelete, true);
  auto read = file_->Read("A1");
  EXPECT_EQ(read->Get(1), "100");
  read->Set(1, "changed");
  EXPECT_THROW(read->DBWrite(), ComponentError);
  EXPECT_THROW(read->DBDelete(), ComponentError);
  auto fresh = link_->NewRecord();
  fresh->Set(1, "x");
  EXPECT_THROW(fresh->DBWrite(), ComponentError);
  EXPECT_EQ(link_->Attempts(Operation::kWrite), 2);
  EXPECT_EQ(link_->Attempts(Operation::kDelete), 1);
  // Without injection, a free record still refuses with its own number.
  link_->FailAlways(Operation::kWrite, false);
  EXPECT_EQ(fixture::ErrorOf([&] { fresh->DBWrite(); }), err::kRecordNotTied);
  EXPECT_EQ(Stored("A1"), "100");
}

TEST_F(FaultInjectionTest, QueriesAndSavepointsPassThrough) {
  std::int32_t count = 0;
  auto list = link_->Select(
      "SSELECT ACOMPTEBULL\xFE\xFE"
      "0 1",
      "", count);
  EXPECT_EQ(list->Get(2, 2), "200");
  link_->Begin();
  link_->Savepoint("s");
  EXPECT_EQ(Write("A1", "tmp"), 0u);
  link_->RollbackTo("s");
  link_->ReleaseSavepoint("s");
  link_->Commit();
  EXPECT_EQ(Stored("A1"), "100");
}

}  // namespace
}  // namespace varnolde::mvdb
