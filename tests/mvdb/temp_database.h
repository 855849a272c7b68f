// A scratch directory for one test, removed with everything in it when the test ends, helpers
// to fill a database from JSON lines, and the error a statement raises.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "components/errors.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"

namespace varnolde::mvdb::fixture {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "mvdb-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string File(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

// Loads JSON lines (one string, lines separated by '\n') into a new or existing database.
inline void Load(const std::string& db_path, const std::string& lines) {
  std::istringstream in(lines);
  LoadJsonLines(db_path, in);
}

// A dynamic array from a readable form: '^' for the attribute mark, ']' for the value mark,
// '\' for the subvalue mark.
inline std::string Dyn(std::string text) {
  for (char& c : text) {
    if (c == '^')
      c = '\xFE';
    else if (c == ']')
      c = '\xFD';
    else if (c == '\\')
      c = '\xFC';
  }
  return text;
}

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

}  // namespace varnolde::mvdb::fixture
