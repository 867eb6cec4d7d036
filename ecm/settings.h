// Reading and writing the named settings the platform keeps with a document class.
#pragma once

#include <string>
#include <string_view>

#include "host/kofax.h"

// The custom property that holds the ECM library.
inline constexpr char16_t kLibraryProperty[] = u"serverAPILibrary";

// `value` is set to the default first; true only when the property could be read.
bool GetCustomProperty(ICustomProperties* properties, std::u16string_view name, std::u16string_view defaultValue,
                       std::u16string& value);
bool GetCustomProperty(IReleaseSetupData* setupData, std::u16string_view name, std::u16string_view defaultValue,
                       std::u16string& value);
bool GetCustomProperty(IReleaseData* releaseData, std::u16string_view name, std::u16string_view defaultValue,
                       std::u16string& value);

// Replaces the property: removes any of that name, then adds it. True when the add succeeded.
bool SetCustomProperty(ICustomProperties* properties, std::u16string_view name, std::u16string_view value);
bool SetCustomProperty(IReleaseSetupData* setupData, std::u16string_view name, std::u16string_view value);
