// A quick fuzz pass: random and mutated sentences, dictionary expressions, JSON lines and
// record edits. Nothing may crash or raise anything but a ComponentError, and a sentence that
// runs must select the same rows as planned and as a full scan.
#include <gtest/gtest.h>

#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "components/errors.h"
#include "mvdb/dictionary.h"
#include "mvdb/dynarray.h"
#include "mvdb/engine.h"
#include "mvdb/jsonl.h"
#include "mvdb/link.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

const char kPeriodQuery[] =
    R"(SSELECT CONTRAT AVEC 2 = "001" AND AVEC 1 # "O2" AND AVEC 0 = "01234]" AND AVEC 7 =< "13301" AND AVEC 8 = "" OR >= "13271" AND AVEC 65 # "O" OR AVEC 2 = "001" AND AVEC 0 = "01234]" AND AVEC 7 =< "13301" AND AVEC 8 = "" OR >= "13271" AND AVEC 65 # "O" AND AVEC 2 = "02" AND AVEC 28 = "1" PAR 7 PAR 8)";

class FuzzTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = temp_.File("fuzz.db");
    fixture::Load(path_,
                  R"json({"file":"DICT CONTRAT","id":"Nom","rec":["I","UPCASE(@3:' ':TRIM(@2))"]}
{"file":"DICT CONTRAT","id":"Fin","rec":["D","8","R"]}
{"file":"CONTRAT","id":"01234001","rec":["02","001","dupont","","","","13271","","","","","","","","","","","","","","","","","","","","","1"]}
{"file":"CONTRAT","id":"01234002","rec":["O2",["001","02"],"Léa","","","","9999","13300"]}
{"file":"CONTRAT","id":"012340","rec":["003","001","x y","","","","13301",""]}
{"file":"CONTRAT","id":"0123","rec":["02","002","","","","","13000","100000"]}
)json");
    database_ = OpenMvdb(path_);
    database_->CreateIndex("CONTRAT", "Nom");
    database_->CreateIndex("CONTRAT", "2");
  }

  // Runs a sentence both ways; returns whether it ran.
  bool Check(const std::string& sentence, const std::string& columns = "0 2 Nom") {
    std::string planned, scanned;
    ErrorNumber planned_error = 0, scanned_error = 0;
    try {
      planned = RunQuery(*database_, sentence, columns).text;
    } catch (const ComponentError& e) {
      planned_error = e.number();
    }
    try {
      scanned = RunQuery(*database_, sentence, columns, PlanOptions{.full_scan_only = true}).text;
    } catch (const ComponentError& e) {
      scanned_error = e.number();
    }
    EXPECT_EQ(planned_error, scanned_error) << sentence;
    EXPECT_EQ(planned, scanned) << sentence;
    if (planned_error == 0) {
      EXPECT_NO_THROW(database_->Explain(sentence)) << sentence;
    }
    return planned_error == 0;
  }

  fixture::TempDir temp_;
  std::string path_;
  std::shared_ptr<Database> database_;
  std::mt19937 random_{20240501};
};

TEST_F(FuzzTest, RandomTokenSoupNeverCrashes) {
  const std::vector<std::string> words = {
      "SSELECT", "SELECT",    "CONTRAT",    "DICT",    "AVEC",    "WITH",  "AND",     "OR",
      "PAR",     "PAR-DECR",  "BY",         "BY.DSND", "0",       "1",     "2",       "7",
      "8",       "65",        "Nom",        "Fin",     "Inconnu", "=",     "#",       "<",
      ">",       "=<",        "<=",         "=>",      ">=",      "EQ",    "NE",      "GE",
      "<>",      "\"001\"",   "\"01234]\"", "\"\"",    "\"]\"",   "\"[\"", "\"[O]\"", "'02'",
      "\\O2\\",  "\"13271\"", "\"DUP]\"",   "\"",      "'",       "\\",    "é",       "\xFE",
      "\xFD",    "(",         "99999",      "100000",  "-1",      "\t",    ""};
  int ran = 0;
  for (int i = 0; i < 4000; ++i) {
    std::string sentence = random_() % 4 == 0 ? "" : "SSELECT CONTRAT";
    int length = static_cast<int>(random_() % 12);
    for (int w = 0; w < length; ++w) {
      sentence += random_() % 5 == 0 ? "" : " ";
      sentence += words[random_() % words.size()];
    }
    ran += Check(sentence);
  }
  EXPECT_GT(ran, 50);  // some of them are valid sentences
}

TEST_F(FuzzTest, MutatedPanelSentencesNeverCrash) {
  const std::string original = kPeriodQuery;
  ASSERT_TRUE(Check(original, "0 1 2 3 7 8 28 65"));
  for (int i = 0; i < 3000; ++i) {
    std::string sentence = original;
    int edits = 1 + static_cast<int>(random_() % 3);
    for (int e = 0; e < edits; ++e) {
      std::size_t at = random_() % (sentence.size() + 1);
      switch (random_() % 4) {
        case 0:
          sentence.erase(at, random_() % 6);
          break;
        case 1:
          sentence.insert(at, 1, static_cast<char>(random_() % 256));
          break;
        case 2:
          if (at < sentence.size()) sentence[at] = "\"'\\]=#<> [A0"[random_() % 12];
          break;
        default:
          sentence.insert(at, sentence.substr(random_() % sentence.size(), random_() % 20));
      }
    }
    Check(sentence, "0 1 2 3 7 8 28 65");
  }
}

TEST_F(FuzzTest, RandomExpressionsAreParsedOrRefused) {
  const std::string pieces = "@0123456789:()'\" UPCASETRIMupcase\\x";
  for (int i = 0; i < 5000; ++i) {
    std::string source;
    int length = static_cast<int>(random_() % 24);
    for (int c = 0; c < length; ++c) source += pieces[random_() % pieces.size()];
    try {
      auto expression = ParseExpression("Fuzz", source);
      std::string record =
          "a\xFE"
          "b\xFD"
          "c";
      AttributeIndex attributes(record);
      RecordView view{"k", &attributes};
      std::string out;
      expression->Evaluate(view, out);
      ParseExpression("Again", expression->Text());  // printed form parses back
    } catch (const ComponentError& e) {
      EXPECT_EQ(e.number(), err::kBadData) << source;
    }
  }
  // Deep nesting is refused, not a stack overflow.
  EXPECT_THROW(ParseExpression("Deep", std::string(100000, '(') + "@1"), ComponentError);
}

TEST_F(FuzzTest, MutatedJsonLinesAreLoadedOrRefusedWhole) {
  const std::string line = R"({"file":"F","id":"k1","rec":["a",["b","c"],[["d","e"]],"é"]})";
  int loaded = 0;
  for (int i = 0; i < 1500; ++i) {
    std::string mutated = line;
    std::size_t at = random_() % mutated.size();
    if (random_() % 2)
      mutated.erase(at, 1 + random_() % 4);
    else
      mutated.insert(at, 1, "{}[]\",:x\\\xC3\x01"[random_() % 12]);
    std::istringstream in(mutated + "\n");
    database_->CreateFile("F");
    try {
      LoadJsonLines(*database_, in);
      ++loaded;
    } catch (const ComponentError& e) {
      EXPECT_TRUE(e.number() == err::kBadData || e.number() == err::kWriteFailed) << mutated;
    }
    EXPECT_FALSE(database_->InTransaction());
  }
  EXPECT_GT(loaded, 0);
}

// Record edits checked against a plain model of attributes and values.
TEST_F(FuzzTest, RecordEditsAgreeWithAModel) {
  auto record = database_->NewRecord();
  std::vector<std::vector<std::string>> model;
  const std::string alphabet = "ab\xC3\xA9 ";
  for (int i = 0; i < 3000; ++i) {
    int attribute = 1 + static_cast<int>(random_() % 6);
    int value = 1 + static_cast<int>(random_() % 4);
    std::string text(random_() % 3, alphabet[random_() % alphabet.size()]);
    if (model.size() < static_cast<std::size_t>(attribute)) model.resize(attribute, {""});
    auto& values = model[attribute - 1];
    if (random_() % 2) {
      record->Set(attribute, text);
      values = {text};
    } else {
      record->Set(attribute, value, text);
      if (values.size() < static_cast<std::size_t>(value)) values.resize(value);
      values[value - 1] = text;
    }
    for (std::size_t a = 0; a < model.size(); ++a) {
      for (std::size_t v = 0; v < model[a].size(); ++v) {
        ASSERT_EQ(record->Get(static_cast<int>(a + 1), static_cast<int>(v + 1)), model[a][v]);
      }
    }
    // The empty text has no attribute, even where the model holds one empty attribute.
    int attributes = record->Get().empty() ? 0 : static_cast<int>(model.size());
    ASSERT_EQ(record->DCount(), attributes);
  }
}

}  // namespace
}  // namespace varnolde::mvdb
