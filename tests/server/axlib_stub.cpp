// Temporary stand-in for the data access layer's start-up and shut-down, until dbax builds.
#include "dbax/dbax.h"
#include "platform/com/activation.h"

namespace dbAx {
namespace {
bool g_initialized = false;
}

void AxLibInit() {
  if (g_initialized) return;
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  g_initialized = true;
}

void AxLibShutdown() {
  if (!g_initialized) return;
  CoUninitialize();
  g_initialized = false;
}

bool AxLibIsInitialized() { return g_initialized; }
}  // namespace dbAx
