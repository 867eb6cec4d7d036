#include "platform/com/activation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>
#include <vector>

namespace {

struct Apartment {
  int model = -1;
  ULONG count = 0;
};
thread_local Apartment t_apartment;

struct ClassEntry {
  DWORD cookie;
  CLSID clsid;
  IClassFactory* factory;
};

struct LoadedModule {
  void* handle = nullptr;
  PfnDllGetClassObject getClassObject = nullptr;
  PfnDllCanUnloadNow canUnloadNow = nullptr;
};

struct ProcessState {
  std::mutex mutex;  // the class table and the locator
  std::vector<ClassEntry> classes;  // newest last
  DWORD nextCookie = 1;
  InprocServerLocator locator = nullptr;
  // Loading or unloading a module runs its start-up and shut-down code, which may register classes or load
  // further modules: the module cache has a lock of its own, never held together with `mutex` by us.
  std::recursive_mutex modulesMutex;
  std::map<std::string, LoadedModule> modules;
};

ProcessState& State() {
  static ProcessState* state = new ProcessState;  // never destroyed: modules may call in during exit
  return *state;
}

HRESULT LoadModule(const std::string& path, LoadedModule& out) {
  auto& st = State();
  if (auto it = st.modules.find(path); it != st.modules.end()) {
    out = it->second;
    return S_OK;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return CO_E_DLLNOTFOUND;
  LoadedModule m;
  m.handle = handle;
  m.getClassObject = reinterpret_cast<PfnDllGetClassObject>(dlsym(handle, "DllGetClassObject"));
  m.canUnloadNow = reinterpret_cast<PfnDllCanUnloadNow>(dlsym(handle, "DllCanUnloadNow"));
  if (!m.getClassObject) {
    dlclose(handle);
    return CO_E_ERRORINDLL;
  }
  st.modules.emplace(path, m);
  out = m;
  return S_OK;
}

}  // namespace

HRESULT CoInitializeEx(void*, DWORD coinit) {
  int model = (coinit & COINIT_APARTMENTTHREADED) ? static_cast<int>(COINIT_APARTMENTTHREADED)
                                                  : static_cast<int>(COINIT_MULTITHREADED);
  auto& a = t_apartment;
  if (a.count == 0) {
    a.model = model;
    a.count = 1;
    return S_OK;
  }
  if (a.model != model) return RPC_E_CHANGED_MODE;
  ++a.count;
  return S_FALSE;
}

void CoUninitialize() {
  auto& a = t_apartment;
  if (a.count == 0) return;
  if (--a.count == 0) a.model = -1;
}

int CoCurrentApartmentModel() { return t_apartment.count ? t_apartment.model : -1; }

HRESULT CoRegisterInprocClass(REFCLSID clsid, IClassFactory* factory, DWORD* cookie) {
  if (!factory || !cookie) return E_INVALIDARG;
  auto& st = State();
  std::lock_guard lock(st.mutex);
  factory->AddRef();
  *cookie = st.nextCookie++;
  st.classes.push_back({*cookie, clsid, factory});
  return S_OK;
}

HRESULT CoRevokeInprocClass(DWORD cookie) {
  auto& st = State();
  IClassFactory* factory = nullptr;
  {
    std::lock_guard lock(st.mutex);
    for (auto it = st.classes.begin(); it != st.classes.end(); ++it) {
      if (it->cookie == cookie) {
        factory = it->factory;
        st.classes.erase(it);
        break;
      }
    }
  }
  if (!factory) return E_INVALIDARG;
  factory->Release();
  return S_OK;
}

void CoSetInprocServerLocator(InprocServerLocator locator) {
  auto& st = State();
  std::lock_guard lock(st.mutex);
  st.locator = locator;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void*, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (CoCurrentApartmentModel() < 0) return CO_E_NOTINITIALIZED;
  if (!(clsctx & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  auto& st = State();
  CComPtr<IClassFactory> factory;
  InprocServerLocator locator;
  {
    std::lock_guard lock(st.mutex);
    for (auto it = st.classes.rbegin(); it != st.classes.rend(); ++it) {
      if (it->clsid == clsid) {
        factory = it->factory;
        break;
      }
    }
    locator = st.locator;
  }
  if (factory) return factory->QueryInterface(riid, ppv);
  if (!locator) return REGDB_E_CLASSNOTREG;
  std::string path;
  if (HRESULT hr = locator(clsid, &path); FAILED(hr)) return hr;
  LoadedModule module;
  {
    std::lock_guard lock(st.modulesMutex);
    if (HRESULT hr = LoadModule(path, module); FAILED(hr)) return hr;
  }
  return module.getClassObject(clsid, riid, ppv);
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer && riid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
  CComPtr<IClassFactory> factory;
  if (HRESULT hr = CoGetClassObject(clsid, clsctx, nullptr, IID_IClassFactory, reinterpret_cast<void**>(&factory));
      FAILED(hr))
    return hr;
  return factory->CreateInstance(outer, riid, ppv);
}

void CoFreeUnusedLibraries() {
  auto& st = State();
  std::lock_guard lock(st.modulesMutex);
  for (auto it = st.modules.begin(); it != st.modules.end();) {
    if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
      dlclose(it->second.handle);
      it = st.modules.erase(it);
    } else {
      ++it;
    }
  }
}
