#include "capture/setup_command.h"

#include <cstdlib>
#include <memory>

#include "capture/connector.h"
#include "capture/host_objects.h"
#include "platform/com/activation.h"
#include "platform/com/utf.h"

#ifndef QORVENA_NO_UI
#include <QApplication>
#endif

namespace capture {

namespace {

#ifndef QORVENA_NO_UI
// Qt aborts the process when it cannot reach a display; say so instead.
bool DisplayAvailable() {
  if (QApplication::instance()) return true;
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    if (const char* v = std::getenv(name); v && *v) return true;
  }
  return false;
}
#endif

}  // namespace

SetupOutcome RunClassSetup(const DocumentClass& documentClass, const std::u16string& setupProgId,
                           const std::function<bool(const DocumentClass&, std::string*)>& store,
                           std::string* message) {
#ifdef QORVENA_NO_UI
  (void)documentClass;
  (void)setupProgId;
  (void)store;
  *message = "this capture host was built without a window framework; use class-import to set a class up";
  return SetupOutcome::NoDisplay;
#else
  if (!DisplayAvailable()) {
    *message = "the setup needs a display (set DISPLAY, or QT_QPA_PLATFORM=offscreen for a scripted run); "
               "on a server without one, set the class up with class-export / class-import";
    return SetupOutcome::NoDisplay;
  }
  std::unique_ptr<QApplication> ownApplication;
  if (!QApplication::instance()) {
    static int argc = 1;
    static char name[] = "capture-host";
    static char* argv[] = {name, nullptr};
    ownApplication = std::make_unique<QApplication>(argc, argv);
  }

  CLSID clsid{};
  HRESULT hr = ResolveProgId(setupProgId, &clsid);
  CComPtr<IKfxReleaseSetupScript> script;
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IKfxReleaseSetupScript::iid,
                          reinterpret_cast<void**>(&script));
  if (FAILED(hr) || !script) {
    *message = "cannot create the setup script '" + Utf16ToUtf8(setupProgId) + "': " +
               HResultText(FAILED(hr) ? hr : E_NOINTERFACE) + " (is its module registered?)";
    return SetupOutcome::ScriptUnavailable;
  }

  bool applied = false;
  std::string storeFailure;
  CComPtr<IReleaseSetupData> setupData = MakeReleaseSetupData(documentClass, [&](const DocumentClass& edited) {
    applied = store(edited, &storeFailure);
    return applied;
  });
  KfxReturnValue ret = KFX_REL_ERROR;
  script->putref_SetupData(setupData);
  script->OpenScript(&ret);
  ret = KFX_REL_ERROR;
  script->RunUI(&ret);
  KfxReturnValue closed = KFX_REL_ERROR;
  script->CloseScript(&closed);
  script.Release();
  setupData.Release();
  CoFreeUnusedLibraries();

  if (!storeFailure.empty()) {
    *message = "the setup was applied but could not be stored: " + storeFailure;
    return SetupOutcome::Failed;
  }
  if (ret != KFX_REL_SUCCESS) {
    *message = "the setup script did not run its sheet";
    return SetupOutcome::Failed;
  }
  *message = applied ? "the settings and links of '" + Utf16ToUtf8(documentClass.name) + "' were stored"
                     : "the setup was cancelled; nothing changed";
  return applied ? SetupOutcome::Applied : SetupOutcome::NothingChanged;
#endif
}

}  // namespace capture
