#include "capture/store.h"

#include <sqlite3.h>

#include <functional>

#include "platform/com/utf.h"

namespace capture {

namespace {

constexpr int kSchemaVersion = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS document_class (
  name TEXT NOT NULL PRIMARY KEY COLLATE NOCASE,
  batch_class TEXT NOT NULL,
  instance_name TEXT NOT NULL,
  server_name TEXT NOT NULL,
  user_name TEXT NOT NULL,
  password TEXT NOT NULL,
  connector TEXT NOT NULL
);
CREATE TABLE IF NOT EXISTS custom_property (
  class TEXT NOT NULL COLLATE NOCASE REFERENCES document_class(name) ON DELETE CASCADE,
  position INTEGER NOT NULL, name TEXT NOT NULL, value TEXT NOT NULL,
  PRIMARY KEY (class, position));
CREATE TABLE IF NOT EXISTS link (
  class TEXT NOT NULL COLLATE NOCASE REFERENCES document_class(name) ON DELETE CASCADE,
  position INTEGER NOT NULL, source TEXT NOT NULL, source_type INTEGER NOT NULL, destination TEXT NOT NULL,
  PRIMARY KEY (class, position));
CREATE TABLE IF NOT EXISTS index_field (
  class TEXT NOT NULL COLLATE NOCASE REFERENCES document_class(name) ON DELETE CASCADE,
  position INTEGER NOT NULL, name TEXT NOT NULL, table_name TEXT NOT NULL,
  PRIMARY KEY (class, position));
CREATE TABLE IF NOT EXISTS batch_field (
  class TEXT NOT NULL COLLATE NOCASE REFERENCES document_class(name) ON DELETE CASCADE,
  position INTEGER NOT NULL, name TEXT NOT NULL,
  PRIMARY KEY (class, position));
CREATE TABLE IF NOT EXISTS value_name (
  class TEXT NOT NULL COLLATE NOCASE REFERENCES document_class(name) ON DELETE CASCADE,
  position INTEGER NOT NULL, name TEXT NOT NULL,
  PRIMARY KEY (class, position));
)sql";

const char* const kChildTables[] = {"custom_property", "link", "index_field", "batch_field", "value_name"};

void BindText(sqlite3_stmt* stmt, int index, std::u16string_view text) {
  sqlite3_bind_text16(stmt, index, text.data(), static_cast<int>(text.size() * sizeof(char16_t)),
                      SQLITE_TRANSIENT);
}

std::u16string ColumnText(sqlite3_stmt* stmt, int index) {
  const void* p = sqlite3_column_text16(stmt, index);
  int bytes = sqlite3_column_bytes16(stmt, index);
  if (!p) return {};
  return std::u16string(static_cast<const char16_t*>(p), static_cast<std::size_t>(bytes) / sizeof(char16_t));
}

class Statement {
 public:
  Statement(sqlite3* db, const char* sql) { ok_ = sqlite3_prepare_v2(db, sql, -1, &stmt_, nullptr) == SQLITE_OK; }
  ~Statement() { sqlite3_finalize(stmt_); }
  bool ok() const { return ok_; }
  sqlite3_stmt* get() const { return stmt_; }
  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step() { return sqlite3_step(stmt_); }
  void Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
  }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  bool ok_;
};

bool Exec(sqlite3* db, const char* sql, std::string* error) {
  char* message = nullptr;
  if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) return true;
  if (error) *error = message ? message : sqlite3_errmsg(db);
  sqlite3_free(message);
  return false;
}

std::string Failure(sqlite3* db, const std::string& path) { return path + ": " + sqlite3_errmsg(db); }

}  // namespace

std::unique_ptr<ClassStore> ClassStore::Open(const std::string& path, std::string* error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK) {
    if (error) *error = "cannot open the class store " + path + ": " + (db ? sqlite3_errmsg(db) : "out of memory");
    sqlite3_close(db);
    return nullptr;
  }
  // Several hosts may share a home: wait for each other instead of failing at once.
  sqlite3_busy_timeout(db, 10000);
  std::string message;
  bool ok = Exec(db, "PRAGMA foreign_keys=ON", &message);
  int version = 0;
  if (ok) {
    Statement v(db, "PRAGMA user_version");
    ok = v.ok() && v.Step() == SQLITE_ROW;
    if (ok) version = sqlite3_column_int(v.get(), 0);
    if (!ok) message = sqlite3_errmsg(db);
  }
  if (ok && version > kSchemaVersion) {
    ok = false;
    message = "it was written by a newer capture host (schema " + std::to_string(version) + ")";
  }
  if (ok && version < kSchemaVersion) {
    ok = Exec(db, "BEGIN IMMEDIATE", &message) && Exec(db, kSchema, &message) &&
         Exec(db, ("PRAGMA user_version=" + std::to_string(kSchemaVersion)).c_str(), &message) &&
         Exec(db, "COMMIT", &message);
    if (!ok) Exec(db, "ROLLBACK", nullptr);
  }
  if (!ok) {
    if (error) *error = "cannot use the class store " + path + ": " + message;
    sqlite3_close(db);
    return nullptr;
  }
  return std::unique_ptr<ClassStore>(new ClassStore(db, path));
}

ClassStore::~ClassStore() { sqlite3_close(db_); }

bool ClassStore::Names(std::vector<std::u16string>& names, std::string* error) const {
  names.clear();
  Statement s(db_, "SELECT name FROM document_class ORDER BY name COLLATE NOCASE");
  if (!s.ok()) {
    if (error) *error = Failure(db_, path_);
    return false;
  }
  int rc;
  while ((rc = s.Step()) == SQLITE_ROW) names.push_back(ColumnText(s.get(), 0));
  if (rc != SQLITE_DONE) {
    if (error) *error = Failure(db_, path_);
    return false;
  }
  return true;
}

bool ClassStore::Load(std::u16string_view name, DocumentClass& c, bool* found, std::string* error) const {
  if (found) *found = false;
  auto fail = [&] {
    if (error) *error = Failure(db_, path_);
    return false;
  };
  if (!Exec(db_, "BEGIN", error)) return false;
  // One read transaction, so a class is never seen half replaced.
  struct EndRead {
    sqlite3* db;
    ~EndRead() { sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr); }
  } endRead{db_};

  DocumentClass loaded;
  {
    Statement s(db_,
                "SELECT name, batch_class, instance_name, server_name, user_name, password, connector "
                "FROM document_class WHERE name = ?");
    if (!s.ok()) return fail();
    BindText(s.get(), 1, name);
    int rc = s.Step();
    if (rc == SQLITE_DONE) return true;
    if (rc != SQLITE_ROW) return fail();
    loaded.name = ColumnText(s.get(), 0);
    loaded.batchClassName = ColumnText(s.get(), 1);
    loaded.instanceName = ColumnText(s.get(), 2);
    loaded.serverName = ColumnText(s.get(), 3);
    loaded.userName = ColumnText(s.get(), 4);
    loaded.password = ColumnText(s.get(), 5);
    loaded.connectorProgId = ColumnText(s.get(), 6);
  }
  auto rows = [&](const char* sql, const std::function<void(sqlite3_stmt*)>& take) {
    Statement s(db_, sql);
    if (!s.ok()) return false;
    BindText(s.get(), 1, loaded.name);
    int rc;
    while ((rc = s.Step()) == SQLITE_ROW) take(s.get());
    return rc == SQLITE_DONE;
  };
  bool ok =
      rows("SELECT name, value FROM custom_property WHERE class = ? ORDER BY position",
           [&](sqlite3_stmt* st) { loaded.customProperties.push_back({ColumnText(st, 0), ColumnText(st, 1)}); }) &&
      rows("SELECT source, source_type, destination FROM link WHERE class = ? ORDER BY position",
           [&](sqlite3_stmt* st) {
             loaded.links.push_back({ColumnText(st, 0), sqlite3_column_int(st, 1), ColumnText(st, 2)});
           }) &&
      rows("SELECT name, table_name FROM index_field WHERE class = ? ORDER BY position",
           [&](sqlite3_stmt* st) { loaded.indexFields.push_back({ColumnText(st, 0), ColumnText(st, 1)}); }) &&
      rows("SELECT name FROM batch_field WHERE class = ? ORDER BY position",
           [&](sqlite3_stmt* st) { loaded.batchFields.push_back(ColumnText(st, 0)); }) &&
      rows("SELECT name FROM value_name WHERE class = ? ORDER BY position",
           [&](sqlite3_stmt* st) { loaded.valueNames.push_back(ColumnText(st, 0)); });
  if (!ok) return fail();
  c = std::move(loaded);
  if (found) *found = true;
  return true;
}

bool ClassStore::Create(const DocumentClass& c, std::string* error) { return Write(c, true, error); }
bool ClassStore::Save(const DocumentClass& c, std::string* error) { return Write(c, false, error); }

bool ClassStore::Write(const DocumentClass& c, bool mustBeNew, std::string* error) {
  if (c.name.empty()) {
    if (error) *error = "a document class needs a name";
    return false;
  }
  if (!Exec(db_, "BEGIN IMMEDIATE", error)) return false;
  bool committed = false;
  struct Guard {
    sqlite3* db;
    bool& committed;
    ~Guard() {
      if (!committed) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  } guard{db_, committed};
  auto fail = [&](std::string text = {}) {
    if (error) *error = text.empty() ? Failure(db_, path_) : text;
    return false;
  };

  std::u16string storedName = c.name;
  {
    Statement s(db_, "SELECT name FROM document_class WHERE name = ?");
    if (!s.ok()) return fail();
    BindText(s.get(), 1, c.name);
    int rc = s.Step();
    if (rc == SQLITE_ROW) {
      if (mustBeNew) return fail("the document class '" + Utf16ToUtf8(ColumnText(s.get(), 0)) + "' already exists");
    } else if (rc != SQLITE_DONE) {
      return fail();
    }
  }
  {
    // The cascade removes the children; the explicit deletes also clear rows a store without it left behind.
    Statement del(db_, "DELETE FROM document_class WHERE name = ?");
    if (!del.ok()) return fail();
    BindText(del.get(), 1, c.name);
    if (del.Step() != SQLITE_DONE) return fail();
    for (const char* table : kChildTables) {
      std::string sql = std::string("DELETE FROM ") + table + " WHERE class = ?";
      Statement orphan(db_, sql.c_str());
      if (!orphan.ok()) return fail();
      BindText(orphan.get(), 1, c.name);
      if (orphan.Step() != SQLITE_DONE) return fail();
    }
  }
  {
    Statement s(db_,
                "INSERT INTO document_class (name, batch_class, instance_name, server_name, user_name, password, "
                "connector) VALUES (?, ?, ?, ?, ?, ?, ?)");
    if (!s.ok()) return fail();
    const std::u16string* texts[] = {&c.name,     &c.batchClassName, &c.instanceName,   &c.serverName,
                                     &c.userName, &c.password,       &c.connectorProgId};
    for (int i = 0; i < 7; ++i) BindText(s.get(), i + 1, *texts[i]);
    if (s.Step() != SQLITE_DONE) return fail();
  }
  auto insertAll = [&](const char* sql, std::size_t count, const std::function<void(sqlite3_stmt*, std::size_t)>& bind) {
    Statement s(db_, sql);
    if (!s.ok()) return false;
    for (std::size_t i = 0; i < count; ++i) {
      BindText(s.get(), 1, c.name);
      sqlite3_bind_int64(s.get(), 2, static_cast<sqlite3_int64>(i + 1));
      bind(s.get(), i);
      if (s.Step() != SQLITE_DONE) return false;
      s.Reset();
    }
    return true;
  };
  bool ok =
      insertAll("INSERT INTO custom_property VALUES (?, ?, ?, ?)", c.customProperties.size(),
                [&](sqlite3_stmt* st, std::size_t i) {
                  BindText(st, 3, c.customProperties[i].name);
                  BindText(st, 4, c.customProperties[i].value);
                }) &&
      insertAll("INSERT INTO link VALUES (?, ?, ?, ?, ?)", c.links.size(),
                [&](sqlite3_stmt* st, std::size_t i) {
                  BindText(st, 3, c.links[i].source);
                  sqlite3_bind_int(st, 4, c.links[i].sourceType);
                  BindText(st, 5, c.links[i].destination);
                }) &&
      insertAll("INSERT INTO index_field VALUES (?, ?, ?, ?)", c.indexFields.size(),
                [&](sqlite3_stmt* st, std::size_t i) {
                  BindText(st, 3, c.indexFields[i].name);
                  BindText(st, 4, c.indexFields[i].table);
                }) &&
      insertAll("INSERT INTO batch_field VALUES (?, ?, ?)", c.batchFields.size(),
                [&](sqlite3_stmt* st, std::size_t i) { BindText(st, 3, c.batchFields[i]); }) &&
      insertAll("INSERT INTO value_name VALUES (?, ?, ?)", c.valueNames.size(),
                [&](sqlite3_stmt* st, std::size_t i) { BindText(st, 3, c.valueNames[i]); });
  if (!ok) return fail();
  if (!Exec(db_, "COMMIT", error)) return false;
  committed = true;
  return true;
}

bool ClassStore::Remove(std::u16string_view name, bool* found, std::string* error) {
  if (found) *found = false;
  Statement s(db_, "DELETE FROM document_class WHERE name = ?");
  if (!s.ok()) {
    if (error) *error = Failure(db_, path_);
    return false;
  }
  BindText(s.get(), 1, name);
  if (s.Step() != SQLITE_DONE) {
    if (error) *error = Failure(db_, path_);
    return false;
  }
  if (found) *found = sqlite3_changes(db_) > 0;
  return true;
}

}  // namespace capture
