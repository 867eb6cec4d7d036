// CAxConnection: one ADO Connection object and the connection string it was opened with.
#include <algorithm>

#include "dbax/internal.h"
#include "platform/com/activation.h"

namespace dbAx {

CAxConnection::CAxConnection() = default;

CAxConnection::~CAxConnection() {
  // A failing close must not leave the destructor: the connection is released either way.
  try {
    if (_IsOpen()) Close();
  } catch (CAxException* e) {
    AxExceptionPtr owned(e);
  } catch (...) {
  }
  auto& registry = detail::Registry();
  registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
  m_piConnection.Release();
  m_connectionString.clear();
}

void CAxConnection::RequireObject(const char16_t* label) const {
  if (!m_piConnection) ThrowAxException(AXLIB_ERROR_OBJECT_NOT_OPEN, label);
}

void CAxConnection::Create() {
  constexpr const char16_t* kLabel = u"CAxConnection::Create";
  HRESULT hr = CoCreateInstance(CLSID_Connection, nullptr, CLSCTX_INPROC_SERVER, IID__Connection,
                                reinterpret_cast<void**>(&m_piConnection));
  if (FAILED(hr) || !m_piConnection) {
    m_piConnection.Release();
    auto& registry = detail::Registry();
    registry.erase(std::remove(registry.begin(), registry.end(), this), registry.end());
    ThrowAxException(AXLIB_ERROR_INIT, kLabel, FAILED(hr) ? hr : E_POINTER);
  }
  auto& registry = detail::Registry();
  if (std::find(registry.begin(), registry.end(), this) == registry.end()) registry.push_back(this);
}

LONG CAxConnection::CursorLocation(LONG location) {
  constexpr const char16_t* kLabel = u"CAxConnection::CursorLocation";
  if (location != -1 && (location < adUseNone || location > adUseClient)) ThrowAxException(AXLIB_ERROR_ENUM, kLabel, 0);
  RequireObject(kLabel);
  return detail::WriteThenRead(m_piConnection.get(), kLabel, location != -1, static_cast<CursorLocationEnum>(location),
                               &_Connection::put_CursorLocation, &_Connection::get_CursorLocation);
}

void CAxConnection::Open(std::u16string_view connectionString, std::u16string_view userId,
                         std::u16string_view password, LONG options) {
  constexpr const char16_t* kLabel = u"CAxConnection::Open";
  RequireObject(kLabel);
  if (!connectionString.empty()) m_connectionString = connectionString;
  HRESULT hr = m_piConnection->Open(CComBSTR(m_connectionString), CComBSTR(userId), CComBSTR(password), options);
  if (FAILED(hr)) ThrowAxException(0, kLabel, hr);
}

bool CAxConnection::_IsOpen() {
  if (!m_piConnection) return false;
  LONG state = adStateClosed;
  HRESULT hr = m_piConnection->get_State(&state);
  if (FAILED(hr)) ThrowAxException(0, u"CAxConnection::_IsOpen", hr);
  return state == adStateOpen;
}

void CAxConnection::Close() {
  constexpr const char16_t* kLabel = u"CAxConnection::Close";
  RequireObject(kLabel);
  // The layer never subscribes to connection events (the cookie stays 0), so there is nothing to end here.
  HRESULT hr = m_piConnection->Close();
  if (FAILED(hr)) ThrowAxException(0, kLabel, hr);
}

}  // namespace dbAx
