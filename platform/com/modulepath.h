// Which file a piece of code was loaded from (GetModuleFileName of the module that contains an address).
#pragma once

#include <string>

// The absolute path of the module (shared object or program) that contains `address`; empty when unknown.
std::string ModulePathFromAddress(const void* address);
