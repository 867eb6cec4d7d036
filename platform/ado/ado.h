// The ADO object model, as far as the data access layer calls it: Connection, Recordset, Fields, Field,
// Errors and Error, with ADO's class and interface identifiers and enumeration values.
#pragma once

#include "platform/com/unknown.h"

enum CursorLocationEnum : LONG { adUseNone = 1, adUseServer = 2, adUseClient = 3, adUseClientBatch = 3 };
enum CursorTypeEnum : LONG {
  adOpenUnspecified = -1,
  adOpenForwardOnly = 0,
  adOpenKeyset = 1,
  adOpenDynamic = 2,
  adOpenStatic = 3,
};
enum LockTypeEnum : LONG {
  adLockUnspecified = -1,
  adLockReadOnly = 1,
  adLockPessimistic = 2,
  adLockOptimistic = 3,
  adLockBatchOptimistic = 4,
};
enum ObjectStateEnum : LONG {
  adStateClosed = 0,
  adStateOpen = 1,
  adStateConnecting = 2,
  adStateExecuting = 4,
  adStateFetching = 8,
};
enum EditModeEnum : LONG { adEditNone = 0, adEditInProgress = 1, adEditAdd = 2, adEditDelete = 4 };
enum CursorOptionEnum : LONG {
  adHoldRecords = 0x100,
  adMovePrevious = 0x200,
  adAddNew = 0x1000400,
  adDelete = 0x1000800,
  adUpdate = 0x1008000,
  adBookmark = 0x2000,
  adApproxPosition = 0x4000,
  adUpdateBatch = 0x10000,
  adResync = 0x20000,
  adNotify = 0x40000,
  adFind = 0x80000,
  adSeek = 0x400000,
  adIndex = 0x800000,
};
enum AffectEnum : LONG { adAffectCurrent = 1, adAffectGroup = 2, adAffectAll = 3, adAffectAllChapters = 4 };
enum ResyncEnum : LONG { adResyncUnderlyingValues = 1, adResyncAllValues = 2 };
enum MarshalOptionsEnum : LONG { adMarshalAll = 0, adMarshalModifiedOnly = 1 };
enum ConnectOptionEnum : LONG { adConnectUnspecified = -1, adAsyncConnect = 16 };
enum CommandTypeEnum : LONG {
  adCmdUnspecified = -1,
  adCmdUnknown = 8,
  adCmdText = 1,
  adCmdTable = 2,
  adCmdStoredProc = 4,
  adExecuteNoRecords = 0x80,
};
enum DataTypeEnum : LONG {
  adEmpty = 0,
  adSmallInt = 2,
  adInteger = 3,
  adSingle = 4,
  adDouble = 5,
  adCurrency = 6,
  adDate = 7,
  adBSTR = 8,
  adBoolean = 11,
  adDecimal = 14,
  adTinyInt = 16,
  adUnsignedTinyInt = 17,
  adBigInt = 20,
  adBinary = 128,
  adChar = 129,
  adWChar = 130,
  adNumeric = 131,
  adDBDate = 133,
  adDBTime = 134,
  adDBTimeStamp = 135,
  adVarChar = 200,
  adLongVarChar = 201,
  adVarWChar = 202,
  adLongVarWChar = 203,
  adVarBinary = 204,
};
enum FieldAttributeEnum : LONG {
  adFldMayDefer = 0x2,
  adFldUpdatable = 0x4,
  adFldUnknownUpdatable = 0x8,
  adFldFixed = 0x10,
  adFldIsNullable = 0x20,
  adFldMayBeNull = 0x40,
  adFldLong = 0x80,
  adFldRowID = 0x100,
  adFldKeyColumn = 0x8000,
};

// ADO's own error results (the 0x800A0xxx range has no system message text).
constexpr HRESULT adErrInvalidArgument = MakeHResult(0x800A0BB9u);      // 3001
constexpr HRESULT adErrNoCurrentRecord = MakeHResult(0x800A0BCDu);      // 3021
constexpr HRESULT adErrIllegalOperation = MakeHResult(0x800A0C93u);     // 3219
constexpr HRESULT adErrItemNotFound = MakeHResult(0x800A0CC1u);         // 3265
constexpr HRESULT adErrFeatureNotAvailable = MakeHResult(0x800A0CB3u);  // 3251
constexpr HRESULT adErrObjectOpen = MakeHResult(0x800A0E79u);           // 3705
constexpr HRESULT adErrObjectClosed = MakeHResult(0x800A0E78u);         // 3704
constexpr HRESULT adErrProviderNotFound = MakeHResult(0x800A0E7Au);     // 3706
constexpr HRESULT adErrInvalidConnection = MakeHResult(0x800A0E7Du);    // 3709
// OLE DB results that providers return (these fall into the "IDispatch error #" range of the system texts).
constexpr HRESULT DB_E_CANTCONVERTVALUE = MakeHResult(0x80040E07u);
constexpr HRESULT DB_E_ERRORSINCOMMAND = MakeHResult(0x80040E14u);
constexpr HRESULT DB_E_ERRORSOCCURRED = MakeHResult(0x80040E21u);
constexpr HRESULT DB_E_INTEGRITYVIOLATION = MakeHResult(0x80040E2Fu);
constexpr HRESULT DB_E_NOTABLE = MakeHResult(0x80040E37u);
constexpr HRESULT DB_SEC_E_AUTH_FAILED = MakeHResult(0x80040E4Du);
constexpr HRESULT DB_E_DATAOVERFLOW = MakeHResult(0x80040E57u);

struct Error;
struct Errors;
struct Field;
struct Fields;
struct _Connection;
struct _Recordset;

struct Error : IDispatch {
  static constexpr IID iid = MakeGuid("{00000500-0000-0010-8000-00AA006D2EA4}");
  using base_interface = IDispatch;
  virtual HRESULT get_Number(LONG* number) = 0;
  virtual HRESULT get_Source(BSTR* source) = 0;
  virtual HRESULT get_Description(BSTR* description) = 0;
  virtual HRESULT get_SQLState(BSTR* state) = 0;
  virtual HRESULT get_NativeError(LONG* native) = 0;
};

struct Errors : IDispatch {
  static constexpr IID iid = MakeGuid("{00000501-0000-0010-8000-00AA006D2EA4}");
  using base_interface = IDispatch;
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT get_Item(VARIANT index, Error** item) = 0;  // 0-based
  virtual HRESULT Refresh() = 0;
  virtual HRESULT Clear() = 0;
};

struct Field : IDispatch {
  static constexpr IID iid = MakeGuid("{0000054C-0000-0010-8000-00AA006D2EA4}");
  using base_interface = IDispatch;
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_Type(DataTypeEnum* type) = 0;
  virtual HRESULT get_DefinedSize(LONG* size) = 0;
  virtual HRESULT get_Precision(BYTE* precision) = 0;
  virtual HRESULT get_NumericScale(BYTE* scale) = 0;
  virtual HRESULT get_Attributes(LONG* attributes) = 0;
  virtual HRESULT get_Value(VARIANT* value) = 0;
  virtual HRESULT put_Value(VARIANT value) = 0;
};

struct Fields : IDispatch {
  static constexpr IID iid = MakeGuid("{0000054D-0000-0010-8000-00AA006D2EA4}");
  using base_interface = IDispatch;
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT get_Item(VARIANT index, Field** item) = 0;  // name (case-insensitive) or 0-based position
  virtual HRESULT Refresh() = 0;
};

struct _Connection : IDispatch {
  static constexpr IID iid = MakeGuid("{00000550-0000-0010-8000-00AA006D2EA4}");
  using base_interface = IDispatch;
  virtual HRESULT get_ConnectionString(BSTR* text) = 0;
  virtual HRESULT put_ConnectionString(BSTR text) = 0;
  virtual HRESULT get_CursorLocation(CursorLocationEnum* location) = 0;
  virtual HRESULT put_CursorLocation(CursorLocationEnum location) = 0;
  virtual HRESULT get_State(LONG* state) = 0;
  virtual HRESULT get_Errors(Errors** errors) = 0;
  virtual HRESULT Open(BSTR connectionString, BSTR userId, BSTR password, LONG options) = 0;
  virtual HRESULT Close() = 0;
  // Runs a statement that returns no rows (DDL, for setting up a library).
  virtual HRESULT Execute(BSTR commandText, VARIANT* recordsAffected, LONG options, _Recordset** result) = 0;
};

struct _Recordset : IDispatch {
  static constexpr IID iid = MakeGuid("{0000050E-0000-0010-8000-00AA006D2EA4}");
  using base_interface = IDispatch;
  virtual HRESULT get_Source(VARIANT* source) = 0;
  virtual HRESULT put_Source(BSTR source) = 0;
  virtual HRESULT get_ActiveConnection(VARIANT* connection) = 0;
  virtual HRESULT putref_ActiveConnection(IDispatch* connection) = 0;
  virtual HRESULT get_CursorType(CursorTypeEnum* type) = 0;
  virtual HRESULT put_CursorType(CursorTypeEnum type) = 0;
  virtual HRESULT get_CursorLocation(CursorLocationEnum* location) = 0;
  virtual HRESULT put_CursorLocation(CursorLocationEnum location) = 0;
  virtual HRESULT get_LockType(LockTypeEnum* type) = 0;
  virtual HRESULT put_LockType(LockTypeEnum type) = 0;
  virtual HRESULT get_CacheSize(LONG* size) = 0;
  virtual HRESULT put_CacheSize(LONG size) = 0;
  virtual HRESULT get_MarshalOptions(MarshalOptionsEnum* options) = 0;
  virtual HRESULT put_MarshalOptions(MarshalOptionsEnum options) = 0;
  virtual HRESULT get_State(LONG* state) = 0;
  virtual HRESULT get_EditMode(EditModeEnum* mode) = 0;
  virtual HRESULT get_BOF(VARIANT_BOOL* bof) = 0;
  virtual HRESULT get_EOF(VARIANT_BOOL* eof) = 0;
  virtual HRESULT get_Fields(Fields** fields) = 0;
  virtual HRESULT Open(VARIANT source, VARIANT activeConnection, CursorTypeEnum cursorType, LockTypeEnum lockType,
                       LONG options) = 0;
  virtual HRESULT Close() = 0;
  virtual HRESULT Supports(CursorOptionEnum option, VARIANT_BOOL* supported) = 0;
  virtual HRESULT AddNew(VARIANT fieldList, VARIANT values) = 0;
  virtual HRESULT Update(VARIANT fields, VARIANT values) = 0;
  virtual HRESULT CancelUpdate() = 0;
  virtual HRESULT Resync(AffectEnum affect, ResyncEnum resync) = 0;
  virtual HRESULT MoveFirst() = 0;
  virtual HRESULT MoveNext() = 0;
};

inline constexpr CLSID CLSID_Connection = MakeGuid("{00000514-0000-0010-8000-00AA006D2EA4}");
inline constexpr CLSID CLSID_Recordset = MakeGuid("{00000535-0000-0010-8000-00AA006D2EA4}");
inline constexpr IID IID__Connection = _Connection::iid;
inline constexpr IID IID__Recordset = _Recordset::iid;
inline constexpr IID IID_ConnectionEvents = MakeGuid("{00000400-0000-0010-8000-00AA006D2EA4}");
inline constexpr IID IID_RecordsetEvents = MakeGuid("{00000266-0000-0010-8000-00AA006D2EA4}");
