// Runs the query test files of tests/mvdb/queries/*.test, one test per file.
//
// Format, line by line ('#' starts a comment line; blank lines are ignored):
//   data                      a fresh database; the lines after it, up to the next directive:
//     {"file":...}            a record as a JSON line (mvdb load format), or
//     record FILE KEY N=V...  a record by attribute number; '|' separates values, N= is empty
//   index FILE FIELD          builds a secondary index on the current database
//   query SENTENCE            a case: the sentence, run as planned and as a full scan
//   columns LIST              the case's attribute list (default 0)
//   [...]                     an expected row, as `mvdb query` prints it
//   none                      the case selects nothing
//   error 0xNUMBER [position N]   the case fails with that number (and position)
//   explain SENTENCE          a plan case, followed by its expected lines:
//   | LINE                    one line of the expected plan
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "components/errors.h"
#include "mvdb/dynarray.h"
#include "mvdb/engine.h"
#include "mvdb/jsonl.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

std::filesystem::path QueryDirectory() {
  const char* env = std::getenv("VARNOLDE_SOURCE_DIR");
  std::filesystem::path root = env != nullptr ? env : VARNOLDE_TEST_SOURCE_DIR;
  return root / "tests" / "mvdb" / "queries";
}

std::vector<std::string> QueryFiles() {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(QueryDirectory(), error)) {
    if (entry.path().extension() == ".test") names.push_back(entry.path().stem().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Rows as `mvdb query` prints them.
std::vector<std::string> RowsAsJson(const QueryResult& result, int columns) {
  std::vector<std::string> rows;
  for (int r = 1; r <= result.rows; ++r) {
    std::string_view row = ExtractField(result.text, kAM, r);
    nlohmann::json line = nlohmann::json::array();
    for (int c = 1; c <= columns; ++c) {
      std::string_view column = ExtractField(row, kVM, c);
      if (column.find(kSVM) == std::string_view::npos) {
        line.push_back(std::string(column));
      } else {
        nlohmann::json values = nlohmann::json::array();
        for (int v = 1; v <= CountFields(column, kSVM); ++v) {
          values.push_back(std::string(ExtractField(column, kSVM, v)));
        }
        line.push_back(values);
      }
    }
    rows.push_back(line.dump());
  }
  return rows;
}

std::string CompactRecordLine(const std::string& line, const std::string& where) {
  std::istringstream words(line);
  std::string directive, file, key, assignment;
  words >> directive >> file >> key;
  std::string text;
  while (words >> assignment) {
    std::size_t equals = assignment.find('=');
    int attribute =
        equals == std::string::npos ? 0 : std::atoi(assignment.substr(0, equals).c_str());
    if (attribute < 1) {
      ADD_FAILURE() << where << ": bad attribute assignment " << assignment;
      continue;
    }
    std::string value = assignment.substr(equals + 1);
    for (char& c : value) {
      if (c == '|') c = kVM;
    }
    text = ReplaceField(text, kAM, attribute, value);
  }
  return RecordJsonLine(file, key, text);
}

struct Case {
  int line = 0;
  bool explain = false;
  std::string sentence;
  std::string columns = "0";
  std::vector<std::string> rows;
  bool expect_none = false;
  std::optional<ErrorNumber> error;
  std::optional<int> error_position;
  std::vector<std::string> plan;
};

class QueryFileRunner {
 public:
  // On a server, each data section is a database of its own on the test server.
  QueryFileRunner(std::string name, bool on_server)
      : name_(std::move(name)), on_server_(on_server) {}

  void Run() {
    std::ifstream in(QueryDirectory() / (name_ + ".test"));
    ASSERT_TRUE(in) << "cannot read " << name_ << ".test";
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
      ++number;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      Handle(line, number);
    }
    FinishCase();
    FlushData();
  }

 private:
  std::string Where(int line) const { return name_ + ".test:" + std::to_string(line); }

  void Handle(const std::string& line, int number) {
    if (line.empty() || line[0] == '#') return;
    if (in_data_ && (line[0] == '{' || line.rfind("record ", 0) == 0)) {
      data_ += (line[0] == '{' ? line : CompactRecordLine(line, Where(number))) + "\n";
      return;
    }
    if (line == "data") {
      FinishCase();
      FlushData();
      database_.reset();
      if (on_server_) {
        servers_.push_back(std::make_unique<test::ServerDatabase>());
        db_path_ = servers_.back()->Name();
      } else {
        db_path_ = temp_.File("db" + std::to_string(number));
      }
      in_data_ = true;
      return;
    }
    if (line.rfind("index ", 0) == 0) {
      FinishCase();
      FlushData();
      std::istringstream words(line.substr(6));
      std::string file, field;
      words >> file >> field;
      Database().CreateIndex(file, field);
      return;
    }
    if (line.rfind("query ", 0) == 0 || line.rfind("explain ", 0) == 0) {
      FinishCase();
      FlushData();
      current_.emplace();
      current_->line = number;
      current_->explain = line[0] == 'e';
      current_->sentence = line.substr(current_->explain ? 8 : 6);
      return;
    }
    if (!current_) {
      ADD_FAILURE() << Where(number) << ": line outside a case: " << line;
      return;
    }
    if (line.rfind("columns ", 0) == 0) {
      current_->columns = line.substr(8);
    } else if (line[0] == '[') {
      current_->rows.push_back(nlohmann::json::parse(line).dump());
    } else if (line == "none") {
      current_->expect_none = true;
    } else if (line.rfind("error ", 0) == 0) {
      std::istringstream words(line.substr(6));
      std::string hex, word;
      int position = 0;
      words >> hex;
      current_->error = static_cast<ErrorNumber>(std::stoul(hex, nullptr, 16));
      if (words >> word >> position && word == "position") current_->error_position = position;
    } else if (line[0] == '|') {
      current_->plan.push_back(line.size() > 2 ? line.substr(2) : "");
    } else {
      ADD_FAILURE() << Where(number) << ": unknown line: " << line;
    }
  }

  mvdb::Database& Database() {
    // On a file, every full scan reads the file on two cores, however small.
    if (!database_) database_ = OpenMvdb(db_path_, {.parallel_scan_min_bytes = 0});
    return *database_;
  }

  void FlushData() {
    if (!in_data_) return;
    in_data_ = false;
    fixture::Load(db_path_, data_);
    data_.clear();
  }

  void FinishCase() {
    if (!current_) return;
    Case c = std::move(*current_);
    current_.reset();
    SCOPED_TRACE(Where(c.line) + ": " + c.sentence);
    if (c.explain) {
      std::string expected;
      for (const std::string& line : c.plan) expected += line + "\n";
      // A server adds the statement it runs for each scan after the plan.
      std::string plan = Database().Explain(c.sentence);
      const std::size_t server = plan.find("SERVER SELECT ");
      EXPECT_EQ(server != std::string::npos, on_server_) << plan;
      if (server != std::string::npos) plan.resize(server);
      EXPECT_EQ(plan, expected);
      return;
    }
    int columns = 0;
    std::istringstream names(c.columns);
    for (std::string n; names >> n;) ++columns;
    for (bool full_scan : {false, true}) {
      SCOPED_TRACE(full_scan ? "as a full scan" : "as planned");
      try {
        QueryResult result =
            RunQuery(Database(), c.sentence, c.columns, PlanOptions{.full_scan_only = full_scan});
        EXPECT_FALSE(c.error.has_value()) << "expected error " << FormatErrorNumber(*c.error);
        EXPECT_TRUE(c.expect_none || !c.rows.empty()) << "case without expectation";
        EXPECT_EQ(result.columns, std::max(columns, 1));  // an empty list is "0"
        EXPECT_EQ(RowsAsJson(result, columns), c.rows);
        EXPECT_EQ(result.text.empty(), c.rows.empty());
      } catch (const ComponentError& e) {
        ASSERT_TRUE(c.error.has_value())
            << "unexpected error " << FormatErrorNumber(e.number()) << ": " << e.what();
        EXPECT_EQ(FormatErrorNumber(e.number()), FormatErrorNumber(*c.error)) << e.what();
        if (c.error_position) {
          EXPECT_NE(
              std::string(e.what()).find("position " + std::to_string(*c.error_position) + " "),
              std::string::npos)
              << e.what();
        }
      }
    }
  }

  std::string name_;
  bool on_server_;
  fixture::TempDir temp_;
  std::vector<std::unique_ptr<test::ServerDatabase>> servers_;
  std::string db_path_;
  std::shared_ptr<mvdb::Database> database_;
  bool in_data_ = false;
  std::string data_;
  std::optional<Case> current_;
};

// Every query file on a local file and on the test server.
class QueryFile : public ::testing::TestWithParam<std::tuple<std::string, bool>> {};

TEST_P(QueryFile, SelectsWhatItSays) {
  const auto& [name, on_server] = GetParam();
  if (on_server && !test::ServerDatabase::Available()) GTEST_SKIP() << "no test server";
  QueryFileRunner(name, on_server).Run();
}

INSTANTIATE_TEST_SUITE_P(Queries, QueryFile,
                         ::testing::Combine(::testing::ValuesIn(QueryFiles()), ::testing::Bool()),
                         [](const auto& param_info) {
                           std::string name = std::get<0>(param_info.param);
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name + (std::get<1>(param_info.param) ? "_server" : "_file");
                         });

TEST(QueryFiles, ArePresent) { EXPECT_GE(QueryFiles().size(), 4u) << QueryDirectory(); }

}  // namespace
}  // namespace varnolde::mvdb
