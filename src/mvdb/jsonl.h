// Loading and dumping records as JSON lines, for tools and test fixtures.
//
// One record per line: {"file":"CONTRAT","id":"01234001","rec":[...]} where rec[i] is attribute
// i + 1: a string, or an array of values, a value being a string or an array of subvalues. A
// secondary index is a line {"file":"CIVILAIDANT","index":"NomPrenomAidant"}: the load builds
// it once every record is stored. Blank lines are skipped; anything else that is not such an
// object (another member, a number where a text is expected, an empty file name or id) is an
// error. Dumping writes the same form, members in that order, an attribute as a string when it
// has one value, the index lines last, so that dumping what was loaded gives back the same
// lines and a database restored from its dump has the same indexes.
//
// A load is one transaction: on any error nothing is stored (inside a transaction already open,
// the load is undone to a savepoint and the transaction goes on), and the ComponentError names
// the line: kBadData "ligne N, caractère C : ..." for malformed input, kWriteFailed for a
// failed write. Files are created as needed; a record replaces a stored record of the same key.
// A JSON error names the character (counted in characters, not bytes) and a French cause.
//
// Typical fixture in a test:
//   std::istringstream lines(R"({"file":"ASSOCIATION","id":"001","rec":["Nord","Nord"]})");
//   varnolde::mvdb::LoadJsonLines(db_path, lines);   // creates db_path when missing
//   auto link = varnolde::mvdb::OpenDatabase(db_path);
#pragma once

#include <cstdint>
#include <istream>
#include <map>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "mvdb/link.h"

namespace varnolde::mvdb {

// What a load did, per file: the records it added, and the lines that replaced a record already
// stored (before the load, or by an earlier line); then the indexes it built.
struct LoadReport {
  struct Index {
    std::string file;
    std::string field;
    std::int64_t entries = 0;
  };
  std::map<std::string, int> added;
  std::map<std::string, int> replaced;
  std::vector<Index> indexes;
};

// Loads into the database at db_path. When the file does not exist, the load makes a new
// database whole or not at all (CreateDatabase: stale logs of that name are removed first).
// Raises kDatabaseOpen, kBadData, kWriteFailed, and what building an index raises.
// options.progress, when set, counts the records stored.
LoadReport LoadJsonLines(const std::string& db_path, std::istream& in,
                         const OpenOptions& options = {});

// The same into an open database.
LoadReport LoadJsonLines(Database& database, std::istream& in);

// Writes the records of the named files (every file when files is empty), files in byte order
// of their names, records in key order, then an index line for each of their indexes. A named
// file's index on a dictionary item brings that item's record of "DICT <file>" along. Raises
// kUnknownFile, and kBadData naming the record when a stored text is not valid UTF-8 (JSON
// cannot carry it).
void DumpJsonLines(Database& database, const std::vector<std::string>& files, std::ostream& out);

// One record as a JSON line (without the newline). Raises kBadData for invalid UTF-8.
std::string RecordJsonLine(std::string_view file, std::string_view key, std::string_view text);

}  // namespace varnolde::mvdb
