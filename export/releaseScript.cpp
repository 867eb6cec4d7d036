#include "export/releaseScript.h"

#include <sys/stat.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ecm/ddl.h"
#include "ecm/mapping_model.h"
#include "ecm/settings.h"
#include "export/release_steps.h"
#include "host/report.h"
#include "platform/com/utf.h"

using dbAx::AxExceptionPtr;
using dbAx::CAxConnection;
using dbAx::CAxException;
using dbAx::CAxRecordset;

namespace {

constexpr LONG kError = 1;
constexpr LONG kSuccess = 0;

// ADO values of the insert recordsets: forward-only, client-side, optimistic, one cached record.
constexpr LONG kForwardOnly = adOpenForwardOnly;
constexpr LONG kClientCursor = adUseClient;
constexpr LONG kOptimistic = adLockOptimistic;
constexpr LONG kUnspecified = -1;

// Values the ECM tables repeat: a value mapped to the source column is also written to each sister column.
struct SisterColumn {
  std::u16string_view table;
  std::u16string_view column;
};
struct CopyRule {
  std::u16string_view table;
  std::u16string_view column;
  std::vector<SisterColumn> copies;
};
const std::vector<CopyRule>& CopyTable() {
  static const std::vector<CopyRule> rules = {
      {u"TPEC", u"PESID", {{u"TBHB", u"BHSID"}, {u"TBSB", u"BSSID"}, {u"TBLB", u"BLSID"}}},
      {u"TPEC", u"PERCD", {{u"TBHB", u"BHRCD"}, {u"TBSB", u"BSRCD"}, {u"TBLB", u"BLRCD"}}},
      {u"TPEC", u"PEDWN", {{u"TBHB", u"BHDTD"}, {u"TBSB", u"BSDTD"}, {u"TBLB", u"BLDTD"}}},
      {u"TPEC",
       u"PELDU",
       {{u"TBHB", u"BHCRU"},
        {u"TBSB", u"BSCRU"},
        {u"TBLB", u"BLCRU"},
        {u"TPEC", u"PELMU"},
        {u"TBHB", u"BHLMU"},
        {u"TBSB", u"BSLMU"},
        {u"TBLB", u"BLLMU"}}},
      {u"TBHB", u"BHINV", {{u"TBSB", u"BSINV"}, {u"TBLB", u"BLINV"}}},
      {u"TBSB", u"BSSHN", {{u"TBLB", u"BLSDN"}}},
      {u"TBSB", u"BSORD", {{u"TBLB", u"BLORD"}}},
  };
  return rules;
}

enum class StampText { Key, Date, Time, Fixed };

std::u16string_view TextOf(StampText source, const ReleaseStamp& stamp, std::u16string_view fixed) {
  switch (source) {
    case StampText::Key: return stamp.key;
    case StampText::Date: return stamp.date;
    case StampText::Time: return stamp.time;
    case StampText::Fixed: break;
  }
  return fixed;
}

std::u16string BstrOrEmpty(HRESULT hr, const CComBSTR& text) { return hr == S_OK ? text.Str() : std::u16string(); }

std::string Narrow(std::u16string_view text) { return Utf16ToUtf8(text); }

std::int64_t SystemClock() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

ReleaseClock g_clock = &SystemClock;

// The last stamp this process handed out, in clock milliseconds; -1 before the first.
std::mutex g_stampMutex;
std::int64_t g_lastStamp = -1;

// How long a stamp waits for a clock that has not moved on past the last stamp. A coarse clock ticks well within
// it; a clock that stands still or was set back further is not waited for.
constexpr std::int64_t kMaxClockWaitMs = 100;

}  // namespace

void SetReleaseClock(ReleaseClock clock) {
  std::lock_guard lock(g_stampMutex);
  g_clock = clock ? clock : &SystemClock;
  g_lastStamp = -1;  // another clock, another history
}

namespace {
// A library name goes into SQL text, so only identifiers are accepted (IsValidLibraryName). The reason for
// refusing one, as the data-access messages word their faults.
std::u16string InvalidLibraryMessage(std::u16string_view library) {
  return Format(u"The library name '%s' is not valid: a library name consists of letters, digits and _ $ # @, and does not start with a digit",
                library);
}
}  // namespace

// ---------------------------------------------------------------------------------------------------------------
// Document values
// ---------------------------------------------------------------------------------------------------------------

bool AddCommonLineValue(std::u16string_view column, std::u16string_view value, LineValueList& lines) {
  if (lines.empty()) lines.emplace_back();
  lines[0].emplace(std::u16string(column), std::u16string(value));
  return true;
}

void ReadRowValues(std::u16string_view column, IValue* value, LineValueList& lines) {
  CComVariant key;
  key.vt = VT_INT;
  key.intVal = 0;
  CComPtr<IDispatch> dispatch;
  if (value->get_RowValues(key, &dispatch) != S_OK || !dispatch) return;
  CComPtr<IRowValues> rows;
  if (dispatch.QueryInterface(&rows) != S_OK || !rows) return;
  LONG count = 0;
  if (rows->get_Count(&count) != S_OK || count < 0) return;
  if (lines.size() < static_cast<std::size_t>(count) + 1) lines.resize(static_cast<std::size_t>(count) + 1);
  for (LONG j = 1; j <= count; ++j) {
    CComPtr<IValue> item;
    CComBSTR text;
    if (rows->get_Item(CComVariant(j, VT_I4), &item) == S_OK && item && item->get_Value(&text) == S_OK)
      lines[static_cast<std::size_t>(j)].emplace(std::u16string(column), text.Str());
  }
}

bool readVariables(IValues* values, CAxRecordset& rsTPEC, CAxRecordset& rsTBHB, CAxRecordset& rsTBSB,
                   LineValueList& lines) {
  LONG count = 0;
  if (values->get_Count(&count) != S_OK) {
    ReportToHost(REPORT_HERE, kError, u"Failed to get count of values");
    return false;
  }
  auto headerRecordset = [&](std::u16string_view table) -> CAxRecordset* {
    if (table == u"TPEC") return &rsTPEC;
    if (table == u"TBHB") return &rsTBHB;
    if (table == u"TBSB") return &rsTBSB;
    return nullptr;
  };
  try {
    for (LONG position = 1; position <= count; ++position) {
      CComPtr<IValue> value;
      if (values->get_Item(CComVariant(position, VT_I4), &value) != S_OK || !value) continue;
      CComBSTR destination;
      HRESULT hr = value->get_Destination(&destination);
      std::u16string table, column;
      SplitKey(BstrOrEmpty(hr, destination), table, column);
      CComBSTR text;
      hr = value->get_Value(&text);
      std::u16string valueText = BstrOrEmpty(hr, text);

      if (CAxRecordset* rs = headerRecordset(table)) {
        rs->SetFieldValue(column, valueText);
        for (const CopyRule& rule : CopyTable()) {
          if (rule.table != table || rule.column != column) continue;
          for (const SisterColumn& copy : rule.copies) {
            if (copy.table == u"TBLB") {
              AddCommonLineValue(copy.column, valueText, lines);
            } else {
              headerRecordset(copy.table)->SetFieldValue(copy.column, valueText);
            }
          }
        }
      } else if (table == u"TBLB") {
        CComBSTR tableName;
        if (value->get_TableName(&tableName) == S_OK && !tableName.IsEmpty()) {
          ReadRowValues(column, value, lines);
        } else {
          AddCommonLineValue(column, valueText, lines);
        }
      }
    }
  } catch (CAxException* raw) {
    AxExceptionPtr e(raw);
    ReportToHost(REPORT_HERE, kError, u"Error in readVariables: %s", e->message);
    return false;
  } catch (...) {
    ReportToHost(REPORT_HERE, kError, u"General Error in readVariables");
    return false;
  }
  return true;
}

bool GetValueByName(std::u16string_view name, IValues* values, std::u16string& text) {
  text.clear();
  CComPtr<IValue> value;
  if (values->get_Item(CComVariant(name), &value) != S_OK || !value) return false;
  CComBSTR raw;
  if (value->get_Value(&raw) != S_OK) return false;
  text = raw.Str();
  return !text.empty();
}

bool GetOriginalFilePath(IValues* values, std::u16string& path) {
  std::u16string folder, fileName, extension;
  GetValueByName(u"OriginalFolder", values, folder);
  GetValueByName(u"OriginalFileName", values, fileName);
  GetValueByName(u"OriginalFileNameExt", values, extension);
  if (folder.empty() || fileName.empty()) return false;

  std::u16string candidate = folder;
  if (candidate.back() != u'/' && candidate.back() != u'\\') candidate += static_cast<char16_t>(std::filesystem::path::preferred_separator);
  std::size_t nameStart = candidate.size();
  candidate += fileName;
  if (!extension.empty()) {
    // The extension replaces the file name's own, never a full stop in a folder name.
    std::size_t lastSeparator = candidate.find_last_of(u"/\\");
    if (lastSeparator != std::u16string::npos && lastSeparator + 1 > nameStart) nameStart = lastSeparator + 1;
    std::size_t dot = candidate.rfind(u'.');
    if (dot != std::u16string::npos && dot > nameStart) candidate.resize(dot);
    if (extension.front() != u'.') candidate += u'.';
    candidate += extension;
  }
  constexpr std::size_t kMaxPath = 260;
  if (candidate.size() >= kMaxPath) return false;
  // A NUL would end the path early for the file system, and half a surrogate pair would turn into a replacement
  // character; either way the file system would answer for another file.
  for (std::size_t i = 0; i < candidate.size(); ++i) {
    char16_t c = candidate[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < candidate.size() && candidate[i + 1] >= 0xDC00 && candidate[i + 1] <= 0xDFFF)
      ++i;
    else if (c == 0 || (c >= 0xD800 && c <= 0xDFFF))
      return false;
  }
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(Narrow(candidate)), ec);
  if (ec) return false;
  struct stat attributes;
  if (::stat(full.c_str(), &attributes) != 0) return false;
  path = candidate;
  return true;
}

// ---------------------------------------------------------------------------------------------------------------
// Header records
// ---------------------------------------------------------------------------------------------------------------

bool OpenTableForInsert(CAxRecordset& rs, std::u16string_view table, std::u16string_view library,
                        CAxConnection& connection) {
  if (FAILED(rs.CreateObject())) return false;
  try {
    rs.CursorType(kForwardOnly);
    rs.CacheSize(1);
    if (!IsValidLibraryName(library)) {
      ReportToHost(REPORT_HERE, kError, u"Error Initializing %s: %s", table, InvalidLibraryMessage(library));
      return false;
    }
    std::u16string statement = Format(u"SELECT * FROM %s.%s WHERE 1=0", library, table);
    rs.Open(statement.c_str(), &connection, kForwardOnly, kClientCursor, kOptimistic, kUnspecified);
    rs.MarshalOptions(adMarshalModifiedOnly);
    rs.AddNew();
    return true;
  } catch (CAxException* raw) {
    AxExceptionPtr e(raw);
    ReportToHost(REPORT_HERE, kError, u"Error Initializing %s: %s", table, e->message);
    return false;
  } catch (...) {
    ReportToHost(REPORT_HERE, kError, u"General Initializing Updating %s", table);
    return false;
  }
}

ReleaseStamp MakeReleaseStamp() {
  // Two documents of one process never share a key. When the clock has not moved on since the last stamp, wait
  // until it has; but a clock that stands still or was set back must not stall the release (a clock set back
  // by an hour would stall it for an hour), so after a short wait the stamp takes the millisecond after the last
  // one. Keys then stay unique and ascending, and follow the clock again once it has caught up.
  std::int64_t now;
  {
    std::lock_guard lock(g_stampMutex);
    now = g_clock();
    // Wait only while the clock can still pass the last stamp within the allowance.
    for (std::int64_t waited = 0; now <= g_lastStamp && (g_lastStamp - now) + waited < kMaxClockWaitMs; ++waited) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      now = g_clock();
    }
    if (now <= g_lastStamp) now = g_lastStamp + 1;
    g_lastStamp = now;
  }
  std::int64_t seconds = now / 1000;
  int millisecond = static_cast<int>(now % 1000);
  if (millisecond < 0) {
    millisecond += 1000;
    --seconds;
  }
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm utc{};
  gmtime_r(&t, &utc);
  int year = utc.tm_year + 1900;
  ReleaseStamp stamp;
  stamp.key = Format(u"%02d%02d%02d%02d%02d%02d%03d", year % 100, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                     utc.tm_min, utc.tm_sec, millisecond);
  stamp.date = Format(u"%04d%02d%02d", year % 10000, utc.tm_mon + 1, utc.tm_mday);
  stamp.time = Format(u"%02d%02d%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
  return stamp;
}

void WriteAutomaticColumns(const ReleaseStamp& stamp, CAxRecordset& rsTPEC, CAxRecordset& rsTBHB,
                           CAxRecordset& rsTBSB, LineValueList& lines) {
  struct Row {
    std::u16string_view tpec, tbhb, tbsb, tblb;
    StampText source;
    std::u16string_view texts[4];  // fixed texts per table, in the order TPEC, TBHB, TBSB, TBLB
  };
  static const Row rows[] = {
      {u"PEGUI", u"BHGUI", u"BSGUI", u"BLGUI", StampText::Key, {}},
      {u"PELDD", u"BHCRD", u"BSCRD", u"BLCRD", StampText::Date, {}},
      {u"PELDT", u"BHCRT", u"BSCRT", u"BLCRT", StampText::Time, {}},
      {u"PELMD", u"BHLMD", u"BSLMD", u"BLLMD", StampText::Date, {}},
      {u"PELMT", u"BHLMT", u"BSLMT", u"BLLMT", StampText::Time, {}},
      {u"PERID", u"BHRID", u"BSRID", u"BLRID", StampText::Fixed, {u"PE", u"BH", u"BS", u"BL"}},
      {u"PEICN", u"BHICN", u"BSICN", u"BLICN", StampText::Key, {}},
      {u"PEMSN", u"BHMSN", u"BSMSN", u"BLMSN", StampText::Fixed, {u"1", u"1", u"1", u"1"}},
      {u"", u"BHPCF", u"BSPCF", u"BLPCF", StampText::Fixed, {u"", u"0", u"0", u"0"}},
      {u"PEECA", u"", u"", u"", StampText::Fixed, {u"ECM617", u"", u"", u""}},
      {u"PESTS", u"", u"", u"", StampText::Fixed, {u"0", u"", u"", u""}},
      {u"", u"BHDIR", u"", u"", StampText::Fixed, {u"", u"I", u"", u""}},
      {u"", u"BHCSQ", u"", u"", StampText::Fixed, {u"", u"1", u"", u""}},
      {u"", u"", u"BSCSQ", u"", StampText::Fixed, {u"", u"", u"3", u""}},
  };
  // Columns the export fills itself, row by row and within a row from TPEC to TBLB; an empty name means the
  // table has no such column.
  for (const Row& row : rows) {
    if (!row.tpec.empty()) rsTPEC.SetFieldValue(row.tpec, TextOf(row.source, stamp, row.texts[0]));
    if (!row.tbhb.empty()) rsTBHB.SetFieldValue(row.tbhb, TextOf(row.source, stamp, row.texts[1]));
    if (!row.tbsb.empty()) rsTBSB.SetFieldValue(row.tbsb, TextOf(row.source, stamp, row.texts[2]));
    if (!row.tblb.empty()) AddCommonLineValue(row.tblb, TextOf(row.source, stamp, row.texts[3]), lines);
  }
  // A document without table rows still has one line; it is numbered and counted once.
  if (lines.size() == 1) {
    AddCommonLineValue(u"BLINL", u"1", lines);
    AddCommonLineValue(u"BLINQ", u"1", lines);
  }
}

bool UpdateTableRecord(CAxRecordset& rs, std::u16string_view table) {
  try {
    rs.Update();
    return true;
  } catch (CAxException* raw) {
    AxExceptionPtr e(raw);
    ReportToHost(REPORT_HERE, kError, u"Error Updating %s: %s", table, e->message);
    return false;
  } catch (...) {
    ReportToHost(REPORT_HERE, kError, u"General Error Updating %s", table);
    return false;
  }
}

// ---------------------------------------------------------------------------------------------------------------
// Invoice lines
// ---------------------------------------------------------------------------------------------------------------

bool WriteInvoiceLines(CAxConnection& connection, std::u16string_view library, const LineValueList& lines) {
  bool result = true;
  const int last = static_cast<int>(lines.size()) - 1;
  try {
    CAxRecordset rs;
    rs.CreateObject();  // a missing ADO object makes the next call fail as a data-access error
    try {
      rs.CursorType(kForwardOnly);
      rs.CacheSize(1);
      if (!IsValidLibraryName(library)) {
        ReportToHost(REPORT_HERE, kError, u"Error Creating TBLB Record: %s", InvalidLibraryMessage(library));
        return false;
      }
      std::u16string statement = Format(u"SELECT * FROM %s.TBLB WHERE 1=0", library);
      rs.Open(statement.c_str(), &connection, kForwardOnly, kClientCursor, kOptimistic, kUnspecified);
      rs.MarshalOptions(adMarshalModifiedOnly);
    } catch (CAxException* raw) {
      AxExceptionPtr e(raw);
      ReportToHost(REPORT_HERE, kError, u"Error Creating TBLB Record: %s", e->message);
      return false;
    } catch (...) {
      ReportToHost(REPORT_HERE, kError, u"General Error Creating TBLB Record");
      return false;
    }

    int k = 0;
    for (int i = 0; i <= last; ++i) {
      if (i == 0 && last > 0) continue;  // element 0 only carries the common values
      const LineValues& line = lines[static_cast<std::size_t>(i)];
      try {
        rs.AddNew();
        if (i > 0) {
          for (const auto& [column, value] : lines[0]) rs.SetFieldValue(column, value);
        }
        std::u16string number = Format(u"%d", k + 1);
        std::u16string sequence = Format(u"%d", 2 * k + 4);
        ++k;
        rs.SetFieldValue(u"BLOLN", number);
        rs.SetFieldValue(u"BLINL", number);
        rs.SetFieldValue(u"BLCSQ", sequence);
        for (const auto& [column, value] : line) rs.SetFieldValue(column, value);
        rs.Update();
      } catch (CAxException* raw) {
        AxExceptionPtr e(raw);
        ReportToHost(REPORT_HERE, kError, u"Error Updating TBLB record %d of %d: %s", i, last, e->message);
        rs.CancelUpdate();
        result = false;
      } catch (...) {
        ReportToHost(REPORT_HERE, kError, u"General Error Updating TBLB record %d of %d", i, last);
        rs.CancelUpdate();
        result = false;
      }
    }
    // Closed here rather than by the destructor, so that a failure to close is seen.
    rs.Close();
  } catch (CAxException* raw) {
    AxExceptionPtr e(raw);
    ReportToHost(REPORT_HERE, kError, u"Error Updating TBLB: %s", e->message);
    result = false;
  } catch (...) {
    ReportToHost(REPORT_HERE, kError, u"General Error Updating TBLB");
    result = false;
  }
  return result;
}

// ---------------------------------------------------------------------------------------------------------------
// The export connector object
// ---------------------------------------------------------------------------------------------------------------

releaseScript::releaseScript() = default;
releaseScript::~releaseScript() = default;

HRESULT releaseScript::OpenScript(KfxReturnValue* ret) {
  if (!ret) return E_POINTER;
  *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT releaseScript::CloseScript(KfxReturnValue* ret) {
  m_pDocumentData.Release();
  CurrentReleaseData.Release();
  if (ret) *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT releaseScript::get_DocumentData(IReleaseData** data) { return m_pDocumentData.CopyTo(data); }

HRESULT releaseScript::putref_DocumentData(IReleaseData* data) {
  m_pDocumentData = data;
  CurrentReleaseData = data;
  return S_OK;
}

namespace {

// Steps 11 to 16 of a release: values, automatic columns, the three commits, the lines. False after a failure,
// which the failing step has reported; pending header records are cancelled here.
bool WriteDocument(IValues* values, CAxConnection& connection, std::u16string_view library, CAxRecordset& rsTPEC,
                   CAxRecordset& rsTBHB, CAxRecordset& rsTBSB, LineValueList& lines) {
  if (!readVariables(values, rsTPEC, rsTBHB, rsTBSB, lines)) {
    rsTPEC.CancelUpdate();
    rsTBHB.CancelUpdate();
    rsTBSB.CancelUpdate();
    return false;
  }
  WriteAutomaticColumns(MakeReleaseStamp(), rsTPEC, rsTBHB, rsTBSB, lines);
  if (!UpdateTableRecord(rsTPEC, u"TPEC")) {
    rsTBHB.CancelUpdate();
    rsTBSB.CancelUpdate();
    return false;
  }
  if (!UpdateTableRecord(rsTBHB, u"TBHB")) {
    rsTBSB.CancelUpdate();
    return false;
  }
  if (!UpdateTableRecord(rsTBSB, u"TBSB")) return false;
  return WriteInvoiceLines(connection, library, lines);
}

}  // namespace

HRESULT releaseScript::ReleaseDoc(KfxReturnValue* ret) {
  if (!ret) return E_POINTER;
  *ret = KFX_REL_ERROR;
  if (!m_pDocumentData) {
    ReportToHost(REPORT_HERE, kError, u"Error in ReleaseDoc: %s", u"no document data has been given");
    return S_OK;
  }
  CComPtr<IReleaseData> document = m_pDocumentData;  // the host may put another while we run

  try {
    CComBSTR pdfName, server, user, password;
    std::u16string documentName = BstrOrEmpty(document->get_KofaxPDFFileName(&pdfName), pdfName);
    std::u16string serverName = BstrOrEmpty(document->get_ConnectString(&server), server);
    std::u16string userName = BstrOrEmpty(document->get_UserName(&user), user);
    std::u16string passwordText = BstrOrEmpty(document->get_Password(&password), password);
    std::u16string library;
    GetCustomProperty(document.get(), kLibraryProperty, u"", library);

    CComPtr<IValues> values;
    if (document->get_Values(&values) != S_OK || !values) {
      ReportToHost(REPORT_HERE, kError, u"Failed to get values");
      return S_OK;
    }
    std::u16string originalPath;
    if (GetOriginalFilePath(values, originalPath)) documentName = originalPath;
    std::u16string connectionString = Format(u"Provider=IBMDA400;Data source=%s;", serverName);

    bool written = false;
    try {
      CAxConnection connection;
      connection.Create();
      connection.CursorLocation(kClientCursor);
      connection.Open(connectionString, userName, passwordText, kUnspecified);

      CAxRecordset rsTPEC, rsTBHB, rsTBSB;
      OpenTableForInsert(rsTPEC, u"TPEC", library, connection);
      OpenTableForInsert(rsTBHB, u"TBHB", library, connection);
      OpenTableForInsert(rsTBSB, u"TBSB", library, connection);

      LineValueList lines;
      written = WriteDocument(values, connection, library, rsTPEC, rsTBHB, rsTBSB, lines);

      // Closed explicitly, in this order, so that a failure to close is seen before success is reported.
      LineValueList().swap(lines);
      rsTBSB.Close();
      rsTBHB.Close();
      rsTPEC.Close();
      if (connection._IsOpen()) connection.Close();
    } catch (CAxException* raw) {
      AxExceptionPtr e(raw);
      // A recordset that failed to close (5009) is not reported.
      if (e->code != dbAx::AXLIB_ERROR_CLOSE) ReportToHost(REPORT_HERE, kError, u"Error in ReleaseDoc: %s", e->message);
      return S_OK;
    }
    if (!written) return S_OK;
    ReportToHost(REPORT_HERE, kSuccess, u"Document Released Successfully %s", documentName);
    *ret = KFX_REL_SUCCESS;
  } catch (CAxException* raw) {
    AxExceptionPtr e(raw);
    ReportToHost(REPORT_HERE, kError, u"Error in ReleaseDoc: %s", e->message);
  } catch (...) {
    // Whatever else goes wrong, the document fails and the host is told; the host never sees an exception.
    ReportToHost(REPORT_HERE, kError, u"General Error in ReleaseDoc");
  }
  return S_OK;
}
