// Batch files and document-class files in JSON. Every fault is reported with its place: the file and the
// line and column for a syntax error, the file and the JSON path (/documents/2/indexFields/Vendor) for a
// member that is missing, unknown or of the wrong kind.
#pragma once

#include <string>
#include <string_view>

#include "capture/model.h"

namespace capture {

// Reads a batch file; `error` gets the place and the fault when it cannot be used.
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
