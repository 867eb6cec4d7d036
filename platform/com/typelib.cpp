#include "platform/com/typelib.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <mutex>
#include <vector>

#include "platform/com/errortext.h"
#include "platform/com/modulepath.h"
#include "platform/com/utf.h"
#include "platform/registry/registry.h"
#include "platform/registry/store.h"

namespace {

constexpr GUID kUniversalMarshaler = MakeGuid("{00020424-0000-0000-C000-000000000046}");

char16_t Fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; }

bool SameName(const char16_t* a, const char16_t* b) {
  if (!a || !b) return false;
  for (; *a && *b; ++a, ++b)
    if (Fold(*a) != Fold(*b)) return false;
  return *a == *b;
}

BSTR Copy(const char16_t* text) { return SysAllocString(text ? text : u""); }

std::u16string Hex(unsigned value) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%x", value);
  return AsciiToUtf16(buf);
}

std::u16string VersionKey(WORD major, WORD minor) { return Hex(major) + u"." + Hex(minor); }

const char16_t* SysKindName(SYSKIND kind) {
  switch (kind) {
    case SYS_WIN16: return u"win16";
    case SYS_WIN32: return u"win32";
    case SYS_MAC: return u"mac";
    case SYS_WIN64: return u"win64";
  }
  return u"win32";
}

std::string ParentFolder(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

// --- libraries of loaded modules --------------------------------------------------------------------------------

struct ModuleLibrary {
  std::string path;
  const TypeLibDescription* description;
};

std::mutex& TableMutex() {
  static std::mutex* m = new std::mutex;  // modules announce and withdraw during process exit
  return *m;
}

std::vector<ModuleLibrary>& Table() {
  static auto* table = new std::vector<ModuleLibrary>;
  return *table;
}

const TypeLibDescription* FindModuleLibrary(const std::string& path) {
  std::lock_guard lock(TableMutex());
  for (auto it = Table().rbegin(); it != Table().rend(); ++it)
    if (it->path == path) return it->description;
  return nullptr;
}

// --- the library and its type descriptions ----------------------------------------------------------------------

class CTypeLib final : public ComObject<ITypeLib> {
 public:
  CTypeLib(const TypeLibDescription* d, void* moduleHandle) : d_(d), handle_(moduleHandle) {}
  ~CTypeLib() override {
    if (handle_) ::dlclose(handle_);
  }

  UINT GetTypeInfoCount() override { return static_cast<UINT>(d_->interfaces.size() + d_->coclasses.size()); }
  HRESULT GetTypeInfo(UINT index, ITypeInfo** info) override;
  HRESULT GetTypeInfoType(UINT index, TYPEKIND* kind) override {
    if (!kind) return E_INVALIDARG;
    if (index >= GetTypeInfoCount()) return TYPE_E_ELEMENTNOTFOUND;
    *kind = index < d_->interfaces.size() ? TKIND_DISPATCH : TKIND_COCLASS;
    return S_OK;
  }
  HRESULT GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** info) override {
    if (!info) return E_INVALIDARG;
    *info = nullptr;
    for (std::size_t i = 0; i < d_->interfaces.size(); ++i)
      if (d_->interfaces[i].iid == guid) return GetTypeInfo(static_cast<UINT>(i), info);
    for (std::size_t i = 0; i < d_->coclasses.size(); ++i)
      if (d_->coclasses[i].clsid == guid) return GetTypeInfo(static_cast<UINT>(d_->interfaces.size() + i), info);
    return TYPE_E_ELEMENTNOTFOUND;
  }
  HRESULT GetLibAttr(TLIBATTR* attr) override {
    if (!attr) return E_INVALIDARG;
    *attr = TLIBATTR{d_->libid, d_->lcid, SYS_WIN32, d_->majorVersion, d_->minorVersion, d_->libFlags};
    return S_OK;
  }
  HRESULT GetDocumentation(INT index, BSTR* name, BSTR* doc) override {
    const char16_t* n = nullptr;
    const char16_t* h = nullptr;
    if (index == -1) {
      n = d_->name;
      h = d_->helpString;
    } else if (index >= 0 && static_cast<std::size_t>(index) < d_->interfaces.size()) {
      n = d_->interfaces[static_cast<std::size_t>(index)].name;
      h = d_->interfaces[static_cast<std::size_t>(index)].helpString;
    } else if (index >= 0 && static_cast<std::size_t>(index) < GetTypeInfoCount()) {
      const auto& c = d_->coclasses[static_cast<std::size_t>(index) - d_->interfaces.size()];
      n = c.name;
      h = c.helpString;
    } else {
      return TYPE_E_ELEMENTNOTFOUND;
    }
    if (name) *name = Copy(n);
    if (doc) *doc = Copy(h);
    return S_OK;
  }

  const TypeLibDescription* Description() const { return d_; }

 private:
  const TypeLibDescription* d_;
  void* handle_;
};

class CTypeInfo final : public ComObject<ITypeInfo> {
 public:
  CTypeInfo(CTypeLib* lib, UINT index) : lib_(lib), index_(index) {
    const auto* d = lib->Description();
    if (index < d->interfaces.size())
      iface_ = &d->interfaces[index];
    else
      coclass_ = &d->coclasses[index - d->interfaces.size()];
  }

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    if (!iface_) return DISP_E_UNKNOWNNAME;
    const MemberDescription* found = nullptr;
    for (const auto& m : iface_->members) {
      if (SameName(m.name, names[0])) {
        found = &m;
        break;
      }
    }
    if (!found) return DISP_E_UNKNOWNNAME;
    ids[0] = found->id;
    HRESULT hr = S_OK;
    // Further names are parameters of that member; their ids are their positions.
    for (UINT i = 1; i < count; ++i) {
      bool known = false;
      for (std::size_t p = 0; p < found->params.size(); ++p) {
        if (SameName(found->params[p].name, names[i])) {
          ids[i] = static_cast<MEMBERID>(p);
          known = true;
          break;
        }
      }
      if (!known) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
  }

  HRESULT Invoke(void* instance, MEMBERID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excepInfo, UINT* argErr) override;

  HRESULT GetTypeAttr(TYPEATTR* attr) override {
    if (!attr) return E_INVALIDARG;
    const auto* d = lib_->Description();
    *attr = TYPEATTR{};
    attr->lcid = d->lcid;
    attr->wMajorVerNum = d->majorVersion;
    attr->wMinorVerNum = d->minorVersion;
    if (iface_) {
      attr->guid = iface_->iid;
      attr->typekind = TKIND_DISPATCH;
      attr->cFuncs = static_cast<WORD>(iface_->members.size());
      attr->cImplTypes = 1;
      attr->wTypeFlags = iface_->typeFlags;
    } else {
      attr->guid = coclass_->clsid;
      attr->typekind = TKIND_COCLASS;
      attr->cImplTypes = static_cast<WORD>(coclass_->interfaces.size());
      attr->wTypeFlags = TYPEFLAG_FCANCREATE;
    }
    return S_OK;
  }

  HRESULT GetDocumentation(MEMBERID member, BSTR* name, BSTR* doc) override {
    if (member == MEMBERID_NIL) return lib_->GetDocumentation(static_cast<INT>(index_), name, doc);
    if (iface_) {
      for (const auto& m : iface_->members) {
        if (m.id == member) {
          if (name) *name = Copy(m.name);
          if (doc) *doc = Copy(m.helpString);
          return S_OK;
        }
      }
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }

  HRESULT GetContainingTypeLib(ITypeLib** lib, UINT* index) override {
    if (index) *index = index_;
    if (lib) {
      *lib = lib_.get();
      (*lib)->AddRef();
    }
    return S_OK;
  }

 private:
  CComPtr<CTypeLib> lib_;
  UINT index_;
  const InterfaceDescription* iface_ = nullptr;
  const CoClassDescription* coclass_ = nullptr;
};

HRESULT CTypeLib::GetTypeInfo(UINT index, ITypeInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  if (index >= GetTypeInfoCount()) return TYPE_E_ELEMENTNOTFOUND;
  try {
    *info = new CTypeInfo(this, index);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  (*info)->AddRef();
  return S_OK;
}

bool Selects(WORD invokeKind, WORD flags) {
  switch (invokeKind) {
    case INVOKE_FUNC: return (flags & DISPATCH_METHOD) != 0;
    case INVOKE_PROPERTYGET: return (flags & DISPATCH_PROPERTYGET) != 0;
    case INVOKE_PROPERTYPUT: return (flags & DISPATCH_PROPERTYPUT) != 0;
    case INVOKE_PROPERTYPUTREF: return (flags & DISPATCH_PROPERTYPUTREF) != 0;
  }
  return false;
}

// Converts one argument to its declared type. The result owns what it holds.
HRESULT Coerce(const ParamDescription& p, const VARIANT& arg, VARIANT* out) {
  if (p.vt == VT_DISPATCH || p.vt == VT_UNKNOWN) {
    IUnknown* given = nullptr;
    if (arg.vt == VT_DISPATCH)
      given = reinterpret_cast<IUnknown*>(arg.pdispVal);
    else if (arg.vt == VT_UNKNOWN)
      given = arg.punkVal;
    else if (arg.vt != VT_EMPTY && arg.vt != VT_NULL)
      return DISP_E_TYPEMISMATCH;
    out->vt = VT_UNKNOWN;
    out->punkVal = nullptr;
    if (!given) return S_OK;
    const IID& iid = p.iid ? *p.iid : (p.vt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown);
    void* itf = nullptr;
    if (FAILED(given->QueryInterface(iid, &itf)) || !itf) return DISP_E_TYPEMISMATCH;
    // Every interface pointer is an IUnknown pointer.
    out->punkVal = static_cast<IUnknown*>(itf);
    return S_OK;
  }
  if (arg.vt == p.vt) return VariantCopy(out, &arg);
  HRESULT hr = VariantChangeType(out, &arg, 0, p.vt);
  return FAILED(hr) ? DISP_E_TYPEMISMATCH : S_OK;
}

HRESULT CTypeInfo::Invoke(void* instance, MEMBERID member, WORD flags, DISPPARAMS* params, VARIANT* result,
                          EXCEPINFO* excepInfo, UINT* argErr) {
  if (!instance || !params) return E_INVALIDARG;
  if (!iface_) return DISP_E_MEMBERNOTFOUND;
  const MemberDescription* m = nullptr;
  for (const auto& candidate : iface_->members) {
    if (candidate.id == member && Selects(candidate.invokeKind, flags)) {
      m = &candidate;
      break;
    }
  }
  if (!m || !m->thunk) return DISP_E_MEMBERNOTFOUND;
  bool put = m->invokeKind == INVOKE_PROPERTYPUT || m->invokeKind == INVOKE_PROPERTYPUTREF;
  if (params->cNamedArgs > 0) {
    bool propertyValue = put && params->cNamedArgs == 1 && params->rgdispidNamedArgs &&
                         params->rgdispidNamedArgs[0] == DISPID_PROPERTYPUT;
    if (!propertyValue) return DISP_E_NONAMEDARGS;
  }
  std::size_t inputs = 0;
  for (const auto& p : m->params)
    if (!(p.flags & PARAMFLAG_FRETVAL)) ++inputs;
  if (params->cArgs != inputs) return DISP_E_BADPARAMCOUNT;
  if (inputs > 0 && !params->rgvarg) return E_INVALIDARG;

  std::vector<CComVariant> args(inputs);
  std::size_t k = 0;
  for (const auto& p : m->params) {
    if (p.flags & PARAMFLAG_FRETVAL) continue;
    // Automation passes the arguments last first.
    UINT position = static_cast<UINT>(inputs - 1 - k);
    if (HRESULT hr = Coerce(p, params->rgvarg[position], &args[k]); FAILED(hr)) {
      if (argErr) *argErr = position;
      return hr;
    }
    ++k;
  }
  CComVariant ret;
  HRESULT hr = m->thunk(instance, args.empty() ? nullptr : args.data(), &ret);
  if (FAILED(hr)) {
    if (!excepInfo) return hr;
    *excepInfo = EXCEPINFO{};
    excepInfo->scode = hr;
    excepInfo->bstrSource = Copy(lib_->Description()->name);
    std::u16string text;
    if (SystemMessageText(hr, &text)) {
      while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
      excepInfo->bstrDescription = SysAllocString(std::u16string_view(text));
    }
    return DISP_E_EXCEPTION;
  }
  for (const auto& p : m->params) {
    bool scalar = p.vt != VT_DISPATCH && p.vt != VT_UNKNOWN && p.vt != VT_VARIANT;
    if ((p.flags & PARAMFLAG_FRETVAL) && scalar && ret.vt != VT_EMPTY && ret.vt != p.vt)
      if (FAILED(ret.ChangeType(p.vt))) return DISP_E_TYPEMISMATCH;
  }
  if (result) ret.Detach(result);
  return S_OK;
}

HRESULT RegistryAccess(LSTATUS s, HRESULT otherwise) {
  if (s == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) return otherwise;
  return TYPE_E_REGISTRYACCESS;
}

// The version key to use: the one asked for, else the highest minor version of the same major one above it.
HRESULT FindVersion(HKEY libKey, WORD major, WORD minor, std::u16string* version) {
  std::u16string exact = VersionKey(major, minor);
  CRegKey probe;
  if (probe.Open(libKey, exact) == ERROR_SUCCESS) {
    *version = exact;
    return S_OK;
  }
  int best = -1;
  std::u16string name;
  for (DWORD i = 0; RegEnumKeyEx(libKey, i, &name) == ERROR_SUCCESS; ++i) {
    std::string text = Utf16ToUtf8(name);
    unsigned maj = 0, min = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%x.%x%c", &maj, &min, &tail) != 2) continue;
    if (maj == major && min >= minor && static_cast<int>(min) > best) {
      best = static_cast<int>(min);
      *version = name;
    }
  }
  return best >= 0 ? S_OK : TYPE_E_LIBNOTREGISTERED;
}

// The locale key that holds the paths: the locale's own, else the neutral "0".
bool FindLocale(HKEY versionKey, LCID lcid, std::u16string* locale) {
  for (const std::u16string& candidate : {Hex(lcid), std::u16string(u"0")}) {
    CRegKey probe;
    if (probe.Open(versionKey, candidate) == ERROR_SUCCESS) {
      *locale = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace

HRESULT CreateTypeLib(const TypeLibDescription* description, ITypeLib** lib) {
  if (!description || !lib) return E_INVALIDARG;
  *lib = nullptr;
  try {
    *lib = new CTypeLib(description, nullptr);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  (*lib)->AddRef();
  return S_OK;
}

void RegisterModuleTypeLib(const void* addressInModule, const TypeLibDescription* description) {
  std::string path = ModulePathFromAddress(addressInModule);
  if (path.empty() || !description) return;
  std::lock_guard lock(TableMutex());
  Table().push_back({path, description});
}

void RevokeModuleTypeLib(const TypeLibDescription* description) {
  std::lock_guard lock(TableMutex());
  auto& table = Table();
  for (auto it = table.begin(); it != table.end();) {
    if (it->description == description)
      it = table.erase(it);
    else
      ++it;
  }
}

HRESULT LoadTypeLib(const std::string& path, ITypeLib** lib) {
  if (!lib) return E_INVALIDARG;
  *lib = nullptr;
  std::string canonical = Canonical(path);
  if (canonical.empty()) return TYPE_E_CANTLOADLIBRARY;
  void* handle = nullptr;
  const TypeLibDescription* d = FindModuleLibrary(canonical);
  if (!d) {
    handle = ::dlopen(canonical.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return TYPE_E_CANTLOADLIBRARY;
    d = FindModuleLibrary(canonical);
    if (!d) {
      ::dlclose(handle);
      return TYPE_E_CANTLOADLIBRARY;
    }
  }
  try {
    *lib = new CTypeLib(d, handle);
  } catch (const std::bad_alloc&) {
    if (handle) ::dlclose(handle);
    return E_OUTOFMEMORY;
  }
  (*lib)->AddRef();
  return S_OK;
}

HRESULT QueryPathOfRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, std::string* path) {
  if (!path) return E_INVALIDARG;
  path->clear();
  CRegKey libKey;
  if (LSTATUS s = libKey.Open(HKEY_CLASSES_ROOT, u"TypeLib\\" + GuidToString(libid)); s != ERROR_SUCCESS)
    return RegistryAccess(s, TYPE_E_LIBNOTREGISTERED);
  std::u16string version;
  if (HRESULT hr = FindVersion(libKey, major, minor, &version); FAILED(hr)) return hr;
  CRegKey versionKey;
  if (LSTATUS s = versionKey.Open(libKey, version); s != ERROR_SUCCESS) return RegistryAccess(s, TYPE_E_LIBNOTREGISTERED);
  std::u16string locale;
  if (!FindLocale(versionKey, lcid, &locale)) return TYPE_E_LIBNOTREGISTERED;
  std::u16string text;
  if (LSTATUS s = RegGetString(versionKey, locale + u"\\win32", u"", &text); s != ERROR_SUCCESS)
    return RegistryAccess(s, TYPE_E_LIBNOTREGISTERED);
  if (text.empty()) return TYPE_E_LIBNOTREGISTERED;
  *path = Utf16ToUtf8(text);
  return S_OK;
}

HRESULT LoadRegTypeLib(REFGUID libid, WORD major, WORD minor, LCID lcid, ITypeLib** lib) {
  if (!lib) return E_INVALIDARG;
  *lib = nullptr;
  std::string path;
  if (HRESULT hr = QueryPathOfRegTypeLib(libid, major, minor, lcid, &path); FAILED(hr)) return hr;
  CComPtr<ITypeLib> loaded;
  if (HRESULT hr = LoadTypeLib(path, &loaded); FAILED(hr)) return hr;
  TLIBATTR attr;
  loaded->GetLibAttr(&attr);
  // The registration names a module whose library is another one.
  if (attr.guid != libid || attr.wMajorVerNum != major) return TYPE_E_LIBNOTREGISTERED;
  *lib = loaded.Detach();
  return S_OK;
}

HRESULT RegisterTypeLib(ITypeLib* lib, const std::string& fullPath, const std::string& helpDir) {
  if (!lib || fullPath.empty()) return E_INVALIDARG;
  TLIBATTR attr;
  if (HRESULT hr = lib->GetLibAttr(&attr); FAILED(hr)) return hr;
  CComBSTR name, doc;
  lib->GetDocumentation(-1, &name, &doc);
  RegistryTransaction tx;
  if (FAILED(tx.Status())) return TYPE_E_REGISTRYACCESS;
  std::u16string libid = GuidToString(attr.guid);
  auto check = [](LSTATUS s) { return s == ERROR_SUCCESS; };
  CRegKey version;
  if (!check(version.Create(HKEY_CLASSES_ROOT, u"TypeLib\\" + libid + u"\\" +
                                                   VersionKey(attr.wMajorVerNum, attr.wMinorVerNum))))
    return TYPE_E_REGISTRYACCESS;
  bool ok = check(version.SetStringValue(u"", doc.IsEmpty() ? name.View() : doc.View())) &&
            check(version.SetKeyValue(u"0\\win32", Utf8ToUtf16(fullPath))) &&
            check(version.SetKeyValue(u"FLAGS", AsciiToUtf16(std::to_string(attr.wLibFlags)))) &&
            check(version.SetKeyValue(u"HELPDIR", Utf8ToUtf16(helpDir.empty() ? ParentFolder(fullPath) : helpDir)));
  if (!ok) return TYPE_E_REGISTRYACCESS;
  for (UINT i = 0; i < lib->GetTypeInfoCount(); ++i) {
    CComPtr<ITypeInfo> info;
    TYPEATTR ta;
    if (FAILED(lib->GetTypeInfo(i, &info)) || FAILED(info->GetTypeAttr(&ta))) continue;
    if (ta.typekind != TKIND_DISPATCH && ta.typekind != TKIND_INTERFACE) continue;
    if (!(ta.wTypeFlags & (TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE))) continue;
    CComBSTR typeName;
    info->GetDocumentation(MEMBERID_NIL, &typeName, nullptr);
    CRegKey itf;
    if (!check(itf.Create(HKEY_CLASSES_ROOT, u"Interface\\" + GuidToString(ta.guid)))) return TYPE_E_REGISTRYACCESS;
    CRegKey typeLibKey;
    ok = check(itf.SetStringValue(u"", typeName.View())) &&
         check(itf.SetKeyValue(u"ProxyStubClsid", GuidToString(kUniversalMarshaler))) &&
         check(itf.SetKeyValue(u"ProxyStubClsid32", GuidToString(kUniversalMarshaler))) &&
         check(typeLibKey.Create(itf, u"TypeLib")) && check(typeLibKey.SetStringValue(u"", libid)) &&
         check(typeLibKey.SetStringValue(u"Version", VersionKey(attr.wMajorVerNum, attr.wMinorVerNum)));
    if (!ok) return TYPE_E_REGISTRYACCESS;
  }
  return SUCCEEDED(tx.Commit()) ? S_OK : TYPE_E_REGISTRYACCESS;
}

HRESULT UnRegisterTypeLib(REFGUID libidGuid, WORD major, WORD minor, LCID lcid, SYSKIND syskind) {
  RegistryTransaction tx;
  if (FAILED(tx.Status())) return TYPE_E_REGISTRYACCESS;
  std::u16string libid = GuidToString(libidGuid);
  std::u16string libPath = u"TypeLib\\" + libid;
  std::u16string versionName = VersionKey(major, minor);
  CRegKey version;
  if (version.Open(HKEY_CLASSES_ROOT, libPath + u"\\" + versionName) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  std::u16string locale;
  if (!FindLocale(version, lcid, &locale)) return TYPE_E_REGISTRYACCESS;
  CRegKey localeKey;
  if (localeKey.Open(version, locale) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  if (localeKey.RecurseDeleteKey(SysKindName(syskind)) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  DWORD left = 0;
  RegQueryInfoKey(localeKey, &left, nullptr);
  localeKey.Close();
  if (left == 0) version.RecurseDeleteKey(locale);

  // The version stays while another locale is registered under it.
  std::u16string sub;
  for (DWORD i = 0; RegEnumKeyEx(version, i, &sub) == ERROR_SUCCESS; ++i) {
    if (!RegistryNamesEqual(sub, u"FLAGS") && !RegistryNamesEqual(sub, u"HELPDIR")) {
      return SUCCEEDED(tx.Commit()) ? S_OK : TYPE_E_REGISTRYACCESS;
    }
  }
  version.Close();
  CRegKey libKey;
  if (libKey.Open(HKEY_CLASSES_ROOT, libPath) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  if (libKey.RecurseDeleteKey(versionName) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  DWORD versionsLeft = 0;
  RegQueryInfoKey(libKey, &versionsLeft, nullptr);
  libKey.Close();
  if (versionsLeft == 0) RegDeleteTree(HKEY_CLASSES_ROOT, libPath);

  // Interfaces registered for this library and version, and only those.
  CRegKey interfaces;
  if (interfaces.Open(HKEY_CLASSES_ROOT, u"Interface") == ERROR_SUCCESS) {
    std::vector<std::u16string> doomed;
    std::u16string iid;
    for (DWORD i = 0; RegEnumKeyEx(interfaces, i, &iid) == ERROR_SUCCESS; ++i) {
      std::u16string owner, ownerVersion;
      CRegKey typeLibKey;
      if (typeLibKey.Open(interfaces, iid + u"\\TypeLib") != ERROR_SUCCESS) continue;
      if (typeLibKey.QueryStringValue(u"", &owner) != ERROR_SUCCESS) continue;
      typeLibKey.QueryStringValue(u"Version", &ownerVersion);
      auto ownerId = GuidFromString(owner);
      if (ownerId && *ownerId == libidGuid && (ownerVersion.empty() || ownerVersion == versionName))
        doomed.push_back(iid);
    }
    for (const auto& d : doomed)
      if (interfaces.RecurseDeleteKey(d) != ERROR_SUCCESS) return TYPE_E_REGISTRYACCESS;
  }
  return SUCCEEDED(tx.Commit()) ? S_OK : TYPE_E_REGISTRYACCESS;
}
