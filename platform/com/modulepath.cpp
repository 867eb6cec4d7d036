#include "platform/com/modulepath.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/auxv.h>

namespace {
// The program's own image: its name as dladdr reports it may be relative or missing.
bool InProgram(const Dl_info& info) {
  Dl_info program{};
  auto phdr = reinterpret_cast<const void*>(::getauxval(AT_PHDR));
  return phdr && ::dladdr(phdr, &program) != 0 && program.dli_fbase == info.dli_fbase;
}
}  // namespace

std::string ModulePathFromAddress(const void* address) {
  Dl_info info{};
  if (!address || ::dladdr(address, &info) == 0) return {};
  char resolved[PATH_MAX];
  if (InProgram(info) && ::realpath("/proc/self/exe", resolved)) return resolved;
  const char* file = info.dli_fname;
  if (file && *file && ::realpath(file, resolved)) return resolved;
  return file ? file : "";
}
