#include "capture/connector.h"

#include <cstdio>

#include "platform/com/activation.h"
#include "platform/com/errortext.h"
#include "platform/com/utf.h"

namespace capture {

namespace {
ProgIdResolver g_resolver = nullptr;
ConnectorFallback g_fallback = nullptr;

bool ClassNotFound(HRESULT hr) {
  return hr == REGDB_E_CLASSNOTREG || hr == CO_E_CLASSSTRING || hr == REGDB_E_KEYMISSING ||
         hr == REGDB_E_READREGDB || hr == CO_E_DLLNOTFOUND;
}
}  // namespace

void SetProgIdResolver(ProgIdResolver resolver) { g_resolver = resolver; }
void SetConnectorFallback(ConnectorFallback fallback) { g_fallback = fallback; }

std::string HResultText(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr));
  std::u16string text;
  if (!SystemMessageText(hr, &text)) return code;
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) text.pop_back();
  return std::string(code) + " " + Utf16ToUtf8(text);
}

HRESULT ResolveProgId(std::u16string_view progId, CLSID* clsid) {
  if (auto literal = GuidFromString(progId)) {
    *clsid = *literal;
    return S_OK;
  }
  if (!g_resolver) return REGDB_E_CLASSNOTREG;
  std::u16string name(progId);
  return g_resolver(name.c_str(), clsid);
}

HRESULT CreateReleaseScript(std::u16string_view progId, IKfxReleaseScript** script, std::string* failure) {
  if (!script) return E_POINTER;
  *script = nullptr;
  CLSID clsid{};
  HRESULT hr = ResolveProgId(progId, &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IKfxReleaseScript::iid,
                          reinterpret_cast<void**>(script));
  if (SUCCEEDED(hr) && *script) return S_OK;
  if (g_fallback && ClassNotFound(hr)) {
    HRESULT fallback = g_fallback(script);
    if (SUCCEEDED(fallback) && *script) return S_OK;
    hr = fallback;
  }
  if (failure)
    *failure = "cannot create the export connector '" + Utf16ToUtf8(progId) + "': " + HResultText(FAILED(hr) ? hr : E_NOINTERFACE);
  return FAILED(hr) ? hr : E_NOINTERFACE;
}

}  // namespace capture
