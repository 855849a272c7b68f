// A clerk script, parsed: what a clerk does on the advances panel and what the screen and the
// database must show, one step per line (docs/clerk-scripts.md gives the format).
//
// A Script is a plain value made by ParseScript (parser.h) and read by ScriptRunner
// (runner.h). Every step keeps its line number and its source text, so that a report can name
// the line. Controls are the panel's own (panel/layout.h); a step refers to one by its
// ControlId. ScriptError is raised for a script that cannot be run at all (an unknown verb or
// control, bad quoting, a missing argument): its text names the script and the line.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "components/toolkit.h"
#include "toolkit/headless/clerk_types.h"

namespace varnolde::script {

enum class Verb {
  // What the clerk does.
  kType,      // type CONTROL "TEXT"
  kKey,       // key CONTROL Enter|Backspace|Tab|Escape
  kClick,     // click CONTROL
  kPick,      // pick CONTROL INDEX
  kSelect,    // select CONTROL ROW
  kDblClick,  // dblclick CONTROL ROW
  kScroll,    // scroll CONTROL VALUE
  kFocus,     // focus CONTROL
  kAnswer,    // answer Yes|No|OK
  kShow,      // show
  // What must hold.
  kExpectMessage,    // expect message "TEXT"
  kExpectNoMessage,  // expect no-message
  kExpectText,       // expect text CONTROL "TEXT"
  kExpectEnabled,    // expect enabled CONTROL yes|no
  kExpectVisible,    // expect visible CONTROL yes|no
  kExpectFocus,      // expect focus CONTROL
  kExpectRows,       // expect rows CONTROL "ROW" ...
  kExpectCurrent,    // expect current CONTROL INDEX
  kExpectRecord,     // expect record FILE "KEY" "ATTR1" ...
  kExpectNoRecord,   // expect no-record FILE "KEY"
};

// Whether a verb is an expectation (counted as passed or failed) rather than an action.
bool IsExpectation(Verb verb);

struct Step {
  int line = 0;        // from 1
  std::string source;  // the line as written, without surrounding blanks
  Verb verb = Verb::kShow;
  ControlId control = kNoControl;
  std::vector<ControlId> controls;  // expect enabled, expect visible: every control named
  std::string file;                // expect record, expect no-record
  std::vector<std::string> texts;  // TEXT; the rows; KEY then the attributes
  int number = 0;                  // INDEX, ROW, VALUE; COUNT of key
  ClerkKey key = ClerkKey::kEnter;
  int answer = kAnswerOk;  // kAnswerYes, kAnswerNo or kAnswerOk
  bool flag = false;       // yes / no
};

struct Script {
  std::string name;  // as given on the command line
  std::vector<Step> steps;
};

// A script that cannot run. what() is "NAME:LINE: message" (or "NAME: message" when no line
// is concerned).
class ScriptError : public std::runtime_error {
 public:
  ScriptError(const std::string& script, int line, const std::string& message);
  const std::string& script() const noexcept { return script_; }
  int line() const noexcept { return line_; }  // 0 when no line is concerned
  const std::string& message() const noexcept { return message_; }

 private:
  std::string script_;
  int line_;
  std::string message_;
};

}  // namespace varnolde::script
