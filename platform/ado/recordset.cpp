// The Recordset, Fields and Field objects.
//
// A recordset reads all rows of its statement when it opens (a query "WHERE 1=0" reads none) and can insert
// records into the statement's base table: AddNew, Field.Value puts, Update. Updating or deleting rows that were
// read is not offered (Supports answers false for adResync and adDelete, a put on a read row fails with
// adErrFeatureNotAvailable). Values are checked and stored by the provider at Update, as the database does when
// the record reaches it; a refused record stays pending until CancelUpdate.
#include "platform/ado/coltypes.h"
#include "platform/ado/internal.h"

namespace ado::detail {

void RecordsetCore::ForceClose() {
  open = false;
  columns = {};
  index.reset();
  rowset.reset();
  session.reset();
  connection.Release();
  rows.clear();
  pending.clear();
  pendingSet.clear();
  editMode = adEditNone;
  current = 0;
  bof = eof = true;
}

namespace {

bool IsMissing(const VARIANT& v) {
  return v.vt == VT_EMPTY || (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

class FieldObject : public ComObject<NoDispatch<Field>> {
 public:
  FieldObject(std::shared_ptr<RecordsetCore> core, std::size_t index)
      : core_(std::move(core)), index_(index), generation_(core_->generation) {}

  HRESULT get_Name(BSTR* name) override {
    if (!name) return E_POINTER;
    *name = nullptr;
    const ColumnInfo* c = Column();
    if (!c) return adErrObjectClosed;
    *name = SysAllocString(c->name);
    return S_OK;
  }
  HRESULT get_Type(DataTypeEnum* type) override { return Get(type, &ColumnInfo::type); }
  HRESULT get_DefinedSize(LONG* size) override { return Get(size, &ColumnInfo::definedSize); }
  HRESULT get_Precision(BYTE* precision) override { return Get(precision, &ColumnInfo::precision); }
  HRESULT get_NumericScale(BYTE* scale) override { return Get(scale, &ColumnInfo::numericScale); }
  HRESULT get_Attributes(LONG* attributes) override { return Get(attributes, &ColumnInfo::attributes); }

  HRESULT get_Value(VARIANT* value) override {
    if (!value) return E_POINTER;
    if (!Column()) return adErrObjectClosed;
    RecordsetCore& r = *core_;
    if (r.editMode == adEditAdd) {
      if (r.pendingSet[index_]) return VariantCopy(value, &r.pending[index_]);
      VariantClear(value);
      value->vt = VT_NULL;
      return S_OK;
    }
    if (r.bof || r.eof || r.current >= r.rows.size()) return adErrNoCurrentRecord;
    return VariantCopy(value, &r.rows[r.current][index_]);
  }

  HRESULT put_Value(VARIANT value) override {
    const ColumnInfo* c = Column();
    if (!c) return adErrObjectClosed;
    RecordsetCore& r = *core_;
    if (r.editMode != adEditAdd) return (r.bof || r.eof) ? adErrNoCurrentRecord : adErrFeatureNotAvailable;
    if (value.vt == VT_DISPATCH || value.vt == VT_UNKNOWN || value.vt == VT_ERROR) return DISP_E_TYPEMISMATCH;
    if (!(c->attributes & (adFldUpdatable | adFldUnknownUpdatable))) {
      ProviderError e;
      e.number = DB_E_ERRORSOCCURRED;
      e.description = u"Column " + c->name + u" cannot be updated.";
      e.sqlState = u"42808";
      e.nativeError = -151;
      r.ReportErrors({e});
      return DB_E_ERRORSOCCURRED;
    }
    if (HRESULT hr = VariantCopy(&r.pending[index_], &value); FAILED(hr)) return hr;
    r.pendingSet[index_] = true;
    return S_OK;
  }

 private:
  const ColumnInfo* Column() const {
    if (!core_->open || core_->generation != generation_ || index_ >= core_->columns.size()) return nullptr;
    return &core_->columns[index_];
  }
  template <class T, class M>
  HRESULT Get(T* out, M ColumnInfo::*member) {
    if (!out) return E_POINTER;
    const ColumnInfo* c = Column();
    if (!c) return adErrObjectClosed;
    *out = static_cast<T>(c->*member);
    return S_OK;
  }

  std::shared_ptr<RecordsetCore> core_;
  std::size_t index_;
  unsigned generation_;
};

class FieldsObject : public ComObject<NoDispatch<Fields>> {
 public:
  explicit FieldsObject(std::shared_ptr<RecordsetCore> core) : core_(std::move(core)) {}

  HRESULT get_Count(LONG* count) override {
    if (!count) return E_POINTER;
    *count = core_->open ? static_cast<LONG>(core_->columns.size()) : 0;
    return S_OK;
  }
  HRESULT get_Item(VARIANT index, Field** item) override {
    if (!item) return E_POINTER;
    *item = nullptr;
    if (!core_->open) return adErrItemNotFound;
    const auto& columns = core_->columns;
    std::size_t found = columns.size();
    if (index.vt == VT_BSTR) {
      if (core_->index) {
        std::size_t at = core_->index->Find(BstrView(index.bstrVal));
        if (at != ColumnIndex::npos) found = at;
      } else {
        for (std::size_t i = 0; i < columns.size() && found == columns.size(); ++i)
          if (EqualsNoCase(columns[i].name, BstrView(index.bstrVal))) found = i;
      }
    } else {
      CComVariant position;
      if (FAILED(VariantChangeType(&position, &index, 0, VT_I4))) return adErrItemNotFound;
      if (position.lVal >= 0) found = static_cast<std::size_t>(position.lVal);
    }
    if (found >= columns.size()) return adErrItemNotFound;
    // One Field object per column while the recordset stays open, as ADO's collection holds its fields.
    if (generation_ != core_->generation || fields_.size() != columns.size()) {
      fields_.clear();
      fields_.resize(columns.size());
      generation_ = core_->generation;
    }
    CComPtr<Field>& field = fields_[found];
    if (!field) {
      auto object = MakeComObject<FieldObject>(core_, found);
      if (HRESULT hr = object->QueryInterface(Field::iid, reinterpret_cast<void**>(&field)); FAILED(hr)) return hr;
    }
    return field.CopyTo(item);
  }
  HRESULT Refresh() override { return S_OK; }

  // Drops the Field objects of a recordset that closed.
  void Forget() {
    fields_.clear();
    fields_.shrink_to_fit();
  }

 private:
  std::shared_ptr<RecordsetCore> core_;
  std::vector<CComPtr<Field>> fields_;
  unsigned generation_ = 0;
};

class RecordsetObject : public ComObject<NoDispatch<_Recordset>> {
 public:
  RecordsetObject() : core_(std::make_shared<RecordsetCore>()), fields_(MakeComObject<FieldsObject>(core_)) {}
  ~RecordsetObject() override { core_->ForceClose(); }

  HRESULT get_Source(VARIANT* source) override {
    if (!source) return E_POINTER;
    VariantClear(source);
    source->vt = VT_BSTR;
    source->bstrVal = SysAllocString(core_->source);
    return S_OK;
  }
  HRESULT put_Source(BSTR source) override {
    if (core_->open) return adErrObjectOpen;
    core_->source = BstrToString(source);
    return S_OK;
  }
  HRESULT get_ActiveConnection(VARIANT* connection) override {
    if (!connection) return E_POINTER;
    VariantClear(connection);
    connection->vt = VT_DISPATCH;
    connection->pdispVal = core_->activeConnection.get();
    if (connection->pdispVal) connection->pdispVal->AddRef();
    return S_OK;
  }
  HRESULT putref_ActiveConnection(IDispatch* connection) override {
    if (core_->open) return adErrObjectOpen;
    if (!connection) {
      core_->activeConnection.Release();
      return S_OK;
    }
    CComPtr<_Connection> c;
    if (FAILED(connection->QueryInterface(_Connection::iid, reinterpret_cast<void**>(&c))) ||
        !ConnectionInternalOf(c))
      return adErrInvalidConnection;
    core_->activeConnection = c;
    return S_OK;
  }
  HRESULT get_CursorType(CursorTypeEnum* type) override { return Get(type, core_->cursorType); }
  HRESULT put_CursorType(CursorTypeEnum type) override { return PutWhileClosed(core_->cursorType, type, adOpenForwardOnly, adOpenStatic); }
  HRESULT get_CursorLocation(CursorLocationEnum* location) override { return Get(location, core_->cursorLocation); }
  HRESULT put_CursorLocation(CursorLocationEnum location) override { return PutWhileClosed(core_->cursorLocation, location, adUseNone, adUseClient); }
  HRESULT get_LockType(LockTypeEnum* type) override { return Get(type, core_->lockType); }
  HRESULT put_LockType(LockTypeEnum type) override { return PutWhileClosed(core_->lockType, type, adLockReadOnly, adLockBatchOptimistic); }
  HRESULT get_CacheSize(LONG* size) override { return Get(size, core_->cacheSize); }
  HRESULT put_CacheSize(LONG size) override {
    if (size <= 0) return adErrInvalidArgument;
    core_->cacheSize = size;
    return S_OK;
  }
  HRESULT get_MarshalOptions(MarshalOptionsEnum* options) override { return Get(options, core_->marshalOptions); }
  HRESULT put_MarshalOptions(MarshalOptionsEnum options) override {
    if (options != adMarshalAll && options != adMarshalModifiedOnly) return adErrInvalidArgument;
    core_->marshalOptions = options;
    return S_OK;
  }
  HRESULT get_State(LONG* state) override {
    if (!state) return E_POINTER;
    *state = core_->open ? adStateOpen : adStateClosed;
    return S_OK;
  }
  HRESULT get_EditMode(EditModeEnum* mode) override {
    if (!mode) return E_POINTER;
    if (!core_->open) return adErrObjectClosed;
    *mode = core_->editMode;
    return S_OK;
  }
  HRESULT get_BOF(VARIANT_BOOL* bof) override {
    if (!bof) return E_POINTER;
    if (!core_->open) return adErrObjectClosed;
    *bof = core_->bof ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_EOF(VARIANT_BOOL* eof) override {
    if (!eof) return E_POINTER;
    if (!core_->open) return adErrObjectClosed;
    *eof = core_->eof ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT get_Fields(Fields** fields) override {
    if (!fields) return E_POINTER;
    *fields = fields_.get();
    (*fields)->AddRef();
    return S_OK;
  }

  HRESULT Open(VARIANT source, VARIANT activeConnection, CursorTypeEnum cursorType, LockTypeEnum lockType,
               LONG options) override {
    RecordsetCore& r = *core_;
    if (r.open) return adErrObjectOpen;

    std::u16string text;
    if (source.vt == VT_BSTR) {
      text = BstrToString(source.bstrVal);
    } else if (IsMissing(source)) {
      text = r.source;
    } else {
      return adErrInvalidArgument;
    }
    if (text.empty()) return adErrInvalidArgument;

    CComPtr<_Connection> connection;
    if (activeConnection.vt == VT_DISPATCH && activeConnection.pdispVal) {
      if (FAILED(activeConnection.pdispVal->QueryInterface(_Connection::iid,
                                                           reinterpret_cast<void**>(&connection))))
        return adErrInvalidConnection;
    } else if (activeConnection.vt == VT_BSTR) {
      if (HRESULT hr = OpenImplicitConnection(activeConnection.bstrVal, connection); FAILED(hr)) return hr;
    } else if (IsMissing(activeConnection) || activeConnection.vt == VT_DISPATCH) {
      connection = r.activeConnection;
    } else {
      return adErrInvalidArgument;
    }
    if (!connection) return adErrInvalidConnection;
    CComPtr<IConnectionInternal> internal = ConnectionInternalOf(connection);
    if (!internal) return adErrInvalidConnection;
    std::shared_ptr<Session> session = internal->ActiveSession();
    if (!session) return adErrObjectClosed;

    if (cursorType != adOpenUnspecified && (cursorType < adOpenForwardOnly || cursorType > adOpenStatic))
      return adErrInvalidArgument;
    if (lockType != adLockUnspecified && (lockType < adLockReadOnly || lockType > adLockBatchOptimistic))
      return adErrInvalidArgument;
    std::u16string command;
    LONG commandType = options == adCmdUnspecified ? adCmdUnspecified : (options & 0x0F);
    if (commandType == adCmdTable) {
      command = u"SELECT * FROM " + text;
    } else if (commandType == adCmdUnspecified || commandType == adCmdText || commandType == adCmdUnknown ||
               commandType == 0) {
      command = text;
    } else {
      return adErrInvalidArgument;
    }

    ProviderErrors errors;
    std::unique_ptr<Rowset> rowset;
    HRESULT hr = session->OpenRowset(command, rowset, errors);
    if (FAILED(hr)) {
      internal->ReportErrors(errors);
      return hr;
    }
    r.source = text;
    r.activeConnection = connection;
    if (cursorType != adOpenUnspecified) r.cursorType = cursorType;
    if (lockType != adLockUnspecified) r.lockType = lockType;
    if (!rowset) return S_OK;  // a statement without rows ran; the recordset stays closed, as in ADO

    // A client cursor is always static.
    if (r.cursorLocation == adUseClient) r.cursorType = adOpenStatic;
    r.columns = rowset->Columns();
    r.index = rowset->NameIndex();
    r.rows = rowset->TakeRows();
    r.rowset = std::move(rowset);
    r.session = std::move(session);
    r.connection = internal;
    r.open = true;
    ++r.generation;
    r.current = 0;
    r.bof = r.eof = r.rows.empty();
    r.editMode = adEditNone;
    internal->Track(core_);
    return S_OK;
  }

  HRESULT Close() override {
    if (!core_->open) return adErrObjectClosed;
    // ADO refuses to close over an edit in progress; Update or CancelUpdate first.
    if (core_->editMode != adEditNone) return adErrIllegalOperation;
    core_->ForceClose();
    fields_->Forget();
    return S_OK;
  }

  HRESULT Supports(CursorOptionEnum option, VARIANT_BOOL* supported) override {
    if (!supported) return E_POINTER;
    if (!core_->open) return adErrObjectClosed;
    LONG mask = adHoldRecords;
    if (core_->cursorType != adOpenForwardOnly) mask |= adMovePrevious | adApproxPosition;
    if (core_->lockType != adLockReadOnly && core_->rowset->CanInsert()) mask |= adAddNew | adUpdate;
    *supported = (option & ~mask) == 0 ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }

  HRESULT AddNew(VARIANT fieldList, VARIANT values) override {
    RecordsetCore& r = *core_;
    if (!r.open) return adErrObjectClosed;
    if (r.lockType == adLockReadOnly || !r.rowset->CanInsert()) return adErrFeatureNotAvailable;
    // ADO would store a pending record first; a caller that abandoned a record must not have it saved.
    if (r.editMode != adEditNone) return adErrIllegalOperation;
    bool withValues = !IsMissing(fieldList);
    if (withValues && IsMissing(values)) return adErrInvalidArgument;
    r.savedCurrent = r.current;
    r.savedBof = r.bof;
    r.savedEof = r.eof;
    r.pending.assign(r.columns.size(), CComVariant());
    r.pendingSet.assign(r.columns.size(), false);
    r.editMode = adEditAdd;
    r.bof = r.eof = false;
    if (!withValues) return S_OK;
    // One field and its value: put and store at once.
    CComPtr<Field> field;
    HRESULT hr = fields_->get_Item(fieldList, &field);
    if (SUCCEEDED(hr)) hr = field->put_Value(values);
    if (SUCCEEDED(hr)) hr = Store();
    if (FAILED(hr)) Cancel();
    return hr;
  }

  HRESULT Update(VARIANT fields, VARIANT values) override {
    RecordsetCore& r = *core_;
    if (!r.open) return adErrObjectClosed;
    if (!IsMissing(fields)) {
      if (IsMissing(values)) return adErrInvalidArgument;
      if (r.editMode != adEditAdd) return (r.bof || r.eof) ? adErrNoCurrentRecord : adErrFeatureNotAvailable;
      CComPtr<Field> field;
      HRESULT hr = fields_->get_Item(fields, &field);
      if (SUCCEEDED(hr)) hr = field->put_Value(values);
      if (FAILED(hr)) return hr;
    }
    if (r.editMode != adEditAdd) return S_OK;  // nothing to store
    return Store();
  }

  HRESULT CancelUpdate() override {
    if (!core_->open) return adErrObjectClosed;
    if (core_->editMode == adEditAdd) Cancel();
    return S_OK;
  }

  HRESULT Resync(AffectEnum, ResyncEnum) override {
    if (!core_->open) return adErrObjectClosed;
    return adErrFeatureNotAvailable;
  }

  HRESULT MoveFirst() override {
    RecordsetCore& r = *core_;
    if (!r.open) return adErrObjectClosed;
    // ADO would store a pending record first; see AddNew.
    if (r.editMode != adEditNone) return adErrIllegalOperation;
    if (r.rows.empty()) return adErrNoCurrentRecord;
    r.current = 0;
    r.bof = r.eof = false;
    return S_OK;
  }

  HRESULT MoveNext() override {
    RecordsetCore& r = *core_;
    if (!r.open) return adErrObjectClosed;
    if (r.editMode != adEditNone) return adErrIllegalOperation;
    if (r.eof) return adErrNoCurrentRecord;
    ++r.current;
    r.bof = false;
    r.eof = r.current >= r.rows.size();
    return S_OK;
  }

 private:
  // A setting that only a closed recordset takes, within its enumeration.
  template <class T>
  HRESULT PutWhileClosed(T& setting, T value, T lowest, T highest) {
    if (core_->open) return adErrObjectOpen;
    if (value < lowest || value > highest) return adErrInvalidArgument;
    setting = value;
    return S_OK;
  }
  template <class T>
  static HRESULT Get(T* out, T value) {
    if (!out) return E_POINTER;
    *out = value;
    return S_OK;
  }

  HRESULT Store() {
    RecordsetCore& r = *core_;
    std::vector<const VARIANT*> values(r.columns.size(), nullptr);
    ProviderErrors errors;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!r.pendingSet[i]) continue;
      values[i] = &r.pending[i];
      // Text that no database can hold as given is refused here for every provider, rather than stored changed
      // by one and refused by another.
      ProviderError e;
      e.source = u"ADO";
      if (!CheckTextCharacters(r.columns[i], r.pending[i], e)) errors.push_back(std::move(e));
    }
    if (!errors.empty()) {
      r.ReportErrors(errors);
      return DB_E_ERRORSOCCURRED;  // the record stays pending until CancelUpdate
    }
    std::vector<CComVariant> stored;
    HRESULT hr = r.rowset->Insert(values, stored, errors);
    if (FAILED(hr)) {
      r.ReportErrors(errors);
      return hr;  // the record stays pending until CancelUpdate
    }
    stored.resize(r.columns.size());
    for (std::size_t i = 0; i < stored.size(); ++i) {
      if (stored[i].vt != VT_EMPTY) continue;
      if (r.pendingSet[i]) {
        stored[i] = std::move(r.pending[i]);  // stored as given
      } else {
        stored[i].vt = VT_NULL;
      }
    }
    r.rows.push_back(std::move(stored));
    r.current = r.rows.size() - 1;
    r.bof = r.eof = false;
    r.editMode = adEditNone;
    r.pending.clear();
    r.pendingSet.clear();
    return S_OK;
  }

  void Cancel() {
    RecordsetCore& r = *core_;
    r.editMode = adEditNone;
    r.pending.clear();
    r.pendingSet.clear();
    r.current = r.savedCurrent;
    r.bof = r.savedBof;
    r.eof = r.savedEof;
  }

  std::shared_ptr<RecordsetCore> core_;
  CComPtr<FieldsObject> fields_;
};

}  // namespace
}  // namespace ado::detail

namespace ado {

HRESULT CreateRecordsetObject(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  auto object = MakeComObject<detail::RecordsetObject>();
  return object->QueryInterface(riid, ppv);
}

}  // namespace ado
