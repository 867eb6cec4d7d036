// IUnknown, IClassFactory, IDispatch, IEnumVARIANT, the smart pointer, and a base for our own COM objects.
//
// An interface is an abstract struct with a static `iid` and `base_interface` naming the interface it extends,
// so QueryInterface can answer for the whole chain.
#pragma once

#include <atomic>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/com/bstr.h"
#include "platform/com/comtypes.h"
#include "platform/com/guid.h"
#include "platform/com/variant.h"

template <class T>
constexpr const IID& uuidof() {
  return T::iid;
}

struct IUnknown {
  static constexpr IID iid = MakeGuid("{00000000-0000-0000-C000-000000000046}");
  using base_interface = void;
  virtual HRESULT QueryInterface(REFIID riid, void** ppv) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  static constexpr IID iid = MakeGuid("{00000001-0000-0000-C000-000000000046}");
  using base_interface = IUnknown;
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
  virtual HRESULT LockServer(int lock) = 0;
};

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr DISPID DISPID_NEWENUM = -4;
constexpr LCID LOCALE_USER_DEFAULT = 0x400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x800;

// Arguments stand in reverse order, as Automation passes them.
struct DISPPARAMS {
  VARIANTARG* rgvarg = nullptr;
  DISPID* rgdispidNamedArgs = nullptr;
  UINT cArgs = 0;
  UINT cNamedArgs = 0;
};

struct EXCEPINFO {
  WORD wCode = 0;
  WORD wReserved = 0;
  BSTR bstrSource = nullptr;
  BSTR bstrDescription = nullptr;
  BSTR bstrHelpFile = nullptr;
  DWORD dwHelpContext = 0;
  void* pvReserved = nullptr;
  void* pfnDeferredFillIn = nullptr;
  SCODE scode = 0;
};

enum TYPEKIND : int {
  TKIND_ENUM = 0,
  TKIND_RECORD = 1,
  TKIND_MODULE = 2,
  TKIND_INTERFACE = 3,
  TKIND_DISPATCH = 4,
  TKIND_COCLASS = 5,
  TKIND_ALIAS = 6,
  TKIND_UNION = 7,
};
constexpr MEMBERID MEMBERID_NIL = -1;

struct TYPEATTR {
  GUID guid{};
  LCID lcid = 0;
  TYPEKIND typekind = TKIND_DISPATCH;
  WORD cFuncs = 0;       // members (a property's get and put count separately)
  WORD cImplTypes = 0;   // interfaces of a coclass
  WORD wTypeFlags = 0;
  WORD wMajorVerNum = 0;
  WORD wMinorVerNum = 0;
};

struct ITypeLib;

// The part of a type description that late binding needs: names to member ids, and a call by member id
// on an object that implements the described interface.
struct ITypeInfo : IUnknown {
  static constexpr IID iid = MakeGuid("{00020401-0000-0000-C000-000000000046}");
  using base_interface = IUnknown;
  virtual HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) = 0;
  virtual HRESULT Invoke(void* instance, MEMBERID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, UINT* argErr) = 0;
  virtual HRESULT GetTypeAttr(TYPEATTR* attr) = 0;
  // Name and help text of a member, or of the type itself for MEMBERID_NIL. Either output may be null.
  virtual HRESULT GetDocumentation(MEMBERID member, BSTR* name, BSTR* docString) = 0;
  virtual HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) = 0;
};

struct IDispatch : IUnknown {
  static constexpr IID iid = MakeGuid("{00020400-0000-0000-C000-000000000046}");
  using base_interface = IUnknown;
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID member, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* excepInfo, UINT* argErr) = 0;
};

struct IEnumVARIANT : IUnknown {
  static constexpr IID iid = MakeGuid("{00020404-0000-0000-C000-000000000046}");
  using base_interface = IUnknown;
  virtual HRESULT Next(ULONG count, VARIANT* items, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumVARIANT** copy) = 0;
};

inline constexpr IID IID_IUnknown = IUnknown::iid;
inline constexpr IID IID_IClassFactory = IClassFactory::iid;
inline constexpr IID IID_IDispatch = IDispatch::iid;
inline constexpr IID IID_IEnumVARIANT = IEnumVARIANT::iid;

// Counted reference, ATL style.
template <class T>
class CComPtr {
 public:
  CComPtr() = default;
  CComPtr(std::nullptr_t) {}
  CComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  CComPtr(const CComPtr& o) : CComPtr(o.p_) {}
  CComPtr(CComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  CComPtr(const CComPtr<U>& o) : CComPtr(static_cast<T*>(o.p_)) {}
  ~CComPtr() { Release(); }
  CComPtr& operator=(CComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  operator T*() const { return p_; }
  T* get() const { return p_; }
  // For out parameters: releases what it held.
  T** operator&() {
    Release();
    return &p_;
  }
  explicit operator bool() const { return p_ != nullptr; }
  void Release() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  void Attach(T* p) {
    Release();
    p_ = p;
  }
  T* Detach() { return std::exchange(p_, nullptr); }
  // Hands a new reference to an out parameter.
  HRESULT CopyTo(T** out) const {
    if (!out) return E_POINTER;
    *out = p_;
    if (p_) p_->AddRef();
    return S_OK;
  }
  template <class Q>
  HRESULT QueryInterface(Q** out) const {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!p_) return E_POINTER;
    return p_->QueryInterface(uuidof<Q>(), reinterpret_cast<void**>(out));
  }
  // Replaces the held pointer with the result of querying `from` for T.
  HRESULT QueryFrom(IUnknown* from) {
    Release();
    if (!from) return E_POINTER;
    return from->QueryInterface(uuidof<T>(), reinterpret_cast<void**>(&p_));
  }

  T* p_ = nullptr;
};

namespace com_detail {
template <class I>
bool InterfaceMatches(REFIID riid) {
  if constexpr (std::is_void_v<I>) {
    return false;
  } else {
    return riid == I::iid || InterfaceMatches<typename I::base_interface>(riid);
  }
}
}  // namespace com_detail

// Reference counting and QueryInterface for an object implementing `Interfaces...` (and what they extend).
// Objects are made with MakeComObject and destroyed by their last Release.
template <class... Interfaces>
class ComObject : public Interfaces... {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown) {
      *ppv = static_cast<IUnknown*>(static_cast<First*>(this));
    } else {
      (void)((com_detail::InterfaceMatches<Interfaces>(riid) &&
              (*ppv = static_cast<void*>(static_cast<Interfaces*>(this)), true)) ||
             ...);
    }
    if (!*ppv) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  ULONG RefCount() const { return refs_; }

 protected:
  ComObject() = default;
  virtual ~ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

 private:
  using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
  std::atomic<ULONG> refs_{0};
};

template <class T, class... Args>
CComPtr<T> MakeComObject(Args&&... args) {
  return CComPtr<T>(new T(std::forward<Args>(args)...));
}

// IDispatch for objects that are only called early-bound.
template <class I>
struct NoDispatch : I {
  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { return E_NOTIMPL; }
};
