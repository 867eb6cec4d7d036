// A batch released through the capture host's release path while the PostgreSQL server goes away and comes
// back: documents before the outage are intact, the ones during it fail with a clear report, and the same host
// process releases the rest once the server is back (the pooled connections of the outage are not reused).
#include <functional>

#include "capture/release.h"
#include "tests/export/release_fixture.h"

namespace release_test {
namespace {

using ::testing::AllOf;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// Runs something when a document is done.
class AfterDocument : public capture::ReleaseObserver {
 public:
  AfterDocument(std::size_t position, std::function<void()> action) : position_(position), action_(std::move(action)) {}
  void DocumentDone(const capture::DocumentOutcome& outcome, std::size_t) override {
    if (outcome.position == position_) action_();
  }

 private:
  std::size_t position_;
  std::function<void()> action_;
};

class ServerOutage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    dbAx::AxLibInit();
    server_ = pgtest::Server(pgtest::kRestartFixture);
  }

  void SetUp() override {
    ASSERT_NE(server_, nullptr);
    library_ = pgtest::CreateUniqueLibrary(*server_, "BATCH");
    class_.name = u"Invoices";
    class_.serverName = Utf8ToUtf16(server_->DataSource());
    class_.userName = Utf8ToUtf16(pgtest::kReleaseUser);
    class_.password = Utf8ToUtf16(pgtest::kReleasePassword);
    class_.customProperties = {{u"serverAPILibrary", Utf8ToUtf16(library_)}};
    class_.indexFields = {{u"Supplier", u""}, {u"Invoice", u""}, {u"InvoiceDate", u""}, {u"Item", u""}, {u"Qty", u""}};
    class_.links = {{u"Supplier", KFX_REL_INDEXFIELD, u"TPEC.PESID"},
                    {u"QORVENA01", KFX_REL_TEXTCONSTANT, u"TPEC.PERCD"},
                    {u"APINVOICE", KFX_REL_TEXTCONSTANT, u"TPEC.PEDWN"},
                    {u"GRP1", KFX_REL_TEXTCONSTANT, u"TPEC.PEPGN"},
                    {u"Invoice", KFX_REL_INDEXFIELD, u"TBHB.BHINV"},
                    {u"InvoiceDate", KFX_REL_INDEXFIELD, u"TBHB.BHIND"},
                    {u"V1001", KFX_REL_TEXTCONSTANT, u"TBHB.BHSEN"},
                    {u"Item", KFX_REL_INDEXFIELD, u"TBLB.BLCIT"},
                    {u"Qty", KFX_REL_INDEXFIELD, u"TBLB.BLINQ"}};
  }

  void TearDown() override {
    if (!server_) return;
    if (!Reachable()) {
      EXPECT_TRUE(server_->Resume());
    }
    if (!library_.empty()) pgtest::DropLibrary(*server_, library_);
  }

  static bool Reachable() {
    std::string error;
    return pgtest::Db(*server_).Exec("SELECT 1", &error);
  }

  static capture::Batch Documents(int first, int last) {
    capture::Batch batch;
    batch.name = u"Batch " + Utf8ToUtf16(std::to_string(first));
    batch.documentClass = u"Invoices";
    for (int i = first; i <= last; ++i) {
      capture::BatchDocument d;
      std::string n = std::to_string(i);
      d.name = Utf8ToUtf16("Invoice " + n);
      d.indexFields = {{u"Supplier", u"SUPPLIER01"},
                       {u"Invoice", Utf8ToUtf16("INV-" + n)},
                       {u"InvoiceDate", u"20240315"},
                       {u"Item", Utf8ToUtf16("ITEM-" + n)},
                       {u"Qty", Utf8ToUtf16(n + ".5")}};
      batch.documents.push_back(std::move(d));
    }
    return batch;
  }

  capture::ReleaseReport ReleaseBatch(const capture::Batch& batch, capture::ReleaseObserver* observer = nullptr) {
    CComPtr<Connector> connector = MakeComObject<Connector>();
    capture::ReleaseOptions options;
    options.observer = observer;
    return capture::ReleaseBatch(class_, batch, connector, options);
  }

  std::vector<Row> Rows(const char* table) const {
    std::vector<Row> rows;
    for (auto& raw : pgtest::Db(*server_).Query("SELECT * FROM " + library_ + "." + table + " ORDER BY ctid"))
      rows.push_back(Normalise(table, raw));
    return rows;
  }

  // Every invoice in the tables exactly once, each with its own four records, column by column.
  void ExpectInvoices(const std::vector<int>& invoices) const {
    auto tpec = Rows("TPEC"), tbhb = Rows("TBHB"), tbsb = Rows("TBSB"), tblb = Rows("TBLB");
    ASSERT_EQ(tpec.size(), invoices.size());
    ASSERT_EQ(tbhb.size(), invoices.size());
    ASSERT_EQ(tbsb.size(), invoices.size());
    ASSERT_EQ(tblb.size(), invoices.size());
    for (std::size_t k = 0; k < invoices.size(); ++k) {
      std::string n = std::to_string(invoices[k]);
      SCOPED_TRACE("invoice " + n);
      const std::string key = tpec[k].at("PEGUI").value_or("");
      EXPECT_EQ(key.size(), 15u);
      EXPECT_EQ(tpec[k].at("PESID"), "SUPPLIER01");
      EXPECT_EQ(tbhb[k].at("BHINV"), "INV-" + n);
      EXPECT_EQ(tbhb[k].at("BHIND"), "20240315");
      EXPECT_EQ(tbhb[k].at("BHGUI"), key);
      EXPECT_EQ(tbsb[k].at("BSINV"), "INV-" + n);
      EXPECT_EQ(tbsb[k].at("BSGUI"), key);
      EXPECT_EQ(tblb[k].at("BLINV"), "INV-" + n);
      EXPECT_EQ(tblb[k].at("BLCIT"), "ITEM-" + n);
      EXPECT_EQ(tblb[k].at("BLINQ"), n + ".5");
      EXPECT_EQ(tblb[k].at("BLOLN"), "1");
      EXPECT_EQ(tblb[k].at("BLGUI"), key);
    }
  }

  static inline const pgtest::PgServer* server_ = nullptr;
  std::string library_;
  capture::DocumentClass class_;
};

TEST_F(ServerOutage, DocumentsAfterTheServerStoppedFailClearlyAndAreReleasedOnceItIsBack) {
  AfterDocument stop(2, [] { ASSERT_TRUE(server_->Stop()); });
  capture::ReleaseReport report = ReleaseBatch(Documents(1, 5), &stop);
  EXPECT_TRUE(report.openFailure.empty());
  EXPECT_TRUE(report.closeFailure.empty());
  ASSERT_EQ(report.documents.size(), 5u);
  for (const capture::DocumentOutcome& d : report.documents) {
    SCOPED_TRACE(d.position);
    EXPECT_EQ(d.hr, S_OK);
    if (d.position <= 2) {
      EXPECT_TRUE(d.released);
      ASSERT_EQ(d.log.size(), 1u);
      EXPECT_THAT(Utf16ToUtf8(d.log[0].message), StartsWith("Document Released Successfully"));
      continue;
    }
    // One report per document, naming the failed connection in the driver's words.
    EXPECT_FALSE(d.released);
    EXPECT_EQ(d.result, KFX_REL_ERROR);
    ASSERT_EQ(d.log.size(), 1u);
    std::string text = Utf16ToUtf8(d.log[0].message);
    EXPECT_THAT(text, AllOf(StartsWith("Error in ReleaseDoc: CAxConnection::Open\n"), HasSubstr("Connection refused")));
    EXPECT_THAT(text, ::testing::Not(HasSubstr(pgtest::kReleasePassword)));
    ASSERT_EQ(d.messages.size(), 1u);
    EXPECT_EQ(Utf16ToUtf8(d.messages[0]), text);
  }

  ASSERT_TRUE(server_->Resume());
  ExpectInvoices({1, 2});
  capture::ReleaseReport rest = ReleaseBatch(Documents(3, 5));
  EXPECT_TRUE(rest.AllReleased());
  for (const capture::DocumentOutcome& d : rest.documents) {
    EXPECT_TRUE(d.released) << (d.log.empty() ? std::string() : Utf16ToUtf8(d.log[0].message));
  }
  ExpectInvoices({1, 2, 3, 4, 5});
}

TEST_F(ServerOutage, AServerRestartBetweenDocumentsGoesUnnoticed) {
  AfterDocument restart(2, [] {
    ASSERT_TRUE(server_->Stop());
    ASSERT_TRUE(server_->Resume());
  });
  capture::ReleaseReport report = ReleaseBatch(Documents(1, 4), &restart);
  for (const capture::DocumentOutcome& d : report.documents) {
    EXPECT_TRUE(d.released) << d.position << ": "
                            << (d.log.empty() ? std::string() : Utf16ToUtf8(d.log[0].message));
  }
  ExpectInvoices({1, 2, 3, 4});
}

}  // namespace
}  // namespace release_test
