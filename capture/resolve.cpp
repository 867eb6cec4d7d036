#include "capture/resolve.h"

#include "platform/com/utf.h"

namespace capture {

namespace {

std::u16string Lookup(const TextMap& map, std::u16string_view name, bool* found) {
  auto it = map.find(std::u16string(name));
  if (found) *found = it != map.end();
  return it != map.end() ? it->second : std::u16string();
}

}  // namespace

std::u16string PlatformValue(const DocumentClass& c, const Batch& batch, std::size_t documentIndex,
                             std::u16string_view name, bool* found) {
  return PlatformValue(c, batch, batch.documents.at(documentIndex), documentIndex, name, found);
}

std::u16string PlatformValue(const DocumentClass& c, const Batch& batch, const BatchDocument& doc,
                             std::size_t documentIndex, std::u16string_view name, bool* found) {
  bool hit = false;
  std::u16string value = Lookup(doc.values, name, &hit);
  if (!hit) value = Lookup(batch.values, name, &hit);
  if (!hit) {
    hit = true;
    if (name == u"Batch Class Name") value = batch.batchClass.empty() ? c.batchClassName : batch.batchClass;
    else if (name == u"Batch Name") value = batch.name;
    else if (name == u"Document Class Name") value = c.name;
    else if (name == u"Document ID") value = Utf8ToUtf16(std::to_string(documentIndex + 1));
    else if (name == u"First Page Original File Name") value = doc.originalFileName;
    else hit = false;
  }
  if (found) *found = hit;
  return value;
}

std::vector<DocumentValue> ResolveLinks(const DocumentClass& c, const Batch& batch, std::size_t documentIndex) {
  return ResolveLinks(c, batch, batch.documents.at(documentIndex), documentIndex);
}

std::vector<DocumentValue> ResolveLinks(const DocumentClass& c, const Batch& batch, const BatchDocument& doc,
                                        std::size_t documentIndex) {
  std::vector<DocumentValue> values;
  values.reserve(c.links.size());
  for (const LinkDef& link : c.links) {
    DocumentValue v;
    v.destination = link.destination;
    v.sourceName = link.source;
    v.sourceType = link.sourceType;
    switch (link.sourceType) {
      case KFX_REL_INDEXFIELD: {
        const IndexFieldDef* field = c.FindIndexField(link.source);
        if (field && !field->table.empty()) {
          v.tableName = field->table;
          if (auto t = doc.tables.find(field->table); t != doc.tables.end())
            for (const TextMap& row : t->second) v.rows.push_back(Lookup(row, link.source, nullptr));
          if (!v.rows.empty()) v.value = v.rows.front();
        } else {
          v.value = Lookup(doc.indexFields, link.source, nullptr);
        }
        break;
      }
      case KFX_REL_TEXTCONSTANT: v.value = link.source; break;
      case KFX_REL_VARIABLE: v.value = PlatformValue(c, batch, doc, documentIndex, link.source); break;
      case KFX_REL_BATCHFIELD: v.value = Lookup(batch.batchFields, link.source, nullptr); break;
      default: break;
    }
    values.push_back(std::move(v));
  }
  return values;
}

ReleaseDocument MakeReleaseDocument(const DocumentClass& c, const Batch& batch, std::size_t documentIndex) {
  return MakeReleaseDocument(c, batch, batch.documents.at(documentIndex), documentIndex);
}

ReleaseDocument MakeReleaseDocument(const DocumentClass& c, const Batch& batch, const BatchDocument& doc,
                                    std::size_t documentIndex) {
  ReleaseDocument d;
  d.name = c.instanceName;
  d.kofaxPdfFileName = doc.kofaxPdfFileName;
  d.connectString = c.serverName;
  d.userName = c.userName;
  d.password = c.password;
  d.customProperties = c.customProperties;
  d.values = ResolveLinks(c, batch, doc, documentIndex);
  return d;
}

}  // namespace capture
