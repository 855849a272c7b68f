// RenderPanel: the panel held by a drivable toolkit (headless or Qt) as text a person can read.
//
// The controls appear in rows by their place in the layout (top to bottom, then left to
// right), each frame as a block holding its own rows. A label shows its caption, a text box
// name[text], a combo box name[text] and its items, a button name<caption>, a scroll bar
// name{valeur v / max m}. Marks follow a control: [masqué] (hidden), [désactivé] (its own flag
// off), [focus], [inutilisable] (a scroll bar that is not usable). List boxes standing in the
// same row are drawn side by side as the columns of one table, each row numbered from 0 and the
// current row of each list marked with ">". The first line tells whether the panel is disabled,
// the pointer busy and the host window closed.
//
// Reads only; requires an attached toolkit (std::logic_error otherwise).
#pragma once

#include <string>

#include "toolkit/drivable_toolkit.h"

namespace varnolde {

std::string RenderPanel(const DrivableToolkit& toolkit);

}  // namespace varnolde
