// Fixtures for the data access layer: the layer started on the test's thread, a server folder with an ECM-like
// library, the recording ADO, and catching the layer's exceptions.
#pragma once

#include <gtest/gtest.h>

#include <functional>

#include "dbax/dbax.h"
#include "platform/ado/recording/recorder.h"
#include "tests/ado/ado_test_support.h"

namespace dbaxtest {

using Lines = std::vector<std::string>;

// Runs f and gives the CAxException it throws (owned), or null.
inline dbAx::AxExceptionPtr Catch(const std::function<void()>& f) {
  try {
    f();
  } catch (dbAx::CAxException* e) {
    return dbAx::AxExceptionPtr(e);
  }
  return nullptr;
}

inline std::string Text(const std::u16string& s) { return Utf16ToUtf8(s); }

// Puts provider errors into a connection's Errors collection, as a provider does when an operation fails.
inline void PlaceErrors(_Connection* c, const ado::ProviderErrors& errors) {
  CComPtr<Errors> collection;
  ASSERT_EQ(c->get_Errors(&collection), S_OK);
  CComPtr<ado::IProviderErrorSink> sink;
  ASSERT_EQ(collection.QueryInterface(&sink), S_OK);
  sink->ReplaceErrors(errors);
}

inline LONG ErrorCount(_Connection* c) {
  CComPtr<Errors> collection;
  c->get_Errors(&collection);
  LONG n = -1;
  collection->get_Count(&n);
  return n;
}

constexpr char16_t kHeaderTable[] =
    u"CREATE TABLE ECMLIB.TBHB (BHCUR CHAR(2), BHINV CHAR(15), BHDAT DECIMAL(8, 0), BHAMT DECIMAL(5,2), "
    u"BHNUM NUMERIC(6,0), BHQTY INTEGER, BHTXT VARCHAR(10), BHRATE DOUBLE)";

// The layer started on the test's thread, with a library ECMLIB holding TBHB.
class DbaxTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dbAx::AxLibInit();
    adotest::MakeLibrary(dir_, u"ECMLIB", {kHeaderTable});
  }
  void TearDown() override {
    auto e = Catch([] { dbAx::AxLibShutdown(); });
    EXPECT_FALSE(e) << (e ? Text(e->message) : "");
  }

  std::u16string ConnectionString() const { return u"Provider=IBMDA400;Data source=" + dir_.DataSource() + u";"; }

  // As the export connects for a document.
  void Connect(dbAx::CAxConnection& c) {
    c.Create();
    c.CursorLocation(adUseClient);
    c.Open(ConnectionString(), u"user", u"pw", adConnectUnspecified);
  }
  // As the export opens a header table for insert.
  void OpenForInsert(dbAx::CAxRecordset& r, dbAx::CAxConnection& c, const char16_t* table = u"TBHB") {
    r.CreateObject();
    r.CursorType(adOpenForwardOnly);
    r.CacheSize(1);
    std::u16string sql = u"SELECT * FROM ECMLIB." + std::u16string(table) + u" WHERE 1=0";
    r.Open(sql.c_str(), &c, adOpenForwardOnly, adUseClient, adLockOptimistic, adCmdUnspecified);
    r.MarshalOptions(adMarshalModifiedOnly);
  }

  adotest::TempDir dir_;
};

}  // namespace dbaxtest
