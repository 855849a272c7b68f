// ctr_consultationacompte: the advances panel.
//
// A payroll clerk consults, enters, changes and deletes the salary advances ("acomptes") of
// one caregiver for one pay period, contract by contract. The host creates the panel on a
// Toolkit (the panel builds its controls there and receives their events), hands it the
// database link (theDataBase), an object of the database component's library it keeps but
// never reads (Theclient) and the user's rights (DroitsUtilisateur), then calls init() once.
// From then on the panel is driven by the clerk's events on the toolkit's thread.
//
// The database link, the seven table handles and their record buffers are shared by every
// panel of the process (Modulevar): ending one panel releases them for all.
//
// Failures: init() lets a failure of opening a table or of reading the pay periods propagate
// to the host (tables opened before it stay open). Reactions never throw to the toolkit
// except as ComponentError, which the toolkit's dispatch shows to the clerk.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "components/converter.h"
#include "components/database.h"
#include "components/ref.h"
#include "components/resume_next.h"
#include "components/rights.h"
#include "components/toolkit.h"
#include "panel/layout.h"

namespace varnolde {

class ctr_consultationacompte final : public PanelReactions {
 public:
  // Builds the controls on toolkit (which must outlive the panel). converter and regional
  // are the conversion object and the user's regional settings.
  ctr_consultationacompte(Toolkit& toolkit, std::shared_ptr<const FormatConverter> converter,
                          std::shared_ptr<const RegionalSettings> regional);
  // The host destroying the control: UserControl_Terminate.
  ~ctr_consultationacompte() override;
  ctr_consultationacompte(const ctr_consultationacompte&) = delete;
  ctr_consultationacompte& operator=(const ctr_consultationacompte&) = delete;

  // Properties set by the host before init.
  void theDataBase(std::shared_ptr<DatabaseLink> database);
  void Theclient(std::shared_ptr<void> client);
  void DroitsUtilisateur(std::shared_ptr<UserRights> rights);
  bool W_sortir() const { return w_sortir_; }
  void W_sortir(bool value) { w_sortir_ = value; }

  void init();

  // Public procedures (the panel calls them itself).
  void RequeteCodeAidant();
  void RequeteContratAidant();
  void Remplir_Lists(Ref<DbRecord>& w_requeteaidant);
  void Remplir_ListsPresta(Ref<DbRecord>& w_requeteaidant);
  // acompte is the amount cell as ReadStoredAmount wrote it (empty: no advance); etat the
  // payment date as text.
  void RempDonneesList(int Indice, Ref<DbRecord>& TabAideAsso, Ref<DbRecord>& TabAidant,
                       const std::string& acompte, const std::string& etat,
                       Ref<DbRecord>& w_requetecontrat);
  void RempDonneesListPresta(Ref<DbRecord>& TabAideAsso, Ref<DbRecord>& TabAidant,
                             const std::string& acompte, const std::string& etat,
                             Ref<DbRecord>& w_requetecontratPresta);
  void Griser_Liste();
  void Degriser_Liste();
  void Remplir_ComboPeriodepaie();
  void Remplir_ComboEntite();

  // PanelReactions: the toolkit routes every control event here.
  void OnEvent(ControlId control, EventKind event) override;
  void OnKeyPress(ControlId control, int& key_code) override;

  // Read-only views for tests and the script tool.
  const std::string& w_codeentite() const { return w_codeentite_; }
  const std::string& w_debutperiode() const { return w_debutperiode_; }
  const std::string& w_finperiode() const { return w_finperiode_; }
  std::string RequestText() const;           // whole text of the last request record built
  std::string ContractResultText() const;    // whole text of w_requetecontrat
  std::string PrestaResultText() const;      // whole text of w_requetecontratPresta

 private:
  // Shell.
  void Appliquer_Droits();
  void cmd_Sortir_Click();
  void UserControl_Terminate();
  void BusyOn();
  void BusyOff();
  // The routing of control events to reactions, a table beside the control table
  // (layout.cpp); an event that no route names runs nothing.
  using Reaction = void (ctr_consultationacompte::*)();
  using KeyReaction = void (ctr_consultationacompte::*)(int& key_code);
  struct EventRoute {
    ControlId control;
    EventKind event;
    Reaction reaction;
  };
  struct KeyRoute {
    ControlId control;
    KeyReaction reaction;
  };
  static std::span<const EventRoute> EventRoutes();
  static std::span<const KeyRoute> KeyRoutes();
  // Employer and period selection.
  void cbo_PeriodePaie_Click();
  void cbo_PeriodePaie_Change();
  void cbo_Entite_Click();
  void cbo_Entite_Change();
  void txt_Entite_Change();
  void txt_Entite_KeyPress(int& key_code);
  void txt_Entite_LostFocus();
  void RefuseEntry(ResumeNext& rn, std::string_view message, ControlId box);
  // Caregiver lookup.
  void cmd_Recherche_Click();
  void cbo_NomAidant_Change();
  void cbo_NomAidant_Click();
  void cbo_NomAidant_KeyPress(int& key_code);
  void txt_CodeAidant_Change();
  void txt_CodeAidant_KeyPress(int& key_code);
  void txt_CodeAidant_LostFocus();
  // Contracts.
  void PreviousMonthBounds(YearMonth period);
  std::string CaregiverCriteria(const std::string& end_criterion) const;
  std::string PreviousMonthSentence(const std::string& end_criterion, const std::string& sort) const;
  void SelectContracts(ResumeNext& rn, const std::string& sentence, Ref<DbRecord>& result);
  void ShowCaregiverOfPreviousMonth(ResumeNext& rn);
  void NoContract();
  void DropCaregiver(ResumeNext& rn);
  void NoProviderContract();
  std::string CaregiverDisplayName() const;
  // Lists.
  void ClearAdvanceDisplay();
  void Bdv_Liste_Change();
  void Bdv_Liste_Scroll();
  void FillContractRow(ResumeNext& rn, Ref<DbRecord>& contracts, int row, bool provider_row);
  // Tells the database which advances and employers the first n rows will read, so that a
  // server sends them together rather than one by one.
  void ReadAheadRows(Ref<DbRecord>& contracts, int n);
  // The key of row row's advance for the chosen period.
  std::string AdvanceKey(Ref<DbRecord>& contracts, int row) const;
  // The employer row row shows, as its file and key: the person cared for when the contract's
  // employer is "02" and the row is no provider row, else the entity.
  struct EmployerRef {
    std::string_view file;
    std::string key;
  };
  static EmployerRef RowEmployer(Ref<DbRecord>& contracts, int row, bool provider_row);
  void AppendRow(const Ref<DbRecord>& contracts, int row, const std::string& employer,
                 const std::string& acompte, const std::string& etat);
  std::string DateTextOrRaw(const std::string& stored) const;
  struct AmountCell {
    std::string text;       // as the amount column shows it; empty: no advance
    bool readable = true;   // false: a stored text that is no number, shown as stored
  };
  AmountCell ReadStoredAmount(const std::string& hundredths) const;
  std::string CurrentAdvanceKey() const;  // contract of the current row + period
  // Entry and saving.
  void KeepListsOnRow(ControlId clicked);
  void lst_Acompte_Click();
  void lst_Etat_Click();
  void lst_Liste1_Click();
  void Lst_CodeContrat_Click();
  void OpenRow(bool reformat_amount);
  void lst_Liste1_DblClick();
  void lst_Acompte_DblClick();
  void lst_Etat_DblClick();
  void txt_Acompte_KeyPress(int& key_code);
  void txt_Acompte_Change();
  void txt_Acompte_Click();
  void txt_Acompte_LostFocus();
  void cmd_Ok_Click();
  void cmd_Annuler_Click();
  void cmd_Valider_Click();
  void Cmd_AnnulerGene_Click();
  void ResetPanel();
  void FocusCodeAfterReset();
  void Ecrire_Acomptes();
  // What validation did with one row of the lists.
  enum class RowOutcome { kKept, kWritten, kFailed, kWriteFailure };
  RowOutcome WriteAdvanceRow(int row, const std::string& period);
  enum class StoredState { kAsLoaded, kChanged, kUnreadable };
  // Inside the validation's transaction: takes the caregiver's lock, then compares the stored
  // advances with loaded_advances_.
  StoredState CompareWithLoaded();
  void ShowWriteFailure();
  void cmd_Supprimer_Click();

  // Helpers over the toolkit and the regional settings.
  std::string PeriodKey() const;      // "yyyymm" of the chosen period
  YearMonth ChosenPeriod() const;     // raises kTypeMismatch when the period box is empty
  bool MayModify() const;             // access level 2

  Toolkit& ui_;
  std::shared_ptr<const FormatConverter> converter_;
  std::shared_ptr<const RegionalSettings> regional_;

  std::shared_ptr<UserRights> rights_object_;
  Ref<FunctionRights> consultation_rights_;
  bool w_sortir_ = false;
  bool terminated_ = false;

  Ref<DbRecord> w_requete;
  Ref<DbRecord> w_requeteentite;
  Ref<DbRecord> w_requetecontrat;
  Ref<DbRecord> w_requetecontratPresta;
  Ref<DbRecord> w_requeteaidant;
  std::string w_codeentite_;
  std::string w_debutperiode_;
  std::string w_finperiode_;
  std::string last_request_text_;
  // Advance keys whose stored amount is no number: validation leaves them as stored unless
  // the clerk confirms a new amount or deletes the advance.
  std::set<std::string> advances_as_stored_;
  // The advances of the caregiver's rows as they were stored when the lists were filled (no
  // value: none was stored), by advance key; validation writes nothing when another clerk
  // changed them since.
  std::map<std::string, std::optional<std::string>> loaded_advances_;
  // The period box's items and the periods they stand for, as Remplir_ComboPeriodepaie
  // added them.
  std::vector<std::pair<std::string, YearMonth>> period_items_;
  // Row k of the name box's list -> hit (row of w_requeteaidant, from 1).
  std::vector<int> name_rows_to_hits_;
};

}  // namespace varnolde
