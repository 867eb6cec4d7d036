// The one way the export tells the platform what happened: a formatted message into the platform's error log,
// and for errors also into the release module's message list.
#pragma once

#include <span>
#include <string_view>

#include "host/kofax.h"
#include "platform/com/format.h"

struct SourcePosition {
  const char* file;  // relative to the project, as the build records it
  LONG line;
};
#define REPORT_HERE (SourcePosition{__FILE__, __LINE__})

// The document data reports are written to: set by every DocumentData put on an export connector,
// cleared by CloseScript. Null while there is no target.
extern CComPtr<IReleaseData> CurrentReleaseData;

// A formatted message holds at most this many characters; longer ones are cut and still reported.
constexpr std::size_t kReportMaxChars = 1023;

void ReportToHostV(SourcePosition position, LONG errorNumber, std::u16string_view format,
                   std::span<const FmtArg> args);

template <class... A>
void ReportToHost(SourcePosition position, LONG errorNumber, std::u16string_view format, const A&... args) {
  std::array<FmtArg, sizeof...(A)> list{FmtArg(args)...};
  ReportToHostV(position, errorNumber, format, std::span<const FmtArg>(list.data(), list.size()));
}
