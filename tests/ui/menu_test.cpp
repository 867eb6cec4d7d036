#include "platform/ui/menu.h"
#include "resources/qorvena_resources.h"
#include "tests/ui/ui_test_support.h"

namespace {

class Commands : public CCmdTarget {
 public:
  bool OnCmdMsg(UINT id) override {
    received.push_back(id);
    return true;
  }
  std::vector<UINT> received;
};

class MenuTest : public ::testing::Test {
 protected:
  void SetUp() override { uitest::App(); }
  AfxModuleStateGuard module_{QorvenaResources()};
  uitest::Watchdog watchdog_;
};

CMenu Popup(std::initializer_list<std::pair<UINT, const char16_t*>> items) {
  CMenu menu;
  menu.CreatePopupMenu();
  for (auto [id, text] : items) menu.AppendMenu(MF_STRING, id, text);
  return menu;
}

TEST_F(MenuTest, LoadsTheMappingMenuResource) {
  CMenu menu;
  ASSERT_TRUE(menu.LoadMenu(IDR_MAPPING_MENU));
  CMenu* popup = menu.GetSubMenu(0);
  ASSERT_NE(popup, nullptr);
  ASSERT_EQ(popup->GetMenuItemCount(), 2);
  EXPECT_EQ(popup->GetMenuItemID(0), ID_MAPPING_TEXT_CONSTANT);
  EXPECT_EQ(popup->GetMenuString(0, MF_BYPOSITION), u"Text Constant");
  EXPECT_EQ(popup->GetMenuItemID(1), ID_MAPPING_NONE);
  EXPECT_EQ(popup->GetMenuString(ID_MAPPING_NONE, MF_BYCOMMAND), u"No Mapping");
  CMenu missing;
  EXPECT_FALSE(missing.LoadMenu(4711));
}

TEST_F(MenuTest, ChecksByCommandAlsoInSubmenusAndReportsThePreviousState) {
  CMenu menu = Popup({{1, u"One"}});
  menu.AppendPopup(Popup({{2, u"Two"}, {3, u"Three"}}), u"Sub");
  EXPECT_EQ(menu.GetMenuItemID(1), kMenuNotFound);
  EXPECT_EQ(menu.GetMenuState(1, MF_BYPOSITION) & MF_POPUP, MF_POPUP);
  EXPECT_EQ(menu.CheckMenuItem(3, MF_BYCOMMAND | MF_CHECKED), MF_UNCHECKED);
  EXPECT_EQ(menu.CheckMenuItem(3, MF_BYCOMMAND | MF_CHECKED), MF_CHECKED);
  EXPECT_EQ(menu.GetSubMenu(1)->GetMenuState(3, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);
  EXPECT_EQ(menu.CheckMenuItem(3, MF_BYCOMMAND | MF_UNCHECKED), MF_CHECKED);
  EXPECT_EQ(menu.CheckMenuItem(99, MF_BYCOMMAND | MF_CHECKED), kMenuNotFound);
  EXPECT_EQ(menu.CheckMenuItem(0, MF_BYPOSITION | MF_CHECKED), MF_UNCHECKED);
  EXPECT_EQ(menu.GetMenuState(1, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);
}

TEST_F(MenuTest, ShowsChecksOnlyWhereSet) {
  CMenu menu = Popup({{1, u"One"}, {2, u"Two"}});
  menu.CheckMenuItem(2, MF_BYCOMMAND | MF_CHECKED);
  std::unique_ptr<QMenu> shown(menu.BuildQMenu(nullptr));
  EXPECT_EQ(uitest::ActionTexts(shown.get()), (QStringList{"One", "Two"}));
  EXPECT_FALSE(uitest::FindAction(shown.get(), "One")->isChecked());
  EXPECT_TRUE(uitest::FindAction(shown.get(), "Two")->isChecked());
}

TEST_F(MenuTest, TrackPopupMenuSendsTheChosenCommandToItsOwner) {
  CMenu menu = Popup({{1, u"One"}});
  menu.AppendPopup(Popup({{2, u"Two"}, {3, u"Three"}}), u"Sub");
  Commands owner;
  uitest::WhenPopup([](QMenu* shown) {
    EXPECT_EQ(shown->pos(), QPoint(40, 50));
    EXPECT_TRUE(uitest::ChooseMenuPath(shown, {"Sub", "Three"}));
  });
  EXPECT_EQ(menu.TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, 40, 50, &owner), 1u);
  EXPECT_EQ(owner.received, (std::vector<UINT>{3}));
}

TEST_F(MenuTest, ReturnCmdAndClosingWithoutAChoice) {
  CMenu menu = Popup({{7, u"Seven"}});
  Commands owner;
  uitest::WhenPopup([](QMenu* shown) { uitest::ChooseMenuPath(shown, {"Seven"}); });
  EXPECT_EQ(menu.TrackPopupMenu(TPM_RETURNCMD, 10, 10, &owner), 7u);
  EXPECT_TRUE(owner.received.empty());

  uitest::WhenPopup([](QMenu* shown) { QTest::keyClick(shown, Qt::Key_Escape); });
  EXPECT_EQ(menu.TrackPopupMenu(TPM_LEFTALIGN, 10, 10, &owner), 0u);
  EXPECT_TRUE(owner.received.empty());
}

}  // namespace
