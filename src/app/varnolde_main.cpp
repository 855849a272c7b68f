// varnolde: the advances panel in a window of its own.
//
//   varnolde [--db PATH] [--user LOGIN] [--locale LOCALE]     (--name=VALUE works too)
//
// The command line is read first, so that --help and a mistake need no display.
// Opens the database (without --db, the demo database, created from the installed demo data
// the first time), reads the user's rights (without --user, the login of the operating-system
// user when the database knows it, else "gestionnaire" on the demo database only; on a
// server's database, the role the connection logged in as), builds the
// panel on the Qt toolkit, hands it its three objects and calls init. The program ends when
// the window closes: through "Sortir", or through the window's own close button while
// "Sortir" could be pressed. A start-up failure is shown in a message box and on standard
// error, and the program exits with status 1; a command-line error goes to standard error
// only, with status 2. docs/window.md describes it for users.
#include <pwd.h>
#include <unistd.h>

#include <QApplication>
#include <QCloseEvent>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "host/panel_session.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "rights/user_rights.h"
#include "toolkit/qt/qt_toolkit.h"

namespace {

namespace fs = std::filesystem;
using varnolde::ComponentError;

constexpr const char* kWindowTitle = "Consultation des acomptes";
constexpr const char* kDemoLogin = "gestionnaire";
constexpr int kExitStartup = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "Usage : varnolde [--db CHEMIN] [--user IDENTIFIANT] [--locale LOCALE]\n"
    "  --db CHEMIN           la base de données (sans --db : la base de démonstration,\n"
    "                        créée au premier lancement)\n"
    "  --user IDENTIFIANT    l'utilisateur (sans --user : celui du système s'il est connu,\n"
    "                        sinon « gestionnaire » sur la base de démonstration ; sur un\n"
    "                        serveur, le rôle de la connexion, le seul permis)\n"
    "  --locale LOCALE       les paramètres régionaux (fr_FR, en_US...; sans --locale :\n"
    "                        ceux de l'environnement)\n";

// A failure before the panel is open, with the exit status it leads to.
struct StartupError {
  std::string text;
  int status = kExitStartup;
};

struct Options {
  std::optional<std::string> db;
  std::optional<std::string> user;
  std::string locale;  // empty: the environment's
  bool help = false;
};

// Read before anything else (no display, no database is needed for it): --name VALUE or
// --name=VALUE, --help. A mistake is a usage error.
Options ParseArguments(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      continue;
    }
    std::optional<std::string> value;
    if (const auto equals = name.find('='); equals != std::string::npos && name.starts_with("--")) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    std::optional<std::string>* target = nullptr;
    if (name == "--db") {
      target = &options.db;
    } else if (name == "--user") {
      target = &options.user;
    } else if (name != "--locale") {
      throw StartupError{"argument inconnu : " + name + "\n" + kUsage, kExitUsage};
    }
    if (!value && i + 1 < argc) value = argv[++i];
    if (!value || value->empty()) {
      throw StartupError{name + " attend une valeur\n" + kUsage, kExitUsage};
    }
    if (target != nullptr) {
      *target = *value;
    } else {
      options.locale = *value;
    }
  }
  return options;
}

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

std::string Describe(const ComponentError& error) {
  return "Erreur " + varnolde::FormatErrorNumber(error.number()) + " : " + error.what();
}

// $XDG_DATA_HOME/varnolde/demo.db, by default ~/.local/share/varnolde/demo.db.
fs::path DemoDatabasePath() {
  fs::path data_home = EnvironmentValue("XDG_DATA_HOME");
  if (data_home.empty() || data_home.is_relative()) {
    const std::string home = EnvironmentValue("HOME");
    if (home.empty()) throw StartupError{"ni XDG_DATA_HOME ni HOME ne sont définis"};
    data_home = fs::path(home) / ".local" / "share";
  }
  return data_home / "varnolde" / "demo.db";
}

// The demo data: $VARNOLDE_DEMO_DATA when set; else share/varnolde/demo.jsonl next to the
// installed program; else examples/demo.jsonl of the source tree the program was built in.
fs::path DemoDataPath() {
  std::vector<fs::path> candidates;
  if (const std::string chosen = EnvironmentValue("VARNOLDE_DEMO_DATA"); !chosen.empty()) {
    candidates.emplace_back(chosen);
  } else {
    const fs::path program_dir =
        fs::path(QCoreApplication::applicationDirPath().toStdString());
    candidates.push_back(program_dir.parent_path() / "share" / "varnolde" / "demo.jsonl");
    for (fs::path dir = program_dir; !dir.empty() && dir != dir.root_path();
         dir = dir.parent_path()) {
      candidates.push_back(dir / "examples" / "demo.jsonl");
    }
  }
  for (const fs::path& candidate : candidates) {
    std::error_code ignored;
    if (fs::is_regular_file(candidate, ignored)) return candidate;
  }
  std::string searched;
  for (const fs::path& candidate : candidates) searched += "\n  " + candidate.string();
  throw StartupError{"données de démonstration introuvables ; cherchées dans :" + searched};
}

// Creates the demo database from the demo data when it does not exist yet, whole or not at
// all, after removing what a killed session or an interrupted creation left under its name
// (mvdb::CreateDatabase).
std::string EnsureDemoDatabase() {
  const fs::path database = DemoDatabasePath();
  std::error_code error;
  if (fs::exists(database, error)) return database.string();
  const fs::path data = DemoDataPath();
  fs::create_directories(database.parent_path(), error);
  if (error) {
    throw StartupError{"impossible de créer le dossier " + database.parent_path().string() +
                       " : " + varnolde::SystemCause(error.value())};
  }
  std::ifstream lines(data);
  if (!lines) {
    throw StartupError{"lecture de " + data.string() + " impossible : " +
                       varnolde::SystemCause(errno)};
  }
  try {
    varnolde::mvdb::LoadJsonLines(database.string(), lines);
  } catch (const ComponentError& failure) {
    throw StartupError{data.string() + " : " + Describe(failure)};
  }
  std::cerr << "varnolde : base de démonstration créée : " << database.string() << "\n";
  return database.string();
}

std::string SystemLogin() {
  if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) {
    return entry->pw_name;
  }
  const std::string user = EnvironmentValue("USER");
  return user.empty() ? EnvironmentValue("LOGNAME") : user;
}

// --user, else the operating-system user; on the demo database, "gestionnaire" when the
// demo does not know the operating-system user. On a server, the role the connection logged in
// as (a --user naming another user is refused when the panel opens).
std::string LoginFor(varnolde::mvdb::Database& db, const Options& options, bool demo) {
  if (options.user) return *options.user;
  if (const std::string role = db.ConnectedRole(); !role.empty()) return role;
  const std::string login = SystemLogin();
  if (!demo) return login;
  try {
    varnolde::LoadUserRights(db, login);
    return login;
  } catch (const ComponentError& failure) {
    if (failure.number() != varnolde::err::kUnknownUser) throw;
  }
  return kDemoLogin;
}

// The window that holds the panel. It closes when the panel closes it ("Sortir"), or when the
// clerk closes it while "Sortir" could be pressed; not in the middle of an entry.
class HostWindow final : public QWidget {
 public:
  explicit HostWindow(std::function<bool()> may_close) : may_close_(std::move(may_close)) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (!may_close_ || may_close_()) {
      event->accept();
      return;
    }
    event->ignore();
    QMessageBox::information(this, kWindowTitle,
                             "Terminez d'abord le travail en cours : « Ok » pour enregistrer, "
                             "« Annuler » pour abandonner, puis « Sortir ».");
  }

 private:
  std::function<bool()> may_close_;
};

// On standard error always; in a message box too, except for a command-line error (the
// person is at a terminal) and on the offscreen platform, where nobody could answer the box.
void ReportStartupError(const std::string& text, int status) {
  std::cerr << "varnolde : " << text << "\n";
  if (status == kExitUsage || QGuiApplication::platformName() == QLatin1String("offscreen")) {
    return;
  }
  QMessageBox box(QMessageBox::Critical, kWindowTitle,
                  QString::fromStdString("Le panneau des acomptes ne peut pas s'ouvrir.\n\n" + text));
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool DisplayAvailable() {
  return !EnvironmentValue("QT_QPA_PLATFORM").empty() || !EnvironmentValue("DISPLAY").empty() ||
         !EnvironmentValue("WAYLAND_DISPLAY").empty();
}

int Run(QApplication& application, const Options& options) {
  const bool demo = !options.db.has_value();
  const std::string db_path = demo ? EnsureDemoDatabase() : *options.db;

  std::shared_ptr<varnolde::DatabaseLink> db;
  std::string login;
  try {
    // A file the user may read but not write opens read-only: consulting works, a validation
    // shows the write-failure message.
    auto mvdb_database = varnolde::mvdb::OpenMvdb(
        db_path, varnolde::mvdb::OpenOptions{.read_only_when_unwritable = true});
    if (mvdb_database->ConnectedRole().empty() && ::access(db_path.c_str(), W_OK) != 0) {
      std::cerr << "varnolde : base ouverte en lecture seule, le fichier n'étant pas accessible "
                   "en écriture : " << db_path << "\n";
    }
    login = LoginFor(*mvdb_database, options, demo);
    db = std::move(mvdb_database);
  } catch (const ComponentError& failure) {
    throw StartupError{Describe(failure)};
  }

  std::unique_ptr<varnolde::QtToolkit> toolkit;
  std::unique_ptr<varnolde::host::PanelSession> session;
  HostWindow window([&] {
    if (!session || session->Panel().W_sortir()) return true;
    return toolkit->PanelEnabled() && toolkit->Enabled(varnolde::panel::cmd_Sortir) &&
           toolkit->Visible(varnolde::panel::cmd_Sortir);
  });
  window.setWindowTitle(QString::fromUtf8(kWindowTitle) + " — " + QString::fromStdString(login));
  window.setFont(varnolde::QtToolkit::HostFontForLayout());
  auto* layout = new QVBoxLayout(&window);  // owned by window
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSizeConstraint(QLayout::SetFixedSize);

  toolkit = std::make_unique<varnolde::QtToolkit>(&window);
  try {
    session = varnolde::host::PanelSession::Open(*toolkit, std::move(db), {login, options.locale});
  } catch (const ComponentError& failure) {
    toolkit.reset();  // gives the pointer back before the message
    throw StartupError{Describe(failure)};
  }
  window.show();
  const int status = application.exec();
  session.reset();  // the host destroying the control
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = ParseArguments(argc, argv);
  } catch (const StartupError& failure) {
    std::cerr << "varnolde : " << failure.text;
    return failure.status;
  }
  if (options.help) {
    std::cout << kUsage;
    return 0;
  }
  if (!DisplayAvailable()) {
    std::cerr << "varnolde : aucun écran (ni DISPLAY ni WAYLAND_DISPLAY) ; le panneau ne "
                 "s'ouvre que dans une fenêtre. Sans écran : varnolde-script "
                 "(docs/clerk-scripts.md).\n";
    return kExitStartup;
  }
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("varnolde"));
  // Qt's own texts (a text box's context menu, standard buttons) in French, like the panel's,
  // when Qt's translations are installed (Debian: qt6-translations-l10n).
  QTranslator qt_french;
  if (qt_french.load(QStringLiteral("qtbase_fr"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qt_french);
  }
  try {
    return Run(application, options);
  } catch (const StartupError& failure) {
    ReportStartupError(failure.text, failure.status);
    return failure.status;
  } catch (const std::exception& failure) {
    ReportStartupError(failure.what(), kExitStartup);
    return kExitStartup;
  }
}
