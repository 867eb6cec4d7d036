// Fails every ADO call of a release in turn, over the real embedded database, and checks for each call what the
// platform is told, what stays in the tables, and that the next document on the same connector is released
// cleanly. The expected outcome of each failure is derived from the failing call: its place in the release
// (connection, opening a table, a value, an automatic column, a commit, an invoice line, closing) and its role
// there (a field's type check, a field write, a state check before a close ...).
#include <sqlite3.h>

#include <algorithm>
#include <ctime>
#include <iostream>
#include <set>

#include "export/release_steps.h"
#include "platform/ado/recording/recorder.h"
#include "tests/export/release_fixture.h"

namespace sweep {
namespace {

using release_test::Connector;
using release_test::RecordingEvents;
using release_test::TableValue;
using release_test::Value;

// ---------------------------------------------------------------------------------------------------------------
// The document and its stamp
// ---------------------------------------------------------------------------------------------------------------

// Every document gets its own second on a clock of our own: 15 March 2024, 08:00:00 UTC onwards.
constexpr std::int64_t kFirstSecond = 1710489600000;
std::int64_t g_now = kFirstSecond;
std::int64_t TestClock() { return g_now; }

struct Stamp {
  std::string key, date, time;
};

Stamp StampAt(std::int64_t ms) {
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char key[64], date[64], time[64];
  std::snprintf(key, sizeof key, "%02d%02d%02d%02d%02d%02d%03d", (utc.tm_year + 1900) % 100, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms % 1000));
  std::snprintf(date, sizeof date, "%04d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday);
  std::snprintf(time, sizeof time, "%02d%02d%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
  return {key, date, time};
}

// What differs from one document to the next: its invoice number and its stamp.
struct DocumentTexts {
  std::string invoice;
  Stamp stamp;
  // A text the clean run wrote, as this document writes it.
  std::string From(const DocumentTexts& clean, const std::string& text) const {
    if (text == clean.invoice) return invoice;
    if (text == clean.stamp.key) return stamp.key;
    if (text == clean.stamp.date) return stamp.date;
    if (text == clean.stamp.time) return stamp.time;
    return text;
  }
};

const char* const kLineItems[] = {"A", "B", "C"};

// Header values, an invoice number copied into three tables, and three invoice lines.
std::vector<capture::DocumentValue> Document(const std::string& invoice) {
  return {Value("TPEC.PESID", "SUPPLIER01"),
          Value("TPEC.PERCD", "QORVENA01"),
          Value("TPEC.PEDWN", "APINVOICE"),
          Value("TPEC.PEPGN", "GRP1"),
          Value("TBHB.BHIND", "20240315"),
          Value("TBHB.BHSEN", "V1001"),
          Value("TBHB.BHINV", invoice),
          TableValue("TBLB.BLCIT", {kLineItems[0], kLineItems[1], kLineItems[2]}),
          TableValue("TBLB.BLINQ", {"1", "2", "3"})};
}

// ---------------------------------------------------------------------------------------------------------------
// What a release left behind
// ---------------------------------------------------------------------------------------------------------------

struct Line {
  std::string item;  // BLCIT
  int number;        // BLOLN and BLINL
  bool operator==(const Line&) const = default;
};

struct Outcome {
  HRESULT hr = E_FAIL;
  KfxReturnValue ret = KFX_REL_SUCCESS;
  std::vector<release_test::LogEntry> log;
  std::vector<release_test::Message> messages;
  std::vector<ado::RecordedCall> calls;
  int headers[3] = {0, 0, 0};  // new records in TPEC, TBHB, TBSB
  std::vector<Line> lines;     // new TBLB records, in order
  std::vector<std::string> problems;  // records that do not belong to the document as they should

  std::vector<std::string> Reports() const {
    std::vector<std::string> texts;
    for (const auto& e : log) texts.push_back(e.message);
    return texts;
  }
};

struct Expected {
  bool released = false;
  std::vector<std::string> reports;
  int headers[3] = {0, 0, 0};
  std::vector<Line> lines;
  std::string why;  // what the failing call is, for messages
};

std::ostream& operator<<(std::ostream& os, const Line& l) { return os << l.item << "#" << l.number; }

// The lines of a document whose line `failed` (1-based, 0 for none) was not committed; `used` says whether it had
// taken its number before it failed. `upTo` limits the lines attempted at all.
std::vector<Line> LinesWithout(int failed, bool used, int upTo = 3) {
  std::vector<Line> lines;
  int number = 0;
  for (int i = 1; i <= upTo; ++i) {
    if (i == failed) {
      if (used) ++number;
      continue;
    }
    lines.push_back({kLineItems[i - 1], ++number});
  }
  return lines;
}

// ---------------------------------------------------------------------------------------------------------------
// Where each call of a clean release stands
// ---------------------------------------------------------------------------------------------------------------

enum class Phase { Connection, OpenHeader, Values, Automatic, Commit, OpenLines, Line, Close };
enum class FieldRole { None, TypeCheck, Write };
enum class CloseRole { None, StateCheck, MoveFirst, Close, AfterClose };

struct CallPlace {
  Phase phase = Phase::Connection;
  int table = 0;  // OpenHeader, Commit: 0 TPEC, 1 TBHB, 2 TBSB
  int line = 0;   // Line: 1..3
  bool numbered = false;  // Line: the line has taken its number
  FieldRole field = FieldRole::None;
  std::string column, value;  // the field a field call belongs to, and the text written
  CloseRole close = CloseRole::None;
  int closing = -1;  // Close: 0..2 a header table, 3 the lines' table, 4 the connection
};

const char* const kHeaderTables[] = {"TPEC", "TBHB", "TBSB"};

bool StartsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// The column a field call names: Fields.get_Item("X") or Field[X].method(...).
std::string ColumnOf(const std::string& line) {
  if (StartsWith(line, "Fields.get_Item(\"")) return line.substr(17, line.find('"', 17) - 17);
  if (StartsWith(line, "Field[")) return line.substr(6, line.find(']') - 6);
  return {};
}

// The text of Field[X].put_Value("text").
std::string PutValueText(const std::string& line) {
  std::size_t open = line.find("put_Value(\"");
  if (open == std::string::npos) return {};
  open += 11;
  return line.substr(open, line.rfind('"') - open);
}

std::vector<CallPlace> PlaceCalls(const std::vector<std::string>& calls) {
  std::vector<CallPlace> places(calls.size());
  Phase phase = Phase::Connection;
  int recordsets = 0, table = 0, line = 0;
  bool numbered = false;
  const int closeOrder[] = {3, 2, 1, 0};  // the lines' table first, then TBSB, TBHB, TPEC
  int explicitCloses = 0;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const std::string& call = calls[i];
    const std::string next = i + 1 < calls.size() ? calls[i + 1] : "";
    if (call == "CoCreateInstance(Recordset)") {
      ++recordsets;
      phase = recordsets <= 3 ? Phase::OpenHeader : Phase::OpenLines;
      table = recordsets - 1;
    } else if (phase == Phase::OpenHeader && StartsWith(call, "Fields.get_Item(")) {
      phase = Phase::Values;
    }
    if (phase == Phase::Values && call == "Fields.get_Item(\"PEGUI\")") phase = Phase::Automatic;
    if (call == "Recordset.Supports(0x20000)" && (phase == Phase::Automatic || phase == Phase::Commit) &&
        StartsWith(i > 0 ? calls[i - 1] : "", phase == Phase::Commit ? "Recordset.Update" : "Field")) {
      table = phase == Phase::Automatic ? 0 : table + 1;
      phase = Phase::Commit;
    }
    if (call == "Recordset.Supports(0x1000400)" && (phase == Phase::OpenLines || phase == Phase::Line)) {
      phase = Phase::Line;
      ++line;
      numbered = false;
    }
    if (phase == Phase::Line && call == "Fields.get_Item(\"BLOLN\")") numbered = true;
    if (phase == Phase::Line && StartsWith(call, "Recordset.get_State")) phase = Phase::Close;

    CallPlace& p = places[i];
    p.phase = phase;
    p.table = table;
    p.line = line;
    p.numbered = numbered;
    if (std::string column = ColumnOf(call); !column.empty()) {
      p.column = column;
      bool typeCheck = StartsWith(call, "Field[") ? (call.find("get_Type") != std::string::npos ||
                                                     call.find("get_Precision") != std::string::npos)
                                                  : next == "Field[" + column + "].get_Type()";
      p.field = typeCheck ? FieldRole::TypeCheck : FieldRole::Write;
      for (std::size_t j = i; j < calls.size(); ++j) {
        if (StartsWith(calls[j], "Field[" + column + "].put_Value(")) {
          p.value = PutValueText(calls[j]);
          break;
        }
      }
    }
    if (phase == Phase::Close) {
      if (call == "Recordset.get_State()") {
        if (next == "Recordset.MoveFirst()") {
          p.close = CloseRole::StateCheck;
          p.closing = closeOrder[explicitCloses];
        } else {
          p.close = CloseRole::AfterClose;
        }
      } else if (call == "Recordset.MoveFirst()") {
        p.close = CloseRole::MoveFirst;
        p.closing = closeOrder[explicitCloses];
      } else if (call == "Recordset.Close()") {
        p.close = CloseRole::Close;
        p.closing = closeOrder[explicitCloses++];
      } else if (call == "Connection.get_State()") {
        p.close = next == "Connection.Close()" ? CloseRole::StateCheck : CloseRole::AfterClose;
        p.closing = 4;
      } else if (call == "Connection.Close()") {
        p.close = CloseRole::Close;
        p.closing = 4;
      }
    }
  }
  return places;
}

// ---------------------------------------------------------------------------------------------------------------
// The reports of a failing call
// ---------------------------------------------------------------------------------------------------------------

const char kInjectedText[] = "Injected failure";
const std::string kComText = "\nCOM Error: Unspecified error";  // E_FAIL

ado::ProviderErrors Injected() { return {ado::MakeProviderError(E_FAIL, u"Injected failure", u"HY000")}; }

// A failed ADO call: its label, the provider's error when the call reaches a connection, the COM text.
std::string AdoFailure(const std::string& label, bool reachesConnection = true) {
  return label + (reachesConnection ? std::string("\n") + kInjectedText : "") + kComText;
}
std::string FieldFailure(const std::string& column, const std::string& value, const char* hr = "0x80004005") {
  return "Failed to set Field '" + column + "' to value '" + value + "' (Error Code: " + hr + ")";
}
const std::string kNotOpen = "The dbAx object is not open\nSource: ";

// The label of a recordset call made while a table is opened, and whether the recordset is bound to the
// connection by then (only then does the provider's error reach it).
struct OpenStep {
  const char* call;
  const char* label;
  bool bound;
  enum { NoObject, Closed, OpenWithoutRecord } after;  // the recordset after the failure
};
const OpenStep kOpenSteps[] = {
    {"CoCreateInstance(Recordset)", nullptr, false, OpenStep::NoObject},
    {"Recordset.put_CursorType", "CAxRecordset::CursorType", false, OpenStep::Closed},
    {"Recordset.get_CursorType", "CAxRecordset::CursorType", false, OpenStep::Closed},
    {"Recordset.put_CacheSize", "CAxRecordset::CacheSize", false, OpenStep::Closed},
    {"Recordset.get_CacheSize", "CAxRecordset::CacheSize", false, OpenStep::Closed},
    {"Recordset.put_Source", "CAxRecordset::Open", false, OpenStep::NoObject},
    {"Recordset.putref_ActiveConnection", "CAxRecordset::Open", false, OpenStep::NoObject},
    {"Recordset.put_CursorLocation", "CAxRecordset::CursorLocation", true, OpenStep::Closed},
    {"Recordset.get_CursorLocation", "CAxRecordset::CursorLocation", true, OpenStep::Closed},
    {"Recordset.Open", "CAxRecordset::Open", true, OpenStep::NoObject},
    {"Recordset.get_Fields", "CAxRecordset::Open", true, OpenStep::NoObject},
    {"Recordset.put_MarshalOptions", "CAxRecordset::MarshalOptions", true, OpenStep::OpenWithoutRecord},
    {"Recordset.get_MarshalOptions", "CAxRecordset::MarshalOptions", true, OpenStep::OpenWithoutRecord},
    {"Recordset.Supports", "CAxRecordset::Supports", true, OpenStep::OpenWithoutRecord},
    {"Recordset.AddNew", "CAxRecordset::Properties", true, OpenStep::OpenWithoutRecord},
};

const OpenStep* OpenStepOf(const std::string& call) {
  for (const OpenStep& s : kOpenSteps)
    if (StartsWith(call, s.call)) return &s;
  return nullptr;
}

// The label of a recordset call while a record is stored or a line is started.
std::string RecordLabel(const std::string& call) {
  if (StartsWith(call, "Recordset.Supports")) return "CAxRecordset::Supports";
  if (StartsWith(call, "Recordset.AddNew")) return "CAxRecordset::Properties";
  if (StartsWith(call, "Recordset.Update")) return "CAxRecordset::Update";
  return "?" + call;
}

std::string HrText(HRESULT hr) { return Utf16ToUtf8(dbAx::HResultText(hr)); }

// What failing call `k` (1-based) of a clean release gives, by the rules of the release.
Expected ExpectFor(const std::vector<std::string>& calls, const std::vector<CallPlace>& places, std::size_t k,
                   const DocumentTexts& clean, const DocumentTexts& doc) {
  const std::string& call = calls[k - 1];
  const CallPlace& p = places[k - 1];
  const std::string value = doc.From(clean, p.value);
  Expected e;
  e.why = "call " + std::to_string(k) + " " + call;
  auto all = [&] {
    e.headers[0] = e.headers[1] = e.headers[2] = 1;
    e.lines = LinesWithout(0, false);
  };
  auto harmless = [&](const char* reason) {
    e.released = true;
    e.reports = {"Document Released Successfully C:\\release\\0001.pdf"};
    all();
    e.why += std::string(" (harmless: ") + reason + ")";
  };

  if (p.field == FieldRole::TypeCheck) {
    // A decimal column's digit check reads the column's type and precision first; when that read fails, the
    // check is skipped and the value is written all the same (the database checks it when it is stored).
    harmless("the digit check's type read is skipped");
    return e;
  }
  switch (p.phase) {
    case Phase::Connection:
      if (call == "CoCreateInstance(Connection)") {
        e.reports = {"Error in ReleaseDoc: The dbAx Library failed to initialize" + kComText +
                     "\nSource: CAxConnection::Create"};
      } else if (StartsWith(call, "Connection.Open")) {
        e.reports = {"Error in ReleaseDoc: " + AdoFailure("CAxConnection::Open")};
      } else {
        e.reports = {"Error in ReleaseDoc: " + AdoFailure("CAxConnection::CursorLocation")};
      }
      return e;

    case Phase::OpenHeader: {
      // The table is reported (unless its recordset could not even be created), the release goes on, and the
      // first value written into that table fails the values; the three pending records are cancelled in order,
      // and a recordset that is not open cannot be cancelled.
      const OpenStep* step = OpenStepOf(call);
      const std::string table = kHeaderTables[p.table];
      if (step->label) e.reports.push_back("Error Initializing " + table + ": " + AdoFailure(step->label, step->bound));
      const char* firstColumn[] = {"PESID", "BHSID", "BSSID"};
      if (step->after == OpenStep::OpenWithoutRecord) {
        e.reports.push_back("Error in readVariables: " + FieldFailure(firstColumn[p.table], "SUPPLIER01", "0x800a0bcd"));
      } else {
        e.reports.push_back("Error in readVariables: " + kNotOpen + "CAxRecordset::SetFieldValue");
      }
      if (step->after == OpenStep::NoObject)
        e.reports.push_back("Error in ReleaseDoc: " + kNotOpen + "CAxRecordset::CancelUpdate");
      if (step->after == OpenStep::Closed)
        e.reports.push_back("Error in ReleaseDoc: CAxRecordset::CancelUpdate\nCOM Error: " + HrText(adErrObjectClosed));
      return e;
    }

    case Phase::Values:
      e.reports = {"Error in readVariables: " + FieldFailure(p.column, value)};
      return e;

    case Phase::Automatic:
      e.reports = {"Error in ReleaseDoc: " + FieldFailure(p.column, value)};
      return e;

    case Phase::Commit:
      e.reports = {"Error Updating " + std::string(kHeaderTables[p.table]) + ": " + AdoFailure(RecordLabel(call))};
      for (int t = 0; t < p.table; ++t) e.headers[t] = 1;
      return e;

    case Phase::OpenLines: {
      e.headers[0] = e.headers[1] = e.headers[2] = 1;
      const OpenStep* step = OpenStepOf(call);
      // The lines' recordset is created without a check; its first setting then finds no object.
      e.reports = {"Error Creating TBLB Record: " + (step->label ? AdoFailure(step->label, step->bound)
                                                                 : kNotOpen + "CAxRecordset::CursorType")};
      return e;
    }

    case Phase::Line: {
      e.headers[0] = e.headers[1] = e.headers[2] = 1;
      std::string message = p.field == FieldRole::Write ? FieldFailure(p.column, value) : AdoFailure(RecordLabel(call));
      e.reports = {"Error Updating TBLB record " + std::to_string(p.line) + " of 3: " + message};
      e.lines = LinesWithout(p.line, p.numbered);
      return e;
    }

    case Phase::Close:
      all();
      switch (p.close) {
        case CloseRole::MoveFirst:
          harmless("the result of MoveFirst before Close is ignored");
          return e;
        case CloseRole::AfterClose:
          harmless("the destructor's state check of a table or connection that is already closed");
          return e;
        case CloseRole::StateCheck:
          if (p.closing == 3) e.reports = {"Error Updating TBLB: \nInjected failure"};
          else if (p.closing == 4) e.reports = {"Error in ReleaseDoc: " + AdoFailure("CAxConnection::_IsOpen")};
          else e.reports = {"Error in ReleaseDoc: \nInjected failure"};  // the state check has no label
          return e;
        case CloseRole::Close:
          if (p.closing == 3) {
            e.reports = {"Error Updating TBLB: The dbAx Library failed to close" + kComText +
                         "\nSource: CAxRecordset::Close"};
          } else if (p.closing == 4) {
            e.reports = {"Error in ReleaseDoc: " + AdoFailure("CAxConnection::Close")};
          }
          // A header table that fails to close (5009) ends the document without a report.
          return e;
        case CloseRole::None: break;
      }
      break;
  }
  ADD_FAILURE() << "no rule for " << e.why;
  return e;
}

// ---------------------------------------------------------------------------------------------------------------
// The fixture: one library, one connector, a recording ADO in front of the real one
// ---------------------------------------------------------------------------------------------------------------

class Sweep : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    dbAx::AxLibInit();
  }
  static void TearDownTestSuite() { SetReleaseClock(nullptr); }

  void SetUp() override {
    SetReleaseClock(&TestClock);  // each test's documents start again at the first second
    // The sweep commits thousands of records: a folder in memory keeps every commit's sync cheap.
    std::filesystem::path base = std::filesystem::is_directory("/dev/shm") ? std::filesystem::path("/dev/shm")
                                                                          : std::filesystem::temp_directory_path();
    dir_ = base / ("qorvena-sweep-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::string message;
    ASSERT_EQ(CreateSqliteLibrary(dir_.string(), "ECMLIB", &message), CreateLibraryResult::Created) << message;
    ASSERT_EQ(sqlite3_open_v2((dir_ / "ECMLIB.db").c_str(), &db_, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    sqlite3_busy_timeout(db_, 5000);
    document_.name = u"ECM export";
    document_.kofaxPdfFileName = u"C:\\release\\0001.pdf";
    document_.connectString = Utf8ToUtf16("sqlite:" + dir_.string());
    document_.userName = u"KOFAXREL";
    document_.password = u"secret";
    document_.customProperties = {{u"serverAPILibrary", u"ECMLIB"}};
    connector_ = MakeComObject<Connector>();
    KfxReturnValue ret;
    ASSERT_EQ(connector_->OpenScript(&ret), S_OK);
    recorder_.Install();
  }

  void TearDown() override {
    recorder_.Uninstall();
    KfxReturnValue ret;
    if (connector_) connector_->CloseScript(&ret);
    connector_.Release();
    sqlite3_close(db_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }

  // The texts of the next document.
  DocumentTexts Next() const {
    return {"INV-" + std::to_string(documents_ + 1), StampAt(kFirstSecond + 1000 * (documents_ + 1))};
  }

  // Releases the next document with the given calls failing (numbers of this release's calls). A failing call
  // puts the provider's error into the connection's errors, except where `quiet` says it reads those errors.
  Outcome Release(const std::vector<std::size_t>& failing = {}, const std::vector<bool>& quiet = {}) {
    DocumentTexts texts = Next();
    ++documents_;
    g_now = kFirstSecond + 1000 * documents_;
    recorder_.ClearFailures();
    recorder_.ClearCalls();
    for (std::size_t i = 0; i < failing.size(); ++i)
      recorder_.FailCall(failing[i], E_FAIL, i < quiet.size() && quiet[i] ? ado::ProviderErrors{} : Injected());

    Outcome out;
    auto events = std::make_shared<RecordingEvents>();
    document_.values = Document(texts.invoice);
    CComPtr<IReleaseData> data = capture::MakeReleaseData(document_, events);
    connector_->putref_DocumentData(data);
    out.hr = connector_->ReleaseDoc(&out.ret);
    out.log = events->log;
    out.messages = events->messages;
    out.calls = recorder_.Entries();
    recorder_.ClearFailures();
    ReadNewRecords(texts, out);
    return out;
  }

  // The records committed since the last look; each must carry the document's invoice number and key.
  void ReadNewRecords(const DocumentTexts& texts, Outcome& out) {
    struct Table {
      const char* name;
      const char* invoice;  // the column that holds the invoice number, if any
      const char* key;
    };
    const Table tables[] = {{"TPEC", nullptr, "PEGUI"}, {"TBHB", "BHINV", "BHGUI"}, {"TBSB", "BSINV", "BSGUI"},
                            {"TBLB", "BLINV", "BLGUI"}};
    for (int t = 0; t < 4; ++t) {
      std::string sql = std::string("SELECT rowid, ") + tables[t].key + ", " +
                        (tables[t].invoice ? tables[t].invoice : "NULL") +
                        (t == 3 ? ", BLCIT, BLOLN, BLINL, BLCSQ" : "") + " FROM " + tables[t].name +
                        " WHERE rowid > ?1 ORDER BY rowid";
      sqlite3_stmt* st = nullptr;
      ASSERT_EQ(sqlite3_prepare_v2(db_, sql.c_str(), -1, &st, nullptr), SQLITE_OK) << sqlite3_errmsg(db_);
      sqlite3_bind_int64(st, 1, lastRowid_[t]);
      while (sqlite3_step(st) == SQLITE_ROW) {
        lastRowid_[t] = sqlite3_column_int64(st, 0);
        auto text = [&](int c) {
          const unsigned char* s = sqlite3_column_text(st, c);
          return s ? std::string(reinterpret_cast<const char*>(s)) : std::string("<null>");
        };
        if (text(1) != texts.stamp.key)
          out.problems.push_back(std::string(tables[t].name) + " record keyed " + text(1));
        if (tables[t].invoice && text(2) != texts.invoice)
          out.problems.push_back(std::string(tables[t].name) + " record of invoice " + text(2));
        if (t < 3) {
          ++out.headers[t];
        } else {
          int number = sqlite3_column_int(st, 4);
          if (sqlite3_column_int(st, 5) != number || sqlite3_column_int(st, 6) != 2 * (number - 1) + 4)
            out.problems.push_back("line " + text(3) + " numbered " + text(4) + "/" + text(5) + "/" + text(6));
          out.lines.push_back({text(3), number});
        }
      }
      sqlite3_finalize(st);
    }
  }

  // The outcome against the expectation, reports and records alike.
  static void Check(const Outcome& out, const Expected& e) {
    SCOPED_TRACE(e.why);
    EXPECT_EQ(out.hr, S_OK);
    EXPECT_EQ(out.ret, e.released ? KFX_REL_SUCCESS : KFX_REL_ERROR);
    EXPECT_EQ(out.Reports(), e.reports);
    // Every failure goes to the log with error number 1 and to the release module; the success only to the log.
    std::size_t failures = 0;
    for (const auto& entry : out.log) {
      EXPECT_EQ(entry.err1, e.released ? 0 : 1) << entry.message;
      if (entry.err1 >= 1) {
        ASSERT_LT(failures, out.messages.size());
        EXPECT_EQ(out.messages[failures].text, entry.message);
        EXPECT_EQ(out.messages[failures].infoRet, KFX_REL_DOC_ERROR);
        ++failures;
      }
    }
    EXPECT_EQ(out.messages.size(), failures);
    EXPECT_EQ(std::vector<int>(out.headers, out.headers + 3), std::vector<int>(e.headers, e.headers + 3));
    EXPECT_EQ(out.lines, e.lines);
    EXPECT_THAT(out.problems, ::testing::IsEmpty());
  }

  // The next document after a failure is released cleanly on the same connector object.
  void ExpectNextReleasedCleanly(const std::string& after) {
    SCOPED_TRACE("the document after " + after);
    Outcome next = Release();
    Expected e;
    e.released = true;
    e.reports = {"Document Released Successfully C:\\release\\0001.pdf"};
    e.headers[0] = e.headers[1] = e.headers[2] = 1;
    e.lines = LinesWithout(0, false);
    Check(next, e);
  }

  std::vector<std::string> CleanCalls(DocumentTexts& texts) {
    texts = Next();
    Outcome clean = Release();
    EXPECT_EQ(clean.ret, KFX_REL_SUCCESS);
    std::vector<std::string> lines;
    for (const auto& c : clean.calls) lines.push_back(c.line);
    return lines;
  }

  std::filesystem::path dir_;
  sqlite3* db_ = nullptr;
  std::int64_t lastRowid_[4] = {0, 0, 0, 0};
  capture::ReleaseDocument document_;
  CComPtr<Connector> connector_;
  ado::AdoRecorder recorder_;
  int documents_ = 0;
};

TEST_F(Sweep, EveryCallOfAReleaseFailsInTurn) {
  DocumentTexts clean;
  const std::vector<std::string> calls = CleanCalls(clean);
  const std::vector<CallPlace> places = PlaceCalls(calls);
  ASSERT_GT(calls.size(), 200u);
  std::size_t harmless = 0;
  std::set<std::string> harmlessKinds;
  for (std::size_t k = 1; k <= calls.size(); ++k) {
    DocumentTexts texts = Next();
    Expected expected = ExpectFor(calls, places, k, clean, texts);
    Outcome out = Release({k});
    // The calls before the failing one are the clean release's, so call k is the one the rules were read for.
    ASSERT_GE(out.calls.size(), k) << expected.why;
    ASSERT_TRUE(out.calls[k - 1].injected) << expected.why;
    ASSERT_EQ(out.calls[k - 1].line.substr(0, out.calls[k - 1].line.find('(')), calls[k - 1].substr(0, calls[k - 1].find('(')))
        << expected.why;
    Check(out, expected);
    if (expected.released) {
      ++harmless;
      harmlessKinds.insert(expected.why.substr(expected.why.find(" (harmless")));
    }
    ExpectNextReleasedCleanly(expected.why);
    if (HasFailure()) return;
  }
  RecordProperty("calls", static_cast<int>(calls.size()));
  RecordProperty("harmless", static_cast<int>(harmless));
  std::cout << "[ sweep    ] " << calls.size() << " calls failed in turn, " << harmless << " of them harmless\n";
  for (const auto& kind : harmlessKinds) std::cout << "[ sweep    ]   " << kind << "\n";
}


// ---------------------------------------------------------------------------------------------------------------
// Two failures: a failing step, then a second failure while the step is reported, cancelled or closed
// ---------------------------------------------------------------------------------------------------------------

bool IsErrorRead(const std::string& call) {
  return StartsWith(call, "Connection.get_Errors") || StartsWith(call, "Errors.") || StartsWith(call, "Error.");
}
bool IsCancel(const std::string& call) {
  return StartsWith(call, "Recordset.get_EditMode") || StartsWith(call, "Recordset.CancelUpdate");
}

// `sub` is `all` with some elements left out, in the same order.
bool IsSubsequence(const std::vector<Line>& sub, const std::vector<Line>& all) {
  std::size_t i = 0;
  for (const Line& l : all)
    if (i < sub.size() && sub[i] == l) ++i;
  return i == sub.size();
}

TEST_F(Sweep, AFailingStepWhoseReportCancelOrCloseFailsToo) {
  DocumentTexts clean;
  const std::vector<std::string> calls = CleanCalls(clean);
  const std::vector<CallPlace> places = PlaceCalls(calls);
  // The n-th call (1-based) of the clean release that starts with `prefix`.
  auto nth = [&](const std::string& prefix, int n) -> std::size_t {
    for (std::size_t i = 0; i < calls.size(); ++i)
      if (StartsWith(calls[i], prefix) && --n == 0) return i + 1;
    ADD_FAILURE() << "no call " << prefix;
    return 1;
  };
  struct Step {
    const char* what;
    std::size_t call;
    std::size_t reportsBeforeCancelling;  // of the single failure's reports
  };
  const Step steps[] = {
      {"a value that cannot be written", nth("Field[PERCD].put_Value", 1), 1},
      {"TBHB without a recordset object", nth("CoCreateInstance(Recordset)", 2), 1},
      {"TBHB not opened", nth("Recordset.put_CursorType", 2), 2},
      {"TBHB opened without a new record", nth("Recordset.AddNew", 2), 2},
      {"an automatic column", nth("Field[PEGUI].put_Value", 1), 0},
      {"the TPEC commit", nth("Recordset.Update", 1), 1},
      {"the TBHB commit", nth("Recordset.Update", 2), 1},
      {"the TBSB commit", nth("Recordset.Update", 3), 1},
      {"opening TBLB", nth("Recordset.Open", 4), 0},
      {"starting line 2", nth("Recordset.AddNew", 5), 1},
      {"a value of line 2", nth("Field[BLCIT].put_Value", 2), 1},
      {"committing line 2", nth("Recordset.Update", 5), 1},
      {"closing TBLB", nth("Recordset.Close", 1), 0},
      {"closing TBSB", nth("Recordset.Close", 2), 0},
      {"closing the connection", nth("Connection.Close", 1), 0},
  };
  std::size_t pairs = 0, cancels = 0, errorReads = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const std::size_t k = step.call;
    const CallPlace& first = places[k - 1];
    Outcome single = Release({k});
    ExpectNextReleasedCleanly(step.what);
    std::vector<std::string> after;
    for (const auto& c : single.calls) after.push_back(c.line);
    // The error reads that compose the step's own report come right after the failing call.
    std::size_t composedUpTo = k;
    while (composedUpTo < after.size() && IsErrorRead(after[composedUpTo])) ++composedUpTo;

    for (std::size_t j = k + 1; j <= after.size(); ++j) {
      const std::string& second = after[j - 1];
      DocumentTexts texts = Next();
      Expected e = ExpectFor(calls, places, k, clean, texts);
      e.why += " and call " + std::to_string(j) + " " + second;
      // Reading the provider's errors fails without adding any.
      Outcome out = Release({k, j}, {false, IsErrorRead(second)});
      ++pairs;
      if (IsCancel(second)) {
        ++cancels;
        // A failing cancel ends the step's handling with a report of its own; nothing more is written.
        if (first.phase == Phase::Line) {
          e.reports.push_back("Error Updating TBLB: " + AdoFailure("CAxRecordset::CancelUpdate"));
          e.lines = LinesWithout(first.line, first.numbered, first.line);
        } else {
          // Which header table is being cancelled: they are cancelled in order, from the first still pending.
          int cancelled = first.phase == Phase::Commit ? first.table : -1;
          for (std::size_t i = k; i < j; ++i) cancelled += StartsWith(after[i], "Recordset.get_EditMode");
          // A recordset whose opening failed before it was bound has no connection for the provider's error.
          const OpenStep* open = first.phase == Phase::OpenHeader ? OpenStepOf(calls[k - 1]) : nullptr;
          bool bound = !(open && !open->bound && cancelled == first.table);
          e.reports.resize(step.reportsBeforeCancelling);
          e.reports.push_back("Error in ReleaseDoc: " + AdoFailure("CAxRecordset::CancelUpdate", bound));
        }
        Check(out, e);
      } else if (j <= composedUpTo) {
        ++errorReads;
        // A provider error that cannot be read is left out of the message; the report is still made.
        const std::string provider = std::string("\n") + kInjectedText;
        std::string& report = e.reports.at(0);
        // (A call the provider's error did not reach has none to lose.)
        if (std::size_t at = report.find(provider); at != std::string::npos) {
          if (StartsWith(second, "Error.get_Description")) report.replace(at, provider.size(), "\n");
          else if (!StartsWith(second, "Error.get_Number") && !StartsWith(second, "Errors.Clear"))
            report.erase(at, provider.size());
        }
        Check(out, e);
      } else {
        // Anything else: the document still fails, everything is reported once to both channels, and nothing is
        // committed beyond what the first failure leaves.
        SCOPED_TRACE(e.why);
        EXPECT_EQ(out.hr, S_OK);
        EXPECT_EQ(out.ret, KFX_REL_ERROR);
        for (std::size_t i = 0; i < out.log.size(); ++i) {
          EXPECT_EQ(out.log[i].err1, 1);
          ASSERT_LT(i, out.messages.size());
          EXPECT_EQ(out.messages[i].text, out.log[i].message);
        }
        EXPECT_EQ(out.messages.size(), out.log.size());
        EXPECT_EQ(std::vector<int>(out.headers, out.headers + 3), std::vector<int>(e.headers, e.headers + 3));
        EXPECT_TRUE(IsSubsequence(out.lines, e.lines)) << ::testing::PrintToString(out.lines);
        EXPECT_THAT(out.problems, ::testing::IsEmpty());
      }
      ExpectNextReleasedCleanly(e.why);
      if (HasFailure()) return;
    }
  }
  std::cout << "[ sweep    ] " << std::size(steps) << " failing steps, each with every later call failing too: "
            << pairs << " pairs (" << cancels << " with a failing cancel, " << errorReads
            << " with the step's provider error unreadable)\n";
}

}  // namespace
}  // namespace sweep
