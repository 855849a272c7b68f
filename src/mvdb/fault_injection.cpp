#include "mvdb/fault_injection.h"

#include "components/errors.h"

namespace varnolde::mvdb {
namespace {

class FaultyRecord : public DbRecord {
 public:
  FaultyRecord(std::shared_ptr<DbRecord> inner, std::shared_ptr<FaultInjectingLink> link)
      : inner_(std::move(inner)), link_(std::move(link)) {}

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
  void DBWrite() override {
    link_->Check(FaultInjectingLink::Operation::kWrite, "écriture de « " + inner_->Get(0) + " »");
    inner_->DBWrite();
  }
  void DBDelete() override {
    link_->Check(FaultInjectingLink::Operation::kDelete,
                 "suppression de « " + inner_->Get(0) + " »");
    inner_->DBDelete();
  }

 private:
  std::shared_ptr<DbRecord> inner_;
  std::shared_ptr<FaultInjectingLink> link_;
};

class FaultyFile : public DbFile {
 public:
  FaultyFile(std::shared_ptr<DbFile> inner, std::shared_ptr<FaultInjectingLink> link)
      : inner_(std::move(inner)), link_(std::move(link)) {}
  std::string Name() const override { return inner_->Name(); }
  std::shared_ptr<DbRecord> Read(std::string_view key) override {
    return link_->WrapRecord(inner_->Read(key));
  }
  std::shared_ptr<DbRecord> ReadForUpdate(std::string_view key) override {
    return link_->WrapRecord(inner_->ReadForUpdate(key));
  }

 private:
  std::shared_ptr<DbFile> inner_;
  std::shared_ptr<FaultInjectingLink> link_;
};

}  // namespace

std::shared_ptr<FaultInjectingLink> FaultInjectingLink::Wrap(std::shared_ptr<DatabaseLink> inner) {
  return std::shared_ptr<FaultInjectingLink>(new FaultInjectingLink(std::move(inner)));
}

FaultInjectingLink::Counter& FaultInjectingLink::CounterFor(Operation operation) {
  switch (operation) {
    case Operation::kWrite:
      return writes_;
    case Operation::kDelete:
      return deletes_;
    case Operation::kCommit:
      return commits_;
  }
  return writes_;
}

const FaultInjectingLink::Counter& FaultInjectingLink::CounterFor(Operation operation) const {
  return const_cast<FaultInjectingLink*>(this)->CounterFor(operation);
}

void FaultInjectingLink::FailNth(Operation operation, int n) {
  Counter& counter = CounterFor(operation);
  counter.fail_at = n > 0 ? counter.attempts + n : 0;
}

void FaultInjectingLink::FailAlways(Operation operation, bool fail) {
  CounterFor(operation).always = fail;
}

int FaultInjectingLink::Attempts(Operation operation) const {
  return CounterFor(operation).attempts;
}

int FaultInjectingLink::Injected(Operation operation) const {
  return CounterFor(operation).injected;
}

void FaultInjectingLink::Check(Operation operation, std::string_view what) {
  Counter& counter = CounterFor(operation);
  ++counter.attempts;
  bool due = counter.always || counter.attempts == counter.fail_at;
  if (counter.attempts == counter.fail_at) counter.fail_at = 0;
  if (!due) return;
  ++counter.injected;
  throw ComponentError(err::kWriteFailed, std::string(what) + " impossible : panne simulée");
}

std::shared_ptr<DbRecord> FaultInjectingLink::WrapRecord(std::shared_ptr<DbRecord> record) {
  return std::make_shared<FaultyRecord>(std::move(record), shared_from_this());
}

std::shared_ptr<DbFile> FaultInjectingLink::OpenFile(std::string_view name) {
  return std::make_shared<FaultyFile>(inner_->OpenFile(name), shared_from_this());
}

std::shared_ptr<DbSelectList> FaultInjectingLink::Select(std::string_view request_text,
                                                         std::string_view select_list_name,
                                                         std::int32_t& count) {
  return inner_->Select(request_text, select_list_name, count);
}

std::shared_ptr<DbRecord> FaultInjectingLink::NewRecord() {
  return WrapRecord(inner_->NewRecord());
}

void FaultInjectingLink::Commit() {
  if (!inner_->InTransaction()) return inner_->Commit();  // raises kBadTransaction; not counted
  try {
    Check(Operation::kCommit, "validation de la transaction");
  } catch (const ComponentError&) {
    if (inner_->InTransaction()) inner_->Rollback();
    throw;
  }
  inner_->Commit();
}

}  // namespace varnolde::mvdb
