// Releases documents through the export connector as the platform does (document data from the capture host's
// objects), into an embedded ECM library, and reads back what reached the tables and the platform's log.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture/host_objects.h"
#include "dbax/dbax.h"
#include "ecm/ddl.h"
#include "export/releaseScript.h"
#include "host/report.h"
#include "platform/com/com.h"

namespace release_test {

using Row = std::map<std::string, std::optional<std::string>>;

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

class ReleaseFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    dbAx::AxLibInit();
  }

  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("qorvena-export-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++));
    std::filesystem::remove_all(dir_);
    std::string message;
    ASSERT_EQ(CreateSqliteLibrary(dir_.string(), "ECMLIB", &message), CreateLibraryResult::Created) << message;
    document_.name = u"ECM export";
    document_.kofaxPdfFileName = u"C:\\release\\0001.pdf";
    document_.connectString = Utf8ToUtf16("sqlite:" + dir_.string());
    document_.userName = u"KOFAXREL";
    document_.password = u"secret";
    document_.customProperties = {{u"serverAPILibrary", u"ECMLIB"}};
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

  std::vector<Row> Rows(const std::string& table) const {
    std::vector<Row> rows;
    sqlite3* db = nullptr;
    std::string path = (dir_ / "ECMLIB.db").string();
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
        Row row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
          const unsigned char* text = sqlite3_column_text(st, c);
          row[sqlite3_column_name(st, c)] =
              text ? std::optional<std::string>(reinterpret_cast<const char*>(text)) : std::nullopt;
        }
        rows.push_back(std::move(row));
      }
    }
    sqlite3_finalize(st);
    sqlite3_close(db);
    return rows;
  }

  void ExecOnLibrary(const std::string& sql) const {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((dir_ / "ECMLIB.db").string().c_str(), &db), SQLITE_OK);
    char* error = nullptr;
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &error), SQLITE_OK) << (error ? error : "");
    sqlite3_free(error);
    sqlite3_close(db);
  }

  // The texts the platform's log received, in order.
  std::vector<std::string> Logged() const {
    std::vector<std::string> texts;
    for (auto& e : events_->log) texts.push_back(e.message);
    return texts;
  }

  std::filesystem::path dir_;
  capture::ReleaseDocument document_;
  CComPtr<Connector> connector_;
  std::shared_ptr<RecordingEvents> events_ = std::make_shared<RecordingEvents>();
  static inline int counter_ = 0;
};

}  // namespace release_test
