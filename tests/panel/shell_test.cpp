// Start-up, rights, shut-down: the panel as its host sees it.
#include <fstream>
#include <sstream>

#include "panel/panel_fixture.h"
#include "shared/modulevar.h"

namespace varnolde::testing {
namespace {

using ShellTest = PanelTest;

TEST_F(ShellTest, ModifyingButtonsFollowTheAccessLevel) {
  struct Case {
    const char* login;
    bool may_modify;
  };
  for (const Case& c : {Case{"gestionnaire", true}, Case{"consultant", false},
                        Case{"sansdroit", false}}) {
    SCOPED_TRACE(c.login);
    Open(c.login);
    for (ControlId button : {cmd_Valider, cmd_Ok, cmd_Supprimer}) {
      EXPECT_EQ(toolkit_->Visible(button), c.may_modify) << Layout().controls[button].name;
    }
    EXPECT_TRUE(toolkit_->Visible(Cmd_AnnulerGene));
    Close();
  }
}

TEST_F(ShellTest, InitLeavesTheEmployerToChooseWithTheRestDisabled) {
  Open();
  EXPECT_EQ(Rows(cbo_PeriodePaie), (std::vector<std::string>{"MARS 2002", "AVRIL 2002"}));
  EXPECT_EQ(toolkit_->ListIndex(cbo_PeriodePaie), 0);
  EXPECT_EQ(Rows(cbo_Entite),
            (std::vector<std::string>{"Aide et Domicile Paris", "Services Seniors Lyon"}));
  EXPECT_EQ(toolkit_->ListIndex(cbo_Entite), -1);
  EXPECT_EQ(Text(txt_Entite), "");
  EXPECT_EQ(toolkit_->Focused(), txt_Entite);
  for (ControlId control : {txt_CodeAidant, cbo_NomAidant, cmd_Recherche, Fra_Contrats, etq_debut,
                            cmd_Valider, Cmd_AnnulerGene, cmd_Supprimer, cmd_Ok, cmd_Annuler,
                            txt_liste1, txt_Acompte, txt_Etat}) {
    EXPECT_FALSE(Enabled(control)) << Layout().controls[control].name;
  }
  for (ControlId control : {txt_Entite, cbo_Entite, cbo_PeriodePaie, cmd_Sortir}) {
    EXPECT_TRUE(Enabled(control)) << Layout().controls[control].name;
  }
  EXPECT_TRUE(toolkit_->PanelEnabled());
  EXPECT_FALSE(toolkit_->BusyPointer());
  EXPECT_FALSE(panel_->W_sortir());
  EXPECT_TRUE(toolkit_->Messages().empty());
}

TEST_F(ShellTest, ASingleEntityIsChosenAtStartUp) {
  Remove("ASSOCIATION", "002");
  Open();
  EXPECT_EQ(Text(txt_Entite), "001");
  EXPECT_EQ(Text(cbo_Entite), "Aide et Domicile Paris");
  EXPECT_EQ(panel_->w_codeentite(), "001");
  EXPECT_TRUE(Enabled(txt_CodeAidant));
  EXPECT_TRUE(Enabled(cbo_NomAidant));
  EXPECT_EQ(toolkit_->Focused(), txt_CodeAidant);
}

TEST_F(ShellTest, SortirReleasesEverythingOnceAndTheHostMayThenDestroyThePanel) {
  Open();
  clerk_->Click(cmd_Sortir);
  EXPECT_TRUE(panel_->W_sortir());
  EXPECT_TRUE(toolkit_->HostClosed());
  EXPECT_FALSE(Modulevar::theDataBase.IsSet());
  EXPECT_FALSE(Modulevar::TabAcompteBull.IsSet());
  EXPECT_FALSE(Modulevar::RecPeriodesPaie.IsSet());
  EXPECT_NO_THROW(panel_.reset());
  EXPECT_TRUE(toolkit_->Messages().empty());
}

TEST_F(ShellTest, AMissingTableFailsInitWithTheTablesBeforeItStillOpen) {
  // A database without DETAILCALCUL, the last table opened.
  const std::string source = std::getenv("VARNOLDE_SOURCE_DIR");
  std::ifstream fixture(source + "/tests/panel/fixtures/panel.jsonl");
  std::stringstream kept;
  for (std::string line; std::getline(fixture, line);) {
    if (line.find("DETAILCALCUL") == std::string::npos) kept << line << '\n';
  }
  db_path_ = (dir_ / "partial.db").string();
  mvdb::LoadJsonLines(db_path_, kept);
  try {
    Open();
    FAIL() << "init succeeded without DETAILCALCUL";
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.number(), err::kUnknownFile);
  }
  EXPECT_TRUE(Modulevar::TabAssociation.IsSet());
  EXPECT_TRUE(Modulevar::TabCivilAide.IsSet());
  EXPECT_FALSE(Modulevar::TabDetailCalcul.IsSet());
  EXPECT_TRUE(toolkit_->BusyPointer());  // init is not undone by the panel
}

TEST_F(ShellTest, AnUnreadablePeriodRecordFailsInit) {
  Load(R"({"file":"PERIODESPAIE","id":"1","rec":["2002AB","200204"]})");
  EXPECT_THROW(Open(), ComponentError);
}

}  // namespace
}  // namespace varnolde::testing
