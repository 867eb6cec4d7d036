// Releasing a batch through an export connector, the way the platform's release module does: the first
// document's data is put and OpenScript called; then for each document its data is put and ReleaseDoc
// called; CloseScript at the end. What the connector logs and sends is recorded per document.
#pragma once

#include <memory>
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
  std::string readFailure;   // the batch could not be read to its end: the documents after it were not released
  std::size_t total = 0;     // documents in the batch
  std::size_t released = 0;  // of them released
  std::vector<DocumentOutcome> documents;  // every document's outcome, unless ReleaseOptions::keepOutcomes is false
  std::vector<LogEntry> sessionLog;  // log entries made outside ReleaseDoc
  std::string logWriteFailure;       // the error log could not be written

  std::size_t Released() const { return released; }
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
  // False keeps no document's outcome once the observer has seen it, only the counts, so that memory stays the
  // same however long the batch.
  bool keepOutcomes = true;
};

// Releases documents one at a time as they are handed over, so that a batch need not be in memory as a whole.
// The first document's data is put before OpenScript; CloseScript comes with Finish.
class BatchRelease {
 public:
  // `batch` gives the batch's own members (its documents are not used; nothing of it is kept by reference);
  // `total` is how many documents follow.
  BatchRelease(const DocumentClass& documentClass, const Batch& batch, std::size_t total, IKfxReleaseScript* script,
               const ReleaseOptions& options);
  ~BatchRelease();
  BatchRelease(const BatchRelease&) = delete;
  BatchRelease& operator=(const BatchRelease&) = delete;

  // The next document (positions count from 1 in the order of the calls).
  void Release(const BatchDocument& document);
  // The batch could not be read to its end.
  void ReadFailed(std::string failure);
  // Closes the connector and gives the report; the object is done with.
  ReleaseReport Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Releases every document of the batch through `script`. The batch must have been checked against the class.
ReleaseReport ReleaseBatch(const DocumentClass& documentClass, const Batch& batch, IKfxReleaseScript* script,
                           const ReleaseOptions& options);

}  // namespace capture
