// The Connection object: chooses the provider from the connection string and owns the provider session.
#include "platform/ado/internal.h"

namespace ado::detail {
namespace {

// The provider name the connection string must give; "IBMDA400.DataSource.1" and the like are the same provider.
bool IsKnownProvider(std::u16string_view name) {
  constexpr std::u16string_view kName = u"IBMDA400";
  return name.size() >= kName.size() && EqualsNoCase(name.substr(0, kName.size()), kName) &&
         (name.size() == kName.size() || name[kName.size()] == u'.');
}

class ConnectionObject : public ComObject<NoDispatch<_Connection>, IConnectionInternal> {
 public:
  ConnectionObject() : errors_(MakeErrorsCollection()) {}
  ~ConnectionObject() override { CloseDependents(); }

  // _Connection
  HRESULT get_ConnectionString(BSTR* text) override {
    if (!text) return E_POINTER;
    *text = SysAllocString(connectionString_);
    return S_OK;
  }
  HRESULT put_ConnectionString(BSTR text) override {
    if (session_) return adErrObjectOpen;
    connectionString_ = BstrToString(text);
    return S_OK;
  }
  HRESULT get_CursorLocation(CursorLocationEnum* location) override {
    if (!location) return E_POINTER;
    *location = location_;
    return S_OK;
  }
  HRESULT put_CursorLocation(CursorLocationEnum location) override {
    if (location < adUseNone || location > adUseClient) return adErrInvalidArgument;
    location_ = location;
    return S_OK;
  }
  HRESULT get_State(LONG* state) override {
    if (!state) return E_POINTER;
    *state = session_ ? adStateOpen : adStateClosed;
    return S_OK;
  }
  HRESULT get_Errors(Errors** errors) override { return errors_.CopyTo(errors); }

  HRESULT Open(BSTR connectionString, BSTR userId, BSTR password, LONG /*options*/) override {
    if (session_) return adErrObjectOpen;
    if (SysStringLen(connectionString) > 0) connectionString_ = BstrToString(connectionString);
    ConnectRequest request;
    request.connectionString = connectionString_;
    request.properties = ParseConnectionString(connectionString_);
    const std::u16string* provider = request.properties.Find(u"Provider");
    if (!provider || !IsKnownProvider(*provider)) {
      ProviderError e;
      e.number = adErrProviderNotFound;
      e.description = AdoErrorText(adErrProviderNotFound);
      e.source = u"ADODB.Connection";
      ReportErrors({e});
      return adErrProviderNotFound;
    }
    request.dataSource = request.properties.Get(u"Data Source");
    request.userId = SysStringLen(userId) ? BstrToString(userId) : request.properties.Get(u"User ID");
    request.password = SysStringLen(password) ? BstrToString(password) : request.properties.Get(u"Password");
    if (request.dataSource.empty()) {
      ProviderError e;
      e.description = u"The connection string names no data source (Data Source=...).";
      e.sqlState = u"08001";
      e.source = u"IBMDA400";
      ReportErrors({e});
      return e.number;
    }
    std::u16string kind = ProviderKindFor(request.dataSource);
    Provider* p = FindProvider(kind);
    if (!p) {
      ProviderError e;
      e.description = u"No provider for data source '" + request.dataSource + u"': the " + kind +
                       u" provider is not available in this build (use sqlite:FOLDER for the embedded database).";
      e.sqlState = u"08001";
      e.source = u"IBMDA400";
      ReportErrors({e});
      return e.number;
    }
    ProviderErrors errors;
    std::shared_ptr<Session> session;
    HRESULT hr = p->Connect(request, session, errors);
    if (FAILED(hr) || !session) {
      if (errors.empty()) {
        ProviderError e;
        e.number = FAILED(hr) ? hr : E_FAIL;
        e.description = u"The data source '" + request.dataSource + u"' could not be opened.";
        e.sqlState = u"08001";
        errors.push_back(e);
      }
      ReportErrors(errors);
      return FAILED(hr) ? hr : E_FAIL;
    }
    session_ = std::move(session);
    return S_OK;
  }

  HRESULT Close() override {
    if (!session_) return adErrObjectClosed;
    CloseDependents();
    session_.reset();
    return S_OK;
  }

  HRESULT Execute(BSTR commandText, VARIANT* recordsAffected, LONG /*options*/, _Recordset** result) override {
    if (result) *result = nullptr;
    if (!session_) return adErrObjectClosed;
    ProviderErrors errors;
    LONG affected = 0;
    HRESULT hr = session_->Execute(BstrView(commandText), &affected, errors);
    if (FAILED(hr)) {
      ReportErrors(errors);
      return hr;
    }
    if (recordsAffected) {
      VariantClear(recordsAffected);
      recordsAffected->vt = VT_I4;
      recordsAffected->lVal = affected;
    }
    return S_OK;
  }

  // IConnectionInternal
  std::shared_ptr<Session> ActiveSession() override { return session_; }
  void ReportErrors(const ProviderErrors& errors) override {
    CComPtr<IProviderErrorSink> sink;
    if (SUCCEEDED(errors_.QueryInterface(&sink))) sink->ReplaceErrors(errors);
  }
  void Track(const std::shared_ptr<RecordsetCore>& core) override {
    std::erase_if(dependents_, [](const std::weak_ptr<RecordsetCore>& w) { return w.expired(); });
    dependents_.push_back(core);
  }

 private:
  void CloseDependents() {
    auto dependents = std::move(dependents_);
    for (auto& w : dependents)
      if (auto core = w.lock()) core->ForceClose();
  }

  std::u16string connectionString_;
  CursorLocationEnum location_ = adUseServer;
  CComPtr<Errors> errors_;
  std::shared_ptr<Session> session_;
  std::vector<std::weak_ptr<RecordsetCore>> dependents_;
};

}  // namespace

CComPtr<IConnectionInternal> ConnectionInternalOf(IUnknown* p) {
  CComPtr<IConnectionInternal> internal;
  // A wrapper may stand in front of another wrapper; a few levels are plenty.
  for (int depth = 0; p && depth < 8; ++depth) {
    if (SUCCEEDED(p->QueryInterface(IConnectionInternal::iid, reinterpret_cast<void**>(&internal)))) return internal;
    CComPtr<IAdoWrapper> wrapper;
    if (FAILED(p->QueryInterface(IAdoWrapper::iid, reinterpret_cast<void**>(&wrapper)))) break;
    p = wrapper->Inner();
  }
  return nullptr;
}

HRESULT OpenImplicitConnection(BSTR connectionString, CComPtr<_Connection>& connection) {
  CComPtr<_Connection> c;
  if (HRESULT hr = CreateConnectionObject(IID__Connection, reinterpret_cast<void**>(&c)); FAILED(hr)) return hr;
  if (HRESULT hr = c->Open(connectionString, nullptr, nullptr, adConnectUnspecified); FAILED(hr)) return hr;
  connection = c;
  return S_OK;
}

}  // namespace ado::detail

namespace ado {

HRESULT CreateConnectionObject(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  auto object = MakeComObject<detail::ConnectionObject>();
  return object->QueryInterface(riid, ppv);
}

}  // namespace ado
