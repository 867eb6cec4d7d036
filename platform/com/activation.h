// Apartments per thread and object activation: CoInitializeEx, CoCreateInstance and friends.
//
// A CLSID is resolved first through the process's in-process class table (classes linked into the process,
// such as the ADO objects), then through the registry: CLSID\{...}\InprocServer32 names a module, which is
// loaded with dlopen and asked for its class object through DllGetClassObject.
#pragma once

#include <string>

#include "platform/com/unknown.h"

HRESULT CoInitializeEx(void* reserved, DWORD coinit);
inline HRESULT CoInitialize(void* reserved) { return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED); }
void CoUninitialize();
// The calling thread's apartment: -1 when COM is not initialised, else the COINIT_* model.
int CoCurrentApartmentModel();

HRESULT CoGetClassObject(REFCLSID clsid, DWORD clsctx, void* reserved, REFIID riid, void** ppv);
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD clsctx, REFIID riid, void** ppv);
// Unloads modules whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// In-process class table. A later registration of the same CLSID hides an earlier one until it is revoked,
// so tests can put a recording implementation in front of a real one.
HRESULT CoRegisterInprocClass(REFCLSID clsid, IClassFactory* factory, DWORD* cookie);
HRESULT CoRevokeInprocClass(DWORD cookie);

// Where the registry says an in-process server lives. Installed by the registry layer
// (EnableRegistryActivation); without it only the class table is searched.
using InprocServerLocator = HRESULT (*)(REFCLSID clsid, std::string* modulePath);
void CoSetInprocServerLocator(InprocServerLocator locator);

// Signatures of a module's exports.
using PfnDllGetClassObject = HRESULT (*)(REFCLSID, REFIID, void**);
using PfnDllCanUnloadNow = HRESULT (*)();
using PfnDllRegisterServer = HRESULT (*)();
