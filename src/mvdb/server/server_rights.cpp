#include "mvdb/server/server_rights.h"

#include <libpq-fe.h>

#include <algorithm>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <utility>

#include "components/errors.h"
#include "components/rights.h"
#include "components/tables.h"
#include "components/utf8.h"
#include "mvdb/dictionary.h"
#include "mvdb/dynarray.h"
#include "mvdb/link.h"
#include "mvdb/server/server_storage.h"

namespace varnolde::mvdb {
namespace {

// The longest role name the server keeps whole (NAMEDATALEN - 1); it would cut a longer one.
constexpr std::size_t kMaxRoleBytes = 63;

// The files whose records belong to a caregiver, the first five characters of their key: the
// caregiver's code. A role sees and writes them only for the caregivers its groups allow.
constexpr std::string_view kCaregiverFiles[] = {tables::kContrat, tables::kAcompteBull,
                                                tables::kDetailCalcul};

using ResultPtr = std::unique_ptr<PGresult, decltype(&PQclear)>;

// A statement the server refused: its SQLSTATE, and the cause in French.
class Refusal : public std::runtime_error {
 public:
  Refusal(std::string state, const std::string& cause)
      : std::runtime_error(cause), state_(std::move(state)) {}
  const std::string& state() const { return state_; }

 private:
  std::string state_;
};

std::string CauseOf(const std::string& state) {
  if (state == "42501") return "droits insuffisants sur le serveur";
  if (state == "55P03") return "délai d'attente d'un verrou dépassé";
  if (state == "40001" || state == "40P01") return "conflit avec une autre écriture";
  if (state.starts_with("08") || state.starts_with("57P")) return "serveur arrêté ou injoignable";
  if (state.empty()) return "le serveur n'a pas répondu";
  return "refus du serveur (code " + state + ")";
}

// One connection; statements take byte parameters and give byte results. Closing it before
// COMMIT undoes the transaction.
class Connection {
 public:
  explicit Connection(const std::string& conninfo)
      : connection_(PQconnectdb(conninfo.c_str())), name_(DescribeServer(conninfo)) {
    if (PQstatus(connection_) != CONNECTION_OK) {
      PQfinish(connection_);
      throw ComponentError(err::kDatabaseOpen, name_ + " : connexion impossible");
    }
    try {
      Run("SET client_min_messages = warning");
    } catch (const Refusal& e) {
      PQfinish(connection_);
      throw ComponentError(err::kDatabaseOpen, name_ + " : " + e.what());
    }
  }
  ~Connection() { PQfinish(connection_); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  ResultPtr Run(const std::string& sql, std::initializer_list<std::string_view> parameters = {}) {
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (std::string_view parameter : parameters) {
      values.push_back(parameter.data() != nullptr ? parameter.data() : "");
      lengths.push_back(static_cast<int>(parameter.size()));
      formats.push_back(1);
    }
    ResultPtr result(PQexecParams(connection_, sql.c_str(), static_cast<int>(values.size()),
                                  nullptr, values.data(), lengths.data(), formats.data(), 1),
                     &PQclear);
    Check(result);
    return result;
  }

  // Several statements without parameters, run in order.
  void Script(const std::string& sql) {
    ResultPtr result(PQexec(connection_, sql.c_str()), &PQclear);
    Check(result);
  }

  // A name as an SQL identifier, quoted.
  std::string Identifier(std::string_view name) {
    char* quoted = PQescapeIdentifier(connection_, name.data(), name.size());
    if (quoted == nullptr) throw Refusal("", "nom de rôle invalide");
    std::string text(quoted);
    PQfreemem(quoted);
    return text;
  }

  const std::string& name() const { return name_; }

 private:
  void Check(const ResultPtr& result) {
    const ExecStatusType status =
        result != nullptr ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
    const char* state =
        result != nullptr ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
    std::string code = state != nullptr ? state : "";
    if (PQstatus(connection_) == CONNECTION_BAD) code = "08000";
    throw Refusal(code, CauseOf(code));
  }

  PGconn* connection_;
  std::string name_;
};

std::string Bytes(const ResultPtr& result, int row, int column) {
  return std::string(PQgetvalue(result.get(), row, column),
                     static_cast<std::size_t>(PQgetlength(result.get(), row, column)));
}

// A boolean column in binary form.
bool Flag(const ResultPtr& result, int row, int column) {
  return PQgetlength(result.get(), row, column) == 1 &&
         PQgetvalue(result.get(), row, column)[0] != 0;
}

std::string Replace(std::string text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at)) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

// The tables of the layout: file name -> table, file name -> its index tables.
struct Layout {
  std::map<std::string, std::string> files;
  std::map<std::string, std::vector<std::string>> indexes;

  const std::string& Table(std::string_view file) const {
    auto found = files.find(std::string(file));
    if (found == files.end()) {
      throw ComponentError(err::kUnknownFile, "fichier « " + std::string(file) +
                                                  " » inconnu : le panneau en a besoin");
    }
    return found->second;
  }
  // The table of file followed by its index tables.
  std::vector<std::string> TablesOf(std::string_view file) const {
    std::vector<std::string> tables{Table(file)};
    auto found = indexes.find(std::string(file));
    if (found != indexes.end())
      tables.insert(tables.end(), found->second.begin(), found->second.end());
    return tables;
  }
};

Layout ReadLayout(Connection& db) {
  Layout layout;
  ResultPtr files = db.Run("SELECT name, 'public.f' || id FROM public.mvdb_file");
  for (int row = 0; row < PQntuples(files.get()); ++row) {
    layout.files[Bytes(files, row, 0)] = Bytes(files, row, 1);
  }
  ResultPtr indexes = db.Run("SELECT file, 'public.x' || id FROM public.mvdb_index ORDER BY id");
  for (int row = 0; row < PQntuples(indexes.get()); ++row) {
    layout.indexes[Bytes(indexes, row, 0)].push_back(Bytes(indexes, row, 1));
  }
  return layout;
}

// The functions the policies and `mvdb roles` read a user's rights with. A record is bytes;
// LATIN1 maps each byte to one character, so that values split and compare byte for byte.
// Every name is qualified: a clerk's temporary table cannot stand in for a file.
constexpr char kFunctions[] = R"sql(
CREATE OR REPLACE FUNCTION public.mvdb_values(attribute bytea) RETURNS text[]
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT pg_catalog.regexp_split_to_array(pg_catalog.convert_from(attribute, 'LATIN1'),
  '[' || pg_catalog.chr(253) || pg_catalog.chr(252) || ']') $$;

CREATE OR REPLACE FUNCTION public.mvdb_user_groups(record bytea) RETURNS text[]
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT CASE WHEN '{FUNCTION}' = ANY (public.mvdb_values(public.mvdb_attr(record, {CODES})))
  THEN pg_catalog.array_remove(public.mvdb_values(public.mvdb_attr(record, {GROUPS})), '')
  ELSE '{}'::text[] END $$;

CREATE OR REPLACE FUNCTION public.mvdb_user_writes(record bytea) RETURNS boolean
LANGUAGE sql IMMUTABLE STRICT PARALLEL SAFE AS $$
SELECT coalesce(pg_catalog.btrim((public.mvdb_values(public.mvdb_attr(record, {LEVELS})))[
  pg_catalog.array_position(public.mvdb_values(public.mvdb_attr(record, {CODES})), '{FUNCTION}')],
  E' \t') ~ '^0*2$', false) $$;

CREATE OR REPLACE FUNCTION public.mvdb_role_record() RETURNS bytea
LANGUAGE sql STABLE AS $$
SELECT u.v FROM {USERS} u WHERE u.k = pg_catalog.convert_to(CURRENT_USER::text, 'UTF8') $$;
)sql";

// Whether the connected role sees the caregiver of the row's key ({TABLE}.k): its groups are
// read once per statement; "*" sees every caregiver.
constexpr char kSees[] = R"sql(
(coalesce((SELECT public.mvdb_user_groups(public.mvdb_role_record())) @> ARRAY['*'], false)
 OR EXISTS (SELECT 1 FROM {CAREGIVERS} c WHERE c.k = pg_catalog.substring({TABLE}.k, 1, 5)
   AND public.mvdb_values(public.mvdb_attr(c.v, {GROUP}))
       && (SELECT public.mvdb_user_groups(public.mvdb_role_record())))))sql";

constexpr char kWrites[] =
    "coalesce((SELECT public.mvdb_user_writes(public.mvdb_role_record())), false)";

// The history of the advances: written by the trigger only, under the administrator's rights.
// One row per transaction and advance, holding what the transaction changed: the record before
// its first change and after its last, so that a validation that deletes an advance and writes
// it back unchanged leaves no row.
constexpr char kHistory[] = R"sql(
CREATE TABLE IF NOT EXISTS public.mvdb_audit (
  id bigserial PRIMARY KEY,
  at timestamptz NOT NULL DEFAULT pg_catalog.now(),
  role text NOT NULL DEFAULT SESSION_USER,
  tx xid8 NOT NULL DEFAULT pg_catalog.pg_current_xact_id(),
  action text NOT NULL CHECK (action IN ('insert', 'update', 'delete')),
  record_key bytea NOT NULL,
  old_record bytea,
  new_record bytea);
CREATE INDEX IF NOT EXISTS mvdb_audit_key ON public.mvdb_audit (record_key, id);
REVOKE ALL ON public.mvdb_audit FROM PUBLIC;

CREATE OR REPLACE FUNCTION public.mvdb_audit_note(changed bytea, before bytea, after bytea)
RETURNS void LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public AS $$
DECLARE
  earlier public.mvdb_audit%ROWTYPE;
  seen boolean;
  change text;
BEGIN
  SELECT * INTO earlier FROM public.mvdb_audit
   WHERE record_key = changed AND tx = pg_catalog.pg_current_xact_id() ORDER BY id DESC LIMIT 1;
  seen := FOUND;
  IF seen THEN
    before := earlier.old_record;
  END IF;
  change := CASE WHEN before IS NULL THEN 'insert' WHEN after IS NULL THEN 'delete'
                 ELSE 'update' END;
  IF before IS NOT DISTINCT FROM after THEN
    IF seen THEN
      DELETE FROM public.mvdb_audit WHERE id = earlier.id;
    END IF;
  ELSIF seen THEN
    UPDATE public.mvdb_audit SET new_record = after, action = change WHERE id = earlier.id;
  ELSE
    INSERT INTO public.mvdb_audit (action, record_key, old_record, new_record)
    VALUES (change, changed, before, after);
  END IF;
END $$;
REVOKE ALL ON FUNCTION public.mvdb_audit_note(bytea, bytea, bytea) FROM PUBLIC;

CREATE OR REPLACE FUNCTION public.mvdb_audit_advance() RETURNS trigger
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, public AS $$
BEGIN
  IF TG_OP = 'INSERT' THEN
    PERFORM public.mvdb_audit_note(NEW.k, NULL, NEW.v);
  ELSIF TG_OP = 'DELETE' THEN
    PERFORM public.mvdb_audit_note(OLD.k, OLD.v, NULL);
  ELSIF OLD.k IS DISTINCT FROM NEW.k THEN
    PERFORM public.mvdb_audit_note(OLD.k, OLD.v, NULL);
    PERFORM public.mvdb_audit_note(NEW.k, NULL, NEW.v);
  ELSE
    PERFORM public.mvdb_audit_note(NEW.k, OLD.v, NEW.v);
  END IF;
  RETURN NULL;
END $$;
REVOKE ALL ON FUNCTION public.mvdb_audit_advance() FROM PUBLIC;
CREATE OR REPLACE TRIGGER mvdb_audit AFTER INSERT OR UPDATE OR DELETE ON {ADVANCES}
  FOR EACH ROW EXECUTE FUNCTION public.mvdb_audit_advance();

CREATE TABLE IF NOT EXISTS public.mvdb_clerk (role text PRIMARY KEY);
)sql";

// Row-level security on table (a file or an index table, both with the record's key in k): a
// role reads the rows for which reads holds, and inserts, changes and deletes those for which
// writes holds (nobody's when writes is empty).
void Protect(Connection& db, const std::string& table, const std::string& reads,
             const std::string& writes) {
  db.Run("ALTER TABLE " + table + " ENABLE ROW LEVEL SECURITY");
  for (const char* policy : {"mvdb_read", "mvdb_insert", "mvdb_update", "mvdb_delete"}) {
    db.Run(std::string("DROP POLICY IF EXISTS ") + policy + " ON " + table);
  }
  db.Run("CREATE POLICY mvdb_read ON " + table + " FOR SELECT USING " + reads);
  if (writes.empty()) return;
  db.Run("CREATE POLICY mvdb_insert ON " + table + " FOR INSERT WITH CHECK " + writes);
  db.Run("CREATE POLICY mvdb_update ON " + table + " FOR UPDATE USING " + writes + " WITH CHECK " +
         writes);
  db.Run("CREATE POLICY mvdb_delete ON " + table + " FOR DELETE USING " + writes);
}

void ProtectFiles(Connection& db, const Layout& layout) {
  const std::string caregivers = layout.Table(tables::kCivilAidant);
  for (std::string_view file : kCaregiverFiles) {
    for (const std::string& table : layout.TablesOf(file)) {
      std::string sees = Replace(kSees, "{CAREGIVERS}", caregivers);
      sees = Replace(sees, "{GROUP}", std::to_string(tables::civilaidant::kGroup));
      sees = Replace(sees, "{TABLE}", table);
      const bool written = file == tables::kAcompteBull;
      Protect(db, table, sees, written ? "(" + std::string(kWrites) + " AND " + sees + ")" : "");
    }
  }
  // A role reads its own rights only.
  for (const std::string& table : layout.TablesOf(tables::kUtilisateurs)) {
    Protect(db, table, "(" + table + ".k = pg_catalog.convert_to(CURRENT_USER::text, 'UTF8'))", "");
  }
}

// What a clerk role may read: the layout's catalog, the panel's files, their dictionaries and
// indexes.
std::string ReadableTables(const Layout& layout) {
  std::string list = "public.mvdb_meta, public.mvdb_file, public.mvdb_index";
  std::vector<std::string_view> files(tables::kPanelTables.begin(), tables::kPanelTables.end());
  files.push_back(tables::kUtilisateurs);
  for (std::string_view file : files) {
    for (const std::string& name : {std::string(file), DictFileOf(file)}) {
      auto found = layout.files.find(name);
      if (found == layout.files.end()) continue;
      list += ", " + found->second;
      auto indexes = layout.indexes.find(name);
      if (indexes == layout.indexes.end()) continue;
      for (const std::string& index : indexes->second) list += ", " + index;
    }
  }
  return list;
}

// Why a login cannot be a clerk's role of its own; empty when it can.
std::string LoginProblem(std::string_view login) {
  if (!utf8::IsValid(login) || login.find('\0') != std::string_view::npos) {
    return "n'est pas un texte UTF-8";
  }
  if (login.size() > kMaxRoleBytes) {
    return "dépasse " + std::to_string(kMaxRoleBytes) + " octets, la longueur d'un nom de rôle";
  }
  if (login.starts_with("pg_")) return "commence par « pg_ », réservé aux rôles du serveur";
  return {};
}

// The role of login, created when missing; refused (kBadData) when the server could not
// restrict it. Returns whether it was created.
bool EnsureRole(Connection& db, const std::string& login) {
  const auto refuse = [&](const std::string& why) {
    return ComponentError(err::kBadData, db.name() + " : l'utilisateur « " + login +
                                             " » de UTILISATEURS " + why +
                                             " ; rien n'a été changé");
  };
  if (const std::string problem = LoginProblem(login); !problem.empty()) throw refuse(problem);
  const std::string role = db.Identifier(login);
  bool created = false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    ResultPtr found = db.Run(
        "SELECT rolsuper OR rolbypassrls, rolcanlogin, "
        "pg_catalog.pg_has_role(rolname, CURRENT_USER, 'MEMBER') "
        "FROM pg_catalog.pg_roles WHERE rolname = $1::text",
        {login});
    if (PQntuples(found.get()) == 1) {
      if (Flag(found, 0, 0)) {
        throw refuse("est un rôle qui passe outre les droits (superutilisateur ou BYPASSRLS)");
      }
      if (Flag(found, 0, 2)) {
        throw refuse("est le rôle de l'administrateur ou en hérite les droits");
      }
      if (!Flag(found, 0, 1)) db.Run("ALTER ROLE " + role + " LOGIN");
      return created;
    }
    // Another `mvdb roles` (on another database of the server) may create it at the same time.
    db.Run("SAVEPOINT mvdb_role");
    try {
      db.Run("CREATE ROLE " + role + " LOGIN");
      db.Run("RELEASE SAVEPOINT mvdb_role");
      created = true;
    } catch (const Refusal& e) {
      if (e.state() != "42710" && e.state() != "23505") {
        if (e.state() == "42939") throw refuse("est un nom réservé par le serveur");
        throw;
      }
      db.Run("ROLLBACK TO SAVEPOINT mvdb_role");
    }
  }
  throw Refusal("", "rôle « " + login + " » introuvable après sa création");
}

std::vector<std::string> SplitGroups(const std::string& joined) {
  std::vector<std::string> groups;
  if (joined.empty()) return groups;
  for (int i = 1; i <= CountFields(joined, kVM); ++i) {
    groups.emplace_back(ExtractField(joined, kVM, i));
  }
  return groups;
}

RightsReport Apply(Connection& db) {
  db.Run("SET lock_timeout = '30s'");
  db.Run("BEGIN");
  ResultPtr owner = db.Run(
      "SELECT pg_catalog.pg_get_userbyid(relowner)::text, CURRENT_USER::text "
      "FROM pg_catalog.pg_class WHERE oid = 'public.mvdb_file'::pg_catalog.regclass");
  if (Bytes(owner, 0, 0) != Bytes(owner, 0, 1)) {
    throw ComponentError(err::kWriteFailed,
                         db.name() +
                             " : les droits se donnent sous le rôle propriétaire des "
                             "tables, « " +
                             Bytes(owner, 0, 0) + " », pas sous « " + Bytes(owner, 0, 1) +
                             " » ; rien n'a été changé");
  }
  Layout layout = ReadLayout(db);
  for (std::string_view file : tables::kPanelTables) layout.Table(file);
  const std::string users = layout.Table(tables::kUtilisateurs);
  const std::string advances = layout.Table(tables::kAcompteBull);

  std::string functions = Replace(kFunctions, "{USERS}", users);
  functions = Replace(functions, "{FUNCTION}", kConsultationFunction);
  functions = Replace(functions, "{CODES}", std::to_string(tables::utilisateurs::kFunctionCodes));
  functions = Replace(functions, "{LEVELS}", std::to_string(tables::utilisateurs::kAccessLevels));
  functions = Replace(functions, "{GROUPS}", std::to_string(tables::utilisateurs::kGroups));
  db.Script(functions);
  db.Script(Replace(kHistory, "{ADVANCES}", advances));
  ProtectFiles(db, layout);
  db.Run("REVOKE ALL ON ALL TABLES IN SCHEMA public FROM PUBLIC");
  db.Run("REVOKE CREATE ON SCHEMA public FROM PUBLIC");

  const std::string readable = ReadableTables(layout);
  std::string written_indexes;
  for (const std::string& index : layout.indexes[std::string(tables::kAcompteBull)]) {
    written_indexes += (written_indexes.empty() ? "" : ", ") + index;
  }
  RightsReport report;
  ResultPtr records = db.Run(
      "SELECT k, public.mvdb_user_writes(v), pg_catalog.convert_to(pg_catalog.array_to_string("
      "public.mvdb_user_groups(v), pg_catalog.chr(253)), 'LATIN1') FROM " +
      users + " ORDER BY k");
  std::set<std::string> logins;
  for (int row = 0; row < PQntuples(records.get()); ++row) {
    RoleReport entry;
    entry.role = Bytes(records, row, 0);
    entry.writes = Flag(records, row, 1);
    entry.groups = SplitGroups(Bytes(records, row, 2));
    entry.created = EnsureRole(db, entry.role);
    const std::string role = db.Identifier(entry.role);
    db.Run("REVOKE ALL ON ALL TABLES IN SCHEMA public FROM " + role);
    db.Run("GRANT SELECT ON " + readable + " TO " + role);
    if (entry.writes) {
      db.Run("GRANT INSERT, UPDATE, DELETE ON " + advances + " TO " + role);
      // An index entry holds its record: a write of the advance brings it up to date.
      if (!written_indexes.empty())
        db.Run("GRANT INSERT, UPDATE, DELETE ON " + written_indexes + " TO " + role);
    }
    db.Run("INSERT INTO public.mvdb_clerk VALUES ($1::text) ON CONFLICT DO NOTHING", {entry.role});
    logins.insert(entry.role);
    report.roles.push_back(std::move(entry));
  }
  // Roles of users taken out of UTILISATEURS lose their rights here (the role itself stays: it
  // may work on other databases of the server).
  ResultPtr former = db.Run(
      "SELECT c.role, r.rolname IS NOT NULL FROM public.mvdb_clerk c "
      "LEFT JOIN pg_catalog.pg_roles r ON r.rolname = c.role ORDER BY c.role");
  for (int row = 0; row < PQntuples(former.get()); ++row) {
    const std::string role = Bytes(former, row, 0);
    if (logins.count(role) != 0) continue;
    if (Flag(former, row, 1))
      db.Run("REVOKE ALL ON ALL TABLES IN SCHEMA public FROM " + db.Identifier(role));
    db.Run("DELETE FROM public.mvdb_clerk WHERE role = $1::text", {role});
    RoleReport removed;
    removed.role = role;
    removed.removed = true;
    report.roles.push_back(std::move(removed));
  }
  std::sort(report.roles.begin(), report.roles.end(),
            [](const RoleReport& a, const RoleReport& b) { return a.role < b.role; });
  ResultPtr others = db.Run(
      "SELECT DISTINCT grantee::text FROM information_schema.table_privileges "
      "WHERE table_schema = 'public' AND grantee::text <> CURRENT_USER::text "
      "AND grantee::text NOT IN (SELECT role FROM public.mvdb_clerk) ORDER BY 1");
  for (int row = 0; row < PQntuples(others.get()); ++row)
    report.others.push_back(Bytes(others, row, 0));
  db.Run("COMMIT");
  return report;
}

}  // namespace

RightsReport ApplyServerRights(const std::string& conninfo) {
  OpenOptions reading;
  reading.read_only = true;
  OpenMvdb(conninfo, reading);  // an mvdb database, or kDatabaseOpen
  Connection db(conninfo);
  try {
    return Apply(db);
  } catch (const Refusal& e) {
    throw ComponentError(err::kWriteFailed, db.name() + " : droits des utilisateurs non donnés : " +
                                                e.what() + " ; rien n'a été changé");
  }
}

bool HasServerRights(const std::string& conninfo) {
  Connection db(conninfo);
  try {
    ResultPtr found = db.Run("SELECT pg_catalog.to_regclass('public.mvdb_clerk') IS NOT NULL");
    return Flag(found, 0, 0);
  } catch (const Refusal& e) {
    throw ComponentError(err::kDatabaseOpen, db.name() + " : " + e.what());
  }
}

std::vector<HistoryEntry> ReadAdvanceHistory(const std::string& conninfo, std::string_view key) {
  Connection db(conninfo);
  std::vector<HistoryEntry> history;
  try {
    ResultPtr kept = db.Run("SELECT pg_catalog.to_regclass('public.mvdb_audit') IS NOT NULL");
    if (!Flag(kept, 0, 0)) {
      throw ComponentError(err::kUnknownFile, db.name() +
                                                  " : aucun historique des acomptes "
                                                  "(les droits n'y ont jamais été donnés : "
                                                  "mvdb roles)");
    }
    ResultPtr rows = db.Run(
        "SELECT pg_catalog.to_json(at) #>> '{}', role, action, old_record, new_record "
        "FROM public.mvdb_audit WHERE record_key = $1 ORDER BY id",
        {key});
    for (int row = 0; row < PQntuples(rows.get()); ++row) {
      HistoryEntry entry{Bytes(rows, row, 0), Bytes(rows, row, 1), Bytes(rows, row, 2), {}, {}};
      if (!PQgetisnull(rows.get(), row, 3)) entry.old_record = Bytes(rows, row, 3);
      if (!PQgetisnull(rows.get(), row, 4)) entry.new_record = Bytes(rows, row, 4);
      history.push_back(std::move(entry));
    }
  } catch (const Refusal& e) {
    throw ComponentError(err::kDatabaseOpen,
                         db.name() + " : lecture de l'historique impossible : " + e.what());
  }
  return history;
}

}  // namespace varnolde::mvdb
