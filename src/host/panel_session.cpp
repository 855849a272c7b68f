#include "host/panel_session.h"

#include <stdexcept>
#include <utility>

#include "convert/format_converter.h"
#include "host/read_groups.h"
#include "convert/regional.h"
#include "mvdb/link.h"
#include "rights/user_rights.h"

namespace varnolde::host {
namespace {

// Whether a session is alive in this process: the panel's shared objects allow only one.
bool session_alive = false;

void RequireNoSession() {
  if (session_alive) {
    throw std::logic_error(
        "a panel session is already open in this process; destroy it before opening another");
  }
}

class AliveToken {
 public:
  AliveToken() {
    RequireNoSession();
    session_alive = true;
  }
  ~AliveToken() { session_alive = false; }
  AliveToken(const AliveToken&) = delete;
  AliveToken& operator=(const AliveToken&) = delete;
};

// The same error, its text prefixed with where it happened.
ComponentError Located(const ComponentError& error, const std::string& where) {
  return ComponentError(error.number(), where + error.what());
}

std::string DatabaseWhere(const std::string& path) {
  return path.empty() ? std::string() : "base « " + path + " » : ";
}

// On a server, the user is the role the connection logged in as: nobody opens the panel with
// another clerk's rights shown while the server applies the role's own.
void ChooseLogin(const DatabaseLink& database, std::string& login, const std::string& where) {
  const auto* mvdb_database = dynamic_cast<const mvdb::Database*>(&database);
  const std::string role = mvdb_database != nullptr ? mvdb_database->ConnectedRole() : "";
  if (role.empty()) {
    if (login.empty()) {
      throw ComponentError(err::kUnknownUser,
                           where + "aucun utilisateur nommé : sur une base fichier, "
                                   "l'identifiant de l'utilisateur est obligatoire");
    }
    return;
  }
  if (login.empty()) {
    login = role;
  } else if (login != role) {
    throw ComponentError(err::kUnknownUser,
                         where + "la connexion au serveur est celle du rôle « " + role +
                             " » : le panneau ne s'ouvre que pour cet utilisateur, pas pour « " +
                             login + " »");
  }
}

}  // namespace

struct PanelSession::Rep {
  AliveToken alive;  // first member: released last
  SessionSettings settings;
  std::string database_path;
  std::shared_ptr<DatabaseLink> database;
  std::shared_ptr<const RegionalSettings> regional;
  std::shared_ptr<const FormatConverter> converter;
  std::unique_ptr<ReadGroupingToolkit> toolkit;  // the host's, as the panel sees it
  std::unique_ptr<ctr_consultationacompte> panel;

  ~Rep() {
    // The panel releases the shared tables while the link is still held here.
    panel.reset();
  }
};

PanelSession::PanelSession(std::unique_ptr<Rep> rep) : rep_(std::move(rep)) {}

PanelSession::~PanelSession() = default;

std::unique_ptr<PanelSession> PanelSession::Open(Toolkit& toolkit, const std::string& database_path,
                                                 const SessionSettings& settings) {
  // Checked before the file is opened, so that a second session fails without side effects.
  RequireNoSession();
  // A file the user may read but not write opens read-only: the clerk consults, and a
  // validation shows the write-failure message.
  mvdb::OpenOptions options{.read_only_when_unwritable = true};
  return Open(toolkit, mvdb::OpenDatabase(database_path, options), settings);
}

std::unique_ptr<PanelSession> PanelSession::Open(Toolkit& toolkit,
                                                 std::shared_ptr<DatabaseLink> database,
                                                 const SessionSettings& settings) {
  if (!database) throw std::invalid_argument("PanelSession::Open: no database link");
  auto rep = std::make_unique<Rep>();
  rep->settings = settings;
  if (const auto* mvdb_database = dynamic_cast<const mvdb::Database*>(database.get())) {
    rep->database_path = mvdb_database->Path();
  }
  rep->database = std::move(database);
  const std::string where = DatabaseWhere(rep->database_path);
  ChooseLogin(*rep->database, rep->settings.login, where);

  std::shared_ptr<UserRights> rights;
  try {
    rights = LoadUserRights(*rep->database, rep->settings.login);
  } catch (const ComponentError& error) {
    throw Located(error, where);
  }
  rep->regional = MakeRegionalSettings(settings.locale);
  rep->converter = MakeFormatConverter(rep->regional);

  rep->toolkit = std::make_unique<ReadGroupingToolkit>(toolkit, *rep->database);
  rep->panel =
      std::make_unique<ctr_consultationacompte>(*rep->toolkit, rep->converter, rep->regional);
  ctr_consultationacompte& panel = *rep->panel;
  try {
    panel.theDataBase(rep->database);
    // This database component has no client object of its own: the panel keeps it and never
    // reads it, so the host hands none.
    panel.Theclient(nullptr);
    panel.DroitsUtilisateur(std::move(rights));
    rep->toolkit->Grouped([&] { panel.init(); });
  } catch (const ComponentError& error) {
    // rep (and with it the panel, which releases whatever init opened) goes away here.
    throw Located(error, where + "le panneau n'a pas pu s'ouvrir : ");
  }
  return std::unique_ptr<PanelSession>(new PanelSession(std::move(rep)));
}

ctr_consultationacompte& PanelSession::Panel() { return *rep_->panel; }
DatabaseLink& PanelSession::Database() { return *rep_->database; }
const RegionalSettings& PanelSession::Regional() const { return *rep_->regional; }
const FormatConverter& PanelSession::Converter() const { return *rep_->converter; }
const SessionSettings& PanelSession::Settings() const { return rep_->settings; }
const std::string& PanelSession::DatabasePath() const { return rep_->database_path; }

}  // namespace varnolde::host
