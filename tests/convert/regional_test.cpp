// Regional settings: month names and capitals from ICU's data, the "####0.00" format and the
// number conversion with the regional decimal separator, and where the locale comes from.
#include <gtest/gtest.h>
#include <unicode/locid.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <map>
#include <iterator>
#include <string>

#include "components/errors.h"
#include "convert/regional.h"

namespace varnolde {
namespace {

ErrorNumber ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const ComponentError& e) {
    return e.number();
  }
  return 0;
}

// No grouping, two decimals, ties rounded away from zero, never a negative zero.
TEST(FrenchSettingsTest, FormatFixed2UsesTheDecimalCommaAndRoundsTiesAwayFromZero) {
  const auto french = MakeRegionalSettings("fr_FR");
  EXPECT_EQ(french->DecimalSeparator(), U',');
  const std::pair<double, const char*> cases[] = {
      {12.5, "12,50"},    {5, "5,00"},        {0.5, "0,50"},      {1234.5, "1234,50"},
      {1234567.891, "1234567,89"}, {-3.5, "-3,50"}, {0.125, "0,13"}, {-2.345, "-2,35"},
      {1.005, "1,01"},    {0.004, "0,00"},    {-0.001, "0,00"},   {-0.0, "0,00"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(french->FormatFixed2(value), text) << value;
  EXPECT_EQ(ErrorOf([&] { french->FormatFixed2(std::numeric_limits<double>::infinity()); }),
            err::kOverflow);
  EXPECT_EQ(ErrorOf([&] { french->FormatFixed2(std::nan("")); }), err::kOverflow);
}

TEST(FrenchSettingsTest, ToNumberReadsTheRegionalForm) {
  const auto french = MakeRegionalSettings("fr_FR");
  EXPECT_DOUBLE_EQ(french->ToNumber("12,5"), 12.5);
  EXPECT_DOUBLE_EQ(french->ToNumber("  12,50\t"), 12.5);
  EXPECT_DOUBLE_EQ(french->ToNumber("-3,25"), -3.25);
  EXPECT_DOUBLE_EQ(french->ToNumber("0012"), 12);
  EXPECT_DOUBLE_EQ(french->ToNumber("12,"), 12);
  EXPECT_DOUBLE_EQ(french->ToNumber(",5"), 0.5);
  for (const char* text : {"", "   ", "12.5", "1 000,00", "1,2,3", "+5", "--5", "5-", "1e3",
                           "abc", ",", "-", "12,5x", "douze"}) {
    EXPECT_EQ(ErrorOf([&] { french->ToNumber(text); }), err::kTypeMismatch) << text;
  }
  EXPECT_EQ(ErrorOf([&] { french->ToNumber("1" + std::string(400, '0')); }), err::kOverflow);
}

TEST(FrenchSettingsTest, FormatFixed2IsReadBackByToNumber) {
  const auto french = MakeRegionalSettings("fr_FR");
  for (long hundredths = -20000; hundredths <= 2000000; hundredths += 37) {
    const std::string text = french->FormatFixed2(static_cast<double>(hundredths) / 100);
    ASSERT_EQ(std::lround(french->ToNumber(text) * 100), hundredths) << text;
  }
}

TEST(FrenchSettingsTest, TwelveMonthsInCapitalsWithTheirAccentsAreReadBack) {
  const auto french = MakeRegionalSettings("fr_FR");
  const char* expected[12] = {"JANVIER 2004", "FÉVRIER 2004",  "MARS 2004",     "AVRIL 2004",
                              "MAI 2004",     "JUIN 2004",     "JUILLET 2004",  "AOÛT 2004",
                              "SEPTEMBRE 2004", "OCTOBRE 2004", "NOVEMBRE 2004", "DÉCEMBRE 2004"};
  for (int month = 1; month <= 12; ++month) {
    const std::string text = french->MonthYearText({2004, month});
    EXPECT_EQ(text, expected[month - 1]);
    EXPECT_EQ(french->ParseMonthYear(text), (YearMonth{2004, month})) << text;
  }
  EXPECT_EQ(french->MonthYearText({2002, 3}), "MARS 2002");
  // Reading ignores case and surrounding blanks.
  EXPECT_EQ(french->ParseMonthYear("février 2004"), (YearMonth{2004, 2}));
  EXPECT_EQ(french->ParseMonthYear("Août 1999"), (YearMonth{1999, 8}));
  EXPECT_EQ(french->ParseMonthYear("  décembre 2100 "), (YearMonth{2100, 12}));
  EXPECT_EQ(french->ParseMonthYear("JANVIER 1900"), (YearMonth{1900, 1}));
}

TEST(FrenchSettingsTest, ParseMonthYearRefusesOtherTexts) {
  const auto french = MakeRegionalSettings("fr_FR");
  for (const char* text : {"", "MARS", "2004", "FEVRIER 2004", "MARCH 2004", "MARS 04",
                           "3 2004", "03/2004", "MARS 2004 X", "MARS  2004", "MARSS 2004",
                           "\xFF\xFE 2004"}) {
    EXPECT_EQ(ErrorOf([&] { french->ParseMonthYear(text); }), err::kTypeMismatch) << text;
  }
}

TEST(FrenchSettingsTest, PeriodsOutsideFourDigitYearsOverflow) {
  const auto french = MakeRegionalSettings("fr_FR");
  EXPECT_EQ(ErrorOf([&] { french->MonthYearText({2004, 13}); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([&] { french->MonthYearText({2004, 0}); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([&] { french->MonthYearText({0, 5}); }), err::kOverflow);
  EXPECT_EQ(ErrorOf([&] { french->MonthYearText({10000, 5}); }), err::kOverflow);
  EXPECT_EQ(french->MonthYearText({1, 1}), "JANVIER 0001");
}

// Names are upper-cased as the database's UPCASE does, in every locale, so that a typed name
// meets the stored ones; month names keep the locale's own capitals.
TEST(ToUpperTest, NamesUseTheDatabasesRulesMonthsTheLocales) {
  for (const char* locale : {"fr_FR", "tr_TR", "az_AZ", "el_GR", "en_US"}) {
    EXPECT_EQ(MakeRegionalSettings(locale)->ToUpper("dupuis Léa çà"), "DUPUIS LÉA ÇÀ") << locale;
  }
  EXPECT_EQ(MakeRegionalSettings("tr_TR")->MonthYearText({2002, 4}), "NİSAN 2002");
}

// Every locale ICU offers, every month, both ways: the text written for a period reads back as
// that period, whatever the locale's capitals do to its month names.
TEST(AllLocalesTest, EveryMonthReadsBackInEveryLocale) {
  std::int32_t count = 0;
  const icu::Locale* locales = icu::Locale::getAvailableLocales(count);
  ASSERT_GT(count, 100);
  for (std::int32_t i = 0; i < count; ++i) {
    const auto regional = MakeRegionalSettings(locales[i].getName());
    for (int year : {1, 2002, 9999}) {
      for (int month = 1; month <= 12; ++month) {
        const std::string text = regional->MonthYearText({year, month});
        ASSERT_EQ(regional->ParseMonthYear(text), (YearMonth{year, month}))
            << locales[i].getName() << ": " << text;
      }
    }
  }
}

TEST(OtherLocalesTest, EnglishUsesThePointAndEnglishMonths) {
  const auto english = MakeRegionalSettings("en_US");
  EXPECT_EQ(english->LocaleName(), "en_US");
  EXPECT_EQ(english->DecimalSeparator(), U'.');
  EXPECT_EQ(english->FormatFixed2(12.5), "12.50");
  EXPECT_EQ(english->MonthYearText({2002, 3}), "MARCH 2002");
  EXPECT_EQ(english->ParseMonthYear("March 2002"), (YearMonth{2002, 3}));
  EXPECT_DOUBLE_EQ(english->ToNumber("12.5"), 12.5);
  EXPECT_EQ(ErrorOf([&] { english->ToNumber("12,5"); }), err::kTypeMismatch);
  EXPECT_EQ(ErrorOf([&] { english->ParseMonthYear("MARS 2002"); }), err::kTypeMismatch);
}

TEST(OtherLocalesTest, GermanMonthsComeFromTheLocaleData) {
  const auto german = MakeRegionalSettings("de_DE");
  EXPECT_EQ(german->MonthYearText({2002, 3}), "MÄRZ 2002");
  EXPECT_EQ(german->ParseMonthYear("märz 2002"), (YearMonth{2002, 3}));
  EXPECT_EQ(german->FormatFixed2(12.5), "12,50");
}

TEST(OtherLocalesTest, DigitsStayLatinWhereTheLocaleWritesOthers) {
  const auto arabic = MakeRegionalSettings("ar_EG");
  const std::string text = arabic->FormatFixed2(12.5);
  EXPECT_EQ(text.substr(0, 2), "12");
  EXPECT_EQ(text.substr(text.size() - 2), "50");
  EXPECT_DOUBLE_EQ(arabic->ToNumber(text), 12.5);
  const std::string period = arabic->MonthYearText({2002, 3});
  EXPECT_EQ(arabic->ParseMonthYear(period), (YearMonth{2002, 3}));
}

TEST(OtherLocalesTest, UnknownLanguageBehavesAsTheRootLocale) {
  const auto unknown = MakeRegionalSettings("zz_ZZ");
  EXPECT_EQ(unknown->LocaleName(), "zz_ZZ");
  EXPECT_EQ(unknown->MonthYearText({2002, 3}), "M03 2002");
  EXPECT_EQ(unknown->ParseMonthYear("m03 2002"), (YearMonth{2002, 3}));
  EXPECT_EQ(unknown->DecimalSeparator(), U'.');
  EXPECT_EQ(unknown->FormatFixed2(12.5), "12.50");
}

TEST(LocaleNamesTest, HostNamesAreNormalised) {
  EXPECT_EQ(MakeRegionalSettings("fr_FR.UTF-8")->LocaleName(), "fr_FR");
  EXPECT_EQ(MakeRegionalSettings("de_DE.ISO-8859-15@euro")->LocaleName(), "de_DE");
  EXPECT_EQ(MakeRegionalSettings("en-US")->LocaleName(), "en_US");
  EXPECT_EQ(MakeRegionalSettings("C")->LocaleName(), "fr_FR");
  EXPECT_EQ(MakeRegionalSettings("POSIX")->LocaleName(), "fr_FR");
  EXPECT_EQ(MakeRegionalSettings("C.UTF-8")->MonthYearText({2004, 8}), "AOÛT 2004");
  // A locale of a known language but an unusual country keeps the language.
  EXPECT_EQ(MakeRegionalSettings("fr_ZZ")->MonthYearText({2004, 2}), "FÉVRIER 2004");
}

// Sets the locale variables for one test and restores them afterwards.
class EnvironmentTest : public ::testing::Test {
 protected:
  static constexpr const char* kVariables[] = {"LC_ALL", "LC_TIME", "LC_NUMERIC", "LANG"};

  void SetUp() override {
    for (const char* name : kVariables) {
      const char* value = std::getenv(name);
      if (value != nullptr) saved_[name] = value;
      unsetenv(name);
    }
  }
  void TearDown() override {
    for (const char* name : kVariables) {
      if (auto it = saved_.find(name); it != saved_.end()) {
        setenv(name, it->second.c_str(), 1);
      } else {
        unsetenv(name);
      }
    }
  }

  std::map<std::string, std::string> saved_;
};

TEST_F(EnvironmentTest, NothingSetMeansFrench) {
  EXPECT_EQ(LocaleFromEnvironment(), "fr_FR");
  EXPECT_EQ(MakeRegionalSettings()->MonthYearText({2002, 3}), "MARS 2002");
}

// LC_ALL, then LC_TIME, then LC_NUMERIC, then LANG; empty ones are skipped and C or POSIX
// mean French.
TEST_F(EnvironmentTest, LcAllComesFirstThenTimeAndNumericThenLang) {
  const std::pair<const char*, const char*> steps[] = {
      {"LANG", "de_DE.UTF-8"}, {"LC_NUMERIC", "it_IT.UTF-8"}, {"LC_TIME", "es_ES.UTF-8"},
      {"LC_ALL", ""}, {"LC_ALL", "en_US.UTF-8"}};
  const char* expected[] = {"de_DE", "it_IT", "es_ES", "es_ES", "en_US"};
  for (std::size_t i = 0; i < std::size(steps); ++i) {
    setenv(steps[i].first, steps[i].second, 1);
    EXPECT_EQ(LocaleFromEnvironment(), expected[i]) << steps[i].first << "=" << steps[i].second;
  }
  EXPECT_EQ(MakeRegionalSettings()->FormatFixed2(12.5), "12.50");
  EXPECT_EQ(MakeRegionalSettings("fr_FR")->FormatFixed2(12.5), "12,50");  // the host overrides
  for (const char* c_locale : {"C", "POSIX", "C.UTF-8"}) {
    setenv("LC_ALL", c_locale, 1);
    EXPECT_EQ(LocaleFromEnvironment(), "fr_FR") << c_locale;
  }
  EXPECT_EQ(MakeRegionalSettings()->DecimalSeparator(), U',');
}

}  // namespace
}  // namespace varnolde
