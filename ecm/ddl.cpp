#include "ecm/ddl.h"

#include <sqlite3.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <random>
#include <system_error>

#include "ecm/catalogue.h"
#include "platform/com/utf.h"

namespace fs = std::filesystem;

namespace {

struct ExportColumn {
  const char* name;
  const char* typeText;
  EcmColumnOrigin origin;
};

constexpr const char* kKey = "CHAR(15)";
constexpr const char* kDate = "DECIMAL(8, 0)";
constexpr const char* kTime = "DECIMAL(6, 0)";
constexpr const char* kRecordId = "CHAR(2)";
constexpr const char* kCounter = "DECIMAL(7, 0)";
constexpr const char* kFlag = "CHAR(1)";
constexpr auto A = EcmColumnOrigin::Automatic;
constexpr auto C = EcmColumnOrigin::Copy;
constexpr auto L = EcmColumnOrigin::LineNumbering;

// Columns before the catalogue's: what identifies a record.
constexpr ExportColumn kTpecHead[] = {{"PERID", kRecordId, A}, {"PEGUI", kKey, A}, {"PEICN", kKey, A},
                                      {"PEMSN", kCounter, A}};
constexpr ExportColumn kTbhbHead[] = {{"BHRID", kRecordId, A}, {"BHGUI", kKey, A}, {"BHICN", kKey, A},
                                      {"BHMSN", kCounter, A}, {"BHCSQ", kCounter, A}};
constexpr ExportColumn kTbsbHead[] = {{"BSRID", kRecordId, A}, {"BSGUI", kKey, A}, {"BSICN", kKey, A},
                                      {"BSMSN", kCounter, A}, {"BSCSQ", kCounter, A}};
constexpr ExportColumn kTblbHead[] = {{"BLRID", kRecordId, A}, {"BLGUI", kKey, A}, {"BLICN", kKey, A},
                                      {"BLMSN", kCounter, A}, {"BLOLN", kCounter, L}, {"BLINL", kCounter, L},
                                      {"BLCSQ", kCounter, L}};

// Columns after the catalogue's: codes, stamps and the copies of repeated values (same type as their source).
constexpr ExportColumn kTpecTail[] = {
    {"PEECA", "CHAR(6)", A}, {"PESTS", kFlag, A},  {"PELDD", kDate, A},      {"PELDT", kTime, A},
    {"PELMD", kDate, A},     {"PELMT", kTime, A},  {"PELMU", "CHAR(10)", C},
};
constexpr ExportColumn kTbhbTail[] = {
    {"BHPCF", kFlag, A},      {"BHDIR", kFlag, A},      {"BHCRD", kDate, A},      {"BHCRT", kTime, A},
    {"BHLMD", kDate, A},      {"BHLMT", kTime, A},      {"BHSID", "CHAR(15)", C}, {"BHRCD", "CHAR(15)", C},
    {"BHDTD", "CHAR(10)", C}, {"BHCRU", "CHAR(10)", C}, {"BHLMU", "CHAR(10)", C},
};
constexpr ExportColumn kTbsbTail[] = {
    {"BSPCF", kFlag, A},      {"BSCRD", kDate, A},      {"BSCRT", kTime, A},      {"BSLMD", kDate, A},
    {"BSLMT", kTime, A},      {"BSSID", "CHAR(15)", C}, {"BSRCD", "CHAR(15)", C}, {"BSDTD", "CHAR(10)", C},
    {"BSCRU", "CHAR(10)", C}, {"BSLMU", "CHAR(10)", C}, {"BSINV", "CHAR(22)", C},
};
constexpr ExportColumn kTblbTail[] = {
    {"BLPCF", kFlag, A},      {"BLCRD", kDate, A},      {"BLCRT", kTime, A},      {"BLLMD", kDate, A},
    {"BLLMT", kTime, A},      {"BLSID", "CHAR(15)", C}, {"BLRCD", "CHAR(15)", C}, {"BLDTD", "CHAR(10)", C},
    {"BLCRU", "CHAR(10)", C}, {"BLLMU", "CHAR(10)", C}, {"BLINV", "CHAR(22)", C}, {"BLSDN", "CHAR(35)", C},
};

struct TableLayout {
  std::span<const ExportColumn> head, tail;
};

TableLayout Layout(LONG table) {
  switch (table) {
    case ECM_TPEC: return {kTpecHead, kTpecTail};
    case ECM_TBHB: return {kTbhbHead, kTbhbTail};
    case ECM_TBSB: return {kTbsbHead, kTbsbTail};
    case ECM_TBLB: return {kTblbHead, kTblbTail};
    default: return {};
  }
}

bool IsLibraryChar(char c, SqlDialect dialect) {
  if (std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$') return true;
  return dialect == SqlDialect::SQLite && (c == '#' || c == '@');
}

// One SQLite statement batch; the error text when it fails.
bool Exec(sqlite3* db, const std::string& sql, std::string* error) {
  char* text = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &text) == SQLITE_OK) return true;
  if (error) *error = text ? text : sqlite3_errmsg(db);
  sqlite3_free(text);
  return false;
}

// An existing file that names the same library: SQL names are not case-sensitive, file names are.
std::string FindLibraryFile(const fs::path& directory, std::string_view library) {
  std::error_code ec;
  std::string wanted = std::string(library) + ".db";
  for (const auto& entry : fs::directory_iterator(directory, ec)) {
    std::string name = entry.path().filename().string();
    if (name.size() != wanted.size()) continue;
    bool same = true;
    for (std::size_t i = 0; i < name.size() && same; ++i)
      same = std::tolower(static_cast<unsigned char>(name[i])) == std::tolower(static_cast<unsigned char>(wanted[i]));
    if (same) return entry.path().string();
  }
  return {};
}

}  // namespace

std::vector<EcmColumn> EcmTableColumns(LONG table) {
  TableLayout layout = Layout(table);
  std::vector<EcmColumn> columns;
  if (layout.head.empty()) return columns;
  for (const ExportColumn& c : layout.head) columns.push_back({c.name, c.typeText, c.origin});
  for (const CatalogueColumn& c : CatalogueColumns()) {
    if (c.table != table) continue;
    std::u16string tableName, column;
    SplitKey(c.key, tableName, column);
    columns.push_back({Utf16ToUtf8(column), Utf16ToUtf8(c.typeText), EcmColumnOrigin::Catalogue});
  }
  for (const ExportColumn& c : layout.tail) columns.push_back({c.name, c.typeText, c.origin});
  return columns;
}

std::string EcmColumnType(SqlDialect dialect, std::string_view typeText) {
  if (dialect == SqlDialect::SQLite) return std::string(typeText);
  std::string compact;
  for (char c : typeText)
    if (c != ' ') compact += c;
  if (compact.rfind("DECIMAL(", 0) == 0) return "NUMERIC" + compact.substr(7);
  return compact;
}

bool IsValidLibraryName(std::string_view library, SqlDialect dialect) {
  if (library.empty() || library.size() > 128) return false;
  if (std::isdigit(static_cast<unsigned char>(library[0]))) return false;
  if (dialect == SqlDialect::PostgreSQL && library[0] == '$') return false;
  for (char c : library)
    if (!IsLibraryChar(c, dialect)) return false;
  return true;
}

bool IsValidLibraryName(std::u16string_view library, SqlDialect dialect) {
  for (char16_t c : library)
    if (c > 0x7F) return false;
  return IsValidLibraryName(Utf16ToUtf8(library), dialect);
}

std::string EcmCreateTableStatement(SqlDialect dialect, LONG table, std::string_view library) {
  if (!IsValidLibraryName(library, dialect)) return {};
  std::vector<EcmColumn> columns = EcmTableColumns(table);
  if (columns.empty()) return {};
  std::string sql = "CREATE TABLE ";
  if (dialect == SqlDialect::PostgreSQL) sql += std::string(library) + ".";
  sql += Utf16ToUtf8(EcmTableName(table));
  sql += " (\n";
  for (std::size_t i = 0; i < columns.size(); ++i) {
    sql += "  " + columns[i].name + " " + EcmColumnType(dialect, columns[i].typeText);
    sql += i + 1 < columns.size() ? ",\n" : "\n";
  }
  sql += ")";
  return sql;
}

std::vector<std::string> EcmCreateStatements(SqlDialect dialect, std::string_view library) {
  std::vector<std::string> statements;
  if (!IsValidLibraryName(library, dialect)) return statements;
  if (dialect == SqlDialect::PostgreSQL) statements.push_back("CREATE SCHEMA IF NOT EXISTS " + std::string(library));
  for (LONG table = ECM_TPEC; table <= ECM_TBLB; ++table)
    statements.push_back(EcmCreateTableStatement(dialect, table, library));
  return statements;
}

std::string SqliteLibraryPath(std::string_view directory, std::string_view library) {
  return (fs::path(directory) / (std::string(library) + ".db")).string();
}

CreateLibraryResult CreateSqliteLibrary(std::string_view directory, std::string_view library, std::string* message) {
  auto say = [&](std::string text) {
    if (message) *message = std::move(text);
  };
  if (!IsValidLibraryName(library)) {
    say("'" + std::string(library) +
        "' is not a valid library name (letters, digits, _, $, # and @, not starting with a digit)");
    return CreateLibraryResult::InvalidName;
  }
  const fs::path dir(directory);
  const std::string path = SqliteLibraryPath(directory, library);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec || !fs::is_directory(dir)) {
    say("cannot create the folder " + dir.string() + ": " + (ec ? ec.message() : "not a folder"));
    return CreateLibraryResult::Failed;
  }
  if (std::string existing = FindLibraryFile(dir, library); !existing.empty()) {
    say("the library " + std::string(library) + " already exists: " + existing);
    return CreateLibraryResult::AlreadyExists;
  }

  // Build it under a temporary name and link it into place, so nobody sees a library without its tables
  // and an existing one is never replaced.
  std::random_device random;
  const std::string temp = (dir / ("." + std::string(library) + ".db.tmp-" + std::to_string(random()))).string();
  std::string error;
  sqlite3* db = nullptr;
  bool ok = sqlite3_open_v2(temp.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) == SQLITE_OK;
  if (!ok) error = db ? sqlite3_errmsg(db) : "out of memory";
  if (ok) ok = Exec(db, "PRAGMA journal_mode=WAL", &error);
  if (ok) ok = Exec(db, "BEGIN", &error);
  for (const std::string& statement : EcmCreateStatements(SqlDialect::SQLite, library))
    if (ok) ok = Exec(db, statement, &error);
  if (ok) ok = Exec(db, "COMMIT", &error);
  if (db && sqlite3_close(db) != SQLITE_OK && ok) {
    ok = false;
    error = "cannot close the new file";
  }
  if (ok && ::link(temp.c_str(), path.c_str()) != 0) {
    int linkError = errno;
    // File systems without hard links: a rename is not atomic against a concurrent creator, but close.
    if (linkError != EEXIST && !fs::exists(path, ec) && ::rename(temp.c_str(), path.c_str()) == 0) linkError = 0;
    if (linkError != 0) {
      ok = false;
      error = linkError == EEXIST ? "the file appeared meanwhile" : std::generic_category().message(linkError);
    }
  }
  fs::remove(temp, ec);
  fs::remove(temp + "-wal", ec);
  fs::remove(temp + "-shm", ec);
  if (!ok) {
    say("cannot create the library " + std::string(library) + " in " + path + ": " + error);
    return CreateLibraryResult::Failed;
  }
  say("created the library " + std::string(library) + " with the tables TPEC, TBHB, TBSB and TBLB: " + path);
  return CreateLibraryResult::Created;
}
