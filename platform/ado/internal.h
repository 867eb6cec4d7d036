// Shared between the objects of the ADO object model; not for users of ADO.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/ado/adoext.h"
#include "platform/ado/provider.h"

namespace ado::detail {

struct RecordsetCore;

// What a recordset needs of the connection it is opened on.
struct IConnectionInternal : IUnknown {
  static constexpr IID iid = MakeGuid("{6F1D2C40-8B7E-4F51-9A63-2E0C5B7A1D10}");
  using base_interface = IUnknown;
  virtual std::shared_ptr<Session> ActiveSession() = 0;  // null while closed
  virtual void ReportErrors(const ProviderErrors& errors) = 0;
  // Recordsets open on the connection are closed with it.
  virtual void Track(const std::shared_ptr<RecordsetCore>& core) = 0;
};

// Our connection behind a _Connection or IDispatch pointer, looking through wrappers; null if there is none.
CComPtr<IConnectionInternal> ConnectionInternalOf(IUnknown* p);

// A new, empty Errors collection.
CComPtr<Errors> MakeErrorsCollection();
// A connection string opened on a new connection, for Recordset.Open given a connection string.
HRESULT OpenImplicitConnection(BSTR connectionString, CComPtr<_Connection>& connection);

// State of a recordset, shared with its Fields and Field objects.
struct RecordsetCore {
  // Properties.
  std::u16string source;
  CComPtr<_Connection> activeConnection;
  CursorTypeEnum cursorType = adOpenForwardOnly;
  LockTypeEnum lockType = adLockReadOnly;
  CursorLocationEnum cursorLocation = adUseServer;
  LONG cacheSize = 1;
  MarshalOptionsEnum marshalOptions = adMarshalAll;

  // While open.
  bool open = false;
  unsigned generation = 0;  // counts opens, so a Field of an earlier open is recognised as stale
  CComPtr<IConnectionInternal> connection;
  std::shared_ptr<Session> session;
  std::unique_ptr<Rowset> rowset;
  std::span<const ColumnInfo> columns;       // the rowset's own, valid while it is held
  std::shared_ptr<const ColumnIndex> index;  // columns by name
  std::vector<std::vector<CComVariant>> rows;
  std::size_t current = 0;  // index into rows; rows.size() at EOF
  bool bof = true, eof = true;

  // A pending new record (AddNew until Update or CancelUpdate).
  EditModeEnum editMode = adEditNone;
  std::vector<CComVariant> pending;
  std::vector<bool> pendingSet;
  std::size_t savedCurrent = 0;
  bool savedBof = true, savedEof = true;

  // Closes without asking (the connection closes, the object goes away); a pending record is dropped.
  void ForceClose();
  void ReportErrors(const ProviderErrors& errors) {
    if (connection && !errors.empty()) connection->ReportErrors(errors);
  }
};

}  // namespace ado::detail
