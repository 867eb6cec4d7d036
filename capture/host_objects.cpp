#include "capture/host_objects.h"

#include <memory>
#include <optional>

namespace capture {

namespace {

// A collection key: a 1-based position (any integer VARIANT) or a name (a text VARIANT).
struct Key {
  std::optional<LONG> position;
  std::optional<std::u16string> name;
};

Key ParseKey(const VARIANT& v) {
  Key key;
  switch (v.vt) {
    case VT_BSTR: key.name = BstrToString(v.bstrVal); break;
    case VT_I1: case VT_I2: case VT_I4: case VT_INT: case VT_I8:
    case VT_UI1: case VT_UI2: case VT_UI4: case VT_UINT: case VT_UI8: {
      CComVariant n;
      if (SUCCEEDED(VariantChangeType(&n, &v, 0, VT_I4))) key.position = n.lVal;
      break;
    }
    default: break;
  }
  return key;
}

// The element at a 1-based position, or null.
template <class T>
T* At(std::vector<T>& items, const Key& key) {
  if (!key.position || *key.position < 1 || static_cast<std::size_t>(*key.position) > items.size()) return nullptr;
  return std::addressof(items[static_cast<std::size_t>(*key.position - 1)]);  // CComPtr overloads &
}

template <class I>
HRESULT Hand(CComPtr<I> object, I** out) {
  if (!out) return E_POINTER;
  *out = object.Detach();
  return S_OK;
}

HRESULT HandText(std::u16string_view text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocString(text);
  return *out ? S_OK : E_OUTOFMEMORY;
}

// ---- enumerator ----

class CEnumVariant final : public ComObject<IEnumVARIANT> {
 public:
  CEnumVariant(std::shared_ptr<const std::vector<CComVariant>> items, std::size_t next)
      : items_(std::move(items)), next_(next) {}

  HRESULT Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    if (fetched) *fetched = 0;
    if (count == 0) return S_OK;
    if (!out) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG n = 0;
    while (n < count && next_ < items_->size()) {
      VariantInit(&out[n]);
      if (HRESULT hr = VariantCopy(&out[n], &(*items_)[next_]); FAILED(hr)) {
        for (ULONG i = 0; i < n; ++i) VariantClear(&out[i]);
        return hr;
      }
      ++n;
      ++next_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG count) override {
    std::size_t left = items_->size() - next_;
    next_ += std::min<std::size_t>(count, left);
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT Clone(IEnumVARIANT** copy) override {
    return Hand(CComPtr<IEnumVARIANT>(new CEnumVariant(items_, next_)), copy);
  }

 private:
  std::shared_ptr<const std::vector<CComVariant>> items_;
  std::size_t next_;
};

HRESULT HandEnum(std::vector<CComVariant> items, IUnknown** out) {
  if (!out) return E_POINTER;
  *out = MakeEnumVariant(std::move(items)).Detach();
  return S_OK;
}

// ---- values ----

class CRowValues;

class CValue final : public ComObject<NoDispatch<IValue>> {
 public:
  explicit CValue(DocumentValue v) : v_(std::move(v)) {}
  HRESULT get_Destination(BSTR* out) override { return HandText(v_.destination, out); }
  HRESULT get_Value(BSTR* out) override { return HandText(v_.value, out); }
  HRESULT get_SourceName(BSTR* out) override { return HandText(v_.sourceName, out); }
  HRESULT get_SourceType(LONG* out) override {
    if (!out) return E_POINTER;
    *out = v_.sourceType;
    return S_OK;
  }
  HRESULT get_TableName(BSTR* out) override { return HandText(v_.tableName, out); }
  // The key selects nothing: a value has one set of rows.
  HRESULT get_RowValues(VARIANT, IDispatch** rows) override {
    if (!rows) return E_POINTER;
    *rows = MakeRowValues(v_).Detach();
    return S_OK;
  }

 private:
  DocumentValue v_;
};

class CRowValues final : public ComObject<NoDispatch<IRowValues>> {
 public:
  explicit CRowValues(const DocumentValue& v) {
    for (const std::u16string& text : v.rows) {
      DocumentValue row{v.destination, text, v.sourceName, v.sourceType, v.tableName, {}};
      rows_.push_back(MakeValue(std::move(row)));
    }
  }
  HRESULT get_Item(VARIANT index, IValue** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    CComPtr<IValue>* row = At(rows_, ParseKey(index));
    if (!row) return DISP_E_BADINDEX;
    return row->CopyTo(item);
  }
  HRESULT get__NewEnum(IUnknown** out) override {
    std::vector<CComVariant> items;
    for (auto& r : rows_) items.emplace_back(static_cast<IDispatch*>(r.get()));
    return HandEnum(std::move(items), out);
  }
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(rows_.size());
    return S_OK;
  }

 private:
  std::vector<CComPtr<IValue>> rows_;
};

class CValues final : public ComObject<NoDispatch<IValues>> {
 public:
  explicit CValues(std::vector<DocumentValue> values) {
    for (DocumentValue& v : values) {
      destinations_.push_back(v.destination);
      items_.push_back(MakeValue(std::move(v)));
    }
  }
  HRESULT get_Item(VARIANT index, IValue** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    Key key = ParseKey(index);
    if (key.name) {
      for (std::size_t i = 0; i < items_.size(); ++i)
        if (destinations_[i] == *key.name) return items_[i].CopyTo(item);
      return DISP_E_BADINDEX;
    }
    CComPtr<IValue>* value = At(items_, key);
    if (!value) return DISP_E_BADINDEX;
    return value->CopyTo(item);
  }
  HRESULT get__NewEnum(IUnknown** out) override {
    std::vector<CComVariant> items;
    for (auto& v : items_) items.emplace_back(static_cast<IDispatch*>(v.get()));
    return HandEnum(std::move(items), out);
  }
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(items_.size());
    return S_OK;
  }

 private:
  std::vector<std::u16string> destinations_;
  std::vector<CComPtr<IValue>> items_;
};

// ---- custom properties ----

struct PropertyEntry {
  std::u16string name;
  std::u16string value;
};
using PropertyList = std::vector<std::shared_ptr<PropertyEntry>>;

class CCustomProperty final : public ComObject<NoDispatch<ICustomProperty>> {
 public:
  explicit CCustomProperty(std::shared_ptr<PropertyEntry> entry) : entry_(std::move(entry)) {}
  HRESULT get_Name(BSTR* out) override { return HandText(entry_->name, out); }
  HRESULT get_Value(BSTR* out) override { return HandText(entry_->value, out); }
  HRESULT put_Value(BSTR value) override {
    entry_->value = BstrToString(value);
    return S_OK;
  }

 private:
  std::shared_ptr<PropertyEntry> entry_;
};

class CCustomProperties final : public ComObject<NoDispatch<ICustomProperties>> {
 public:
  explicit CCustomProperties(std::shared_ptr<PropertyList> list) : list_(std::move(list)) {}

  HRESULT get_Item(VARIANT index, ICustomProperty** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    auto entry = Find(ParseKey(index));
    if (entry == list_->end()) return DISP_E_BADINDEX;
    return Hand(CComPtr<ICustomProperty>(new CCustomProperty(*entry)), item);
  }
  HRESULT get__NewEnum(IUnknown** out) override {
    std::vector<CComVariant> items;
    for (auto& e : *list_) {
      CComPtr<ICustomProperty> p(new CCustomProperty(e));
      items.emplace_back(static_cast<IDispatch*>(p.get()));
    }
    return HandEnum(std::move(items), out);
  }
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(list_->size());
    return S_OK;
  }
  HRESULT Add(BSTR name, BSTR value, ICustomProperty** item) override {
    if (item) *item = nullptr;
    Key key;
    key.name = BstrToString(name);
    if (key.name->empty()) return E_INVALIDARG;
    if (Find(key) != list_->end()) return E_INVALIDARG;
    auto entry = std::make_shared<PropertyEntry>(PropertyEntry{*key.name, BstrToString(value)});
    list_->push_back(entry);
    if (item) *item = CComPtr<ICustomProperty>(new CCustomProperty(entry)).Detach();
    return S_OK;
  }
  HRESULT Remove(VARIANT index) override {
    auto entry = Find(ParseKey(index));
    if (entry == list_->end()) return DISP_E_BADINDEX;
    list_->erase(entry);
    return S_OK;
  }

 private:
  PropertyList::iterator Find(const Key& key) {
    if (key.name) {
      for (auto it = list_->begin(); it != list_->end(); ++it)
        if ((*it)->name == *key.name) return it;
      return list_->end();
    }
    if (!key.position || *key.position < 1 || static_cast<std::size_t>(*key.position) > list_->size())
      return list_->end();
    return list_->begin() + (*key.position - 1);
  }

  std::shared_ptr<PropertyList> list_;
};

std::shared_ptr<PropertyList> ToPropertyList(std::vector<PropertyDef> properties) {
  auto list = std::make_shared<PropertyList>();
  for (PropertyDef& p : properties)
    list->push_back(std::make_shared<PropertyEntry>(PropertyEntry{std::move(p.name), std::move(p.value)}));
  return list;
}

// ---- links ----

class CLink final : public ComObject<NoDispatch<ILink>> {
 public:
  explicit CLink(LinkDef link) : link_(std::move(link)) {}
  HRESULT get_Source(BSTR* out) override { return HandText(link_.source, out); }
  HRESULT get_SourceType(LONG* out) override {
    if (!out) return E_POINTER;
    *out = link_.sourceType;
    return S_OK;
  }
  HRESULT get_Destination(BSTR* out) override { return HandText(link_.destination, out); }

 private:
  LinkDef link_;
};

class CLinks final : public ComObject<NoDispatch<ILinks>> {
 public:
  explicit CLinks(std::shared_ptr<std::vector<LinkDef>> links) : links_(std::move(links)) {}

  HRESULT get_Item(VARIANT index, ILink** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    LinkDef* link = At(*links_, ParseKey(index));
    if (!link) return DISP_E_BADINDEX;
    return Hand(CComPtr<ILink>(new CLink(*link)), item);
  }
  HRESULT get__NewEnum(IUnknown** out) override {
    std::vector<CComVariant> items;
    for (const LinkDef& l : *links_) {
      CComPtr<ILink> link(new CLink(l));
      items.emplace_back(static_cast<IDispatch*>(link.get()));
    }
    return HandEnum(std::move(items), out);
  }
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(links_->size());
    return S_OK;
  }
  HRESULT Add(BSTR source, LONG sourceType, BSTR destination, ILink** item) override {
    if (item) *item = nullptr;
    if (sourceType < KFX_REL_INDEXFIELD || sourceType > KFX_REL_BATCHFIELD) return E_INVALIDARG;
    links_->push_back({BstrToString(source), sourceType, BstrToString(destination)});
    if (item) *item = CComPtr<ILink>(new CLink(links_->back())).Detach();
    return S_OK;
  }
  HRESULT Remove(VARIANT index) override {
    Key key = ParseKey(index);
    if (!At(*links_, key)) return DISP_E_BADINDEX;
    links_->erase(links_->begin() + (*key.position - 1));
    return S_OK;
  }
  HRESULT RemoveAll() override {
    links_->clear();
    return S_OK;
  }

 private:
  std::shared_ptr<std::vector<LinkDef>> links_;
};

// ---- index fields ----

class CIndexField final : public ComObject<NoDispatch<IIndexField>> {
 public:
  explicit CIndexField(IndexFieldDef f) : f_(std::move(f)) {}
  HRESULT get_Name(BSTR* out) override { return HandText(f_.name, out); }
  HRESULT get_TableName(BSTR* out) override { return HandText(f_.table, out); }

 private:
  IndexFieldDef f_;
};

class CIndexFields final : public ComObject<NoDispatch<IIndexFields>> {
 public:
  explicit CIndexFields(std::vector<IndexFieldDef> fields) : fields_(std::move(fields)) {}
  HRESULT get_Item(VARIANT index, IIndexField** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    Key key = ParseKey(index);
    const IndexFieldDef* field = nullptr;
    if (key.name) {
      for (const IndexFieldDef& f : fields_)
        if (f.name == *key.name && !field) field = &f;
    } else {
      field = At(fields_, key);
    }
    if (!field) return DISP_E_BADINDEX;
    return Hand(CComPtr<IIndexField>(new CIndexField(*field)), item);
  }
  HRESULT get__NewEnum(IUnknown** out) override {
    std::vector<CComVariant> items;
    for (const IndexFieldDef& f : fields_) {
      CComPtr<IIndexField> field(new CIndexField(f));
      items.emplace_back(static_cast<IDispatch*>(field.get()));
    }
    return HandEnum(std::move(items), out);
  }
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(fields_.size());
    return S_OK;
  }

 private:
  std::vector<IndexFieldDef> fields_;
};

// ---- batch variable names: one object, both versions of the interface ----

class CBatchVariableNames final
    : public ComObject<NoDispatch<IBatchVariableNames2>, NoDispatch<IBatchVariableNames>> {
 public:
  explicit CBatchVariableNames(std::vector<std::u16string> names) : names_(std::move(names)) {}
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = static_cast<LONG>(names_.size());
    return S_OK;
  }
  HRESULT get_Item(VARIANT index, BSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    std::u16string* n = At(names_, ParseKey(index));
    if (!n) return DISP_E_BADINDEX;
    return HandText(*n, name);
  }
  HRESULT get__NewEnum(IUnknown** out) override {
    std::vector<CComVariant> items;
    for (const auto& n : names_) items.emplace_back(std::u16string_view(n));
    return HandEnum(std::move(items), out);
  }

 private:
  std::vector<std::u16string> names_;
};

// ---- document data ----

class CReleaseData final : public ComObject<NoDispatch<IReleaseData>> {
 public:
  CReleaseData(ReleaseDocument doc, std::shared_ptr<ReleaseEvents> events)
      : doc_(std::move(doc)),
        events_(std::move(events)),
        values_(MakeValues(std::move(doc_.values))),
        properties_(MakeCustomProperties(std::move(doc_.customProperties))) {}

  HRESULT get_Name(BSTR* out) override { return HandText(doc_.name, out); }
  HRESULT get_KofaxPDFFileName(BSTR* out) override { return HandText(doc_.kofaxPdfFileName, out); }
  HRESULT get_ConnectString(BSTR* out) override { return HandText(doc_.connectString, out); }
  HRESULT get_UserName(BSTR* out) override { return HandText(doc_.userName, out); }
  HRESULT get_Password(BSTR* out) override { return HandText(doc_.password, out); }
  HRESULT get_Values(IValues** out) override { return values_.CopyTo(out); }
  HRESULT get_CustomProperties(ICustomProperties** out) override { return properties_.CopyTo(out); }
  HRESULT LogError(LONG err1, LONG err2, LONG err3, BSTR message, BSTR module, LONG line) override {
    if (events_) events_->LogError(err1, err2, err3, BstrView(message), BstrView(module), line);
    return S_OK;
  }
  HRESULT SendMessage(BSTR message, LONG errorNumber, LONG infoRet) override {
    if (events_) events_->SendMessage(BstrView(message), errorNumber, infoRet);
    return S_OK;
  }

 private:
  ReleaseDocument doc_;
  std::shared_ptr<ReleaseEvents> events_;
  CComPtr<IValues> values_;
  CComPtr<ICustomProperties> properties_;
};

// ---- setup data ----

class CReleaseSetupData final : public ComObject<NoDispatch<IReleaseSetupData>> {
 public:
  CReleaseSetupData(DocumentClass c, ApplyFunction apply)
      : class_(std::move(c)),
        apply_(std::move(apply)),
        propertyList_(ToPropertyList(class_.customProperties)),
        links_(std::make_shared<std::vector<LinkDef>>(class_.links)),
        properties_(new CCustomProperties(propertyList_)),
        linksObject_(new CLinks(links_)) {}

  HRESULT get_Name(BSTR* out) override { return HandText(class_.instanceName, out); }
  HRESULT put_Name(BSTR v) override { return Put(class_.instanceName, v); }
  HRESULT get_ConnectString(BSTR* out) override { return HandText(class_.serverName, out); }
  HRESULT put_ConnectString(BSTR v) override { return Put(class_.serverName, v); }
  HRESULT get_UserName(BSTR* out) override { return HandText(class_.userName, out); }
  HRESULT put_UserName(BSTR v) override { return Put(class_.userName, v); }
  HRESULT get_Password(BSTR* out) override { return HandText(class_.password, out); }
  HRESULT put_Password(BSTR v) override { return Put(class_.password, v); }
  HRESULT get_BatchClassName(BSTR* out) override { return HandText(class_.batchClassName, out); }
  HRESULT get_DocClassName(BSTR* out) override { return HandText(class_.name, out); }
  HRESULT get_CustomProperties(ICustomProperties** out) override { return properties_.CopyTo(out); }
  HRESULT get_Links(ILinks** out) override { return linksObject_.CopyTo(out); }
  HRESULT get_IndexFields(IIndexFields** out) override { return Hand(MakeIndexFields(class_.indexFields), out); }
  HRESULT get_BatchVariableNames(IDispatch** out) override {
    return Hand(MakeBatchVariableNames(class_.valueNames), out);
  }
  HRESULT Apply() override {
    DocumentClass edited = class_;
    edited.customProperties.clear();
    for (const auto& e : *propertyList_) edited.customProperties.push_back({e->name, e->value});
    edited.links = *links_;
    if (!apply_ || !apply_(edited)) return E_FAIL;
    return S_OK;
  }

 private:
  static HRESULT Put(std::u16string& target, BSTR value) {
    target = BstrToString(value);
    return S_OK;
  }

  DocumentClass class_;
  ApplyFunction apply_;
  std::shared_ptr<PropertyList> propertyList_;
  std::shared_ptr<std::vector<LinkDef>> links_;
  CComPtr<ICustomProperties> properties_;
  CComPtr<ILinks> linksObject_;
};

}  // namespace

CComPtr<IEnumVARIANT> MakeEnumVariant(std::vector<CComVariant> items) {
  return CComPtr<IEnumVARIANT>(
      new CEnumVariant(std::make_shared<const std::vector<CComVariant>>(std::move(items)), 0));
}

CComPtr<IValue> MakeValue(DocumentValue value) { return CComPtr<IValue>(new CValue(std::move(value))); }

CComPtr<IValues> MakeValues(std::vector<DocumentValue> values) {
  return CComPtr<IValues>(new CValues(std::move(values)));
}

CComPtr<IRowValues> MakeRowValues(const DocumentValue& value) { return CComPtr<IRowValues>(new CRowValues(value)); }

CComPtr<ICustomProperties> MakeCustomProperties(std::vector<PropertyDef> properties) {
  return CComPtr<ICustomProperties>(new CCustomProperties(ToPropertyList(std::move(properties))));
}

CComPtr<ILinks> MakeLinks(std::vector<LinkDef> links) {
  return CComPtr<ILinks>(new CLinks(std::make_shared<std::vector<LinkDef>>(std::move(links))));
}

CComPtr<IIndexFields> MakeIndexFields(std::vector<IndexFieldDef> fields) {
  return CComPtr<IIndexFields>(new CIndexFields(std::move(fields)));
}

CComPtr<IDispatch> MakeBatchVariableNames(std::vector<std::u16string> names) {
  CComPtr<IBatchVariableNames2> object(new CBatchVariableNames(std::move(names)));
  return CComPtr<IDispatch>(static_cast<IDispatch*>(object.get()));
}

std::vector<PropertyDef> ReadCustomProperties(ICustomProperties* properties) {
  std::vector<PropertyDef> out;
  LONG count = 0;
  if (!properties || properties->get_Count(&count) != S_OK) return out;
  for (LONG i = 1; i <= count; ++i) {
    CComPtr<ICustomProperty> p;
    if (properties->get_Item(CComVariant(i), &p) != S_OK || !p) continue;
    CComBSTR name, value;
    p->get_Name(&name);
    p->get_Value(&value);
    out.push_back({name.Str(), value.Str()});
  }
  return out;
}

std::vector<LinkDef> ReadLinks(ILinks* links) {
  std::vector<LinkDef> out;
  LONG count = 0;
  if (!links || links->get_Count(&count) != S_OK) return out;
  for (LONG i = 1; i <= count; ++i) {
    CComPtr<ILink> l;
    if (links->get_Item(CComVariant(i), &l) != S_OK || !l) continue;
    LinkDef def;
    CComBSTR source, destination;
    l->get_Source(&source);
    l->get_SourceType(&def.sourceType);
    l->get_Destination(&destination);
    def.source = source.Str();
    def.destination = destination.Str();
    out.push_back(std::move(def));
  }
  return out;
}

CComPtr<IReleaseData> MakeReleaseData(ReleaseDocument document, std::shared_ptr<ReleaseEvents> events) {
  return CComPtr<IReleaseData>(new CReleaseData(std::move(document), std::move(events)));
}

CComPtr<IReleaseSetupData> MakeReleaseSetupData(DocumentClass documentClass, ApplyFunction apply) {
  return CComPtr<IReleaseSetupData>(new CReleaseSetupData(std::move(documentClass), std::move(apply)));
}

}  // namespace capture
