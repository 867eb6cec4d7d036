#include "server/app.h"

#include <dlfcn.h>

#include <QtCore/qglobal.h>

#include "dbax/dbax.h"
#include "platform/com/atlbase.h"
#include "resources/qorvena_module.h"
#include "server/module_state.h"

CqorvenaApp::CqorvenaApp() { CAtlModule::m_libid = LIBID_qorvena; }

namespace {
// The Qt libraries the module brings into the host stay for the life of the process, though the module itself is
// unloaded once it is no longer used: Qt is not made to be unloaded and loaded again in one process, and
// unloading it would orphan what its libraries allocated as they were loaded.
void KeepQtLoaded() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&qVersion), &info) && info.dli_fname)
    ::dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD | RTLD_NODELETE);
}
}  // namespace

bool CqorvenaApp::InitInstance() {
  QORVENA_MANAGE_STATE();
  KeepQtLoaded();
  // The data access layer initialises COM on the loading thread. It must not throw out of the module's
  // start-up: a failure to start makes the module unusable instead.
  try {
    dbAx::AxLibInit();
  } catch (dbAx::CAxException* e) {
    delete e;
    return false;
  } catch (...) {
    return false;
  }
  return true;
}

int CqorvenaApp::ExitInstance() {
  QORVENA_MANAGE_STATE();
  try {
    dbAx::AxLibShutdown();
  } catch (dbAx::CAxException* e) {
    delete e;
  } catch (...) {
  }
  return 0;
}
