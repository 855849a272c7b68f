// The script format: what each verb takes, the quoting rules, and the errors that stop a script
// before it runs.
#include "script/parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "panel/layout.h"

namespace varnolde::script {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

Step OnlyStep(const std::string& line) {
  const Script script = ParseScript("t.script", line);
  EXPECT_EQ(script.steps.size(), 1u);
  return script.steps.at(0);
}

TEST(ScriptParser, ActionsTakeTheirControlsAndArguments) {
  const Script script = ParseScript("t.script",
                                    "type txt_Entite \"001\"\n"
                                    "key cbo_NomAidant Escape\n"
                                    "key lst_Liste1 Tab 3\n"
                                    "click cmd_Valider\n"
                                    "pick cbo_PeriodePaie 1\n"
                                    "select lst_Etat 3\n"
                                    "dblclick lst_Acompte 0\n"
                                    "scroll Bdv_Liste 12\n"
                                    "focus txt_CodeAidant\n"
                                    "answer No\n"
                                    "answer OK\n"
                                    "show\n");
  const auto& s = script.steps;
  ASSERT_EQ(s.size(), 12u);
  EXPECT_EQ(s[0].verb, Verb::kType);
  EXPECT_EQ(s[0].control, panel::txt_Entite);
  EXPECT_THAT(s[0].texts, ElementsAre("001"));
  EXPECT_EQ(s[1].key, ClerkKey::kEscape);
  EXPECT_EQ(s[1].number, 1);  // a key is pressed once unless a count follows
  EXPECT_EQ(s[2].key, ClerkKey::kTab);
  EXPECT_EQ(s[2].number, 3);
  EXPECT_EQ(s[3].control, panel::cmd_Valider);
  EXPECT_EQ(s[4].verb, Verb::kPick);
  EXPECT_EQ(s[4].number, 1);
  EXPECT_EQ(s[5].verb, Verb::kSelect);
  EXPECT_EQ(s[5].number, 3);
  EXPECT_EQ(s[6].verb, Verb::kDblClick);
  EXPECT_EQ(s[7].number, 12);
  EXPECT_EQ(s[8].verb, Verb::kFocus);
  EXPECT_EQ(s[9].answer, kAnswerNo);
  EXPECT_EQ(s[10].answer, kAnswerOk);
  EXPECT_EQ(s[11].verb, Verb::kShow);
  for (const Step& step : s) EXPECT_FALSE(IsExpectation(step.verb)) << step.source;
}

TEST(ScriptParser, ExpectationsTakeTheirArguments) {
  const Script script = ParseScript("t.script",
                                    "expect message \"Cet aidant n'existe pas.\"\n"
                                    "expect no-message\n"
                                    "expect enabled cmd_Ok no\n"
                                    "expect visible yes cmd_Sortir cmd_Ok\n"
                                    "expect rows lst_Acompte \"   12,50\" \"\"\n"
                                    "expect rows lst_Etat\n"
                                    "expect current lst_Liste1 -1\n"
                                    "expect record ACOMPTEBULL \"00101001202611\" \"1250\" \"\"\n"
                                    "expect no-record \"DICT CIVILAIDANT\" \"X\"\n");
  const auto& s = script.steps;
  ASSERT_EQ(s.size(), 9u);
  EXPECT_THAT(s[0].texts, ElementsAre("Cet aidant n'existe pas."));
  EXPECT_EQ(s[1].verb, Verb::kExpectNoMessage);
  EXPECT_FALSE(s[2].flag);
  EXPECT_THAT(s[2].controls, ElementsAre(panel::cmd_Ok));
  EXPECT_TRUE(s[3].flag);
  EXPECT_THAT(s[3].controls, ElementsAre(panel::cmd_Sortir, panel::cmd_Ok));
  EXPECT_THAT(s[4].texts, ElementsAre("   12,50", ""));
  EXPECT_TRUE(s[5].texts.empty());
  EXPECT_EQ(s[6].number, -1);
  EXPECT_EQ(s[7].file, "ACOMPTEBULL");
  EXPECT_THAT(s[7].texts, ElementsAre("00101001202611", "1250", ""));
  EXPECT_EQ(s[8].file, "DICT CIVILAIDANT");
  for (const Step& step : s) EXPECT_TRUE(IsExpectation(step.verb)) << step.source;
}

TEST(ScriptParser, TextsUnescapeAndKeepBlanksAndAccents) {
  const Step step = OnlyStep(R"(expect text txt_Etat "a\"b\\c\r\n\t\vd  é")");
  EXPECT_EQ(step.texts.at(0),
            "a\"b\\c\r\n\t\xFD"
            "d  é");
  EXPECT_EQ(OnlyStep(R"(type txt_Entite "")").texts.at(0), "");
}

TEST(ScriptParser, CommentsBlankLinesAndLineEndingsKeepLineNumbers) {
  const Script script = ParseScript("t.script",
                                    "\xEF\xBB\xBF# a comment\r\n"
                                    "\r\n"
                                    "   show   \r\n"
                                    "\t# indented comment\n"
                                    "click cmd_Ok");
  ASSERT_EQ(script.steps.size(), 2u);
  EXPECT_EQ(script.steps[0].line, 3);
  EXPECT_EQ(script.steps[0].source, "show");
  EXPECT_EQ(script.steps[1].line, 5);
  EXPECT_TRUE(ParseScript("empty.script", "").steps.empty());
}

struct BadLine {
  const char* text;
  const char* message;
};

class ScriptParserRefuses : public ::testing::TestWithParam<BadLine> {};

TEST_P(ScriptParserRefuses, NamingTheScriptAndTheLine) {
  const std::string text = std::string("show\n# comment\n") + GetParam().text + "\nshow\n";
  try {
    ParseScript("bad.script", text);
    FAIL() << "accepted: " << GetParam().text;
  } catch (const ScriptError& error) {
    EXPECT_EQ(error.script(), "bad.script");
    EXPECT_EQ(error.line(), 3);
    EXPECT_THAT(error.what(), HasSubstr("bad.script:3: "));
    EXPECT_THAT(error.message(), HasSubstr(GetParam().message));
  }
}

INSTANTIATE_TEST_SUITE_P(
    BadQuoting, ScriptParserRefuses,
    ::testing::Values(BadLine{R"(type txt_Entite "001)",
                              "bad quoting at column 17: the text has no closing"},
                      BadLine{R"(type txt_Entite "0\q")", "unknown escape \\q"},
                      BadLine{R"(type txt_Entite "001"x)", "must be followed by a blank"},
                      BadLine{R"(type txt_Entite 0"01")", "a double quote inside a word"},
                      BadLine{"type txt_Entite \"0\\", "no closing double quote"},
                      BadLine{"type txt_Entite \"\xC3(\"", "not UTF-8 (column 18)"}));

INSTANTIATE_TEST_SUITE_P(
    UnknownNames, ScriptParserRefuses,
    ::testing::Values(BadLine{"typ txt_Entite \"1\"", "unknown verb 'typ'"},
                      BadLine{"expect colour txt_Entite", "unknown expectation 'colour'"},
                      BadLine{"expect", "'expect' needs what to check"},
                      BadLine{"\"show\"", "starts with a verb"},
                      BadLine{"click txt_entite", "unknown control 'txt_entite'"},
                      BadLine{"key txt_Entite enter", "'enter' is not a key"},
                      BadLine{"answer yes", "'yes' is not an answer"},
                      BadLine{"expect enabled cmd_Ok Yes", "'Yes' is not yes or no"}));

INSTANTIATE_TEST_SUITE_P(
    BadArguments, ScriptParserRefuses,
    ::testing::Values(BadLine{"type txt_Entite", "missing the text; write: type CONTROL \"TEXT\""},
                      BadLine{"type txt_Entite 001", "the text must be in double quotes"},
                      BadLine{"click \"cmd_Ok\"", "a control name is written without quotes"},
                      BadLine{"click cmd_Ok cmd_Annuler", "unexpected 'cmd_Annuler' at column 14"},
                      BadLine{"show please", "unexpected 'please'"},
                      BadLine{"pick cbo_Entite -1", "'-1' is not a whole number from 0"},
                      BadLine{"expect current lst_Etat -2", "from -1"},
                      BadLine{"select lst_Etat 1x", "'1x' is not a whole number"},
                      BadLine{"key txt_Entite Enter 0", "'0' is not a whole number from 1"},
                      BadLine{"expect enabled no", "missing a control name"},
                      BadLine{"expect record ACOMPTEBULL", "missing the text"},
                      BadLine{"expect no-record \"\" \"1\"", "the file name is empty"}));

INSTANTIATE_TEST_SUITE_P(
    ControlsOfTheWrongKind, ScriptParserRefuses,
    ::testing::Values(BadLine{"pick txt_Entite 0",
                              "'pick' needs a combo box; txt_Entite is not one"},
                      BadLine{"type lst_Liste1 \"1\"", "needs a text box or an editable combo box"},
                      BadLine{"key cmd_Ok Enter", "needs a text box"},
                      BadLine{"key etq_aidant Tab", "needs a control that takes the focus"},
                      BadLine{"select cbo_Entite 0", "needs a list box"},
                      BadLine{"scroll lst_Liste1 3", "needs a scroll bar"},
                      BadLine{"click Bdv_Liste", "scroll bars are scrolled"},
                      BadLine{"focus Fra_Contrats", "takes the focus"},
                      BadLine{"expect rows txt_Entite", "needs a list box or a combo box"},
                      BadLine{"expect text Bdv_Liste \"\"", "needs a control with a text"}));

TEST(ScriptParser, AnUnreadableFileIsAScriptErrorWithoutLine) {
  try {
    LoadScript("/nonexistent/varnolde/x.script");
    FAIL();
  } catch (const ScriptError& error) {
    EXPECT_EQ(error.line(), 0);
    EXPECT_STREQ(error.what(), "/nonexistent/varnolde/x.script: cannot read the script");
  }
  EXPECT_THROW(LoadScript("/"), ScriptError);
}

}  // namespace
}  // namespace varnolde::script
