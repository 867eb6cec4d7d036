#include "capture/model.h"

#include "platform/com/utf.h"

namespace capture {

const IndexFieldDef* DocumentClass::FindIndexField(std::u16string_view fieldName) const {
  for (const IndexFieldDef& f : indexFields)
    if (f.name == fieldName) return &f;
  return nullptr;
}

bool DocumentClass::HasTable(std::u16string_view table) const {
  if (table.empty()) return false;
  for (const IndexFieldDef& f : indexFields)
    if (f.table == table) return true;
  return false;
}

std::vector<std::u16string> DefaultValueNames() {
  return {u"Batch Class Name",
          u"Batch Creation Date",
          u"Batch Creation Time",
          u"Batch Description",
          u"Batch ID",
          u"Batch Name",
          u"Document Class Name",
          u"Document ID",
          u"First Page Original File Name",
          u"Release Date",
          u"Release Time",
          u"Scan Operator's User ID",
          u"Site ID",
          u"Site Name",
          u"Station ID",
          u"User ID",
          u"User Name"};
}

std::u16string DocumentLabel(const BatchDocument& document, std::size_t position) {
  if (!document.name.empty()) return document.name;
  if (!document.originalFileName.empty()) return document.originalFileName;
  return u"document " + Utf8ToUtf16(std::to_string(position));
}

}  // namespace capture
