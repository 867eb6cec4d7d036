// The export connector created inside this program, for as long as the module cannot be loaded through the
// registry. The host still drives it only through IKfxReleaseScript.
#pragma once

#include "host/kofax.h"

HRESULT CreateInprocExportConnector(IKfxReleaseScript** script);
