// mvdb: the command-line tool of the multivalue database (docs/mvdb.md).
//
// Each verb is one entry of kVerbs: its name, synopsis, argument counts and the function that
// runs it. A verb returns the exit status; a ComponentError escaping it is printed with its
// number (exit 1), a UsageError with the synopsis (exit 2). A new verb (a data generator, say)
// is one more function and one more entry.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
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

namespace {

using varnolde::ComponentError;
using Args = std::vector<std::string>;
namespace mvdb = varnolde::mvdb;

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A failure outside the database (an unreadable input file): exit 1, no error number.
class ToolError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::shared_ptr<mvdb::Database> OpenForReading(const std::string& path) {
  return mvdb::OpenMvdb(path, mvdb::OpenOptions{.read_only = true});
}

int Load(const Args& args) {
  std::map<std::string, int> counts;
  if (args[1] == "-") {
    counts = mvdb::LoadJsonLines(args[0], std::cin);
  } else {
    std::ifstream in(args[1], std::ios::binary);
    if (!in) throw ToolError("cannot read " + args[1]);
    counts = mvdb::LoadJsonLines(args[0], in);
  }
  for (const auto& [file, records] : counts) {
    std::cout << nlohmann::ordered_json{{"file", file}, {"records", records}}.dump() << '\n';
  }
  return 0;
}

int Dump(const Args& args) {
  auto database = OpenForReading(args[0]);
  std::ostringstream out;  // written only once the whole dump succeeded
  mvdb::DumpJsonLines(*database, Args(args.begin() + 1, args.end()), out);
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
  std::int64_t entries = database->CreateIndex(args[1], args[2]);
  std::cout
      << nlohmann::ordered_json{{"file", args[1]}, {"field", args[2]}, {"entries", entries}}.dump()
      << '\n';
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
    throw UsageError("option " + name + " needs a whole number, not '" + text + "'");
  }
  return value;
}

// Writes a new database file through a temporary name, so that a failed or interrupted run
// leaves no half-written database under the requested name.
int Generate(const Args& args) {
  const std::string path = args[0];
  mvdb::GenerateOptions options;
  bool caregivers = false, contracts = false, advances = false;
  for (std::size_t i = 1; i < args.size(); i += 2) {
    if (i + 1 >= args.size()) throw UsageError("option " + args[i] + " needs a value");
    const std::int64_t value = CountOption(args[i], args[i + 1]);
    if (args[i] == "--caregivers") {
      options.caregivers = value;
      caregivers = true;
    } else if (args[i] == "--contracts") {
      options.contracts = value;
      contracts = true;
    } else if (args[i] == "--advances") {
      options.advances = value;
      advances = true;
    } else if (args[i] == "--seed") {
      options.seed = static_cast<std::uint64_t>(value);
    } else {
      throw UsageError("unknown option '" + args[i] + "'");
    }
  }
  if (!caregivers || !contracts || !advances) {
    throw UsageError("--caregivers, --contracts and --advances are required");
  }
  namespace fs = std::filesystem;
  if (fs::exists(path)) throw ToolError(path + " exists already; generate writes a new database");
  const std::string partial = path + ".partial";
  auto remove_partial = [&] {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"}) fs::remove(partial + suffix);
  };
  remove_partial();
  std::map<std::string, std::int64_t> written;
  try {
    auto database = mvdb::OpenMvdb(partial, mvdb::OpenOptions{.create = true});
    written = mvdb::GenerateDatabase(*database, options);
    database.reset();  // closes the file, folding the write-ahead log into it
    fs::rename(partial, path);
  } catch (...) {
    remove_partial();
    throw;
  }
  for (const auto& [file, records] : written) {
    std::cout << nlohmann::ordered_json{{"file", file}, {"records", records}}.dump() << '\n';
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
     "load DB FILE.jsonl        store JSON lines (- for standard input), in one transaction", 2, 2,
     Load},
    {"dump", "dump DB [FILE...]         print records as JSON lines, files and keys in order", 1,
     kAnyCount, Dump},
    {"query", "query DB 'SENTENCE' [ATTRLIST]   run a sentence, one JSON array per row", 2, 3,
     Query},
    {"read", "read DB FILE KEY          print one record as a JSON line", 3, 3, Read},
    {"explain", "explain DB 'SENTENCE'     print the plan of a sentence", 2, 2, Explain},
    {"index",
     "index DB FILE FIELD       build a secondary index on an attribute or dictionary item", 3, 3,
     Index},
    {"generate",
     "generate DB --caregivers N --contracts M --advances K [--seed S]   write a new synthetic "
     "database of that size",
     7, 9, Generate},
};

void PrintUsage(std::ostream& out) {
  out << "usage: mvdb VERB ARGUMENTS\n";
  for (const Verb& verb : kVerbs) out << "  mvdb " << verb.synopsis << '\n';
  out << "Errors go to standard error with their number; exit 1 when the operation failed, 2 for "
         "a usage error. See docs/mvdb.md.\n";
}

int Dispatch(const Args& arguments) {
  if (arguments.empty()) throw UsageError("no verb given");
  if (arguments[0] == "help" || arguments[0] == "--help" || arguments[0] == "-h") {
    PrintUsage(std::cout);
    return 0;
  }
  for (const Verb& verb : kVerbs) {
    if (arguments[0] != verb.name) continue;
    Args args(arguments.begin() + 1, arguments.end());
    if (args.size() < verb.min_args ||
        (verb.max_args != kAnyCount && args.size() > verb.max_args)) {
      throw UsageError("wrong number of arguments; usage: mvdb " + std::string(verb.synopsis));
    }
    return verb.run(args);
  }
  throw UsageError("unknown verb '" + arguments[0] + "'");
}

}  // namespace

int main(int argc, char** argv) {
  Args arguments(argv + 1, argv + argc);
  try {
    return Dispatch(arguments);
  } catch (const UsageError& e) {
    std::cerr << "mvdb: " << e.what() << '\n';
    PrintUsage(std::cerr);
    return 2;
  } catch (const ComponentError& e) {
    std::cout.flush();
    std::cerr << "mvdb: error " << varnolde::FormatErrorNumber(e.number()) << ": " << e.what()
              << '\n';
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "mvdb: " << e.what() << '\n';
    return 1;
  }
}
