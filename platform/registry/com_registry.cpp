#include "platform/registry/com_registry.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/com/activation.h"
#include "platform/com/errortext.h"
#include "platform/com/utf.h"
#include "platform/registry/registry.h"

namespace {

HRESULT ReadFailure(LSTATUS s, HRESULT notFound) {
  if (s == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND) || s == static_cast<LSTATUS>(ERROR_INVALID_DATA))
    return notFound;
  return REGDB_E_READREGDB;
}

HRESULT Locator(REFCLSID clsid, std::string* modulePath) { return LocateInprocServer(clsid, modulePath); }

std::string HResultText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  std::u16string text;
  if (!SystemMessageText(hr, &text)) return code;
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
  return std::string(code) + " (" + Utf16ToUtf8(text) + ")";
}

HRESULT CallServerEntry(const std::string& path, const char* entry, std::string* message) {
  auto say = [&](const std::string& text) {
    if (message) *message = text;
  };
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved)) {
    int err = errno;
    say("cannot find the module " + path + ": " + std::strerror(err));
    return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  }
  void* handle = ::dlopen(resolved, RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    say("cannot load the module " + std::string(resolved) + ": " + (why ? why : "unknown reason"));
    return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
  }
  auto fn = reinterpret_cast<PfnDllRegisterServer>(::dlsym(handle, entry));
  if (!fn) {
    ::dlclose(handle);
    say("the module " + std::string(resolved) + " has no entry point " + entry);
    return HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  }
  RegistryClearFault();
  HRESULT hr = fn();
  if (FAILED(hr)) {
    std::string text = std::string(entry) + " of " + resolved + " failed: " + HResultText(hr);
    RegistryFault fault = RegistryLastFault();
    if (FAILED(fault.hr)) text += "; " + fault.message;
    say(text);
  }
  ::dlclose(handle);
  return hr;
}

}  // namespace

void EnableRegistryActivation() { CoSetInprocServerLocator(&Locator); }

HRESULT LocateInprocServer(REFCLSID clsid, std::string* modulePath) {
  if (!modulePath) return E_POINTER;
  modulePath->clear();
  std::u16string path;
  LSTATUS s = RegGetString(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidToString(clsid) + u"\\InprocServer32", u"", &path);
  if (s != ERROR_SUCCESS) return ReadFailure(s, REGDB_E_CLASSNOTREG);
  if (path.empty()) return REGDB_E_CLASSNOTREG;
  *modulePath = Utf16ToUtf8(path);
  return S_OK;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
  if (!progId || !clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  std::u16string_view name(progId);
  if (name.empty() || name.find(u'\\') != std::u16string_view::npos) return CO_E_CLASSSTRING;
  std::u16string text;
  LSTATUS s = RegGetString(HKEY_CLASSES_ROOT, std::u16string(name) + u"\\CLSID", u"", &text);
  if (s == static_cast<LSTATUS>(ERROR_INVALID_PARAMETER)) return CO_E_CLASSSTRING;
  if (s != ERROR_SUCCESS) return ReadFailure(s, CO_E_CLASSSTRING);
  auto parsed = GuidFromString(text);
  if (!parsed) return CO_E_CLASSSTRING;
  *clsid = *parsed;
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, std::u16string* progId) {
  if (!progId) return E_POINTER;
  progId->clear();
  LSTATUS s = RegGetString(HKEY_CLASSES_ROOT, u"CLSID\\" + GuidToString(clsid) + u"\\ProgID", u"", progId);
  if (s != ERROR_SUCCESS) return ReadFailure(s, REGDB_E_CLASSNOTREG);
  return S_OK;
}

HRESULT RegisterServerModule(const std::string& path, std::string* message) {
  return CallServerEntry(path, "DllRegisterServer", message);
}

HRESULT UnregisterServerModule(const std::string& path, std::string* message) {
  return CallServerEntry(path, "DllUnregisterServer", message);
}
