// The setup script: the platform's administration module hands it a document class's setup data and asks it
// to show the setup sheet. IUnknown and IDispatch come from the module's object wrappers (server/).
#pragma once

#include "host/kofax.h"

class DodoSetupScript : public IKfxReleaseSetupScript {
 public:
  DodoSetupScript();
  virtual ~DodoSetupScript();

  HRESULT OpenScript(KfxReturnValue* ret) override;
  HRESULT RunUI(KfxReturnValue* ret) override;
  HRESULT CloseScript(KfxReturnValue* ret) override;
  HRESULT ActionEvent(KfxActionValue action, BSTR info1, BSTR info2, KfxReturnValue* ret) override;
  HRESULT get_SetupData(IReleaseSetupData** data) override;
  HRESULT putref_SetupData(IReleaseSetupData* data) override;

 private:
  CComPtr<IReleaseSetupData> m_pSetupData;
};
