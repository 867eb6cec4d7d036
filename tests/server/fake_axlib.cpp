#include "tests/server/fake_axlib.h"

#include <stdexcept>

#include "dbax/dbax.h"
#include "platform/ui/resources.h"

namespace fake_axlib {
int initCalls = 0;
int shutdownCalls = 0;
Throw initThrows = Throw::Nothing;
Throw shutdownThrows = Throw::Nothing;
std::u16string resourcesAtInit;
std::u16string resourcesAtShutdown;

void Reset() {
  initCalls = shutdownCalls = 0;
  initThrows = shutdownThrows = Throw::Nothing;
  resourcesAtInit.clear();
  resourcesAtShutdown.clear();
}

namespace {
void Raise(Throw what) {
  if (what == Throw::AxException) throw new dbAx::CAxException(dbAx::AXLIB_ERROR_INIT, 0);
  if (what == Throw::OtherException) throw std::runtime_error("not a data access error");
}
}  // namespace
}  // namespace fake_axlib

namespace dbAx {
void AxLibInit() {
  ++fake_axlib::initCalls;
  fake_axlib::resourcesAtInit = AfxGetResourceHandle()->name;
  fake_axlib::Raise(fake_axlib::initThrows);
}

void AxLibShutdown() {
  ++fake_axlib::shutdownCalls;
  fake_axlib::resourcesAtShutdown = AfxGetResourceHandle()->name;
  fake_axlib::Raise(fake_axlib::shutdownThrows);
}

bool AxLibIsInitialized() { return fake_axlib::initCalls > fake_axlib::shutdownCalls; }
}  // namespace dbAx
