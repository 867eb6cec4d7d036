// The platform's release object model, implemented by the capture host: what a connector is handed for each
// document (IReleaseData and its collections) and for the setup of a document class (IReleaseSetupData).
// Collections count from 1; a position or name they do not hold gives DISP_E_BADINDEX.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "capture/model.h"
#include "host/kofax.h"

namespace capture {

// What a connector tells the platform through a document's IReleaseData.
class ReleaseEvents {
 public:
  virtual ~ReleaseEvents() = default;
  virtual void LogError(LONG err1, LONG err2, LONG err3, std::u16string_view message, std::u16string_view module,
                        LONG line) = 0;
  virtual void SendMessage(std::u16string_view message, LONG errorNumber, LONG infoRet) = 0;
};

// One value of a document: what one link resolved to.
struct DocumentValue {
  std::u16string destination;
  std::u16string value;
  std::u16string sourceName;
  LONG sourceType = KFX_REL_INDEXFIELD;
  std::u16string tableName;          // the table of a table field, else empty
  std::vector<std::u16string> rows;  // a table field's text per row
  bool operator==(const DocumentValue&) const = default;
};

// Everything IReleaseData presents for one document.
struct ReleaseDocument {
  std::u16string name;  // the export connector instance name
  std::u16string kofaxPdfFileName;
  std::u16string connectString;
  std::u16string userName;
  std::u16string password;
  std::vector<PropertyDef> customProperties;
  std::vector<DocumentValue> values;
};

// IValue over one value; its RowValues collection holds one IValue per row (Value = the row's text).
CComPtr<IValue> MakeValue(DocumentValue value);
// IValues: Item by 1-based position (any integer VARIANT) or by destination (first match); Count.
CComPtr<IValues> MakeValues(std::vector<DocumentValue> values);
// IRowValues of a value: Item by 1-based row, Count.
CComPtr<IRowValues> MakeRowValues(const DocumentValue& value);
// ICustomProperties: Item by name (case-sensitive) or position; Add refuses a name that exists; Remove by
// name or position. Items are live: ICustomProperty::put_Value changes the collection.
CComPtr<ICustomProperties> MakeCustomProperties(std::vector<PropertyDef> properties);
// ILinks: Item by position; Add (types 0 to 3 only), Remove by position, RemoveAll.
CComPtr<ILinks> MakeLinks(std::vector<LinkDef> links);
// IIndexFields: Item by position or by name.
CComPtr<IIndexFields> MakeIndexFields(std::vector<IndexFieldDef> fields);
// The platform's value names; answers both batch variable names interfaces.
CComPtr<IDispatch> MakeBatchVariableNames(std::vector<std::u16string> names);
// A snapshot enumerator.
CComPtr<IEnumVARIANT> MakeEnumVariant(std::vector<CComVariant> items);

// Reads a collection made by this host back into plain data (empty for anything else).
std::vector<PropertyDef> ReadCustomProperties(ICustomProperties* properties);
std::vector<LinkDef> ReadLinks(ILinks* links);

// The document data of one document. Reports go to `events`, which the object keeps alive.
CComPtr<IReleaseData> MakeReleaseData(ReleaseDocument document, std::shared_ptr<ReleaseEvents> events);

// Commits a document class's edited settings; false when they could not be stored.
using ApplyFunction = std::function<bool(const DocumentClass&)>;
// The setup data of a document class: Name, ConnectString, UserName, Password, CustomProperties and Links
// edit a copy of the class; Apply hands the edited class to `apply` (S_OK when it stored them). Without
// Apply nothing leaves the object.
CComPtr<IReleaseSetupData> MakeReleaseSetupData(DocumentClass documentClass, ApplyFunction apply);

}  // namespace capture
