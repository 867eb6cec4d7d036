// COM through the registry: activation of registered in-process servers, ProgIDs, and the self-registration
// of server modules.
#pragma once

#include <string>

#include "platform/com/unknown.h"

// Lets CoCreateInstance/CoGetClassObject find classes that are not in the process's class table through
// HKEY_CLASSES_ROOT\CLSID\{...}\InprocServer32. Call once at start-up; CoFreeUnusedLibraries unloads modules
// that are no longer in use.
void EnableRegistryActivation();

// The module path registered for a class: REGDB_E_CLASSNOTREG when the class or its InprocServer32 key is not
// registered, REGDB_E_READREGDB when the store cannot be read (see RegistryLastFault).
HRESULT LocateInprocServer(REFCLSID clsid, std::string* modulePath);

// HKEY_CLASSES_ROOT\<ProgID>\CLSID. CO_E_CLASSSTRING when the ProgID is not registered or names no valid CLSID,
// REGDB_E_READREGDB when the store cannot be read.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);
// HKEY_CLASSES_ROOT\CLSID\{...}\ProgID. REGDB_E_CLASSNOTREG when there is none.
HRESULT ProgIDFromCLSID(REFCLSID clsid, std::u16string* progId);

// Loads a module and calls its DllRegisterServer / DllUnregisterServer, as regsvr32 does. The module is found by
// its path (made absolute, so the registration records where it really lives) and unloaded again afterwards.
// `message`, when given, receives a one-line explanation of a failure: the module that cannot be loaded, the
// missing entry point, or the failing HRESULT with its text and the registry store's fault, if any.
HRESULT RegisterServerModule(const std::string& path, std::string* message = nullptr);
HRESULT UnregisterServerModule(const std::string& path, std::string* message = nullptr);
