// Process-wide state of the data access layer, shared by its source files.
#pragma once

#include <vector>

#include "dbax/dbax.h"

namespace dbAx::detail {

// Unguarded: the layer is used from the one thread the platform calls on.
std::vector<CAxConnection*>& Registry();

}  // namespace dbAx::detail
