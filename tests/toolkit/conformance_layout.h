// The small panel on which the conformance suite runs: one control of every kind the toolkit
// contract knows, a text box with a maximum length, a text box hidden at design time, and a
// frame holding two list boxes, a text box, a button and a scroll bar.
#pragma once

#include "components/toolkit.h"

namespace varnolde::conformance {

enum ConformanceControl : ControlId {
  lbl_Titre,   // label, tab index 1: Tab from txt_Libre passes over it
  txt_Libre,   // text box, tab index 0
  txt_Court,   // text box of at most 4 characters, tab index 2
  cbo_Saisie,  // editable combo box
  cbo_Choix,   // drop-down list
  txt_Cache,   // text box hidden at design time
  Fra_Cadre,   // frame holding the five controls below
  lst_Gauche,
  lst_Droite,
  Bdv_Barre,
  txt_Cadre,
  cmd_Cadre,
  cmd_Bouton,  // button outside the frame, last tab stop before the frame's scroll bar
  kConformanceControlCount
};

const PanelLayout& ConformanceLayout();

}  // namespace varnolde::conformance
