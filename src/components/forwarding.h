// Forwarding bases for wrappers of the database contract.
//
// Each passes every operation to the record or link it wraps (and shares), so that a wrapper (a
// fault-injecting link, a link that ignores transactions) derives from it and overrides only
// the operations it changes.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "components/database.h"

namespace varnolde {

class ForwardingRecord : public DbRecord {
 public:
  explicit ForwardingRecord(std::shared_ptr<DbRecord> inner) : inner_(std::move(inner)) {}

  std::string Get() const override { return inner_->Get(); }
  std::string Get(int attribute) const override { return inner_->Get(attribute); }
  std::string Get(int attribute, int value) const override { return inner_->Get(attribute, value); }
  void Set(std::string_view text) override { inner_->Set(text); }
  void Set(int attribute, std::string_view text) override { inner_->Set(attribute, text); }
  void Set(int attribute, int value, std::string_view text) override {
    inner_->Set(attribute, value, text);
  }
  void SetNumber(int attribute, double number) override { inner_->SetNumber(attribute, number); }
  int DCount() const override { return inner_->DCount(); }
  void DBWrite() override { inner_->DBWrite(); }
  void DBDelete() override { inner_->DBDelete(); }

 protected:
  DbRecord& inner() const { return *inner_; }

 private:
  std::shared_ptr<DbRecord> inner_;
};

class ForwardingLink : public DatabaseLink {
 public:
  explicit ForwardingLink(std::shared_ptr<DatabaseLink> inner) : inner_(std::move(inner)) {}

  std::shared_ptr<DbFile> OpenFile(std::string_view name) override {
    return inner_->OpenFile(name);
  }
  std::shared_ptr<DbSelectList> Select(std::string_view request_text,
                                       std::string_view select_list_name,
                                       std::int32_t& count) override {
    return inner_->Select(request_text, select_list_name, count);
  }
  std::shared_ptr<DbRecord> NewRecord() override { return inner_->NewRecord(); }
  void Begin() override { inner_->Begin(); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  void Savepoint(std::string_view name) override { inner_->Savepoint(name); }
  void ReleaseSavepoint(std::string_view name) override { inner_->ReleaseSavepoint(name); }
  void RollbackTo(std::string_view name) override { inner_->RollbackTo(name); }
  bool InTransaction() const override { return inner_->InTransaction(); }
  void Lock(std::string_view name) override { inner_->Lock(name); }
  void BeginReadGroup() override { inner_->BeginReadGroup(); }
  void EndReadGroup() override { inner_->EndReadGroup(); }
  void ReadAhead(std::string_view file, const std::vector<std::string>& keys) override {
    inner_->ReadAhead(file, keys);
  }

 protected:
  DatabaseLink& inner() const { return *inner_; }

 private:
  std::shared_ptr<DatabaseLink> inner_;
};

}  // namespace varnolde
