// The export connector: the platform hands it one document at a time and it writes the document into the
// ECM tables TPEC, TBHB, TBSB and TBLB.
//
// This class implements only the script interface's own operations; IUnknown and IDispatch come from the
// module's object wrappers (server/), which also make it aggregatable.
#pragma once

#include "host/kofax.h"

class releaseScript : public IKfxReleaseScript {
 public:
  releaseScript();
  virtual ~releaseScript();

  HRESULT OpenScript(KfxReturnValue* ret) override;
  HRESULT ReleaseDoc(KfxReturnValue* ret) override;
  HRESULT CloseScript(KfxReturnValue* ret) override;
  HRESULT get_DocumentData(IReleaseData** data) override;
  HRESULT putref_DocumentData(IReleaseData* data) override;

 private:
  CComPtr<IReleaseData> m_pDocumentData;
};
