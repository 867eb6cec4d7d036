#include <QScrollBar>

#include "setup/mapping_sources.h"
#include "tests/setup/setup_fixture.h"

namespace {

using namespace setuptest;

class MappingPageTest : public SheetFixture {};

TEST_F(MappingPageTest, GroupsAndRowsFollowTheCatalogue) {
  RunSheet([&] {
    ShowMappingPage();
    CMFCPropertyGridCtrl* grid = mapping->GetGrid();
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->GetHeaderText(0), u"Property");
    EXPECT_EQ(grid->GetHeaderText(1), u"Value");
    EXPECT_TRUE(grid->IsDescriptionArea());
    EXPECT_TRUE(grid->IsVSDotNetLook());
    EXPECT_TRUE(grid->IsMarkModifiedProperties());
    EXPECT_FALSE(grid->IsAlphabeticMode());
    // Over the frame, one pixel in at the right and bottom.
    const QRect frame = mapping->GetDlgItem(IDC_GRID_FRAME)->geometry();
    EXPECT_EQ(grid->geometry(), frame.adjusted(0, 0, -1, -1));
    EXPECT_EQ(frame, mapping->MapDialogRect(QRect(2, 2, 346, 225)));

    const char16_t* titles[] = {u"TPEC - External Dispatch Request", u"TBHB - Invoice Header",
                                u"TBSB - Invoice Shipment/Order Header", u"TBLB - Invoice Lines"};
    const int counts[] = {17, 57, 56, 27};
    ASSERT_EQ(grid->GetPropertyCount(), 4);
    int slot = 0;
    for (int g = 0; g < 4; ++g) {
      CMFCPropertyGridProperty* group = grid->GetProperty(g);
      EXPECT_TRUE(group->IsGroup());
      EXPECT_EQ(group->GetName(), titles[g]);
      ASSERT_EQ(group->GetSubItemsCount(), counts[g]);
      for (int i = 0; i < group->GetSubItemsCount(); ++i, ++slot) {
        auto* row = dynamic_cast<CMappedProperty*>(group->GetSubItem(i));
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->GetSlot(), slot);
        EXPECT_EQ(row->GetName(), model->Entry(slot).label.View());
        EXPECT_TRUE(row->HasButton());
        EXPECT_FALSE(row->IsAllowEdit());
      }
    }
    EXPECT_EQ(slot, 157);
    EXPECT_EQ(Row(u"TPEC.PETPI")->GetName(), u"Trading Partner");
    sheet->GetCancelButton()->click();
  });
}

TEST_F(MappingPageTest, RequiredNamesAreDrawnRed) {
  RunSheet([&] {
    ShowMappingPage();
    CMFCPropertyGridCtrl* grid = mapping->GetGrid();
    grid->SetCurSel(nullptr);
    grid->EnsureVisible(grid->GetProperty(0));
    const QImage image = grid->grab().toImage();
    for (const char16_t* key : {u"TPEC.PESID", u"TPEC.PERCD", u"TPEC.PEDWN"}) {
      EXPECT_GT(CountInk(image, Row(key)->GetNameRect(), IsRedInk), 20) << Narrow(key);
      // The value column keeps the window text colour.
      EXPECT_EQ(CountInk(image, Row(key)->GetValueRect(), IsRedInk), 0);
    }
    for (const char16_t* key : {u"TPEC.PETPI", u"TPEC.PEPTY", u"TPEC.PECMD"}) {
      EXPECT_EQ(CountInk(image, Row(key)->GetNameRect(), IsRedInk), 0) << Narrow(key);
      EXPECT_GT(CountInk(image, Row(key)->GetNameRect(), IsDarkInk), 20) << Narrow(key);
    }
    int red = 0;
    for (int slot = 0; slot < 157; ++slot) red += mapping->FindRow(slot)->NameColor() == QColor(191, 0, 0);
    EXPECT_EQ(red, 8);
    sheet->GetCancelButton()->click();
  });
}

TEST_F(MappingPageTest, DescriptionShowsKeyTypeAndHelp) {
  RunSheet([&] {
    ShowMappingPage();
    CMappedProperty* row = Row(u"TBHB.BHIND");
    mapping->GetGrid()->EnsureVisible(row, true);
    QTest::mouseClick(mapping->GetGrid(), Qt::LeftButton, {}, row->GetNameRect().center());
    EXPECT_EQ(mapping->GetGrid()->GetCurSel(), row);
    EXPECT_EQ(row->GetDescription(), u"TBHB.BHIND - DECIMAL(8, 0)\nDate of invoice document as scanned (YYYYMMDD)");
    EXPECT_EQ(mapping->GetGrid()->GetDescriptionText(),
              u"Invoice Date\nTBHB.BHIND - DECIMAL(8, 0)\nDate of invoice document as scanned (YYYYMMDD)");
    EXPECT_EQ(Row(u"TPEC.PESID")->GetDescription(), u"TPEC.PESID - CHAR(15)\n");
    sheet->GetCancelButton()->click();
  });
}

TEST_F(MappingPageTest, DisplayFieldNamesSwitchesBetweenLabelsAndKeys) {
  RunSheet([&] {
    ShowMappingPage();
    auto* box = mapping->GetDlgItemAs<QCheckBox>(IDC_DISPLAY_FIELD_NAMES);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("Display Field Names"));
    EXPECT_FALSE(box->isChecked());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_TRUE(mapping->IsDisplayFieldNames());
    EXPECT_EQ(Row(u"TPEC.PETPI")->GetName(), u"TPEC.PETPI");
    EXPECT_EQ(Row(u"TPEC.PEPTY")->GetName(), u"TPEC.PEPTY");
    EXPECT_EQ(mapping->GetGrid()->GetProperty(0)->GetName(), u"TPEC - External Dispatch Request");
    // A row mapped afterwards keeps showing its key.
    ChooseInMappingMenu(*mapping, Row(u"TBLB.BLSPC"), {"Text Constant"});
    EXPECT_EQ(Row(u"TBLB.BLSPC")->GetName(), u"TBLB.BLSPC");
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(Row(u"TPEC.PETPI")->GetName(), u"Trading Partner");
    EXPECT_EQ(Row(u"TPEC.PEPTY")->GetName(), u"Priority Flag");
    sheet->GetCancelButton()->click();
  });
}

TEST_F(MappingPageTest, TextConstantAndNoMapping) {
  data->links->links = {{u"Amount", KFX_REL_INDEXFIELD, u"TBHB.BHITT"}};
  RunSheet([&] {
    ShowMappingPage();
    CMappedProperty* row = Row(u"TBHB.BHITT");
    EXPECT_EQ(row->GetValue(), u"Amount");
    ChooseInMappingMenu(*mapping, row, {"Text Constant"});
    EXPECT_EQ(row->GetValue(), u"");
    EXPECT_TRUE(row->IsAllowEdit());
    const MappingEntry& entry = model->Entry(row->GetSlot());
    EXPECT_EQ(entry.sourceType, KFX_REL_TEXTCONSTANT);
    TypeIntoRow(*mapping, row, QStringLiteral("ABC"));
    EXPECT_EQ(entry.source.View(), u"ABC");

    ChooseInMappingMenu(*mapping, row, {"No Mapping"});
    EXPECT_FALSE(row->IsAllowEdit());
    EXPECT_EQ(row->GetValue(), u"");
    EXPECT_EQ(entry.sourceType, KFX_REL_UNDEFINED_LINK);
    // Clicking the value cell of an unmapped row opens no editor.
    QTest::mouseClick(mapping->GetGrid(), Qt::LeftButton, {}, row->GetValueRect().topLeft() + QPoint(6, 6));
    EXPECT_EQ(mapping->GetGrid()->GetInPlaceEdit(), nullptr);
    sheet->GetCancelButton()->click();
  });
}

TEST_F(MappingPageTest, EditedConstantIsKeptWhenOkIsPressedStraightAway) {
  CXTaskDialogAutoAnswer ignoreRequirement(542);
  RunSheet([&] {
    ShowMappingPage();
    CMappedProperty* row = Row(u"TPEC.PEDWN");
    ChooseInMappingMenu(*mapping, row, {"Text Constant"});
    CMFCPropertyGridCtrl* grid = mapping->GetGrid();
    QTest::mouseClick(grid, Qt::LeftButton, {}, row->GetValueRect().topLeft() + QPoint(6, 6));
    ASSERT_NE(grid->GetInPlaceEdit(), nullptr);
    QTest::keyClicks(grid->GetInPlaceEdit(), "DOCK1");
    QTest::mouseClick(sheet->GetOkButton(), Qt::LeftButton);
  });
  model->SaveLinks();
  ASSERT_FALSE(data->links->links.empty());
  EXPECT_EQ(data->links->links.front(), (LinkRecord{u"DOCK1", KFX_REL_TEXTCONSTANT, u"TPEC.PEDWN"}));
}

TEST_F(MappingPageTest, EmptyTextConstantIsNotStored) {
  CXTaskDialogAutoAnswer ignoreRequirement(542);
  RunSheet([&] {
    ShowMappingPage();
    ChooseInMappingMenu(*mapping, Row(u"TPEC.PEPGN"), {"Text Constant"});
    sheet->GetOkButton()->click();
  });
  model->SaveLinks();
  EXPECT_EQ(data->links->links.size(), 3u);  // only the fixed links
  CMappingModel again(data.get());
  again.BuildCatalogue();
  again.LoadLinks();
  EXPECT_EQ(again.Entry(again.FindByKey(u"TPEC.PEPGN")).sourceType, KFX_REL_UNDEFINED_LINK);
}

TEST_F(MappingPageTest, MenuChecksTheCurrentMapping) {
  data->links->links = {{u"Amount", KFX_REL_INDEXFIELD, u"TBHB.BHITT"},
                        {u"Document ID", KFX_REL_VARIABLE, u"TBHB.BHINV"},
                        {u"X", KFX_REL_TEXTCONSTANT, u"TBHB.BHCUR"}};
  RunSheet([&] {
    ShowMappingPage();
    auto checked = [](QMenu* menu) {
      QStringList names;
      for (QAction* a : menu->actions()) {
        if (a->isChecked()) names << a->text();
        if (a->menu()) {
          for (QAction* s : a->menu()->actions()) {
            if (s->isChecked()) names << a->text() + ">" + s->text();
          }
        }
      }
      return names;
    };
    const struct {
      const char16_t* key;
      QStringList expected;
    } cases[] = {
        {u"TBHB.BHITT", {"Document Index Fields>Amount"}},
        {u"TBHB.BHINV", {}},
        {u"TBHB.BHCUR", {"Text Constant"}},
        {u"TBHB.BHCIA", {"No Mapping"}},
    };
    for (const auto& c : cases) {
      WithMappingMenu(*mapping, Row(c.key), [&](QMenu* menu) {
        EXPECT_EQ(checked(menu), c.expected) << Narrow(c.key);
        EXPECT_EQ(mapping->GetPendingRow(), Row(c.key));
        QTest::keyClick(menu, Qt::Key_Escape);
      });
    }
    // A menu closed without a choice leaves the row pending until the next menu replaces it.
    EXPECT_EQ(mapping->GetPendingRow(), Row(u"TBHB.BHCIA"));
    mapping->SendCommand(ID_MAPPING_TEXT_CONSTANT);
    EXPECT_EQ(model->Entry(Row(u"TBHB.BHCIA")->GetSlot()).sourceType, KFX_REL_TEXTCONSTANT);
    EXPECT_EQ(mapping->GetPendingRow(), nullptr);
    // Without a pending row a command changes nothing.
    mapping->SendCommand(ID_MAPPING_NONE);
    EXPECT_EQ(model->Entry(Row(u"TBHB.BHCIA")->GetSlot()).sourceType, KFX_REL_TEXTCONSTANT);
    ChooseInMappingMenu(*mapping, Row(u"TBHB.BHCIA"), {"Kofax Capture Values", "Document ID"});
    EXPECT_EQ(mapping->GetPendingRow(), nullptr);
    EXPECT_EQ(model->Entry(Row(u"TBHB.BHCIA")->GetSlot()).sourceType, KFX_REL_VARIABLE);
    EXPECT_EQ(Row(u"TBHB.BHCIA")->GetValue(), u"Document ID");
    sheet->GetCancelButton()->click();
  });
}

TEST_F(MappingPageTest, SubmenusFollowWhatTheHostOffers) {
  data->indexFields->names.clear();
  data->variableNames.Release();
  RunSheet([&] {
    ShowMappingPage();
    WithMappingMenu(*mapping, Row(u"TPEC.PESID"), [&](QMenu* menu) {
      EXPECT_EQ(uitest::ActionTexts(menu), (QStringList{"Text Constant", "No Mapping", "Document Index Fields"}));
      QAction* fields = uitest::FindAction(menu, "Document Index Fields");
      ASSERT_NE(fields, nullptr);
      ASSERT_NE(fields->menu(), nullptr);
      EXPECT_TRUE(fields->menu()->actions().isEmpty());
      QTest::keyClick(menu, Qt::Key_Escape);
    });
    sheet->GetCancelButton()->click();
  });
}

TEST_F(MappingPageTest, ChoosingAnIndexFieldReadsTheHostAtThatMoment) {
  RunSheet([&] {
    ShowMappingPage();
    WithMappingMenu(*mapping, Row(u"TBHB.BHINV"), [&](QMenu* menu) {
      // The host renames the third field while the menu is open.
      data->indexFields->names[2] = u"Invoice Number";
      EXPECT_TRUE(uitest::ChooseMenuPath(menu, {"Document Index Fields", "InvoiceNo"}));
    });
    EXPECT_EQ(Row(u"TBHB.BHINV")->GetValue(), u"Invoice Number");
    EXPECT_EQ(data->journal.back(), "IndexFields.Item 3");
    sheet->GetCancelButton()->click();
  });
}

TEST_F(MappingPageTest, LeavingThePageAsksTheCheckWhichMayHoldIt) {
  int asked = 0;
  bool allow = false;
  leaveCheck = [&](CPropertyPageSetupMapping& page) {
    ++asked;
    EXPECT_EQ(&page, mapping.get());
    if (!allow) page.ShowRow(page.FindFirstUnsatisfiedRow());
    return allow;
  };
  const int result = RunSheet([&] {
    ShowMappingPage();
    mapping->GetGrid()->GetProperty(3)->Expand(false);
    ChooseInMappingMenu(*mapping, Row(u"TPEC.PESID"), {"Document Index Fields", "Vendor"});
    sheet->SetActivePage(0);
    EXPECT_EQ(sheet->GetActivePage(), mapping.get());
    QTest::mouseClick(sheet->GetOkButton(), Qt::LeftButton);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(asked, 2);
    // The first unmapped required row, in grid order, is selected and in view.
    EXPECT_EQ(mapping->GetGrid()->GetCurSel(), Row(u"TPEC.PERCD"));
    allow = true;
    QTest::mouseClick(sheet->GetOkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(asked, 3);
}

TEST_F(MappingPageTest, FirstUnsatisfiedRowWalksTheGridInOrder) {
  RunSheet([&] {
    ShowMappingPage();
    const char16_t* required[] = {u"TPEC.PESID", u"TPEC.PERCD", u"TPEC.PEDWN", u"TPEC.PEPGN",
                                  u"TBHB.BHIND", u"TBHB.BHSEN", u"TBLB.BLCIT", u"TBLB.BLINQ"};
    for (const char16_t* key : required) {
      EXPECT_EQ(mapping->FindFirstUnsatisfiedRow(), Row(key)) << Narrow(key);
      ChooseInMappingMenu(*mapping, Row(key), {"Text Constant"});
      EXPECT_EQ(mapping->FindFirstUnsatisfiedRow(), Row(key)) << "an empty constant is not a mapping";
      TypeIntoRow(*mapping, Row(key), QStringLiteral("x"));
    }
    EXPECT_EQ(mapping->FindFirstUnsatisfiedRow(), nullptr);
    // Showing a row in a collapsed group opens the group and scrolls to it.
    CMFCPropertyGridProperty* lines = mapping->GetGrid()->GetProperty(3);
    lines->Expand(false);
    mapping->ShowRow(Row(u"TBLB.BLINQ"));
    EXPECT_TRUE(lines->IsExpanded());
    EXPECT_EQ(mapping->GetGrid()->GetCurSel(), Row(u"TBLB.BLINQ"));
    EXPECT_FALSE(Row(u"TBLB.BLINQ")->GetRect().isNull());
    sheet->GetCancelButton()->click();
  });
}

// ------------------------------------------------------------------------------------------------------------
// Rows on their own

class MappedPropertyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    data = NewClass();
    model = std::make_unique<CMappingModel>(data.get());
    model->BuildCatalogue();
    model->LoadLinks();
    model->LoadValueNames();
  }
  CComPtr<FakeSetupData> data;
  std::unique_ptr<CMappingModel> model;
  CMappedProperty* pending = nullptr;
};

TEST_F(MappedPropertyTest, BindSlotTakesOnlyCatalogueSlots) {
  for (int slot : {-1, 197, 157, 196}) {
    CMappedProperty row(model.get(), &pending, nullptr);
    EXPECT_FALSE(row.BindSlot(slot)) << slot;
  }
  CMappedProperty row(model.get(), &pending, nullptr);
  EXPECT_TRUE(row.BindSlot(2));
  EXPECT_EQ(row.GetName(), u"Sender ID");
  CMappedProperty orphan(nullptr, &pending, nullptr);
  EXPECT_FALSE(orphan.BindSlot(2));
  EXPECT_FALSE(orphan.SetTextConstant());
  EXPECT_FALSE(orphan.ClearMapping());
  EXPECT_FALSE(orphan.ChooseIndexField(kIndexFieldCommandBase + 1));
  EXPECT_FALSE(orphan.ChooseValue(kValueCommandFirst));
  EXPECT_TRUE(orphan.IsSatisfied());
}

TEST_F(MappedPropertyTest, IsSatisfied) {
  const struct {
    const char16_t* key;
    LONG type;
    const char16_t* source;
    bool satisfied;
  } cases[] = {
      {u"TPEC.PESID", KFX_REL_UNDEFINED_LINK, u"", false}, {u"TPEC.PESID", KFX_REL_TEXTCONSTANT, u"", false},
      {u"TPEC.PESID", KFX_REL_TEXTCONSTANT, u" ", true},   {u"TPEC.PESID", KFX_REL_INDEXFIELD, u"Vendor", true},
      {u"TPEC.PESID", KFX_REL_VARIABLE, u"Batch Name", true}, {u"TPEC.PESID", KFX_REL_BATCHFIELD, u"F", true},
      {u"TPEC.PETPI", KFX_REL_UNDEFINED_LINK, u"", true},  {u"TPEC.PETPI", KFX_REL_TEXTCONSTANT, u"", true},
      {u"TBHB.BHINV", KFX_REL_UNDEFINED_LINK, u"", true},
  };
  for (const auto& c : cases) {
    CMappedProperty row(model.get(), &pending, nullptr);
    const int slot = model->FindByKey(c.key);
    ASSERT_TRUE(row.BindSlot(slot));
    model->Entry(slot).sourceType = c.type;
    model->Entry(slot).source = CComBSTR(c.source);
    EXPECT_EQ(row.IsSatisfied(), c.satisfied) << Narrow(c.key) << " " << c.type;
  }
}

TEST_F(MappedPropertyTest, ChoicesOutsideTheListChangeNothing) {
  CMappedProperty row(model.get(), &pending, nullptr);
  ASSERT_TRUE(row.BindSlot(0));
  EXPECT_FALSE(row.ChooseValue(kValueCommandFirst + 3));  // three names: positions 0 to 2
  EXPECT_FALSE(row.ChooseIndexField(kIndexFieldCommandBase + 5));
  EXPECT_FALSE(row.ChooseIndexField(kIndexFieldCommandBase));  // position 0 is no field
  EXPECT_EQ(model->Entry(0).sourceType, KFX_REL_UNDEFINED_LINK);
  EXPECT_TRUE(row.ChooseValue(kValueCommandFirst + 2));
  EXPECT_EQ(model->Entry(0).source.View(), u"First Page Original File Name");
  EXPECT_EQ(model->Entry(0).sourceType, KFX_REL_VARIABLE);
  EXPECT_TRUE(row.ChooseIndexField(kIndexFieldCommandBase + 2));
  EXPECT_EQ(model->Entry(0).source.View(), u"Amount");
  EXPECT_EQ(model->Entry(0).sourceType, KFX_REL_INDEXFIELD);
  EXPECT_EQ(row.GetValue(), u"Amount");
  data->failing = {"IndexFields"};
  EXPECT_FALSE(row.ChooseIndexField(kIndexFieldCommandBase + 1));
  EXPECT_EQ(model->Entry(0).source.View(), u"Amount");
}

TEST_F(MappedPropertyTest, APendingRowThatGoesAwayIsForgotten) {
  {
    CMappedProperty row(model.get(), &pending, nullptr);
    pending = &row;
  }
  EXPECT_EQ(pending, nullptr);
}

}  // namespace
