// The ODBC provider's rules that need no database: connection strings, error numbers, column types, the
// values it refuses itself, and an IBM i host without its driver.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/ado/adoext.h"
#include "platform/ado/odbc/odbc_provider.h"
#include "platform/com/com.h"
#include "tests/odbc/scoped_env.h"

namespace {

using namespace ado::odbc;
using ado::ColumnInfo;
using ado::ProviderError;

std::string N(std::u16string_view s) { return Utf16ToUtf8(s); }

TEST(OdbcConnectionString, EachKindOfDataSourceWithTheCredentialsOfOpen) {
  ScopedEnv driver(kIbmiDriverVariable, nullptr), options(kIbmiOptionsVariable, nullptr);
  struct Case {
    std::u16string dataSource, user, password, expected;
  };
  const Case cases[] = {
      {u"odbc:Driver={PostgreSQL Unicode};Server=db1;Port=5432;", u"ecm", u"pw1",
       u"Driver={PostgreSQL Unicode};Server=db1;Port=5432;UID=ecm;PWD=pw1;"},
      // Credentials of Open replace those of the string; without them the string's stay.
      {u"odbc:DRIVER={X};UID=old;Server=s;pwd={o;ld}", u"new", u"pw2", u"DRIVER={X};Server=s;UID=new;PWD=pw2;"},
      {u"odbc:DRIVER={X};UID=old;Server=s;PWD=old", u"", u"", u"DRIVER={X};UID=old;Server=s;PWD=old;"},
      {u"odbc:DRIVER={X};User ID=old;Password=old", u"u", u"", u"DRIVER={X};Password=old;UID=u;"},
      {u"ODBC:ECMPROD", u"KOFAXREL", u"pw", u"DSN=ECMPROD;UID=KOFAXREL;PWD=pw;"},
      {u"odbc: ECM PROD ", u"", u"", u"DSN=ECM PROD;"},
      {u"AS400A", u"KOFAXREL", u"secret", u"DRIVER={IBM i Access ODBC Driver};SYSTEM=AS400A;UID=KOFAXREL;PWD=secret;"},
      {u"as400a.example.com", u"", u"", u"DRIVER={IBM i Access ODBC Driver};SYSTEM=as400a.example.com;"},
      // Values that would end the keyword or open a brace go in braces, so nothing can be slipped in.
      {u"AS400A;DRIVER={Other}", u"u", u"a;b}c", u"DRIVER={IBM i Access ODBC Driver};SYSTEM={AS400A;DRIVER={Other}}};"
                                                  u"UID=u;PWD={a;b}}c};"},
      {u"AS400A", u"u", u" padded ", u"DRIVER={IBM i Access ODBC Driver};SYSTEM=AS400A;UID=u;PWD={ padded };"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(N(c.dataSource));
    EXPECT_EQ(N(OdbcConnectionString(c.dataSource, c.user, c.password)), N(c.expected));
  }
}

TEST(OdbcConnectionString, TheIbmiDriverAndItsOptionsComeFromTheEnvironment) {
  ScopedEnv driver(kIbmiDriverVariable, "iSeries Access ODBC Driver");
  ScopedEnv options(kIbmiOptionsVariable, "CMT=0;NAM=0;PWD=ignored;UID=ignored");
  EXPECT_EQ(N(OdbcConnectionString(u"AS400B", u"u", u"p")),
            "DRIVER={iSeries Access ODBC Driver};SYSTEM=AS400B;CMT=0;NAM=0;UID=u;PWD=p;");
  ScopedEnv braced(kIbmiDriverVariable, " {IBM i Access ODBC Driver 64-bit} ");
  EXPECT_EQ(N(OdbcConnectionString(u"AS400B", u"", u"")),
            "DRIVER={IBM i Access ODBC Driver 64-bit};SYSTEM=AS400B;CMT=0;NAM=0;PWD=ignored;UID=ignored;");
}

TEST(OdbcConnectionString, AnOdbcConnectionStringRunsToTheEndOfTheAdoString) {
  struct Case {
    std::u16string ado, expected;
  };
  const Case cases[] = {
      // As the export writes it: "Provider=IBMDA400;Data source=%s;" with the configured server name.
      {u"Provider=IBMDA400;Data source=odbc:Driver={PostgreSQL Unicode};Server=db;Pwd={a;b};",
       u"odbc:Driver={PostgreSQL Unicode};Server=db;Pwd={a;b}"},
      {u"Provider=IBMDA400;Data Source = odbc:DSN=ecm ; ", u"odbc:DSN=ecm"},
      {u"Provider=IBMDA400;Data source=\"odbc:Driver={X};Server=a\";User ID=u", u"odbc:Driver={X};Server=a"},
      {u"Provider=IBMDA400;Data source=odbc:ECMPROD;", u"odbc:ECMPROD"},
      {u"Provider=IBMDA400;Data source=AS400A;", u"AS400A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(N(c.ado));
    ado::ConnectRequest request;
    request.connectionString = c.ado;
    request.properties = ado::ParseConnectionString(c.ado);
    request.dataSource = request.properties.Get(u"Data Source");
    EXPECT_EQ(N(DataSourceOf(request)), N(c.expected));
  }
}

TEST(OdbcConnectionString, PasswordsAreRedactedForPeople) {
  EXPECT_EQ(N(RedactPasswords(u"Driver={X};Uid=ecm;Pwd={se;cr}}et};Port=1")), "Driver={X};Uid=ecm;Pwd=***;Port=1;");
  EXPECT_EQ(N(RedactPasswords(u"DSN=a;PASSWORD=x")), "DSN=a;PASSWORD=***;");
  EXPECT_EQ(N(QuoteOdbcValue(u"plain")), "plain");
  EXPECT_EQ(N(QuoteOdbcValue(u"}{")), "{}}{}");
}

TEST(OdbcErrors, SqlStatesBecomeOleDbResults) {
  struct Case {
    const char16_t* state;
    HRESULT hr;
    bool connectionLost;
  };
  const Case cases[] = {
      {u"22001", DB_E_DATAOVERFLOW, false},      {u"22003", DB_E_DATAOVERFLOW, false},
      {u"22P02", DB_E_CANTCONVERTVALUE, false},  {u"22018", DB_E_CANTCONVERTVALUE, false},
      {u"22008", DB_E_CANTCONVERTVALUE, false},  {u"23505", DB_E_INTEGRITYVIOLATION, false},
      {u"23502", DB_E_INTEGRITYVIOLATION, false}, {u"28P01", DB_SEC_E_AUTH_FAILED, false},
      {u"28000", DB_SEC_E_AUTH_FAILED, false},   {u"42P01", DB_E_NOTABLE, false},
      {u"42704", DB_E_NOTABLE, false},           {u"42s02", DB_E_NOTABLE, false},
      {u"3F000", DB_E_NOTABLE, false},           {u"42601", DB_E_ERRORSINCOMMAND, false},
      {u"42703", DB_E_ERRORSINCOMMAND, false},   {u"42501", MakeHResult(0x80040E09u), false},
      {u"HYT00", MakeHResult(0x80040E31u), false}, {u"08001", E_FAIL, true},
      {u"08S01", E_FAIL, true},                  {u"57P01", E_FAIL, true},
      {u"57P03", E_FAIL, true},                  {u"57014", E_FAIL, false},
      {u"IM002", E_FAIL, false},                 {u"HY000", E_FAIL, false},
      {u"", E_FAIL, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(N(c.state));
    EXPECT_EQ(HResultForSqlState(c.state), c.hr);
    EXPECT_EQ(IsConnectionLost(c.state), c.connectionLost);
  }
}

TEST(OdbcColumns, DescribedColumnsBecomeAdoFields) {
  struct Case {
    const char* what;
    ColumnDescription description;
    bool oneNumericType;
    DataTypeEnum type;
    LONG definedSize;
    int precision, scale;
    LONG attributes;
    const char* typeText;
  };
  using U = Updatable;
  using Nl = Nullable;
  auto col = [](int type, std::uint64_t size, int digits, Nl nullable, U updatable) {
    ColumnDescription d;
    d.name = u"c";
    d.sqlType = type;
    d.size = size;
    d.digits = digits;
    d.nullable = nullable;
    d.updatable = updatable;
    d.baseTable = u"tbhb";
    return d;
  };
  constexpr LONG kW = adFldUpdatable, kN = adFldIsNullable | adFldMayBeNull, kF = adFldFixed;
  const Case cases[] = {
      {"PostgreSQL numeric", col(sqltype::kNumeric, 8, 0, Nl::Yes, U::Write), true, adDecimal, 16, 8, 0, kW | kN | kF,
       "DECIMAL(8,0)"},
      {"IBM i numeric", col(sqltype::kNumeric, 6, 0, Nl::Yes, U::Write), false, adNumeric, 19, 6, 0, kW | kN | kF,
       "NUMERIC(6,0)"},
      {"decimal", col(sqltype::kDecimal, 15, 2, Nl::No, U::Unknown), false, adDecimal, 16, 15, 2,
       adFldUnknownUpdatable | kF, "DECIMAL(15,2)"},
      {"wide char", col(sqltype::kWChar, 15, 0, Nl::Yes, U::Write), true, adWChar, 15, 255, 255, kW | kN | kF,
       "CHAR(15)"},
      {"char", col(sqltype::kChar, 2, 0, Nl::Unknown, U::ReadOnly), false, adChar, 2, 255, 255, kN | kF, "CHAR(2)"},
      {"varchar", col(sqltype::kVarChar, 10, 0, Nl::Yes, U::Write), false, adVarChar, 10, 255, 255, kW | kN,
       "VARCHAR(10)"},
      {"wide varchar", col(sqltype::kWVarChar, 10, 0, Nl::Yes, U::Write), false, adVarWChar, 10, 255, 255, kW | kN,
       "VARCHAR(10)"},
      {"text", col(sqltype::kWLongVarChar, 8190, 0, Nl::Yes, U::Write), true, adLongVarWChar, 0, 255, 255,
       kW | kN | adFldLong, "CLOB"},
      {"integer", col(sqltype::kInteger, 10, 0, Nl::No, U::Write), true, adInteger, 4, 10, 255, kW | kF, "INTEGER"},
      {"smallint", col(sqltype::kSmallInt, 5, 0, Nl::No, U::Write), true, adSmallInt, 2, 5, 255, kW | kF,
       "SMALLINT"},
      {"bigint", col(sqltype::kBigInt, 19, 0, Nl::No, U::Write), true, adBigInt, 8, 19, 255, kW | kF, "BIGINT"},
      {"real", col(sqltype::kReal, 7, 0, Nl::No, U::Write), true, adSingle, 8, 15, 255, kW | kF, "DOUBLE"},
      {"double", col(sqltype::kDouble, 15, 0, Nl::No, U::Write), true, adDouble, 8, 15, 255, kW | kF, "DOUBLE"},
      {"date", col(sqltype::kDate, 10, 0, Nl::Yes, U::Write), true, adDBDate, 6, 255, 255, kW | kN | kF, "DATE"},
      {"timestamp", col(sqltype::kTimestamp, 26, 6, Nl::Yes, U::Write), true, adDBTimeStamp, 16, 255, 255,
       kW | kN | kF, "TIMESTAMP"},
      {"bit", col(sqltype::kBit, 1, 0, Nl::Yes, U::Write), true, adBoolean, 0, 255, 255, kW | kN, "BOOLEAN"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ColumnInfo info = ColumnFromDescription(c.description, c.oneNumericType);
    EXPECT_EQ(info.type, c.type);
    EXPECT_EQ(info.definedSize, c.definedSize);
    EXPECT_EQ(info.precision, c.precision);
    EXPECT_EQ(info.numericScale, c.scale);
    EXPECT_EQ(info.attributes, c.attributes);
    EXPECT_EQ(N(info.typeText), c.typeText);
    EXPECT_EQ(N(info.name), "c");
    EXPECT_EQ(N(info.tableName), "tbhb");
  }
}

TEST(OdbcValues, ValuesTheDatabaseWouldChangeAreRefusedByTheProvider) {
  ColumnInfo d80;
  d80.name = u"BHIND";
  d80.tableName = u"tbhb";
  d80.type = adDecimal;
  d80.precision = 8;
  d80.numericScale = 0;
  d80.typeText = u"DECIMAL(8,0)";
  ColumnInfo d152 = d80;
  d152.precision = 15;
  d152.numericScale = 2;
  d152.typeText = u"DECIMAL(15,2)";
  ColumnInfo text = d80;
  text.type = adWChar;
  struct Case {
    const ColumnInfo* column;
    const char16_t* value;
    const char* state;  // empty: passed on to the database
  };
  const Case cases[] = {
      {&d80, u"12345", ""},     {&d80, u" -42 ", ""},      {&d80, u"12.0", ""},     {&d80, u"12.", ""},
      {&d80, u"12.7", "22003"}, {&d80, u"-0.5", "22003"},  {&d152, u"1.25", ""},    {&d152, u"1.2500", ""},
      {&d152, u"1.255", "22003"}, {&d152, u".5", ""},      {&d80, u"1e3", "22018"}, {&d80, u"1.5E+0", "22018"},
      {&d80, u"NaN", "22018"},  {&d80, u"-Infinity", "22018"}, {&d80, u"0x1F", "22018"}, {&d80, u"1_000", "22018"},
      // Left to the database, which refuses them in its own words.
      {&d80, u"abc", ""},       {&d80, u"", ""},           {&d80, u"12a", ""},      {&d80, u"1,5", ""},
      {&d80, u"123456789", ""}, {&d80, u"e5", ""},
      {&text, u"12.7", ""},     {&text, u"NaN", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(N(c.value));
    ProviderError e;
    bool passed = CheckNumericText(*c.column, c.value, e);
    EXPECT_EQ(passed, std::string(c.state).empty());
    if (passed) continue;
    EXPECT_EQ(N(e.sqlState), c.state);
    EXPECT_EQ(e.number, std::string(c.state) == "22003" ? DB_E_DATAOVERFLOW : DB_E_CANTCONVERTVALUE);
  }
  ProviderError e;
  ASSERT_FALSE(CheckNumericText(d80, u"12.7", e));
  EXPECT_EQ(N(e.description), "Value '12.7' for column tbhb.BHIND has too many fraction digits: DECIMAL(8,0) holds at "
                              "most 0; the value would be rounded.");
  ASSERT_FALSE(CheckNumericText(d152, u"1e3", e));
  EXPECT_EQ(N(e.description), "Value '1e3' for column tbhb.BHIND is not a plain decimal number for DECIMAL(15,2).");
}

// An IBM i host is reached through its own ODBC driver; where that is not installed, the administrator learns
// what to install or configure, and never sees the password.
TEST(OdbcIbmiHost, AMissingDriverIsNamedAndThePasswordNeverShown) {
  ScopedEnv driver(kIbmiDriverVariable, "No Such IBM i Driver");
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CComPtr<_Connection> c;
  ASSERT_EQ(CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection,
                             reinterpret_cast<void**>(&c)),
            S_OK);
  EXPECT_NE(c->Open(CComBSTR(u"Provider=IBMDA400;Data source=AS400X;"), CComBSTR(u"KOFAXREL"),
                    CComBSTR(u"Sup3r-Secret"), -1),
            S_OK);
  CComPtr<Errors> errors;
  ASSERT_EQ(c->get_Errors(&errors), S_OK);
  LONG count = 0;
  errors->get_Count(&count);
  ASSERT_GE(count, 2);
  std::string all;
  for (LONG i = 0; i < count; ++i) {
    CComPtr<Error> e;
    errors->get_Item(CComVariant(i), &e);
    CComBSTR text;
    e->get_Description(&text);
    all += N(text.View()) + "\n";
  }
  EXPECT_NE(all.find("No Such IBM i Driver"), std::string::npos) << all;
  EXPECT_NE(all.find(kIbmiDriverVariable), std::string::npos) << all;
  EXPECT_EQ(all.find("Sup3r-Secret"), std::string::npos) << all;
  LONG state = -1;
  c->get_State(&state);
  EXPECT_EQ(state, adStateClosed);
  c.Release();
  CoUninitialize();
}

TEST(OdbcInsertTarget, TheTableOfASimpleSelectWhereTheDriverNamesNone) {
  struct Case {
    const char16_t* sql;
    const char* table;
  };
  const Case cases[] = {
      {u"SELECT * FROM ECMLIB.TPEC WHERE 1=0", "ECMLIB.TPEC"},
      {u"select * from tblb", "tblb"},
      {u"SELECT * FROM \"Lib One\".\"T\"\"x\" WHERE 1=0;", "\"Lib One\".\"T\"\"x\""},
      {u"SELECT A, B FROM LIB#1.T@2", "LIB#1.T@2"},
      {u"SELECT * FROM A, B", ""},
      {u"SELECT * FROM A JOIN B ON 1=1", ""},
      {u"SELECT * FROM A X", ""},
      {u"SELECT * FROM (SELECT * FROM A) Q", ""},
      {u"SELECT 1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(N(c.sql));
    EXPECT_EQ(N(TableOfSimpleSelect(c.sql)), c.table);
  }
}

TEST(OdbcIbmiHost, EveryNameThatIsNotTheEmbeddedDatabaseGoesToThisProvider) {
  EXPECT_NE(ado::FindProvider(u"odbc"), nullptr);
  for (const char16_t* name : {u"AS400A", u"odbc:DSN=x", u"odbc:ecm"}) EXPECT_EQ(ado::ProviderKindFor(name), u"odbc");
}

}  // namespace
