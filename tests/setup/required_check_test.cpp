// Leaving the Data Mapping page with a required column unmapped asks the administrator what to do.
#include <QKeyEvent>

#include "setup/required_check.h"
#include "taskdialog/XTaskDialog.h"
#include "tests/setup/setup_fixture.h"

namespace {

using namespace setuptest;

const char16_t* const kRequired[] = {u"TPEC.PESID", u"TPEC.PERCD", u"TPEC.PEDWN", u"TPEC.PEPGN",
                                     u"TBHB.BHIND", u"TBHB.BHSEN", u"TBLB.BLCIT", u"TBLB.BLINQ"};

const std::u16string kInstruction =
    u"One or more fields that are marked as 'Required' have not been mapped. What would you like to do?";
const std::u16string kIgnoreLink =
    u"Ignore Requirement\nDo not map the Required fields and close this dialog immediately.";

std::u16string MapLink(std::u16string_view name) {
  return u"Map Required Fields\nReturn to the dialog and map the required fields, beginning with '" +
         std::u16string(name) + u"'.";
}

class RequiredCheckTest : public SheetFixture {
 protected:
  // Maps every required column except the given ones.
  void MapRequiredExcept(std::initializer_list<std::u16string_view> unmapped) {
    for (const char16_t* key : kRequired) {
      if (std::find(unmapped.begin(), unmapped.end(), std::u16string_view(key)) != unmapped.end()) continue;
      data->links->links.push_back({u"Vendor", KFX_REL_INDEXFIELD, key});
    }
  }
  void LeaveTheMappingPage() {
    ShowMappingPage();
    sheet->SetActivePage(0);
    QApplication::processEvents();
  }
};

TEST_F(RequiredCheckTest, ThePromptNamesTheFirstUnmappedRequiredColumn) {
  MapRequiredExcept({u"TBLB.BLINQ"});
  CXTaskDialogAutoAnswer ignore(542);
  RunSheet([&] {
    LeaveTheMappingPage();
    EXPECT_EQ(sheet->GetActivePage(), general.get());
    sheet->GetCancelButton()->click();
  });
  ASSERT_EQ(ignore.Prompts().size(), 1u);
  const auto& prompt = ignore.Prompts()[0];
  EXPECT_EQ(prompt.title, u"Required field not Mapped");
  EXPECT_EQ(prompt.mainInstruction, kInstruction);
  EXPECT_EQ(prompt.buttons, (std::vector<std::pair<int, std::u16string>>{{541, MapLink(u"Quantity Invoiced")},
                                                                          {542, kIgnoreLink}}));
  EXPECT_EQ(prompt.defaultButton, 541);
  EXPECT_EQ(prompt.flags, TDF_USE_COMMAND_LINKS);  // no cancellation: only the two links leave it
  EXPECT_EQ(prompt.commonButtons, 0);
  EXPECT_FALSE(prompt.mainIconIsHandle);
  EXPECT_EQ(prompt.mainIconId, IDI_WARNING);
  EXPECT_TRUE(prompt.content.empty());
  EXPECT_TRUE(prompt.footer.empty());
}

TEST_F(RequiredCheckTest, WithFieldNamesShownThePromptNamesTheKey) {
  MapRequiredExcept({u"TBLB.BLINQ"});
  CXTaskDialogAutoAnswer ignore(542);
  RunSheet([&] {
    ShowMappingPage();
    QTest::mouseClick(mapping->GetDlgItemAs<QCheckBox>(IDC_DISPLAY_FIELD_NAMES), Qt::LeftButton);
    sheet->SetActivePage(0);
    sheet->GetCancelButton()->click();
  });
  ASSERT_EQ(ignore.Prompts().size(), 1u);
  EXPECT_EQ(ignore.Prompts()[0].buttons.at(0).second, MapLink(u"TBLB.BLINQ"));
}

TEST_F(RequiredCheckTest, MapRequiredFieldsKeepsThePageAndSelectsTheRow) {
  struct Case {
    const char* name;
    std::function<std::unique_ptr<CXTaskDialogAutoAnswer>()> answer;
  };
  const Case cases[] = {
      {"the first link", [] { return std::make_unique<CXTaskDialogAutoAnswer>(541); }},
      {"a prompt that cannot be shown",
       [] { return std::make_unique<CXTaskDialogAutoAnswer>(CXTaskDialogAutoAnswer::kFailAll); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    data = NewClass();
    MapRequiredExcept({u"TBLB.BLINQ"});
    auto answer = c.answer();
    const int result = RunSheet([&] {
      ShowMappingPage();
      mapping->GetGrid()->SetCurSel(Row(u"TPEC.PETPI"));
      QTest::mouseClick(sheet->GetOkButton(), Qt::LeftButton);  // OK runs the check first
      EXPECT_EQ(sheet->GetActivePage(), mapping.get());
      EXPECT_TRUE(sheet->isVisible());
      EXPECT_EQ(mapping->GetGrid()->GetCurSel(), Row(u"TBLB.BLINQ"));
      sheet->GetCancelButton()->click();
    });
    EXPECT_EQ(result, IDCANCEL);
  }
}

TEST_F(RequiredCheckTest, IgnoreRequirementLetsTheSheetCloseWithoutASecondPrompt) {
  MapRequiredExcept({u"TPEC.PESID", u"TBLB.BLCIT"});
  CXTaskDialogAutoAnswer ignore(542);
  const int result = RunSheet([&] {
    ShowMappingPage();
    QTest::mouseClick(sheet->GetOkButton(), Qt::LeftButton);
  });
  EXPECT_EQ(result, IDOK);
  ASSERT_EQ(ignore.Prompts().size(), 1u);
  EXPECT_EQ(ignore.Prompts()[0].buttons.at(0).second, MapLink(u"Sender ID"));
}

TEST_F(RequiredCheckTest, ATextConstantCountsAsMappedOnlyWithText) {
  MapRequiredExcept({u"TPEC.PEPGN"});
  data->links->links.push_back({u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"});
  CXTaskDialogAutoAnswer answer(541);
  RunSheet([&] {
    ShowMappingPage();
    sheet->SetActivePage(0);
    EXPECT_EQ(answer.Prompts().size(), 0u) << "a constant with text is a mapping";
    ShowMappingPage();
    ChooseInMappingMenu(*mapping, Row(u"TPEC.PEPGN"), {"Text Constant"});  // empties the constant
    sheet->SetActivePage(0);
    EXPECT_EQ(answer.Prompts().size(), 1u);
    EXPECT_EQ(sheet->GetActivePage(), mapping.get());
    sheet->GetCancelButton()->click();
  });
}

TEST_F(RequiredCheckTest, OkOnTheGeneralPageAndCancelNeverAsk) {
  CXTaskDialogAutoAnswer answer(541);
  EXPECT_EQ(RunSheet([&] { QTest::mouseClick(sheet->GetOkButton(), Qt::LeftButton); }), IDOK);
  EXPECT_EQ(RunSheet([&] {
              ShowMappingPage();
              sheet->GetCancelButton()->click();
            }),
            IDCANCEL);
  EXPECT_TRUE(answer.Prompts().empty());
}

// The prompt as the administrator sees it: the emulated task dialog, driven with keys and clicks.
TEST_F(RequiredCheckTest, ThePromptWindowIgnoresEscapeAndAnswersItsLinks) {
  MapRequiredExcept({u"TBLB.BLINQ"});
  struct Case {
    int link;
    int sheetResult;
  };
  for (const Case c : {Case{541, IDCANCEL}, Case{542, IDOK}}) {
    SCOPED_TRACE(c.link);
    const int result = RunSheet([&] {
      ShowMappingPage();
      uitest::WhenWidget([] { return CXTaskDialog::FromHandle(QApplication::activeModalWidget()) ? QApplication::activeModalWidget() : nullptr; },
                         [&](QWidget* prompt) {
                           EXPECT_EQ(prompt->windowTitle(), QStringLiteral("Required field not Mapped"));
                           QTest::keyClick(prompt, Qt::Key_Escape);
                           QApplication::processEvents();
                           EXPECT_TRUE(prompt->isVisible()) << "Escape must not close the prompt";
                           QWidget* link = CXTaskDialog::FromHandle(prompt)->GetDlgItem(c.link);
                           ASSERT_NE(link, nullptr);
                           QTest::mouseClick(link, Qt::LeftButton);
                         },
                         "the required-field prompt");
      QTest::mouseClick(sheet->GetOkButton(), Qt::LeftButton);
      if (sheet->isVisible()) {
        EXPECT_EQ(mapping->GetGrid()->GetCurSel(), Row(u"TBLB.BLINQ"));
        sheet->GetCancelButton()->click();
      }
    });
    EXPECT_EQ(result, c.sheetResult);
  }
}

TEST(ResourceTexts, MissingResourcesAndInsertsShowAsQuestionMarks) {
  AfxModuleStateGuard module(QorvenaResources());
  EXPECT_EQ(LoadResourceText(IDS_REQUIRED_TITLE), u"Required field not Mapped");
  EXPECT_EQ(LoadResourceText(4711), u"???");
  EXPECT_EQ(FormatResourceText(4711, {u"x"}), u"???");
  EXPECT_EQ(FormatResourceText(IDS_REQUIRED_MAP, {u"Quantity Invoiced"}), MapLink(u"Quantity Invoiced"));
  // The insert has no argument: the system's formatting fails, and the text shows as missing.
  EXPECT_EQ(FormatResourceText(IDS_REQUIRED_MAP, {}), u"???");
  EXPECT_EQ(FormatResourceText(IDS_REQUIRED_INSTRUCTION, {}), kInstruction);
}

}  // namespace
