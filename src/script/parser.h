// Reading a clerk script: text -> Script (script.h).
//
// ParseScript checks the whole text before anything runs: every line must be blank, a comment
// ("#" as its first non-blank character) or one step whose verb, control names, keywords,
// numbers and quoted texts are all well formed, with controls of a kind that takes the action
// (a pick needs a combo box). The first line that is not raises ScriptError naming the script
// and the line. Texts are UTF-8 in double quotes, with the escapes \" \\ \r \n \t \v (\v
// stands for the value mark that separates the values of a multivalued attribute).
//
// LoadScript reads a file and parses it; an unreadable file raises ScriptError without a line.
#pragma once

#include <string>
#include <string_view>

#include "script/script.h"

namespace varnolde::script {

Script ParseScript(const std::string& name, std::string_view text);

Script LoadScript(const std::string& path);

}  // namespace varnolde::script
