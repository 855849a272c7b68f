// A PostgreSQL server of its own for a run that stops it on purpose, so that no other test
// loses its server: scripts/pg-test-server.sh, named by a new folder under the temporary
// folder, reached through a Unix socket of its own. The object stops the server and removes
// its cluster and that folder when it goes.
//
// Failures of the server's programs raise std::runtime_error with what they said.
#pragma once

#include <string>

struct pg_conn;  // libpq's connection

namespace varnolde::reliability {

class PrivateServer {
 public:
  PrivateServer();  // initdb and start: a second or so
  // Whether the PostgreSQL programs are installed (scripts/install-deps.sh).
  static bool Installed();
  ~PrivateServer();
  PrivateServer(const PrivateServer&) = delete;
  PrivateServer& operator=(const PrivateServer&) = delete;

  // Creates a database and returns the connection text that names it.
  std::string CreateDatabase(const std::string& name);
  // Stops the server at once (pg_ctl stop -m immediate): every connection is cut, nothing is
  // checkpointed; what was committed is in the write-ahead log.
  void Crash();
  // Starts the server again after Crash; it replays its write-ahead log before it answers.
  void Resume();
  // Runs statements on database, a connection text, on a session of their own (ServerSession).
  static std::string Query(const std::string& database, const std::string& sql);

 private:
  void Script(const std::string& action) const;

  std::string data_;
  std::string conninfo_;
};

// A session as the administrator beside the clerks', which holds what its statements take (a
// transaction, its locks) until it goes.
class ServerSession {
 public:
  explicit ServerSession(const std::string& database);  // a connection text
  ~ServerSession();
  ServerSession(const ServerSession&) = delete;
  ServerSession& operator=(const ServerSession&) = delete;

  // Runs statements (one text, separated by semicolons); returns the first value of the last
  // one's answer ("" when none).
  std::string Query(const std::string& sql);

 private:
  ::pg_conn* connection_;
};

// The server's own check of a database (amcheck): every table's pages and rows
// (verify_heapam), every B-tree index against its table (bt_index_check with heapallindexed).
// "ok" when sound, else what is wrong. Needs the right to create the amcheck extension.
std::string ServerIntegrityCheck(const std::string& database);

}  // namespace varnolde::reliability
