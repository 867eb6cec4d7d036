// Batch files and document-class files in JSON. Every fault is reported with its place: the file and the
// line and column for a syntax error, the file and the JSON path (/documents/2/indexFields/Vendor) for a
// member that is missing, unknown or of the wrong kind.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "capture/model.h"

namespace capture {

// A batch file read document by document: only the batch's own members and one document are held in memory at
// a time, so a batch of any length can be released. Open reads the whole file once, checking its syntax, its
// members and every document's form; each further pass reads the documents again.
class BatchReader {
 public:
  BatchReader();
  ~BatchReader();
  BatchReader(const BatchReader&) = delete;
  BatchReader& operator=(const BatchReader&) = delete;

  // `error` gets the place and the fault when the file cannot be used.
  bool Open(const std::string& path, std::string* error);
  // Same over a text that stays alive as long as the reader; `sourceName` names it in messages.
  bool OpenText(std::string_view text, const std::string& sourceName, std::string* error);

  // The batch without its documents.
  const Batch& Header() const;
  std::size_t DocumentCount() const;
  // Every document against the class that releases it (a pass over the documents).
  bool CheckAgainstClass(const DocumentClass& documentClass, std::string* error) const;
  // Hands the documents to `visit` one at a time, in order, with their 0-based index (a pass over the
  // documents). False when the source can no longer be read as it was when opened.
  bool ForEachDocument(const std::function<void(std::size_t index, const BatchDocument& document)>& visit,
                       std::string* error) const;

 private:
  bool Load(std::string* error);

  struct Source;
  std::unique_ptr<Source> source_;
  Batch header_;
  std::size_t count_ = 0;
};

// Reads a whole batch file; `error` gets the place and the fault when it cannot be used.
bool ReadBatchFile(const std::string& path, Batch& batch, std::string* error);
// Same from text; `sourceName` names the text in messages.
bool ParseBatch(std::string_view text, const std::string& sourceName, Batch& batch, std::string* error);
// The batch's documents against the class that releases them: index fields, tables and table fields, batch
// fields must be the class's own; the batch class, when both name one, must match.
bool CheckBatchAgainstClass(const Batch& batch, const DocumentClass& documentClass, std::string* error);

bool ReadClassFile(const std::string& path, DocumentClass& documentClass, std::string* error);
bool ParseClass(std::string_view text, const std::string& sourceName, DocumentClass& documentClass,
                std::string* error);
// The class's settings, links and definitions as a class file (the password included, as typed).
std::string ClassToJson(const DocumentClass& documentClass);

// "indexField", "textConstant", "platformValue", "batchField"; the number for any other type.
std::string SourceTypeName(LONG sourceType);

}  // namespace capture
