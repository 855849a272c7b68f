// Rights: a caregiver the user may not see never has contracts or advances shown, whatever the
// clerk types as a code or as a name; the name search lists only names beginning with the
// typed text, quotes and wildcards included.
#include <gtest/gtest.h>

#include <algorithm>

#include "mvdb/link.h"
#include "panel/layout.h"
#include "support/support.h"
#include "reliability/clerk_session.h"
#include "toolkit/headless/render_panel.h"
#include "mvdb/dictionary.h"

namespace varnolde::reliability {

using test::ScratchDir;
namespace {

using namespace varnolde::panel;

constexpr char kRefused[] = "Vous n'êtes pas autorisé à accéder à cet aidant.";
// Caregivers of group G9, which the user "restreint" (groups G1 and G2) may not see, and the
// amounts of their advances.
const std::vector<std::string> kHidden = {"00025", "00029"};
const std::vector<std::string> kHiddenAmounts = {"777,00", "888,00", "999,00"};

class RightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFixtureDatabase(db_);
    session_ = std::make_unique<ClerkSession>(mvdb::OpenDatabase(db_), "restreint");
    session_->ChooseEntity();
  }

  HeadlessToolkit& ui() { return session_->toolkit(); }
  ClerkDriver& clerk() { return session_->clerk(); }

  // Nothing of a hidden caregiver on the screen: no contract row, no amount, no code in the
  // code field while rows are shown.
  void ExpectNothingHiddenShown(const std::string& attempt) {
    SCOPED_TRACE(attempt);
    for (const std::string& contract : session_->Rows(Lst_CodeContrat)) {
      for (const std::string& hidden : kHidden) EXPECT_NE(contract.rfind(hidden, 0), 0u) << contract;
    }
    const std::string screen = RenderPanel(ui());
    for (const std::string& amount : kHiddenAmounts) {
      EXPECT_EQ(screen.find(amount), std::string::npos) << screen;
    }
    if (ui().ListCount(lst_Liste1) > 0) {
      const std::string code = ui().Text(txt_CodeAidant);
      EXPECT_EQ(std::count(kHidden.begin(), kHidden.end(), code), 0) << code;
    }
  }

  // Back to no caregiver, whatever state the attempt left.
  void Reset() {
    if (ui().Enabled(Cmd_AnnulerGene) && ui().UnreachableReason(Cmd_AnnulerGene).empty()) {
      clerk().Click(Cmd_AnnulerGene);
    }
    if (ui().UnreachableReason(txt_CodeAidant).empty()) {
      clerk().Focus(txt_CodeAidant);
      while (!ui().Text(txt_CodeAidant).empty()) clerk().PressKey(txt_CodeAidant, ClerkKey::kBackspace);
    }
    if (ui().UnreachableReason(cbo_NomAidant).empty()) {
      clerk().Focus(cbo_NomAidant);
      while (!ui().Text(cbo_NomAidant).empty()) clerk().PressKey(cbo_NomAidant, ClerkKey::kBackspace);
    }
  }

  // Types text into the name box (one character at a time, refusals aside), searches, checks
  // the names listed, then picks each of them in turn.
  void SearchAndPickEveryName(const std::string& typed) {
    SCOPED_TRACE("name " + typed);
    clerk().Focus(cbo_NomAidant);
    for (const std::string& character : Utf8Characters(typed)) {
      try {
        clerk().Type(cbo_NomAidant, character);
      } catch (const ClerkRefusal&) {
        // A character the clerk's keyboard cannot give here.
      }
    }
    clerk().PressKey(cbo_NomAidant, ClerkKey::kEnter);
    ExpectNothingHiddenShown("search " + typed);
    const int names = ui().ListCount(cbo_NomAidant);
    for (int k = 0; k < names; ++k) {
      if (!ui().UnreachableReason(cbo_NomAidant).empty()) break;
      clerk().Pick(cbo_NomAidant, k);
      ExpectNothingHiddenShown("pick " + std::to_string(k) + " after " + typed);
      if (ui().Enabled(Cmd_AnnulerGene)) clerk().Click(Cmd_AnnulerGene);
    }
    Reset();
  }

  // Searches typed in the name box and checks that every name found begins with it.
  void ExpectOnlyNamesBeginningWith(const std::string& typed) {
    SCOPED_TRACE(typed);
    const std::size_t before = ui().Messages().size();
    clerk().Type(cbo_NomAidant, typed);
    clerk().PressKey(cbo_NomAidant, ClerkKey::kEnter);
    // The names found: the list filled by the search, or the one name it put in the box. The
    // list is left as it was when nothing is found.
    std::vector<std::string> names;
    const auto shown = session_->MessagesSince(before);
    const bool none = !shown.empty() && shown.back().rfind("Aucun aidant", 0) == 0;
    for (int k = 0; !none && k < ui().ListCount(cbo_NomAidant); ++k) {
      names.push_back(ui().ItemText(cbo_NomAidant, k));
    }
    if (!none && names.empty()) names.push_back(ui().Text(cbo_NomAidant));
    const std::string upper_typed = mvdb::UpperCase(typed);
    for (const std::string& name : names) {
      EXPECT_EQ(mvdb::UpperCase(name).rfind(upper_typed, 0), 0u) << name;
    }
    Reset();
  }

  static std::vector<std::string> Utf8Characters(const std::string& text) {
    std::vector<std::string> characters;
    for (std::size_t i = 0; i < text.size();) {
      std::size_t length = 1;
      while (i + length < text.size() && (static_cast<unsigned char>(text[i + length]) & 0xC0) == 0x80) {
        ++length;
      }
      characters.push_back(text.substr(i, length));
      i += length;
    }
    return characters;
  }

  ScratchDir dir_{"rights"};
  std::string db_ = dir_.File("rights.db");
  std::unique_ptr<ClerkSession> session_;
};

TEST_F(RightsTest, AHiddenCaregiversCodeIsRefusedHoweverItIsTyped) {
  const std::vector<std::pair<std::string, ClerkKey>> attempts = {
      {"00025", ClerkKey::kTab},  {"25", ClerkKey::kEnter},     {"25", ClerkKey::kTab},
      {"0002 5", ClerkKey::kEnter}, {"25'", ClerkKey::kEnter},  {"\"25\"", ClerkKey::kEnter},
      {"2*", ClerkKey::kEnter},   {"25]", ClerkKey::kEnter},    {"000025", ClerkKey::kEnter},
      {"00029", ClerkKey::kTab},  {"29", ClerkKey::kEnter},     {"0x19", ClerkKey::kEnter},
      {"２５", ClerkKey::kEnter}, {"0002\xD9\xA5", ClerkKey::kEnter}};
  int refusals = 0;
  for (const auto& [typed, key] : attempts) {
    const std::size_t before = ui().Messages().size();
    clerk().Type(txt_CodeAidant, typed);
    if (ui().UnreachableReason(txt_CodeAidant).empty()) clerk().PressKey(txt_CodeAidant, key);
    ExpectNothingHiddenShown("code " + typed);
    for (const std::string& text : session_->MessagesSince(before)) refusals += text == kRefused;
    Reset();
  }
  EXPECT_GE(refusals, 8);  // every attempt that completes a hidden code is answered
  // A visible caregiver is shown, so the checks above would see one.
  clerk().Type(txt_CodeAidant, "00021");
  EXPECT_EQ(ui().ListCount(Lst_CodeContrat), 4);
}

TEST_F(RightsTest, NoNameSearchShowsAHiddenCaregiver) {
  for (const std::string typed :
       {"PETIT", "PETIT LUC", "P", "PET]", "PETIT]]", "\"", "'", "\\", "]", "*", "%", "?",
        "PETIT\" OR AVEC 0 = \"00025", "' OR AVEC 31 = 'G9", "\\ OR AVEC 0 # \\",
        "PETIT\" PAR 2 \"", "petit", "\"'\\", "[CROCHET]", "[", "[C", "Ò"}) {
    SearchAndPickEveryName(typed);
  }
}

// Quotes, marks and wildcards are searched as themselves; so is "[", which would otherwise widen
// the search into "contains" ("[C" listing every name holding a C).
TEST_F(RightsTest, TheNameSearchListsOnlyNamesBeginningWithTheTypedText) {
  for (const std::string typed :
       {"PETIT", "P", "D", "LE \"", "LE \"GRAND\" JEAN]", "O'", "O'BRIEN S", "*", "%", "_",
        "PET]", "\"", "'", "]", "ROUSSEAU MARC]", "[", "[C", "[UP", "[CROCHET"}) {
    ExpectOnlyNamesBeginningWith(typed);
  }
}

}  // namespace
}  // namespace varnolde::reliability
