#include <QScrollBar>

#include "platform/ui/dialog_builder.h"
#include "platform/ui/property_grid.h"
#include "tests/ui/ui_test_support.h"

namespace {

// A row with a button that writes down what the grid asks of it.
class ButtonRow : public CMFCPropertyGridProperty {
 public:
  ButtonRow(const std::u16string& name, std::vector<std::string>& journal, bool button = true)
      : CMFCPropertyGridProperty(name, u"", u"about " + name), journal_(journal), button_(button) {}
  bool HasButton() const override { return button_; }
  void OnClickButton(const QPoint& point) override {
    journal_.push_back("button " + QString::fromStdU16String(GetName()).toStdString());
    clickedAt = point;
    selectedOnClick = IsSelected();
  }
  bool OnEndEdit() override {
    journal_.push_back("endedit " + QString::fromStdU16String(GetValue()).toStdString());
    return CMFCPropertyGridProperty::OnEndEdit();
  }
  QPoint clickedAt;
  bool selectedOnClick = false;

 private:
  std::vector<std::string>& journal_;
  bool button_;
};

class PropertyGridTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    window.setFont(DialogFont(u"MS Shell Dlg", 8));
    window.resize(600, 380);
    grid = new CMFCPropertyGridCtrl;
    grid->Create(WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP, QRect(4, 3, 590, 360), &window, 77);
    grid->EnableHeaderCtrl(true, u"Property", u"Value");
    grid->EnableDescriptionArea();
    grid->SetVSDotNetLook();
    grid->MarkModifiedProperties();
    for (int g = 0; g < 3; ++g) {
      auto* group = new CMFCPropertyGridProperty(u"Group " + std::u16string(1, u'A' + g));
      for (int i = 0; i < 20; ++i) {
        auto* row = new ButtonRow(u"Row " + std::u16string(1, u'A' + g) + u"." + QString::number(i).toStdU16String(),
                                  journal);
        group->AddSubItem(row);
        rows.push_back(row);
      }
      groups.push_back(group);
      grid->AddProperty(group);
    }
    window.show();
    QApplication::setActiveWindow(&window);
    grid->setFocus();
    QTest::qWait(1);
  }

  ButtonRow* Row(int g, int i) { return rows[static_cast<size_t>(g * 20 + i)]; }

  uitest::Watchdog watchdog_;  // first: it also makes the application the widgets need
  QWidget window;
  CMFCPropertyGridCtrl* grid = nullptr;
  std::vector<CMFCPropertyGridProperty*> groups;
  std::vector<ButtonRow*> rows;
  std::vector<std::string> journal;
};

TEST_F(PropertyGridTest, HeaderGroupsRowsAndIds) {
  EXPECT_EQ(GetDlgItemId(grid), 77u);
  EXPECT_EQ(grid->GetHeaderText(0), u"Property");
  EXPECT_EQ(grid->GetHeaderText(1), u"Value");
  ASSERT_EQ(grid->GetPropertyCount(), 3);
  EXPECT_TRUE(grid->GetProperty(0)->IsGroup());
  EXPECT_EQ(grid->GetProperty(0)->GetSubItemsCount(), 20);
  EXPECT_EQ(grid->GetProperty(1)->GetSubItem(3), Row(1, 3));
  EXPECT_EQ(Row(1, 3)->GetParent(), groups[1]);
  // Rows lie in order below the header, one row height apart.
  EXPECT_EQ(groups[0]->GetRect().top(), grid->GetHeaderRect().bottom() + 1);
  EXPECT_EQ(Row(0, 0)->GetRect().top(), groups[0]->GetRect().bottom() + 1);
  EXPECT_EQ(Row(0, 1)->GetRect().top() - Row(0, 0)->GetRect().top(), grid->GetRowHeight());
  // Far rows are out of view until scrolled to.
  EXPECT_TRUE(Row(2, 19)->GetRect().isNull());
  EXPECT_TRUE(grid->GetScrollBar()->isVisible());
  // A value row cannot take sub items, and a row cannot be added twice.
  auto extra = std::make_unique<CMFCPropertyGridProperty>(u"x", u"", u"");
  EXPECT_FALSE(Row(0, 0)->AddSubItem(extra.get()));
  EXPECT_EQ(grid->AddProperty(Row(0, 1)), -1);
}

TEST_F(PropertyGridTest, EveryValueCellHasItsButtonAtTheRightEnd) {
  const QRect value = Row(0, 2)->GetValueRect();
  const QRect button = Row(0, 2)->GetButtonRect();
  EXPECT_EQ(button.right(), value.right());
  EXPECT_EQ(button.width(), grid->GetRowHeight());
  EXPECT_GT(value.left(), Row(0, 2)->GetNameRect().right());
  CMFCPropertyGridProperty plain(u"plain", u"v", u"");
  EXPECT_TRUE(plain.GetButtonRect().isNull());
}

TEST_F(PropertyGridTest, ClickingAButtonSelectsTheRowAndCallsIt) {
  QTest::mouseClick(grid, Qt::LeftButton, {}, Row(0, 4)->GetButtonRect().center());
  EXPECT_EQ(journal, (std::vector<std::string>{"button Row A.4"}));
  EXPECT_TRUE(Row(0, 4)->selectedOnClick);
  EXPECT_EQ(grid->GetCurSel(), Row(0, 4));
  // F4 clicks the selected row's button from the keyboard.
  QTest::keyClick(grid, Qt::Key_F4);
  EXPECT_EQ(journal.size(), 2u);
}

TEST_F(PropertyGridTest, SelectionShowsNameAndDescription) {
  QTest::mouseClick(grid, Qt::LeftButton, {}, Row(0, 2)->GetNameRect().center());
  EXPECT_EQ(grid->GetCurSel(), Row(0, 2));
  EXPECT_EQ(grid->GetDescriptionText(), u"Row A.2\nabout Row A.2");
  QTest::keyClick(grid, Qt::Key_Down);
  EXPECT_EQ(grid->GetCurSel(), Row(0, 3));
  QTest::keyClick(grid, Qt::Key_Left);  // to the group
  EXPECT_EQ(grid->GetCurSel(), groups[0]);
  QTest::keyClick(grid, Qt::Key_Left);  // collapses it
  EXPECT_FALSE(groups[0]->IsExpanded());
  QTest::keyClick(grid, Qt::Key_Right);
  EXPECT_TRUE(groups[0]->IsExpanded());
}

TEST_F(PropertyGridTest, EditingOnlyWhereAllowed) {
  Row(0, 1)->AllowEdit(false);
  QTest::mouseClick(grid, Qt::LeftButton, {}, Row(0, 1)->GetValueRect().topLeft() + QPoint(5, 5));
  EXPECT_EQ(grid->GetInPlaceEdit(), nullptr);
  EXPECT_FALSE(grid->EditItem(Row(0, 1)));
  EXPECT_FALSE(grid->EditItem(groups[0]));

  QTest::mouseClick(grid, Qt::LeftButton, {}, Row(0, 2)->GetValueRect().topLeft() + QPoint(5, 5));
  QLineEdit* edit = grid->GetInPlaceEdit();
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(Row(0, 2)->IsInPlaceEditing());
  EXPECT_LE(edit->geometry().right(), Row(0, 2)->GetButtonRect().left());
  QTest::keyClicks(edit, "typed");
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(grid->GetInPlaceEdit(), nullptr);
  EXPECT_EQ(Row(0, 2)->GetValue(), u"typed");
  EXPECT_TRUE(Row(0, 2)->IsModified());
  EXPECT_EQ(journal, (std::vector<std::string>{"endedit typed"}));
}

TEST_F(PropertyGridTest, EscapeDropsTheTextAndLeavingTheCellKeepsIt) {
  Row(0, 3)->SetValue(u"before");
  ASSERT_TRUE(grid->EditItem(Row(0, 3)));
  QTest::keyClicks(grid->GetInPlaceEdit(), "dropped");
  QTest::keyClick(grid->GetInPlaceEdit(), Qt::Key_Escape);
  EXPECT_EQ(Row(0, 3)->GetValue(), u"before");
  EXPECT_EQ(journal, (std::vector<std::string>{"endedit before"}));

  ASSERT_TRUE(grid->EditItem(Row(0, 3)));
  grid->GetInPlaceEdit()->setText(QStringLiteral("kept"));
  // A click elsewhere in the grid ends the edit with the text.
  QTest::mouseClick(grid, Qt::LeftButton, {}, Row(0, 6)->GetNameRect().center());
  EXPECT_EQ(Row(0, 3)->GetValue(), u"kept");
  EXPECT_EQ(grid->GetInPlaceEdit(), nullptr);
  // Typing on an editable row starts editing with that character.
  grid->SetCurSel(Row(0, 3));
  QTest::keyClick(grid, Qt::Key_X);
  ASSERT_NE(grid->GetInPlaceEdit(), nullptr);
  EXPECT_EQ(grid->GetInPlaceEdit()->text(), QStringLiteral("x"));
  grid->EndEditItem(true);
  EXPECT_EQ(Row(0, 3)->GetValue(), u"x");
}

TEST_F(PropertyGridTest, EnsureVisibleExpandsAndScrolls) {
  groups[2]->Expand(false);
  EXPECT_FALSE(Row(2, 15)->IsVisible());
  grid->EnsureVisible(Row(2, 15));
  EXPECT_TRUE(Row(2, 15)->GetRect().isNull());
  grid->SetCurSel(Row(2, 15));
  grid->EnsureVisible(Row(2, 15), true);
  EXPECT_TRUE(groups[2]->IsExpanded());
  const QRect rect = Row(2, 15)->GetRect();
  ASSERT_FALSE(rect.isNull());
  EXPECT_LE(rect.bottom(), grid->GetListRect().bottom());
  EXPECT_GT(grid->GetTopRow(), 0);
  grid->EnsureVisible(groups[0]);
  EXPECT_EQ(grid->GetTopRow(), 0);
}

TEST_F(PropertyGridTest, ExpandBoxCollapsesAGroup) {
  const QRect group = groups[0]->GetRect();
  QTest::mouseClick(grid, Qt::LeftButton, {}, QPoint(group.left() + grid->GetRowHeight() / 2, group.center().y()));
  EXPECT_FALSE(groups[0]->IsExpanded());
  EXPECT_EQ(groups[1]->GetRect().top(), group.bottom() + 1);
  QTest::mouseDClick(grid, Qt::LeftButton, {}, groups[0]->GetNameRect().center());
  EXPECT_TRUE(groups[0]->IsExpanded());
}

TEST_F(PropertyGridTest, AlphabeticModeListsValueRowsByName) {
  groups[0]->GetSubItem(0)->SetName(u"zz last", false);
  grid->SetAlphabeticMode(true);
  EXPECT_FALSE(groups[0]->IsVisible());
  const QRect list = grid->GetListRect();
  CMFCPropertyGridProperty* first = grid->HitTest(QPoint(list.left() + 40, list.top() + 2));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->GetName(), u"Row A.1");
  grid->EnsureVisible(Row(0, 0));
  EXPECT_EQ(grid->HitTest(Row(0, 0)->GetNameRect().center()), Row(0, 0));
  EXPECT_GT(grid->GetTopRow(), 0);
  grid->SetAlphabeticMode(false);
  EXPECT_EQ(grid->HitTest(QPoint(list.left() + 40, list.top() + 2)), groups[0]);
}

TEST_F(PropertyGridTest, ModifiedValuesAreDrawnBold) {
  // A grid whose value text is painted bold only once it was changed through the editor.
  Row(0, 0)->SetValue(u"WWWW");
  Row(0, 1)->SetValue(u"WWWW");
  ASSERT_TRUE(grid->EditItem(Row(0, 1)));
  grid->GetInPlaceEdit()->setText(QStringLiteral("WWWWW"));
  grid->EndEditItem(true);
  grid->SetCurSel(nullptr);
  const QImage image = grid->grab().toImage();
  auto ink = [&](const QRect& r) {
    int dark = 0;
    for (int y = r.top(); y <= r.bottom(); ++y)
      for (int x = r.left(); x < r.left() + 30; ++x) dark += qGray(image.pixel(x, y)) < 128;
    return dark;
  };
  image.save(uitest::ScreenshotDir() + "/grid_test.png");
  EXPECT_GT(ink(Row(0, 1)->GetValueRect()), ink(Row(0, 0)->GetValueRect()));
}

TEST_F(PropertyGridTest, HundredsOfRowsBuildAndPaintQuickly) {
  QElapsedTimer timer;
  timer.start();
  CMFCPropertyGridCtrl big;
  big.resize(600, 360);
  big.EnableHeaderCtrl(true);
  big.EnableDescriptionArea();
  for (int g = 0; g < 4; ++g) {
    auto* group = new CMFCPropertyGridProperty(u"Group");
    for (int i = 0; i < 40; ++i) group->AddSubItem(new ButtonRow(u"Row", journal));
    big.AddProperty(group, false, false);
  }
  big.AdjustLayout();
  big.grab();
  std::printf("160 rows built and painted in %lld ms\n", static_cast<long long>(timer.elapsed()));
}

}  // namespace
