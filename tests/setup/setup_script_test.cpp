#include <QElapsedTimer>

#include "tests/setup/setup_fixture.h"

namespace {

using namespace setuptest;

const std::vector<LinkRecord> kFixedLinks = {
    {u"OriginalFolder", KFX_REL_BATCHFIELD, u"OriginalFolder"},
    {u"First Page Original File Name", KFX_REL_VARIABLE, u"OriginalFileName"},
    {u"OriginalFileNameExt", KFX_REL_BATCHFIELD, u"OriginalFileNameExt"},
};

class SetupScriptTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    script = MakeComObject<TestSetupScript>();
    data = NewClass();
  }
  KfxReturnValue RunUI(std::function<void(CMFCPropertySheet&)> driver) {
    uitest::WhenModal([driver](QWidget* w) {
      auto* sheet = dynamic_cast<CMFCPropertySheet*>(w);
      ASSERT_NE(sheet, nullptr);
      driver(*sheet);
    });
    KfxReturnValue ret = KFX_REL_ERROR;
    EXPECT_EQ(script->RunUI(&ret), S_OK);
    return ret;
  }
  uitest::Watchdog watchdog_;
  CComPtr<TestSetupScript> script;
  CComPtr<FakeSetupData> data;
};

TEST_F(SetupScriptTest, ActionEventSupportsTheFourteenDocumentClassActions) {
  const struct {
    LONG action;
    KfxReturnValue expected;
  } cases[] = {
      {KFX_REL_DOCCLASS_RENAME, KFX_REL_SUCCESS}, {KFX_REL_INDEXFIELD_RENAME, KFX_REL_SUCCESS},
      {KFX_REL_START, KFX_REL_SUCCESS},          {KFX_REL_END, KFX_REL_SUCCESS},
      {KFX_REL_FOLDERCLASS_INSERT, KFX_REL_UNSUPPORTED}, {KFX_REL_TABLE_RENAME, KFX_REL_UNSUPPORTED},
      {KFX_REL_UNDEFINED_ACTION, KFX_REL_UNSUPPORTED},   {-2, KFX_REL_UNSUPPORTED},
      {20, KFX_REL_UNSUPPORTED},                 {INT32_MIN, KFX_REL_UNSUPPORTED},
  };
  for (const auto& c : cases) {
    KfxReturnValue ret = KFX_REL_ERROR;
    EXPECT_EQ(script->ActionEvent(static_cast<KfxActionValue>(c.action), nullptr, nullptr, &ret), S_OK);
    EXPECT_EQ(ret, c.expected) << c.action;
  }
  for (LONG action = 0; action <= 13; ++action) {
    KfxReturnValue ret = KFX_REL_ERROR;
    script->ActionEvent(static_cast<KfxActionValue>(action), CComBSTR(u"a"), CComBSTR(u"b"), &ret);
    EXPECT_EQ(ret, KFX_REL_SUCCESS) << action;
  }
  EXPECT_TRUE(data->journal.empty());
}

TEST_F(SetupScriptTest, OpenCloseAndSetupData) {
  CComPtr<IReleaseSetupData> held;
  EXPECT_EQ(script->get_SetupData(&held), S_OK);
  EXPECT_EQ(held.get(), nullptr);
  const ULONG before = data->RefCount();
  EXPECT_EQ(script->putref_SetupData(data), S_OK);
  EXPECT_EQ(data->RefCount(), before + 1);
  EXPECT_EQ(script->get_SetupData(&held), S_OK);
  EXPECT_EQ(held.get(), static_cast<IReleaseSetupData*>(data.get()));
  held.Release();
  KfxReturnValue ret = KFX_REL_ERROR;
  EXPECT_EQ(script->OpenScript(&ret), S_OK);
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
  ret = KFX_REL_ERROR;
  EXPECT_EQ(script->CloseScript(&ret), S_OK);
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
  EXPECT_EQ(data->RefCount(), before + 1);  // still held after CloseScript
  // Replacing it releases the old one.
  CComPtr<FakeSetupData> other = MakeComObject<FakeSetupData>();
  script->putref_SetupData(other);
  EXPECT_EQ(data->RefCount(), before);
  EXPECT_TRUE(data->journal.empty());
}

TEST_F(SetupScriptTest, RunUIWithoutSetupDataShowsNothing) {
  bool sawWindow = false;
  QTimer::singleShot(200, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      sawWindow = true;
      modal->close();
    }
  });
  KfxReturnValue ret = KFX_REL_ERROR;
  EXPECT_EQ(script->RunUI(&ret), S_OK);
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
  QTest::qWait(250);
  EXPECT_FALSE(sawWindow);
}

// The whole setup of a document class that was never set up, through the sheet as an administrator uses it.
TEST_F(SetupScriptTest, WholeSetupStoresWhatOkWrites) {
  // OK on the mapping page with required columns still unmapped asks first; the administrator ignores it.
  CXTaskDialogAutoAnswer ignoreRequirement(542);
  script->putref_SetupData(data);
  QElapsedTimer opening;
  opening.start();
  const KfxReturnValue ret = RunUI([&](CMFCPropertySheet& sheet) {
    std::printf("the sheet opened in %lld ms\n", static_cast<long long>(opening.elapsed()));
    EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Vantrel Export Connector for InforLX Setup"));
    auto* general = dynamic_cast<CPropertyPageSetupGeneral*>(sheet.GetPage(0));
    auto* mapping = dynamic_cast<CPropertyPageSetupMapping*>(sheet.GetPage(1));
    ASSERT_NE(general, nullptr);
    ASSERT_NE(mapping, nullptr);
    EXPECT_EQ(sheet.GetActivePage(), general);
    EXPECT_EQ(general->GetDlgItemAs<QLabel>(IDC_BATCH_CLASS)->text(), QStringLiteral("Invoices"));
    EXPECT_EQ(general->GetDlgItemAs<QLabel>(IDC_DOCUMENT_CLASS)->text(), QStringLiteral("Supplier Invoice"));

    // General page.
    SetEditText(*general, IDC_INSTANCE_NAME, QStringLiteral("Invoices to LX"));
    SetEditText(*general, IDC_SERVER_NAME, QStringLiteral("IBMI01"));
    SetEditText(*general, IDC_USER_NAME, QStringLiteral("ECMUSER"));
    SetEditText(*general, IDC_PASSWORD, QStringLiteral(" s3cret "));
    SetEditText(*general, IDC_API_LIBRARY, QStringLiteral("ECMLIB"));
    EXPECT_EQ(general->GetDlgItemAs<QLineEdit>(IDC_PASSWORD)->echoMode(), QLineEdit::Password);
    EXPECT_FALSE(general->GetDlgItemAs<QLineEdit>(IDC_PASSWORD)->displayText().contains(QStringLiteral("s3cret")));
    uitest::SaveScreenshot(sheet.grab().toImage(), "setup_general.png");

    // Data Mapping page: every row empty, the eight required names in red.
    QElapsedTimer building;
    building.start();
    QTest::mouseClick(sheet.GetNavigationList()->viewport(), Qt::LeftButton, {},
                      sheet.GetNavigationList()->visualItemRect(sheet.GetNavigationList()->item(1)).center());
    ASSERT_EQ(sheet.GetActivePage(), mapping);
    sheet.grab();
    std::printf("the Data Mapping page with its rows was built and painted in %lld ms\n",
                static_cast<long long>(building.elapsed()));
    int rows = 0, red = 0;
    for (int slot = 0; slot < kCatalogueColumns; ++slot) {
      CMappedProperty* row = mapping->FindRow(slot);
      ASSERT_NE(row, nullptr) << slot;
      ++rows;
      EXPECT_EQ(row->GetValue(), u"") << slot;
      red += row->NameColor() == QColorFromCOLORREF(kRequiredNameColor);
    }
    EXPECT_EQ(rows, 157);
    EXPECT_EQ(red, 8);

    // TPEC.PESID to the index field Vendor, through the mapping menu.
    CMappedProperty* sender = mapping->FindRow(u"TPEC.PESID");
    WithMappingMenu(*mapping, sender, [&](QMenu* menu) {
      EXPECT_EQ(uitest::ActionTexts(menu),
                (QStringList{"Text Constant", "No Mapping", "Document Index Fields", "Kofax Capture Values"}));
      QMenu* fields = uitest::OpenSubmenu(menu, "Document Index Fields");
      ASSERT_NE(fields, nullptr);
      fields->setActiveAction(uitest::FindAction(fields, "Vendor"));
      QTest::qWait(20);
      uitest::SaveScreenshot(uitest::ComposeWindowWithPopups(&sheet, {menu, fields}), "setup_mapping_menu.png");
      QTest::keyClick(fields, Qt::Key_Return);
    });
    EXPECT_EQ(sender->GetValue(), u"Vendor");

    // TPEC.PEPGN to the text constant GRP1: choose "Text Constant", then type into the value cell.
    CMappedProperty* group = mapping->FindRow(u"TPEC.PEPGN");
    ChooseInMappingMenu(*mapping, group, {"Text Constant"});
    EXPECT_TRUE(group->IsAllowEdit());
    TypeIntoRow(*mapping, group, QStringLiteral("GRP1"));
    EXPECT_EQ(group->GetValue(), u"GRP1");
    mapping->GetGrid()->setFocus();
    mapping->GetGrid()->EnsureVisible(mapping->GetGrid()->GetProperty(0));
    mapping->GetGrid()->SetCurSel(sender);
    uitest::SaveScreenshot(sheet.grab().toImage(), "setup_mapping.png");

    QTest::mouseClick(sheet.GetOkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
  ASSERT_EQ(ignoreRequirement.Prompts().size(), 1u);
  EXPECT_EQ(ignoreRequirement.Prompts()[0].title, u"Required field not Mapped");

  std::vector<LinkRecord> expected = {{u"Vendor", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
                                      {u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"}};
  expected.insert(expected.end(), kFixedLinks.begin(), kFixedLinks.end());
  EXPECT_EQ(data->links->links, expected);
  EXPECT_EQ(data->name, u"Invoices to LX");
  EXPECT_EQ(data->connectString, u"IBMI01");
  EXPECT_EQ(data->userName, u"ECMUSER");
  EXPECT_EQ(data->password, u" s3cret ");
  EXPECT_EQ(data->properties->values, (std::map<std::u16string, std::u16string>{{u"serverAPILibrary", u"ECMLIB"}}));
  EXPECT_EQ(data->applyCount, 1);
  // Settings first, in their order, then the links, then Apply.
  EXPECT_EQ(data->Writes(), (Journal{"put Name=Invoices to LX", "put ConnectString=IBMI01", "put UserName=ECMUSER",
                                     "put Password= s3cret ", "CustomProperties.Remove serverAPILibrary",
                                     "CustomProperties.Add serverAPILibrary=ECMLIB", "Links.RemoveAll",
                                     "Links.Add Vendor,0,TPEC.PESID", "Links.Add GRP1,1,TPEC.PEPGN",
                                     "Links.Add OriginalFolder,3,OriginalFolder",
                                     "Links.Add First Page Original File Name,2,OriginalFileName",
                                     "Links.Add OriginalFileNameExt,3,OriginalFileNameExt", "Apply"}));

  // The next run shows what was stored.
  data->journal.clear();
  RunUI([&](CMFCPropertySheet& sheet) {
    auto* general = dynamic_cast<CPropertyPageSetupGeneral*>(sheet.GetPage(0));
    EXPECT_EQ(general->GetDlgItemAs<QLineEdit>(IDC_SERVER_NAME)->text(), QStringLiteral("IBMI01"));
    EXPECT_EQ(general->GetDlgItemAs<QLineEdit>(IDC_API_LIBRARY)->text(), QStringLiteral("ECMLIB"));
    sheet.SetActivePage(1);
    auto* mapping = dynamic_cast<CPropertyPageSetupMapping*>(sheet.GetPage(1));
    EXPECT_EQ(mapping->FindRow(u"TPEC.PESID")->GetValue(), u"Vendor");
    EXPECT_EQ(mapping->FindRow(u"TPEC.PEPGN")->GetValue(), u"GRP1");
    EXPECT_TRUE(mapping->FindRow(u"TPEC.PEPGN")->IsAllowEdit());
    sheet.GetCancelButton()->click();
  });
}

TEST_F(SetupScriptTest, CancelAfterEditsWritesNothing) {
  data->links->links = {{u"Amount", KFX_REL_INDEXFIELD, u"TBHB.BHITT"}};
  data->connectString = u"OLD";
  script->putref_SetupData(data);
  const auto linksBefore = data->links->links;
  const KfxReturnValue ret = RunUI([&](CMFCPropertySheet& sheet) {
    auto* general = dynamic_cast<CPropertyPageSetupGeneral*>(sheet.GetPage(0));
    SetEditText(*general, IDC_SERVER_NAME, QStringLiteral("NEW"));
    sheet.SetActivePage(1);
    auto* mapping = dynamic_cast<CPropertyPageSetupMapping*>(sheet.GetPage(1));
    ChooseInMappingMenu(*mapping, mapping->FindRow(u"TBHB.BHITT"), {"No Mapping"});
    ChooseInMappingMenu(*mapping, mapping->FindRow(u"TPEC.PESID"), {"Document Index Fields", "Vendor"});
    EXPECT_EQ(mapping->FindRow(u"TPEC.PESID")->GetValue(), u"Vendor");
    sheet.GetCancelButton()->click();
  });
  EXPECT_EQ(ret, KFX_REL_SUCCESS);
  EXPECT_EQ(data->Writes(), Journal{});
  EXPECT_EQ(data->applyCount, 0);
  EXPECT_EQ(data->links->links, linksBefore);
  EXPECT_EQ(data->connectString, u"OLD");
}

TEST_F(SetupScriptTest, OkWithoutChangesStillRewritesTheLinksAndApplies) {
  data->links->links = {{u"Amount", KFX_REL_INDEXFIELD, u"TBHB.BHITT"},
                        {u"Lost", KFX_REL_INDEXFIELD, u"NOT.AKEY"},
                        {u"BatchField", KFX_REL_BATCHFIELD, u"TBHB.BHCUR"}};
  script->putref_SetupData(data);
  RunUI([](CMFCPropertySheet& sheet) { sheet.GetOkButton()->click(); });
  // In catalogue order; the link to a column that does not exist is dropped.
  std::vector<LinkRecord> expected = {{u"BatchField", KFX_REL_BATCHFIELD, u"TBHB.BHCUR"},
                                      {u"Amount", KFX_REL_INDEXFIELD, u"TBHB.BHITT"}};
  expected.insert(expected.end(), kFixedLinks.begin(), kFixedLinks.end());
  EXPECT_EQ(data->links->links, expected);
  EXPECT_EQ(data->applyCount, 1);
  // Twice in a row gives the same links, not duplicates.
  RunUI([](CMFCPropertySheet& sheet) { sheet.GetOkButton()->click(); });
  EXPECT_EQ(data->links->links, expected);
  EXPECT_EQ(data->applyCount, 2);
}

TEST_F(SetupScriptTest, OkOnTheMappingPageClosesTheSheet) {
  CXTaskDialogAutoAnswer ignoreRequirement(542);
  script->putref_SetupData(data);
  RunUI([](CMFCPropertySheet& sheet) {
    sheet.SetActivePage(1);
    QTest::mouseClick(sheet.GetOkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(data->applyCount, 1);
}

}  // namespace
