#include <gtest/gtest.h>
#include <sqlite3.h>

#include <thread>

#include "platform/ado/adoext.h"
#include "platform/ado/sqlite/sqlite_provider.h"
#include "tests/ado/ado_test_support.h"

namespace {

using adotest::ErrorsOf;
using adotest::Narrow;
using adotest::ReadRows;

constexpr char16_t kTable[] =
    u"CREATE TABLE ECMLIB.TBHB (BHCUR CHAR(2), BHINV CHAR(15) NOT NULL DEFAULT '', BHDAT DECIMAL(8, 0), "
    u"BHAMT DECIMAL(5,2), BHNUM NUMERIC(6,0), BHQTY INTEGER, BHTXT VARCHAR(10))";

class SqliteAdo : public ::testing::Test {
 protected:
  void SetUp() override { adotest::MakeLibrary(dir_, u"ECMLIB", {kTable}); }

  CComPtr<_Connection> Connect() { return adotest::OpenConnection(dir_.ConnectionString()); }

  // An empty client-side recordset on a table, ready for AddNew, as the export opens it.
  CComPtr<_Recordset> OpenForInsert(_Connection* c, std::u16string_view sql = u"SELECT * FROM ECMLIB.TBHB WHERE 1=0") {
    CComPtr<_Recordset> r = adotest::NewRecordset();
    EXPECT_EQ(r->put_CursorLocation(adUseClient), S_OK);
    EXPECT_EQ(r->Open(CComVariant(sql), CComVariant(static_cast<IDispatch*>(c)), adOpenForwardOnly, adLockOptimistic,
                      adCmdUnspecified),
              S_OK);
    return r;
  }

  static CComPtr<Field> FieldOf(_Recordset* r, const VARIANT& index) {
    CComPtr<Fields> fields;
    EXPECT_EQ(r->get_Fields(&fields), S_OK);
    CComPtr<Field> f;
    fields->get_Item(index, &f);
    return f;
  }
  static HRESULT Put(_Recordset* r, std::u16string_view column, std::u16string_view value) {
    CComPtr<Field> f = FieldOf(r, CComVariant(column));
    if (!f) return adErrItemNotFound;
    return f->put_Value(CComVariant(value));
  }
  static HRESULT AddNew(_Recordset* r) { return r->AddNew(OptionalArgumentOmitted(), OptionalArgumentOmitted()); }
  static HRESULT Update(_Recordset* r) { return r->Update(OptionalArgumentOmitted(), OptionalArgumentOmitted()); }

  adotest::ComApartment com_;
  adotest::TempDir dir_;
};

TEST_F(SqliteAdo, OpenAndCloseTheConnection) {
  CComPtr<_Connection> c = adotest::NewConnection();
  LONG state = -1;
  EXPECT_EQ(c->get_State(&state), S_OK);
  EXPECT_EQ(state, adStateClosed);
  CursorLocationEnum location = adUseNone;
  c->get_CursorLocation(&location);
  EXPECT_EQ(location, adUseServer);
  EXPECT_EQ(c->Open(CComBSTR(dir_.ConnectionString()), CComBSTR(u""), CComBSTR(u""), -1), S_OK);
  c->get_State(&state);
  EXPECT_EQ(state, adStateOpen);
  EXPECT_EQ(c->Open(CComBSTR(dir_.ConnectionString()), nullptr, nullptr, -1), adErrObjectOpen);
  EXPECT_EQ(c->Close(), S_OK);
  c->get_State(&state);
  EXPECT_EQ(state, adStateClosed);
  EXPECT_EQ(c->Close(), adErrObjectClosed);
  // Open without a string reuses the one it was given before.
  EXPECT_EQ(c->Open(nullptr, nullptr, nullptr, -1), S_OK);
  CComBSTR text;
  c->get_ConnectionString(&text);
  EXPECT_EQ(text.Str(), dir_.ConnectionString());
}

TEST_F(SqliteAdo, ConnectionStringsThatSelectNoUsableProvider) {
  std::u16string folder = Utf8ToUtf16(dir_.path().string());
  struct Case {
    std::u16string connectionString;
    HRESULT hr;
    std::u16string description;  // a part of it
  };
  const Case cases[] = {
      {u"Provider=SQLOLEDB;Data source=" + folder, adErrProviderNotFound,
       u"Provider cannot be found. It may not be properly installed."},
      {u"Data source=" + folder, adErrProviderNotFound, u"Provider cannot be found."},
      {u"Provider=IBMDA400;", E_FAIL, u"names no data source"},
      {u"Provider=IBMDA400;Data source=sqlite:" + folder + u"/nosuch;", E_FAIL,
       u"The server folder '" + folder + u"/nosuch' does not exist."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.connectionString));
    CComPtr<_Connection> conn = adotest::NewConnection();
    EXPECT_EQ(conn->Open(CComBSTR(c.connectionString), nullptr, nullptr, -1), c.hr);
    auto errors = ErrorsOf(conn);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, c.hr);
    EXPECT_NE(errors[0].description.find(c.description), std::u16string::npos) << Narrow(errors[0].description);
    LONG state = -1;
    conn->get_State(&state);
    EXPECT_EQ(state, adStateClosed);
  }
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "nosuch"));
}

TEST_F(SqliteAdo, AnExistingFolderOrTheProviderProgIdAlsoConnect) {
  for (std::u16string cs : {u"Provider=IBMDA400;Data Source=" + Utf8ToUtf16(dir_.path().string()),
                            u"provider=ibmda400.DataSource.1;DATA SOURCE=" + dir_.DataSource()}) {
    CComPtr<_Connection> c = adotest::NewConnection();
    EXPECT_EQ(c->Open(CComBSTR(cs), nullptr, nullptr, -1), S_OK) << Narrow(cs);
  }
}

TEST_F(SqliteAdo, FieldsDescribeTheDeclaredColumns) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenForInsert(c, u"select * from ecmlib.tbhb where 1=0");
  struct Case {
    const char16_t* name;
    DataTypeEnum type;
    LONG size;
    int precision, scale;
    LONG attributes;
  };
  constexpr LONG kNullable = adFldUpdatable | adFldFixed | adFldIsNullable | adFldMayBeNull;
  const Case cases[] = {
      {u"BHCUR", adChar, 2, 255, 255, kNullable},
      {u"BHINV", adChar, 15, 255, 255, adFldUpdatable | adFldFixed | adFldMayBeNull},
      {u"BHDAT", adDecimal, 16, 8, 0, kNullable},
      {u"BHAMT", adDecimal, 16, 5, 2, kNullable},
      {u"BHNUM", adNumeric, 19, 6, 0, kNullable},
      {u"BHQTY", adInteger, 4, 10, 255, kNullable},
      {u"BHTXT", adVarChar, 10, 255, 255, adFldUpdatable | adFldIsNullable | adFldMayBeNull},
  };
  CComPtr<Fields> fields;
  ASSERT_EQ(r->get_Fields(&fields), S_OK);
  LONG count = 0;
  fields->get_Count(&count);
  ASSERT_EQ(count, 7);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& k = cases[i];
    SCOPED_TRACE(Narrow(k.name));
    CComPtr<Field> f = FieldOf(r, CComVariant(static_cast<LONG>(i)));
    ASSERT_TRUE(f);
    CComBSTR name;
    f->get_Name(&name);
    EXPECT_EQ(name.Str(), k.name);
    DataTypeEnum type = adEmpty;
    LONG size = 0, attributes = 0;
    BYTE precision = 0, scale = 0;
    f->get_Type(&type);
    f->get_DefinedSize(&size);
    f->get_Precision(&precision);
    f->get_NumericScale(&scale);
    f->get_Attributes(&attributes);
    EXPECT_EQ(type, k.type);
    EXPECT_EQ(size, k.size);
    EXPECT_EQ(precision, k.precision);
    EXPECT_EQ(scale, k.scale);
    EXPECT_EQ(attributes, k.attributes);
  }
  // By name, in any case.
  CComPtr<Field> byName = FieldOf(r, CComVariant(u"bhamt"));
  ASSERT_TRUE(byName);
  CComBSTR name;
  byName->get_Name(&name);
  EXPECT_EQ(name.Str(), u"BHAMT");
  CComPtr<Field> missing;
  EXPECT_EQ(fields->get_Item(CComVariant(u"NOSUCH"), &missing), adErrItemNotFound);
  EXPECT_EQ(fields->get_Item(CComVariant(LONG{7}), &missing), adErrItemNotFound);
  EXPECT_TRUE(ErrorsOf(c).empty());  // ADO's own errors are not provider errors

  VARIANT_BOOL bof = 0, eof = 0;
  r->get_BOF(&bof);
  r->get_EOF(&eof);
  EXPECT_TRUE(bof && eof);
  CursorTypeEnum cursor = adOpenUnspecified;
  r->get_CursorType(&cursor);
  EXPECT_EQ(cursor, adOpenStatic);  // a client cursor is static
  for (auto [option, expected] : {std::pair{adAddNew, true}, {adUpdate, true}, {adResync, false}, {adDelete, false}}) {
    VARIANT_BOOL supported = 0;
    EXPECT_EQ(r->Supports(option, &supported), S_OK);
    EXPECT_EQ(supported != 0, expected) << option;
  }
}

TEST_F(SqliteAdo, AddNewPutsAndUpdateStoreOneRecord) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenForInsert(c);
  ASSERT_EQ(AddNew(r), S_OK);
  EditModeEnum mode = adEditNone;
  r->get_EditMode(&mode);
  EXPECT_EQ(mode, adEditAdd);
  EXPECT_EQ(Put(r, u"BHCUR", u"EU"), S_OK);
  EXPECT_EQ(Put(r, u"bhinv", u"INV-0001"), S_OK);
  EXPECT_EQ(Put(r, u"BHDAT", u"20240131"), S_OK);
  EXPECT_EQ(Put(r, u"BHAMT", u"123.45"), S_OK);
  EXPECT_EQ(Put(r, u"BHNUM", u"-42"), S_OK);
  EXPECT_EQ(Put(r, u"BHQTY", u"7"), S_OK);
  EXPECT_EQ(Put(r, u"BHTXT", u""), S_OK);
  // Read back from the pending record.
  CComVariant v;
  FieldOf(r, CComVariant(u"BHAMT"))->get_Value(&v);
  EXPECT_EQ(VariantToString(v), u"123.45");
  ASSERT_EQ(Update(r), S_OK);
  r->get_EditMode(&mode);
  EXPECT_EQ(mode, adEditNone);
  // The recordset shows the stored record.
  v.Clear();
  FieldOf(r, CComVariant(u"BHAMT"))->get_Value(&v);
  EXPECT_EQ(VariantToString(v), u"123.45");
  EXPECT_EQ(r->Close(), S_OK);

  auto rows = ReadRows(c, u"SELECT BHCUR, BHINV, BHDAT, BHAMT, BHNUM, BHQTY, BHTXT FROM ECMLIB.TBHB");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::u16string>{u"EU", u"INV-0001", u"20240131", u"123.45", u"-42", u"7", u""}));

  // What SQLite holds: numbers as numbers, text as text.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir_.path() / "ECMLIB.db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT typeof(BHDAT), typeof(BHAMT), BHAMT, typeof(BHCUR) FROM TBHB", -1, &st,
                               nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "integer");
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 1)), "real");
  EXPECT_DOUBLE_EQ(sqlite3_column_double(st, 2), 123.45);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 3)), "text");
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST_F(SqliteAdo, DecimalsReadBackWithTheirScale) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenForInsert(c);
  for (const char16_t* amount : {u"5", u"0.1", u"-999.99", u"0"}) {
    ASSERT_EQ(AddNew(r), S_OK);
    ASSERT_EQ(Put(r, u"BHAMT", amount), S_OK);
    ASSERT_EQ(Update(r), S_OK);
  }
  r->Close();
  auto rows = ReadRows(c, u"SELECT BHAMT FROM ECMLIB.TBHB ORDER BY rowid");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][0], u"5.00");
  EXPECT_EQ(rows[1][0], u"0.10");
  EXPECT_EQ(rows[2][0], u"-999.99");
  EXPECT_EQ(rows[3][0], u"0.00");
}

TEST_F(SqliteAdo, ValuesTheDatabaseWouldRefuseAreRefusedAtUpdate) {
  struct Case {
    std::u16string column, value;
    HRESULT number;
    std::u16string state;
    std::u16string description;
  };
  const Case cases[] = {
      {u"BHCUR", u"ABC", DB_E_DATAOVERFLOW, u"22001",
       u"Value 'ABC' for column TBHB.BHCUR is too long: CHAR(2) holds at most 2 characters."},
      {u"BHAMT", u"1234.5", DB_E_DATAOVERFLOW, u"22003",
       u"Value '1234.5' for column TBHB.BHAMT is out of range: DECIMAL(5,2) holds at most 3 integer and 2 fraction "
       u"digits."},
      {u"BHAMT", u"12a", DB_E_CANTCONVERTVALUE, u"22018",
       u"Value '12a' for column TBHB.BHAMT is not a valid number for DECIMAL(5,2)."},
      {u"BHAMT", u"", DB_E_CANTCONVERTVALUE, u"22018",
       u"Value '' for column TBHB.BHAMT is not a valid number for DECIMAL(5,2)."},
      {u"BHNUM", u"12.7", DB_E_DATAOVERFLOW, u"22003",
       u"Value '12.7' for column TBHB.BHNUM is out of range: NUMERIC(6,0) holds at most 6 integer and 0 fraction "
       u"digits."},
      {u"BHTXT", u"ABCDEFGHIJK", DB_E_DATAOVERFLOW, u"22001",
       u"Value 'ABCDEFGHIJK' for column TBHB.BHTXT is too long: VARCHAR(10) holds at most 10 characters."},
  };
  CComPtr<_Connection> c = Connect();
  for (const auto& k : cases) {
    SCOPED_TRACE(Narrow(k.column + u" <- " + k.value));
    CComPtr<_Recordset> r = OpenForInsert(c);
    ASSERT_EQ(AddNew(r), S_OK);
    ASSERT_EQ(Put(r, u"BHINV", u"X"), S_OK);
    ASSERT_EQ(Put(r, k.column, k.value), S_OK);  // the provider checks when the record is stored
    EXPECT_EQ(Update(r), DB_E_ERRORSOCCURRED);
    auto errors = ErrorsOf(c);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, k.number);
    EXPECT_EQ(errors[0].sqlState, k.state);
    EXPECT_EQ(errors[0].description, k.description);
    EXPECT_EQ(errors[0].source, u"SQLite");
    // The record stays pending until it is cancelled; the recordset cannot be closed over it.
    EditModeEnum mode = adEditNone;
    r->get_EditMode(&mode);
    EXPECT_EQ(mode, adEditAdd);
    EXPECT_EQ(r->Close(), adErrIllegalOperation);
    EXPECT_EQ(r->CancelUpdate(), S_OK);
    r->get_EditMode(&mode);
    EXPECT_EQ(mode, adEditNone);
    EXPECT_EQ(r->Close(), S_OK);
  }
  EXPECT_TRUE(ReadRows(c, u"SELECT * FROM ECMLIB.TBHB").empty());
}

TEST_F(SqliteAdo, EveryRefusedColumnIsReportedAndTheCollectionIsReplacedByTheNextFailure) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenForInsert(c);
  ASSERT_EQ(AddNew(r), S_OK);
  Put(r, u"BHCUR", u"ABC");
  Put(r, u"BHAMT", u"x");
  Put(r, u"BHTXT", u"fine");
  EXPECT_EQ(Update(r), DB_E_ERRORSOCCURRED);
  auto errors = ErrorsOf(c);
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].sqlState, u"22001");
  EXPECT_EQ(errors[1].sqlState, u"22018");

  r->CancelUpdate();
  ASSERT_EQ(AddNew(r), S_OK);
  Put(r, u"BHAMT", u"1000");
  EXPECT_EQ(Update(r), DB_E_ERRORSOCCURRED);
  errors = ErrorsOf(c);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].sqlState, u"22003");

  CComPtr<Errors> collection;
  c->get_Errors(&collection);
  CComPtr<Error> item;
  EXPECT_EQ(collection->get_Item(CComVariant(LONG{1}), &item), adErrItemNotFound);
  EXPECT_EQ(collection->get_Item(CComVariant(LONG{-1}), &item), adErrItemNotFound);
  EXPECT_EQ(collection->Clear(), S_OK);
  LONG count = -1;
  collection->get_Count(&count);
  EXPECT_EQ(count, 0);
  r->CancelUpdate();
}

TEST_F(SqliteAdo, ExcessBlanksAreDroppedAndTextIsNeverPastedIntoSql) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenForInsert(c);
  const std::u16string hostile = u"O'Brien\"); DROP TABLE TBHB; --";
  ASSERT_EQ(AddNew(r), S_OK);
  Put(r, u"BHCUR", u"AB    ");
  Put(r, u"BHINV", u"x'y");
  ASSERT_EQ(Put(r, u"BHTXT", hostile.substr(0, 10)), S_OK);
  ASSERT_EQ(Update(r), S_OK);
  r->Close();
  auto rows = ReadRows(c, u"SELECT BHCUR, BHINV, BHTXT FROM ECMLIB.TBHB");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::u16string>{u"AB", u"x'y", hostile.substr(0, 10)}));
}

TEST_F(SqliteAdo, ConstraintViolationsComeFromTheDatabase) {
  CComPtr<_Connection> c = Connect();
  ASSERT_EQ(adotest::Execute(c, u"CREATE TABLE ECMLIB.KEYED (K CHAR(3) PRIMARY KEY, V CHAR(1) NOT NULL)"), S_OK);
  CComPtr<_Recordset> r = OpenForInsert(c, u"SELECT * FROM ECMLIB.KEYED WHERE 1=0");
  ASSERT_EQ(AddNew(r), S_OK);
  Put(r, u"K", u"A");
  EXPECT_EQ(Update(r), DB_E_INTEGRITYVIOLATION);
  auto errors = ErrorsOf(c);
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].sqlState, u"23502");
  EXPECT_NE(errors[0].description.find(u"NOT NULL"), std::u16string::npos) << Narrow(errors[0].description);
  Put(r, u"V", u"x");
  EXPECT_EQ(Update(r), S_OK);
  ASSERT_EQ(AddNew(r), S_OK);
  Put(r, u"K", u"A");
  Put(r, u"V", u"y");
  EXPECT_EQ(Update(r), DB_E_INTEGRITYVIOLATION);
  EXPECT_EQ(ErrorsOf(c).at(0).sqlState, u"23505");
  r->CancelUpdate();
}

TEST_F(SqliteAdo, AMissingLibraryOrTableFailsAndNoFileIsCreated) {
  CComPtr<_Connection> c = Connect();
  struct Case {
    std::u16string sql;
    std::u16string description;
  };
  const Case cases[] = {
      {u"SELECT * FROM NOSUCH.TBHB WHERE 1=0", u"no such table: NOSUCH.TBHB"},
      {u"SELECT * FROM ECMLIB.NOSUCH WHERE 1=0", u"no such table: ECMLIB.NOSUCH"},
      {u"SELECT * FROM \"../ECMLIB\".TBHB WHERE 1=0", u"no such table: ../ECMLIB.TBHB"},
  };
  for (const auto& k : cases) {
    SCOPED_TRACE(Narrow(k.sql));
    CComPtr<_Recordset> r = adotest::NewRecordset();
    EXPECT_EQ(r->Open(CComVariant(k.sql), CComVariant(static_cast<IDispatch*>(c.get())), adOpenForwardOnly,
                      adLockOptimistic, -1),
              DB_E_NOTABLE);
    auto errors = ErrorsOf(c);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].number, DB_E_NOTABLE);
    EXPECT_EQ(errors[0].sqlState, u"42704");
    EXPECT_EQ(errors[0].description, k.description);
    LONG state = -1;
    r->get_State(&state);
    EXPECT_EQ(state, adStateClosed);
  }
  EXPECT_EQ(adotest::Execute(c, u"CREATE TABLE NOSUCH.T (A INTEGER)"), DB_E_NOTABLE);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "NOSUCH.db"));
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "nosuch.db"));
  std::size_t files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir_.path())) files += e.path().extension() == ".db";
  EXPECT_EQ(files, 1u);
}

TEST_F(SqliteAdo, ALibraryIsFoundWhateverTheCaseOfItsName) {
  ASSERT_EQ(ado::sqlite::CreateLibrary(dir_.path(), u"lower"), S_OK);
  EXPECT_EQ(ado::sqlite::CreateLibrary(dir_.path(), u"LOWER"), S_FALSE);  // already there
  EXPECT_EQ(ado::sqlite::CreateLibrary(dir_.path(), u"../up"), E_INVALIDARG);
  std::u16string error;
  EXPECT_EQ(ado::sqlite::CreateLibrary(dir_.path() / "none", u"X", &error), E_FAIL);
  EXPECT_NE(error.find(u"does not exist"), std::u16string::npos);
  CComPtr<_Connection> c = Connect();
  EXPECT_EQ(adotest::Execute(c, u"CREATE TABLE LOWER.T (A CHAR(1))"), S_OK);
  EXPECT_EQ(adotest::Execute(c, u"INSERT INTO Lower.T VALUES ('x')"), S_OK);
  EXPECT_EQ(ReadRows(c, u"SELECT A FROM lower.T").size(), 1u);
}

TEST_F(SqliteAdo, OneInsertStatementPerSetOfColumns) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenForInsert(c);
  std::uint64_t before = ado::sqlite::InsertStatementsPrepared();
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(AddNew(r), S_OK);
    Put(r, u"BHINV", u"I");
    Put(r, u"BHAMT", u"1.5");
    ASSERT_EQ(Update(r), S_OK);
  }
  EXPECT_EQ(ado::sqlite::InsertStatementsPrepared(), before + 1);
  ASSERT_EQ(AddNew(r), S_OK);
  Put(r, u"BHINV", u"J");
  ASSERT_EQ(Update(r), S_OK);
  EXPECT_EQ(ado::sqlite::InsertStatementsPrepared(), before + 2);
  // Nothing set at all: the table's defaults.
  ASSERT_EQ(AddNew(r), S_OK);
  ASSERT_EQ(Update(r), S_OK);
  r->Close();
  EXPECT_EQ(ReadRows(c, u"SELECT * FROM ECMLIB.TBHB").size(), 5u);
}

TEST_F(SqliteAdo, LibrariesUseTheWriteAheadLog) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenForInsert(c);
  ASSERT_EQ(AddNew(r), S_OK);
  ASSERT_EQ(Update(r), S_OK);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir_.path() / "ECMLIB.db").c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  sqlite3_stmt* st = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(st, 0)), "wal");
  sqlite3_finalize(st);
  // Each Update committed its record: another connection sees it at once.
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT count(*) FROM TBHB", -1, &st, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(st), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(st, 0), 1);
  sqlite3_finalize(st);
  sqlite3_close(db);
}

TEST_F(SqliteAdo, AnInsertWaitsForAnotherWriterInsteadOfFailing) {
  CComPtr<_Connection> c = Connect();
  CComPtr<_Recordset> r = OpenForInsert(c);
  sqlite3* other = nullptr;
  ASSERT_EQ(sqlite3_open_v2((dir_.path() / "ECMLIB.db").c_str(), &other, SQLITE_OPEN_READWRITE, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(other, "BEGIN IMMEDIATE; INSERT INTO TBHB (BHINV) VALUES ('other')", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  std::thread writer([other] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  });
  ASSERT_EQ(AddNew(r), S_OK);
  Put(r, u"BHINV", u"mine");
  EXPECT_EQ(Update(r), S_OK);
  writer.join();
  sqlite3_close(other);
  r->Close();
  EXPECT_EQ(ReadRows(c, u"SELECT * FROM ECMLIB.TBHB").size(), 2u);
}

TEST_F(SqliteAdo, ColumnsThatCannotBeWritten) {
  CComPtr<_Connection> c = Connect();
  ASSERT_EQ(adotest::Execute(c, u"CREATE TABLE ECMLIB.GEN (A INTEGER, B INTEGER GENERATED ALWAYS AS (A * 2))"), S_OK);
  CComPtr<_Recordset> r = OpenForInsert(c, u"SELECT G.*, 1 AS EXTRA FROM ECMLIB.GEN G WHERE 1=0");
  for (auto [name, updatable] : {std::pair{u"A", true}, {u"B", false}, {u"EXTRA", false}}) {
    LONG attributes = 0;
    FieldOf(r, CComVariant(name))->get_Attributes(&attributes);
    EXPECT_EQ((attributes & adFldUpdatable) != 0, updatable) << Narrow(name);
  }
  ASSERT_EQ(AddNew(r), S_OK);
  EXPECT_EQ(Put(r, u"EXTRA", u"5"), DB_E_ERRORSOCCURRED);
  EXPECT_EQ(ErrorsOf(c).at(0).description, u"Column EXTRA cannot be updated.");
  EXPECT_EQ(Put(r, u"A", u"21"), S_OK);
  EXPECT_EQ(Update(r), S_OK);
  r->Close();
  auto rows = ReadRows(c, u"SELECT A, B FROM ECMLIB.GEN");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0], (std::vector<std::u16string>{u"21", u"42"}));
}

TEST_F(SqliteAdo, RecordsetRulesOfUse) {
  CComPtr<_Connection> c = Connect();
  ASSERT_EQ(adotest::Execute(c, u"INSERT INTO ECMLIB.TBHB (BHINV) VALUES ('A'), ('B')"), S_OK);

  // Read-only: no adding, no writing into read rows.
  CComPtr<_Recordset> ro = adotest::NewRecordset();
  ASSERT_EQ(ro->Open(CComVariant(u"SELECT * FROM ECMLIB.TBHB"), CComVariant(static_cast<IDispatch*>(c.get())),
                     adOpenForwardOnly, adLockReadOnly, -1),
            S_OK);
  VARIANT_BOOL supported = -1;
  ro->Supports(adAddNew, &supported);
  EXPECT_FALSE(supported);
  EXPECT_EQ(AddNew(ro), adErrFeatureNotAvailable);
  EXPECT_EQ(ro->put_CursorType(adOpenStatic), adErrObjectOpen);
  EXPECT_EQ(ro->put_Source(CComBSTR(u"x")), adErrObjectOpen);
  ro->Close();

  CComPtr<_Recordset> r = OpenForInsert(c, u"SELECT BHINV FROM ECMLIB.TBHB");
  EXPECT_EQ(Put(r, u"BHINV", u"changed"), adErrFeatureNotAvailable);  // inserting only
  EXPECT_EQ(r->CancelUpdate(), S_OK);                                  // nothing pending: nothing happens
  ASSERT_EQ(AddNew(r), S_OK);
  EXPECT_EQ(AddNew(r), adErrIllegalOperation);  // an abandoned record is never stored behind the caller's back
  EXPECT_EQ(r->MoveFirst(), adErrIllegalOperation);
  EXPECT_EQ(r->CancelUpdate(), S_OK);
  EXPECT_EQ(r->MoveFirst(), S_OK);
  CComVariant v;
  FieldOf(r, CComVariant(u"BHINV"))->get_Value(&v);
  EXPECT_EQ(VariantToString(v), u"A");
  EXPECT_EQ(r->MoveNext(), S_OK);
  EXPECT_EQ(r->MoveNext(), S_OK);
  VARIANT_BOOL eof = 0;
  r->get_EOF(&eof);
  EXPECT_TRUE(eof);
  EXPECT_EQ(r->MoveNext(), adErrNoCurrentRecord);

  // Closing the connection closes its recordsets; a field held from before is stale.
  CComPtr<Field> held = FieldOf(r, CComVariant(u"BHINV"));
  EXPECT_EQ(c->Close(), S_OK);
  LONG state = -1;
  r->get_State(&state);
  EXPECT_EQ(state, adStateClosed);
  DataTypeEnum type;
  EXPECT_EQ(held->get_Type(&type), adErrObjectClosed);
  EXPECT_EQ(r->Close(), adErrObjectClosed);
  VARIANT_BOOL s;
  EXPECT_EQ(r->Supports(adAddNew, &s), adErrObjectClosed);
  EditModeEnum mode;
  EXPECT_EQ(r->get_EditMode(&mode), adErrObjectClosed);
}

TEST_F(SqliteAdo, RecordsetOpenArguments) {
  CComPtr<_Connection> c = Connect();
  // Source and connection from the properties.
  CComPtr<_Recordset> r = adotest::NewRecordset();
  ASSERT_EQ(r->put_Source(CComBSTR(u"SELECT * FROM ECMLIB.TBHB WHERE 1=0")), S_OK);
  ASSERT_EQ(r->putref_ActiveConnection(c), S_OK);
  EXPECT_EQ(r->Open(OptionalArgumentOmitted(), OptionalArgumentOmitted(), adOpenUnspecified, adLockOptimistic, -1),
            S_OK);
  r->Close();
  // A table name.
  EXPECT_EQ(r->Open(CComVariant(u"ECMLIB.TBHB"), OptionalArgumentOmitted(), adOpenForwardOnly, adLockReadOnly,
                    adCmdTable),
            S_OK);
  r->Close();
  // A connection string opens a connection of its own.
  EXPECT_EQ(r->Open(CComVariant(u"SELECT * FROM ECMLIB.TBHB"), CComVariant(dir_.ConnectionString()),
                    adOpenForwardOnly, adLockReadOnly, -1),
            S_OK);
  r->Close();
  // No connection, a closed one, a statement that returns no rows.
  CComPtr<_Recordset> fresh = adotest::NewRecordset();
  EXPECT_EQ(fresh->Open(CComVariant(u"SELECT 1"), OptionalArgumentOmitted(), adOpenForwardOnly, adLockReadOnly, -1),
            adErrInvalidConnection);
  CComPtr<_Connection> closed = adotest::NewConnection();
  EXPECT_EQ(fresh->Open(CComVariant(u"SELECT 1"), CComVariant(static_cast<IDispatch*>(closed.get())),
                        adOpenForwardOnly, adLockReadOnly, -1),
            adErrObjectClosed);
  EXPECT_EQ(fresh->Open(CComVariant(u"INSERT INTO ECMLIB.TBHB (BHINV) VALUES ('z')"),
                        CComVariant(static_cast<IDispatch*>(c.get())), adOpenForwardOnly, adLockReadOnly, -1),
            S_OK);
  LONG state = -1;
  fresh->get_State(&state);
  EXPECT_EQ(state, adStateClosed);
  EXPECT_EQ(fresh->Open(CComVariant(u"SELECT 1; SELECT 2"), CComVariant(static_cast<IDispatch*>(c.get())),
                        adOpenForwardOnly, adLockReadOnly, -1),
            DB_E_ERRORSINCOMMAND);
  EXPECT_EQ(ReadRows(c, u"SELECT * FROM ECMLIB.TBHB").size(), 1u);
}

}  // namespace
