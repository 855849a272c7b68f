// A full scan of a file on two cores: the same rows as on one, and one state of the file
// however other connections commit meanwhile.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "mvdb/dynarray.h"
#include "mvdb/engine.h"
#include "mvdb/link.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

const OpenOptions kTwoCores{.parallel_scan_min_bytes = 0};
const OpenOptions kOneCore{.parallel_scan_min_bytes = -1};

std::string FullScan(Database& db, const std::string& sentence, const std::string& columns = "0") {
  return RunQuery(db, sentence, columns, PlanOptions{.full_scan_only = true}).text;
}

class TwoCoreScanTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = temp_.File("scan.db");
    OpenMvdb(path_, {.create = true})->CreateFile("F");
  }

  // Writes the records in one transaction.
  void Write(const std::vector<std::pair<std::string, std::string>>& records) {
    auto db = OpenMvdb(path_);
    db->Begin();
    for (const auto& [key, text] : records) db->WriteRecord("F", key, text);
    db->Commit();
  }

  fixture::TempDir temp_;
  std::string path_;
};

TEST_F(TwoCoreScanTest, GivesTheRowsOfAScanOnOneCore) {
  auto two = OpenMvdb(path_, kTwoCores);
  auto one = OpenMvdb(path_, kOneCore);
  EXPECT_EQ(FullScan(*two, "SSELECT F"), "");  // no record
  Write({{"M", "x"}});
  EXPECT_EQ(FullScan(*two, "SSELECT F"), "M");
  // Keys that are prefixes of one another, with bytes 0x00 and 0xFF, a long common prefix,
  // and enough others that every range of the cut holds some.
  std::vector<std::pair<std::string, std::string>> records = {
      {"A", "a"},          {std::string("A\0", 2), "b"}, {"AB", "c"},
      {"AB\xFF\xFF", "d"}, {"\xFF", "e"},                {"\xFF\xFF\x01", "f"},
      {"0", "g"},          {"00", "h"},                  {"000000000000000001", "i"},
      {"\x01", "j"},       {" ", "k"}};
  for (int i = 0; i < 500; ++i) {
    records.emplace_back("K" + std::to_string(i * 7919 % 100000),
                         std::string(1, static_cast<char>('a' + i % 26)));
  }
  Write(records);
  int selected = 0;
  for (const char* sentence :
       {"SSELECT F", "SSELECT F AVEC 1 = \"c\"", "SSELECT F AVEC 1 # \"a\" PAR-DECR 1",
        "SSELECT F AVEC 0 = \"K1]\" PAR 1"}) {
    SCOPED_TRACE(sentence);
    const std::string rows = FullScan(*two, sentence, "0 1");
    EXPECT_EQ(rows, FullScan(*one, sentence, "0 1"));
    if (selected == 0) selected = CountFields(rows, kAM);
  }
  EXPECT_EQ(selected, static_cast<int>(records.size()) + 1);
}

TEST_F(TwoCoreScanTest, SeesOneStateWhileAnotherConnectionCommits) {
  // A token moves between the first and the last key in every transaction: a scan whose two
  // connections saw different states would find it twice or not at all.
  std::vector<std::pair<std::string, std::string>> records = {{"0000", "T"}, {"zzzz", "-"}};
  for (int i = 0; i < 20000; ++i) records.emplace_back("k" + std::to_string(100000 + i), "-");
  Write(records);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    auto db = OpenMvdb(path_);
    for (int t = 1; !done; ++t) {
      db->Begin();
      db->WriteRecord("F", "0000", t % 2 == 0 ? "T" : "-");
      db->WriteRecord("F", "zzzz", t % 2 == 0 ? "-" : "T");
      db->Commit();
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  });
  auto two = OpenMvdb(path_, kTwoCores);
  for (int scan = 0; scan < 200; ++scan) {
    const std::string found = FullScan(*two, "SSELECT F AVEC 1 = \"T\"");
    EXPECT_TRUE(found == "0000" || found == "zzzz") << "scan " << scan << ": " << found;
  }
  done = true;
  writer.join();
}

}  // namespace
}  // namespace varnolde::mvdb
