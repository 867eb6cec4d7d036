#include <gtest/gtest.h>

#include "tests/dbax/dbax_test_support.h"
#include "tests/dbax/fake_ado.h"

namespace {

using dbaxtest::Catch;
using dbaxtest::Lines;
using dbaxtest::Text;

constexpr char16_t kSelect[] = u"SELECT * FROM ECMLIB.TBHB WHERE 1=0";

class AxRecordset : public dbaxtest::DbaxTest {
 protected:
  void SetUp() override {
    DbaxTest::SetUp();
    rec_.Install();
    Connect(conn_);
  }
  void TearDown() override {
    conn_.Close();
    DbaxTest::TearDown();
  }
  std::vector<std::vector<std::u16string>> Rows(std::u16string_view sql) {
    return adotest::ReadRows(conn_.AdoConnection(), sql);
  }
  // What the recorder saw of field writing: Fields/Field lines only.
  Lines FieldCalls() const {
    Lines out;
    for (const auto& line : rec_.Calls())
      if (line.rfind("Field", 0) == 0) out.push_back(line);
    return out;
  }

  ado::AdoRecorder rec_;
  dbAx::CAxConnection conn_;
};

TEST_F(AxRecordset, TheExportsSequenceOfCallsForAHeaderTable) {
  rec_.ClearCalls();
  {
    dbAx::CAxRecordset r;
    EXPECT_EQ(r.CreateObject(), S_OK);
    EXPECT_EQ(r.CursorType(0), 0);
    EXPECT_EQ(r.CacheSize(1), 1);
    r.Open(kSelect, &conn_, 0, 3, 3, -1);
    EXPECT_EQ(r.MarshalOptions(1), 1);
    r.AddNew();
    EXPECT_TRUE(r.SetFieldValue(u"BHAMT", u"123.45"));
    EXPECT_TRUE(r.SetFieldValue(u"BHCUR", u"EU"));
    r.Update();
  }
  EXPECT_EQ(rec_.Calls(), (Lines{
                              "CoCreateInstance(Recordset)",
                              "Recordset.put_CursorType(0)",
                              "Recordset.get_CursorType()",
                              "Recordset.put_CacheSize(1)",
                              "Recordset.get_CacheSize()",
                              "Recordset.put_Source(\"SELECT * FROM ECMLIB.TBHB WHERE 1=0\")",
                              "Recordset.putref_ActiveConnection(<Connection>)",
                              "Recordset.put_CursorLocation(3)",
                              "Recordset.get_CursorLocation()",
                              "Recordset.Open(\"SELECT * FROM ECMLIB.TBHB WHERE 1=0\", <Connection>, 0, 3, -1)",
                              "Recordset.get_Fields()",
                              "Recordset.put_MarshalOptions(1)",
                              "Recordset.get_MarshalOptions()",
                              "Recordset.Supports(0x1000400)",
                              "Recordset.AddNew(<missing>, <missing>)",
                              "Fields.get_Item(\"BHAMT\")",
                              "Field[BHAMT].get_Type()",
                              "Field[BHAMT].get_Precision()",
                              "Fields.get_Item(\"BHAMT\")",
                              "Field[BHAMT].get_Attributes()",
                              "Field[BHAMT].put_Value(\"123.45\")",
                              "Fields.get_Item(\"BHCUR\")",
                              "Field[BHCUR].get_Type()",
                              "Fields.get_Item(\"BHCUR\")",
                              "Field[BHCUR].get_Attributes()",
                              "Field[BHCUR].put_Value(\"EU\")",
                              "Recordset.Supports(0x20000)",
                              "Recordset.Supports(0x1008000)",
                              "Recordset.Update(<missing>, <missing>)",
                              "Recordset.get_State()",  // destructor: _IsOpen
                              "Recordset.get_State()",  // Close: _IsOpen
                              "Recordset.MoveFirst()",
                              "Recordset.Close()",
                          }))
      << rec_.Dump();
  auto rows = Rows(u"SELECT BHAMT, BHCUR FROM ECMLIB.TBHB");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::u16string>{u"123.45", u"EU"}));
}

TEST_F(AxRecordset, RoundTripOfEveryColumnType) {
  {
    dbAx::CAxRecordset r;
    OpenForInsert(r, conn_);
    for (int line = 1; line <= 3; ++line) {
      r.AddNew();
      std::u16string n = AsciiToUtf16(std::to_string(line));
      EXPECT_TRUE(r.SetFieldValue(u"BHCUR", u"EU"));
      EXPECT_TRUE(r.SetFieldValue(u"BHINV", u"INV-" + n));
      EXPECT_TRUE(r.SetFieldValue(u"BHDAT", u"2024013" + n));
      EXPECT_TRUE(r.SetFieldValue(u"BHAMT", u"-12.5"));
      EXPECT_TRUE(r.SetFieldValue(u"BHNUM", u"123456"));
      EXPECT_TRUE(r.SetFieldValue(u"BHQTY", n));
      EXPECT_TRUE(r.SetFieldValue(u"BHTXT", u"\u00c4rger \u20ac"));
      EXPECT_TRUE(r.SetFieldValue(u"BHRATE", u"0.25"));
      r.Update();
    }
    r.Close();
  }
  auto rows = Rows(u"SELECT * FROM ECMLIB.TBHB ORDER BY BHINV");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], (std::vector<std::u16string>{u"EU", u"INV-2", u"20240132", u"-12.50", u"123456", u"2",
                                                  u"\u00c4rger \u20ac", u"0.25"}));
}

TEST_F(AxRecordset, AnUnknownColumnIsSkippedAndNothingIsWritten) {
  dbAx::CAxRecordset r;
  OpenForInsert(r, conn_);
  r.AddNew();
  rec_.ClearCalls();
  EXPECT_TRUE(r.SetFieldValue(u"NOSUCH", u"x"));
  EXPECT_EQ(r.FieldExchangeStatus(), 12);
  EXPECT_EQ(rec_.Calls(), (Lines{"Fields.get_Item(\"NOSUCH\")", "Fields.get_Item(\"NOSUCH\")"}));
  EXPECT_TRUE(r.SetFieldText(u"NOSUCH", u"x"));
  // A lookup that fails for another reason is a failure, not a missing column.
  rec_.FailWhen("Fields.get_Item", 0, E_OUTOFMEMORY);
  auto e = Catch([&] { r.SetFieldValue(u"BHCUR", u"EU"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, 5008);
  EXPECT_EQ(e->message, u"Failed to set Field 'BHCUR' to value 'EU' (Error Code: 0x8007000e)");
  rec_.ClearFailures();
  r.SetFieldValue(u"BHINV", u"I");
  r.Update();
  EXPECT_EQ(Rows(u"SELECT BHINV FROM ECMLIB.TBHB").size(), 1u);
}

TEST_F(AxRecordset, AColumnThatCannotBeWrittenIsSkipped) {
  dbAx::CAxRecordset r;
  r.Open(u"SELECT T.*, 'x' AS EXTRA FROM ECMLIB.TBHB T WHERE 1=0", &conn_, 0, 3, 3, -1);
  r.AddNew();
  rec_.ClearCalls();
  std::u16string text = u"kept";
  EXPECT_TRUE(r.SetFieldValue(u"EXTRA", text));
  EXPECT_EQ(r.FieldExchangeStatus(), 5);
  EXPECT_EQ(FieldCalls(), (Lines{"Fields.get_Item(\"EXTRA\")", "Field[EXTRA].get_Type()", "Fields.get_Item(\"EXTRA\")",
                                 "Field[EXTRA].get_Attributes()"}));
  r.CancelUpdate();
}

TEST_F(AxRecordset, DecimalDigitsAreCountedNotCharacters) {
  struct Case {
    std::u16string value;
    bool refusedByCheck;
    int digits;
  };
  const Case cases[] = {
      {u"123.45", false, 5},
      {u"-123.45", false, 5},
      {u" 12.5 ", false, 3},
      {u"", false, 0},
      {u"123456", true, 6},
      {u"1 2 3 . 4 5 6", true, 6},
      {u"-0012.345", true, 7},  // leading zeros are digits too
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Text(c.value));
    dbAx::CAxRecordset r;
    OpenForInsert(r, conn_);
    r.AddNew();
    rec_.ClearCalls();
    auto e = Catch([&] { r.SetFieldValue(u"BHAMT", c.value); });
    if (c.refusedByCheck) {
      ASSERT_TRUE(e);
      EXPECT_EQ(e->code, 5008);
      EXPECT_EQ(e->hresult, 0);
      EXPECT_EQ(Text(e->message), "Invalid number of digits in decimal Field 'BHAMT' (" + std::to_string(c.digits) +
                                      " > 5) (Error Code: 0x00000000)");
      EXPECT_EQ(FieldCalls(),
                (Lines{"Fields.get_Item(\"BHAMT\")", "Field[BHAMT].get_Type()", "Field[BHAMT].get_Precision()"}));
    } else {
      EXPECT_FALSE(e) << Text(e->message);
    }
    r.CancelUpdate();
  }
  // NUMERIC columns are not checked by the layer; the provider refuses what does not fit.
  dbAx::CAxRecordset r;
  OpenForInsert(r, conn_);
  r.AddNew();
  EXPECT_TRUE(r.SetFieldValue(u"BHNUM", u"1234567"));
  EXPECT_EQ(Catch([&] { r.Update(); })->code, DB_E_DATAOVERFLOW);
  r.CancelUpdate();
}

TEST_F(AxRecordset, TheProviderRefusesWhatTheColumnCannotHold) {
  struct Case {
    std::u16string column, value;
    HRESULT code;
    std::u16string description;
  };
  const Case cases[] = {
      {u"BHAMT", u"1234.5", DB_E_DATAOVERFLOW,
       u"Value '1234.5' for column TBHB.BHAMT is out of range: DECIMAL(5,2) holds at most 3 integer and 2 fraction "
       u"digits."},
      {u"BHAMT", u"12a", DB_E_CANTCONVERTVALUE,
       u"Value '12a' for column TBHB.BHAMT is not a valid number for DECIMAL(5,2)."},
      {u"BHAMT", u"", DB_E_CANTCONVERTVALUE,
       u"Value '' for column TBHB.BHAMT is not a valid number for DECIMAL(5,2)."},
      {u"BHCUR", u"ABC", DB_E_DATAOVERFLOW,
       u"Value 'ABC' for column TBHB.BHCUR is too long: CHAR(2) holds at most 2 characters."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Text(c.column + u" <- " + c.value));
    dbAx::CAxRecordset r;
    OpenForInsert(r, conn_);
    r.AddNew();
    EXPECT_TRUE(r.SetFieldValue(u"BHINV", u"I"));
    EXPECT_TRUE(r.SetFieldValue(c.column, c.value));
    auto e = Catch([&] { r.Update(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, c.code);
    EXPECT_EQ(e->message, u"CAxRecordset::Update\n" + c.description + u"\nCOM Error: IDispatch error #3105");
    rec_.ClearCalls();
    r.CancelUpdate();  // as the export answers a failed record
    EXPECT_EQ(rec_.Calls(), (Lines{"Recordset.get_EditMode()", "Recordset.CancelUpdate()"}));
  }
  EXPECT_TRUE(Rows(u"SELECT * FROM ECMLIB.TBHB").empty());
}

TEST_F(AxRecordset, AValueThatFitsIsStoredExactly) {
  dbAx::CAxRecordset r;
  OpenForInsert(r, conn_);
  r.AddNew();
  EXPECT_TRUE(r.SetFieldValue(u"BHAMT", u"123.45"));
  r.Update();
  r.Close();
  EXPECT_EQ(Rows(u"SELECT BHAMT FROM ECMLIB.TBHB").at(0).at(0), u"123.45");
}

TEST_F(AxRecordset, AFieldThatCannotBeSetGivesTheFormattedCode) {
  dbAx::CAxRecordset r;
  OpenForInsert(r, conn_);
  r.AddNew();
  rec_.FailWhen("Field[BHCUR].put_Value(*", 1, DISP_E_TYPEMISMATCH);
  auto e = Catch([&] { r.SetFieldValue(u"BHCUR", u"EU"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, 5008);
  EXPECT_EQ(e->message, u"Failed to set Field 'BHCUR' to value 'EU' (Error Code: 0x80020005)");
  EXPECT_EQ(r.FieldExchangeStatus(), DISP_E_TYPEMISMATCH);
  rec_.FailWhen("Field.get_Attributes", 1, E_FAIL);
  e = Catch([&] { r.SetFieldText(u"BHINV", u"X"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, u"Failed to set Field 'BHINV' to value 'X' (Error Code: 0x80004005)");
  r.CancelUpdate();
}

TEST_F(AxRecordset, AFailedOpenLeavesNoAdoObject) {
  dbAx::CAxRecordset r;
  auto e = Catch([&] { r.Open(u"SELECT * FROM ECMLIB.NOSUCH WHERE 1=0", &conn_, 0, 3, 3, -1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, DB_E_NOTABLE);
  EXPECT_EQ(e->message, u"CAxRecordset::Open\nno such table: ECMLIB.NOSUCH\nCOM Error: IDispatch error #3127");
  EXPECT_EQ(r.AdoRecordset(), nullptr);
  EXPECT_FALSE(r._IsOpen());
  e = Catch([&] { r.Open(u"SELECT * FROM NOLIB.TBHB WHERE 1=0", &conn_, 0, 3, 3, -1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, u"CAxRecordset::Open\nno such table: NOLIB.TBHB\nCOM Error: IDispatch error #3127");
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "NOLIB.db"));
  // The next Open makes a new object.
  rec_.ClearCalls();
  r.Open(kSelect, &conn_, 0, 3, 3, -1);
  EXPECT_EQ(rec_.Calls().at(0), "CoCreateInstance(Recordset)");
  EXPECT_TRUE(r._IsOpen());
}

TEST_F(AxRecordset, AFailedCreationInOpen) {
  rec_.FailWhen("CoCreateInstance(Recordset)", 1, REGDB_E_CLASSNOTREG);
  dbAx::CAxRecordset r;
  EXPECT_EQ(r.CreateObject(), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(r.AdoRecordset(), nullptr);
  rec_.ClearFailures();
  rec_.FailWhen("CoCreateInstance(Recordset)", 1, E_OUTOFMEMORY);
  auto e = Catch([&] { r.Open(kSelect, &conn_, 0, 3, 3, -1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, 5001);
  EXPECT_EQ(e->message,
            u"The dbAx Library failed to initialize\nCOM Error: Not enough storage is available to complete this "
            u"operation.\nSource: CAxRecordset::Open");
}

TEST_F(AxRecordset, EachFailingStepOfOpenReleasesTheObject) {
  // Before the recordset is bound to the connection there is no connection to carry provider errors.
  for (auto [step, message] :
       {std::pair{"Recordset.put_Source", u"CAxRecordset::Open\nCOM Error: Unspecified error"},
        {"Recordset.putref_ActiveConnection", u"CAxRecordset::Open\nCOM Error: Unspecified error"},
        {"Recordset.Open", u"CAxRecordset::Open\nstep failed\nCOM Error: Unspecified error"},
        {"Recordset.get_Fields", u"CAxRecordset::Open\nstep failed\nCOM Error: Unspecified error"}}) {
    SCOPED_TRACE(step);
    rec_.ClearFailures();
    rec_.FailWhen(step, 1, E_FAIL, {ado::MakeProviderError(E_FAIL, u"step failed")});
    dbAx::CAxRecordset r;
    auto e = Catch([&] { r.Open(kSelect, &conn_, 0, 3, 3, -1); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->message, message);
    EXPECT_EQ(r.AdoRecordset(), nullptr);
  }
  rec_.ClearFailures();
  rec_.FailWhen("Recordset.put_CursorLocation", 1, E_FAIL);
  dbAx::CAxRecordset r;
  auto e = Catch([&] { r.Open(kSelect, &conn_, 0, 3, 3, -1); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, u"CAxRecordset::CursorLocation\nCOM Error: Unspecified error");
}

TEST_F(AxRecordset, TheCursorTypeReadBecomesTheCursorTypeOfOpen) {
  dbAx::CAxRecordset r;
  r.CreateObject();
  r.AdoRecordset()->put_CursorType(adOpenKeyset);
  rec_.ClearCalls();
  EXPECT_EQ(r.CursorType(-1), adOpenKeyset);
  EXPECT_EQ(r.CursorType(4), adOpenKeyset);
  EXPECT_EQ(rec_.Calls(), (Lines{"Recordset.get_CursorType()", "Recordset.get_CursorType()"}));
  r.Open(kSelect, &conn_, adOpenForwardOnly, adUseClient, adLockOptimistic, -1);
  EXPECT_EQ(rec_.Calls().at(6), "Recordset.Open(\"SELECT * FROM ECMLIB.TBHB WHERE 1=0\", <Connection>, 1, 3, -1)")
      << rec_.Dump();
}

TEST_F(AxRecordset, SettingAccessorsOnlyReadOutsideTheirRange) {
  dbAx::CAxRecordset r;
  r.CreateObject();
  rec_.ClearCalls();
  EXPECT_EQ(r.CacheSize(0), 1);
  EXPECT_EQ(r.MarshalOptions(2), adMarshalAll);
  EXPECT_EQ(r.CursorLocation(0), adUseServer);
  EXPECT_EQ(r.CursorLocation(4), adUseServer);
  EXPECT_EQ(rec_.Calls(), (Lines{"Recordset.get_CacheSize()", "Recordset.get_MarshalOptions()",
                                 "Recordset.get_CursorLocation()", "Recordset.get_CursorLocation()"}));
  rec_.FailWhen("Recordset.put_CacheSize", 1, E_FAIL);
  EXPECT_EQ(Catch([&] { r.CacheSize(5); })->message, u"CAxRecordset::CacheSize\nCOM Error: Unspecified error");
  rec_.FailWhen("Recordset.get_MarshalOptions", 1, E_FAIL);
  EXPECT_EQ(Catch([&] { r.MarshalOptions(1); })->message,
            u"CAxRecordset::MarshalOptions\nCOM Error: Unspecified error");
  rec_.FailWhen("Recordset.Supports", 1, E_FAIL);
  EXPECT_EQ(Catch([&] { r.Supports(adAddNew); })->message, u"CAxRecordset::Supports\nCOM Error: Unspecified error");
}

TEST_F(AxRecordset, AddingAndUpdatingWhereTheRecordsetDoesNotSupportIt) {
  dbAx::CAxRecordset r;
  r.Open(u"SELECT * FROM ECMLIB.TBHB", &conn_, 0, 3, adLockReadOnly, -1);
  rec_.ClearCalls();
  r.AddNew();
  r.Update();
  EXPECT_EQ(rec_.Calls(),
            (Lines{"Recordset.Supports(0x1000400)", "Recordset.Supports(0x20000)", "Recordset.Supports(0x1008000)"}));
  rec_.ClearCalls();
  r.CancelUpdate();
  EXPECT_EQ(rec_.Calls(), (Lines{"Recordset.get_EditMode()"}));
}

TEST_F(AxRecordset, AddNewFailureUsesThePropertiesLabel) {
  dbAx::CAxRecordset r;
  OpenForInsert(r, conn_);
  rec_.FailWhen("Recordset.AddNew", 1, E_FAIL, {ado::MakeProviderError(E_FAIL, u"no room")});
  auto e = Catch([&] { r.AddNew(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->message, u"CAxRecordset::Properties\nno room\nCOM Error: Unspecified error");
}

TEST_F(AxRecordset, NothingHappensWithoutAnAdoObject) {
  rec_.FailEvery("CoCreateInstance", REGDB_E_CLASSNOTREG);
  dbAx::CAxRecordset r;
  EXPECT_EQ(r.CreateObject(), REGDB_E_CLASSNOTREG);
  rec_.ClearCalls();
  std::vector<std::pair<std::u16string, std::function<void()>>> calls = {
      {u"CAxRecordset::CursorType", [&] { r.CursorType(0); }},
      {u"CAxRecordset::CacheSize", [&] { r.CacheSize(1); }},
      {u"CAxRecordset::MarshalOptions", [&] { r.MarshalOptions(1); }},
      {u"CAxRecordset::CursorLocation", [&] { r.CursorLocation(3); }},
      {u"CAxRecordset::Supports", [&] { r.Supports(adAddNew); }},
      {u"CAxRecordset::AddNew", [&] { r.AddNew(); }},
      {u"CAxRecordset::SetFieldValue", [&] { r.SetFieldValue(u"A", u"1"); }},
      {u"CAxRecordset::SetFieldText", [&] { r.SetFieldText(u"A", u"1"); }},
      {u"CAxRecordset::Update", [&] { r.Update(); }},
      {u"CAxRecordset::CancelUpdate", [&] { r.CancelUpdate(); }},
  };
  for (auto& [label, call] : calls) {
    auto e = Catch(call);
    ASSERT_TRUE(e) << Text(label);
    EXPECT_EQ(e->code, 5003);
    EXPECT_EQ(e->message, u"The dbAx object is not open\nSource: " + label);
  }
  EXPECT_FALSE(r._IsOpen());
  EXPECT_NO_THROW(r.Close());
  EXPECT_TRUE(rec_.Calls().empty()) << rec_.Dump();
  // Created but never opened: no fields to write.
  rec_.ClearFailures();
  dbAx::CAxRecordset created;
  created.CreateObject();
  EXPECT_EQ(Catch([&] { created.SetFieldValue(u"A", u"1"); })->code, 5003);
}

TEST_F(AxRecordset, CloseAndTheDestructor) {
  {
    dbAx::CAxRecordset r;
    OpenForInsert(r, conn_);
    rec_.FailEvery("Recordset.Close", E_FAIL);
    auto e = Catch([&] { r.Close(); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->code, 5009);
    EXPECT_EQ(e->message, u"The dbAx Library failed to close\nCOM Error: Unspecified error\nSource: CAxRecordset::Close");
  }  // the destructor's close fails the same way and is swallowed
  rec_.ClearFailures();
  // A pending record left behind by a failed CancelUpdate is dropped with the object, never stored.
  {
    dbAx::CAxRecordset r;
    OpenForInsert(r, conn_);
    r.AddNew();
    r.SetFieldValue(u"BHINV", u"abandoned");
    rec_.FailWhen("Recordset.CancelUpdate", 1, E_FAIL);
    EXPECT_TRUE(Catch([&] { r.CancelUpdate(); }));
  }
  EXPECT_TRUE(Rows(u"SELECT * FROM ECMLIB.TBHB").empty());
  // _IsOpen failing reports the provider's errors alone.
  dbAx::CAxRecordset r;
  OpenForInsert(r, conn_);
  rec_.FailWhen("Recordset.get_State", 1, E_FAIL, {ado::MakeProviderError(E_FAIL, u"state unknown")});
  auto e = Catch([&] { r._IsOpen(); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->code, E_FAIL);
  EXPECT_EQ(e->hresult, 0);
  EXPECT_EQ(e->message, u"\nstate unknown");
}

TEST_F(AxRecordset, UpdateResyncsWhereTheRecordsetSupportsIt) {
  struct Case {
    std::vector<HRESULT> resync;
    std::vector<std::string> log;
    bool throws;
  };
  const Case cases[] = {
      {{S_OK}, {"Resync(1, 1)", "Update"}, false},
      {{E_FAIL, S_OK}, {"Resync(1, 1)", "Resync(1, 2)", "Update"}, false},
      {{E_FAIL, DB_E_ERRORSOCCURRED}, {"Resync(1, 1)", "Resync(1, 2)"}, true},
  };
  for (const auto& c : cases) {
    auto fake = MakeComObject<dbaxtest::FakeRecordset>();
    fake->supported = adResync | adUpdate | adAddNew;
    fake->resyncResults = c.resync;
    dbaxtest::FakeClass<dbaxtest::FakeRecordset> cls(CLSID_Recordset, fake);
    dbAx::CAxRecordset r;
    ASSERT_EQ(r.CreateObject(), S_OK);
    auto e = Catch([&] { r.Update(); });
    EXPECT_EQ(fake->log, c.log);
    ASSERT_EQ(static_cast<bool>(e), c.throws);
    if (e) {
      EXPECT_EQ(e->message, u"CAxRecordset::Update\nCOM Error: IDispatch error #3105");
    }
  }
}

TEST_F(AxRecordset, OnlyTheOpenStateCountsAsOpen) {
  auto fake = MakeComObject<dbaxtest::FakeRecordset>();
  dbaxtest::FakeClass<dbaxtest::FakeRecordset> cls(CLSID_Recordset, fake);
  {
    dbAx::CAxRecordset r;
    r.CreateObject();
    fake->state = adStateOpen | adStateExecuting;
    EXPECT_FALSE(r._IsOpen());
    r.Close();
    EXPECT_TRUE(fake->log.empty());
    fake->state = adStateOpen;
    r.Close();
    EXPECT_EQ(fake->log, (std::vector<std::string>{"MoveFirst", "Close"}));
    fake->state = adStateOpen | adStateFetching;
  }
  EXPECT_EQ(fake->log.size(), 2u);
}

TEST_F(AxRecordset, AFailedRecordDoesNotStopTheNext) {
  dbAx::CAxRecordset r;
  OpenForInsert(r, conn_);
  for (const char16_t* amount : {u"1.5", u"bad", u"2.5"}) {
    r.AddNew();
    r.SetFieldValue(u"BHINV", amount);
    r.SetFieldValue(u"BHAMT", amount);
    if (auto e = Catch([&] { r.Update(); })) r.CancelUpdate();
  }
  r.Close();
  auto rows = Rows(u"SELECT BHAMT FROM ECMLIB.TBHB ORDER BY rowid");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], u"1.50");
  EXPECT_EQ(rows[1][0], u"2.50");
}

}  // namespace

namespace {

// Failing each ADO call of one record's insert in turn, as a release would meet it.
class FailureSweep : public dbaxtest::DbaxTest {
 protected:
  // Connects, inserts one record and closes, answering a failure the way the export does. True on success.
  bool InsertOne(std::u16string* message) {
    dbAx::CAxConnection c;
    try {
      Connect(c);
      dbAx::CAxRecordset r;
      OpenForInsert(r, c);
      r.AddNew();
      try {
        r.SetFieldValue(u"BHINV", u"SWEEP");
        r.SetFieldValue(u"BHAMT", u"12.34");
        r.SetFieldValue(u"BHCUR", u"EU");
        r.Update();
      } catch (dbAx::CAxException* e) {
        dbAx::AxExceptionPtr owned(e);
        try {
          r.CancelUpdate();
        } catch (dbAx::CAxException* again) {
          dbAx::AxExceptionPtr ignored(again);
        }
        *message = owned->message;
        return false;
      }
      r.Close();
      c.Close();
      return true;
    } catch (dbAx::CAxException* e) {
      dbAx::AxExceptionPtr owned(e);
      *message = owned->message;
      return false;
    }
  }
  std::size_t StoredRows() {
    dbAx::CAxConnection c;
    Connect(c);
    return adotest::ReadRows(c.AdoConnection(), u"SELECT * FROM ECMLIB.TBHB WHERE BHINV = 'SWEEP'").size();
  }

  ado::AdoRecorder rec_;
};

TEST_F(FailureSweep, EveryFailureIsReportedAndNothingHalfDoneCountsAsSuccess) {
  rec_.Install();
  std::u16string message;
  ASSERT_TRUE(InsertOne(&message)) << Text(message);
  const Lines baseline = rec_.Calls();
  const auto update = std::find(baseline.begin(), baseline.end(), "Recordset.Update(<missing>, <missing>)");
  ASSERT_NE(update, baseline.end());
  const std::size_t updateCall = static_cast<std::size_t>(update - baseline.begin()) + 1;
  std::size_t stored = StoredRows();
  ASSERT_EQ(stored, 1u);

  for (std::size_t k = 1; k <= baseline.size(); ++k) {
    SCOPED_TRACE(std::to_string(k) + ": " + baseline[k - 1]);
    rec_.ClearFailures();
    rec_.ClearCalls();
    rec_.FailCall(k, E_FAIL, {ado::MakeProviderError(E_FAIL, u"injected")});
    message.clear();
    bool ok = InsertOne(&message);
    rec_.ClearFailures();
    std::size_t now = StoredRows();
    if (ok) {
      EXPECT_EQ(now, stored + 1) << "success reported without the record";
    } else {
      EXPECT_FALSE(message.empty());
      if (k <= updateCall) {
        EXPECT_EQ(now, stored) << "a record was stored although a call before Update failed";
      }
    }
    stored = now;
    EXPECT_TRUE(dbAx::AxConnectionRegistry().empty());
  }
}

}  // namespace
