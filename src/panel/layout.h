// The panel's controls: one declarative table from which every toolkit builds the panel.
//
// The enumeration gives each control its ControlId (its row in the table); the table holds
// its kind, caption, container, tab index, place and size in twips, font and maximum length.
// No other file repeats a caption or a geometry.
#pragma once

#include "components/toolkit.h"

namespace varnolde::panel {

enum Ctl : ControlId {
  etq_Periodepaie,
  cbo_PeriodePaie,
  etq_entite,
  txt_Entite,
  cbo_Entite,
  etq_aidant,
  txt_CodeAidant,
  cbo_NomAidant,
  cmd_Recherche,
  Fra_Contrats,
  etq_debut,
  etq_Fin,
  etq_employeur,
  etq_Acompte,
  etq_Etat,
  lst_Liste1,
  lst_Acompte,
  lst_Etat,
  Lst_CodeContrat,
  Bdv_Liste,
  txt_liste1,
  txt_Acompte,
  txt_Etat,
  cmd_Supprimer,
  cmd_Ok,
  cmd_Annuler,
  cmd_Valider,
  cmd_Sortir,
  Cmd_AnnulerGene,
  kControlCount
};

// The four parallel lists: one row per contract.
inline constexpr ControlId kRowLists[] = {lst_Liste1, lst_Acompte, lst_Etat, Lst_CodeContrat};
// Rows the lists show at once, as their height in the table holds them.
inline constexpr int kVisibleRows = 12;

// The panel's layout (design size 8820 x 6525 twips).
const PanelLayout& Layout();

// The control named name, or kNoControl.
ControlId FindControl(std::string_view name);

}  // namespace varnolde::panel
