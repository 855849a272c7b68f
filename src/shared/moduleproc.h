// ModuleProc: procedures shared by the panel.
//
// OpenTables opens the seven tables through the shared database link (a failure propagates,
// the tables opened before it staying open); CloseTables releases every shared object and may
// run twice. PadField brings a field to its column width; PositionList fits the lists' common
// scroll bar to the length of the main list. Control failures propagate to the caller.
#pragma once

#include <string>
#include <string_view>

#include "components/toolkit.h"

namespace varnolde::ModuleProc {

void OpenTables();
void CloseTables();

// text cut to width characters, or padded with the first character of fill: after the text
// when leftAlign is exactly -1, before it otherwise. Characters are Unicode code points.
std::string PadField(std::string_view text, int width, std::string_view fill, int leftAlign);

// Maximum of bar = rows of list - 1; bar usable when list has more than visibleRows rows;
// value back to 0 (which raises the bar's change reaction when the value changes).
void PositionList(Toolkit& toolkit, ControlId bar, ControlId list, int visibleRows);

}  // namespace varnolde::ModuleProc
