// The exception of the layer, its message composition, and the layer's start-up and shut-down.
#include <cstdint>

#include "dbax/internal.h"
#include "platform/ado/adoext.h"
#include "platform/com/activation.h"
#include "platform/com/errortext.h"
#include "platform/com/format.h"

namespace dbAx {
namespace detail {

std::vector<CAxConnection*>& Registry() {
  static std::vector<CAxConnection*> registry;
  return registry;
}

}  // namespace detail

namespace {

bool g_initialized = false;

const char16_t* FixedText(int code) {
  switch (code) {
    case AXLIB_ERROR_INIT: return u"The dbAx Library failed to initialize";
    case AXLIB_ERROR_FIELD_NOT_FOUND: return u"The specified field in the database was not found";
    case AXLIB_ERROR_OBJECT_NOT_OPEN: return u"The dbAx object is not open";
    case AXLIB_ERROR_BUF_SIZE: return u"The specified buffer size is too small";
    case AXLIB_ERROR_NULL_PTR: return u"Bad or NULL pointer";
    case AXLIB_ERROR_ENUM: return u"Invalid enumeration value";
    case AXLIB_ERROR_RECORD_POSITION: return u"Invalid page or record position";
    case AXLIB_ERROR_CLOSE: return u"The dbAx Library failed to close";
    default: return u"Unknown error";
  }
}

// Appends the provider errors of the first registered connection that has any, then empties that collection.
// A read that fails is skipped; the exception is thrown with what could be read.
void GatherProviderErrors(CAxException& e) {
  for (CAxConnection* connection : detail::Registry()) {
    _Connection* ado = connection ? connection->AdoConnection() : nullptr;
    e.providerErrors.Release();
    e.providerErrorCount = 0;
    if (!ado || FAILED(ado->get_Errors(&e.providerErrors)) || !e.providerErrors) {
      e.providerErrors.Release();
      continue;
    }
    LONG count = 0;
    if (SUCCEEDED(e.providerErrors->get_Count(&count))) e.providerErrorCount = count;
    if (e.providerErrorCount > 0) break;
  }
  if (!e.providerErrors) return;
  for (LONG i = 0; i < e.providerErrorCount; ++i) {
    if (FAILED(e.providerErrors->get_Item(CComVariant(i), &e.providerError)) || !e.providerError) continue;
    LONG number = 0;
    if (SUCCEEDED(e.providerError->get_Number(&number))) e.code = number;
    CComBSTR description;
    if (FAILED(e.providerError->get_Description(&description))) description.Empty();
    e.message += u"\n";
    e.message += description.View();
    if (i != e.providerErrorCount - 1) e.message += u"\n";
  }
}

}  // namespace

std::u16string HResultText(HRESULT hr) {
  std::u16string text;
  if (SystemMessageText(hr, &text)) {
    if (text.size() > 1 && text.back() == u'\n') {
      text.pop_back();
      if (!text.empty() && text.back() == u'\r') text.pop_back();
    }
    return text;
  }
  constexpr std::size_t kLimit = 32;
  auto u = static_cast<std::uint32_t>(hr);
  if (u >= 0x80040200u && u <= 0x8004FFFFu)
    return FormatBounded(kLimit, u"IDispatch error #%d", static_cast<int>(HRESULT_CODE(hr)) - 0x200);
  return FormatBounded(kLimit, u"Unknown error 0x%0lX", hr);
}

void ThrowAxException(int code, const char16_t* text, HRESULT hr) {
  auto e = std::make_unique<CAxException>(code, hr);
  if (code == 0) {
    e->message = text ? text : u"";
    GatherProviderErrors(*e);
    if (hr != 0) e->message += u"\nCOM Error: " + HResultText(hr);
    if (e->providerErrors) e->providerErrors->Clear();
  } else if (code == AXLIB_ERROR_FORMATTED) {
    e->message = Format(u"%s (Error Code: 0x%08lx)", text ? text : u"", hr);
  } else {
    e->message = FixedText(code);
    if (hr != 0) e->message += u"\nCOM Error: " + HResultText(hr);
    if (text) e->message += std::u16string(u"\nSource: ") + text;
  }
  throw e.release();
}

void AxLibInit() {
  if (g_initialized) return;
  HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(hr)) ThrowAxException(AXLIB_ERROR_INIT, u"AxLibInit - COM Initialization.", hr);
  // The ADO classes come from a library of their own; make sure they are in the class table.
  ado::RegisterAdoClasses();
  detail::Registry().clear();
  g_initialized = true;
}

void AxLibShutdown() {
  if (!g_initialized) return;
  for (CAxConnection* connection : std::vector<CAxConnection*>(detail::Registry()))
    if (connection->_IsOpen()) connection->Close();
  detail::Registry().clear();
  CoUninitialize();
  g_initialized = false;
}

bool AxLibIsInitialized() { return g_initialized; }

const std::vector<CAxConnection*>& AxConnectionRegistry() { return detail::Registry(); }

}  // namespace dbAx
