#include "host/report.h"

#include "platform/com/utf.h"

CComPtr<IReleaseData> CurrentReleaseData;

void ReportToHostV(SourcePosition position, LONG errorNumber, std::u16string_view format,
                   std::span<const FmtArg> args) {
  if (!CurrentReleaseData) return;
  // Keep the target alive even if the host drops it while we call it.
  CComPtr<IReleaseData> target = CurrentReleaseData;
  std::u16string message = FormatW(format, args, kReportMaxChars + 1);
  if (message.size() > kReportMaxChars) {
    std::size_t cut = kReportMaxChars;
    // Do not leave half of a surrogate pair at the end.
    if (message[cut - 1] >= 0xD800 && message[cut - 1] <= 0xDBFF) --cut;
    message.resize(cut);
  }
  CComBSTR text(message);
  CComBSTR module(AsciiToUtf16(position.file ? position.file : ""));
  target->LogError(errorNumber, 0, 0, text, module, position.line);
  if (errorNumber >= 1) target->SendMessage(text, errorNumber, KFX_REL_DOC_ERROR);
}
