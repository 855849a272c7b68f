// The varnolde-script command line, as a function the executable and the tests call.
//
//   varnolde-script --db PATH --user LOGIN [--locale LOCALE] [--toolkit headless|qt]
//                   [--picture FILE.png] SCRIPT...
//
// On a PostgreSQL server's database the user is the role the connection logs in as: --user may
// be left out, and a --user naming another user is a start-up error.
// Every script is read and checked first; then each runs on a panel of its own, opened exactly
// as a host opens it (host/panel_session.h), one after the other on the same database. The
// panel runs on the headless toolkit, or with --toolkit qt on the real Qt widgets in a window
// of their own (QtClerkToolkit; Qt's offscreen platform when there is no display), driven
// through the same clerk driver. The run stops at the first line that fails. The report goes to
// out, its last line "N passed, M failed"; a script error or a start-up error goes to err as
// well. With --picture (Qt only), the window is saved as a PNG picture where the last script
// that ran stopped.
//
// Exit status: kExitPassed when every expectation held; kExitFailed when one did not, an
// action was impossible, a question had no answer or an answer was left over; kExitScriptError
// for a script error (unknown verb or control, bad quoting, unreadable file), a start-up error
// (database, login, init), a bad command line or a picture that could not be written.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace varnolde::script {

inline constexpr int kExitPassed = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitScriptError = 2;

// arguments: the command line without the program name.
int RunTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace varnolde::script
