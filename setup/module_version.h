// The product version of a module, as the General page shows it.
#pragma once

#include <string>

#include "platform/com/comtypes.h"

// Path of the loaded module (shared object or program) that holds this code.
std::string GetOwnModulePath();

// "major.minor.build" from the product version's two halves (the fourth part is not shown).
std::u16string FormatProductVersion(DWORD productVersionMS, DWORD productVersionLS);

// Reads the product version from the module file's version resource. False when the file has no readable
// version resource with the fixed-file-info signature; `text` is then left alone.
bool ReadProductVersion(const std::string& modulePath, std::u16string& text);
