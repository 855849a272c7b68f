// The four parallel advance lists: filling, scrolling and greying.
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
using ModuleProc::PositionList;

// The lists emptied, the scroll bar fitted to them and the entry boxes below them emptied.
void ctr_consultationacompte::ClearAdvanceDisplay() {
  for (ControlId list : kRowLists) ui_.Clear(list);
  PositionList(ui_, Bdv_Liste, lst_Liste1, kVisibleRows);
  for (ControlId box : {txt_liste1, txt_Acompte, txt_Etat}) ui_.SetText(box, "");
}

// One contract's row: reads its advance for the chosen period and its employer (the person
// cared for when the employer is "02" and provider_row is false; else the entity), then
// appends the row. The four lists stay aligned whatever fails: a row that could not be built
// whole is completed with empty cells.
void ctr_consultationacompte::FillContractRow(ResumeNext& rn, Ref<DbRecord>& contracts, int row,
                                              bool provider_row) {
  int expected = 0;
  rn([&] { expected = ui_.ListCount(lst_Liste1) + 1; });
  rn([&] { RecAcompteBull = Modulevar::theDataBase->NewRecord(); });
  // The advance as stored now, or its absence, is what validation compares with later.
  ResumeNext read;
  std::string advance_key;
  read([&] { advance_key = AdvanceKey(contracts, row); });
  read([&] {
    RecAcompteBull = TabAcompteBull->Read(advance_key);
    loaded_advances_[advance_key] = RecAcompteBull->Get();
  });
  if (read.LastError() == err::kRecordNotFound) loaded_advances_[advance_key] = std::nullopt;
  // A payment date that is not a stored date does not convert: the row shows none, so the
  // advance can be entered, and validation writes it without one.
  std::string etat;
  rn([&] {
    const std::string paid_on = RecAcompteBull->Get(tables::acomptebull::kPaidOn);
    if (!paid_on.empty()) etat = converter_->DateToText(paid_on);
  });
  std::string stored_amount;
  rn([&] { stored_amount = RecAcompteBull->Get(tables::acomptebull::kAmount); });
  const AmountCell acompte = ReadStoredAmount(stored_amount);
  if (!acompte.readable) {
    advances_as_stored_.insert(advance_key);
  }
  const EmployerRef employer = RowEmployer(contracts, row, provider_row);
  if (employer.file == tables::kCivilAide) {
    // An employer that cannot be read shows empty, never the previous row's employer.
    rn([&] { RecCivilAide = Modulevar::theDataBase->NewRecord(); });
    rn([&] { RecCivilAide = TabCivilAide->Read(employer.key); });
    rn([&] { RempDonneesList(row, RecCivilAide, RecCivilAidant, acompte.text, etat, contracts); });
  } else {
    rn([&] { RecAssociation = Modulevar::theDataBase->NewRecord(); });
    rn([&] { RecAssociation = TabAssociation->Read(employer.key); });
    if (provider_row) {
      rn([&] {
        RempDonneesListPresta(RecAssociation, RecCivilAidant, acompte.text, etat, contracts);
      });
    } else {
      rn([&] {
        RempDonneesList(row, RecAssociation, RecCivilAidant, acompte.text, etat, contracts);
      });
    }
  }
  for (ControlId list : kRowLists) {
    rn([&] {
      while (ui_.ListCount(list) < expected) ui_.AddItem(list, "");
    });
  }
}

std::string ctr_consultationacompte::AdvanceKey(Ref<DbRecord>& contracts, int row) const {
  return contracts->Get(row, 1) + PeriodKey();
}

ctr_consultationacompte::EmployerRef ctr_consultationacompte::RowEmployer(
    Ref<DbRecord>& contracts, int row, bool provider_row) {
  if (!provider_row && contracts->Get(row, 2) == "02") {
    return {tables::kCivilAide, Left(contracts->Get(row, 4), 5)};
  }
  return {tables::kAssociation, contracts->Get(row, 2)};
}

void ctr_consultationacompte::ReadAheadRows(Ref<DbRecord>& contracts, int n) {
  if (n < 2) return;  // one row reads no more than the read-ahead would
  // Only a hint: what it cannot do, the rows' own reads meet and report.
  ResumeNext hint;
  hint([&] {
    std::vector<std::string> advances, persons, entities;
    for (int row = 1; row <= n; ++row) {
      advances.push_back(AdvanceKey(contracts, row));
      EmployerRef employer = RowEmployer(contracts, row, false);
      (employer.file == tables::kCivilAide ? persons : entities).push_back(std::move(employer.key));
    }
    Modulevar::theDataBase->ReadAhead(tables::kAcompteBull, advances);
    if (!persons.empty()) Modulevar::theDataBase->ReadAhead(tables::kCivilAide, persons);
    if (!entities.empty()) Modulevar::theDataBase->ReadAhead(tables::kAssociation, entities);
  });
}

// The one reading of a stored advance's amount, for the list, the row opened from it and
// validation: hundredths read by the regional number rules (blanks around them ignored, the
// regional decimal separator accepted), divided by 100 and written "####0.00" right-aligned in
// 9 characters. A text that is no number at all is shown as stored and is not readable:
// validation then leaves that advance as stored unless the clerk confirms or deletes the row.
ctr_consultationacompte::AmountCell ctr_consultationacompte::ReadStoredAmount(
    const std::string& hundredths) const {
  if (hundredths.empty()) return {};
  try {
    return {PadField(regional_->FormatFixed2(regional_->ToNumber(hundredths) / 100), 9, " ", 0),
            true};
  } catch (const ComponentError&) {
    return {PadField(hundredths, 9, " ", 0), false};
  }
}

void ctr_consultationacompte::Remplir_Lists(Ref<DbRecord>& /*w_requeteaidant*/) {
  ResumeNext rn;
  int n = 0;
  rn([&] { n = w_requetecontrat->DCount(); });
  ReadAheadRows(w_requetecontrat, n);
  for (int i = 1; i <= n; ++i) FillContractRow(rn, w_requetecontrat, i, false);
  RecAcompteBull.Release();
  RecContrat.Release();
}

void ctr_consultationacompte::Remplir_ListsPresta(Ref<DbRecord>& /*w_requeteaidant*/) {
  ResumeNext rn;
  if (PrestaResultText().empty()) return;
  FillContractRow(rn, w_requetecontratPresta, 1, true);
  RecAcompteBull.Release();
  RecContrat.Release();
}

void ctr_consultationacompte::RempDonneesList(int Indice, Ref<DbRecord>& TabAideAsso,
                                              Ref<DbRecord>& /*TabAidant*/,
                                              const std::string& acompte, const std::string& etat,
                                              Ref<DbRecord>& w_requetecontrat_arg) {
  std::string employer = TabAideAsso->Get(tables::civilaide::kFirstName);
  if (w_requetecontrat_arg->Get(Indice, 2) == "02") {
    // A person cared for who could not be read shows an empty cell, not a lone blank.
    const std::string second = TabAideAsso->Get(tables::civilaide::kSecondName);
    if (!employer.empty() || !second.empty()) employer += " " + second;
  }
  AppendRow(w_requetecontrat_arg, Indice, employer, acompte, etat);
}

void ctr_consultationacompte::RempDonneesListPresta(Ref<DbRecord>& TabAideAsso,
                                                    Ref<DbRecord>& /*TabAidant*/,
                                                    const std::string& acompte,
                                                    const std::string& etat,
                                                    Ref<DbRecord>& w_requetecontratPresta_arg) {
  AppendRow(w_requetecontratPresta_arg, 1, TabAideAsso->Get(tables::association::kEmployerName),
            acompte, etat);
}

// Appends one row to each of the four lists: the dates and the employer, the amount cell, the
// date paid, the contract key.
void ctr_consultationacompte::AppendRow(const Ref<DbRecord>& contracts, int row,
                                        const std::string& employer, const std::string& acompte,
                                        const std::string& etat) {
  const std::string start = DateTextOrRaw(contracts->Get(row, 5));
  const std::string end = contracts->Get(row, 6);
  if (!end.empty()) {
    ui_.AddItem(lst_Liste1, start + "  " + DateTextOrRaw(end) + "   " + employer);
  } else {
    ui_.AddItem(lst_Liste1, start + std::string(15, ' ') + employer);
  }
  ui_.AddItem(lst_Acompte, acompte);
  ui_.AddItem(lst_Etat, etat);
  ui_.AddItem(Lst_CodeContrat, contracts->Get(row, 1));
}

// A stored date as dd/mm/yyyy; a stored text that is not a date is shown as it is, padded to
// the date's ten characters so that the columns stay in place.
std::string ctr_consultationacompte::DateTextOrRaw(const std::string& stored) const {
  try {
    return converter_->DateToText(stored);
  } catch (const ComponentError&) {
    return PadField(stored, 10, " ", -1);
  }
}

// ---- Scrolling and greying -----------------------------------------------------------------

void ctr_consultationacompte::Bdv_Liste_Change() {
  const int v = ui_.ScrollValue(Bdv_Liste);
  const int n = ui_.ListCount(lst_Liste1);
  if (v < n) ui_.SetListIndex(lst_Liste1, v);
}

void ctr_consultationacompte::Bdv_Liste_Scroll() { Bdv_Liste_Change(); }

void ctr_consultationacompte::Griser_Liste() {
  for (ControlId control : {lst_Liste1, lst_Acompte, lst_Etat, cmd_Valider, Cmd_AnnulerGene,
                            cmd_Sortir, cbo_PeriodePaie, txt_Entite, cbo_Entite, txt_CodeAidant,
                            cbo_NomAidant, cmd_Recherche}) {
    ui_.SetEnabled(control, false);
  }
}

void ctr_consultationacompte::Degriser_Liste() {
  for (ControlId control : {lst_Liste1, lst_Acompte, lst_Etat, cmd_Valider, Cmd_AnnulerGene,
                            cbo_PeriodePaie, txt_Entite, cbo_Entite, txt_CodeAidant,
                            cbo_NomAidant, cmd_Recherche}) {
    ui_.SetEnabled(control, true);
  }
}

}  // namespace varnolde
