#include "capture/release.h"

#include <exception>
#include <memory>

#include "capture/connector.h"
#include "capture/host_objects.h"
#include "capture/resolve.h"
#include "platform/com/utf.h"

namespace capture {

namespace {

// Collects what the connector reports. Once the release is over it is detached, so a connector that keeps
// a document's data and reports later reaches nothing that is gone.
class Recorder final : public ReleaseEvents {
 public:
  Recorder(ReleaseReport& report, const ReleaseOptions& options, std::string batchContext)
      : report_(&report), options_(options), batchContext_(std::move(batchContext)) {}

  void SetDocument(DocumentOutcome* outcome) { current_ = outcome; }
  void Detach() {
    report_ = nullptr;
    current_ = nullptr;
  }

  void LogError(LONG err1, LONG err2, LONG err3, std::u16string_view message, std::u16string_view module,
                LONG line) override {
    if (!report_) return;
    LogEntry entry{std::chrono::system_clock::now(), err1, err2, err3, std::u16string(message),
                   std::u16string(module), line};
    if (options_.errorLog) {
      std::string failure;
      if (!options_.errorLog->Append(FormatLogEntry(entry, Context()), &failure) && report_->logWriteFailure.empty())
        report_->logWriteFailure = failure;
    }
    (current_ ? current_->log : report_->sessionLog).push_back(std::move(entry));
  }

  void SendMessage(std::u16string_view message, LONG errorNumber, LONG infoRet) override {
    if (!report_) return;
    MessageEntry entry{std::chrono::system_clock::now(), std::u16string(message), errorNumber, infoRet};
    if (options_.messageLog) {
      std::string failure;
      if (!options_.messageLog->Append(FormatMessageEntry(entry, Context()), &failure) &&
          report_->logWriteFailure.empty())
        report_->logWriteFailure = failure;
    }
    if (current_) current_->messages.push_back(std::u16string(message));
  }

 private:
  std::string Context() const {
    if (!current_) return batchContext_;
    return batchContext_ + " document " + std::to_string(current_->position) + " (" +
           Utf16ToUtf8(current_->label) + ")";
  }

  ReleaseReport* report_;
  ReleaseOptions options_;
  std::string batchContext_;
  DocumentOutcome* current_ = nullptr;
};

std::string CallFailure(const char* operation, HRESULT hr, LONG ret) {
  if (hr != S_OK) return std::string(operation) + " failed: " + HResultText(hr);
  return std::string(operation) + " returned " + std::to_string(ret);
}

}  // namespace

std::size_t ReleaseReport::Released() const {
  std::size_t n = 0;
  for (const DocumentOutcome& d : documents) n += d.released;
  return n;
}

bool ReleaseReport::AllReleased() const {
  return openFailure.empty() && closeFailure.empty() && Released() == documents.size();
}

ReleaseReport ReleaseBatch(const DocumentClass& c, const Batch& batch, IKfxReleaseScript* script,
                           const ReleaseOptions& options) {
  ReleaseReport report;
  const std::size_t total = batch.documents.size();
  report.documents.resize(total);
  for (std::size_t i = 0; i < total; ++i) {
    report.documents[i].position = i + 1;
    report.documents[i].label = DocumentLabel(batch.documents[i], i + 1);
  }
  if (!script) {
    report.openFailure = "no export connector";
    return report;
  }
  auto recorder = std::make_shared<Recorder>(
      report, options, "[" + Utf16ToUtf8(c.name) + (batch.name.empty() ? "" : " / " + Utf16ToUtf8(batch.name)) + "]");
  auto dataFor = [&](std::size_t i) {
    return MakeReleaseData(MakeReleaseDocument(c, batch, i), recorder);
  };

  // A connector must not take the host down: anything it throws fails the call it came from.
  auto guarded = [](auto&& call) -> HRESULT {
    try {
      return call();
    } catch (...) {
      return E_UNEXPECTED;
    }
  };

  CComPtr<IReleaseData> first = total ? dataFor(0) : CComPtr<IReleaseData>();
  if (first) guarded([&] { return script->putref_DocumentData(first); });
  KfxReturnValue ret = KFX_REL_ERROR;
  HRESULT hr = guarded([&] { return script->OpenScript(&ret); });
  if (hr != S_OK || ret != KFX_REL_SUCCESS) {
    report.openFailure = CallFailure("OpenScript", hr, ret);
  } else {
    for (std::size_t i = 0; i < total; ++i) {
      DocumentOutcome& outcome = report.documents[i];
      if (options.observer) options.observer->DocumentStarting(i + 1, total);
      recorder->SetDocument(&outcome);
      CComPtr<IReleaseData> data = i == 0 ? first : dataFor(i);
      HRESULT put = guarded([&] { return script->putref_DocumentData(data); });
      if (put != S_OK) {
        outcome.hr = put;
        outcome.hostFailure = CallFailure("DocumentData", put, 0);
      } else {
        KfxReturnValue docRet = KFX_REL_ERROR;
        outcome.hr = guarded([&] { return script->ReleaseDoc(&docRet); });
        outcome.result = docRet;
        outcome.released = outcome.hr == S_OK && docRet == KFX_REL_SUCCESS;
        if (outcome.hr != S_OK) outcome.hostFailure = CallFailure("ReleaseDoc", outcome.hr, docRet);
      }
      recorder->SetDocument(nullptr);
      if (options.observer) options.observer->DocumentDone(outcome, total);
      if (!options.keepOutcomes) {
        std::vector<std::u16string>().swap(outcome.messages);
        std::vector<LogEntry>().swap(outcome.log);
        std::u16string().swap(outcome.label);
      }
    }
  }
  ret = KFX_REL_ERROR;
  hr = guarded([&] { return script->CloseScript(&ret); });
  if (hr != S_OK || ret != KFX_REL_SUCCESS) report.closeFailure = CallFailure("CloseScript", hr, ret);
  recorder->Detach();
  return report;
}

}  // namespace capture
