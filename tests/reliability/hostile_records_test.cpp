// Records a clerk's data file may hold though no program of ours writes them: amounts and dates
// that are not numbers, marks inside values, very long texts, bytes that are not UTF-8. The
// panel shows them without crashing, keeps its four lists in step, and validation leaves an
// advance whose amount is no number as it is stored.
#include <gtest/gtest.h>

#include <regex>

#include "mvdb/link.h"
#include "panel/layout.h"
#include "support/support.h"
#include "reliability/clerk_session.h"
#include "toolkit/headless/render_panel.h"

namespace varnolde::reliability {

using test::ScratchDir;
namespace {

using namespace varnolde::panel;

constexpr char kAM = '\xFE';
constexpr char kVM = '\xFD';
constexpr char kSVM = '\xFC';

struct HostileAdvance {
  std::string what;
  std::string text;  // the stored record text
};

// Contract 00040nnn's advance for the period, nnn from 001.
const std::vector<HostileAdvance> kAdvances = {
    {"an amount with a decimal comma", "12,50"},
    {"an amount of letters", "abc"},
    {"an amount in exponent form", "1e5"},
    {"a negative amount", "-500"},
    {"an amount split by a value mark", std::string("12") + kVM + "34"},
    {"an amount of five thousand digits", std::string(5000, '9')},
    {"a payment date of letters", std::string("500") + kAM + "abc"},
    {"a payment date far beyond any calendar", std::string("500") + kAM + "99999999999"},
    {"a payment date and no amount", std::string("") + kAM + "12488"},
    {"a subvalue mark and a negative date", std::string("500") + kSVM + "3" + kAM + "-1"},
    {"an amount that is not UTF-8", "\xC3\x28\xA0"},
    {"a date with a value mark", std::string("700") + kAM + "12488" + kVM + "12489"},
    {"a hundred thousand characters of amount", std::string(100000, 'x')},
    {"an infinite amount", "inf"},
    {"an amount that is not a number", "nan"},
    {"an amount of leading zeros", "0012"},
    {"an ordinary amount", "1500"},
};

bool IsStoredNumber(const std::string& text) {
  static const std::regex number("-?(0|[1-9][0-9]*)(\\.[0-9]*[1-9])?");
  return std::regex_match(text, number);
}

class HostileRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    MakeFixtureDatabase(db_);
    auto database = mvdb::OpenMvdb(db_);
    // Two values in its first name, a hundred thousand characters and a byte that is not UTF-8
    // in its second, the group "G1" in attribute 31.
    std::vector<std::string> attributes(31);
    attributes[1] = std::string("HOSTILE") + kVM + "DEUX";
    attributes[2] = std::string(100000, 'N') + "\xFF";
    attributes[30] = "G1";
    std::string caregiver;
    for (const std::string& attribute : attributes) caregiver += attribute + kAM;
    caregiver.pop_back();
    database->WriteRecord("CIVILAIDANT", "00040", caregiver);
    database->WriteRecord("ASSOCIATION", "003", std::string(50000, 'A') + kAM + std::string(50000, 'E'));
    for (std::size_t i = 0; i < kAdvances.size(); ++i) {
      const std::string contract = Contract(i);
      // Employers: one that exists, one with a long name, one that does not exist.
      const char* employer = i % 3 == 0 ? "001" : i % 3 == 1 ? "003" : "999";
      database->WriteRecord("CONTRAT", contract,
                            std::string(employer) + kAM + "001" + std::string(5, kAM) + "12420");
      database->WriteRecord("ACOMPTEBULL", contract + kPeriod, kAdvances[i].text);
    }
    // Contracts whose dates are not dates.
    database->WriteRecord("CONTRAT", "00040101",
                          std::string("001") + kAM + "001" + std::string(5, kAM) + "12420" + kAM + "fin");
    database->WriteRecord("CONTRAT", "00040102",
                          std::string("001") + kAM + "001" + std::string(5, kAM) + "12420" + kVM +
                              "1" + kAM + "99999999999999999999");
  }

  static std::string Contract(std::size_t index) {
    std::string number = std::to_string(index + 1);
    return "00040" + std::string(3 - number.size(), '0') + number;
  }

  // The four lists have as many rows; returns that number.
  static int RowsInStep(ClerkSession& session) {
    const int rows = session.toolkit().ListCount(lst_Liste1);
    for (ControlId list : {lst_Acompte, lst_Etat, Lst_CodeContrat}) {
      EXPECT_EQ(session.toolkit().ListCount(list), rows) << session.toolkit().Definition(list).name;
    }
    return rows;
  }

  // Messages of errors that escaped a reaction ("Erreur NUMBER : text").
  static std::vector<std::string> EscapedErrors(ClerkSession& session) {
    std::vector<std::string> errors;
    for (const std::string& text : session.MessagesSince(0)) {
      if (text.rfind("Erreur ", 0) == 0 && text.find(" : ") != std::string::npos) errors.push_back(text);
    }
    return errors;
  }

  ScratchDir dir_{"hostile"};
  std::string db_ = dir_.File("hostile.db");
};

TEST_F(HostileRecordTest, EveryRowIsShownOpenedAndValidatedWithoutCrash) {
  auto link = mvdb::OpenDatabase(db_);
  ClerkSession session(link);
  session.ChooseEntity();
  for (int i = 0; i < 8; ++i) session.toolkit().QueueAnswer(kAnswerNo);
  const auto contracts = session.LoadCaregiver("00040");
  EXPECT_GE(contracts.size(), kAdvances.size());
  const int rows = RowsInStep(session);
  EXPECT_FALSE(RenderPanel(session.toolkit()).empty());

  // Open every row and close it again, scrolling as a clerk would.
  for (int row = 0; row < rows; ++row) {
    SCOPED_TRACE("row " + std::to_string(row));
    session.clerk().DoubleClickRow(lst_Liste1, row);
    session.clerk().Click(cmd_Annuler);
    EXPECT_EQ(RowsInStep(session), rows);
  }
  if (session.toolkit().ScrollUsable(Bdv_Liste)) {
    session.clerk().DragScroll(Bdv_Liste, session.toolkit().ScrollMax(Bdv_Liste));
  }
  EXPECT_FALSE(RenderPanel(session.toolkit()).empty());

  // Validation rewrites what it can read and leaves the rest as stored.
  const auto shown = session.Validate();
  EXPECT_TRUE(shown.empty()) << shown[0];
  EXPECT_EQ(EscapedErrors(session), std::vector<std::string>{});
  auto file = link->OpenFile("ACOMPTEBULL");
  for (std::size_t i = 0; i < kAdvances.size(); ++i) {
    SCOPED_TRACE(kAdvances[i].what);
    const std::string key = Contract(i) + kPeriod;
    std::string stored;
    try {
      stored = file->Read(key)->Get();
    } catch (const ComponentError& e) {
      // A payment date without an amount is no advance: the row shows no amount, and
      // validation removes it as it removes every row without one.
      if (kAdvances[i].text.front() != kAM) ADD_FAILURE() << "advance " << key << " lost: " << e.what();
      continue;
    }
    const std::string amount = stored.substr(0, stored.find(kAM));
    if (stored != kAdvances[i].text) {
      // Rewritten: only an advance the panel could read, and with a number for its amount.
      EXPECT_TRUE(IsStoredNumber(amount)) << "rewritten as '" << stored.substr(0, 40) << "'";
    }
  }
  // The advances that are no numbers at all are left exactly as they were: validation must not
  // take the text shown for an amount the clerk confirmed.
  for (std::size_t i : {1u, 2u, 4u, 5u, 10u, 12u, 13u, 14u}) {
    EXPECT_EQ(file->Read(Contract(i) + kPeriod)->Get(), kAdvances[i].text) << kAdvances[i].what;
  }
}

TEST_F(HostileRecordTest, TheLongAndMarkedNameIsFoundAndShown) {
  ClerkSession session(mvdb::OpenDatabase(db_));
  session.ChooseEntity();
  session.clerk().Type(cbo_NomAidant, "HOSTILE");
  session.clerk().PressKey(cbo_NomAidant, ClerkKey::kEnter);
  EXPECT_EQ(session.toolkit().Text(txt_CodeAidant), "00040");
  EXPECT_GT(session.toolkit().Text(cbo_NomAidant).size(), 100000u);
  EXPECT_GE(RowsInStep(session), static_cast<int>(kAdvances.size()));
  EXPECT_FALSE(RenderPanel(session.toolkit()).empty());
  EXPECT_EQ(EscapedErrors(session), std::vector<std::string>{});
}

}  // namespace
}  // namespace varnolde::reliability
