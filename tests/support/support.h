// What every test of this tree shares: a scratch folder per test, databases filled from JSON
// lines, files of the source tree, the error number a statement raises, and the project's
// programs run as a person runs them.
//
// Everything here raises std::runtime_error for a fault of the test environment (no source
// tree named, a file missing); the code under test raises its own errors.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "components/errors.h"

namespace varnolde::test {

// A new folder under the system's temporary folder, removed with everything in it at the end.
class ScratchDir {
 public:
  explicit ScratchDir(std::string_view purpose = "test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string File(std::string_view name) const { return (path_ / name).string(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A file of the source tree ("examples/demo.jsonl"); VARNOLDE_SOURCE_DIR names the tree.
std::string SourceFile(std::string_view relative);
std::string Slurp(const std::string& path);

// Stores JSON lines (the load format) into the database at path, creating it when missing.
void LoadLines(const std::string& database, const std::string& json_lines);
void LoadFile(const std::string& database, const std::string& jsonl_path);

// A dynamic array from a readable form: '^' attribute mark, ']' value mark, '\' subvalue mark.
std::string Dyn(std::string text);

// The number of the ComponentError the statement raises, 0 when it raises none.
template <class Statement>
ErrorNumber ErrorOf(Statement&& statement) {
  try {
    statement();
  } catch (const ComponentError& e) {
    return e.number();
  }
  return 0;
}

// A program run to its end with arguments and standard input, its outputs caught.
struct ToolRun {
  int status = -1;     // exit status; -1 when ended by a signal
  std::string out;
  std::string err;
};
ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& input = "");

// A database of its own on the test suite's PostgreSQL server, dropped with the object. The
// server is the one ctest starts (scripts/pg-test-server.sh) for the tests that need it;
// VARNOLDE_TEST_SERVER may name another. When none answers, Available() is false and a test of
// the server storage skips.
class ServerDatabase {
 public:
  ServerDatabase();
  ~ServerDatabase();
  // A new database holding what original holds (CREATE DATABASE ... TEMPLATE, fast for small
  // ones); nobody may be connected to original meanwhile.
  static std::unique_ptr<ServerDatabase> CopyOf(const ServerDatabase& original);
  ServerDatabase(const ServerDatabase&) = delete;
  ServerDatabase& operator=(const ServerDatabase&) = delete;

  static bool Available();
  // The connection text naming this database, as the programs take it.
  const std::string& Name() const { return name_; }
  // Runs one SQL statement in this database as the server's administrator.
  void Execute(const std::string& sql) const;

 private:
  explicit ServerDatabase(const std::string& template_database);

  std::string database_;
  std::string name_;
};

}  // namespace varnolde::test
