// Column widths, the common scroll bar, and greying while a row is open.
#include "panel/panel_fixture.h"
#include "shared/moduleproc.h"

namespace varnolde::testing {
namespace {

using ModuleProc::PadField;
using ModuleProc::PositionList;

TEST(PadFieldTest, PadsCutsAndAligns) {
  EXPECT_EQ(PadField("12.50", 9, " ", 0), "    12.50");
  EXPECT_EQ(PadField("12.50", 9, " ", -1), "12.50    ");
  EXPECT_EQ(PadField("12.50", 9, " ", 1), "    12.50");  // only -1 left-aligns
  EXPECT_EQ(PadField("abcdefghijkl", 10, " ", -1), "abcdefghij");
  EXPECT_EQ(PadField("abcdefghijkl", 10, " ", 0), "abcdefghij");
  EXPECT_EQ(PadField("exact", 5, " ", 0), "exact");
  EXPECT_EQ(PadField("abc", 0, " ", -1), "");
  EXPECT_EQ(PadField("7", 3, "0xyz", 0), "007");
  // Widths count characters, not bytes.
  EXPECT_EQ(PadField("Léa", 5, " ", -1), "Léa  ");
  EXPECT_EQ(PadField("Hélène", 2, " ", -1), "Hé");
}

using ColumnsTest = PanelTest;

TEST_F(ColumnsTest, PositionListFitsTheScrollBarToTheMainList) {
  Open();
  struct Case {
    int rows;
    int maximum;
    bool usable;
  };
  for (const Case& c : {Case{12, 11, false}, Case{13, 12, true}, Case{0, -1, false}}) {
    SCOPED_TRACE(c.rows);
    toolkit_->Clear(lst_Liste1);
    for (int i = 0; i < c.rows; ++i) toolkit_->AddItem(lst_Liste1, "ligne " + std::to_string(i));
    toolkit_->SetScrollMax(Bdv_Liste, 40);
    toolkit_->SetScrollValue(Bdv_Liste, 5);
    PositionList(*toolkit_, Bdv_Liste, lst_Liste1, 12);
    EXPECT_EQ(toolkit_->ScrollMax(Bdv_Liste), c.maximum);
    EXPECT_EQ(toolkit_->ScrollUsable(Bdv_Liste), c.usable);
    EXPECT_EQ(toolkit_->ScrollValue(Bdv_Liste), 0);
    // The value went back to 0: the change reaction brought the lists to their first row.
    EXPECT_EQ(toolkit_->ListIndex(lst_Liste1), c.rows > 0 ? 0 : -1);
  }
}

// A caregiver is loaded, then the lists hold 30 rows put there through the toolkit.
class ScrollTest : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    Open();
    LoadCaregiver("00012");
    for (ControlId list : {lst_Liste1, lst_Acompte, lst_Etat, Lst_CodeContrat}) {
      toolkit_->Clear(list);
      for (int i = 0; i < 30; ++i) toolkit_->AddItem(list, std::to_string(i));
    }
    PositionList(*toolkit_, Bdv_Liste, lst_Liste1, 12);
  }
  void ExpectCurrentRow(int row) {
    for (ControlId list : {lst_Liste1, lst_Acompte, lst_Etat, Lst_CodeContrat}) {
      EXPECT_EQ(toolkit_->ListIndex(list), row) << Layout().controls[list].name;
    }
  }
};

TEST_F(ScrollTest, MovingOrDraggingTheScrollBarMovesEveryList) {
  clerk_->MoveScroll(Bdv_Liste, 20);
  ExpectCurrentRow(20);
  EXPECT_EQ(Text(lst_Acompte), "20");
  clerk_->DragScroll(Bdv_Liste, 3);
  ExpectCurrentRow(3);
}

TEST_F(ScrollTest, ClickingOneListMovesTheOthers) {
  clerk_->ClickRow(lst_Etat, 3);
  ExpectCurrentRow(3);
  clerk_->ClickRow(lst_Acompte, 7);
  ExpectCurrentRow(7);
  clerk_->ClickRow(lst_Liste1, 29);
  ExpectCurrentRow(29);
}

TEST_F(ScrollTest, GreyingKeepsTheScrollBarWorkingAndSortirDisabled) {
  clerk_->DoubleClickRow(lst_Liste1, 2);
  for (ControlId control : {lst_Liste1, lst_Acompte, lst_Etat, cmd_Valider, Cmd_AnnulerGene,
                            cmd_Sortir, cbo_PeriodePaie, txt_Entite, cbo_Entite, txt_CodeAidant,
                            cbo_NomAidant, cmd_Recherche}) {
    EXPECT_FALSE(Enabled(control)) << Layout().controls[control].name;
  }
  clerk_->MoveScroll(Bdv_Liste, 25);
  ExpectCurrentRow(25);
  clerk_->Click(cmd_Annuler);
  for (ControlId control : {lst_Liste1, lst_Acompte, lst_Etat, cmd_Valider, Cmd_AnnulerGene,
                            cbo_PeriodePaie, txt_Entite, cbo_Entite, txt_CodeAidant,
                            cbo_NomAidant, cmd_Recherche}) {
    EXPECT_TRUE(Enabled(control)) << Layout().controls[control].name;
  }
  EXPECT_FALSE(Enabled(cmd_Sortir));
}

TEST_F(ColumnsTest, AnEmptyListIgnoresTheScrollBar) {
  Open();
  LoadCaregiver("00012");
  for (ControlId list : {lst_Liste1, lst_Acompte, lst_Etat, Lst_CodeContrat}) toolkit_->Clear(list);
  PositionList(*toolkit_, Bdv_Liste, lst_Liste1, 12);
  toolkit_->SetScrollMax(Bdv_Liste, 5);  // as if it could be moved
  toolkit_->SetScrollValue(Bdv_Liste, 3);
  EXPECT_EQ(toolkit_->ScrollValue(Bdv_Liste), 3);
  EXPECT_EQ(toolkit_->ListIndex(lst_Liste1), -1);
  EXPECT_TRUE(toolkit_->Messages().empty());
}

}  // namespace
}  // namespace varnolde::testing
