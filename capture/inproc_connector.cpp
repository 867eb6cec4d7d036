#include "capture/inproc_connector.h"

#include "export/releaseScript.h"

namespace {
class InprocExportConnector final : public ComObject<NoDispatch<releaseScript>> {};
}  // namespace

HRESULT CreateInprocExportConnector(IKfxReleaseScript** script) {
  if (!script) return E_POINTER;
  CComPtr<IKfxReleaseScript> connector(new InprocExportConnector);
  *script = connector.Detach();
  return S_OK;
}
