#include "platform/com/guid.h"

#include <cstdio>

std::optional<GUID> GuidFromString(std::u16string_view text) { return guid_detail::Parse(text); }
std::optional<GUID> GuidFromString(std::string_view text) { return guid_detail::Parse(text); }

std::string GuidToNarrowString(const GUID& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return buf;
}

std::u16string GuidToString(const GUID& g) {
  std::string narrow = GuidToNarrowString(g);
  return std::u16string(narrow.begin(), narrow.end());
}

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (!clsid) return E_INVALIDARG;
  if (!text) {
    *clsid = GUID_NULL;
    return S_OK;
  }
  auto g = GuidFromString(std::u16string_view(text));
  if (!g || std::u16string_view(text).size() != 38) {
    *clsid = GUID_NULL;
    return CO_E_CLASSSTRING;
  }
  *clsid = *g;
  return S_OK;
}

HRESULT IIDFromString(LPCOLESTR text, IID* iid) {
  HRESULT hr = CLSIDFromString(text, iid);
  return hr == CO_E_CLASSSTRING ? E_INVALIDARG : hr;
}

int StringFromGUID2(REFGUID g, LPOLESTR buffer, int cchMax) {
  std::u16string s = GuidToString(g);
  if (!buffer || cchMax < static_cast<int>(s.size()) + 1) return 0;
  for (std::size_t i = 0; i < s.size(); ++i) buffer[i] = s[i];
  buffer[s.size()] = 0;
  return static_cast<int>(s.size()) + 1;
}
