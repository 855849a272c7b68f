// What the panel's clerk scripts (tests/panel/scripts) cannot show: the sentences it sends to
// the database, the look of its message boxes, its shared objects at start-up and at "Sortir",
// the column helpers, and writes that fail on purpose.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "host/panel_session.h"
#include "mvdb/fault_injection.h"
#include "mvdb/link.h"
#include "mvdb/server/server_rights.h"
#include "shared/moduleproc.h"
#include "shared/modulevar.h"
#include "support/support.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde {
namespace {

using namespace varnolde::panel;
using ModuleProc::PadField;
using ModuleProc::PositionList;
using mvdb::FaultInjectingLink;
using Strings = std::vector<std::string>;

constexpr char kWriteFailed[] = "Erreur d'écriture de l'acompte dans la base.";

// The panel opened as the host opens it, on the fixture tests/panel/fixtures/panel.jsonl.
class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override { test::LoadFile(db_, test::SourceFile("tests/panel/fixtures/panel.jsonl")); }

  void Open(const std::string& login = "gestionnaire",
            std::shared_ptr<DatabaseLink> link = nullptr) {
    session_.reset();
    toolkit_ = std::make_unique<HeadlessToolkit>();
    clerk_ = std::make_unique<ClerkDriver>(*toolkit_);
    session_ = host::PanelSession::Open(*toolkit_, link ? link : mvdb::OpenDatabase(db_),
                                        {login, "fr_FR"});
  }
  void LoadCaregiver(const std::string& code) {
    clerk_->Type(txt_Entite, "001");
    clerk_->Type(txt_CodeAidant, code);
  }
  // Opens row, replaces its amount and confirms it with the Ok under the lists.
  void Enter(int row, const std::string& amount) {
    clerk_->DoubleClickRow(lst_Acompte, row);
    while (!toolkit_->Text(txt_Acompte).empty()) clerk_->PressKey(txt_Acompte, ClerkKey::kBackspace);
    clerk_->Type(txt_Acompte, amount);
    clerk_->Click(cmd_Ok);
  }
  // The stored advance, trailing empty attributes aside.
  std::string Stored(const std::string& key) {
    try {
      std::string text = mvdb::OpenDatabase(db_)->OpenFile("ACOMPTEBULL")->Read(key)->Get();
      while (!text.empty() && text.back() == '\xFE') text.pop_back();
      return text;
    } catch (const ComponentError& e) {
      return e.number() == err::kRecordNotFound ? "<absent>" : e.what();
    }
  }
  Strings MessageTexts() const {
    Strings texts;
    for (const ShownMessage& m : toolkit_->Messages()) texts.push_back(m.text);
    return texts;
  }

  test::ScratchDir dir_{"panel"};
  std::string db_ = dir_.File("panel.db");
  std::unique_ptr<HeadlessToolkit> toolkit_;
  std::unique_ptr<ClerkDriver> clerk_;
  std::unique_ptr<host::PanelSession> session_;
};

TEST(PadFieldTest, PadsCutsAndAlignsCharacters) {
  EXPECT_EQ(PadField("12.50", 9, " ", 0), "    12.50");
  EXPECT_EQ(PadField("12.50", 9, " ", -1), "12.50    ");
  EXPECT_EQ(PadField("12.50", 9, " ", 1), "    12.50");  // only -1 left-aligns
  EXPECT_EQ(PadField("abcdefghijkl", 10, " ", 0), "abcdefghij");
  EXPECT_EQ(PadField("abc", 0, " ", -1), "");
  EXPECT_EQ(PadField("7", 3, "0xyz", 0), "007");
  EXPECT_EQ(PadField("Léa", 5, " ", -1), "Léa  ");
  EXPECT_EQ(PadField("Hélène", 2, " ", -1), "Hé");
}

TEST_F(PanelTest, PositionListFitsTheScrollBarToTheMainList) {
  Open();
  EXPECT_FALSE(toolkit_->ScrollUsable(Bdv_Liste));  // no rows at start-up
  for (const auto& [rows, maximum, usable] :
       {std::tuple{12, 11, false}, std::tuple{13, 12, true}, std::tuple{0, -1, false}}) {
    SCOPED_TRACE(rows);
    toolkit_->Clear(lst_Liste1);
    for (int i = 0; i < rows; ++i) toolkit_->AddItem(lst_Liste1, std::to_string(i));
    toolkit_->SetScrollMax(Bdv_Liste, 40);
    toolkit_->SetScrollValue(Bdv_Liste, 5);
    PositionList(*toolkit_, Bdv_Liste, lst_Liste1, 12);
    EXPECT_EQ(toolkit_->ScrollMax(Bdv_Liste), maximum);
    EXPECT_EQ(toolkit_->ScrollUsable(Bdv_Liste), usable);
    EXPECT_EQ(toolkit_->ScrollValue(Bdv_Liste), 0);
    // Back to 0: the change reaction brought the lists to their first row.
    EXPECT_EQ(toolkit_->ListIndex(lst_Liste1), rows > 0 ? 0 : -1);
  }
}

TEST_F(PanelTest, TheSentencesSentToTheDatabase) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(cbo_NomAidant, "dup");
  clerk_->Click(cmd_Recherche);
  EXPECT_EQ(session_->Panel().RequestText(),
            "SSELECT CIVILAIDANT AVEC NomPrenomAidant = \"DUP]\" PAR 2 PAR 3\xFE"
            "CIVILAIDANT\xFE"
            "0 2 3");
  clerk_->Pick(cbo_NomAidant, 0);
  // 1 and 31 March 2002 as stored dates.
  const std::string per_caregiver =
      " AND AVEC 0 = \"00012]\" AND AVEC 7 =< \"12509\" AND AVEC 8 = \"\" OR >= \"12479\""
      " AND AVEC 65 # \"O\"";
  EXPECT_EQ(session_->Panel().RequestText(),
            "SSELECT CONTRAT AVEC 2 = \"001\" AND AVEC 1 # \"O2\"" + per_caregiver +
                " OR AVEC 2 = \"001\"" + per_caregiver +
                " AND AVEC 2 = \"02\" AND AVEC 28 = \"1\" PAR 7 PAR 8\xFE"
                "CONTRAT\xFE"
                "0 1 2 3 7 8 28 65");
}

TEST_F(PanelTest, MessageBoxesHaveTheirTitleIconAndButtons) {
  Open();
  clerk_->Type(txt_Entite, "999");
  LoadCaregiver("00012");
  clerk_->DoubleClickRow(lst_Acompte, 0);
  toolkit_->QueueAnswer(kAnswerNo);
  clerk_->Click(cmd_Supprimer);
  ASSERT_EQ(toolkit_->Messages().size(), 2u);
  for (const ShownMessage& shown : toolkit_->Messages()) EXPECT_EQ(shown.title, "Message QUASTELOR");
  EXPECT_EQ(toolkit_->Messages()[0].icon, MsgIcon::kExclamation);
  EXPECT_EQ(toolkit_->Messages()[0].buttons, MsgButtons::kOk);
  EXPECT_EQ(toolkit_->Messages()[1].icon, MsgIcon::kQuestion);
  EXPECT_EQ(toolkit_->Messages()[1].buttons, MsgButtons::kYesNo);
}

TEST_F(PanelTest, ModifyingButtonsFollowTheAccessLevel) {
  for (const auto& [login, may_modify] :
       {std::pair{"gestionnaire", true}, std::pair{"consultant", false},
        std::pair{"sansdroit", false}}) {
    SCOPED_TRACE(login);
    Open(login);
    for (ControlId button : {cmd_Valider, cmd_Ok, cmd_Supprimer}) {
      EXPECT_EQ(toolkit_->Visible(button), may_modify) << Layout().controls[button].name;
    }
    EXPECT_TRUE(toolkit_->Visible(Cmd_AnnulerGene));
  }
}

TEST_F(PanelTest, ConsultingNeverWritesEvenThroughAHiddenButtonsReaction) {
  Open("consultant");
  LoadCaregiver("00012");
  clerk_->DoubleClickRow(lst_Acompte, 0);
  clerk_->Type(txt_Acompte, "7");
  session_->Panel().OnEvent(cmd_Ok, EventKind::kClick);
  session_->Panel().OnEvent(cmd_Valider, EventKind::kClick);
  EXPECT_EQ(Stored("00012001200203"), "1250");
}

TEST_F(PanelTest, ASingleEntityIsChosenAtStartUpOnly) {
  mvdb::OpenDatabase(db_)->OpenFile("ASSOCIATION")->Read("002")->DBDelete();
  Open();
  EXPECT_EQ(toolkit_->Text(txt_Entite), "001");
  EXPECT_EQ(toolkit_->Text(cbo_Entite), "Aide et Domicile Paris");
  EXPECT_EQ(toolkit_->Focused(), txt_CodeAidant);
  clerk_->Pick(cbo_PeriodePaie, 1);
  EXPECT_EQ(toolkit_->Text(txt_Entite), "");
  EXPECT_FALSE(toolkit_->Enabled(txt_CodeAidant));
}

TEST_F(PanelTest, SortirReleasesEverySharedObjectOnce) {
  Open();
  clerk_->Click(cmd_Sortir);
  EXPECT_TRUE(session_->Panel().W_sortir());
  EXPECT_TRUE(toolkit_->HostClosed());
  EXPECT_FALSE(Modulevar::theDataBase.IsSet());
  EXPECT_FALSE(Modulevar::TabAcompteBull.IsSet());
  EXPECT_FALSE(Modulevar::RecPeriodesPaie.IsSet());
  EXPECT_NO_THROW(session_.reset());
  EXPECT_TRUE(toolkit_->Messages().empty());
}

TEST_F(PanelTest, StartUpFailsOnAMissingTableOrAPeriodThatIsNoMonth) {
  test::ScratchDir other("panel-start");
  std::string without_payslips;
  std::istringstream fixture(test::Slurp(test::SourceFile("tests/panel/fixtures/panel.jsonl")));
  for (std::string line; std::getline(fixture, line);) {
    if (line.find("DETAILCALCUL") == std::string::npos) without_payslips += line + "\n";
  }
  test::LoadLines(other.File("a.db"), without_payslips);
  test::LoadLines(db_, R"({"file":"PERIODESPAIE","id":"1","rec":["2002AB","200204"]})");
  for (const auto& [path, number] : {std::pair{other.File("a.db"), err::kUnknownFile},
                                     std::pair{db_, err::kTypeMismatch}}) {
    HeadlessToolkit toolkit;
    EXPECT_EQ(test::ErrorOf([&] {
                host::PanelSession::Open(toolkit, path, {"gestionnaire", "fr_FR"});
              }),
              number)
        << path;
  }
}

// Caregiver 00012 with a third row between the two others (00012006, an advance of 7,00):
// rows 0 and 1 are given new amounts, then a write, a delete or the commit fails.
TEST_F(PanelTest, AFailedWriteDeleteOrCommitLosesNothing) {
  test::LoadLines(db_, R"({"file":"CONTRAT","id":"00012006","rec":["001","001","","","","","12451",""]})"
                       "\n"
                       R"({"file":"ACOMPTEBULL","id":"00012006200203","rec":["700"]})");
  const std::string paid = Stored("00012002200203");
  struct Case {
    const char* what;
    FaultInjectingLink::Operation operation;
    int nth;
    Strings stored;  // 00012001, 00012006, 00012002 afterwards
  };
  for (const Case& c :
       {Case{"the second write", FaultInjectingLink::Operation::kWrite, 2, {"100", "700", paid}},
        Case{"the second delete", FaultInjectingLink::Operation::kDelete, 2, {"100", "700", paid}},
        Case{"the commit", FaultInjectingLink::Operation::kCommit, 1, {"1250", "700", paid}}}) {
    SCOPED_TRACE(c.what);
    auto faulty = FaultInjectingLink::Wrap(mvdb::OpenDatabase(db_));
    Open("gestionnaire", faulty);
    LoadCaregiver("00012");
    ASSERT_EQ(toolkit_->ItemText(Lst_CodeContrat, 1), "00012006");
    Enter(0, "1");
    Enter(1, "2");
    faulty->FailNth(c.operation, c.nth);
    clerk_->Click(cmd_Valider);
    EXPECT_EQ(MessageTexts(), Strings{kWriteFailed});
    EXPECT_EQ((Strings{Stored("00012001200203"), Stored("00012006200203"), Stored("00012002200203")}),
              c.stored);
    EXPECT_EQ(toolkit_->ListCount(lst_Liste1), 0);
    session_.reset();
    test::LoadLines(db_, R"({"file":"ACOMPTEBULL","id":"00012001200203","rec":["1250"]})");
  }
  // A database opened read-only refuses the validation the same way.
  Open("gestionnaire", mvdb::OpenDatabase(db_, mvdb::OpenOptions{.read_only = true}));
  LoadCaregiver("00012");
  Enter(0, "1");
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(MessageTexts(), Strings{kWriteFailed});
  EXPECT_EQ(Stored("00012001200203"), "1250");
}

// Another clerk's validation between the loading of a caregiver and this clerk's: a changed,
// created or deleted advance of the caregiver's rows makes this validation write nothing.
TEST_F(PanelTest, AnotherClerksChangeSinceLoadingIsNeverOverwritten) {
  struct Case {
    const char* what;
    const char* caregiver;
    const char* key;  // the advance the other clerk changes
    const char* other_text;  // empty: deleted
  };
  std::unique_ptr<test::ServerDatabase> server;
  if (test::ServerDatabase::Available()) {
    server = std::make_unique<test::ServerDatabase>();
    test::LoadFile(server->Name(), test::SourceFile("tests/panel/fixtures/panel.jsonl"));
    mvdb::ApplyServerRights(server->Name());  // the panel connects as its user's role
  }
  const std::string file = db_;
  for (const Case& c : {Case{"changed", "00012", "00012002200203", "600"},
                        Case{"deleted", "00012", "00012001200203", ""},
                        Case{"created", "00013", "00013001200203", "300"}})
  for (const std::string& database :
       {file, server ? server->Name() + " user=gestionnaire" : file}) {
    SCOPED_TRACE(std::string(c.what) + " on " + (database == file ? "a file" : "the server"));
    db_ = database;
    Open();
    LoadCaregiver(c.caregiver);
    auto other = mvdb::OpenMvdb(db_);
    if (*c.other_text != '\0') {
      other->WriteRecord("ACOMPTEBULL", c.key, c.other_text);
    } else {
      other->DeleteRecord("ACOMPTEBULL", c.key);
    }
    const std::string before = Stored("00012001200203") + "|" + Stored("00013001200203");
    Enter(0, "9");
    clerk_->Click(cmd_Valider);
    EXPECT_EQ(MessageTexts(), Strings{"Les acomptes de cet aidant ont été modifiés par un autre "
                                      "utilisateur depuis leur affichage. Rechargez l'aidant pour "
                                      "voir leur état actuel."});
    EXPECT_EQ(Stored("00012001200203") + "|" + Stored("00013001200203"), before);
    EXPECT_EQ(toolkit_->ListCount(lst_Liste1), 0);
    EXPECT_EQ(toolkit_->Messages().back().icon, MsgIcon::kExclamation);
  }
}

}  // namespace
}  // namespace varnolde
