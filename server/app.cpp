#include "server/app.h"

#include "dbax/dbax.h"
#include "platform/com/atlbase.h"
#include "resources/qorvena_module.h"
#include "server/module_state.h"

CqorvenaApp::CqorvenaApp() { CAtlModule::m_libid = LIBID_qorvena; }

bool CqorvenaApp::InitInstance() {
  QORVENA_MANAGE_STATE();
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
