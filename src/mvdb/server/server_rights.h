// The rights of UTILISATEURS enforced by the PostgreSQL server itself, and the history of the
// advances the server keeps (docs/sharing.md, docs/rights.md).
//
// ApplyServerRights makes one login role per UTILISATEURS record (the key is the role's name),
// grants every such role the reading of the panel's files and, to a role whose level for the
// panel's function is 2, the writing of ACOMPTEBULL; row-level security hides and protects the
// records of CONTRAT, ACOMPTEBULL and DETAILCALCUL whose caregiver (the first five characters
// of the key) the role may not see, and shows a role its own UTILISATEURS record only. The
// policies read UTILISATEURS and CIVILAIDANT when a statement runs: a group or a level taken
// away applies at once; a new user, a level raised to 2, a new file or a new index need
// ApplyServerRights again. Every insert, change and deletion of an ACOMPTEBULL record is
// recorded by a trigger in mvdb_audit, which no clerk role may read or change.
//
// Run by the owner of the layout's tables (the administrator who loaded the data); it is one
// transaction: on any failure nothing changes. Roles get no password (the administrator sets it
// with psql's \password); an existing role is used as it is, unless it is the administrator, a
// superuser or a role that bypasses row-level security, which is refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace varnolde::mvdb {

// What ApplyServerRights did for one login.
struct RoleReport {
  std::string role;
  bool created = false;  // the role did not exist before
  bool writes = false;   // may write advances (level 2 for the panel's function)
  bool removed = false;  // no longer in UTILISATEURS: its rights on the database were taken away
  std::vector<std::string> groups;  // the caregiver groups it sees ("*": all); empty: none
};

struct RightsReport {
  std::vector<RoleReport> roles;  // in the order of their names
  // Roles outside UTILISATEURS that hold rights on the database's tables, left as they are.
  std::vector<std::string> others;
};

// Raises ComponentError: kDatabaseOpen (the server, or no mvdb database there), kUnknownFile
// (a file of the panel is missing), kBadData (a login that cannot be a clerk's role of its own:
// too long, not UTF-8, reserved, the administrator, a superuser...), kWriteFailed (the server
// refused, e.g. the connected role does not own the tables or may not create roles).
RightsReport ApplyServerRights(const std::string& conninfo);

// Whether ApplyServerRights has run on the database (its rights need renewing after a change
// of the files or indexes).
bool HasServerRights(const std::string& conninfo);

// One recorded change of an ACOMPTEBULL record.
struct HistoryEntry {
  std::string time;    // ISO 8601 with the offset from UTC: the start of the transaction
  std::string role;    // the role that was connected
  std::string action;  // "insert", "update" or "delete"
  std::optional<std::string> old_record;  // none for an insert
  std::optional<std::string> new_record;  // none for a deletion
};

// The recorded changes of one advance, oldest first. Raises kDatabaseOpen (the server, or a
// role that may not read the history), kUnknownFile (no history kept: ApplyServerRights never
// ran on the database).
std::vector<HistoryEntry> ReadAdvanceHistory(const std::string& conninfo, std::string_view key);

}  // namespace varnolde::mvdb
