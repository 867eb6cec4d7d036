#include "setup/DodoSetupScript.h"

// Shell until the setup sheet exists: every operation succeeds and RunUI shows nothing.
DodoSetupScript::DodoSetupScript() = default;
DodoSetupScript::~DodoSetupScript() = default;

HRESULT DodoSetupScript::OpenScript(KfxReturnValue* ret) {
  if (ret) *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT DodoSetupScript::RunUI(KfxReturnValue* ret) {
  if (ret) *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT DodoSetupScript::CloseScript(KfxReturnValue* ret) {
  if (ret) *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT DodoSetupScript::ActionEvent(KfxActionValue action, BSTR, BSTR, KfxReturnValue* ret) {
  if (ret) *ret = static_cast<ULONG>(action) <= KFX_REL_END ? KFX_REL_SUCCESS : KFX_REL_UNSUPPORTED;
  return S_OK;
}

HRESULT DodoSetupScript::get_SetupData(IReleaseSetupData** data) { return m_pSetupData.CopyTo(data); }

HRESULT DodoSetupScript::putref_SetupData(IReleaseSetupData* data) {
  m_pSetupData = data;
  return S_OK;
}
