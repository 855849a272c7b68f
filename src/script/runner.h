// ScriptRunner: plays one parsed clerk script on a panel held by a drivable toolkit
// (toolkit/drivable_toolkit.h): the headless one, or real Qt widgets through QtClerkToolkit.
//
// Actions go through a ClerkDriver, so the clerk can only do what a person could do, whichever
// the toolkit; expectations read the toolkit (texts, flags, focus, rows, message boxes) and the
// database (records, through the DatabaseLink contract). The runner stops at the first line that
// fails: an expectation that does not hold, an action a person could not do, a question box
// with no answer queued. Answers queued and never taken by a question fail the script at its
// end, naming the line that queued the first of them.
//
// The report goes to out as the script runs: each line with its number, the message boxes
// each action brought up, the panel for `show`, and for a failure the script, the line, what
// was expected and what was found (texts quoted as a script writes them).
//
// The toolkit (with the panel attached to it) and the database link are borrowed and must
// outlive the runner. Run may be called once per runner: it relies on the toolkit's message
// record and answer queue starting from the panel's start-up.
#pragma once

#include <memory>
#include <ostream>

#include "components/database.h"
#include "script/script.h"
#include "toolkit/drivable_toolkit.h"

namespace varnolde::script {

struct ScriptOutcome {
  int passed = 0;  // expectations that held
  int failed = 0;  // lines that failed (0 or 1: the script stops there)
};

class ScriptRunner {
 public:
  ScriptRunner(DrivableToolkit& toolkit, DatabaseLink& database, std::ostream& out);
  ~ScriptRunner();
  ScriptRunner(const ScriptRunner&) = delete;
  ScriptRunner& operator=(const ScriptRunner&) = delete;

  ScriptOutcome Run(const Script& script);

 private:
  struct Rep;
  std::unique_ptr<Rep> rep_;
};

}  // namespace varnolde::script
