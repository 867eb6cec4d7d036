// An administrator sets a document class up through the connector's own setup sheet, and the next release
// uses exactly that: everything through the capture host, the registry and the loaded module.
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <sstream>

#include "capture/cli.h"
#include "capture/connector.h"
#include "platform/com/activation.h"
#include "platform/registry/com_registry.h"
#include "platform/ui/window.h"
#include "tests/ui/ui_test_support.h"

namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status;
  std::string out, err;
};

class SetupThenRelease : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    uitest::App();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    EnableRegistryActivation();
    capture::SetProgIdResolver(CLSIDFromProgID);
  }

  void SetUp() override {
    home_ = fs::temp_directory_path() / ("qorvena-e2e-" + std::to_string(::getpid()));
    fs::remove_all(home_);
    ASSERT_EQ(Cli({"register", QORVENA_MODULE_PATH}).status, 0);
    ASSERT_EQ(Cli({"ecm-init", "--server", (home_ / "ecm").string(), "--library", "ECMLIB"}).status, 0);
    ASSERT_EQ(Cli({"class-import", QORVENA_EXAMPLES_DIR "/invoice-class.json"}).status, 0);
  }

  void TearDown() override {
    Cli({"unregister", QORVENA_MODULE_PATH});
    std::error_code ec;
    fs::remove_all(home_, ec);
  }

  CliRun Cli(std::vector<std::string> args) {
    args.insert(args.begin(), {"capture-host", "--home", home_.string()});
    std::ostringstream out, err;
    capture::CliEnvironment env{&out, &err, false, home_.string(), QORVENA_EXAMPLES_DIR};
    int status = capture::RunCli(args, env);
    return {status, out.str(), err.str()};
  }

  // Runs "setup Invoice" and lets `driver` work the sheet once it is open.
  CliRun Setup(std::function<void(QWidget* sheet)> driver) {
    uitest::WhenModal(std::move(driver));
    return Cli({"setup", "Invoice"});
  }

  static void Type(QWidget* sheet, UINT id, const QString& text) {
    auto* edit = dynamic_cast<QLineEdit*>(FindDlgItem(sheet, id));
    ASSERT_NE(edit, nullptr) << id;
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  static void Press(QWidget* sheet, const QString& text) {
    for (auto* button : sheet->findChildren<QPushButton*>()) {
      if (button->text() == text && button->isVisible()) {
        QTest::mouseClick(button, Qt::LeftButton);
        return;
      }
    }
    ADD_FAILURE() << "no button " << text.toStdString();
  }

  fs::path home_;
  uitest::Watchdog watchdog_;
};

TEST_F(SetupThenRelease, WhatOkStoresIsWhatTheNextReleaseUses) {
  const std::string server = "sqlite:" + (home_ / "ecm").string();
  CliRun setup = Setup([&](QWidget* sheet) {
    EXPECT_EQ(sheet->windowTitle(), QStringLiteral("Vantrel Export Connector for InforLX Setup"));
    Type(sheet, 11017, QString::fromStdString(server));
    Type(sheet, 11028, QStringLiteral("ECMLIB"));
    Press(sheet, QStringLiteral("OK"));
  });
  ASSERT_EQ(setup.status, 0) << setup.err;
  EXPECT_NE(setup.out.find("were stored"), std::string::npos) << setup.out;

  CliRun shown = Cli({"class-show", "Invoice"});
  EXPECT_NE(shown.out.find(server), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("ECMLIB"), std::string::npos) << shown.out;

  // The sample batch holds one document the database refuses; the others reach the library set up above.
  CliRun release = Cli({"release", QORVENA_EXAMPLES_DIR "/invoice-batch.json", "--quiet"});
  EXPECT_EQ(release.status, 1) << release.err;
  EXPECT_NE(release.out.find("Released 4 of 5 documents"), std::string::npos) << release.out;
  CliRun rows = Cli({"ecm-show", "--class", "Invoice"});
  EXPECT_NE(rows.out.find("TPEC: 5 rows"), std::string::npos) << rows.out;
  EXPECT_NE(rows.out.find("TBHB: 4 rows"), std::string::npos) << rows.out;
}

TEST_F(SetupThenRelease, CancelChangesNothing) {
  const std::string before = Cli({"class-export", "Invoice"}).out;
  CliRun setup = Setup([&](QWidget* sheet) {
    Type(sheet, 11017, QStringLiteral("ELSEWHERE"));
    Press(sheet, QStringLiteral("Cancel"));
  });
  ASSERT_EQ(setup.status, 0) << setup.err;
  EXPECT_NE(setup.out.find("nothing changed"), std::string::npos) << setup.out;
  EXPECT_EQ(Cli({"class-export", "Invoice"}).out, before);
}

TEST_F(SetupThenRelease, AnUnregisteredSetupScriptIsAClearError) {
  ASSERT_EQ(Cli({"unregister", QORVENA_MODULE_PATH}).status, 0);
  CliRun setup = Cli({"setup", "Invoice"});
  EXPECT_EQ(setup.status, 1);
  EXPECT_NE(setup.err.find("cannot create the setup script 'qorvena.DodoSetupScript'"), std::string::npos)
      << setup.err;
}

}  // namespace
