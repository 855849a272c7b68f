// What the reliability runs share: a database made from the fixture
// tools/reliability/advances.jsonl, one clerk at the advances panel on the headless
// toolkit, and readers of what the database holds. A database is named as the programs take
// it: a file path, or a server's connection text.
//
// ClerkSession owns its toolkit, clerk driver and panel, and shares the database link it is
// given. The panel's shared objects are process-wide, so only one ClerkSession may live in a
// process at a time; two clerks at once are two processes. The readers open their own
// connections and close them before returning, so that a test may fork right after.
//
// Failures: the helpers raise ComponentError from the database and ClerkRefusal from the
// driver; the caller (a test, or a child process reporting through a pipe) decides.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "components/database.h"
#include "convert/format_converter.h"
#include "convert/regional.h"
#include "mvdb/link.h"
#include "panel/ctr_consultationacompte.h"
#include "panel/layout.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::reliability {

inline constexpr char kWriteFailedMessage[] = "Erreur d'écriture de l'acompte dans la base.";
inline constexpr char kChangedByOtherMessage[] =
    "Les acomptes de cet aidant ont été modifiés par un autre utilisateur depuis leur "
    "affichage. Rechargez l'aidant pour voir leur état actuel.";
inline constexpr char kPeriod[] = "200203";  // the period chosen when the panel opens

// Creates the database at path from the fixture.
void MakeFixtureDatabase(const std::string& path);

// One stored advance as the panel writes it: attribute 1 the amount in hundredths, attribute 2
// the stored payment date.
struct StoredAdvance {
  bool present = false;
  std::string amount;
  std::string paid_on;
  bool operator==(const StoredAdvance&) const = default;
};
std::string Describe(const StoredAdvance& advance);

// The stored advances of the given ACOMPTEBULL keys, read in one statement: what it gives is
// the state of one moment, even while others write. The first reads through a connection of
// its own.
std::map<std::string, StoredAdvance> ReadAdvances(const std::string& db_path,
                                                  const std::vector<std::string>& keys);
std::map<std::string, StoredAdvance> ReadAdvances(mvdb::Database& database,
                                                  const std::vector<std::string>& keys);
// Every record of every file but the excluded ones, as JSON lines.
std::string DumpExcept(const std::string& db_path, const std::vector<std::string>& excluded);
// "ok" when the database is sound: SQLite's own PRAGMA integrity_check on a file, the server's
// amcheck on a server database (ServerIntegrityCheck).
std::string IntegrityCheck(const std::string& db_path);

class ClerkSession {
 public:
  // Opens the panel on link as the host does, for the user login, in French.
  explicit ClerkSession(std::shared_ptr<DatabaseLink> link,
                        const std::string& login = "gestionnaire");
  ~ClerkSession();
  ClerkSession(const ClerkSession&) = delete;
  ClerkSession& operator=(const ClerkSession&) = delete;

  HeadlessToolkit& toolkit() { return *toolkit_; }
  ClerkDriver& clerk() { return *clerk_; }

  // Types the entity code "001" unless it is there already.
  void ChooseEntity();
  // Types a five-digit caregiver code; returns the contract keys of the rows then shown.
  std::vector<std::string> LoadCaregiver(const std::string& code);
  // Double-clicks the row, replaces its amount by typed ("" for none; the full stop key gives
  // the decimal separator) and confirms it with the Ok under the lists.
  void SetAmount(int row, const std::string& typed);
  // Double-clicks the row and deletes its advance, answering Yes.
  void DeleteRow(int row);
  // Clicks the bottom Ok; returns the texts of the message boxes shown meanwhile.
  std::vector<std::string> Validate();

  std::vector<std::string> Rows(ControlId list) const;
  std::vector<std::string> MessagesSince(std::size_t first) const;

 private:
  std::shared_ptr<DatabaseLink> link_;
  std::shared_ptr<const RegionalSettings> regional_;
  std::shared_ptr<const FormatConverter> converter_;
  std::unique_ptr<HeadlessToolkit> toolkit_;
  std::unique_ptr<ClerkDriver> clerk_;
  std::unique_ptr<ctr_consultationacompte> panel_;
};

// The amount text a clerk types for a number of hundredths: 1205 -> "12.05".
std::string TypedAmount(long hundredths);

}  // namespace varnolde::reliability
