// CAxRecordset: one ADO Recordset object, opened for inserting records, and field writing.
#include "dbax/internal.h"
#include "platform/com/activation.h"
#include "platform/com/format.h"

namespace dbAx {
namespace {

// Results of a field exchange that are not HRESULTs.
constexpr HRESULT kExchangeNoSuchField = 12;
constexpr HRESULT kExchangeNotUpdatable = 5;

}  // namespace

CAxRecordset::CAxRecordset() = default;

CAxRecordset::~CAxRecordset() {
  // A failing close must not leave the destructor: the recordset is released either way.
  try {
    if (_IsOpen()) Close();
  } catch (CAxException* e) {
    AxExceptionPtr owned(e);
  } catch (...) {
  }
  m_piFields.Release();
  m_piRecordset.Release();
  m_exchangeBuffer.Clear();
  m_source.clear();
}

void CAxRecordset::RequireObject(const char16_t* label) const {
  if (!m_piRecordset) ThrowAxException(AXLIB_ERROR_OBJECT_NOT_OPEN, label);
}

HRESULT CAxRecordset::CreateObject() {
  HRESULT hr = CoCreateInstance(CLSID_Recordset, nullptr, CLSCTX_INPROC_SERVER, IID__Recordset,
                                reinterpret_cast<void**>(&m_piRecordset));
  if (SUCCEEDED(hr) && !m_piRecordset) hr = E_POINTER;
  if (FAILED(hr)) m_piRecordset.Release();
  return hr;
}

LONG CAxRecordset::CursorType(LONG type) {
  constexpr const char16_t* kLabel = u"CAxRecordset::CursorType";
  RequireObject(kLabel);
  bool write = type >= adOpenForwardOnly && type <= adOpenStatic;
  m_cursorTypeCache = detail::WriteThenRead(m_piRecordset.get(), kLabel, write, static_cast<CursorTypeEnum>(type),
                                            &_Recordset::put_CursorType, &_Recordset::get_CursorType);
  return m_cursorTypeCache;
}

LONG CAxRecordset::CacheSize(LONG size) {
  constexpr const char16_t* kLabel = u"CAxRecordset::CacheSize";
  RequireObject(kLabel);
  return detail::WriteThenRead(m_piRecordset.get(), kLabel, size > 0, size, &_Recordset::put_CacheSize,
                               &_Recordset::get_CacheSize);
}

LONG CAxRecordset::MarshalOptions(LONG options) {
  constexpr const char16_t* kLabel = u"CAxRecordset::MarshalOptions";
  RequireObject(kLabel);
  return detail::WriteThenRead(m_piRecordset.get(), kLabel, options == adMarshalAll || options == adMarshalModifiedOnly,
                               static_cast<MarshalOptionsEnum>(options), &_Recordset::put_MarshalOptions,
                               &_Recordset::get_MarshalOptions);
}

LONG CAxRecordset::CursorLocation(LONG location) {
  constexpr const char16_t* kLabel = u"CAxRecordset::CursorLocation";
  RequireObject(kLabel);
  return detail::WriteThenRead(m_piRecordset.get(), kLabel, location >= adUseNone && location <= adUseClient,
                               static_cast<CursorLocationEnum>(location), &_Recordset::put_CursorLocation,
                               &_Recordset::get_CursorLocation);
}

bool CAxRecordset::Supports(LONG option) {
  constexpr const char16_t* kLabel = u"CAxRecordset::Supports";
  RequireObject(kLabel);
  VARIANT_BOOL supported = VARIANT_FALSE;
  HRESULT hr = m_piRecordset->Supports(static_cast<CursorOptionEnum>(option), &supported);
  if (FAILED(hr)) ThrowAxException(0, kLabel, hr);
  return supported != VARIANT_FALSE;
}

void CAxRecordset::Open(const char16_t* source, CAxConnection* connection, LONG cursorType, LONG cursorLocation,
                        LONG lockType, LONG options) {
  constexpr const char16_t* kLabel = u"CAxRecordset::Open";
  if (!m_piRecordset) {
    HRESULT hr = CreateObject();
    if (FAILED(hr)) ThrowAxException(AXLIB_ERROR_INIT, kLabel, hr);
  }
  if (source) m_source = source;
  if (connection) m_piConnection = connection->AdoConnection();

  // A failed step leaves no ADO object behind; the next Open creates a new one.
  auto fail = [&](HRESULT hr) {
    m_piFields.Release();
    m_piRecordset.Release();
    ThrowAxException(0, kLabel, hr);
  };
  HRESULT hr = m_piRecordset->put_Source(CComBSTR(m_source));
  if (FAILED(hr)) fail(hr);
  hr = m_piRecordset->putref_ActiveConnection(m_piConnection);
  if (FAILED(hr)) fail(hr);
  LONG effectiveCursorType = m_cursorTypeCache != -2 ? m_cursorTypeCache : cursorType;
  LONG effectiveLockType = m_lockTypeOverride != -2 ? m_lockTypeOverride : lockType;
  CursorLocation(cursorLocation);
  // ADO gets the stored source both times, so a null source argument reopens the last statement.
  hr = m_piRecordset->Open(CComVariant(m_source), CComVariant(static_cast<IDispatch*>(m_piConnection)),
                           static_cast<CursorTypeEnum>(effectiveCursorType),
                           static_cast<LockTypeEnum>(effectiveLockType), options);
  if (FAILED(hr)) fail(hr);
  hr = m_piRecordset->get_Fields(&m_piFields);
  if (FAILED(hr) || !m_piFields) fail(FAILED(hr) ? hr : E_POINTER);
  ExchangeFields(false);
}

void CAxRecordset::AddNew() {
  RequireObject(u"CAxRecordset::AddNew");
  if (!Supports(adAddNew)) return;
  HRESULT hr = m_piRecordset->AddNew(OptionalArgumentOmitted(), OptionalArgumentOmitted());
  if (FAILED(hr)) ThrowAxException(0, u"CAxRecordset::Properties", hr);
}

HRESULT CAxRecordset::ExchangeField(bool save, const VARIANT& key, std::u16string_view text, std::u16string* readBack) {
  m_fieldExchangeStatus = 0;
  HRESULT result = S_OK;
  CComPtr<Field> field;
  LONG attributes = 0;
  HRESULT lookup = m_piFields->get_Item(key, &field);
  if (lookup == adErrItemNotFound || (SUCCEEDED(lookup) && !field)) {
    result = kExchangeNoSuchField;
  } else if (FAILED(lookup)) {
    // Only a column the table does not have is skipped; a lookup that fails otherwise must not lose the value.
    result = lookup;
  } else if (HRESULT hr = field->get_Attributes(&attributes); FAILED(hr)) {
    result = hr;
  } else if (!(attributes & (adFldUpdatable | adFldUnknownUpdatable))) {
    // Not written, and not read back either: the caller's text stays as it was.
    result = kExchangeNotUpdatable;
  } else if (save) {
    m_exchangeBuffer = CComVariant(text);
    result = field->put_Value(m_exchangeBuffer);
  } else {
    VARIANT_BOOL bof = VARIANT_FALSE, eof = VARIANT_FALSE;
    if (HRESULT hr = m_piRecordset->get_BOF(&bof); FAILED(hr)) {
      result = hr;
    } else if (hr = m_piRecordset->get_EOF(&eof); FAILED(hr)) {
      result = hr;
    } else if (bof && eof) {
      m_exchangeBuffer.Clear();
      m_exchangeBuffer.vt = VT_NULL;
    } else {
      m_exchangeBuffer = OptionalArgumentOmitted();
      result = field->get_Value(&m_exchangeBuffer);
      if (SUCCEEDED(result) && m_exchangeBuffer.vt != VT_NULL && readBack) {
        std::u16string read = VariantToString(m_exchangeBuffer);
        if (m_exchangeBuffer.vt == VT_BSTR || !read.empty()) *readBack = std::move(read);
      }
    }
  }
  m_fieldExchangeStatus = result;
  return result;
}

bool CAxRecordset::SetFieldText(std::u16string_view name, std::u16string_view text) {
  RequireObject(u"CAxRecordset::SetFieldText");
  if (!m_piFields) ThrowAxException(AXLIB_ERROR_OBJECT_NOT_OPEN, u"CAxRecordset::SetFieldText");
  return SetFieldText(CComVariant(name), name, text);
}

bool CAxRecordset::SetFieldText(const VARIANT& key, std::u16string_view name, std::u16string_view text) {
  HRESULT result = ExchangeField(true, key, text, nullptr);
  if (result >= 0) return true;
  ThrowAxException(AXLIB_ERROR_FORMATTED, Format(u"Failed to set Field '%s' to value '%s'", name, text).c_str(),
                   result);
}

bool CAxRecordset::SetFieldValue(std::u16string_view name, std::u16string_view text) {
  RequireObject(u"CAxRecordset::SetFieldValue");
  if (!m_piFields) ThrowAxException(AXLIB_ERROR_OBJECT_NOT_OPEN, u"CAxRecordset::SetFieldValue");
  // One name VARIANT for both lookups of the column.
  CComVariant key(name);
  CComPtr<Field> field;
  DataTypeEnum type = adEmpty;
  if (SUCCEEDED(m_piFields->get_Item(key, &field)) && field && SUCCEEDED(field->get_Type(&type)) &&
      type == adDecimal) {
    BYTE precision = 0;
    if (SUCCEEDED(field->get_Precision(&precision))) {
      // Only the digits count: a sign, a decimal point or blanks do not take a place in the column.
      int digits = 0;
      for (char16_t c : text)
        if (c >= u'0' && c <= u'9') ++digits;
      if (digits > precision) {
        ThrowAxException(AXLIB_ERROR_FORMATTED,
                         Format(u"Invalid number of digits in decimal Field '%s' (%d > %d)", name, digits,
                                static_cast<int>(precision))
                             .c_str(),
                         0);
      }
    }
  }
  return SetFieldText(key, name, text);
}

void CAxRecordset::Update() {
  constexpr const char16_t* kLabel = u"CAxRecordset::Update";
  RequireObject(kLabel);
  ExchangeFields(true);
  if (Supports(adResync)) {
    HRESULT hr = m_piRecordset->Resync(adAffectCurrent, adResyncUnderlyingValues);
    if (FAILED(hr)) {
      hr = m_piRecordset->Resync(adAffectCurrent, adResyncAllValues);
      if (FAILED(hr)) ThrowAxException(0, kLabel, hr);
    }
  }
  if (Supports(adUpdate)) {
    HRESULT hr = m_piRecordset->Update(OptionalArgumentOmitted(), OptionalArgumentOmitted());
    if (FAILED(hr)) ThrowAxException(0, kLabel, hr);
  }
}

void CAxRecordset::CancelUpdate() {
  constexpr const char16_t* kLabel = u"CAxRecordset::CancelUpdate";
  RequireObject(kLabel);
  EditModeEnum mode = adEditNone;
  HRESULT hr = m_piRecordset->get_EditMode(&mode);
  if (FAILED(hr)) ThrowAxException(0, kLabel, hr);
  if (mode == adEditInProgress || mode == adEditAdd) {
    hr = m_piRecordset->CancelUpdate();
    if (FAILED(hr)) ThrowAxException(0, kLabel, hr);
  }
}

bool CAxRecordset::_IsOpen() {
  if (!m_piRecordset) return false;
  LONG state = adStateClosed;
  HRESULT hr = m_piRecordset->get_State(&state);
  if (FAILED(hr)) ThrowAxException(0, nullptr, 0);
  return state == adStateOpen;
}

void CAxRecordset::Close() {
  // The layer never subscribes to recordset events (the cookie stays 0), so there is nothing to end here.
  if (m_piRecordset && _IsOpen()) {
    m_piRecordset->MoveFirst();  // its result does not matter
    HRESULT hr = m_piRecordset->Close();
    if (FAILED(hr)) ThrowAxException(AXLIB_ERROR_CLOSE, u"CAxRecordset::Close", hr);
  }
}

}  // namespace dbAx
