#include "platform/com/versioninfo.h"
#include "resources/qorvena_module.h"

namespace {

constexpr VersionStringEntry kStrings[] = {
    {u"CompanyName", u"Vantrel"},
    {u"FileDescription", u"Release Script for Ascent Capture"},
    {u"FileVersion", u"1, 5, 2, 0"},
    {u"InternalName", u"qorvena.dll"},
    {u"LegalCopyright", u"Copyright (C) Vantrel. All rights reserved."},
    {u"OriginalFilename", u"qorvena.dll"},
    {u"ProductName", u"Vantrel Export Connector for InforLX"},
    {u"ProductVersion", u"1, 5, 2, 0"},
};
constexpr VersionStringTableDescription kTables[] = {{u"040904E4", kStrings}};
constexpr DWORD kTranslations[] = {0x04E40409};

constexpr VersionDescription kVersion{
    {VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, MakeVersion(1, 5), MakeVersion(2, 0), MakeVersion(1, 5), MakeVersion(2, 0),
     VS_FFI_FILEFLAGSMASK, 0, VOS__WINDOWS32, VFT_DLL, VFT2_UNKNOWN, 0, 0},
    kTables,
    kTranslations};

QORVENA_VERSION_RESOURCE(kVersionBlock, kVersion);

}  // namespace

std::span<const BYTE> QorvenaVersionBlock() { return kVersionBlock; }
