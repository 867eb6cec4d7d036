// Small stand-ins for the platform's setup objects, with a call journal and switchable failures.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/kofax.h"
#include "platform/com/utf.h"

namespace fakes {

struct LinkRecord {
  std::u16string source;
  LONG sourceType;
  std::u16string destination;
  bool operator==(const LinkRecord&) const = default;
};

class FakeLink : public ComObject<NoDispatch<ILink>> {
 public:
  explicit FakeLink(LinkRecord r, bool failType = false, bool failDestination = false)
      : r_(std::move(r)), failType_(failType), failDestination_(failDestination) {}
  HRESULT get_Source(BSTR* source) override {
    *source = SysAllocString(r_.source);
    return S_OK;
  }
  HRESULT get_SourceType(LONG* type) override {
    if (failType_) {
      *type = 77;  // garbage a failing call might leave
      return E_FAIL;
    }
    *type = r_.sourceType;
    return S_OK;
  }
  HRESULT get_Destination(BSTR* destination) override {
    if (failDestination_) return E_FAIL;
    *destination = SysAllocString(r_.destination);
    return S_OK;
  }

 private:
  LinkRecord r_;
  bool failType_, failDestination_;
};

class FakeLinks : public ComObject<NoDispatch<ILinks>> {
 public:
  std::vector<LinkRecord> links;
  std::vector<std::string> calls;
  bool failCount = false, failRemoveAll = false, failAdd = false;
  std::set<LONG> failItems, failTypes, failDestinations;
  std::vector<VARTYPE> itemKeyTypes;

  HRESULT get_Item(VARIANT index, ILink** item) override {
    itemKeyTypes.push_back(index.vt);
    calls.push_back("Item");
    if (index.vt != VT_I4 || index.lVal < 1 || index.lVal > static_cast<LONG>(links.size()) ||
        failItems.count(index.lVal))
      return DISP_E_BADINDEX;
    LONG i = index.lVal;
    CComPtr<ILink> link = MakeComObject<FakeLink>(links[static_cast<std::size_t>(i - 1)], failTypes.count(i) > 0,
                                                  failDestinations.count(i) > 0);
    *item = link.Detach();
    return S_OK;
  }
  HRESULT get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
  HRESULT get_Count(LONG* count) override {
    calls.push_back("Count");
    if (failCount) return E_FAIL;
    *count = static_cast<LONG>(links.size());
    return S_OK;
  }
  HRESULT Add(BSTR source, LONG sourceType, BSTR destination, ILink** item) override {
    calls.push_back("Add");
    if (item) *item = nullptr;
    if (failAdd) return E_FAIL;
    links.push_back({BstrToString(source), sourceType, BstrToString(destination)});
    return S_OK;
  }
  HRESULT Remove(VARIANT) override { return E_NOTIMPL; }
  HRESULT RemoveAll() override {
    calls.push_back("RemoveAll");
    if (failRemoveAll) return E_FAIL;
    links.clear();
    return S_OK;
  }
};

class FakeProperty : public ComObject<NoDispatch<ICustomProperty>> {
 public:
  FakeProperty(std::u16string name, std::u16string value, bool failValue)
      : name_(std::move(name)), value_(std::move(value)), failValue_(failValue) {}
  HRESULT get_Name(BSTR* name) override {
    *name = SysAllocString(name_);
    return S_OK;
  }
  HRESULT get_Value(BSTR* value) override {
    if (failValue_) return E_FAIL;
    *value = SysAllocString(value_);
    return S_OK;
  }
  HRESULT put_Value(BSTR) override { return E_NOTIMPL; }

 private:
  std::u16string name_, value_;
  bool failValue_;
};

class FakeProperties : public ComObject<NoDispatch<ICustomProperties>> {
 public:
  std::map<std::u16string, std::u16string> values;
  std::vector<std::string> calls;  // "Remove(name)", "Add(name=value)", "Item(name)"
  std::vector<VARTYPE> keyTypes;
  bool failItem = false, failValue = false, failAdd = false, failRemove = false;

  HRESULT get_Item(VARIANT index, ICustomProperty** item) override {
    keyTypes.push_back(index.vt);
    std::u16string name = index.vt == VT_BSTR ? BstrToString(index.bstrVal) : u"?";
    calls.push_back("Item(" + Utf16ToUtf8(name) + ")");
    auto it = values.find(name);
    if (failItem || it == values.end()) return DISP_E_BADINDEX;
    CComPtr<ICustomProperty> property = MakeComObject<FakeProperty>(it->first, it->second, failValue);
    *item = property.Detach();
    return S_OK;
  }
  HRESULT get__NewEnum(IUnknown**) override { return E_NOTIMPL; }
  HRESULT get_Count(LONG* count) override {
    *count = static_cast<LONG>(values.size());
    return S_OK;
  }
  HRESULT Add(BSTR name, BSTR value, ICustomProperty** item) override {
    if (item) *item = nullptr;
    calls.push_back("Add(" + Utf16ToUtf8(BstrView(name)) + "=" + Utf16ToUtf8(BstrView(value)) + ")");
    if (failAdd || values.count(BstrToString(name))) return E_FAIL;
    values[BstrToString(name)] = BstrToString(value);
    return S_OK;
  }
  HRESULT Remove(VARIANT index) override {
    keyTypes.push_back(index.vt);
    std::u16string name = index.vt == VT_BSTR ? BstrToString(index.bstrVal) : u"?";
    calls.push_back("Remove(" + Utf16ToUtf8(name) + ")");
    if (failRemove || !values.erase(name)) return DISP_E_BADINDEX;
    return S_OK;
  }
};

class FakeSetupData : public ComObject<NoDispatch<IReleaseSetupData>> {
 public:
  CComPtr<FakeLinks> links = MakeComObject<FakeLinks>();
  CComPtr<FakeProperties> properties = MakeComObject<FakeProperties>();
  bool failLinks = false, failProperties = false;

  HRESULT get_Name(BSTR*) override { return E_NOTIMPL; }
  HRESULT put_Name(BSTR) override { return E_NOTIMPL; }
  HRESULT get_ConnectString(BSTR*) override { return E_NOTIMPL; }
  HRESULT put_ConnectString(BSTR) override { return E_NOTIMPL; }
  HRESULT get_UserName(BSTR*) override { return E_NOTIMPL; }
  HRESULT put_UserName(BSTR) override { return E_NOTIMPL; }
  HRESULT get_Password(BSTR*) override { return E_NOTIMPL; }
  HRESULT put_Password(BSTR) override { return E_NOTIMPL; }
  HRESULT get_BatchClassName(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_DocClassName(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_CustomProperties(ICustomProperties** p) override {
    if (failProperties) return E_FAIL;
    CComPtr<ICustomProperties> out = properties;
    *p = out.Detach();
    return S_OK;
  }
  HRESULT get_Links(ILinks** l) override {
    if (failLinks) return E_FAIL;
    CComPtr<ILinks> out = links;
    *l = out.Detach();
    return S_OK;
  }
  HRESULT get_IndexFields(IIndexFields**) override { return E_NOTIMPL; }
  HRESULT get_BatchVariableNames(IDispatch**) override { return E_NOTIMPL; }
  HRESULT Apply() override { return E_NOTIMPL; }
};

}  // namespace fakes
