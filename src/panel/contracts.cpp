// Finding the caregiver's contracts for the pay period, and the previous-month fallback.
#include <string>

#include "components/resume_next.h"
#include "components/tables.h"
#include "panel/ctr_consultationacompte.h"
#include "panel/text.h"
#include "shared/moduleproc.h"
#include "shared/modulevar.h"

namespace varnolde {

using namespace panel;
using namespace Modulevar;
using ModuleProc::PositionList;

namespace {
constexpr std::string_view kContractColumns = "0 1 2 3 7 8 28 65";
constexpr std::string_view kAskNoContract =
    "Pas de contrat pour cet aidant pour la période demandée. Souhaitez vous effectuer un "
    "acompte sur le dernier contrat du mois précèdant";
constexpr std::string_view kAskNoProvider =
    "Pas de contrat prestataire pour cet aidant pour la période demandée. Souhaitez vous "
    "effectuer un acompte sur le dernier contrat du mois précèdant";
constexpr std::string_view kNoPreviousContract =
    "Pas de contrat sur le mois précèdant pour cet aidant.";

// A stored date moved by days, written as a whole number.
std::string AddDays(const std::string& stored, long days) {
  return std::to_string(std::stol(stored) + days);
}
}  // namespace

std::string ctr_consultationacompte::CaregiverDisplayName() const {
  return RecCivilAidant->Get(tables::civilaidant::kFirstName) + " " +
         RecCivilAidant->Get(tables::civilaidant::kSecondName);
}

// The criteria every contract query puts on the caregiver: a key beginning with the code, a
// start on or before the end of the month queried, end_criterion on the end date, and
// attribute 65 other than "O".
std::string ctr_consultationacompte::CaregiverCriteria(const std::string& end_criterion) const {
  return " AND AVEC 0 = " + Quoted(ui_.Text(txt_CodeAidant) + "]") + " AND AVEC 7 =< " +
         Quoted(w_finperiode_) + end_criterion + " AND AVEC 65 # " + Quoted("O");
}

// Puts a new request for sentence on CONTRAT in w_requete and runs it into result; a failing
// step is skipped, leaving result as it was.
void ctr_consultationacompte::SelectContracts(ResumeNext& rn, const std::string& sentence,
                                              Ref<DbRecord>& result) {
  rn([&] { w_requete = Modulevar::theDataBase->NewRecord(); });
  rn([&] { w_requete->Set(""); });
  rn([&] { w_requete->Set(1, sentence); });
  rn([&] { w_requete->Set(2, tables::kContrat); });
  rn([&] { w_requete->Set(3, kContractColumns); });
  rn([&] { last_request_text_ = w_requete->Get(); });
  std::int32_t count = 0;
  rn([&] { result = Modulevar::theDataBase->Select(w_requete->Get(), "", count); });
}

// The previous month's provider contracts of the caregiver (attribute 1 other than "02").
std::string ctr_consultationacompte::PreviousMonthSentence(const std::string& end_criterion,
                                                           const std::string& sort) const {
  return "SSELECT CONTRAT AVEC 2 = " + Quoted(w_codeentite_) + " AND AVEC 1 # " + Quoted("02") +
         CaregiverCriteria(end_criterion) + sort;
}

void ctr_consultationacompte::RequeteContratAidant() {
  ResumeNext rn;
  rn([&] { BusyOn(); });
  rn([&] { w_requetecontrat = Modulevar::theDataBase->NewRecord(); });
  rn([&] { w_requetecontratPresta = Modulevar::theDataBase->NewRecord(); });
  advances_as_stored_.clear();
  loaded_advances_.clear();

  // Bounds of the chosen month, as stored dates.
  YearMonth period{0, 0};
  rn([&] { period = ChosenPeriod(); });
  char month_year[16];
  std::snprintf(month_year, sizeof month_year, "%02d/%04d", period.month, period.year);
  const std::string first = std::string("01/") + month_year;
  rn([&] { w_debutperiode_ = converter_->TextToDate(first); });
  std::string probe;
  rn([&] { probe = converter_->DateToText(AddDays(converter_->TextToDate(first), 29)); });
  std::string next;
  if (probe.size() >= 5 && probe.substr(3, 2) == "12") {
    next = "01/01/" + std::to_string(period.year + 1);
  } else {
    next = "01/" + std::to_string(period.month + 1) + "/" + std::to_string(period.year);
  }
  rn([&] { w_finperiode_ = AddDays(converter_->TextToDate(next), -1); });

  // The period query: two sets of criteria, sorted by start then end date.
  const std::string per_caregiver =
      CaregiverCriteria(" AND AVEC 8 = \"\" OR >= " + Quoted(w_debutperiode_));
  const std::string sentence =
      "SSELECT CONTRAT AVEC 2 = " + Quoted(w_codeentite_) + " AND AVEC 1 # " + Quoted("O2") +
      per_caregiver + " OR AVEC 2 = " + Quoted(w_codeentite_) + per_caregiver +
      " AND AVEC 2 = " + Quoted("02") + " AND AVEC 28 = " + Quoted("1") + " PAR 7 PAR 8";
  SelectContracts(rn, sentence, w_requetecontrat);

  if (ContractResultText().empty()) {
    NoContract();
  } else {
    rn([&] { ClearAdvanceDisplay(); });
    int n = 0;
    rn([&] { n = w_requetecontrat->DCount(); });
    bool provider = false;
    for (int i = 1; i <= n; ++i) {
      rn([&] { RecCivilAidant = TabCivilAidant->Read(Left(w_requetecontrat->Get(i, 1), 5)); });
      rn([&] { RecContrat = TabContrat->Read(w_requetecontrat->Get(i, 1)); });
      rn([&] {
        if (RecContrat->Get(tables::contrat::kEmployer) != "02") provider = true;
      });
    }
    RecAcompteBull.Release();
    if (n == 1) {
      rn([&] { ui_.SetText(cbo_NomAidant, CaregiverDisplayName()); });
      rn([&] { ui_.SetText(txt_CodeAidant, RecCivilAidant->Get(0)); });
    }
    rn([&] { ui_.SetText(cbo_NomAidant, CaregiverDisplayName()); });
    if (!provider) NoProviderContract();
  }

  // Closing steps, on every path.
  rn([&] { ui_.DoEvents(); });
  rn([&] { ui_.SetBusyPointer(false); });
  rn([&] { ui_.SetPanelEnabled(true); });
  w_requete.Release();
}

void ctr_consultationacompte::PreviousMonthBounds(YearMonth period) {
  if (period.month == 1) {
    w_debutperiode_ = converter_->TextToDate("01/12/" + std::to_string(period.year - 1));
  } else {
    w_debutperiode_ = converter_->TextToDate("01/" + std::to_string(period.month - 1) + "/" +
                                             std::to_string(period.year));
  }
  w_finperiode_ = AddDays(converter_->TextToDate("01/" + std::to_string(period.month) + "/" +
                                                 std::to_string(period.year)),
                          -1);
}

void ctr_consultationacompte::NoContract() {
  ResumeNext rn;
  rn([&] { ClearAdvanceDisplay(); });
  rn([&] { ui_.SetText(cbo_NomAidant, CaregiverDisplayName()); });
  int answer = kAnswerNo;
  rn([&] {
    answer = ui_.MsgBox(kAskNoContract, MsgButtons::kYesNo, MsgIcon::kExclamation, kMessageTitle);
  });
  if (answer != kAnswerYes) {
    DropCaregiver(rn);
    return;
  }
  rn([&] { PreviousMonthBounds(ChosenPeriod()); });
  // Query A: open-ended contracts included, latest start first.
  SelectContracts(rn,
                  PreviousMonthSentence(" AND AVEC 8 = \"\" OR >= " + Quoted(w_debutperiode_),
                                        " PAR-DECR 7 PAR 8"),
                  w_requetecontratPresta);
  if (!PrestaResultText().empty()) {
    rn([&] { ClearAdvanceDisplay(); });
    ShowCaregiverOfPreviousMonth(rn);
  } else {
    rn([&] { ClearAdvanceDisplay(); });
    rn([&] { ui_.SetText(cbo_NomAidant, CaregiverDisplayName()); });
    rn([&] {
      ui_.MsgBox(kNoPreviousContract, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle);
    });
    DropCaregiver(rn);
  }
}

// The caregiver is given up: the code emptied, the advance display cleared, the focus back on
// the code for another caregiver.
void ctr_consultationacompte::DropCaregiver(ResumeNext& rn) {
  rn([&] { ui_.SetText(txt_CodeAidant, ""); });
  rn([&] { ClearAdvanceDisplay(); });
  rn([&] { ui_.SetFocus(txt_CodeAidant); });
}

void ctr_consultationacompte::NoProviderContract() {
  ResumeNext rn;
  int answer = kAnswerNo;
  rn([&] {
    answer = ui_.MsgBox(kAskNoProvider, MsgButtons::kYesNo, MsgIcon::kExclamation, kMessageTitle);
  });
  if (answer != kAnswerYes) return;
  rn([&] { PreviousMonthBounds(ChosenPeriod()); });
  // Query B: in force during the previous month, latest end first.
  SelectContracts(rn,
                  PreviousMonthSentence(" AND AVEC 8 => " + Quoted(w_debutperiode_), " PAR-DECR 8"),
                  w_requetecontratPresta);
  if (PrestaResultText().empty()) return;
  rn([&] { PositionList(ui_, Bdv_Liste, lst_Liste1, kVisibleRows); });
  ShowCaregiverOfPreviousMonth(rn);
}

// The caregiver of the previous month's first contract goes into the name box (and, when it
// is the only contract, its code into the code field, which it normally already holds).
void ctr_consultationacompte::ShowCaregiverOfPreviousMonth(ResumeNext& rn) {
  rn([&] { RecCivilAidant = TabCivilAidant->Read(Left(w_requetecontratPresta->Get(1, 1), 5)); });
  int count = 0;
  rn([&] { count = w_requetecontratPresta->DCount(); });
  if (count == 1) {
    rn([&] { ui_.SetText(cbo_NomAidant, CaregiverDisplayName()); });
    rn([&] { ui_.SetText(txt_CodeAidant, RecCivilAidant->Get(0)); });
  }
  rn([&] { ui_.SetText(cbo_NomAidant, CaregiverDisplayName()); });
}

}  // namespace varnolde
