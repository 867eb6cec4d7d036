#include <gtest/gtest.h>

#include "tests/dbax/dbax_test_support.h"

namespace {

using dbaxtest::Catch;
using dbaxtest::Text;

TEST(HResultText, SystemTextsTrimmedAndFallbacks) {
  struct Case {
    std::uint32_t hr;
    std::u16string text;
  };
  const Case cases[] = {
      {0x80004005u, u"Unspecified error"},
      {0x80010106u, u"Cannot change thread mode after it is set."},
      {0x80040154u, u"Class not registered"},
      {0x80040110u, u"Class does not support aggregation (or class object is remote)"},
      {0x80040E21u, u"IDispatch error #3105"},  // OLE DB codes have no system text
      {0x80040E57u, u"IDispatch error #3159"},
      {0x80040200u, u"IDispatch error #0"},
      {0x8004FFFFu, u"IDispatch error #65023"},
      {0x800A0E7Au, u"Unknown error 0x800A0E7A"},  // nor have ADO's own
      {0x80050000u, u"Unknown error 0x80050000"},
      {0x800401FFu, u"Unknown error 0x800401FF"},
  };
  for (const auto& c : cases) EXPECT_EQ(dbAx::HResultText(static_cast<HRESULT>(c.hr)), c.text) << std::hex << c.hr;
}

TEST(AxException, LibraryCodesHaveFixedTexts) {
  struct Case {
    int code;
    const char16_t* text;
    HRESULT hr;
    std::u16string message;
  };
  const Case cases[] = {
      {5001, u"CAxConnection::Create", REGDB_E_CLASSNOTREG,
       u"The dbAx Library failed to initialize\nCOM Error: Class not registered\nSource: CAxConnection::Create"},
      {5002, nullptr, 0, u"The specified field in the database was not found"},
      {5003, u"CAxRecordset::Update", 0, u"The dbAx object is not open\nSource: CAxRecordset::Update"},
      {5004, nullptr, 0, u"The specified buffer size is too small"},
      {5005, nullptr, 0, u"Bad or NULL pointer"},
      {5006, u"CAxConnection::CursorLocation", 0, u"Invalid enumeration value\nSource: CAxConnection::CursorLocation"},
      {5007, nullptr, 0, u"Invalid page or record position"},
      {5009, u"CAxRecordset::Close", E_FAIL,
       u"The dbAx Library failed to close\nCOM Error: Unspecified error\nSource: CAxRecordset::Close"},
      {7, u"Somewhere", E_FAIL, u"Unknown error\nCOM Error: Unspecified error\nSource: Somewhere"},
      {7, nullptr, 0, u"Unknown error"},
      {7, u"", 0, u"Unknown error\nSource: "},
      {-3, nullptr, DB_E_NOTABLE, u"Unknown error\nCOM Error: IDispatch error #3127"},
  };
  for (const auto& c : cases) {
    auto e = Catch([&] { dbAx::ThrowAxException(c.code, c.text, c.hr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, c.code);
    EXPECT_EQ(e->hresult, c.hr);
    EXPECT_EQ(Text(e->message), Text(c.message)) << c.code;
  }
}

TEST(AxException, FormattedCodeCarriesItsOwnText) {
  auto e = Catch([] { dbAx::ThrowAxException(5008, u"Invalid number of digits in decimal Field 'BHAMT' (6 > 5)", 0); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, 5008);
  EXPECT_EQ(e->message, u"Invalid number of digits in decimal Field 'BHAMT' (6 > 5) (Error Code: 0x00000000)");
  e = Catch([] { dbAx::ThrowAxException(5008, u"Failed to set Field 'A' to value 'x'", DB_E_ERRORSOCCURRED); });
  EXPECT_EQ(e->message, u"Failed to set Field 'A' to value 'x' (Error Code: 0x80040e21)");
}

TEST(AxException, FailedCallWithoutConnections) {
  ASSERT_TRUE(dbAx::AxConnectionRegistry().empty());
  auto e = Catch([] { dbAx::ThrowAxException(0, u"CAxRecordset::Update", 0); });
  EXPECT_EQ(e->message, u"CAxRecordset::Update");
  EXPECT_EQ(e->code, 0);
  EXPECT_FALSE(e->providerErrors);
  e = Catch([] { dbAx::ThrowAxException(0, u"CAxRecordset::Update", E_FAIL); });
  EXPECT_EQ(e->message, u"CAxRecordset::Update\nCOM Error: Unspecified error");
  EXPECT_EQ(e->code, 0);
  e = Catch([] { dbAx::ThrowAxException(0, nullptr, 0); });
  EXPECT_EQ(e->message, u"");
}

// Provider errors come from the registered connections.
class ProviderErrorMessages : public dbaxtest::DbaxTest {};

TEST_F(ProviderErrorMessages, OneProviderError) {
  dbAx::CAxConnection c;
  c.Create();
  dbaxtest::PlaceErrors(c.AdoConnection(), {ado::MakeProviderError(DB_E_DATAOVERFLOW, u"Value too long", u"22001")});
  auto e = Catch([] { dbAx::ThrowAxException(0, u"CAxRecordset::Update", DB_E_ERRORSOCCURRED); });
  EXPECT_EQ(e->message, u"CAxRecordset::Update\nValue too long\nCOM Error: IDispatch error #3105");
  EXPECT_EQ(e->code, DB_E_DATAOVERFLOW);
  EXPECT_EQ(e->providerErrorCount, 1);
  EXPECT_EQ(dbaxtest::ErrorCount(c.AdoConnection()), 0);  // cleared after reading
}

TEST_F(ProviderErrorMessages, ThreeErrorsStandApartAndTheLastNumberWins) {
  dbAx::CAxConnection c;
  c.Create();
  dbaxtest::PlaceErrors(c.AdoConnection(), {ado::MakeProviderError(E_FAIL, u"first"),
                                            ado::MakeProviderError(DB_E_NOTABLE, u"second"),
                                            ado::MakeProviderError(DB_E_CANTCONVERTVALUE, u"third")});
  auto e = Catch([] { dbAx::ThrowAxException(0, u"CAxConnection::Open", E_FAIL); });
  EXPECT_EQ(e->message, u"CAxConnection::Open\nfirst\n\nsecond\n\nthird\nCOM Error: Unspecified error");
  EXPECT_EQ(e->code, DB_E_CANTCONVERTVALUE);
  EXPECT_EQ(e->providerErrorCount, 3);
  // The next failure does not report them again.
  auto next = Catch([] { dbAx::ThrowAxException(0, u"CAxConnection::Open", E_FAIL); });
  EXPECT_EQ(next->message, u"CAxConnection::Open\nCOM Error: Unspecified error");
  EXPECT_EQ(next->code, 0);
}

TEST_F(ProviderErrorMessages, GatheringStopsAtTheFirstConnectionWithErrors) {
  dbAx::CAxConnection empty, first, second;
  empty.Create();
  first.Create();
  second.Create();
  dbaxtest::PlaceErrors(first.AdoConnection(), {ado::MakeProviderError(E_FAIL, u"from first")});
  dbaxtest::PlaceErrors(second.AdoConnection(), {ado::MakeProviderError(E_FAIL, u"from second")});
  auto e = Catch([] { dbAx::ThrowAxException(0, u"L", 0); });
  EXPECT_EQ(e->message, u"L\nfrom first");
  EXPECT_EQ(dbaxtest::ErrorCount(second.AdoConnection()), 1);
  e = Catch([] { dbAx::ThrowAxException(0, u"L", 0); });
  EXPECT_EQ(e->message, u"L\nfrom second");
}

TEST_F(ProviderErrorMessages, ADestroyedConnectionIsNoLongerRead) {
  auto c = std::make_unique<dbAx::CAxConnection>();
  c->Create();
  CComPtr<_Connection> ado(c->AdoConnection());
  dbaxtest::PlaceErrors(ado, {ado::MakeProviderError(E_FAIL, u"stale")});
  c.reset();
  auto e = Catch([] { dbAx::ThrowAxException(0, u"L", 0); });
  EXPECT_EQ(e->message, u"L");
  EXPECT_EQ(dbaxtest::ErrorCount(ado), 1);
}

TEST_F(ProviderErrorMessages, FormattedAndLibraryCodesLeaveProviderErrorsAlone) {
  dbAx::CAxConnection c;
  c.Create();
  dbaxtest::PlaceErrors(c.AdoConnection(), {ado::MakeProviderError(E_FAIL, u"kept")});
  auto e = Catch([] { dbAx::ThrowAxException(5008, u"Failed to set Field 'A' to value 'x'", E_FAIL); });
  EXPECT_EQ(e->message, u"Failed to set Field 'A' to value 'x' (Error Code: 0x80004005)");
  EXPECT_EQ(e->code, 5008);
  e = Catch([] { dbAx::ThrowAxException(5009, u"CAxRecordset::Close", E_FAIL); });
  EXPECT_EQ(e->code, 5009);
  EXPECT_EQ(dbaxtest::ErrorCount(c.AdoConnection()), 1);
}

TEST_F(ProviderErrorMessages, FailingReadsOfTheCollectionStillGiveAMessage) {
  ado::AdoRecorder rec;
  rec.Install();
  dbAx::CAxConnection c;
  c.Create();
  dbaxtest::PlaceErrors(c.AdoConnection(), {ado::MakeProviderError(E_FAIL, u"one"), ado::MakeProviderError(E_FAIL, u"two")});
  rec.ClearCalls();
  rec.FailWhen("Errors.get_Item", 1, E_FAIL);
  auto e = Catch([] { dbAx::ThrowAxException(0, u"L", 0); });
  EXPECT_EQ(e->message, u"L\ntwo");
  EXPECT_EQ(rec.Calls(), (dbaxtest::Lines{"Connection.get_Errors()", "Errors.get_Count()", "Errors.get_Item(0)",
                                          "Errors.get_Item(1)", "Error.get_Number()", "Error.get_Description()",
                                          "Errors.Clear()"}))
      << rec.Dump();
  rec.ClearFailures();
  dbaxtest::PlaceErrors(c.AdoConnection(), {ado::MakeProviderError(E_FAIL, u"one")});
  rec.FailWhen("Errors.get_Count", 1, E_FAIL);
  e = Catch([] { dbAx::ThrowAxException(0, u"L", 0); });
  EXPECT_EQ(e->message, u"L");
  rec.FailWhen("Connection.get_Errors", 1, E_FAIL);
  e = Catch([] { dbAx::ThrowAxException(0, u"L", 0); });
  EXPECT_EQ(e->message, u"L");
}

}  // namespace
