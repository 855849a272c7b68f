// mvdb: the command-line tool of the multivalue database (docs/mvdb.md).
//
// Each verb is one entry of kVerbs: its name, synopsis, argument counts and the function that
// runs it. A verb returns the exit status; a ComponentError escaping it is printed with its
// number (exit 1), a ToolError with its cause (exit 1), a UsageError with the usage (exit 2).
// A new verb is one more function and one more entry. The tool speaks French, like the
// database's own error texts, so that each message is in one language.
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "components/errors.h"
#include "mvdb/dynarray.h"
#include "mvdb/engine.h"
#include "mvdb/generate.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "mvdb/server/server_rights.h"
#include "mvdb/server/server_storage.h"

namespace {

using varnolde::ComponentError;
using Args = std::vector<std::string>;
namespace mvdb = varnolde::mvdb;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure outside the database (an unreadable input file): exit 1, its cause named.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Progress of a long verb on a terminal (standard error): records done, rate and, when the
// whole is known, the time left; at most five updates a second, one line rewritten in place,
// ended when the verb ends. Nothing at all when standard error is not a terminal.
class Progress {
 public:
  // fraction, when set, tells how much of the whole is done (0 to 1) after `records`.
  explicit Progress(std::string verb, std::function<double(std::int64_t records)> fraction = {})
      : verb_(std::move(verb)), fraction_(std::move(fraction)), shown_(::isatty(2) != 0) {}
  ~Progress() {
    if (printed_) std::cerr << '\n';
  }
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // The hook for mvdb::OpenOptions::progress.
  std::function<void(std::int64_t)> Hook() {
    if (!shown_) return {};
    return [this](std::int64_t records) { Show(records); };
  }

 private:
  void Show(std::int64_t records) {
    const auto now = Clock::now();
    if (printed_ && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::ostringstream line;
    line << "\r" << verb_ << " : " << records << " enregistrements";
    if (seconds > 0) line << ", " << static_cast<std::int64_t>(records / seconds) << "/s";
    const double done = fraction_ ? fraction_(records) : 0;
    if (done > 0 && done < 1) {
      line << ", reste environ " << static_cast<std::int64_t>(seconds * (1 - done) / done) << " s";
    }
    line << "   ";
    std::cerr << line.str() << std::flush;
    printed_ = true;
  }

  using Clock = std::chrono::steady_clock;
  std::string verb_;
  std::function<double(std::int64_t)> fraction_;
  bool shown_;
  bool printed_ = false;
  Clock::time_point start_ = Clock::now();
  Clock::time_point last_;
};

std::shared_ptr<mvdb::Database> OpenForReading(const std::string& path,
                                               std::function<void(std::int64_t)> progress = {}) {
  return mvdb::OpenMvdb(path, mvdb::OpenOptions{.read_only = true, .progress = std::move(progress)});
}

// JSON text of what a database holds, whatever its bytes: a byte that is not UTF-8 is replaced.
std::string JsonText(const nlohmann::ordered_json& value) {
  return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// The verbs of the rights the server enforces exist on a server's database only.
void RequireServer(const std::string& verb, const std::string& database) {
  if (mvdb::IsServerName(database)) return;
  throw ToolError(verb + " : « " + database + " » est une base fichier ; les rôles et "
                  "l'historique n'existent que sur un serveur PostgreSQL (les droits d'un fichier "
                  "sont ses permissions : docs/sharing.md)");
}

// After a change of the files or indexes of a server's database whose rights the server
// enforces, the rights are given again, so that the new tables are covered.
void RenewServerRights(const std::string& database) {
  if (!mvdb::IsServerName(database) || !mvdb::HasServerRights(database)) return;
  const mvdb::RightsReport report = mvdb::ApplyServerRights(database);
  std::cerr << "mvdb : droits des " << report.roles.size() << " rôles donnés à nouveau\n";
}

void PrintIndex(const std::string& file, const std::string& field, std::int64_t entries) {
  std::cout << nlohmann::ordered_json{{"file", file}, {"index", field}, {"entries", entries}}.dump()
            << '\n';
}

// Per file, the records the load added, and the lines that replaced a stored record when
// there were any; then the indexes built.
int Load(const Args& args) {
  mvdb::LoadReport report;
  if (args[1] == "-") {
    Progress progress("chargement");
    report = mvdb::LoadJsonLines(args[0], std::cin, mvdb::OpenOptions{.progress = progress.Hook()});
  } else {
    std::ifstream in(args[1], std::ios::binary);
    if (!in) {
      throw ToolError("lecture de " + args[1] + " impossible : " + varnolde::SystemCause(errno));
    }
    // The share of the file read so far tells how much is left.
    std::error_code error;
    const double size = static_cast<double>(std::filesystem::file_size(args[1], error));
    Progress progress("chargement", [&](std::int64_t) {
      return error || size <= 0 ? 0.0 : static_cast<double>(in.tellg()) / size;
    });
    report = mvdb::LoadJsonLines(args[0], in, mvdb::OpenOptions{.progress = progress.Hook()});
  }
  for (const auto& [file, added] : report.added) {
    nlohmann::ordered_json line{{"file", file}, {"records", added}};
    if (const int replaced = report.replaced[file]; replaced > 0) line["replaced"] = replaced;
    std::cout << line.dump() << '\n';
  }
  for (const auto& index : report.indexes) PrintIndex(index.file, index.field, index.entries);
  RenewServerRights(args[0]);
  return 0;
}

int Dump(const Args& args) {
  std::ostringstream out;  // written only once the whole dump succeeded
  {
    Progress progress("copie");
    auto database = OpenForReading(args[0], progress.Hook());
    mvdb::DumpJsonLines(*database, Args(args.begin() + 1, args.end()), out);
  }
  std::cout << out.str();
  return 0;
}

// A result column: a string, or an array when it holds several values.
nlohmann::json ColumnJson(std::string_view column) {
  if (column.find(mvdb::kSVM) == std::string_view::npos) return std::string(column);
  nlohmann::json values = nlohmann::json::array();
  int count = mvdb::CountFields(column, mvdb::kSVM);
  for (int i = 1; i <= count; ++i)
    values.push_back(std::string(mvdb::ExtractField(column, mvdb::kSVM, i)));
  return values;
}

int Query(const Args& args) {
  std::string columns = args.size() > 2 ? args[2] : "0";
  auto database = OpenForReading(args[0]);
  mvdb::QueryResult result = mvdb::RunQuery(*database, args[1], columns);
  int column_count = 0;
  std::istringstream names(columns);
  for (std::string name; names >> name;) ++column_count;
  if (column_count == 0) column_count = 1;
  std::string out;
  for (int r = 1; r <= result.rows; ++r) {
    std::string_view row = mvdb::ExtractField(result.text, mvdb::kAM, r);
    nlohmann::json line = nlohmann::json::array();
    for (int c = 1; c <= column_count; ++c)
      line.push_back(ColumnJson(mvdb::ExtractField(row, mvdb::kVM, c)));
    try {
      out += line.dump() + '\n';
    } catch (const nlohmann::json::type_error&) {
      throw ComponentError(varnolde::err::kBadData, "ligne de résultat " + std::to_string(r) +
                                                        " : texte qui n'est pas de l'UTF-8 valide");
    }
  }
  std::cout << out;
  return 0;
}

int Read(const Args& args) {
  auto database = OpenForReading(args[0]);
  auto record = database->OpenFile(args[1])->Read(args[2]);
  std::cout << mvdb::RecordJsonLine(args[1], args[2], record->Get()) << '\n';
  return 0;
}

int Explain(const Args& args) {
  auto database = OpenForReading(args[0]);
  std::cout << database->Explain(args[1]);
  return 0;
}

int Index(const Args& args) {
  auto database = mvdb::OpenMvdb(args[0]);
  if (::isatty(2) != 0) std::cerr << "index : construction en cours..." << std::flush;
  const std::int64_t entries = database->CreateIndex(args[1], args[2]);
  if (::isatty(2) != 0) std::cerr << '\n';
  PrintIndex(args[1], args[2], entries);
  RenewServerRights(args[0]);
  return 0;
}

// One line per user of UTILISATEURS: its role, whether it was created, whether it writes
// advances, the groups it sees; a line for each role that lost its rights.
int Roles(const Args& args) {
  RequireServer("roles", args[0]);
  const mvdb::RightsReport report = mvdb::ApplyServerRights(args[0]);
  for (const mvdb::RoleReport& role : report.roles) {
    nlohmann::ordered_json line{{"role", role.role}};
    if (role.removed) {
      line["removed"] = true;
    } else {
      line["created"] = role.created;
      line["writes"] = role.writes;
      line["groups"] = role.groups;
    }
    std::cout << JsonText(line) << '\n';
  }
  for (const std::string& other : report.others) {
    std::cerr << "mvdb : attention : le rôle « " << other << " » a des droits sur les tables de "
                 "la base sans être dans UTILISATEURS ; ils restent tels quels\n";
  }
  return 0;
}

// A record as its JSON array of attributes, or null.
nlohmann::ordered_json RecordJson(const std::string& key, const std::optional<std::string>& text) {
  if (!text) return nullptr;
  return nlohmann::ordered_json::parse(mvdb::RecordJsonLine("ACOMPTEBULL", key, *text))["rec"];
}

// The recorded changes of one advance, oldest first, one JSON line each.
int History(const Args& args) {
  RequireServer("history", args[0]);
  for (const mvdb::HistoryEntry& entry : mvdb::ReadAdvanceHistory(args[0], args[1])) {
    std::cout << JsonText(nlohmann::ordered_json{{"time", entry.time},
                                                 {"role", entry.role},
                                                 {"action", entry.action},
                                                 {"key", args[1]},
                                                 {"old", RecordJson(args[1], entry.old_record)},
                                                 {"new", RecordJson(args[1], entry.new_record)}})
              << '\n';
  }
  return 0;
}

// Removes one record in a transaction of its own and prints it, so that it can be loaded back.
int Delete(const Args& args) {
  auto database = mvdb::OpenMvdb(args[0]);
  database->Begin();
  try {
    auto record = database->OpenFile(args[1])->Read(args[2]);  // kRecordNotFound when missing
    const std::string line = mvdb::RecordJsonLine(args[1], args[2], record->Get());
    database->DeleteRecord(args[1], args[2]);
    database->Commit();
    std::cout << line << '\n';
  } catch (...) {
    if (database->InTransaction()) database->Rollback();
    throw;
  }
  return 0;
}

// A whole number option value; the option's name in the error.
std::int64_t CountOption(const std::string& name, const std::string& text) {
  std::size_t used = 0;
  long long value = -1;
  try {
    value = std::stoll(text, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != text.size() || value < 0) {
    throw UsageError("l'option " + name + " attend un nombre entier, pas « " + text + " »");
  }
  return value;
}

// Writes a new database whole or not at all (mvdb::CreateDatabase).
int Generate(const Args& args) {
  const std::string path = args[0];
  mvdb::GenerateOptions options;
  bool caregivers = false, contracts = false, advances = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    // --name value or --name=value
    std::string name = args[i];
    std::string value;
    if (const auto equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    } else if (i + 1 < args.size()) {
      value = args[++i];
    } else {
      throw UsageError("l'option " + name + " attend une valeur");
    }
    if (name != "--caregivers" && name != "--contracts" && name != "--advances" &&
        name != "--seed") {
      throw UsageError("option inconnue : " + name);
    }
    const std::int64_t count = CountOption(name, value);
    if (name == "--caregivers") {
      options.caregivers = count;
      caregivers = true;
    } else if (name == "--contracts") {
      options.contracts = count;
      contracts = true;
    } else if (name == "--advances") {
      options.advances = count;
      advances = true;
    } else {
      options.seed = static_cast<std::uint64_t>(count);
    }
  }
  if (!caregivers || !contracts || !advances) {
    throw UsageError("--caregivers, --contracts et --advances sont obligatoires");
  }
  std::map<std::string, std::int64_t> written;
  {
    const double total =
        static_cast<double>(options.caregivers + options.contracts + options.advances);
    Progress progress("génération", [&](std::int64_t records) { return records / total; });
    mvdb::CreateDatabase(
        path,
        [&](mvdb::Database& database) { written = mvdb::GenerateDatabase(database, options); },
        mvdb::OpenOptions{.progress = progress.Hook()});
  }
  // The generator counts the entries of the name index under "<file> index".
  constexpr std::string_view kIndexSuffix = " index";
  for (const auto& [file, records] : written) {
    if (file.ends_with(kIndexSuffix)) continue;
    std::cout << nlohmann::ordered_json{{"file", file}, {"records", records}}.dump() << '\n';
  }
  for (const auto& [file, entries] : written) {
    if (!file.ends_with(kIndexSuffix)) continue;
    PrintIndex(file.substr(0, file.size() - kIndexSuffix.size()), "NomPrenomAidant", entries);
  }
  return 0;
}

struct Verb {
  std::string_view name;
  std::string_view synopsis;
  std::size_t min_args;
  std::size_t max_args;  // kAnyCount: the verb checks its own options
  int (*run)(const Args& args);
};

constexpr std::size_t kAnyCount = static_cast<std::size_t>(-1);

constexpr Verb kVerbs[] = {
    {"load",
     "load DB FICHIER.jsonl       charge des lignes JSON (- : l'entrée standard), en une "
     "transaction",
     2, 2, Load},
    {"dump",
     "dump DB [FICHIER...]        écrit les enregistrements et les index en lignes JSON", 1,
     kAnyCount, Dump},
    {"query", "query DB 'PHRASE' [ATTRIBUTS]   exécute une requête, un tableau JSON par ligne", 2,
     3, Query},
    {"read", "read DB FICHIER CLÉ        écrit un enregistrement en ligne JSON", 3, 3, Read},
    {"delete", "delete DB FICHIER CLÉ      supprime un enregistrement et l'écrit en ligne JSON", 3,
     3, Delete},
    {"explain", "explain DB 'PHRASE'         écrit le plan d'une requête", 2, 2, Explain},
    {"index",
     "index DB FICHIER CHAMP      construit un index sur un attribut ou un élément de "
     "dictionnaire",
     3, 3, Index},
    {"roles",
     "roles DB                    (serveur) un rôle par utilisateur de UTILISATEURS, et les "
     "droits que le serveur applique",
     1, 1, Roles},
    {"history",
     "history DB CLÉ              (serveur) les changements d'un acompte, les plus anciens "
     "d'abord",
     2, 2, History},
    {"generate",
     "generate DB --caregivers N --contracts M --advances K [--seed S]\n"
     "                                   crée une base synthétique de cette taille",
     1, kAnyCount, Generate},
};

void PrintUsage(std::ostream& out) {
  out << "Usage : mvdb VERBE ARGUMENTS\n";
  for (const Verb& verb : kVerbs) out << "  mvdb " << verb.synopsis << '\n';
  out << "Les erreurs vont sur la sortie d'erreur avec leur numéro ; code de sortie 1 quand "
         "l'opération a échoué, 2 pour une commande mal formée. Voir docs/mvdb.md.\n";
}

int Dispatch(const Args& arguments) {
  if (arguments.empty()) throw UsageError("aucun verbe");
  if (arguments[0] == "help" || arguments[0] == "--help" || arguments[0] == "-h") {
    PrintUsage(std::cout);
    return 0;
  }
  for (const Verb& verb : kVerbs) {
    if (arguments[0] != verb.name) continue;
    Args args(arguments.begin() + 1, arguments.end());
    if (args.size() < verb.min_args ||
        (verb.max_args != kAnyCount && args.size() > verb.max_args)) {
      throw UsageError("nombre d'arguments incorrect pour " + std::string(verb.name));
    }
    return verb.run(args);
  }
  throw UsageError("verbe inconnu : " + arguments[0]);
}

}  // namespace

int main(int argc, char** argv) {
  Args arguments(argv + 1, argv + argc);
  try {
    return Dispatch(arguments);
  } catch (const UsageError& e) {
    std::cerr << "mvdb : " << e.what() << '\n';
    PrintUsage(std::cerr);
    return 2;
  } catch (const ComponentError& e) {
    std::cout.flush();
    std::cerr << "mvdb : erreur " << varnolde::FormatErrorNumber(e.number()) << " : " << e.what()
              << '\n';
    return 1;
  } catch (const ToolError& e) {
    std::cerr << "mvdb : " << e.what() << '\n';
    return 1;
  } catch (const std::exception& e) {
    // Not foreseen: a fault of the program. Its text may be a library's, in English.
    std::cerr << "mvdb : échec inattendu, signalez-le :\n" << e.what() << '\n';
    return 1;
  }
}
