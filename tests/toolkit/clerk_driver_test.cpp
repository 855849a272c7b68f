// The clerk driver: what it refuses and how it says so, and what a person's hands do when a
// reaction moves the focus in the middle of an action.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/conformance_layout.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"
#include "toolkit/recording_reactions.h"

namespace varnolde::conformance {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class ClerkDriverTest : public ::testing::Test {
 protected:
  ClerkDriverTest() { toolkit_.Attach(ConformanceLayout(), reactions_); }

  // The refusal's message, after checking it is a ClerkRefusal naming control.
  template <class Action>
  std::string RefusalOf(ControlId control, Action&& action) {
    try {
      action();
    } catch (const ClerkRefusal& refusal) {
      EXPECT_EQ(refusal.control(), control);
      return refusal.what();
    }
    ADD_FAILURE() << "the clerk was not refused";
    return {};
  }

  RecordingReactions reactions_{ConformanceLayout()};
  HeadlessToolkit toolkit_;
  ClerkDriver clerk_{toolkit_};
};

TEST_F(ClerkDriverTest, RefusalNamesTheControlAndWhyItIsOutOfReach) {
  toolkit_.SetEnabled(txt_Court, false);
  EXPECT_EQ(RefusalOf(txt_Court, [&] { clerk_.Type(txt_Court, "1"); }),
            "cannot type into txt_Court: disabled");
  EXPECT_EQ(RefusalOf(txt_Cache, [&] { clerk_.Focus(txt_Cache); }),
            "cannot focus txt_Cache: invisible");
  toolkit_.SetEnabled(Fra_Cadre, false);
  EXPECT_EQ(RefusalOf(cmd_Cadre, [&] { clerk_.Click(cmd_Cadre); }),
            "cannot click cmd_Cadre: inside disabled frame Fra_Cadre");
  toolkit_.SetPanelEnabled(false);
  EXPECT_EQ(RefusalOf(cmd_Bouton, [&] { clerk_.PressKey(cmd_Bouton, ClerkKey::kTab); }),
            "cannot press Tab in cmd_Bouton: the panel is disabled");
  EXPECT_EQ(RefusalOf(99, [&] { clerk_.Click(99); }),
            "cannot click control 99: there is no such control");
  EXPECT_THAT(reactions_.Log(), IsEmpty());
  EXPECT_EQ(toolkit_.Focused(), kNoControl);
}

TEST_F(ClerkDriverTest, RefusesActionsAControlDoesNotTake) {
  EXPECT_THAT(RefusalOf(cmd_Bouton, [&] { clerk_.Type(cmd_Bouton, "x"); }),
              HasSubstr("a button takes no typing"));
  EXPECT_THAT(RefusalOf(cbo_Choix, [&] { clerk_.PressKey(cbo_Choix, ClerkKey::kEnter); }),
              HasSubstr("a drop-down list takes no typing"));
  EXPECT_THAT(RefusalOf(lst_Gauche, [&] { clerk_.Pick(lst_Gauche, 0); }),
              HasSubstr("a list box has no items to pick"));
  EXPECT_THAT(RefusalOf(cbo_Saisie, [&] { clerk_.ClickRow(cbo_Saisie, 0); }),
              HasSubstr("a combo box has no rows to click"));
  EXPECT_THAT(RefusalOf(Bdv_Barre, [&] { clerk_.Click(Bdv_Barre); }),
              HasSubstr("MoveScroll or DragScroll"));
  EXPECT_THAT(RefusalOf(lbl_Titre, [&] { clerk_.Focus(lbl_Titre); }),
              HasSubstr("a label does not take the focus"));
  EXPECT_THAT(RefusalOf(txt_Libre, [&] { clerk_.MoveScroll(txt_Libre, 1); }),
              HasSubstr("a text box is not a scroll bar"));
  EXPECT_THAT(reactions_.Log(), IsEmpty());
}

TEST_F(ClerkDriverTest, RefusesRowsItemsAndValuesThatDoNotExist) {
  toolkit_.AddItem(lst_Gauche, "seule");
  EXPECT_EQ(RefusalOf(lst_Gauche, [&] { clerk_.ClickRow(lst_Gauche, 1); }),
            "cannot click a row of lst_Gauche: there is no row 1 (it holds 1 row, numbered from 0)");
  EXPECT_THAT(RefusalOf(cbo_Choix, [&] { clerk_.Pick(cbo_Choix, 0); }),
              HasSubstr("there is no row 0 (it holds 0 rows"));
  toolkit_.SetScrollMax(Bdv_Barre, 4);
  EXPECT_EQ(RefusalOf(Bdv_Barre, [&] { clerk_.DragScroll(Bdv_Barre, 5); }),
            "cannot drag Bdv_Barre: value 5 is outside 0..4");
  toolkit_.SetScrollUsable(Bdv_Barre, false);
  EXPECT_EQ(RefusalOf(Bdv_Barre, [&] { clerk_.MoveScroll(Bdv_Barre, 1); }),
            "cannot move Bdv_Barre: the scroll bar is not usable");
  EXPECT_THAT(reactions_.Log(), IsEmpty());
}

TEST_F(ClerkDriverTest, RefusesTextThatIsNotPlainUtf8BeforeTypingAnything) {
  EXPECT_EQ(RefusalOf(txt_Libre, [&] { clerk_.Type(txt_Libre, "ab\xC3"); }),
            "cannot type into txt_Libre: the text is not UTF-8 (byte 3)");
  EXPECT_THAT(RefusalOf(txt_Libre, [&] { clerk_.Type(txt_Libre, "ab\tc"); }),
              HasSubstr("character 3 is a control character"));
  EXPECT_EQ(toolkit_.Text(txt_Libre), "");
  EXPECT_THAT(reactions_.Log(), IsEmpty());
  EXPECT_EQ(toolkit_.Focused(), kNoControl);
}

TEST_F(ClerkDriverTest, StopsTypingWhenTheBoxLosesTheFocusOrIsDisabled) {
  reactions_.When(txt_Libre, EventKind::kChange, [&] {
    if (toolkit_.Text(txt_Libre).size() == 2) toolkit_.SetFocus(txt_Court);
  });
  EXPECT_EQ(RefusalOf(txt_Libre, [&] { clerk_.Type(txt_Libre, "1234"); }),
            "cannot type into txt_Libre: it lost the focus after 2 characters "
            "(the focus is on txt_Court)");
  EXPECT_EQ(toolkit_.Text(txt_Libre), "12");
  EXPECT_EQ(toolkit_.Text(txt_Court), "");

  reactions_.When(txt_Court, EventKind::kChange, [&] { toolkit_.SetPanelEnabled(false); });
  EXPECT_THAT(RefusalOf(txt_Court, [&] { clerk_.Type(txt_Court, "12"); }),
              HasSubstr("after 1 character (the panel is disabled)"));
  EXPECT_EQ(toolkit_.Text(txt_Court), "1");
}

TEST_F(ClerkDriverTest, ButtonIsNotClickedWhenLostFocusPullsTheFocusBack) {
  clerk_.Type(txt_Libre, "12");
  reactions_.When(txt_Libre, EventKind::kLostFocus, [&] {
    toolkit_.MsgBox("Cet aidant n'existe pas.", MsgButtons::kOk, MsgIcon::kExclamation,
                    kMessageTitle);
    toolkit_.SetFocus(txt_Libre);
  });
  reactions_.TakeLog();
  clerk_.Click(cmd_Bouton);
  EXPECT_EQ(toolkit_.Focused(), txt_Libre);
  EXPECT_THAT(reactions_.Log(), ElementsAre("txt_Libre lostfocus", "cmd_Bouton lostfocus"));
  ASSERT_EQ(toolkit_.Messages().size(), 1u);

  EXPECT_THAT(RefusalOf(txt_Court, [&] { clerk_.Type(txt_Court, "9"); }),
              HasSubstr("lost the focus as the clerk came to it (the focus is on txt_Libre)"));
}

TEST_F(ClerkDriverTest, ClicksByKindOfControl) {
  toolkit_.AddItem(lst_Gauche, "a");
  clerk_.Click(txt_Libre);
  clerk_.Click(txt_Libre);
  clerk_.Click(lbl_Titre);  // a label hears its click and takes no focus
  EXPECT_EQ(toolkit_.Focused(), txt_Libre);
  clerk_.Click(lst_Gauche);  // a click beside the rows: focus only
  clerk_.Click(cbo_Choix);   // opening the drop-down: focus only
  EXPECT_THAT(reactions_.Log(),
              ElementsAre("txt_Libre click", "txt_Libre click", "lbl_Titre click",
                          "txt_Libre lostfocus", "lst_Gauche lostfocus"));
  EXPECT_EQ(toolkit_.ListIndex(lst_Gauche), -1);
}

TEST_F(ClerkDriverTest, NoDoubleClickWhenTheClickGreysTheList) {
  toolkit_.AddItem(lst_Gauche, "a");
  toolkit_.AddItem(lst_Gauche, "b");
  reactions_.When(lst_Gauche, EventKind::kClick, [&] { toolkit_.SetEnabled(lst_Gauche, false); });
  clerk_.DoubleClickRow(lst_Gauche, 1);
  EXPECT_THAT(reactions_.Log(), ElementsAre("lst_Gauche click"));
}

TEST_F(ClerkDriverTest, RefusalsAndUnansweredQuestionsEscapeEveryDispatch) {
  reactions_.When(cmd_Bouton, EventKind::kClick, [&] { clerk_.Type(txt_Cache, "x"); });
  EXPECT_THROW(clerk_.Click(cmd_Bouton), ClerkRefusal);
  reactions_.When(cmd_Bouton, EventKind::kClick, [&] {
    toolkit_.MsgBox("Prendre le contrat ?", MsgButtons::kYesNo, MsgIcon::kExclamation,
                    kMessageTitle);
  });
  EXPECT_THROW(clerk_.Click(cmd_Bouton), UnansweredQuestion);
  clerk_.QueueAnswer(kAnswerNo);
  clerk_.Click(cmd_Bouton);
  ASSERT_EQ(toolkit_.Messages().size(), 1u);
  EXPECT_EQ(toolkit_.Messages()[0].answer, kAnswerNo);
}

}  // namespace
}  // namespace varnolde::conformance
