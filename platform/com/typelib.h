// Type libraries: a description of dispatch interfaces and coclasses compiled into a module, and its
// registration under HKEY_CLASSES_ROOT\TypeLib and \Interface.
//
// A module announces its library when it is loaded (RegisterModuleTypeLib) and withdraws it when it is
// unloaded; LoadTypeLib finds a library by the file path of its module, and LoadRegTypeLib through the
// registration, as late binding does.
#pragma once

#include <span>
#include <string>

#include "platform/com/unknown.h"

// Kinds of members (INVOKEKIND).
constexpr WORD INVOKE_FUNC = 1;
constexpr WORD INVOKE_PROPERTYGET = 2;
constexpr WORD INVOKE_PROPERTYPUT = 4;
constexpr WORD INVOKE_PROPERTYPUTREF = 8;

constexpr WORD PARAMFLAG_NONE = 0;
constexpr WORD PARAMFLAG_FIN = 0x1;
constexpr WORD PARAMFLAG_FOUT = 0x2;
constexpr WORD PARAMFLAG_FRETVAL = 0x8;

constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
constexpr WORD TYPEFLAG_FDUAL = 0x40;
constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

constexpr WORD LIBFLAG_FRESTRICTED = 0x1;
constexpr WORD LIBFLAG_FCONTROL = 0x2;
constexpr WORD LIBFLAG_FHIDDEN = 0x4;
constexpr WORD LIBFLAG_FHASDISKIMAGE = 0x8;

enum SYSKIND : int { SYS_WIN16 = 0, SYS_WIN32 = 1, SYS_MAC = 2, SYS_WIN64 = 3 };

// Calls one member on an object of the described interface: `instance` is the interface pointer, `args` the
// parameters without the return value, in declaration order, already converted to their declared types (an
// interface parameter arrives as VT_UNKNOWN holding the interface the parameter names, or null). The return
// value, if the member has one, goes to `result`.
using DispatchThunk = HRESULT (*)(void* instance, VARIANT* args, VARIANT* result);

struct ParamDescription {
  const char16_t* name;
  VARTYPE vt;          // VT_I4, VT_BSTR, VT_BOOL, VT_R8, VT_DISPATCH, VT_UNKNOWN ...
  WORD flags;          // PARAMFLAG_*; one retval parameter at most, the last
  const IID* iid = nullptr;  // for an interface parameter: the interface it takes or yields
};

struct MemberDescription {
  DISPID id;
  const char16_t* name;
  WORD invokeKind;  // INVOKE_*
  std::span<const ParamDescription> params;
  DispatchThunk thunk;
  const char16_t* helpString = nullptr;
};

struct InterfaceDescription {
  IID iid;
  const char16_t* name;
  WORD typeFlags;  // TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE for a dual interface
  std::span<const MemberDescription> members;
  const char16_t* helpString = nullptr;
};

struct CoClassDescription {
  CLSID clsid;
  const char16_t* name;
  std::span<const IID* const> interfaces;  // the first is the default
  const char16_t* helpString = nullptr;
};

struct TypeLibDescription {
  GUID libid;
  const char16_t* name;
  const char16_t* helpString;
  WORD majorVersion;
  WORD minorVersion;
  LCID lcid;
  WORD libFlags;
  std::span<const InterfaceDescription> interfaces;
  std::span<const CoClassDescription> coclasses;
};

struct TLIBATTR {
  GUID guid{};
  LCID lcid = 0;
  SYSKIND syskind = SYS_WIN32;
  WORD wMajorVerNum = 0;
  WORD wMinorVerNum = 0;
  WORD wLibFlags = 0;
};

struct ITypeLib : IUnknown {
  static constexpr IID iid = MakeGuid("{00020402-0000-0000-C000-000000000046}");
  using base_interface = IUnknown;
  // Interfaces first, then coclasses, in the order of the description.
  virtual UINT GetTypeInfoCount() = 0;
  virtual HRESULT GetTypeInfo(UINT index, ITypeInfo** info) = 0;
  virtual HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) = 0;
  // TYPE_E_ELEMENTNOTFOUND when the library describes no such interface or class.
  virtual HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) = 0;
  virtual HRESULT GetLibAttr(TLIBATTR* attr) = 0;
  // Name and help text of a type, or of the library for index -1. Either output may be null.
  virtual HRESULT GetDocumentation(INT index, BSTR* name, BSTR* docString) = 0;
};

// A library over a description (which must outlive it).
HRESULT CreateTypeLib(const TypeLibDescription* description, ITypeLib** lib);

// Announces the library of the module that contains `addressInModule` (any function or object of it), so that
// LoadTypeLib on the module's path finds it. Revoke before the module goes away.
void RegisterModuleTypeLib(const void* addressInModule, const TypeLibDescription* description);
void RevokeModuleTypeLib(const TypeLibDescription* description);

// The library of a module file. A module that has not announced one is loaded (and stays loaded while the
// library is in use). TYPE_E_CANTLOADLIBRARY when there is no such module or it holds no library.
HRESULT LoadTypeLib(const std::string& path, ITypeLib** lib);
// The registered library: TypeLib\{libid}\<major>.<minor>, or the highest minor version above it, its path
// under the locale's key (hex, falling back to "0") and "win32". TYPE_E_LIBNOTREGISTERED when not registered.
HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** lib);
HRESULT QueryPathOfRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, std::string* path);

// Writes TypeLib\{libid}\<major>.<minor> (default value: the help string, else the name), its "0\win32"
// (the module path), FLAGS and HELPDIR (helpDir, else the module's folder), and Interface\{iid} for every dual
// or automation interface (name, ProxyStubClsid, ProxyStubClsid32, TypeLib with Version). One transaction.
HRESULT RegisterTypeLib(ITypeLib* lib, const std::string& fullPath, const std::string& helpDir = {});
// Removes what RegisterTypeLib wrote: the locale's "win32" path, then FLAGS, HELPDIR and the version key when
// no other locale remains, the library key when no version remains, and the Interface keys that name this
// library and version. TYPE_E_REGISTRYACCESS when the registration cannot be accessed (not registered, or the
// store cannot be read); nothing is changed then.
HRESULT UnRegisterTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, SYSKIND syskind);
