#include "platform/com/atlbase.h"

#include <utility>

#include "platform/com/modulepath.h"
#include "platform/com/utf.h"
#include "platform/registry/registrar.h"

GUID CAtlModule::m_libid{};
CAtlModule* _pAtlModule = nullptr;

CAtlModule::CAtlModule() { _pAtlModule = this; }

CAtlModule::~CAtlModule() {
  if (_pAtlModule == this) _pAtlModule = nullptr;
}

namespace {
std::string FolderOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// %MODULE% stands inside quotes in the scripts, so a quote in the path is doubled.
std::u16string EscapeQuotes(std::u16string_view text) {
  std::u16string out;
  for (char16_t c : text) {
    out.push_back(c);
    if (c == u'\'') out.push_back(c);
  }
  return out;
}
}  // namespace

CAtlDllModule::CAtlDllModule(const AtlModuleDescription& description)
    : m_description(description),
      m_path(ModulePathFromAddress(description.anchor)),
      m_appId(description.appId ? description.appId : u"") {
  if (m_description.typeLib) RegisterModuleTypeLib(description.anchor, m_description.typeLib);
}

CAtlDllModule::~CAtlDllModule() { Term(); }

void CAtlDllModule::Term() {
  if (m_terminated) return;
  m_terminated = true;
  for (auto& entry : m_description.objectMap) {
    IUnknown* cf = nullptr;
    {
      std::lock_guard lock(entry.cfLock);
      cf = std::exchange(entry.pCF, nullptr);
    }
    if (cf) cf->Release();
  }
  if (m_description.typeLib) RevokeModuleTypeLib(m_description.typeLib);
}

HRESULT CAtlDllModule::DllCanUnloadNow() { return GetLockCount() > 0 ? S_FALSE : S_OK; }

HRESULT CAtlDllModule::DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  for (auto& entry : m_description.objectMap) {
    if (*entry.pclsid != clsid) continue;
    IUnknown* cf = nullptr;
    {
      std::lock_guard lock(entry.cfLock);
      if (!entry.pCF) {
        HRESULT hr = entry.pfnGetClassObject(entry.pfnCreateInstance, IID_IUnknown, reinterpret_cast<void**>(&entry.pCF));
        if (FAILED(hr)) return hr;
      }
      cf = entry.pCF;
    }
    return cf->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CAtlDllModule::RegisterServer(bool registerTypeLib) {
  for (auto& entry : m_description.objectMap)
    if (HRESULT hr = entry.pfnUpdateRegistry(true); FAILED(hr)) return hr;
  return registerTypeLib ? RegisterTypeLib() : S_OK;
}

HRESULT CAtlDllModule::UnregisterServer(bool unregisterTypeLib) {
  for (auto& entry : m_description.objectMap)
    if (HRESULT hr = entry.pfnUpdateRegistry(false); FAILED(hr)) return hr;
  return unregisterTypeLib ? UnRegisterTypeLib() : S_OK;
}

HRESULT CAtlDllModule::UpdateRegistryAppId(bool doRegister) {
  if (m_description.appIdResource == 0) return S_OK;
  return UpdateRegistryFromResource(m_description.appIdResource, doRegister);
}

HRESULT CAtlDllModule::UpdateRegistryFromResource(UINT id, bool doRegister) {
  m_registrarError.clear();
  const AtlRegistryScript* script = nullptr;
  for (const auto& s : m_description.registryScripts)
    if (s.id == id) script = &s;
  if (!script) {
    m_registrarError = "the module has no REGISTRY resource " + std::to_string(id);
    return HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND);
  }
  std::u16string path = Utf8ToUtf16(m_path);
  CRegObject registrar;
  registrar.AddReplacement(u"MODULE", EscapeQuotes(path));
  registrar.AddReplacement(u"MODULE_RAW", path);
  if (!m_appId.empty()) registrar.AddReplacement(u"APPID", m_appId);
  HRESULT hr = doRegister ? registrar.StringRegister(script->text) : registrar.StringUnregister(script->text);
  if (FAILED(hr)) m_registrarError = "REGISTRY " + std::to_string(id) + ": " + registrar.ErrorText();
  return hr;
}

HRESULT CAtlDllModule::RegisterTypeLib() {
  CComPtr<ITypeLib> lib;
  if (HRESULT hr = LoadTypeLib(m_path, &lib); FAILED(hr)) return hr;
  return ::RegisterTypeLib(lib, m_path, FolderOf(m_path));
}

HRESULT CAtlDllModule::UnRegisterTypeLib() {
  CComPtr<ITypeLib> lib;
  if (HRESULT hr = LoadTypeLib(m_path, &lib); FAILED(hr)) return hr;
  TLIBATTR attr;
  if (HRESULT hr = lib->GetLibAttr(&attr); FAILED(hr)) return hr;
  return ::UnRegisterTypeLib(attr.guid, attr.wMajorVerNum, attr.wMinorVerNum, attr.lcid, attr.syskind);
}
