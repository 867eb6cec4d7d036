#include "setup/module_version.h"

#include <dlfcn.h>

#include "platform/com/format.h"

namespace {
void AnchorInThisModule() {}
}  // namespace

std::string GetOwnModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&AnchorInThisModule), &info) == 0 || !info.dli_fname) return {};
  return info.dli_fname;
}

std::u16string FormatProductVersion(DWORD productVersionMS, DWORD productVersionLS) {
  return Format(u"%01d.%01d.%01d", static_cast<int>(productVersionMS >> 16), static_cast<int>(productVersionMS & 0xFFFF),
                static_cast<int>(productVersionLS >> 16));
}

bool ReadProductVersion(const std::string& modulePath, std::u16string&) {
  // The module files carry no version resource reader yet: report that nothing could be read, so the
  // page keeps its version label hidden.
  (void)modulePath;
  return false;
}
