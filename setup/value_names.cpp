// The platform's value names ("Kofax Capture Values") for the mapping menu.
#include "ecm/mapping_model.h"

namespace {

// A host whose enumerator never ends must not hang the setup.
constexpr std::size_t kMaxNames = 65536;

// Both versions of the collection put the enumerator at the same place.
template <class Names>
bool EnumerateNames(Names* names, std::vector<std::u16string>& list) {
  CComPtr<IUnknown> unknown;
  if (names->get__NewEnum(&unknown) != S_OK || !unknown) return false;
  CComPtr<IEnumVARIANT> items;
  if (items.QueryFrom(unknown) != S_OK || !items) return false;
  while (list.size() < kMaxNames) {
    CComVariant item;
    ULONG fetched = 0;
    if (items->Next(1, &item, &fetched) != S_OK || fetched != 1) break;
    if (item.vt == VT_BSTR) {
      list.push_back(BstrToString(item.bstrVal));
      continue;
    }
    // Anything else is taken only when it has a text form.
    CComVariant text;
    if (SUCCEEDED(VariantChangeType(&text, &item, 0, VT_BSTR)) && text.vt == VT_BSTR) {
      list.push_back(BstrToString(text.bstrVal));
    }
  }
  return true;
}

}  // namespace

bool CMappingModel::LoadValueNames() {
  std::vector<std::u16string>& list = ValueNames();
  list.clear();
  if (!m_pSetupData) return false;
  CComPtr<IDispatch> dispatch;
  if (m_pSetupData->get_BatchVariableNames(&dispatch) != S_OK || !dispatch) return false;
  CComPtr<IBatchVariableNames2> names2;
  if (dispatch.QueryInterface(&names2) == S_OK && names2) return EnumerateNames(names2.get(), list);
  CComPtr<IBatchVariableNames> names;
  if (dispatch.QueryInterface(&names) == S_OK && names) return EnumerateNames(names.get(), list);
  return false;
}
