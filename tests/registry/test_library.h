// A small dual interface with its type library description, for the type library and ATL tests.
#pragma once

#include "platform/com/dispthunk.h"
#include "platform/com/typelib.h"
#include "platform/com/unknown.h"

struct ITestScript : IDispatch {
  static constexpr IID iid = MakeGuid("{5A1C0000-0000-4000-8000-000000000001}");
  using base_interface = IDispatch;
  virtual HRESULT Add(LONG a, LONG b, LONG* sum) = 0;
  virtual HRESULT Greet(BSTR name, BSTR* greeting) = 0;
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT put_Count(LONG count) = 0;
  virtual HRESULT get_Partner(ITestScript** partner) = 0;
  virtual HRESULT putref_Partner(ITestScript* partner) = 0;
  virtual HRESULT Fail() = 0;  // E_ACCESSDENIED
  virtual HRESULT get_Ready(VARIANT_BOOL* ready) = 0;
};

struct IOtherScript : IDispatch {
  static constexpr IID iid = MakeGuid("{5A1C0000-0000-4000-8000-000000000002}");
  using base_interface = IDispatch;
};

inline constexpr GUID kTestLibId = MakeGuid("{5A1C0000-0000-4000-8000-0000000000AA}");
inline constexpr CLSID kTestClass = MakeGuid("{5A1C0000-0000-4000-8000-0000000000C1}");

namespace test_library {
constexpr WORD kRetval = PARAMFLAG_FOUT | PARAMFLAG_FRETVAL;
constexpr ParamDescription kAdd[] = {{u"a", VT_I4, PARAMFLAG_FIN}, {u"b", VT_I4, PARAMFLAG_FIN}, {u"sum", VT_I4, kRetval}};
constexpr ParamDescription kGreet[] = {{u"name", VT_BSTR, PARAMFLAG_FIN}, {u"greeting", VT_BSTR, kRetval}};
constexpr ParamDescription kCountOut[] = {{u"count", VT_I4, kRetval}};
constexpr ParamDescription kCountIn[] = {{u"count", VT_I4, PARAMFLAG_FIN}};
constexpr ParamDescription kPartnerOut[] = {{u"partner", VT_DISPATCH, kRetval, &ITestScript::iid}};
constexpr ParamDescription kPartnerIn[] = {{u"partner", VT_DISPATCH, PARAMFLAG_FIN, &ITestScript::iid}};
constexpr ParamDescription kReady[] = {{u"ready", VT_BOOL, kRetval}};

constexpr MemberDescription kMembers[] = {
    {1, u"Add", INVOKE_FUNC, kAdd, &DispatchMember<&ITestScript::Add>::Call, u"Adds"},
    {2, u"Greet", INVOKE_FUNC, kGreet, &DispatchMember<&ITestScript::Greet>::Call},
    {3, u"Count", INVOKE_PROPERTYGET, kCountOut, &DispatchMember<&ITestScript::get_Count>::Call},
    {3, u"Count", INVOKE_PROPERTYPUT, kCountIn, &DispatchMember<&ITestScript::put_Count>::Call},
    {4, u"Partner", INVOKE_PROPERTYGET, kPartnerOut, &DispatchMember<&ITestScript::get_Partner>::Call},
    {4, u"Partner", INVOKE_PROPERTYPUTREF, kPartnerIn, &DispatchMember<&ITestScript::putref_Partner>::Call},
    {5, u"Fail", INVOKE_FUNC, {}, &DispatchMember<&ITestScript::Fail>::Call},
    {6, u"Ready", INVOKE_PROPERTYGET, kReady, &DispatchMember<&ITestScript::get_Ready>::Call},
};

constexpr WORD kDual = TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
constexpr InterfaceDescription kInterfaces[] = {
    {ITestScript::iid, u"ITestScript", kDual, kMembers, u"A test script"},
    {IOtherScript::iid, u"IOtherScript", 0, {}, nullptr},
};
constexpr const IID* kClassInterfaces[] = {&ITestScript::iid};
constexpr CoClassDescription kCoClasses[] = {{kTestClass, u"TestScript", kClassInterfaces, u"Test class"}};
}  // namespace test_library

inline constexpr TypeLibDescription kTestLibrary{kTestLibId, u"testlib", u"Test Library 1.0", 1, 0, 0x0409, 0,
                                                test_library::kInterfaces, test_library::kCoClasses};

// The interface's behaviour on any base (a ComObject for plain tests, the interface itself under ATL).
template <class Base>
class TestScriptImpl : public Base {
 public:
  HRESULT Add(LONG a, LONG b, LONG* sum) override {
    if (!sum) return E_POINTER;
    *sum = a + b;
    return S_OK;
  }
  HRESULT Greet(BSTR name, BSTR* greeting) override {
    if (!greeting) return E_POINTER;
    *greeting = SysAllocString(u"Hello, " + BstrToString(name));
    return S_OK;
  }
  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = count_;
    return S_OK;
  }
  HRESULT put_Count(LONG count) override {
    count_ = count;
    return S_OK;
  }
  HRESULT get_Partner(ITestScript** partner) override { return partner_.CopyTo(partner); }
  HRESULT putref_Partner(ITestScript* partner) override {
    partner_ = partner;
    return S_OK;
  }
  HRESULT Fail() override { return E_ACCESSDENIED; }
  HRESULT get_Ready(VARIANT_BOOL* ready) override {
    if (!ready) return E_POINTER;
    *ready = VARIANT_TRUE;
    return S_OK;
  }

  LONG count_ = 0;
  CComPtr<ITestScript> partner_;
};
