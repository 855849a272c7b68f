// Finding the contracts of the period, the previous-month fallback, and the rows shown.
#include "panel/panel_fixture.h"

namespace varnolde::testing {
namespace {

using Strings = std::vector<std::string>;
using ContractsTest = PanelTest;

constexpr char kAskNoContract[] =
    "Pas de contrat pour cet aidant pour la période demandée. Souhaitez vous effectuer un "
    "acompte sur le dernier contrat du mois précèdant";
constexpr char kAskNoProvider[] =
    "Pas de contrat prestataire pour cet aidant pour la période demandée. Souhaitez vous "
    "effectuer un acompte sur le dernier contrat du mois précèdant";

TEST_F(ContractsTest, MonthBoundsAndTheExactPeriodQuery) {
  Open();
  LoadCaregiver("00012");
  EXPECT_EQ(panel_->w_debutperiode(), Day("01/03/2002"));
  EXPECT_EQ(panel_->w_finperiode(), Day("31/03/2002"));
  const std::string d = Day("01/03/2002");
  const std::string f = Day("31/03/2002");
  const std::string per_caregiver = " AND AVEC 0 = \"00012]\" AND AVEC 7 =< \"" + f +
                                    "\" AND AVEC 8 = \"\" OR >= \"" + d +
                                    "\" AND AVEC 65 # \"O\"";
  EXPECT_EQ(panel_->RequestText(),
            "SSELECT CONTRAT AVEC 2 = \"001\" AND AVEC 1 # \"O2\"" + per_caregiver +
                " OR AVEC 2 = \"001\"" + per_caregiver +
                " AND AVEC 2 = \"02\" AND AVEC 28 = \"1\" PAR 7 PAR 8\xFE"
                "CONTRAT\xFE"
                "0 1 2 3 7 8 28 65");
}

TEST_F(ContractsTest, MonthEndsOfDecemberAndFebruary) {
  for (const auto& [period, start, end] :
       {std::tuple{"200412", "01/12/2004", "31/12/2004"},
        std::tuple{"200402", "01/02/2004", "29/02/2004"},
        std::tuple{"200302", "01/02/2003", "28/02/2003"}}) {
    SCOPED_TRACE(period);
    Load(std::string(R"({"file":"PERIODESPAIE","id":"1","rec":[")") + period + R"(","200204"]})");
    Open();
    toolkit_->QueueAnswer(kAnswerNo);  // nothing in those months
    LoadCaregiver("00012");
    EXPECT_EQ(panel_->w_debutperiode(), Day(start));
    EXPECT_EQ(panel_->w_finperiode(), Day(end));
    Close();
  }
}

TEST_F(ContractsTest, TwoContractsOneOfThemProviderAreShownWithoutQuestion) {
  Open();
  LoadCaregiver("00012");
  EXPECT_TRUE(toolkit_->Messages().empty());
  EXPECT_EQ(Text(cbo_NomAidant), "DUPONT Marie");
  EXPECT_EQ(Rows(lst_Liste1), (Strings{"01/01/2002" + std::string(15, ' ') + "ADP Paris",
                                       "15/02/2002  31/03/2002   BERNARD Louise"}));
  EXPECT_EQ(Rows(lst_Acompte), (Strings{"    12,50", "     0,05"}));
  EXPECT_EQ(Rows(lst_Etat), (Strings{"", "10/03/2002"}));
  EXPECT_EQ(Rows(Lst_CodeContrat), (Strings{"00012001", "00012002"}));
  // The employer name starts at character 26 in both forms.
  EXPECT_EQ(Rows(lst_Liste1)[0].find("ADP"), 25u);
  EXPECT_EQ(Rows(lst_Liste1)[1].find("BERNARD"), 25u);
  // Caregiver chosen: the frame and validation buttons open, Sortir closed.
  for (ControlId control : {Fra_Contrats, etq_debut, etq_Etat, cmd_Valider, Cmd_AnnulerGene}) {
    EXPECT_TRUE(Enabled(control)) << Layout().controls[control].name;
  }
  EXPECT_FALSE(Enabled(cmd_Sortir));
  EXPECT_EQ(toolkit_->ScrollMax(Bdv_Liste), 1);
  EXPECT_FALSE(toolkit_->ScrollUsable(Bdv_Liste));
  EXPECT_FALSE(toolkit_->BusyPointer());
  EXPECT_TRUE(toolkit_->PanelEnabled());
}

TEST_F(ContractsTest, AnAmountOfAMillionIsCutToNineCharacters) {
  Load(R"({"file":"ACOMPTEBULL","id":"00012001200203","rec":["123456789"]})");
  Open();
  LoadCaregiver("00012");
  EXPECT_EQ(Rows(lst_Acompte)[0], "1234567,8");
}

TEST_F(ContractsTest, OneContractLeavesTheCodeAsItIs) {
  Open();
  LoadCaregiver("00013");
  EXPECT_EQ(Text(txt_CodeAidant), "00013");
  EXPECT_EQ(Text(cbo_NomAidant), "DUPUIS Jean");
  EXPECT_EQ(Rows(lst_Liste1), Strings{"01/03/2002  31/03/2002   ADP Paris"});
  EXPECT_EQ(Rows(lst_Acompte), Strings{""});
  EXPECT_EQ(Rows(lst_Etat), Strings{""});
}

TEST_F(ContractsTest, OnlyPersonEmployedContractsAskForTheProviderContractYes) {
  Open();
  toolkit_->QueueAnswer(kAnswerYes);
  LoadCaregiver("00014");
  EXPECT_EQ(MessageTexts(), Strings{kAskNoProvider});
  EXPECT_EQ(toolkit_->Messages()[0].buttons, MsgButtons::kYesNo);
  EXPECT_EQ(panel_->w_debutperiode(), Day("01/02/2002"));
  EXPECT_EQ(panel_->w_finperiode(), Day("28/02/2002"));
  EXPECT_EQ(Rows(lst_Liste1), (Strings{"01/01/2002" + std::string(15, ' ') + "ROUX Henri",
                                       "01/01/2002  28/02/2002   ADP Paris"}));
  EXPECT_EQ(Rows(Lst_CodeContrat), (Strings{"00014001", "00014002"}));
  EXPECT_EQ(Text(cbo_NomAidant), "DURAND Léa");
}

TEST_F(ContractsTest, OnlyPersonEmployedContractsAnsweredNoKeepThePeriodsContracts) {
  Open();
  toolkit_->QueueAnswer(kAnswerNo);
  LoadCaregiver("00014");
  EXPECT_EQ(Rows(Lst_CodeContrat), Strings{"00014001"});
  EXPECT_EQ(panel_->PrestaResultText(), "");
}

TEST_F(ContractsTest, OnlyPersonEmployedAndNothingLastMonthShowsThePeriodsContracts) {
  Remove("CONTRAT", "00014002");
  Open();
  toolkit_->QueueAnswer(kAnswerYes);
  LoadCaregiver("00014");
  EXPECT_EQ(MessageTexts(), Strings{kAskNoProvider});
  EXPECT_EQ(Rows(Lst_CodeContrat), Strings{"00014001"});
}

TEST_F(ContractsTest, NoContractAnsweredNoEmptiesEverything) {
  Open();
  toolkit_->QueueAnswer(kAnswerNo);
  LoadCaregiver("00015");
  EXPECT_EQ(MessageTexts(), Strings{kAskNoContract});
  EXPECT_EQ(toolkit_->Messages()[0].icon, MsgIcon::kExclamation);
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_EQ(Text(cbo_NomAidant), "");
  EXPECT_TRUE(Rows(lst_Liste1).empty());
  EXPECT_EQ(toolkit_->Focused(), txt_CodeAidant);
  EXPECT_FALSE(toolkit_->BusyPointer());
}

TEST_F(ContractsTest, NoContractAnsweredYesTakesTheLastContractOfThePreviousMonth) {
  Open();
  toolkit_->QueueAnswer(kAnswerYes);
  LoadCaregiver("00015");
  EXPECT_EQ(Text(txt_CodeAidant), "00015");
  EXPECT_EQ(Text(cbo_NomAidant), "MARTIN Paul");
  // Both February contracts were found, the latest start first; one row shows the first.
  EXPECT_EQ(panel_->PrestaResultText().substr(0, 8), "00015002");
  EXPECT_NE(panel_->PrestaResultText().find("00015001"), std::string::npos);
  EXPECT_EQ(Rows(lst_Liste1), Strings{"11/02/2002  28/02/2002   ADP Paris"});
  EXPECT_EQ(Rows(Lst_CodeContrat), Strings{"00015002"});
}

TEST_F(ContractsTest, NoContractAndNothingLastMonthSaysSo) {
  Open();
  toolkit_->QueueAnswer(kAnswerYes);
  LoadCaregiver("00016");
  EXPECT_EQ(MessageTexts(),
            (Strings{kAskNoContract, "Pas de contrat sur le mois précèdant pour cet aidant."}));
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_TRUE(Rows(lst_Liste1).empty());
}

TEST_F(ContractsTest, APreviousMonthRowIsNotShownAgainForTheNextCaregiver) {
  Open();
  toolkit_->QueueAnswer(kAnswerYes);
  LoadCaregiver("00014");
  ASSERT_EQ(Rows(lst_Liste1).size(), 2u);
  clerk_->Click(Cmd_AnnulerGene);
  clerk_->Type(txt_CodeAidant, "00013");
  EXPECT_EQ(Rows(Lst_CodeContrat), Strings{"00013001"});
  EXPECT_EQ(panel_->PrestaResultText(), "");
}

TEST_F(ContractsTest, TheSecondPeriodSelectsItsOwnContracts) {
  Open();
  clerk_->Pick(cbo_PeriodePaie, 1);
  LoadCaregiver("00012");
  EXPECT_EQ(Rows(Lst_CodeContrat), Strings{"00012001"});  // 00012002 ended in March
  EXPECT_EQ(Rows(lst_Acompte), Strings{""});              // advances are per period
}

TEST_F(ContractsTest, BrokenRecordsKeepTheListsAlignedAndShowNoStaleEmployer) {
  Load(R"({"file":"ACOMPTEBULL","id":"00012001200203","rec":["douze","pas une date"]})"
       "\n"
       R"({"file":"CONTRAT","id":"00012005","rec":["009","001","","","","",")" +
       Day("01/01/2002") + R"(",""]})");
  Open();
  LoadCaregiver("00012");
  for (ControlId list : {lst_Acompte, lst_Etat, Lst_CodeContrat}) {
    EXPECT_EQ(Rows(list).size(), Rows(lst_Liste1).size());
  }
  ASSERT_EQ(Rows(lst_Liste1).size(), 3u);
  // Entity 009 does not exist: its employer shows empty, not the row before's.
  EXPECT_EQ(Rows(lst_Liste1)[1], "01/01/2002" + std::string(15, ' '));
  // An amount that is no number is shown as it is stored; a date that is none, not at all.
  EXPECT_EQ(Rows(lst_Acompte)[0], "    douze");
  EXPECT_EQ(Rows(lst_Etat)[0], "");
}

}  // namespace
}  // namespace varnolde::testing
