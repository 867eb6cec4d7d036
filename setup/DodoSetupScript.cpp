#include "setup/DodoSetupScript.h"

#include <exception>
#include <memory>

#include "ecm/mapping_model.h"

#ifndef QORVENA_NO_UI
#include <QApplication>

#include "platform/ui/property_sheet.h"
#include "resources/qorvena_resources.h"
#include "setup/PropertyPageSetupGeneral.h"
#include "setup/PropertyPageSetupMapping.h"
#endif

namespace {
#ifndef QORVENA_NO_UI
// Dialogs, strings and the menu come from this module, not from the host.
struct ModuleState {
  AfxModuleStateGuard guard{QorvenaResources()};
};
#else
struct ModuleState {};
#endif
}  // namespace

DodoSetupScript::DodoSetupScript() = default;
DodoSetupScript::~DodoSetupScript() = default;

HRESULT DodoSetupScript::OpenScript(KfxReturnValue* ret) {
  ModuleState state;
  if (ret) *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT DodoSetupScript::RunUI(KfxReturnValue* ret) {
  ModuleState state;
  KfxReturnValue result = KFX_REL_SUCCESS;
  // The host always hands over the document class first; without one there is nothing to set up.
  if (m_pSetupData) {
#ifndef QORVENA_NO_UI
    // Without an application object no window can be shown: nothing was set up.
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
      result = KFX_REL_ERROR;
    } else {
      try {
        const std::u16string caption = LoadStringOrMissing(nullptr, IDS_SHEET_CAPTION);
        CMFCPropertySheet sheet(caption, nullptr, 0);
        sheet.m_psh.dwFlags |= PSH_NOAPPLYNOW;
        sheet.SetLook(CMFCPropertySheet::PropSheetLook_List, 100);

        auto model = std::make_unique<CMappingModel>(m_pSetupData.get());
        model->BuildCatalogue();
        model->LoadLinks();
        model->LoadValueNames();

        auto general = std::make_unique<CPropertyPageSetupGeneral>();
        general->SetModel(model.get());
        sheet.AddPage(general.get());
        auto mapping = std::make_unique<CPropertyPageSetupMapping>();
        mapping->SetModel(model.get());
        sheet.AddPage(mapping.get());

        if (sheet.DoModal() == IDOK) {
          // The General page wrote its settings while the sheet accepted OK.
          model->SaveLinks();
          m_pSetupData->Apply();
        }
        // Pages first, then the model they point into; the sheet goes last.
        mapping.reset();
        general.reset();
        model.reset();
      } catch (const std::exception&) {
        result = KFX_REL_ERROR;
      }
    }
#else
    result = KFX_REL_ERROR;
#endif
  }
  if (ret) *ret = result;
  return S_OK;
}

HRESULT DodoSetupScript::CloseScript(KfxReturnValue* ret) {
  ModuleState state;
  if (ret) *ret = KFX_REL_SUCCESS;
  return S_OK;
}

HRESULT DodoSetupScript::ActionEvent(KfxActionValue action, BSTR, BSTR, KfxReturnValue* ret) {
  // Unsigned, so the undefined action (-1) is not among the supported ones.
  if (ret) *ret = static_cast<ULONG>(action) <= static_cast<ULONG>(KFX_REL_END) ? KFX_REL_SUCCESS : KFX_REL_UNSUPPORTED;
  return S_OK;
}

HRESULT DodoSetupScript::get_SetupData(IReleaseSetupData** data) {
  ModuleState state;
  return m_pSetupData.CopyTo(data);
}

HRESULT DodoSetupScript::putref_SetupData(IReleaseSetupData* data) {
  ModuleState state;
  m_pSetupData = data;
  return S_OK;
}
