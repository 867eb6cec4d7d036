#include "bench/release/baseline_sqlite.h"

#include <sqlite3.h>

#include <cstring>
#include <map>
#include <vector>

namespace bench {
namespace {

constexpr const char* kTables[] = {"TPEC", "TBHB", "TBSB", "TBLB"};
constexpr const char* kKeys[] = {"PEGUI", "BHGUI", "BSGUI", "BLGUI"};

// The columns a row sets, and the INSERT for them.
struct Shape {
  int table = 0;
  std::vector<int> columns;
  std::string sql;
};

// One record: its shape and its values packed one after the other (storage class byte, then 8 bytes for a
// number or a 4-byte length and the text).
struct Record {
  std::uint32_t shape = 0;
  std::string data;
};
using Document = std::vector<Record>;

struct ReplayData {
  std::vector<Shape> shapes;
  std::vector<Document> documents;
};

bool Load(const std::string& file, ReplayData& out, std::string& error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    error = "cannot open " + file;
    sqlite3_close(db);
    return false;
  }
  std::map<std::pair<int, std::vector<int>>, std::uint32_t> shapeIndex;
  std::map<std::string, std::size_t> documentOf;
  bool ok = true;
  for (int t = 0; t < 4 && ok; ++t) {
    std::string sql = std::string("SELECT * FROM ") + kTables[t] + " ORDER BY rowid";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      error = sqlite3_errmsg(db);
      ok = false;
      break;
    }
    int count = sqlite3_column_count(st);
    int keyColumn = -1;
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) {
      names.push_back(sqlite3_column_name(st, i));
      if (names.back() == kKeys[t]) keyColumn = i;
    }
    while (sqlite3_step(st) == SQLITE_ROW) {
      Record record;
      std::vector<int> set;
      for (int i = 0; i < count; ++i) {
        int type = sqlite3_column_type(st, i);
        if (type == SQLITE_NULL) continue;
        set.push_back(i);
        record.data += static_cast<char>(type);
        if (type == SQLITE_INTEGER || type == SQLITE_FLOAT) {
          char bytes[8];
          if (type == SQLITE_INTEGER) {
            sqlite3_int64 v = sqlite3_column_int64(st, i);
            std::memcpy(bytes, &v, 8);
          } else {
            double v = sqlite3_column_double(st, i);
            std::memcpy(bytes, &v, 8);
          }
          record.data.append(bytes, 8);
        } else {
          const void* text = type == SQLITE_TEXT ? static_cast<const void*>(sqlite3_column_text(st, i))
                                                 : sqlite3_column_blob(st, i);
          std::uint32_t length = static_cast<std::uint32_t>(sqlite3_column_bytes(st, i));
          record.data.append(reinterpret_cast<const char*>(&length), 4);
          record.data.append(static_cast<const char*>(text), length);
        }
      }
      auto key = std::make_pair(t, set);
      auto found = shapeIndex.find(key);
      if (found == shapeIndex.end()) {
        Shape shape{t, set, std::string("INSERT INTO ") + kTables[t] + " ("};
        std::string marks;
        for (std::size_t k = 0; k < set.size(); ++k) {
          shape.sql += (k ? ", " : "") + names[static_cast<std::size_t>(set[k])];
          marks += k ? ", ?" : "?";
        }
        shape.sql += ") VALUES (" + marks + ")";
        found = shapeIndex.emplace(key, static_cast<std::uint32_t>(out.shapes.size())).first;
        out.shapes.push_back(std::move(shape));
      }
      record.shape = found->second;
      const unsigned char* keyText = keyColumn >= 0 ? sqlite3_column_text(st, keyColumn) : nullptr;
      std::string documentKey = keyText ? reinterpret_cast<const char*>(keyText) : "";
      auto doc = documentOf.find(documentKey);
      if (doc == documentOf.end()) {
        doc = documentOf.emplace(documentKey, out.documents.size()).first;
        out.documents.emplace_back();
      }
      out.documents[doc->second].push_back(std::move(record));
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return ok;
}

bool Exec(sqlite3* db, const std::string& sql, std::string& error) {
  char* text = nullptr;
  if (sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &text) == SQLITE_OK) return true;
  error = text ? text : sqlite3_errmsg(db);
  sqlite3_free(text);
  return false;
}

// A connection as a program writing the ECM tables directly would open it.
sqlite3* Open(const SqliteReplay& replay, std::string& error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(replay.targetFile.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
    error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, 5000);
  if (!Exec(db, "PRAGMA synchronous=" + replay.synchronous, error)) {
    sqlite3_close(db);
    return nullptr;
  }
  return db;
}

// Binds the packed values of a record and runs the INSERT; outside a transaction, so it commits.
bool Insert(sqlite3* db, sqlite3_stmt* st, const Record& record, std::string& error) {
  const char* p = record.data.data();
  const char* end = p + record.data.size();
  int parameter = 0;
  while (p < end) {
    int type = *p++;
    ++parameter;
    if (type == SQLITE_INTEGER) {
      sqlite3_int64 v;
      std::memcpy(&v, p, 8);
      p += 8;
      sqlite3_bind_int64(st, parameter, v);
    } else if (type == SQLITE_FLOAT) {
      double v;
      std::memcpy(&v, p, 8);
      p += 8;
      sqlite3_bind_double(st, parameter, v);
    } else {
      std::uint32_t length;
      std::memcpy(&length, p, 4);
      p += 4;
      if (type == SQLITE_TEXT) sqlite3_bind_text(st, parameter, p, static_cast<int>(length), SQLITE_STATIC);
      else sqlite3_bind_blob(st, parameter, p, static_cast<int>(length), SQLITE_STATIC);
      p += length;
    }
  }
  bool ok = sqlite3_step(st) == SQLITE_DONE;
  if (!ok) error = sqlite3_errmsg(db);
  sqlite3_reset(st);
  return ok;
}

}  // namespace

RunResult RunSqliteBaseline(const SqliteReplay& replay) {
  RunResult result;
  ReplayData data;
  if (!Load(replay.sourceFile, data, result.failure)) return result;
  result.documents = data.documents.size();
  std::size_t tenth = data.documents.size() / 10;

  Stopwatch watch;
  watch.Start();
  sqlite3* kept = nullptr;
  std::vector<sqlite3_stmt*> statements(data.shapes.size(), nullptr);
  auto finalizeAll = [&] {
    for (sqlite3_stmt*& st : statements) {
      sqlite3_finalize(st);
      st = nullptr;
    }
  };
  for (std::size_t d = 0; d < data.documents.size(); ++d) {
    sqlite3* db = kept;
    if (!db) {
      db = Open(replay, result.failure);
      if (!db) break;
      if (replay.use == ConnectionUse::Kept) kept = db;
    }
    bool ok = true;
    for (const Record& record : data.documents[d]) {
      sqlite3_stmt*& st = statements[record.shape];
      if (!st && sqlite3_prepare_v3(db, data.shapes[record.shape].sql.c_str(), -1, SQLITE_PREPARE_PERSISTENT, &st,
                                    nullptr) != SQLITE_OK) {
        result.failure = sqlite3_errmsg(db);
        ok = false;
        break;
      }
      if (!Insert(db, st, record, result.failure)) {
        ok = false;
        break;
      }
    }
    if (replay.use == ConnectionUse::PerDocument) {
      finalizeAll();
      sqlite3_close(db);
    }
    if (!ok) break;
    ++result.released;
    AfterDocument(d + 1, tenth, watch, result);
  }
  finalizeAll();
  if (kept) sqlite3_close(kept);
  watch.Stop();
  Finish(watch, result);
  return result;
}

bool SqliteTablesDigest(const std::string& file, std::uint64_t& digest, std::uint64_t& rows, std::string* error) {
  digest = 1469598103934665603ull;
  rows = 0;
  auto mix = [&](const void* bytes, std::size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < n; ++i) digest = (digest ^ p[i]) * 1099511628211ull;
  };
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    if (error) *error = "cannot open " + file;
    sqlite3_close(db);
    return false;
  }
  bool ok = true;
  for (const char* table : kTables) {
    std::string sql = std::string("SELECT * FROM ") + table + " ORDER BY rowid";
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      if (error) *error = sqlite3_errmsg(db);
      ok = false;
      break;
    }
    int count = sqlite3_column_count(st);
    while (sqlite3_step(st) == SQLITE_ROW) {
      ++rows;
      for (int i = 0; i < count; ++i) {
        unsigned char type = static_cast<unsigned char>(sqlite3_column_type(st, i));
        mix(&type, 1);
        if (type == SQLITE_INTEGER) {
          sqlite3_int64 v = sqlite3_column_int64(st, i);
          mix(&v, 8);
        } else if (type != SQLITE_NULL) {
          const void* p = sqlite3_column_blob(st, i);
          mix(p, static_cast<std::size_t>(sqlite3_column_bytes(st, i)));
        }
      }
    }
    sqlite3_finalize(st);
  }
  sqlite3_close(db);
  return ok;
}

}  // namespace bench
