// The varnolde-script command line: exit statuses, what goes where, and the last line.
#include "script/tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <sstream>

#include "components/errors.h"
#include "mvdb/link.h"
#include "script/demo_database.h"

namespace varnolde::script {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

class ScriptToolTest : public ::testing::Test {
 protected:
  int Run(std::vector<std::string> arguments) {
    out_.str("");
    err_.str("");
    return RunTool(arguments, out_, err_);
  }
  int RunScripts(const std::vector<std::string>& scripts,
                 const std::string& user = "gestionnaire") {
    std::vector<std::string> arguments = {"--db", demo_.Path(), "--user",
                                          user,   "--locale",   "fr_FR"};
    arguments.insert(arguments.end(), scripts.begin(), scripts.end());
    return Run(arguments);
  }
  bool Stored(const std::string& file, const std::string& key) {
    try {
      mvdb::OpenDatabase(demo_.Path())->OpenFile(file)->Read(key);
      return true;
    } catch (const ComponentError& error) {
      if (error.number() != err::kRecordNotFound) throw;
      return false;
    }
  }

  testing::DemoDatabase demo_;
  std::ostringstream out_;
  std::ostringstream err_;
};

constexpr const char* kRecordsAnAdvance =
    "type txt_Entite \"001\"\n"
    "type txt_CodeAidant \"00101\"\n"
    "dblclick lst_Liste1 0\n"
    "type txt_Acompte \"12\"\n"
    "click cmd_Ok\n"
    "click cmd_Valider\n"
    "expect record ACOMPTEBULL \"00101001202611\" \"1200\"\n";

TEST_F(ScriptToolTest, ScriptsRunOneAfterTheOtherOnTheSameDatabase) {
  const std::string first = demo_.WriteScript("first.script", kRecordsAnAdvance);
  const std::string second =
      demo_.WriteScript("second.script",
                        "type txt_Entite \"001\"\n"
                        "type txt_CodeAidant \"00101\"\n"
                        "expect rows lst_Acompte \"    12,00\" \"   120,50\"\n");
  EXPECT_EQ(RunScripts({first, second}), kExitPassed);
  EXPECT_THAT(out_.str(),
              HasSubstr("(user gestionnaire, locale fr_FR, database " + demo_.Path() + ")"));
  EXPECT_THAT(err_.str(), IsEmpty());
  EXPECT_THAT(out_.str(), HasSubstr("-- " + first + ": 1 passed, 0 failed\n"));
  EXPECT_THAT(out_.str(), EndsWith("-- " + second + ": 1 passed, 0 failed\n2 passed, 0 failed\n"));
}

TEST_F(ScriptToolTest, AWrongExpectationExitsOneAndStopsTheRun) {
  const std::string wrong = demo_.WriteScript(
      "wrong.script", "type txt_Entite \"001\"\nexpect text cbo_Entite \"Nord\"\n");
  const std::string next = demo_.WriteScript("next.script", kRecordsAnAdvance);
  EXPECT_EQ(RunScripts({wrong, next}), kExitFailed);
  EXPECT_THAT(out_.str(),
              HasSubstr(wrong + ":2: FAILED  expect text cbo_Entite \"Nord\"\n"
                                "      expected: \"Nord\"\n"
                                "      actual:   \"Aide à Domicile du Val de Loire\"\n"));
  EXPECT_THAT(out_.str(), HasSubstr("-- " + next + ": not run"));
  EXPECT_THAT(out_.str(), EndsWith("\n0 passed, 1 failed\n"));
  EXPECT_FALSE(Stored("ACOMPTEBULL", "00101001202611"));
}

TEST_F(ScriptToolTest, AScriptErrorAnywhereExitsTwoBeforeAnythingRuns) {
  const std::string good = demo_.WriteScript("good.script", kRecordsAnAdvance);
  const std::string bad = demo_.WriteScript("bad.script", "show\n\nclick cmd_Nothing\n");
  EXPECT_EQ(RunScripts({good, bad}), kExitScriptError);
  EXPECT_EQ(err_.str(), "varnolde-script: " + bad + ":3: unknown control 'cmd_Nothing'\n");
  EXPECT_EQ(out_.str(), "0 passed, 0 failed\n");
  EXPECT_FALSE(Stored("ACOMPTEBULL", "00101001202611"));
}

TEST_F(ScriptToolTest, StartUpErrorsExitTwo) {
  const std::string script = demo_.WriteScript("s.script", "show\n");
  EXPECT_EQ(RunScripts({script}, "nobody"), kExitScriptError);
  EXPECT_THAT(err_.str(),
              HasSubstr(script + ": the panel could not start (error 0x80040020):\n  "));
  EXPECT_THAT(err_.str(), HasSubstr("« nobody »"));
  EXPECT_THAT(out_.str(), EndsWith("0 passed, 0 failed\n"));

  const std::string missing = (demo_.Directory() / "missing.db").string();
  EXPECT_EQ(Run({"--db", missing, "--user", "gestionnaire", script}), kExitScriptError);
  EXPECT_THAT(err_.str(),
              HasSubstr("(error 0x80040014):\n  base « " + missing + " » : fichier introuvable\n"));
  EXPECT_THAT(err_.str(), HasSubstr(missing));

  EXPECT_EQ(RunScripts({(demo_.Directory() / "none.script").string()}), kExitScriptError);
  EXPECT_THAT(err_.str(), HasSubstr("none.script: cannot read the script"));
}

TEST_F(ScriptToolTest, BadCommandLinesExitTwoWithTheUsage) {
  const std::string script = demo_.WriteScript("s.script", "show\n");
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--user", "gestionnaire", script},
        std::vector<std::string>{"--db", demo_.Path(), script},
        std::vector<std::string>{"--db", demo_.Path(), "--user", "gestionnaire"},
        std::vector<std::string>{"--db", demo_.Path(), "--user", "gestionnaire", "--colour", "x",
                                 script},
        std::vector<std::string>{"--db", demo_.Path(), "--user", "gestionnaire", "--toolkit=gtk",
                                 script},
        std::vector<std::string>{"--db", demo_.Path(), "--user", "gestionnaire", "--picture",
                                 "p.png", script},
        std::vector<std::string>{"--db", demo_.Path(), "--user", "gestionnaire", script,
                                 "--locale"}}) {
    EXPECT_EQ(Run(arguments), kExitScriptError) << arguments.back();
    EXPECT_THAT(err_.str(), HasSubstr("usage: varnolde-script --db PATH --user LOGIN"));
    EXPECT_THAT(out_.str(), IsEmpty());
  }
  EXPECT_EQ(Run({"--help"}), kExitPassed);
  EXPECT_THAT(out_.str(), HasSubstr("usage: "));
}

// A database the user may read but not write: the panel opens on it, and a validation shows
// the write-failure message once and writes nothing. As root permissions stop nothing, so the
// run is the user nobody's (in a folder nobody may not write either).
TEST_F(ScriptToolTest, AReadOnlyDatabaseIsConsultedAndRefusesAValidation) {
  const std::string script = demo_.WriteScript(
      "read-only.script", std::string(kRecordsAnAdvance, std::strstr(kRecordsAnAdvance, "expect")) +
                              "expect message \"Erreur d'écriture de l'acompte dans la base.\"\n"
                              "expect no-message\n"
                              "expect no-record ACOMPTEBULL \"00101001202611\"\n");
  ::chmod(demo_.Path().c_str(), 0444);
  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(77);
    const int status = RunScripts({script});
    const std::string said = out_.str() + err_.str();
    ::_exit(::write(report[1], said.data(), said.size()) == static_cast<ssize_t>(said.size())
                ? status
                : 99);
  }
  ::close(report[1]);
  std::string said;
  char buffer[4096];
  for (ssize_t got; (got = ::read(report[0], buffer, sizeof buffer)) > 0;) said.append(buffer, got);
  ::close(report[0]);
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << said;
  if (WEXITSTATUS(status) == 77) GTEST_SKIP() << "running as root, and nobody cannot be taken";
  EXPECT_EQ(WEXITSTATUS(status), kExitPassed) << said;
  EXPECT_THAT(said, EndsWith("3 passed, 0 failed\n"));
}

TEST_F(ScriptToolTest, TheLocaleOptionOverridesTheEnvironment) {
  const std::string script = demo_.WriteScript(
      "s.script", "expect rows cbo_PeriodePaie \"NOVEMBER 2026\" \"DECEMBER 2026\"\n");
  EXPECT_EQ(Run({"--db=" + demo_.Path(), "--user=gestionnaire", "--locale=en_US", script}),
            kExitPassed);
  EXPECT_THAT(out_.str(), HasSubstr("locale en_US"));
  EXPECT_THAT(out_.str(), Not(HasSubstr("FAILED")));
}

}  // namespace
}  // namespace varnolde::script
