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

struct IndexState {
  IndexState(sqlite3* db, const std::string& file_table, std::int64_t index_id,
             std::string index_name)
      : id(index_id),
        name(std::move(index_name)),
        table("x" + std::to_string(index_id)),
        insert(db, "INSERT OR IGNORE INTO " + table + "(v, k) VALUES (?1, ?2)"),
        remove(db, "DELETE FROM " + table + " WHERE v = ?1 AND k = ?2"),
        lookup_equal(db, "SELECT t.k, t.v FROM " + table + " AS x CROSS JOIN " + file_table +
                             " AS t ON t.k = x.k WHERE x.v = ?1 ORDER BY x.v, x.k"),
        lookup_range(db, "SELECT t.k, t.v FROM " + table + " AS x CROSS JOIN " + file_table +
                             " AS t ON t.k = x.k WHERE x.v >= ?1 AND x.v < ?2 ORDER BY x.v, x.k"),
        lookup_from(db, "SELECT t.k, t.v FROM " + table + " AS x CROSS JOIN " + file_table +
                            " AS t ON t.k = x.k WHERE x.v >= ?1 ORDER BY x.v, x.k"),
        clear(db, "DELETE FROM " + table) {}

  std::int64_t id;
  std::string name;                    // Field::IndexName
  std::string table;                   // x<id>
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
        visit_all(db, "SELECT 1 FROM " + table + " WHERE mvdb_visit(k, v) ORDER BY k"),
        scan_range(db, "SELECT k, v FROM " + table + " WHERE k >= ?1 AND k < ?2 ORDER BY k"),
        scan_from(db, "SELECT k, v FROM " + table + " WHERE k >= ?1 ORDER BY k") {}

  std::int64_t id;
  std::string name;
  std::string table;  // f<id>
  Statement get, upsert, remove, scan_all, visit_all, scan_range, scan_from;
  std::vector<std::unique_ptr<IndexState>> indexes;
};

}  // namespace varnolde::mvdb
