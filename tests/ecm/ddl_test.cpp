#include <gtest/gtest.h>
#include <sqlite3.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "ecm/catalogue.h"
#include "ecm/ddl.h"
#include "platform/com/utf.h"

namespace fs = std::filesystem;

namespace {

// Columns the export writes itself, by table.
const std::map<LONG, std::vector<std::string>> kExportColumns = {
    {ECM_TPEC, {"PEGUI", "PELDD", "PELDT", "PELMD", "PELMT", "PERID", "PEICN", "PEMSN", "PEECA", "PESTS", "PELMU"}},
    {ECM_TBHB, {"BHGUI", "BHCRD", "BHCRT", "BHLMD", "BHLMT", "BHRID", "BHICN", "BHMSN", "BHPCF", "BHDIR", "BHCSQ",
                "BHSID", "BHRCD", "BHDTD", "BHCRU", "BHLMU"}},
    {ECM_TBSB, {"BSGUI", "BSCRD", "BSCRT", "BSLMD", "BSLMT", "BSRID", "BSICN", "BSMSN", "BSPCF", "BSCSQ", "BSSID",
                "BSRCD", "BSDTD", "BSCRU", "BSLMU", "BSINV"}},
    {ECM_TBLB, {"BLGUI", "BLCRD", "BLCRT", "BLLMD", "BLLMT", "BLRID", "BLICN", "BLMSN", "BLPCF", "BLINL", "BLINQ",
                "BLSID", "BLRCD", "BLDTD", "BLCRU", "BLLMU", "BLINV", "BLSDN", "BLORD", "BLOLN", "BLCSQ"}},
};

class TempDir : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() /
          ("qecm-ddl-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
  fs::path dir;
};

// name -> declared type of every column of a table in an SQLite file.
std::map<std::string, std::string> TableInfo(sqlite3* db, const std::string& table) {
  std::map<std::string, std::string> columns;
  sqlite3_stmt* stmt = nullptr;
  EXPECT_EQ(sqlite3_prepare_v2(db, ("PRAGMA table_info(" + table + ")").c_str(), -1, &stmt, nullptr), SQLITE_OK);
  while (sqlite3_step(stmt) == SQLITE_ROW)
    columns[reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1))] =
        reinterpret_cast<const char*>(sqlite3_column_text(stmt, 2));
  sqlite3_finalize(stmt);
  return columns;
}

TEST_F(TempDir, CreatesAllFourTablesWithEveryColumnAtItsType) {
  std::string message;
  ASSERT_EQ(CreateSqliteLibrary((dir / "ecm").string(), "ECMLIB", &message), CreateLibraryResult::Created)
      << message;
  const fs::path file = dir / "ecm" / "ECMLIB.db";
  EXPECT_NE(message.find(file.string()), std::string::npos) << message;
  ASSERT_TRUE(fs::exists(file));
  // Nothing but the library is left behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir / "ecm"), fs::directory_iterator()), 1);

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
  std::map<LONG, std::map<std::string, std::string>> tables;
  for (LONG t = ECM_TPEC; t <= ECM_TBLB; ++t) tables[t] = TableInfo(db, Utf16ToUtf8(EcmTableName(t)));

  for (const CatalogueColumn& c : CatalogueColumns()) {
    std::u16string table, column;
    SplitKey(c.key, table, column);
    auto& columns = tables[c.table];
    auto it = columns.find(Utf16ToUtf8(column));
    ASSERT_NE(it, columns.end()) << Utf16ToUtf8(c.key);
    EXPECT_EQ(it->second, Utf16ToUtf8(c.typeText)) << Utf16ToUtf8(c.key);
  }
  for (const auto& [table, names] : kExportColumns)
    for (const std::string& name : names) EXPECT_TRUE(tables[table].count(name)) << name;

  sqlite3_stmt* stmt = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA journal_mode", -1, &stmt, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)), "wal");
  sqlite3_finalize(stmt);
  sqlite3_close(db);
}

TEST_F(TempDir, AnExistingLibraryIsLeftAlone) {
  std::string message;
  ASSERT_EQ(CreateSqliteLibrary(dir.string(), "ECMLIB", &message), CreateLibraryResult::Created);
  auto size = fs::file_size(dir / "ECMLIB.db");
  for (const char* name : {"ECMLIB", "ecmlib", "EcmLib"}) {
    EXPECT_EQ(CreateSqliteLibrary(dir.string(), name, &message), CreateLibraryResult::AlreadyExists) << name;
    EXPECT_NE(message.find("already exists"), std::string::npos) << message;
    EXPECT_NE(message.find((dir / "ECMLIB.db").string()), std::string::npos) << message;
  }
  EXPECT_EQ(fs::file_size(dir / "ECMLIB.db"), size);
}

TEST_F(TempDir, InvalidNamesAreRefusedBeforeAnythingIsCreated) {
  for (const char* name : {"", "EC MLIB", "LIB;DROP", "LIB.X", "../LIB", "1LIB", "LIB-2", "LIB'", "ÄLIB"}) {
    std::string message;
    EXPECT_EQ(CreateSqliteLibrary(dir.string(), name, &message), CreateLibraryResult::InvalidName) << name;
    EXPECT_NE(message.find("not a valid library name"), std::string::npos) << message;
  }
  EXPECT_FALSE(fs::exists(dir));
}

TEST_F(TempDir, AFolderThatCannotBeMadeIsReported) {
  fs::create_directories(dir);
  { std::ofstream(dir / "plainfile") << "x"; }
  std::string message;
  EXPECT_EQ(CreateSqliteLibrary((dir / "plainfile" / "ecm").string(), "LIB", &message), CreateLibraryResult::Failed);
  EXPECT_NE(message.find("plainfile"), std::string::npos) << message;
}

TEST(LibraryName, Validity) {
  struct Case {
    const char* name;
    bool sqlite;
    bool postgres;
  } cases[] = {
      {"ECMLIB", true, true}, {"ecmlib", true, true}, {"LIB_1", true, true}, {"L$B", true, true},
      {"$LIB", true, false},  {"#LIB", true, false},  {"@LIB", true, false}, {"L#B@", true, false},
      {"", false, false},     {"1LIB", false, false}, {"LIB.TPEC", false, false}, {"LIB X", false, false},
      {"LIB;", false, false}, {"\"LIB\"", false, false}, {"LIB-X", false, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsValidLibraryName(std::string_view(c.name)), c.sqlite) << c.name;
    EXPECT_EQ(IsValidLibraryName(std::string_view(c.name), SqlDialect::PostgreSQL), c.postgres) << c.name;
    EXPECT_EQ(IsValidLibraryName(Utf8ToUtf16(c.name)), c.sqlite) << c.name;
  }
  EXPECT_FALSE(IsValidLibraryName(std::u16string_view(u"LIB\u00c4")));
  EXPECT_FALSE(IsValidLibraryName(std::string(129, 'A')));
  EXPECT_TRUE(IsValidLibraryName(std::string(128, 'A')));
}

TEST(Ddl, ColumnsOfEachTable) {
  std::size_t catalogue = 0;
  for (LONG t = ECM_TPEC; t <= ECM_TBLB; ++t) {
    std::set<std::string> names;
    for (const EcmColumn& c : EcmTableColumns(t)) {
      EXPECT_TRUE(names.insert(c.name).second) << c.name;
      catalogue += c.origin == EcmColumnOrigin::Catalogue;
    }
    for (const std::string& name : kExportColumns.at(t)) EXPECT_TRUE(names.count(name)) << name;
  }
  EXPECT_EQ(catalogue, static_cast<std::size_t>(kCatalogueColumns));
  EXPECT_TRUE(EcmTableColumns(ECM_EMPTY_SLOT).empty());
}

TEST(Ddl, CopiesHaveTheirSourceColumnsType) {
  auto typeOf = [](LONG table, const std::string& name) {
    for (const EcmColumn& c : EcmTableColumns(table))
      if (c.name == name) return c.typeText;
    return std::string("missing");
  };
  struct Copy {
    LONG fromTable;
    const char* from;
    LONG toTable;
    const char* to;
  } copies[] = {
      {ECM_TPEC, "PESID", ECM_TBHB, "BHSID"}, {ECM_TPEC, "PESID", ECM_TBSB, "BSSID"},
      {ECM_TPEC, "PESID", ECM_TBLB, "BLSID"}, {ECM_TPEC, "PERCD", ECM_TBHB, "BHRCD"},
      {ECM_TPEC, "PERCD", ECM_TBSB, "BSRCD"}, {ECM_TPEC, "PERCD", ECM_TBLB, "BLRCD"},
      {ECM_TPEC, "PEDWN", ECM_TBHB, "BHDTD"}, {ECM_TPEC, "PEDWN", ECM_TBSB, "BSDTD"},
      {ECM_TPEC, "PEDWN", ECM_TBLB, "BLDTD"}, {ECM_TPEC, "PELDU", ECM_TBHB, "BHCRU"},
      {ECM_TPEC, "PELDU", ECM_TBSB, "BSCRU"}, {ECM_TPEC, "PELDU", ECM_TBLB, "BLCRU"},
      {ECM_TPEC, "PELDU", ECM_TPEC, "PELMU"}, {ECM_TPEC, "PELDU", ECM_TBHB, "BHLMU"},
      {ECM_TPEC, "PELDU", ECM_TBSB, "BSLMU"}, {ECM_TPEC, "PELDU", ECM_TBLB, "BLLMU"},
      {ECM_TBHB, "BHINV", ECM_TBSB, "BSINV"}, {ECM_TBHB, "BHINV", ECM_TBLB, "BLINV"},
      {ECM_TBSB, "BSSHN", ECM_TBLB, "BLSDN"}, {ECM_TBSB, "BSORD", ECM_TBLB, "BLORD"},
  };
  for (const Copy& c : copies) EXPECT_EQ(typeOf(c.toTable, c.to), typeOf(c.fromTable, c.from)) << c.to;
  // The key fits its 15 characters; the stamp columns hold 8 and 6 digits.
  EXPECT_EQ(typeOf(ECM_TPEC, "PEGUI"), "CHAR(15)");
  EXPECT_EQ(typeOf(ECM_TBLB, "BLICN"), "CHAR(15)");
  EXPECT_EQ(typeOf(ECM_TBHB, "BHCRD"), "DECIMAL(8, 0)");
  EXPECT_EQ(typeOf(ECM_TBSB, "BSLMT"), "DECIMAL(6, 0)");
  EXPECT_EQ(typeOf(ECM_TPEC, "PEECA"), "CHAR(6)");
  EXPECT_EQ(typeOf(ECM_TBLB, "BLRID"), "CHAR(2)");
}

TEST(Ddl, PostgreSqlStatements) {
  auto statements = EcmCreateStatements(SqlDialect::PostgreSQL, "ecmlib");
  ASSERT_EQ(statements.size(), 5u);
  EXPECT_EQ(statements[0], "CREATE SCHEMA IF NOT EXISTS ecmlib");
  EXPECT_EQ(statements[1].rfind("CREATE TABLE ecmlib.TPEC (\n", 0), 0u) << statements[1];
  EXPECT_EQ(statements[4].rfind("CREATE TABLE ecmlib.TBLB (\n", 0), 0u);
  EXPECT_NE(statements[1].find("  PECMD NUMERIC(8,0),\n"), std::string::npos);
  EXPECT_NE(statements[1].find("  PESID CHAR(15),\n"), std::string::npos);
  EXPECT_NE(statements[2].find("  BHEXR NUMERIC(15,7),\n"), std::string::npos);
  EXPECT_EQ(statements[1].find("DECIMAL"), std::string::npos);
  EXPECT_TRUE(EcmCreateStatements(SqlDialect::PostgreSQL, "LIB#1").empty());
  EXPECT_TRUE(EcmCreateTableStatement(SqlDialect::PostgreSQL, ECM_TPEC, "a.b").empty());
  EXPECT_TRUE(EcmCreateTableStatement(SqlDialect::PostgreSQL, ECM_EMPTY_SLOT, "LIB").empty());
}

TEST(Ddl, SqliteStatementsRunAndAreUnqualified) {
  auto statements = EcmCreateStatements(SqlDialect::SQLite, "ECMLIB");
  ASSERT_EQ(statements.size(), 4u);
  EXPECT_EQ(statements[0].rfind("CREATE TABLE TPEC (\n", 0), 0u);
  EXPECT_NE(statements[0].find("  PECMD DECIMAL(8, 0),\n"), std::string::npos);
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(":memory:", &db), SQLITE_OK);
  for (const std::string& s : statements) EXPECT_EQ(sqlite3_exec(db, s.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << s;
  sqlite3_close(db);
  EXPECT_EQ(EcmColumnType(SqlDialect::PostgreSQL, "DECIMAL(15, 2)"), "NUMERIC(15,2)");
  EXPECT_EQ(EcmColumnType(SqlDialect::SQLite, "DECIMAL(15, 2)"), "DECIMAL(15, 2)");
  EXPECT_EQ(SqliteLibraryPath("/srv/ecm", "ECMLIB"), "/srv/ecm/ECMLIB.db");
}

}  // namespace
