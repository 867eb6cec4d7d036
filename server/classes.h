// The module's two classes as COM objects: the bodies (releaseScript, DodoSetupScript) implement their script
// interface; here they get IDispatch from the type library, reference counting, aggregation, the interface map,
// the module's resources for the operations that do work, and a barrier that keeps exceptions inside the module.
#pragma once

#include <new>

#include "dbax/dbax.h"
#include "export/releaseScript.h"
#include "platform/com/atlcom.h"
#include "resources/qorvena_module.h"
#include "server/module_state.h"
#include "setup/DodoSetupScript.h"

namespace qorvena_detail {

// A body that lets an exception escape must not take the host down: the operation ends with
// KFX_REL_ERROR (where it has an outcome) or E_UNEXPECTED.
template <class F>
HRESULT Shielded(KfxReturnValue* ret, F&& body) {
  try {
    return body();
  } catch (dbAx::CAxException* e) {
    delete e;
  } catch (const std::bad_alloc&) {
    if (!ret) return E_OUTOFMEMORY;
  } catch (...) {
  }
  if (!ret) return E_UNEXPECTED;
  *ret = KFX_REL_ERROR;
  return S_OK;
}

// Objects are made with the module's resources selected.
template <class Creator>
struct ModuleStateCreator {
  static HRESULT CreateInstance(void* outer, REFIID riid, void** ppv) {
    QORVENA_MANAGE_STATE();
    try {
      return Creator::CreateInstance(outer, riid, ppv);
    } catch (...) {
      return E_UNEXPECTED;
    }
  }
};

}  // namespace qorvena_detail

class CQorvenExportConnector : public IDispatchImpl<IKfxReleaseScript, releaseScript>,
                               public CComObjectRootEx<CComSingleThreadModel>,
                               public CComCoClass<CQorvenExportConnector, &CLSID_QorvenExportConnector> {
 public:
  using _CreatorClass = qorvena_detail::ModuleStateCreator<
      CComCoClass<CQorvenExportConnector, &CLSID_QorvenExportConnector>::_CreatorClass>;
  DECLARE_REGISTRY_RESOURCEID(IDR_QORVENEXPORTCONNECTOR)

  BEGIN_COM_MAP(CQorvenExportConnector)
    COM_INTERFACE_ENTRY(IKfxReleaseScript)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  HRESULT OpenScript(KfxReturnValue* ret) override {
    QORVENA_MANAGE_STATE();
    return qorvena_detail::Shielded(ret, [&] { return releaseScript::OpenScript(ret); });
  }
  HRESULT ReleaseDoc(KfxReturnValue* ret) override {
    QORVENA_MANAGE_STATE();
    return qorvena_detail::Shielded(ret, [&] { return releaseScript::ReleaseDoc(ret); });
  }
  HRESULT CloseScript(KfxReturnValue* ret) override {
    QORVENA_MANAGE_STATE();
    return qorvena_detail::Shielded(ret, [&] { return releaseScript::CloseScript(ret); });
  }
  // The document data operations keep the caller's state.
  HRESULT get_DocumentData(IReleaseData** data) override {
    return qorvena_detail::Shielded(nullptr, [&] { return releaseScript::get_DocumentData(data); });
  }
  HRESULT putref_DocumentData(IReleaseData* data) override {
    return qorvena_detail::Shielded(nullptr, [&] { return releaseScript::putref_DocumentData(data); });
  }
};

class CDodoSetupScript : public IDispatchImpl<IKfxReleaseSetupScript, DodoSetupScript>,
                         public CComObjectRootEx<CComSingleThreadModel>,
                         public CComCoClass<CDodoSetupScript, &CLSID_DodoSetupScript> {
 public:
  using _CreatorClass =
      qorvena_detail::ModuleStateCreator<CComCoClass<CDodoSetupScript, &CLSID_DodoSetupScript>::_CreatorClass>;
  DECLARE_REGISTRY_RESOURCEID(IDR_DODOSETUPSCRIPT)

  BEGIN_COM_MAP(CDodoSetupScript)
    COM_INTERFACE_ENTRY(IKfxReleaseSetupScript)
    COM_INTERFACE_ENTRY(IDispatch)
  END_COM_MAP()

  HRESULT OpenScript(KfxReturnValue* ret) override {
    QORVENA_MANAGE_STATE();
    return qorvena_detail::Shielded(ret, [&] { return DodoSetupScript::OpenScript(ret); });
  }
  HRESULT RunUI(KfxReturnValue* ret) override {
    QORVENA_MANAGE_STATE();
    return qorvena_detail::Shielded(ret, [&] { return DodoSetupScript::RunUI(ret); });
  }
  HRESULT CloseScript(KfxReturnValue* ret) override {
    QORVENA_MANAGE_STATE();
    return qorvena_detail::Shielded(ret, [&] { return DodoSetupScript::CloseScript(ret); });
  }
  // Action events keep the caller's state.
  HRESULT ActionEvent(KfxActionValue action, BSTR info1, BSTR info2, KfxReturnValue* ret) override {
    return qorvena_detail::Shielded(ret, [&] { return DodoSetupScript::ActionEvent(action, info1, info2, ret); });
  }
  HRESULT get_SetupData(IReleaseSetupData** data) override {
    QORVENA_MANAGE_STATE();
    return qorvena_detail::Shielded(nullptr, [&] { return DodoSetupScript::get_SetupData(data); });
  }
  HRESULT putref_SetupData(IReleaseSetupData* data) override {
    QORVENA_MANAGE_STATE();
    return qorvena_detail::Shielded(nullptr, [&] { return DodoSetupScript::putref_SetupData(data); });
  }
};
