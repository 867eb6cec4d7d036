#include "bench/release/baseline_odbc.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <map>
#include <optional>

namespace bench {
namespace {

constexpr const char* kTables[] = {"TPEC", "TBHB", "TBSB", "TBLB"};
constexpr const char* kOrder[] = {"PEGUI", "BHGUI", "BSGUI", "BLGUI, BLOLN"};

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string out;
  SQLCHAR state[6], text[1024];
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  for (SQLSMALLINT i = 1; SQLGetDiagRec(type, handle, i, state, &native, text, sizeof text, &length) == SQL_SUCCESS; ++i) {
    if (!out.empty()) out += "; ";
    out += std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
  }
  return out.empty() ? "ODBC call failed" : out;
}

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA; }

SQLHENV Environment(bool pooling) {
  static SQLHENV env = [&] {
    if (pooling)
      SQLSetEnvAttr(SQL_NULL_HANDLE, SQL_ATTR_CONNECTION_POOLING, reinterpret_cast<SQLPOINTER>(SQL_CP_ONE_PER_DRIVER),
                    SQL_IS_UINTEGER);
    SQLHENV e = SQL_NULL_HENV;
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e);
    SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (pooling) SQLSetEnvAttr(e, SQL_ATTR_CP_MATCH, reinterpret_cast<SQLPOINTER>(SQL_CP_STRICT_MATCH), 0);
    return e;
  }();
  return env;
}

SQLHDBC Connect(const std::string& connectionString, bool pooling, std::string& error) {
  SQLHDBC dbc = SQL_NULL_HDBC;
  if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, Environment(pooling), &dbc))) {
    error = "cannot allocate an ODBC connection";
    return SQL_NULL_HDBC;
  }
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connectionString.c_str(), SQL_NTS, nullptr, 0, nullptr,
                                  SQL_DRIVER_NOPROMPT);
  if (!Ok(rc)) {
    error = Diagnostics(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return SQL_NULL_HDBC;
  }
  return dbc;
}

void Disconnect(SQLHDBC dbc) {
  if (!dbc) return;
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
}

struct ColumnType {
  std::string name;
  SQLSMALLINT type = SQL_VARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
};

// Reads every row of a query as text; nullopt for NULL.
using TextRow = std::vector<std::optional<std::string>>;
bool Query(SQLHDBC dbc, const std::string& sql, std::vector<ColumnType>& columns, std::vector<TextRow>& rows,
           std::string& error) {
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
  bool ok = Ok(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS));
  SQLSMALLINT count = 0;
  ok = ok && Ok(SQLNumResultCols(st, &count));
  for (SQLSMALLINT i = 1; ok && i <= count; ++i) {
    SQLCHAR name[256];
    SQLSMALLINT nameLength = 0, nullable = 0;
    ColumnType c;
    ok = Ok(SQLDescribeCol(st, i, name, sizeof name, &nameLength, &c.type, &c.size, &c.digits, &nullable));
    c.name = reinterpret_cast<char*>(name);
    columns.push_back(c);
  }
  while (ok) {
    SQLRETURN rc = SQLFetch(st);
    if (rc == SQL_NO_DATA) break;
    if (!Ok(rc)) {
      ok = false;
      break;
    }
    TextRow row;
    for (SQLSMALLINT i = 1; i <= count && ok; ++i) {
      char buffer[4096];
      SQLLEN indicator = 0;
      ok = Ok(SQLGetData(st, static_cast<SQLUSMALLINT>(i), SQL_C_CHAR, buffer, sizeof buffer, &indicator));
      if (indicator == SQL_NULL_DATA) row.emplace_back();
      else row.emplace_back(std::string(buffer));
    }
    rows.push_back(std::move(row));
  }
  if (!ok) error = Diagnostics(SQL_HANDLE_STMT, st);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
  return ok;
}

// The columns of a statement that selects no rows.
bool Describe(SQLHDBC dbc, const std::string& sql, std::vector<ColumnType>& columns, std::string& error) {
  std::vector<TextRow> rows;
  return Query(dbc, sql, columns, rows, error);
}

struct Shape {
  int table = 0;
  std::vector<int> columns;
  std::string sql;
};
struct Record {
  std::uint32_t shape = 0;
  std::vector<std::string> values;  // one per column of the shape
};
using Document = std::vector<Record>;

}  // namespace

RunResult RunOdbcBaseline(const OdbcReplay& replay) {
  RunResult result;
  std::vector<Shape> shapes;
  std::vector<Document> documents;
  std::vector<std::vector<ColumnType>> targetColumns(4);
  {
    SQLHDBC dbc = Connect(replay.connectionString, replay.pooling, result.failure);
    if (!dbc) return result;
    std::map<std::pair<int, std::vector<int>>, std::uint32_t> shapeIndex;
    std::map<std::string, std::size_t> documentOf;
    for (int t = 0; t < 4; ++t) {
      std::vector<ColumnType> columns;
      std::vector<TextRow> rows;
      if (!Describe(dbc, "SELECT * FROM " + replay.targetSchema + "." + kTables[t] + " WHERE 1=0", targetColumns[t],
                    result.failure) ||
          !Query(dbc, "SELECT * FROM " + replay.sourceSchema + "." + kTables[t] + " ORDER BY " + kOrder[t], columns,
                 rows, result.failure)) {
        Disconnect(dbc);
        return result;
      }
      std::size_t keyColumn = 1;  // the GUI column follows the record identifier
      for (TextRow& row : rows) {
        Record record;
        std::vector<int> set;
        for (std::size_t i = 0; i < row.size(); ++i) {
          if (!row[i]) continue;
          set.push_back(static_cast<int>(i));
          record.values.push_back(std::move(*row[i]));
        }
        auto key = std::make_pair(t, set);
        auto found = shapeIndex.find(key);
        if (found == shapeIndex.end()) {
          Shape shape{t, set, "INSERT INTO " + replay.targetSchema + "." + kTables[t] + " ("};
          std::string marks;
          for (std::size_t k = 0; k < set.size(); ++k) {
            shape.sql += (k ? ", " : "") + columns[static_cast<std::size_t>(set[k])].name;
            marks += k ? ", ?" : "?";
          }
          shape.sql += ") VALUES (" + marks + ")";
          found = shapeIndex.emplace(key, static_cast<std::uint32_t>(shapes.size())).first;
          shapes.push_back(std::move(shape));
        }
        record.shape = found->second;
        std::string documentKey = row.size() > keyColumn && row[keyColumn] ? *row[keyColumn] : std::string();
        // The key was moved into the record; find it there.
        for (std::size_t k = 0; k < set.size(); ++k)
          if (static_cast<std::size_t>(set[k]) == keyColumn) documentKey = record.values[k];
        auto doc = documentOf.find(documentKey);
        if (doc == documentOf.end()) {
          doc = documentOf.emplace(documentKey, documents.size()).first;
          documents.emplace_back();
        }
        documents[doc->second].push_back(std::move(record));
      }
    }
    Disconnect(dbc);
  }
  result.documents = documents.size();
  std::size_t tenth = documents.size() / 10;

  Stopwatch watch;
  watch.Start();
  SQLHDBC kept = SQL_NULL_HDBC;
  std::vector<SQLHSTMT> statements(shapes.size(), SQL_NULL_HSTMT);
  auto freeAll = [&] {
    for (SQLHSTMT& st : statements) {
      if (st) SQLFreeHandle(SQL_HANDLE_STMT, st);
      st = SQL_NULL_HSTMT;
    }
  };
  std::vector<SQLLEN> indicators;
  for (std::size_t d = 0; d < documents.size(); ++d) {
    SQLHDBC dbc = kept;
    if (!dbc) {
      dbc = Connect(replay.connectionString, replay.pooling, result.failure);
      if (!dbc) break;
      if (replay.use == OdbcConnectionUse::Kept) kept = dbc;
    }
    bool ok = true;
    for (Record& record : documents[d]) {
      const Shape& shape = shapes[record.shape];
      SQLHSTMT& st = statements[record.shape];
      if (!st) {
        SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
        if (!Ok(SQLPrepare(st, (SQLCHAR*)shape.sql.c_str(), SQL_NTS))) {
          result.failure = Diagnostics(SQL_HANDLE_STMT, st);
          ok = false;
          break;
        }
      }
      indicators.assign(record.values.size(), 0);
      for (std::size_t k = 0; k < record.values.size() && ok; ++k) {
        const ColumnType& c = targetColumns[static_cast<std::size_t>(shape.table)][static_cast<std::size_t>(shape.columns[k])];
        indicators[k] = static_cast<SQLLEN>(record.values[k].size());
        ok = Ok(SQLBindParameter(st, static_cast<SQLUSMALLINT>(k + 1), SQL_PARAM_INPUT, SQL_C_CHAR, c.type, c.size,
                                 c.digits, record.values[k].data(), indicators[k], &indicators[k]));
      }
      if (ok) ok = Ok(SQLExecute(st));
      if (!ok) {
        result.failure = Diagnostics(SQL_HANDLE_STMT, st);
        break;
      }
    }
    if (replay.use == OdbcConnectionUse::PerDocument) {
      freeAll();
      Disconnect(dbc);
    }
    if (!ok) break;
    ++result.released;
    AfterDocument(d + 1, tenth, watch, result);
  }
  freeAll();
  Disconnect(kept);
  watch.Stop();
  Finish(watch, result);
  return result;
}

bool OdbcExec(const std::string& connectionString, const std::vector<std::string>& statements, std::string* error) {
  std::string failure;
  SQLHDBC dbc = Connect(connectionString, false, failure);
  bool ok = dbc != SQL_NULL_HDBC;
  for (const std::string& sql : statements) {
    if (!ok) break;
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    ok = Ok(SQLExecDirect(st, (SQLCHAR*)sql.c_str(), SQL_NTS));
    if (!ok) failure = Diagnostics(SQL_HANDLE_STMT, st) + " (" + sql.substr(0, 80) + ")";
    SQLFreeHandle(SQL_HANDLE_STMT, st);
  }
  Disconnect(dbc);
  if (!ok && error) *error = failure;
  return ok;
}

bool OdbcTablesDigest(const std::string& connectionString, const std::string& schema, std::uint64_t& digest,
                      std::uint64_t& rowCount, std::string* error) {
  digest = 1469598103934665603ull;
  rowCount = 0;
  auto mix = [&](const void* bytes, std::size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < n; ++i) digest = (digest ^ p[i]) * 1099511628211ull;
  };
  std::string failure;
  SQLHDBC dbc = Connect(connectionString, false, failure);
  bool ok = dbc != SQL_NULL_HDBC;
  for (int t = 0; t < 4 && ok; ++t) {
    std::vector<ColumnType> columns;
    std::vector<TextRow> rows;
    ok = Query(dbc, "SELECT * FROM " + schema + "." + kTables[t] + " ORDER BY " + kOrder[t], columns, rows, failure);
    for (const TextRow& row : rows) {
      ++rowCount;
      for (const auto& v : row) {
        char present = v ? 1 : 0;
        mix(&present, 1);
        if (v) mix(v->data(), v->size() + 1);
      }
    }
  }
  Disconnect(dbc);
  if (!ok && error) *error = failure;
  return ok;
}

}  // namespace bench
