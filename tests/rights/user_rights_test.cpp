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

TEST_F(UserRightsTest, LevelTwoUserWithEveryCaregiver) {
  const auto rights = LoadUserRights(*db_, "dupont");
  EXPECT_EQ(rights->Login(), "dupont");
  const auto consult = rights->GetFunctionRights(kConsultationFunction);
  EXPECT_EQ(consult->AccessLevel(), 2);
  EXPECT_TRUE(consult->IsAllowed("NORD", false));
  EXPECT_TRUE(consult->IsAllowed("anything", false));
  EXPECT_TRUE(consult->IsAllowed("", false));
  // The other code keeps its own level.
  EXPECT_EQ(rights->GetFunctionRights("PAIE")->AccessLevel(), 1);
}

TEST_F(UserRightsTest, LevelOneUserSeesOnlyTheListedGroups) {
  const auto consult = Consultation("martin");
  EXPECT_EQ(consult->AccessLevel(), 1);
  EXPECT_TRUE(consult->IsAllowed("NORD", false));
  EXPECT_TRUE(consult->IsAllowed("EST", false));
  EXPECT_TRUE(consult->IsAllowed("002", false));
  EXPECT_FALSE(consult->IsAllowed("2", false));      // compared as text
  EXPECT_FALSE(consult->IsAllowed("nord", false));
  EXPECT_FALSE(consult->IsAllowed("SUD", false));
  EXPECT_FALSE(consult->IsAllowed("", false));
  EXPECT_FALSE(consult->IsAllowed("*", false));
  EXPECT_FALSE(consult->IsAllowed("NORD ", false));
}

TEST_F(UserRightsTest, CaregiverWithSeveralGroupsIsVisibleWhenOneIsAllowed) {
  const auto consult = Consultation("martin");
  EXPECT_TRUE(consult->IsAllowed("SUD\xFD" "EST", false));
  EXPECT_TRUE(consult->IsAllowed("\xFD" "NORD", false));
  EXPECT_FALSE(consult->IsAllowed("SUD\xFD" "OUEST", false));
  EXPECT_FALSE(consult->IsAllowed("\xFD", false));
}

TEST_F(UserRightsTest, TheFlagDoesNotChangeTheAnswer) {
  const auto consult = Consultation("martin");
  for (const char* group : {"NORD", "SUD", ""}) {
    EXPECT_EQ(consult->IsAllowed(group, true), consult->IsAllowed(group, false)) << group;
  }
}

TEST_F(UserRightsTest, UserWithoutTheFunctionHasLevelZeroAndSeesNobody) {
  const auto rights = LoadUserRights(*db_, "durand");
  const auto consult = rights->GetFunctionRights(kConsultationFunction);
  EXPECT_EQ(consult->AccessLevel(), 0);
  EXPECT_FALSE(consult->IsAllowed("NORD", false));
  EXPECT_FALSE(consult->IsAllowed("", false));
  EXPECT_EQ(rights->GetFunctionRights("PAIE")->AccessLevel(), 2);
  EXPECT_TRUE(rights->GetFunctionRights("PAIE")->IsAllowed("NORD", false));
  // Codes are compared exactly.
  EXPECT_EQ(rights->GetFunctionRights("paie")->AccessLevel(), 0);
}

TEST_F(UserRightsTest, StarAmongOtherGroupsAllowsEveryCaregiver) {
  const auto rights = LoadUserRights(*db_, "leroy");
  const auto consult = rights->GetFunctionRights(kConsultationFunction);
  EXPECT_EQ(consult->AccessLevel(), 2);
  EXPECT_TRUE(consult->IsAllowed("OUEST", false));
  EXPECT_TRUE(consult->IsAllowed("", false));
  // A code listed without a level grants nothing but still names the user's groups.
  EXPECT_EQ(rights->GetFunctionRights("PAIE")->AccessLevel(), 0);
}

TEST_F(UserRightsTest, FirstOccurrenceOfACodeCountsAndNoGroupsMeansNobody) {
  const auto consult = Consultation("moreau");
  EXPECT_EQ(consult->AccessLevel(), 2);
  EXPECT_FALSE(consult->IsAllowed("NORD", false));
  EXPECT_FALSE(consult->IsAllowed("", false));
}

TEST_F(UserRightsTest, LoginsAreCaseSensitive) {
  EXPECT_EQ(Consultation("Dupont")->AccessLevel(), 0);
  EXPECT_EQ(Consultation("dupont")->AccessLevel(), 2);
  EXPECT_EQ(LoadError("DUPONT").number(), err::kUnknownUser);
}

TEST_F(UserRightsTest, UnknownLoginIsAnErrorNamingIt) {
  const ComponentError error = LoadError("inconnu");
  EXPECT_EQ(error.number(), err::kUnknownUser);
  EXPECT_NE(std::string(error.what()).find("inconnu"), std::string::npos) << error.what();
  EXPECT_EQ(LoadError("").number(), err::kUnknownUser);
  EXPECT_EQ(LoadError("dupont\xFE" "1").number(), err::kUnknownUser);
}

TEST_F(UserRightsTest, LevelThatIsNotAWholeNumberIsBadData) {
  const ComponentError error = LoadError("bernard");
  EXPECT_EQ(error.number(), err::kBadData);
  const std::string text = error.what();
  for (const char* part : {"bernard", "CONSULTACPT", "deux"}) {
    EXPECT_NE(text.find(part), std::string::npos) << text;
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
