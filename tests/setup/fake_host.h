// An in-memory document class as the platform hands it to the setup: names, credentials, custom properties,
// links, index fields and value names, with a journal of every call and a count of Apply.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/kofax.h"
#include "platform/com/guid.h"
#include "platform/com/utf.h"

namespace fakehost {

using Journal = std::vector<std::string>;

inline std::string Narrow(std::u16string_view text) { return Utf16ToUtf8(text); }
inline std::string Narrow(BSTR text) { return Utf16ToUtf8(BstrView(text)); }

// A new reference to one of our objects, through the interface the caller asked for.
template <class I, class T>
HRESULT Hand(const CComPtr<T>& object, I** out) {
  *out = object.get();
  if (*out) (*out)->AddRef();
  return S_OK;
}

struct LinkRecord {
  std::u16string source;
  LONG sourceType;
  std::u16string destination;
  bool operator==(const LinkRecord&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const LinkRecord& r) {
  return os << "(" << Narrow(r.source) << ", " << r.sourceType << ", " << Narrow(r.destination) << ")";
}

class FakeLink : public ComObject<NoDispatch<ILink>> {
 public:
  explicit FakeLink(LinkRecord record) : record_(std::move(record)) {}
  HRESULT get_Source(BSTR* source) override {
    *source = SysAllocString(record_.source);
    return S_OK;
  }
  HRESULT get_SourceType(LONG* type) override {
    *type = record_.sourceType;
    return S_OK;
  }
  HRESULT get_Destination(BSTR* destination) override {
    *destination = SysAllocString(record_.destination);
    return S_OK;
  }

 private:
  LinkRecord record_;
};

class FakeLinks : public ComObject<NoDispatch<ILinks>> {
 public:
  explicit FakeLinks(Journal& journal) : journal_(journal) {}
  std::vector<LinkRecord> links;

  HRESULT get_Item(VARIANT index, ILink** item) override {
    if (index.vt != VT_I4 || index.lVal < 1 || index.lVal > static_cast<LONG>(links.size())) return E_INVALIDARG;
    return Hand(MakeComObject<FakeLink>(links[static_cast<size_t>(index.lVal - 1)]), item);
  }
  HRESULT get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(links.size());
    return S_OK;
  }
  HRESULT Add(BSTR source, LONG sourceType, BSTR destination, ILink** item) override {
    journal_.push_back("Links.Add " + Narrow(source) + "," + std::to_string(sourceType) + "," + Narrow(destination));
    links.push_back({BstrToString(source), sourceType, BstrToString(destination)});
    if (item) return Hand(MakeComObject<FakeLink>(links.back()), item);
    return S_OK;
  }
  HRESULT Remove(VARIANT) override { return E_NOTIMPL; }
  HRESULT RemoveAll() override {
    journal_.push_back("Links.RemoveAll");
    links.clear();
    return S_OK;
  }

 private:
  Journal& journal_;
};

class FakeCustomProperty : public ComObject<NoDispatch<ICustomProperty>> {
 public:
  FakeCustomProperty(std::u16string name, std::u16string value) : name_(std::move(name)), value_(std::move(value)) {}
  HRESULT get_Name(BSTR* name) override {
    *name = SysAllocString(name_);
    return S_OK;
  }
  HRESULT get_Value(BSTR* value) override {
    *value = SysAllocString(value_);
    return S_OK;
  }
  HRESULT put_Value(BSTR) override { return E_NOTIMPL; }

 private:
  std::u16string name_, value_;
};

class FakeCustomProperties : public ComObject<NoDispatch<ICustomProperties>> {
 public:
  explicit FakeCustomProperties(Journal& journal) : journal_(journal) {}
  std::map<std::u16string, std::u16string> values;

  HRESULT get_Item(VARIANT index, ICustomProperty** item) override {
    const std::u16string name = VariantToString(index);
    journal_.push_back("CustomProperties.Item " + Narrow(name));
    auto it = values.find(name);
    if (index.vt != VT_BSTR || it == values.end()) return E_INVALIDARG;
    return Hand(MakeComObject<FakeCustomProperty>(it->first, it->second), item);
  }
  HRESULT get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(values.size());
    return S_OK;
  }
  HRESULT Add(BSTR name, BSTR value, ICustomProperty** item) override {
    journal_.push_back("CustomProperties.Add " + Narrow(name) + "=" + Narrow(value));
    if (values.count(BstrToString(name))) return E_INVALIDARG;
    values[BstrToString(name)] = BstrToString(value);
    if (item) return Hand(MakeComObject<FakeCustomProperty>(BstrToString(name), BstrToString(value)), item);
    return S_OK;
  }
  HRESULT Remove(VARIANT index) override {
    const std::u16string name = VariantToString(index);
    journal_.push_back("CustomProperties.Remove " + Narrow(name));
    return values.erase(name) ? S_OK : E_INVALIDARG;
  }

 private:
  Journal& journal_;
};

class FakeIndexField : public ComObject<NoDispatch<IIndexField>> {
 public:
  explicit FakeIndexField(std::u16string name) : name_(std::move(name)) {}
  HRESULT get_Name(BSTR* name) override {
    *name = SysAllocString(name_);
    return S_OK;
  }
  HRESULT get_TableName(BSTR* table) override {
    *table = nullptr;
    return S_OK;
  }

 private:
  std::u16string name_;
};

class FakeIndexFields : public ComObject<NoDispatch<IIndexFields>> {
 public:
  explicit FakeIndexFields(Journal& journal) : journal_(journal) {}
  std::vector<std::u16string> names;

  HRESULT get_Item(VARIANT index, IIndexField** item) override {
    journal_.push_back("IndexFields.Item " + std::to_string(index.vt == VT_I4 ? index.lVal : -999));
    if (index.vt != VT_I4 || index.lVal < 1 || index.lVal > static_cast<LONG>(names.size())) return E_INVALIDARG;
    return Hand(MakeComObject<FakeIndexField>(names[static_cast<size_t>(index.lVal - 1)]), item);
  }
  HRESULT get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(names.size());
    return S_OK;
  }

 private:
  Journal& journal_;
};

// Walks a list of VARIANTs one by one.
class FakeEnumVariant : public ComObject<IEnumVARIANT> {
 public:
  explicit FakeEnumVariant(std::vector<CComVariant> items) : items_(std::move(items)) {}
  HRESULT Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    ULONG n = 0;
    while (n < count && pos_ < items_.size()) {
      VariantInit(&out[n]);
      VariantCopy(&out[n], &items_[pos_++]);
      ++n;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    pos_ += count;
    return pos_ <= items_.size() ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

 private:
  std::vector<CComVariant> items_;
  size_t pos_ = 0;
};

// The value-name collection in either version; it notes which interfaces were asked for.
template <class Names>
class FakeNames : public ComObject<NoDispatch<Names>> {
 public:
  FakeNames(Journal& journal, std::vector<CComVariant> items) : journal_(journal), items_(std::move(items)) {}
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    journal_.push_back("BatchVariableNames.QueryInterface " + Narrow(GuidToString(riid)));
    return ComObject<NoDispatch<Names>>::QueryInterface(riid, ppv);
  }
  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(items_.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT, BSTR*) override { return E_NOTIMPL; }
  HRESULT get__NewEnum(IUnknown** enumerator) override {
    journal_.push_back("BatchVariableNames._NewEnum");
    CComPtr<FakeEnumVariant> e = MakeComObject<FakeEnumVariant>(items_);
    *enumerator = static_cast<IUnknown*>(e.get());
    e->AddRef();
    return S_OK;
  }

 private:
  Journal& journal_;
  std::vector<CComVariant> items_;
};

// A dispatch object that is neither version of the collection.
class FakeOtherDispatch : public ComObject<NoDispatch<IDispatch>> {};

inline std::vector<CComVariant> TextItems(const std::vector<std::u16string>& names) {
  std::vector<CComVariant> items;
  for (const auto& name : names) items.emplace_back(std::u16string_view(name));
  return items;
}

class FakeSetupData : public ComObject<NoDispatch<IReleaseSetupData>> {
 public:
  FakeSetupData()
      : links(MakeComObject<FakeLinks>(journal)),
        properties(MakeComObject<FakeCustomProperties>(journal)),
        indexFields(MakeComObject<FakeIndexFields>(journal)) {}

  // Value names offered through the newer collection (the usual case).
  void SetValueNames(const std::vector<std::u16string>& names) {
    variableNames = MakeComObject<FakeNames<IBatchVariableNames2>>(journal, TextItems(names));
  }

  Journal journal;
  std::u16string name, connectString, userName, password;
  std::u16string batchClassName = u"Invoices", docClassName = u"Supplier Invoice";
  CComPtr<FakeLinks> links;
  CComPtr<FakeCustomProperties> properties;
  CComPtr<FakeIndexFields> indexFields;
  CComPtr<IDispatch> variableNames;
  std::set<std::string> failing;  // names of the calls that fail
  int applyCount = 0;

  HRESULT get_Name(BSTR* v) override { return Get("Name", name, v); }
  HRESULT put_Name(BSTR v) override { return Put("Name", name, v); }
  HRESULT get_ConnectString(BSTR* v) override { return Get("ConnectString", connectString, v); }
  HRESULT put_ConnectString(BSTR v) override { return Put("ConnectString", connectString, v); }
  HRESULT get_UserName(BSTR* v) override { return Get("UserName", userName, v); }
  HRESULT put_UserName(BSTR v) override { return Put("UserName", userName, v); }
  HRESULT get_Password(BSTR* v) override { return Get("Password", password, v); }
  HRESULT put_Password(BSTR v) override { return Put("Password", password, v); }
  HRESULT get_BatchClassName(BSTR* v) override { return Get("BatchClassName", batchClassName, v); }
  HRESULT get_DocClassName(BSTR* v) override { return Get("DocClassName", docClassName, v); }
  HRESULT get_CustomProperties(ICustomProperties** v) override {
    journal.push_back("get CustomProperties");
    if (failing.count("CustomProperties")) return E_FAIL;
    return Hand(properties, v);
  }
  HRESULT get_Links(ILinks** v) override {
    journal.push_back("get Links");
    if (failing.count("Links")) return E_FAIL;
    return Hand(links, v);
  }
  HRESULT get_IndexFields(IIndexFields** v) override {
    journal.push_back("get IndexFields");
    if (failing.count("IndexFields")) return E_FAIL;
    return Hand(indexFields, v);
  }
  HRESULT get_BatchVariableNames(IDispatch** v) override {
    journal.push_back("get BatchVariableNames");
    if (failing.count("BatchVariableNames") || !variableNames) return E_FAIL;
    return variableNames.CopyTo(v);
  }
  HRESULT Apply() override {
    journal.push_back("Apply");
    ++applyCount;
    return S_OK;
  }

  // Calls that change what the host keeps.
  Journal Writes() const {
    Journal writes;
    for (const std::string& call : journal) {
      if (call.rfind("put ", 0) == 0 || call.rfind("Links.Add", 0) == 0 || call == "Links.RemoveAll" ||
          call.rfind("CustomProperties.Add", 0) == 0 || call.rfind("CustomProperties.Remove", 0) == 0 ||
          call == "Apply") {
        writes.push_back(call);
      }
    }
    return writes;
  }

 private:
  HRESULT Get(const char* what, const std::u16string& value, BSTR* out) {
    journal.push_back(std::string("get ") + what);
    if (failing.count(what)) return E_FAIL;
    *out = SysAllocString(value);
    return S_OK;
  }
  HRESULT Put(const char* what, std::u16string& value, BSTR in) {
    journal.push_back(std::string("put ") + what + "=" + Narrow(in));
    if (failing.count(what)) return E_FAIL;
    value = BstrToString(in);
    return S_OK;
  }
};

}  // namespace fakehost
