// ATL-like COM object templates: object roots, interface maps, plain and aggregated objects, creators, the class
// factory, the coclass base and the dispatch implementation over a registered type library.
//
//   class CThing : public IDispatchImpl<IThing, ThingBody>,            // IDispatch from the type library
//                  public CComObjectRootEx<CComSingleThreadModel>,     // reference count, outer unknown
//                  public CComCoClass<CThing, &CLSID_Thing> {          // creators for the object map
//    public:
//     DECLARE_REGISTRY_RESOURCEID(101)
//     BEGIN_COM_MAP(CThing)
//       COM_INTERFACE_ENTRY(IThing)
//       COM_INTERFACE_ENTRY(IDispatch)
//     END_COM_MAP()
//   };
//
// An interface map answers IUnknown (with its first entry) and exactly the interfaces it lists.
#pragma once

#include <atomic>
#include <limits>
#include <mutex>
#include <new>

#include "platform/com/atlbase.h"
#include "platform/com/typelib.h"
#include "platform/com/unknown.h"

// The count an object takes while it is being destroyed, so that counting during FinalRelease cannot delete it
// a second time.
inline constexpr LONG kAtlDestroyingRefCount = -(std::numeric_limits<LONG>::max() / 2);

// --- thread models ----------------------------------------------------------------------------------------------

// Plain increments: the object is used from one thread at a time.
class CComSingleThreadModel {
 public:
  static ULONG Increment(LONG* p) { return static_cast<ULONG>(++*p); }
  static ULONG Decrement(LONG* p) { return static_cast<ULONG>(--*p); }
};

class CComMultiThreadModel {
 public:
  static ULONG Increment(LONG* p) { return static_cast<ULONG>(std::atomic_ref<LONG>(*p).fetch_add(1) + 1); }
  static ULONG Decrement(LONG* p) { return static_cast<ULONG>(std::atomic_ref<LONG>(*p).fetch_sub(1) - 1); }
};

// --- object roots and interface maps ----------------------------------------------------------------------------

struct AtlInterfaceEntry {
  const IID* piid;
  IUnknown* (*cast)(void* self);  // the interface pointer of the object, not counted
};

class CComObjectRootBase {
 public:
  HRESULT FinalConstruct() { return S_OK; }
  void FinalRelease() {}
  HRESULT _AtlInitialConstruct() { return S_OK; }
  void InternalFinalConstructAddRef() {}
  void InternalFinalConstructRelease() {}
  void SetVoid(void*) {}

  ULONG OuterAddRef() { return m_pOuterUnknown->AddRef(); }
  ULONG OuterRelease() { return m_pOuterUnknown->Release(); }
  HRESULT OuterQueryInterface(REFIID iid, void** ppv) { return m_pOuterUnknown->QueryInterface(iid, ppv); }

  static HRESULT InternalQueryInterface(void* self, const AtlInterfaceEntry* entries, REFIID iid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    const AtlInterfaceEntry* hit = nullptr;
    if (iid == IID_IUnknown) {
      hit = entries;
    } else {
      for (const AtlInterfaceEntry* e = entries; e->piid; ++e) {
        if (*e->piid == iid) {
          hit = e;
          break;
        }
      }
    }
    if (!hit || !hit->piid) return E_NOINTERFACE;
    IUnknown* p = hit->cast(self);
    p->AddRef();
    *ppv = p;
    return S_OK;
  }

  LONG m_dwRef = 0;
  IUnknown* m_pOuterUnknown = nullptr;  // set when the object is part of an aggregate
};

template <class ThreadModel>
class CComObjectRootEx : public CComObjectRootBase {
 public:
  using _ThreadModel = ThreadModel;
  ULONG InternalAddRef() { return ThreadModel::Increment(&m_dwRef); }
  ULONG InternalRelease() { return ThreadModel::Decrement(&m_dwRef); }
};

#define BEGIN_COM_MAP(x)                                                                \
 public:                                                                                \
  using _ComMapClass = x;                                                               \
  HRESULT _InternalQueryInterface(REFIID iid, void** ppv) {                             \
    return CComObjectRootBase::InternalQueryInterface(static_cast<void*>(this), _GetEntries(), iid, ppv); \
  }                                                                                     \
  IUnknown* GetUnknown() { return _GetEntries()[0].cast(static_cast<void*>(this)); }    \
  static const AtlInterfaceEntry* _GetEntries() {                                       \
    static const AtlInterfaceEntry _entries[] = {
#define COM_INTERFACE_ENTRY(I) \
  {&I::iid, [](void* p) -> IUnknown* { return static_cast<I*>(static_cast<_ComMapClass*>(p)); }},
#define COM_INTERFACE_ENTRY2(I, Via) \
  {&I::iid, [](void* p) -> IUnknown* { return static_cast<I*>(static_cast<Via*>(static_cast<_ComMapClass*>(p))); }},
#define END_COM_MAP() \
  {nullptr, nullptr}  \
  }                   \
  ;                   \
  return _entries;    \
  }

#define DECLARE_REGISTRY_RESOURCEID(id) \
  static HRESULT UpdateRegistry(bool doRegister) { return _pAtlModule->UpdateRegistryFromResource(id, doRegister); }

// --- objects ----------------------------------------------------------------------------------------------------

// A plain object: counts its own references and holds the module while it lives.
template <class Base>
class CComObject : public Base {
 public:
  explicit CComObject(void* = nullptr) {
    if (_pAtlModule) _pAtlModule->Lock();
  }
  virtual ~CComObject() {
    this->m_dwRef = kAtlDestroyingRefCount;
    this->FinalRelease();
    if (_pAtlModule) _pAtlModule->Unlock();
  }
  ULONG AddRef() override { return this->InternalAddRef(); }
  ULONG Release() override {
    ULONG left = this->InternalRelease();
    if (left == 0) delete this;
    return left;
  }
  HRESULT QueryInterface(REFIID iid, void** ppv) override { return this->_InternalQueryInterface(iid, ppv); }

  // An object with no references yet, after FinalConstruct.
  static HRESULT CreateInstance(CComObject<Base>** pp);
};

// Like CComObject, but does not hold the module (class objects).
template <class Base>
class CComObjectNoLock : public Base {
 public:
  explicit CComObjectNoLock(void* = nullptr) {}
  virtual ~CComObjectNoLock() {
    this->m_dwRef = kAtlDestroyingRefCount;
    this->FinalRelease();
  }
  ULONG AddRef() override { return this->InternalAddRef(); }
  ULONG Release() override {
    ULONG left = this->InternalRelease();
    if (left == 0) delete this;
    return left;
  }
  HRESULT QueryInterface(REFIID iid, void** ppv) override { return this->_InternalQueryInterface(iid, ppv); }
};

// The object inside an aggregate: its interfaces count on, and query, the outer unknown.
template <class Base>
class CComContainedObject : public Base {
 public:
  explicit CComContainedObject(void* outer) { this->m_pOuterUnknown = static_cast<IUnknown*>(outer); }
  ULONG AddRef() override { return this->OuterAddRef(); }
  ULONG Release() override { return this->OuterRelease(); }
  HRESULT QueryInterface(REFIID iid, void** ppv) override { return this->OuterQueryInterface(iid, ppv); }
  IUnknown* GetControllingUnknown() { return this->m_pOuterUnknown; }
};

// An aggregated object: this is the inner unknown, which answers IUnknown itself and the contained object's
// interfaces (whose references and queries go to the outer unknown).
template <class Contained>
class CComAggObject : public IUnknown, public CComObjectRootEx<typename Contained::_ThreadModel> {
 public:
  explicit CComAggObject(void* outer) : m_contained(outer) {
    if (_pAtlModule) _pAtlModule->Lock();
  }
  virtual ~CComAggObject() {
    this->m_dwRef = kAtlDestroyingRefCount;
    FinalRelease();
    if (_pAtlModule) _pAtlModule->Unlock();
  }
  HRESULT _AtlInitialConstruct() { return m_contained._AtlInitialConstruct(); }
  HRESULT FinalConstruct() { return m_contained.FinalConstruct(); }
  void FinalRelease() { m_contained.FinalRelease(); }

  ULONG AddRef() override { return this->InternalAddRef(); }
  ULONG Release() override {
    ULONG left = this->InternalRelease();
    if (left == 0) delete this;
    return left;
  }
  HRESULT QueryInterface(REFIID iid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (iid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(this);
      AddRef();
      return S_OK;
    }
    return m_contained._InternalQueryInterface(iid, ppv);
  }

  CComContainedObject<Contained> m_contained;
};

// --- creators ---------------------------------------------------------------------------------------------------

template <class T>
class CComCreator {
 public:
  static HRESULT CreateInstance(void* pv, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    T* p = nullptr;
    try {
      p = new T(pv);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    } catch (...) {
      return E_UNEXPECTED;
    }
    p->SetVoid(pv);
    p->InternalFinalConstructAddRef();
    HRESULT hr = p->_AtlInitialConstruct();
    if (SUCCEEDED(hr)) hr = p->FinalConstruct();
    p->InternalFinalConstructRelease();
    if (hr == S_OK) hr = p->QueryInterface(riid, ppv);
    if (hr != S_OK) delete p;
    return hr;
  }
};

// Plain when there is no outer unknown, aggregated when there is.
template <class Plain, class Aggregated>
class CComCreator2 {
 public:
  static HRESULT CreateInstance(void* outer, REFIID riid, void** ppv) {
    return outer ? Aggregated::CreateInstance(outer, riid, ppv) : Plain::CreateInstance(nullptr, riid, ppv);
  }
};

template <class Base>
HRESULT CComObject<Base>::CreateInstance(CComObject<Base>** pp) {
  if (!pp) return E_POINTER;
  *pp = nullptr;
  CComObject<Base>* p = nullptr;
  try {
    p = new CComObject<Base>();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
  HRESULT hr = p->_AtlInitialConstruct();
  if (SUCCEEDED(hr)) hr = p->FinalConstruct();
  if (FAILED(hr)) {
    delete p;
    return hr;
  }
  *pp = p;
  return hr;
}

// --- class factory ----------------------------------------------------------------------------------------------

class CComClassFactory : public IClassFactory, public CComObjectRootEx<CComMultiThreadModel> {
 public:
  BEGIN_COM_MAP(CComClassFactory)
    COM_INTERFACE_ENTRY(IClassFactory)
  END_COM_MAP()

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    // An aggregate hands out only its inner unknown.
    if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    AtlCreatorFunc create;
    {
      std::lock_guard lock(m_lock);
      create = m_pfnCreateInstance;
    }
    if (!create) return E_UNEXPECTED;
    return create(outer, riid, ppv);
  }
  HRESULT LockServer(int lock) override {
    if (!_pAtlModule) return E_UNEXPECTED;
    if (lock)
      _pAtlModule->Lock();
    else
      _pAtlModule->Unlock();
    return S_OK;
  }

  void SetCreator(AtlCreatorFunc create) {
    std::lock_guard lock(m_lock);
    m_pfnCreateInstance = create;
  }

 private:
  std::mutex m_lock;
  AtlCreatorFunc m_pfnCreateInstance = nullptr;
};

// Makes the class object of a class; it does not hold the module (DllCanUnloadNow counts only LockServer).
class CComClassFactoryCreator {
 public:
  static HRESULT CreateInstance(AtlCreatorFunc createInstance, REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    auto* factory = new (std::nothrow) CComObjectNoLock<CComClassFactory>();
    if (!factory) return E_OUTOFMEMORY;
    factory->SetCreator(createInstance);
    HRESULT hr = factory->QueryInterface(riid, ppv);
    if (FAILED(hr)) delete factory;
    return hr;
  }
};

template <class T, const CLSID* pclsid>
class CComCoClass {
 public:
  using _ClassFactoryCreatorClass = CComClassFactoryCreator;
  using _CreatorClass = CComCreator2<CComCreator<CComObject<T>>, CComCreator<CComAggObject<T>>>;
  static const CLSID& GetObjectCLSID() { return *pclsid; }
};

// --- dispatch from the registered type library ------------------------------------------------------------------

// The type information of one interface, loaded on first use from the registered type library and kept.
// A failed load is not kept: it is tried again on the next call.
class CComTypeInfoHolder {
 public:
  constexpr CComTypeInfoHolder(const IID* piid, const GUID* plibid, WORD major, WORD minor)
      : m_pguid(piid), m_plibid(plibid), m_wMajor(major), m_wMinor(minor) {}
  ~CComTypeInfoHolder() { Clear(); }
  CComTypeInfoHolder(const CComTypeInfoHolder&) = delete;
  CComTypeInfoHolder& operator=(const CComTypeInfoHolder&) = delete;

  HRESULT GetTI(LCID lcid, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    std::lock_guard lock(m_lock);
    if (!m_pInfo) {
      CComPtr<ITypeLib> lib;
      if (HRESULT hr = LoadRegTypeLib(*m_plibid, m_wMajor, m_wMinor, lcid, &lib); FAILED(hr)) return hr;
      ITypeInfo* loaded = nullptr;
      if (HRESULT hr = lib->GetTypeInfoOfGuid(*m_pguid, &loaded); FAILED(hr)) return hr;
      m_pInfo = loaded;
    }
    *info = m_pInfo;
    m_pInfo->AddRef();
    return S_OK;
  }
  void Clear() {
    std::lock_guard lock(m_lock);
    if (m_pInfo) m_pInfo->Release();
    m_pInfo = nullptr;
  }

 private:
  const IID* m_pguid;
  const GUID* m_plibid;
  WORD m_wMajor;
  WORD m_wMinor;
  std::mutex m_lock;
  ITypeInfo* m_pInfo = nullptr;
};

// IDispatch of interface I for an object built on Base (which derives from I and implements its methods).
// Calls by name need the type library registered; calls through I's own methods do not.
template <class I, class Base = I, const GUID* plibid = &CAtlModule::m_libid, WORD wMajor = 1, WORD wMinor = 0>
class IDispatchImpl : public Base {
 public:
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return _tih.GetTI(lcid, info);
  }
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    CComPtr<ITypeInfo> info;
    if (HRESULT hr = _tih.GetTI(lcid, &info); FAILED(hr)) return hr;
    return info->GetIDsOfNames(names, count, ids);
  }
  HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override {
    if (riid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
    CComPtr<ITypeInfo> info;
    if (HRESULT hr = _tih.GetTI(lcid, &info); FAILED(hr)) return hr;
    return info->Invoke(static_cast<void*>(static_cast<I*>(this)), member, flags, params, result, excepInfo, argErr);
  }

  static inline CComTypeInfoHolder _tih{&I::iid, plibid, wMajor, wMinor};
};
