// The two storages the reliability tests run on: a database file, and a database of its own on
// the test suite's PostgreSQL server (those cases skip when no test server answers).
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "support/support.h"

namespace varnolde::reliability {

enum class Where { kFile, kServer };

inline std::string WhereName(const ::testing::TestParamInfo<Where>& info) {
  return info.param == Where::kServer ? "server" : "file";
}

// Whether the cases on where must skip: a server case when no test server answers.
inline bool NoServerFor(Where where) {
  return where == Where::kServer && !test::ServerDatabase::Available();
}

// Databases on one storage, each known by a name of the test's choosing and named as the
// programs take it (a path or a connection text); all go with the object.
class Databases {
 public:
  explicit Databases(Where where) : where_(where) {}

  // A new empty database; one made before under the same name goes.
  std::string New(const std::string& name) {
    if (where_ == Where::kFile) {
      std::filesystem::remove(dir_.File(name));
      return dir_.File(name);
    }
    servers_[name].reset();
    servers_[name] = std::make_unique<test::ServerDatabase>();
    return servers_[name]->Name();
  }

  // A new database holding what the one made under original holds; one made before under the
  // same name goes. Nobody may be connected to original meanwhile.
  std::string Copy(const std::string& original, const std::string& name) {
    if (where_ == Where::kFile) {
      std::filesystem::remove(dir_.File(name));
      std::filesystem::copy_file(dir_.File(original), dir_.File(name));
      return dir_.File(name);
    }
    servers_[name].reset();
    servers_[name] = test::ServerDatabase::CopyOf(*servers_.at(original));
    return servers_[name]->Name();
  }

  const test::ScratchDir& dir() const { return dir_; }

 private:
  Where where_;
  test::ScratchDir dir_{"reliability"};
  std::map<std::string, std::unique_ptr<test::ServerDatabase>> servers_;
};

}  // namespace varnolde::reliability
