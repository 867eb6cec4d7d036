// The ODBC provider against PostgreSQL through psqlODBC, used as the data access layer uses ADO: describing the
// zero-row statement, inserting records, refusals in the database's words, credentials, pooling.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <set>

#include "ecm/ddl.h"
#include "ecm/mapping_model.h"
#include "platform/ado/coltypes.h"
#include "platform/ado/odbc/odbc_api.h"
#include "platform/ado/odbc/odbc_provider.h"
#include "tests/ado/ado_test_support.h"
#include "tests/odbc/pg_support.h"
#include "tests/odbc/scoped_env.h"

namespace {

using adotest::ErrorsOf;
using adotest::Narrow;
using pgtest::Db;
using ado::ColumnInfo;

std::u16string U(const std::string& s) { return Utf8ToUtf16(s); }
std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

class OdbcPg : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = pgtest::Server(); }

  void SetUp() override {
    ASSERT_NE(server_, nullptr);
    library_ = pgtest::CreateUniqueLibrary(*server_, "OP");
  }
  void TearDown() override {
    if (server_ && !library_.empty()) pgtest::DropLibrary(*server_, library_);
  }

  static std::u16string ConnectionString(const std::string& dataSource) {
    return u"Provider=IBMDA400;Data source=" + U(dataSource) + u";";
  }
  std::u16string ConnectionString() const { return ConnectionString(server_->DataSource()); }

  CComPtr<_Connection> Connect(std::u16string_view user = u"ecm", std::u16string_view password = u"ecm") {
    CComPtr<_Connection> c = adotest::NewConnection();
    HRESULT hr = c->Open(CComBSTR(ConnectionString()), CComBSTR(user), CComBSTR(password), -1);
    EXPECT_EQ(hr, S_OK) << ErrorText(c);
    return c;
  }

  static std::string ErrorText(_Connection* c) {
    std::string out;
    for (auto& e : ErrorsOf(c)) out += Narrow(e.sqlState) + " " + Narrow(e.description) + "\n";
    return out;
  }

  std::u16string Table(const char* table) const { return U(library_) + u"." + Utf8ToUtf16(table); }

  // An empty client-side recordset on a table, ready for AddNew, as the data access layer opens it.
  HRESULT OpenForInsert(_Connection* c, CComPtr<_Recordset>& r, std::u16string_view sql) {
    r = adotest::NewRecordset();
    EXPECT_EQ(r->put_CursorType(adOpenForwardOnly), S_OK);
    EXPECT_EQ(r->put_CacheSize(1), S_OK);
    r->put_Source(CComBSTR(sql));
    r->putref_ActiveConnection(c);
    EXPECT_EQ(r->put_CursorLocation(adUseClient), S_OK);
    return r->Open(CComVariant(sql), CComVariant(static_cast<IDispatch*>(c)), adOpenForwardOnly, adLockOptimistic,
                   adCmdUnspecified);
  }
  CComPtr<_Recordset> OpenTable(_Connection* c, const char* table) {
    CComPtr<_Recordset> r;
    std::u16string sql = u"SELECT * FROM " + Table(table) + u" WHERE 1=0";
    EXPECT_EQ(OpenForInsert(c, r, sql), S_OK) << ErrorText(c);
    return r;
  }

  static CComPtr<Field> FieldOf(_Recordset* r, std::u16string_view name) {
    CComPtr<Fields> fields;
    EXPECT_EQ(r->get_Fields(&fields), S_OK);
    CComPtr<Field> f;
    fields->get_Item(CComVariant(name), &f);
    return f;
  }
  static HRESULT Put(_Recordset* r, std::u16string_view column, std::u16string_view value) {
    CComPtr<Field> f = FieldOf(r, column);
    if (!f) return adErrItemNotFound;
    return f->put_Value(CComVariant(value));
  }
  static HRESULT AddNew(_Recordset* r) { return r->AddNew(OptionalArgumentOmitted(), OptionalArgumentOmitted()); }
  static HRESULT Update(_Recordset* r) { return r->Update(OptionalArgumentOmitted(), OptionalArgumentOmitted()); }
  static EditModeEnum EditMode(_Recordset* r) {
    EditModeEnum mode = adEditNone;
    r->get_EditMode(&mode);
    return mode;
  }

  std::vector<pgtest::Row> Rows(const char* table) const {
    return Db(*server_).Query("SELECT * FROM " + library_ + "." + table + " ORDER BY ctid");
  }

  static inline const pgtest::PgServer* server_ = nullptr;
  adotest::ComApartment com_;
  std::string library_;
};

TEST_F(OdbcPg, FieldsDescribeTheEcmTablesColumns) {
  CComPtr<_Connection> c = Connect();
  for (LONG table = ECM_TPEC; table <= ECM_TBLB; ++table) {
    std::string name = Utf16ToUtf8(EcmTableName(table));
    SCOPED_TRACE(name);
    CComPtr<_Recordset> r = OpenTable(c, name.c_str());
    ASSERT_TRUE(r);
    CComPtr<Fields> fields;
    r->get_Fields(&fields);
    LONG count = 0;
    fields->get_Count(&count);
    auto columns = EcmTableColumns(table);
    ASSERT_EQ(static_cast<std::size_t>(count), columns.size());
    for (const EcmColumn& column : columns) {
      SCOPED_TRACE(column.name);
      CComPtr<Field> f = FieldOf(r, U(column.name));
      ASSERT_TRUE(f);
      ColumnInfo expected;
      ado::DescribeDeclaredType(U(column.typeText), expected);
      DataTypeEnum type = adEmpty;
      BYTE precision = 0, scale = 0;
      LONG size = 0, attributes = 0;
      f->get_Type(&type);
      f->get_Precision(&precision);
      f->get_NumericScale(&scale);
      f->get_DefinedSize(&size);
      f->get_Attributes(&attributes);
      if (expected.type == adDecimal) {
        EXPECT_EQ(type, adDecimal);  // the digit check of the data access layer runs on it
        EXPECT_EQ(precision, expected.precision);
        EXPECT_EQ(scale, expected.numericScale);
      } else {
        EXPECT_EQ(type, adWChar);  // CHAR(n), as the Unicode driver reports it
        EXPECT_EQ(size, expected.definedSize);
      }
      EXPECT_TRUE(attributes & adFldUpdatable);
      EXPECT_TRUE(attributes & adFldIsNullable);
    }
    VARIANT_BOOL can = VARIANT_FALSE;
    EXPECT_EQ(r->Supports(adAddNew, &can), S_OK);
    EXPECT_EQ(can, VARIANT_TRUE);
    r->Close();
  }
}

TEST_F(OdbcPg, AMissingLibraryOrTableFailsTheOpenWithTheServersWords) {
  CComPtr<_Connection> c = Connect();
  struct Case {
    std::u16string sql;
    HRESULT hr;
    const char* state;
    std::string words;
  };
  const Case cases[] = {
      {u"SELECT * FROM NOSUCHLIB.TPEC WHERE 1=0", DB_E_NOTABLE, "42P01", "relation \"nosuchlib.tpec\" does not exist"},
      {u"SELECT * FROM " + Table("NOSUCH") + u" WHERE 1=0", DB_E_NOTABLE, "42P01",
       "relation \"" + Lower(library_) + ".nosuch\" does not exist"},
      {u"SELECT * FROM .TPEC WHERE 1=0", DB_E_ERRORSINCOMMAND, "42601", "syntax error at or near \".\""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(Narrow(k.sql));
    CComPtr<_Recordset> r;
    EXPECT_EQ(OpenForInsert(c, r, k.sql), k.hr);
    LONG state = -1;
    r->get_State(&state);
    EXPECT_EQ(state, adStateClosed);
    auto errors = ErrorsOf(c);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].number, k.hr);
    EXPECT_EQ(Narrow(errors[0].sqlState), k.state);
    EXPECT_NE(Narrow(errors[0].description).find(k.words), std::string::npos) << Narrow(errors[0].description);
    EXPECT_EQ(Narrow(errors[0].source), "ODBC");
  }
}

TEST_F(OdbcPg, AnInsertWritesTheColumnsThatWereSetAndTheRestStayNull) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenTable(c, "TBHB");
  ASSERT_EQ(AddNew(r), S_OK);
  ASSERT_EQ(Put(r, u"BHSEN", u"V1001"), S_OK);
  ASSERT_EQ(Put(r, u"bhind", u"20240315"), S_OK);  // field names compare without regard to case
  ASSERT_EQ(Put(r, u"BHITT", u"-100.5"), S_OK);
  ASSERT_EQ(Put(r, u"BHCUR", u"EUR"), S_OK);
  ASSERT_EQ(Put(r, u"BHINV", u"Nr. 4711 – Müller"), S_OK);
  ASSERT_EQ(Update(r), S_OK) << ErrorText(c);
  EXPECT_EQ(EditMode(r), adEditNone);
  auto rows = Rows("TBHB");
  ASSERT_EQ(rows.size(), 1u);
  auto& row = rows[0];
  EXPECT_EQ(row.at("BHSEN").value_or("<null>"), "V1001" + std::string(30, ' '));  // CHAR(35) comes back padded
  EXPECT_EQ(row.at("BHIND").value_or("<null>"), "20240315");
  EXPECT_EQ(row.at("BHITT").value_or("<null>"), "-100.50");
  EXPECT_EQ(row.at("BHCUR").value_or("<null>"), "EUR");
  EXPECT_EQ(row.at("BHINV").value_or("<null>"), "Nr. 4711 – Müller     ");
  EXPECT_FALSE(row.at("BHDCY").has_value());
  EXPECT_FALSE(row.at("BHGUI").has_value());
}

TEST_F(OdbcPg, OneInsertStatementIsPreparedPerRecordsetAndSetOfColumns) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenTable(c, "TBLB");
  std::uint64_t before = ado::odbc::InsertStatementsPrepared();
  for (const char16_t* item : {u"A", u"B", u"C"}) {
    ASSERT_EQ(AddNew(r), S_OK);
    ASSERT_EQ(Put(r, u"BLCIT", item), S_OK);
    ASSERT_EQ(Put(r, u"BLINQ", u"2"), S_OK);
    ASSERT_EQ(Update(r), S_OK) << ErrorText(c);
  }
  EXPECT_EQ(ado::odbc::InsertStatementsPrepared() - before, 1u);
  ASSERT_EQ(AddNew(r), S_OK);
  ASSERT_EQ(Put(r, u"BLCIT", u"D"), S_OK);
  ASSERT_EQ(Update(r), S_OK) << ErrorText(c);
  EXPECT_EQ(ado::odbc::InsertStatementsPrepared() - before, 2u);
  auto rows = Rows("TBLB");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3].at("BLCIT").value_or("<null>").substr(0, 1), "D");
  EXPECT_FALSE(rows[3].at("BLINQ").has_value());
}

TEST_F(OdbcPg, RefusedValuesCarryTheDatabasesWordsAndStayPendingUntilCancelled) {
  struct Case {
    const char16_t* column;
    const char16_t* value;
    HRESULT hr;
    const char* state;
    const char* words;
  };
  const Case cases[] = {
      {u"BHCUR", u"EURO", DB_E_DATAOVERFLOW, "22001", "value too long for type character(3)"},
      {u"BHITT", u"abc", DB_E_CANTCONVERTVALUE, "22P02", "invalid input syntax for type numeric: \"abc\""},
      {u"BHITT", u"", DB_E_CANTCONVERTVALUE, "22P02", "invalid input syntax for type numeric: \"\""},
      {u"BHITT", u"12345678901234", DB_E_DATAOVERFLOW, "22003", "numeric field overflow"},
      // PostgreSQL would round these: the provider refuses them itself.
      {u"BHIND", u"20240315.7", DB_E_ERRORSOCCURRED, "22003", "has too many fraction digits: DECIMAL(8,0) holds at "
                                                              "most 0; the value would be rounded."},
      {u"BHITT", u"1.005", DB_E_ERRORSOCCURRED, "22003", "DECIMAL(15,2) holds at most 2"},
      {u"BHITT", u"1e3", DB_E_ERRORSOCCURRED, "22018", "is not a plain decimal number for DECIMAL(15,2)"},
  };
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenTable(c, "TBHB");
  for (const Case& k : cases) {
    SCOPED_TRACE(Narrow(k.value));
    ASSERT_EQ(AddNew(r), S_OK);
    ASSERT_EQ(Put(r, u"BHSEN", u"V1001"), S_OK);
    ASSERT_EQ(Put(r, k.column, k.value), S_OK);
    EXPECT_EQ(Update(r), k.hr);
    EXPECT_EQ(EditMode(r), adEditAdd);
    auto errors = ErrorsOf(c);
    ASSERT_EQ(errors.size(), 1u) << ErrorText(c);
    EXPECT_EQ(Narrow(errors[0].sqlState), k.state);
    EXPECT_NE(Narrow(errors[0].description).find(k.words), std::string::npos) << Narrow(errors[0].description);
    if (k.hr != DB_E_ERRORSOCCURRED) {
      EXPECT_EQ(errors[0].number, k.hr);
      EXPECT_EQ(errors[0].nativeError, 1);  // psqlODBC's only native error for a server's refusal
    }
    EXPECT_EQ(r->CancelUpdate(), S_OK);
    EXPECT_EQ(EditMode(r), adEditNone);
  }
  EXPECT_TRUE(Rows("TBHB").empty());
  // The connection is fine after the refusals, and each record is committed by itself.
  ASSERT_EQ(AddNew(r), S_OK);
  ASSERT_EQ(Put(r, u"BHSEN", u"V1002"), S_OK);
  ASSERT_EQ(Put(r, u"BHITT", u"1.50"), S_OK);
  ASSERT_EQ(Update(r), S_OK) << ErrorText(c);
  auto rows = Rows("TBHB");  // through another connection, while this one is still open
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("BHITT").value_or("<null>"), "1.50");
}

TEST_F(OdbcPg, TheCredentialsOfOpenReachTheDriverAndNeverAMessage) {
  {
    CComPtr<_Connection> good = Connect();  // leaves a connection in the pool
    good->Close();
  }
  struct Case {
    const char* what;
    std::u16string user, password;
    std::string words;
  };
  const Case cases[] = {
      {"wrong password", u"ecm", u"Wr0ng-Secret!", "password authentication failed for user \"ecm\""},
      {"unknown user", u"nobody", u"Wr0ng-Secret!", "password authentication failed for user \"nobody\""},
      {"no password", u"ecm", u"", "password"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    CComPtr<_Connection> c = adotest::NewConnection();
    HRESULT hr = c->Open(CComBSTR(ConnectionString()), CComBSTR(k.user), CComBSTR(k.password), -1);
    EXPECT_EQ(hr, E_FAIL);
    LONG state = -1;
    c->get_State(&state);
    EXPECT_EQ(state, adStateClosed);
    std::string text = ErrorText(c);
    EXPECT_NE(text.find(k.words), std::string::npos) << text;
    EXPECT_EQ(text.find("Wr0ng-Secret!"), std::string::npos) << text;
    auto errors = ErrorsOf(c);
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(Narrow(errors[0].sqlState), "08001");
  }
}

TEST_F(OdbcPg, AServerThatCannotBeReachedFailsWithTheDriversWords) {
  std::string source = server_->DataSource();
  std::string port = "Port=" + std::to_string(server_->port);
  source.replace(source.find(port), port.size(), "Port=1");
  CComPtr<_Connection> c = adotest::NewConnection();
  EXPECT_EQ(c->Open(CComBSTR(ConnectionString(source)), CComBSTR(u"ecm"), CComBSTR(u"ecm"), -1), E_FAIL);
  std::string text = ErrorText(c);
  EXPECT_NE(text.find("Connection refused"), std::string::npos) << text;
}

TEST_F(OdbcPg, ADataSourceNameAndAQuotedConnectionStringAlsoConnect) {
  for (std::u16string cs : {std::u16string(u"Provider=IBMDA400;Data source=odbc:qorvena_ecm;"),
                            u"Provider=IBMDA400;Data source=\"" + U(server_->DataSource()) + u"\";"}) {
    SCOPED_TRACE(Narrow(cs));
    CComPtr<_Connection> c = adotest::NewConnection();
    ASSERT_EQ(c->Open(CComBSTR(cs), CComBSTR(u"ecm"), CComBSTR(u"ecm"), -1), S_OK) << ErrorText(c);
    CComPtr<_Recordset> r = OpenTable(c, "TPEC");
    EXPECT_TRUE(r);
  }
}

// The IBM i path builds DRIVER={...};SYSTEM=NAME;...;UID=...;PWD=...; here the PostgreSQL driver stands in for
// the IBM i driver, so the test sees the credentials of Open arrive at a real driver by that path.
TEST_F(OdbcPg, TheIbmiPathHandsTheCredentialsToTheConfiguredDriver) {
  ScopedEnv driver(ado::odbc::kIbmiDriverVariable, "PostgreSQL Unicode");
  ScopedEnv options(ado::odbc::kIbmiOptionsVariable,
                    "Server=127.0.0.1;Port=" + std::to_string(server_->port) + ";Database=ecm;Protocol=7.4-1");
  CComPtr<_Connection> c = adotest::NewConnection();
  ASSERT_EQ(c->Open(CComBSTR(u"Provider=IBMDA400;Data source=AS400A;"), CComBSTR(u"ecm"), CComBSTR(u"ecm"), -1), S_OK)
      << ErrorText(c);
  EXPECT_TRUE(OpenTable(c, "TBHB"));
  CComPtr<_Connection> wrong = adotest::NewConnection();
  EXPECT_EQ(wrong->Open(CComBSTR(u"Provider=IBMDA400;Data source=AS400A;"), CComBSTR(u"ecm"),
                        CComBSTR(u"Wr0ng-Secret!"), -1),
            E_FAIL);
  std::string text = ErrorText(wrong);
  EXPECT_NE(text.find("password authentication failed"), std::string::npos) << text;
  EXPECT_EQ(text.find("Wr0ng-Secret!"), std::string::npos) << text;
}

TEST_F(OdbcPg, ExecuteRunsStatementsWithoutRows) {
  CComPtr<_Connection> c = Connect();
  CComVariant affected;
  EXPECT_EQ(c->Execute(CComBSTR(u"CREATE TABLE " + Table("EXTRA") + u" (A INTEGER, B NUMERIC(5,2))"), &affected,
                       adCmdText, nullptr),
            S_OK)
      << ErrorText(c);
  EXPECT_EQ(c->Execute(CComBSTR(u"INSERT INTO " + Table("EXTRA") + u" VALUES (1, 2.5); INSERT INTO " +
                                Table("EXTRA") + u" VALUES (2, NULL)"),
                       &affected, adCmdText, nullptr),
            S_OK)
      << ErrorText(c);
  EXPECT_EQ(affected.vt, VT_I4);
  EXPECT_EQ(affected.lVal, 2);
  EXPECT_EQ(c->Execute(CComBSTR(u"CREATE TABLE"), nullptr, adCmdText, nullptr), DB_E_ERRORSINCOMMAND);
  auto errors = ErrorsOf(c);
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(Narrow(errors[0].sqlState), "42601");

  // Rows read back through ADO, with their types.
  auto rows = adotest::ReadRows(c, u"SELECT A, B, 'x' AS C FROM " + Table("EXTRA") + u" ORDER BY A");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(Narrow(rows[0][0]), "1");
  EXPECT_EQ(Narrow(rows[0][1]), "2.50");
  EXPECT_EQ(Narrow(rows[1][1]), "<null>");
  EXPECT_EQ(Narrow(rows[1][2]), "x");
}

// A connection per document costs a login unless the driver manager pools: the second Open gets the
// connection the first one closed.
TEST_F(OdbcPg, ClosedConnectionsAreReusedFromThePool) {
  auto backend = [&] {
    CComPtr<_Connection> c = Connect();
    auto rows = adotest::ReadRows(c, u"SELECT pg_backend_pid()");
    c->Close();
    return rows.empty() ? std::u16string() : rows[0][0];
  };
  std::u16string first = backend();
  std::u16string second = backend();
  EXPECT_FALSE(first.empty());
  EXPECT_EQ(first, second);
  // The driver manager's connection handles are used again too: it leaks memory for each new handle whose
  // connection comes from its pool.
  std::uint64_t handles = ado::odbc::ConnectionHandlesAllocated();
  for (int i = 0; i < 10; ++i) EXPECT_EQ(backend(), first);
  EXPECT_EQ(ado::odbc::ConnectionHandlesAllocated(), handles);
}

// The provider keeps a closed connection with the statements prepared on it: the next document's inserts are
// not prepared again, and a table changed in between is described as it now is.
TEST_F(OdbcPg, AKeptConnectionKeepsItsStatementsAndSeesTableChanges) {
  auto release = [&](const char16_t* item, const char16_t* extra) {
    CComPtr<_Connection> c = Connect();
    CComPtr<_Recordset> r = OpenTable(c, "TBLB");
    ASSERT_EQ(AddNew(r), S_OK);
    ASSERT_EQ(Put(r, u"BLCIT", item), S_OK);
    if (extra) {
      ASSERT_EQ(Put(r, u"ZZNOTE", extra), S_OK);
    }
    ASSERT_EQ(Update(r), S_OK) << ErrorText(c);
    r->Close();
    c->Close();
  };
  release(u"A", nullptr);
  std::uint64_t before = ado::odbc::InsertStatementsPrepared();
  release(u"B", nullptr);
  EXPECT_EQ(ado::odbc::InsertStatementsPrepared(), before) << "the insert of the first document was kept";

  ASSERT_TRUE(Db(*server_).Exec("ALTER TABLE " + library_ + ".TBLB ADD COLUMN ZZNOTE VARCHAR(10)"));
  release(u"C", u"new");
  auto rows = Rows("TBLB");
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[2].at("ZZNOTE").value_or("<null>"), "new");
  EXPECT_EQ(rows[2].at("BLCIT").value_or("<null>").substr(0, 1), "C");
}

// The provider keeps at most eight idle connections; the ones it lets go are closed, not given back to it.
TEST_F(OdbcPg, MoreConnectionsThanThePoolKeepsComeAndGo) {
  auto openMany = [&] {
    std::vector<CComPtr<_Connection>> open;
    std::set<std::u16string> backends;
    for (int i = 0; i < 10; ++i) {
      open.push_back(Connect());
      auto rows = adotest::ReadRows(open.back(), u"SELECT pg_backend_pid()");
      if (!rows.empty()) backends.insert(rows[0][0]);
    }
    for (auto& c : open) c->Close();
    return backends;
  };
  std::set<std::u16string> first = openMany();
  ASSERT_EQ(first.size(), 10u);
  std::set<std::u16string> second = openMany();
  ASSERT_EQ(second.size(), 10u);
  std::size_t again = 0;
  for (const auto& b : second) again += first.count(b);
  EXPECT_GE(again, 8u) << "the eight kept connections are used again";
}

}  // namespace
