// Dynamic arrays and the comparison of values.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "components/errors.h"
#include "mvdb/compare.h"
#include "mvdb/dictionary.h"
#include "mvdb/dynarray.h"
#include "temp_database.h"

namespace varnolde::mvdb {
namespace {

using fixture::Dyn;

TEST(DynamicArray, ExtractsFieldsFromOneAndPastTheEndIsEmpty) {
  std::string text = Dyn("a^b]c^^d");
  EXPECT_EQ(ExtractField(text, kAM, 1), "a");
  EXPECT_EQ(ExtractField(text, kAM, 2), Dyn("b]c"));
  EXPECT_EQ(ExtractField(text, kAM, 3), "");
  EXPECT_EQ(ExtractField(text, kAM, 4), "d");
  EXPECT_EQ(ExtractField(text, kAM, 5), "");
  EXPECT_EQ(ExtractField(text, kAM, 0), "");
  EXPECT_EQ(ExtractField(text, kAM, -1), "");
  EXPECT_EQ(CountFields(text, kAM), 4);
  EXPECT_EQ(CountFields("", kAM), 0);
  EXPECT_EQ(CountFields(Dyn("^"), kAM), 2);
}

TEST(DynamicArray, ReplacesFieldsAndPadsWithEmptyOnes) {
  EXPECT_EQ(ReplaceField("", kAM, 1, "x"), "x");
  EXPECT_EQ(ReplaceField("", kAM, 3, "x"), Dyn("^^x"));
  EXPECT_EQ(ReplaceField("a", kAM, 3, "x"), Dyn("a^^x"));
  EXPECT_EQ(ReplaceField(Dyn("a^b^c"), kAM, 2, "xy"), Dyn("a^xy^c"));
  EXPECT_EQ(ReplaceField(Dyn("a^b^c"), kAM, 3, ""), Dyn("a^b^"));
  EXPECT_EQ(ReplaceField(Dyn("a]b"), kVM, 1, "z"), Dyn("z]b"));
}

TEST(DynamicArray, AttributeIndexAgreesWithExtractField) {
  for (std::string readable : {"", "a", "^", "a^b", "^^x^", "one]two^three\\four^^"}) {
    std::string text = Dyn(readable);
    AttributeIndex index(text);
    EXPECT_EQ(index.Count(), CountFields(text, kAM)) << readable;
    // Out of order on purpose: the index is built lazily.
    for (int a : {3, 1, 0, 5, 2, 4}) {
      EXPECT_EQ(index.Attribute(a), ExtractField(text, kAM, a)) << readable << " attribute " << a;
    }
  }
}

TEST(DynamicArray, EveryLeafValueIsVisitedAndTheEmptyAttributeHasOne) {
  std::vector<std::string> seen;
  auto collect = [&](std::string_view v) {
    seen.emplace_back(v);
    return false;
  };
  AnyValue(Dyn("a]b\\c]"), collect);
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", ""}));
  seen.clear();
  AnyValue("", collect);
  EXPECT_EQ(seen, (std::vector<std::string>{""}));
  EXPECT_TRUE(AnyValue(Dyn("a]b"), [](std::string_view v) { return v == "b"; }));
  EXPECT_EQ(FirstValue(Dyn("x\\y]z")), "x");
}

TEST(CanonicalNumbers, FollowTheOneTextPerNumberRule) {
  for (const char* yes : {"0", "7", "-7", "10", "9999", "0.5", "-0.5", "12.25", "100000"}) {
    EXPECT_TRUE(IsCanonicalNumber(yes)) << yes;
  }
  for (const char* no : {"", "-", "-0", "007", "02", "1.", ".5", "1.50", "0.0", "1e5", "+1", " 1",
                         "1 ", "1a", "--1", "1.2.3", "O2"}) {
    EXPECT_FALSE(IsCanonicalNumber(no)) << no;
  }
}

TEST(CanonicalNumbers, CompareByValue) {
  EXPECT_LT(CompareCanonicalNumbers("9999", "10000"), 0);
  EXPECT_LT(CompareCanonicalNumbers("-10", "-9"), 0);
  EXPECT_LT(CompareCanonicalNumbers("-0.5", "0"), 0);
  EXPECT_LT(CompareCanonicalNumbers("0.05", "0.5"), 0);
  EXPECT_LT(CompareCanonicalNumbers("1.5", "1.55"), 0);
  EXPECT_GT(CompareCanonicalNumbers("-1.5", "-1.55"), 0);
  EXPECT_EQ(CompareCanonicalNumbers("12.5", "12.5"), 0);
}

TEST(CompareValues, NumbersOnlyWhenBothAreCanonical) {
  EXPECT_LT(CompareValues("9999", "10000", CompareMode::kDefault), 0);
  EXPECT_NE(CompareValues("002", "02", CompareMode::kDefault), 0);
  EXPECT_NE(CompareValues("02", "2", CompareMode::kDefault), 0);
  EXPECT_LT(CompareValues("", "13271", CompareMode::kDefault), 0);
  EXPECT_GT(CompareValues("9999", "10000", CompareMode::kText), 0);
  EXPECT_EQ(CompareValues("002", "2", CompareMode::kNumber), 0);
  EXPECT_EQ(CompareValues("1.50", "1.5", CompareMode::kNumber), 0);
  EXPECT_LT(CompareValues("abc", "-5", CompareMode::kNumber), 0);
  EXPECT_LT(CompareValues("\xC3\xA9", "\xC3\xB4", CompareMode::kDefault), 0);  // é < ô in UTF-8
}

// The sort order must be a strict weak order whatever mixes of numbers and texts it meets,
// or std::sort may misbehave.
TEST(CompareForSort, IsATotalOrderOnMixedValues) {
  std::vector<std::string> values = {"",   "-",  "-1", "-10", "0",     "0.5", "007",     "1",
                                     "10", "1a", "2",  "9",   "9a",    "A",   "a",       " ",
                                     "!",  "-x", "-0", ".5",  "10.25", "99",  "\xC3\xA9"};
  for (CompareMode mode : {CompareMode::kDefault, CompareMode::kText, CompareMode::kNumber}) {
    for (const auto& a : values) {
      EXPECT_EQ(CompareForSort(a, a, mode), 0) << a;
      for (const auto& b : values) {
        EXPECT_EQ(CompareForSort(a, b, mode), -CompareForSort(b, a, mode)) << a << " / " << b;
        for (const auto& c : values) {
          if (CompareForSort(a, b, mode) < 0 && CompareForSort(b, c, mode) < 0) {
            EXPECT_LT(CompareForSort(a, c, mode), 0) << a << " < " << b << " < " << c;
          }
        }
      }
    }
  }
  // It agrees with the pairwise rule for numbers, for texts, and for the empty text.
  EXPECT_LT(CompareForSort("9", "10", CompareMode::kDefault), 0);
  EXPECT_LT(CompareForSort("", "-10", CompareMode::kDefault), 0);
  EXPECT_LT(CompareForSort("99", "A", CompareMode::kDefault), 0);
}

TEST(CanonicalNumberText, RoundsToNineDecimalsWithoutExponent) {
  EXPECT_EQ(CanonicalNumberText(123456.00000000001), "123456");
  EXPECT_EQ(CanonicalNumberText(5), "5");
  EXPECT_EQ(CanonicalNumberText(0.5), "0.5");
  EXPECT_EQ(CanonicalNumberText(-0.0), "0");
  EXPECT_EQ(CanonicalNumberText(-1e-12), "0");
  EXPECT_EQ(CanonicalNumberText(1250.0), "1250");
  EXPECT_EQ(CanonicalNumberText(0.1 + 0.2), "0.3");
  EXPECT_EQ(CanonicalNumberText(1e20), "100000000000000000000");
  EXPECT_EQ(CanonicalNumberText(-12.125), "-12.125");
  // Whatever the double, the text is canonical.
  std::mt19937 random(7);
  std::uniform_real_distribution<double> any(-1e7, 1e7);
  for (int i = 0; i < 2000; ++i) {
    std::string text = CanonicalNumberText(any(random));
    EXPECT_TRUE(IsCanonicalNumber(text)) << text;
  }
}

TEST(NormalizeDecimal, GivesTheCanonicalText) {
  std::string out;
  for (auto [text, canonical] : {std::pair{"007.50", "7.5"}, {"-0.000", "0"}, {".25", "0.25"}}) {
    ASSERT_TRUE(NormalizeDecimal(text, out)) << text;
    EXPECT_EQ(out, canonical);
  }
  for (const char* no : {"", "-", "1,5"}) EXPECT_FALSE(NormalizeDecimal(no, out)) << no;
}

TEST(DictionaryItems, ParseDAndIItems) {
  Field d = ParseDictItem("Start", Dyn("D^7^R"));
  EXPECT_EQ(d.kind, Field::Kind::kAttribute);
  EXPECT_EQ(d.attribute, 7);
  EXPECT_EQ(d.mode, CompareMode::kNumber);
  EXPECT_EQ(d.IndexName(), "7");

  Field i = ParseDictItem("NomPrenomAidant", Dyn("I^UPCASE(@2:\" \":@3)"));
  EXPECT_EQ(i.kind, Field::Kind::kExpression);
  EXPECT_EQ(i.IndexName(), "NomPrenomAidant");
  std::string record = Dyn("x^Léa^de la Tour");
  AttributeIndex attributes(record);
  RecordView view{"00001", &attributes};
  std::string scratch;
  EXPECT_EQ(i.Value(view, scratch), "LÉA DE LA TOUR");

  Field key = ParseDictItem("Code", Dyn("D^0^L"));
  EXPECT_EQ(key.kind, Field::Kind::kKey);
  EXPECT_EQ(key.mode, CompareMode::kText);
}

TEST(DictionaryItems, ExpressionsConcatenateQuoteTrimAndUpcase) {
  std::string record = Dyn("  a   b ^Straße]été^x");
  AttributeIndex attributes(record);
  RecordView view{"K1", &attributes};
  auto evaluate = [&](const char* source) {
    std::string out;
    ParseExpression("T", source)->Evaluate(view, out);
    return out;
  };
  EXPECT_EQ(evaluate("TRIM(@1)"), "a b");
  EXPECT_EQ(evaluate("upcase(@2)"), Dyn("STRASSE]ÉTÉ"));  // full upper case, per value
  EXPECT_EQ(evaluate("@0 : '-' : @3"), "K1-x");
  EXPECT_EQ(evaluate("\"it's\""), "it's");
  EXPECT_EQ(evaluate("UPCASE(TRIM(@1) : (@3))"), "A BX");
  EXPECT_EQ(UpperCase("Léa"), "LÉA");
}

TEST(DictionaryItems, MalformedItemsAreBadDataNamingTheItem) {
  for (const char* readable : {"X^1", "D^abc", "D^", "I^", "I^UPCASE(@2", "I^@", "I^LOWER(@1)",
                               "I^@1 @2", "I^'open", "D^1^Z", "I^((((@1"}) {
    try {
      ParseDictItem("Item", Dyn(readable));
      ADD_FAILURE() << readable << " was accepted";
    } catch (const ComponentError& e) {
      EXPECT_EQ(e.number(), err::kBadData) << readable;
      EXPECT_NE(std::string(e.what()).find("« Item »"), std::string::npos) << e.what();
    }
  }
}

}  // namespace
}  // namespace varnolde::mvdb
