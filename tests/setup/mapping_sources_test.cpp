#include "setup/mapping_sources.h"
#include "tests/setup/setup_fixture.h"

namespace {

using namespace setuptest;
using fakehost::FakeNames;
using fakehost::TextItems;

const std::string kQueryV2 = "BatchVariableNames.QueryInterface {2F8DEB57-941D-4E2C-81B5-D16E3B82C2C8}";
const std::string kQueryV1 = "BatchVariableNames.QueryInterface {852FDE3C-8C75-4550-9749-07F8FF6CE9B1}";

class ValueNamesTest : public ::testing::Test {
 protected:
  CComPtr<FakeSetupData> data = MakeComObject<FakeSetupData>();
  CMappingModel model{data.get()};
};

TEST_F(ValueNamesTest, AsksForTheNewerCollectionFirst) {
  data->SetValueNames({u"Batch Name", u"Document ID"});
  model.ValueNames() = {u"left over"};
  EXPECT_TRUE(model.LoadValueNames());
  EXPECT_EQ(model.ValueNames(), (std::vector<std::u16string>{u"Batch Name", u"Document ID"}));
  EXPECT_EQ(data->journal, (Journal{"get BatchVariableNames", kQueryV2, "BatchVariableNames._NewEnum"}));
}

TEST_F(ValueNamesTest, FallsBackToTheOlderCollection) {
  data->variableNames = MakeComObject<FakeNames<IBatchVariableNames>>(data->journal, TextItems({u"Old Name"}));
  EXPECT_TRUE(model.LoadValueNames());
  EXPECT_EQ(model.ValueNames(), (std::vector<std::u16string>{u"Old Name"}));
  EXPECT_EQ(data->journal, (Journal{"get BatchVariableNames", kQueryV2, kQueryV1, "BatchVariableNames._NewEnum"}));
}

TEST_F(ValueNamesTest, NothingToEnumerate) {
  model.ValueNames() = {u"left over"};
  data->variableNames = MakeComObject<fakehost::FakeOtherDispatch>();
  EXPECT_FALSE(model.LoadValueNames());
  EXPECT_TRUE(model.ValueNames().empty());

  data->failing = {"BatchVariableNames"};
  data->SetValueNames({u"x"});
  EXPECT_FALSE(model.LoadValueNames());
  EXPECT_TRUE(model.ValueNames().empty());

  CMappingModel orphan(nullptr);
  EXPECT_FALSE(orphan.LoadValueNames());
}

TEST_F(ValueNamesTest, TakesTheTextOfEachItem) {
  std::vector<CComVariant> items = TextItems({u"A"});
  items.emplace_back(LONG{42});
  items.emplace_back(static_cast<IDispatch*>(MakeComObject<fakehost::FakeOtherDispatch>().get()));
  items.emplace_back(std::u16string_view(u""));
  data->variableNames = MakeComObject<FakeNames<IBatchVariableNames2>>(data->journal, items);
  EXPECT_TRUE(model.LoadValueNames());
  EXPECT_EQ(model.ValueNames(), (std::vector<std::u16string>{u"A", u"42", u""}));
}

class MenuSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    menu.CreatePopupMenu();
  }
  CComPtr<FakeSetupData> data = MakeComObject<FakeSetupData>();
  CMappingModel model{data.get()};
  CMenu menu;
};

TEST_F(MenuSourcesTest, IndexFieldsWithTheCurrentOneChecked) {
  data->indexFields->names = {u"Vendor", u"Amount", u"amount"};
  AppendIndexFieldMenu(menu, &model, u"Amount");
  ASSERT_EQ(menu.GetMenuItemCount(), 1);
  EXPECT_EQ(menu.GetMenuString(0, MF_BYPOSITION), u"Document Index Fields");
  CMenu* fields = menu.GetSubMenu(0);
  ASSERT_NE(fields, nullptr);
  ASSERT_EQ(fields->GetMenuItemCount(), 3);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(fields->GetMenuItemID(i), 28417u + i);
  EXPECT_EQ(fields->GetMenuState(28417, MF_BYCOMMAND) & MF_CHECKED, 0u);
  EXPECT_EQ(fields->GetMenuState(28418, MF_BYCOMMAND) & MF_CHECKED, MF_CHECKED);
  EXPECT_EQ(fields->GetMenuState(28419, MF_BYCOMMAND) & MF_CHECKED, 0u);  // case matters
}

TEST_F(MenuSourcesTest, NoIndexFieldsStillGivesTheSubmenu) {
  AppendIndexFieldMenu(menu, &model, u"");
  ASSERT_EQ(menu.GetMenuItemCount(), 1);
  EXPECT_EQ(menu.GetSubMenu(0)->GetMenuItemCount(), 0);
  // Unless the host cannot list them at all.
  CMenu other;
  other.CreatePopupMenu();
  data->failing = {"IndexFields"};
  AppendIndexFieldMenu(other, &model, u"");
  EXPECT_EQ(other.GetMenuItemCount(), 0);
}

TEST_F(MenuSourcesTest, ValuesOnlyWhenThereAreAny) {
  AppendValueMenu(menu, &model);
  EXPECT_EQ(menu.GetMenuItemCount(), 0);
  model.ValueNames() = {u"Batch Name", u"Document ID"};
  AppendValueMenu(menu, &model);
  ASSERT_EQ(menu.GetMenuItemCount(), 1);
  EXPECT_EQ(menu.GetMenuString(0, MF_BYPOSITION), u"Kofax Capture Values");
  CMenu* values = menu.GetSubMenu(0);
  ASSERT_EQ(values->GetMenuItemCount(), 2);
  EXPECT_EQ(values->GetMenuItemID(0), 28160u);
  EXPECT_EQ(values->GetMenuString(28161, MF_BYCOMMAND), u"Document ID");
  EXPECT_EQ(values->GetMenuState(28160, MF_BYCOMMAND) & MF_CHECKED, 0u);
}

TEST_F(MenuSourcesTest, LongListsStayInsideTheirCommandRanges) {
  for (int i = 1; i <= 300; ++i) {
    data->indexFields->names.push_back(u"Field " + QString::number(i).toStdU16String());
    model.ValueNames().push_back(u"Value " + QString::number(i).toStdU16String());
  }
  AppendIndexFieldMenu(menu, &model, u"Field 300");
  AppendValueMenu(menu, &model);
  CMenu* fields = menu.GetSubMenu(0);
  CMenu* values = menu.GetSubMenu(1);
  ASSERT_EQ(fields->GetMenuItemCount(), 255);
  ASSERT_EQ(values->GetMenuItemCount(), 256);
  EXPECT_EQ(fields->GetMenuItemID(0), 28417u);
  EXPECT_EQ(fields->GetMenuItemID(254), 28671u);
  EXPECT_EQ(fields->GetMenuString(254, MF_BYPOSITION), u"Field 255");
  EXPECT_EQ(values->GetMenuItemID(0), 28160u);
  EXPECT_EQ(values->GetMenuItemID(255), 28415u);
  for (int i = 0; i < 255; ++i) EXPECT_TRUE(IsIndexFieldCommand(fields->GetMenuItemID(i)));
  for (int i = 0; i < 256; ++i) {
    EXPECT_TRUE(IsValueCommand(values->GetMenuItemID(i)));
    EXPECT_FALSE(IsIndexFieldCommand(values->GetMenuItemID(i)));
  }
  // Commands past the ranges are no choices at all.
  CMappedProperty* pending = nullptr;
  model.BuildCatalogue();
  model.LoadLinks();
  CMappedProperty row(&model, &pending, nullptr);
  ASSERT_TRUE(row.BindSlot(0));
  EXPECT_FALSE(row.ChooseIndexField(28416 + 300));
  EXPECT_FALSE(row.ChooseValue(28160 + 256));
  EXPECT_TRUE(row.ChooseIndexField(28671));
  EXPECT_EQ(model.Entry(0).source.View(), u"Field 255");
  EXPECT_TRUE(row.ChooseValue(28415));
  EXPECT_EQ(model.Entry(0).source.View(), u"Value 256");
}

}  // namespace
