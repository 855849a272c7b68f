// The database component as the panel sees it.
//
// A DatabaseLink is a connection to one multivalue database. It opens tables (DbFile), runs
// query sentences (Select) and makes new empty records. Records are dynamic arrays: attributes
// separated by the attribute mark (0xFE), values by the value mark (0xFD), subvalues by the
// subvalue mark (0xFC); text is UTF-8, in which these bytes never occur.
//
// DbRecord is read and written by attribute:
//   Get()            the whole record text (attributes joined by 0xFE)
//   Get(a)           attribute a, numbered from 1; Get(0) is the record key
//   Get(a, v)        value v (from 1) of attribute a
// Reading past the end gives the empty text, never an error.
//
// A record read from a file by DbFile::Read or DbFile::ReadForUpdate is tied to that file and
// key: DBWrite stores it, DBDelete removes it. A record made by DatabaseLink::NewRecord is tied
// to nothing; DBWrite or DBDelete on it raises kRecordNotTied.
//
// DbSelectList is a query result: a read-only record whose attributes are rows (row r = the
// r-th selected record in sort order) and whose values are columns (column k = the k-th entry
// of the request's attribute list). Its whole text is empty when nothing was selected; row 0
// and rows past the last read as empty texts; DCount is the number of rows.
//
// Failures are raised as ComponentError (components/errors.h): kRecordNotFound for Read of a
// missing key; kWriteFailed for any write, delete or commit that does not complete (lock wait
// exhausted, disk full, read-only database, failed commit); kUnknownFile, kBadQuery,
// kUnknownDictItem, kRecordNotTied, kBadTransaction for the rest. After a kWriteFailed the
// database holds what it held before the failed operation.
//
// Transactions: Begin starts one; until Commit, writes and deletes are visible to this link
// only and are undone by Rollback. Savepoint(name) marks a point inside the transaction,
// RollbackTo(name) undoes what came after it (the savepoint stays), ReleaseSavepoint(name)
// forgets it. Outside a transaction every DBWrite and DBDelete is its own durable commit.
// Commit is durable: once it returns, the data survives a crash or power cut.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnolde {

inline constexpr char kAttributeMark = '\xFE';
inline constexpr char kValueMark = '\xFD';
inline constexpr char kSubvalueMark = '\xFC';

class DbRecord {
 public:
  virtual ~DbRecord() = default;

  virtual std::string Get() const = 0;
  virtual std::string Get(int attribute) const = 0;
  virtual std::string Get(int attribute, int value) const = 0;

  // Replaces the whole text; Set("") empties the record (its key and tie are kept).
  virtual void Set(std::string_view text) = 0;
  // Replaces attribute a (a >= 1), adding empty attributes before it when needed.
  virtual void Set(int attribute, std::string_view text) = 0;
  virtual void Set(int attribute, int value, std::string_view text) = 0;
  // Stores a double-precision number as its canonical text: no exponent, no trailing zeros
  // in the decimals, rounded to 9 decimals (123456.00000000001 -> "123456", 5 -> "5").
  virtual void SetNumber(int attribute, double number) = 0;

  // Number of attributes (rows of a query result); 0 when the whole text is empty.
  virtual int DCount() const = 0;

  virtual void DBWrite() = 0;
  virtual void DBDelete() = 0;
};

class DbSelectList : public DbRecord {};

class DbFile {
 public:
  virtual ~DbFile() = default;
  virtual std::string Name() const = 0;
  // The record stored under key; raises kRecordNotFound when there is none.
  virtual std::shared_ptr<DbRecord> Read(std::string_view key) = 0;
  // The stored record, or an empty record when there is none; either way tied to this file
  // and key, ready to be filled and written.
  virtual std::shared_ptr<DbRecord> ReadForUpdate(std::string_view key) = 0;
};

class DatabaseLink {
 public:
  virtual ~DatabaseLink() = default;

  // Raises kUnknownFile for a table the database does not have.
  virtual std::shared_ptr<DbFile> OpenFile(std::string_view name) = 0;

  // Runs the request whose whole text is request_text: attribute 1 the query sentence,
  // attribute 2 the table, attribute 3 the attribute list (numbers separated by single blanks,
  // 0 the key). select_list_name and count are kept for the callers' sake and not used.
  virtual std::shared_ptr<DbSelectList> Select(std::string_view request_text,
                                               std::string_view select_list_name,
                                               std::int32_t& count) = 0;

  virtual std::shared_ptr<DbRecord> NewRecord() = 0;

  virtual void Begin() = 0;
  virtual void Commit() = 0;
  virtual void Rollback() = 0;
  virtual void Savepoint(std::string_view name) = 0;
  virtual void ReleaseSavepoint(std::string_view name) = 0;
  virtual void RollbackTo(std::string_view name) = 0;
  virtual bool InTransaction() const = 0;
  // Holds the lock named name until the transaction ends: two transactions that take the same
  // name run one after the other, so that what one checked cannot change before it writes. A
  // database that runs one writing transaction at a time needs nothing more. Raises
  // kBadTransaction outside a transaction, kWriteFailed when the lock cannot be had in time.
  virtual void Lock(std::string_view name) = 0;

  // Groups the reads of one clerk action. Between BeginReadGroup and the matching
  // EndReadGroup (pairs nest; the outermost pair counts) the link may answer every read from one
  // view of the database, taken at the group's first read: a record read again, or read after a
  // query found it, is the one already seen. A transaction begun inside a group reads and writes
  // the database as it is. The defaults do nothing.
  virtual void BeginReadGroup() {}
  virtual void EndReadGroup() {}
  // The records of file under keys will be read soon, one by one. A link that pays for each
  // request (a server) may read them all at once: inside a read group it then answers the
  // reads from what it got, an absent record included; inside a transaction it may lock the
  // records it found and answer the transaction's reads of them. Only a hint: nothing is
  // raised, and each read raises what it raises. The default does nothing.
  virtual void ReadAhead(std::string_view file, const std::vector<std::string>& keys) {}
};

}  // namespace varnolde
