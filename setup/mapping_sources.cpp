// Index fields and value names in the mapping menu, and turning a menu choice into a slot's mapping.
#include "setup/mapping_sources.h"

#include <algorithm>

#include "setup/PropertyPageSetupMapping.h"

void AppendIndexFieldMenu(CMenu& menu, CMappingModel* model, std::u16string_view currentSource) {
  if (!model || !model->SetupData()) return;
  CComPtr<IIndexFields> fields;
  if (model->SetupData()->get_IndexFields(&fields) != S_OK || !fields) return;
  LONG count = 0;
  if (fields->get_Count(&count) != S_OK) count = 0;

  CMenu popup;
  popup.CreatePopupMenu();
  // Fields past the end of the command range cannot be told apart from other commands: they are not offered.
  const LONG last = std::min<LONG>(count, kMaxIndexFieldItems);
  for (LONG i = 1; i <= last; ++i) {
    CComPtr<IIndexField> field;
    if (fields->get_Item(CComVariant(i), &field) != S_OK || !field) continue;
    CComBSTR name;
    if (field->get_Name(&name) != S_OK) continue;
    const UINT id = kIndexFieldCommandBase + static_cast<UINT>(i);
    popup.AppendMenu(MF_STRING, id, name.View());
    popup.CheckMenuItem(id, MF_BYCOMMAND | (name.View() == currentSource ? MF_CHECKED : MF_UNCHECKED));
  }
  menu.AppendPopup(std::move(popup), u"Document Index Fields");
}

void AppendValueMenu(CMenu& menu, CMappingModel* model) {
  if (!model || model->ValueNames().empty()) return;
  CMenu popup;
  popup.CreatePopupMenu();
  const auto& names = model->ValueNames();
  const size_t last = std::min<size_t>(names.size(), kMaxValueItems);
  for (size_t i = 0; i < last; ++i) {
    popup.AppendMenu(MF_STRING, kValueCommandFirst + static_cast<UINT>(i), names[i]);
  }
  menu.AppendPopup(std::move(popup), u"Kofax Capture Values");
}

bool CMappedProperty::ChooseIndexField(UINT commandId) {
  if (!m_pModel || !HasSlot() || !IsIndexFieldCommand(commandId)) return false;
  IReleaseSetupData* data = m_pModel->SetupData();
  if (!data) return false;
  const LONG position = static_cast<LONG>(commandId - kIndexFieldCommandBase);
  CComPtr<IIndexFields> fields;
  if (data->get_IndexFields(&fields) != S_OK || !fields) return false;
  CComPtr<IIndexField> field;
  if (fields->get_Item(CComVariant(position), &field) != S_OK || !field) return false;
  CComBSTR name;
  if (field->get_Name(&name) != S_OK) return false;
  MappingEntry& entry = m_pModel->Entry(m_slot);
  entry.source = name;
  entry.sourceType = KFX_REL_INDEXFIELD;
  RefreshRow();
  return true;
}

bool CMappedProperty::ChooseValue(UINT commandId) {
  if (!m_pModel || !HasSlot() || !IsValueCommand(commandId)) return false;
  const size_t position = commandId - kValueCommandFirst;
  const auto& names = m_pModel->ValueNames();
  if (position >= names.size()) return false;
  MappingEntry& entry = m_pModel->Entry(m_slot);
  entry.source = CComBSTR(names[position]);
  entry.sourceType = KFX_REL_VARIABLE;
  RefreshRow();
  return true;
}
