// Choosing the pay period, the employer entity and the caregiver.
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
constexpr std::string_view kEntityUnknown = "Cette entité n'existe pas.";
constexpr std::string_view kNameMissing = "Vous devez saisir le début du nom d'un aidant.";
constexpr std::string_view kNoCaregiverPrefix = "Aucun aidant commençant par ";
constexpr std::string_view kAccentRefused =
    "La saisie de minuscule accentuée est interdite sur cette zone.";
constexpr std::string_view kCaregiverUnknown = "Cet aidant n'existe pas.";
constexpr std::string_view kCaregiverRefused = "Vous n'êtes pas autorisé à accéder à cet aidant.";

// The name search's value: the typed text followed by "]" (begins-with), between delimiters
// the text does not contain, so that a quote typed by the clerk is searched for as itself and
// can never end the value early. Empty when the text holds all three delimiters.
std::string NamePattern(const std::string& upper_name) {
  for (char delimiter : {'"', '\'', '\\'}) {
    if (upper_name.find(delimiter) == std::string::npos) {
      return delimiter + upper_name + "]" + delimiter;
    }
  }
  return {};
}
}  // namespace

// ---- Pay period ---------------------------------------------------------------------------

void ctr_consultationacompte::Remplir_ComboPeriodepaie() {
  period_items_.clear();
  RecPeriodesPaie = TabPeriodesPaie->Read(tables::periodespaie::kKey);
  for (int i = 1; i <= 2; ++i) {
    const std::string key = RecPeriodesPaie->Get(i);
    // "yyyymm": month in characters 5 and 6, year in 1 to 4.
    if (key.size() != 6 || key.find_first_not_of("0123456789") != std::string::npos) {
      throw ComponentError(err::kTypeMismatch, "Période de paie invalide : \"" + key + "\"");
    }
    const YearMonth period{std::stoi(key.substr(0, 4)), std::stoi(key.substr(4, 2))};
    if (period.month < 1 || period.month > 12) {
      throw ComponentError(err::kTypeMismatch, "Période de paie invalide : \"" + key + "\"");
    }
    const std::string text = regional_->MonthYearText(period);
    ui_.AddItem(cbo_PeriodePaie, text);
    period_items_.emplace_back(text, period);
  }
  ui_.SetListIndex(cbo_PeriodePaie, 0);
}

void ctr_consultationacompte::cbo_PeriodePaie_Click() {
  ui_.SetText(txt_Entite, "");
  ui_.SetText(txt_CodeAidant, "");
}

// The period box is a drop-down list: its text only changes by a pick. Should it change
// otherwise, the selection starts again from the employer.
void ctr_consultationacompte::cbo_PeriodePaie_Change() {
  cbo_PeriodePaie_Click();
  ui_.SetFocus(txt_Entite);
}

// ---- Employer entity ----------------------------------------------------------------------

void ctr_consultationacompte::Remplir_ComboEntite() {
  w_requete = Modulevar::theDataBase->NewRecord();
  w_requete->Set(1, "SSELECT ASSOCIATION PAR 1");
  w_requete->Set(2, tables::kAssociation);
  w_requete->Set(3, "0 1");
  last_request_text_ = w_requete->Get();
  std::int32_t count = 0;
  w_requeteentite = Modulevar::theDataBase->Select(w_requete->Get(), "", count);
  if (w_requeteentite->Get(1).empty()) return;
  const int n = w_requeteentite->DCount();
  for (int i = 1; i <= n; ++i) ui_.AddItem(cbo_Entite, w_requeteentite->Get(i, 2));
  if (n == 1) {
    ui_.SetListIndex(cbo_Entite, 0);
    ui_.SetText(txt_CodeAidant, "");
  } else if (n > 1) {
    ui_.SetEnabled(txt_Entite, true);
  }
}

void ctr_consultationacompte::cbo_Entite_Click() {
  if (!ui_.Text(cbo_Entite).empty()) {
    ui_.SetText(txt_Entite, w_requeteentite->Get(ui_.ListIndex(cbo_Entite) + 1, 1));
  }
}

void ctr_consultationacompte::cbo_Entite_Change() {
  if (ui_.Text(cbo_Entite).empty()) ui_.SetText(txt_Entite, "");
}

void ctr_consultationacompte::txt_Entite_Change() {
  ResumeNext rn;
  const std::string code = ui_.Text(txt_Entite);
  if (Length(code) == 3) {
    rn([&] { RecAssociation = TabAssociation->Read(code); });
    if (rn.LastError() == err::kRecordNotFound) {
      RefuseEntry(rn, kEntityUnknown, txt_Entite);
    } else {
      w_codeentite_ = code;
      rn([&] { ui_.SetText(cbo_Entite, RecAssociation->Get(tables::association::kName)); });
      rn([&] { ui_.SetEnabled(txt_CodeAidant, true); });
      rn([&] { ui_.SetEnabled(cbo_NomAidant, true); });
      rn([&] { ui_.SetFocus(txt_CodeAidant); });
    }
  } else {
    rn([&] { ui_.SetText(cbo_Entite, ""); });
  }
  if (ui_.Text(txt_Entite).empty()) {
    rn([&] { ui_.SetText(cbo_Entite, ""); });
    rn([&] { ui_.SetText(txt_CodeAidant, ""); });
    rn([&] { ui_.SetText(cbo_NomAidant, ""); });
    rn([&] { ui_.SetEnabled(txt_CodeAidant, false); });
    rn([&] { ui_.SetEnabled(cbo_NomAidant, false); });
    rn([&] { ClearAdvanceDisplay(); });
    for (ControlId control : {Fra_Contrats, etq_debut, etq_Fin, etq_employeur, etq_Acompte, etq_Etat}) {
      rn([&] { ui_.SetEnabled(control, false); });
    }
  }
}

// The clerk's entry in box is refused: the message, the box emptied, the focus back on it.
void ctr_consultationacompte::RefuseEntry(ResumeNext& rn, std::string_view message, ControlId box) {
  rn([&] { ui_.MsgBox(message, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle); });
  rn([&] { ui_.SetText(box, ""); });
  rn([&] { ui_.SetFocus(box); });
}

void ctr_consultationacompte::txt_Entite_KeyPress(int& key_code) {
  if (key_code == kKeyBackspace) return;
  if (key_code == kKeyEnter) {
    const std::string code = ui_.Text(txt_Entite);
    if (Length(code) < 3) ui_.SetText(txt_Entite, ZeroPad(code, 3));
  }
  if (!IsDigitKey(key_code)) key_code = 0;
}

void ctr_consultationacompte::txt_Entite_LostFocus() {
  const std::string code = ui_.Text(txt_Entite);
  if (!code.empty() && Length(code) < 3) ui_.SetText(txt_Entite, ZeroPad(code, 3));
}

// ---- Caregiver: name search ---------------------------------------------------------------

void ctr_consultationacompte::cmd_Recherche_Click() { RequeteCodeAidant(); }

void ctr_consultationacompte::RequeteCodeAidant() {
  ResumeNext rn;
  std::string name;
  std::string code;
  rn([&] { name = ui_.Text(cbo_NomAidant); });
  rn([&] { code = ui_.Text(txt_CodeAidant); });
  if (!LTrim(name).empty() && code.empty()) {
    rn([&] { BusyOn(); });
    const std::string upper = regional_->ToUpper(name);
    const std::string pattern = NamePattern(upper);
    rn([&] { w_requete = Modulevar::theDataBase->NewRecord(); });
    rn([&] {
      w_requete->Set(1, "SSELECT CIVILAIDANT AVEC NomPrenomAidant = " + pattern + " PAR 2 PAR 3");
    });
    rn([&] { w_requete->Set(2, tables::kCivilAidant); });
    rn([&] { w_requete->Set(3, "0 2 3"); });
    rn([&] { last_request_text_ = w_requete->Get(); });
    if (pattern.empty()) {
      // No value can hold this text as itself: nothing can begin with it.
      rn([&] { w_requeteaidant = Modulevar::theDataBase->NewRecord(); });
    } else {
      std::int32_t count = 0;
      rn([&] { w_requeteaidant = Modulevar::theDataBase->Select(w_requete->Get(), "", count); });
    }
    bool no_hit = true;
    rn([&] { no_hit = w_requeteaidant->Get().empty(); });
    if (no_hit) {
      rn([&] {
        ui_.MsgBox(std::string(kNoCaregiverPrefix) + upper, MsgButtons::kOk,
                   MsgIcon::kExclamation, kMessageTitle);
      });
      rn([&] { ui_.SetText(cbo_NomAidant, ""); });
      rn([&] { BusyOff(); });
      rn([&] { ui_.SetFocus(cbo_NomAidant); });
    } else {
      rn([&] { ui_.Clear(cbo_NomAidant); });
      name_rows_to_hits_.clear();
      rn([&] { ui_.SetText(cbo_NomAidant, ""); });
      int n = 0;
      rn([&] { n = w_requeteaidant->DCount(); });
      for (int i = 1; i <= n; ++i) {
        const std::string hit_code = Left(w_requeteaidant->Get(i, 1), 5);
        rn([&] { RecCivilAidant = TabCivilAidant->Read(hit_code); });
        if (hit_code != Left(w_requeteaidant->Get(i - 1), 5)) {
          rn([&] {
            ui_.AddItem(cbo_NomAidant,
                        RecCivilAidant->Get(tables::civilaidant::kFirstName) + " " +
                            RecCivilAidant->Get(tables::civilaidant::kSecondName));
            name_rows_to_hits_.push_back(i);
          });
        }
      }
      if (n == 1) {
        rn([&] {
          ui_.SetText(cbo_NomAidant, w_requeteaidant->Get(1, 2) + " " + w_requeteaidant->Get(1, 3));
        });
        rn([&] { ui_.SetText(txt_CodeAidant, w_requeteaidant->Get(1, 1)); });
      }
      rn([&] { BusyOff(); });
    }
  } else if (name.empty()) {
    rn([&] { ui_.MsgBox(kNameMissing, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle); });
    rn([&] { ui_.SetFocus(cbo_NomAidant); });
  }
  RecAcompteBull.Release();
  w_requete.Release();
}

void ctr_consultationacompte::cbo_NomAidant_Click() {
  // Row k of the list shows hit name_rows_to_hits_[k]: a result that repeats a code gets no
  // row, and the rows after it still open the caregiver they show.
  const int row = ui_.ListIndex(cbo_NomAidant);
  const int hit = row >= 0 && row < static_cast<int>(name_rows_to_hits_.size())
                      ? name_rows_to_hits_[row]
                      : row + 1;
  ui_.SetText(txt_CodeAidant, w_requeteaidant->Get(hit, 1));
}

void ctr_consultationacompte::cbo_NomAidant_Change() {
  if (ui_.Text(cbo_NomAidant).empty()) ui_.SetText(txt_CodeAidant, "");
  ui_.SetEnabled(cmd_Recherche, true);
}

void ctr_consultationacompte::cbo_NomAidant_KeyPress(int& key_code) {
  if (ui_.Text(cbo_NomAidant).empty()) {
    ui_.SetText(txt_CodeAidant, "");
    return;
  }
  if (key_code == kKeyEnter) {
    RequeteCodeAidant();
    return;
  }
  if (key_code > 122) {
    ui_.MsgBox(kAccentRefused, MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle);
    key_code = 0;
  }
}

// ---- Caregiver: code lookup ---------------------------------------------------------------

void ctr_consultationacompte::txt_CodeAidant_KeyPress(int& key_code) {
  if (key_code == kKeyBackspace) return;
  if (key_code == kKeyEnter) {
    const std::string code = ui_.Text(txt_CodeAidant);
    if (Length(code) < 5) ui_.SetText(txt_CodeAidant, ZeroPad(code, 5));
    key_code = 0;
    return;
  }
  if (!IsDigitKey(key_code)) key_code = 0;
}

void ctr_consultationacompte::txt_CodeAidant_LostFocus() {
  const std::string code = ui_.Text(txt_CodeAidant);
  if (!code.empty() && Length(code) < 5) ui_.SetText(txt_CodeAidant, ZeroPad(code, 5));
}

void ctr_consultationacompte::txt_CodeAidant_Change() {
  ResumeNext rn;
  const std::string code = ui_.Text(txt_CodeAidant);
  if (Length(code) == 5) {
    rn([&] { RecCivilAidant = TabCivilAidant->Read(code); });
    const ErrorNumber read_error = rn.LastError();
    if (read_error == err::kRecordNotFound) {
      RefuseEntry(rn, kCaregiverUnknown, txt_CodeAidant);
      return;
    }
    // A caregiver that could not be read is never shown: the buffer may still hold another
    // caregiver, whose group must not decide access to this one.
    bool allowed = false;
    if (read_error == 0) {
      rn([&] {
        allowed = consultation_rights_->IsAllowed(
            RecCivilAidant->Get(tables::civilaidant::kGroup), false);
      });
    }
    if (!allowed) {
      RefuseEntry(rn, kCaregiverRefused, txt_CodeAidant);
      return;
    }
    rn([&] { RequeteContratAidant(); });
    for (ControlId control : {Fra_Contrats, etq_debut, etq_Fin, etq_employeur, etq_Acompte,
                              etq_Etat, cmd_Valider, Cmd_AnnulerGene}) {
      rn([&] { ui_.SetEnabled(control, true); });
    }
    rn([&] { ui_.SetEnabled(cmd_Sortir, false); });
    rn([&] { BusyOn(); });
    if (!ContractResultText().empty()) {
      rn([&] { Remplir_Lists(w_requeteaidant); });
      rn([&] { PositionList(ui_, Bdv_Liste, lst_Liste1, kVisibleRows); });
    }
    if (!PrestaResultText().empty()) {
      rn([&] { Remplir_ListsPresta(w_requetecontratPresta); });
      rn([&] { PositionList(ui_, Bdv_Liste, lst_Liste1, kVisibleRows); });
    }
    rn([&] { BusyOff(); });
  } else {
    rn([&] { ui_.SetText(cbo_NomAidant, ""); });
    if (ui_.Text(txt_CodeAidant).empty()) {
      rn([&] { ui_.SetText(cbo_NomAidant, ""); });
      rn([&] { ClearAdvanceDisplay(); });
      rn([&] { ui_.SetEnabled(cmd_Ok, false); });
    }
  }
}

}  // namespace varnolde
