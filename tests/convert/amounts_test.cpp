// Amount texts through the conversion object: what the amount box shows after Enter and after
// it loses the focus, in French and English settings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "components/errors.h"
#include "convert/format_converter.h"
#include "convert/regional.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde {
namespace {

// The amount box alone, on the headless toolkit.
constexpr ControlId kBox = 0;
constexpr ControlSpec kBoxControls[] = {
    {"txt_Acompte", ControlKind::kTextBox, "", kNoControl, 0, 0, 0, 1095, 375, true, 0, true}};
const PanelLayout kBoxLayout{1095, 375, "Courier New", 8.25, kBoxControls};

class NoReactions final : public PanelReactions {
  void OnEvent(ControlId, EventKind) override {}
  void OnKeyPress(ControlId, int&) override {}
};

class AmountsTest : public ::testing::Test {
 protected:
  AmountsTest() { toolkit_.Attach(kBoxLayout, reactions_); }

  std::shared_ptr<const RegionalSettings> french_ = MakeRegionalSettings("fr_FR");
  std::shared_ptr<const FormatConverter> converter_ = MakeFormatConverter(french_);
  NoReactions reactions_;
  HeadlessToolkit toolkit_;

  std::string LeaveBox(const std::string& text, int integer_digits = 5, int decimals = 2) {
    toolkit_.SetText(kBox, text);
    return converter_->FormatNumberField(TextBox(toolkit_, kBox), integer_digits, decimals);
  }
};

TEST_F(AmountsTest, AcceptedAmountsGetTwoDecimals) {
  const std::pair<const char*, const char*> cases[] = {
      {"12,5", "12,50"},      {"    12,5", "12,50"}, {"5", "5,00"},         {"12,", "12,00"},
      {",5", "0,50"},         {"0012,5", "12,50"},   {"12,500", "12,50"},   {"99999,99", "99999,99"},
      {"00099999", "99999,00"}, {"0", "0,00"},       {"-0", "0,00"},        {"-5", "-5,00"},
      {" 1234,5 ", "1234,50"},
      // Rounded half away from zero on the digits typed, never through binary floating point.
      {"12,345", "12,35"},    {"2,675", "2,68"},     {"0,005", "0,01"},     {"-2,675", "-2,68"},
      {"1,004", "1,00"},      {"9,995", "10,00"},    {"12,505", "12,51"}};
  for (const auto& [typed, shown] : cases) {
    EXPECT_EQ(converter_->FormatAmountText(typed, true), shown) << typed;
    EXPECT_EQ(LeaveBox(typed), shown) << typed;
  }
}

TEST_F(AmountsTest, OtherTextsComeBackTrimmedAndUnchanged) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},           {"        ", ""},       {"100000", "100000"}, {" 123456", "123456"},
      {"99999,995", "99999,995"}, {"1,2,3", "1,2,3"},  {"  1,2,", "1,2,"},   {"12.5", "12.5"},
      {",", ","},         {"abc", "abc"},        {"1 000", "1 000"}};
  for (const auto& [typed, shown] : cases) {
    EXPECT_EQ(converter_->FormatAmountText(typed, true), shown) << typed;
    EXPECT_EQ(LeaveBox(typed), shown) << typed;
  }
}

TEST_F(AmountsTest, WithoutDecimalsWhenTheyAreZero) {
  const std::pair<const char*, const char*> cases[] = {
      {"12,00", "12"}, {"  12", "12"}, {"0,0", "0"}, {"12,5", "12,50"}, {"12,05", "12,05"},
      {"123456", "123456"}};
  for (const auto& [typed, shown] : cases) {
    EXPECT_EQ(converter_->FormatAmountText(typed, false), shown) << typed;
  }
}

TEST_F(AmountsTest, FieldLimitsAreTheCallersOnes) {
  EXPECT_EQ(LeaveBox("123,4", 3, 1), "123,4");
  EXPECT_EQ(LeaveBox("1234", 3, 1), "1234");
  EXPECT_EQ(LeaveBox("12,34", 3, 1), "12,3");
  EXPECT_EQ(LeaveBox("12", 3, 1), "12,0");
  EXPECT_EQ(LeaveBox("12,0", 5, 0), "12");
  EXPECT_EQ(LeaveBox("12,5", 5, 0), "13");
  EXPECT_EQ(LeaveBox("999,96", 3, 1), "999,96");  // rounds to four integer digits
  for (const auto& [digits, decimals] : {std::pair{-1, 2}, std::pair{5, -1}}) {
    try {
      LeaveBox("12", digits, decimals);
      ADD_FAILURE() << digits << " " << decimals;
    } catch (const ComponentError& e) {
      EXPECT_EQ(e.number(), err::kInvalidCall);
    }
  }
}

// Whatever the box shows for an accepted amount is what "####0.00" writes for its value, and
// the number conversion reads it back: the saving of an advance relies on both.
TEST_F(AmountsTest, NormalisedAmountsAgreeWithTheFixedFormatAndConvertBack) {
  char text[48];
  for (long hundredths = 0; hundredths <= 9999999; hundredths += 97) {
    const long units = hundredths / 100;
    const long cents = hundredths % 100;
    // As a clerk types it: no trailing zero, no decimals when there are none.
    if (cents == 0) {
      std::snprintf(text, sizeof text, "%ld", units);
    } else if (cents % 10 == 0) {
      std::snprintf(text, sizeof text, "%ld,%ld", units, cents / 10);
    } else {
      std::snprintf(text, sizeof text, "%ld,%02ld", units, cents);
    }
    const std::string shown = converter_->FormatAmountText(text, true);
    ASSERT_EQ(shown, french_->FormatFixed2(static_cast<double>(hundredths) / 100)) << text;
    ASSERT_EQ(std::lround(french_->ToNumber(shown) * 100), hundredths) << text;
  }
}

TEST(EnglishAmountsTest, UseTheDecimalPoint) {
  const auto converter = MakeFormatConverter(MakeRegionalSettings("en_US"));
  EXPECT_EQ(converter->FormatAmountText("12.5", true), "12.50");
  EXPECT_EQ(converter->FormatAmountText("   12.5", true), "12.50");
  EXPECT_EQ(converter->FormatAmountText("12,5", true), "12,5");
  EXPECT_EQ(converter->FormatAmountText("7.00", false), "7");
}

TEST(ConverterFactoryTest, RegionalSettingsAreRequired) {
  try {
    MakeFormatConverter(nullptr);
    ADD_FAILURE() << "built without regional settings";
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.number(), err::kInvalidCall);
  }
}

}  // namespace
}  // namespace varnolde
