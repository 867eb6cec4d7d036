// A server that restarts or goes away while the driver manager keeps pooled connections to it: a dead pooled
// connection is found when a session opens and replaced, never handed to the caller.
#include <gtest/gtest.h>

#include "platform/ado/odbc/odbc_api.h"
#include "platform/ado/odbc/odbc_provider.h"
#include "tests/ado/ado_test_support.h"
#include "tests/odbc/pg_support.h"

namespace {

using adotest::ErrorsOf;
using adotest::Narrow;

class OdbcRestart : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = pgtest::Server(pgtest::kRestartFixture); }

  void SetUp() override { ASSERT_NE(server_, nullptr); }
  void TearDown() override {
    // Leave the server running for whoever comes next.
    if (server_ && !Reachable()) {
      EXPECT_TRUE(server_->Resume());
    }
  }

  static bool Reachable() {
    ado::odbc::Diagnostics d;
    return ado::odbc::Connection::Open(Utf8ToUtf16(server_->conninfo), d) != nullptr;
  }

  static std::u16string ConnectionString() {
    return u"Provider=IBMDA400;Data source=" + Utf8ToUtf16(server_->DataSource()) + u";";
  }

  static std::string ErrorText(_Connection* c) {
    std::string out;
    for (auto& e : ErrorsOf(c)) out += Narrow(e.sqlState) + " " + Narrow(e.description) + "\n";
    return out;
  }

  // Opens a connection, reads the server process that serves it, and closes it (back to the pool).
  static HRESULT Session(std::u16string& backend, std::string* errors = nullptr) {
    CComPtr<_Connection> c = adotest::NewConnection();
    HRESULT hr = c->Open(CComBSTR(ConnectionString()), CComBSTR(u"ecm"), CComBSTR(u"ecm"), -1);
    if (errors) *errors = ErrorText(c);
    if (FAILED(hr)) return hr;
    auto rows = adotest::ReadRows(c, u"SELECT pg_backend_pid()");
    backend = rows.empty() ? u"" : rows[0][0];
    c->Close();
    return S_OK;
  }

  static inline const pgtest::PgServer* server_ = nullptr;
  adotest::ComApartment com_;
};

TEST_F(OdbcRestart, APooledConnectionToARestartedServerIsReplacedWhenTheSessionOpens) {
  std::u16string before, again, after;
  ASSERT_EQ(Session(before), S_OK);
  ASSERT_EQ(Session(again), S_OK);
  ASSERT_EQ(before, again) << "the connection comes from the pool";
  std::uint64_t dropped = ado::odbc::DeadConnectionsDropped();
  ASSERT_TRUE(server_->Stop());
  ASSERT_TRUE(server_->Resume());
  std::string errors;
  ASSERT_EQ(Session(after, &errors), S_OK) << errors;
  EXPECT_NE(after, before);
  EXPECT_FALSE(after.empty());
  EXPECT_EQ(ado::odbc::DeadConnectionsDropped() - dropped, 1u);
}

TEST_F(OdbcRestart, AStoppedServerFailsTheOpenWithTheDriversWordsUntilItIsBack) {
  std::u16string backend;
  ASSERT_EQ(Session(backend), S_OK);  // a connection waits in the pool
  ASSERT_TRUE(server_->Stop());
  for (int attempt = 0; attempt < 2; ++attempt) {
    SCOPED_TRACE(attempt);
    std::string errors;
    EXPECT_EQ(Session(backend, &errors), E_FAIL);
    EXPECT_NE(errors.find("08001"), std::string::npos) << errors;
    EXPECT_NE(errors.find("Connection refused"), std::string::npos) << errors;
  }
  ASSERT_TRUE(server_->Resume());
  std::string errors;
  EXPECT_EQ(Session(backend, &errors), S_OK) << errors;
}

}  // namespace
