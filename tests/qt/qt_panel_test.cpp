// The advances panel end to end on real Qt widgets (offscreen), driven as a clerk would with
// keys and mouse clicks, over a real database loaded from tests/qt/fixtures/qt_panel.jsonl.
#include <QWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "convert/format_converter.h"
#include "convert/regional.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "panel/ctr_consultationacompte.h"
#include "qt/qt_harness.h"
#include "rights/user_rights.h"

namespace varnolde::qt_test {
namespace {

namespace fs = std::filesystem;
using namespace varnolde::panel;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* kPayslipWarning =
    "Attention ! \r\nBulletin de paie déjà traité sur cette période.\r\n"
    "La mise à jour de l'acompte ne pourra être effective sur le bulletin.";
constexpr const char* kProviderQuestion =
    "Pas de contrat prestataire pour cet aidant pour la période demandée. Souhaitez vous "
    "effectuer un acompte sur le dernier contrat du mois précèdant";

class QtPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* source = std::getenv("VARNOLDE_SOURCE_DIR");
    ASSERT_NE(source, nullptr) << "VARNOLDE_SOURCE_DIR is not set";
    dir_ = fs::temp_directory_path() /
           ("varnolde_qt_panel_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    db_path_ = (dir_ / "panel.db").string();
    std::ifstream lines(fs::path(source) / "tests" / "qt" / "fixtures" / "qt_panel.jsonl");
    ASSERT_TRUE(lines) << "fixture missing";
    mvdb::LoadJsonLines(db_path_, lines);
  }

  void TearDown() override {
    panel_.reset();
    harness_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  // Opens the panel as the varnolde host does: properties, then init, then the window.
  void Open(const std::string& login = "gestionnaire") {
    harness_ = std::make_unique<QtHarness>();
    auto db = mvdb::OpenDatabase(db_path_);
    auto regional = MakeRegionalSettings("fr_FR");
    panel_ = std::make_unique<ctr_consultationacompte>(harness_->toolkit(),
                                                       MakeFormatConverter(regional), regional);
    panel_->theDataBase(db);
    panel_->Theclient(nullptr);
    panel_->DroitsUtilisateur(LoadUserRights(*db, login));
    panel_->init();
    harness_->drivable().Show();
  }

  // Entity 001 typed in its code box, then the caregiver's five-digit code.
  void LoadCaregiver(const std::string& code) {
    clerk().Type(txt_Entite, "001");
    clerk().Type(txt_CodeAidant, code);
  }

  std::vector<std::string> Rows(ControlId list) {
    std::vector<std::string> rows;
    for (int row = 0; row < ui().ListCount(list); ++row) rows.push_back(ui().ItemText(list, row));
    return rows;
  }

  // The attribute as stored, read through a link of its own.
  std::string Stored(const std::string& key, int attribute) {
    auto link = mvdb::OpenDatabase(db_path_);
    try {
      return link->OpenFile("ACOMPTEBULL")->Read(key)->Get(attribute);
    } catch (const ComponentError& error) {
      if (error.number() == err::kRecordNotFound) return "<absent>";
      throw;
    }
  }

  QtHarness& clerk() { return *harness_; }
  Toolkit& ui() { return harness_->toolkit(); }
  bool OnScreen(ControlId control) {
    return harness_->drivable().ControlWidget(control)->isVisible();
  }

  fs::path dir_;
  std::string db_path_;
  std::unique_ptr<QtHarness> harness_;
  std::unique_ptr<ctr_consultationacompte> panel_;
};

TEST_F(QtPanelTest, ClerkEntersAnAdvanceFromEntityToDatabase) {
  Open();
  EXPECT_EQ(ui().Text(cbo_PeriodePaie), "MARS 2002");
  EXPECT_EQ(ui().Focused(), txt_Entite);

  // The entity by its code: found as the third digit arrives.
  clerk().Type(txt_Entite, "001");
  EXPECT_EQ(ui().Text(cbo_Entite), "AIDE A DOMICILE NORD");
  EXPECT_EQ(ui().Focused(), txt_CodeAidant);

  // The caregiver by the beginning of the name: three hits, the third chosen.
  clerk().Type(cbo_NomAidant, "le");
  clerk().PressKey(cbo_NomAidant, ClerkKey::kEnter);
  EXPECT_THAT(Rows(cbo_NomAidant),
              ElementsAre("LEFEBVRE Marc", "LEGRAND Sophie", "LEROY Camille"));
  EXPECT_EQ(ui().Text(txt_CodeAidant), "");
  clerk().Pick(cbo_NomAidant, 2);
  EXPECT_EQ(ui().Text(txt_CodeAidant), "00021");
  EXPECT_EQ(ui().Text(cbo_NomAidant), "LEROY Camille");
  EXPECT_THAT(Rows(Lst_CodeContrat), ElementsAre("00021001", "00021002", "00021004"));
  EXPECT_THAT(Rows(lst_Acompte), ElementsAre("    12,50", "", ""));
  EXPECT_FALSE(ui().Enabled(cmd_Sortir));

  // The third contract has no advance: its row opens with an empty amount field.
  clerk().DoubleClickRow(lst_Liste1, 2);
  EXPECT_EQ(ui().ListIndex(lst_Acompte), 2);
  EXPECT_EQ(ui().Focused(), txt_Acompte);
  EXPECT_EQ(ui().Text(txt_liste1), ui().ItemText(lst_Liste1, 2));
  clerk().Type(txt_Acompte, "45.5");
  EXPECT_EQ(ui().Text(txt_Acompte), "45,5");
  clerk().Click(cmd_Ok);
  EXPECT_THAT(Rows(lst_Acompte), ElementsAre("    12,50", "", "    45,50"));
  EXPECT_TRUE(ui().Enabled(lst_Liste1));

  clerk().Click(cmd_Valider);
  EXPECT_EQ(Stored("00021004200203", 1), "4550");
  EXPECT_EQ(Stored("00021004200203", 2), "");
  EXPECT_EQ(Stored("00021001200203", 1), "1250");
  EXPECT_EQ(Stored("00021002200203", 1), "<absent>");
  EXPECT_THAT(Rows(lst_Liste1), IsEmpty());
  EXPECT_EQ(ui().Focused(), txt_CodeAidant);
  EXPECT_TRUE(ui().Enabled(cmd_Sortir));
  EXPECT_EQ(clerk().Messages().size(), 0u);
}

// The question is asked once; Yes adds February's provider contract after the period's one (the
// person cared for employs), No leaves the period's contract alone.
TEST_F(QtPanelTest, ClerkAnswersTheQuestionOnThePreviousMonthsProviderContract) {
  for (const int answer : {kAnswerNo, kAnswerYes}) {
    panel_.reset();  // the panel goes before the window it lives in
    Open();
    clerk().QueueAnswer(answer);
    LoadCaregiver("00023");
    ASSERT_EQ(clerk().Messages().size(), 1u);
    EXPECT_EQ(clerk().Messages()[0].text, kProviderQuestion);
    EXPECT_EQ(clerk().Messages()[0].buttons, MsgButtons::kYesNo);
    EXPECT_EQ(clerk().Messages()[0].icon, MsgIcon::kExclamation);
    EXPECT_EQ(clerk().Messages()[0].title, kMessageTitle);
    EXPECT_THAT(ui().ItemText(lst_Liste1, 0), ::testing::EndsWith("CARON Marthe"));
    EXPECT_TRUE(ui().PanelEnabled());
    EXPECT_FALSE(ui().BusyPointer());
    if (answer == kAnswerNo) {
      EXPECT_THAT(Rows(Lst_CodeContrat), ElementsAre("00023001"));
    }
  }
  EXPECT_THAT(Rows(Lst_CodeContrat), ElementsAre("00023001", "00023002"));
  EXPECT_THAT(ui().ItemText(lst_Liste1, 1), ::testing::EndsWith("ADN Lille"));
}

TEST_F(QtPanelTest, ClerkIsWarnedThatThePayslipIsAlreadyComputed) {
  Open();
  LoadCaregiver("00021");
  clerk().DoubleClickRow(lst_Acompte, 1);
  ASSERT_EQ(clerk().Messages().size(), 1u);
  EXPECT_EQ(clerk().Messages()[0].text, kPayslipWarning);
  EXPECT_EQ(clerk().Messages()[0].buttons, MsgButtons::kOk);
  EXPECT_EQ(clerk().Messages()[0].icon, MsgIcon::kExclamation);
  // The warning only informs: the row is open for entry.
  EXPECT_EQ(ui().ListIndex(lst_Liste1), 1);
  EXPECT_EQ(ui().Focused(), txt_Acompte);
  EXPECT_TRUE(ui().Enabled(cmd_Annuler));
  EXPECT_FALSE(ui().Enabled(lst_Liste1));
  clerk().Click(cmd_Annuler);
  EXPECT_TRUE(ui().Enabled(lst_Liste1));
}

TEST_F(QtPanelTest, ConsultOnlyUserSeesNoModifyingButtons) {
  Open("consultant");
  EXPECT_FALSE(OnScreen(cmd_Valider));
  EXPECT_FALSE(OnScreen(cmd_Ok));
  EXPECT_FALSE(OnScreen(cmd_Supprimer));
  EXPECT_TRUE(OnScreen(cmd_Sortir));
  EXPECT_TRUE(OnScreen(Cmd_AnnulerGene));
}

TEST_F(QtPanelTest, SortirClosesTheHostWindow) {
  Open();
  clerk().Click(cmd_Sortir);
  EXPECT_TRUE(panel_->W_sortir());
  EXPECT_TRUE(clerk().HostClosed());
}

}  // namespace
}  // namespace varnolde::qt_test
