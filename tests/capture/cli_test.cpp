#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "capture/cli.h"
#include "capture/connector.h"
#include "fake_connector.h"

using namespace capture;
namespace fs = std::filesystem;

namespace {

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    fakes::Journal().Clear();
    SetConnectorFallback(fakes::CreateFakeConnector);
    dir = fs::temp_directory_path() / ("qcapture-cli-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    home = (dir / "home").string();
  }
  void TearDown() override {
    SetConnectorFallback(nullptr);
    fs::remove_all(dir);
  }

  int Run(std::vector<std::string> args) {
    out.str("");
    err.str("");
    args.insert(args.begin(), {"capture-host", "--home", home});
    CliEnvironment env{&out, &err, false, "", QORVENA_EXAMPLES_DIR};
    return RunCli(args, env);
  }
  std::string Write(const std::string& name, const std::string& text) {
    fs::path p = dir / name;
    std::ofstream(p) << text;
    return p.string();
  }
  std::string Example(const char* name) { return (fs::path(QORVENA_EXAMPLES_DIR) / name).string(); }

  fs::path dir;
  std::string home;
  std::ostringstream out, err;
};

TEST_F(Cli, UsageErrors) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{"frobnicate"}, "unknown command 'frobnicate'"},
      {{"release"}, "release: missing argument"},
      {{"release", "a.json", "b.json"}, "unexpected argument 'b.json'"},
      {{"release", "a.json", "--bogus"}, "unknown option --bogus"},
      {{"ecm-init", "--server"}, "the option --server needs a value"},
      {{"ecm-init", "--server", "x"}, "ecm-init needs --server DIR and --library LIB"},
      {{"ecm-show"}, "ecm-show needs --server DIR and --library LIB"},
      {{"class-create", "X", "--table-field", "nosplit"}, "--table-field takes TABLE/NAME"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.args), kExitBadInput) << c.message;
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
  }
  EXPECT_EQ(Run({"help"}), kExitOk);
  EXPECT_NE(out.str().find("usage: capture-host"), std::string::npos);
}

TEST_F(Cli, EcmInitCreatesOnceAndRefusesBadNames) {
  const std::string server = (dir / "ecm").string();
  EXPECT_EQ(Run({"ecm-init", "--server", server, "--library", "ECMLIB"}), kExitOk) << err.str();
  EXPECT_TRUE(fs::exists(dir / "ecm" / "ECMLIB.db"));
  EXPECT_EQ(Run({"ecm-init", "--server", "sqlite:" + server, "--library", "ECMLIB"}), kExitFailed);
  EXPECT_NE(err.str().find("already exists"), std::string::npos) << err.str();
  EXPECT_EQ(Run({"ecm-init", "--server", server, "--library", "ECM;LIB"}), kExitBadInput);
  EXPECT_NE(err.str().find("not a valid library name"), std::string::npos) << err.str();

  EXPECT_EQ(Run({"ecm-show", "--server", server, "--library", "ECMLIB"}), kExitOk) << err.str();
  EXPECT_NE(out.str().find("TPEC: 0 rows\nTBHB: 0 rows\nTBSB: 0 rows\nTBLB: 0 rows\n"), std::string::npos) << out.str();
  EXPECT_EQ(Run({"ecm-show", "--server", server, "--library", "NOLIB"}), kExitFailed);
  EXPECT_NE(err.str().find("there is no library NOLIB"), std::string::npos) << err.str();
}

TEST_F(Cli, ClassesImportExportShowDelete) {
  EXPECT_EQ(Run({"classes"}), kExitOk);
  EXPECT_NE(out.str().find("No document classes"), std::string::npos);
  EXPECT_EQ(Run({"class-import", Example("invoice-class.json")}), kExitOk) << err.str();
  EXPECT_EQ(Run({"class-import", Example("invoice-class.json")}), kExitFailed);
  EXPECT_NE(err.str().find("already exists (use --replace"), std::string::npos) << err.str();
  EXPECT_EQ(Run({"class-import", Example("invoice-class.json"), "--replace"}), kExitOk) << err.str();

  EXPECT_EQ(Run({"classes"}), kExitOk);
  EXPECT_NE(out.str().find("Invoice  (batch class 'AP Invoices'"), std::string::npos) << out.str();
  EXPECT_EQ(Run({"class-show", "invoice"}), kExitOk);
  EXPECT_NE(out.str().find("TPEC.PESID <- indexField 'VendorId'"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("ItemNumber  (table InvoiceLines)"), std::string::npos) << out.str();

  const std::string exported = (dir / "exported.json").string();
  EXPECT_EQ(Run({"class-export", "Invoice", "--output", exported}), kExitOk) << err.str();
  EXPECT_EQ(Run({"class-set", "Invoice", "--server", "sqlite:/x", "--library", "OTHER", "--password", " p w "}), kExitOk)
      << err.str();
  EXPECT_EQ(Run({"class-export", "Invoice"}), kExitOk);
  EXPECT_NE(out.str().find("\"serverAPILibrary\": \"OTHER\""), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("\"password\": \" p w \""), std::string::npos) << out.str();
  EXPECT_EQ(Run({"class-import", exported, "--replace"}), kExitOk) << err.str();
  EXPECT_EQ(Run({"class-export", "Invoice"}), kExitOk);
  EXPECT_NE(out.str().find("\"serverAPILibrary\": \"ECMLIB\""), std::string::npos);

  EXPECT_EQ(Run({"class-delete", "Invoice"}), kExitOk);
  EXPECT_EQ(Run({"class-delete", "Invoice"}), kExitBadInput);
  EXPECT_EQ(Run({"class-show", "Invoice"}), kExitBadInput);
  EXPECT_NE(err.str().find("there is no document class 'Invoice'"), std::string::npos);
}

TEST_F(Cli, ClassCreateFromTheCommandLine) {
  EXPECT_EQ(Run({"class-create", "Receipt", "--batch-class", "AP", "--index-field", "Vendor", "--table-field",
                 "Lines/Item", "--batch-field", "OriginalFolder"}),
            kExitOk)
      << err.str();
  EXPECT_EQ(Run({"class-create", "Receipt"}), kExitFailed);
  EXPECT_EQ(Run({"class-create", "Bad", "--index-field", "Lines", "--table-field", "Lines/Item"}), kExitBadInput);
  EXPECT_EQ(Run({"class-export", "Receipt"}), kExitOk);
  EXPECT_NE(out.str().find("{\n      \"name\": \"Item\",\n      \"table\": \"Lines\"\n    }"), std::string::npos)
      << out.str();
}

TEST_F(Cli, BadBatchFilesGiveThePlace) {
  ASSERT_EQ(Run({"class-import", Example("invoice-class.json")}), kExitOk);
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"{\"documentClass\": \"Invoice\",\n \"documents\": [\n  {\"indexFields\": {\"VendorId\": \"1\",}}]}",
       "bad.json:3:36: not valid JSON"},
      {R"({"documentClass": "Invoice", "documents": [{"indexFields": {"VendorId": ["x"]}}]})",
       "bad.json: at /documents/0/indexFields/VendorId/0: expected a table row"},
      {R"({"documentClass": "Invoice", "documents": [{"indexFields": {"Vendor": "x"}}]})",
       "bad.json: at /documents/0/indexFields/Vendor: the document class 'Invoice' has no index field 'Vendor'"},
      {R"({"documentClass": "Nope", "documents": [{}]})", "there is no document class 'Nope'"},
  };
  for (const Case& c : cases) {
    std::string path = Write("bad.json", c.text);
    EXPECT_EQ(Run({"release", path}), kExitBadInput) << c.text;
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    EXPECT_TRUE(fakes::Journal().calls.empty());
  }
  EXPECT_EQ(Run({"release", (dir / "missing.json").string()}), kExitBadInput);
  EXPECT_NE(err.str().find("missing.json: cannot be read"), std::string::npos);
}

TEST_F(Cli, ReleaseExitStatusTellsWhetherEveryDocumentWasReleased) {
  ASSERT_EQ(Run({"class-import", Example("invoice-class.json")}), kExitOk);
  // The sample batch has one vendor name the fake refuses, as the database does.
  EXPECT_EQ(Run({"release", Example("invoice-batch.json")}), kExitFailed);
  EXPECT_NE(out.str().find("  [1/5] INV-24-1001: released\n"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("  [4/5] INV-24-1004: NOT released\n        Error Updating TBHB.BHSNM: value too long\n"
                           "        second line\n"),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("Released 4 of 5 documents; 1 not released."), std::string::npos) << out.str();

  EXPECT_EQ(Run({"release", Example("invoice-batch.json"), "--quiet"}), kExitFailed);
  EXPECT_EQ(out.str().find("INV-24-1001"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("INV-24-1004: NOT released"), std::string::npos);

  fakes::Journal().maxLength = 100;
  EXPECT_EQ(Run({"release", Example("invoice-batch.json")}), kExitOk) << out.str() << err.str();
  EXPECT_NE(out.str().find("Released 5 of 5 documents."), std::string::npos) << out.str();

  fakes::Journal().failOpen = true;
  EXPECT_EQ(Run({"release", Example("invoice-batch.json")}), kExitFailed);
  EXPECT_NE(err.str().find("the connector did not start: OpenScript returned -1"), std::string::npos) << err.str();

  EXPECT_EQ(Run({"log"}), kExitOk);
  EXPECT_NE(out.str().find("error 1 0 0  at tests/capture/fake_connector.h:"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("    Document Released Successfully /srv/kofax/release/ap/000231/00000001.pdf\n"),
            std::string::npos);
  EXPECT_EQ(Run({"log", "--messages"}), kExitOk);
  EXPECT_NE(out.str().find("message 1 1\n    Error Updating TBHB.BHSNM"), std::string::npos) << out.str();
  EXPECT_EQ(Run({"log", "--clear"}), kExitOk);
  EXPECT_EQ(Run({"log"}), kExitOk);
  EXPECT_NE(out.str().find("is empty"), std::string::npos);
}

TEST_F(Cli, ReleaseWithTheClassNamedOnTheCommandLine) {
  ASSERT_EQ(Run({"class-import", Example("invoice-class.json")}), kExitOk);
  std::string batch = Write("other.json", R"({"documentClass": "Elsewhere", "documents": [{"indexFields": {"VendorId": "1"}}]})");
  EXPECT_EQ(Run({"release", batch, "--class", "Invoice"}), kExitOk) << err.str();
  ASSERT_EQ(fakes::Journal().documents.size(), 1u);
  EXPECT_EQ(fakes::Journal().documents[0].library, "ECMLIB");
}

TEST_F(Cli, NoConnectorIsAClearFailure) {
  SetConnectorFallback(nullptr);
  ASSERT_EQ(Run({"class-import", Example("invoice-class.json")}), kExitOk);
  EXPECT_EQ(Run({"release", Example("invoice-batch.json")}), kExitFailed);
  EXPECT_NE(err.str().find("cannot create the export connector 'qorvena.QorvenExportConnector'"), std::string::npos)
      << err.str();
}

TEST_F(Cli, DemoRunsTheWholeFlow) {
  EXPECT_EQ(Run({"demo"}), kExitOk) << out.str() << err.str();
  EXPECT_TRUE(fs::exists(fs::path(home) / "demo" / "ecm" / "DEMOLIB.db"));
  EXPECT_NE(out.str().find("Released 4 of 5 documents"), std::string::npos) << out.str();
  EXPECT_NE(out.str().find("TBLB: 0 rows"), std::string::npos);  // the fake writes nothing
  ASSERT_EQ(fakes::Journal().documents.size(), 5u);
  // The connector is told where the demo's original files are, and they exist.
  std::string folder;
  for (const auto& v : fakes::Journal().documents[0].values)
    if (v.destination == "OriginalFolder") folder = v.value;
  EXPECT_TRUE(fs::exists(fs::path(folder) / "inv-24-1001.pdf")) << folder;
  // A second run starts afresh.
  EXPECT_EQ(Run({"demo"}), kExitOk) << err.str();
  fakes::Journal().maxLength = 0;  // nothing gets through
  EXPECT_EQ(Run({"demo"}), kExitFailed);
}

}  // namespace
