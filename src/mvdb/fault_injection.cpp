#include "mvdb/fault_injection.h"

#include "components/errors.h"

namespace varnolde::mvdb {
namespace {

class FaultyRecord : public ForwardingRecord {
 public:
  FaultyRecord(std::shared_ptr<DbRecord> inner, std::shared_ptr<FaultInjectingLink> link)
      : ForwardingRecord(std::move(inner)), link_(std::move(link)) {}

  void DBWrite() override {
    link_->Check(FaultInjectingLink::Operation::kWrite, "écriture de « " + inner().Get(0) + " »");
    inner().DBWrite();
  }
  void DBDelete() override {
    link_->Check(FaultInjectingLink::Operation::kDelete,
                 "suppression de « " + inner().Get(0) + " »");
    inner().DBDelete();
  }

 private:
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
  return std::make_shared<FaultyFile>(inner().OpenFile(name), shared_from_this());
}

std::shared_ptr<DbRecord> FaultInjectingLink::NewRecord() {
  return WrapRecord(inner().NewRecord());
}

void FaultInjectingLink::Commit() {
  if (!inner().InTransaction()) return inner().Commit();  // raises kBadTransaction; not counted
  try {
    Check(Operation::kCommit, "validation de la transaction");
  } catch (const ComponentError&) {
    if (inner().InTransaction()) inner().Rollback();
    throw;
  }
  inner().Commit();
}

}  // namespace varnolde::mvdb
