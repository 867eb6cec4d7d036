#include "platform/ado/recording/recorder.h"

#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>

#include "platform/com/activation.h"
#include "platform/com/utf.h"

namespace ado {

struct AdoRecorder::State {
  struct Rule {
    bool byIndex = false;
    std::size_t n = 0;  // byIndex: the call number; else k (0: every match)
    std::string pattern;
    std::size_t seen = 0;
    HRESULT hr = E_FAIL;
    ProviderErrors errors;
  };

  mutable std::mutex mutex;
  std::vector<RecordedCall> calls;
  std::vector<Rule> rules;

  // Logs a call; gives the rule that fails it, if any.
  std::optional<Rule> Begin(const std::string& key, std::string line, std::size_t& index) {
    std::lock_guard lock(mutex);
    calls.push_back({std::move(line), key, S_OK, false});
    index = calls.size() - 1;
    std::size_t number = calls.size();
    std::optional<Rule> fired;
    for (auto& r : rules) {
      bool fires = false;
      if (r.byIndex) {
        fires = r.n == number;
      } else if (RecorderPatternMatches(r.pattern, key, calls[index].line)) {
        ++r.seen;
        fires = r.n == 0 || r.n == r.seen;
      }
      if (fires && !fired) fired = r;
    }
    if (fired) calls[index].injected = true;
    return fired;
  }
  void End(std::size_t index, HRESULT hr) {
    std::lock_guard lock(mutex);
    if (index < calls.size()) calls[index].hr = hr;
  }
};

namespace {

using State = AdoRecorder::State;
using StatePtr = std::shared_ptr<State>;
using ConnectionOf = std::function<CComPtr<_Connection>()>;

// --- argument text -----------------------------------------------------------------------------------------

std::string Quote(std::u16string_view text) {
  std::string out = "\"";
  for (char c : Utf16ToUtf8(text)) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: out += c;
    }
  }
  return out + "\"";
}
std::string Quote(BSTR b) { return Quote(BstrView(b)); }

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

std::string Num(long long v) { return std::to_string(v); }

bool IsConnectionObject(IUnknown* p) {
  if (!p) return false;
  CComPtr<_Connection> c;
  return SUCCEEDED(p->QueryInterface(_Connection::iid, reinterpret_cast<void**>(&c)));
}

std::string DispatchText(IDispatch* p) {
  if (!p) return "<nothing>";
  return IsConnectionObject(p) ? "<Connection>" : "<IDispatch>";
}

std::string VariantText(const VARIANT& v) {
  switch (v.vt) {
    case VT_EMPTY: return "<empty>";
    case VT_NULL: return "<null>";
    case VT_BSTR: return Quote(v.bstrVal);
    case VT_I4: return Num(v.lVal);
    case VT_I2: return "(short)" + Num(v.iVal);
    case VT_INT: return "(int)" + Num(v.intVal);
    case VT_I8: return "(long long)" + Num(v.llVal);
    case VT_UI1: return "(byte)" + Num(v.bVal);
    case VT_BOOL: return v.boolVal ? "true" : "false";
    case VT_R8: {
      char buf[64];
      std::snprintf(buf, sizeof buf, "(double)%.17g", v.dblVal);
      return buf;
    }
    case VT_ERROR:
      if (v.scode == DISP_E_PARAMNOTFOUND) return "<missing>";
      return "<error " + Hex(static_cast<std::uint32_t>(v.scode)) + ">";
    case VT_DISPATCH: return DispatchText(v.pdispVal);
    case VT_UNKNOWN:
      if (!v.punkVal) return "<nothing>";
      return IsConnectionObject(v.punkVal) ? "<Connection>" : "<IUnknown>";
    default: return "<vt " + Num(v.vt) + ">";
  }
}

// --- error placement and the recording core ----------------------------------------------------------------

void PlaceErrors(const ConnectionOf& connectionOf, const ProviderErrors& errors) {
  if (errors.empty() || !connectionOf) return;
  CComPtr<_Connection> connection = connectionOf();
  if (!connection) return;
  CComPtr<Errors> collection;
  if (FAILED(connection->get_Errors(&collection)) || !collection) return;
  CComPtr<IProviderErrorSink> sink;
  if (SUCCEEDED(collection.QueryInterface(&sink))) sink->ReplaceErrors(errors);
}

template <class F>
HRESULT Record(const StatePtr& st, const char* key, std::string line, const ConnectionOf& connectionOf, F&& call) {
  std::size_t index = 0;
  if (auto rule = st->Begin(key, std::move(line), index)) {
    PlaceErrors(connectionOf, rule->errors);
    st->End(index, rule->hr);
    return rule->hr;
  }
  HRESULT hr = call();
  st->End(index, hr);
  return hr;
}

// The object behind a recording wrapper, or the object itself.
IUnknown* Unwrap(IUnknown* p) {
  CComPtr<IAdoWrapper> wrapper;
  if (p && SUCCEEDED(p->QueryInterface(IAdoWrapper::iid, reinterpret_cast<void**>(&wrapper)))) return wrapper->Inner();
  return p;
}

CComPtr<_Connection> ActiveConnectionOf(_Recordset* real) {
  CComVariant v;
  CComPtr<_Connection> c;
  if (real && SUCCEEDED(real->get_ActiveConnection(&v)) && v.vt == VT_DISPATCH && v.pdispVal)
    v.pdispVal->QueryInterface(_Connection::iid, reinterpret_cast<void**>(&c));
  return c;
}

template <class T>
void ClearOut(T** out) {
  if (out) *out = nullptr;
}

CComPtr<_Connection> WrapConnection(const StatePtr& st, _Connection* real);
CComPtr<_Recordset> WrapRecordset(const StatePtr& st, _Recordset* real);

// --- Error / Errors ------------------------------------------------------------------------------------------

class RecError : public ComObject<NoDispatch<Error>, IAdoWrapper> {
 public:
  RecError(StatePtr st, CComPtr<Error> real, CComPtr<_Connection> connection)
      : st_(std::move(st)), real_(std::move(real)), connection_(std::move(connection)) {}
  IUnknown* Inner() override { return real_.get(); }

  HRESULT get_Number(LONG* v) override { return Do("Error.get_Number", [&] { return real_->get_Number(v); }); }
  HRESULT get_Source(BSTR* v) override { return Do("Error.get_Source", [&] { return real_->get_Source(v); }); }
  HRESULT get_Description(BSTR* v) override {
    return Do("Error.get_Description", [&] { return real_->get_Description(v); });
  }
  HRESULT get_SQLState(BSTR* v) override { return Do("Error.get_SQLState", [&] { return real_->get_SQLState(v); }); }
  HRESULT get_NativeError(LONG* v) override {
    return Do("Error.get_NativeError", [&] { return real_->get_NativeError(v); });
  }

 private:
  template <class F>
  HRESULT Do(const char* key, F&& f) {
    return Record(st_, key, std::string(key) + "()", [c = connection_] { return c; }, f);
  }
  StatePtr st_;
  CComPtr<Error> real_;
  CComPtr<_Connection> connection_;
};

class RecErrors : public ComObject<NoDispatch<Errors>, IAdoWrapper, IProviderErrorSink> {
 public:
  RecErrors(StatePtr st, CComPtr<Errors> real, CComPtr<_Connection> connection)
      : st_(std::move(st)), real_(std::move(real)), connection_(std::move(connection)) {}
  IUnknown* Inner() override { return real_.get(); }
  // Filling the collection is the provider's business, not an ADO call: passed on unrecorded.
  void ReplaceErrors(const ProviderErrors& errors) override {
    if (CComPtr<IProviderErrorSink> sink = Sink()) sink->ReplaceErrors(errors);
  }
  void AppendError(const ProviderError& error) override {
    if (CComPtr<IProviderErrorSink> sink = Sink()) sink->AppendError(error);
  }

  HRESULT get_Count(LONG* count) override {
    return Record(st_, "Errors.get_Count", "Errors.get_Count()", Conn(), [&] { return real_->get_Count(count); });
  }
  HRESULT get_Item(VARIANT index, Error** item) override {
    ClearOut(item);
    return Record(st_, "Errors.get_Item", "Errors.get_Item(" + VariantText(index) + ")", Conn(), [&] {
      CComPtr<Error> e;
      HRESULT hr = real_->get_Item(index, &e);
      if (SUCCEEDED(hr) && e && item) *item = MakeComObject<RecError>(st_, e, connection_).Detach();
      return hr;
    });
  }
  HRESULT Refresh() override {
    return Record(st_, "Errors.Refresh", "Errors.Refresh()", Conn(), [&] { return real_->Refresh(); });
  }
  HRESULT Clear() override {
    return Record(st_, "Errors.Clear", "Errors.Clear()", Conn(), [&] { return real_->Clear(); });
  }

 private:
  ConnectionOf Conn() const {
    return [c = connection_] { return c; };
  }
  CComPtr<IProviderErrorSink> Sink() const {
    CComPtr<IProviderErrorSink> sink;
    real_.QueryInterface(&sink);
    return sink;
  }
  StatePtr st_;
  CComPtr<Errors> real_;
  CComPtr<_Connection> connection_;
};

// --- Field / Fields ------------------------------------------------------------------------------------------

class RecField : public ComObject<NoDispatch<Field>, IAdoWrapper> {
 public:
  RecField(StatePtr st, CComPtr<Field> real, CComPtr<_Recordset> owner)
      : st_(std::move(st)), real_(std::move(real)), owner_(std::move(owner)) {
    CComBSTR name;
    prefix_ = "Field[" + (SUCCEEDED(real_->get_Name(&name)) ? Utf16ToUtf8(name.View()) : std::string("?")) + "].";
  }
  IUnknown* Inner() override { return real_.get(); }

  HRESULT get_Name(BSTR* v) override { return Do("get_Name", "", [&] { return real_->get_Name(v); }); }
  HRESULT get_Type(DataTypeEnum* v) override { return Do("get_Type", "", [&] { return real_->get_Type(v); }); }
  HRESULT get_DefinedSize(LONG* v) override {
    return Do("get_DefinedSize", "", [&] { return real_->get_DefinedSize(v); });
  }
  HRESULT get_Precision(BYTE* v) override { return Do("get_Precision", "", [&] { return real_->get_Precision(v); }); }
  HRESULT get_NumericScale(BYTE* v) override {
    return Do("get_NumericScale", "", [&] { return real_->get_NumericScale(v); });
  }
  HRESULT get_Attributes(LONG* v) override {
    return Do("get_Attributes", "", [&] { return real_->get_Attributes(v); });
  }
  HRESULT get_Value(VARIANT* v) override { return Do("get_Value", "", [&] { return real_->get_Value(v); }); }
  HRESULT put_Value(VARIANT v) override {
    return Do("put_Value", VariantText(v), [&] { return real_->put_Value(v); });
  }

 private:
  template <class F>
  HRESULT Do(const char* method, const std::string& args, F&& f) {
    std::string key = std::string("Field.") + method;
    return Record(st_, key.c_str(), prefix_ + method + "(" + args + ")",
                  [o = owner_] { return ActiveConnectionOf(o); }, f);
  }
  StatePtr st_;
  CComPtr<Field> real_;
  CComPtr<_Recordset> owner_;
  std::string prefix_;
};

class RecFields : public ComObject<NoDispatch<Fields>, IAdoWrapper> {
 public:
  RecFields(StatePtr st, CComPtr<Fields> real, CComPtr<_Recordset> owner)
      : st_(std::move(st)), real_(std::move(real)), owner_(std::move(owner)) {}
  IUnknown* Inner() override { return real_.get(); }

  HRESULT get_Count(LONG* count) override {
    return Record(st_, "Fields.get_Count", "Fields.get_Count()", Conn(), [&] { return real_->get_Count(count); });
  }
  HRESULT get_Item(VARIANT index, Field** item) override {
    ClearOut(item);
    return Record(st_, "Fields.get_Item", "Fields.get_Item(" + VariantText(index) + ")", Conn(), [&] {
      CComPtr<Field> f;
      HRESULT hr = real_->get_Item(index, &f);
      if (SUCCEEDED(hr) && f && item) *item = MakeComObject<RecField>(st_, f, owner_).Detach();
      return hr;
    });
  }
  HRESULT Refresh() override {
    return Record(st_, "Fields.Refresh", "Fields.Refresh()", Conn(), [&] { return real_->Refresh(); });
  }

 private:
  ConnectionOf Conn() const {
    return [o = owner_] { return ActiveConnectionOf(o); };
  }
  StatePtr st_;
  CComPtr<Fields> real_;
  CComPtr<_Recordset> owner_;
};

// --- Connection ----------------------------------------------------------------------------------------------

class RecConnection : public ComObject<NoDispatch<_Connection>, IAdoWrapper> {
 public:
  RecConnection(StatePtr st, CComPtr<_Connection> real) : st_(std::move(st)), real_(std::move(real)) {}
  IUnknown* Inner() override { return real_.get(); }

  HRESULT get_ConnectionString(BSTR* v) override {
    return Do("get_ConnectionString", "", [&] { return real_->get_ConnectionString(v); });
  }
  HRESULT put_ConnectionString(BSTR v) override {
    return Do("put_ConnectionString", Quote(v), [&] { return real_->put_ConnectionString(v); });
  }
  HRESULT get_CursorLocation(CursorLocationEnum* v) override {
    return Do("get_CursorLocation", "", [&] { return real_->get_CursorLocation(v); });
  }
  HRESULT put_CursorLocation(CursorLocationEnum v) override {
    return Do("put_CursorLocation", Num(v), [&] { return real_->put_CursorLocation(v); });
  }
  HRESULT get_State(LONG* v) override { return Do("get_State", "", [&] { return real_->get_State(v); }); }
  HRESULT get_Errors(Errors** errors) override {
    ClearOut(errors);
    return Do("get_Errors", "", [&] {
      CComPtr<Errors> e;
      HRESULT hr = real_->get_Errors(&e);
      if (SUCCEEDED(hr) && e && errors) *errors = MakeComObject<RecErrors>(st_, e, real_).Detach();
      return hr;
    });
  }
  HRESULT Open(BSTR cs, BSTR user, BSTR password, LONG options) override {
    return Do("Open", Quote(cs) + ", " + Quote(user) + ", " + Quote(password) + ", " + Num(options),
              [&] { return real_->Open(cs, user, password, options); });
  }
  HRESULT Close() override { return Do("Close", "", [&] { return real_->Close(); }); }
  HRESULT Execute(BSTR command, VARIANT* affected, LONG options, _Recordset** result) override {
    ClearOut(result);
    return Do("Execute", Quote(command) + ", " + Num(options), [&] {
      CComPtr<_Recordset> r;
      HRESULT hr = real_->Execute(command, affected, options, result ? &r : nullptr);
      if (SUCCEEDED(hr) && r && result) *result = WrapRecordset(st_, r).Detach();
      return hr;
    });
  }

 private:
  template <class F>
  HRESULT Do(const char* method, const std::string& args, F&& f) {
    std::string key = std::string("Connection.") + method;
    return Record(st_, key.c_str(), key + "(" + args + ")", [c = real_] { return c; }, f);
  }
  StatePtr st_;
  CComPtr<_Connection> real_;
};

// --- Recordset -----------------------------------------------------------------------------------------------

class RecRecordset : public ComObject<NoDispatch<_Recordset>, IAdoWrapper> {
 public:
  RecRecordset(StatePtr st, CComPtr<_Recordset> real) : st_(std::move(st)), real_(std::move(real)) {}
  IUnknown* Inner() override { return real_.get(); }

  HRESULT get_Source(VARIANT* v) override { return Do("get_Source", "", [&] { return real_->get_Source(v); }); }
  HRESULT put_Source(BSTR v) override { return Do("put_Source", Quote(v), [&] { return real_->put_Source(v); }); }
  HRESULT get_ActiveConnection(VARIANT* v) override {
    return Do("get_ActiveConnection", "", [&] {
      CComVariant real;
      HRESULT hr = real_->get_ActiveConnection(&real);
      if (SUCCEEDED(hr) && v) {
        CComPtr<_Connection> c;
        if (real.vt == VT_DISPATCH && real.pdispVal)
          real.pdispVal->QueryInterface(_Connection::iid, reinterpret_cast<void**>(&c));
        if (c) {
          CComVariant wrapped(static_cast<IDispatch*>(WrapConnection(st_, c).get()));
          wrapped.Detach(v);
        } else {
          real.Detach(v);
        }
      }
      return hr;
    });
  }
  HRESULT putref_ActiveConnection(IDispatch* c) override {
    return Do("putref_ActiveConnection", DispatchText(c), [&] {
      CComPtr<IDispatch> inner;
      if (IUnknown* u = Unwrap(c)) u->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&inner));
      return real_->putref_ActiveConnection(c ? inner.get() : nullptr);
    });
  }
  HRESULT get_CursorType(CursorTypeEnum* v) override {
    return Do("get_CursorType", "", [&] { return real_->get_CursorType(v); });
  }
  HRESULT put_CursorType(CursorTypeEnum v) override {
    return Do("put_CursorType", Num(v), [&] { return real_->put_CursorType(v); });
  }
  HRESULT get_CursorLocation(CursorLocationEnum* v) override {
    return Do("get_CursorLocation", "", [&] { return real_->get_CursorLocation(v); });
  }
  HRESULT put_CursorLocation(CursorLocationEnum v) override {
    return Do("put_CursorLocation", Num(v), [&] { return real_->put_CursorLocation(v); });
  }
  HRESULT get_LockType(LockTypeEnum* v) override {
    return Do("get_LockType", "", [&] { return real_->get_LockType(v); });
  }
  HRESULT put_LockType(LockTypeEnum v) override {
    return Do("put_LockType", Num(v), [&] { return real_->put_LockType(v); });
  }
  HRESULT get_CacheSize(LONG* v) override { return Do("get_CacheSize", "", [&] { return real_->get_CacheSize(v); }); }
  HRESULT put_CacheSize(LONG v) override {
    return Do("put_CacheSize", Num(v), [&] { return real_->put_CacheSize(v); });
  }
  HRESULT get_MarshalOptions(MarshalOptionsEnum* v) override {
    return Do("get_MarshalOptions", "", [&] { return real_->get_MarshalOptions(v); });
  }
  HRESULT put_MarshalOptions(MarshalOptionsEnum v) override {
    return Do("put_MarshalOptions", Num(v), [&] { return real_->put_MarshalOptions(v); });
  }
  HRESULT get_State(LONG* v) override { return Do("get_State", "", [&] { return real_->get_State(v); }); }
  HRESULT get_EditMode(EditModeEnum* v) override {
    return Do("get_EditMode", "", [&] { return real_->get_EditMode(v); });
  }
  HRESULT get_BOF(VARIANT_BOOL* v) override { return Do("get_BOF", "", [&] { return real_->get_BOF(v); }); }
  HRESULT get_EOF(VARIANT_BOOL* v) override { return Do("get_EOF", "", [&] { return real_->get_EOF(v); }); }
  HRESULT get_Fields(Fields** fields) override {
    ClearOut(fields);
    return Do("get_Fields", "", [&] {
      CComPtr<Fields> f;
      HRESULT hr = real_->get_Fields(&f);
      if (SUCCEEDED(hr) && f && fields) *fields = MakeComObject<RecFields>(st_, f, real_).Detach();
      return hr;
    });
  }
  HRESULT Open(VARIANT source, VARIANT connection, CursorTypeEnum cursorType, LockTypeEnum lockType,
               LONG options) override {
    std::string args = VariantText(source) + ", " + VariantText(connection) + ", " + Num(cursorType) + ", " +
                       Num(lockType) + ", " + Num(options);
    return Do("Open", args, [&] {
      CComVariant inner(connection);
      if (connection.vt == VT_DISPATCH && connection.pdispVal) {
        CComPtr<IDispatch> d;
        if (IUnknown* u = Unwrap(connection.pdispVal)) u->QueryInterface(IDispatch::iid, reinterpret_cast<void**>(&d));
        inner = CComVariant(d.get());
      }
      return real_->Open(source, inner, cursorType, lockType, options);
    });
  }
  HRESULT Close() override { return Do("Close", "", [&] { return real_->Close(); }); }
  HRESULT Supports(CursorOptionEnum option, VARIANT_BOOL* supported) override {
    return Do("Supports", Hex(static_cast<std::uint32_t>(option)), [&] { return real_->Supports(option, supported); });
  }
  HRESULT AddNew(VARIANT fieldList, VARIANT values) override {
    return Do("AddNew", VariantText(fieldList) + ", " + VariantText(values),
              [&] { return real_->AddNew(fieldList, values); });
  }
  HRESULT Update(VARIANT fields, VARIANT values) override {
    return Do("Update", VariantText(fields) + ", " + VariantText(values), [&] { return real_->Update(fields, values); });
  }
  HRESULT CancelUpdate() override { return Do("CancelUpdate", "", [&] { return real_->CancelUpdate(); }); }
  HRESULT Resync(AffectEnum affect, ResyncEnum resync) override {
    return Do("Resync", Num(affect) + ", " + Num(resync), [&] { return real_->Resync(affect, resync); });
  }
  HRESULT MoveFirst() override { return Do("MoveFirst", "", [&] { return real_->MoveFirst(); }); }
  HRESULT MoveNext() override { return Do("MoveNext", "", [&] { return real_->MoveNext(); }); }

 private:
  template <class F>
  HRESULT Do(const char* method, const std::string& args, F&& f) {
    std::string key = std::string("Recordset.") + method;
    return Record(st_, key.c_str(), key + "(" + args + ")", [r = real_] { return ActiveConnectionOf(r); }, f);
  }
  StatePtr st_;
  CComPtr<_Recordset> real_;
};

CComPtr<_Connection> WrapConnection(const StatePtr& st, _Connection* real) {
  return CComPtr<_Connection>(MakeComObject<RecConnection>(st, CComPtr<_Connection>(real)).get());
}
CComPtr<_Recordset> WrapRecordset(const StatePtr& st, _Recordset* real) {
  return CComPtr<_Recordset>(MakeComObject<RecRecordset>(st, CComPtr<_Recordset>(real)).get());
}

// --- class objects -------------------------------------------------------------------------------------------

class RecFactory : public ComObject<IClassFactory> {
 public:
  RecFactory(StatePtr st, bool connection) : st_(std::move(st)), connection_(connection) {}
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    std::string line = connection_ ? "CoCreateInstance(Connection)" : "CoCreateInstance(Recordset)";
    return Record(st_, "CoCreateInstance", line, ConnectionOf(), [&]() -> HRESULT {
      if (connection_) {
        CComPtr<_Connection> real;
        HRESULT hr = CreateConnectionObject(_Connection::iid, reinterpret_cast<void**>(&real));
        if (FAILED(hr)) return hr;
        return WrapConnection(st_, real)->QueryInterface(riid, ppv);
      }
      CComPtr<_Recordset> real;
      HRESULT hr = CreateRecordsetObject(_Recordset::iid, reinterpret_cast<void**>(&real));
      if (FAILED(hr)) return hr;
      return WrapRecordset(st_, real)->QueryInterface(riid, ppv);
    });
  }
  HRESULT LockServer(int) override { return S_OK; }

 private:
  StatePtr st_;
  bool connection_;
};

bool GlobMatch(const char* p, const char* s) {
  // Iterative wildcard match with backtracking to the last '*'.
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*s) {
    if (*p == '?' || (*p && *p == *s && *p != '*')) {
      ++p;
      ++s;
    } else if (*p == '*') {
      star = p++;
      resume = s;
    } else if (star) {
      p = star + 1;
      s = ++resume;
    } else {
      return false;
    }
  }
  while (*p == '*') ++p;
  return *p == 0;
}

}  // namespace

bool RecorderPatternMatches(const std::string& pattern, const std::string& key, const std::string& line) {
  if (pattern.find_first_of("*?") == std::string::npos) return pattern == key || pattern == line;
  return GlobMatch(pattern.c_str(), line.c_str());
}

AdoRecorder::AdoRecorder() : state_(std::make_shared<State>()) {}

AdoRecorder::~AdoRecorder() { Uninstall(); }

void AdoRecorder::Install() {
  if (Installed()) return;
  RegisterAdoClasses();  // the real classes first, so the recording ones stand in front of them
  CoRegisterInprocClass(CLSID_Connection, MakeComObject<RecFactory>(state_, true), &connectionCookie_);
  CoRegisterInprocClass(CLSID_Recordset, MakeComObject<RecFactory>(state_, false), &recordsetCookie_);
}

void AdoRecorder::Uninstall() {
  if (connectionCookie_) CoRevokeInprocClass(connectionCookie_);
  if (recordsetCookie_) CoRevokeInprocClass(recordsetCookie_);
  connectionCookie_ = recordsetCookie_ = 0;
}

bool AdoRecorder::Installed() const { return connectionCookie_ != 0; }

void AdoRecorder::FailCall(std::size_t n, HRESULT hr, ProviderErrors errors) {
  std::lock_guard lock(state_->mutex);
  State::Rule r;
  r.byIndex = true;
  r.n = n;
  r.hr = hr;
  r.errors = std::move(errors);
  state_->rules.push_back(std::move(r));
}

void AdoRecorder::FailWhen(std::string pattern, std::size_t k, HRESULT hr, ProviderErrors errors) {
  std::lock_guard lock(state_->mutex);
  State::Rule r;
  r.pattern = std::move(pattern);
  r.n = k;
  r.hr = hr;
  r.errors = std::move(errors);
  state_->rules.push_back(std::move(r));
}

void AdoRecorder::ClearFailures() {
  std::lock_guard lock(state_->mutex);
  state_->rules.clear();
}

std::vector<std::string> AdoRecorder::Calls() const {
  std::lock_guard lock(state_->mutex);
  std::vector<std::string> lines;
  for (const auto& c : state_->calls) lines.push_back(c.line);
  return lines;
}

std::vector<RecordedCall> AdoRecorder::Entries() const {
  std::lock_guard lock(state_->mutex);
  return state_->calls;
}

std::size_t AdoRecorder::CallCount() const {
  std::lock_guard lock(state_->mutex);
  return state_->calls.size();
}

void AdoRecorder::ClearCalls() {
  std::lock_guard lock(state_->mutex);
  state_->calls.clear();
  for (auto& r : state_->rules) r.seen = 0;
}

std::string AdoRecorder::Dump() const {
  std::string out;
  std::size_t n = 0;
  for (const auto& c : Entries()) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%4zu ", ++n);
    out += buf + c.line;
    if (c.hr != S_OK) out += "  -> " + Hex(static_cast<std::uint32_t>(c.hr)) + (c.injected ? " (injected)" : "");
    out += "\n";
  }
  return out;
}

}  // namespace ado
