// The synthetic employer: same seed, same records; the sizes asked for; refusals that leave the
// database as it was; and the engine's plans over it.
#include "mvdb/generate.h"

#include <gtest/gtest.h>

#include <sstream>

#include "components/errors.h"
#include "mvdb/engine.h"
#include "mvdb/jsonl.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

using fixture::TempDir;

constexpr GenerateOptions kSmall{.caregivers = 120, .contracts = 600, .advances = 1500, .seed = 7};

std::shared_ptr<Database> Generated(const TempDir& dir, const std::string& name,
                                    const GenerateOptions& options) {
  auto database = OpenMvdb(dir.File(name), OpenOptions{.create = true});
  GenerateDatabase(*database, options);
  return database;
}

std::string Dump(Database& database) {
  std::ostringstream out;
  DumpJsonLines(database, {}, out);
  return out.str();
}

std::int64_t CountRecords(Database& database, std::string_view file) {
  std::int64_t count = 0;
  database.ForEachRecord(file, [&](std::string_view, std::string_view) { ++count; });
  return count;
}

TEST(Generate, SameSeedSameRecordsOtherSeedOtherRecords) {
  TempDir dir;
  auto first = Generated(dir, "a.db", kSmall);
  auto second = Generated(dir, "b.db", kSmall);
  GenerateOptions other = kSmall;
  other.seed = 8;
  auto third = Generated(dir, "c.db", other);
  const std::string dump = Dump(*first);
  EXPECT_EQ(dump, Dump(*second));
  EXPECT_NE(dump, Dump(*third));
}

TEST(Generate, WritesTheCountsAskedForAndReportsThem) {
  TempDir dir;
  auto database = OpenMvdb(dir.File("g.db"), OpenOptions{.create = true});
  auto written = GenerateDatabase(*database, kSmall);
  EXPECT_EQ(CountRecords(*database, "CIVILAIDANT"), kSmall.caregivers);
  EXPECT_EQ(CountRecords(*database, "CONTRAT"), kSmall.contracts);
  EXPECT_EQ(CountRecords(*database, "ACOMPTEBULL"), kSmall.advances);
  EXPECT_EQ(written["CONTRAT"], kSmall.contracts);
  EXPECT_EQ(written["ACOMPTEBULL"], kSmall.advances);
  EXPECT_GE(CountRecords(*database, "ASSOCIATION"), 2);
  EXPECT_GT(CountRecords(*database, "CIVILAIDE"), 0);
  EXPECT_GT(CountRecords(*database, "DETAILCALCUL"), 0);
  EXPECT_EQ(written["DETAILCALCUL"], CountRecords(*database, "DETAILCALCUL"));
}

// The engine plans a sentence once per shape and puts each sentence's values into the plan:
// sentences sent one after another with other values must select what a full scan selects.
TEST(Generate, RepeatedPanelQueriesWithOtherValuesSelectWhatAFullScanSelects) {
  TempDir dir;
  auto database = Generated(dir, "g.db", kSmall);
  const PlanOptions scan_only{.full_scan_only = true};
  int rows = 0;
  for (int n = 0; n < 40; ++n) {
    const std::string code = PersonCode(n * 3);
    const std::string entity = n % 2 == 0 ? "001" : "002";
    const std::string per_caregiver = " AND AVEC 0 = \"" + code +
                                      "]\" AND AVEC 7 =< \"21519\" AND AVEC 8 = \"\" OR >= "
                                      "\"21490\" AND AVEC 65 # \"O\"";
    const std::string sentence = "SSELECT CONTRAT AVEC 2 = \"" + entity + "\" AND AVEC 1 # \"O2\"" +
                                 per_caregiver + " OR AVEC 2 = \"" + entity + "\"" + per_caregiver +
                                 " AND AVEC 2 = \"02\" AND AVEC 28 = \"1\" PAR 7 PAR 8";
    QueryResult planned = RunQuery(*database, sentence, "0 1 2 3 7 8 28 65");
    EXPECT_EQ(planned.text, RunQuery(*database, sentence, "0 1 2 3 7 8 28 65", scan_only).text)
        << code;
    rows += planned.rows;
  }
  EXPECT_GT(rows, 0);
}

TEST(Generate, RefusalsLeaveTheDatabaseAsItWas) {
  TempDir dir;
  auto database = OpenMvdb(dir.File("g.db"), OpenOptions{.create = true});
  for (GenerateOptions bad : {GenerateOptions{.caregivers = 10, .contracts = 5, .advances = 0},
                              GenerateOptions{.caregivers = 10, .contracts = 10, .advances = 61},
                              GenerateOptions{.caregivers = 0, .contracts = 0, .advances = 0}}) {
    EXPECT_EQ(fixture::ErrorOf([&] { GenerateDatabase(*database, bad); }), err::kBadData)
        << "counts " << bad.caregivers << "/" << bad.contracts << "/" << bad.advances;
    EXPECT_TRUE(database->FileNames().empty());
    EXPECT_FALSE(database->InTransaction());
  }
  database->CreateFile("CONTRAT");
  EXPECT_EQ(fixture::ErrorOf([&] { GenerateDatabase(*database, kSmall); }), err::kWriteFailed);
  EXPECT_EQ(database->FileNames(), std::vector<std::string>{"CONTRAT"});
  EXPECT_EQ(CountRecords(*database, "CONTRAT"), 0);
}

}  // namespace
}  // namespace varnolde::mvdb
