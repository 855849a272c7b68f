// Choosing the storage by the database's name, and what both storages share.
#include "mvdb/storage.h"

#include "components/errors.h"
#include "mvdb/dynarray.h"
#include "mvdb/server/server_storage.h"
#include "mvdb/sqlite_storage.h"

namespace varnolde::mvdb {

std::unique_ptr<Storage> Storage::Open(const std::string& name, const OpenOptions& options) {
  if (IsServerName(name)) return ServerStorage::Open(name, options);
  return SqliteStorage::Open(name, options);
}

std::shared_ptr<const Field> Storage::IndexedField(std::string_view file,
                                                   std::string_view field_name) {
  int attribute = 0;
  std::shared_ptr<const Field> field;
  if (ParseAttributeNumber(field_name, attribute)) {
    if (attribute != 0) return std::make_shared<Field>(AttributeField(attribute));
  } else {
    field = DictItem(file, field_name);
    if (field == nullptr) {
      throw ComponentError(err::kUnknownDictItem, "élément de dictionnaire « " +
                                                      std::string(field_name) + " » inconnu dans " +
                                                      DictFileOf(file));
    }
    if (field->kind != Field::Kind::kKey) return field;
  }
  throw ComponentError(err::kBadQuery, "la clé (attribut 0) n'a pas besoin d'index");
}

std::string Storage::IndexedValue(const Field& field, std::string_view key, std::string_view text) {
  AttributeIndex attributes(text);
  RecordView record{key, &attributes};
  std::string scratch;
  return std::string(field.Value(record, scratch));
}

Storage::EntryChange Storage::ChangeOfEntries(const Field& field, std::string_view key,
                                              const std::string* old_text,
                                              const std::string* new_text,
                                              bool entries_hold_records) {
  EntryChange change;
  if (old_text != nullptr) change.old_value = IndexedValue(field, key, *old_text);
  if (new_text != nullptr) change.new_value = IndexedValue(field, key, *new_text);
  const bool same_value =
      old_text != nullptr && new_text != nullptr && change.old_value == change.new_value;
  change.remove_old = old_text != nullptr && !same_value;
  change.write_new =
      new_text != nullptr && (!same_value || (entries_hold_records && *old_text != *new_text));
  return change;
}

bool Storage::IsValidKey(std::string_view key) {
  bool valid = !key.empty();
  for (char c : key) valid = valid && !IsMark(c);
  return valid;
}

std::size_t Storage::FindSavepoint(std::string_view name) const {
  if (!InTransaction())
    throw ComponentError(err::kBadTransaction, "point de reprise hors transaction");
  for (std::size_t i = savepoints_.size(); i > 0; --i) {
    if (savepoints_[i - 1] == name) return i - 1;
  }
  throw ComponentError(err::kBadTransaction,
                       "point de reprise « " + std::string(name) + " » inconnu");
}

}  // namespace varnolde::mvdb
