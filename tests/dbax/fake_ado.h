// Hand-made ADO objects for answers the real objects never give (a State of 5, a recordset that supports
// Resync), put in front of the real classes for one test.
#pragma once

#include <string>
#include <vector>

#include "platform/ado/ado.h"
#include "platform/com/activation.h"

namespace dbaxtest {

class FakeConnection : public ComObject<NoDispatch<_Connection>> {
 public:
  LONG state = adStateClosed;
  HRESULT get_ConnectionString(BSTR* t) override { return *t = nullptr, S_OK; }
  HRESULT put_ConnectionString(BSTR) override { return S_OK; }
  HRESULT get_CursorLocation(CursorLocationEnum* l) override { return *l = adUseClient, S_OK; }
  HRESULT put_CursorLocation(CursorLocationEnum) override { return S_OK; }
  HRESULT get_State(LONG* s) override { return *s = state, S_OK; }
  HRESULT get_Errors(Errors** e) override { return *e = nullptr, E_NOTIMPL; }
  HRESULT Open(BSTR, BSTR, BSTR, LONG) override { return S_OK; }
  HRESULT Close() override {
    closes++;
    return S_OK;
  }
  HRESULT Execute(BSTR, VARIANT*, LONG, _Recordset**) override { return E_NOTIMPL; }
  int closes = 0;
};

class FakeRecordset : public ComObject<NoDispatch<_Recordset>> {
 public:
  LONG state = adStateClosed;
  LONG supported = 0;                 // CursorOptionEnum bits
  std::vector<HRESULT> resyncResults;  // one per Resync call, S_OK when used up
  std::vector<std::string> log;

  HRESULT get_Source(VARIANT*) override { return S_OK; }
  HRESULT put_Source(BSTR) override { return S_OK; }
  HRESULT get_ActiveConnection(VARIANT*) override { return S_OK; }
  HRESULT putref_ActiveConnection(IDispatch*) override { return S_OK; }
  HRESULT get_CursorType(CursorTypeEnum* t) override { return *t = adOpenForwardOnly, S_OK; }
  HRESULT put_CursorType(CursorTypeEnum) override { return S_OK; }
  HRESULT get_CursorLocation(CursorLocationEnum* l) override { return *l = adUseClient, S_OK; }
  HRESULT put_CursorLocation(CursorLocationEnum) override { return S_OK; }
  HRESULT get_LockType(LockTypeEnum* t) override { return *t = adLockOptimistic, S_OK; }
  HRESULT put_LockType(LockTypeEnum) override { return S_OK; }
  HRESULT get_CacheSize(LONG* s) override { return *s = 1, S_OK; }
  HRESULT put_CacheSize(LONG) override { return S_OK; }
  HRESULT get_MarshalOptions(MarshalOptionsEnum* o) override { return *o = adMarshalAll, S_OK; }
  HRESULT put_MarshalOptions(MarshalOptionsEnum) override { return S_OK; }
  HRESULT get_State(LONG* s) override { return *s = state, S_OK; }
  HRESULT get_EditMode(EditModeEnum* m) override { return *m = adEditNone, S_OK; }
  HRESULT get_BOF(VARIANT_BOOL* b) override { return *b = VARIANT_TRUE, S_OK; }
  HRESULT get_EOF(VARIANT_BOOL* b) override { return *b = VARIANT_TRUE, S_OK; }
  HRESULT get_Fields(Fields** f) override { return *f = nullptr, E_NOTIMPL; }
  HRESULT Open(VARIANT, VARIANT, CursorTypeEnum, LockTypeEnum, LONG) override { return E_NOTIMPL; }
  HRESULT Close() override {
    log.push_back("Close");
    return S_OK;
  }
  HRESULT Supports(CursorOptionEnum option, VARIANT_BOOL* s) override {
    *s = (option & ~supported) == 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT AddNew(VARIANT, VARIANT) override { return S_OK; }
  HRESULT Update(VARIANT, VARIANT) override {
    log.push_back("Update");
    return S_OK;
  }
  HRESULT CancelUpdate() override { return S_OK; }
  HRESULT Resync(AffectEnum a, ResyncEnum r) override {
    log.push_back("Resync(" + std::to_string(a) + ", " + std::to_string(r) + ")");
    if (resyncResults.empty()) return S_OK;
    HRESULT hr = resyncResults.front();
    resyncResults.erase(resyncResults.begin());
    return hr;
  }
  HRESULT MoveFirst() override {
    log.push_back("MoveFirst");
    return S_OK;
  }
  HRESULT MoveNext() override { return S_OK; }
};

// Hands out one given object for a class while it lives.
template <class T>
class FakeClass {
 public:
  FakeClass(const CLSID& clsid, CComPtr<T> object) : factory_(MakeComObject<Factory>(std::move(object))) {
    CoRegisterInprocClass(clsid, factory_, &cookie_);
  }
  ~FakeClass() { CoRevokeInprocClass(cookie_); }

 private:
  class Factory : public ComObject<IClassFactory> {
   public:
    explicit Factory(CComPtr<T> object) : object_(std::move(object)) {}
    HRESULT CreateInstance(IUnknown*, REFIID riid, void** ppv) override { return object_->QueryInterface(riid, ppv); }
    HRESULT LockServer(int) override { return S_OK; }

   private:
    CComPtr<T> object_;
  };
  CComPtr<Factory> factory_;
  DWORD cookie_ = 0;
};

}  // namespace dbaxtest
