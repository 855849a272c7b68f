// What the headless toolkit adds to the contract: layout checks, the records it keeps in place
// of a screen, the answer queue, and its choices where the contract leaves one open.
#include <array>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/conformance_layout.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"
#include "toolkit/recording_reactions.h"

namespace varnolde::conformance {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class HeadlessToolkitTest : public ::testing::Test {
 protected:
  HeadlessToolkitTest() { toolkit_.Attach(ConformanceLayout(), reactions_); }

  RecordingReactions reactions_{ConformanceLayout()};
  HeadlessToolkit toolkit_;
  ClerkDriver clerk_{toolkit_};
};

TEST(HeadlessAttach, RejectsALayoutWhoseContainerIsNotAnEarlierFrame) {
  using K = ControlKind;
  const std::array<ControlSpec, 2> not_a_frame = {{
      {"cmd_A", K::kButton, "A", kNoControl, 0, 0, 0, 10, 10, false, 0, true},
      {"txt_B", K::kTextBox, "", 0, 1, 0, 0, 10, 10, false, 0, true},
  }};
  const std::array<ControlSpec, 2> frame_after = {{
      {"txt_B", K::kTextBox, "", 1, 1, 0, 0, 10, 10, false, 0, true},
      {"Fra_A", K::kFrame, "A", kNoControl, 0, 0, 0, 10, 10, false, 0, true},
  }};
  const std::array<ControlSpec, 1> negative_length = {{
      {"txt_B", K::kTextBox, "", kNoControl, 1, 0, 0, 10, 10, false, -1, true},
  }};
  RecordingReactions reactions(ConformanceLayout());
  for (const PanelLayout& layout : {PanelLayout{100, 100, "Courier New", 8.25, not_a_frame},
                                    PanelLayout{100, 100, "Courier New", 8.25, frame_after},
                                    PanelLayout{100, 100, "Courier New", 8.25, negative_length}}) {
    HeadlessToolkit toolkit;
    try {
      toolkit.Attach(layout, reactions);
      ADD_FAILURE() << "accepted a bad layout";
    } catch (const std::invalid_argument& error) {
      EXPECT_THAT(error.what(), ::testing::HasSubstr("txt_B"));
    }
    EXPECT_FALSE(toolkit.Attached());
  }
}

TEST(HeadlessAttach, UseBeforeAttachOrAttachingTwiceIsAProgrammingFault) {
  HeadlessToolkit toolkit;
  EXPECT_THROW(toolkit.Text(txt_Libre), std::logic_error);
  EXPECT_THROW(toolkit.Focused(), std::logic_error);
  ClerkDriver clerk(toolkit);
  EXPECT_THROW(clerk.Click(cmd_Bouton), std::logic_error);
  RecordingReactions reactions(ConformanceLayout());
  toolkit.Attach(ConformanceLayout(), reactions);
  EXPECT_THROW(toolkit.Attach(ConformanceLayout(), reactions), std::logic_error);
}

TEST_F(HeadlessToolkitTest, CaptionsComeFromTheLayoutAndChangeSilently) {
  EXPECT_EQ(toolkit_.Text(lbl_Titre), "Titre");
  EXPECT_EQ(toolkit_.Text(cmd_Cadre), "Dans le cadre");
  EXPECT_EQ(toolkit_.Text(Fra_Cadre), "Cadre");
  toolkit_.SetText(lbl_Titre, "Nouveau titre");
  EXPECT_EQ(toolkit_.Text(lbl_Titre), "Nouveau titre");
  EXPECT_EQ(toolkit_.Focused(), kNoControl);
  EXPECT_THAT(reactions_.Log(), IsEmpty());
}

TEST_F(HeadlessToolkitTest, KeepsTheRecordsAScreenWouldShow) {
  toolkit_.SetBusyPointer(true);
  toolkit_.SetBusyPointer(true);
  toolkit_.SetBusyPointer(false);
  toolkit_.DoEvents();
  toolkit_.DoEvents();
  EXPECT_THAT(toolkit_.BusyHistory(), ElementsAre(true, true, false));
  EXPECT_EQ(toolkit_.DoEventsCount(), 2);
}

TEST_F(HeadlessToolkitTest, AnswerQueueTakesOnlyYesOrNo) {
  EXPECT_THROW(toolkit_.QueueAnswer(kAnswerOk), std::invalid_argument);
  EXPECT_THROW(toolkit_.QueueAnswer(0), std::invalid_argument);
  toolkit_.QueueAnswer(kAnswerYes);
  EXPECT_EQ(toolkit_.PendingAnswers(), 1u);
  EXPECT_EQ(toolkit_.MsgBox("Ok ?", MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle),
            kAnswerOk);
  EXPECT_EQ(toolkit_.PendingAnswers(), 1u);
  EXPECT_EQ(toolkit_.MsgBox("Oui ?", MsgButtons::kYesNo, MsgIcon::kQuestion, kMessageTitle),
            kAnswerYes);
  EXPECT_EQ(toolkit_.PendingAnswers(), 0u);
  const auto odd_buttons = static_cast<MsgButtons>(3);
  try {
    toolkit_.MsgBox("?", odd_buttons, MsgIcon::kQuestion, kMessageTitle);
    ADD_FAILURE() << "accepted buttons 3";
  } catch (const ComponentError& error) {
    EXPECT_EQ(error.number(), err::kInvalidCall);
  }
  EXPECT_EQ(toolkit_.Messages().size(), 2u);
}

TEST_F(HeadlessToolkitTest, UnansweredQuestionNamesItAndIsNotRecorded) {
  try {
    toolkit_.MsgBox("Voulez-vous supprimer ?", MsgButtons::kYesNo, MsgIcon::kQuestion,
                    kMessageTitle);
    ADD_FAILURE() << "a question went unanswered silently";
  } catch (const UnansweredQuestion& error) {
    EXPECT_EQ(error.question(), "Voulez-vous supprimer ?");
    EXPECT_THAT(error.what(), ::testing::HasSubstr("Voulez-vous supprimer ?"));
  }
  EXPECT_THAT(toolkit_.Messages(), IsEmpty());
}

TEST_F(HeadlessToolkitTest, ReasonsForBeingOutOfReachInOrderOfPrecedence) {
  EXPECT_EQ(toolkit_.UnreachableReason(txt_Cadre), "");
  toolkit_.SetPanelEnabled(false);
  EXPECT_EQ(toolkit_.UnreachableReason(txt_Cadre), "the panel is disabled");
  toolkit_.SetEnabled(Fra_Cadre, false);
  EXPECT_EQ(toolkit_.UnreachableReason(txt_Cadre), "inside disabled frame Fra_Cadre");
  toolkit_.SetVisible(Fra_Cadre, false);
  EXPECT_EQ(toolkit_.UnreachableReason(txt_Cadre), "inside invisible frame Fra_Cadre");
  toolkit_.SetEnabled(txt_Cadre, false);
  EXPECT_EQ(toolkit_.UnreachableReason(txt_Cadre), "disabled");
  toolkit_.SetVisible(txt_Cadre, false);
  EXPECT_EQ(toolkit_.UnreachableReason(txt_Cadre), "invisible");
}

// The caret and the maximum length count characters, not bytes; the maximum length limits typing
// only.
TEST_F(HeadlessToolkitTest, EditingCountsCharactersAndLimitsTypingOnly) {
  clerk_.Type(txt_Libre, "abc");
  EXPECT_EQ(toolkit_.Caret(txt_Libre), 3);
  clerk_.PressKey(txt_Libre, ClerkKey::kBackspace);
  EXPECT_EQ(toolkit_.Caret(txt_Libre), 2);
  toolkit_.SetText(txt_Libre, "éé€x");
  EXPECT_EQ(toolkit_.Caret(txt_Libre), 4);
  EXPECT_THROW(toolkit_.Caret(lst_Gauche), ComponentError);

  clerk_.Type(txt_Court, "éé€€ü");
  EXPECT_EQ(toolkit_.Text(txt_Court), "éé€€");
  clerk_.PressKey(txt_Court, ClerkKey::kBackspace);
  EXPECT_EQ(toolkit_.Text(txt_Court), "éé€");
  toolkit_.SetText(txt_Court, "123456");
  EXPECT_EQ(toolkit_.Text(txt_Court), "123456");
  clerk_.Type(txt_Court, "7");
  EXPECT_EQ(toolkit_.Text(txt_Court), "123456");
}

TEST_F(HeadlessToolkitTest, KeyCodeTurnedIntoAnotherKeyActsAsThatKey) {
  clerk_.Type(txt_Libre, "ab");
  reactions_.WhenKey(txt_Libre, [](int& code) {
    if (code == '-') code = kKeyBackspace;
    if (code == '!') code = 1;          // a control character inserts nothing
    if (code == '?') code = 0x110000;   // not a character
  });
  clerk_.Type(txt_Libre, "-!?");
  EXPECT_EQ(toolkit_.Text(txt_Libre), "a");
}

TEST_F(HeadlessToolkitTest, KeyGoesInWithItsCodeWhenTheKeyPressReactionFails) {
  reactions_.WhenKey(txt_Libre, [](int& code) {
    if (code == 'x') {
      code = 'y';
      throw ComponentError(err::kTypeMismatch, "Incompatibilité de type");
    }
  });
  clerk_.Type(txt_Libre, "axb");
  EXPECT_EQ(toolkit_.Text(txt_Libre), "ayb");
  EXPECT_EQ(toolkit_.Messages().size(), 1u);
}

TEST_F(HeadlessToolkitTest, ProgramIndexOnAnEditableComboTakesTheItemTextWithoutChange) {
  toolkit_.AddItem(cbo_Saisie, "DUPONT");
  toolkit_.SetListIndex(cbo_Saisie, 0);
  EXPECT_EQ(toolkit_.Text(cbo_Saisie), "DUPONT");
  EXPECT_THAT(reactions_.Log(), ElementsAre("cbo_Saisie click"));
}

TEST_F(HeadlessToolkitTest, DragRaisesScrollAtEveryStepThenOneChange) {
  toolkit_.SetScrollMax(Bdv_Barre, 9);
  toolkit_.SetScrollValue(Bdv_Barre, 2);
  reactions_.TakeLog();
  reactions_.When(Bdv_Barre, EventKind::kScroll, [&] {
    reactions_.Note(std::to_string(toolkit_.ScrollValue(Bdv_Barre)));
  });
  clerk_.DragScroll(Bdv_Barre, 5);
  clerk_.DragScroll(Bdv_Barre, 3);
  clerk_.DragScroll(Bdv_Barre, 3);
  EXPECT_THAT(reactions_.Log(),
              ElementsAre("Bdv_Barre scroll", "3", "Bdv_Barre scroll", "4", "Bdv_Barre scroll",
                          "5", "Bdv_Barre change", "Bdv_Barre scroll", "4", "Bdv_Barre scroll",
                          "3", "Bdv_Barre change"));
}

// Where the contract leaves the choice open.

// Tab wraps after the last stop; the scroll bar takes no focus, so moving it leaves the focus
// where it is; a control disabled with the focus keeps it until the focus moves.
TEST_F(HeadlessToolkitTest, TabWrapsAndTheScrollBarOrADisabledControlLeaveTheFocus) {
  toolkit_.SetFocus(cmd_Bouton);  // tab index 10, the last stop
  clerk_.PressKey(cmd_Bouton, ClerkKey::kTab);
  EXPECT_EQ(toolkit_.Focused(), txt_Libre);
  EXPECT_THROW(toolkit_.SetFocus(Bdv_Barre), ComponentError);
  toolkit_.SetScrollMax(Bdv_Barre, 5);
  clerk_.MoveScroll(Bdv_Barre, 2);
  EXPECT_EQ(toolkit_.Focused(), txt_Libre);
  toolkit_.SetEnabled(txt_Libre, false);
  EXPECT_EQ(toolkit_.Focused(), txt_Libre);
  clerk_.Click(cmd_Bouton);
  EXPECT_THAT(reactions_.Log(), ElementsAre("cmd_Bouton lostfocus", "Bdv_Barre change",
                                            "txt_Libre lostfocus", "cmd_Bouton click"));
}

}  // namespace
}  // namespace varnolde::conformance
