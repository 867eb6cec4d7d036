#include "platform/ado/sqlite/sqlite_provider.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <system_error>

#include "platform/ado/coltypes.h"
#include "platform/ado/idle_pool.h"
#include "platform/ado/provider.h"
#include "platform/com/utf.h"

namespace ado::sqlite {
namespace {

std::atomic<std::uint64_t> g_insertsPrepared{0};

constexpr char16_t kSource[] = u"SQLite";

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
std::u16string Upper(std::u16string_view s) {
  std::u16string out;
  for (char16_t c : s) out += UpperAscii(c);
  return out;
}

std::u16string QuoteIdentifier(std::u16string_view name) {
  std::u16string q = u"\"";
  for (char16_t c : name) {
    if (c == u'"') q += u'"';
    q += c;
  }
  return q + u"\"";
}

std::u16string FromUtf8(const unsigned char* text) {
  return text ? Utf8ToUtf16(reinterpret_cast<const char*>(text)) : std::u16string();
}
std::u16string FromUtf8(const char* text) { return text ? Utf8ToUtf16(text) : std::u16string(); }

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// A provider error from SQLite's last error on the connection, with the SQL state the IBM i would give.
ProviderError SqliteError(sqlite3* db, int rc) {
  ProviderError e;
  e.source = kSource;
  int extended = db ? sqlite3_extended_errcode(db) : rc;
  if ((extended & 0xFF) != (rc & 0xFF)) extended = rc;
  e.nativeError = extended;
  std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  e.description = Utf8ToUtf16(message);
  e.number = E_FAIL;
  e.sqlState = u"HY000";
  switch (rc & 0xFF) {
    case SQLITE_CONSTRAINT:
      e.number = DB_E_INTEGRITYVIOLATION;
      switch (extended) {
        case SQLITE_CONSTRAINT_NOTNULL: e.sqlState = u"23502"; break;
        case SQLITE_CONSTRAINT_UNIQUE:
        case SQLITE_CONSTRAINT_PRIMARYKEY: e.sqlState = u"23505"; break;
        case SQLITE_CONSTRAINT_FOREIGNKEY: e.sqlState = u"23503"; break;
        case SQLITE_CONSTRAINT_CHECK: e.sqlState = u"23513"; break;
        default: e.sqlState = u"23000"; break;
      }
      break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: e.sqlState = u"57033"; break;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: e.sqlState = u"42501"; break;
    case SQLITE_CANTOPEN: e.sqlState = u"08001"; break;
    case SQLITE_FULL: e.sqlState = u"57011"; break;
    case SQLITE_CORRUPT:
    case SQLITE_NOTADB: e.sqlState = u"58004"; break;
    case SQLITE_ERROR:
      if (StartsWith(message, "no such table") || StartsWith(message, "unknown database")) {
        e.number = DB_E_NOTABLE;
        e.sqlState = u"42704";
      } else if (StartsWith(message, "no such column")) {
        e.number = DB_E_ERRORSINCOMMAND;
        e.sqlState = u"42703";
      } else if (message.find("syntax error") != std::string::npos || StartsWith(message, "incomplete input")) {
        e.number = DB_E_ERRORSINCOMMAND;
        e.sqlState = u"42601";
      } else if (message.find("already exists") != std::string::npos) {
        e.number = DB_E_ERRORSINCOMMAND;
        e.sqlState = u"42710";
      }
      break;
    default: break;
  }
  return e;
}

ProviderError CommandError(std::u16string description, const char16_t* state = u"42601") {
  ProviderError e;
  e.number = DB_E_ERRORSINCOMMAND;
  e.description = std::move(description);
  e.sqlState = state;
  e.source = kSource;
  return e;
}

class Statement {
 public:
  Statement() = default;
  explicit Statement(sqlite3_stmt* s) : s_(s) {}
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  ~Statement() { sqlite3_finalize(s_); }
  sqlite3_stmt* get() const { return s_; }
  sqlite3_stmt** out() { return &s_; }

 private:
  sqlite3_stmt* s_ = nullptr;
};

// Bare identifiers and quoted ones that stand before a '.', such as LIB in "LIB.TPEC" or "LIB"."TPEC": the
// schemas a statement may name.
std::vector<std::u16string> SchemaCandidates(std::u16string_view s) {
  enum class Kind { Ident, Dot, Other };
  struct Token {
    Kind kind;
    std::u16string text;
  };
  auto identStart = [](char16_t c) {
    return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_' || c >= 0x80;
  };
  auto identPart = [&](char16_t c) { return identStart(c) || (c >= u'0' && c <= u'9') || c == u'$'; };
  std::vector<Token> tokens;
  std::size_t i = 0, n = s.size();
  while (i < n) {
    char16_t c = s[i];
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
      ++i;
    } else if (c == u'-' && i + 1 < n && s[i + 1] == u'-') {
      while (i < n && s[i] != u'\n') ++i;
    } else if (c == u'/' && i + 1 < n && s[i + 1] == u'*') {
      std::size_t end = s.find(u"*/", i + 2);
      i = end == std::u16string_view::npos ? n : end + 2;
    } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
      char16_t close = c == u'[' ? u']' : c;
      std::u16string text;
      ++i;
      while (i < n) {
        if (s[i] == close) {
          if (close != u']' && i + 1 < n && s[i + 1] == close) {
            text += close;
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        text += s[i++];
      }
      tokens.push_back({c == u'\'' ? Kind::Other : Kind::Ident, std::move(text)});
    } else if (identStart(c)) {
      std::size_t b = i;
      while (i < n && identPart(s[i])) ++i;
      tokens.push_back({Kind::Ident, std::u16string(s.substr(b, i - b))});
    } else if (c >= u'0' && c <= u'9') {
      while (i < n && (identPart(s[i]) || s[i] == u'.')) ++i;
      tokens.push_back({Kind::Other, {}});
    } else {
      tokens.push_back({c == u'.' ? Kind::Dot : Kind::Other, {}});
      ++i;
    }
  }
  std::vector<std::u16string> names;
  for (std::size_t k = 0; k + 1 < tokens.size(); ++k)
    if (tokens[k].kind == Kind::Ident && tokens[k + 1].kind == Kind::Dot) names.push_back(tokens[k].text);
  return names;
}

std::string UriPath(const std::filesystem::path& p) {
  std::string out = "file:";
  for (unsigned char c : p.string()) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '/' ||
                 c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      char buf[4];
      std::snprintf(buf, sizeof buf, "%%%02X", c);
      out += buf;
    }
  }
  return out + "?mode=rw";  // never create a library that is not there
}

// The library file of a name, matching the name case-insensitively as the IBM i does; empty if there is none.
std::filesystem::path FindLibraryFile(const std::filesystem::path& dir, std::u16string_view name) {
  std::error_code ec;
  for (auto candidate : {LibraryPath(dir, name), LibraryPath(dir, Upper(name))}) {
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  std::u16string wanted = Upper(name) + u".DB";
  for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
       it.increment(ec)) {
    if (Upper(Utf8ToUtf16(it->path().filename().string())) == wanted && it->is_regular_file(ec)) return it->path();
  }
  return {};
}

// A column's value as a read shows it.
CComVariant ReadValue(sqlite3_stmt* st, int i, const ColumnInfo& c) {
  int type = sqlite3_column_type(st, i);
  if (type == SQLITE_NULL) {
    CComVariant v;
    v.vt = VT_NULL;
    return v;
  }
  switch (c.type) {
    case adDecimal:
    case adNumeric: {
      int scale = c.numericScale == 255 ? 0 : c.numericScale;
      if (type == SQLITE_INTEGER) {
        return CComVariant(FormatDecimal(AsciiToUtf16(std::to_string(sqlite3_column_int64(st, i))), scale));
      }
      if (type == SQLITE_FLOAT) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", scale, sqlite3_column_double(st, i));
        return CComVariant(AsciiToUtf16(buf));
      }
      break;
    }
    case adSmallInt:
      if (type == SQLITE_INTEGER) {
        CComVariant v;
        v.vt = VT_I2;
        v.iVal = static_cast<SHORT>(sqlite3_column_int(st, i));
        return v;
      }
      break;
    case adInteger:
      if (type == SQLITE_INTEGER) return CComVariant(static_cast<LONG>(sqlite3_column_int(st, i)));
      break;
    case adBigInt:
      if (type == SQLITE_INTEGER) {
        CComVariant v;
        v.vt = VT_I8;
        v.llVal = sqlite3_column_int64(st, i);
        return v;
      }
      break;
    case adSingle:
    case adDouble:
      if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) return CComVariant(sqlite3_column_double(st, i));
      break;
    default: break;
  }
  return CComVariant(FromUtf8(sqlite3_column_text(st, i)));
}

// The stored form of a checked value, as ReadValue would give it back.
CComVariant StoredValue(const BoundValue& b, const ColumnInfo& c) {
  CComVariant v;
  switch (b.kind) {
    case BoundValue::Kind::Null: v.vt = VT_NULL; return v;
    case BoundValue::Kind::Real: return CComVariant(b.real);
    case BoundValue::Kind::Integer:
      if (c.type == adBigInt) {
        v.vt = VT_I8;
        v.llVal = b.integer;
      } else if (c.type == adSmallInt) {
        v.vt = VT_I2;
        v.iVal = static_cast<SHORT>(b.integer);
      } else {
        v = CComVariant(static_cast<LONG>(b.integer));
      }
      return v;
    case BoundValue::Kind::Text:
      if (c.type == adDecimal || c.type == adNumeric)
        return CComVariant(FormatDecimal(b.text, c.numericScale == 255 ? 0 : c.numericScale));
      return CComVariant(b.text);
  }
  return v;
}

// The insert side of a statement that reads a table, kept with the connection while it lives: the statement
// itself (stepped again for every recordset, which also tells whether the schema changed since), the columns as
// the fields describe them, and the INSERT statements prepared for it, one per set of columns written.
struct CachedQuery {
  CachedQuery() = default;
  CachedQuery(const CachedQuery&) = delete;
  CachedQuery& operator=(const CachedQuery&) = delete;
  ~CachedQuery() {
    sqlite3_finalize(select);
    for (auto& [key, st] : inserts) sqlite3_finalize(st);
  }

  sqlite3_stmt* select = nullptr;
  int reprepares = 0;                    // SQLITE_STMTSTATUS_REPREPARE when the columns were read
  std::vector<std::u16string> libraries;  // the libraries the statement names
  std::vector<ColumnInfo> columns;
  std::vector<std::u16string> origins;  // base column of each column; empty when it cannot be written
  std::u16string schema, table;         // insert target
  bool canInsert = false;
  std::shared_ptr<const ColumnIndex> index;
  std::map<std::vector<bool>, sqlite3_stmt*> inserts;  // by the set of columns written
  // Working storage of an insert, kept from record to record and document to document. An insert runs to its end
  // before the next one starts on the connection.
  std::vector<bool> key;
  std::vector<BoundValue> bound;
  std::vector<std::string> texts;  // UTF-8 of the bound texts, by parameter
};

// Statements that are cached: plain queries. Anything else may change the connection itself (PRAGMA, BEGIN,
// ATTACH, temporary tables ...), which a later user of a pooled connection must not inherit.
bool IsPlainQuery(std::u16string_view command, sqlite3_stmt* st) {
  std::size_t i = 0;
  while (i < command.size()) {
    char16_t c = command[i];
    if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'(') {
      ++i;
    } else if (command.substr(i, 2) == u"--") {
      while (i < command.size() && command[i] != u'\n') ++i;
    } else if (command.substr(i, 2) == u"/*") {
      std::size_t end = command.find(u"*/", i + 2);
      i = end == std::u16string_view::npos ? command.size() : end + 2;
    } else {
      break;
    }
  }
  std::size_t end = i;
  while (end < command.size() && ((command[end] >= u'A' && command[end] <= u'Z') || (command[end] >= u'a' && command[end] <= u'z')))
    ++end;
  std::u16string_view word = command.substr(i, end - i);
  bool query = EqualsNoCase(word, u"SELECT") || EqualsNoCase(word, u"WITH") || EqualsNoCase(word, u"VALUES");
  return query && sqlite3_stmt_readonly(st);
}

// One SQLite connection: an in-memory main database with the server's libraries attached as they are named.
struct Database {
  struct Library {
    std::string file;  // the file SQLite opened
    dev_t device = 0;
    ino_t inode = 0;
    sqlite3_int64 dataVersion = -1;  // PRAGMA data_version when the connection last went idle
    sqlite3_stmt* dataVersionQuery = nullptr;
  };

  sqlite3* db = nullptr;
  std::filesystem::path dir;
  std::string poolKey;
  pid_t owner = CurrentProcess();
  std::map<std::u16string, Library> attached;  // by upper-case name
  std::map<std::u16string, std::shared_ptr<CachedQuery>> queries;  // by statement text
  bool reusable = true;  // false once a statement may have changed the connection's own state

  Database() = default;
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database() {
    queries.clear();  // statements first, so the connection really closes
    if (owner == CurrentProcess()) ReleaseMovedLibraries();
    for (auto& [name, library] : attached) sqlite3_finalize(library.dataVersionQuery);
    sqlite3_close_v2(db);
  }

  // A library file that was replaced or deleted while this connection had it open keeps its log file by name,
  // and SQLite does not checkpoint a moved file when it closes: the next file of that name would read the old
  // file's records from the log as its own. Its records are therefore checkpointed into the old file (through
  // the connection's open handle) and the log emptied, unless someone else has written to the log since this
  // connection last used it (then the log is no longer only the old file's, and it is left alone).
  void ReleaseMovedLibraries() {
    for (auto& [name, library] : attached) {
      if (FileUnchanged(library)) continue;
      if (library.dataVersion < 0 || DataVersion(library, name) != library.dataVersion) continue;
      sqlite3_wal_checkpoint_v2(db, Utf16ToUtf8(name).c_str(), SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    }
  }

  sqlite3_int64 DataVersion(Library& library, const std::u16string& name) {
    if (!library.dataVersionQuery) {
      std::string sql = "PRAGMA " + Utf16ToUtf8(QuoteIdentifier(name)) + ".data_version";
      if (sqlite3_prepare_v3(db, sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &library.dataVersionQuery, nullptr) !=
          SQLITE_OK) {
        sqlite3_finalize(library.dataVersionQuery);
        library.dataVersionQuery = nullptr;
        return -1;
      }
    }
    sqlite3_int64 version = -1;
    if (sqlite3_step(library.dataVersionQuery) == SQLITE_ROW) version = sqlite3_column_int64(library.dataVersionQuery, 0);
    sqlite3_reset(library.dataVersionQuery);
    return version;
  }

  // Notes where each library's log stands as the connection goes idle.
  void NoteDataVersions() {
    for (auto& [name, library] : attached) library.dataVersion = DataVersion(library, name);
  }

  static bool FileUnchanged(const Library& library) {
    struct stat info {};
    return !library.file.empty() && ::stat(library.file.c_str(), &info) == 0 && info.st_dev == library.device &&
           info.st_ino == library.inode;
  }

  void Pragma(const std::u16string& schema, const char* setting) {
    std::string sql = "PRAGMA " + Utf16ToUtf8(QuoteIdentifier(schema)) + "." + setting;
    Statement st;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, st.out(), nullptr) != SQLITE_OK) return;
    while (sqlite3_step(st.get()) == SQLITE_ROW) {
    }
  }

  // Attaches every existing library among the names. Names without a file are left alone: the statement then
  // fails the way the server fails for a missing library.
  HRESULT AttachLibraries(const std::vector<std::u16string>& names, ProviderErrors& errors) {
    for (const auto& name : names) {
      std::u16string upper = Upper(name);
      if (!IsValidLibraryName(name) || upper == u"MAIN" || upper == u"TEMP" || attached.count(upper)) continue;
      std::filesystem::path file = FindLibraryFile(dir, name);
      if (file.empty()) continue;
      std::string sql = "ATTACH DATABASE ?1 AS " + Utf16ToUtf8(QuoteIdentifier(upper));
      Statement st;
      int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, st.out(), nullptr);
      std::string uri = UriPath(std::filesystem::absolute(file));
      if (rc == SQLITE_OK) rc = sqlite3_bind_text(st.get(), 1, uri.c_str(), -1, SQLITE_TRANSIENT);
      if (rc == SQLITE_OK) rc = sqlite3_step(st.get());
      if (rc != SQLITE_DONE) {
        ProviderError e = SqliteError(db, rc);
        e.description = u"Library " + upper + u" cannot be opened: " + e.description;
        errors.push_back(std::move(e));
        return errors.back().number;
      }
      Library library;
      std::string upper8 = Utf16ToUtf8(upper);
      if (const char* opened = sqlite3_db_filename(db, upper8.c_str())) library.file = opened;
      struct stat info {};
      if (!library.file.empty() && ::stat(library.file.c_str(), &info) == 0) {
        library.device = info.st_dev;
        library.inode = info.st_ino;
      }
      attached.emplace(upper, std::move(library));
      // A failure to switch the journal (a read-only library) leaves the rollback journal, which is durable
      // as well with synchronous=FULL.
      Pragma(upper, (std::string("journal_mode=") + kJournalMode).c_str());
      Pragma(upper, (std::string("synchronous=") + SynchronousSetting()).c_str());
    }
    return S_OK;
  }

  // Whether every attached library is still the file that was opened: a library deleted or replaced while the
  // connection waited in the pool would otherwise receive records nobody can see.
  bool LibrariesUnchanged() const {
    for (const auto& [name, library] : attached)
      if (!FileUnchanged(library)) return false;
    return true;
  }

  // Ends whatever a user left running; true when the connection is back to autocommit with nothing in flight.
  bool Quiesce() {
    for (sqlite3_stmt* st = sqlite3_next_stmt(db, nullptr); st; st = sqlite3_next_stmt(db, st))
      if (sqlite3_stmt_busy(st)) sqlite3_reset(st);
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    return sqlite3_get_autocommit(db) != 0;
  }

  void ForgetQuery(const std::u16string& command) { queries.erase(command); }

  void Remember(const std::u16string& command, std::shared_ptr<CachedQuery> query) {
    constexpr std::size_t kMaxQueries = 32;
    if (queries.size() >= kMaxQueries)
      std::erase_if(queries, [](const auto& entry) { return entry.second.use_count() == 1; });
    if (queries.size() < kMaxQueries) queries[command] = std::move(query);
  }
};

// Connections kept open between uses, per server folder. Closing the last connection to a library in WAL mode
// checkpoints the log and drops the page cache; an idle connection behind the pool keeps both.
class Pool {
 public:
  // An idle connection to the folder that is still sound, or null.
  std::unique_ptr<Database> Take(const std::string& key) {
    std::unique_ptr<Database> found = idle_.Take(key);
    if (found && !found->LibrariesUnchanged()) found.reset();
    return found;
  }

  void Give(std::unique_ptr<Database> db) {
    if (!db) return;
    if (db->owner != CurrentProcess()) {
      (void)db.release();  // a connection inherited over fork() belongs to the parent: never touch it here
      return;
    }
    bool reuse = Enabled() && db->reusable && db->Quiesce();
    db->NoteDataVersions();
    if (!reuse) return;
    std::string key = db->poolKey;
    idle_.Give(std::move(key), std::move(db));
  }

  std::size_t CloseIdle() { return idle_.CloseIdle(); }
  std::size_t Idle() { return idle_.Idle(); }
  // At exit: idle connections are closed (which checkpoints their logs), later returns are closed at once.
  void Shutdown() { idle_.Shutdown(); }

  static bool Enabled() {
    static const bool enabled = [] {
      const char* v = std::getenv(kPoolingVariable);
      return !(v && (std::strcmp(v, "0") == 0 || EqualsNoCase(Utf8ToUtf16(v), u"off") ||
                     EqualsNoCase(Utf8ToUtf16(v), u"no")));
    }();
    return enabled;
  }

 private:
  IdlePool<Database, std::string> idle_{8, std::chrono::seconds(60)};
};

Pool& ThePool() {
  static Pool* pool = new Pool;  // lives as long as the process; emptied at exit by the closer below
  return *pool;
}

struct PoolCloser {
  ~PoolCloser() { ThePool().Shutdown(); }
} g_poolCloser;


class SqliteRowset : public Rowset {
 public:
  SqliteRowset(std::shared_ptr<Database> db, std::shared_ptr<CachedQuery> query,
               std::vector<std::vector<CComVariant>> rows)
      : db_(std::move(db)), query_(std::move(query)), rows_(std::move(rows)) {}

  const std::vector<ColumnInfo>& Columns() const override { return query_->columns; }
  std::shared_ptr<const ColumnIndex> NameIndex() const override { return query_->index; }
  std::vector<std::vector<CComVariant>> TakeRows() override { return std::move(rows_); }
  bool CanInsert() const override { return query_->canInsert; }

  HRESULT Insert(const std::vector<const VARIANT*>& values, std::vector<CComVariant>& stored,
                 ProviderErrors& errors) override {
    if (!CanInsert()) {
      errors.push_back(CommandError(u"The statement has no table to insert into.", u"42807"));
      return errors.back().number;
    }
    const std::vector<ColumnInfo>& columns = query_->columns;
    std::vector<bool>& key = query_->key;
    std::vector<BoundValue>& bound = query_->bound;
    key.assign(columns.size(), false);
    bound.resize(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
      bound[i].kind = BoundValue::Kind::Null;
      if (i >= values.size() || !values[i]) continue;
      key[i] = true;
      ProviderError e;
      if (!CheckColumnValue(columns[i], *values[i], bound[i], e) || !FitsExactly(columns[i], bound[i], e)) {
        e.source = kSource;
        errors.push_back(std::move(e));
      }
    }
    if (!errors.empty()) return DB_E_ERRORSOCCURRED;

    sqlite3_stmt* st = nullptr;
    if (HRESULT hr = InsertStatement(key, st, errors); FAILED(hr)) return hr;
    if (query_->texts.size() < columns.size()) query_->texts.resize(columns.size());
    int parameter = 0;
    int rc = SQLITE_OK;
    for (std::size_t i = 0; i < key.size() && rc == SQLITE_OK; ++i) {
      if (!key[i]) continue;
      ++parameter;
      rc = Bind(st, parameter, columns[i], bound[i]);
    }
    if (rc == SQLITE_OK) rc = sqlite3_step(st);
    if (rc != SQLITE_DONE) errors.push_back(SqliteError(db_->db, rc));
    // Resetting ends the statement, so its autocommit transaction is committed (or rolled back) now.
    sqlite3_reset(st);
    sqlite3_clear_bindings(st);
    if (!errors.empty()) return errors.back().number;

    stored.clear();
    stored.resize(columns.size());
    for (std::size_t i = 0; i < columns.size(); ++i) {
      // Text stored as it was given (the usual case) is left for the recordset to take over.
      const BoundValue& b = bound[i];
      bool asGiven = b.kind == BoundValue::Kind::Text && columns[i].type != adDecimal &&
                     columns[i].type != adNumeric && i < values.size() && values[i] && values[i]->vt == VT_BSTR &&
                     BstrView(values[i]->bstrVal) == std::u16string_view(b.text);
      if (!asGiven) stored[i] = StoredValue(b, columns[i]);
    }
    return S_OK;
  }

 private:
  // SQLite keeps 15 significant digits of a decimal fraction; refuse what it would round.
  static bool FitsExactly(const ColumnInfo& c, const BoundValue& b, ProviderError& e) {
    if ((c.type != adDecimal && c.type != adNumeric) || b.kind != BoundValue::Kind::Text) return true;
    bool whole = b.text.find(u'.') == std::u16string::npos;
    if (b.significantDigits <= 15 || (whole && b.significantDigits <= 18)) return true;
    e.number = DB_E_DATAOVERFLOW;
    e.sqlState = kStateOutOfRange;
    e.nativeError = kNativeOutOfRange;
    e.description = u"Value " + QuoteValueForMessage(b.text) + u" for column " +
                    (c.tableName.empty() ? c.name : c.tableName + u"." + c.name) +
                    u" cannot be stored exactly: the embedded database keeps at most 15 significant digits.";
    return false;
  }

  int Bind(sqlite3_stmt* st, int parameter, const ColumnInfo& c, const BoundValue& b) {
    switch (b.kind) {
      case BoundValue::Kind::Null: return sqlite3_bind_null(st, parameter);
      case BoundValue::Kind::Integer: return sqlite3_bind_int64(st, parameter, b.integer);
      case BoundValue::Kind::Real: return sqlite3_bind_double(st, parameter, b.real);
      case BoundValue::Kind::Text: {
        if ((c.type == adDecimal || c.type == adNumeric) && b.text.find(u'.') == std::u16string::npos) {
          // A whole number is stored as an integer, as SQLite's numeric affinity would store it.
          char digits[32];
          std::size_t n = 0;
          for (char16_t ch : b.text) {
            if (n == sizeof digits || ch > 0x7F) {
              n = sizeof digits;
              break;
            }
            digits[n++] = static_cast<char>(ch);
          }
          long long whole = 0;
          if (n < sizeof digits) {
            auto r = std::from_chars(digits, digits + n, whole);
            if (r.ec == std::errc() && r.ptr == digits + n) return sqlite3_bind_int64(st, parameter, whole);
          }
        }
        // The text stays in this rowset's buffer until the statement has run, so SQLite need not copy it.
        std::string& text = query_->texts[static_cast<std::size_t>(parameter - 1)];
        Utf16ToUtf8(b.text, text);
        return sqlite3_bind_text(st, parameter, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
      }
    }
    return SQLITE_MISUSE;
  }

  HRESULT InsertStatement(const std::vector<bool>& key, sqlite3_stmt*& st, ProviderErrors& errors) {
    CachedQuery& q = *query_;
    if (auto it = q.inserts.find(key); it != q.inserts.end()) {
      st = it->second;
      return S_OK;
    }
    std::u16string sql = u"INSERT INTO " + QuoteIdentifier(q.schema) + u"." + QuoteIdentifier(q.table);
    std::u16string names, marks;
    for (std::size_t i = 0; i < key.size(); ++i) {
      if (!key[i]) continue;
      if (!names.empty()) {
        names += u", ";
        marks += u", ";
      }
      names += QuoteIdentifier(q.origins[i]);
      marks += u"?";
    }
    sql += names.empty() ? u" DEFAULT VALUES" : u" (" + names + u") VALUES (" + marks + u")";
    std::string utf8 = Utf16ToUtf8(sql);
    int rc = sqlite3_prepare_v3(db_->db, utf8.c_str(), static_cast<int>(utf8.size()), SQLITE_PREPARE_PERSISTENT, &st,
                                nullptr);
    if (rc != SQLITE_OK) {
      errors.push_back(SqliteError(db_->db, rc));
      sqlite3_finalize(st);
      st = nullptr;
      return errors.back().number;
    }
    ++g_insertsPrepared;
    q.inserts.emplace(key, st);
    return S_OK;
  }

  std::shared_ptr<Database> db_;
  std::shared_ptr<CachedQuery> query_;
  std::vector<std::vector<CComVariant>> rows_;
};

class SqliteSession : public Session {
 public:
  explicit SqliteSession(std::shared_ptr<Database> db) : db_(std::move(db)) {}

  HRESULT OpenRowset(std::u16string_view command, std::unique_ptr<Rowset>& rowset,
                     ProviderErrors& errors) override {
    rowset.reset();
    Database& d = *db_;
    std::u16string text(command);
    std::shared_ptr<CachedQuery> query;
    if (auto it = d.queries.find(text); it != d.queries.end()) query = it->second;
    if (HRESULT hr = d.AttachLibraries(query ? query->libraries : SchemaCandidates(command), errors); FAILED(hr))
      return hr;

    if (!query) {
      std::string utf8 = Utf16ToUtf8(command);
      Statement st;
      const char* tail = nullptr;
      int rc = sqlite3_prepare_v3(d.db, utf8.c_str(), static_cast<int>(utf8.size()), SQLITE_PREPARE_PERSISTENT,
                                  st.out(), &tail);
      if (rc != SQLITE_OK) {
        errors.push_back(SqliteError(d.db, rc));
        return errors.back().number;
      }
      if (!st.get()) {
        errors.push_back(CommandError(u"The command text is empty."));
        return errors.back().number;
      }
      for (const char* p = tail; p && *p; ++p) {
        if (*p != ' ' && *p != '\t' && *p != '\r' && *p != '\n' && *p != ';') {
          errors.push_back(CommandError(u"Only one statement can be run at a time."));
          return errors.back().number;
        }
      }
      bool plain = IsPlainQuery(command, st.get());
      if (!plain) d.reusable = false;
      if (sqlite3_column_count(st.get()) == 0) {  // no rows: run it
        while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) {
          errors.push_back(SqliteError(d.db, rc));
          return errors.back().number;
        }
        return S_OK;
      }
      query = std::make_shared<CachedQuery>();
      query->select = std::exchange(*st.out(), nullptr);
      query->libraries = SchemaCandidates(command);
      Describe(*query);
      if (plain) d.Remember(text, query);
    }

    std::vector<std::vector<CComVariant>> rows;
    HRESULT hr = ReadRows(text, query, rows, errors);
    if (FAILED(hr)) return hr;
    rowset = std::make_unique<SqliteRowset>(db_, std::move(query), std::move(rows));
    return S_OK;
  }

  HRESULT Execute(std::u16string_view command, LONG* recordsAffected, ProviderErrors& errors) override {
    Database& d = *db_;
    d.reusable = false;
    if (HRESULT hr = d.AttachLibraries(SchemaCandidates(command), errors); FAILED(hr)) return hr;
    sqlite3* db = d.db;
    std::string utf8 = Utf16ToUtf8(command);
    const char* next = utf8.c_str();
    const char* end = next + utf8.size();
    sqlite3_int64 before = sqlite3_total_changes64(db);
    while (next < end) {
      Statement st;
      const char* tail = nullptr;
      int rc = sqlite3_prepare_v2(db, next, static_cast<int>(end - next), st.out(), &tail);
      if (rc != SQLITE_OK) {
        errors.push_back(SqliteError(db, rc));
        return errors.back().number;
      }
      next = tail ? tail : end;
      if (!st.get()) continue;  // blanks or a comment
      while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
      }
      if (rc != SQLITE_DONE) {
        errors.push_back(SqliteError(db, rc));
        return errors.back().number;
      }
    }
    if (recordsAffected) *recordsAffected = static_cast<LONG>(sqlite3_total_changes64(db) - before);
    return S_OK;
  }

 private:
  // Runs the statement and reads its rows. SQLite prepares a statement again when the schema changed since it
  // was prepared; the columns are then described again, in a new entry, so that recordsets still open on the
  // old description keep it.
  HRESULT ReadRows(const std::u16string& text, std::shared_ptr<CachedQuery>& query,
                   std::vector<std::vector<CComVariant>>& rows, ProviderErrors& errors) {
    Database& d = *db_;
    for (int attempt = 0;; ++attempt) {
      sqlite3_stmt* st = query->select;
      rows.clear();
      int rc;
      bool described = true;
      while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        if (described && sqlite3_stmt_status(st, SQLITE_STMTSTATUS_REPREPARE, 0) != query->reprepares) {
          described = false;
          break;
        }
        std::vector<CComVariant> row;
        row.reserve(query->columns.size());
        for (std::size_t i = 0; i < query->columns.size(); ++i)
          row.push_back(ReadValue(st, static_cast<int>(i), query->columns[i]));
        rows.push_back(std::move(row));
      }
      if (rc == SQLITE_DONE && sqlite3_stmt_status(st, SQLITE_STMTSTATUS_REPREPARE, 0) != query->reprepares)
        described = false;
      if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        errors.push_back(SqliteError(d.db, rc));
        sqlite3_reset(st);
        d.ForgetQuery(text);
        return errors.back().number;
      }
      sqlite3_reset(st);
      if (described) return S_OK;
      // The schema changed: a fresh description, taking the statement over from the old entry.
      auto fresh = std::make_shared<CachedQuery>();
      fresh->select = std::exchange(query->select, nullptr);
      fresh->libraries = query->libraries;
      Describe(*fresh);
      bool cached = d.queries.count(text) && d.queries[text] == query;
      query = fresh;
      if (cached) d.queries[text] = query;
      if (attempt > 2) {  // the schema keeps changing under us; read what there is with this description
        rows.clear();
        while ((rc = sqlite3_step(query->select)) == SQLITE_ROW) {
          std::vector<CComVariant> row;
          for (std::size_t i = 0; i < query->columns.size(); ++i)
            row.push_back(ReadValue(query->select, static_cast<int>(i), query->columns[i]));
          rows.push_back(std::move(row));
        }
        sqlite3_reset(query->select);
        if (rc != SQLITE_DONE) {
          errors.push_back(SqliteError(d.db, rc));
          d.ForgetQuery(text);
          return errors.back().number;
        }
        return S_OK;
      }
    }
  }

  // The columns of the prepared statement, and where inserted records go.
  void Describe(CachedQuery& q) {
    sqlite3_stmt* st = q.select;
    int count = sqlite3_column_count(st);
    q.columns.assign(static_cast<std::size_t>(count), ColumnInfo());
    q.origins.assign(q.columns.size(), std::u16string());
    q.schema.clear();
    q.table.clear();
    for (int i = 0; i < count; ++i) {
      ColumnInfo& c = q.columns[static_cast<std::size_t>(i)];
      c.name = FromUtf8(sqlite3_column_name(st, i));
      DescribeDeclaredType(FromUtf8(sqlite3_column_decltype(st, i)), c);
      std::u16string colSchema = FromUtf8(sqlite3_column_database_name(st, i));
      std::u16string colTable = FromUtf8(sqlite3_column_table_name(st, i));
      std::u16string origin = FromUtf8(sqlite3_column_origin_name(st, i));
      c.tableName = colTable;
      if (origin.empty()) continue;
      if (q.table.empty()) {
        q.schema = colSchema;
        q.table = colTable;
      }
      if (EqualsNoCase(colSchema, q.schema) && EqualsNoCase(colTable, q.table))
        q.origins[static_cast<std::size_t>(i)] = origin;
    }
    DescribeTableColumns(q.schema, q.table, q.columns, q.origins);
    q.canInsert = false;
    if (!q.table.empty())
      for (const auto& c : q.columns)
        if (c.attributes & adFldUpdatable) q.canInsert = true;
    q.index = ColumnIndex::Build(q.columns);
    q.reprepares = sqlite3_stmt_status(st, SQLITE_STMTSTATUS_REPREPARE, 0);
  }

  // Nullability, keys and generated columns of the insert target, from the table's own description.
  void DescribeTableColumns(const std::u16string& schema, const std::u16string& table,
                            std::vector<ColumnInfo>& columns, std::vector<std::u16string>& origins) {
    struct Info {
      bool notNull = false, key = false, generated = false;
    };
    std::map<std::u16string, Info> info;  // by upper-case name
    if (!table.empty()) {
      std::string sql = "PRAGMA " + Utf16ToUtf8(QuoteIdentifier(schema)) + ".table_xinfo(" +
                        Utf16ToUtf8(QuoteIdentifier(table)) + ")";
      Statement st;
      if (sqlite3_prepare_v2(db_->db, sql.c_str(), -1, st.out(), nullptr) == SQLITE_OK) {
        while (sqlite3_step(st.get()) == SQLITE_ROW) {
          Info i;
          i.notNull = sqlite3_column_int(st.get(), 3) != 0;
          i.key = sqlite3_column_int(st.get(), 5) != 0;
          int hidden = sqlite3_column_int(st.get(), 6);
          i.generated = hidden == 2 || hidden == 3;
          info[Upper(FromUtf8(sqlite3_column_text(st.get(), 1)))] = i;
        }
      }
    }
    for (std::size_t i = 0; i < columns.size(); ++i) {
      ColumnInfo& c = columns[i];
      c.attributes |= adFldMayBeNull;
      if (origins[i].empty()) continue;
      auto it = info.find(Upper(origins[i]));
      Info col = it == info.end() ? Info{} : it->second;
      if (col.generated) {
        origins[i].clear();
        continue;
      }
      c.attributes |= adFldUpdatable;
      if (!col.notNull) c.attributes |= adFldIsNullable;
      if (col.key) c.attributes |= adFldKeyColumn;
    }
  }

  std::shared_ptr<Database> db_;
};

class SqliteProvider : public Provider {
 public:
  HRESULT Connect(const ConnectRequest& request, std::shared_ptr<Session>& session,
                  ProviderErrors& errors) override {
    std::u16string_view source = request.dataSource;
    if (source.size() >= 7 && EqualsNoCase(source.substr(0, 7), u"sqlite:")) source.remove_prefix(7);
    std::filesystem::path dir(Utf16ToUtf8(source));
    std::error_code ec;
    if (source.empty() || !std::filesystem::is_directory(dir, ec)) {
      ProviderError e;
      e.description = u"The server folder '" + std::u16string(source) + u"' does not exist.";
      e.sqlState = u"08001";
      e.source = kSource;
      errors.push_back(std::move(e));
      return errors.back().number;
    }
    // The pool's key: the folder as written, made absolute (without asking the file system again).
    std::string key = std::filesystem::absolute(dir, ec).lexically_normal().string();
    if (ec) key = dir.string();
    std::unique_ptr<Database> db = Pool::Enabled() ? ThePool().Take(key) : nullptr;
    if (!db) {
      db = std::make_unique<Database>();
      db->dir = dir;
      db->poolKey = key;
      int rc = sqlite3_open_v2(":memory:", &db->db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_URI,
                               nullptr);
      if (rc != SQLITE_OK) {
        errors.push_back(SqliteError(db->db, rc));
        return errors.back().number;
      }
      sqlite3_extended_result_codes(db->db, 1);
      sqlite3_busy_timeout(db->db, kBusyTimeoutMs);
    }
    // When the session and every rowset of it are gone, the connection goes back to the pool.
    std::shared_ptr<Database> shared(db.release(), [](Database* p) { ThePool().Give(std::unique_ptr<Database>(p)); });
    session = std::make_shared<SqliteSession>(std::move(shared));
    return S_OK;
  }
};

SqliteProvider& Instance() {
  static SqliteProvider* provider = new SqliteProvider;  // lives as long as the process
  return *provider;
}

[[maybe_unused]] const bool g_registered = (RegisterProvider(u"sqlite", &Instance()), true);

}  // namespace


bool IsValidLibraryName(std::u16string_view name) {
  if (name.empty() || name.size() > 128) return false;
  for (char16_t c : name) {
    bool ok = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'_' ||
              c == u'$' || c == u'#' || c == u'@';
    if (!ok) return false;
  }
  return true;
}

std::filesystem::path LibraryPath(const std::filesystem::path& serverDir, std::u16string_view library) {
  return serverDir / (Utf16ToUtf8(library) + ".db");
}

HRESULT CreateLibrary(const std::filesystem::path& serverDir, std::u16string_view library, std::u16string* error) {
  auto fail = [&](HRESULT hr, std::u16string text) {
    if (error) *error = std::move(text);
    return hr;
  };
  if (!IsValidLibraryName(library)) return fail(E_INVALIDARG, u"'" + std::u16string(library) + u"' is not a library name.");
  std::error_code ec;
  if (!std::filesystem::is_directory(serverDir, ec))
    return fail(E_FAIL, u"The server folder '" + Utf8ToUtf16(serverDir.string()) + u"' does not exist.");
  if (!FindLibraryFile(serverDir, library).empty()) return S_FALSE;
  std::filesystem::path file = LibraryPath(serverDir, library);
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
  if (rc == SQLITE_OK) {
    std::string sql = std::string("PRAGMA journal_mode=") + kJournalMode;
    rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr);
  }
  std::u16string message = rc == SQLITE_OK ? u"" : FromUtf8(db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
  sqlite3_close_v2(db);
  if (rc != SQLITE_OK) return fail(E_FAIL, u"Library file '" + Utf8ToUtf16(file.string()) + u"': " + message);
  return S_OK;
}

std::uint64_t InsertStatementsPrepared() { return g_insertsPrepared.load(); }

const char* SynchronousSetting() {
  static const char* setting = [] {
    const char* v = std::getenv(kSynchronousVariable);
    for (const char* allowed : {"FULL", "NORMAL", "EXTRA"})
      if (v && EqualsNoCase(Utf8ToUtf16(v), Utf8ToUtf16(allowed))) return allowed;
    return kSynchronous;
  }();
  return setting;
}

std::size_t IdleConnections() { return ThePool().Idle(); }

std::size_t CloseIdleConnections() { return ThePool().CloseIdle(); }

}  // namespace ado::sqlite
