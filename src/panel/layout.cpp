#include "panel/layout.h"

#include <array>

#include "panel/ctr_consultationacompte.h"

namespace varnolde::panel {
namespace {

using K = ControlKind;
constexpr ControlId kPanel = kNoControl;

// name, kind, caption, container, tab index, left, top, width, height, fixed pitch,
// maximum length, visible. Lst_CodeContrat only holds the contract key of each row: the clerk
// never needs to see it, so it is hidden.
constexpr std::array<ControlSpec, kControlCount> kControls = {{
    {"etq_Periodepaie", K::kLabel, "Période de paie", kPanel, 0, 120, 120, 1110, 195, false, 0, true},
    {"cbo_PeriodePaie", K::kComboList, "", kPanel, 1, 1560, 120, 2175, 315, false, 0, true},
    {"etq_entite", K::kLabel, "Entité juridique", kPanel, 18, 120, 600, 1035, 195, false, 0, true},
    {"txt_Entite", K::kTextBox, "", kPanel, 2, 1560, 600, 495, 315, false, 0, true},
    {"cbo_Entite", K::kComboEdit, "", kPanel, 3, 2280, 600, 6375, 315, false, 0, true},
    {"etq_aidant", K::kLabel, "Aidant", kPanel, 19, 120, 1080, 450, 195, false, 0, true},
    {"txt_CodeAidant", K::kTextBox, "", kPanel, 4, 1560, 1080, 615, 315, false, 0, true},
    {"cbo_NomAidant", K::kComboEdit, "", kPanel, 5, 2280, 1080, 5055, 315, false, 0, true},
    {"cmd_Recherche", K::kButton, "Recherche", kPanel, 6, 7440, 1080, 1215, 375, false, 0, true},
    {"Fra_Contrats", K::kFrame, "Contrats", kPanel, 20, 120, 1560, 8535, 4335, false, 0, true},
    {"etq_debut", K::kLabel, "Début", Fra_Contrats, 21, 240, 480, 435, 195, false, 0, true},
    {"etq_Fin", K::kLabel, "Fin", Fra_Contrats, 22, 1800, 480, 210, 195, false, 0, true},
    {"etq_employeur", K::kLabel, "Employeur", Fra_Contrats, 23, 2760, 480, 735, 195, false, 0, true},
    {"etq_Acompte", K::kLabel, "Acompte", Fra_Contrats, 24, 6120, 480, 630, 195, false, 0, true},
    {"etq_Etat", K::kLabel, "Payé le", Fra_Contrats, 25, 7320, 480, 525, 195, false, 0, true},
    {"lst_Liste1", K::kListBox, "", Fra_Contrats, 7, 120, 720, 6375, 2580, true, 0, true},
    {"lst_Acompte", K::kListBox, "", Fra_Contrats, 8, 5880, 720, 1575, 2580, true, 0, true},
    {"lst_Etat", K::kListBox, "", Fra_Contrats, 9, 6960, 720, 1455, 2580, true, 0, true},
    {"Lst_CodeContrat", K::kListBox, "", Fra_Contrats, 28, 600, 720, 975, 1815, false, 0, false},
    {"Bdv_Liste", K::kVScrollBar, "", Fra_Contrats, 26, 8160, 720, 255, 2570, false, 0, true},
    {"txt_liste1", K::kTextBox, "", Fra_Contrats, 10, 120, 3360, 5775, 375, true, 0, true},
    {"txt_Acompte", K::kTextBox, "", Fra_Contrats, 11, 5880, 3360, 1095, 375, true, 8, true},
    {"txt_Etat", K::kTextBox, "", Fra_Contrats, 12, 6960, 3360, 1455, 375, true, 0, true},
    {"cmd_Supprimer", K::kButton, "Supprimer", Fra_Contrats, 13, 120, 3840, 885, 375, false, 0, true},
    {"cmd_Ok", K::kButton, "Ok", Fra_Contrats, 14, 6480, 3840, 885, 375, false, 0, true},
    {"cmd_Annuler", K::kButton, "Annuler", Fra_Contrats, 15, 7560, 3840, 885, 375, false, 0, true},
    {"cmd_Valider", K::kButton, "Ok", kPanel, 16, 5520, 6000, 885, 375, false, 0, true},
    {"cmd_Sortir", K::kButton, "Sortir", kPanel, 17, 7680, 6000, 885, 375, false, 0, true},
    {"Cmd_AnnulerGene", K::kButton, "Annuler", kPanel, 27, 6600, 6000, 885, 375, false, 0, true},
}};

const PanelLayout kLayout{8820, 6525, "Courier New", 8.25, kControls};

}  // namespace

const PanelLayout& Layout() { return kLayout; }

ControlId FindControl(std::string_view name) {
  for (ControlId id = 0; id < kControlCount; ++id) {
    if (kControls[id].name == name) return id;
  }
  return kNoControl;
}

}  // namespace varnolde::panel

namespace varnolde {

using namespace panel;

// The reaction each control event runs.
std::span<const ctr_consultationacompte::EventRoute> ctr_consultationacompte::EventRoutes() {
  using P = ctr_consultationacompte;
  using E = EventKind;
  static constexpr EventRoute kRoutes[] = {
      {cbo_PeriodePaie, E::kClick, &P::cbo_PeriodePaie_Click},
      {cbo_PeriodePaie, E::kChange, &P::cbo_PeriodePaie_Change},
      {txt_Entite, E::kChange, &P::txt_Entite_Change},
      {txt_Entite, E::kLostFocus, &P::txt_Entite_LostFocus},
      {cbo_Entite, E::kChange, &P::cbo_Entite_Change},
      {cbo_Entite, E::kClick, &P::cbo_Entite_Click},
      {txt_CodeAidant, E::kChange, &P::txt_CodeAidant_Change},
      {txt_CodeAidant, E::kLostFocus, &P::txt_CodeAidant_LostFocus},
      {cbo_NomAidant, E::kChange, &P::cbo_NomAidant_Change},
      {cbo_NomAidant, E::kClick, &P::cbo_NomAidant_Click},
      {cmd_Recherche, E::kClick, &P::cmd_Recherche_Click},
      {lst_Liste1, E::kClick, &P::lst_Liste1_Click},
      {lst_Liste1, E::kDblClick, &P::lst_Liste1_DblClick},
      {lst_Acompte, E::kClick, &P::lst_Acompte_Click},
      {lst_Acompte, E::kDblClick, &P::lst_Acompte_DblClick},
      {lst_Etat, E::kClick, &P::lst_Etat_Click},
      {lst_Etat, E::kDblClick, &P::lst_Etat_DblClick},
      {Lst_CodeContrat, E::kClick, &P::Lst_CodeContrat_Click},
      {Bdv_Liste, E::kChange, &P::Bdv_Liste_Change},
      {Bdv_Liste, E::kScroll, &P::Bdv_Liste_Scroll},
      {txt_Acompte, E::kChange, &P::txt_Acompte_Change},
      {txt_Acompte, E::kClick, &P::txt_Acompte_Click},
      {txt_Acompte, E::kLostFocus, &P::txt_Acompte_LostFocus},
      {cmd_Ok, E::kClick, &P::cmd_Ok_Click},
      {cmd_Annuler, E::kClick, &P::cmd_Annuler_Click},
      {cmd_Valider, E::kClick, &P::cmd_Valider_Click},
      {Cmd_AnnulerGene, E::kClick, &P::Cmd_AnnulerGene_Click},
      {cmd_Supprimer, E::kClick, &P::cmd_Supprimer_Click},
      {cmd_Sortir, E::kClick, &P::cmd_Sortir_Click},
  };
  return kRoutes;
}

// The reaction each typed character goes to first.
std::span<const ctr_consultationacompte::KeyRoute> ctr_consultationacompte::KeyRoutes() {
  using P = ctr_consultationacompte;
  static constexpr KeyRoute kRoutes[] = {
      {txt_Entite, &P::txt_Entite_KeyPress},
      {txt_CodeAidant, &P::txt_CodeAidant_KeyPress},
      {cbo_NomAidant, &P::cbo_NomAidant_KeyPress},
      {txt_Acompte, &P::txt_Acompte_KeyPress},
  };
  return kRoutes;
}

}  // namespace varnolde
