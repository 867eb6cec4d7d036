#include "platform/ado/recording/recorder.h"

#include <gtest/gtest.h>

#include "tests/ado/ado_test_support.h"

namespace {

using adotest::ErrorsOf;
using Lines = std::vector<std::string>;

class Recorder : public ::testing::Test {
 protected:
  void SetUp() override {
    adotest::MakeLibrary(dir_, u"ECMLIB", {u"CREATE TABLE ECMLIB.T (NAME CHAR(4), AMT DECIMAL(5,2))"});
    rec_.Install();
  }

  // Opens a connection and an insert recordset through the recorded classes.
  void OpenBoth() {
    conn_ = adotest::NewConnection();
    ASSERT_EQ(conn_->Open(CComBSTR(dir_.ConnectionString()), CComBSTR(u"me"), CComBSTR(u"pw"), -1), S_OK);
    rs_ = adotest::NewRecordset();
    ASSERT_EQ(rs_->Open(CComVariant(u"SELECT * FROM ECMLIB.T WHERE 1=0"),
                        CComVariant(static_cast<IDispatch*>(conn_.get())), adOpenForwardOnly, adLockOptimistic, -1),
              S_OK);
  }
  CComPtr<Field> FieldOf(const char16_t* name) {
    CComPtr<Fields> fields;
    rs_->get_Fields(&fields);
    CComPtr<Field> f;
    fields->get_Item(CComVariant(name), &f);
    return f;
  }

  adotest::ComApartment com_;
  adotest::TempDir dir_;
  ado::AdoRecorder rec_;
  CComPtr<_Connection> conn_;
  CComPtr<_Recordset> rs_;
};

TEST_F(Recorder, LogsEveryCallWithItsArguments) {
  OpenBoth();
  VARIANT_BOOL b;
  rs_->Supports(adAddNew, &b);
  rs_->AddNew(OptionalArgumentOmitted(), OptionalArgumentOmitted());
  CComPtr<Field> f = FieldOf(u"amt");
  DataTypeEnum type;
  BYTE precision;
  LONG attributes;
  f->get_Type(&type);
  f->get_Precision(&precision);
  f->get_Attributes(&attributes);
  f->put_Value(CComVariant(u"1.5"));
  rs_->Update(OptionalArgumentOmitted(), OptionalArgumentOmitted());
  CComPtr<Errors> errors;
  conn_->get_Errors(&errors);
  LONG count;
  errors->get_Count(&count);
  errors->Clear();
  std::string cs = adotest::Narrow(dir_.ConnectionString());
  EXPECT_EQ(rec_.Calls(), (Lines{
                              "CoCreateInstance(Connection)",
                              "Connection.Open(\"" + cs + "\", \"me\", \"pw\", -1)",
                              "CoCreateInstance(Recordset)",
                              "Recordset.Open(\"SELECT * FROM ECMLIB.T WHERE 1=0\", <Connection>, 0, 3, -1)",
                              "Recordset.Supports(0x1000400)",
                              "Recordset.AddNew(<missing>, <missing>)",
                              "Recordset.get_Fields()",
                              "Fields.get_Item(\"amt\")",
                              "Field[AMT].get_Type()",
                              "Field[AMT].get_Precision()",
                              "Field[AMT].get_Attributes()",
                              "Field[AMT].put_Value(\"1.5\")",
                              "Recordset.Update(<missing>, <missing>)",
                              "Connection.get_Errors()",
                              "Errors.get_Count()",
                              "Errors.Clear()",
                          }))
      << rec_.Dump();
  auto entries = rec_.Entries();
  EXPECT_EQ(entries[8].key, "Field.get_Type");
  for (const auto& e : entries) EXPECT_EQ(e.hr, S_OK) << e.line;
  // The real objects did the work.
  EXPECT_EQ(adotest::ReadRows(conn_, u"SELECT AMT FROM ECMLIB.T").at(0).at(0), u"1.50");
}

TEST_F(Recorder, ArgumentTexts) {
  OpenBoth();
  CComPtr<Fields> fields;
  rs_->get_Fields(&fields);
  CComPtr<Field> f;
  CComVariant null;
  null.vt = VT_NULL;
  CComVariant shortIndex;
  shortIndex.vt = VT_I2;
  shortIndex.iVal = 1;
  rec_.ClearCalls();
  fields->get_Item(shortIndex, &f);
  fields->get_Item(CComVariant(LONG{0}), &f);
  f->put_Value(CComVariant(u"a\"b\\c\nd"));
  f->put_Value(null);
  f->put_Value(CComVariant(2.5));
  f->put_Value(CComVariant(true));
  f->put_Value(CComVariant());
  rs_->putref_ActiveConnection(nullptr);
  EXPECT_EQ(rec_.Calls(), (Lines{
                              "Fields.get_Item((short)1)",
                              "Fields.get_Item(0)",
                              "Field[NAME].put_Value(\"a\\\"b\\\\c\\nd\")",
                              "Field[NAME].put_Value(<null>)",
                              "Field[NAME].put_Value((double)2.5)",
                              "Field[NAME].put_Value(true)",
                              "Field[NAME].put_Value(<empty>)",
                              "Recordset.putref_ActiveConnection(<nothing>)",
                          }));
}

TEST_F(Recorder, FailsTheNthCallWithoutReachingTheRealObject) {
  const ado::ProviderErrors errors = {
      ado::MakeProviderError(DB_SEC_E_AUTH_FAILED, u"Password wrong", u"28000", 7),
      ado::MakeProviderError(E_FAIL, u"Second", u"HY000"),
  };
  rec_.FailCall(2, DB_SEC_E_AUTH_FAILED, errors);
  conn_ = adotest::NewConnection();
  EXPECT_EQ(conn_->Open(CComBSTR(dir_.ConnectionString()), nullptr, nullptr, -1), DB_SEC_E_AUTH_FAILED);
  LONG state = -1;
  conn_->get_State(&state);
  EXPECT_EQ(state, adStateClosed);
  auto placed = ErrorsOf(conn_);
  ASSERT_EQ(placed.size(), 2u);
  EXPECT_EQ(placed[0].number, DB_SEC_E_AUTH_FAILED);
  EXPECT_EQ(placed[0].description, u"Password wrong");
  EXPECT_EQ(placed[0].sqlState, u"28000");
  EXPECT_EQ(placed[0].nativeError, 7);
  EXPECT_EQ(placed[1].description, u"Second");
  auto entries = rec_.Entries();
  ASSERT_GE(entries.size(), 2u);
  EXPECT_TRUE(entries[1].injected);
  EXPECT_EQ(entries[1].hr, DB_SEC_E_AUTH_FAILED);
  EXPECT_FALSE(entries[0].injected);
}

TEST_F(Recorder, FailsTheKthOrEveryMatchingCall) {
  rec_.FailWhen("Recordset.Update", 2, DB_E_DATAOVERFLOW,
                {ado::MakeProviderError(DB_E_DATAOVERFLOW, u"too long", u"22001")});
  rec_.FailEvery("Field[NAME].put_Value(*", E_FAIL);
  OpenBoth();
  auto add = [&] { return rs_->AddNew(OptionalArgumentOmitted(), OptionalArgumentOmitted()); };
  auto update = [&] { return rs_->Update(OptionalArgumentOmitted(), OptionalArgumentOmitted()); };
  ASSERT_EQ(add(), S_OK);
  EXPECT_EQ(FieldOf(u"NAME")->put_Value(CComVariant(u"x")), E_FAIL);
  EXPECT_EQ(FieldOf(u"NAME")->put_Value(CComVariant(u"y")), E_FAIL);
  EXPECT_EQ(FieldOf(u"AMT")->put_Value(CComVariant(u"1")), S_OK);
  EXPECT_TRUE(ErrorsOf(conn_).empty());  // no errors given: the collection is left alone
  EXPECT_EQ(update(), S_OK);
  ASSERT_EQ(add(), S_OK);
  EXPECT_EQ(update(), DB_E_DATAOVERFLOW);  // the second Update
  auto placed = ErrorsOf(conn_);
  ASSERT_EQ(placed.size(), 1u);
  EXPECT_EQ(placed[0].sqlState, u"22001");
  EXPECT_EQ(update(), S_OK);  // the third
  rec_.ClearFailures();
  ASSERT_EQ(add(), S_OK);
  EXPECT_EQ(FieldOf(u"NAME")->put_Value(CComVariant(u"z")), S_OK);
  rs_->CancelUpdate();
  EXPECT_EQ(adotest::ReadRows(conn_, u"SELECT * FROM ECMLIB.T").size(), 2u);
}

TEST_F(Recorder, FailsACreation) {
  rec_.FailWhen("CoCreateInstance(Recordset)", 1, REGDB_E_CLASSNOTREG);
  CComPtr<_Recordset> r;
  EXPECT_EQ(CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID__Recordset,
                             reinterpret_cast<void**>(&r)),
            REGDB_E_CLASSNOTREG);
  EXPECT_FALSE(r);
  EXPECT_EQ(CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID__Recordset,
                             reinterpret_cast<void**>(&r)),
            S_OK);
  EXPECT_TRUE(r);
}

TEST_F(Recorder, TheSameRunGivesTheSameCalls) {
  auto run = [&] {
    rec_.ClearCalls();
    OpenBoth();
    rs_->AddNew(OptionalArgumentOmitted(), OptionalArgumentOmitted());
    FieldOf(u"NAME")->put_Value(CComVariant(u"n"));
    rs_->Update(OptionalArgumentOmitted(), OptionalArgumentOmitted());
    rs_->Close();
    conn_->Close();
    rs_.Release();
    conn_.Release();
    return rec_.Calls();
  };
  Lines first = run();
  EXPECT_EQ(run(), first);
  EXPECT_EQ(rec_.CallCount(), first.size());
}

TEST_F(Recorder, UninstallStopsRecordingNewObjects) {
  conn_ = adotest::NewConnection();
  rec_.Uninstall();
  EXPECT_FALSE(rec_.Installed());
  CComPtr<_Recordset> real = adotest::NewRecordset();
  // A recorded connection handed to a real recordset still works.
  ASSERT_EQ(conn_->Open(CComBSTR(dir_.ConnectionString()), nullptr, nullptr, -1), S_OK);
  EXPECT_EQ(real->Open(CComVariant(u"SELECT * FROM ECMLIB.T"), CComVariant(static_cast<IDispatch*>(conn_.get())),
                       adOpenForwardOnly, adLockReadOnly, -1),
            S_OK);
  EXPECT_EQ(rec_.Calls(), (Lines{"CoCreateInstance(Connection)", "Connection.Open(\"" +
                                                                      adotest::Narrow(dir_.ConnectionString()) +
                                                                      "\", \"\", \"\", -1)"}));
}

TEST(RecorderPattern, KeysAndWildcards) {
  struct Case {
    const char* pattern;
    const char* key;
    const char* line;
    bool matches;
  };
  const Case cases[] = {
      {"Recordset.Update", "Recordset.Update", "Recordset.Update(<missing>, <missing>)", true},
      {"Recordset.Update", "Recordset.UpdateBatch", "Recordset.UpdateBatch()", false},
      {"Field.put_Value", "Field.put_Value", "Field[A].put_Value(\"1\")", true},
      {"Field[A].put_Value(*", "Field.put_Value", "Field[A].put_Value(\"1\")", true},
      {"Field[A].put_Value(*", "Field.put_Value", "Field[AB].put_Value(\"1\")", false},
      {"*.Open(*", "Recordset.Open", "Recordset.Open(\"x\", <Connection>, 0, 3, -1)", true},
      {"Error?.get_Count()", "Errors.get_Count", "Errors.get_Count()", true},
      {"*", "X.Y", "X.Y()", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(ado::RecorderPatternMatches(c.pattern, c.key, c.line), c.matches) << c.pattern << " / " << c.line;
}

}  // namespace
