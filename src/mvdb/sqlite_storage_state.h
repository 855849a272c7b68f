// The cached state of one file and of its indexes: table names and prepared statements.
// Private to the storage layer (storage.cpp, storage_records.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mvdb/dictionary.h"
#include "mvdb/sqlite_util.h"

namespace varnolde::mvdb {

// An index's entries: x<id>(v, k, r), the record r of key k under each value v, so that a
// lookup reads the index alone. An index made before entries held their record has no r: its
// lookups read each record from the file, and `mvdb index` makes it again with r.
struct IndexState {
  IndexState(sqlite3* db, const std::string& file_table, std::int64_t index_id,
             std::string index_name, bool with_records)
      : id(index_id),
        name(std::move(index_name)),
        table("x" + std::to_string(index_id)),
        holds_records(with_records),
        insert(db, with_records ? "INSERT INTO " + table +
                                      "(v, k, r) VALUES (?1, ?2, ?3) "
                                      "ON CONFLICT(v, k) DO UPDATE SET r = excluded.r"
                                : "INSERT OR IGNORE INTO " + table + "(v, k) VALUES (?1, ?2)"),
        remove(db, "DELETE FROM " + table + " WHERE v = ?1 AND k = ?2"),
        lookup_equal(db, Lookup(file_table, "x.v = ?1")),
        lookup_range(db, Lookup(file_table, "x.v >= ?1 AND x.v < ?2")),
        lookup_from(db, Lookup(file_table, "x.v >= ?1")),
        clear(db, "DELETE FROM " + table) {}

  // The statement of a lookup: the records by value, then key.
  std::string Lookup(const std::string& file_table, const std::string& condition) const {
    if (holds_records) {
      return "SELECT x.k, x.r FROM " + table + " AS x WHERE " + condition + " ORDER BY x.v, x.k";
    }
    return "SELECT t.k, t.v FROM " + table + " AS x CROSS JOIN " + file_table +
           " AS t ON t.k = x.k WHERE " + condition + " ORDER BY x.v, x.k";
  }

  std::int64_t id;
  std::string name;                    // Field::IndexName
  std::string table;                   // x<id>
  bool holds_records;                  // entries hold their record (column r)
  std::shared_ptr<const Field> field;  // null when the field cannot be resolved
  std::string problem;                 // why field is null
  Statement insert, remove, lookup_equal, lookup_range, lookup_from, clear;
};

struct FileState {
  FileState(sqlite3* db, std::int64_t file_id, std::string file_name)
      : id(file_id),
        name(std::move(file_name)),
        table("f" + std::to_string(file_id)),
        get(db, "SELECT v FROM " + table + " WHERE k = ?1"),
        upsert(db, "INSERT INTO " + table +
                       "(k, v) VALUES (?1, ?2) ON CONFLICT(k) DO UPDATE SET v = excluded.v"),
        remove(db, "DELETE FROM " + table + " WHERE k = ?1"),
        scan_all(db, "SELECT k, v FROM " + table + " ORDER BY k"),
        visit_all(db, "SELECT 1 FROM " + table + " WHERE mvdb_visit(k, v, ?1) ORDER BY k"),
        scan_range(db, "SELECT k, v FROM " + table + " WHERE k >= ?1 AND k < ?2 ORDER BY k"),
        scan_from(db, "SELECT k, v FROM " + table + " WHERE k >= ?1 ORDER BY k") {}

  std::int64_t id;
  std::string name;
  std::string table;  // f<id>
  Statement get, upsert, remove, scan_all, visit_all, scan_range, scan_from;
  std::vector<std::unique_ptr<IndexState>> indexes;
};

}  // namespace varnolde::mvdb
