// Opening the panel as a host does, and the start-up failures a host reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/panel_session.h"
#include "host/read_groups.h"
#include "mvdb/link.h"
#include "panel/layout.h"
#include "script/demo_database.h"
#include "toolkit/headless/headless_toolkit.h"

namespace varnolde::host {
namespace {

using ::testing::HasSubstr;
using namespace varnolde::panel;

class PanelSessionTest : public ::testing::Test {
 protected:
  testing::DemoDatabase demo_;
  HeadlessToolkit toolkit_;
};

TEST_F(PanelSessionTest, OpensTheDatabaseAndInitialisesThePanel) {
  auto session = PanelSession::Open(toolkit_, demo_.Path(), {"gestionnaire", "fr_FR"});
  EXPECT_EQ(session->DatabasePath(), demo_.Path());
  EXPECT_EQ(session->Settings().login, "gestionnaire");
  EXPECT_EQ(session->Regional().LocaleName(), "fr_FR");
  EXPECT_EQ(session->Converter().DateToText("21495"), "06/11/2026");
  EXPECT_EQ(toolkit_.Text(cbo_PeriodePaie), "NOVEMBRE 2026");
  EXPECT_EQ(toolkit_.ListCount(cbo_Entite), 4);
  EXPECT_EQ(toolkit_.Focused(), txt_Entite);
  EXPECT_TRUE(toolkit_.Visible(cmd_Valider));
  EXPECT_FALSE(session->Panel().W_sortir());
}

TEST_F(PanelSessionTest, TheLocaleAndTheUsersRightsReachThePanel) {
  auto session = PanelSession::Open(toolkit_, demo_.Path(), {"consultant", "en_US"});
  EXPECT_EQ(toolkit_.ItemText(cbo_PeriodePaie, 1), "DECEMBER 2026");
  EXPECT_FALSE(toolkit_.Visible(cmd_Valider));
  EXPECT_FALSE(toolkit_.Visible(cmd_Supprimer));
}

TEST_F(PanelSessionTest, AHostsOwnLinkIsUsedAsItIs) {
  std::shared_ptr<DatabaseLink> link = mvdb::OpenDatabase(demo_.Path());
  auto session = PanelSession::Open(toolkit_, link, {"gestionnaire", "fr_FR"});
  EXPECT_EQ(&session->Database(), link.get());
  EXPECT_EQ(session->DatabasePath(), demo_.Path());
}

TEST_F(PanelSessionTest, TheLinkOutlivesSortir) {
  auto session = PanelSession::Open(toolkit_, demo_.Path(), {"gestionnaire", "fr_FR"});
  session->Panel().OnEvent(cmd_Sortir, EventKind::kClick);
  EXPECT_TRUE(toolkit_.HostClosed());
  EXPECT_EQ(session->Database().OpenFile("PERIODESPAIE")->Read("1")->Get(1), "202611");
}

// A missing database is named and not created; an unknown login is named with the database.
TEST_F(PanelSessionTest, StartUpFailuresNameWhatIsMissing) {
  const std::string missing = (demo_.Directory() / "absent.db").string();
  const struct {
    std::string path, login;
    ErrorNumber number;
    std::vector<std::string> named;
  } cases[] = {{missing, "gestionnaire", err::kDatabaseOpen, {missing}},
               {demo_.Path(), "inconnu", err::kUnknownUser, {"« inconnu »", demo_.Path()}}};
  for (const auto& c : cases) {
    try {
      PanelSession::Open(toolkit_, c.path, {c.login, "fr_FR"});
      ADD_FAILURE() << c.login;
    } catch (const ComponentError& error) {
      EXPECT_EQ(error.number(), c.number);
      for (const std::string& name : c.named) EXPECT_THAT(error.what(), HasSubstr(name));
    }
  }
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(PanelSessionTest, AFailedInitLeavesNothingOpen) {
  mvdb::OpenDatabase(demo_.Path())->OpenFile("PERIODESPAIE")->Read("1")->DBDelete();
  try {
    PanelSession::Open(toolkit_, demo_.Path(), {"gestionnaire", "fr_FR"});
    FAIL();
  } catch (const ComponentError& error) {
    EXPECT_EQ(error.number(), err::kRecordNotFound);
    EXPECT_THAT(error.what(), HasSubstr("le panneau n'a pas pu s'ouvrir"));
    EXPECT_THAT(error.what(), HasSubstr(demo_.Path()));
  }
  // The failed session is gone: another can open.
  auto link = mvdb::OpenDatabase(demo_.Path());
  auto record = link->OpenFile("PERIODESPAIE")->ReadForUpdate("1");
  record->Set(
      "202611\xFE"
      "202612");
  record->DBWrite();
  HeadlessToolkit other;
  EXPECT_NO_THROW(PanelSession::Open(other, link, {"gestionnaire", "fr_FR"}));
}

TEST_F(PanelSessionTest, OnlyOneSessionLivesAtATime) {
  auto first = PanelSession::Open(toolkit_, demo_.Path(), {"gestionnaire", "fr_FR"});
  HeadlessToolkit other;
  EXPECT_THROW(PanelSession::Open(other, demo_.Path(), {"gestionnaire", "fr_FR"}),
               std::logic_error);
  first.reset();
  EXPECT_NO_THROW(PanelSession::Open(other, demo_.Path(), {"gestionnaire", "fr_FR"}));
}

// One clerk action reads one view of the database, taken at its first read, however often it
// reads a record again; a question to the clerk ends that view, so that what follows the answer
// reads the database as it is then, another clerk's change included.
TEST_F(PanelSessionTest, AClerkActionReadsOneViewUntilItAsksTheClerk) {
  auto link = mvdb::OpenDatabase(demo_.Path());
  auto other = mvdb::OpenMvdb(demo_.Path());
  ReadGroupingToolkit toolkit(toolkit_, *link);
  struct Reactions : PanelReactions {
    std::function<void()> on_change;
    void OnEvent(ControlId, EventKind event) override {
      if (event == EventKind::kChange) on_change();
    }
    void OnKeyPress(ControlId, int&) override {}
  } reactions;
  toolkit.Attach(Layout(), reactions);
  auto periods = [&] { return link->OpenFile("PERIODESPAIE")->Read("1")->Get(); };
  std::vector<std::string> seen;
  reactions.on_change = [&] {
    seen.push_back(periods());
    other->WriteRecord("PERIODESPAIE", "1", "202612");
    seen.push_back(periods());
    toolkit.MsgBox("?", MsgButtons::kOk, MsgIcon::kQuestion, kMessageTitle);
    seen.push_back(periods());
    other->WriteRecord("PERIODESPAIE", "1", "202701");
  };
  toolkit.SetText(txt_CodeAidant, "1");
  seen.push_back(periods());  // after the action
  const std::string both = std::string("202611") + kAttributeMark + "202612";
  EXPECT_EQ(seen, (std::vector<std::string>{both, both, "202612", "202701"}));
}

}  // namespace
}  // namespace varnolde::host
