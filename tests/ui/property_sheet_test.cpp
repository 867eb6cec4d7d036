#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

#include "platform/ui/property_sheet.h"
#include "tests/ui/ui_test_support.h"

namespace {

constexpr UINT kEdit = 1001;

ResourceModule MakeModule() {
  ResourceModule m;
  m.name = u"sheet-test";
  for (auto [id, caption] : {std::pair{100u, u"First"}, std::pair{101u, u"Second"}, std::pair{102u, u"Third"}}) {
    m.dialogs[id] = DialogTemplate{caption, 200, 120, u"MS Shell Dlg", 8,
                                   {{kEdit, u"Edit", u"", 10, 10, 100, 13,
                                     WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL}}};
  }
  m.dialogs[103] = DialogTemplate{u"Bigger", 250, 150, u"MS Shell Dlg", 8, m.dialogs[100].items};
  return m;
}

const ResourceModule& Module() {
  static const ResourceModule module = MakeModule();
  return module;
}

// A page that writes down every call the sheet makes.
class JournalPage : public CMFCPropertyPage {
 public:
  JournalPage(UINT id, std::vector<std::string>& journal) : CMFCPropertyPage(id), journal_(journal) {
    name_ = QString::fromStdU16String(GetCaption()).toStdString();
  }
  void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, kEdit, text); }
  bool OnInitDialog() override {
    journal_.push_back("init " + name_);
    return CMFCPropertyPage::OnInitDialog();
  }
  bool OnSetActive() override {
    journal_.push_back("set " + name_);
    return CMFCPropertyPage::OnSetActive();
  }
  bool OnKillActive() override {
    journal_.push_back("kill " + name_);
    if (refuseKill) return false;
    return CMFCPropertyPage::OnKillActive();
  }
  void OnOK() override { journal_.push_back("ok " + name_); }
  bool OnQueryCancel() override {
    journal_.push_back("querycancel " + name_);
    return !refuseCancel;
  }
  void OnCancel() override { journal_.push_back("cancel " + name_); }

  std::u16string text;
  bool refuseKill = false;
  bool refuseCancel = false;

 private:
  std::vector<std::string>& journal_;
  std::string name_;
};

class PropertySheetTest : public ::testing::Test {
 protected:
  void SetUp() override { uitest::App(); }
  AfxModuleStateGuard module_{&Module()};
  std::vector<std::string> journal;
  uitest::Watchdog watchdog_;
};

using Journal = std::vector<std::string>;

TEST_F(PropertySheetTest, ListLookWithPageTitlesAndNoApply) {
  CMFCPropertySheet sheet(u"Caption of the sheet");
  sheet.m_psh.dwFlags |= PSH_NOAPPLYNOW;
  sheet.SetLook(CMFCPropertySheet::PropSheetLook_List, 100);
  JournalPage first(100, journal), second(101, journal);
  sheet.AddPage(&first);
  sheet.AddPage(&second);
  int shown = 0;
  uitest::WhenModal([&](QWidget* w) {
    ++shown;
    EXPECT_EQ(w, &sheet);
    EXPECT_EQ(sheet.windowTitle(), QStringLiteral("Caption of the sheet"));
    EXPECT_EQ(sheet.GetNavigationList()->width(), 100);
    ASSERT_EQ(sheet.GetNavigationList()->count(), 2);
    EXPECT_EQ(sheet.GetNavigationList()->item(0)->text(), QStringLiteral("First"));
    EXPECT_EQ(sheet.GetNavigationList()->item(1)->text(), QStringLiteral("Second"));
    EXPECT_EQ(sheet.GetNavigationList()->currentRow(), 0);
    EXPECT_TRUE(sheet.GetOkButton()->isVisible());
    EXPECT_TRUE(sheet.GetCancelButton()->isVisible());
    EXPECT_FALSE(sheet.GetApplyButton()->isVisible());
    EXPECT_EQ(sheet.GetOkButton()->text(), QStringLiteral("OK"));
    EXPECT_EQ(sheet.GetCancelButton()->text(), QStringLiteral("Cancel"));
    // The page stands right of the list, the buttons below it, right-aligned, OK before Cancel.
    const QRect page = sheet.GetPageArea()->geometry();
    EXPECT_GT(page.left(), sheet.GetNavigationList()->geometry().right());
    EXPECT_EQ(page.size(), first.GetTemplateSize());
    EXPECT_GT(sheet.GetOkButton()->geometry().top(), page.bottom());
    EXPECT_LT(sheet.GetOkButton()->geometry().right(), sheet.GetCancelButton()->geometry().left());
    EXPECT_TRUE(first.isVisible());
    EXPECT_FALSE(second.IsCreated());
    // The window becomes active asynchronously; the first control has the focus once it is.
    (void)QTest::qWaitFor([&] { return QApplication::focusWidget() == first.GetDlgItem(kEdit); }, 2000);
    EXPECT_EQ(QApplication::focusWidget(), first.GetDlgItem(kEdit));
    sheet.GetCancelButton()->click();
  });
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
  EXPECT_EQ(shown, 1);
}

TEST_F(PropertySheetTest, PagesAreCreatedWhenFirstShownAndActivatedEachTime) {
  CMFCPropertySheet sheet(u"Sheet");
  JournalPage first(100, journal), second(101, journal), third(102, journal);
  sheet.AddPage(&first);
  sheet.AddPage(&second);
  sheet.AddPage(&third);
  uitest::WhenModal([&](QWidget*) {
    EXPECT_EQ(journal, (Journal{"init First", "set First"}));
    journal.clear();
    sheet.GetNavigationList()->setCurrentRow(1);
    EXPECT_EQ(journal, (Journal{"kill First", "init Second", "set Second"}));
    EXPECT_EQ(sheet.GetActivePage(), &second);
    EXPECT_TRUE(second.isVisible());
    EXPECT_FALSE(first.isVisible());
    journal.clear();
    sheet.GetNavigationList()->setCurrentRow(0);
    EXPECT_EQ(journal, (Journal{"kill Second", "set First"}));
    sheet.GetCancelButton()->click();
  });
  sheet.DoModal();
}

TEST_F(PropertySheetTest, MembersSurviveMovingBetweenPages) {
  CMFCPropertySheet sheet(u"Sheet");
  JournalPage first(100, journal), second(101, journal);
  first.text = u"start";
  sheet.AddPage(&first);
  sheet.AddPage(&second);
  uitest::WhenModal([&](QWidget*) {
    auto* edit = first.GetDlgItemAs<QLineEdit>(kEdit);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(edit->text(), QStringLiteral("start"));
    edit->setText(QStringLiteral("typed"));
    sheet.SetActivePage(1);
    EXPECT_EQ(first.text, u"typed");
    sheet.SetActivePage(0);
    EXPECT_EQ(edit->text(), QStringLiteral("typed"));
    sheet.GetCancelButton()->click();
  });
  sheet.DoModal();
}

TEST_F(PropertySheetTest, RefusedDeactivationKeepsThePageAndTheSheetOpen) {
  CMFCPropertySheet sheet(u"Sheet");
  JournalPage first(100, journal), second(101, journal);
  sheet.AddPage(&first);
  sheet.AddPage(&second);
  uitest::WhenModal([&](QWidget*) {
    sheet.SetActivePage(1);
    second.refuseKill = true;
    journal.clear();
    // Choosing the other page in the list.
    sheet.GetNavigationList()->setCurrentRow(0);
    EXPECT_EQ(journal, (Journal{"kill Second"}));
    EXPECT_EQ(sheet.GetActivePage(), &second);
    EXPECT_EQ(sheet.GetNavigationList()->currentRow(), 1);
    // OK while that page is current.
    journal.clear();
    QTest::mouseClick(sheet.GetOkButton(), Qt::LeftButton);
    EXPECT_EQ(journal, (Journal{"kill Second"}));
    EXPECT_TRUE(sheet.isVisible());
    // Once it lets go, OK closes the sheet.
    second.refuseKill = false;
    journal.clear();
    QTest::mouseClick(sheet.GetOkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(journal, (Journal{"kill Second", "ok First", "ok Second"}));
}

TEST_F(PropertySheetTest, OkDeactivatesOnlyTheCurrentPageAndAppliesShownPages) {
  CMFCPropertySheet sheet(u"Sheet");
  JournalPage first(100, journal), second(101, journal), third(102, journal);
  second.refuseKill = true;  // never current when OK is pressed: never asked
  sheet.AddPage(&first);
  sheet.AddPage(&second);
  sheet.AddPage(&third);
  uitest::WhenModal([&](QWidget*) {
    journal.clear();
    QTest::keyClick(&sheet, Qt::Key_Return);  // the default button
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(journal, (Journal{"kill First", "ok First"}));
}

TEST_F(PropertySheetTest, CancelEscapeAndCloseRunTheCancelPath) {
  for (int how = 0; how < 3; ++how) {
    journal.clear();
    CMFCPropertySheet sheet(u"Sheet");
    JournalPage first(100, journal), second(101, journal);
    sheet.AddPage(&first);
    sheet.AddPage(&second);
    uitest::WhenModal([&](QWidget*) {
      sheet.SetActivePage(1);
      journal.clear();
      if (how == 0) sheet.GetCancelButton()->click();
      if (how == 1) QTest::keyClick(&sheet, Qt::Key_Escape);
      if (how == 2) sheet.close();
    });
    EXPECT_EQ(sheet.DoModal(), IDCANCEL) << how;
    EXPECT_EQ(journal, (Journal{"querycancel Second", "cancel First", "cancel Second"})) << how;
  }
}

TEST_F(PropertySheetTest, ARefusedCancelKeepsTheSheetOpen) {
  CMFCPropertySheet sheet(u"Sheet");
  JournalPage first(100, journal);
  first.refuseCancel = true;
  sheet.AddPage(&first);
  uitest::WhenModal([&](QWidget*) {
    sheet.GetCancelButton()->click();
    EXPECT_TRUE(sheet.isVisible());
    first.refuseCancel = false;
    sheet.GetCancelButton()->click();
  });
  EXPECT_EQ(sheet.DoModal(), IDCANCEL);
}

TEST_F(PropertySheetTest, StartPageAndLargestPageSize) {
  CMFCPropertySheet sheet(u"Sheet", nullptr, 1);
  JournalPage first(100, journal), bigger(103, journal);
  sheet.AddPage(&first);
  sheet.AddPage(&bigger);
  uitest::WhenModal([&](QWidget*) {
    EXPECT_EQ(sheet.GetActivePage(), &bigger);
    EXPECT_FALSE(first.IsCreated());
    EXPECT_EQ(sheet.GetPageArea()->size(), bigger.GetTemplateSize());
    sheet.PressButton(PSBTN_OK);
  });
  EXPECT_EQ(sheet.DoModal(), IDOK);
  EXPECT_EQ(journal, (Journal{"init Bigger", "set Bigger", "kill Bigger", "ok Bigger"}));
}

TEST_F(PropertySheetTest, ApplyButtonShowsWithoutTheFlagAndAppliesWithoutClosing) {
  CMFCPropertySheet sheet(u"Sheet");
  JournalPage first(100, journal);
  sheet.AddPage(&first);
  uitest::WhenModal([&](QWidget*) {
    EXPECT_TRUE(sheet.GetApplyButton()->isVisible());
    EXPECT_FALSE(sheet.GetApplyButton()->isEnabled());
    first.SetModified();
    EXPECT_TRUE(sheet.GetApplyButton()->isEnabled());
    journal.clear();
    sheet.GetApplyButton()->click();
    EXPECT_EQ(journal, (Journal{"kill First", "ok First"}));
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_FALSE(sheet.GetApplyButton()->isEnabled());
    sheet.GetCancelButton()->click();
  });
  sheet.DoModal();
}

TEST_F(PropertySheetTest, PagesOutliveOrPredeceaseTheSheet) {
  auto page = std::make_unique<JournalPage>(100, journal);
  {
    CMFCPropertySheet sheet(u"Sheet");
    auto gone = std::make_unique<JournalPage>(101, journal);
    sheet.AddPage(page.get());
    sheet.AddPage(gone.get());
    uitest::WhenModal([&](QWidget*) { sheet.GetCancelButton()->click(); });
    sheet.DoModal();
    gone.reset();  // destroyed first: the sheet forgets it
    EXPECT_EQ(sheet.GetPage(1), nullptr);
  }
  // The sheet is gone; the page is still ours and whole.
  EXPECT_EQ(page->parent(), nullptr);
  EXPECT_NE(page->GetDlgItem(kEdit), nullptr);
}

}  // namespace
