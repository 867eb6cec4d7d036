// This test program carries a version resource, as the module does: product version 1.5.2.0 under a
// different file version, so the page is seen to show the product's.
#include "platform/com/versioninfo.h"

namespace {
constexpr VersionDescription kVersion{{VS_FFI_SIGNATURE, VS_FFI_STRUCVERSION, MakeVersion(9, 8), MakeVersion(7, 6),
                                       MakeVersion(1, 5), MakeVersion(2, 0), VS_FFI_FILEFLAGSMASK, 0, VOS__WINDOWS32,
                                       VFT_APP, VFT2_UNKNOWN, 0, 0},
                                      {},
                                      {}};
QORVENA_VERSION_RESOURCE(kTestProgramVersion, kVersion);
}  // namespace
