// Releasing a batch through an export connector, the way the platform's release module does: the first
// document's data is put and OpenScript called; then for each document its data is put and ReleaseDoc
// called; CloseScript at the end. What the connector logs and sends is recorded per document.
#pragma once

#include <string>
#include <vector>

#include "capture/model.h"
#include "capture/release_log.h"

namespace capture {

struct DocumentOutcome {
  std::size_t position = 0;  // 1-based
  std::u16string label;
  bool released = false;  // ReleaseDoc returned S_OK with KFX_REL_SUCCESS
  HRESULT hr = S_OK;
  LONG result = KFX_REL_ERROR;
  std::vector<std::u16string> messages;  // what the connector sent to the release module
  std::vector<LogEntry> log;             // what it wrote into the error log
  std::string hostFailure;               // a fault on the host's side of the call, if any
};

struct ReleaseReport {
  std::string openFailure;   // OpenScript failed: no document was released
  std::string closeFailure;  // CloseScript failed
  std::vector<DocumentOutcome> documents;
  std::vector<LogEntry> sessionLog;  // log entries made outside ReleaseDoc
  std::string logWriteFailure;       // the error log could not be written

  std::size_t Released() const;
  bool AllReleased() const;
};

class ReleaseObserver {
 public:
  virtual ~ReleaseObserver() = default;
  virtual void DocumentStarting(std::size_t /*position*/, std::size_t /*total*/) {}
  virtual void DocumentDone(const DocumentOutcome& /*outcome*/, std::size_t /*total*/) {}
};

struct ReleaseOptions {
  const LogFile* errorLog = nullptr;    // every LogError
  const LogFile* messageLog = nullptr;  // every SendMessage
  ReleaseObserver* observer = nullptr;
  // False keeps only each document's result once the observer has seen it, so a long batch does not
  // gather every message in memory.
  bool keepOutcomes = true;
};

// Releases every document of the batch through `script`. The batch must have been checked against the class.
ReleaseReport ReleaseBatch(const DocumentClass& documentClass, const Batch& batch, IKfxReleaseScript* script,
                           const ReleaseOptions& options);

}  // namespace capture
