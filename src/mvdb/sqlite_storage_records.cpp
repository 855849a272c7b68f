// Records, scans, secondary indexes and dictionary items of the storage layer.
#include <utility>

#include "components/errors.h"
#include "mvdb/dynarray.h"
#include "mvdb/sqlite_storage.h"
#include "mvdb/sqlite_storage_internal.h"
#include "mvdb/sqlite_storage_state.h"

namespace varnolde::mvdb {
namespace {

// The smallest text greater than every text beginning with prefix; false when there is none
// (a prefix of 0xFF bytes only).
bool PrefixEnd(std::string_view prefix, std::string& end) {
  end.assign(prefix);
  while (!end.empty() && static_cast<unsigned char>(end.back()) == 0xFF) end.pop_back();
  if (end.empty()) return false;
  end.back() = static_cast<char>(static_cast<unsigned char>(end.back()) + 1);
  return true;
}

void Drain(Statement& statement, RowSink& sink) {
  while (statement.Step()) sink.Row(statement.ColumnBlob(0), statement.ColumnBlob(1));
}

std::string RecordName(std::string_view file, std::string_view key) {
  return "« " + std::string(key) + " » du fichier « " + std::string(file) + " »";
}


void VisitRecord(sqlite3_context* context, int, sqlite3_value** values) {
  auto* target = static_cast<VisitTarget*>(sqlite3_value_pointer(values[2], kVisitTargetType));
  if (target == nullptr || target->sink == nullptr) {
    sqlite3_result_error(context, "mvdb_visit hors d'un parcours", -1);
    return;
  }
  auto view = [](sqlite3_value* value) {
    const void* bytes = sqlite3_value_blob(value);  // before sqlite3_value_bytes, as SQLite asks
    return bytes == nullptr ? std::string_view()
                            : std::string_view(static_cast<const char*>(bytes),
                                               static_cast<std::size_t>(sqlite3_value_bytes(value)));
  };
  try {
    target->sink->Row(view(values[0]), view(values[1]));
    sqlite3_result_int(context, 0);
  } catch (...) {
    target->error = std::current_exception();
    sqlite3_result_error(context, "parcours interrompu", -1);
  }
}

}  // namespace

void RegisterVisit(sqlite3* db) {
  CheckSqlite(db, sqlite3_create_function_v2(db, "mvdb_visit", 3, SQLITE_UTF8 | SQLITE_DIRECTONLY,
                                             nullptr, &VisitRecord, nullptr, nullptr, nullptr));
}

void RunVisit(Statement& statement, VisitTarget& target) {
  target.error = nullptr;
  try {
    while (statement.Step()) {
    }
  } catch (const SqliteError&) {
    if (target.error) std::rethrow_exception(std::exchange(target.error, nullptr));
    throw;
  }
}

bool SqliteStorage::ReadText(FileState& file, std::string_view key, std::string& text) {
  StatementUse use(file.get);
  use->BindBlob(1, key);
  if (!use->Step()) return false;
  text.assign(use->ColumnBlob(0));
  return true;
}

bool SqliteStorage::ReadRecord(std::string_view file, std::string_view key, std::string& text) {
  FileState& state = RequireFile(file);
  StartReading();
  try {
    return ReadText(state, key, text);
  } catch (const SqliteError& e) {
    throw ComponentError(err::kDatabaseOpen, "base « " + path_ + " » : lecture de " +
                                                 RecordName(file, key) +
                                                 " impossible : " + e.what());
  }
}

bool SqliteStorage::ReadAhead(std::string_view file, const std::vector<std::string>& keys,
                              RowSink& found) {
  if (InTransaction()) return false;
  FileState& state = RequireFile(file);
  StartReading();
  std::string text;
  for (const std::string& key : keys) {
    if (ReadText(state, key, text)) found.Row(key, text);
  }
  return true;
}

void SqliteStorage::Scan(const std::string& file, const AccessPath& access, RowSink& sink) {
  FileState& state = RequireFile(file);
  if (access.kind == AccessPath::Kind::kFullScan && ScanOnTwoCores(state, sink)) return;
  StartReading();
  std::string end;
  switch (access.kind) {
    case AccessPath::Kind::kFullScan: {
      ScanPageCache scan_cache(db_);
      VisitTarget target{&sink, nullptr};
      StatementUse use(state.visit_all);
      use->BindPointer(1, &target, kVisitTargetType);
      RunVisit(state.visit_all, target);
      return;
    }
    case AccessPath::Kind::kKeyEqual: {
      StatementUse use(state.get);
      use->BindBlob(1, access.value);
      if (use->Step()) sink.Row(access.value, use->ColumnBlob(0));
      return;
    }
    case AccessPath::Kind::kKeyPrefix: {
      bool bounded = PrefixEnd(access.value, end);
      Statement& statement = bounded ? state.scan_range : state.scan_from;
      StatementUse use(statement);
      use->BindBlob(1, access.value);
      if (bounded) use->BindBlob(2, end);
      Drain(statement, sink);
      return;
    }
    case AccessPath::Kind::kIndexEqual:
    case AccessPath::Kind::kIndexPrefix:
      break;
  }
  IndexState* index = nullptr;
  for (auto& candidate : state.indexes) {
    if (candidate->name == access.index) index = candidate.get();
  }
  if (index == nullptr) throw SqliteError(SQLITE_SCHEMA, "index « " + access.index + " » disparu");
  if (access.kind == AccessPath::Kind::kIndexEqual) {
    StatementUse use(index->lookup_equal);
    use->BindBlob(1, access.value);
    Drain(index->lookup_equal, sink);
    return;
  }
  bool bounded = PrefixEnd(access.value, end);
  Statement& statement = bounded ? index->lookup_range : index->lookup_from;
  StatementUse use(statement);
  use->BindBlob(1, access.value);
  if (bounded) use->BindBlob(2, end);
  Drain(statement, sink);
}

void SqliteStorage::InsertEntry(IndexState& index, std::string_view value, std::string_view key,
                                std::string_view text) {
  StatementUse use(index.insert);
  use->BindBlob(1, value).BindBlob(2, key);
  if (index.holds_records) use->BindBlob(3, text);
  use->Run();
}

void SqliteStorage::UpdateIndexes(FileState& file, std::string_view key, const std::string* old_text,
                            const std::string* new_text) {
  for (auto& index : file.indexes) {
    if (index->field == nullptr) {
      throw WriteFailure("mise à jour de l'index « " + index->name + " »",
                         index->problem + " ; reconstruisez l'index (mvdb index)");
    }
    const EntryChange change =
        ChangeOfEntries(*index->field, key, old_text, new_text, index->holds_records);
    if (change.remove_old) {
      AnyValue(change.old_value, [&](std::string_view v) {
        StatementUse use(index->remove);
        use->BindBlob(1, v).BindBlob(2, key).Run();
        return false;
      });
    }
    if (change.write_new) {
      AnyValue(change.new_value, [&](std::string_view v) {
        InsertEntry(*index, v, key, *new_text);
        return false;
      });
    }
  }
}

void SqliteStorage::WriteRecord(std::string_view file, std::string_view key, std::string_view text,
                          bool* created) {
  const std::string what = "écriture de " + RecordName(file, key);
  if (!IsValidKey(key)) throw WriteFailure(what, "clé vide ou contenant un séparateur");
  RunWrite(what, [&] {
    FileState& state = RequireFile(file);
    std::string new_text(text);
    if (!state.indexes.empty() || created != nullptr) {
      std::string old_text;
      bool existed = ReadText(state, key, old_text);
      UpdateIndexes(state, key, existed ? &old_text : nullptr, &new_text);
      if (created != nullptr) *created = !existed;
    }
    {
      StatementUse use(state.upsert);
      use->BindBlob(1, key).BindBlob(2, text).Run();
    }
    if (file.starts_with(kDictPrefix)) ApplyDictionaryChange(file, key);
  });
}

void SqliteStorage::DeleteRecord(std::string_view file, std::string_view key) {
  RunWrite("suppression de " + RecordName(file, key), [&] {
    FileState& state = RequireFile(file);
    if (!state.indexes.empty()) {
      std::string old_text;
      if (ReadText(state, key, old_text)) UpdateIndexes(state, key, &old_text, nullptr);
    }
    {
      StatementUse use(state.remove);
      use->BindBlob(1, key).Run();
    }
    if (file.starts_with(kDictPrefix)) ApplyDictionaryChange(file, key);
  });
}

std::shared_ptr<const Field> SqliteStorage::DictItem(std::string_view file, std::string_view name) {
  std::string cache_key = std::string(file) + kAM + std::string(name);  // names hold no mark
  auto found = dictionary_.find(cache_key);
  if (found != dictionary_.end()) return found->second;
  std::shared_ptr<const Field> field;
  FileState* dict = FindFile(DictFileOf(file));
  std::string text;
  if (dict != nullptr && ReadText(*dict, name, text)) {
    field = std::make_shared<Field>(ParseDictItem(name, text));
  }
  dictionary_.emplace(std::move(cache_key), field);
  return field;
}

void SqliteStorage::ApplyDictionaryChange(std::string_view dict_file, std::string_view item) {
  Exec(db_, "UPDATE mvdb_meta SET value = value + 1 WHERE name = 'dict_generation'");
  ++catalog_generation_;
  dictionary_.clear();
  caches_stale_ = true;
  std::string_view base = dict_file.substr(kDictPrefix.size());
  FileState* state = FindFile(base);
  if (state == nullptr) return;
  for (std::size_t i = 0; i < state->indexes.size(); ++i) {
    IndexState& index = *state->indexes[i];
    if (index.name != item) continue;
    std::shared_ptr<const Field> field = DictItem(base, item);
    if (field != nullptr && field->kind == Field::Kind::kExpression) {
      index.field = field;
      index.problem.clear();
      FillIndex(*state, index);
    } else {
      // The item no longer defines an expression of that name: its index has no meaning.
      Statement forget(db_, "DELETE FROM mvdb_index WHERE id = ?1");
      forget.BindInt(1, index.id).Run();
      std::string table = index.table;
      state->indexes.erase(state->indexes.begin() + static_cast<std::ptrdiff_t>(i));
      Exec(db_, "DROP TABLE " + table);
      return;
    }
  }
}

std::int64_t SqliteStorage::FillIndex(FileState& file, IndexState& index) {
  {
    StatementUse use(index.clear);
    use->Run();
  }
  std::int64_t entries = 0;
  StatementUse scan(file.scan_all);
  AttributeIndex attributes;
  std::string scratch;
  while (scan->Step()) {
    std::string_view key = scan->ColumnBlob(0);
    attributes.Reset(scan->ColumnBlob(1));
    RecordView record{key, &attributes};
    AnyValue(index.field->Value(record, scratch), [&](std::string_view v) {
      InsertEntry(index, v, key, scan->ColumnBlob(1));
      entries += sqlite3_changes(db_);
      return false;
    });
  }
  return entries;
}

void SqliteStorage::CreateIndexTable(FileState& file, std::int64_t id, const std::string& name) {
  Exec(db_, "CREATE TABLE x" + std::to_string(id) +
                " (v BLOB NOT NULL, k BLOB NOT NULL, r BLOB NOT NULL, PRIMARY KEY (v, k))"
                " WITHOUT ROWID");
  file.indexes.push_back(std::make_unique<IndexState>(db_, file.table, id, name, true));
}

// Not a RunWrite: the failures of the request itself (unknown file or item, the key) keep
// their numbers.
std::int64_t SqliteStorage::BuildIndex(std::string_view file, std::string_view field_name) {
  const bool began_in_transaction = InTransaction();
  try {
    WriteScope scope(*this);
    ++catalog_generation_;
    FileState& state = RequireFile(file);
    std::shared_ptr<const Field> field = IndexedField(file, field_name);
    std::string name = field->IndexName();
    IndexState* index = nullptr;
    std::size_t at = 0;
    for (; at < state.indexes.size(); ++at) {
      if (state.indexes[at]->name == name) {
        index = state.indexes[at].get();
        break;
      }
    }
    if (index != nullptr && !index->holds_records) {
      // Made again in the layout whose entries hold their record.
      const std::int64_t id = index->id;
      state.indexes.erase(state.indexes.begin() + static_cast<std::ptrdiff_t>(at));
      Exec(db_, "DROP TABLE x" + std::to_string(id));
      CreateIndexTable(state, id, name);
      index = state.indexes.back().get();
    }
    if (index == nullptr) {
      Statement insert(db_, "INSERT INTO mvdb_index (file, field) VALUES (?1, ?2)");
      insert.BindBlob(1, file).BindBlob(2, name).Run();
      CreateIndexTable(state, sqlite3_last_insert_rowid(db_), name);
      index = state.indexes.back().get();
    }
    index->field = field;
    index->problem.clear();
    std::int64_t entries = FillIndex(state, *index);
    scope.Commit();
    return entries;
  } catch (const SqliteError& e) {
    throw WriteFailure("construction de l'index « " + std::string(field_name) + " » de « " +
                           std::string(file) + " »",
                       CauseOfWriteFailure(e, began_in_transaction));
  }
}

}  // namespace varnolde::mvdb
