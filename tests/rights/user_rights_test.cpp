// The rights component on a real database: users.jsonl loaded into a scratch mvdb file.
//   dupont  CONSULTACPT level 2 (second code), every caregiver
//   martin  CONSULTACPT level 1, groups NORD, EST, 002
//   durand  no CONSULTACPT
//   leroy   CONSULTACPT level 2, "*" among other groups; PAIE listed without a level
//   moreau  CONSULTACPT twice (" 2 " then "1"), no groups
//   bernard CONSULTACPT with the level "deux"
//   Dupont  another user than dupont
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "components/errors.h"
#include "mvdb/temp_database.h"
#include "rights/user_rights.h"

namespace varnolde {
namespace {

using mvdb::fixture::TempDir;

class UserRightsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream users(VARNOLDE_USERS_FIXTURE);
    ASSERT_TRUE(users) << VARNOLDE_USERS_FIXTURE;
    mvdb::LoadJsonLines(path_, users);
    db_ = mvdb::OpenDatabase(path_);
  }

  std::shared_ptr<FunctionRights> Consultation(const std::string& login) {
    return LoadUserRights(*db_, login)->GetFunctionRights(kConsultationFunction);
  }

  ComponentError LoadError(const std::string& login) {
    try {
      LoadUserRights(*db_, login);
    } catch (const ComponentError& e) {
      return e;
    }
    ADD_FAILURE() << "loaded the rights of \"" << login << "\"";
    return ComponentError(0, "");
  }

  TempDir dir_;
  std::string path_ = dir_.File("rights.mvdb");
  std::shared_ptr<DatabaseLink> db_;
};

// Each code keeps its own level; the first occurrence of a code counts; a code listed without a
// level, or not listed, grants level 0; codes and logins are compared exactly.
TEST_F(UserRightsTest, LevelsPerUserAndCode) {
  const struct {
    const char* login;
    std::string_view code;
    int level;
  } cases[] = {{"dupont", kConsultationFunction, 2}, {"dupont", "PAIE", 1},
               {"martin", kConsultationFunction, 1}, {"durand", kConsultationFunction, 0},
               {"durand", "PAIE", 2},                {"durand", "paie", 0},
               {"leroy", kConsultationFunction, 2},  {"leroy", "PAIE", 0},
               {"moreau", kConsultationFunction, 2}, {"Dupont", kConsultationFunction, 0}};
  for (const auto& c : cases) {
    const auto rights = LoadUserRights(*db_, c.login);
    EXPECT_EQ(rights->Login(), c.login);
    EXPECT_EQ(rights->GetFunctionRights(c.code)->AccessLevel(), c.level)
        << c.login << " " << c.code;
  }
}

// "*" allows every caregiver, even among other groups; otherwise groups are compared as text and
// a caregiver in several groups (value marks) is visible when one of them is allowed; no
// groups means nobody. The flag never changes the answer.
TEST_F(UserRightsTest, WhichCaregiversAUserSees) {
  constexpr std::string_view kC = kConsultationFunction;
  const struct {
    const char* login;
    std::string_view code;
    std::vector<std::pair<std::string, bool>> groups;
  } cases[] = {
      {"dupont", kC, {{"NORD", true}, {"anything", true}, {"", true}}},
      {"martin", kC, {{"NORD", true}, {"EST", true}, {"002", true}, {"2", false},
                      {"nord", false}, {"SUD", false}, {"", false}, {"*", false},
                      {"NORD ", false}, {"SUD\xFD" "EST", true}, {"\xFD" "NORD", true},
                      {"SUD\xFD" "OUEST", false}, {"\xFD", false}}},
      {"durand", kC, {{"NORD", false}, {"", false}}},
      {"durand", "PAIE", {{"NORD", true}}},
      {"leroy", kC, {{"OUEST", true}, {"", true}}},
      {"moreau", kC, {{"NORD", false}, {"", false}}}};
  for (const auto& c : cases) {
    const auto rights = LoadUserRights(*db_, c.login)->GetFunctionRights(c.code);
    for (const auto& [groups, allowed] : c.groups) {
      for (const bool flag : {false, true}) {
        EXPECT_EQ(rights->IsAllowed(groups, flag), allowed)
            << c.login << " " << c.code << " \"" << groups << "\" " << flag;
      }
    }
  }
}

// Logins are case sensitive; an unknown login or a level that is not a whole number is an error
// naming what is wrong.
TEST_F(UserRightsTest, UnknownLoginsAndBadLevelsAreErrorsNamingThem) {
  const struct {
    std::string login;
    ErrorNumber number;
    std::vector<const char*> named;
  } cases[] = {{"DUPONT", err::kUnknownUser, {}},
               {"inconnu", err::kUnknownUser, {"inconnu"}},
               {"", err::kUnknownUser, {}},
               {"dupont\xFE" "1", err::kUnknownUser, {}},
               {"bernard", err::kBadData, {"bernard", "CONSULTACPT", "deux"}}};
  for (const auto& c : cases) {
    const ComponentError error = LoadError(c.login);
    EXPECT_EQ(error.number(), c.number) << c.login;
    for (const char* part : c.named) {
      EXPECT_NE(std::string(error.what()).find(part), std::string::npos) << error.what();
    }
  }
}

TEST_F(UserRightsTest, RightsAreASnapshotThatOutlivesTheLink) {
  const auto rights = LoadUserRights(*db_, "martin");
  db_.reset();
  std::istringstream change(
      R"({"file": "UTILISATEURS", "id": "martin", "rec": ["CONSULTACPT", "2", "*"]})");
  mvdb::LoadJsonLines(path_, change);
  const auto before = rights->GetFunctionRights(kConsultationFunction);
  EXPECT_EQ(before->AccessLevel(), 1);
  EXPECT_FALSE(before->IsAllowed("SUD", false));
  // The administrator's change shows at the next load.
  db_ = mvdb::OpenDatabase(path_);
  EXPECT_EQ(Consultation("martin")->AccessLevel(), 2);
  EXPECT_TRUE(Consultation("martin")->IsAllowed("SUD", false));
}

TEST(UserRightsTableTest, DatabaseWithoutTheTableIsAnUnknownFile) {
  TempDir dir;
  const auto db = mvdb::OpenDatabase(dir.File("empty.mvdb"), mvdb::OpenOptions{.create = true});
  try {
    LoadUserRights(*db, "dupont");
    ADD_FAILURE() << "loaded rights without a UTILISATEURS table";
  } catch (const ComponentError& e) {
    EXPECT_EQ(e.number(), err::kUnknownFile);
  }
}

}  // namespace
}  // namespace varnolde
