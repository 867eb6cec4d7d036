#include "platform/ado/odbc/odbc_provider.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <map>
#include <optional>

#include "platform/ado/coltypes.h"
#include "platform/ado/idle_pool.h"
#include "platform/com/utf.h"

namespace ado::odbc {
namespace {

constexpr HRESULT DB_SEC_E_PERMISSIONDENIED = MakeHResult(0x80040E09u);
constexpr HRESULT DB_E_ABORTLIMITREACHED = MakeHResult(0x80040E31u);
constexpr char16_t kSource[] = u"ODBC";
// A pool may hold several connections to a server that went away; each is found dead and dropped in turn
// before a new one is made.
constexpr int kConnectAttempts = 8;

std::atomic<std::uint64_t> g_insertsPrepared{0};
std::atomic<std::uint64_t> g_deadDropped{0};

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

std::u16string Trim(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::u16string(s.substr(b, e - b));
}

std::u16string Number(long long v) { return AsciiToUtf16(std::to_string(v)); }

std::u16string EnvironmentText(const char* name) {
  const char* v = std::getenv(name);
  return v ? Utf8ToUtf16(v) : std::u16string();
}

std::u16string IbmiDriverName() {
  std::u16string name = Trim(EnvironmentText(kIbmiDriverVariable));
  if (name.size() >= 2 && name.front() == u'{' && name.back() == u'}') name = name.substr(1, name.size() - 2);
  return name.empty() ? std::u16string(kDefaultIbmiDriver) : name;
}

// KEY=VALUE pairs of an ODBC connection string, values as written (braces kept).
struct Attribute {
  std::u16string key;  // trimmed
  std::u16string raw;  // "KEY=VALUE" as written
};

std::vector<Attribute> SplitAttributes(std::u16string_view text) {
  std::vector<Attribute> out;
  std::size_t i = 0, n = text.size();
  while (i < n) {
    std::size_t start = i;
    while (i < n && text[i] != u'=' && text[i] != u';') ++i;
    std::u16string key = Trim(text.substr(start, i - start));
    if (i < n && text[i] == u'=') {
      ++i;
      while (i < n && IsBlank(text[i])) ++i;
      if (i < n && text[i] == u'{') {  // braced value: "}}" stands for "}"
        ++i;
        while (i < n) {
          if (text[i] == u'}') {
            if (i + 1 < n && text[i + 1] == u'}') {
              i += 2;
              continue;
            }
            ++i;
            break;
          }
          ++i;
        }
      }
      while (i < n && text[i] != u';') ++i;
    }
    std::u16string raw = Trim(text.substr(start, i - start));
    if (!raw.empty()) out.push_back({std::move(key), std::move(raw)});
    if (i < n) ++i;  // the ';'
  }
  return out;
}

bool IsUserKey(std::u16string_view k) {
  return EqualsNoCase(k, u"UID") || EqualsNoCase(k, u"USER") || EqualsNoCase(k, u"USERID") ||
         EqualsNoCase(k, u"USERNAME") || EqualsNoCase(k, u"USER ID");
}
bool IsPasswordKey(std::u16string_view k) { return EqualsNoCase(k, u"PWD") || EqualsNoCase(k, u"PASSWORD"); }

ProviderError ErrorFrom(const Diagnostic& d) {
  ProviderError e;
  e.number = HResultForSqlState(d.state);
  e.description = d.message;
  e.sqlState = d.state;
  e.nativeError = static_cast<LONG>(d.native);
  e.source = kSource;
  return e;
}

HRESULT Fail(const Diagnostics& diagnostics, ProviderErrors& errors) {
  for (const Diagnostic& d : diagnostics) errors.push_back(ErrorFrom(d));
  if (errors.empty()) errors.push_back(MakeProviderError(E_FAIL, u"The ODBC driver failed without a message.",
                                                         u"HY000", 0, kSource));
  return errors.front().number;
}

bool AnyConnectionLost(const Diagnostics& diagnostics) {
  for (const Diagnostic& d : diagnostics)
    if (IsConnectionLost(d.state)) return true;
  return false;
}

// A statement every server answers cheaply; any answer, even a refusal, shows the connection is alive.
std::u16string ProbeStatement(std::u16string_view dbms) {
  if (StartsWithNoCase(dbms, u"DB2")) return u"SELECT 1 FROM SYSIBM.SYSDUMMY1";
  return u"SELECT 1";
}

// A connection is handed out by the driver manager's pool without the server being asked; a server that
// restarted meanwhile has closed it. Ask once, so a dead connection is replaced before the caller uses it.
bool Alive(Connection& connection) {
  Diagnostics d;
  auto st = connection.NewStatement(d);
  if (!st) return !AnyConnectionLost(d) && !connection.IsDead();
  bool ok = st->ExecuteDirect(ProbeStatement(connection.DbmsName()), d);
  st->CloseCursor();
  return ok || (!AnyConnectionLost(d) && !connection.IsDead());
}

// What the session and its rowsets share: the connection and the statements prepared on it. When the last of
// them is done with it, a connection that only ran queries and inserts goes back to the provider's pool with its
// statements, so the next document neither prepares them again nor has the server drop and re-make them.
// A query prepared on a connection, with its columns as they were described, and the insert target of each.
struct KeptQuery {
  std::unique_ptr<Statement> statement;
  std::vector<ColumnInfo> columns;
  std::vector<std::u16string> targets;  // the quoted base column of each column; empty when it cannot be written
  std::vector<int> sqlTypes;
  std::u16string target;  // the insert target, ready for SQL text
};

struct Link {
  std::unique_ptr<Connection> connection;
  bool oneNumericType = false;
  std::u16string quote;
  std::u16string poolKey;
  bool reusable = true;    // false once anything else ran on it, or it was found broken
  std::map<std::u16string, KeptQuery, std::less<>> queries;  // by command text
  std::map<std::u16string, std::shared_ptr<Statement>, std::less<>> inserts;  // by INSERT text

  std::u16string Quote(std::u16string_view name) const {
    if (quote.empty()) return std::u16string(name);
    std::u16string q = quote;
    for (char16_t c : name) {
      q += c;
      if (std::u16string_view(&c, 1) == quote) q += c;
    }
    return q + quote;
  }
};

// Statements kept per connection, of each kind: the export needs four queries and a few inserts per library.
constexpr std::size_t kStatementsKept = 64;

// Connections kept by the provider, by connection string (the password only as a digest). A connection taken from
// the pool is asked once (Alive) before it is handed out, as one from the driver manager's pool is.
IdlePool<Link, std::u16string>& Pool() {
  static auto* pool = new IdlePool<Link, std::u16string>(8, std::chrono::seconds(60));  // as long as the process
  return *pool;
}

// The link of a session: when the session and every rowset of it are gone, it goes back to the pool, unless it
// cannot be used again.
std::shared_ptr<Link> Share(std::unique_ptr<Link> link) {
  return std::shared_ptr<Link>(link.release(), [](Link* p) {
    std::unique_ptr<Link> done(p);
    if (!done->reusable || done->connection->IsDead()) return;
    std::u16string key = done->poolKey;
    Pool().Give(std::move(key), std::move(done));
  });
}

// The pool's key for a connection string: the string with its passwords blanked out, and a digest of the whole
// string, so that the password itself is not kept after the connection is made.
std::u16string PoolKey(std::u16string_view connectionString) {
  std::uint64_t h = 1469598103934665603ull;  // FNV-1a
  for (char16_t c : connectionString) {
    h = (h ^ (c & 0xFF)) * 1099511628211ull;
    h = (h ^ (c >> 8)) * 1099511628211ull;
  }
  return RedactPasswords(connectionString) + u"#" + Number(static_cast<long long>(h));
}

}  // namespace

std::u16string TableOfSimpleSelect(std::u16string_view sql) {
  struct Token {
    std::u16string text;  // identifiers as written (quoted ones with their quotes)
    bool word = false;
  };
  std::vector<Token> tokens;
  std::size_t i = 0, n = sql.size();
  while (i < n) {
    char16_t c = sql[i];
    if (IsBlank(c)) {
      ++i;
    } else if (c == u'"') {
      std::size_t b = i++;
      while (i < n) {
        if (sql[i] == u'"') {
          if (i + 1 < n && sql[i + 1] == u'"') {
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        ++i;
      }
      tokens.push_back({std::u16string(sql.substr(b, i - b)), true});
    } else if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c == u'$' || c == u'#' ||
               c == u'@' || IsDigit(c) || c >= 0x80) {
      std::size_t b = i;
      while (i < n && ((sql[i] >= u'A' && sql[i] <= u'Z') || (sql[i] >= u'a' && sql[i] <= u'z') || sql[i] == u'_' ||
                       sql[i] == u'$' || sql[i] == u'#' || sql[i] == u'@' || IsDigit(sql[i]) || sql[i] >= 0x80))
        ++i;
      tokens.push_back({std::u16string(sql.substr(b, i - b)), true});
    } else {
      tokens.push_back({std::u16string(1, c), false});
      ++i;
    }
  }
  std::size_t from = tokens.size();
  for (std::size_t k = 0; k < tokens.size(); ++k)
    if (tokens[k].word && EqualsNoCase(tokens[k].text, u"FROM")) {
      if (from != tokens.size()) return {};  // a second FROM: a subquery
      from = k;
    }
  if (from == tokens.size() || from + 1 >= tokens.size() || !tokens[from + 1].word) return {};
  std::size_t k = from + 1;
  std::u16string table = tokens[k].text;
  if (k + 2 < tokens.size() && tokens[k + 1].text == u"." && tokens[k + 2].word) {
    table += u"." + tokens[k + 2].text;
    k += 2;
  }
  ++k;
  if (k < tokens.size() && !(tokens[k].word && EqualsNoCase(tokens[k].text, u"WHERE")) && tokens[k].text != u";")
    return {};  // a join, a list of tables, an alias ...
  return table;
}

namespace {

class OdbcRowset : public Rowset {
 public:
  OdbcRowset(std::shared_ptr<Link> link, std::vector<ColumnInfo> columns, std::vector<std::u16string> targets,
             std::vector<int> sqlTypes, std::u16string table, std::vector<std::vector<CComVariant>> rows)
      : link_(std::move(link)),
        columns_(std::move(columns)),
        targets_(std::move(targets)),
        sqlTypes_(std::move(sqlTypes)),
        table_(std::move(table)),
        rows_(std::move(rows)) {}

  const std::vector<ColumnInfo>& Columns() const override { return columns_; }
  std::vector<std::vector<CComVariant>> TakeRows() override { return std::move(rows_); }
  bool CanInsert() const override {
    if (table_.empty()) return false;
    for (const auto& t : targets_)
      if (!t.empty()) return true;
    return false;
  }

  HRESULT Insert(const std::vector<const VARIANT*>& values, std::vector<CComVariant>& stored,
                 ProviderErrors& errors) override {
    if (!CanInsert()) {
      errors.push_back(
          MakeProviderError(DB_E_ERRORSINCOMMAND, u"The statement has no table to insert into.", u"42807", 0, kSource));
      return errors.back().number;
    }
    std::vector<bool> key(columns_.size(), false);
    std::vector<std::optional<std::u16string>> texts(columns_.size());
    for (std::size_t i = 0; i < columns_.size() && i < values.size(); ++i) {
      if (!values[i] || targets_[i].empty()) continue;
      key[i] = true;
      const VARIANT& v = *values[i];
      if (v.vt == VT_NULL || v.vt == VT_EMPTY) continue;
      std::u16string text;
      if (v.vt == VT_BSTR) {
        text = BstrToString(v.bstrVal);
      } else {
        CComVariant converted;
        if (FAILED(VariantChangeType(&converted, &v, 0, VT_BSTR))) {
          errors.push_back(MakeProviderError(DB_E_CANTCONVERTVALUE,
                                             u"The value given for column " + Label(i) + u" cannot be sent as text.",
                                             u"22018", kNativeNotANumber, kSource));
          continue;
        }
        text = BstrToString(converted.bstrVal);
      }
      ProviderError refusal;
      if (!CheckNumericText(columns_[i], text, refusal)) {
        refusal.source = kSource;
        errors.push_back(std::move(refusal));
        continue;
      }
      texts[i] = std::move(text);
    }
    if (!errors.empty()) return DB_E_ERRORSOCCURRED;

    Statement* st = nullptr;
    if (HRESULT hr = InsertStatement(key, st, errors); FAILED(hr)) return hr;
    Diagnostics d;
    int parameter = 0;
    for (std::size_t i = 0; i < key.size(); ++i) {
      if (!key[i]) continue;
      ++parameter;
      const std::u16string* value = texts[i] ? &*texts[i] : nullptr;
      int type = ParameterType(i);
      std::uint64_t size = type == sqlTypes_[i] ? Size(i) : 0;
      int digits = type == sqlTypes_[i] && columns_[i].numericScale != 255 ? columns_[i].numericScale : 0;
      if (!st->BindText(parameter, type, size, digits, value, d)) return Fail(d, errors);
    }
    if (!st->Execute(d)) {
      if (AnyConnectionLost(d)) link_->reusable = false;
      return Fail(d, errors);
    }

    stored.assign(columns_.size(), CComVariant());
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (texts[i]) {
        stored[i] = CComVariant(*texts[i]);
      } else {
        stored[i].vt = VT_NULL;
      }
    }
    return S_OK;
  }

 private:
  std::u16string Label(std::size_t i) const {
    const ColumnInfo& c = columns_[i];
    return c.tableName.empty() ? c.name : c.tableName + u"." + c.name;
  }

  // Text and exact numbers go with the column's own type, so the driver knows length, precision and scale;
  // anything else as text for the server to convert, since some drivers parse dates and times themselves and
  // send a changed value.
  int ParameterType(std::size_t i) const {
    switch (sqlTypes_[i]) {
      case sqltype::kChar:
      case sqltype::kVarChar:
      case sqltype::kLongVarChar:
      case sqltype::kWChar:
      case sqltype::kWVarChar:
      case sqltype::kWLongVarChar:
      case sqltype::kDecimal:
      case sqltype::kNumeric:
        return sqlTypes_[i];
      default:
        return sqltype::kWVarChar;
    }
  }
  std::uint64_t Size(std::size_t i) const {
    const ColumnInfo& c = columns_[i];
    if (c.type == adDecimal || c.type == adNumeric) return c.precision;
    return c.definedSize > 0 ? static_cast<std::uint64_t>(c.definedSize) : 0;
  }

  HRESULT InsertStatement(const std::vector<bool>& key, Statement*& st, ProviderErrors& errors) {
    if (auto it = inserts_.find(key); it != inserts_.end()) {
      st = it->second.get();
      return S_OK;
    }
    std::u16string names, marks;
    for (std::size_t i = 0; i < key.size(); ++i) {
      if (!key[i]) continue;
      if (!names.empty()) {
        names += u", ";
        marks += u", ";
      }
      names += targets_[i];
      marks += u"?";
    }
    std::u16string sql = u"INSERT INTO " + table_ +
                         (names.empty() ? u" DEFAULT VALUES" : u" (" + names + u") VALUES (" + marks + u")");
    if (auto it = link_->inserts.find(sql); it != link_->inserts.end()) {  // prepared for an earlier document
      st = it->second.get();
      inserts_.emplace(key, it->second);
      return S_OK;
    }
    Diagnostics d;
    std::shared_ptr<Statement> statement = link_->connection->NewStatement(d);
    if (!statement || !statement->Prepare(sql, d)) {
      if (AnyConnectionLost(d)) link_->reusable = false;
      return Fail(d, errors);
    }
    ++g_insertsPrepared;
    st = statement.get();
    inserts_.emplace(key, statement);
    if (link_->inserts.size() >= kStatementsKept) link_->inserts.clear();  // open rowsets keep theirs
    link_->inserts.emplace(std::move(sql), std::move(statement));
    return S_OK;
  }

  std::shared_ptr<Link> link_;
  std::vector<ColumnInfo> columns_;
  std::vector<std::u16string> targets_;  // the quoted base column of each column; empty when it cannot be written
  std::vector<int> sqlTypes_;
  std::u16string table_;  // the insert target, ready for SQL text
  std::vector<std::vector<CComVariant>> rows_;
  std::map<std::vector<bool>, std::shared_ptr<Statement>> inserts_;  // by the set of columns written
};

CComVariant ReadValue(Statement& st, int column, const ColumnInfo& c, Diagnostics& d, bool& ok) {
  CComVariant v;
  v.vt = VT_NULL;
  switch (c.type) {
    case adSmallInt:
    case adInteger:
    case adTinyInt:
    case adBigInt: {
      std::optional<std::int64_t> n;
      ok = st.GetInteger(column, n, d);
      if (!ok || !n) return v;
      if (c.type == adBigInt) {
        v.vt = VT_I8;
        v.llVal = *n;
      } else if (c.type == adInteger) {
        v = CComVariant(static_cast<LONG>(*n));
      } else {
        v.vt = VT_I2;
        v.iVal = static_cast<SHORT>(*n);
      }
      return v;
    }
    case adSingle:
    case adDouble: {
      std::optional<double> x;
      ok = st.GetDouble(column, x, d);
      if (ok && x) v = CComVariant(*x);
      return v;
    }
    default: {
      std::optional<std::u16string> text;
      ok = st.GetText(column, text, d);
      if (ok && text) v = CComVariant(*text);
      return v;
    }
  }
}

class OdbcSession : public Session {
 public:
  explicit OdbcSession(std::shared_ptr<Link> link) : link_(std::move(link)) {}

  HRESULT OpenRowset(std::u16string_view command, std::unique_ptr<Rowset>& rowset,
                     ProviderErrors& errors) override {
    rowset.reset();
    Diagnostics d;
    // A query prepared for an earlier document runs again as it is, with the columns as they were described. Should
    // it fail (the table was changed since, say), it is prepared and described anew.
    KeptQuery query;
    bool executed = false;
    if (auto it = link_->queries.find(command); it != link_->queries.end()) {
      query = std::move(it->second);
      link_->queries.erase(it);
      executed = query.statement->Execute(d);
      if (!executed) {
        if (AnyConnectionLost(d)) {
          link_->reusable = false;
          return Fail(d, errors);
        }
        query = KeptQuery();
        d.clear();
      }
    }
    if (!query.statement) {
      query.statement = link_->connection->NewStatement(d);
      if (!query.statement || !query.statement->Prepare(command, d)) return Failed(d, errors);
      int count = 0;
      if (!query.statement->ResultColumns(count, d)) return Failed(d, errors);
      if (count == 0) {  // no rows: run it. It may have changed the session, so the connection is not kept.
        link_->reusable = false;
        if (!query.statement->Execute(d)) return Fail(d, errors);
        while (query.statement->MoreResults(d)) {
        }
        return d.empty() ? S_OK : Fail(d, errors);
      }
      if (!Describe(command, count, query, d)) return Failed(d, errors);
    }
    Statement& st = *query.statement;
    if (!executed && !st.Execute(d)) return Failed(d, errors);
    std::vector<std::vector<CComVariant>> rows;
    for (;;) {
      int got = st.Fetch(d);
      if (got < 0) return Failed(d, errors);
      if (got == 0) break;
      std::vector<CComVariant> row;
      row.reserve(query.columns.size());
      for (std::size_t i = 0; i < query.columns.size(); ++i) {
        bool ok = true;
        row.push_back(ReadValue(st, static_cast<int>(i) + 1, query.columns[i], d, ok));
        if (!ok) return Failed(d, errors);
      }
      rows.push_back(std::move(row));
    }
    st.CloseCursor();
    rowset = std::make_unique<OdbcRowset>(link_, query.columns, query.targets, query.sqlTypes, query.target,
                                          std::move(rows));
    if (link_->queries.size() >= kStatementsKept) link_->queries.clear();
    link_->queries.emplace(std::u16string(command), std::move(query));
    return S_OK;
  }

  HRESULT Execute(std::u16string_view command, LONG* recordsAffected, ProviderErrors& errors) override {
    link_->reusable = false;  // the command may have changed the session
    Diagnostics d;
    auto st = link_->connection->NewStatement(d);
    if (!st || !st->ExecuteDirect(command, d)) return Fail(d, errors);
    std::int64_t total = 0;
    for (;;) {
      std::int64_t n = -1;
      if (st->RowCount(n, d) && n > 0) total += n;
      d.clear();
      if (!st->MoreResults(d)) break;
    }
    if (!d.empty()) return Fail(d, errors);
    if (recordsAffected) *recordsAffected = static_cast<LONG>(total);
    return S_OK;
  }

 private:
  // The columns of a prepared query, and where and how its records are inserted.
  bool Describe(std::u16string_view command, int count, KeptQuery& query, Diagnostics& d) {
    std::vector<ColumnDescription> described(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
      if (!query.statement->Describe(i + 1, described[static_cast<std::size_t>(i)], d)) return false;
      const ColumnDescription& cd = described[static_cast<std::size_t>(i)];
      query.columns.push_back(ColumnFromDescription(cd, link_->oneNumericType));
      query.sqlTypes.push_back(cd.sqlType);
    }

    // The insert target: the base table the driver names for the first column, else the statement's table.
    std::u16string schema, table;
    for (const auto& cd : described) {
      if (!cd.baseTable.empty()) {
        schema = cd.schema;
        table = cd.baseTable;
        break;
      }
    }
    if (!table.empty()) {
      query.target = (schema.empty() ? u"" : link_->Quote(schema) + u".") + link_->Quote(table);
    } else {
      query.target = TableOfSimpleSelect(command);
    }
    query.targets.assign(query.columns.size(), std::u16string());
    for (std::size_t i = 0; i < query.columns.size(); ++i) {
      const ColumnDescription& cd = described[i];
      bool sameTable = table.empty() ? !query.target.empty() : (cd.baseTable == table && cd.schema == schema);
      if (!sameTable || cd.updatable == Updatable::ReadOnly) {
        query.columns[i].attributes &= ~(adFldUpdatable | adFldUnknownUpdatable);
        continue;
      }
      query.targets[i] = link_->Quote(cd.baseColumn.empty() ? cd.name : cd.baseColumn);
    }
    return true;
  }

  HRESULT Failed(const Diagnostics& d, ProviderErrors& errors) {
    if (AnyConnectionLost(d)) link_->reusable = false;
    return Fail(d, errors);
  }

  std::shared_ptr<Link> link_;
};

// Takes the password out of what the driver said, should a driver ever repeat it.
void Scrub(ProviderErrors& errors, std::u16string_view password) {
  if (password.size() < 4) return;  // shorter texts turn up in ordinary words
  for (ProviderError& e : errors) {
    for (std::size_t at = e.description.find(password); at != std::u16string::npos;
         at = e.description.find(password, at)) {
      e.description.replace(at, password.size(), u"********");
      at += 8;
    }
  }
}

bool IsIbmiHost(std::u16string_view dataSource) { return !StartsWithNoCase(dataSource, u"odbc:"); }

class OdbcProvider : public Provider {
 public:
  HRESULT Connect(const ConnectRequest& request, std::shared_ptr<Session>& session,
                  ProviderErrors& errors) override {
    std::u16string dataSource = DataSourceOf(request);
    std::u16string connectionString = OdbcConnectionString(dataSource, request.userId, request.password);
    HRESULT hr = S_OK;
    std::u16string key = PoolKey(connectionString);
    if (!TakeFromPool(key, session)) hr = ConnectTo(connectionString, dataSource, key, session, errors);
    for (char16_t& c : connectionString) c = u'\0';
    Scrub(errors, request.password);
    return hr;
  }

 private:
  static bool TakeFromPool(const std::u16string& key, std::shared_ptr<Session>& session) {
    while (std::unique_ptr<Link> kept = Pool().Take(key)) {
      if (!Alive(*kept->connection)) {
        ++g_deadDropped;
        continue;
      }
      session = std::make_shared<OdbcSession>(Share(std::move(kept)));
      return true;
    }
    return false;
  }

  HRESULT ConnectTo(const std::u16string& connectionString, const std::u16string& dataSource,
                    const std::u16string& poolKey, std::shared_ptr<Session>& session, ProviderErrors& errors) {
    Diagnostics d;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
      d.clear();
      std::unique_ptr<Connection> connection = Connection::Open(connectionString, d);
      if (!connection) {
        HRESULT hr = Fail(d, errors);
        if (IsIbmiHost(dataSource) && MissingDriver(d)) {
          errors.push_back(MakeProviderError(
              E_FAIL,
              u"The ODBC driver '" + IbmiDriverName() +
                  u"' for IBM i hosts is not installed or not registered in odbcinst.ini. Install the IBM i Access "
                  u"ODBC driver, or name the installed driver in the environment variable " +
                  AsciiToUtf16(kIbmiDriverVariable) + u"; other databases are given as odbc:DSN or odbc:DRIVER=....",
              u"IM002", 0, kSource));
        }
        return hr;
      }
      if (!Alive(*connection)) {
        ++g_deadDropped;
        continue;  // disconnecting a dead connection drops it from the pool
      }
      auto link = std::make_unique<Link>();
      std::u16string dbms = connection->DbmsName();
      link->oneNumericType = StartsWithNoCase(dbms, u"PostgreSQL");
      link->quote = connection->IdentifierQuote();
      link->connection = std::move(connection);
      link->poolKey = poolKey;
      session = std::make_shared<OdbcSession>(Share(std::move(link)));
      return S_OK;
    }
    errors.push_back(MakeProviderError(E_FAIL,
                                       u"Every connection the driver manager handed out was found closed by the "
                                       u"server.",
                                       u"08S01", 0, kSource));
    return E_FAIL;
  }

  static bool MissingDriver(const Diagnostics& d) {
    for (const Diagnostic& x : d) {
      if (x.state == u"IM002" || x.state == u"IM003") return true;
      if (x.message.find(u"Can't open lib") != std::u16string::npos) return true;
    }
    return false;
  }
};

OdbcProvider& Instance() {
  static OdbcProvider* provider = new OdbcProvider;  // lives as long as the process
  return *provider;
}

[[maybe_unused]] const bool g_registered = (RegisterProvider(u"odbc", &Instance()), true);

}  // namespace

std::u16string DataSourceOf(const ConnectRequest& request) {
  if (!StartsWithNoCase(request.dataSource, u"odbc:")) return request.dataSource;
  std::u16string_view text = request.connectionString;
  std::size_t i = 0, n = text.size();
  while (i < n) {
    std::size_t eq = i;
    while (eq < n && text[eq] != u'=' && text[eq] != u';') ++eq;
    if (eq >= n) break;
    if (text[eq] == u';') {
      i = eq + 1;
      continue;
    }
    std::u16string key = Trim(text.substr(i, eq - i));
    std::size_t value = eq + 1;
    while (value < n && IsBlank(text[value])) ++value;
    bool quoted = value < n && (text[value] == u'"' || text[value] == u'\'');
    if (EqualsNoCase(key, u"Data Source") && !quoted && StartsWithNoCase(text.substr(value), u"odbc:")) {
      std::u16string rest(text.substr(value));
      while (!rest.empty() && (rest.back() == u';' || IsBlank(rest.back()))) rest.pop_back();
      return rest;
    }
    // Skip this value as the connection string's parser reads it.
    std::size_t j = value;
    if (quoted) {
      char16_t quote = text[j++];
      while (j < n) {
        if (text[j] == quote) {
          if (j + 1 < n && text[j + 1] == quote) {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
    }
    while (j < n && text[j] != u';') ++j;
    i = j + 1;
  }
  return request.dataSource;
}

std::u16string QuoteOdbcValue(std::u16string_view value) {
  bool braces = value.find_first_of(u";{}") != std::u16string_view::npos ||
                (!value.empty() && (IsBlank(value.front()) || IsBlank(value.back())));
  if (!braces) return std::u16string(value);
  std::u16string q = u"{";
  for (char16_t c : value) {
    q += c;
    if (c == u'}') q += u'}';
  }
  return q + u"}";
}

std::u16string OdbcConnectionString(std::u16string_view dataSource, std::u16string_view userId,
                                    std::u16string_view password) {
  std::u16string out;
  auto add = [&](std::u16string_view raw) {
    out += raw;
    out += u';';
  };
  if (StartsWithNoCase(dataSource, u"odbc:")) {
    std::u16string_view rest = dataSource.substr(5);
    if (rest.find(u'=') != std::u16string_view::npos) {
      for (const Attribute& a : SplitAttributes(rest)) {
        if (!userId.empty() && IsUserKey(a.key)) continue;
        if (!password.empty() && IsPasswordKey(a.key)) continue;
        add(a.raw);
      }
    } else {
      add(u"DSN=" + QuoteOdbcValue(Trim(rest)));
    }
  } else {
    add(u"DRIVER={" + IbmiDriverName() + u"}");
    add(u"SYSTEM=" + QuoteOdbcValue(Trim(dataSource)));
    for (const Attribute& a : SplitAttributes(EnvironmentText(kIbmiOptionsVariable))) {
      if ((!userId.empty() && IsUserKey(a.key)) || (!password.empty() && IsPasswordKey(a.key))) continue;
      add(a.raw);
    }
  }
  if (!userId.empty()) add(u"UID=" + QuoteOdbcValue(userId));
  if (!password.empty()) add(u"PWD=" + QuoteOdbcValue(password));
  return out;
}

std::u16string RedactPasswords(std::u16string_view connectionString) {
  std::u16string out;
  for (const Attribute& a : SplitAttributes(connectionString)) {
    out += IsPasswordKey(a.key) ? a.key + u"=***" : a.raw;
    out += u';';
  }
  return out;
}

HRESULT HResultForSqlState(std::u16string_view state) {
  std::u16string s;
  for (char16_t c : state) s += UpperAscii(c);
  if (s == u"22001" || s == u"22003") return DB_E_DATAOVERFLOW;
  if (s.rfind(u"22", 0) == 0) return DB_E_CANTCONVERTVALUE;
  if (s.rfind(u"23", 0) == 0) return DB_E_INTEGRITYVIOLATION;
  if (s.rfind(u"28", 0) == 0) return DB_SEC_E_AUTH_FAILED;
  if (s == u"42501") return DB_SEC_E_PERMISSIONDENIED;
  if (s == u"42P01" || s == u"42704" || s == u"42S02" || s == u"3F000") return DB_E_NOTABLE;
  if (s.rfind(u"42", 0) == 0) return DB_E_ERRORSINCOMMAND;
  if (s == u"HYT00" || s == u"HYT01") return DB_E_ABORTLIMITREACHED;
  return E_FAIL;
}

bool IsConnectionLost(std::u16string_view state) {
  std::u16string s;
  for (char16_t c : state) s += UpperAscii(c);
  return s.rfind(u"08", 0) == 0 || s == u"57P01" || s == u"57P02" || s == u"57P03";
}

ColumnInfo ColumnFromDescription(const ColumnDescription& d, bool oneNumericType) {
  ColumnInfo c;
  auto sized = [&](const char16_t* name) { return name + (u"(" + Number(static_cast<long long>(d.size)) + u")"); };
  auto exact = [&](const char16_t* name) {
    return name + (u"(" + Number(static_cast<long long>(d.size)) + u"," + Number(d.digits) + u")");
  };
  std::u16string declared;
  switch (d.sqlType) {
    case sqltype::kChar:
    case sqltype::kWChar: declared = sized(u"CHAR"); break;
    case sqltype::kVarChar:
    case sqltype::kWVarChar: declared = d.size ? sized(u"VARCHAR") : u"VARCHAR"; break;
    case sqltype::kLongVarChar:
    case sqltype::kWLongVarChar: declared = u"CLOB"; break;
    case sqltype::kDecimal: declared = exact(u"DECIMAL"); break;
    case sqltype::kNumeric: declared = exact(oneNumericType ? u"DECIMAL" : u"NUMERIC"); break;
    case sqltype::kInteger: declared = u"INTEGER"; break;
    case sqltype::kSmallInt:
    case sqltype::kTinyInt: declared = u"SMALLINT"; break;
    case sqltype::kBigInt: declared = u"BIGINT"; break;
    case sqltype::kReal:
    case sqltype::kFloat:
    case sqltype::kDouble: declared = u"DOUBLE"; break;
    case sqltype::kDate: declared = u"DATE"; break;
    case sqltype::kTime: declared = u"TIME"; break;
    case sqltype::kTimestamp: declared = u"TIMESTAMP"; break;
    case sqltype::kBinary:
    case sqltype::kVarBinary:
    case sqltype::kLongVarBinary: declared = u"VARBINARY"; break;
    default: break;
  }
  DescribeDeclaredType(declared, c);
  switch (d.sqlType) {  // what the driver says beats what the declared text implies
    case sqltype::kWChar: c.type = adWChar; break;
    case sqltype::kVarChar: c.type = adVarChar; break;
    case sqltype::kWVarChar: c.type = adVarWChar; break;
    case sqltype::kLongVarChar: c.type = adLongVarChar; break;
    case sqltype::kTinyInt: c.type = adTinyInt; break;
    case sqltype::kReal: c.type = adSingle; break;
    case sqltype::kBinary:
    case sqltype::kVarBinary:
    case sqltype::kLongVarBinary: c.definedSize = static_cast<LONG>(d.size > 0x7FFFFFFF ? 0x7FFFFFFF : d.size); break;
    case sqltype::kBit:
      c.type = adBoolean;
      c.typeText = u"BOOLEAN";
      break;
    default: break;
  }
  c.name = d.name;
  c.tableName = d.baseTable;
  if (d.updatable == Updatable::Write) c.attributes |= adFldUpdatable;
  if (d.updatable == Updatable::Unknown) c.attributes |= adFldUnknownUpdatable;
  if (d.nullable != Nullable::No) c.attributes |= adFldIsNullable | adFldMayBeNull;
  return c;
}

bool CheckNumericText(const ColumnInfo& c, std::u16string_view text, ProviderError& error) {
  if (c.type != adDecimal && c.type != adNumeric) return true;
  std::u16string t = Trim(text);
  std::u16string_view body = t;
  if (!body.empty() && (body.front() == u'+' || body.front() == u'-')) body.remove_prefix(1);
  std::size_t point = body.find(u'.');
  std::u16string_view whole = body.substr(0, point);
  std::u16string_view fraction = point == std::u16string_view::npos ? std::u16string_view() : body.substr(point + 1);
  auto digitsOnly = [](std::u16string_view s) {
    for (char16_t ch : s)
      if (!IsDigit(ch)) return false;
    return true;
  };
  std::u16string label = c.tableName.empty() ? c.name : c.tableName + u"." + c.name;
  bool plain = !whole.empty() || !fraction.empty();
  plain = plain && digitsOnly(whole) && digitsOnly(fraction) &&
          (fraction.empty() ? true : fraction.find(u'.') == std::u16string_view::npos);
  if (plain) {
    std::size_t significant = fraction.find_last_not_of(u'0');
    std::size_t fractionDigits = significant == std::u16string_view::npos ? 0 : significant + 1;
    int scale = c.numericScale == 255 ? 0 : c.numericScale;
    if (static_cast<int>(fractionDigits) <= scale) return true;
    error = MakeProviderError(DB_E_DATAOVERFLOW,
                              u"Value " + QuoteValueForMessage(text) + u" for column " + label +
                                  u" has too many fraction digits: " + c.typeText + u" holds at most " +
                                  Number(scale) + u"; the value would be rounded.",
                              kStateOutOfRange, kNativeOutOfRange, kSource);
    return false;
  }
  // Forms a server may read as a number although they are not a plain decimal: refused rather than converted.
  std::u16string lower;
  for (char16_t ch : body) lower += LowerAscii(ch);
  bool special = lower == u"nan" || lower == u"inf" || lower == u"infinity";
  if (!special && lower.size() > 2 && lower[0] == u'0' && (lower[1] == u'x' || lower[1] == u'o' || lower[1] == u'b'))
    special = true;
  if (!special) {
    std::size_t e = lower.find(u'e');
    if (e != std::u16string::npos && e > 0) {
      std::u16string_view mantissa = std::u16string_view(lower).substr(0, e);
      std::u16string_view exponent = std::u16string_view(lower).substr(e + 1);
      if (!exponent.empty() && (exponent.front() == u'+' || exponent.front() == u'-')) exponent.remove_prefix(1);
      std::size_t p = mantissa.find(u'.');
      bool mantissaOk = digitsOnly(mantissa.substr(0, p)) &&
                        (p == std::u16string_view::npos || digitsOnly(mantissa.substr(p + 1))) && mantissa != u".";
      special = mantissaOk && !exponent.empty() && digitsOnly(exponent);
    }
  }
  if (!special && lower.find(u'_') != std::u16string::npos) {
    bool digitsAndUnderscores = true;
    for (char16_t ch : lower)
      if (!IsDigit(ch) && ch != u'_' && ch != u'.') digitsAndUnderscores = false;
    special = digitsAndUnderscores;
  }
  if (!special) return true;
  error = MakeProviderError(DB_E_CANTCONVERTVALUE,
                            u"Value " + QuoteValueForMessage(text) + u" for column " + label +
                                u" is not a plain decimal number for " + c.typeText + u".",
                            kStateNotANumber, kNativeNotANumber, kSource);
  return false;
}

std::uint64_t InsertStatementsPrepared() { return g_insertsPrepared.load(); }
std::uint64_t DeadConnectionsDropped() { return g_deadDropped.load(); }

}  // namespace ado::odbc
