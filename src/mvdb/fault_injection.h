// A database link that fails on purpose, for tests.
//
// FaultInjectingLink wraps another DatabaseLink and forwards everything to it, except that it
// can make a chosen write (DbRecord::DBWrite), delete (DbRecord::DBDelete) or commit
// (DatabaseLink::Commit) fail with ComponentError kWriteFailed, the way a full disk or a lock
// wait that runs out would. An injected write or delete raises before the wrapped link is
// called, so the data is untouched; an injected commit failure rolls the transaction back, as a
// real failed commit does, so the database holds what it held before the transaction. The three
// operations are counted separately, from the moment the link is wrapped; the failures can be
// changed at any time.
//
// Files, records and new records obtained through the wrapper route their DBWrite and DBDelete
// through it. Query results are the wrapped link's. Like any link, it serves one thread.
//
//   auto faulty = varnolde::mvdb::FaultInjectingLink::Wrap(OpenDatabase(path));
//   faulty->FailNth(FaultInjectingLink::Operation::kWrite, 2);  // the 2nd write from now fails
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "components/forwarding.h"

namespace varnolde::mvdb {

class FaultInjectingLink : public ForwardingLink,
                           public std::enable_shared_from_this<FaultInjectingLink> {
 public:
  enum class Operation { kWrite, kDelete, kCommit };

  static std::shared_ptr<FaultInjectingLink> Wrap(std::shared_ptr<DatabaseLink> inner);

  // The n-th operation of that kind from now fails, once (1: the next one); n <= 0 cancels.
  void FailNth(Operation operation, int n);
  // While set, every operation of that kind fails.
  void FailAlways(Operation operation, bool fail);
  // Operations of that kind attempted since wrapping, failed ones included.
  int Attempts(Operation operation) const;
  // Failures injected so far.
  int Injected(Operation operation) const;

  // Counts the operation and raises kWriteFailed when it is due to fail. Records and files of
  // the wrapper call it; tests need not.
  void Check(Operation operation, std::string_view what);

  std::shared_ptr<DbFile> OpenFile(std::string_view name) override;
  std::shared_ptr<DbRecord> NewRecord() override;
  void Commit() override;

  // Wraps a record so that its DBWrite and DBDelete pass through Check.
  std::shared_ptr<DbRecord> WrapRecord(std::shared_ptr<DbRecord> record);

 private:
  explicit FaultInjectingLink(std::shared_ptr<DatabaseLink> inner)
      : ForwardingLink(std::move(inner)) {}

  struct Counter {
    int attempts = 0;
    int injected = 0;
    int fail_at = 0;  // attempt number that fails; 0 = none
    bool always = false;
  };
  Counter& CounterFor(Operation operation);
  const Counter& CounterFor(Operation operation) const;

  Counter writes_, deletes_, commits_;
};

}  // namespace varnolde::mvdb
