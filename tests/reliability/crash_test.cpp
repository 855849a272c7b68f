// Crash safety: the checks of the crash runs catch a validation that is not all or nothing.
#include <gtest/gtest.h>

#include "components/forwarding.h"
#include "support/support.h"
#include "reliability/clerk_session.h"
#include "reliability/crash_harness.h"

namespace varnolde::reliability {

using test::ScratchDir;
namespace {

// A link that ignores transactions: every write and delete is then a commit of its own.
class NoTransactionLink : public ForwardingLink {
 public:
  using ForwardingLink::ForwardingLink;
  void Begin() override {}
  void Commit() override {}
  void Rollback() override {}
  void Savepoint(std::string_view) override {}
  void ReleaseSavepoint(std::string_view) override {}
  void RollbackTo(std::string_view) override {}
  void Lock(std::string_view) override {}
  bool InTransaction() const override { return false; }
};

std::shared_ptr<DatabaseLink> WithoutTransactions(std::shared_ptr<DatabaseLink> link) {
  return std::make_shared<NoTransactionLink>(std::move(link));
}

// The crash runs (varnolde-reliability crash and server-crash, run by ctest) prove something
// only if their checks can fail: with validations that are not one transaction, a kill of the
// clerk, or a shutdown of the server, soon leaves a caregiver's rows split between two
// validations.
TEST(CrashSafety, AValidationThatIsNotOneTransactionIsCaughtSplit) {
  ScratchDir dir("crash-split");
  const CrashRunReport report = RunCrashKills({.db_path = dir.File("crash.db"),
                                               .kills = 400,
                                               .seed = 7,
                                               .stop_after_violations = 1,
                                               .wrap_link = WithoutTransactions});
  ASSERT_EQ(report.violations.size(), 1u) << "no kill split a validation in 400";
  EXPECT_NE(report.violations[0].find("split validation"), std::string::npos)
      << report.violations[0];
}

TEST(CrashSafety, OnTheServerAValidationThatIsNotOneTransactionIsCaughtSplit) {
  if (!test::ServerDatabase::Available()) GTEST_SKIP() << "no test server answers";
  const ServerShutdownReport report = RunServerShutdowns(
      {.shutdowns = 100, .seed = 7, .stop_after_violations = 1, .wrap_link = WithoutTransactions});
  ASSERT_EQ(report.violations.size(), 1u) << "no shutdown split a validation in 100";
  // Without one transaction a shutdown leaves a caregiver's rows split, or of an older
  // validation than the one that returned: either shows the checks can fail.
  const std::string& violation = report.violations[0];
  EXPECT_TRUE(violation.find("split validation") != std::string::npos ||
              violation.find(" holds validation ") != std::string::npos)
      << violation;
}

}  // namespace
}  // namespace varnolde::reliability
