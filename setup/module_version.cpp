#include "setup/module_version.h"

#include <vector>

#include "platform/com/format.h"
#include "platform/com/modulepath.h"
#include "platform/com/versioninfo.h"

namespace {
void AnchorInThisModule() {}
}  // namespace

std::string GetOwnModulePath() { return ModulePathFromAddress(reinterpret_cast<const void*>(&AnchorInThisModule)); }

std::u16string FormatProductVersion(DWORD productVersionMS, DWORD productVersionLS) {
  return Format(u"%01d.%01d.%01d", static_cast<int>(productVersionMS >> 16), static_cast<int>(productVersionMS & 0xFFFF),
                static_cast<int>(productVersionLS >> 16));
}

bool ReadProductVersion(const std::string& modulePath, std::u16string& text) {
  if (modulePath.empty()) return false;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSize(modulePath, &handle);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfo(modulePath, handle, size, block.data())) return false;
  const void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValue(block.data(), u"\\", &value, &length) || !value || length < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
  if (fixed->dwSignature != VS_FFI_SIGNATURE) return false;
  text = FormatProductVersion(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
  return true;
}
