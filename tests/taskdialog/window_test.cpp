// The emulated task dialog running on Qt: controls, commands, cancellation, expanding, messages and
// notifications.
#include <QCheckBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <gtest/gtest.h>

#include "test_support.h"

using namespace tdtest;

namespace {

// Runs one dialog; `whenCreated` acts on the running dialog once its event loop turns.
struct DialogRun {
  TASKDIALOGCONFIG config = EmptyConfig();
  Recorder recorder;
  CXTaskDialog dialog;
  int button = -99;
  int radio = -99;
  BOOL verification = -99;
  HRESULT hr = E_UNEXPECTED;

  HRESULT Show(std::function<void(CXTaskDialog&)> whenCreated) {
    recorder.Attach(config);
    auto previous = recorder.onNotify;
    recorder.onNotify = [this, whenCreated, previous](HWND hwnd, UINT code, WPARAM w, LPARAM l) -> HRESULT {
      if (code == TDN_CREATED && whenCreated) Later([this, whenCreated] { whenCreated(dialog); });
      return previous ? previous(hwnd, code, w, l) : S_OK;
    };
    hr = dialog.ShowIndirect(&config, &button, &radio, &verification);
    return hr;
  }
};

void Click(CXTaskDialog& d, int id) {
  QWidget* w = d.GetDlgItem(id);
  ASSERT_NE(w, nullptr) << id;
  QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center());
}

TEST(WindowTest, NotificationsComeInOrderWithTheDialogWindow) {
  DialogRun run;
  run.config.pszMainInstruction = u"Hello";
  HWND window = nullptr;
  run.Show([&](CXTaskDialog& d) {
    window = d.GetSafeHwnd();
    Click(d, IDOK);
  });
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(run.recorder.Codes(),
            (std::vector<UINT>{TDN_DIALOG_CONSTRUCTED, TDN_CREATED, TDN_BUTTON_CLICKED, TDN_DESTROYED}));
  for (const Recorder::Entry& e : run.recorder.entries) EXPECT_EQ(e.hwnd, window);
  EXPECT_EQ(run.recorder.entries[2].wParam, static_cast<WPARAM>(IDOK));
  EXPECT_EQ(run.button, IDOK);
  EXPECT_EQ(run.radio, -1);
  EXPECT_EQ(run.verification, 0);
  EXPECT_EQ(run.dialog.GetSafeHwnd(), nullptr);
}

TEST(WindowTest, ControlsHaveTheLayoutsIdsTextsAndPositions) {
  RequiredTexts texts;
  TASKDIALOG_BUTTON buttons[2];
  DialogRun run;
  run.config = RequiredPrompt(texts, buttons);
  run.Show([&](CXTaskDialog& d) {
    EXPECT_EQ(d.GetSafeHwnd()->windowTitle(), QStringLiteral("Required field not Mapped"));
    const int bx = d.m_baseUnits.cx, by = d.m_baseUnits.cy;
    for (const TaskDialogItem& item : d.m_items) {
      SCOPED_TRACE(item.id);
      QWidget* w = d.GetDlgItem(item.id);
      ASSERT_NE(w, nullptr);
      EXPECT_EQ(w->geometry(), QRect(item.x * bx / 4, item.y * by / 8, item.cx * bx / 4, item.cy * by / 8));
      EXPECT_TRUE(w->isVisible());
    }
    auto* first = qobject_cast<QPushButton*>(d.GetDlgItem(541));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->text(), QString::fromStdU16String(texts.first));
    EXPECT_EQ(d.GetSafeHwnd()->focusWidget(), first);  // the default button
    auto* instruction = qobject_cast<QLabel*>(d.GetDlgItem(d.m_nMainInstructionId));
    ASSERT_NE(instruction, nullptr);
    EXPECT_EQ(instruction->text(), QString::fromStdU16String(texts.instruction));
    EXPECT_EQ(instruction->font().pixelSize(), d.GetLargeFont().pixelSize());
    EXPECT_EQ(d.GetLargeFont().pixelSize(), d.GetNormalFont().pixelSize() * 3 / 2);
    EXPECT_EQ(d.GetSafeHwnd()->size(), QSize(d.m_header.cx * bx / 4, d.m_header.cy * by / 8));
    Click(d, 541);
  });
  EXPECT_EQ(run.button, 541);
}

struct RadioCase {
  const char* name;
  int flags;
  int defaultRadio;
  int userChoice;  // 0: none
  int checkedAtStart;
  int result;
};

class RadioTest : public ::testing::TestWithParam<RadioCase> {};

TEST_P(RadioTest, DefaultsAndResult) {
  const RadioCase& p = GetParam();
  const TASKDIALOG_BUTTON radios[] = {{201, u"One"}, {202, u"Two"}, {203, u"Three"}};
  DialogRun run;
  run.config.dwFlags = p.flags;
  run.config.pRadioButtons = radios;
  run.config.cRadioButtons = 3;
  run.config.nDefaultRadioButton = p.defaultRadio;
  int checked = -2;
  run.Show([&](CXTaskDialog& d) {
    checked = -1;
    for (int id : {201, 202, 203})
      if (static_cast<QRadioButton*>(d.GetDlgItem(id))->isChecked()) checked = id;
    if (p.userChoice) Click(d, p.userChoice);
    Click(d, IDOK);
  });
  EXPECT_EQ(checked, p.checkedAtStart);
  EXPECT_EQ(run.radio, p.result);
  EXPECT_EQ(run.button, IDOK);
  if (p.userChoice) {
    ASSERT_EQ(run.recorder.Count(TDN_RADIO_BUTTON_CLICKED), 1);
    for (const auto& e : run.recorder.entries)
      if (e.code == TDN_RADIO_BUTTON_CLICKED) {
        EXPECT_EQ(e.wParam, static_cast<WPARAM>(p.userChoice));
      }
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RadioTest,
                         ::testing::Values(RadioCase{"FirstByDefault", 0, 0, 0, 201, 201},
                                           RadioCase{"NamedDefault", 0, 203, 0, 203, 203},
                                           RadioCase{"NoDefault", TDF_NO_DEFAULT_RADIO_BUTTON, 202, 0, -1, -1},
                                           RadioCase{"NoDefaultThenChosen", TDF_NO_DEFAULT_RADIO_BUTTON, 0, 202, -1, 202},
                                           RadioCase{"ChosenOverDefault", 0, 0, 203, 201, 203}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(WindowTest, ButtonClickedAnsweredOneKeepsTheDialogOpenAndTheResultsUnwritten) {
  const TASKDIALOG_BUTTON buttons[] = {{100, u"Keep"}, {101, u"Close"}};
  DialogRun run;
  run.config.pButtons = buttons;
  run.config.cButtons = 2;
  run.recorder.onNotify = [](HWND, UINT code, WPARAM w, LPARAM) -> HRESULT {
    return code == TDN_BUTTON_CLICKED && w == 100 ? S_FALSE : S_OK;
  };
  int buttonWhileOpen = 0;
  bool visibleAfterVeto = false;
  run.Show([&](CXTaskDialog& d) {
    Click(d, 100);
    visibleAfterVeto = d.GetSafeHwnd() && d.GetSafeHwnd()->isVisible();
    buttonWhileOpen = run.button;
    Click(d, 101);
  });
  EXPECT_TRUE(visibleAfterVeto);
  EXPECT_EQ(buttonWhileOpen, -99);
  EXPECT_EQ(run.button, 101);
  EXPECT_EQ(run.recorder.Count(TDN_BUTTON_CLICKED), 2);
}

TEST(WindowTest, WithCancelEscapeEndsWithTwoAfterTheNotification) {
  for (int variant = 0; variant < 2; ++variant) {
    SCOPED_TRACE(variant);
    DialogRun run;
    if (variant == 0)
      run.config.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_CANCEL_BUTTON;
    else
      run.config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
    run.Show([&](CXTaskDialog& d) {
      EXPECT_TRUE(d.GetSafeHwnd()->windowFlags() & Qt::WindowCloseButtonHint);
      QTest::keyClick(d.GetSafeHwnd(), Qt::Key_Escape);
    });
    EXPECT_EQ(run.button, IDCANCEL);
    EXPECT_EQ(run.recorder.Codes(),
              (std::vector<UINT>{TDN_DIALOG_CONSTRUCTED, TDN_CREATED, TDN_BUTTON_CLICKED, TDN_DESTROYED}));
    EXPECT_EQ(run.recorder.entries[2].wParam, static_cast<WPARAM>(IDCANCEL));
  }
}

TEST(WindowTest, RequiredPromptIgnoresEscapeAndCloseAndEndsOnlyThroughItsLinks) {
  RequiredTexts texts;
  TASKDIALOG_BUTTON buttons[2];
  for (int link : {541, 542}) {
    SCOPED_TRACE(link);
    DialogRun run;
    run.config = RequiredPrompt(texts, buttons);
    bool stillOpen = false;
    run.Show([&](CXTaskDialog& d) {
      EXPECT_FALSE(d.GetSafeHwnd()->windowFlags() & Qt::WindowCloseButtonHint);
      QTest::keyClick(d.GetSafeHwnd(), Qt::Key_Escape);
      d.GetSafeHwnd()->close();
      Later([&, link] {
        stillOpen = d.GetSafeHwnd() && d.GetSafeHwnd()->isVisible();
        Click(d, link);
      });
    });
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(run.button, link);
    EXPECT_EQ(run.recorder.Count(TDN_BUTTON_CLICKED), 1);
    // No close command on the title bar.
    EXPECT_EQ(run.dialog.m_header.style & WS_SYSMENU, 0u);
  }
}

TEST(WindowTest, EnterChoosesTheFocusedDefaultLink) {
  RequiredTexts texts;
  TASKDIALOG_BUTTON buttons[2];
  DialogRun run;
  run.config = RequiredPrompt(texts, buttons);
  run.Show([&](CXTaskDialog& d) { QTest::keyClick(d.GetDlgItem(541), Qt::Key_Return); });
  EXPECT_EQ(run.button, 541);
}

// Geometry of every control, the separators and the size: what an expand must end with.
struct Snapshot {
  std::vector<std::pair<QRect, bool>> controls;
  int separators[3];
  QSize size;
  bool expanded;
  bool operator==(const Snapshot&) const = default;
};

Snapshot Take(CXTaskDialog& d) {
  Snapshot s{};
  for (const TaskDialogItem& item : d.m_items) {
    QWidget* w = d.GetDlgItem(item.id);
    s.controls.emplace_back(w->geometry(), w->isVisible());
  }
  s.separators[0] = d.m_nSeparator1;
  s.separators[1] = d.m_nSeparator2;
  s.separators[2] = d.m_nSeparator3;
  s.size = d.GetSafeHwnd()->size();
  s.expanded = d.IsExpanded();
  return s;
}

void WaitForAnimation(CXTaskDialog& d) {
  for (int i = 0; i < 400 && d.IsAnimating(); ++i) QTest::qWait(10);
}

class ExpandTest : public ::testing::TestWithParam<int> {};

TEST_P(ExpandTest, WithoutAnimationTheEndStateEqualsTheAnimatedOne) {
  const TASKDIALOG_BUTTON radios[] = {{201, u"One"}};
  Snapshot results[2][3];  // [animated][start, expanded, collapsed again]
  for (int animated = 0; animated < 2; ++animated) {
    DialogRun run;
    run.config.dwFlags = GetParam();
    run.config.dwCommonButtons = TDCBF_OK_BUTTON;
    run.config.pszMainInstruction = u"Instruction";
    run.config.pszContent = u"Content";
    run.config.pszExpandedInformation = u"First line of the details\nSecond line\nThird line";
    run.config.pszVerificationText = u"Do not ask again";
    run.config.pszFooter = u"Footer text";
    run.config.pRadioButtons = radios;
    run.config.cRadioButtons = 1;
    run.dialog.SetAnimationAllowed(animated != 0);
    run.Show([&, animated](CXTaskDialog& d) {
      results[animated][0] = Take(d);
      Click(d, d.m_nExpandoButtonId);
      if (animated) {
        EXPECT_TRUE(d.IsAnimating());
        EXPECT_FALSE(d.GetDlgItem(d.m_nExpandedInfoId)->isVisible());
      }
      WaitForAnimation(d);
      results[animated][1] = Take(d);
      Click(d, d.m_nExpandoButtonId);
      WaitForAnimation(d);
      results[animated][2] = Take(d);
      Click(d, IDOK);
    });
    EXPECT_EQ(run.button, IDOK);
    EXPECT_EQ(run.recorder.Count(TDN_EXPANDO_BUTTON_CLICKED), 2);
  }
  EXPECT_EQ(results[0][0], results[1][0]);
  EXPECT_EQ(results[0][1], results[1][1]);
  EXPECT_EQ(results[0][2], results[1][2]);
  EXPECT_EQ(results[0][2], results[0][0]);  // collapsing undoes expanding
  EXPECT_TRUE(results[0][1].expanded);
  EXPECT_GT(results[0][1].size.height(), results[0][0].size.height());
}

INSTANTIATE_TEST_SUITE_P(Forms, ExpandTest, ::testing::Values(0, TDF_EXPAND_FOOTER_AREA),
                         [](const auto& info) { return info.param ? std::string("FooterArea") : std::string("ContentArea"); });

TEST(WindowTest, ExpandingMovesWhatIsBelowTheDetailsAndChangesTheCaption) {
  const TASKDIALOG_BUTTON links[] = {{10, u"Go\nSomewhere"}};
  DialogRun run;
  run.config.dwFlags = TDF_USE_COMMAND_LINKS;
  run.config.pButtons = links;
  run.config.cButtons = 1;
  run.config.dwCommonButtons = TDCBF_CLOSE_BUTTON;
  run.config.pszContent = u"Content";
  run.config.pszExpandedInformation = u"Details";
  run.config.pszExpandedControlText = u"Fewer";
  run.dialog.SetAnimationAllowed(false);
  run.Show([&](CXTaskDialog& d) {
    auto* expando = static_cast<QPushButton*>(d.GetDlgItem(d.m_nExpandoButtonId));
    EXPECT_EQ(expando->text(), QStringLiteral("See &details >>"));
    const int infoHeight = d.GetDlgItem(d.m_nExpandedInfoId)->height();
    const QRect link = d.GetDlgItem(10)->geometry();
    const QRect close = d.GetDlgItem(IDCLOSE)->geometry();
    const int band = d.m_nSeparator1;
    Click(d, d.m_nExpandoButtonId);
    EXPECT_EQ(expando->text(), QStringLiteral("Fewer"));
    EXPECT_TRUE(d.GetDlgItem(d.m_nExpandedInfoId)->isVisible());
    EXPECT_EQ(d.GetDlgItem(10)->geometry(), link.translated(0, infoHeight + 10));
    EXPECT_EQ(d.GetDlgItem(IDCLOSE)->geometry(), close.translated(0, infoHeight + 10));
    EXPECT_EQ(d.m_nSeparator1, band + infoHeight + 10);
    Click(d, IDCLOSE);
  });
  EXPECT_EQ(run.button, IDCLOSE);
  ASSERT_EQ(run.recorder.Count(TDN_EXPANDO_BUTTON_CLICKED), 1);
  for (const auto& e : run.recorder.entries)
    if (e.code == TDN_EXPANDO_BUTTON_CLICKED) {
      EXPECT_EQ(e.wParam, 1u);
    }
}

TEST(WindowTest, ElementTextMessagesAnswerWhetherTheControlExists) {
  DialogRun run;
  run.config.pszMainInstruction = u"Instruction";
  run.config.pszContent = u"Content";
  LRESULT missingFooter = -1, updateMissing = -1, setContent = -1, setInstruction = -1, fromId = -1;
  QString content, instruction;
  run.Show([&](CXTaskDialog& d) {
    missingFooter = d.SendMessage(TDM_SET_ELEMENT_TEXT, TDE_FOOTER, reinterpret_cast<LPARAM>(u"Footer"));
    updateMissing = d.SendMessage(TDM_UPDATE_ELEMENT_TEXT, TDE_FOOTER, reinterpret_cast<LPARAM>(u"Footer"));
    setContent = d.SendMessage(TDM_SET_ELEMENT_TEXT, TDE_CONTENT, reinterpret_cast<LPARAM>(u"New content"));
    content = static_cast<QLabel*>(d.GetDlgItem(d.m_nContentId))->text();
    fromId = SendTaskDialogMessage(d.GetSafeHwnd(), TDM_UPDATE_ELEMENT_TEXT, TDE_MAIN_INSTRUCTION,
                                   reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDS_REQUIRED_TITLE)));
    instruction = static_cast<QLabel*>(d.GetDlgItem(d.m_nMainInstructionId))->text();
    setInstruction = d.SendMessage(TDM_SET_ELEMENT_TEXT, TDE_MAIN_INSTRUCTION, reinterpret_cast<LPARAM>(u"x"));
    Click(d, IDOK);
  });
  EXPECT_EQ(missingFooter, 0);
  EXPECT_EQ(updateMissing, 1);
  EXPECT_EQ(setContent, 1);
  EXPECT_EQ(content, QStringLiteral("New content"));
  EXPECT_EQ(fromId, 1);
  EXPECT_EQ(instruction, QStringLiteral("Required field not Mapped"));
  EXPECT_EQ(setInstruction, 1);
}

TEST(WindowTest, ButtonRadioVerificationAndProgressMessages) {
  const TASKDIALOG_BUTTON radios[] = {{201, u"One"}, {202, u"Two"}};
  DialogRun run;
  run.config.dwFlags = TDF_SHOW_PROGRESS_BAR;
  run.config.dwCommonButtons = TDCBF_OK_BUTTON | TDCBF_RETRY_BUTTON;
  run.config.pRadioButtons = radios;
  run.config.cRadioButtons = 2;
  run.config.pszVerificationText = u"Remember";
  std::vector<LRESULT> results;
  run.Show([&](CXTaskDialog& d) {
    results.push_back(d.SendMessage(TDM_SET_PROGRESS_BAR_RANGE, 0, MAKELONG(10, 50)));
    results.push_back(d.SendMessage(TDM_SET_PROGRESS_BAR_RANGE, 0, MAKELONG(0, 200)));
    results.push_back(d.SendMessage(TDM_SET_PROGRESS_BAR_POS, 40, 0));  // 10: the range moved it
    results.push_back(d.SendMessage(TDM_SET_PROGRESS_BAR_POS, 60, 0));
    auto* bar = static_cast<QProgressBar*>(d.GetDlgItem(d.m_nProgressBarId));
    EXPECT_EQ(bar->value(), 60);
    EXPECT_EQ(bar->maximum(), 200);
    results.push_back(d.SendMessage(TDM_SET_PROGRESS_BAR_STATE, PBST_ERROR, 0));
    results.push_back(d.SendMessage(TDM_SET_MARQUEE_PROGRESS_BAR, 1, 30));
    EXPECT_EQ(bar->maximum(), 0);
    results.push_back(d.SendMessage(TDM_SET_MARQUEE_PROGRESS_BAR, 0, 0));
    EXPECT_EQ(bar->maximum(), 200);
    EXPECT_EQ(bar->value(), 60);

    results.push_back(d.SendMessage(TDM_CLICK_RADIO_BUTTON, 202, 0));
    EXPECT_TRUE(static_cast<QRadioButton*>(d.GetDlgItem(202))->isChecked());
    EXPECT_FALSE(static_cast<QRadioButton*>(d.GetDlgItem(201))->isChecked());
    results.push_back(d.SendMessage(TDM_ENABLE_RADIO_BUTTON, 201, 0));
    EXPECT_FALSE(d.GetDlgItem(201)->isEnabled());
    results.push_back(d.SendMessage(TDM_ENABLE_BUTTON, IDRETRY, 0));
    EXPECT_FALSE(d.GetDlgItem(IDRETRY)->isEnabled());
    results.push_back(d.SendMessage(TDM_CLICK_VERIFICATION, 1, 1));
    EXPECT_TRUE(static_cast<QCheckBox*>(d.GetDlgItem(d.m_nVerificationId))->isChecked());
    results.push_back(d.SendMessage(TDM_NAVIGATE_PAGE, 0, 0));
    results.push_back(d.SendMessage(TDM_CLICK_BUTTON, IDOK, 0));
  });
  EXPECT_EQ(results, (std::vector<LRESULT>{MAKELONG(0, 100), MAKELONG(10, 50), 10, 40, 1, 1, 0, 0, 0, 0, 0, 0, 1}));
  EXPECT_EQ(run.button, IDOK);
  EXPECT_EQ(run.radio, 202);
  EXPECT_EQ(run.verification, 1);
  // The messages notify nothing of their own.
  EXPECT_EQ(run.recorder.Count(TDN_RADIO_BUTTON_CLICKED), 0);
  EXPECT_EQ(run.recorder.Count(TDN_VERIFICATION_CLICKED), 0);
}

TEST(WindowTest, VerificationBoxStartsTickedAndReportsClicks) {
  DialogRun run;
  run.config.dwFlags = TDF_VERIFICATION_FLAG_CHECKED;
  run.config.pszVerificationText = u"Remember";
  run.Show([&](CXTaskDialog& d) {
    Click(d, d.m_nVerificationId);
    Click(d, d.m_nVerificationId);
    Click(d, IDOK);
  });
  std::vector<WPARAM> reported;
  for (const auto& e : run.recorder.entries)
    if (e.code == TDN_VERIFICATION_CLICKED) reported.push_back(e.wParam);
  EXPECT_EQ(reported, (std::vector<WPARAM>{0, 1}));
  EXPECT_EQ(run.verification, 1);
}

TEST(WindowTest, HyperlinkClickNotifiesTheTarget) {
  DialogRun run;
  run.config.dwFlags = TDF_ENABLE_HYPERLINKS;
  run.config.pszContent = u"Open <A HREF=\"https://example.com/a?b=1\">the page</A>.";
  run.Show([&](CXTaskDialog& d) {
    auto* label = qobject_cast<QLabel*>(d.GetDlgItem(d.m_nContentId));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->textFormat(), Qt::RichText);
    emit label->linkActivated(QStringLiteral("https://example.com/a?b=1"));
    Click(d, IDOK);
  });
  ASSERT_EQ(run.recorder.Count(TDN_HYPERLINK_CLICKED), 1);
  for (const auto& e : run.recorder.entries)
    if (e.code == TDN_HYPERLINK_CLICKED) {
      EXPECT_EQ(e.text, u"https://example.com/a?b=1");
      EXPECT_EQ(e.wParam, 0u);
    }
  EXPECT_EQ(run.button, IDOK);
}

TEST(WindowTest, CallbackTimerTicksUntilTheDialogCloses) {
  DialogRun run;
  run.config.dwFlags = TDF_CALLBACK_TIMER;
  int ticks = 0;
  run.recorder.onNotify = [&](HWND hwnd, UINT code, WPARAM, LPARAM) -> HRESULT {
    if (code != TDN_TIMER) return S_OK;
    if (++ticks == 2) SendTaskDialogMessage(hwnd, TDM_CLICK_BUTTON, IDOK, 0);
    return S_FALSE;  // restart the count
  };
  run.Show(nullptr);
  EXPECT_EQ(run.button, IDOK);
  EXPECT_GE(ticks, 2);
  EXPECT_EQ(run.recorder.Codes().back(), static_cast<UINT>(TDN_DESTROYED));
}

TEST(WindowTest, HelpKeyNotifies) {
  DialogRun run;
  run.Show([&](CXTaskDialog& d) {
    QTest::keyClick(d.GetSafeHwnd(), Qt::Key_F1);
    Click(d, IDOK);
  });
  EXPECT_EQ(run.recorder.Count(TDN_HELP), 1);
}

TEST(WindowTest, ElevationShieldReplacesTheGlyphAndGoesBack) {
  const TASKDIALOG_BUTTON links[] = {{10, u"Admin\nNeeds rights"}};
  DialogRun run;
  run.config.dwFlags = TDF_USE_COMMAND_LINKS;
  run.config.pButtons = links;
  run.config.cButtons = 1;
  run.config.dwCommonButtons = TDCBF_OK_BUTTON;
  run.Show([&](CXTaskDialog& d) {
    QWidget* link = d.GetDlgItem(10);
    HICON arrow = GetButtonImage(link);
    ASSERT_NE(arrow, nullptr);
    EXPECT_EQ(arrow->width(), 16);
    EXPECT_EQ(d.SendMessage(TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, 10, 1), 0);
    HICON shield = GetButtonImage(link);
    EXPECT_NE(shield, arrow);
    EXPECT_NE(shield, nullptr);
    d.SendMessage(TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, 10, 0);
    EXPECT_EQ(GetButtonImage(link), arrow);
    // A push button shows the shield and loses it again, never taking the arrow.
    d.SendMessage(TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, IDOK, 1);
    EXPECT_EQ(GetButtonImage(d.GetDlgItem(IDOK)), shield);
    d.SendMessage(TDM_SET_BUTTON_ELEVATION_REQUIRED_STATE, IDOK, 0);
    EXPECT_EQ(GetButtonImage(d.GetDlgItem(IDOK)), nullptr);
    Click(d, IDOK);
  });
  EXPECT_EQ(run.button, IDOK);
}

TEST(WindowTest, IconsOfTheRecord) {
  DialogRun run;
  run.config.pszMainIcon = TD_ERROR_ICON();
  run.config.pszFooterIcon = TD_INFORMATION_ICON();
  run.config.pszFooter = u"Footer";
  QImage replacement(32, 32, QImage::Format_ARGB32);
  replacement.fill(Qt::red);
  run.Show([&](CXTaskDialog& d) {
    ASSERT_NE(d.GetMainIcon(), nullptr);
    EXPECT_EQ(d.GetMainIcon()->size(), QSize(32, 32));
    ASSERT_NE(d.GetFooterIcon(), nullptr);
    EXPECT_EQ(d.GetFooterIcon()->size(), QSize(16, 16));
    EXPECT_EQ(*d.GetMainIcon(), LoadIconResource(QorvenaResources(), IDI_ERROR, 32));
    // A new main icon by id; then none: the control stays, empty.
    EXPECT_EQ(d.SendMessage(TDM_UPDATE_ICON, TDIE_ICON_MAIN, reinterpret_cast<LPARAM>(MAKEINTRESOURCEW(IDI_SHIELD))), 0);
    EXPECT_EQ(*d.GetMainIcon(), LoadIconResource(QorvenaResources(), IDI_SHIELD, 32));
    d.SendMessage(TDM_UPDATE_ICON, TDIE_ICON_MAIN, 0);
    EXPECT_EQ(d.GetMainIcon(), nullptr);
    EXPECT_NE(d.GetDlgItem(d.m_nMainIconId), nullptr);
    d.SendMessage(TDM_UPDATE_ICON, TDIE_ICON_FOOTER, reinterpret_cast<LPARAM>(TD_WARNING_ICON()));
    EXPECT_EQ(*d.GetFooterIcon(), LoadIconResource(QorvenaResources(), IDI_WARNING, 16));
    Click(d, IDOK);
  });
  EXPECT_EQ(run.button, IDOK);
}

TEST(WindowTest, CentredInTheWorkAreaAndMinimizableWithTheMainIcon) {
  DialogRun run;
  run.config.dwFlags = TDF_CAN_BE_MINIMIZED;
  run.config.pszMainIcon = TD_WARNING_ICON();
  QPoint position;
  QSize size;
  bool minimizable = false, iconSet = false;
  run.Show([&](CXTaskDialog& d) {
    position = d.GetSafeHwnd()->pos();
    size = d.GetSafeHwnd()->size();
    minimizable = d.GetSafeHwnd()->windowFlags() & Qt::WindowMinimizeButtonHint;
    iconSet = !d.GetSafeHwnd()->windowIcon().isNull();
    Click(d, IDOK);
  });
  const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(position, QPoint(work.left() + (work.width() - size.width()) / 2,
                             work.top() + (work.height() - size.height()) / 2));
  EXPECT_TRUE(minimizable);
  EXPECT_TRUE(iconSet);
  EXPECT_EQ(run.button, IDOK);
}

TEST(WindowTest, AMissingMainIconOrTextFailsBeforeAnyWindow) {
  struct Case {
    const char* name;
    std::function<void(TASKDIALOGCONFIG&)> change;
  } cases[] = {
      {"main icon id", [](TASKDIALOGCONFIG& c) { c.pszMainIcon = MAKEINTRESOURCEW(4321); }},
      {"content id", [](TASKDIALOGCONFIG& c) { c.pszContent = MAKEINTRESOURCEW(4321); }},
      {"verification id", [](TASKDIALOGCONFIG& c) { c.pszVerificationText = MAKEINTRESOURCEW(4321); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DialogRun run;
    c.change(run.config);
    EXPECT_EQ(run.Show(nullptr), MakeHResult(0x80070716u));
    EXPECT_TRUE(run.recorder.entries.empty());
    EXPECT_EQ(run.button, -99);
    EXPECT_EQ(run.radio, -99);
  }
  // A footer icon that cannot be had is left out.
  DialogRun run;
  run.config.pszFooterIcon = MAKEINTRESOURCEW(4321);
  run.config.pszFooter = u"Footer";
  run.Show([&](CXTaskDialog& d) {
    EXPECT_EQ(d.m_nFooterIconId, -1);
    Click(d, IDOK);
  });
  EXPECT_EQ(run.hr, S_OK);
  EXPECT_EQ(run.button, IDOK);
}

TEST(WindowTest, BackgroundIsWhiteAboveTheBandAndGreyBelow) {
  DialogRun run;
  run.config.pszMainInstruction = u"Instruction";
  run.config.pszFooter = u"Footer";
  QImage image;
  int sep1 = -1, sep2 = -1;
  run.Show([&](CXTaskDialog& d) {
    sep1 = d.m_nSeparator1;
    sep2 = d.m_nSeparator2;
    image = d.GetSafeHwnd()->grab().toImage();
    Click(d, IDOK);
  });
  ASSERT_FALSE(image.isNull());
  ASSERT_GT(sep1, 0);
  ASSERT_GT(sep2, sep1);
  const int x = image.width() - 2;  // right of every control
  EXPECT_EQ(image.pixelColor(x, 1), QColor(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(image.pixelColor(x, sep1), QColor(0xE9, 0xE9, 0xE9));
  EXPECT_EQ(image.pixelColor(x, sep1 + 1), QColor(0xF0, 0xF0, 0xF0));
  EXPECT_EQ(image.pixelColor(x, sep2 - 1), QColor(0xE9, 0xE9, 0xE9));
  EXPECT_EQ(image.pixelColor(x, sep2), QColor(0xFF, 0xFF, 0xFF));
  EXPECT_EQ(image.pixelColor(x, sep2 + 1), QColor(0xF0, 0xF0, 0xF0));
  EXPECT_EQ(image.pixelColor(x, image.height() - 1), QColor(0xF0, 0xF0, 0xF0));
}

TEST(WindowTest, OutArgumentsAreOptional) {
  DialogRun run;
  run.recorder.Attach(run.config);
  Later([&] { SendTaskDialogMessage(QApplication::activeModalWidget(), TDM_CLICK_BUTTON, IDOK, 0); });
  EXPECT_EQ(run.dialog.ShowIndirect(&run.config, nullptr, nullptr, nullptr), S_OK);
}

}  // namespace
