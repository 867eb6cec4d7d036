// A setup sheet built the way the setup script builds it, over an in-memory document class, plus helpers
// for driving its pages.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <memory>

#include "platform/ui/property_sheet.h"
#include "resources/qorvena_resources.h"
#include "setup/DodoSetupScript.h"
#include "setup/PropertyPageSetupGeneral.h"
#include "setup/PropertyPageSetupMapping.h"
#include "taskdialog/XTaskDialogTesting.h"
#include "tests/setup/fake_host.h"
#include "tests/ui/ui_test_support.h"

namespace setuptest {

using fakehost::FakeSetupData;
using fakehost::Journal;
using fakehost::LinkRecord;
using fakehost::Narrow;

// The setup script as the module's object wrappers offer it; enough COM for direct calls.
class TestSetupScript final : public ComObject<NoDispatch<DodoSetupScript>> {};

inline CComPtr<FakeSetupData> NewClass() {
  CComPtr<FakeSetupData> data = MakeComObject<FakeSetupData>();
  data->indexFields->names = {u"Vendor", u"Amount", u"InvoiceNo", u"InvoiceDate"};
  data->SetValueNames({u"Batch Name", u"Document ID", u"First Page Original File Name"});
  return data;
}

inline int CountInk(const QImage& image, const QRect& rect, bool (*test)(QRgb)) {
  int count = 0;
  for (int y = std::max(0, rect.top()); y <= std::min(image.height() - 1, rect.bottom()); ++y) {
    for (int x = std::max(0, rect.left()); x <= std::min(image.width() - 1, rect.right()); ++x) {
      count += test(image.pixel(x, y));
    }
  }
  return count;
}
inline bool IsRedInk(QRgb c) { return qRed(c) > 150 && qGreen(c) < 80 && qBlue(c) < 80; }
inline bool IsDarkInk(QRgb c) { return qGray(c) < 100; }

// Opens the row's mapping menu with a click on its button and hands the open menu to `inMenu`; returns
// once the menu has closed.
inline void WithMappingMenu(CPropertyPageSetupMapping& page, CMappedProperty* row,
                            std::function<void(QMenu*)> inMenu) {
  ASSERT_NE(row, nullptr);
  page.GetGrid()->EnsureVisible(row, true);
  uitest::WhenPopup(std::move(inMenu));
  QTest::mouseClick(page.GetGrid(), Qt::LeftButton, {}, row->GetButtonRect().center());
}

inline void ChooseInMappingMenu(CPropertyPageSetupMapping& page, CMappedProperty* row, const QStringList& path) {
  WithMappingMenu(page, row, [path](QMenu* menu) { EXPECT_TRUE(uitest::ChooseMenuPath(menu, path)) << path.join(">").toStdString(); });
}

// Types into a row's value cell through the in-place editor and leaves it with Return.
inline void TypeIntoRow(CPropertyPageSetupMapping& page, CMappedProperty* row, const QString& text) {
  CMFCPropertyGridCtrl* grid = page.GetGrid();
  grid->EnsureVisible(row, true);
  QTest::mouseClick(grid, Qt::LeftButton, {}, row->GetValueRect().topLeft() + QPoint(6, row->GetValueRect().height() / 2));
  QLineEdit* edit = grid->GetInPlaceEdit();
  ASSERT_NE(edit, nullptr) << "the value cell did not open for editing";
  QTest::keyClicks(edit, text);
  QTest::keyClick(edit, Qt::Key_Return);
}

inline void SetEditText(CMFCPropertyPage& page, UINT id, const QString& text) {
  auto* edit = page.GetDlgItemAs<QLineEdit>(id);
  ASSERT_NE(edit, nullptr) << id;
  edit->selectAll();
  QTest::keyClicks(edit, text);
}

// The sheet of one setup run, made as the setup script makes it.
class SheetFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::App();
    data = NewClass();
  }

  // Builds model, sheet and pages over `data` and runs the sheet with `driver` once it is open.
  int RunSheet(std::function<void()> driver) {
    Reset();  // a second run in one test starts from nothing, as the setup script does
    model = std::make_unique<CMappingModel>(data.get());
    model->BuildCatalogue();
    model->LoadLinks();
    model->LoadValueNames();
    sheet = std::make_unique<CMFCPropertySheet>(LoadStringOrMissing(nullptr, IDS_SHEET_CAPTION));
    sheet->m_psh.dwFlags |= PSH_NOAPPLYNOW;
    sheet->SetLook(CMFCPropertySheet::PropSheetLook_List, 100);
    general = std::make_unique<CPropertyPageSetupGeneral>();
    general->SetModel(model.get());
    if (versionReader) general->SetVersionReader(versionReader);
    sheet->AddPage(general.get());
    mapping = std::make_unique<CPropertyPageSetupMapping>();
    mapping->SetModel(model.get());
    if (leaveCheck) mapping->SetLeaveCheck(leaveCheck);
    sheet->AddPage(mapping.get());
    uitest::WhenModal([driver](QWidget*) { driver(); });
    return sheet->DoModal();
  }

  void TearDown() override { Reset(); }

  // Pages first: their rows point into the model, and the sheet points at the pages.
  void Reset() {
    mapping.reset();
    general.reset();
    model.reset();
    sheet.reset();
  }

  void ShowMappingPage() {
    ASSERT_TRUE(sheet->SetActivePage(1));
    QApplication::processEvents();
  }
  CMappedProperty* Row(std::u16string_view key) { return mapping->FindRow(key); }

  AfxModuleStateGuard module_{QorvenaResources()};
  uitest::Watchdog watchdog_;
  CComPtr<FakeSetupData> data;
  std::unique_ptr<CMFCPropertySheet> sheet;
  std::unique_ptr<CMappingModel> model;
  std::unique_ptr<CPropertyPageSetupGeneral> general;
  std::unique_ptr<CPropertyPageSetupMapping> mapping;
  CPropertyPageSetupGeneral::VersionReader versionReader;
  CPropertyPageSetupMapping::LeaveCheck leaveCheck;
};

}  // namespace setuptest
