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

bool ReleaseReport::AllReleased() const {
  return openFailure.empty() && closeFailure.empty() && readFailure.empty() && released == total;
}

// A connector must not take the host down: anything it throws fails the call it came from.
template <class Call>
HRESULT Guarded(Call&& call) {
  try {
    return call();
  } catch (...) {
    return E_UNEXPECTED;
  }
}

struct BatchRelease::State {
  DocumentClass documentClass;
  Batch batch;  // the batch's own members
  CComPtr<IKfxReleaseScript> script;
  ReleaseOptions options;
  ReleaseReport report;
  std::shared_ptr<Recorder> recorder;
  std::size_t position = 0;  // documents handed over so far
  bool opened = false;       // OpenScript has been called
  bool started = false;      // ... and succeeded

  State(const DocumentClass& c, const Batch& b, IKfxReleaseScript* s, const ReleaseOptions& o)
      : documentClass(c), script(s), options(o) {
    batch.file = b.file;
    batch.name = b.name;
    batch.batchClass = b.batchClass;
    batch.documentClass = b.documentClass;
    batch.batchFields = b.batchFields;
    batch.values = b.values;
  }

  void Open(IReleaseData* first) {
    opened = true;
    if (!script) {
      report.openFailure = "no export connector";
      return;
    }
    if (first) Guarded([&] { return script->putref_DocumentData(first); });
    KfxReturnValue ret = KFX_REL_ERROR;
    HRESULT hr = Guarded([&] { return script->OpenScript(&ret); });
    if (hr != S_OK || ret != KFX_REL_SUCCESS) report.openFailure = CallFailure("OpenScript", hr, ret);
    else started = true;
  }
};

BatchRelease::BatchRelease(const DocumentClass& c, const Batch& batch, std::size_t total, IKfxReleaseScript* script,
                           const ReleaseOptions& options)
    : state_(std::make_unique<State>(c, batch, script, options)) {
  state_->report.total = total;
  state_->recorder = std::make_shared<Recorder>(
      state_->report, options,
      "[" + Utf16ToUtf8(c.name) + (batch.name.empty() ? "" : " / " + Utf16ToUtf8(batch.name)) + "]");
}

BatchRelease::~BatchRelease() {
  if (state_) Finish();
}

void BatchRelease::Release(const BatchDocument& document) {
  State& st = *state_;
  const std::size_t index = st.position++;
  DocumentOutcome outcome;
  outcome.position = index + 1;
  outcome.label = DocumentLabel(document, index + 1);
  CComPtr<IReleaseData> data =
      MakeReleaseData(MakeReleaseDocument(st.documentClass, st.batch, document, index), st.recorder);
  if (!st.opened) st.Open(data);
  if (st.started) {
    if (st.options.observer) st.options.observer->DocumentStarting(index + 1, st.report.total);
    st.recorder->SetDocument(&outcome);
    HRESULT put = Guarded([&] { return st.script->putref_DocumentData(data); });
    if (put != S_OK) {
      outcome.hr = put;
      outcome.hostFailure = CallFailure("DocumentData", put, 0);
    } else {
      KfxReturnValue docRet = KFX_REL_ERROR;
      outcome.hr = Guarded([&] { return st.script->ReleaseDoc(&docRet); });
      outcome.result = docRet;
      outcome.released = outcome.hr == S_OK && docRet == KFX_REL_SUCCESS;
      if (outcome.hr != S_OK) outcome.hostFailure = CallFailure("ReleaseDoc", outcome.hr, docRet);
    }
    st.recorder->SetDocument(nullptr);
    if (outcome.released) ++st.report.released;
    if (st.options.observer) st.options.observer->DocumentDone(outcome, st.report.total);
  }
  if (st.options.keepOutcomes) st.report.documents.push_back(std::move(outcome));
}

void BatchRelease::ReadFailed(std::string failure) {
  if (state_->report.readFailure.empty()) state_->report.readFailure = std::move(failure);
}

ReleaseReport BatchRelease::Finish() {
  State& st = *state_;
  if (!st.opened) st.Open(nullptr);
  if (st.script) {
    KfxReturnValue ret = KFX_REL_ERROR;
    HRESULT hr = Guarded([&] { return st.script->CloseScript(&ret); });
    if (hr != S_OK || ret != KFX_REL_SUCCESS) st.report.closeFailure = CallFailure("CloseScript", hr, ret);
  }
  st.recorder->Detach();
  // Documents never handed over (the batch could not be read to its end) are not released; with their outcomes
  // kept, they are listed as such.
  if (st.options.keepOutcomes) {
    for (std::size_t i = st.report.documents.size(); i < st.report.total; ++i) {
      DocumentOutcome missing;
      missing.position = i + 1;
      missing.label = u"document " + Utf8ToUtf16(std::to_string(i + 1));
      st.report.documents.push_back(std::move(missing));
    }
  }
  ReleaseReport report = std::move(st.report);
  state_.reset();
  return report;
}

ReleaseReport ReleaseBatch(const DocumentClass& c, const Batch& batch, IKfxReleaseScript* script,
                           const ReleaseOptions& options) {
  BatchRelease release(c, batch, batch.documents.size(), script, options);
  for (const BatchDocument& document : batch.documents) release.Release(document);
  return release.Finish();
}

}  // namespace capture
