// What the capture host keeps and reads: document classes and batches.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "host/kofax.h"

namespace capture {

inline constexpr char16_t kDefaultConnectorProgId[] = u"qorvena.QorvenExportConnector";

struct IndexFieldDef {
  std::u16string name;
  std::u16string table;  // the table field's table; empty for a field of the document itself
  bool operator==(const IndexFieldDef&) const = default;
};

struct LinkDef {
  std::u16string source;
  LONG sourceType = KFX_REL_INDEXFIELD;
  std::u16string destination;
  bool operator==(const LinkDef&) const = default;
};

struct PropertyDef {
  std::u16string name;
  std::u16string value;
  bool operator==(const PropertyDef&) const = default;
};

// One document class with its export settings, as the platform keeps it.
struct DocumentClass {
  std::u16string name;
  std::u16string batchClassName;
  std::u16string instanceName;  // the export connector instance name
  std::u16string serverName;    // handed to the connector as ConnectString
  std::u16string userName;
  std::u16string password;
  std::vector<PropertyDef> customProperties;  // in the order they were added
  std::vector<LinkDef> links;                 // in the order they were added
  std::vector<IndexFieldDef> indexFields;
  std::vector<std::u16string> batchFields;
  std::vector<std::u16string> valueNames;  // the platform's value names offered to the setup
  std::u16string connectorProgId = kDefaultConnectorProgId;

  const IndexFieldDef* FindIndexField(std::u16string_view fieldName) const;
  bool HasTable(std::u16string_view table) const;
  bool operator==(const DocumentClass&) const = default;
};

// The platform's value names a new class offers.
std::vector<std::u16string> DefaultValueNames();

using TextMap = std::map<std::u16string, std::u16string>;
using TableRows = std::vector<TextMap>;  // one map of field name to text per row

struct BatchDocument {
  std::u16string name;              // a label for people; may be empty
  std::u16string kofaxPdfFileName;  // the document's PDF, as the platform names it
  std::u16string originalFileName;  // the first page's original file name
  TextMap indexFields;              // fields of the document itself
  std::map<std::u16string, TableRows> tables;
  TextMap values;  // platform values of this document
};

struct Batch {
  std::string file;  // where it was read from
  std::u16string name;
  std::u16string batchClass;  // may be empty
  std::u16string documentClass;
  TextMap batchFields;
  TextMap values;  // platform values shared by every document
  std::vector<BatchDocument> documents;
};

// A document's label for people: its name, else its original file, else its position.
std::u16string DocumentLabel(const BatchDocument& document, std::size_t position);

}  // namespace capture
