#include "reliability/private_server.h"

#include <libpq-fe.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace varnolde::reliability {
namespace {

// Runs scripts/pg-test-server.sh with action on data; returns its last line of output.
std::string RunScript(const std::string& action, const std::string& data) {
  const std::string command =
      "'" PG_TEST_SERVER_SCRIPT "' " + action + " '" + data + "' 2>&1";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " PG_TEST_SERVER_SCRIPT);
  std::string said;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) said += buffer;
  const int status = ::pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("pg-test-server.sh " + action + " failed: " + said);
  }
  while (!said.empty() && said.back() == '\n') said.pop_back();
  const std::size_t last = said.rfind('\n');
  return last == std::string::npos ? said : said.substr(last + 1);
}

}  // namespace

std::string ServerIntegrityCheck(const std::string& database) {
  const std::string relations = " FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace";
  const std::string in_public = " WHERE n.nspname = 'public' AND c.relkind = ";
  try {
    // bt_index_check raises an error for a damaged index; verify_heapam lists what it finds.
    return PrivateServer::Query(
        database,
        "CREATE EXTENSION IF NOT EXISTS amcheck; SELECT count(bt_index_check(c.oid, true))" +
            relations + in_public + "'i' AND c.relam = (SELECT oid FROM pg_am WHERE amname = "
            "'btree'); SELECT coalesce(string_agg(c.relname || ': ' || v.msg, E'\\n'), 'ok')" +
            relations + " CROSS JOIN LATERAL verify_heapam(c.oid) v" + in_public + "'r'");
  } catch (const std::runtime_error& e) {
    return e.what();
  }
}

PrivateServer::PrivateServer() {
  // A name of its own: the script keeps the cluster in a folder of /tmp named after it.
  std::string pattern =
      (std::filesystem::temp_directory_path() / "varnolde-pg-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  data_ = pattern;
  conninfo_ = RunScript("start", data_);
}

bool PrivateServer::Installed() {
  std::error_code error;
  for (const auto& version : std::filesystem::directory_iterator("/usr/lib/postgresql", error)) {
    if (std::filesystem::exists(version.path() / "bin" / "pg_ctl")) return true;
  }
  return false;
}

PrivateServer::~PrivateServer() {
  try {
    Script("stop");
  } catch (const std::exception&) {
    // Nothing more to do: the cluster is left for whoever looks.
  }
  std::error_code ignored;
  std::filesystem::remove(data_, ignored);  // the name's folder, empty
}

std::string PrivateServer::CreateDatabase(const std::string& name) {
  Query(conninfo_, "CREATE DATABASE " + name);
  return conninfo_ + " dbname=" + name;
}

void PrivateServer::Crash() { Script("crash"); }

void PrivateServer::Resume() { Script("resume"); }

void PrivateServer::Script(const std::string& action) const { RunScript(action, data_); }

std::string PrivateServer::Query(const std::string& database, const std::string& sql) {
  return ServerSession(database).Query(sql);
}

ServerSession::ServerSession(const std::string& database)
    : connection_(PQconnectdb(database.c_str())) {
  PQsetNoticeProcessor(connection_, [](void*, const char*) {}, nullptr);  // notices say nothing
  if (PQstatus(connection_) != CONNECTION_OK) {
    const std::string error = PQerrorMessage(connection_);
    PQfinish(connection_);
    throw std::runtime_error("connection to the server failed: " + error);
  }
}

ServerSession::~ServerSession() { PQfinish(connection_); }

std::string ServerSession::Query(const std::string& sql) {
  PGresult* result = PQexec(connection_, sql.c_str());
  const ExecStatusType status = PQresultStatus(result);
  std::string value, error;
  if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) {
    value = PQgetvalue(result, 0, 0);
  } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
    error = PQresultErrorMessage(result);
  }
  PQclear(result);
  if (!error.empty()) throw std::runtime_error(sql + ": " + error);
  return value;
}

}  // namespace varnolde::reliability
