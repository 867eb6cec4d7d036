#include <QDir>
#include <QFile>

#include "platform/com/modulepath.h"
#include "setup/module_version.h"
#include "tests/setup/setup_fixture.h"

namespace {

using namespace setuptest;

class GeneralPageTest : public SheetFixture {};

Journal Reads(const Journal& journal) {
  Journal reads;
  for (const std::string& call : journal) {
    if (call.rfind("get ", 0) == 0 || call.rfind("CustomProperties.Item", 0) == 0) reads.push_back(call);
  }
  return reads;
}

TEST_F(GeneralPageTest, ReadsTheClassOnFirstShowInOrder) {
  // Leaving the mapping page with required columns unmapped asks; the answer lets it go.
  CXTaskDialogAutoAnswer ignoreRequirement(542);
  data->name = u"Instance";
  data->connectString = u"SERVER";
  data->userName = u"USER";
  data->password = u"PW";
  data->properties->values[u"serverAPILibrary"] = u"LIB";
  RunSheet([&] {
    const Journal reads = Reads(data->journal);
    // The setup script read the links and value names before the sheet opened.
    const Journal expected = {"get Links",         "get BatchVariableNames", "get BatchClassName",
                              "get DocClassName",  "get Name",               "get ConnectString",
                              "get UserName",      "get Password",           "get CustomProperties",
                              "CustomProperties.Item serverAPILibrary"};
    EXPECT_EQ(reads, expected);
    const struct {
      UINT id;
      const char* text;
    } shown[] = {{IDC_BATCH_CLASS, "Invoices"}, {IDC_DOCUMENT_CLASS, "Supplier Invoice"},
                 {IDC_INSTANCE_NAME, "Instance"}, {IDC_SERVER_NAME, "SERVER"},
                 {IDC_USER_NAME, "USER"},        {IDC_PASSWORD, "PW"},
                 {IDC_API_LIBRARY, "LIB"}};
    for (const auto& s : shown) {
      QWidget* w = general->GetDlgItem(s.id);
      const QString text = qobject_cast<QLineEdit*>(w) ? qobject_cast<QLineEdit*>(w)->text() : qobject_cast<QLabel*>(w)->text();
      EXPECT_EQ(text, QString::fromUtf8(s.text)) << s.id;
    }
    // Moving to the other page and back does not read the host again.
    data->journal.clear();
    ShowMappingPage();
    sheet->SetActivePage(0);
    EXPECT_EQ(Reads(data->journal), Journal{});
    EXPECT_EQ(general->GetDlgItemAs<QLineEdit>(IDC_SERVER_NAME)->text(), QStringLiteral("SERVER"));
    sheet->GetCancelButton()->click();
  });
}

TEST_F(GeneralPageTest, AClassNeverSetUpShowsEmptyFields) {
  data->failing = {"Name", "CustomProperties"};
  RunSheet([&] {
    for (UINT id : {IDC_INSTANCE_NAME, IDC_SERVER_NAME, IDC_USER_NAME, IDC_PASSWORD, IDC_API_LIBRARY}) {
      EXPECT_EQ(general->GetDlgItemAs<QLineEdit>(id)->text(), QString()) << id;
    }
    EXPECT_EQ(general->GetDlgItemAs<QLabel>(IDC_DOCUMENT_CLASS)->text(), QStringLiteral("Supplier Invoice"));
    // The whole name is in view on one line.
    auto* docClass = general->GetDlgItemAs<QLabel>(IDC_DOCUMENT_CLASS);
    EXPECT_LE(docClass->fontMetrics().horizontalAdvance(docClass->text()), docClass->width());
    sheet->GetCancelButton()->click();
  });
}

TEST_F(GeneralPageTest, OkWritesTheFieldsInOrderExactlyAsTyped) {
  data->userName = u"old user";
  data->password = u"old";
  data->properties->values[u"serverAPILibrary"] = u"OLDLIB";
  const int result = RunSheet([&] {
    general->GetDlgItemAs<QLineEdit>(IDC_USER_NAME)->clear();
    general->GetDlgItemAs<QLineEdit>(IDC_PASSWORD)->clear();
    SetEditText(*general, IDC_PASSWORD, QStringLiteral("  pass word  "));
    SetEditText(*general, IDC_API_LIBRARY, QStringLiteral("NEWLIB"));
    general->GetDlgItemAs<QLineEdit>(IDC_USER_NAME)->clear();
    data->journal.clear();
    sheet->GetOkButton()->click();
  });
  EXPECT_EQ(result, IDOK);
  EXPECT_EQ(data->Writes(), (Journal{"put Name=", "put ConnectString=", "put UserName=", "put Password=  pass word  ",
                                     "CustomProperties.Remove serverAPILibrary",
                                     "CustomProperties.Add serverAPILibrary=NEWLIB"}));
  EXPECT_EQ(data->userName, u"");
  EXPECT_EQ(data->password, u"  pass word  ");
  // The sheet itself stores nothing else: links and Apply are the setup script's.
  EXPECT_EQ(data->applyCount, 0);
}

TEST_F(GeneralPageTest, FailedWritesDoNotStopTheOthers) {
  data->failing = {"ConnectString", "Password"};
  RunSheet([&] {
    SetEditText(*general, IDC_USER_NAME, QStringLiteral("U"));
    sheet->GetOkButton()->click();
  });
  EXPECT_EQ(data->userName, u"U");
  EXPECT_EQ(data->properties->values.count(u"serverAPILibrary"), 1u);
}

TEST_F(GeneralPageTest, OkOnTheGeneralPageDoesNotAskTheMappingPage) {
  int asked = 0;
  leaveCheck = [&](CPropertyPageSetupMapping&) {
    ++asked;
    return true;
  };
  RunSheet([&] {
    ShowMappingPage();
    sheet->SetActivePage(0);
    EXPECT_EQ(asked, 1);
    SetEditText(*general, IDC_SERVER_NAME, QStringLiteral("S2"));
    sheet->GetOkButton()->click();
  });
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(data->connectString, u"S2");
}

// A copy of this test program whose version block no longer carries the fixed-file-info signature.
std::string CopyWithBrokenSignature() {
  QFile self(QString::fromStdString(GetOwnModulePath()));
  if (!self.open(QIODevice::ReadOnly)) return {};
  QByteArray bytes = self.readAll();
  // The block's key with its terminator, then padding, then the fixed-file-info signature.
  const QByteArray key = QByteArray::fromRawData(reinterpret_cast<const char*>(u"VS_VERSION_INFO"), 32);
  const QByteArray signature("\xBD\x04\xEF\xFE", 4);
  int patched = 0;
  for (int at = bytes.indexOf(key); at >= 0; at = bytes.indexOf(key, at + 1)) {
    for (int gap = 0; gap < 4; ++gap) {
      if (bytes.mid(at + 32 + gap, 4) == signature) {
        bytes[at + 32 + gap] = 0;
        ++patched;
      }
    }
  }
  if (patched == 0) return {};
  const std::string path = QDir::tempPath().toStdString() + "/qorvena-broken-version-" +
                           std::to_string(QCoreApplication::applicationPid());
  QFile copy(QString::fromStdString(path));
  if (!copy.open(QIODevice::WriteOnly) || copy.write(bytes) != bytes.size()) return {};
  return path;
}

TEST(ModuleVersionTest, ReadsTheProductVersionOfAModuleFile) {
  EXPECT_EQ(FormatProductVersion(0x00010005, 0x00020000), u"1.5.2");
  EXPECT_EQ(FormatProductVersion(0x000A0000, 0x00000007), u"10.0.0");
  EXPECT_EQ(FormatProductVersion(0xFFFF0001, 0x00C80000), u"65535.1.200");

  std::u16string text;
  ASSERT_FALSE(GetOwnModulePath().empty());
  EXPECT_TRUE(ReadProductVersion(GetOwnModulePath(), text));
  EXPECT_EQ(text, u"1.5.2");

  // No file, a file that is no module, a module without a version resource, a damaged signature.
  const std::string broken = CopyWithBrokenSignature();
  ASSERT_FALSE(broken.empty());
  const std::string withoutVersion = ModulePathFromAddress(reinterpret_cast<const void*>(&SysAllocStringLen));
  for (const std::string& path : {std::string("/nonexistent/module.so"), std::string("/etc/hostname"), withoutVersion,
                                  broken, std::string()}) {
    text = u"untouched";
    EXPECT_FALSE(ReadProductVersion(path, text)) << path;
    EXPECT_EQ(text, u"untouched") << path;
  }
  QFile::remove(QString::fromStdString(broken));
}

TEST_F(GeneralPageTest, VersionLabelShowsTheProductVersionOfTheModule) {
  RunSheet([&] {
    EXPECT_TRUE(general->GetDlgItem(IDC_VERSION_LABEL)->isVisible());
    EXPECT_TRUE(general->GetDlgItem(IDC_VERSION)->isVisible());
    EXPECT_EQ(general->GetDlgItemAs<QLabel>(IDC_VERSION_LABEL)->text(), QStringLiteral("Version:"));
    EXPECT_EQ(general->GetDlgItemAs<QLabel>(IDC_VERSION)->text(), QStringLiteral("1.5.2"));
    sheet->GetCancelButton()->click();
  });
}

TEST_F(GeneralPageTest, VersionLabelHiddenWithoutAReadableVersion) {
  versionReader = [](std::u16string& text) { return ReadProductVersion("/nonexistent/module.so", text); };
  RunSheet([&] {
    EXPECT_FALSE(general->GetDlgItem(IDC_VERSION_LABEL)->isVisible());
    EXPECT_FALSE(general->GetDlgItem(IDC_VERSION)->isVisible());
    EXPECT_EQ(general->m_strVersion, u"1.0.0");
    sheet->GetCancelButton()->click();
  });
}

TEST_F(GeneralPageTest, PageWithoutAModelReadsNothing) {
  QWidget parent;  // outlives the page, which it does not own
  CPropertyPageSetupGeneral page;
  page.SetVersionReader([](std::u16string&) { return false; });
  ASSERT_TRUE(page.Create(&parent));
  EXPECT_EQ(page.GetDlgItemAs<QLineEdit>(IDC_SERVER_NAME)->text(), QString());
  page.OnOK();  // nothing to write to
  EXPECT_TRUE(data->journal.empty());
  page.setParent(nullptr);
}

}  // namespace
