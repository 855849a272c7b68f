// The runner on a real panel over a fresh demo database: what passes, what fails, where it
// stops and what the report says.
#include "script/runner.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "host/panel_session.h"
#include "mvdb/link.h"
#include "script/demo_database.h"
#include "script/parser.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::script {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class ScriptRunnerTest : public ::testing::Test {
 protected:
  ScriptOutcome Run(const std::string& text, const std::string& login = "gestionnaire") {
    session_ = host::PanelSession::Open(toolkit_, demo_.Path(), {login, "fr_FR"});
    ScriptRunner runner(toolkit_, session_->Database(), report_);
    return runner.Run(ParseScript("t.script", text));
  }
  std::string Report() const { return report_.str(); }

  testing::DemoDatabase demo_;
  HeadlessToolkit toolkit_;
  std::unique_ptr<host::PanelSession> session_;
  std::ostringstream report_;
};

constexpr const char* kLeaMartin =
    "type txt_Entite \"001\"\n"
    "type txt_CodeAidant \"00101\"\n";

TEST_F(ScriptRunnerTest, CountsTheExpectationsThatHeld) {
  const ScriptOutcome outcome = Run(std::string(kLeaMartin) +
                                    "expect text cbo_NomAidant \"MARTIN Léa\"\n"
                                    "expect rows Lst_CodeContrat \"00101001\" \"00101002\"\n"
                                    "expect current lst_Liste1 -1\n"
                                    "select lst_Etat 1\n"
                                    "expect current Lst_CodeContrat 1\n"
                                    "expect enabled cmd_Sortir no\n"
                                    "expect visible Lst_CodeContrat no\n"
                                    "expect focus lst_Etat\n"
                                    "expect no-message\n");
  EXPECT_EQ(outcome.passed, 8);
  EXPECT_EQ(outcome.failed, 0);
  EXPECT_THAT(Report(), HasSubstr("    3  expect text cbo_NomAidant \"MARTIN Léa\"   ok\n"));
  EXPECT_THAT(Report(), HasSubstr("    6  select lst_Etat 1\n"));
}

TEST_F(ScriptRunnerTest, AFailedExpectationStopsTheScriptWithExpectedAndActual) {
  const ScriptOutcome outcome = Run(std::string(kLeaMartin) +
                                    "expect text txt_Entite \"002\"\n"
                                    "expect text txt_Entite \"001\"\n");
  EXPECT_EQ(outcome.passed, 0);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_THAT(Report(), HasSubstr("t.script:3: FAILED  expect text txt_Entite \"002\"\n"
                                  "      expected: \"002\"\n"
                                  "      actual:   \"001\"\n"));
  EXPECT_THAT(Report(), Not(HasSubstr("    4  ")));
}

TEST_F(ScriptRunnerTest, EachKindOfExpectationReportsWhatItFound) {
  struct Case {
    const char* line;
    const char* actual;
  };
  for (const Case& c : {Case{"expect enabled cmd_Valider no", "actual:   cmd_Valider yes"},
                        Case{"expect enabled no cmd_Sortir cmd_Valider", "actual:   cmd_Valider yes"},
                        Case{"expect focus cbo_NomAidant", "actual:   txt_CodeAidant"},
                        Case{"expect rows lst_Etat", "actual:   \"\" \"06/11/2026\""},
                        Case{"expect current lst_Etat 0", "actual:   -1"},
                        Case{"expect message \"x\"", "no message box left to check (0 shown"},
                        Case{"expect record ACOMPTEBULL \"00101001202611\" \"1\"",
                             "actual:   no record \"00101001202611\" in ACOMPTEBULL"},
                        Case{"expect no-record NOFILE \"1\"",
                             "actual:   error 0x80040010 \"fichier « NOFILE » inconnu\""},
                        Case{"expect no-record ACOMPTEBULL \"00101002202611\"",
                             "actual:   a record: \"12050\" \"21495\""}}) {
    HeadlessToolkit toolkit;
    auto session = host::PanelSession::Open(toolkit, demo_.Path(), {"gestionnaire", "fr_FR"});
    std::ostringstream report;
    const ScriptOutcome outcome =
        ScriptRunner(toolkit, session->Database(), report)
            .Run(ParseScript("t.script", std::string(kLeaMartin) + c.line));
    EXPECT_EQ(outcome.failed, 1) << c.line;
    EXPECT_THAT(report.str(), HasSubstr(c.actual)) << c.line;
  }
}

TEST_F(ScriptRunnerTest, MessagesAreCheckedOldestFirst) {
  const ScriptOutcome outcome =
      Run("type txt_Entite \"009\"\n"
          "type txt_Entite \"008\"\n"
          "expect message \"Cette entité n'existe pas.\"\n"
          "expect no-message\n");
  EXPECT_EQ(outcome.passed, 1);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_THAT(Report(), HasSubstr("         message \"Cette entité n'existe pas.\"\n"));
  EXPECT_THAT(Report(),
              HasSubstr("actual:   1 not checked, the oldest \"Cette entité n'existe pas.\""));
}

TEST_F(ScriptRunnerTest, AnImpossibleActionFailsNamingTheReason) {
  const ScriptOutcome outcome = Run("click cmd_Ok\nshow\n");
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_THAT(Report(), HasSubstr("t.script:1: FAILED  click cmd_Ok\n"
                                  "      expected: a clerk can do this\n"
                                  "      actual:   cannot click cmd_Ok: "));
  EXPECT_THAT(Report(), Not(HasSubstr("Panneau")));
}

TEST_F(ScriptRunnerTest, NothingCanBeDoneOnceSortirHasClosedThePanel) {
  EXPECT_EQ(Run("click cmd_Sortir\nshow\ntype txt_Entite \"001\"\n").failed, 1);
  EXPECT_THAT(Report(), HasSubstr("t.script:3: FAILED  type txt_Entite \"001\"\n"
                                  "      expected: a clerk can do this\n"
                                  "      actual:   le panneau est fermé\n"));
}

TEST_F(ScriptRunnerTest, AQuestionWithoutQueuedAnswerFailsAtItsLine) {
  // answer OK queues nothing: OK boxes answer themselves.
  const ScriptOutcome outcome =
      Run("type txt_Entite \"001\"\nanswer OK\ntype txt_CodeAidant \"00104\"\n");
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_THAT(Report(), HasSubstr("t.script:3: FAILED  type txt_CodeAidant \"00104\"\n"));
  EXPECT_THAT(Report(), HasSubstr("no answer queued for \"Pas de contrat pour cet aidant"));
}

TEST_F(ScriptRunnerTest, QueuedAnswersAreTakenInOrderAndLeftoversFailTheScript) {
  const ScriptOutcome outcome =
      Run("type txt_Entite \"001\"\n"
          "answer No\n"
          "answer Yes\n"
          "type txt_CodeAidant \"00104\"\n"
          "expect text txt_CodeAidant \"\"\n");
  EXPECT_EQ(outcome.passed, 1);
  EXPECT_EQ(outcome.failed, 1);
  EXPECT_THAT(Report(), HasSubstr("question \"Pas de contrat pour cet aidant"));
  EXPECT_THAT(Report(), HasSubstr("-> No\n"));
  EXPECT_THAT(Report(), HasSubstr("t.script:3: FAILED  answer Yes\n"
                                  "      expected: a question to take this answer\n"
                                  "      actual:   the script ended with 1 answer still queued\n"));
}

TEST_F(ScriptRunnerTest, RecordsCompareAttributesTrailingEmptiesAside) {
  ASSERT_EQ(
      Run("expect record ACOMPTEBULL \"00101002202611\" \"12050\" \"21495\" \"\"\n"
          "expect record UTILISATEURS \"gestionnaire\" \"CONSULTACPT\\vPAIE\" \"2\\v2\" \"*\"\n"
          "expect no-record ACOMPTEBULL \"00101001202611\"\n"
          "expect record ACOMPTEBULL \"00101002202611\" \"12050\"\n")
          .failed,
      1);
  EXPECT_THAT(Report(), HasSubstr("      expected: \"12050\"\n"
                                  "      actual:   \"12050\" \"21495\"\n"));
}

TEST_F(ScriptRunnerTest, ShowPrintsThePanel) {
  ASSERT_EQ(Run("show\n").failed, 0);
  EXPECT_THAT(Report(),
              HasSubstr("    1  show\nPanneau\nPériode de paie  cbo_PeriodePaie[NOVEMBRE 2026]"));
}

}  // namespace
}  // namespace varnolde::script
