#include <gtest/gtest.h>

#include <thread>

#include "platform/com/atlcom.h"
#include "platform/com/utf.h"
#include "tests/registry/temp_store.h"
#include "tests/registry/test_library.h"

namespace {

constexpr UINT kAppIdScript = 500;
constexpr UINT kClassScript = 501;

class CTestScript : public IDispatchImpl<ITestScript, TestScriptImpl<ITestScript>, &kTestLibId>,
                    public CComObjectRootEx<CComSingleThreadModel>,
                    public CComCoClass<CTestScript, &kTestClass> {
 public:
  DECLARE_REGISTRY_RESOURCEID(kClassScript)
  BEGIN_COM_MAP(CTestScript)
    COM_INTERFACE_ENTRY(ITestScript)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  HRESULT FinalConstruct() {
    ++constructed;
    return failConstruct ? E_FAIL : S_OK;
  }
  void FinalRelease() { ++released; }

  static inline int constructed = 0;
  static inline int released = 0;
  static inline bool failConstruct = false;
};

AtlObjectMapEntry g_objectMap[] = {OBJECT_ENTRY(kTestClass, CTestScript)};

constexpr AtlRegistryScript kScripts[] = {
    {kAppIdScript, "HKCR { NoRemove AppID { '%APPID%' = s 'test' } }"},
    {kClassScript,
     "HKCR { NoRemove CLSID { ForceRemove {5A1C0000-0000-4000-8000-0000000000C1} = s 'TestScript' {\n"
     "  InprocServer32 = s '%MODULE%' { val ThreadingModel = s 'Both' }\n"
     "  val AppID = s '%APPID%' } } }"},
};

CAtlDllModule g_module(AtlModuleDescription{&kTestLibrary, g_objectMap, kScripts, &kTestLibrary,
                                            u"{5A1C0000-0000-4000-8000-0000000000DD}", kAppIdScript});

// An outer object that aggregates a test script: it answers IUnknown and IOtherScript itself and hands
// ITestScript requests to the inner unknown.
class Outer final : public NoDispatch<IOtherScript> {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    ++queries;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IOtherScript::iid) {
      *ppv = static_cast<IOtherScript*>(this);
      AddRef();
      return S_OK;
    }
    if (riid == ITestScript::iid && inner) return inner->QueryInterface(riid, ppv);
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG Release() override { return static_cast<ULONG>(--refs); }

  int refs = 1;
  int queries = 0;
  IUnknown* inner = nullptr;
};

class Atl : public ::testing::Test {
 protected:
  void SetUp() override {
    CTestScript::constructed = CTestScript::released = 0;
    CTestScript::failConstruct = false;
    CTestScript::_tih.Clear();
    ASSERT_EQ(g_module.DllGetClassObject(kTestClass, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
  }
  void TearDown() override {
    factory.Release();
    EXPECT_EQ(g_module.GetLockCount(), 0) << "every object and lock was given back";
  }

  CComPtr<IClassFactory> factory;
};

TEST_F(Atl, ClassObjectsOfTheObjectMap) {
  CComPtr<IClassFactory> again;
  ASSERT_EQ(g_module.DllGetClassObject(kTestClass, IID_IClassFactory, reinterpret_cast<void**>(&again)), S_OK);
  EXPECT_EQ(again.get(), factory.get()) << "one cached class object per class";
  CComPtr<IUnknown> none;
  EXPECT_EQ(g_module.DllGetClassObject(MakeGuid("{00000000-0000-0000-0000-0000000000EE}"), IID_IClassFactory,
                                       reinterpret_cast<void**>(&none)),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(none.get(), nullptr);
  EXPECT_EQ(g_module.DllGetClassObject(kTestClass, IID_IDispatch, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
  EXPECT_EQ(g_module.DllCanUnloadNow(), S_OK) << "a class object alone does not hold the module";
}

TEST_F(Atl, AnObjectAnswersExactlyItsThreeInterfaces) {
  CComPtr<ITestScript> script;
  ASSERT_EQ(factory->CreateInstance(nullptr, ITestScript::iid, reinterpret_cast<void**>(&script)), S_OK);
  struct Case {
    IID iid;
    HRESULT hr;
  };
  const Case cases[] = {
      {IID_IUnknown, S_OK},           {ITestScript::iid, S_OK},         {IID_IDispatch, S_OK},
      {IOtherScript::iid, E_NOINTERFACE}, {IID_IClassFactory, E_NOINTERFACE}, {IID_IEnumVARIANT, E_NOINTERFACE},
      {ITypeInfo::iid, E_NOINTERFACE},    {GUID_NULL, E_NOINTERFACE},
  };
  for (const auto& c : cases) {
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(script->QueryInterface(c.iid, &p), c.hr) << Utf16ToUtf8(GuidToString(c.iid));
    if (c.hr == S_OK)
      static_cast<IUnknown*>(p)->Release();
    else
      EXPECT_EQ(p, nullptr);
  }
  CComPtr<IUnknown> a, b;
  CComPtr<IDispatch> dispatch;
  ASSERT_EQ(script.QueryInterface(&dispatch), S_OK);
  ASSERT_EQ(script->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(dispatch->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  EXPECT_EQ(a.get(), b.get()) << "one identity";
}

TEST_F(Atl, SingleThreadedCountsAndTheModuleLock) {
  ITestScript* script = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, ITestScript::iid, reinterpret_cast<void**>(&script)), S_OK);
  EXPECT_EQ(CTestScript::constructed, 1);
  EXPECT_EQ(g_module.GetLockCount(), 1);
  EXPECT_EQ(g_module.DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(script->AddRef(), 2u);
  EXPECT_EQ(script->AddRef(), 3u);
  EXPECT_EQ(script->Release(), 2u);
  EXPECT_EQ(script->Release(), 1u);
  EXPECT_EQ(CTestScript::released, 0);
  EXPECT_EQ(script->Release(), 0u);
  EXPECT_EQ(CTestScript::released, 1);
  EXPECT_EQ(g_module.DllCanUnloadNow(), S_OK);
  EXPECT_EQ(factory->LockServer(1), S_OK);
  EXPECT_EQ(g_module.DllCanUnloadNow(), S_FALSE);
  EXPECT_EQ(factory->LockServer(0), S_OK);
  EXPECT_EQ(g_module.DllCanUnloadNow(), S_OK);
}

TEST_F(Atl, AFailedConstructionDestroysTheObject) {
  CTestScript::failConstruct = true;
  ITestScript* script = reinterpret_cast<ITestScript*>(1);
  EXPECT_EQ(factory->CreateInstance(nullptr, ITestScript::iid, reinterpret_cast<void**>(&script)), E_FAIL);
  EXPECT_EQ(script, nullptr);
  EXPECT_EQ(CTestScript::released, 1);
  CTestScript::failConstruct = false;
  EXPECT_EQ(factory->CreateInstance(nullptr, IOtherScript::iid, reinterpret_cast<void**>(&script)), E_NOINTERFACE);
  EXPECT_EQ(CTestScript::released, 2) << "an object that lacks the interface is destroyed";
}

TEST_F(Atl, AggregatedObjects) {
  Outer outer;
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, ITestScript::iid, &p), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(CTestScript::constructed, 0);

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  outer.inner = inner;
  EXPECT_NE(static_cast<void*>(inner), static_cast<void*>(&outer));
  EXPECT_EQ(g_module.DllCanUnloadNow(), S_FALSE);

  // The inner unknown answers the same three interfaces, and nothing of the outer object.
  for (const IID& iid : {IID_IUnknown, ITestScript::iid, IID_IDispatch}) {
    IUnknown* itf = nullptr;
    int refs = outer.refs;
    ASSERT_EQ(inner->QueryInterface(iid, reinterpret_cast<void**>(&itf)), S_OK);
    if (iid == IID_IUnknown) {
      EXPECT_EQ(itf, inner);
      EXPECT_EQ(outer.refs, refs) << "the inner unknown counts itself";
    } else {
      EXPECT_EQ(outer.refs, refs + 1) << "the inner object's interfaces count on the outer unknown";
    }
    itf->Release();
    EXPECT_EQ(outer.refs, refs);
  }
  for (const IID& iid : {IOtherScript::iid, IID_IClassFactory, IID_IEnumVARIANT}) {
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(inner->QueryInterface(iid, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
  }

  // Through the outer object, the aggregate is one object.
  CComPtr<ITestScript> script;
  ASSERT_EQ(outer.QueryInterface(ITestScript::iid, reinterpret_cast<void**>(&script)), S_OK);
  LONG sum = 0;
  EXPECT_EQ(script->Add(20, 22, &sum), S_OK);
  EXPECT_EQ(sum, 42);
  int queries = outer.queries;
  CComPtr<IOtherScript> other;
  ASSERT_EQ(script->QueryInterface(IOtherScript::iid, reinterpret_cast<void**>(&other)), S_OK);
  EXPECT_EQ(outer.queries, queries + 1) << "queries go to the outer unknown";
  EXPECT_EQ(other.get(), static_cast<IOtherScript*>(&outer));
  CComPtr<IUnknown> identity;
  ASSERT_EQ(script->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
  EXPECT_EQ(identity.get(), static_cast<IUnknown*>(static_cast<IOtherScript*>(&outer)));
  identity.Release();
  other.Release();
  script.Release();
  EXPECT_EQ(outer.refs, 1);

  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(CTestScript::released, 1);
  EXPECT_EQ(g_module.DllCanUnloadNow(), S_OK);
}

TEST_F(Atl, CallsByNameNeedTheRegisteredTypeLibrary) {
  TempStore store;
  CComPtr<ITestScript> script;
  ASSERT_EQ(factory->CreateInstance(nullptr, ITestScript::iid, reinterpret_cast<void**>(&script)), S_OK);
  CComPtr<IDispatch> dispatch;
  ASSERT_EQ(script.QueryInterface(&dispatch), S_OK);
  UINT count = 0;
  EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"Add")};
  DISPID id = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), TYPE_E_LIBNOTREGISTERED);
  DISPPARAMS none;
  EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
            TYPE_E_LIBNOTREGISTERED);
  LONG sum = 0;
  EXPECT_EQ(script->Add(1, 2, &sum), S_OK) << "early-bound calls need no type library";
  EXPECT_EQ(sum, 3);

  ASSERT_EQ(g_module.RegisterTypeLib(), S_OK);
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  EXPECT_EQ(id, 1);
  CComVariant args[] = {CComVariant(LONG{5}), CComVariant(LONG{37})};
  DISPPARAMS params{args, nullptr, 2, 0};
  CComVariant result;
  ASSERT_EQ(dispatch->Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr), S_OK);
  EXPECT_EQ(result.lVal, 42);
  CComPtr<ITypeInfo> info;
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
  EXPECT_EQ(dispatch->GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
  EXPECT_EQ(dispatch->GetIDsOfNames(ITestScript::iid, names, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
  EXPECT_EQ(dispatch->Invoke(1, ITestScript::iid, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            DISP_E_UNKNOWNINTERFACE);
}

TEST_F(Atl, RegistrationFromTheModulesScripts) {
  TempStore store;
  const std::string path = g_module.ModulePath();
  ASSERT_FALSE(path.empty());
  ASSERT_EQ(g_module.UpdateRegistryAppId(true), S_OK) << g_module.LastRegistrarError();
  ASSERT_EQ(g_module.RegisterServer(true), S_OK) << g_module.LastRegistrarError();
  const std::u16string classKey = u"CLSID\\{5A1C0000-0000-4000-8000-0000000000C1}";
  EXPECT_EQ(RegText(classKey), u"TestScript");
  EXPECT_EQ(Utf16ToUtf8(RegText(classKey + u"\\InprocServer32")), path);
  EXPECT_EQ(RegText(classKey, u"AppID"), u"{5A1C0000-0000-4000-8000-0000000000DD}");
  EXPECT_EQ(RegText(u"AppID\\{5A1C0000-0000-4000-8000-0000000000DD}"), u"test");
  EXPECT_EQ(Utf16ToUtf8(RegText(u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000AA}\\1.0\\0\\win32")), path);

  ASSERT_EQ(g_module.UnregisterServer(true), S_OK);
  EXPECT_FALSE(RegKeyExists(classKey));
  EXPECT_FALSE(RegKeyExists(u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000AA}"));
  EXPECT_EQ(g_module.UnregisterServer(true), TYPE_E_REGISTRYACCESS) << "the type library is gone already";

  EXPECT_EQ(g_module.UpdateRegistryFromResource(999, true), HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
  EXPECT_NE(g_module.LastRegistrarError().find("999"), std::string::npos);
}

TEST_F(Atl, ClassObjectsCountAcrossThreads) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([f = factory.get()] {
      for (int i = 0; i < 10000; ++i) {
        f->AddRef();
        f->Release();
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(factory->AddRef(), 3u) << "the map's reference, ours, and this one";
  factory->Release();
}

}  // namespace
