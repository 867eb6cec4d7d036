// The module qorvena.so: module and application objects, object map and the four exported entry points.
#include "platform/com/atlcom.h"
#include "platform/registry/registry.h"
#include "platform/registry/store.h"
#include "resources/qorvena_module.h"
#include "server/app.h"
#include "server/classes.h"
#include "server/module_state.h"

#define QORVENA_EXPORT extern "C" __attribute__((visibility("default")))

QORVENA_EXPORT HRESULT DllCanUnloadNow();
QORVENA_EXPORT HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv);
QORVENA_EXPORT HRESULT DllRegisterServer();
QORVENA_EXPORT HRESULT DllUnregisterServer();

namespace {

// Where a failed start-up leaves the module: it does not load, in effect.
constexpr HRESULT kModuleNotStarted = HRESULT_FROM_WIN32(1114);  // ERROR_DLL_INIT_FAILED

// The version block has no caller inside the module (it is read from the module file); this reference keeps
// it, and its section, in the module.
[[gnu::used]] std::span<const BYTE> (*const kVersionResource)() = &QorvenaVersionBlock;

AtlObjectMapEntry g_objectMap[] = {
    OBJECT_ENTRY(CLSID_QorvenExportConnector, CQorvenExportConnector),
    OBJECT_ENTRY(CLSID_DodoSetupScript, CDodoSetupScript),
};

class CqorvenaModule : public CAtlDllModule {
 public:
  CqorvenaModule()
      : CAtlDllModule(AtlModuleDescription{reinterpret_cast<const void*>(&::DllGetClassObject), g_objectMap,
                                           QorvenaRegistryScripts(), QorvenaTypeLibrary(),
                                           u"{EE0D74DB-D178-4352-9CEE-31B29287A6D8}", IDR_QORVENA}) {}
};

// Construction order is start-up order: module, application object, then InitInstance; unloading runs
// ExitInstance first and ends the module last.
CqorvenaModule _AtlModule;
CqorvenaApp theApp;

struct ModuleLifetime {
  bool started = false;
  ModuleLifetime() {
    started = theApp.InitInstance();
    // A module whose start-up failed is taken down at once, as a DLL that refuses to load.
    if (!started) theApp.ExitInstance();
  }
  ~ModuleLifetime() {
    if (started) theApp.ExitInstance();
    _AtlModule.Term();
  }
} g_lifetime;

// The window framework's part of the entry points. This module has no framework class factories, so they
// answer for nothing.
HRESULT AfxDllCanUnloadNow() { return S_OK; }

HRESULT AfxDllGetClassObject(REFCLSID, REFIID, void** ppv) {
  if (ppv) *ppv = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

bool UpdateFrameworkFactoryRegistry(bool) { return true; }

// The framework's registration of the module's type library, again under its identifier.
bool AfxOleRegisterTypeLib(REFGUID libid) {
  CComPtr<ITypeLib> lib;
  if (FAILED(LoadTypeLib(_AtlModule.ModulePath(), &lib))) return false;
  TLIBATTR attr;
  if (FAILED(lib->GetLibAttr(&attr)) || attr.guid != libid) return false;
  auto slash = _AtlModule.ModulePath().find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : _AtlModule.ModulePath().substr(0, slash);
  return SUCCEEDED(RegisterTypeLib(lib, _AtlModule.ModulePath(), folder));
}

// The framework's removal of a type library: every version of it, and the interfaces registered for it. A
// registration that is already gone counts as removed.
bool AfxOleUnregisterTypeLib(REFGUID libid) {
  std::u16string libidText = GuidToString(libid);
  CRegKey interfaces;
  if (interfaces.Open(HKEY_CLASSES_ROOT, u"Interface") == ERROR_SUCCESS) {
    std::vector<std::u16string> doomed;
    std::u16string iid;
    for (DWORD i = 0; interfaces.EnumKey(i, &iid) == ERROR_SUCCESS; ++i) {
      std::u16string owner;
      if (RegGetString(interfaces, iid + u"\\TypeLib", u"", &owner) != ERROR_SUCCESS) continue;
      auto ownerId = GuidFromString(owner);
      if (ownerId && *ownerId == libid) doomed.push_back(iid);
    }
    for (const auto& d : doomed)
      if (interfaces.RecurseDeleteKey(d) != ERROR_SUCCESS) return false;
  }
  LSTATUS s = RegDeleteTree(HKEY_CLASSES_ROOT, u"TypeLib\\" + libidText);
  return s == ERROR_SUCCESS || s == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND);
}

HRESULT RegisterServer() {
  // All steps write one transaction: a registration that fails leaves the registry as it was.
  RegistryTransaction tx;
  if (FAILED(tx.Status())) return tx.Status();
  _AtlModule.UpdateRegistryAppId(true);
  if (HRESULT hr = _AtlModule.RegisterServer(true); hr != S_OK) {
    if (SUCCEEDED(hr)) tx.Commit();
    return hr;
  }
  if (!AfxOleRegisterTypeLib(LIBID_qorvena)) return SELFREG_E_TYPELIB;
  if (!UpdateFrameworkFactoryRegistry(true)) return SELFREG_E_CLASS;
  return tx.Commit();
}

HRESULT UnregisterServer() {
  RegistryTransaction tx;
  if (FAILED(tx.Status())) return tx.Status();
  _AtlModule.UpdateRegistryAppId(false);
  HRESULT hr = _AtlModule.UnregisterServer(true);
  // A type library whose registration cannot be accessed is removed by the next step.
  if (hr != S_OK && hr != TYPE_E_REGISTRYACCESS) {
    if (SUCCEEDED(hr)) tx.Commit();
    return hr;
  }
  if (!AfxOleUnregisterTypeLib(LIBID_qorvena)) return SELFREG_E_TYPELIB;
  if (!UpdateFrameworkFactoryRegistry(false)) return SELFREG_E_CLASS;
  return tx.Commit();
}

}  // namespace

HRESULT DllCanUnloadNow() {
  QORVENA_MANAGE_STATE();
  if (!g_lifetime.started) return S_OK;
  if (_AtlModule.GetLockCount() > 0) return S_FALSE;
  return AfxDllCanUnloadNow();
}

HRESULT DllGetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
  QORVENA_MANAGE_STATE();
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!g_lifetime.started) return kModuleNotStarted;
  try {
    HRESULT hr = _AtlModule.DllGetClassObject(rclsid, riid, ppv);
    if (hr != S_OK) hr = AfxDllGetClassObject(rclsid, riid, ppv);
    return hr;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT DllRegisterServer() {
  QORVENA_MANAGE_STATE();
  if (!g_lifetime.started) return kModuleNotStarted;
  try {
    return RegisterServer();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

HRESULT DllUnregisterServer() {
  QORVENA_MANAGE_STATE();
  if (!g_lifetime.started) return kModuleNotStarted;
  try {
    return UnregisterServer();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}
