// The capture platform's release type library, as the connector calls it: the script interfaces it
// implements and the platform objects it is handed. Calls return S_OK on success; anything else is failure.
//
// Interface identifiers the connector depends on are the platform's own (the two script interfaces, the row
// values collection, the batch variable names collection). The others are this build's: the connector never
// queries for them by identifier, it only receives them typed.
#pragma once

#include "platform/com/unknown.h"

enum KfxReturnValue : LONG {
  KFX_REL_SUCCESS = 0,
  KFX_REL_UNSUPPORTED = 4,
  KFX_REL_ERROR = -1,
};

enum KfxLinkSourceType : LONG {
  KFX_REL_UNDEFINED_LINK = -1,
  KFX_REL_INDEXFIELD = 0,
  KFX_REL_TEXTCONSTANT = 1,
  KFX_REL_VARIABLE = 2,
  KFX_REL_BATCHFIELD = 3,
};

enum KfxInfoReturnValue : LONG {
  KFX_REL_DOC_ERROR = 1,
};

enum KfxActionValue : LONG {
  KFX_REL_UNDEFINED_ACTION = -1,
  KFX_REL_DOCCLASS_RENAME = 0,
  KFX_REL_BATCHCLASS_RENAME = 1,
  KFX_REL_INDEXFIELD_DELETE = 2,
  KFX_REL_INDEXFIELD_INSERT = 3,
  KFX_REL_INDEXFIELD_RENAME = 4,
  KFX_REL_BATCHFIELD_DELETE = 5,
  KFX_REL_BATCHFIELD_INSERT = 6,
  KFX_REL_BATCHFIELD_RENAME = 7,
  KFX_REL_RELEASESETUP_DELETE = 8,
  KFX_REL_IMPORT = 9,
  KFX_REL_UPGRADE = 10,
  KFX_REL_PUBLISH_CHECK = 11,
  KFX_REL_START = 12,
  KFX_REL_END = 13,
  KFX_REL_FOLDERCLASS_INSERT = 14,
  KFX_REL_FOLDERCLASS_DELETE = 15,
  KFX_REL_FOLDERCLASS_RENAME = 16,
  KFX_REL_TABLE_INSERT = 17,
  KFX_REL_TABLE_DELETE = 18,
  KFX_REL_TABLE_RENAME = 19,
};

struct IValue : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B01}");
  using base_interface = IDispatch;
  virtual HRESULT get_Destination(BSTR* destination) = 0;
  virtual HRESULT get_Value(BSTR* value) = 0;
  virtual HRESULT get_SourceName(BSTR* name) = 0;
  virtual HRESULT get_SourceType(LONG* type) = 0;
  virtual HRESULT get_TableName(BSTR* name) = 0;
  // Yields the row values collection (query it for IRowValues) of a table value.
  virtual HRESULT get_RowValues(VARIANT key, IDispatch** rows) = 0;
};

// Collections share one layout: Item first, the enumerator second, Count third.
struct IValues : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B02}");
  using base_interface = IDispatch;
  virtual HRESULT get_Item(VARIANT index, IValue** item) = 0;  // 1-based position, or a destination name
  virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;
  virtual HRESULT get_Count(LONG* count) = 0;
};

struct IRowValues : IDispatch {
  static constexpr IID iid = MakeGuid("{2044A7E0-C29E-49E1-A862-AAB6020ED02F}");
  using base_interface = IDispatch;
  virtual HRESULT get_Item(VARIANT index, IValue** item) = 0;  // 1-based row
  virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;
  virtual HRESULT get_Count(LONG* count) = 0;
};

struct ICustomProperty : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B03}");
  using base_interface = IDispatch;
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_Value(BSTR* value) = 0;
  virtual HRESULT put_Value(BSTR value) = 0;
};

struct ICustomProperties : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B04}");
  using base_interface = IDispatch;
  virtual HRESULT get_Item(VARIANT index, ICustomProperty** item) = 0;  // name or 1-based position
  virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT Add(BSTR name, BSTR value, ICustomProperty** item) = 0;  // item may be null
  virtual HRESULT Remove(VARIANT index) = 0;
};

struct IReleaseData : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B05}");
  using base_interface = IDispatch;
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_KofaxPDFFileName(BSTR* name) = 0;
  virtual HRESULT get_ConnectString(BSTR* server) = 0;
  virtual HRESULT get_UserName(BSTR* user) = 0;
  virtual HRESULT get_Password(BSTR* password) = 0;
  virtual HRESULT get_Values(IValues** values) = 0;
  virtual HRESULT get_CustomProperties(ICustomProperties** properties) = 0;
  virtual HRESULT LogError(LONG err1, LONG err2, LONG err3, BSTR errorMessage, BSTR codeModule, LONG lineNumber) = 0;
  virtual HRESULT SendMessage(BSTR messageString, LONG errorNumber, LONG infoRet) = 0;
};

struct ILink : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B06}");
  using base_interface = IDispatch;
  virtual HRESULT get_Source(BSTR* source) = 0;
  virtual HRESULT get_SourceType(LONG* type) = 0;
  virtual HRESULT get_Destination(BSTR* destination) = 0;
};

struct ILinks : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B07}");
  using base_interface = IDispatch;
  virtual HRESULT get_Item(VARIANT index, ILink** item) = 0;  // 1-based position
  virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT Add(BSTR source, LONG sourceType, BSTR destination, ILink** item) = 0;  // item may be null
  virtual HRESULT Remove(VARIANT index) = 0;
  virtual HRESULT RemoveAll() = 0;
};

struct IIndexField : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B08}");
  using base_interface = IDispatch;
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT get_TableName(BSTR* table) = 0;  // empty for a field that is not in a table
};

struct IIndexFields : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B09}");
  using base_interface = IDispatch;
  virtual HRESULT get_Item(VARIANT index, IIndexField** item) = 0;  // 1-based position
  virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;
  virtual HRESULT get_Count(LONG* count) = 0;
};

// The names of the platform's values. Two versions of the collection exist; the connector asks for the
// newer first. Both put the enumerator third after IDispatch.
struct IBatchVariableNames : IDispatch {
  static constexpr IID iid = MakeGuid("{852FDE3C-8C75-4550-9749-07F8FF6CE9B1}");
  using base_interface = IDispatch;
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT get_Item(VARIANT index, BSTR* name) = 0;
  virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;
};

struct IBatchVariableNames2 : IDispatch {
  static constexpr IID iid = MakeGuid("{2F8DEB57-941D-4E2C-81B5-D16E3B82C2C8}");
  using base_interface = IDispatch;
  virtual HRESULT get_Count(LONG* count) = 0;
  virtual HRESULT get_Item(VARIANT index, BSTR* name) = 0;
  virtual HRESULT get__NewEnum(IUnknown** enumerator) = 0;
};

struct IReleaseSetupData : IDispatch {
  static constexpr IID iid = MakeGuid("{6B9D0A41-52C3-4E55-9F1B-3E0C5A7D2B0A}");
  using base_interface = IDispatch;
  virtual HRESULT get_Name(BSTR* name) = 0;
  virtual HRESULT put_Name(BSTR name) = 0;
  virtual HRESULT get_ConnectString(BSTR* server) = 0;
  virtual HRESULT put_ConnectString(BSTR server) = 0;
  virtual HRESULT get_UserName(BSTR* user) = 0;
  virtual HRESULT put_UserName(BSTR user) = 0;
  virtual HRESULT get_Password(BSTR* password) = 0;
  virtual HRESULT put_Password(BSTR password) = 0;
  virtual HRESULT get_BatchClassName(BSTR* name) = 0;
  virtual HRESULT get_DocClassName(BSTR* name) = 0;
  virtual HRESULT get_CustomProperties(ICustomProperties** properties) = 0;
  virtual HRESULT get_Links(ILinks** links) = 0;
  virtual HRESULT get_IndexFields(IIndexFields** fields) = 0;
  virtual HRESULT get_BatchVariableNames(IDispatch** names) = 0;
  virtual HRESULT Apply() = 0;
};

// The two script interfaces the connector implements.
struct IKfxReleaseScript : IDispatch {
  static constexpr IID iid = MakeGuid("{D0B556C8-975C-4D36-B855-0DD1AB0B6255}");
  using base_interface = IDispatch;
  virtual HRESULT OpenScript(KfxReturnValue* ret) = 0;
  virtual HRESULT ReleaseDoc(KfxReturnValue* ret) = 0;
  virtual HRESULT CloseScript(KfxReturnValue* ret) = 0;
  virtual HRESULT get_DocumentData(IReleaseData** data) = 0;
  virtual HRESULT putref_DocumentData(IReleaseData* data) = 0;
};

struct IKfxReleaseSetupScript : IDispatch {
  static constexpr IID iid = MakeGuid("{5F5E61B2-0B35-4616-BABE-3DCDC12D5E11}");
  using base_interface = IDispatch;
  virtual HRESULT OpenScript(KfxReturnValue* ret) = 0;
  virtual HRESULT RunUI(KfxReturnValue* ret) = 0;
  virtual HRESULT CloseScript(KfxReturnValue* ret) = 0;
  virtual HRESULT ActionEvent(KfxActionValue action, BSTR info1, BSTR info2, KfxReturnValue* ret) = 0;
  virtual HRESULT get_SetupData(IReleaseSetupData** data) = 0;
  virtual HRESULT putref_SetupData(IReleaseSetupData* data) = 0;
};

// Class identifiers of the connector's two classes.
inline constexpr CLSID CLSID_QorvenExportConnector = MakeGuid("{A4836D49-3680-49E8-B8F0-9F6413E4DA13}");
inline constexpr CLSID CLSID_DodoSetupScript = MakeGuid("{2D301A81-407F-4F1E-89A3-4CBB43B34596}");
