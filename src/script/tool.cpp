#include "script/tool.h"

#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "host/panel_session.h"
#include "mvdb/server/server_storage.h"
#include "script/parser.h"
#include "script/runner.h"
#include "toolkit/headless/headless_toolkit.h"
#ifdef VARNOLDE_SCRIPT_QT
#include "toolkit/qt/qt_clerk.h"
#endif

namespace varnolde::script {
namespace {

#ifdef VARNOLDE_SCRIPT_QT
constexpr bool kQtBuilt = true;
#else
constexpr bool kQtBuilt = false;
#endif

constexpr std::string_view kUsage =
    "usage: varnolde-script --db PATH --user LOGIN [--locale LOCALE] [--toolkit headless|qt]\n"
    "                       [--picture FILE.png] SCRIPT...\n"
    "  Runs clerk scripts on the advances panel, each on a panel of its own, and stops at the\n"
    "  first line that fails. The locale comes from the environment unless --locale is given.\n"
    "  On a PostgreSQL server's database the user is the role the connection logs in as:\n"
    "  --user may be left out and, when given, must name that role.\n"
    "  --toolkit qt drives the real Qt widgets (offscreen when there is no display) instead\n"
    "  of the headless toolkit; --picture FILE.png then saves the panel's window as the last\n"
    "  script left it.\n"
    "  Exit 0: every expectation held; 1: a line failed; 2: script or start-up error.\n"
    "  The format of the scripts: docs/clerk-scripts.md. Messages are in English; the panel's\n"
    "  texts and the causes the database gives are French, quoted or on lines of their own.\n";

struct CommandLine {
  std::string database;
  host::SessionSettings settings;
  std::string toolkit = "headless";
  std::string picture;  // empty: none
  std::vector<std::string> scripts;
  bool help = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CommandLine line;
  bool have_database = false;
  bool have_user = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") {
      line.help = true;
      continue;
    }
    if (argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
      line.scripts.push_back(argument);
      continue;
    }
    // --name VALUE or --name=VALUE
    std::string name = argument;
    std::optional<std::string> value;
    if (const auto equals = argument.find('='); equals != std::string::npos) {
      name = argument.substr(0, equals);
      value = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      value = arguments[++i];
    }
    if (name != "--db" && name != "--user" && name != "--locale" && name != "--toolkit" &&
        name != "--picture") {
      throw UsageError("unknown option " + name);
    }
    if (!value) throw UsageError(name + " needs a value");
    if (name == "--db") {
      line.database = *value;
      have_database = true;
    } else if (name == "--user") {
      line.settings.login = *value;
      have_user = true;
    } else if (name == "--toolkit") {
      if (*value != "headless" && *value != "qt") {
        throw UsageError("unknown toolkit '" + *value + "' (headless or qt)");
      }
      if (*value == "qt" && !kQtBuilt) throw UsageError("this build has no Qt toolkit");
      line.toolkit = *value;
    } else if (name == "--picture") {
      line.picture = *value;
    } else {
      line.settings.locale = *value;
    }
  }
  if (line.help) return line;
  if (!have_database || line.database.empty()) throw UsageError("--db PATH is required");
  if (!have_user && !mvdb::IsServerName(line.database)) {
    throw UsageError("--user LOGIN is required on a database file");
  }
  if (line.scripts.empty()) throw UsageError("no script given");
  if (!line.picture.empty() && line.toolkit != "qt") {
    throw UsageError("--picture needs --toolkit qt");
  }
  return line;
}

// A fresh toolkit of the kind the command line asked for: the panel is built on it, the runner
// drives it.
struct ScriptToolkit {
  std::unique_ptr<Toolkit> owner;
  DrivableToolkit* drivable = nullptr;
  std::function<void(const std::string&)> save_picture;  // a toolkit with a window only
};

ScriptToolkit MakeToolkit(const std::string& name) {
#ifdef VARNOLDE_SCRIPT_QT
  if (name == "qt") {
    auto toolkit = std::make_unique<QtClerkToolkit>();
    QtClerkToolkit* window = toolkit.get();
    return {std::move(toolkit), window,
            [window](const std::string& path) { window->SavePicture(path); }};
  }
#endif
  auto toolkit = std::make_unique<HeadlessToolkit>();
  DrivableToolkit* drivable = toolkit.get();
  return {std::move(toolkit), drivable, {}};
}

void Summary(std::ostream& out, int passed, int failed) {
  out << passed << " passed, " << failed << " failed\n";
}

}  // namespace

int RunTool(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
  CommandLine command;
  try {
    command = ParseCommandLine(arguments);
  } catch (const UsageError& error) {
    err << "varnolde-script: " << error.what() << '\n' << kUsage;
    return kExitScriptError;
  }
  if (command.help) {
    out << kUsage;
    return kExitPassed;
  }

  // Every script is checked before any runs: a typo on the last line must not leave the
  // database half-changed by the first scripts.
  std::vector<Script> scripts;
  try {
    for (const std::string& path : command.scripts) scripts.push_back(LoadScript(path));
  } catch (const ScriptError& error) {
    err << "varnolde-script: " << error.what() << '\n';
    Summary(out, 0, 0);
    return kExitScriptError;
  }

#ifdef VARNOLDE_SCRIPT_QT
  std::optional<QtApplication> application;
  if (command.toolkit == "qt") application.emplace("varnolde-script");
#endif
  int passed = 0;
  int failed = 0;
  for (std::size_t i = 0; i < scripts.size(); ++i) {
    const Script& script = scripts[i];
    ScriptToolkit toolkit = MakeToolkit(command.toolkit);
    std::unique_ptr<host::PanelSession> session;
    try {
      session = host::PanelSession::Open(*toolkit.owner, command.database, command.settings);
    } catch (const ComponentError& error) {
      // The cause comes from the database or the rights, in French: on a line of its own.
      err << "varnolde-script: " << script.name << ": the panel could not start (error "
          << FormatErrorNumber(error.number()) << "):\n  " << error.what() << '\n';
      Summary(out, passed, failed);
      return kExitScriptError;
    }
    out << "== " << script.name << " (user " << session->Settings().login << ", locale "
        << session->Regional().LocaleName() << ", database " << command.database << ")\n";
    ScriptOutcome outcome;
    try {
      outcome = ScriptRunner(*toolkit.drivable, session->Database(), out).Run(script);
    } catch (const std::exception& error) {
      // Not a clerk's failure: a fault of the program itself. Reported, never a crash.
      err << "varnolde-script: " << script.name << ": unexpected failure:\n  " << error.what()
          << '\n';
      outcome.failed = 1;
    }
    passed += outcome.passed;
    failed += outcome.failed;
    out << "-- " << script.name << ": " << outcome.passed << " passed, " << outcome.failed
        << " failed\n";
    if (!command.picture.empty() && (outcome.failed > 0 || i + 1 == scripts.size())) {
      try {
        toolkit.save_picture(command.picture);
      } catch (const std::exception& error) {
        err << "varnolde-script: " << error.what() << '\n';
        Summary(out, passed, failed);
        return kExitScriptError;
      }
    }
    if (outcome.failed > 0) {
      for (std::size_t rest = i + 1; rest < scripts.size(); ++rest) {
        out << "-- " << scripts[rest].name << ": not run (an earlier line failed)\n";
      }
      break;
    }
  }
  Summary(out, passed, failed);
  return failed > 0 ? kExitFailed : kExitPassed;
}

}  // namespace varnolde::script
