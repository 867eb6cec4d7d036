// How the host obtains the export connector a document class names. The platform's way: the ProgID is
// resolved to a class id through the registry and the class is created with CoCreateInstance, which loads
// the module. A ProgID written as a class id ("{...}") needs no registry.
//
// Tests may install a fallback that hands out a connector of their own when the class cannot be found; the
// connector is still driven only through IKfxReleaseScript.
#pragma once

#include <string>
#include <string_view>

#include "host/kofax.h"

namespace capture {

using ProgIdResolver = HRESULT (*)(LPCOLESTR progId, CLSID* clsid);
using ConnectorFallback = HRESULT (*)(IKfxReleaseScript** script);

// Null removes them.
void SetProgIdResolver(ProgIdResolver resolver);
void SetConnectorFallback(ConnectorFallback fallback);

// The class id of a ProgID ("{...}" literal, else through the installed resolver).
HRESULT ResolveProgId(std::u16string_view progId, CLSID* clsid);

// Creates the connector for a ProgID. `failure` says why it could not be created. The fallback is used
// only when the class cannot be found (no resolver, unknown ProgID, class not registered).
HRESULT CreateReleaseScript(std::u16string_view progId, IKfxReleaseScript** script, std::string* failure);

// "0x80040154 Class not registered" style text of an HRESULT.
std::string HResultText(HRESULT hr);

}  // namespace capture
