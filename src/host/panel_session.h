// PanelSession: the advances panel opened exactly as a host opens it.
//
// One piece of code for every host (the window host, the clerk-script tool): open the
// database, load the user's rights, build the regional settings and the conversion object for
// the locale, construct the panel on the host's toolkit, hand it theDataBase, Theclient and
// DroitsUtilisateur, then call init. When Open returns, the panel waits for the clerk.
//
// Ownership: the session owns the panel, the rights, the regional settings and the converter,
// and shares the database link (the panel and a caller that passed an open link hold it too).
// The toolkit is borrowed and must outlive the session. Destroying the session destroys the
// panel (which releases the tables) and then drops the link.
//
// The panel's shared objects (database link, table handles, record buffers) are process-wide,
// so only one session may be alive at a time: open them one after the other, destroying each
// before the next. Opening a second one while another lives throws std::logic_error.
//
// Failures: a start-up that cannot complete raises ComponentError with the number of the
// failure and a text naming what failed, and leaves nothing open:
//   err::kDatabaseOpen   the database file is missing or unusable (the text names the file);
//   err::kUnknownUser    the login has no rights record (the text names the login and file),
//                        or, on a server, names another user than the connection's role;
//   any other number     init could not complete: a table missing from the database, no
//                        open pay periods (the text names the database file).
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "components/converter.h"
#include "components/database.h"
#include "components/toolkit.h"
#include "panel/ctr_consultationacompte.h"

namespace varnolde::host {

struct SessionSettings {
  // Key of the user's UTILISATEURS record. On a PostgreSQL server the user is the role the
  // connection logged in as, whose rights the server enforces: the login may be left empty
  // (Settings() then holds the role) and, when given, must be that role.
  std::string login;
  std::string locale;  // "fr_FR", "en_US.UTF-8", ...; empty: the environment decides
};

class PanelSession {
 public:
  // Opens the database file at database_path (never creating it; read-only when the user may
  // read it but not write it), then the panel on it.
  static std::unique_ptr<PanelSession> Open(Toolkit& toolkit, const std::string& database_path,
                                            const SessionSettings& settings);
  // Opens the panel on a database the host has already opened.
  static std::unique_ptr<PanelSession> Open(Toolkit& toolkit,
                                            std::shared_ptr<DatabaseLink> database,
                                            const SessionSettings& settings);

  ~PanelSession();
  PanelSession(const PanelSession&) = delete;
  PanelSession& operator=(const PanelSession&) = delete;

  ctr_consultationacompte& Panel();
  // The link the panel was given; stays usable after the panel has released its tables
  // ("Sortir"), so that a host or a script can still read the database.
  DatabaseLink& Database();
  const RegionalSettings& Regional() const;
  const FormatConverter& Converter() const;
  const SessionSettings& Settings() const;
  // The database file, or the empty text when the link was opened by the host and is not an
  // mvdb database.
  const std::string& DatabasePath() const;

 private:
  struct Rep;
  explicit PanelSession(std::unique_ptr<Rep> rep);
  std::unique_ptr<Rep> rep_;
};

}  // namespace varnolde::host
