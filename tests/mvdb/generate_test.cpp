// The synthetic employer: same seed, same records; the sizes asked for; records shaped like
// the panel's; refusals that leave the database as it was.
#include "mvdb/generate.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "components/errors.h"
#include "mvdb/compare.h"
#include "mvdb/dynarray.h"
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

TEST(Generate, EveryCaregiverHasContractsUnderHisCodeAndAdvancesUnderAContract) {
  TempDir dir;
  auto database = Generated(dir, "g.db", kSmall);
  std::set<std::string> caregivers, with_contract, contracts;
  database->ForEachRecord("CIVILAIDANT",
                          [&](std::string_view key, std::string_view) { caregivers.emplace(key); });
  database->ForEachRecord("CONTRAT", [&](std::string_view key, std::string_view) {
    ASSERT_EQ(key.size(), 8u) << key;
    with_contract.emplace(key.substr(0, 5));
    contracts.emplace(key);
  });
  EXPECT_EQ(caregivers, with_contract);
  std::set<std::string> periods;
  for (int p = 0; p < kGeneratedPeriods; ++p) periods.emplace(GeneratedPeriod(p));
  std::set<std::string> seen_periods;
  database->ForEachRecord("ACOMPTEBULL", [&](std::string_view key, std::string_view text) {
    ASSERT_EQ(key.size(), 14u) << key;
    EXPECT_TRUE(contracts.count(std::string(key.substr(0, 8)))) << key;
    EXPECT_TRUE(periods.count(std::string(key.substr(8)))) << key;
    seen_periods.emplace(key.substr(8));
    EXPECT_TRUE(IsCanonicalNumber(ExtractField(text, kAM, 1))) << key;
  });
  EXPECT_GT(seen_periods.size(), 2u);
}

TEST(Generate, ContractsLookLikeThePanelsRecords) {
  TempDir dir;
  auto database = Generated(dir, "g.db", kSmall);
  std::set<std::string> entities;
  database->ForEachRecord("ASSOCIATION",
                          [&](std::string_view key, std::string_view) { entities.emplace(key); });
  std::size_t bytes = 0;
  int cared_for = 0, provider = 0, open_ended = 0, ended = 0;
  database->ForEachRecord("CONTRAT", [&](std::string_view key, std::string_view text) {
    bytes += text.size();
    EXPECT_EQ(CountFields(text, kAM), 65) << key;
    const std::string_view employer = ExtractField(text, kAM, 1);
    if (employer == "02") {
      ++cared_for;
      EXPECT_EQ(ExtractField(text, kAM, 3).size(), 7u) << key;
    } else {
      ++provider;
      EXPECT_TRUE(entities.count(std::string(employer))) << key;
    }
    EXPECT_TRUE(entities.count(std::string(ExtractField(text, kAM, 2)))) << key;
    EXPECT_TRUE(IsCanonicalNumber(ExtractField(text, kAM, 7))) << key;
    (ExtractField(text, kAM, 8).empty() ? open_ended : ended) += 1;
  });
  EXPECT_GT(cared_for, 0);
  EXPECT_GT(provider, 0);
  EXPECT_GT(open_ended, 0);
  EXPECT_GT(ended, 0);
  const std::size_t average = bytes / static_cast<std::size_t>(kSmall.contracts);
  EXPECT_GE(average, 300u);
  EXPECT_LE(average, 500u);
}

TEST(Generate, NameSearchUsesTheIndexAndThePanelCanStart) {
  TempDir dir;
  auto database = Generated(dir, "g.db", kSmall);
  const std::string sentence = "SSELECT CIVILAIDANT AVEC NomPrenomAidant = \"DUP]\" PAR 2 PAR 3";
  EXPECT_NE(database->Explain(sentence).find("NomPrenomAidant"), std::string::npos);
  QueryResult hits = RunQuery(*database, sentence, "0 2 3");
  ASSERT_GT(hits.rows, 0);
  EXPECT_TRUE(ExtractField(ExtractField(hits.text, kAM, 1), kVM, 2).starts_with("DUP"));

  auto periods = database->OpenFile("PERIODESPAIE")->Read("1");
  EXPECT_EQ(periods->Get(1), GeneratedPeriod(kGeneratedPeriods - 2));
  EXPECT_EQ(periods->Get(2), GeneratedPeriod(kGeneratedPeriods - 1));
  auto user = database->OpenFile("UTILISATEURS")->Read("gestionnaire");
  EXPECT_EQ(user->Get(1), "CONSULTACPT");
  EXPECT_EQ(user->Get(2), "2");
  EXPECT_EQ(user->Get(3), "*");
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

TEST(Generate, PersonCodesAreFiveCharactersInKeyOrder) {
  EXPECT_EQ(PersonCode(0), "00000");
  EXPECT_EQ(PersonCode(99999), "99999");
  EXPECT_EQ(PersonCode(100000), "A0000");
  EXPECT_EQ(PersonCode(359999), "Z9999");
  EXPECT_LT(PersonCode(99999), PersonCode(100000));
  EXPECT_LT(PersonCode(109999), PersonCode(110000));
  EXPECT_EQ(fixture::ErrorOf([] { PersonCode(360000); }), err::kBadData);  // beyond Z9999
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
