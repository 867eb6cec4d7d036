// The ECM tables TPEC, TBHB, TBSB and TBLB as SQL: every catalogue column at its type text, and every column
// the export fills itself (keys, stamps, record identifiers, status codes, copies of repeated values, line
// numbering). Generated from the catalogue.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ecm/mapping_model.h"

enum class SqlDialect {
  SQLite,      // one library per file DIR/LIB.db; table names unqualified inside it
  PostgreSQL,  // one library per schema
};

enum class EcmColumnOrigin {
  Catalogue,      // mappable by the administrator
  Automatic,      // key, stamp, record identifier, fixed code
  Copy,           // copy of a repeated value from another table's column
  LineNumbering,  // numbered per invoice line
};

struct EcmColumn {
  std::string name;      // "PESID"
  std::string typeText;  // "CHAR(15)", "DECIMAL(8, 0)"
  EcmColumnOrigin origin;
};

// Columns of one table (ECM_TPEC..ECM_TBLB) in the order of its CREATE TABLE statement; empty otherwise.
std::vector<EcmColumn> EcmTableColumns(LONG table);

// A column's type in the dialect: SQLite keeps the type text as it stands (the embedded provider reads it back
// to check values); PostgreSQL gets CHAR(n) and NUMERIC(p,s).
std::string EcmColumnType(SqlDialect dialect, std::string_view typeText);

// A library name as it may appear in SQL text: ASCII letters, digits, '_', '$', '#', '@', not starting with a
// digit, at most 128 characters. PostgreSQL accepts only letters, digits, '_' and '$' (not first) unquoted.
bool IsValidLibraryName(std::string_view library, SqlDialect dialect = SqlDialect::SQLite);
bool IsValidLibraryName(std::u16string_view library, SqlDialect dialect = SqlDialect::SQLite);

// CREATE TABLE statement of one table. SQLite: unqualified; PostgreSQL: qualified with the library.
// Empty when the table index or the library name is invalid (the library is not used for SQLite but still
// checked, so a bad name is refused the same way in both dialects).
std::string EcmCreateTableStatement(SqlDialect dialect, LONG table, std::string_view library);

// Every statement that creates a library's four tables, in the order TPEC, TBHB, TBSB, TBLB; for PostgreSQL
// preceded by CREATE SCHEMA IF NOT EXISTS. Empty when the library name is invalid.
std::vector<std::string> EcmCreateStatements(SqlDialect dialect, std::string_view library);

// The embedded library's file: DIR/LIB.db.
std::string SqliteLibraryPath(std::string_view directory, std::string_view library);

enum class CreateLibraryResult { Created, AlreadyExists, InvalidName, Failed };

// Creates DIR (and its parents) when missing and the library file DIR/LIB.db with the four tables, in WAL
// mode. Never touches an existing library: a file of that name, in any letter case, gives AlreadyExists.
// The file appears only when complete. `message` says what happened, naming the path.
CreateLibraryResult CreateSqliteLibrary(std::string_view directory, std::string_view library, std::string* message);
