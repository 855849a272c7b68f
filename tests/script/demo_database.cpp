#include "script/demo_database.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "mvdb/jsonl.h"

namespace varnolde::testing {

std::string DemoDatabase::Example(const std::string& name) {
  const char* source = std::getenv("VARNOLDE_SOURCE_DIR");
  if (source == nullptr) throw std::runtime_error("VARNOLDE_SOURCE_DIR must name the source tree");
  return std::string(source) + "/examples/" + name;
}

DemoDatabase::DemoDatabase() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string test = info ? std::string(info->test_suite_name()) + "-" + info->name() : "x";
  for (char& c : test) {
    if (c == '/') c = '_';  // parameterised test names
  }
  directory_ = std::filesystem::temp_directory_path() /
               ("varnolde-script-" + test + "-" + std::to_string(::getpid()));
  std::filesystem::remove_all(directory_);
  std::filesystem::create_directories(directory_);
  path_ = (directory_ / "demo.db").string();
  std::ifstream demo(Example("demo.jsonl"), std::ios::binary);
  if (!demo) throw std::runtime_error("cannot read examples/demo.jsonl");
  mvdb::LoadJsonLines(path_, demo);
}

DemoDatabase::~DemoDatabase() {
  std::error_code ignored;
  std::filesystem::remove_all(directory_, ignored);
}

std::string DemoDatabase::WriteScript(const std::string& name, const std::string& text) const {
  const std::string path = (directory_ / name).string();
  std::ofstream(path, std::ios::binary) << text;
  return path;
}

}  // namespace varnolde::testing
