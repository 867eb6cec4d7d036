// The module as the capture platform meets it: loaded with dlopen, registered through its exports, found
// through the registry, asked for class objects.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "host/kofax.h"
#include "platform/com/activation.h"
#include "platform/com/typelib.h"
#include "platform/com/utf.h"
#include "platform/com/versioninfo.h"
#include "platform/registry/com_registry.h"
#include "platform/registry/registry.h"
#include "tests/registry/temp_store.h"

namespace {

const std::string kModule = std::filesystem::canonical(QORVENA_MODULE_PATH).string();

constexpr GUID kLibId = MakeGuid("{A073AE4B-4E77-4E59-9ED3-2900E7489322}");
const std::u16string kExportKey = u"CLSID\\{A4836D49-3680-49E8-B8F0-9F6413E4DA13}";
const std::u16string kSetupKey = u"CLSID\\{2D301A81-407F-4F1E-89A3-4CBB43B34596}";
const std::u16string kLibKey = u"TypeLib\\{A073AE4B-4E77-4E59-9ED3-2900E7489322}";

bool ModuleLoaded(const std::string& path = kModule) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (line.find(path) != std::string::npos) return true;
  return false;
}

// The module loaded as the host loads it.
class Module {
 public:
  explicit Module(const std::string& path = kModule) : handle_(::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) return;
    getClassObject = reinterpret_cast<PfnDllGetClassObject>(::dlsym(handle_, "DllGetClassObject"));
    canUnloadNow = reinterpret_cast<PfnDllCanUnloadNow>(::dlsym(handle_, "DllCanUnloadNow"));
    registerServer = reinterpret_cast<PfnDllRegisterServer>(::dlsym(handle_, "DllRegisterServer"));
    unregisterServer = reinterpret_cast<PfnDllRegisterServer>(::dlsym(handle_, "DllUnregisterServer"));
  }
  ~Module() {
    if (handle_) ::dlclose(handle_);
  }
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  bool loaded() const { return handle_ && getClassObject && canUnloadNow && registerServer && unregisterServer; }
  void* handle() const { return handle_; }

  CComPtr<IClassFactory> Factory(REFCLSID clsid) {
    CComPtr<IClassFactory> f;
    EXPECT_EQ(getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&f)), S_OK);
    return f;
  }

  PfnDllGetClassObject getClassObject = nullptr;
  PfnDllCanUnloadNow canUnloadNow = nullptr;
  PfnDllRegisterServer registerServer = nullptr;
  PfnDllRegisterServer unregisterServer = nullptr;

 private:
  void* handle_;
};

// An outer object for aggregation: answers IUnknown and IEnumVARIANT itself and passes everything else to the
// inner unknown.
class Outer final : public IEnumVARIANT {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override {
    ++queries;
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid == IID_IUnknown || riid == IID_IEnumVARIANT) {
      *ppv = static_cast<IEnumVARIANT*>(this);
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
  }
  ULONG AddRef() override { return static_cast<ULONG>(++refs); }
  ULONG Release() override { return static_cast<ULONG>(--refs); }
  HRESULT Next(ULONG, VARIANT*, ULONG*) override { return S_FALSE; }
  HRESULT Skip(ULONG) override { return S_FALSE; }
  HRESULT Reset() override { return S_OK; }
  HRESULT Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

  int refs = 1;
  int queries = 0;
  IUnknown* inner = nullptr;
};

// Document data that has nothing to give: every read fails, every report is kept.
class EmptyReleaseData final : public ComObject<NoDispatch<IReleaseData>> {
 public:
  HRESULT get_Name(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_KofaxPDFFileName(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_ConnectString(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_UserName(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_Password(BSTR*) override { return E_NOTIMPL; }
  HRESULT get_Values(IValues**) override { return E_NOTIMPL; }
  HRESULT get_CustomProperties(ICustomProperties**) override { return E_NOTIMPL; }
  HRESULT LogError(LONG, LONG, LONG, BSTR message, BSTR, LONG) override {
    log.push_back(BstrToString(message));
    return S_OK;
  }
  HRESULT SendMessage(BSTR, LONG, LONG) override { return S_OK; }
  std::vector<std::u16string> log;
};

struct ClassCase {
  const char* name;
  CLSID clsid;
  IID iid;        // its own interface
  IID otherIid;   // the other class's interface
};
const ClassCase kClasses[] = {
    {"releaseScript", CLSID_QorvenExportConnector, IKfxReleaseScript::iid, IKfxReleaseSetupScript::iid},
    {"DodoSetupScript", CLSID_DodoSetupScript, IKfxReleaseSetupScript::iid, IKfxReleaseScript::iid},
};

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kModule)) << kModule;
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  }
  void TearDown() override {
    CoFreeUnusedLibraries();
    CoSetInprocServerLocator(nullptr);
    CoUninitialize();
  }

  HRESULT Register(std::string* message = nullptr) { return RegisterServerModule(kModule, message); }
  HRESULT Unregister(std::string* message = nullptr) { return UnregisterServerModule(kModule, message); }

  TempStore store;
};

TEST_F(ModuleTest, ExportsTheFourEntryPoints) {
  Module m;
  EXPECT_TRUE(m.loaded()) << ::dlerror();
  EXPECT_EQ(::dlsym(m.handle(), "QorvenaTypeLibrary"), nullptr);
  EXPECT_EQ(::dlsym(m.handle(), "_pAtlModule"), nullptr) << "nothing else leaves the module";
}

TEST_F(ModuleTest, RegisteringTwiceLeavesOneClassKeyPerClass) {
  CRegKey stale;
  ASSERT_EQ(stale.Create(HKEY_CLASSES_ROOT, u"CLSID\\{a4836d49-3680-49e8-b8f0-9f6413e4da13}\\Stale"), ERROR_SUCCESS);
  stale.Close();
  std::string message;
  ASSERT_EQ(Register(&message), S_OK) << message;
  const std::string once = store.Contents();
  ASSERT_EQ(Register(&message), S_OK) << message;
  EXPECT_EQ(store.Contents(), once);
  EXPECT_EQ(RegSubKeyCount(u"CLSID"), 2u);
  EXPECT_FALSE(RegKeyExists(kExportKey + u"\\Stale")) << "the class key is made afresh";

  const std::u16string module = Utf8ToUtf16(kModule);
  const std::u16string folder = Utf8ToUtf16(std::filesystem::path(kModule).parent_path().string());
  struct Value {
    std::u16string key;
    std::u16string name;
    std::u16string text;
  };
  const Value values[] = {
      {kExportKey, u"", u"qorvena.QorvenExportConnector"},
      {kExportKey + u"\\ProgID", u"", u"qorvena.QorvenExportConnector"},
      {kExportKey + u"\\InprocServer32", u"", module},
      {kExportKey + u"\\InprocServer32", u"ThreadingModel", u"Both"},
      {kExportKey, u"AppID", u"{EE0D74DB-D178-4352-9CEE-31B29287A6D8}"},
      {kExportKey + u"\\TypeLib", u"", u"{3D29F3F9-B778-4d53-B006-C57708C15381}"},
      {u"qorvena.QorvenExportConnector\\CLSID", u"", u"{A4836D49-3680-49e8-B8F0-9F6413E4DA13}"},
      {kSetupKey, u"", u"qorvena.DodoSetupScript"},
      {kSetupKey + u"\\ProgID", u"", u"qorvena.DodoSetupScript"},
      {kSetupKey + u"\\InprocServer32", u"", module},
      {kSetupKey + u"\\InprocServer32", u"ThreadingModel", u"Both"},
      {kSetupKey, u"AppID", u"{EE0D74DB-D178-4352-9CEE-31B29287A6D8}"},
      {kSetupKey + u"\\TypeLib", u"", u"{3D29F3F9-B778-4d53-B006-C57708C15381}"},
      {u"qorvena.DodoSetupScript\\CLSID", u"", u"{2D301A81-407F-4f1e-89A3-4CBB43B34596}"},
      {u"AppID\\{EE0D74DB-D178-4352-9CEE-31B29287A6D8}", u"", u"qorvena"},
      {u"AppID\\qorvena.DLL", u"AppID", u"{EE0D74DB-D178-4352-9CEE-31B29287A6D8}"},
      {kLibKey + u"\\1.0", u"", u"qorvena 1.0 Type Library"},
      {kLibKey + u"\\1.0\\0\\win32", u"", module},
      {kLibKey + u"\\1.0\\FLAGS", u"", u"0"},
      {kLibKey + u"\\1.0\\HELPDIR", u"", folder},
      {u"Interface\\{D0B556C8-975C-4D36-B855-0DD1AB0B6255}", u"", u"IKfxReleaseScript"},
      {u"Interface\\{D0B556C8-975C-4D36-B855-0DD1AB0B6255}\\TypeLib", u"", u"{A073AE4B-4E77-4E59-9ED3-2900E7489322}"},
      {u"Interface\\{5F5E61B2-0B35-4616-BABE-3DCDC12D5E11}", u"", u"IKfxReleaseSetupScript"},
  };
  for (const auto& v : values)
    EXPECT_EQ(RegText(v.key, v.name), v.text) << Utf16ToUtf8(v.key) << " " << Utf16ToUtf8(v.name);
  EXPECT_TRUE(RegKeyExists(kExportKey + u"\\Programmable"));
  EXPECT_TRUE(RegKeyExists(kSetupKey + u"\\Programmable"));
  EXPECT_FALSE(RegKeyExists(u"TypeLib\\{3D29F3F9-B778-4d53-B006-C57708C15381}"))
      << "the classes name another library than the one registered";
  EXPECT_FALSE(ModuleLoaded()) << "registration unloads the module again";
}

TEST_F(ModuleTest, UnregisteringLeavesTheParentsAndEverythingElse) {
  for (const char16_t* other : {u"CLSID\\{00000000-0000-0000-0000-0000000000A1}\\InprocServer32",
                                u"AppID\\{00000000-0000-0000-0000-0000000000A2}",
                                u"TypeLib\\{00000000-0000-0000-0000-0000000000A3}\\1.0",
                                u"Interface\\{00000000-0000-0000-0000-0000000000A4}"}) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, other), ERROR_SUCCESS);
    ASSERT_EQ(key.SetStringValue(u"", u"someone else's"), ERROR_SUCCESS);
  }
  const std::string before = store.Contents();
  ASSERT_EQ(Register(), S_OK);
  ASSERT_NE(store.Contents(), before);
  std::string message;
  ASSERT_EQ(Unregister(&message), S_OK) << message;
  EXPECT_EQ(store.Contents(), before);
}

TEST_F(ModuleTest, UnregisteringAnEmptyRegistryKeepsTheParentKeys) {
  ASSERT_EQ(Register(), S_OK);
  ASSERT_EQ(Unregister(), S_OK);
  for (const char16_t* parent : {u"AppID", u"CLSID"}) {
    EXPECT_TRUE(RegKeyExists(parent)) << Utf16ToUtf8(parent);
    EXPECT_EQ(RegSubKeyCount(parent), 0u);
  }
  EXPECT_FALSE(RegKeyExists(u"qorvena.QorvenExportConnector"));
  EXPECT_FALSE(RegKeyExists(u"qorvena.DodoSetupScript"));
  EXPECT_FALSE(RegKeyExists(kLibKey));
  EXPECT_EQ(RegSubKeyCount(u"Interface"), 0u);
  EXPECT_EQ(Unregister(), S_OK) << "unregistering again finds nothing and succeeds";
}

TEST_F(ModuleTest, UnregisteringGoesOnPastAnInaccessibleTypeLibRegistration) {
  ASSERT_EQ(Register(), S_OK);
  ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, kLibKey + u"\\1.0\\0"), ERROR_SUCCESS);
  {
    // What the type library step meets now; the transaction is dropped, so nothing changes.
    RegistryTransaction probe;
    EXPECT_EQ(UnRegisterTypeLib(kLibId, 1, 0, 0x0409, SYS_WIN32), TYPE_E_REGISTRYACCESS);
  }
  std::string message;
  EXPECT_EQ(Unregister(&message), S_OK) << message;
  EXPECT_FALSE(RegKeyExists(kLibKey)) << "the later step removed the type library's keys";
  EXPECT_FALSE(RegKeyExists(kExportKey));
  EXPECT_FALSE(RegKeyExists(kSetupKey));
  EXPECT_FALSE(RegKeyExists(u"Interface\\{D0B556C8-975C-4D36-B855-0DD1AB0B6255}"));
}

TEST_F(ModuleTest, ClassObjects) {
  Module m;
  ASSERT_TRUE(m.loaded());
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(m.getClassObject(MakeGuid("{00000000-1111-2222-3333-444444444444}"), IID_IClassFactory, &p),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(m.getClassObject(CLSID_QorvenExportConnector, IID_IClassFactory, nullptr), E_POINTER);
  for (const auto& c : kClasses) {
    CComPtr<IClassFactory> a = m.Factory(c.clsid);
    CComPtr<IClassFactory> b = m.Factory(c.clsid);
    EXPECT_EQ(a.get(), b.get()) << c.name << ": one class object, made on first request";
    // A class object has no IDispatch; the framework's own search then answers for the class.
    EXPECT_EQ(m.getClassObject(c.clsid, IID_IDispatch, &p), CLASS_E_CLASSNOTAVAILABLE) << c.name;
  }
  EXPECT_NE(m.Factory(CLSID_QorvenExportConnector).get(), m.Factory(CLSID_DodoSetupScript).get());
}

TEST_F(ModuleTest, CanUnloadOnlyWhenNoObjectOrLockIsHeld) {
  Module m;
  ASSERT_TRUE(m.loaded());
  EXPECT_EQ(m.canUnloadNow(), S_OK);
  for (const auto& c : kClasses) {
    CComPtr<IClassFactory> f = m.Factory(c.clsid);
    EXPECT_EQ(m.canUnloadNow(), S_OK) << "a class object alone holds nothing";
    {
      CComPtr<IUnknown> object;
      ASSERT_EQ(f->CreateInstance(nullptr, c.iid, reinterpret_cast<void**>(&object)), S_OK);
      EXPECT_EQ(m.canUnloadNow(), S_FALSE) << c.name;
      CComPtr<IUnknown> second;
      ASSERT_EQ(f->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&second)), S_OK);
      object.Release();
      EXPECT_EQ(m.canUnloadNow(), S_FALSE) << c.name << ": one object is still alive";
    }
    EXPECT_EQ(m.canUnloadNow(), S_OK);
    {
      Outer outer;
      IUnknown* inner = nullptr;
      ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
      EXPECT_EQ(m.canUnloadNow(), S_FALSE) << c.name << ": aggregated";
      inner->Release();
    }
    EXPECT_EQ(m.canUnloadNow(), S_OK);
    EXPECT_EQ(f->LockServer(1), S_OK);
    EXPECT_EQ(f->LockServer(1), S_OK);
    EXPECT_EQ(m.canUnloadNow(), S_FALSE);
    EXPECT_EQ(f->LockServer(0), S_OK);
    EXPECT_EQ(m.canUnloadNow(), S_FALSE);
    EXPECT_EQ(f->LockServer(0), S_OK);
    EXPECT_EQ(m.canUnloadNow(), S_OK);
  }
}

TEST_F(ModuleTest, ObjectsAnswerExactlyThreeInterfaces) {
  Module m;
  ASSERT_TRUE(m.loaded());
  for (const auto& c : kClasses) {
    CComPtr<IUnknown> object;
    ASSERT_EQ(m.Factory(c.clsid)->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    const IID answered[] = {IID_IUnknown, c.iid, IID_IDispatch};
    for (const IID& iid : answered) {
      CComPtr<IUnknown> itf;
      EXPECT_EQ(object->QueryInterface(iid, reinterpret_cast<void**>(&itf)), S_OK) << c.name;
      CComPtr<IUnknown> identity;
      ASSERT_EQ(itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
      EXPECT_EQ(identity.get(), object.get()) << c.name << ": one identity";
    }
    const IID refused[] = {c.otherIid,         IID_IClassFactory, IID_IEnumVARIANT, IReleaseData::iid,
                           ITypeInfo::iid,     ITypeLib::iid,     GUID_NULL,
                           MakeGuid("{00000000-1111-2222-3333-444444444444}")};
    for (const IID& iid : refused) {
      void* p = reinterpret_cast<void*>(1);
      EXPECT_EQ(object->QueryInterface(iid, &p), E_NOINTERFACE) << c.name << " " << Utf16ToUtf8(GuidToString(iid));
      EXPECT_EQ(p, nullptr);
    }
  }
}

TEST_F(ModuleTest, AggregatedObjectsAnswerTheSameThreeInterfaces) {
  Module m;
  ASSERT_TRUE(m.loaded());
  for (const auto& c : kClasses) {
    CComPtr<IClassFactory> f = m.Factory(c.clsid);
    Outer outer;
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->CreateInstance(&outer, c.iid, &p), CLASS_E_NOAGGREGATION) << c.name;
    EXPECT_EQ(p, nullptr);
    IUnknown* inner = nullptr;
    ASSERT_EQ(f->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK) << c.name;
    outer.inner = inner;
    for (const IID& iid : {IID_IUnknown, c.iid, IID_IDispatch}) {
      IUnknown* itf = nullptr;
      int refs = outer.refs;
      ASSERT_EQ(inner->QueryInterface(iid, reinterpret_cast<void**>(&itf)), S_OK) << c.name;
      EXPECT_EQ(outer.refs, iid == IID_IUnknown ? refs : refs + 1) << c.name;
      if (iid != IID_IUnknown) {
        // The aggregated interfaces are the outer object's: queries go there.
        CComPtr<IUnknown> identity;
        ASSERT_EQ(itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
        EXPECT_EQ(identity.get(), static_cast<IUnknown*>(&outer)) << c.name;
        CComPtr<IEnumVARIANT> outerOnly;
        EXPECT_EQ(itf->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&outerOnly)), S_OK) << c.name;
      }
      itf->Release();
    }
    for (const IID& iid : {c.otherIid, IID_IEnumVARIANT, IID_IClassFactory}) {
      void* none = reinterpret_cast<void*>(1);
      EXPECT_EQ(inner->QueryInterface(iid, &none), E_NOINTERFACE) << c.name;
      EXPECT_EQ(none, nullptr);
    }
    // Early-bound calls work on the aggregated object.
    CComPtr<IDispatch> dispatch;
    ASSERT_EQ(outer.QueryInterface(c.iid, reinterpret_cast<void**>(&dispatch)), S_OK);
    dispatch.Release();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(inner->Release(), 0u);
  }
  EXPECT_EQ(m.canUnloadNow(), S_OK);
}

// Calls through the interface's own methods need nothing; calls by name need the registered type library,
// which the module reads on first use.
TEST_F(ModuleTest, CallsByNameWorkOnlyWhileTheTypeLibraryIsRegistered) {
  LPOLESTR releaseDoc[] = {const_cast<LPOLESTR>(u"ReleaseDoc")};
  {
    Module m;
    ASSERT_TRUE(m.loaded());
    CComPtr<IKfxReleaseScript> script;
    ASSERT_EQ(m.Factory(CLSID_QorvenExportConnector)
                  ->CreateInstance(nullptr, IKfxReleaseScript::iid, reinterpret_cast<void**>(&script)),
              S_OK);
    DISPID id = 0;
    EXPECT_EQ(script->GetIDsOfNames(IID_NULL, releaseDoc, 1, LOCALE_USER_DEFAULT, &id), TYPE_E_LIBNOTREGISTERED);
    DISPPARAMS none;
    CComVariant result;
    EXPECT_EQ(script->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
              TYPE_E_LIBNOTREGISTERED);
    KfxReturnValue ret = KFX_REL_ERROR;
    EXPECT_EQ(script->OpenScript(&ret), S_OK);
    EXPECT_EQ(ret, KFX_REL_SUCCESS);

    std::string message;
    ASSERT_EQ(Register(&message), S_OK) << message;
    auto byName = [&](IDispatch* d, const char16_t* name, WORD flags, std::vector<CComVariant> args, VARIANT* out) {
      LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
      DISPID member = 0;
      EXPECT_EQ(d->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &member), S_OK);
      std::reverse(args.begin(), args.end());
      DISPID put = DISPID_PROPERTYPUT;
      DISPPARAMS params{args.empty() ? nullptr : args.data(), nullptr, static_cast<UINT>(args.size()), 0};
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
      }
      return d->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, out, nullptr, nullptr);
    };
    EXPECT_EQ(byName(script, u"OpenScript", DISPATCH_METHOD, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, KFX_REL_SUCCESS);
    auto data = MakeComObject<EmptyReleaseData>();
    EXPECT_EQ(byName(script, u"DocumentData", DISPATCH_PROPERTYPUTREF,
                     {CComVariant(static_cast<IDispatch*>(data.get()))}, nullptr),
              S_OK);
    CComPtr<IReleaseData> held;
    ASSERT_EQ(script->get_DocumentData(&held), S_OK);
    EXPECT_EQ(held.get(), static_cast<IReleaseData*>(data.get()));
    held.Release();
    EXPECT_EQ(byName(script, u"DocumentData", DISPATCH_PROPERTYGET, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_DISPATCH);
    EXPECT_EQ(result.pdispVal, static_cast<IDispatch*>(data.get()));
    result.Clear();
    EXPECT_EQ(byName(script, u"ReleaseDoc", DISPATCH_METHOD, {}, &result), S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, KFX_REL_ERROR) << "a document without data is not released";
    EXPECT_EQ(byName(script, u"CloseScript", DISPATCH_METHOD, {}, &result), S_OK);
    EXPECT_EQ(result.lVal, KFX_REL_SUCCESS);

    CComPtr<IKfxReleaseSetupScript> setup;
    ASSERT_EQ(m.Factory(CLSID_DodoSetupScript)
                  ->CreateInstance(nullptr, IKfxReleaseSetupScript::iid, reinterpret_cast<void**>(&setup)),
              S_OK);
    EXPECT_EQ(byName(setup, u"OpenScript", DISPATCH_METHOD, {}, &result), S_OK);
    EXPECT_EQ(result.lVal, KFX_REL_SUCCESS);
    struct Action {
      LONG id;
      LONG expected;
    };
    for (const Action a : {Action{13, KFX_REL_SUCCESS}, Action{0, KFX_REL_SUCCESS}, Action{14, KFX_REL_UNSUPPORTED},
                           Action{-1, KFX_REL_UNSUPPORTED}}) {
      EXPECT_EQ(byName(setup, u"ActionEvent", DISPATCH_METHOD, {CComVariant(a.id), CComVariant(u"a"), CComVariant(u"b")},
                       &result),
                S_OK);
      EXPECT_EQ(result.lVal, a.expected) << a.id;
    }
    EXPECT_EQ(byName(setup, u"CloseScript", DISPATCH_METHOD, {}, &result), S_OK);
  }
  ASSERT_EQ(Unregister(), S_OK);
  ASSERT_FALSE(ModuleLoaded()) << "the module is gone, with what it had loaded";
  {
    Module m;
    CComPtr<IKfxReleaseScript> script;
    ASSERT_EQ(m.Factory(CLSID_QorvenExportConnector)
                  ->CreateInstance(nullptr, IKfxReleaseScript::iid, reinterpret_cast<void**>(&script)),
              S_OK);
    DISPID id = 0;
    EXPECT_EQ(script->GetIDsOfNames(IID_NULL, releaseDoc, 1, LOCALE_USER_DEFAULT, &id), TYPE_E_LIBNOTREGISTERED);
  }
}

TEST_F(ModuleTest, VersionReadFromTheModuleFile) {
  DWORD handle = 0;
  DWORD size = GetFileVersionInfoSize(kModule, &handle);
  ASSERT_GT(size, 0u) << VersionInfoLastError().message;
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfo(kModule, handle, size, block.data()));
  const void* p = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValue(block.data(), u"\\", &p, &length));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, p, sizeof fixed);
  EXPECT_EQ(fixed.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed.dwFileVersionMS, 0x00010005u);
  EXPECT_EQ(fixed.dwFileVersionLS, 0x00020000u);
  EXPECT_EQ(fixed.dwProductVersionMS, 0x00010005u);
  EXPECT_EQ(fixed.dwProductVersionLS, 0x00020000u);
  EXPECT_EQ(fixed.dwFileType, VFT_DLL);
  EXPECT_EQ(fixed.dwFileOS, VOS__WINDOWS32);
  EXPECT_EQ(fixed.dwFileFlags, 0u);
  struct Entry {
    const char16_t* name;
    const char16_t* text;
  };
  for (const Entry e : {Entry{u"FileDescription", u"Release Script for Ascent Capture"},
                        Entry{u"FileVersion", u"1, 5, 2, 0"}, Entry{u"ProductVersion", u"1, 5, 2, 0"},
                        Entry{u"InternalName", u"qorvena.dll"}, Entry{u"OriginalFilename", u"qorvena.dll"},
                        Entry{u"ProductName", u"Vantrel Export Connector for InforLX"}}) {
    ASSERT_TRUE(VerQueryValue(block.data(), std::u16string(u"\\StringFileInfo\\040904E4\\") + e.name, &p, &length))
        << Utf16ToUtf8(e.name);
    EXPECT_EQ(std::u16string(static_cast<const char16_t*>(p)), e.text);
  }
  ASSERT_TRUE(VerQueryValue(block.data(), u"\\VarFileInfo\\Translation", &p, &length));
  DWORD translation = 0;
  std::memcpy(&translation, p, 4);
  EXPECT_EQ(translation, 0x04E40409u);
}

TEST_F(ModuleTest, ProgIDToObjectThroughTheRegistry) {
  ASSERT_EQ(Register(), S_OK);
  EnableRegistryActivation();
  CLSID clsid;
  ASSERT_EQ(CLSIDFromProgID(u"qorvena.QorvenExportConnector", &clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_QorvenExportConnector);
  {
    CComPtr<IKfxReleaseScript> script;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IKfxReleaseScript::iid,
                               reinterpret_cast<void**>(&script)),
              S_OK);
    EXPECT_TRUE(ModuleLoaded());
    KfxReturnValue ret = KFX_REL_ERROR;
    EXPECT_EQ(script->OpenScript(&ret), S_OK);
    EXPECT_EQ(ret, KFX_REL_SUCCESS);
    ASSERT_EQ(CLSIDFromProgID(u"qorvena.DodoSetupScript", &clsid), S_OK);
    CComPtr<IKfxReleaseSetupScript> setup;
    ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IKfxReleaseSetupScript::iid,
                               reinterpret_cast<void**>(&setup)),
              S_OK);
    EXPECT_EQ(setup->ActionEvent(KFX_REL_END, nullptr, nullptr, &ret), S_OK);
    EXPECT_EQ(ret, KFX_REL_SUCCESS);
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded()) << "objects are alive";
  }
  CoFreeUnusedLibraries();
  EXPECT_FALSE(ModuleLoaded()) << "unloaded once DllCanUnloadNow says so";
  // Gone from the registry, gone for activation.
  ASSERT_EQ(Unregister(), S_OK);
  CComPtr<IUnknown> object;
  EXPECT_EQ(CLSIDFromProgID(u"qorvena.QorvenExportConnector", &clsid), CO_E_CLASSSTRING);
  EXPECT_EQ(CoCreateInstance(CLSID_QorvenExportConnector, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
}

TEST_F(ModuleTest, StoreFaultsGiveClearErrorsAndChangeNothing) {
  store.Write("{ this is not a registry");
  for (bool doRegister : {true, false}) {
    std::string message;
    HRESULT hr = doRegister ? Register(&message) : Unregister(&message);
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_NE(message.find(store.path()), std::string::npos) << message;
    EXPECT_NE(message.find("corrupt"), std::string::npos) << message;
    EXPECT_EQ(store.Contents(), "{ this is not a registry");
  }
  const std::string blocker = store.dir() + "/blocker";
  TempStore::WriteFile(blocker, "x");
  RegistrySetStorePath(blocker + "/registry.json");
  std::string message;
  EXPECT_TRUE(FAILED(Register(&message)));
  EXPECT_NE(message.find(blocker + "/registry.json"), std::string::npos) << message;
  EXPECT_NE(message.find("cannot write"), std::string::npos) << message;
  EXPECT_EQ(TempStore::ReadFile(blocker), "x");
}

// %MODULE% stands in quotes in the scripts: a quote in the module's path must survive.
TEST_F(ModuleTest, AModulePathWithAQuote) {
  const std::string folder = store.dir() + "/o'brien's modules";
  std::filesystem::create_directory(folder);
  const std::string copy = folder + "/qorvena.so";
  std::filesystem::copy_file(kModule, copy);
  std::string message;
  ASSERT_EQ(RegisterServerModule(copy, &message), S_OK) << message;
  EXPECT_EQ(Utf16ToUtf8(RegText(kExportKey + u"\\InprocServer32")), copy);
  EXPECT_EQ(Utf16ToUtf8(RegText(kLibKey + u"\\1.0\\0\\win32")), copy);
  EXPECT_EQ(Utf16ToUtf8(RegText(kLibKey + u"\\1.0\\HELPDIR")), folder);
  ASSERT_EQ(UnregisterServerModule(copy, &message), S_OK) << message;
  EXPECT_FALSE(RegKeyExists(kExportKey));
}

// Two processes registering at the same time leave a complete, readable registration.
TEST_F(ModuleTest, ConcurrentRegistrations) {
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < 5; ++i)
        if (RegisterServerModule(kModule) != S_OK) ++failures;
      ::_exit(failures);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::string concurrent = store.Contents();
  ASSERT_EQ(Register(), S_OK);
  EXPECT_EQ(store.Contents(), concurrent);
}

TEST_F(ModuleTest, ClassObjectsAreMadeOnceWhateverTheThreads) {
  Module m;
  ASSERT_TRUE(m.loaded());
  std::vector<IClassFactory*> seen(8, nullptr);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < seen.size(); ++t)
    threads.emplace_back([&, t] {
      m.getClassObject(CLSID_DodoSetupScript, IID_IClassFactory, reinterpret_cast<void**>(&seen[t]));
    });
  for (auto& t : threads) t.join();
  for (IClassFactory* f : seen) {
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f, seen[0]);
  }
  for (IClassFactory* f : seen) f->Release();
}

// A registration that fails half-way (here: the module file vanished after loading, so its type library cannot
// be read) leaves the registry exactly as it was, although the class keys were already written.
TEST_F(ModuleTest, AFailedRegistrationLeavesTheStoreAsItWas) {
  CRegKey seed;
  ASSERT_EQ(seed.Create(HKEY_CLASSES_ROOT, u"CLSID\\{00000000-0000-0000-0000-0000000000A1}"), ERROR_SUCCESS);
  seed.Close();
  const std::string before = store.Contents();
  const std::string copy = store.dir() + "/vanishing.so";
  std::filesystem::copy_file(kModule, copy);
  {
    Module m(copy);
    ASSERT_TRUE(m.loaded()) << ::dlerror();
    ASSERT_EQ(::unlink(copy.c_str()), 0);
    EXPECT_EQ(m.registerServer(), TYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(store.Contents(), before);
  }
}

}  // namespace
