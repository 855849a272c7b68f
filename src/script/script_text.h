// Texts as a clerk script writes them: in double quotes, with the escapes \" \\ \r \n \t \v.
//
// Quoted gives the form a script would use, so that a report of expected and actual texts can
// be copied into a script. Bytes a script cannot write (the attribute and subvalue marks,
// other control characters) are shown as \xHH.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace varnolde::script {

std::string Quoted(std::string_view text);

// Each text quoted, separated by one blank; "(none)" for an empty list.
std::string QuotedList(const std::vector<std::string>& texts);

}  // namespace varnolde::script
