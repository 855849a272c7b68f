// Opening a row, typing an amount, confirming, validating and deleting advances.
#include "mvdb/fault_injection.h"
#include "panel/panel_fixture.h"

namespace varnolde::testing {
namespace {

using Strings = std::vector<std::string>;
using mvdb::FaultInjectingLink;

constexpr char kPayslipWarning[] =
    "Attention ! \r\nBulletin de paie déjà traité sur cette période.\r\n"
    "La mise à jour de l'acompte ne pourra être effective sur le bulletin.";
constexpr char kWriteFailed[] = "Erreur d'écriture de l'acompte dans la base.";
constexpr char kDeleteQuestion[] = "Etes-vous sûr de vouloir supprimer cet acompte ?";

// Caregiver 00012 loaded: row 0 = 00012001 (12,50, unpaid), row 1 = 00012002 (0,05, paid on
// 10/03/2002, payslip already computed).
class EntryTest : public PanelTest {
 protected:
  void OpenCaregiver(const std::string& login = "gestionnaire",
                     const std::string& locale = "fr_FR",
                     std::shared_ptr<DatabaseLink> link = nullptr) {
    Open(login, locale, std::move(link));
    LoadCaregiver("00012");
  }
  // Opens row, types amount, confirms it with the Ok under the lists.
  void Enter(int row, const std::string& amount) {
    clerk_->DoubleClickRow(lst_Acompte, row);
    clerk_->Focus(txt_Acompte);
    while (!Text(txt_Acompte).empty()) clerk_->PressKey(txt_Acompte, ClerkKey::kBackspace);
    clerk_->Type(txt_Acompte, amount);
    clerk_->Click(cmd_Ok);
  }
  // The stored advance, trailing empty attributes aside.
  std::string Advance(const std::string& key) {
    std::string text = Stored("ACOMPTEBULL", key);
    while (!text.empty() && text.back() == '\xFE') text.pop_back();
    return text;
  }
  static std::string Record(const std::string& amount, const std::string& paid_on = "") {
    return paid_on.empty() ? amount : amount + "\xFE" + paid_on;
  }
};

// ---- Opening rows ---------------------------------------------------------------------------

TEST_F(EntryTest, DoubleClickOnAnUnpaidRowOpensTheAmountForEntry) {
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Acompte, 0);
  EXPECT_EQ(Text(txt_liste1), Rows(lst_Liste1)[0]);
  EXPECT_EQ(Text(txt_Acompte), "12,50");
  EXPECT_EQ(Text(txt_Etat), "");
  EXPECT_TRUE(Enabled(txt_Acompte));
  EXPECT_EQ(toolkit_->Focused(), txt_Acompte);
  EXPECT_FALSE(Enabled(txt_liste1));
  EXPECT_FALSE(Enabled(txt_Etat));
  for (ControlId button : {cmd_Ok, cmd_Supprimer, cmd_Annuler}) EXPECT_TRUE(Enabled(button));
  EXPECT_FALSE(Enabled(lst_Liste1));
  EXPECT_FALSE(Enabled(cmd_Valider));
  EXPECT_TRUE(toolkit_->Messages().empty());  // no payslip for this contract
}

TEST_F(EntryTest, DoubleClickOnAPaidRowWarnsAndKeepsTheAmountClosed) {
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Etat, 1);
  EXPECT_EQ(toolkit_->ListIndex(lst_Liste1), 1);
  EXPECT_EQ(Text(txt_Acompte), "0,05");
  EXPECT_EQ(Text(txt_Etat), "10/03/2002");
  EXPECT_FALSE(Enabled(txt_Acompte));
  EXPECT_FALSE(Enabled(cmd_Ok));
  EXPECT_TRUE(Enabled(cmd_Supprimer));
  EXPECT_TRUE(Enabled(cmd_Annuler));
  ASSERT_EQ(MessageTexts(), Strings{kPayslipWarning});
  EXPECT_EQ(toolkit_->Messages()[0].icon, MsgIcon::kExclamation);
  // Once per double click.
  clerk_->Click(cmd_Annuler);
  clerk_->DoubleClickRow(lst_Liste1, 1);
  EXPECT_EQ(toolkit_->Messages().size(), 2u);
}

TEST_F(EntryTest, DoubleClickInTheMainListReformatsTheAmount) {
  Load(R"({"file":"ACOMPTEBULL","id":"00012001200203","rec":["1200"]})");
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Liste1, 0);
  EXPECT_EQ(Text(txt_Acompte), "12,00");
}

TEST_F(EntryTest, ScrollingWhileARowIsOpenMovesTheAmountToTheRowThenCurrent) {
  // Thirteen more contracts: the scroll bar becomes usable.
  std::string lines;
  for (int i = 10; i < 23; ++i) {
    lines += R"({"file":"CONTRAT","id":"000121)" + std::to_string(i) +
             R"(","rec":["001","001","","","","",")" + std::to_string(12420 + i) + R"(",""]})" + "\n";
  }
  Load(lines);
  OpenCaregiver();
  ASSERT_TRUE(toolkit_->ScrollUsable(Bdv_Liste));
  clerk_->DoubleClickRow(lst_Acompte, 0);
  while (!Text(txt_Acompte).empty()) clerk_->PressKey(txt_Acompte, ClerkKey::kBackspace);
  clerk_->Type(txt_Acompte, "7");
  clerk_->MoveScroll(Bdv_Liste, 3);
  clerk_->Click(cmd_Ok);
  EXPECT_EQ(Rows(lst_Acompte)[3], "     7,00");
  EXPECT_EQ(Rows(lst_Acompte)[0], "    12,50");
}

// ---- Typing the amount ------------------------------------------------------------------------

TEST_F(EntryTest, TheFullStopKeyGivesTheDecimalCommaAndOtherKeysAreRefused) {
  Load(R"({"file":"ACOMPTEBULL","id":"00012001200203","rec":[""]})");
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Acompte, 0);
  clerk_->Type(txt_Acompte, "12.5");
  EXPECT_EQ(Text(txt_Acompte), "12,5");
  clerk_->Type(txt_Acompte, ",-a ");
  EXPECT_EQ(Text(txt_Acompte), "12,5");
  clerk_->PressKey(txt_Acompte, ClerkKey::kBackspace);
  EXPECT_EQ(Text(txt_Acompte), "12,");
  clerk_->Type(txt_Acompte, "5");
  clerk_->PressKey(txt_Acompte, ClerkKey::kEnter);
  EXPECT_EQ(Text(txt_Acompte), "12,50");
}

TEST_F(EntryTest, LeavingTheAmountNormalisesItAndEmptyingItClosesDeletion) {
  Load(R"({"file":"ACOMPTEBULL","id":"00012001200203","rec":[""]})");
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Acompte, 0);
  clerk_->Type(txt_Acompte, "3.1");
  clerk_->Focus(cmd_Annuler);
  EXPECT_EQ(Text(txt_Acompte), "3,10");
  clerk_->Focus(txt_Acompte);
  while (!Text(txt_Acompte).empty()) clerk_->PressKey(txt_Acompte, ClerkKey::kBackspace);
  EXPECT_FALSE(Enabled(cmd_Supprimer));
  EXPECT_TRUE(Enabled(cmd_Ok));
  clerk_->Type(txt_Acompte, "4");
  EXPECT_TRUE(Enabled(cmd_Supprimer));
}

TEST_F(EntryTest, OtherLocalesTypeTheirOwnDecimalSeparator) {
  Load(R"({"file":"ACOMPTEBULL","id":"00012001200203","rec":[""]})");
  OpenCaregiver("gestionnaire", "en_US");
  EXPECT_EQ(Rows(lst_Acompte)[1], "     0.05");
  clerk_->DoubleClickRow(lst_Acompte, 0);
  clerk_->Type(txt_Acompte, "12.5,");
  EXPECT_EQ(Text(txt_Acompte), "12.5");
  clerk_->Click(cmd_Ok);
  EXPECT_EQ(Rows(lst_Acompte)[0], "    12.50");
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(Advance("00012001200203"), "1250");
}

// ---- Confirming and validating ----------------------------------------------------------------

TEST_F(EntryTest, ConfirmedAmountsAreRightAlignedInTheRow) {
  OpenCaregiver();
  Enter(0, "5");
  EXPECT_EQ(Rows(lst_Acompte)[0], "     5,00");
  EXPECT_FALSE(Enabled(cmd_Ok));
  EXPECT_FALSE(Enabled(txt_Acompte));
  EXPECT_TRUE(Enabled(cmd_Valider));
  EXPECT_TRUE(Enabled(lst_Liste1));
  EXPECT_FALSE(Enabled(cmd_Sortir));
  Enter(0, "1234.5");
  EXPECT_EQ(Rows(lst_Acompte)[0], "  1234,50");
}

TEST_F(EntryTest, AnAmountThatIsNoNumberIsRefusedAtConfirmation) {
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Acompte, 0);
  clerk_->Focus(txt_Acompte);
  while (!Text(txt_Acompte).empty()) clerk_->PressKey(txt_Acompte, ClerkKey::kBackspace);
  clerk_->Type(txt_Acompte, "1.2.3");
  clerk_->Click(cmd_Ok);
  EXPECT_EQ(toolkit_->Messages().back().text, "Montant d'acompte invalide : 1,2,3");
  EXPECT_EQ(Rows(lst_Acompte)[0], "    12,50");  // the row keeps its amount
  EXPECT_TRUE(Enabled(txt_Acompte));            // and stays open
}

TEST_F(EntryTest, ValidationWritesEveryRowAndResetsThePanel) {
  OpenCaregiver();
  Enter(0, "1234.56");
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(Advance("00012001200203"), "123456");
  // The paid row is written back unchanged.
  EXPECT_EQ(Advance("00012002200203"), Record("5", Day("10/03/2002")));
  for (ControlId list : {lst_Liste1, lst_Acompte, lst_Etat, Lst_CodeContrat}) {
    EXPECT_TRUE(Rows(list).empty());
  }
  EXPECT_EQ(Text(txt_CodeAidant), "");
  EXPECT_EQ(toolkit_->Focused(), txt_CodeAidant);
  EXPECT_TRUE(Enabled(cmd_Sortir));
  EXPECT_FALSE(Enabled(cmd_Valider));
  EXPECT_FALSE(toolkit_->BusyPointer());
  EXPECT_TRUE(toolkit_->Messages().empty());
}

TEST_F(EntryTest, ValidatingWithoutChangeRewritesTheSameAdvances) {
  OpenCaregiver();
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(Advance("00012001200203"), "1250");
  EXPECT_EQ(Advance("00012002200203"), Record("5", Day("10/03/2002")));
}

TEST_F(EntryTest, AnEmptyAmountRemovesTheAdvanceOnValidation) {
  OpenCaregiver();
  Enter(0, "");
  EXPECT_EQ(Rows(lst_Acompte)[0], "");
  EXPECT_EQ(Rows(lst_Etat)[0], "");
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(Advance("00012001200203"), "<absent>");
}

TEST_F(EntryTest, AnAmountOnARowWithoutAdvanceCreatesIt) {
  OpenCaregiver();
  Close();
  Open();
  LoadCaregiver("00013");
  Enter(0, "5");
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(Advance("00013001200203"), "500");
}

TEST_F(EntryTest, ThePreviousMonthRowIsWrittenUnderItsContractForTheChosenPeriod) {
  Open();
  toolkit_->QueueAnswer(kAnswerYes);
  LoadCaregiver("00014");
  ASSERT_EQ(Rows(Lst_CodeContrat), (Strings{"00014001", "00014002"}));
  Enter(1, "3");
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(Advance("00014002200203"), "300");
  EXPECT_EQ(Advance("00014001200203"), "<absent>");
}

TEST_F(EntryTest, CancellingEverythingWritesNothing) {
  OpenCaregiver();
  Enter(0, "99");
  clerk_->DoubleClickRow(lst_Acompte, 1);
  toolkit_->QueueAnswer(kAnswerYes);
  clerk_->Click(cmd_Supprimer);
  clerk_->Click(Cmd_AnnulerGene);
  EXPECT_EQ(Advance("00012001200203"), "1250");
  EXPECT_EQ(Advance("00012002200203"), Record("5", Day("10/03/2002")));
  EXPECT_TRUE(Rows(lst_Liste1).empty());
  EXPECT_EQ(toolkit_->Focused(), txt_CodeAidant);
  EXPECT_TRUE(Enabled(cmd_Sortir));
}

TEST_F(EntryTest, ConsultingNeverWrites) {
  OpenCaregiver("consultant");
  clerk_->DoubleClickRow(lst_Acompte, 0);
  clerk_->Type(txt_Acompte, "7");
  clerk_->Click(cmd_Annuler);
  // Even a reaction of a hidden button, were it reached, writes nothing.
  panel_->OnEvent(cmd_Valider, EventKind::kClick);
  EXPECT_EQ(Advance("00012001200203"), "1250");
  EXPECT_EQ(Advance("00012002200203"), Record("5", Day("10/03/2002")));
}

// ---- Write failures ---------------------------------------------------------------------------

class WriteFailureTest : public EntryTest {
 protected:
  void SetUp() override {
    EntryTest::SetUp();
    // A third row between the two others, with an advance of 7,00.
    Load(R"({"file":"CONTRAT","id":"00012006","rec":["001","001","","","","",")" +
         Day("01/02/2002") + R"(",""]})" "\n"
         R"({"file":"ACOMPTEBULL","id":"00012006200203","rec":["700"]})");
  }
};

TEST_F(WriteFailureTest, AFailingWriteKeepsEarlierRowsAndTheFailedRowsAdvance) {
  auto faulty = FaultInjectingLink::Wrap(mvdb::OpenDatabase(db_path_));
  OpenCaregiver("gestionnaire", "fr_FR", faulty);
  ASSERT_EQ(Rows(Lst_CodeContrat), (Strings{"00012001", "00012006", "00012002"}));
  Enter(0, "1");
  Enter(1, "2");
  faulty->FailNth(FaultInjectingLink::Operation::kWrite, 2);
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(MessageTexts(), Strings{kWriteFailed});
  EXPECT_EQ(Advance("00012001200203"), "100");                          // written
  EXPECT_EQ(Advance("00012006200203"), "700");                          // kept
  EXPECT_EQ(Advance("00012002200203"), Record("5", Day("10/03/2002")));  // untouched
  EXPECT_TRUE(Rows(lst_Liste1).empty());
}

TEST_F(WriteFailureTest, AFailingDeleteStopsTheSameWay) {
  auto faulty = FaultInjectingLink::Wrap(mvdb::OpenDatabase(db_path_));
  OpenCaregiver("gestionnaire", "fr_FR", faulty);
  Enter(0, "1");
  Enter(1, "2");
  faulty->FailNth(FaultInjectingLink::Operation::kDelete, 2);
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(MessageTexts(), Strings{kWriteFailed});
  EXPECT_EQ(Advance("00012001200203"), "100");
  EXPECT_EQ(Advance("00012006200203"), "700");
}

TEST_F(WriteFailureTest, AFailingCommitWritesNothing) {
  auto faulty = FaultInjectingLink::Wrap(mvdb::OpenDatabase(db_path_));
  OpenCaregiver("gestionnaire", "fr_FR", faulty);
  Enter(0, "1");
  Enter(1, "2");
  faulty->FailNth(FaultInjectingLink::Operation::kCommit, 1);
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(MessageTexts(), Strings{kWriteFailed});
  EXPECT_EQ(Advance("00012001200203"), "1250");
  EXPECT_EQ(Advance("00012006200203"), "700");
}

TEST_F(WriteFailureTest, AReadOnlyDatabaseLosesNothing) {
  OpenCaregiver("gestionnaire", "fr_FR",
                mvdb::OpenDatabase(db_path_, mvdb::OpenOptions{.read_only = true}));
  Enter(0, "1");
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(MessageTexts(), Strings{kWriteFailed});
  EXPECT_EQ(Advance("00012001200203"), "1250");
  EXPECT_EQ(Advance("00012006200203"), "700");
}

TEST_F(EntryTest, EndingTheWorkAfterTheEmployerWasResetRaisesNoError) {
  OpenCaregiver();
  clerk_->Pick(cbo_PeriodePaie, 1);  // empties the employer: the code field is disabled
  clerk_->Click(Cmd_AnnulerGene);
  EXPECT_TRUE(toolkit_->Messages().empty());
  EXPECT_TRUE(Enabled(cmd_Sortir));
}

TEST_F(EntryTest, AnAmountConfirmedAfterTheListsWereEmptiedGoesNowhere) {
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Acompte, 0);
  clerk_->Click(cmd_Annuler);  // the amount field stays enabled
  clerk_->Type(txt_CodeAidant, "1");  // a sixth digit empties the panel
  ASSERT_TRUE(Rows(lst_Acompte).empty());
  clerk_->Type(txt_Acompte, "5");
  clerk_->Click(cmd_Ok);
  EXPECT_TRUE(toolkit_->Messages().empty());
  EXPECT_FALSE(Enabled(cmd_Ok));
  EXPECT_EQ(Advance("00012001200203"), "1250");
}

// ---- Deleting ---------------------------------------------------------------------------------

TEST_F(EntryTest, AnsweringNoToTheDeletionChangesNothing) {
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Acompte, 0);
  toolkit_->QueueAnswer(kAnswerNo);
  clerk_->Click(cmd_Supprimer);
  ASSERT_EQ(toolkit_->Messages().back().text, kDeleteQuestion);
  EXPECT_EQ(toolkit_->Messages().back().icon, MsgIcon::kQuestion);
  EXPECT_EQ(toolkit_->Messages().back().buttons, MsgButtons::kYesNo);
  EXPECT_EQ(Rows(lst_Acompte)[0], "    12,50");
  EXPECT_EQ(Text(txt_Acompte), "12,50");
  EXPECT_TRUE(Enabled(cmd_Ok));
  EXPECT_FALSE(Enabled(lst_Liste1));
}

TEST_F(EntryTest, DeletingAPaidAdvanceRemovesItOnValidation) {
  OpenCaregiver();
  clerk_->DoubleClickRow(lst_Acompte, 1);
  toolkit_->QueueAnswer(kAnswerYes);
  clerk_->Click(cmd_Supprimer);
  EXPECT_EQ(Rows(lst_Acompte)[1], "");
  EXPECT_EQ(Rows(lst_Etat)[1], "");
  EXPECT_EQ(toolkit_->ListIndex(lst_Acompte), 1);
  EXPECT_EQ(Text(txt_Acompte), "");
  for (ControlId control : {txt_Acompte, cmd_Ok, cmd_Annuler, cmd_Supprimer}) {
    EXPECT_FALSE(Enabled(control));
  }
  EXPECT_TRUE(Enabled(cmd_Valider));
  EXPECT_TRUE(Enabled(lst_Liste1));
  clerk_->Click(cmd_Valider);
  EXPECT_EQ(Advance("00012002200203"), "<absent>");
  EXPECT_EQ(Advance("00012001200203"), "1250");
}

}  // namespace
}  // namespace varnolde::testing
