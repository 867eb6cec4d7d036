#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>

#include "platform/ui/data_exchange.h"
#include "platform/ui/dialog_builder.h"
#include "resources/qorvena_resources.h"
#include "tests/ui/ui_test_support.h"

namespace {

class DialogBuilderTest : public ::testing::Test {
 protected:
  void SetUp() override { uitest::App(); }
};

TEST(MulDivTest, RoundsHalfAwayFromZero) {
  struct Case {
    int a, b, c, expected;
  } const cases[] = {
      {350, 7, 4, 613}, {242, 13, 8, 393}, {2, 7, 4, 4}, {2, 13, 8, 3}, {10, 1, 4, 3}, {-10, 1, 4, -3},
      {-2, 7, 4, -4},   {9, 1, -2, -5},    {8, 96, 72, 11}, {5, 3, 0, -1}, {0, 7, 4, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(MulDiv(c.a, c.b, c.c), c.expected) << c.a << "*" << c.b << "/" << c.c;
}

TEST_F(DialogBuilderTest, ShellDialogFontBecomesTheSansFontAtItsPixelSize) {
  const QFont font = DialogFont(u"MS Shell Dlg", 8);
  EXPECT_EQ(font.pixelSize(), 11);
  EXPECT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans"));
  const DialogBaseUnits units = GetDialogBaseUnits(font);
  // Measured the way the platform does it: (width of A-Z a-z / 26 + 1) / 2, and the font's height.
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  EXPECT_EQ(units.cx, (width / 26 + 1) / 2);
  EXPECT_EQ(units.cy, metrics.height());
  EXPECT_EQ(units.cx, 7);
  EXPECT_EQ(units.cy, 13);
}

TEST_F(DialogBuilderTest, MapsEachEdgeOnItsOwn) {
  const DialogBaseUnits units{7, 13};
  // The grid frame of the Data Mapping page: 2,2 346x225.
  EXPECT_EQ(MapDialogRect(QRect(2, 2, 346, 225), units), QRect(4, 3, 605, 366));
  EXPECT_EQ(MapDialogRect(QRect(0, 0, 350, 242), units), QRect(0, 0, 613, 393));
}

TEST_F(DialogBuilderTest, BuildsEveryControlOfTheGeneralLayout) {
  const DialogTemplate* layout = FindDialogResource(QorvenaResources(), IDD_SETUP_GENERAL);
  ASSERT_NE(layout, nullptr);
  QWidget page;
  const DialogBaseUnits units = GetDialogBaseUnits(DialogFont(*layout));
  page.setFont(DialogFont(*layout));
  page.resize(MapDialogRect(QRect(0, 0, layout->cx, layout->cy), units).size());
  const std::vector<QWidget*> widgets = CreateDialogControls(*layout, &page, units, nullptr);
  ASSERT_EQ(widgets.size(), layout->items.size());
  for (size_t i = 0; i < widgets.size(); ++i) {
    const DialogItemTemplate& item = layout->items[i];
    EXPECT_EQ(GetDlgItemId(widgets[i]), item.id);
    EXPECT_EQ(widgets[i]->geometry(), MapDialogRect(QRect(item.x, item.y, item.cx, item.cy), units)) << item.id;
    EXPECT_EQ(widgets[i]->isVisibleTo(&page), (item.style & WS_VISIBLE) != 0) << item.id;
  }
  auto* password = qobject_cast<QLineEdit*>(FindDlgItem(&page, IDC_PASSWORD));
  ASSERT_NE(password, nullptr);
  EXPECT_EQ(password->echoMode(), QLineEdit::Password);
  EXPECT_EQ(qobject_cast<QLineEdit*>(FindDlgItem(&page, IDC_INSTANCE_NAME))->echoMode(), QLineEdit::Normal);
  EXPECT_EQ(qobject_cast<QLabel*>(FindDlgItem(&page, 11006))->text(), QStringLiteral("Export Connector Instance Name:"));
  EXPECT_FALSE(FindDlgItem(&page, IDC_VERSION)->isVisibleTo(&page));
  EXPECT_FALSE(FindDlgItem(&page, IDC_VERSION_LABEL)->isVisibleTo(&page));
  QGroupBox* group = nullptr;
  for (QWidget* w : widgets) {
    if (auto* g = qobject_cast<QGroupBox*>(w)) group = g;
  }
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->title(), QStringLiteral("InforLX Server Details"));

  // The group box lies below the edit boxes it frames, so they get the clicks.
  for (UINT id : {IDC_SERVER_NAME, IDC_USER_NAME, IDC_PASSWORD, IDC_API_LIBRARY}) {
    QWidget* edit = FindDlgItem(&page, id);
    EXPECT_EQ(page.childAt(edit->geometry().center()), edit) << id;
  }
  // Tab order: the five edit boxes in layout order.
  QWidget* w = FindDlgItem(&page, IDC_INSTANCE_NAME);
  for (UINT next : {IDC_SERVER_NAME, IDC_USER_NAME, IDC_PASSWORD, IDC_API_LIBRARY}) {
    w = w->nextInFocusChain();
    while (w->focusPolicy() == Qt::NoFocus) w = w->nextInFocusChain();
    EXPECT_EQ(GetDlgItemId(w), next);
  }
  // Every label's text fits its box in the dialog font.
  for (QWidget* widget : widgets) {
    if (auto* label = qobject_cast<QLabel*>(widget); label && !label->text().isEmpty()) {
      EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << label->text().toStdString();
    }
  }
}

TEST_F(DialogBuilderTest, StringsComeFromTheCurrentModule) {
  EXPECT_EQ(LoadStringOrMissing(QorvenaResources(), IDS_SHEET_CAPTION), u"Vantrel Export Connector for InforLX Setup");
  EXPECT_EQ(LoadStringOrMissing(QorvenaResources(), 4711), u"???");
  // The host's own module has none of the connector's resources.
  EXPECT_EQ(LoadStringOrMissing(nullptr, IDS_SHEET_CAPTION), u"???");
  EXPECT_EQ(FindDialogResource(nullptr, IDD_SETUP_GENERAL), nullptr);
  {
    AfxModuleStateGuard state(QorvenaResources());
    EXPECT_EQ(LoadStringOrMissing(nullptr, IDS_SHEET_CAPTION), u"Vantrel Export Connector for InforLX Setup");
    EXPECT_NE(FindDialogResource(nullptr, IDD_SETUP_MAPPING), nullptr);
  }
  EXPECT_EQ(LoadStringOrMissing(nullptr, IDS_SHEET_CAPTION), u"???");
}

TEST_F(DialogBuilderTest, ReportsButtonClicksAsCommands) {
  DialogTemplate layout{u"Test", 100, 50, u"MS Shell Dlg", 8,
                        {{501, u"Button", u"Check", 5, 5, 60, 10, WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX | WS_TABSTOP},
                         {502, u"Button", u"Push", 5, 20, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP}}};
  QWidget page;
  std::vector<UINT> commands;
  CreateDialogControls(layout, &page, DialogBaseUnits{7, 13}, [&](UINT id) { commands.push_back(id); });
  qobject_cast<QAbstractButton*>(FindDlgItem(&page, 501))->click();
  qobject_cast<QAbstractButton*>(FindDlgItem(&page, 502))->click();
  EXPECT_EQ(commands, (std::vector<UINT>{501, 502}));
  EXPECT_TRUE(qobject_cast<QCheckBox*>(FindDlgItem(&page, 501))->isChecked());
}

TEST_F(DialogBuilderTest, ExchangesDataBothWays) {
  DialogTemplate layout{u"Test", 100, 50, u"MS Shell Dlg", 8,
                        {{601, u"Edit", u"", 5, 5, 60, 13, WS_CHILD | WS_VISIBLE | WS_BORDER},
                         {602, u"Static", u"label", 5, 20, 60, 8, WS_CHILD | WS_VISIBLE},
                         {603, u"Button", u"Check", 5, 30, 60, 10, WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX}}};
  QWidget page;
  CreateDialogControls(layout, &page, DialogBaseUnits{7, 13}, nullptr);
  std::u16string edit = u"  typed text ", label = u"shown";
  bool check = true;
  {
    CDataExchange dx(&page, false);
    DDX_Text(&dx, 601, edit);
    DDX_Text(&dx, 602, label);
    DDX_Check(&dx, 603, check);
  }
  EXPECT_EQ(qobject_cast<QLineEdit*>(FindDlgItem(&page, 601))->text(), QStringLiteral("  typed text "));
  EXPECT_EQ(qobject_cast<QLabel*>(FindDlgItem(&page, 602))->text(), QStringLiteral("shown"));
  EXPECT_TRUE(qobject_cast<QCheckBox*>(FindDlgItem(&page, 603))->isChecked());

  qobject_cast<QLineEdit*>(FindDlgItem(&page, 601))->setText(QStringLiteral("changed"));
  qobject_cast<QCheckBox*>(FindDlgItem(&page, 603))->setChecked(false);
  {
    CDataExchange dx(&page, true);
    DDX_Text(&dx, 601, edit);
    DDX_Check(&dx, 603, check);
  }
  EXPECT_EQ(edit, u"changed");
  EXPECT_FALSE(check);

  // A control that does not exist stops the exchange.
  CDataExchange dx(&page, true);
  std::u16string missing;
  EXPECT_THROW(DDX_Text(&dx, 999, missing), CUserException);
}

}  // namespace
