// What the Qt toolkit must get right beyond the conformance suite: the window it builds from
// the layout table, and the Qt habits it must keep away from the panel.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "components/resume_next.h"
#include "panel/layout.h"
#include "qt/qt_harness.h"
#include "toolkit/conformance_layout.h"
#include "toolkit/recording_reactions.h"

namespace varnolde::qt_test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using namespace conformance;

class QtToolkitTest : public ::testing::Test {
 protected:
  QtToolkitTest() : reactions_(ConformanceLayout()) {
    harness_.Attach(ConformanceLayout(), reactions_);
    harness_.Focus(txt_Libre);
    reactions_.TakeLog();
  }

  template <class W>
  W& Widget(ControlId control) {
    return *static_cast<W*>(harness_.drivable().ControlWidget(control));
  }
  Toolkit& toolkit() { return harness_.toolkit(); }

  QtHarness harness_;
  RecordingReactions reactions_;
};

// --- The window built from the layout table ----------------------------------------------

class QtLayoutTest : public ::testing::Test {
 protected:
  QtLayoutTest() { harness_.Attach(panel::Layout(), reactions_); }

  QtHarness harness_;
  RecordingReactions reactions_{panel::Layout()};
  QtToolkit& toolkit_ = harness_.drivable();
};

TEST_F(QtLayoutTest, PanelIsBuiltFromTwipsAtTheScreensResolution) {
  QtToolkit& toolkit = toolkit_;
  ASSERT_EQ(toolkit.PanelWidget()->logicalDpiX(), 96);  // offscreen: 15 twips a pixel
  EXPECT_EQ(toolkit.PanelWidget()->size(), QSize(588, 435));
  // A control inside the frame is placed relative to the frame.
  EXPECT_EQ(toolkit.ControlWidget(panel::txt_Acompte)->geometry(), QRect(392, 224, 73, 25));
  EXPECT_EQ(toolkit.ControlWidget(panel::txt_Acompte)->parentWidget(),
            toolkit.ControlWidget(panel::Fra_Contrats));
  EXPECT_EQ(toolkit.ControlWidget(panel::cmd_Sortir)->geometry(), QRect(512, 400, 59, 25));
  EXPECT_EQ(toolkit.Text(panel::etq_Etat), "Payé le");
  EXPECT_EQ(toolkit.Text(panel::Fra_Contrats), "Contrats");
  EXPECT_EQ(toolkit.Text(panel::cmd_Valider), "Ok");
  EXPECT_FALSE(toolkit.ControlWidget(panel::Lst_CodeContrat)->isVisible());
}

TEST_F(QtLayoutTest, ColumnControlsUseTheFixedPitchFontThroughFontconfig) {
  for (ControlId id : {panel::lst_Liste1, panel::lst_Acompte, panel::txt_Acompte}) {
    const QFont font = toolkit_.ControlWidget(id)->font();
    EXPECT_EQ(font.family(), "Courier New");
    EXPECT_DOUBLE_EQ(font.pointSizeF(), 8.25);
    EXPECT_TRUE(QFontInfo(font).fixedPitch()) << QFontInfo(font).family().toStdString();
  }
  const QFont plain = toolkit_.ControlWidget(panel::cbo_Entite)->font();
  EXPECT_NE(plain.family(), "Courier New");
}

TEST_F(QtLayoutTest, TheScrollBarIsTheOneVisibleScrollBarOverTheLists) {
  QtToolkit& toolkit = toolkit_;
  for (ControlId id : {panel::lst_Liste1, panel::lst_Acompte, panel::lst_Etat}) {
    auto* list = static_cast<QListWidget*>(toolkit.ControlWidget(id));
    EXPECT_EQ(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    EXPECT_EQ(list->geometry().top(), 48);
  }
  const QRect bar = toolkit.ControlWidget(panel::Bdv_Liste)->geometry();
  const QRect etat = toolkit.ControlWidget(panel::lst_Etat)->geometry();
  EXPECT_EQ(bar.right(), etat.right());
  // Later rows of the table lie on top: the bar over lst_Etat, which is over lst_Acompte.
  QWidget* frame = toolkit.ControlWidget(panel::Fra_Contrats);
  EXPECT_EQ(frame->childAt(bar.center()), toolkit.ControlWidget(panel::Bdv_Liste));
  const QPoint acompte_edge(toolkit.ControlWidget(panel::lst_Acompte)->geometry().right() - 2,
                            etat.center().y());
  EXPECT_EQ(frame->childAt(acompte_edge)->parentWidget(), toolkit.ControlWidget(panel::lst_Etat));
}

TEST_F(QtLayoutTest, TabFollowsTheTabIndexOfTheTable) {
  const std::pair<ControlId, ControlId> steps[] = {
      {panel::cbo_PeriodePaie, panel::txt_Entite},
      {panel::txt_Etat, panel::cmd_Supprimer},  // tab index 12, inside the frame
      {panel::cmd_Sortir, panel::Bdv_Liste}};   // 17, then labels and frame (18..25) are passed
  for (const auto& [from, to] : steps) {
    harness_.Focus(from);
    harness_.PressKey(from, ClerkKey::kTab);
    EXPECT_EQ(toolkit_.Focused(), to) << from;
  }
}

// --- Qt habits that must not reach the panel -----------------------------------------------

// Filling selects nothing, no current item keeps the text, typed text is not completed.
TEST_F(QtToolkitTest, EditableComboKeepsItsOwnText) {
  toolkit().AddItem(cbo_Choix, "MARS 2002");
  toolkit().AddItem(cbo_Saisie, "DUPONT JEAN");
  EXPECT_EQ(toolkit().ListIndex(cbo_Choix), -1);
  EXPECT_EQ(toolkit().ListIndex(cbo_Saisie), -1);
  EXPECT_EQ(toolkit().Text(cbo_Saisie), "");
  EXPECT_THAT(reactions_.TakeLog(), IsEmpty());
  toolkit().SetListIndex(cbo_Saisie, 0);
  toolkit().SetListIndex(cbo_Saisie, -1);
  EXPECT_EQ(toolkit().Text(cbo_Saisie), "DUPONT JEAN");
  EXPECT_THAT(reactions_.TakeLog(), ElementsAre("cbo_Saisie click", "cbo_Saisie click"));
  toolkit().SetText(cbo_Saisie, "");
  harness_.Type(cbo_Saisie, "DU");
  EXPECT_EQ(toolkit().Text(cbo_Saisie), "DU");
}

TEST_F(QtToolkitTest, ALetterInADropDownListPicksTheItemItBegins) {
  toolkit().AddItem(cbo_Choix, "MARS 2002");
  toolkit().AddItem(cbo_Choix, "AVRIL 2002");
  harness_.Focus(cbo_Choix);
  reactions_.TakeLog();
  QTest::keyClick(&Widget<QComboBox>(cbo_Choix), 'a');
  EXPECT_EQ(toolkit().Text(cbo_Choix), "AVRIL 2002");
  EXPECT_THAT(reactions_.Log(), ElementsAre("cbo_Choix click"));
}

TEST_F(QtToolkitTest, ReturnInAnEditableComboNeitherInsertsNorPicks) {
  toolkit().AddItem(cbo_Saisie, "DUPONT");
  harness_.Type(cbo_Saisie, "DUPONT");
  reactions_.TakeLog();
  harness_.PressKey(cbo_Saisie, ClerkKey::kEnter);
  EXPECT_EQ(toolkit().ListCount(cbo_Saisie), 1);
  EXPECT_EQ(toolkit().ListIndex(cbo_Saisie), -1);
  EXPECT_THAT(reactions_.Log(), ElementsAre("cbo_Saisie key 13"));
}

TEST_F(QtToolkitTest, TabbingIntoAListLeavesItWithoutCurrentRow) {
  toolkit().AddItem(lst_Gauche, "a");
  toolkit().AddItem(lst_Gauche, "b");
  harness_.Focus(cbo_Choix);
  harness_.PressKey(cbo_Choix, ClerkKey::kTab);
  ASSERT_EQ(toolkit().Focused(), lst_Gauche);
  EXPECT_EQ(toolkit().ListIndex(lst_Gauche), -1);
  EXPECT_THAT(reactions_.Log(), ElementsAre("txt_Libre lostfocus", "cbo_Choix lostfocus"));
}

// The program's text is kept whole beyond the maximum length; pasting honours it.
TEST_F(QtToolkitTest, MaximumLengthLimitsTypingAndPastingOnly) {
  toolkit().SetText(txt_Court, "123456");
  EXPECT_EQ(toolkit().Text(txt_Court), "123456");
  harness_.Type(txt_Court, "7");
  EXPECT_EQ(toolkit().Text(txt_Court), "123456");
  toolkit().SetText(txt_Court, "ab");
  QApplication::clipboard()->setText("cdef");
  QTest::keyClick(&Widget<QLineEdit>(txt_Court), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(toolkit().Text(txt_Court), "abcd");
}

TEST_F(QtToolkitTest, DisablingTheFocusedControlKeepsKeysFromOthers) {
  toolkit().SetEnabled(txt_Libre, false);
  QWidget* qt_focus = QApplication::focusWidget();
  EXPECT_TRUE(qt_focus == nullptr || !harness_.drivable().PanelWidget()->isAncestorOf(qt_focus));
  EXPECT_EQ(toolkit().Focused(), txt_Libre);
  toolkit().SetEnabled(txt_Libre, true);
  EXPECT_EQ(QApplication::focusWidget(), &Widget<QLineEdit>(txt_Libre));
  harness_.Type(txt_Libre, "x");
  EXPECT_EQ(toolkit().Text(txt_Libre), "x");
  EXPECT_THAT(reactions_.Log(), ElementsAre("txt_Libre key 120", "txt_Libre change"));
}

TEST_F(QtToolkitTest, AnotherWindowTakingTheFocusIsNoFocusChange) {
  QWidget other;
  other.show();
  other.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
  harness_.drivable().Host().activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&harness_.drivable().Host()));
  EXPECT_EQ(toolkit().Focused(), txt_Libre);
  EXPECT_THAT(reactions_.Log(), IsEmpty());
}

TEST_F(QtToolkitTest, ClickIntoATextBoxAndOnALabelRaiseClick) {
  harness_.Click(txt_Court);
  harness_.Click(lbl_Titre);
  EXPECT_THAT(reactions_.Log(),
              ElementsAre("txt_Libre lostfocus", "txt_Court click", "lbl_Titre click"));
  EXPECT_EQ(toolkit().Focused(), txt_Court);
}

// A real mouse: the press gives the focus, and the button's click is dropped when the lost
// focus that the press caused showed a message or sent the focus back.
TEST_F(QtToolkitTest, ButtonClickIsDroppedWhenItsLostFocusShowedAMessage) {
  reactions_.When(txt_Libre, EventKind::kLostFocus, [&] {
    toolkit().MsgBox("Cette entité n'existe pas.", MsgButtons::kOk, MsgIcon::kExclamation,
                     kMessageTitle);
  });
  auto& button = Widget<QPushButton>(cmd_Bouton);
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_THAT(reactions_.Log(), ElementsAre("txt_Libre lostfocus"));
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_THAT(reactions_.TakeLog(), ElementsAre("txt_Libre lostfocus", "cmd_Bouton click"));

  harness_.Focus(txt_Court);
  reactions_.TakeLog();
  reactions_.When(txt_Court, EventKind::kLostFocus, [&] { toolkit().SetFocus(txt_Court); });
  QTest::mouseClick(&button, Qt::LeftButton);
  EXPECT_EQ(toolkit().Focused(), txt_Court);
  EXPECT_THAT(reactions_.Log(), ElementsAre("txt_Court lostfocus", "cmd_Bouton lostfocus"));
}

TEST_F(QtToolkitTest, TheWheelOverAListTurnsTheFramesScrollBar) {
  toolkit().SetScrollMax(Bdv_Barre, 10);
  auto& list = Widget<QListWidget>(lst_Gauche);
  const QPoint at = list.viewport()->rect().center();
  QWheelEvent wheel(at, list.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(list.viewport(), &wheel);
  EXPECT_GT(toolkit().ScrollValue(Bdv_Barre), 0);
  EXPECT_THAT(reactions_.Log(), ElementsAre("Bdv_Barre change"));
}

// The screen shows what the flags say: the clerk driver judges by the flags alone.
TEST_F(QtToolkitTest, HiddenAndDisabledControlsAreOffTheScreenOrGreyed) {
  toolkit().SetVisible(cmd_Bouton, false);
  toolkit().SetEnabled(txt_Court, false);
  toolkit().SetEnabled(Fra_Cadre, false);
  EXPECT_FALSE(Widget<QPushButton>(cmd_Bouton).isVisible());
  EXPECT_FALSE(Widget<QLineEdit>(txt_Court).isEnabled());
  EXPECT_FALSE(Widget<QLineEdit>(txt_Cadre).isEnabled());
  toolkit().SetVisible(Fra_Cadre, false);
  EXPECT_FALSE(Widget<QLineEdit>(txt_Cadre).isVisible());
  toolkit().SetPanelEnabled(false);
  EXPECT_FALSE(Widget<QLineEdit>(txt_Libre).isEnabled());
  toolkit().SetPanelEnabled(true);
  toolkit().SetVisible(cmd_Bouton, true);
  EXPECT_TRUE(Widget<QPushButton>(cmd_Bouton).isVisible());
  EXPECT_TRUE(Widget<QLineEdit>(txt_Libre).isEnabled());
}

TEST_F(QtToolkitTest, UnusableScrollBarIsDisabledOnScreenOnly) {
  toolkit().SetScrollUsable(Bdv_Barre, false);
  EXPECT_FALSE(Widget<QScrollBar>(Bdv_Barre).isEnabled());
  EXPECT_TRUE(toolkit().Enabled(Bdv_Barre));
  toolkit().SetScrollUsable(Bdv_Barre, true);
  EXPECT_TRUE(Widget<QScrollBar>(Bdv_Barre).isEnabled());
}

// --- Screen, message boxes, host -----------------------------------------------------------

TEST_F(QtToolkitTest, BusyPointerIsTheApplicationsOverrideCursorSetOnce) {
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  toolkit().SetBusyPointer(true);
  toolkit().SetBusyPointer(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  toolkit().SetBusyPointer(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  toolkit().SetBusyPointer(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(QtBusyPointerTest, DestroyingABusyToolkitRestoresThePointer) {
  {
    QtHarness harness;
    RecordingReactions reactions(ConformanceLayout());
    harness.Attach(ConformanceLayout(), reactions);
    harness.toolkit().SetBusyPointer(true);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

// Records how each message box looked when it came up (the harness then answers it).
class BoxInspector final : public QObject {
 public:
  BoxInspector() { qApp->installEventFilter(this); }
  ~BoxInspector() override { qApp->removeEventFilter(this); }
  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Show) {
      if (auto* box = qobject_cast<QMessageBox*>(object)) {
        modal = box->isModal();
        default_is_yes = static_cast<QAbstractButton*>(box->defaultButton()) ==
                         box->button(QMessageBox::Yes);
        icon = box->icon();
        shown_text = box->text();
        for (QAbstractButton* button : box->buttons()) button_texts << button->text();
      }
    }
    return false;
  }
  bool modal = false;
  bool default_is_yes = false;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QString shown_text;
  QStringList button_texts;
};

TEST_F(QtToolkitTest, QuestionBoxIsModalInFrenchWithYesAsDefault) {
  BoxInspector inspector;
  harness_.QueueAnswer(kAnswerYes);
  EXPECT_EQ(toolkit().MsgBox("Supprimer ?", MsgButtons::kYesNo, MsgIcon::kQuestion,
                             kMessageTitle),
            kAnswerYes);
  EXPECT_TRUE(inspector.modal);
  EXPECT_TRUE(inspector.default_is_yes);
  EXPECT_EQ(inspector.icon, QMessageBox::Question);
  inspector.button_texts.sort();
  EXPECT_EQ(inspector.button_texts, QStringList({"Non", "Oui"}));
}

TEST_F(QtToolkitTest, MessageLinesEndedByCarriageReturnShowAsLines) {
  BoxInspector inspector;
  toolkit().MsgBox("Attention ! \r\nBulletin", MsgButtons::kOk, MsgIcon::kExclamation,
                   kMessageTitle);
  EXPECT_EQ(inspector.shown_text, "Attention ! \nBulletin");
  EXPECT_EQ(inspector.icon, QMessageBox::Warning);
  ASSERT_EQ(harness_.Messages().size(), 1u);
  EXPECT_EQ(harness_.Messages()[0].text, "Attention ! \r\nBulletin");
}

TEST_F(QtToolkitTest, AnErrorOtherThanAComponentErrorIsShownNotThrownIntoQt) {
  reactions_.When(cmd_Bouton, EventKind::kClick, [] { throw std::out_of_range("ligne 12"); });
  harness_.Click(cmd_Bouton);
  ASSERT_EQ(harness_.Messages().size(), 1u);
  EXPECT_THAT(harness_.Messages()[0].text, HasSubstr("ligne 12"));
  EXPECT_EQ(harness_.Messages()[0].title, kMessageTitle);
}

TEST(QtLifetimeTest, OperationsAfterTheHostDestroyedTheParentAreError5) {
  EnsureApplication();
  auto parent = std::make_unique<QWidget>();
  QtToolkit toolkit(parent.get());
  RecordingReactions reactions(ConformanceLayout());
  toolkit.Attach(ConformanceLayout(), reactions);
  parent.reset();
  ResumeNext resume_next;
  resume_next([&] { toolkit.SetText(txt_Libre, "x"); });
  EXPECT_EQ(resume_next.LastError(), err::kInvalidCall);
  EXPECT_EQ(toolkit.PanelWidget(), nullptr);
}

}  // namespace
}  // namespace varnolde::qt_test
