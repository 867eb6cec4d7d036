// ATL-like module support: the module object with its lock count, the object map and its class objects,
// registration from registry scripts and the module's type library.
//
// Each module links its own copy of this library (qatl is static), so every module has its own module object,
// lock count and type library identifier, as each DLL has with ATL.
#pragma once

#include <atomic>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

#include "platform/com/typelib.h"
#include "platform/com/unknown.h"

using AtlCreatorFunc = HRESULT (*)(void* outer, REFIID riid, void** ppv);
using AtlClassObjectFunc = HRESULT (*)(AtlCreatorFunc createInstance, REFIID riid, void** ppv);

// One class of the module.
struct AtlObjectMapEntry {
  const CLSID* pclsid;
  HRESULT (*pfnUpdateRegistry)(bool doRegister);
  AtlClassObjectFunc pfnGetClassObject;  // makes the class object
  AtlCreatorFunc pfnCreateInstance;      // makes an instance, aggregated when an outer unknown is given
  IUnknown* pCF = nullptr;               // the class object, made on first request and kept until Term
  std::mutex cfLock;                     // guards pCF
};

#define OBJECT_ENTRY(clsid, cls) \
  { &clsid, &cls::UpdateRegistry, &cls::_ClassFactoryCreatorClass::CreateInstance, &cls::_CreatorClass::CreateInstance, nullptr, {} }

// A REGISTRY resource: a registry script kept in the module.
struct AtlRegistryScript {
  UINT id;
  std::string_view text;  // UTF-8
};

class CAtlModule {
 public:
  // The module's type library identifier; IDispatchImpl takes its type information from it by default.
  static GUID m_libid;

  CAtlModule();
  virtual ~CAtlModule();
  CAtlModule(const CAtlModule&) = delete;
  CAtlModule& operator=(const CAtlModule&) = delete;

  LONG Lock() { return ++m_nLockCnt; }
  LONG Unlock() { return --m_nLockCnt; }
  LONG GetLockCount() const { return m_nLockCnt.load(); }

  // Runs REGISTRY resource `id` in register or unregister mode with %MODULE%, %MODULE_RAW% and %APPID%.
  virtual HRESULT UpdateRegistryFromResource(UINT id, bool doRegister) = 0;

 protected:
  std::atomic<LONG> m_nLockCnt{0};
};

// The module object of this module (set by its constructor).
extern CAtlModule* _pAtlModule;

struct AtlModuleDescription {
  const void* anchor;  // any function or object of the module: its file is found from it
  std::span<AtlObjectMapEntry> objectMap;
  std::span<const AtlRegistryScript> registryScripts;
  const TypeLibDescription* typeLib;  // TYPELIB 1 of the module, or null
  const char16_t* appId;              // "{...}" for %APPID%, or null
  UINT appIdResource;                 // the AppID's registry script, or 0
};

class CAtlDllModule : public CAtlModule {
 public:
  explicit CAtlDllModule(const AtlModuleDescription& description);
  ~CAtlDllModule() override;

  // S_FALSE while objects or locks are outstanding.
  HRESULT DllCanUnloadNow();
  // The cached class object of an object map class, queried for riid; CLASS_E_CLASSNOTAVAILABLE otherwise.
  HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
  // Every class of the object map in order, then (when asked) the type library. Stops at the first failure.
  HRESULT RegisterServer(bool registerTypeLib);
  HRESULT UnregisterServer(bool unregisterTypeLib);
  HRESULT UpdateRegistryAppId(bool doRegister);
  HRESULT UpdateRegistryFromResource(UINT id, bool doRegister) override;
  // The module's own type library, registered with the module's path and folder.
  HRESULT RegisterTypeLib();
  HRESULT UnRegisterTypeLib();

  const std::string& ModulePath() const { return m_path; }
  const std::u16string& AppId() const { return m_appId; }
  // What the registrar said about the last failing script; empty after a success.
  const std::string& LastRegistrarError() const { return m_registrarError; }
  // Releases the class objects and withdraws the type library; the destructor does it too.
  void Term();

 private:
  AtlModuleDescription m_description;
  std::string m_path;
  std::u16string m_appId;
  std::string m_registrarError;
  bool m_terminated = false;
};
