// dbAx: a small object layer over ADO for inserting records. Every failure leaves the layer as a heap-allocated
// dbAx::CAxException thrown by pointer; whoever catches it owns it (take it into an AxExceptionPtr at once).
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ado/ado.h"
#include "platform/com/unknown.h"

namespace dbAx {

// Library error codes.
constexpr int AXLIB_ERROR_INIT = 5001;
constexpr int AXLIB_ERROR_FIELD_NOT_FOUND = 5002;
constexpr int AXLIB_ERROR_OBJECT_NOT_OPEN = 5003;
constexpr int AXLIB_ERROR_BUF_SIZE = 5004;
constexpr int AXLIB_ERROR_NULL_PTR = 5005;
constexpr int AXLIB_ERROR_ENUM = 5006;
constexpr int AXLIB_ERROR_RECORD_POSITION = 5007;
constexpr int AXLIB_ERROR_FORMATTED = 5008;
constexpr int AXLIB_ERROR_CLOSE = 5009;

class CAxException {
 public:
  CAxException(int code, HRESULT hr) : code(code), hresult(hr) {}

  int code;                      // library code, or the last provider error's number for a failed ADO call
  std::u16string message;        // complete text for the log
  CComPtr<Errors> providerErrors;
  CComPtr<Error> providerError;
  LONG providerErrorCount = 0;
  HRESULT hresult;
};

using AxExceptionPtr = std::unique_ptr<CAxException>;

// Builds the message and throws a new CAxException*. `text` is an operation label, the whole message for
// code 5008, or null.
[[noreturn]] void ThrowAxException(int code, const char16_t* text, HRESULT hr = 0);

// The system's text for an HRESULT, trimmed of its line end; "IDispatch error #n" or "Unknown error 0x..."
// when the system has none.
std::u16string HResultText(HRESULT hr);

void AxLibInit();
void AxLibShutdown();
bool AxLibIsInitialized();

class CAxConnection;
// The live connections, in order of creation; provider errors are gathered from them.
const std::vector<CAxConnection*>& AxConnectionRegistry();

class CAxConnection {
 public:
  CAxConnection();
  CAxConnection(const CAxConnection&) = delete;
  CAxConnection& operator=(const CAxConnection&) = delete;
  // Closes the connection if open and leaves the registry; never throws.
  virtual ~CAxConnection();

  void Create();
  LONG CursorLocation(LONG location);  // 1..3 sets, -1 only reads
  void Open(std::u16string_view connectionString, std::u16string_view userId, std::u16string_view password,
            LONG options);
  bool _IsOpen();
  void Close();

  _Connection* AdoConnection() const { return m_piConnection; }
  const std::u16string& ConnectionString() const { return m_connectionString; }

 private:
  void RequireObject(const char16_t* label) const;

  CComPtr<_Connection> m_piConnection;
  [[maybe_unused]] DWORD m_dwConnectionEvents = 0;  // no event sink is attached
  std::u16string m_connectionString;
};

class CAxRecordset {
 public:
  CAxRecordset();
  CAxRecordset(const CAxRecordset&) = delete;
  CAxRecordset& operator=(const CAxRecordset&) = delete;
  // Closes the recordset if open; never throws.
  virtual ~CAxRecordset();
  virtual void OnRecordsetHook() {}
  // Called with false after Open and with true before Update; nothing overrides it in the connector.
  virtual void ExchangeFields(bool /*save*/) {}

  HRESULT CreateObject();
  LONG CursorType(LONG type);        // 0..3 sets; anything else only reads
  LONG CacheSize(LONG size);         // > 0 sets
  LONG MarshalOptions(LONG options); // 0 or 1 sets
  LONG CursorLocation(LONG location);  // 1..3 sets
  bool Supports(LONG option);
  void Open(const char16_t* source, CAxConnection* connection, LONG cursorType, LONG cursorLocation, LONG lockType,
            LONG options);
  void AddNew();
  // Writes a text by column name; an unknown or read-only column is skipped (true). Decimal columns are checked
  // for the number of digits against their precision first.
  bool SetFieldValue(std::u16string_view name, std::u16string_view text);
  bool SetFieldText(std::u16string_view name, std::u16string_view text);
  void Update();
  void CancelUpdate();
  bool _IsOpen();
  void Close();

  // Result of the last field exchange: 0, 12 (no such column), 5 (not updatable) or a failing HRESULT.
  LONG FieldExchangeStatus() const { return m_fieldExchangeStatus; }
  _Recordset* AdoRecordset() const { return m_piRecordset; }

 private:
  // `key` is the column name as a string VARIANT; `text` is written when saving; when reading, `readBack` (if
  // given) receives the column's value.
  HRESULT ExchangeField(bool save, const VARIANT& key, std::u16string_view text, std::u16string* readBack);
  bool SetFieldText(const VARIANT& key, std::u16string_view name, std::u16string_view text);
  void RequireObject(const char16_t* label) const;

  LONG m_cursorTypeCache = -2;
  LONG m_lockTypeOverride = -2;
  CComPtr<_Recordset> m_piRecordset;
  _Connection* m_piConnection = nullptr;  // not owned
  [[maybe_unused]] DWORD m_dwRecordsetEvents = 0;  // no event sink is attached
  std::u16string m_source;
  CComPtr<Fields> m_piFields;
  CComVariant m_exchangeBuffer;
  LONG m_fieldExchangeStatus = 0;
};

}  // namespace dbAx
