// Turning a document class's links into a document's values, as the platform does when it releases a
// document: one value per stored link, in link order, each carrying the link's destination.
#pragma once

#include <string>
#include <vector>

#include "capture/host_objects.h"
#include "capture/model.h"

namespace capture {

// A platform value of a document: the document's own values first, then the batch's, then the ones the
// host knows itself ("Batch Class Name", "Batch Name", "Document Class Name", "Document ID",
// "First Page Original File Name"). Empty and `found` false when there is none.
std::u16string PlatformValue(const DocumentClass& documentClass, const Batch& batch, std::size_t documentIndex,
                             std::u16string_view name, bool* found = nullptr);

// The values of document `documentIndex` (0-based):
//  index field   -> the document's value of the field; a table field gives TableName and one row value per
//                   row of its table (Value is the first row's text);
//  text constant -> the constant;
//  platform value -> PlatformValue;
//  batch field   -> the batch's value of the field.
// What the document does not have resolves to an empty text.
std::vector<DocumentValue> ResolveLinks(const DocumentClass& documentClass, const Batch& batch,
                                        std::size_t documentIndex);

// Everything the document data of that document presents.
ReleaseDocument MakeReleaseDocument(const DocumentClass& documentClass, const Batch& batch,
                                    std::size_t documentIndex);

// The same for a document handed over on its own: `batch` gives the batch's own members (its documents are not
// used), `documentIndex` the document's place in the batch.
std::u16string PlatformValue(const DocumentClass& documentClass, const Batch& batch, const BatchDocument& document,
                             std::size_t documentIndex, std::u16string_view name, bool* found = nullptr);
std::vector<DocumentValue> ResolveLinks(const DocumentClass& documentClass, const Batch& batch,
                                        const BatchDocument& document, std::size_t documentIndex);
ReleaseDocument MakeReleaseDocument(const DocumentClass& documentClass, const Batch& batch,
                                    const BatchDocument& document, std::size_t documentIndex);

}  // namespace capture
