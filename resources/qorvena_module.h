// What the module carries besides its user-interface resources: the registry scripts, the type library and the
// version block.
#pragma once

#include <span>

#include "platform/com/atlbase.h"
#include "platform/com/typelib.h"

// REGISTRY resources (qorvena.rgs, QorvenExportConnector.rgs, DodoSetupScript.rgs).
constexpr UINT IDR_QORVENA = 11000;
constexpr UINT IDR_QORVENEXPORTCONNECTOR = 11001;
constexpr UINT IDR_DODOSETUPSCRIPT = 11002;

inline constexpr GUID LIBID_qorvena = MakeGuid("{A073AE4B-4E77-4E59-9ED3-2900E7489322}");
inline constexpr GUID APPID_qorvena = MakeGuid("{EE0D74DB-D178-4352-9CEE-31B29287A6D8}");

// The registry scripts, as the build embeds them from the .rgs files.
std::span<const AtlRegistryScript> QorvenaRegistryScripts();

// TYPELIB 1: "qorvena" 1.0, locale 0x0409, with IKfxReleaseScript, IKfxReleaseSetupScript and the coclasses
// QorvenExportConnector and DodoSetupScript.
const TypeLibDescription* QorvenaTypeLibrary();

// VERSIONINFO 1, as it is placed in the module's version section.
std::span<const BYTE> QorvenaVersionBlock();
