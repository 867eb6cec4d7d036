// The steps of a document's release, as releaseScript runs them. They live in releaseScript.cpp, whose file
// name and line numbers the platform's error log shows; this header lets tests drive single steps.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "dbax/dbax.h"
#include "host/kofax.h"

// The TBLB values of one invoice line, by column, in ascending code-unit order; the first value inserted for a
// column wins.
using LineValues = std::map<std::u16string, std::u16string>;
// Element 0: values common to every line; element i: row i of the document's table values.
using LineValueList = std::vector<LineValues>;

struct ReleaseStamp {
  std::u16string key;   // 15 digits: yyMMddHHmmssfff (UTC)
  std::u16string date;  // 8 digits: yyyyMMdd
  std::u16string time;  // 6 digits: HHmmss
};

// Document values (one per stored link).
bool readVariables(IValues* values, dbAx::CAxRecordset& rsTPEC, dbAx::CAxRecordset& rsTBHB,
                   dbAx::CAxRecordset& rsTBSB, LineValueList& lines);
bool AddCommonLineValue(std::u16string_view column, std::u16string_view value, LineValueList& lines);
void ReadRowValues(std::u16string_view column, IValue* value, LineValueList& lines);
bool GetValueByName(std::u16string_view name, IValues* values, std::u16string& text);
bool GetOriginalFilePath(IValues* values, std::u16string& path);

// Header records.
bool OpenTableForInsert(dbAx::CAxRecordset& rs, std::u16string_view table, std::u16string_view library,
                        dbAx::CAxConnection& connection);
ReleaseStamp MakeReleaseStamp();
void WriteAutomaticColumns(const ReleaseStamp& stamp, dbAx::CAxRecordset& rsTPEC, dbAx::CAxRecordset& rsTBHB,
                           dbAx::CAxRecordset& rsTBSB, LineValueList& lines);
bool UpdateTableRecord(dbAx::CAxRecordset& rs, std::u16string_view table);

// Invoice lines.
bool WriteInvoiceLines(dbAx::CAxConnection& connection, std::u16string_view library, const LineValueList& lines);

// The clock the release stamp is read from: milliseconds since 1970-01-01 UTC. Tests may replace it.
using ReleaseClock = std::int64_t (*)();
void SetReleaseClock(ReleaseClock clock);  // null restores the system clock; stamps start afresh
