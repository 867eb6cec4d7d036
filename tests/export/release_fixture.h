// Releases documents through the export connector as the platform does (document data from the capture host's
// objects), into an ECM library of a database backend, and reads back what reached the tables and the platform's
// log. Backends: the embedded SQLite library, and PostgreSQL through ODBC (the test run's cluster).
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <stdlib.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/host_objects.h"
#include "dbax/dbax.h"
#include "ecm/ddl.h"
#include "ecm/mapping_model.h"
#include "export/releaseScript.h"
#include "host/report.h"
#include "platform/com/com.h"
#include "tests/odbc/pg_support.h"

namespace release_test {

// Column name (upper case) -> text; nullopt for NULL. Texts as a person compares them: CHAR padding removed,
// decimals without trailing fraction zeros ("100.00" and "100" are the same amount).
using Row = std::map<std::string, std::optional<std::string>>;

enum class BackendKind { SQLite, PostgreSQL };

inline std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
inline std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "100.50" -> "100.5", "100.00" -> "100", "-0.0" -> "0"; other texts unchanged.
inline std::string NormaliseDecimal(std::string text) {
  std::size_t point = text.find('.');
  if (point == std::string::npos) return text;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (!(std::isdigit(static_cast<unsigned char>(c)) || (c == '-' && i == 0) || i == point)) return text;
  }
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  if (text == "-0") text.erase(0, 1);
  return text;
}

// Normalises a row read from table `table` by the declared types of the ECM columns.
inline Row Normalise(const std::string& table, const std::map<std::string, std::optional<std::string>>& raw) {
  std::map<std::string, std::string> types;
  for (LONG t = ECM_TPEC; t <= ECM_TBLB; ++t) {
    if (Utf16ToUtf8(EcmTableName(t)) != Upper(table)) continue;
    for (const EcmColumn& c : EcmTableColumns(t)) types[c.name] = c.typeText;
  }
  Row row;
  for (const auto& [name, value] : raw) {
    std::string column = Upper(name);
    if (!value) {
      row[column] = std::nullopt;
      continue;
    }
    std::string text = *value;
    const std::string& type = types[column];
    if (type.rfind("CHAR", 0) == 0) {
      while (!text.empty() && text.back() == ' ') text.pop_back();
    } else if (type.rfind("DECIMAL", 0) == 0) {
      text = NormaliseDecimal(text);
    }
    row[column] = text;
  }
  return row;
}

// Where the ECM libraries live.
class Backend {
 public:
  virtual ~Backend() = default;
  virtual BackendKind Kind() const = 0;
  // A new library with the four tables, for one test; its name (the embedded database uses ECMLIB in a folder of
  // the test's own, PostgreSQL a schema name no other test process uses). Empty after a failure.
  virtual std::string CreateLibrary() = 0;
  virtual void DropLibrary(const std::string& library) = 0;
  // The server name a document class is configured with.
  virtual std::u16string ServerName() const = 0;
  // A server name that names nothing that answers.
  virtual std::u16string UnreachableServer() const = 0;
  // Every row of a table in the order it was inserted.
  virtual std::vector<Row> Rows(const std::string& library, const std::string& table) const = 0;
  virtual void DropTable(const std::string& library, const std::string& table) = 0;
};

class SqliteBackend : public Backend {
 public:
  explicit SqliteBackend(std::filesystem::path dir) : dir_(std::move(dir)) {}
  BackendKind Kind() const override { return BackendKind::SQLite; }
  std::string CreateLibrary() override {
    std::string message;
    if (CreateSqliteLibrary(dir_.string(), "ECMLIB", &message) != CreateLibraryResult::Created) {
      ADD_FAILURE() << message;
      return {};
    }
    return "ECMLIB";
  }
  void DropLibrary(const std::string&) override {}  // the test's folder goes
  std::u16string ServerName() const override { return Utf8ToUtf16("sqlite:" + dir_.string()); }
  std::u16string UnreachableServer() const override { return u"sqlite:/nonexistent/qorvena/server"; }

  std::vector<Row> Rows(const std::string& library, const std::string& table) const override {
    std::vector<Row> rows;
    sqlite3* db = nullptr;
    std::string path = SqliteLibraryPath(dir_.string(), library);
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << "cannot open " << path;
      sqlite3_close(db);
      return rows;
    }
    sqlite3_stmt* st = nullptr;
    std::string sql = "SELECT * FROM " + table + " ORDER BY rowid";
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sqlite3_errmsg(db);
    } else {
      while (sqlite3_step(st) == SQLITE_ROW) {
        std::map<std::string, std::optional<std::string>> raw;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
          const unsigned char* text = sqlite3_column_text(st, c);
          raw[sqlite3_column_name(st, c)] =
              text ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt;
        }
        rows.push_back(Normalise(table, raw));
      }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
  }

  void DropTable(const std::string& library, const std::string& table) override {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(SqliteLibraryPath(dir_.string(), library).c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    std::string sql = "DROP TABLE " + table;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }

 private:
  std::filesystem::path dir_;
};

class PostgresBackend : public Backend {
 public:
  explicit PostgresBackend(const pgtest::PgServer& server) : server_(server) {}
  BackendKind Kind() const override { return BackendKind::PostgreSQL; }
  std::string CreateLibrary() override { return pgtest::CreateUniqueLibrary(server_, "ECMLIB"); }
  void DropLibrary(const std::string& library) override { pgtest::DropLibrary(server_, library); }
  // As an administrator types it into the General page: odbc: and the driver's connection string.
  std::u16string ServerName() const override { return Utf8ToUtf16(server_.DataSource()); }
  std::u16string UnreachableServer() const override {
    std::string source = server_.DataSource();
    std::string port = "Port=" + std::to_string(server_.port);
    source.replace(source.find(port), port.size(), "Port=1");
    return Utf8ToUtf16(source);
  }
  std::vector<Row> Rows(const std::string& library, const std::string& table) const override {
    std::vector<Row> rows;
    for (auto& raw : pgtest::Db(server_).Query("SELECT * FROM " + library + "." + table + " ORDER BY ctid"))
      rows.push_back(Normalise(table, raw));
    return rows;
  }
  void DropTable(const std::string& library, const std::string& table) override {
    std::string error;
    EXPECT_TRUE(pgtest::Db(server_).Exec("DROP TABLE " + library + "." + table, &error)) << error;
  }

 private:
  const pgtest::PgServer& server_;
};

inline std::string BackendName(const ::testing::TestParamInfo<BackendKind>& info) {
  return info.param == BackendKind::SQLite ? "SQLite" : "PostgreSQL";
}
inline void PrintTo(BackendKind kind, std::ostream* os) { *os << (kind == BackendKind::SQLite ? "SQLite" : "PostgreSQL"); }

struct LogEntry {
  LONG err1, err2, err3;
  std::string message, module;
  LONG line;
};

struct Message {
  std::string text;
  LONG errorNumber, infoRet;
};

class RecordingEvents : public capture::ReleaseEvents {
 public:
  void LogError(LONG err1, LONG err2, LONG err3, std::u16string_view message, std::u16string_view module,
                LONG line) override {
    log.push_back({err1, err2, err3, Utf16ToUtf8(message), Utf16ToUtf8(module), line});
  }
  void SendMessage(std::u16string_view message, LONG errorNumber, LONG infoRet) override {
    messages.push_back({Utf16ToUtf8(message), errorNumber, infoRet});
  }
  std::vector<LogEntry> log;
  std::vector<Message> messages;
};

// The connector as the module hands it out, minus late binding.
class Connector : public ComObject<NoDispatch<releaseScript>> {};

inline capture::DocumentValue Value(std::string destination, std::string text) {
  capture::DocumentValue v;
  v.destination = Utf8ToUtf16(destination);
  v.value = Utf8ToUtf16(text);
  return v;
}

inline capture::DocumentValue TableValue(std::string destination, std::vector<std::string> rows) {
  capture::DocumentValue v;
  v.destination = Utf8ToUtf16(destination);
  v.tableName = u"InvoiceLines";
  for (auto& r : rows) v.rows.push_back(Utf8ToUtf16(r));
  if (!v.rows.empty()) v.value = v.rows.front();
  return v;
}

// The eight required columns, mapped to plausible values.
inline std::vector<capture::DocumentValue> RequiredValues() {
  return {Value("TPEC.PESID", "SUPPLIER01"), Value("TPEC.PERCD", "QORVENA01"), Value("TPEC.PEDWN", "APINVOICE"),
          Value("TPEC.PEPGN", "GRP1"),       Value("TBHB.BHIND", "20240315"), Value("TBHB.BHSEN", "V1001"),
          Value("TBLB.BLCIT", "ITEM-1"),     Value("TBLB.BLINQ", "2")};
}

// A release into a fresh library. The backend is the embedded database unless a derived fixture says otherwise.
class ReleaseFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    dbAx::AxLibInit();
  }

  virtual BackendKind Kind() const { return BackendKind::SQLite; }

  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qorvena-export-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    if (Kind() == BackendKind::SQLite) {
      backend_ = std::make_unique<SqliteBackend>(dir_);
    } else {
      const pgtest::PgServer* server = pgtest::Server();
      ASSERT_NE(server, nullptr);
      backend_ = std::make_unique<PostgresBackend>(*server);
    }
    library_ = backend_->CreateLibrary();
    ASSERT_FALSE(library_.empty());
    document_.name = u"ECM export";
    document_.kofaxPdfFileName = u"C:\\release\\0001.pdf";
    document_.connectString = backend_->ServerName();
    document_.userName = Utf8ToUtf16(pgtest::kReleaseUser);
    document_.password = Utf8ToUtf16(pgtest::kReleasePassword);
    document_.customProperties = {{u"serverAPILibrary", Utf8ToUtf16(library_)}};
    connector_ = MakeComObject<Connector>();
    KfxReturnValue ret;
    ASSERT_EQ(connector_->OpenScript(&ret), S_OK);
    ASSERT_EQ(ret, KFX_REL_SUCCESS);
  }

  void TearDown() override {
    if (connector_) {
      KfxReturnValue ret;
      connector_->CloseScript(&ret);
    }
    connector_.Release();
    if (backend_ && !library_.empty()) backend_->DropLibrary(library_);
    library_.clear();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // Presents one document with these values and releases it.
  KfxReturnValue Release(std::vector<capture::DocumentValue> values) {
    document_.values = std::move(values);
    events_ = std::make_shared<RecordingEvents>();
    CComPtr<IReleaseData> data = capture::MakeReleaseData(document_, events_);
    EXPECT_EQ(connector_->putref_DocumentData(data), S_OK);
    KfxReturnValue ret = KFX_REL_SUCCESS;
    EXPECT_EQ(connector_->ReleaseDoc(&ret), S_OK);
    return ret;
  }

  std::vector<Row> Rows(const std::string& table) const { return backend_->Rows(library_, table); }
  void DropTable(const std::string& table) { backend_->DropTable(library_, table); }

  // The texts the platform's log received, in order.
  std::vector<std::string> Logged() const {
    std::vector<std::string> texts;
    for (auto& e : events_->log) texts.push_back(e.message);
    return texts;
  }

  std::filesystem::path dir_;  // the test's own folder (the embedded database's server folder)
  std::unique_ptr<Backend> backend_;
  std::string library_;
  capture::ReleaseDocument document_;
  CComPtr<Connector> connector_;
  std::shared_ptr<RecordingEvents> events_ = std::make_shared<RecordingEvents>();
  static inline int counter_ = 0;
};

// The same release cases against every backend.
class BackendRelease : public ReleaseFixture, public ::testing::WithParamInterface<BackendKind> {
 protected:
  BackendKind Kind() const override { return GetParam(); }
  bool OnPostgres() const { return GetParam() == BackendKind::PostgreSQL; }
  // What the database says, which differs between the backends.
  const char* Words(const char* sqlite, const char* postgres) const { return OnPostgres() ? postgres : sqlite; }
};

}  // namespace release_test
