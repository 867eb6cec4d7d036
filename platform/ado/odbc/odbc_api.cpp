#include "platform/ado/odbc/odbc_api.h"

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <atomic>
#include <mutex>

namespace ado::odbc {
namespace {

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the driver manager must use 16-bit wide characters");
static_assert(sizeof(SQLLEN) == sizeof(std::int64_t));

SQLWCHAR* W(std::u16string& s) { return reinterpret_cast<SQLWCHAR*>(s.data()); }
const SQLWCHAR* W(const std::u16string& s) { return reinterpret_cast<const SQLWCHAR*>(s.c_str()); }

std::u16string FromW(const SQLWCHAR* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}

void TrimLineEnds(std::u16string& s) {
  while (!s.empty() && (s.back() == u'\n' || s.back() == u'\r' || s.back() == u' ' || s.back() == u'\t'))
    s.pop_back();
}

void Collect(SQLSMALLINT type, SQLHANDLE handle, SQLRETURN rc, Diagnostics& out) {
  if (rc == SQL_INVALID_HANDLE) {
    out.push_back({u"HY000", 0, u"Invalid ODBC handle."});
    return;
  }
  std::size_t before = out.size();
  for (SQLSMALLINT i = 1;; ++i) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    std::vector<SQLWCHAR> message(1024);
    SQLRETURN r = SQLGetDiagRecW(type, handle, i, state, &native, message.data(),
                                 static_cast<SQLSMALLINT>(message.size()), &length);
    if (r == SQL_SUCCESS_WITH_INFO && length >= static_cast<SQLSMALLINT>(message.size())) {
      message.resize(static_cast<std::size_t>(length) + 1);
      r = SQLGetDiagRecW(type, handle, i, state, &native, message.data(), static_cast<SQLSMALLINT>(message.size()),
                         &length);
    }
    if (!SQL_SUCCEEDED(r)) break;
    Diagnostic d;
    d.state = FromW(state, 5);
    d.native = native;
    std::size_t n = static_cast<std::size_t>(length) < message.size() ? static_cast<std::size_t>(length)
                                                                     : message.size() - 1;
    d.message = FromW(message.data(), n);
    TrimLineEnds(d.message);
    out.push_back(std::move(d));
  }
  if (out.size() == before && !SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA)
    out.push_back({u"HY000", 0, u"The ODBC driver reported a failure without a message."});
}

// The process's environment, with pooling requested before it is allocated, as the driver manager requires.
SQLHENV Environment(Diagnostics& diagnostics) {
  static std::once_flag once;
  static SQLHENV env = SQL_NULL_HENV;
  static Diagnostics failure;
  std::call_once(once, [] {
    SQLSetEnvAttr(SQL_NULL_HANDLE, SQL_ATTR_CONNECTION_POOLING, reinterpret_cast<SQLPOINTER>(SQL_CP_ONE_PER_DRIVER),
                  SQL_IS_UINTEGER);
    SQLHENV e = SQL_NULL_HENV;
    SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &e);
    if (!SQL_SUCCEEDED(rc)) {
      failure.push_back({u"HY001", 0, u"The ODBC environment cannot be allocated."});
      return;
    }
    rc = SQLSetEnvAttr(e, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(rc)) {
      Collect(SQL_HANDLE_ENV, e, rc, failure);
      SQLFreeHandle(SQL_HANDLE_ENV, e);
      return;
    }
    // A pooled connection is handed out only for the same connection string (user and password included).
    SQLSetEnvAttr(e, SQL_ATTR_CP_MATCH, reinterpret_cast<SQLPOINTER>(SQL_CP_STRICT_MATCH), SQL_IS_UINTEGER);
    env = e;  // lives as long as the process: freeing it would close the pool
  });
  if (env == SQL_NULL_HENV) diagnostics.insert(diagnostics.end(), failure.begin(), failure.end());
  return env;
}

std::u16string InfoText(SQLHDBC dbc, SQLUSMALLINT item) {
  SQLWCHAR buffer[256] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfoW(dbc, item, buffer, sizeof buffer, &length))) return {};
  std::size_t n = static_cast<std::size_t>(length) / sizeof(SQLWCHAR);
  if (n >= 256) n = 255;
  return FromW(buffer, n);
}

std::u16string AttributeText(SQLHSTMT st, SQLUSMALLINT column, SQLUSMALLINT field) {
  SQLWCHAR buffer[256] = {};
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLColAttributeW(st, column, field, buffer, sizeof buffer, &length, nullptr))) return {};
  std::size_t n = static_cast<std::size_t>(length) / sizeof(SQLWCHAR);
  if (n >= 256) n = 255;
  return FromW(buffer, n);
}

// Connection handles, kept after they are disconnected and used again. unixODBC (2.3.11) opens character-set
// converters for every new connection handle and, when the connection came from its pool, never closes them: tens
// of kilobytes lost per document. A handle that is used again keeps the converters it has.
constexpr std::size_t kIdleHandles = 16;
std::mutex g_handleMutex;
std::vector<SQLHDBC> g_idleHandles;
std::atomic<std::uint64_t> g_handlesAllocated{0};

SQLHDBC TakeHandle(SQLHENV env, Diagnostics& diagnostics) {
  {
    std::lock_guard lock(g_handleMutex);
    if (!g_idleHandles.empty()) {
      SQLHDBC dbc = g_idleHandles.back();
      g_idleHandles.pop_back();
      return dbc;
    }
  }
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!SQL_SUCCEEDED(rc)) {
    Collect(SQL_HANDLE_ENV, env, rc, diagnostics);
    return SQL_NULL_HDBC;
  }
  ++g_handlesAllocated;
  return dbc;
}

void GiveBack(SQLHDBC dbc) {
  std::lock_guard lock(g_handleMutex);
  if (g_idleHandles.size() < kIdleHandles) {
    g_idleHandles.push_back(dbc);
  } else {
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  }
}

}  // namespace

std::uint64_t ConnectionHandlesAllocated() { return g_handlesAllocated.load(); }

std::unique_ptr<Connection> Connection::Open(std::u16string_view connectionString, Diagnostics& diagnostics) {
  SQLHENV env = Environment(diagnostics);
  if (env == SQL_NULL_HENV) return nullptr;
  SQLHDBC dbc = TakeHandle(env, diagnostics);
  if (dbc == SQL_NULL_HDBC) return nullptr;
  std::u16string text(connectionString);
  SQLRETURN rc = SQLDriverConnectW(dbc, nullptr, W(text), static_cast<SQLSMALLINT>(text.size()), nullptr, 0, nullptr,
                         SQL_DRIVER_NOPROMPT);
  // The copy held the password; do not leave it in freed memory.
  for (char16_t& c : text) c = u'\0';
  if (!SQL_SUCCEEDED(rc)) {
    Collect(SQL_HANDLE_DBC, dbc, rc, diagnostics);
    GiveBack(dbc);
    return nullptr;
  }
  // Each record is its own transaction, whatever a previous user of a pooled connection set.
  SQLSetConnectAttrW(dbc, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), SQL_IS_UINTEGER);
  std::unique_ptr<Connection> c(new Connection);
  c->dbc_ = dbc;
  c->dbmsName_ = InfoText(dbc, SQL_DBMS_NAME);
  c->driverName_ = InfoText(dbc, SQL_DRIVER_NAME);
  c->quote_ = InfoText(dbc, SQL_IDENTIFIER_QUOTE_CHAR);
  if (c->quote_ == u" ") c->quote_.clear();
  return c;
}

Connection::~Connection() {
  if (!dbc_) return;
  SQLDisconnect(dbc_);
  GiveBack(dbc_);
}

bool Connection::IsDead() const {
  SQLUINTEGER dead = SQL_CD_FALSE;
  SQLRETURN rc = SQLGetConnectAttrW(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, SQL_IS_UINTEGER, nullptr);
  return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
}

std::unique_ptr<Statement> Connection::NewStatement(Diagnostics& diagnostics) {
  SQLHSTMT st = SQL_NULL_HSTMT;
  SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &st);
  if (!SQL_SUCCEEDED(rc)) {
    Collect(SQL_HANDLE_DBC, dbc_, rc, diagnostics);
    return nullptr;
  }
  std::unique_ptr<Statement> s(new Statement);
  s->stmt_ = st;
  return s;
}

Statement::~Statement() {
  if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

bool Statement::Prepare(std::u16string_view sql, Diagnostics& diagnostics) {
  std::u16string text(sql);
  SQLRETURN rc = SQLPrepareW(stmt_, W(text), static_cast<SQLINTEGER>(text.size()));
  if (SQL_SUCCEEDED(rc)) return true;
  Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
  return false;
}

bool Statement::ResultColumns(int& count, Diagnostics& diagnostics) {
  SQLSMALLINT n = 0;
  SQLRETURN rc = SQLNumResultCols(stmt_, &n);
  if (!SQL_SUCCEEDED(rc)) {
    Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
    return false;
  }
  count = n;
  return true;
}

bool Statement::Describe(int column, ColumnDescription& d, Diagnostics& diagnostics) {
  SQLWCHAR name[256] = {};
  SQLSMALLINT nameLength = 0, type = 0, digits = 0, nullable = SQL_NULLABLE_UNKNOWN;
  SQLULEN size = 0;
  auto col = static_cast<SQLUSMALLINT>(column);
  SQLRETURN rc = SQLDescribeColW(stmt_, col, name, 256, &nameLength, &type, &size, &digits, &nullable);
  if (!SQL_SUCCEEDED(rc)) {
    Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
    return false;
  }
  d = ColumnDescription{};
  d.name = FromW(name, nameLength < 256 ? static_cast<std::size_t>(nameLength) : 255);
  d.sqlType = type;
  d.size = size;
  d.digits = digits;
  d.nullable = nullable == SQL_NO_NULLS ? Nullable::No : nullable == SQL_NULLABLE ? Nullable::Yes : Nullable::Unknown;
  SQLLEN updatable = SQL_ATTR_READWRITE_UNKNOWN;
  if (SQL_SUCCEEDED(SQLColAttributeW(stmt_, col, SQL_DESC_UPDATABLE, nullptr, 0, nullptr, &updatable))) {
    d.updatable = updatable == SQL_ATTR_READONLY ? Updatable::ReadOnly
                  : updatable == SQL_ATTR_WRITE  ? Updatable::Write
                                                 : Updatable::Unknown;
  }
  d.baseColumn = AttributeText(stmt_, col, SQL_DESC_BASE_COLUMN_NAME);
  d.baseTable = AttributeText(stmt_, col, SQL_DESC_BASE_TABLE_NAME);
  d.schema = AttributeText(stmt_, col, SQL_DESC_SCHEMA_NAME);
  return true;
}

bool Statement::BindText(int number, int sqlType, std::uint64_t size, int digits, const std::u16string* value,
                         Diagnostics& diagnostics) {
  if (number < 1) return false;
  if (indicators_.size() < static_cast<std::size_t>(number)) indicators_.resize(static_cast<std::size_t>(number));
  std::int64_t& indicator = indicators_[static_cast<std::size_t>(number) - 1];
  indicator = value ? static_cast<std::int64_t>(value->size() * sizeof(SQLWCHAR)) : SQL_NULL_DATA;
  // A column size of 0 would make some drivers refuse even an empty text.
  SQLULEN columnSize = size ? size : (value && !value->empty() ? value->size() : 1);
  SQLPOINTER data = value ? const_cast<SQLWCHAR*>(W(*value)) : nullptr;
  SQLLEN bufferLength = value ? static_cast<SQLLEN>((value->size() + 1) * sizeof(SQLWCHAR)) : 0;
  SQLRETURN rc = SQLBindParameter(stmt_, static_cast<SQLUSMALLINT>(number), SQL_PARAM_INPUT, SQL_C_WCHAR,
                                  static_cast<SQLSMALLINT>(sqlType), columnSize, static_cast<SQLSMALLINT>(digits),
                                  data, bufferLength, reinterpret_cast<SQLLEN*>(&indicator));
  if (SQL_SUCCEEDED(rc)) return true;
  Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
  return false;
}

bool Statement::Execute(Diagnostics& diagnostics) {
  SQLRETURN rc = SQLExecute(stmt_);
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return true;
  Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
  return false;
}

bool Statement::ExecuteDirect(std::u16string_view sql, Diagnostics& diagnostics) {
  std::u16string text(sql);
  SQLRETURN rc = SQLExecDirectW(stmt_, W(text), static_cast<SQLINTEGER>(text.size()));
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return true;
  Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
  return false;
}

bool Statement::RowCount(std::int64_t& count, Diagnostics& diagnostics) {
  SQLLEN n = -1;
  SQLRETURN rc = SQLRowCount(stmt_, &n);
  if (!SQL_SUCCEEDED(rc)) {
    Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
    return false;
  }
  count = n;
  return true;
}

bool Statement::MoreResults(Diagnostics& diagnostics) {
  SQLRETURN rc = SQLMoreResults(stmt_);
  if (SQL_SUCCEEDED(rc)) return true;
  if (rc != SQL_NO_DATA) Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
  return false;
}

int Statement::Fetch(Diagnostics& diagnostics) {
  SQLRETURN rc = SQLFetch(stmt_);
  if (SQL_SUCCEEDED(rc)) return 1;
  if (rc == SQL_NO_DATA) return 0;
  Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
  return -1;
}

bool Statement::GetText(int column, std::optional<std::u16string>& value, Diagnostics& diagnostics) {
  value.reset();
  std::u16string text;
  SQLWCHAR buffer[512];
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column), SQL_C_WCHAR, buffer, sizeof buffer, &indicator);
    if (rc == SQL_NO_DATA) break;  // everything has been read
    if (!SQL_SUCCEEDED(rc)) {
      Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
      return false;
    }
    if (indicator == SQL_NULL_DATA) return true;
    constexpr std::size_t kChars = sizeof buffer / sizeof(SQLWCHAR) - 1;
    std::size_t got = (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR) > kChars)
                          ? kChars
                          : static_cast<std::size_t>(indicator) / sizeof(SQLWCHAR);
    text.append(reinterpret_cast<const char16_t*>(buffer), got);
    if (rc == SQL_SUCCESS) break;  // the last piece
  }
  value = std::move(text);
  return true;
}

bool Statement::GetInteger(int column, std::optional<std::int64_t>& value, Diagnostics& diagnostics) {
  value.reset();
  SQLBIGINT v = 0;
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column), SQL_C_SBIGINT, &v, sizeof v, &indicator);
  if (!SQL_SUCCEEDED(rc)) {
    Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
    return false;
  }
  if (indicator != SQL_NULL_DATA) value = v;
  return true;
}

bool Statement::GetDouble(int column, std::optional<double>& value, Diagnostics& diagnostics) {
  value.reset();
  SQLDOUBLE v = 0;
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt_, static_cast<SQLUSMALLINT>(column), SQL_C_DOUBLE, &v, sizeof v, &indicator);
  if (!SQL_SUCCEEDED(rc)) {
    Collect(SQL_HANDLE_STMT, stmt_, rc, diagnostics);
    return false;
  }
  if (indicator != SQL_NULL_DATA) value = v;
  return true;
}

void Statement::CloseCursor() { SQLFreeStmt(stmt_, SQL_CLOSE); }

}  // namespace ado::odbc
