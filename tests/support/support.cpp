#include "support/support.h"

#include <errno.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include <libpq-fe.h>

#include "mvdb/jsonl.h"

namespace varnolde::test {

ScratchDir::ScratchDir(std::string_view purpose) {
  std::string pattern = (std::filesystem::temp_directory_path() /
                         ("varnolde-" + std::string(purpose) + "-XXXXXX"))
                            .string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed: " + pattern);
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string SourceFile(std::string_view relative) {
  const char* source = std::getenv("VARNOLDE_SOURCE_DIR");
  if (source == nullptr) throw std::runtime_error("VARNOLDE_SOURCE_DIR must name the source tree");
  return std::string(source) + "/" + std::string(relative);
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void LoadLines(const std::string& database, const std::string& json_lines) {
  std::istringstream in(json_lines);
  mvdb::LoadJsonLines(database, in);
}

void LoadFile(const std::string& database, const std::string& jsonl_path) {
  LoadLines(database, Slurp(jsonl_path));
}

std::string Dyn(std::string text) {
  for (char& c : text) {
    if (c == '^') c = '\xFE';
    else if (c == ']') c = '\xFD';
    else if (c == '\\') c = '\xFC';
  }
  return text;
}

ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& input) {
  const ScratchDir scratch("tool");
  const std::string in_path = scratch.File("in"), out_path = scratch.File("out"),
                    err_path = scratch.File("err");
  std::ofstream(in_path, std::ios::binary) << input;
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int in = ::open(in_path.c_str(), O_RDONLY);
    const int out = ::open(out_path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    const int err = ::open(err_path.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ::dup2(in, 0);
    ::dup2(out, 1);
    ::dup2(err, 2);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int raw = 0;
  while (::waitpid(child, &raw, 0) < 0 && errno == EINTR) {
  }
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, Slurp(out_path), Slurp(err_path)};
}

namespace {

// The test server's connection text: VARNOLDE_TEST_SERVER, else the one of this build.
std::string ServerText() {
  const char* server = std::getenv("VARNOLDE_TEST_SERVER");
  return server != nullptr && *server != '\0' ? server : VARNOLDE_TEST_SERVER_DEFAULT;
}

// Runs one statement as the test server's administrator, in its own database or another.
void AsAdministrator(const std::string& sql, const std::string& database = "") {
  const std::string text = ServerText() + (database.empty() ? "" : " dbname=" + database);
  PGconn* connection = PQconnectdb(text.c_str());
  std::string error;
  if (PQstatus(connection) != CONNECTION_OK) {
    error = PQerrorMessage(connection);
  } else {
    PGresult* result = PQexec(connection, sql.c_str());
    if (PQresultStatus(result) != PGRES_COMMAND_OK) error = PQresultErrorMessage(result);
    PQclear(result);
  }
  PQfinish(connection);
  if (!error.empty()) throw std::runtime_error("test server: " + sql + ": " + error);
}

}  // namespace

bool ServerDatabase::Available() {
  return !ServerText().empty() && PQping(ServerText().c_str()) == PQPING_OK;
}

ServerDatabase::ServerDatabase() : ServerDatabase(std::string()) {}

ServerDatabase::ServerDatabase(const std::string& template_database) {
  if (!Available()) throw std::runtime_error("no test server running at " + ServerText());
  static int count = 0;
  database_ = "varnolde_t" + std::to_string(::getpid()) + "_" + std::to_string(++count);
  AsAdministrator("CREATE DATABASE " + database_ +
                  (template_database.empty() ? "" : " TEMPLATE " + template_database));
  name_ = ServerText() + " dbname=" + database_;
}

void ServerDatabase::Execute(const std::string& sql) const { AsAdministrator(sql, database_); }

std::unique_ptr<ServerDatabase> ServerDatabase::CopyOf(const ServerDatabase& original) {
  return std::unique_ptr<ServerDatabase>(new ServerDatabase(original.database_));
}

ServerDatabase::~ServerDatabase() {
  try {
    AsAdministrator("DROP DATABASE IF EXISTS " + database_ + " WITH (FORCE)");
  } catch (const std::exception&) {
    // The server may be down on purpose (a crash test); it goes away with the cluster.
  }
}

}  // namespace varnolde::test
