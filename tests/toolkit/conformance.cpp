// The conformance suite: the eleven rules of components/toolkit.h, checked through a harness on
// any toolkit. Every case starts with the focus on txt_Libre and an empty log, so the first
// line of a log often is txt_Libre losing the focus to the control the clerk acts on.
#include <algorithm>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "components/resume_next.h"
#include "toolkit/conformance_layout.h"
#include "toolkit/harness.h"
#include "toolkit/recording_reactions.h"

namespace varnolde::conformance {

HarnessFactory::HarnessFactory(std::string factory_name,
                               std::function<std::unique_ptr<ToolkitHarness>()> factory_make)
    : name(std::move(factory_name)), make(std::move(factory_make)) {}

void PrintTo(const HarnessFactory& factory, std::ostream* out) { *out << factory.name; }

std::string HarnessFactoryName::operator()(
    const ::testing::TestParamInfo<HarnessFactory>& info) const {
  return info.param.name;
}

}  // namespace varnolde::conformance

namespace varnolde {
void PrintTo(const ShownMessage& message, std::ostream* out) {
  *out << "{\"" << message.text << "\", buttons " << static_cast<int>(message.buttons)
       << ", icon " << static_cast<int>(message.icon) << ", \"" << message.title
       << "\", answer " << message.answer << "}";
}
}  // namespace varnolde

namespace varnolde::conformance {

ToolkitConformance::ToolkitConformance() = default;
ToolkitConformance::~ToolkitConformance() = default;

void ToolkitConformance::SetUp() {
  reactions_ = std::make_unique<RecordingReactions>(ConformanceLayout());
  harness_ = GetParam().make();
  harness_->Attach(ConformanceLayout(), *reactions_);
  harness_->Focus(txt_Libre);
  reactions_->TakeLog();
}

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// The number of the ComponentError that statement raises, or 0.
template <class Statement>
ErrorNumber ErrorOf(Statement&& statement) {
  ResumeNext resume_next;
  resume_next(std::forward<Statement>(statement));
  return resume_next.LastError();
}

// Whether statement failed with an exception that is not a ComponentError, as the harness must
// when a person could not do what it is asked or a question goes unanswered.
template <class Statement>
::testing::AssertionResult RefusedOutsideComponentErrors(Statement&& statement) {
  try {
    statement();
  } catch (const ComponentError& error) {
    return ::testing::AssertionFailure() << "failed with ComponentError " << error.number()
                                         << ": " << error.what();
  } catch (const std::exception&) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "was not refused";
}

std::vector<std::string> Only(const std::vector<std::string>& log, const std::string& prefix) {
  std::vector<std::string> kept;
  for (const auto& line : log) {
    if (line.rfind(prefix, 0) == 0) kept.push_back(line);
  }
  return kept;
}

void Fill(Toolkit& toolkit, ControlId list, std::initializer_list<const char*> items) {
  for (const char* item : items) toolkit.AddItem(list, item);
}

// --- The panel as the layout builds it -----------------------------------------------------

TEST_P(ToolkitConformance, ControlsStartEmptyWithTheLayoutsVisibility) {
  EXPECT_TRUE(toolkit().PanelEnabled());
  EXPECT_FALSE(toolkit().Visible(txt_Cache));
  for (ControlId id : {txt_Libre, txt_Court, cbo_Saisie, lst_Gauche, cmd_Bouton, Fra_Cadre}) {
    EXPECT_TRUE(toolkit().Visible(id)) << id;
    EXPECT_TRUE(toolkit().Enabled(id)) << id;
  }
  EXPECT_EQ(toolkit().Text(txt_Libre), "");
  EXPECT_EQ(toolkit().Text(cbo_Saisie), "");
  EXPECT_EQ(toolkit().ListCount(lst_Gauche), 0);
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), -1);
  EXPECT_EQ(toolkit().ScrollValue(Bdv_Barre), 0);
  EXPECT_EQ(toolkit().Focused(), txt_Libre);
}

TEST_P(ToolkitConformance, WrongKindOrUnknownControlIsError5) {
  EXPECT_EQ(ErrorOf([&] { toolkit().SetListIndex(txt_Libre, 0); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().ScrollValue(lst_Gauche); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().SetScrollMax(txt_Libre, 3); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().AddItem(cmd_Bouton, "x"); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().SetItemText(cbo_Saisie, 0, "x"); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().Text(kConformanceControlCount + 5); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().SetText(-7, "x"); }), err::kInvalidCall);
  EXPECT_THAT(reactions().Log(), IsEmpty());
}

// --- Rule 1: text set by program ------------------------------------------------------------

TEST_P(ToolkitConformance, ProgramTextRaisesChangeNestedInsideTheAssignment) {
  reactions().When(cmd_Bouton, EventKind::kClick, [&] {
    reactions().Note("before");
    toolkit().SetText(txt_Libre, "abc");
    reactions().Note("after");
  });
  reactions().When(txt_Libre, EventKind::kChange,
                   [&] { reactions().Note("sees " + toolkit().Text(txt_Libre)); });
  harness().Click(cmd_Bouton);
  EXPECT_THAT(reactions().Log(), ElementsAre("txt_Libre lostfocus", "cmd_Bouton click", "before",
                                             "txt_Libre change", "sees abc", "after"));
}

TEST_P(ToolkitConformance, SameTextRaisesNoChangeSoMirroredBoxesStop) {
  toolkit().SetText(txt_Libre, "");
  toolkit().SetText(txt_Libre, "abc");
  toolkit().SetText(txt_Libre, "abc");
  toolkit().SetText(txt_Libre, "");
  EXPECT_THAT(reactions().TakeLog(), ElementsAre("txt_Libre change", "txt_Libre change"));

  reactions().When(txt_Libre, EventKind::kChange,
                   [&] { toolkit().SetText(cbo_Saisie, toolkit().Text(txt_Libre)); });
  reactions().When(cbo_Saisie, EventKind::kChange,
                   [&] { toolkit().SetText(txt_Libre, toolkit().Text(cbo_Saisie)); });
  toolkit().SetText(txt_Libre, "007");
  EXPECT_THAT(reactions().Log(), ElementsAre("txt_Libre change", "cbo_Saisie change"));
  EXPECT_EQ(toolkit().Text(cbo_Saisie), "007");
}

TEST_P(ToolkitConformance, ChangeReactionMayAssignItsOwnBoxAgain) {
  reactions().When(txt_Libre, EventKind::kChange, [&] {
    reactions().Note("sees " + toolkit().Text(txt_Libre));
    if (toolkit().Text(txt_Libre) == "bad") toolkit().SetText(txt_Libre, "");
  });
  toolkit().SetText(txt_Libre, "bad");
  EXPECT_THAT(reactions().Log(),
              ElementsAre("txt_Libre change", "sees bad", "txt_Libre change", "sees "));
  EXPECT_EQ(toolkit().Text(txt_Libre), "");
}

// --- Rule 2: current index ------------------------------------------------------------------

// Click comes only when the index changes; an index out of range is error 5 and changes nothing.
TEST_P(ToolkitConformance, ProgramIndexRaisesClickNestedOnlyWhenItChanges) {
  Fill(toolkit(), lst_Gauche, {"un", "deux", "trois"});
  EXPECT_THAT(reactions().TakeLog(), IsEmpty());
  reactions().When(lst_Gauche, EventKind::kClick, [&] {
    reactions().Note("row " + std::to_string(toolkit().ListIndex(lst_Gauche)) + " " +
                     toolkit().Text(lst_Gauche));
  });
  toolkit().SetListIndex(lst_Gauche, 1);
  toolkit().SetListIndex(lst_Gauche, 1);
  EXPECT_EQ(ErrorOf([&] { toolkit().SetListIndex(lst_Gauche, 3); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().SetListIndex(lst_Gauche, -2); }), err::kInvalidCall);
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), 1);
  toolkit().SetListIndex(lst_Gauche, -1);
  toolkit().SetListIndex(lst_Gauche, -1);
  EXPECT_THAT(reactions().Log(), ElementsAre("lst_Gauche click", "row 1 deux", "lst_Gauche click",
                                             "row -1 "));
}

// Clearing empties the rows and the index silently; a drop-down list's text goes with its
// item, an editable combo box keeps the text it shows.
TEST_P(ToolkitConformance, ClearAndAddItemRaiseNothing) {
  Fill(toolkit(), lst_Gauche, {"a", "b", "c"});
  Fill(toolkit(), cbo_Saisie, {"DUPONT JEAN", "DURAND ANNE"});
  toolkit().SetListIndex(lst_Gauche, 2);
  toolkit().SetText(cbo_Saisie, "DU");
  toolkit().SetListIndex(cbo_Saisie, 1);
  reactions().TakeLog();
  toolkit().Clear(lst_Gauche);
  toolkit().Clear(cbo_Saisie);
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), -1);
  EXPECT_EQ(toolkit().ListCount(lst_Gauche), 0);
  EXPECT_EQ(toolkit().Text(lst_Gauche), "");
  EXPECT_EQ(toolkit().ListIndex(cbo_Saisie), -1);
  EXPECT_EQ(toolkit().ListCount(cbo_Saisie), 0);
  EXPECT_EQ(toolkit().Text(cbo_Saisie), "DURAND ANNE");
  toolkit().AddItem(lst_Gauche, "d");
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), -1);
  EXPECT_THAT(reactions().Log(), IsEmpty());
}

TEST_P(ToolkitConformance, ClerkRowClickRaisesClickOnlyWhenTheRowChanges) {
  Fill(toolkit(), lst_Gauche, {"a", "b", "c"});
  harness().ClickRow(lst_Gauche, 2);
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), 2);
  harness().ClickRow(lst_Gauche, 2);
  harness().ClickRow(lst_Gauche, 0);
  EXPECT_THAT(reactions().Log(),
              ElementsAre("txt_Libre lostfocus", "lst_Gauche click", "lst_Gauche click"));
}

TEST_P(ToolkitConformance, ListsKeptOnOneRowEndTheirChain) {
  Fill(toolkit(), lst_Gauche, {"a", "b", "c", "d", "e"});
  Fill(toolkit(), lst_Droite, {"1", "2", "3", "4", "5"});
  reactions().When(lst_Gauche, EventKind::kClick, [&] {
    toolkit().SetListIndex(lst_Droite, toolkit().ListIndex(lst_Gauche));
  });
  reactions().When(lst_Droite, EventKind::kClick, [&] {
    toolkit().SetListIndex(lst_Gauche, toolkit().ListIndex(lst_Droite));
  });
  harness().ClickRow(lst_Droite, 3);
  EXPECT_THAT(reactions().Log(),
              ElementsAre("txt_Libre lostfocus", "lst_Droite click", "lst_Gauche click"));
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), 3);
  EXPECT_EQ(toolkit().Text(lst_Gauche), "d");
}

TEST_P(ToolkitConformance, ClerkPickRaisesClickEveryTimeWithTheItemTextAlreadyIn) {
  Fill(toolkit(), cbo_Saisie, {"un", "deux"});
  reactions().When(cbo_Saisie, EventKind::kClick,
                   [&] { reactions().Note("sees " + toolkit().Text(cbo_Saisie)); });
  harness().Pick(cbo_Saisie, 1);
  harness().Pick(cbo_Saisie, 1);
  EXPECT_THAT(reactions().Log(), ElementsAre("txt_Libre lostfocus", "cbo_Saisie click",
                                             "sees deux", "cbo_Saisie click", "sees deux"));
  EXPECT_EQ(toolkit().ListIndex(cbo_Saisie), 1);
}

TEST_P(ToolkitConformance, DropDownListTextIsItsCurrentItem) {
  Fill(toolkit(), cbo_Choix, {"MARS 2002", "AVRIL 2002"});
  EXPECT_EQ(toolkit().Text(cbo_Choix), "");
  harness().Pick(cbo_Choix, 0);
  EXPECT_EQ(toolkit().Text(cbo_Choix), "MARS 2002");
  toolkit().SetListIndex(cbo_Choix, 1);
  EXPECT_EQ(toolkit().Text(cbo_Choix), "AVRIL 2002");
  toolkit().SetListIndex(cbo_Choix, 1);
  EXPECT_THAT(reactions().TakeLog(),
              ElementsAre("txt_Libre lostfocus", "cbo_Choix click", "cbo_Choix click"));
  toolkit().Clear(cbo_Choix);
  EXPECT_EQ(toolkit().Text(cbo_Choix), "");
  EXPECT_THAT(reactions().Log(), IsEmpty());
}

// --- Rule 3: typing ------------------------------------------------------------------------

// Each character goes key press, insertion, change; the key press reaction may replace or
// discard it.
TEST_P(ToolkitConformance, EachTypedCharacterGoesKeyPressInsertChange) {
  reactions().When(txt_Libre, EventKind::kChange,
                   [&] { reactions().Note("sees " + toolkit().Text(txt_Libre)); });
  reactions().WhenKey(txt_Libre, [](int& code) {
    if (code == '.') code = ',';
    if (code == 'x') code = 0;
  });
  harness().Type(txt_Libre, "1.x5");
  EXPECT_EQ(toolkit().Text(txt_Libre), "1,5");
  EXPECT_THAT(reactions().Log(),
              ElementsAre("txt_Libre key 49", "txt_Libre change", "sees 1", "txt_Libre key 46",
                          "txt_Libre change", "sees 1,", "txt_Libre key 120", "txt_Libre key 53",
                          "txt_Libre change", "sees 1,5"));
}

TEST_P(ToolkitConformance, KeyCodesAreCodePointsBothWays) {
  reactions().WhenKey(cbo_Saisie, [](int& code) {
    if (code == 'e') code = 0xE9;  // é
  });
  harness().Type(cbo_Saisie, "é€e");
  EXPECT_EQ(toolkit().Text(cbo_Saisie), "é€é");
  EXPECT_THAT(Only(reactions().Log(), "cbo_Saisie key"),
              ElementsAre("cbo_Saisie key 233", "cbo_Saisie key 8364", "cbo_Saisie key 101"));
}

TEST_P(ToolkitConformance, MaximumLengthRefusesCharactersAfterTheirKeyPress) {
  harness().Type(txt_Court, "abcdef");
  EXPECT_EQ(toolkit().Text(txt_Court), "abcd");
  EXPECT_EQ(Only(reactions().Log(), "txt_Court key").size(), 6u);
  EXPECT_EQ(Only(reactions().Log(), "txt_Court change").size(), 4u);
}

TEST_P(ToolkitConformance, EnterEscapeAndBackspaceReachKeyPress) {
  harness().Type(txt_Libre, "abc");
  reactions().TakeLog();
  harness().PressKey(txt_Libre, ClerkKey::kEnter);
  harness().PressKey(txt_Libre, ClerkKey::kEscape);
  EXPECT_EQ(toolkit().Text(txt_Libre), "abc");
  harness().PressKey(txt_Libre, ClerkKey::kBackspace);
  EXPECT_EQ(toolkit().Text(txt_Libre), "ab");
  EXPECT_THAT(reactions().TakeLog(), ElementsAre("txt_Libre key 13", "txt_Libre key 27",
                                                 "txt_Libre key 8", "txt_Libre change"));

  reactions().WhenKey(txt_Libre, [](int& code) { code = 0; });
  harness().PressKey(txt_Libre, ClerkKey::kBackspace);
  EXPECT_EQ(toolkit().Text(txt_Libre), "ab");

  reactions().WhenKey(txt_Libre, [](int&) {});
  toolkit().SetText(txt_Libre, "");
  reactions().TakeLog();
  harness().PressKey(txt_Libre, ClerkKey::kBackspace);
  EXPECT_THAT(reactions().Log(), ElementsAre("txt_Libre key 8"));
}

// The caret goes to the end when the program sets the text and when the focus arrives.
TEST_P(ToolkitConformance, CaretGoesToTheEndWhenTheProgramSetsTheText) {
  harness().Type(txt_Libre, "a");
  toolkit().SetText(txt_Libre, "xyz");
  harness().Type(txt_Libre, "!");
  EXPECT_EQ(toolkit().Text(txt_Libre), "xyz!");

  // A key press reaction that rewrites the box: the key then goes in after the new text.
  reactions().WhenKey(txt_Libre, [&](int& code) {
    if (code == '5') toolkit().SetText(txt_Libre, "00");
  });
  harness().Type(txt_Libre, "5");
  EXPECT_EQ(toolkit().Text(txt_Libre), "005");
  harness().PressKey(txt_Libre, ClerkKey::kBackspace);
  EXPECT_EQ(toolkit().Text(txt_Libre), "00");

  toolkit().SetText(txt_Court, "ab");
  harness().Type(txt_Court, "c");
  EXPECT_EQ(toolkit().Text(txt_Court), "abc");
  harness().Focus(txt_Libre);
  harness().PressKey(txt_Court, ClerkKey::kBackspace);
  EXPECT_EQ(toolkit().Text(txt_Court), "ab");
}

// Tab raises no key press and passes over labels, disabled and hidden controls and everything
// in a disabled frame.
TEST_P(ToolkitConformance, TabMovesTheFocusInTabOrderWithoutKeyPress) {
  harness().PressKey(txt_Libre, ClerkKey::kTab);  // over the label lbl_Titre
  EXPECT_EQ(toolkit().Focused(), txt_Court);
  harness().PressKey(txt_Court, ClerkKey::kTab);
  EXPECT_EQ(toolkit().Focused(), cbo_Saisie);
  EXPECT_THAT(reactions().TakeLog(), ElementsAre("txt_Libre lostfocus", "txt_Court lostfocus"));

  toolkit().SetEnabled(txt_Court, false);
  harness().Focus(txt_Libre);
  harness().PressKey(txt_Libre, ClerkKey::kTab);
  EXPECT_EQ(toolkit().Focused(), cbo_Saisie);
  harness().Focus(cbo_Choix);
  harness().PressKey(cbo_Choix, ClerkKey::kTab);  // over txt_Cache, hidden at design time
  EXPECT_EQ(toolkit().Focused(), lst_Gauche);
  toolkit().SetEnabled(Fra_Cadre, false);
  harness().Focus(cbo_Choix);
  harness().PressKey(cbo_Choix, ClerkKey::kTab);  // over everything in the disabled frame
  EXPECT_EQ(toolkit().Focused(), cmd_Bouton);
  EXPECT_THAT(Only(reactions().Log(), "txt_Court"), IsEmpty());
}

// --- Rule 4: focus --------------------------------------------------------------------------

// A button takes the focus before its click; the program's focus raises lost focus nested.
TEST_P(ToolkitConformance, ProgramFocusRaisesLostFocusNested) {
  reactions().When(cmd_Bouton, EventKind::kClick, [&] {
    reactions().Note("before");
    toolkit().SetFocus(txt_Court);
    toolkit().SetFocus(txt_Court);
    reactions().Note("after");
  });
  harness().Click(cmd_Bouton);
  EXPECT_EQ(toolkit().Focused(), txt_Court);
  EXPECT_THAT(reactions().Log(), ElementsAre("txt_Libre lostfocus", "cmd_Bouton click", "before",
                                             "cmd_Bouton lostfocus", "after"));
}

TEST_P(ToolkitConformance, LostFocusReactionMayMoveTheFocusOn) {
  reactions().When(txt_Libre, EventKind::kLostFocus, [&] { toolkit().SetFocus(txt_Court); });
  harness().Focus(cbo_Saisie);
  EXPECT_EQ(toolkit().Focused(), txt_Court);
  EXPECT_THAT(reactions().Log(), ElementsAre("txt_Libre lostfocus", "cbo_Saisie lostfocus"));
}

TEST_P(ToolkitConformance, DisablingOrAMessageBoxRaisesNoLostFocus) {
  toolkit().SetEnabled(txt_Libre, false);
  toolkit().SetEnabled(txt_Libre, true);
  toolkit().SetPanelEnabled(false);
  toolkit().SetPanelEnabled(true);
  toolkit().SetVisible(txt_Libre, false);
  toolkit().SetVisible(txt_Libre, true);
  EXPECT_EQ(toolkit().MsgBox("Info", MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle),
            kAnswerOk);
  EXPECT_THAT(reactions().Log(), IsEmpty());
}

TEST_P(ToolkitConformance, FocusOnAnUnreachableControlIsError5AndChangesNothing) {
  toolkit().SetEnabled(txt_Court, false);
  toolkit().SetEnabled(Fra_Cadre, false);
  const ControlId before = toolkit().Focused();
  EXPECT_EQ(ErrorOf([&] { toolkit().SetFocus(txt_Court); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().SetFocus(txt_Cache); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().SetFocus(txt_Cadre); }), err::kInvalidCall);
  EXPECT_EQ(ErrorOf([&] { toolkit().SetFocus(lbl_Titre); }), err::kInvalidCall);
  EXPECT_EQ(toolkit().Focused(), before);

  toolkit().SetPanelEnabled(false);  // the panel while busy
  const ControlId busy_focus = toolkit().Focused();
  EXPECT_EQ(ErrorOf([&] { toolkit().SetFocus(cbo_Saisie); }), err::kInvalidCall);
  EXPECT_EQ(toolkit().Focused(), busy_focus);
  EXPECT_THAT(reactions().Log(), IsEmpty());
  EXPECT_TRUE(toolkit().Enabled(txt_Cadre));  // its own flag
}

// --- Rule 5: no input where a person cannot reach -----------------------------------------

// Disabled or hidden controls, those in a disabled or hidden frame and everything on a disabled
// panel refuse the clerk's input; each keeps its own flags.
TEST_P(ToolkitConformance, UnreachableControlsTakeNoInputAndKeepTheirFlags) {
  Fill(toolkit(), lst_Gauche, {"a", "b"});
  toolkit().SetEnabled(txt_Court, false);
  toolkit().SetEnabled(cmd_Bouton, false);
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Type(txt_Court, "1"); }));
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Click(cmd_Bouton); }));
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Focus(txt_Court); }));
  EXPECT_FALSE(toolkit().Enabled(txt_Court));
  toolkit().SetEnabled(cmd_Bouton, true);

  toolkit().SetEnabled(Fra_Cadre, false);
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().ClickRow(lst_Gauche, 1); }));
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Click(cmd_Cadre); }));
  EXPECT_TRUE(toolkit().Enabled(lst_Gauche));
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), -1);
  EXPECT_EQ(toolkit().Text(txt_Court), "");
  toolkit().SetEnabled(Fra_Cadre, true);

  toolkit().SetPanelEnabled(false);
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Click(cmd_Bouton); }));
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Type(txt_Libre, "x"); }));
  EXPECT_TRUE(toolkit().Enabled(cmd_Bouton));
  toolkit().SetPanelEnabled(true);

  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Type(txt_Cache, "x"); }));
  toolkit().SetVisible(Fra_Cadre, false);
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Type(txt_Cadre, "x"); }));
  toolkit().SetVisible(Fra_Cadre, true);
  toolkit().SetVisible(cmd_Bouton, false);
  EXPECT_FALSE(toolkit().Visible(cmd_Bouton));
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Click(cmd_Bouton); }));
  EXPECT_THAT(reactions().Log(), IsEmpty());

  toolkit().SetVisible(cmd_Bouton, true);
  harness().ClickRow(lst_Gauche, 1);
  harness().Click(cmd_Bouton);
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), 1);
  EXPECT_THAT(Only(reactions().Log(), "cmd_Bouton"), ElementsAre("cmd_Bouton click"));
}

TEST_P(ToolkitConformance, RowsAndItemsThatDoNotExistAreRefused) {
  Fill(toolkit(), lst_Gauche, {"a", "b"});
  Fill(toolkit(), cbo_Choix, {"a"});
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().ClickRow(lst_Gauche, 2); }));
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().DoubleClickRow(lst_Gauche, -1); }));
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Pick(cbo_Choix, 1); }));
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), -1);
  EXPECT_THAT(Only(reactions().Log(), "lst_Gauche"), IsEmpty());
  EXPECT_THAT(Only(reactions().Log(), "cbo_Choix"), IsEmpty());
}

// --- Rule 6: double click -----------------------------------------------------------------

TEST_P(ToolkitConformance, DoubleClickIsAClickThenDblClick) {
  Fill(toolkit(), lst_Gauche, {"a", "b", "c"});
  reactions().When(lst_Gauche, EventKind::kDblClick, [&] {
    reactions().Note("row " + std::to_string(toolkit().ListIndex(lst_Gauche)));
  });
  harness().DoubleClickRow(lst_Gauche, 2);
  harness().DoubleClickRow(lst_Gauche, 2);
  EXPECT_THAT(reactions().Log(),
              ElementsAre("txt_Libre lostfocus", "lst_Gauche click", "lst_Gauche dblclick",
                          "row 2", "lst_Gauche dblclick", "row 2"));
}

// --- Rule 7: the scroll bar ---------------------------------------------------------------

// The value raises change only when it changes and is clamped to 0..maximum; a lower maximum
// pulls it down with a change; a negative maximum leaves it at zero.
TEST_P(ToolkitConformance, ScrollValueRaisesChangeWhenItChangesAndIsClamped) {
  reactions().When(Bdv_Barre, EventKind::kChange, [&] {
    reactions().Note("value " + std::to_string(toolkit().ScrollValue(Bdv_Barre)));
  });
  toolkit().SetScrollMax(Bdv_Barre, 29);
  EXPECT_EQ(toolkit().ScrollMax(Bdv_Barre), 29);
  toolkit().SetScrollValue(Bdv_Barre, 20);
  toolkit().SetScrollValue(Bdv_Barre, 20);
  toolkit().SetScrollValue(Bdv_Barre, 50);
  toolkit().SetScrollValue(Bdv_Barre, -3);
  EXPECT_THAT(reactions().TakeLog(),
              ElementsAre("Bdv_Barre change", "value 20", "Bdv_Barre change", "value 29",
                          "Bdv_Barre change", "value 0"));
  toolkit().SetScrollValue(Bdv_Barre, 20);
  reactions().TakeLog();
  toolkit().SetScrollMax(Bdv_Barre, 10);
  toolkit().SetScrollMax(Bdv_Barre, 12);
  toolkit().SetScrollMax(Bdv_Barre, -1);
  EXPECT_EQ(toolkit().ScrollMax(Bdv_Barre), -1);
  toolkit().SetScrollValue(Bdv_Barre, 3);
  EXPECT_EQ(toolkit().ScrollValue(Bdv_Barre), 0);
  EXPECT_THAT(reactions().Log(),
              ElementsAre("Bdv_Barre change", "value 10", "Bdv_Barre change", "value 0"));
}

TEST_P(ToolkitConformance, ClerkMovesAndDragsTheScrollBar) {
  toolkit().SetScrollMax(Bdv_Barre, 10);
  reactions().When(Bdv_Barre, EventKind::kScroll, [&] {
    reactions().Note("at " + std::to_string(toolkit().ScrollValue(Bdv_Barre)));
  });
  harness().MoveScroll(Bdv_Barre, 4);
  EXPECT_THAT(Only(reactions().TakeLog(), "Bdv_Barre"), ElementsAre("Bdv_Barre change"));

  harness().DragScroll(Bdv_Barre, 7);
  const std::vector<std::string> log = reactions().Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log.back(), "Bdv_Barre change");
  EXPECT_EQ(Only(log, "Bdv_Barre change").size(), 1u);
  const std::vector<std::string> positions = Only(log, "at ");
  ASSERT_FALSE(positions.empty());
  EXPECT_EQ(positions.back(), "at 7");
  EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  EXPECT_EQ(toolkit().ScrollValue(Bdv_Barre), 7);
}

TEST_P(ToolkitConformance, UnusableScrollBarRefusesTheClerk) {
  toolkit().SetScrollMax(Bdv_Barre, 10);
  toolkit().SetScrollUsable(Bdv_Barre, false);
  EXPECT_FALSE(toolkit().ScrollUsable(Bdv_Barre));
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().MoveScroll(Bdv_Barre, 3); }));
  EXPECT_EQ(toolkit().ScrollValue(Bdv_Barre), 0);
  toolkit().SetScrollUsable(Bdv_Barre, true);
  EXPECT_TRUE(toolkit().ScrollUsable(Bdv_Barre));
  harness().MoveScroll(Bdv_Barre, 3);
  EXPECT_EQ(toolkit().ScrollValue(Bdv_Barre), 3);
}

// --- Rule 8: message boxes ----------------------------------------------------------------

TEST_P(ToolkitConformance, MessageBoxesAreAnsweredFromTheQueueAndRecorded) {
  harness().QueueAnswer(kAnswerNo);
  harness().QueueAnswer(kAnswerYes);
  EXPECT_EQ(toolkit().MsgBox("Info", MsgButtons::kOk, MsgIcon::kExclamation, kMessageTitle),
            kAnswerOk);
  EXPECT_EQ(toolkit().MsgBox("Prendre ?", MsgButtons::kYesNo, MsgIcon::kExclamation,
                             kMessageTitle),
            kAnswerNo);
  EXPECT_EQ(toolkit().MsgBox("Supprimer ?", MsgButtons::kYesNo, MsgIcon::kQuestion, "Autre"),
            kAnswerYes);
  const std::string title(kMessageTitle);
  EXPECT_THAT(harness().Messages(),
              ElementsAre(ShownMessage{"Info", MsgButtons::kOk, MsgIcon::kExclamation, title,
                                       kAnswerOk},
                          ShownMessage{"Prendre ?", MsgButtons::kYesNo, MsgIcon::kExclamation,
                                       title, kAnswerNo},
                          ShownMessage{"Supprimer ?", MsgButtons::kYesNo, MsgIcon::kQuestion,
                                       "Autre", kAnswerYes}));
}

TEST_P(ToolkitConformance, UnansweredQuestionFailsEvenInsideAReaction) {
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] {
    toolkit().MsgBox("Continuer ?", MsgButtons::kYesNo, MsgIcon::kQuestion, kMessageTitle);
  }));
  reactions().When(cmd_Bouton, EventKind::kClick, [&] {
    toolkit().MsgBox("Supprimer ?", MsgButtons::kYesNo, MsgIcon::kQuestion, kMessageTitle);
  });
  EXPECT_TRUE(RefusedOutsideComponentErrors([&] { harness().Click(cmd_Bouton); }));
}

// --- Rule 9: pointer, pending events, host window -----------------------------------------

TEST_P(ToolkitConformance, BusyPointerPendingEventsAndClosingTheHost) {
  EXPECT_FALSE(toolkit().BusyPointer());
  toolkit().SetBusyPointer(true);
  EXPECT_TRUE(toolkit().BusyPointer());
  toolkit().DoEvents();
  toolkit().SetBusyPointer(false);
  EXPECT_FALSE(toolkit().BusyPointer());
  EXPECT_FALSE(harness().HostClosed());
  toolkit().CloseHost();
  EXPECT_TRUE(harness().HostClosed());
  EXPECT_THAT(reactions().Log(), IsEmpty());
}

// --- Rule 10: reading lists ----------------------------------------------------------------

// Reading beyond the rows gives the empty text; assigning a list's text selects the first row
// holding it unless the current row already does, and nothing when no row holds it.
TEST_P(ToolkitConformance, ReadingBeyondTheRowsGivesTheEmptyText) {
  Fill(toolkit(), lst_Gauche, {"a", "b", "a"});
  EXPECT_EQ(toolkit().ItemText(lst_Gauche, 3), "");
  EXPECT_EQ(toolkit().ItemText(lst_Gauche, -1), "");
  EXPECT_EQ(toolkit().ItemText(lst_Gauche, 1), "b");
  EXPECT_EQ(toolkit().Text(lst_Gauche), "");
  toolkit().SetListIndex(lst_Gauche, 1);
  EXPECT_EQ(toolkit().Text(lst_Gauche), "b");
  toolkit().SetItemText(lst_Gauche, 1, "B");
  EXPECT_EQ(toolkit().Text(lst_Gauche), "B");
  EXPECT_EQ(ErrorOf([&] { toolkit().SetItemText(lst_Gauche, 3, "x"); }), err::kInvalidCall);
  toolkit().SetText(lst_Gauche, "a");
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), 0);
  toolkit().SetText(lst_Gauche, "zz");
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), 0);
  toolkit().SetListIndex(lst_Gauche, 2);
  toolkit().SetText(lst_Gauche, "a");  // the current row already holds it
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), 2);
  EXPECT_THAT(reactions().Log(),
              ElementsAre("lst_Gauche click", "lst_Gauche click", "lst_Gauche click"));
}

// --- Rule 11: errors escaping a reaction ---------------------------------------------------

TEST_P(ToolkitConformance, EscapedErrorIsShownAndThePanelGoesOn) {
  reactions().When(cmd_Bouton, EventKind::kClick, [] {
    throw ComponentError(err::kRecordNotFound, "Enregistrement absent");
  });
  harness().Click(cmd_Bouton);
  harness().Click(cmd_Bouton);
  const std::vector<ShownMessage> messages = harness().Messages();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0].title, kMessageTitle);
  EXPECT_EQ(messages[0].buttons, MsgButtons::kOk);
  EXPECT_EQ(messages[0].icon, MsgIcon::kExclamation);
  EXPECT_THAT(messages[0].text, HasSubstr(FormatErrorNumber(err::kRecordNotFound)));
  EXPECT_THAT(messages[0].text, HasSubstr("Enregistrement absent"));
  EXPECT_THAT(Only(reactions().Log(), "cmd_Bouton"),
              ElementsAre("cmd_Bouton click", "cmd_Bouton click"));
}

TEST_P(ToolkitConformance, NestedReactionIsItsOwnBoundary) {
  reactions().When(txt_Libre, EventKind::kChange,
                   [] { throw ComponentError(err::kWriteFailed, "Ecriture impossible"); });
  reactions().When(cmd_Bouton, EventKind::kClick, [&] {
    toolkit().SetText(txt_Libre, "v");
    reactions().Note("after");
  });
  harness().Click(cmd_Bouton);
  EXPECT_THAT(reactions().Log(), ElementsAre("txt_Libre lostfocus", "cmd_Bouton click",
                                             "txt_Libre change", "after"));
  EXPECT_EQ(toolkit().Text(txt_Libre), "v");
  ASSERT_EQ(harness().Messages().size(), 1u);
  EXPECT_THAT(harness().Messages()[0].text, HasSubstr("Ecriture impossible"));
}

TEST_P(ToolkitConformance, KeyPressErrorIsShownAndTypingGoesOn) {
  reactions().WhenKey(txt_Libre, [](int& code) {
    if (code == 'x') throw ComponentError(err::kTypeMismatch, "Incompatibilité de type");
  });
  harness().Type(txt_Libre, "axb");
  ASSERT_EQ(harness().Messages().size(), 1u);
  EXPECT_THAT(harness().Messages()[0].text, HasSubstr("Incompatibilité de type"));
  const std::string text = toolkit().Text(txt_Libre);
  ASSERT_FALSE(text.empty());
  EXPECT_EQ(text.front(), 'a');
  EXPECT_EQ(text.back(), 'b');
}

}  // namespace
}  // namespace varnolde::conformance
