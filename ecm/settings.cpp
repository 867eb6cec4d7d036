#include "ecm/settings.h"

bool GetCustomProperty(ICustomProperties* properties, std::u16string_view name, std::u16string_view defaultValue,
                       std::u16string& value) {
  value.assign(defaultValue);
  if (!properties) return false;
  CComPtr<ICustomProperty> property;
  if (properties->get_Item(CComVariant(name), &property) != S_OK || !property) return false;
  CComBSTR text;
  if (property->get_Value(&text) != S_OK) return false;
  value = text.Str();
  return true;
}

bool GetCustomProperty(IReleaseSetupData* setupData, std::u16string_view name, std::u16string_view defaultValue,
                       std::u16string& value) {
  value.assign(defaultValue);
  if (!setupData) return false;
  CComPtr<ICustomProperties> properties;
  if (setupData->get_CustomProperties(&properties) != S_OK) return false;
  return GetCustomProperty(properties, name, defaultValue, value);
}

bool GetCustomProperty(IReleaseData* releaseData, std::u16string_view name, std::u16string_view defaultValue,
                       std::u16string& value) {
  value.assign(defaultValue);
  if (!releaseData) return false;
  CComPtr<ICustomProperties> properties;
  if (releaseData->get_CustomProperties(&properties) != S_OK) return false;
  return GetCustomProperty(properties, name, defaultValue, value);
}

bool SetCustomProperty(ICustomProperties* properties, std::u16string_view name, std::u16string_view value) {
  if (!properties) return false;
  // Removing a property that does not exist fails; that is expected and ignored.
  properties->Remove(CComVariant(name));
  CComBSTR bstrName(name), bstrValue(value);
  CComPtr<ICustomProperty> added;
  return properties->Add(bstrName, bstrValue, &added) == S_OK;
}

bool SetCustomProperty(IReleaseSetupData* setupData, std::u16string_view name, std::u16string_view value) {
  if (!setupData) return false;
  CComPtr<ICustomProperties> properties;
  if (setupData->get_CustomProperties(&properties) != S_OK) return false;
  return SetCustomProperty(properties, name, value);
}
