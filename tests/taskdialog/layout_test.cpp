// Layout of the emulated task dialog, measured with a deterministic measurer: characters are half the font
// height wide (normal font 6, large 9 pixels), lines the height plus 3 (15 and 21 pixels).
#include <gtest/gtest.h>

#include "test_support.h"

using namespace tdtest;

namespace {

class LayoutTest : public ::testing::Test {
 protected:
  LayoutTest() { layout.SetEnvironment(&measurer, &metrics); }

  HRESULT Build(const TASKDIALOGCONFIG& config, bool mainIcon = false, bool footerIcon = false) {
    config_ = config;
    layout.m_pConfig = &config_;
    HRESULT hr = layout.LoadTexts();
    if (FAILED(hr)) return hr;
    layout.m_bHasMainIcon = mainIcon;
    layout.m_bHasFooterIcon = footerIcon;
    return layout.BuildLayout();
  }

  const TaskDialogItem* Item(int id) const {
    for (const TaskDialogItem& item : layout.m_items)
      if (item.id == id) return &item;
    return nullptr;
  }
  std::vector<int> Ids() const {
    std::vector<int> ids;
    for (const TaskDialogItem& item : layout.m_items) ids.push_back(item.id);
    return ids;
  }

  FakeMeasurer measurer;
  FakeMetrics metrics;
  CXTaskDialogLayout layout;
  TASKDIALOGCONFIG config_{};
};

struct ExpectedItem {
  int id;
  int kind;
  const char16_t* windowClass;
  DWORD style;
  TaskDialogRect pixels;
  SHORT x, y, cx, cy;
};

void ExpectItem(const TaskDialogItem* item, const ExpectedItem& e) {
  ASSERT_NE(item, nullptr) << "id " << e.id;
  SCOPED_TRACE(e.id);
  EXPECT_EQ(item->kind, e.kind);
  EXPECT_EQ(item->windowClass, e.windowClass);
  EXPECT_EQ(item->style, e.style);
  EXPECT_EQ(item->exStyle, 0u);
  EXPECT_EQ(item->pixels, e.pixels);
  EXPECT_EQ(item->x, e.x);
  EXPECT_EQ(item->y, e.y);
  EXPECT_EQ(item->cx, e.cx);
  EXPECT_EQ(item->cy, e.cy);
}

TEST_F(LayoutTest, RequiredFieldPromptHasNoBandAndStacksTheLinksUnderTheInstruction) {
  RequiredTexts texts;
  TASKDIALOG_BUTTON buttons[2];
  ASSERT_EQ(Build(RequiredPrompt(texts, buttons), /*mainIcon=*/true), S_OK);

  // Instruction wraps at v = 436 (the widest note plus the glyph column) into two lines of 21 + 1.
  EXPECT_EQ(layout.m_nPreferredWidth, 480);
  EXPECT_EQ(layout.m_nContentWidth, 436);
  const ExpectedItem expected[] = {
      {543, TDLG_KIND_STATIC, u"Static", 0x50000000, {10, 14, 42, 46}, 5, 7, 16, 16},
      {544, TDLG_KIND_STATIC, u"Static", 0x50000000, {52, 10, 488, 53}, 26, 5, 218, 22},
      {541, TDLG_KIND_BUTTON, u"Button", 0x5001014B, {52, 63, 488, 139}, 26, 31, 218, 38},
      {542, TDLG_KIND_BUTTON, u"Button", 0x5001014B, {52, 139, 488, 200}, 26, 69, 218, 31},
  };
  ASSERT_EQ(Ids(), (std::vector<int>{543, 544, 541, 542}));
  for (const ExpectedItem& e : expected) ExpectItem(Item(e.id), e);
  EXPECT_EQ(Item(544)->text, texts.instruction);
  EXPECT_EQ(Item(541)->text, texts.first);
  EXPECT_EQ(Item(542)->text, texts.second);

  EXPECT_EQ(layout.m_nSeparator1, -1);
  EXPECT_EQ(layout.m_nSeparator2, -1);
  EXPECT_EQ(layout.m_nSeparator3, -1);
  EXPECT_EQ(layout.m_nDefaultButtonId, 541);
  EXPECT_EQ(layout.m_nMainIconId, 543);
  EXPECT_EQ(layout.m_nMainInstructionId, 544);
  for (int id : {layout.m_nContentId, layout.m_nExpandedInfoId, layout.m_nProgressBarId, layout.m_nExpandoButtonId,
                 layout.m_nVerificationId, layout.m_nFooterIconId, layout.m_nFooterTextId})
    EXPECT_EQ(id, -1);
  EXPECT_EQ(layout.m_nClientWidth, 498);
  EXPECT_EQ(layout.m_nClientHeight, 225);
  EXPECT_EQ(layout.m_header.style, 0x90C00080u);
  EXPECT_EQ(layout.m_header.exStyle, 0u);
  EXPECT_EQ(layout.m_header.cdit, 4);
  EXPECT_EQ(layout.m_header.cx, 249);
  EXPECT_EQ(layout.m_header.cy, 113);

  // The relations the prompt is drawn with, whatever the font.
  const TaskDialogRect instruction = Item(544)->pixels, first = Item(541)->pixels, second = Item(542)->pixels;
  EXPECT_EQ(first.top - instruction.bottom, 10);
  EXPECT_EQ(second.top, first.bottom);
  EXPECT_EQ(first.left, 52);
  EXPECT_EQ(second.left, 52);
  EXPECT_EQ(layout.m_nClientHeight - second.bottom, 25);
  EXPECT_EQ(measurer.opens, 1);
  EXPECT_EQ(measurer.closes, 1);
}

TEST_F(LayoutTest, ControlsComeBackFromDialogUnitsNoSmallerThanLaidOut) {
  RequiredTexts texts;
  TASKDIALOG_BUTTON buttons[2];
  for (TextExtent units : {TextExtent{8, 16}, TextExtent{7, 15}, TextExtent{9, 18}}) {
    SCOPED_TRACE(units.cx);
    metrics.baseUnits = units;
    ASSERT_EQ(Build(RequiredPrompt(texts, buttons), true), S_OK);
    for (const TaskDialogItem& item : layout.m_items) {
      SCOPED_TRACE(item.id);
      const int left = item.x * units.cx / 4, top = item.y * units.cy / 8;
      const int width = (item.cx * units.cx + 2) / 4, height = (item.cy * units.cy + 4) / 8;
      EXPECT_GE(width, item.pixels.Width());
      EXPECT_GE(height, item.pixels.Height());
      EXPECT_LE(item.pixels.left - left, units.cx / 4 + 1);
      EXPECT_LE(item.pixels.top - top, units.cy / 8 + 1);
    }
    EXPECT_GE((layout.m_header.cy * units.cy + 4) / 8, layout.m_nClientHeight);
  }
}

TEST_F(LayoutTest, APromptWithoutButtonsGetsADefaultOk) {
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszWindowTitle = u"T";
  c.pszMainInstruction = u"Hi";
  ASSERT_EQ(Build(c), S_OK);
  ASSERT_EQ(Ids(), (std::vector<int>{2, 1}));
  ExpectItem(Item(2), {2, TDLG_KIND_STATIC, u"Static", 0x50000000, {10, 10, 29, 32}, 5, 5, 10, 11});
  ExpectItem(Item(1), {1, TDLG_KIND_BUTTON, u"Button", 0x50030001, {10, 52, 54, 77}, 5, 26, 22, 13});
  EXPECT_EQ(Item(1)->text, u"OK");
  EXPECT_EQ(layout.m_nDefaultButtonId, 1);
  EXPECT_EQ(layout.m_nSeparator1, 42);
  EXPECT_EQ(layout.m_nClientWidth, 64);
  EXPECT_EQ(layout.m_nClientHeight, 87);
}

struct DefaultCase {
  const char* name;
  int defaultButton;
  int common;
  bool custom;
  std::vector<int> ids;
  int expectedDefault;
};

class DefaultButtonTest : public LayoutTest, public ::testing::WithParamInterface<DefaultCase> {};

TEST_P(DefaultButtonTest, TheDefaultIsTheNamedButtonOrTheFirstInCreationOrder) {
  const DefaultCase& p = GetParam();
  const TASKDIALOG_BUTTON custom[] = {{100, u"Custom"}};
  TASKDIALOGCONFIG c = EmptyConfig();
  c.dwCommonButtons = p.common;
  c.nDefaultButton = p.defaultButton;
  if (p.custom) {
    c.pButtons = custom;
    c.cButtons = 1;
  }
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(Ids(), p.ids);
  EXPECT_EQ(layout.m_nDefaultButtonId, p.expectedDefault);
  for (const TaskDialogItem& item : layout.m_items) {
    SCOPED_TRACE(item.id);
    EXPECT_EQ((item.style & BS_DEFPUSHBUTTON) != 0, item.id == p.expectedDefault);
    // Common buttons start a group; custom push buttons do not.
    EXPECT_EQ((item.style & WS_GROUP) != 0, item.id != 100);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DefaultButtonTest,
    ::testing::Values(DefaultCase{"CustomBeforeCommon", 0, TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON, true, {100, 1, 2}, 100},
                      DefaultCase{"NamedCancel", 2, TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON, true, {100, 1, 2}, 2},
                      DefaultCase{"YesBeforeNo", 0, TDCBF_NO_BUTTON | TDCBF_YES_BUTTON, false, {6, 7}, 6},
                      DefaultCase{"RetryBeforeCancelInTableOrder", 0,
                                  TDCBF_CANCEL_BUTTON | TDCBF_RETRY_BUTTON | TDCBF_OK_BUTTON | TDCBF_CLOSE_BUTTON,
                                  false, {1, 4, 2, 8}, 1},
                      DefaultCase{"NamedButtonMissing", 99, TDCBF_OK_BUTTON, false, {1}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LayoutTest, ButtonRowIsRightAlignedWithEqualButtons) {
  const TASKDIALOG_BUTTON custom[] = {{100, u"Custom"}};
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszMainInstruction = u"A question that is a good deal longer than the buttons";
  c.pButtons = custom;
  c.cButtons = 1;
  c.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON;
  ASSERT_EQ(Build(c), S_OK);
  // Widest caption "Custom" (36) + 32 = 68; height 15 + 10.
  const int D = layout.m_nClientWidth;
  const int r = 3 * (68 + 8) - 8;
  int left = D - 10 - r;
  for (int id : {100, 1, 2}) {
    SCOPED_TRACE(id);
    const TaskDialogRect rc = Item(id)->pixels;
    EXPECT_EQ(rc.left, left);
    EXPECT_EQ(rc.Width(), 68);
    EXPECT_EQ(rc.Height(), 25);
    EXPECT_EQ(rc.top, layout.m_nSeparator1 + 10);
    left += 68 + 8;
  }
  EXPECT_EQ(layout.m_nClientHeight, Item(1)->pixels.bottom + 5 + 5);
}

struct WidthCase {
  const char* name;
  UINT cxWidth;
  int baseUnit;
  int monitor;
  int screen;
  int expected;
};

class PreferredWidthTest : public LayoutTest, public ::testing::WithParamInterface<WidthCase> {};

TEST_P(PreferredWidthTest, WidthComesFromTheRecordOrTheMonitor) {
  const WidthCase& p = GetParam();
  metrics.baseUnits = {p.baseUnit, 16};
  metrics.monitorWidth = p.monitor;
  metrics.screenWidth = p.screen;
  TASKDIALOGCONFIG c = EmptyConfig();
  c.cxWidth = p.cxWidth;
  c.pszMainInstruction = u"x";
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_nPreferredWidth, p.expected);
  EXPECT_EQ(layout.m_nTextWidth, p.expected - 20);
}

INSTANTIATE_TEST_SUITE_P(Cases, PreferredWidthTest,
                         ::testing::Values(WidthCase{"Given200At8", 200, 8, 800, 1000, 200},
                                           WidthCase{"Given200At6", 200, 6, 800, 1000, 150},
                                           WidthCase{"HalfTheMonitor", 0, 8, 800, 1000, 480},
                                           WidthCase{"HalfTheScreenWithoutMonitor", 0, 8, 0, 1000, 580}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LayoutTest, TheMonitorIsTheOwnersAndTheIconTakesRoomFromTheText) {
  QWidget owner;
  TASKDIALOGCONFIG c = EmptyConfig();
  c.hwndParent = &owner;
  c.pszMainInstruction = u"x";
  ASSERT_EQ(Build(c, /*mainIcon=*/true), S_OK);
  EXPECT_EQ(metrics.askedFor, &owner);
  EXPECT_EQ(layout.m_nTextWidth, 480 - 20 - 32);
}

TEST_F(LayoutTest, LinkMarkupNeverCountsForWidth) {
  // The link wraps the word "documentation".
  const std::u16string plain = u"Read the documentation first.";
  const std::u16string marked = u"Read the <A HREF=\"https://example.com/help\">documentation</A> first.";
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszContent = plain.c_str();
  ASSERT_EQ(Build(c), S_OK);
  const TaskDialogRect plainRect = Item(layout.m_nContentId)->pixels;
  const int plainWidth = layout.m_nContentWidth;
  EXPECT_EQ(Item(layout.m_nContentId)->kind, TDLG_KIND_STATIC);

  c.dwFlags = TDF_ENABLE_HYPERLINKS;
  c.pszContent = marked.c_str();
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_nContentWidth, plainWidth);
  const TaskDialogItem* content = Item(layout.m_nContentId);
  EXPECT_EQ(content->pixels, plainRect);
  EXPECT_EQ(content->kind, TDLG_KIND_LINK);
  EXPECT_EQ(content->windowClass, u"SysLink");
  EXPECT_EQ(content->text, marked);  // the control gets the markup
  EXPECT_EQ(layout.m_strContentNoLinks, plain);

  // Without hyperlinks the tags are text and count.
  c.dwFlags = 0;
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_GT(layout.m_nContentWidth, plainWidth);
  EXPECT_EQ(Item(layout.m_nContentId)->kind, TDLG_KIND_STATIC);
}

TEST(StripLinksTest, RemovesExactlyTheUpperCaseMarkup) {
  struct Case {
    std::u16string in, out;
  } cases[] = {
      {u"plain", u"plain"},
      {u"a <A HREF=\"x\">b</A> c", u"a b c"},
      {u"<A HREF=\"1\">one</A> and <A HREF=\"2\">two</A>", u"one and two"},
      {u"<a href=\"x\">b</a>", u"<a href=\"x\">b</a>"},
      {u"open <A HREF=\"never closed", u"open <A HREF=\"never closed"},
      {u"stray </A></A>end", u"stray end"},
      {u"", u""},
  };
  for (const Case& c : cases) EXPECT_EQ(CXTaskDialogLayout::StripLinks(c.in), c.out);
}

TEST(LoadTextTest, ZeroTextOrResourceId) {
  std::u16string slot = u"old";
  EXPECT_EQ(CXTaskDialogLayout::LoadText(QorvenaResources(), &slot, nullptr), S_OK);
  EXPECT_EQ(slot, u"");
  EXPECT_EQ(CXTaskDialogLayout::LoadText(QorvenaResources(), &slot, u"given text"), S_OK);
  EXPECT_EQ(slot, u"given text");
  EXPECT_EQ(CXTaskDialogLayout::LoadText(QorvenaResources(), &slot, MAKEINTRESOURCEW(IDS_REQUIRED_TITLE)), S_OK);
  EXPECT_EQ(slot, u"Required field not Mapped");
  EXPECT_EQ(CXTaskDialogLayout::LoadText(QorvenaResources(), &slot, MAKEINTRESOURCEW(9999)),
            MakeHResult(0x80070716u));
  EXPECT_EQ(slot, u"");
}

TEST_F(LayoutTest, LargeFontIsOneAndAHalfTimesTheMessageFontTruncated) {
  for (auto [height, large] : {std::pair{-12, -18}, {-11, -16}, {-9, -13}, {12, 18}}) {
    metrics.font.lfHeight = height;
    TASKDIALOGCONFIG c = EmptyConfig();
    ASSERT_EQ(Build(c), S_OK);
    EXPECT_EQ(layout.m_fontNormal.lfHeight, height);
    EXPECT_EQ(layout.m_fontLarge.lfHeight, large);
    EXPECT_EQ(layout.m_fontLarge.lfWeight, metrics.font.lfWeight);
    EXPECT_EQ(layout.m_fontLarge.lfFaceName, metrics.font.lfFaceName);
  }
}

TEST_F(LayoutTest, DisplayContextOrFontFailureAddsNothing) {
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszMainInstruction = u"x";
  measurer.failOpen = true;
  EXPECT_EQ(Build(c), MakeHResult(0x80070591u));
  EXPECT_TRUE(layout.m_items.empty());
  measurer.failOpen = false;
  metrics.failFont = true;
  EXPECT_EQ(Build(c), MakeHResult(0x80070057u));
  EXPECT_TRUE(layout.m_items.empty());
  EXPECT_EQ(measurer.opens, 2);
  EXPECT_EQ(measurer.closes, 1);  // the display context that opened is closed again
}

TEST_F(LayoutTest, CollapsedDetailsTakeNoRoomUntilExpanded) {
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszMainInstruction = u"Instruction";
  c.pszContent = u"Content";
  c.pszExpandedInformation = u"Details line one\nDetails line two";
  ASSERT_EQ(Build(c), S_OK);
  const int collapsed = layout.m_nClientHeight;
  const TaskDialogItem* info = Item(layout.m_nExpandedInfoId);
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->style & WS_VISIBLE, 0u);
  const int infoHeight = info->pixels.Height();
  EXPECT_EQ(infoHeight, 31);
  EXPECT_EQ(info->pixels.top, Item(layout.m_nContentId)->pixels.bottom + 5 + 5);
  const TaskDialogItem* expando = Item(layout.m_nExpandoButtonId);
  ASSERT_NE(expando, nullptr);
  EXPECT_EQ(expando->text, u"See &details >>");
  EXPECT_EQ(expando->pixels.left, 10);
  EXPECT_EQ(expando->pixels.Width(), 15 * 6 + 32);  // the wider caption: "Hide details <<"

  c.dwFlags = TDF_EXPANDED_BY_DEFAULT;
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_nClientHeight, collapsed + infoHeight + 10);
  EXPECT_NE(Item(layout.m_nExpandedInfoId)->style & WS_VISIBLE, 0u);
  EXPECT_EQ(Item(layout.m_nExpandoButtonId)->text, u"Hide &details <<");

  // In the footer area: below the footer, 20 pixels of room, a separator of its own while expanded.
  c.dwFlags = TDF_EXPAND_FOOTER_AREA;
  c.pszFooter = u"Footer";
  ASSERT_EQ(Build(c), S_OK);
  const int footerCollapsed = layout.m_nClientHeight;
  EXPECT_EQ(layout.m_nSeparator3, -1);
  c.dwFlags = TDF_EXPAND_FOOTER_AREA | TDF_EXPANDED_BY_DEFAULT;
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_nClientHeight, footerCollapsed + infoHeight + 20);
  EXPECT_EQ(layout.m_nSeparator3, footerCollapsed);
  EXPECT_EQ(Item(layout.m_nExpandedInfoId)->pixels.top, footerCollapsed + 10);
  EXPECT_EQ(Item(layout.m_nExpandedInfoId)->pixels.left, 10);
}

TEST_F(LayoutTest, LongLinkTitleWidensTheDialogAndLongNotesWrap) {
  const std::u16string title(60, u'W');  // 540 pixels in the large font
  const std::u16string text = title + u"\n" + std::u16string(101, u'n').replace(50, 1, u" ");
  const TASKDIALOG_BUTTON links[] = {{10, text.c_str()}};
  TASKDIALOGCONFIG c = EmptyConfig();
  c.dwFlags = TDF_USE_COMMAND_LINKS;
  c.pButtons = links;
  c.cButtons = 1;
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_nContentWidth, 540 + 46);
  EXPECT_GT(layout.m_nClientWidth, layout.m_nPreferredWidth);
  // The note wraps into its two words of 50 characters at the inner width.
  const TaskDialogItem* link = Item(10);
  EXPECT_EQ(link->pixels.Height(), 21 + 25 + 2 * 15);
  EXPECT_EQ(link->style, 0x5001014Bu);
  EXPECT_EQ(layout.m_nDefaultButtonId, 10);

  // Without the glyph the column of 26 pixels is not reserved.
  c.dwFlags = TDF_USE_COMMAND_LINKS | TDF_USE_COMMAND_LINKS_NO_ICON;
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_nContentWidth, 540 + 20);
}

TEST_F(LayoutTest, LinkWithoutNoteIsOneLineHigh) {
  ASSERT_EQ(Build(EmptyConfig()), S_OK);  // makes the fonts
  EXPECT_EQ(layout.MeasureCommandLink(u"Title only", 300), 21 + 20);
  EXPECT_EQ(layout.MeasureCommandLink(u"Title\nNote", 300), 21 + 25 + 15);
  EXPECT_EQ(layout.MeasureCommandLink(u"Title\nline one\nline two", 300), 21 + 25 + 30);
}

TEST_F(LayoutTest, RadioButtonsAreIndentedAndStartOneGroup) {
  const TASKDIALOG_BUTTON radios[] = {{200, u"&First"}, {205, u"Second"}};
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszMainInstruction = u"Pick one";
  c.pRadioButtons = radios;
  c.cRadioButtons = 2;
  ASSERT_EQ(Build(c), S_OK);
  // The layout's own ids follow the largest id in use.
  EXPECT_EQ(layout.m_nMainInstructionId, 206);
  const TaskDialogItem* first = Item(200);
  const TaskDialogItem* second = Item(205);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(first->kind, TDLG_KIND_RADIO);
  EXPECT_EQ(first->style, 0x50020009u);
  EXPECT_EQ(second->style, 0x50000009u);
  EXPECT_EQ(first->pixels.left, 20);
  EXPECT_EQ(first->pixels.top, Item(206)->pixels.bottom + 5 + 5);
  EXPECT_EQ(first->pixels.Height(), 15);
  EXPECT_EQ(second->pixels.top, first->pixels.bottom + 5);
}

TEST_F(LayoutTest, FooterTakesTheFirstFreeSeparator) {
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszMainInstruction = u"x";
  c.pszFooter = u"A footer";
  c.pszFooterIcon = TD_INFORMATION_ICON();
  ASSERT_EQ(Build(c, false, /*footerIcon=*/true), S_OK);
  ASSERT_NE(layout.m_nSeparator1, -1);
  ASSERT_NE(layout.m_nSeparator2, -1);
  const int y0 = layout.m_nSeparator2 + 10;
  EXPECT_EQ(Item(layout.m_nFooterIconId)->pixels, (TaskDialogRect{10, y0, 26, y0 + 16}));
  const TaskDialogItem* text = Item(layout.m_nFooterTextId);
  EXPECT_EQ(text->pixels.left, 31);
  EXPECT_EQ(text->pixels.top, y0);
  EXPECT_EQ(text->pixels.Height(), 16);
  EXPECT_EQ(layout.m_nClientHeight, y0 + 16 + 5 + 5);
  // The layout's ids are handed out in creation order.
  EXPECT_LT(layout.m_nMainInstructionId, layout.m_nFooterIconId);
  EXPECT_LT(layout.m_nFooterIconId, layout.m_nFooterTextId);

  // With command links only there is no band: the footer's separator is the first.
  const TASKDIALOG_BUTTON links[] = {{10, u"Go"}};
  c.dwFlags = TDF_USE_COMMAND_LINKS;
  c.pButtons = links;
  c.cButtons = 1;
  ASSERT_EQ(Build(c, false, true), S_OK);
  EXPECT_NE(layout.m_nSeparator1, -1);
  EXPECT_EQ(layout.m_nSeparator2, -1);
  EXPECT_EQ(Item(layout.m_nFooterIconId)->pixels.top, layout.m_nSeparator1 + 10);
}

TEST_F(LayoutTest, ProgressBarSpansToTheRightMargin) {
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszMainInstruction = u"x";
  c.dwFlags = TDF_SHOW_MARQUEE_PROGRESS_BAR;
  ASSERT_EQ(Build(c), S_OK);
  const TaskDialogItem* bar = Item(layout.m_nProgressBarId);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->windowClass, u"msctls_progress32");
  EXPECT_EQ(bar->style, 0x50000009u);
  EXPECT_EQ(bar->pixels.right, layout.m_nClientWidth - 10);
  EXPECT_EQ(bar->pixels.Height(), 14);
}

struct HeaderCase {
  const char* name;
  int flags;
  int common;
  DWORD style;
  DWORD exStyle;
};

class HeaderTest : public LayoutTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(HeaderTest, DialogStyleFollowsTheFlags) {
  const HeaderCase& p = GetParam();
  TASKDIALOGCONFIG c = EmptyConfig();
  c.dwFlags = p.flags;
  c.dwCommonButtons = p.common;
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_header.style, p.style);
  EXPECT_EQ(layout.m_header.exStyle, p.exStyle);
  EXPECT_EQ(layout.m_header.x, 0);
  EXPECT_EQ(layout.m_header.y, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeaderTest,
    ::testing::Values(HeaderCase{"Plain", 0, 0, 0x90C00080, 0},
                      HeaderCase{"Cancellation", TDF_ALLOW_DIALOG_CANCELLATION, 0, 0x90C80080, 0},
                      HeaderCase{"CancelButton", 0, TDCBF_CANCEL_BUTTON, 0x90C80080, 0},
                      HeaderCase{"RelativeToWindow", TDF_POSITION_RELATIVE_TO_WINDOW, 0, 0x90C00880, 0},
                      HeaderCase{"Minimizable", TDF_CAN_BE_MINIMIZED, 0, 0x90C20080, 0},
                      HeaderCase{"RightToLeft", TDF_RTL_LAYOUT, 0, 0x90C00080, 0x3000}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LayoutTest, UntitledPromptIsNamedAfterTheProgram) {
  TASKDIALOGCONFIG c = EmptyConfig();
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_strTitle, u"taskdialog_tests");
  EXPECT_EQ(layout.m_strCollapsedCaption, u"See &details >>");
  EXPECT_EQ(layout.m_strExpandedCaption, u"Hide &details <<");
}

TEST_F(LayoutTest, TextsComeFromTheModuleWhenGivenAsIds) {
  TASKDIALOGCONFIG c = EmptyConfig();
  c.pszWindowTitle = MAKEINTRESOURCEW(IDS_REQUIRED_TITLE);
  c.pszMainInstruction = MAKEINTRESOURCEW(IDS_REQUIRED_INSTRUCTION);
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(layout.m_strTitle, u"Required field not Mapped");
  EXPECT_EQ(Item(layout.m_nMainInstructionId)->text,
            u"One or more fields that are marked as 'Required' have not been mapped. What would you like to do?");

  c.pszFooter = MAKEINTRESOURCEW(9999);
  EXPECT_EQ(Build(c), MakeHResult(0x80070716u));

  // A custom button caption that cannot be loaded is left empty, without failing.
  const TASKDIALOG_BUTTON buttons[] = {{100, MAKEINTRESOURCEW(9999)}};
  c.pszFooter = nullptr;
  c.pButtons = buttons;
  c.cButtons = 1;
  ASSERT_EQ(Build(c), S_OK);
  EXPECT_EQ(Item(100)->text, u"");
}

TEST(LinkMarkupTest, AnchorsKeepTheirTargets) {
  EXPECT_EQ(LinkMarkupToRichText(u"See <A HREF=\"https://x/y?a=1&b=2\">the page</A>."),
            u"See <a href=\"https://x/y?a=1&amp;b=2\">the page</a>.");
  EXPECT_EQ(LinkMarkupToRichText(u"<a href=target>lower</a> & <b>"), u"<a href=\"target\">lower</a> &amp; &lt;b&gt;");
  EXPECT_EQ(LinkMarkupToRichText(u"line\nnext"), u"line<br>next");
  EXPECT_EQ(LinkMarkupToRichText(u"<A HREF=\"x\">never closed"), u"&lt;A HREF=&quot;x&quot;&gt;never closed");
}

}  // namespace
