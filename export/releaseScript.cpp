#include "export/releaseScript.h"

#include "host/report.h"

// Skeleton: the release steps land with the export engine.
releaseScript::releaseScript() = default;
releaseScript::~releaseScript() = default;

HRESULT releaseScript::OpenScript(KfxReturnValue* ret) {
  if (ret) *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT releaseScript::ReleaseDoc(KfxReturnValue* ret) {
  if (ret) *ret = KFX_REL_ERROR;
  return S_OK;
}

HRESULT releaseScript::CloseScript(KfxReturnValue* ret) {
  m_pDocumentData.Release();
  CurrentReleaseData.Release();
  if (ret) *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT releaseScript::get_DocumentData(IReleaseData** data) { return m_pDocumentData.CopyTo(data); }

HRESULT releaseScript::putref_DocumentData(IReleaseData* data) {
  m_pDocumentData = data;
  CurrentReleaseData = data;
  return S_OK;
}
