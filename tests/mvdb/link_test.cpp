// The database contract as the panel uses it: files, records, query results, errors.
#include "mvdb/link.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "components/database.h"
#include "components/errors.h"
#include "components/tables.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

using fixture::Dyn;
using fixture::ErrorOf;

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = temp_.File("panel.db");
    fixture::Load(path_,
                  R"({"file":"ASSOCIATION","id":"001","rec":["Nord","Association du Nord"]}
{"file":"ASSOCIATION","id":"002","rec":["Centre","Association du Centre"]}
{"file":"ACOMPTEBULL","id":"01234001200405","rec":["1250","13280"]}
{"file":"CIVILAIDANT","id":"01234","rec":["F","Dupré",["Léa","Marie"]]}
)");
    link_ = OpenDatabase(path_);
  }

  std::shared_ptr<DbSelectList> Select(const std::string& sentence, const std::string& file,
                                       const std::string& columns) {
    std::int32_t count = 0;
    return link_->Select(sentence + kAttributeMark + file + kAttributeMark + columns, "", count);
  }

  fixture::TempDir temp_;
  std::string path_;
  std::shared_ptr<DatabaseLink> link_;
};

TEST_F(LinkTest, ReadGivesAttributesValuesAndKey) {
  auto record = link_->OpenFile(tables::kCivilAidant)->Read("01234");
  EXPECT_EQ(record->Get(0), "01234");
  EXPECT_EQ(record->Get(2), "Dupré");
  EXPECT_EQ(record->Get(3), Dyn("Léa]Marie"));
  EXPECT_EQ(record->Get(3, 2), "Marie");
  EXPECT_EQ(record->Get(3, 3), "");
  EXPECT_EQ(record->Get(31), "");
  EXPECT_EQ(record->Get(), Dyn("F^Dupré^Léa]Marie"));
  EXPECT_EQ(record->DCount(), 3);
}

TEST_F(LinkTest, MissingRecordsAndFilesRaiseTheirNumbers) {
  auto file = link_->OpenFile(tables::kAssociation);
  EXPECT_EQ(ErrorOf([&] { file->Read("999"); }), err::kRecordNotFound);
  EXPECT_EQ(ErrorOf([&] { file->Read(""); }), err::kRecordNotFound);
  EXPECT_EQ(ErrorOf([&] { link_->OpenFile("NOSUCH"); }), err::kUnknownFile);
  EXPECT_EQ(ErrorOf([&] { Select("SSELECT NOSUCH", "", "0"); }), err::kUnknownFile);
}

TEST_F(LinkTest, ReadRecordIsTiedToItsFileAndKey) {
  auto file = link_->OpenFile(tables::kAcompteBull);
  auto advance = file->Read("01234001200405");
  advance->DBDelete();
  EXPECT_EQ(ErrorOf([&] { file->Read("01234001200405"); }), err::kRecordNotFound);
  advance->DBWrite();  // still tied: writing it again restores it
  EXPECT_EQ(file->Read("01234001200405")->Get(1), "1250");
}

TEST_F(LinkTest, ReadForUpdateOfAMissingKeyGivesAnEmptyTiedRecord) {
  auto file = link_->OpenFile(tables::kAcompteBull);
  auto advance = file->ReadForUpdate("01234002200405");
  EXPECT_EQ(advance->Get(), "");
  EXPECT_EQ(advance->Get(0), "01234002200405");
  EXPECT_EQ(advance->DCount(), 0);
  advance->SetNumber(1, 12.5 * 100);
  advance->Set(2, "");
  advance->DBWrite();
  auto stored = file->Read("01234002200405");
  EXPECT_EQ(stored->Get(), Dyn("1250^"));
  // An existing key gives the stored record.
  EXPECT_EQ(file->ReadForUpdate("01234001200405")->Get(2), "13280");
  // Deleting a record that is not stored is not an error.
  auto ghost = file->ReadForUpdate("nothing-here");
  EXPECT_EQ(ErrorOf([&] { ghost->DBDelete(); }), 0u);
  // An empty key, or one holding a mark, cannot be written.
  EXPECT_EQ(ErrorOf([&] { file->ReadForUpdate("")->DBWrite(); }), err::kWriteFailed);
  EXPECT_EQ(ErrorOf([&] { file->ReadForUpdate(Dyn("a]b"))->DBWrite(); }), err::kWriteFailed);
}

TEST_F(LinkTest, NewRecordIsFreeAndRefusesWriteAndDelete) {
  auto request = link_->NewRecord();
  request->Set(1, "SSELECT ASSOCIATION PAR 1");
  request->Set(2, "ASSOCIATION");
  request->Set(3, "0 1");
  EXPECT_EQ(request->Get(), Dyn("SSELECT ASSOCIATION PAR 1^ASSOCIATION^0 1"));
  EXPECT_EQ(ErrorOf([&] { request->DBWrite(); }), err::kRecordNotTied);
  EXPECT_EQ(ErrorOf([&] { request->DBDelete(); }), err::kRecordNotTied);
  request->Set("");
  EXPECT_EQ(request->DCount(), 0);
  EXPECT_EQ(ErrorOf([&] { request->Set(0, "x"); }), err::kBadData);
}

TEST_F(LinkTest, SetByValueAndNumberKeepTheRest) {
  auto record = link_->NewRecord();
  record->Set(2, 3, "c");
  EXPECT_EQ(record->Get(), Dyn("^]]c"));
  record->Set(2, 1, "a");
  record->SetNumber(4, 123456.00000000001);
  EXPECT_EQ(record->Get(), Dyn("^a]]c^^123456"));
  EXPECT_EQ(record->Get(2, 0), Dyn("a]]c"));
  EXPECT_EQ(ErrorOf([&] { record->SetNumber(1, 1.0 / 0.0); }), err::kBadData);
  EXPECT_EQ(ErrorOf([&] { record->Set(2000000000, "x"); }), err::kBadData);
  EXPECT_EQ(ErrorOf([&] { record->Set(1, -1, "x"); }), err::kBadData);
  EXPECT_EQ(record->Get(), Dyn("^a]]c^^123456"));
}

TEST_F(LinkTest, SelectListReadsAsRowsAndColumns) {
  std::int32_t count = -1;
  auto list = link_->Select(Dyn("SSELECT ASSOCIATION PAR 1^ASSOCIATION^0 1"), "", count);
  EXPECT_EQ(list->DCount(), 2);
  EXPECT_EQ(count, 2);
  EXPECT_EQ(list->Get(1), Dyn("002]Centre"));
  EXPECT_EQ(list->Get(1, 1), "002");
  EXPECT_EQ(list->Get(2, 2), "Nord");
  EXPECT_EQ(list->Get(0), "");
  EXPECT_EQ(list->Get(3), "");
  EXPECT_EQ(list->Get(3, 1), "");
  EXPECT_EQ(ErrorOf([&] { list->DBWrite(); }), err::kRecordNotTied);
}

// No row is an empty list; one row of empty columns is one row; a column's values are
// subvalues of its row.
TEST_F(LinkTest, SelectListShapes) {
  auto nothing = Select("SSELECT ASSOCIATION AVEC 1 = \"Sud\"", "ASSOCIATION", "0 1");
  EXPECT_EQ(nothing->Get(), "");
  EXPECT_EQ(nothing->DCount(), 0);
  EXPECT_EQ(nothing->Get(1, 1), "");
  auto empty_row = Select("SSELECT ASSOCIATION AVEC 0 = \"001\"", "", "5");
  EXPECT_EQ(empty_row->Get(), "");
  EXPECT_EQ(empty_row->DCount(), 1);
  auto values = Select("SSELECT CIVILAIDANT", "CIVILAIDANT", "0 3 2");
  EXPECT_EQ(values->Get(1), Dyn("01234]Léa\\Marie]Dupré"));
  EXPECT_EQ(values->Get(1, 3), "Dupré");
}

TEST_F(LinkTest, RequestRecordMustAgreeWithItsSentence) {
  EXPECT_EQ(ErrorOf([&] { Select("SSELECT ASSOCIATION", "CONTRAT", "0"); }), err::kBadQuery);
  EXPECT_EQ(ErrorOf([&] { Select("", "", "0"); }), err::kBadQuery);
  // An empty attribute list means the key.
  EXPECT_EQ(Select("SSELECT ASSOCIATION", "ASSOCIATION", "")->Get(), Dyn("001^002"));
  // Several blanks between numbers are accepted.
  EXPECT_EQ(Select("SSELECT ASSOCIATION", "", " 0   1 ")->Get(1), Dyn("001]Nord"));
}

TEST_F(LinkTest, RecordsAndResultsOutliveTheLinkHandle) {
  auto file = link_->OpenFile(tables::kAssociation);
  auto list = Select("SSELECT ASSOCIATION", "", "0");
  link_.reset();
  EXPECT_EQ(file->Read("001")->Get(1), "Nord");
  EXPECT_EQ(list->DCount(), 2);
}

}  // namespace
}  // namespace varnolde::mvdb
