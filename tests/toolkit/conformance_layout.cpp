#include "toolkit/conformance_layout.h"

#include <array>

namespace varnolde::conformance {
namespace {

using K = ControlKind;
constexpr ControlId kPanel = kNoControl;

// name, kind, caption, container, tab index, left, top, width, height, fixed pitch,
// maximum length, visible.
constexpr std::array<ControlSpec, kConformanceControlCount> kControls = {{
    {"lbl_Titre", K::kLabel, "Titre", kPanel, 1, 120, 120, 900, 195, false, 0, true},
    {"txt_Libre", K::kTextBox, "", kPanel, 0, 1100, 120, 2000, 315, false, 0, true},
    {"txt_Court", K::kTextBox, "", kPanel, 2, 3200, 120, 800, 315, true, 4, true},
    {"cbo_Saisie", K::kComboEdit, "", kPanel, 3, 120, 600, 2500, 315, false, 0, true},
    {"cbo_Choix", K::kComboList, "", kPanel, 4, 2700, 600, 2000, 315, false, 0, true},
    {"txt_Cache", K::kTextBox, "", kPanel, 5, 4800, 600, 900, 315, false, 0, false},
    {"Fra_Cadre", K::kFrame, "Cadre", kPanel, 13, 120, 1080, 5700, 2400, false, 0, true},
    {"lst_Gauche", K::kListBox, "", Fra_Cadre, 6, 120, 300, 2400, 1500, true, 0, true},
    {"lst_Droite", K::kListBox, "", Fra_Cadre, 7, 2600, 300, 2400, 1500, true, 0, true},
    {"Bdv_Barre", K::kVScrollBar, "", Fra_Cadre, 12, 5100, 300, 255, 1500, false, 0, true},
    {"txt_Cadre", K::kTextBox, "", Fra_Cadre, 8, 120, 1900, 2400, 315, true, 0, true},
    {"cmd_Cadre", K::kButton, "Dans le cadre", Fra_Cadre, 9, 2600, 1900, 1400, 375, false, 0, true},
    {"cmd_Bouton", K::kButton, "Bouton", kPanel, 10, 4600, 3600, 1200, 375, false, 0, true},
}};

const PanelLayout kLayout{6000, 4200, "Courier New", 8.25, kControls};

}  // namespace

const PanelLayout& ConformanceLayout() { return kLayout; }

}  // namespace varnolde::conformance
