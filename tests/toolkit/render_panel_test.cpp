// RenderPanel: the panel as a person reads it in a script's output.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "toolkit/conformance_layout.h"
#include "toolkit/headless/clerk_driver.h"
#include "toolkit/headless/headless_toolkit.h"
#include "toolkit/headless/render_panel.h"
#include "toolkit/recording_reactions.h"

namespace varnolde::conformance {
namespace {

using ::testing::HasSubstr;

class RenderPanelTest : public ::testing::Test {
 protected:
  RenderPanelTest() { toolkit_.Attach(ConformanceLayout(), reactions_); }

  RecordingReactions reactions_{ConformanceLayout()};
  HeadlessToolkit toolkit_;
  ClerkDriver clerk_{toolkit_};
};

TEST_F(RenderPanelTest, EmptyPanelInRowsWithTheFrameAsABlock) {
  EXPECT_EQ(RenderPanel(toolkit_),
            "Panneau\n"
            "Titre  txt_Libre[]  txt_Court[]\n"
            "cbo_Saisie[]  cbo_Choix[]  txt_Cache[] [masqué]\n"
            "+- Cadre (Fra_Cadre)\n"
            "|  Bdv_Barre{valeur 0 / max 0}\n"
            "|  ligne | lst_Gauche | lst_Droite\n"
            "|  (listes vides)\n"
            "|  txt_Cadre[]  cmd_Cadre<Dans le cadre>\n"
            "+-\n"
            "cmd_Bouton<Bouton>\n");
}

TEST_F(RenderPanelTest, ShowsTextsMarksFocusAndListsAsColumns) {
  for (const char* item : {"DUPONT", "DURAND", "MARTIN"}) toolkit_.AddItem(lst_Gauche, item);
  for (const char* item : {"12,50", "", "3,00"}) toolkit_.AddItem(lst_Droite, item);
  toolkit_.AddItem(cbo_Choix, "MARS 2002");
  toolkit_.AddItem(cbo_Choix, "AVRIL 2002");
  clerk_.Pick(cbo_Choix, 1);
  clerk_.ClickRow(lst_Gauche, 1);
  toolkit_.SetListIndex(lst_Droite, 2);
  clerk_.Type(txt_Libre, "été");
  toolkit_.SetEnabled(cmd_Cadre, false);
  toolkit_.SetVisible(cmd_Bouton, false);
  toolkit_.SetScrollMax(Bdv_Barre, 2);
  toolkit_.SetScrollUsable(Bdv_Barre, false);
  toolkit_.SetPanelEnabled(false);
  toolkit_.SetBusyPointer(true);
  EXPECT_EQ(RenderPanel(toolkit_),
            "Panneau [désactivé] [pointeur occupé]\n"
            "Titre  txt_Libre[été] [focus]  txt_Court[]\n"
            "cbo_Saisie[]  cbo_Choix[AVRIL 2002] (0:MARS 2002 | >1:AVRIL 2002)  "
            "txt_Cache[] [masqué]\n"
            "+- Cadre (Fra_Cadre)\n"
            "|  Bdv_Barre{valeur 0 / max 2} [inutilisable]\n"
            "|  ligne | lst_Gauche | lst_Droite\n"
            "|      0 |  DUPONT    |  12,50\n"
            "|      1 | >DURAND    |\n"
            "|      2 |  MARTIN    | >3,00\n"
            "|  txt_Cadre[]  cmd_Cadre<Dans le cadre> [désactivé]\n"
            "+-\n"
            "cmd_Bouton<Bouton> [masqué]\n");
}

TEST_F(RenderPanelTest, TellsWhenTheHostWindowIsClosed) {
  toolkit_.CloseHost();
  EXPECT_THAT(RenderPanel(toolkit_), HasSubstr("Panneau [fenêtre fermée]\n"));
}

TEST(RenderPanelWithoutPanel, IsAProgrammingFault) {
  HeadlessToolkit toolkit;
  EXPECT_THROW(RenderPanel(toolkit), std::logic_error);
}

}  // namespace
}  // namespace varnolde::conformance
