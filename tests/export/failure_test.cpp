// Every way a release can fail, with the database refusing through the recording ADO: what the platform is told
// and what stays in the tables.
#include <algorithm>

#include "platform/ado/recording/recorder.h"
#include "tests/export/release_fixture.h"

namespace release_test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

// Document data whose Values collection cannot be read.
class NoValues : public ComObject<NoDispatch<IReleaseData>> {
 public:
  explicit NoValues(CComPtr<IReleaseData> inner) : inner_(std::move(inner)) {}
  HRESULT get_Name(BSTR* v) override { return inner_->get_Name(v); }
  HRESULT get_KofaxPDFFileName(BSTR* v) override { return inner_->get_KofaxPDFFileName(v); }
  HRESULT get_ConnectString(BSTR* v) override { return inner_->get_ConnectString(v); }
  HRESULT get_UserName(BSTR* v) override { return inner_->get_UserName(v); }
  HRESULT get_Password(BSTR* v) override { return inner_->get_Password(v); }
  HRESULT get_Values(IValues** v) override {
    *v = nullptr;
    return E_FAIL;
  }
  HRESULT get_CustomProperties(ICustomProperties** v) override { return inner_->get_CustomProperties(v); }
  HRESULT LogError(LONG a, LONG b, LONG c, BSTR m, BSTR mod, LONG l) override {
    return inner_->LogError(a, b, c, m, mod, l);
  }
  HRESULT SendMessage(BSTR m, LONG n, LONG i) override { return inner_->SendMessage(m, n, i); }

 private:
  CComPtr<IReleaseData> inner_;
};

class Failing : public ReleaseFixture {
 protected:
  void SetUp() override {
    ReleaseFixture::SetUp();
    recorder_.Install();
  }
  void TearDown() override {
    recorder_.Uninstall();
    ReleaseFixture::TearDown();
  }

  std::size_t CountOf(const std::string& key) const {
    auto entries = recorder_.Entries();
    return static_cast<std::size_t>(
        std::count_if(entries.begin(), entries.end(), [&](const ado::RecordedCall& c) { return c.key == key; }));
  }

  // Header values plus three invoice lines.
  static std::vector<capture::DocumentValue> ThreeLines() {
    auto values = RequiredValues();
    values.erase(values.end() - 2, values.end());
    values.push_back(TableValue("TBLB.BLCIT", {"A", "B", "C"}));
    values.push_back(TableValue("TBLB.BLINQ", {"1", "2", "3"}));
    return values;
  }

  static ado::ProviderErrors Refusal(const char16_t* text) {
    return {ado::MakeProviderError(DB_E_INTEGRITYVIOLATION, text, u"23505")};
  }

  ado::AdoRecorder recorder_;
};

TEST_F(Failing, ValuesThatCannotBeReadFailWithoutOpeningAConnection) {
  events_ = std::make_shared<RecordingEvents>();
  CComPtr<IReleaseData> data = MakeComObject<NoValues>(capture::MakeReleaseData(document_, events_));
  connector_->putref_DocumentData(data);
  KfxReturnValue ret = KFX_REL_SUCCESS;
  EXPECT_EQ(connector_->ReleaseDoc(&ret), S_OK);
  EXPECT_EQ(ret, KFX_REL_ERROR);
  EXPECT_THAT(Logged(), ElementsAre("Failed to get values"));
  ASSERT_EQ(events_->messages.size(), 1u);
  EXPECT_EQ(events_->messages[0].text, "Failed to get values");
  EXPECT_THAT(recorder_.Calls(), IsEmpty());
}

TEST_F(Failing, AConnectionThatCannotBeMadeOrOpenedLeavesTheTablesUntouched) {
  struct Case {
    const char* pattern;
    HRESULT hr;
    ado::ProviderErrors errors;
    const char* report;
  };
  const Case cases[] = {
      {"CoCreateInstance(Connection)", REGDB_E_CLASSNOTREG, {},
       "Error in ReleaseDoc: The dbAx Library failed to initialize\nCOM Error: Class not registered\n"
       "Source: CAxConnection::Create"},
      {"Connection.Open", DB_SEC_E_AUTH_FAILED,
       {ado::MakeProviderError(DB_SEC_E_AUTH_FAILED, u"Authorization failure for user KOFAXREL.", u"28000")},
       "Error in ReleaseDoc: CAxConnection::Open\nAuthorization failure for user KOFAXREL.\n"
       "COM Error: IDispatch error #3149"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    recorder_.ClearFailures();
    recorder_.FailWhen(c.pattern, 1, c.hr, c.errors);
    EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
    EXPECT_THAT(Logged(), ElementsAre(c.report));
    EXPECT_EQ(CountOf("Recordset.Open"), 0u);
  }
  for (const char* table : {"TPEC", "TBHB", "TBSB", "TBLB"}) EXPECT_THAT(Rows(table), IsEmpty()) << table;
}

TEST_F(Failing, AHeaderCommitFailureKeepsWhatWasCommittedAndCancelsWhatIsPending) {
  struct Case {
    std::size_t update;  // which Recordset.Update fails
    const char* table;
    std::size_t committed;  // header tables committed before it (TPEC, TBHB, TBSB in that order)
    std::size_t cancels;
  };
  const Case cases[] = {{1, "TPEC", 0, 2}, {2, "TBHB", 1, 1}, {3, "TBSB", 2, 0}};
  const char* tables[] = {"TPEC", "TBHB", "TBSB"};
  std::size_t earlier[3] = {0, 0, 0};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    recorder_.ClearFailures();
    recorder_.ClearCalls();
    recorder_.FailWhen("Recordset.Update", c.update, DB_E_INTEGRITYVIOLATION, Refusal(u"Duplicate key."));
    EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
    EXPECT_THAT(Logged(), ElementsAre(std::string("Error Updating ") + c.table +
                                      ": CAxRecordset::Update\nDuplicate key.\nCOM Error: IDispatch error #3119"));
    EXPECT_EQ(CountOf("Recordset.CancelUpdate"), c.cancels);
    for (std::size_t t = 0; t < 3; ++t) {
      if (t < c.committed) ++earlier[t];
      EXPECT_EQ(Rows(tables[t]).size(), earlier[t]) << tables[t];
    }
    EXPECT_THAT(Rows("TBLB"), IsEmpty());
  }
}

TEST_F(Failing, ALineThatCannotBeCommittedIsCancelledAndTheNextLineKeepsItsNumber) {
  recorder_.FailWhen("Recordset.Update", 5, DB_E_INTEGRITYVIOLATION, Refusal(u"Line refused."));
  EXPECT_EQ(Release(ThreeLines()), KFX_REL_ERROR);
  EXPECT_THAT(Logged(), ElementsAre("Error Updating TBLB record 2 of 3: CAxRecordset::Update\nLine refused.\n"
                                    "COM Error: IDispatch error #3119"));
  EXPECT_EQ(CountOf("Recordset.CancelUpdate"), 1u);
  auto lines = Rows("TBLB");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(*lines[0]["BLOLN"], "1");
  EXPECT_EQ(*lines[1]["BLOLN"], "3");
  EXPECT_EQ(*lines[1]["BLCSQ"], "8");
  for (const char* table : {"TPEC", "TBHB", "TBSB"}) EXPECT_EQ(Rows(table).size(), 1u) << table;
}

TEST_F(Failing, ALineThatCannotBeCancelledStopsTheLines) {
  recorder_.FailWhen("Recordset.Update", 4, DB_E_INTEGRITYVIOLATION, Refusal(u"Line refused."));
  recorder_.FailWhen("Recordset.CancelUpdate", 1, E_FAIL, Refusal(u"Cancel refused."));
  EXPECT_EQ(Release(ThreeLines()), KFX_REL_ERROR);
  EXPECT_THAT(Logged(), ElementsAre("Error Updating TBLB record 1 of 3: CAxRecordset::Update\nLine refused.\n"
                                    "COM Error: IDispatch error #3119",
                                    "Error Updating TBLB: CAxRecordset::CancelUpdate\nCancel refused.\n"
                                    "COM Error: Unspecified error"));
  EXPECT_THAT(Rows("TBLB"), IsEmpty());
}

TEST_F(Failing, ATableThatFailsToClose) {
  struct Case {
    std::size_t close;  // the invoice lines' table closes first, then TBSB, TBHB, TPEC
    std::vector<std::string> reports;
  };
  const Case cases[] = {
      {1, {"Error Updating TBLB: The dbAx Library failed to close\nCOM Error: Unspecified error\n"
           "Source: CAxRecordset::Close"}},
      // A header recordset that fails to close after everything was committed is not reported at all.
      {2, {}},
  };
  std::size_t released = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.close);
    recorder_.ClearFailures();
    recorder_.FailWhen("Recordset.Close", c.close, E_FAIL);
    EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
    EXPECT_EQ(Logged(), c.reports);
    EXPECT_EQ(events_->messages.size(), c.reports.size());
    ++released;
    for (const char* table : {"TPEC", "TBHB", "TBSB", "TBLB"}) EXPECT_EQ(Rows(table).size(), released) << table;
  }
}

TEST_F(Failing, AnAutomaticColumnThatCannotBeWrittenFailsTheDocument) {
  recorder_.FailWhen("Field[PEGUI].put_Value(*", 1, DB_E_ERRORSOCCURRED);
  EXPECT_EQ(Release(RequiredValues()), KFX_REL_ERROR);
  auto logged = Logged();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_THAT(logged[0], StartsWith("Error in ReleaseDoc: Failed to set Field 'PEGUI' to value '"));
  EXPECT_THAT(logged[0], ::testing::EndsWith("' (Error Code: 0x80040e21)"));
  for (const char* table : {"TPEC", "TBHB", "TBSB", "TBLB"}) EXPECT_THAT(Rows(table), IsEmpty()) << table;
}

TEST_F(Failing, AHeaderRecordThatCannotBeCancelledIsReportedOnce) {
  auto values = RequiredValues();
  values[4] = Value("TBHB.BHIND", "202403150");
  recorder_.FailWhen("Recordset.CancelUpdate", 1, E_FAIL);
  EXPECT_EQ(Release(values), KFX_REL_ERROR);
  EXPECT_THAT(Logged(), ElementsAre(StartsWith("Error in readVariables: Invalid number of digits"),
                                    "Error in ReleaseDoc: CAxRecordset::CancelUpdate\nCOM Error: Unspecified error"));
}

TEST_F(Failing, TheReleaseTalksToTheDatabaseInTheDescribedOrder) {
  ASSERT_EQ(Release(ThreeLines()), KFX_REL_SUCCESS) << recorder_.Dump();
  std::vector<std::string> protocol;
  for (const std::string& line : recorder_.Calls()) {
    for (const char* key : {"CoCreateInstance", "Connection.put_CursorLocation", "Connection.Open",
                            "Recordset.Open", "Recordset.Update", "Recordset.Close", "Connection.Close"}) {
      if (line.rfind(key, 0) == 0) protocol.push_back(line);
    }
  }
  const std::string server = "sqlite:" + dir_.string();
  EXPECT_THAT(protocol,
              ElementsAre("CoCreateInstance(Connection)", "Connection.put_CursorLocation(3)",
                          "Connection.Open(\"Provider=IBMDA400;Data source=" + server +
                              ";\", \"KOFAXREL\", \"secret\", -1)",
                          "CoCreateInstance(Recordset)",
                          "Recordset.Open(\"SELECT * FROM ECMLIB.TPEC WHERE 1=0\", <Connection>, 0, 3, -1)",
                          "CoCreateInstance(Recordset)",
                          "Recordset.Open(\"SELECT * FROM ECMLIB.TBHB WHERE 1=0\", <Connection>, 0, 3, -1)",
                          "CoCreateInstance(Recordset)",
                          "Recordset.Open(\"SELECT * FROM ECMLIB.TBSB WHERE 1=0\", <Connection>, 0, 3, -1)",
                          "Recordset.Update(<missing>, <missing>)", "Recordset.Update(<missing>, <missing>)",
                          "Recordset.Update(<missing>, <missing>)", "CoCreateInstance(Recordset)",
                          "Recordset.Open(\"SELECT * FROM ECMLIB.TBLB WHERE 1=0\", <Connection>, 0, 3, -1)",
                          "Recordset.Update(<missing>, <missing>)", "Recordset.Update(<missing>, <missing>)",
                          "Recordset.Update(<missing>, <missing>)", "Recordset.Close()", "Recordset.Close()",
                          "Recordset.Close()", "Recordset.Close()", "Connection.Close()"));
}

}  // namespace
}  // namespace release_test
