// Choosing the period, the employer entity and the caregiver.
#include "panel/panel_fixture.h"

namespace varnolde::testing {
namespace {

using Strings = std::vector<std::string>;
using SelectionTest = PanelTest;

// ---- Periods --------------------------------------------------------------------------------

TEST_F(SelectionTest, AnotherPeriodStartsTheSelectionAgainFromTheEmployer) {
  Remove("ASSOCIATION", "002");  // one entity: chosen by init only
  Open();
  clerk_->Type(txt_CodeAidant, "12");
  clerk_->PressKey(txt_CodeAidant, ClerkKey::kEnter);
  ASSERT_EQ(Rows(lst_Liste1).size(), 2u);
  clerk_->Pick(cbo_PeriodePaie, 1);
  EXPECT_EQ(Text(cbo_PeriodePaie), "AVRIL 2002");
  EXPECT_EQ(Text(txt_Entite), "");
  EXPECT_EQ(Text(cbo_Entite), "");
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_EQ(Text(cbo_NomAidant), "");
  EXPECT_TRUE(Rows(lst_Liste1).empty());
  EXPECT_FALSE(Enabled(txt_CodeAidant));
  EXPECT_FALSE(Enabled(Fra_Contrats));
}

TEST_F(SelectionTest, PeriodNamesFollowTheLocale) {
  Open("gestionnaire", "en_US");
  EXPECT_EQ(Rows(cbo_PeriodePaie), (Strings{"MARCH 2002", "APRIL 2002"}));
}

// ---- Employer ---------------------------------------------------------------------------------

TEST_F(SelectionTest, EntityCodeTypedWithEnterIsCompletedAndLookedUp) {
  Open();
  clerk_->Type(txt_Entite, "2");
  clerk_->PressKey(txt_Entite, ClerkKey::kEnter);
  EXPECT_EQ(Text(txt_Entite), "002");
  EXPECT_EQ(Text(cbo_Entite), "Services Seniors Lyon");
  EXPECT_EQ(panel_->w_codeentite(), "002");
  EXPECT_TRUE(Enabled(txt_CodeAidant));
  EXPECT_TRUE(Enabled(cbo_NomAidant));
  EXPECT_EQ(toolkit_->Focused(), txt_CodeAidant);
}

TEST_F(SelectionTest, EntityCodeIsCompletedWhenTheBoxLosesTheFocus) {
  Open();
  clerk_->Type(txt_Entite, "1");
  clerk_->Click(cbo_Entite);
  EXPECT_EQ(Text(txt_Entite), "001");
  EXPECT_EQ(Text(cbo_Entite), "Aide et Domicile Paris");
}

TEST_F(SelectionTest, LeavingAnEmptyEntityBoxDoesNothingButEnterLooksUp000) {
  Open();
  clerk_->Focus(txt_Entite);
  clerk_->Focus(cbo_Entite);
  EXPECT_EQ(Text(txt_Entite), "");
  EXPECT_TRUE(toolkit_->Messages().empty());
  clerk_->PressKey(txt_Entite, ClerkKey::kEnter);
  EXPECT_EQ(MessageTexts(), Strings{"Cette entité n'existe pas."});
  EXPECT_EQ(Text(txt_Entite), "");
  EXPECT_EQ(toolkit_->Focused(), txt_Entite);
}

TEST_F(SelectionTest, UnknownEntityIsReportedAndEmptied) {
  Open();
  clerk_->Type(txt_Entite, "999");
  ASSERT_EQ(toolkit_->Messages().size(), 1u);
  const ShownMessage& shown = toolkit_->Messages()[0];
  EXPECT_EQ(shown.text, "Cette entité n'existe pas.");
  EXPECT_EQ(shown.title, "Message QUASTELOR");
  EXPECT_EQ(shown.icon, MsgIcon::kExclamation);
  EXPECT_EQ(shown.buttons, MsgButtons::kOk);
  EXPECT_EQ(Text(txt_Entite), "");
  EXPECT_FALSE(Enabled(txt_CodeAidant));
}

TEST_F(SelectionTest, LettersAndPunctuationAreRefusedInTheEntityCode) {
  Open();
  clerk_->Type(txt_Entite, "a-.,é ");
  EXPECT_EQ(Text(txt_Entite), "");
  clerk_->Type(txt_Entite, "0x0z1");
  EXPECT_EQ(Text(txt_Entite), "001");
}

TEST_F(SelectionTest, EditingAChosenCodeResetsThePanelAndLosesTheKey) {
  Open();
  LoadCaregiver("00012");
  ASSERT_FALSE(Rows(lst_Liste1).empty());
  clerk_->Type(txt_Entite, "4");
  EXPECT_EQ(Text(txt_Entite), "");
  EXPECT_EQ(Text(cbo_Entite), "");
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_TRUE(Rows(lst_Liste1).empty());
  EXPECT_FALSE(Enabled(Fra_Contrats));
  clerk_->Type(txt_Entite, "002");
  EXPECT_EQ(Text(cbo_Entite), "Services Seniors Lyon");
}

TEST_F(SelectionTest, BackspaceInAChosenCodeResetsToo) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->PressKey(txt_Entite, ClerkKey::kBackspace);
  EXPECT_EQ(Text(txt_Entite), "");
  EXPECT_FALSE(Enabled(txt_CodeAidant));
}

TEST_F(SelectionTest, PickingANameFillsTheCode) {
  Open();
  clerk_->Pick(cbo_Entite, 1);
  EXPECT_EQ(Text(txt_Entite), "002");
  EXPECT_EQ(panel_->w_codeentite(), "002");
  EXPECT_TRUE(Enabled(txt_CodeAidant));
  EXPECT_EQ(toolkit_->Focused(), txt_CodeAidant);
}

TEST_F(SelectionTest, ErasingTheNameEmptiesTheCode) {
  Open();
  clerk_->Pick(cbo_Entite, 0);
  clerk_->Focus(cbo_Entite);
  while (!Text(cbo_Entite).empty()) clerk_->PressKey(cbo_Entite, ClerkKey::kBackspace);
  EXPECT_EQ(Text(txt_Entite), "");
  EXPECT_FALSE(Enabled(txt_CodeAidant));
}

// ---- Caregiver by code ------------------------------------------------------------------------

TEST_F(SelectionTest, CodeIsCompletedWithZerosOnEnterAndOnLeaving) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(txt_CodeAidant, "12");
  clerk_->PressKey(txt_CodeAidant, ClerkKey::kEnter);
  EXPECT_EQ(Text(txt_CodeAidant), "00012");
  EXPECT_EQ(Text(cbo_NomAidant), "DUPONT Marie");
  clerk_->Click(Cmd_AnnulerGene);
  clerk_->Type(txt_CodeAidant, "13");
  clerk_->Focus(cbo_NomAidant);
  EXPECT_EQ(Text(txt_CodeAidant), "00013");
  EXPECT_EQ(Text(cbo_NomAidant), "DUPUIS Jean");
}

TEST_F(SelectionTest, LeavingAnEmptyCodeDoesNothingAndLettersAreRefused) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(txt_CodeAidant, "ab-");
  EXPECT_EQ(Text(txt_CodeAidant), "");
  clerk_->Focus(cbo_NomAidant);
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_TRUE(toolkit_->Messages().empty());
  clerk_->Type(txt_CodeAidant, "12");
  clerk_->PressKey(txt_CodeAidant, ClerkKey::kBackspace);
  EXPECT_EQ(Text(txt_CodeAidant), "1");
}

TEST_F(SelectionTest, UnknownCaregiverIsReportedAndEmptied) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(txt_CodeAidant, "99999");
  EXPECT_EQ(MessageTexts(), Strings{"Cet aidant n'existe pas."});
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_EQ(toolkit_->Focused(), txt_CodeAidant);
  EXPECT_TRUE(Enabled(cmd_Sortir));
}

TEST_F(SelectionTest, ACaregiverOutsideTheUsersGroupsIsRefused) {
  Open("restreint");
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(txt_CodeAidant, "00017");
  EXPECT_EQ(MessageTexts(), Strings{"Vous n'êtes pas autorisé à accéder à cet aidant."});
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_TRUE(Rows(lst_Liste1).empty());
  EXPECT_FALSE(Enabled(Fra_Contrats));
  // A caregiver of one of the user's groups is shown.
  clerk_->Type(txt_CodeAidant, "00012");
  EXPECT_EQ(Rows(lst_Liste1).size(), 2u);
}

TEST_F(SelectionTest, DeletingOneDigitOfALoadedCodeEmptiesThePanel) {
  Open();
  LoadCaregiver("00012");
  clerk_->Focus(txt_CodeAidant);
  clerk_->PressKey(txt_CodeAidant, ClerkKey::kBackspace);
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_EQ(Text(cbo_NomAidant), "");
  for (ControlId list : {lst_Liste1, lst_Acompte, lst_Etat, Lst_CodeContrat}) {
    EXPECT_TRUE(Rows(list).empty());
  }
  EXPECT_EQ(Text(txt_liste1), "");
  EXPECT_FALSE(Enabled(cmd_Ok));
}

// ---- Caregiver by name --------------------------------------------------------------------------

TEST_F(SelectionTest, NameSearchWithSeveralHitsListsThemAndAChoiceLoadsOne) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(cbo_NomAidant, "dup");
  clerk_->Click(cmd_Recherche);
  EXPECT_EQ(panel_->RequestText(),
            "SSELECT CIVILAIDANT AVEC NomPrenomAidant = \"DUP]\" PAR 2 PAR 3\xFE"
            "CIVILAIDANT\xFE"
            "0 2 3");
  EXPECT_EQ(Rows(cbo_NomAidant), (Strings{"DUPONT Marie", "DUPUIS Jean"}));
  EXPECT_EQ(Text(txt_CodeAidant), "");
  clerk_->Pick(cbo_NomAidant, 1);
  EXPECT_EQ(Text(txt_CodeAidant), "00013");
  EXPECT_EQ(Rows(Lst_CodeContrat), Strings{"00013001"});
  EXPECT_FALSE(toolkit_->BusyPointer());
  EXPECT_TRUE(toolkit_->PanelEnabled());
}

TEST_F(SelectionTest, NameSearchWithOneHitLoadsTheCaregiver) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(cbo_NomAidant, "dupo");
  clerk_->PressKey(cbo_NomAidant, ClerkKey::kEnter);
  EXPECT_EQ(Text(cbo_NomAidant), "DUPONT Marie");
  EXPECT_EQ(Text(txt_CodeAidant), "00012");
  EXPECT_EQ(Rows(Lst_CodeContrat), (Strings{"00012001", "00012002"}));
}

TEST_F(SelectionTest, NameSearchWithoutHitSaysSoAndEmptiesTheBox) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(cbo_NomAidant, "zorro");
  clerk_->Click(cmd_Recherche);
  EXPECT_EQ(MessageTexts(), Strings{"Aucun aidant commençant par ZORRO"});
  EXPECT_EQ(Text(cbo_NomAidant), "");
  EXPECT_EQ(toolkit_->Focused(), cbo_NomAidant);
  EXPECT_FALSE(toolkit_->BusyPointer());
}

TEST_F(SelectionTest, SearchNeedsTheBeginningOfANameAndNoCode) {
  Open();
  clerk_->Type(txt_Entite, "001");
  toolkit_->SetEnabled(cmd_Recherche, true);  // as after an earlier edit of the name box
  clerk_->Click(cmd_Recherche);
  EXPECT_EQ(MessageTexts(), Strings{"Vous devez saisir le début du nom d'un aidant."});
  EXPECT_EQ(toolkit_->Focused(), cbo_NomAidant);
  clerk_->Type(cbo_NomAidant, "   ");
  clerk_->Click(cmd_Recherche);
  EXPECT_EQ(toolkit_->Messages().size(), 1u);  // blanks only: nothing happens
}

TEST_F(SelectionTest, AccentedLettersAreRefusedAfterTheFirstCharacter) {
  Open();
  clerk_->Type(txt_Entite, "001");
  clerk_->Type(cbo_NomAidant, "é");
  EXPECT_EQ(Text(cbo_NomAidant), "é");
  EXPECT_TRUE(toolkit_->Messages().empty());
  clerk_->Type(cbo_NomAidant, "è");
  EXPECT_EQ(Text(cbo_NomAidant), "é");
  EXPECT_EQ(MessageTexts(), Strings{"La saisie de minuscule accentuée est interdite sur cette zone."});
}

TEST_F(SelectionTest, QuotesInTheNameAreSearchedForAsThemselves) {
  Load(R"({"file":"CIVILAIDANT","id":"00018","rec":["","O\"NEIL","Sean"]})");
  Open();
  clerk_->Type(txt_Entite, "001");
  // A quote that would end a double-quoted value early and widen the search finds nothing.
  clerk_->Type(cbo_NomAidant, "du\" OR AVEC 0 = \"0]");
  clerk_->Click(cmd_Recherche);
  EXPECT_EQ(panel_->RequestText().substr(0, panel_->RequestText().find('\xFE')),
            "SSELECT CIVILAIDANT AVEC NomPrenomAidant = 'DU\" OR AVEC 0 = \"0]]' PAR 2 PAR 3");
  EXPECT_EQ(MessageTexts(), Strings{"Aucun aidant commençant par DU\" OR AVEC 0 = \"0]"});
  toolkit_->QueueAnswer(kAnswerNo);  // no contract for him
  clerk_->Type(cbo_NomAidant, "o\"n");
  clerk_->Click(cmd_Recherche);
  EXPECT_EQ(Text(txt_CodeAidant), "");  // emptied after the answer No
  EXPECT_EQ(toolkit_->Messages().back().text.substr(0, 19), "Pas de contrat pour");
}

}  // namespace
}  // namespace varnolde::testing
