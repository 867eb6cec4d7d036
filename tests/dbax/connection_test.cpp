#include <gtest/gtest.h>

#include "tests/dbax/dbax_test_support.h"
#include "tests/dbax/fake_ado.h"

namespace {

using dbaxtest::Catch;
using dbaxtest::Lines;
using dbaxtest::Text;

class AxConnection : public dbaxtest::DbaxTest {
 protected:
  void SetUp() override {
    DbaxTest::SetUp();
    rec_.Install();
  }
  std::string Cs() const { return Text(ConnectionString()); }
  bool Registered(const dbAx::CAxConnection* c) const {
    const auto& r = dbAx::AxConnectionRegistry();
    return std::find(r.begin(), r.end(), c) != r.end();
  }

  ado::AdoRecorder rec_;
};

TEST_F(AxConnection, TheExportsSequenceOfCalls) {
  {
    dbAx::CAxConnection c;
    EXPECT_FALSE(Registered(&c));
    c.Create();
    EXPECT_TRUE(Registered(&c));
    EXPECT_EQ(c.CursorLocation(3), 3);
    c.Open(ConnectionString(), u"user", u"secret", -1);
    EXPECT_TRUE(c._IsOpen());
    EXPECT_EQ(c.ConnectionString(), ConnectionString());
  }
  EXPECT_TRUE(dbAx::AxConnectionRegistry().empty());
  EXPECT_EQ(rec_.Calls(), (Lines{
                              "CoCreateInstance(Connection)",
                              "Connection.put_CursorLocation(3)",
                              "Connection.get_CursorLocation()",
                              "Connection.Open(\"" + Cs() + "\", \"user\", \"secret\", -1)",
                              "Connection.get_State()",
                              "Connection.get_State()",  // the destructor's _IsOpen
                              "Connection.Close()",
                          }))
      << rec_.Dump();
}

TEST_F(AxConnection, CursorLocationReadsOrRefusesWithoutTouchingAdo) {
  dbAx::CAxConnection c;
  c.Create();
  rec_.ClearCalls();
  EXPECT_EQ(c.CursorLocation(-1), adUseServer);
  EXPECT_EQ(rec_.Calls(), (Lines{"Connection.get_CursorLocation()"}));
  for (LONG bad : {0, 4, -2}) {
    rec_.ClearCalls();
    auto e = Catch([&] { c.CursorLocation(bad); });
    ASSERT_TRUE(e) << bad;
    EXPECT_EQ(e->code, 5006);
    EXPECT_EQ(e->message, u"Invalid enumeration value\nSource: CAxConnection::CursorLocation");
    EXPECT_TRUE(rec_.Calls().empty()) << rec_.Dump();
  }
  for (LONG good : {1, 2, 3}) EXPECT_EQ(c.CursorLocation(good), good);
  // Refused even before the ADO object exists.
  dbAx::CAxConnection none;
  EXPECT_EQ(Catch([&] { none.CursorLocation(4); })->code, 5006);
}

TEST_F(AxConnection, ASecondOpenWithoutAStringReusesTheFirst) {
  dbAx::CAxConnection c;
  c.Create();
  c.Open(ConnectionString(), u"u", u"p", -1);
  c.Close();
  rec_.ClearCalls();
  c.Open(u"", u"u", u"p", -1);
  EXPECT_EQ(rec_.Calls(), (Lines{"Connection.Open(\"" + Cs() + "\", \"u\", \"p\", -1)"}));
  EXPECT_TRUE(c._IsOpen());
}

TEST_F(AxConnection, NothingHappensWithoutAnAdoObject) {
  {
    dbAx::CAxConnection c;
    EXPECT_FALSE(c._IsOpen());
    for (auto& [label, call] : std::vector<std::pair<std::u16string, std::function<void()>>>{
             {u"CAxConnection::Open", [&] { c.Open(ConnectionString(), u"", u"", -1); }},
             {u"CAxConnection::Close", [&] { c.Close(); }},
             {u"CAxConnection::CursorLocation", [&] { c.CursorLocation(3); }},
         }) {
      auto e = Catch(call);
      ASSERT_TRUE(e) << Text(label);
      EXPECT_EQ(e->code, 5003);
      EXPECT_EQ(e->message, u"The dbAx object is not open\nSource: " + label);
    }
  }
  EXPECT_TRUE(rec_.Calls().empty()) << rec_.Dump();
  EXPECT_TRUE(dbAx::AxConnectionRegistry().empty());
}

TEST_F(AxConnection, AFailedCreationLeavesNoObjectAndNoEntry) {
  rec_.FailWhen("CoCreateInstance", 1, REGDB_E_CLASSNOTREG);
  dbAx::CAxConnection c;
  auto e = Catch([&] { c.Create(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, 5001);
  EXPECT_EQ(e->hresult, REGDB_E_CLASSNOTREG);
  EXPECT_EQ(e->message,
            u"The dbAx Library failed to initialize\nCOM Error: Class not registered\nSource: CAxConnection::Create");
  EXPECT_EQ(c.AdoConnection(), nullptr);
  EXPECT_FALSE(Registered(&c));
  c.Create();  // the next one succeeds
  EXPECT_TRUE(Registered(&c));
}

TEST_F(AxConnection, TheRegistryListsLiveConnectionsInOrder) {
  auto a = std::make_unique<dbAx::CAxConnection>();
  auto b = std::make_unique<dbAx::CAxConnection>();
  auto neverCreated = std::make_unique<dbAx::CAxConnection>();
  b->Create();
  a->Create();
  EXPECT_EQ(dbAx::AxConnectionRegistry(), (std::vector<dbAx::CAxConnection*>{b.get(), a.get()}));
  neverCreated.reset();
  b.reset();
  EXPECT_EQ(dbAx::AxConnectionRegistry(), (std::vector<dbAx::CAxConnection*>{a.get()}));
  a.reset();
  EXPECT_TRUE(dbAx::AxConnectionRegistry().empty());
}

TEST_F(AxConnection, AnOpenFailureCarriesTheProvidersErrors) {
  dbAx::CAxConnection c;
  c.Create();
  auto e = Catch([&] { c.Open(u"Provider=SQLOLEDB;Data source=X;", u"", u"", -1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, adErrProviderNotFound);
  EXPECT_EQ(e->message,
            u"CAxConnection::Open\nProvider cannot be found. It may not be properly installed.\nCOM Error: Unknown "
            u"error 0x800A0E7A");
  EXPECT_FALSE(c._IsOpen());
  EXPECT_TRUE(Registered(&c));
  EXPECT_EQ(dbaxtest::ErrorCount(c.AdoConnection()), 0);

  e = Catch([&] { c.Open(u"Provider=IBMDA400;Data source=sqlite:/no/such/folder;", u"", u"", -1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, E_FAIL);
  EXPECT_EQ(e->message,
            u"CAxConnection::Open\nThe server folder '/no/such/folder' does not exist.\nCOM Error: Unspecified error");

  rec_.FailWhen("Connection.Open", 1, DB_SEC_E_AUTH_FAILED,
                {ado::MakeProviderError(DB_SEC_E_AUTH_FAILED, u"CWBSY0002 - Password for user USER is not correct",
                                        u"28000")});
  e = Catch([&] { c.Open(ConnectionString(), u"user", u"wrong", -1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, DB_SEC_E_AUTH_FAILED);
  EXPECT_EQ(e->message,
            u"CAxConnection::Open\nCWBSY0002 - Password for user USER is not correct\nCOM Error: IDispatch error "
            u"#3149");
}

TEST_F(AxConnection, DestroyingNeverThrowsButAnExplicitCloseDoes) {
  rec_.FailEvery("Connection.Close", E_FAIL, {ado::MakeProviderError(E_FAIL, u"link down", u"08S01")});
  {
    auto c = std::make_unique<dbAx::CAxConnection>();
    Connect(*c);
    auto e = Catch([&] { c->Close(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, E_FAIL);
    EXPECT_EQ(e->message, u"CAxConnection::Close\nlink down\nCOM Error: Unspecified error");
    EXPECT_NO_THROW(c.reset());
  }
  EXPECT_TRUE(dbAx::AxConnectionRegistry().empty());
  rec_.ClearFailures();
  rec_.FailEvery("Connection.get_State", E_FAIL);
  dbAx::CAxConnection c;
  c.Create();
  auto e = Catch([&] { c._IsOpen(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, u"CAxConnection::_IsOpen\nCOM Error: Unspecified error");
}

TEST_F(AxConnection, OnlyTheOpenStateCountsAsOpen) {
  auto fake = MakeComObject<dbaxtest::FakeConnection>();
  dbaxtest::FakeClass<dbaxtest::FakeConnection> cls(CLSID_Connection, fake);
  {
    dbAx::CAxConnection c;
    c.Create();
    for (LONG state : {LONG{adStateClosed}, LONG{adStateConnecting}, LONG{adStateOpen | adStateExecuting},
                       LONG{adStateOpen | adStateFetching}}) {
      fake->state = state;
      EXPECT_FALSE(c._IsOpen()) << state;
    }
    fake->state = adStateOpen;
    EXPECT_TRUE(c._IsOpen());
    fake->state = adStateOpen | adStateExecuting;
  }
  EXPECT_EQ(fake->closes, 0);  // the destructor did not close a connection in state 5
}

}  // namespace
