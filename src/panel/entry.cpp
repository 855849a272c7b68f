// Opening a row, the amount field, confirming, validating and deleting advances.
#include <cmath>

#include "components/resume_next.h"
#include "components/tables.h"
#include "panel/ctr_consultationacompte.h"
#include "panel/text.h"
#include "shared/moduleproc.h"
#include "shared/modulevar.h"

namespace varnolde {

using namespace panel;
using namespace Modulevar;
using ModuleProc::PadField;

namespace {
constexpr std::string_view kPayslipWarning =
    "Attention ! \r\nBulletin de paie déjà traité sur cette période.\r\n"
    "La mise à jour de l'acompte ne pourra être effective sur le bulletin.";
constexpr std::string_view kWriteFailedMessage = "Erreur d'écriture de l'acompte dans la base.";
constexpr std::string_view kChangedByOther =
    "Les acomptes de cet aidant ont été modifiés par un autre utilisateur depuis leur "
    "affichage. Rechargez l'aidant pour voir leur état actuel.";
constexpr std::string_view kDeleteQuestion = "Etes-vous sûr de vouloir supprimer cet acompte ?";
constexpr std::string_view kInvalidAmount = "Montant d'acompte invalide : ";
constexpr std::string_view kRowSavepoint = "acompte_ligne";
constexpr int kAmountWidth = 8;
}  // namespace

// ---- Keeping the four lists on one row ------------------------------------------------------

// A click on one of the four lists brings the other three to its row.
void ctr_consultationacompte::KeepListsOnRow(ControlId clicked) {
  const int row = ui_.ListIndex(clicked);
  for (ControlId list : kRowLists) {
    if (list != clicked) ui_.SetListIndex(list, row);
  }
}

void ctr_consultationacompte::lst_Acompte_Click() { KeepListsOnRow(lst_Acompte); }
void ctr_consultationacompte::lst_Etat_Click() { KeepListsOnRow(lst_Etat); }
void ctr_consultationacompte::lst_Liste1_Click() { KeepListsOnRow(lst_Liste1); }
void ctr_consultationacompte::Lst_CodeContrat_Click() { KeepListsOnRow(Lst_CodeContrat); }

// ---- Opening a row for entry ---------------------------------------------------------------

// A double click opens the row; on the main list it also writes the amount anew with two
// decimals.
void ctr_consultationacompte::lst_Liste1_DblClick() { OpenRow(/*reformat_amount=*/true); }
void ctr_consultationacompte::lst_Acompte_DblClick() { OpenRow(false); }
void ctr_consultationacompte::lst_Etat_DblClick() { OpenRow(false); }

void ctr_consultationacompte::OpenRow(bool reformat_amount) {
  ResumeNext rn;
  for (ControlId box : {txt_liste1, txt_Acompte, txt_Etat}) rn([&] { ui_.SetEnabled(box, true); });
  rn([&] { ui_.SetText(txt_liste1, ui_.Text(lst_Liste1)); });
  rn([&] { ui_.SetText(txt_Acompte, converter_->FormatAmountText(ui_.Text(lst_Acompte), true)); });
  if (reformat_amount) {
    rn([&] {
      const std::string amount = ui_.Text(lst_Acompte);
      ui_.SetText(txt_Acompte,
                  Trim(amount).empty() ? std::string() : regional_->FormatFixed2(regional_->ToNumber(amount)));
    });
  }
  rn([&] { ui_.SetText(txt_Etat, ui_.Text(lst_Etat)); });
  rn([&] { ui_.SetEnabled(txt_liste1, false); });
  rn([&] { ui_.SetEnabled(txt_Etat, false); });
  if (ui_.Text(txt_Etat).empty()) {
    rn([&] { ui_.SetEnabled(txt_Acompte, true); });
    rn([&] { ui_.SetFocus(txt_Acompte); });
    rn([&] { ui_.SetEnabled(cmd_Supprimer, true); });
    rn([&] { ui_.SetEnabled(cmd_Ok, true); });
  } else {
    rn([&] { ui_.SetEnabled(txt_Acompte, false); });
    rn([&] { ui_.SetEnabled(cmd_Supprimer, true); });
    rn([&] { ui_.SetEnabled(cmd_Ok, false); });
  }
  rn([&] { ui_.SetEnabled(cmd_Annuler, true); });
  rn([&] { Griser_Liste(); });
  // Payslip check: a DETAILCALCUL record for this contract and period means the payslip has
  // already been computed.
  rn([&] { RecDetailCalcul = TabDetailCalcul->Read(ui_.Text(Lst_CodeContrat) + PeriodKey()); });
  if (rn.LastError() != err::kRecordNotFound) {
    rn([&] { ui_.MsgBox(kPayslipWarning, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle); });
  }
}

// ---- The amount field ------------------------------------------------------------------------

void ctr_consultationacompte::txt_Acompte_KeyPress(int& key_code) {
  if (key_code == kKeyBackspace) return;
  if (key_code == kKeyEnter) {
    const std::string text = ui_.Text(txt_Acompte);
    const size_t n = Length(text);
    // A longer text (assigned by the program) is not padded.
    if (n < kAmountWidth) ui_.SetText(txt_Acompte, std::string(kAmountWidth - n, ' ') + text);
    ui_.SetText(txt_Acompte, converter_->FormatAmountText(ui_.Text(txt_Acompte), true));
  }
  // The decimal separator is typed with the full stop key; the comma key adds nothing.
  if (key_code == '.') {
    key_code = static_cast<int>(regional_->DecimalSeparator());
  } else if (!IsDigitKey(key_code)) {
    key_code = 0;
  }
}

void ctr_consultationacompte::txt_Acompte_Change() {
  if (!ui_.Text(txt_Acompte).empty()) {
    ui_.SetEnabled(cmd_Ok, true);
    ui_.SetEnabled(cmd_Supprimer, true);
  } else {
    ui_.SetText(txt_Etat, "");
    ui_.SetEnabled(cmd_Supprimer, false);
  }
}

void ctr_consultationacompte::txt_Acompte_Click() { ui_.SetEnabled(cmd_Supprimer, true); }

void ctr_consultationacompte::txt_Acompte_LostFocus() {
  if (!ui_.Text(txt_Acompte).empty()) {
    ui_.SetText(txt_Acompte, converter_->FormatNumberField(TextBox(ui_, txt_Acompte), 5, 2));
  }
}

// The advance key of the current row, found as validation finds it.
std::string ctr_consultationacompte::CurrentAdvanceKey() const {
  const int row = ui_.ListIndex(lst_Acompte) + 1;
  std::string contract = w_requetecontrat->Get(row, 1);
  if (contract.empty()) contract = w_requetecontratPresta->Get(1, 1);
  return contract + PeriodKey();
}

// ---- Closing the open row --------------------------------------------------------------------

void ctr_consultationacompte::cmd_Ok_Click() {
  ui_.SetText(txt_Acompte, Trim(ui_.Text(txt_Acompte)));
  const std::string amount = ui_.Text(txt_Acompte);
  std::string cell;
  if (!amount.empty()) {
    // Never let a text that is no number reach the lists, hence the advances table.
    ResumeNext conversion;
    conversion([&] { cell = PadField(regional_->FormatFixed2(regional_->ToNumber(amount)), 9, " ", 0); });
    if (conversion.ErrorCount() != 0) {
      ui_.MsgBox(std::string(kInvalidAmount) + amount, MsgButtons::kOk, MsgIcon::kExclamation,
                 kMessageTitle);
      ui_.SetFocus(txt_Acompte);
      return;
    }
  }
  // The clerk decided this row's advance: validation writes it.
  advances_as_stored_.erase(CurrentAdvanceKey());
  // With no current row (the lists were emptied while the amount field stayed open), the
  // amount has no row to go to: the entry is only closed.
  if (ui_.ListIndex(lst_Acompte) < 0) {
  } else if (!amount.empty()) {
    ui_.SetItemText(lst_Acompte, ui_.ListIndex(lst_Acompte), cell);
  } else {
    ui_.SetItemText(lst_Acompte, ui_.ListIndex(lst_Acompte), "");
    ui_.SetItemText(lst_Etat, ui_.ListIndex(lst_Etat), "");
  }
  ui_.SetText(txt_liste1, "");
  ui_.SetText(txt_Acompte, "");
  ui_.SetEnabled(txt_Acompte, false);
  ui_.SetText(txt_Etat, "");
  ui_.SetEnabled(cmd_Annuler, false);
  ui_.SetEnabled(cmd_Supprimer, false);
  ui_.SetEnabled(cmd_Valider, true);
  ui_.SetEnabled(Cmd_AnnulerGene, true);
  ui_.SetEnabled(cmd_Ok, false);
  RecAcompteBull.Release();
  Degriser_Liste();
}

void ctr_consultationacompte::cmd_Annuler_Click() {
  for (ControlId box : {txt_liste1, txt_Acompte, txt_Etat}) ui_.SetText(box, "");
  for (ControlId button : {cmd_Annuler, cmd_Ok, cmd_Supprimer}) ui_.SetEnabled(button, false);
  Degriser_Liste();
}

// ---- Validating or dropping the caregiver's rows ---------------------------------------------

void ctr_consultationacompte::ResetPanel() {
  ui_.SetEnabled(cmd_Sortir, true);
  for (ControlId button : {cmd_Valider, Cmd_AnnulerGene, cmd_Annuler, cmd_Recherche, cmd_Supprimer}) {
    ui_.SetEnabled(button, false);
  }
  ui_.SetText(txt_CodeAidant, "");
  ClearAdvanceDisplay();
}

void ctr_consultationacompte::cmd_Valider_Click() {
  BusyOn();
  Ecrire_Acomptes();
  ResetPanel();
  BusyOff();
  FocusCodeAfterReset();
  ui_.SetEnabled(cmd_Sortir, true);
}

void ctr_consultationacompte::Cmd_AnnulerGene_Click() {
  ResetPanel();
  FocusCodeAfterReset();
  ui_.SetEnabled(cmd_Sortir, true);
}

// The focus goes back to the caregiver code for the next caregiver. When the employer was
// reset meanwhile (a new period chosen), the code field is disabled: the focus stays where it
// is rather than troubling the clerk with an error.
void ctr_consultationacompte::FocusCodeAfterReset() {
  ResumeNext rn;
  rn([&] { ui_.SetFocus(txt_CodeAidant); });
}

// Deletes and re-creates the advance of every row, in one transaction with a savepoint per
// row: a row whose re-write does not complete keeps its previous advance; a write failure
// (0x8004000E) is shown once and stops, keeping the rows before it; a failed commit keeps
// nothing of the validation. A consult-only user writes nothing.
void ctr_consultationacompte::Ecrire_Acomptes() {
  if (!MayModify()) return;
  ResumeNext rn;
  int n = 0;
  rn([&] { n = ui_.ListCount(lst_Acompte); });
  std::string period;
  rn([&] { period = PeriodKey(); });
  if (period.empty()) return;
  bool in_transaction = false;
  rn([&] {
    Modulevar::theDataBase->Begin();
    in_transaction = true;
  });
  if (!in_transaction) {
    ShowWriteFailure();
    return;
  }
  // Another clerk's validation since this caregiver was loaded: nothing is written.
  const StoredState stored = CompareWithLoaded();
  if (stored != StoredState::kAsLoaded) {
    rn([&] { Modulevar::theDataBase->Rollback(); });
    if (stored == StoredState::kUnreadable) return ShowWriteFailure();
    rn([&] {
      ui_.MsgBox(kChangedByOther, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle);
    });
    return;
  }
  bool stopped = false;
  for (int i = 1; i <= n && !stopped; ++i) {
    stopped = WriteAdvanceRow(i, period) == RowOutcome::kWriteFailure;
  }
  if (stopped) ShowWriteFailure();
  const int errors_before_commit = rn.ErrorCount();
  rn([&] { Modulevar::theDataBase->Commit(); });
  if (rn.ErrorCount() != errors_before_commit) {
    rn([&] { Modulevar::theDataBase->Rollback(); });
    if (!stopped) ShowWriteFailure();
  }
}

ctr_consultationacompte::StoredState ctr_consultationacompte::CompareWithLoaded() {
  std::set<std::string> caregivers;
  for (const auto& [key, loaded] : loaded_advances_) caregivers.insert(Left(key, 5));
  ResumeNext rn;
  for (const std::string& caregiver : caregivers) {
    rn([&] { Modulevar::theDataBase->Lock(std::string(tables::kAcompteBull) + " " + caregiver); });
  }
  if (rn.ErrorCount() != 0) return StoredState::kUnreadable;
  // The advances are read now and again by each row's write: a server reads them all at once.
  ResumeNext ahead;
  ahead([&] {
    std::vector<std::string> keys;
    for (const auto& advance : loaded_advances_) keys.push_back(advance.first);
    Modulevar::theDataBase->ReadAhead(tables::kAcompteBull, keys);
  });
  for (const auto& advance : loaded_advances_) {
    const std::string& key = advance.first;
    std::optional<std::string> now;
    ResumeNext read;
    read([&] { now = TabAcompteBull->Read(key)->Get(); });
    if (read.LastError() != 0 && read.LastError() != err::kRecordNotFound) {
      return StoredState::kUnreadable;
    }
    if (now != advance.second) return StoredState::kChanged;
  }
  return StoredState::kAsLoaded;
}

// Row `row` (from 1) of the lists: deletes the stored advance of its contract for the period
// and, when the row shows an amount, writes a new one with attributes 1 and 2 only. A
// payment date that does not convert is left empty; the row is still written.
ctr_consultationacompte::RowOutcome ctr_consultationacompte::WriteAdvanceRow(
    int row, const std::string& period) {
  ResumeNext rn;
  std::string amount;
  std::string paid_on;
  std::string contract;
  rn([&] { amount = Trim(ui_.ItemText(lst_Acompte, row - 1)); });
  rn([&] { paid_on = ui_.ItemText(lst_Etat, row - 1); });
  rn([&] { contract = w_requetecontrat->Get(row, 1); });
  if (contract.empty()) rn([&] { contract = w_requetecontratPresta->Get(1, 1); });
  if (contract.empty()) return RowOutcome::kKept;
  const std::string key = contract + period;
  if (advances_as_stored_.count(key) != 0) return RowOutcome::kKept;
  std::string stored_paid_on;
  if (!paid_on.empty()) {
    ResumeNext conversion;
    conversion([&] { stored_paid_on = converter_->TextToDate(paid_on); });
  }

  rn([&] { Modulevar::theDataBase->Savepoint(kRowSavepoint); });
  rn([&] { RecAcompteBull = Modulevar::theDataBase->NewRecord(); });
  rn([&] { RecAcompteBull = TabAcompteBull->Read(key); });
  // On the empty record (no stored advance) there is nothing to remove: that failure is the
  // normal case. A failed delete of a stored advance is a write failure.
  rn([&] { RecAcompteBull->DBDelete(); });
  bool failed = rn.LastError() == err::kWriteFailed;
  if (!amount.empty()) {
    const int errors_before_write = rn.ErrorCount();
    rn([&] { RecAcompteBull.Release(); });
    rn([&] { RecAcompteBull = TabAcompteBull->ReadForUpdate(key); });
    rn([&] {
      RecAcompteBull->SetNumber(tables::acomptebull::kAmount,
                                std::round(regional_->ToNumber(amount) * 100));
    });
    rn([&] { RecAcompteBull->Set(tables::acomptebull::kPaidOn, stored_paid_on); });
    rn([&] { RecAcompteBull->DBWrite(); });
    failed = failed || rn.ErrorCount() != errors_before_write;
  }
  if (failed) rn([&] { Modulevar::theDataBase->RollbackTo(kRowSavepoint); });
  rn([&] { Modulevar::theDataBase->ReleaseSavepoint(kRowSavepoint); });
  if (rn.LastError() == err::kWriteFailed) return RowOutcome::kWriteFailure;
  return failed ? RowOutcome::kFailed : RowOutcome::kWritten;
}

void ctr_consultationacompte::ShowWriteFailure() {
  ResumeNext rn;
  rn([&] { ui_.MsgBox(kWriteFailedMessage, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle); });
}

// ---- Deleting an advance ---------------------------------------------------------------------

void ctr_consultationacompte::cmd_Supprimer_Click() {
  ResumeNext rn;
  RecAcompteBull.Release();
  std::string answer;
  rn([&] {
    answer = std::to_string(
        ui_.MsgBox(kDeleteQuestion, MsgButtons::kYesNo, MsgIcon::kQuestion, kMessageTitle));
  });
  if (answer != std::to_string(kAnswerYes)) return;
  rn([&] { advances_as_stored_.erase(CurrentAdvanceKey()); });
  rn([&] { ui_.SetItemText(lst_Acompte, ui_.ListIndex(lst_Acompte), ""); });
  rn([&] { ui_.SetItemText(lst_Etat, ui_.ListIndex(lst_Etat), ""); });
  rn([&] { ui_.SetText(lst_Acompte, ""); });
  for (ControlId box : {txt_liste1, txt_Acompte, txt_Etat}) rn([&] { ui_.SetEnabled(box, false); });
  for (ControlId box : {txt_liste1, txt_Acompte, txt_Etat}) rn([&] { ui_.SetText(box, ""); });
  for (ControlId list : {lst_Liste1, lst_Acompte, lst_Etat}) rn([&] { ui_.SetEnabled(list, true); });
  for (ControlId button : {cmd_Supprimer, cmd_Ok, cmd_Annuler}) {
    rn([&] { ui_.SetEnabled(button, false); });
  }
  rn([&] { ui_.SetEnabled(cmd_Valider, true); });
  rn([&] { ui_.SetEnabled(Cmd_AnnulerGene, true); });
  rn([&] { Degriser_Liste(); });
}

}  // namespace varnolde
