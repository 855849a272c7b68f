// A fresh copy of the demo database (examples/demo.jsonl) in a temporary directory of its own,
// removed with the object. Tests that change records each get their own copy.
#pragma once

#include <filesystem>
#include <string>

namespace varnolde::testing {

class DemoDatabase {
 public:
  DemoDatabase();
  ~DemoDatabase();
  DemoDatabase(const DemoDatabase&) = delete;
  DemoDatabase& operator=(const DemoDatabase&) = delete;

  const std::string& Path() const { return path_; }
  const std::filesystem::path& Directory() const { return directory_; }
  // Writes a script file into the directory and returns its path.
  std::string WriteScript(const std::string& name, const std::string& text) const;
  // examples/NAME in the source tree.
  static std::string Example(const std::string& name);

 private:
  std::filesystem::path directory_;
  std::string path_;
};

}  // namespace varnolde::testing
