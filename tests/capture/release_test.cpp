#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "capture/connector.h"
#include "capture/release.h"
#include "fake_connector.h"
#include "platform/com/activation.h"
#include "platform/com/utf.h"

using namespace capture;
using fakes::Journal;
namespace fs = std::filesystem;

namespace {

DocumentClass TestClass() {
  DocumentClass c;
  c.name = u"Invoice";
  c.instanceName = u"ECM export";
  c.serverName = u"sqlite:/srv/ecm";
  c.userName = u"KOFAX";
  c.password = u" pw ";
  c.customProperties = {{u"serverAPILibrary", u"ECMLIB"}};
  c.indexFields = {{u"Invoice", u""}, {u"Name", u""}, {u"Item", u"Lines"}};
  c.links = {{u"Invoice", KFX_REL_INDEXFIELD, u"TBHB.BHINV"},
             {u"Name", KFX_REL_INDEXFIELD, u"TBHB.BHSNM"},
             {u"Item", KFX_REL_INDEXFIELD, u"TBLB.BLCIT"}};
  return c;
}

BatchDocument Doc(const char16_t* invoice, const char16_t* name, std::vector<const char16_t*> items = {}) {
  BatchDocument d;
  d.name = invoice;
  d.kofaxPdfFileName = std::u16string(u"/pdf/") + invoice + u".pdf";
  d.indexFields = {{u"Invoice", invoice}, {u"Name", name}};
  for (auto item : items) d.tables[u"Lines"].push_back({{u"Item", item}});
  return d;
}

class Release : public ::testing::Test {
 protected:
  void SetUp() override {
    Journal().Clear();
    dir = fs::temp_directory_path() / ("qcapture-release-" + std::to_string(::getpid()) + "-" +
                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
    fs::create_directories(dir);
    errorLog = LogFile((dir / "error.log").string());
    messageLog = LogFile((dir / "messages.log").string());
    batch.name = u"Morning";
    batch.file = "batch.json";
    batch.documents = {Doc(u"INV-1", u"Short", {u"A", u"B", u"C"}),
                       Doc(u"INV-2", u"A name far longer than thirty-five characters"), Doc(u"INV-3", u"Short")};
  }
  void TearDown() override { fs::remove_all(dir); }

  ReleaseReport Run() {
    CComPtr<IKfxReleaseScript> script;
    EXPECT_EQ(fakes::CreateFakeConnector(&script), S_OK);
    ReleaseOptions options{&errorLog, &messageLog, nullptr};
    return ReleaseBatch(TestClass(), batch, script, options);
  }

  fs::path dir;
  Batch batch;
  LogFile errorLog{""}, messageLog{""};
};

TEST_F(Release, CallsTheConnectorInThePlatformsOrder) {
  ReleaseReport report = Run();
  EXPECT_EQ(Journal().calls,
            (std::vector<std::string>{"DocumentData", "OpenScript", "DocumentData", "ReleaseDoc", "DocumentData",
                                      "ReleaseDoc", "DocumentData", "ReleaseDoc", "CloseScript"}));
  ASSERT_EQ(report.documents.size(), 3u);
  EXPECT_TRUE(report.documents[0].released);
  EXPECT_FALSE(report.documents[1].released);
  EXPECT_EQ(report.documents[1].result, KFX_REL_ERROR);
  EXPECT_EQ(report.documents[1].hr, S_OK);
  EXPECT_TRUE(report.documents[2].released);
  EXPECT_EQ(report.Released(), 2u);
  EXPECT_FALSE(report.AllReleased());
  EXPECT_TRUE(report.openFailure.empty());
  EXPECT_TRUE(report.closeFailure.empty());
}

TEST_F(Release, TheConnectorSeesEachDocumentsSettingsAndValues) {
  Run();
  ASSERT_EQ(Journal().documents.size(), 3u);
  const fakes::SeenDocument& d = Journal().documents[0];
  EXPECT_EQ(d.pdfFileName, "/pdf/INV-1.pdf");
  EXPECT_EQ(d.server, "sqlite:/srv/ecm");
  EXPECT_EQ(d.user, "KOFAX");
  EXPECT_EQ(d.password, " pw ");
  EXPECT_EQ(d.library, "ECMLIB");
  ASSERT_EQ(d.values.size(), 3u);
  EXPECT_EQ(d.values[0].destination, "TBHB.BHINV");
  EXPECT_EQ(d.values[0].value, "INV-1");
  EXPECT_EQ(d.values[2].tableName, "Lines");
  EXPECT_TRUE(d.values[2].rowsAnswered);
  EXPECT_EQ(d.values[2].rows, (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_EQ(Journal().documents[2].values[0].value, "INV-3");
  EXPECT_TRUE(Journal().documents[2].values[2].rows.empty());
}

TEST_F(Release, MessagesAndLogEntriesPerDocument) {
  ReleaseReport report = Run();
  EXPECT_TRUE(report.documents[0].messages.empty());
  ASSERT_EQ(report.documents[0].log.size(), 1u);
  EXPECT_EQ(report.documents[0].log[0].err1, 0);
  EXPECT_EQ(Utf16ToUtf8(report.documents[0].log[0].message), "Document Released Successfully /pdf/INV-1.pdf");
  EXPECT_EQ(Utf16ToUtf8(report.documents[0].log[0].module), "tests/capture/fake_connector.h");
  ASSERT_EQ(report.documents[1].messages.size(), 1u);
  EXPECT_EQ(Utf16ToUtf8(report.documents[1].messages[0]), "Error Updating TBHB.BHSNM: value too long\nsecond line");
  ASSERT_EQ(report.documents[1].log.size(), 1u);
  EXPECT_EQ(report.documents[1].log[0].err1, 1);
  EXPECT_GT(report.documents[1].log[0].line, 0);
  EXPECT_TRUE(report.sessionLog.empty());

  // The error log file has every entry: time, where, error numbers, source position, the message.
  std::string text, error;
  ASSERT_TRUE(errorLog.Read(text, &error)) << error;
  EXPECT_NE(text.find("[Invoice / Morning] document 1 (INV-1)  error 0 0 0  at tests/capture/fake_connector.h:"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("[Invoice / Morning] document 2 (INV-2)  error 1 0 0  at tests/capture/fake_connector.h:" +
                      std::to_string(report.documents[1].log[0].line) +
                      "\n    Error Updating TBHB.BHSNM: value too long\n    second line\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("    Document Released Successfully /pdf/INV-3.pdf\n"), std::string::npos) << text;
  ASSERT_TRUE(messageLog.Read(text, &error));
  EXPECT_NE(text.find("document 2 (INV-2)  message 1 1\n    Error Updating TBHB.BHSNM"), std::string::npos) << text;
  EXPECT_EQ(text.find("INV-1"), std::string::npos);
}

TEST_F(Release, ALongBatchAllReleased) {
  batch.documents.clear();
  for (int i = 0; i < 200; ++i) batch.documents.push_back(Doc(u"N", u"Short", {u"A"}));
  struct Counter : ReleaseObserver {
    std::size_t started = 0, done = 0, total = 0;
    void DocumentStarting(std::size_t position, std::size_t t) override {
      EXPECT_EQ(position, started + 1);
      ++started;
      total = t;
    }
    void DocumentDone(const DocumentOutcome& d, std::size_t) override {
      EXPECT_EQ(d.position, ++done);
    }
  } counter;
  CComPtr<IKfxReleaseScript> script;
  fakes::CreateFakeConnector(&script);
  ReleaseReport report = ReleaseBatch(TestClass(), batch, script, {nullptr, nullptr, &counter, false});
  EXPECT_TRUE(report.AllReleased());
  EXPECT_TRUE(report.documents.empty());  // nothing of a document is kept once it has been seen
  EXPECT_EQ(report.Released(), 200u);
  EXPECT_EQ(counter.done, 200u);
  EXPECT_EQ(counter.total, 200u);
}

TEST_F(Release, AConnectorThatThrowsFailsOnlyThatDocument) {
  batch.documents[1] = Doc(u"THROW", u"Short");
  ReleaseReport report = Run();
  EXPECT_TRUE(report.documents[0].released);
  EXPECT_FALSE(report.documents[1].released);
  EXPECT_EQ(report.documents[1].hr, E_UNEXPECTED);
  EXPECT_NE(report.documents[1].hostFailure.find("ReleaseDoc failed: 0x8000FFFF"), std::string::npos)
      << report.documents[1].hostFailure;
  EXPECT_TRUE(report.documents[2].released);
  EXPECT_EQ(Journal().calls.back(), "CloseScript");
}

TEST_F(Release, OpenScriptFailureReleasesNothingButCloses) {
  Journal().failOpen = true;
  ReleaseReport report = Run();
  EXPECT_EQ(Journal().calls, (std::vector<std::string>{"DocumentData", "OpenScript", "CloseScript"}));
  EXPECT_EQ(report.openFailure, "OpenScript returned -1");
  EXPECT_EQ(report.Released(), 0u);
  EXPECT_FALSE(report.AllReleased());
}

TEST_F(Release, CloseFailureAndRefusedDocumentData) {
  Journal().failClose = true;
  batch.documents.resize(1);
  ReleaseReport report = Run();
  EXPECT_EQ(report.Released(), 1u);
  EXPECT_EQ(report.closeFailure, "CloseScript returned -1");
  EXPECT_FALSE(report.AllReleased());

  Journal().Clear();
  Journal().putResult = E_FAIL;
  report = Run();
  EXPECT_FALSE(report.documents[0].released);
  EXPECT_NE(report.documents[0].hostFailure.find("DocumentData failed"), std::string::npos);
  EXPECT_EQ(std::count(Journal().calls.begin(), Journal().calls.end(), "ReleaseDoc"), 0);
}

// ---- creating the connector ----

class FakeFactory final : public ComObject<IClassFactory> {
 public:
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (outer) return CLASS_E_NOAGGREGATION;
    CComPtr<IKfxReleaseScript> script;
    fakes::CreateFakeConnector(&script);
    return script->QueryInterface(riid, ppv);
  }
  HRESULT LockServer(int) override { return S_OK; }
};

constexpr CLSID kFakeClsid = MakeGuid("{5E1F0000-1111-2222-3333-444455556666}");

HRESULT ResolveKnown(LPCOLESTR progId, CLSID* clsid) {
  if (std::u16string_view(progId) != u"test.Connector") return CO_E_CLASSSTRING;
  *clsid = kFakeClsid;
  return S_OK;
}

class Connector : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
    CComPtr<IClassFactory> factory(new FakeFactory);
    ASSERT_EQ(CoRegisterInprocClass(kFakeClsid, factory, &cookie), S_OK);
  }
  void TearDown() override {
    CoRevokeInprocClass(cookie);
    SetProgIdResolver(nullptr);
    SetConnectorFallback(nullptr);
    CoUninitialize();
  }
  DWORD cookie = 0;
};

TEST_F(Connector, ThroughCoCreateInstanceByClassIdOrResolvedProgId) {
  CComPtr<IKfxReleaseScript> script;
  std::string failure;
  EXPECT_EQ(CreateReleaseScript(u"{5E1F0000-1111-2222-3333-444455556666}", &script, &failure), S_OK) << failure;
  EXPECT_TRUE(script);
  script.Release();
  EXPECT_EQ(CreateReleaseScript(u"test.Connector", &script, &failure), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(failure, "cannot create the export connector 'test.Connector': 0x80040154 Class not registered");
  SetProgIdResolver(ResolveKnown);
  EXPECT_EQ(CreateReleaseScript(u"test.Connector", &script, &failure), S_OK);
  EXPECT_TRUE(script);
}

TEST_F(Connector, FallbackOnlyWhenTheClassIsNotFound) {
  SetConnectorFallback(fakes::CreateFakeConnector);
  CComPtr<IKfxReleaseScript> script;
  std::string failure;
  EXPECT_EQ(CreateReleaseScript(u"qorvena.QorvenExportConnector", &script, &failure), S_OK);
  EXPECT_TRUE(script);
  script.Release();
  SetProgIdResolver(ResolveKnown);
  EXPECT_EQ(CreateReleaseScript(u"unknown.ProgId", &script, &failure), S_OK);  // CO_E_CLASSSTRING: not found
}

// Documents handed over one at a time: without kept outcomes only the counts remain, and a batch that could not be
// read to its end is not all released.
TEST_F(Release, DocumentsHandedOverOneAtATimeKeepOnlyTheCounts) {
  CComPtr<IKfxReleaseScript> script;
  ASSERT_EQ(fakes::CreateFakeConnector(&script), S_OK);
  std::vector<std::size_t> done;
  struct Observer : ReleaseObserver {
    std::vector<std::size_t>* done;
    void DocumentDone(const DocumentOutcome& d, std::size_t total) override {
      done->push_back(d.position * 10 + total);
    }
  } observer;
  observer.done = &done;
  ReleaseOptions options{&errorLog, &messageLog, &observer, false};
  Batch header = batch;
  header.documents.clear();
  BatchRelease release(TestClass(), header, 3, script, options);
  release.Release(batch.documents[0]);
  release.Release(batch.documents[1]);
  release.ReadFailed("batch.json: cannot be read");
  ReleaseReport report = release.Finish();
  EXPECT_TRUE(report.documents.empty());
  EXPECT_EQ(report.total, 3u);
  EXPECT_EQ(report.Released(), 1u);
  EXPECT_EQ(report.readFailure, "batch.json: cannot be read");
  EXPECT_FALSE(report.AllReleased());
  EXPECT_EQ(done, (std::vector<std::size_t>{13, 23}));
  EXPECT_EQ(Journal().calls.back(), "CloseScript");
}

}  // namespace
