// The control's shell: properties, start-up, rights, shut-down and the routing of events.
#include <cstdio>

#include "components/tables.h"
#include "panel/ctr_consultationacompte.h"
#include "shared/moduleproc.h"
#include "shared/modulevar.h"

namespace varnolde {

using namespace panel;
using ModuleProc::CloseTables;
using ModuleProc::OpenTables;

ctr_consultationacompte::ctr_consultationacompte(
    Toolkit& toolkit, std::shared_ptr<const FormatConverter> converter,
    std::shared_ptr<const RegionalSettings> regional)
    : ui_(toolkit), converter_(std::move(converter)), regional_(std::move(regional)) {
  ui_.Attach(Layout(), *this);
}

ctr_consultationacompte::~ctr_consultationacompte() { UserControl_Terminate(); }

void ctr_consultationacompte::theDataBase(std::shared_ptr<DatabaseLink> database) {
  Modulevar::theDataBase = std::move(database);
}

void ctr_consultationacompte::Theclient(std::shared_ptr<void> client) {
  Modulevar::Theclient = std::move(client);
}

void ctr_consultationacompte::DroitsUtilisateur(std::shared_ptr<UserRights> rights) {
  rights_object_ = std::move(rights);
  consultation_rights_ = Ref<UserRights>(rights_object_)->GetFunctionRights(kConsultationFunction);
}

void ctr_consultationacompte::init() {
  ui_.SetBusyPointer(true);
  ui_.SetPanelEnabled(false);
  for (ControlId control :
       {txt_CodeAidant, cbo_NomAidant, cmd_Recherche, Fra_Contrats, etq_debut, etq_Fin,
        etq_employeur, etq_Etat, etq_Acompte, cmd_Valider, Cmd_AnnulerGene, cmd_Supprimer,
        cmd_Ok, cmd_Annuler, txt_liste1, txt_Acompte, txt_Etat}) {
    ui_.SetEnabled(control, false);
  }
  w_sortir_ = false;
  w_requete = Modulevar::theDataBase->NewRecord();
  w_requeteentite = Modulevar::theDataBase->NewRecord();
  w_requetecontrat = Modulevar::theDataBase->NewRecord();
  w_requetecontratPresta = Modulevar::theDataBase->NewRecord();
  w_requeteaidant = Modulevar::theDataBase->NewRecord();
  OpenTables();
  Remplir_ComboPeriodepaie();
  Remplir_ComboEntite();
  // The lists are empty: the scroll bar starts disabled, as after any emptying of the lists.
  ModuleProc::PositionList(ui_, Bdv_Liste, lst_Liste1, 12);
  ui_.DoEvents();
  ui_.SetBusyPointer(false);
  ui_.SetPanelEnabled(true);
  if (ui_.Text(txt_Entite).empty() && ui_.Enabled(txt_Entite)) {
    ui_.SetFocus(txt_Entite);
  } else {
    ui_.SetFocus(txt_CodeAidant);
  }
  Appliquer_Droits();
}

void ctr_consultationacompte::Appliquer_Droits() {
  if (consultation_rights_->AccessLevel() == 2) return;
  ui_.SetVisible(cmd_Valider, false);
  ui_.SetVisible(cmd_Ok, false);
  ui_.SetVisible(cmd_Supprimer, false);
}

bool ctr_consultationacompte::MayModify() const {
  return consultation_rights_.IsSet() && consultation_rights_->AccessLevel() == 2;
}

void ctr_consultationacompte::cmd_Sortir_Click() {
  CloseTables();
  w_sortir_ = true;
  ui_.CloseHost();
}

void ctr_consultationacompte::UserControl_Terminate() {
  if (terminated_) return;
  terminated_ = true;
  consultation_rights_.Release();
  rights_object_.reset();
  CloseTables();
}

void ctr_consultationacompte::BusyOn() {
  ui_.SetBusyPointer(true);
  ui_.SetPanelEnabled(false);
}

void ctr_consultationacompte::BusyOff() {
  ui_.DoEvents();
  ui_.SetBusyPointer(false);
  ui_.SetPanelEnabled(true);
}

// The chosen item is read back by the text the box was filled with, so that it is the same
// period in every locale and costs a comparison, not a date parse.
YearMonth ctr_consultationacompte::ChosenPeriod() const {
  const std::string text = ui_.Text(cbo_PeriodePaie);
  for (const auto& [item, period] : period_items_) {
    if (item == text) return period;
  }
  return regional_->ParseMonthYear(text);
}

std::string ctr_consultationacompte::PeriodKey() const {
  const YearMonth period = ChosenPeriod();
  char key[16];
  std::snprintf(key, sizeof key, "%04d%02d", period.year, period.month);
  return key;
}

std::string ctr_consultationacompte::RequestText() const { return last_request_text_; }

std::string ctr_consultationacompte::ContractResultText() const {
  return w_requetecontrat.IsSet() ? w_requetecontrat->Get() : std::string();
}

std::string ctr_consultationacompte::PrestaResultText() const {
  return w_requetecontratPresta.IsSet() ? w_requetecontratPresta->Get() : std::string();
}

void ctr_consultationacompte::OnKeyPress(ControlId control, int& key_code) {
  for (const KeyRoute& route : KeyRoutes()) {
    if (route.control == control) return (this->*route.reaction)(key_code);
  }
}

void ctr_consultationacompte::OnEvent(ControlId control, EventKind event) {
  for (const EventRoute& route : EventRoutes()) {
    if (route.control == control && route.event == event) return (this->*route.reaction)();
  }
}

}  // namespace varnolde
