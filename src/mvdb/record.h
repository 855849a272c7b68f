// The engine's records: dynamic-array texts read and written by attribute (components/database.h).
//
// A record tied to a file holds a RecordStore (the engine) and the file's name, so that DBWrite
// and DBDelete reach the database; a free record holds none and refuses both with
// kRecordNotTied. A query result is a record of rows that remembers its row count, since one row
// whose columns are all empty has the empty text.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "components/database.h"
#include "mvdb/dynarray.h"

namespace varnolde::mvdb {

class RecordStore {
 public:
  virtual ~RecordStore() = default;
  virtual void StoreRecord(std::string_view file, std::string_view key, std::string_view text) = 0;
  virtual void RemoveRecord(std::string_view file, std::string_view key) = 0;
};

template <class Base>
class TextRecordOf : public Base {
 public:
  TextRecordOf(std::string key, std::string text, std::shared_ptr<RecordStore> store,
               std::string file)
      : key_(std::move(key)),
        text_(std::move(text)),
        store_(std::move(store)),
        file_(std::move(file)) {
    index_.Reset(text_);
  }

  std::string Get() const override { return text_; }
  std::string Get(int attribute) const override;
  std::string Get(int attribute, int value) const override;
  void Set(std::string_view text) override;
  void Set(int attribute, std::string_view text) override;
  void Set(int attribute, int value, std::string_view text) override;
  void SetNumber(int attribute, double number) override;
  int DCount() const override { return index_.Count(); }
  void DBWrite() override;
  void DBDelete() override;

 protected:
  void Replace(std::string text);

  std::string key_;
  std::string text_;
  mutable AttributeIndex index_;  // borrows text_; reset by every change
  std::shared_ptr<RecordStore> store_;
  std::string file_;
};

using TextRecord = TextRecordOf<DbRecord>;

class SelectList : public TextRecordOf<DbSelectList> {
 public:
  SelectList(std::string text, int rows)
      : TextRecordOf<DbSelectList>("", std::move(text), nullptr, ""), rows_(rows) {}
  int DCount() const override { return rows_ >= 0 ? rows_ : index_.Count(); }
  void Set(std::string_view text) override;
  void Set(int attribute, std::string_view text) override;
  void Set(int attribute, int value, std::string_view text) override;

 private:
  int rows_;  // -1 once the text was changed: then the text tells
};

extern template class TextRecordOf<DbRecord>;
extern template class TextRecordOf<DbSelectList>;

}  // namespace varnolde::mvdb
