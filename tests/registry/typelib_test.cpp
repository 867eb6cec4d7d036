#include "platform/com/typelib.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/com/utf.h"

#include "platform/com/modulepath.h"
#include "tests/registry/temp_store.h"
#include "tests/registry/test_library.h"

namespace {

class PlainTestScript final : public TestScriptImpl<ComObject<NoDispatch<ITestScript>>> {};

// Arguments in the order Automation passes them: last first.
struct Args {
  explicit Args(std::initializer_list<CComVariant> inOrder) : values(inOrder.begin(), inOrder.end()) {
    std::reverse(values.begin(), values.end());
    params.rgvarg = values.empty() ? nullptr : values.data();
    params.cArgs = static_cast<UINT>(values.size());
  }
  Args& PropertyPut() & {
    params.rgdispidNamedArgs = &putId;
    params.cNamedArgs = 1;
    return *this;
  }
  Args&& PropertyPut() && { return std::move(PropertyPut()); }
  std::vector<CComVariant> values;
  DISPID putId = DISPID_PROPERTYPUT;
  DISPPARAMS params;
};

class TypeInfo : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(CreateTypeLib(&kTestLibrary, &lib), S_OK);
    ASSERT_EQ(lib->GetTypeInfoOfGuid(ITestScript::iid, &info), S_OK);
    object = MakeComObject<PlainTestScript>();
  }
  DISPID Id(const char16_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = 0;
    EXPECT_EQ(info->GetIDsOfNames(names, 1, &id), S_OK) << std::string(name, name + std::u16string_view(name).size());
    return id;
  }
  HRESULT Call(const char16_t* name, WORD flags, Args&& args, VARIANT* result = nullptr, UINT* argErr = nullptr,
               EXCEPINFO* excep = nullptr) {
    return info->Invoke(static_cast<ITestScript*>(object.get()), Id(name), flags, &args.params, result, excep, argErr);
  }

  CComPtr<ITypeLib> lib;
  CComPtr<ITypeInfo> info;
  CComPtr<PlainTestScript> object;
};

TEST_F(TypeInfo, DescribesTheLibrary) {
  EXPECT_EQ(lib->GetTypeInfoCount(), 3u);
  TLIBATTR attr;
  ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
  EXPECT_EQ(attr.guid, kTestLibId);
  EXPECT_EQ(attr.lcid, 0x0409u);
  EXPECT_EQ(attr.wMajorVerNum, 1);
  EXPECT_EQ(attr.wMinorVerNum, 0);
  CComBSTR name, doc;
  ASSERT_EQ(lib->GetDocumentation(-1, &name, &doc), S_OK);
  EXPECT_EQ(name.Str(), u"testlib");
  EXPECT_EQ(doc.Str(), u"Test Library 1.0");
  TYPEKIND kind;
  EXPECT_EQ(lib->GetTypeInfoType(2, &kind), S_OK);
  EXPECT_EQ(kind, TKIND_COCLASS);
  EXPECT_EQ(lib->GetTypeInfoType(3, &kind), TYPE_E_ELEMENTNOTFOUND);
  CComPtr<ITypeInfo> coclass;
  ASSERT_EQ(lib->GetTypeInfoOfGuid(kTestClass, &coclass), S_OK);
  TYPEATTR ta;
  ASSERT_EQ(coclass->GetTypeAttr(&ta), S_OK);
  EXPECT_EQ(ta.typekind, TKIND_COCLASS);
  EXPECT_EQ(ta.cImplTypes, 1);
  CComPtr<ITypeInfo> missing;
  EXPECT_EQ(lib->GetTypeInfoOfGuid(IID_IDispatch, &missing), TYPE_E_ELEMENTNOTFOUND);
  ASSERT_EQ(info->GetTypeAttr(&ta), S_OK);
  EXPECT_EQ(ta.guid, ITestScript::iid);
  EXPECT_EQ(ta.typekind, TKIND_DISPATCH);
  EXPECT_EQ(ta.cFuncs, 8);
  EXPECT_EQ(ta.wTypeFlags, test_library::kDual);
  CComPtr<ITypeLib> container;
  UINT index = 99;
  ASSERT_EQ(info->GetContainingTypeLib(&container, &index), S_OK);
  EXPECT_EQ(container.get(), lib.get());
  EXPECT_EQ(index, 0u);
  CComBSTR member;
  ASSERT_EQ(info->GetDocumentation(1, &member, &doc), S_OK);
  EXPECT_EQ(member.Str(), u"Add");
  EXPECT_EQ(doc.Str(), u"Adds");
}

TEST_F(TypeInfo, NamesToIds) {
  EXPECT_EQ(Id(u"Add"), 1);
  EXPECT_EQ(Id(u"aDD"), 1) << "names compare without case";
  EXPECT_EQ(Id(u"Count"), 3);
  LPOLESTR names[] = {const_cast<LPOLESTR>(u"Add"), const_cast<LPOLESTR>(u"B"), const_cast<LPOLESTR>(u"zzz")};
  DISPID ids[3];
  EXPECT_EQ(info->GetIDsOfNames(names, 3, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], 1);
  EXPECT_EQ(ids[1], 1) << "parameters are numbered by position";
  EXPECT_EQ(ids[2], DISPID_UNKNOWN);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(u"Nothing")};
  EXPECT_EQ(info->GetIDsOfNames(unknown, 1, ids), DISP_E_UNKNOWNNAME);
  EXPECT_EQ(ids[0], DISPID_UNKNOWN);
}

TEST_F(TypeInfo, CallsMethodsAndProperties) {
  CComVariant result;
  ASSERT_EQ(Call(u"Add", DISPATCH_METHOD, Args{CComVariant(LONG{2}), CComVariant(LONG{40})}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 42);
  // Arguments are converted to the declared types.
  ASSERT_EQ(Call(u"Add", DISPATCH_METHOD | DISPATCH_PROPERTYGET, Args{CComVariant(u"7"), CComVariant(1.0)}, &result),
            S_OK);
  EXPECT_EQ(result.lVal, 8);
  ASSERT_EQ(Call(u"Greet", DISPATCH_METHOD, Args{CComVariant(u"Ann")}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(BstrToString(result.bstrVal), u"Hello, Ann");
  ASSERT_EQ(Call(u"Count", DISPATCH_PROPERTYPUT, Args{CComVariant(LONG{5})}.PropertyPut()), S_OK);
  ASSERT_EQ(Call(u"Count", DISPATCH_PROPERTYGET, Args{}, &result), S_OK);
  EXPECT_EQ(result.lVal, 5);
  ASSERT_EQ(Call(u"Ready", DISPATCH_PROPERTYGET, Args{}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_BOOL) << "a result takes its declared type";
  EXPECT_EQ(result.boolVal, VARIANT_TRUE);
  // Interfaces in and out.
  auto partner = MakeComObject<PlainTestScript>();
  ASSERT_EQ(Call(u"Partner", DISPATCH_PROPERTYPUTREF,
                 Args{CComVariant(static_cast<IDispatch*>(static_cast<ITestScript*>(partner.get())))}.PropertyPut()),
            S_OK);
  EXPECT_EQ(object->partner_.get(), static_cast<ITestScript*>(partner.get()));
  ASSERT_EQ(Call(u"Partner", DISPATCH_PROPERTYGET, Args{}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_DISPATCH);
  EXPECT_EQ(result.pdispVal, static_cast<IDispatch*>(static_cast<ITestScript*>(partner.get())));
  result.Clear();
  ASSERT_EQ(Call(u"Partner", DISPATCH_PROPERTYPUTREF, Args{CComVariant()}.PropertyPut()), S_OK);
  EXPECT_EQ(object->partner_.get(), nullptr);
  // No result wanted.
  EXPECT_EQ(Call(u"Greet", DISPATCH_METHOD, Args{CComVariant(u"Bo")}), S_OK);
}

TEST_F(TypeInfo, RefusesBadCalls) {
  CComVariant result;
  UINT argErr = 99;
  EXPECT_EQ(Call(u"Add", DISPATCH_METHOD, Args{CComVariant(u"x"), CComVariant(LONG{1})}, &result, &argErr),
            DISP_E_TYPEMISMATCH);
  EXPECT_EQ(argErr, 1u) << "the position in rgvarg";
  EXPECT_EQ(Call(u"Add", DISPATCH_METHOD, Args{CComVariant(LONG{1})}, &result), DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(Call(u"Count", DISPATCH_METHOD, Args{}, &result), DISP_E_MEMBERNOTFOUND) << "a property is no method";
  EXPECT_EQ(Call(u"Partner", DISPATCH_PROPERTYPUT, Args{CComVariant()}.PropertyPut()), DISP_E_MEMBERNOTFOUND)
      << "Partner is put by reference";
  Args named{CComVariant(LONG{1}), CComVariant(LONG{2})};
  named.PropertyPut();
  EXPECT_EQ(Call(u"Add", DISPATCH_METHOD, std::move(named), &result), DISP_E_NONAMEDARGS);
  struct Plain : ComObject<IEnumVARIANT> {
    HRESULT Next(ULONG, VARIANT*, ULONG*) override { return S_FALSE; }
    HRESULT Skip(ULONG) override { return S_FALSE; }
    HRESULT Reset() override { return S_OK; }
    HRESULT Clone(IEnumVARIANT**) override { return E_NOTIMPL; }
  };
  auto stranger = MakeComObject<Plain>();
  EXPECT_EQ(Call(u"Partner", DISPATCH_PROPERTYPUTREF,
                 Args{CComVariant(static_cast<IUnknown*>(stranger.get()))}.PropertyPut()),
            DISP_E_TYPEMISMATCH)
      << "an object without the interface";
  Args none{};
  EXPECT_EQ(info->Invoke(static_cast<ITestScript*>(object.get()), 77, DISPATCH_METHOD, &none.params, nullptr, nullptr,
                         nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(info->Invoke(nullptr, 1, DISPATCH_METHOD, &none.params, nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST_F(TypeInfo, FailuresOfTheMethodBecomeExceptions) {
  EXCEPINFO excep;
  EXPECT_EQ(Call(u"Fail", DISPATCH_METHOD, Args{}, nullptr, nullptr, &excep), DISP_E_EXCEPTION);
  EXPECT_EQ(excep.scode, E_ACCESSDENIED);
  EXPECT_EQ(BstrToString(excep.bstrSource), u"testlib");
  EXPECT_EQ(BstrToString(excep.bstrDescription), u"Access is denied.");
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  EXPECT_EQ(Call(u"Fail", DISPATCH_METHOD, Args{}), E_ACCESSDENIED) << "without EXCEPINFO the failure itself";
}

// --- registration ---------------------------------------------------------------------------------------------

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    program = ModulePathFromAddress(reinterpret_cast<const void*>(&kTestLibrary));
    RegisterModuleTypeLib(&kTestLibrary, &kTestLibrary);
    ASSERT_EQ(CreateTypeLib(&kTestLibrary, &lib), S_OK);
  }
  void TearDown() override { RevokeModuleTypeLib(&kTestLibrary); }

  TempStore store;
  std::string program;
  CComPtr<ITypeLib> lib;
};

TEST_F(Registration, WritesTheTypeLibAndInterfaceKeys) {
  EXPECT_EQ(program, std::filesystem::canonical("/proc/self/exe").string());
  ASSERT_EQ(RegisterTypeLib(lib, program), S_OK);
  const std::u16string libKey = u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000AA}\\1.0";
  EXPECT_EQ(RegText(libKey), u"Test Library 1.0");
  EXPECT_EQ(Utf16ToUtf8(RegText(libKey + u"\\0\\win32")), program);
  EXPECT_EQ(RegText(libKey + u"\\FLAGS"), u"0");
  EXPECT_EQ(Utf16ToUtf8(RegText(libKey + u"\\HELPDIR")), std::filesystem::path(program).parent_path().string());
  const std::u16string itf = u"Interface\\{5A1C0000-0000-4000-8000-000000000001}";
  EXPECT_EQ(RegText(itf), u"ITestScript");
  EXPECT_EQ(RegText(itf + u"\\ProxyStubClsid32"), u"{00020424-0000-0000-C000-000000000046}");
  EXPECT_EQ(RegText(itf + u"\\TypeLib"), u"{5A1C0000-0000-4000-8000-0000000000AA}");
  EXPECT_EQ(RegText(itf + u"\\TypeLib", u"Version"), u"1.0");
  EXPECT_FALSE(RegKeyExists(u"Interface\\{5A1C0000-0000-4000-8000-000000000002}")) << "not an automation interface";

  CComPtr<ITypeLib> loaded;
  ASSERT_EQ(LoadRegTypeLib(kTestLibId, 1, 0, 0x0409, &loaded), S_OK);
  TLIBATTR attr;
  loaded->GetLibAttr(&attr);
  EXPECT_EQ(attr.guid, kTestLibId);
  loaded.Release();
  EXPECT_EQ(LoadRegTypeLib(kTestLibId, 1, 0, 0, &loaded), S_OK) << "any locale finds the neutral one";
  loaded.Release();
  EXPECT_EQ(LoadRegTypeLib(kTestLibId, 2, 0, 0, &loaded), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(LoadRegTypeLib(kTestLibId, 1, 1, 0, &loaded), TYPE_E_LIBNOTREGISTERED);
}

TEST_F(Registration, UnregisterRemovesItsOwnKeysOnly) {
  // An interface key of another library stays.
  CRegKey foreign;
  ASSERT_EQ(foreign.Create(HKEY_CLASSES_ROOT, u"Interface\\{5A1C0000-0000-4000-8000-0000000000F0}\\TypeLib"),
            ERROR_SUCCESS);
  ASSERT_EQ(foreign.SetStringValue(u"", u"{5A1C0000-0000-4000-8000-0000000000FF}"), ERROR_SUCCESS);
  foreign.Close();
  const std::string before = store.Contents();
  ASSERT_EQ(RegisterTypeLib(lib, program), S_OK);
  ASSERT_EQ(UnRegisterTypeLib(kTestLibId, 1, 0, 0x0409, SYS_WIN32), S_OK);
  EXPECT_FALSE(RegKeyExists(u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000AA}"));
  EXPECT_FALSE(RegKeyExists(u"Interface\\{5A1C0000-0000-4000-8000-000000000001}"));
  EXPECT_TRUE(RegKeyExists(u"Interface\\{5A1C0000-0000-4000-8000-0000000000F0}"));
  EXPECT_TRUE(RegKeyExists(u"TypeLib")) << "the parent stays";
  CComPtr<ITypeLib> loaded;
  EXPECT_EQ(LoadRegTypeLib(kTestLibId, 1, 0, 0, &loaded), TYPE_E_LIBNOTREGISTERED);
  // Nothing left to unregister: the registration cannot be accessed, and nothing changes.
  const std::string after = store.Contents();
  EXPECT_EQ(UnRegisterTypeLib(kTestLibId, 1, 0, 0x0409, SYS_WIN32), TYPE_E_REGISTRYACCESS);
  EXPECT_EQ(store.Contents(), after);
}

TEST_F(Registration, AVersionWithAnotherLocaleStays) {
  ASSERT_EQ(RegisterTypeLib(lib, program), S_OK);
  CRegKey german;
  ASSERT_EQ(german.Create(HKEY_CLASSES_ROOT, u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000AA}\\1.0\\407\\win32"),
            ERROR_SUCCESS);
  ASSERT_EQ(german.SetStringValue(u"", u"/elsewhere/lib.so"), ERROR_SUCCESS);
  german.Close();
  std::string path;
  EXPECT_EQ(QueryPathOfRegTypeLib(kTestLibId, 1, 0, 0x0407, &path), S_OK);
  EXPECT_EQ(path, "/elsewhere/lib.so");
  ASSERT_EQ(UnRegisterTypeLib(kTestLibId, 1, 0, 0, SYS_WIN32), S_OK);
  EXPECT_FALSE(RegKeyExists(u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000AA}\\1.0\\0"));
  EXPECT_TRUE(RegKeyExists(u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000AA}\\1.0\\407\\win32"));
  EXPECT_TRUE(RegKeyExists(u"Interface\\{5A1C0000-0000-4000-8000-000000000001}"));
}

TEST_F(Registration, FindsAHigherMinorVersion) {
  ASSERT_EQ(RegisterTypeLib(lib, program), S_OK);
  CRegKey key;
  ASSERT_EQ(key.Open(HKEY_CLASSES_ROOT, u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000AA}"), ERROR_SUCCESS);
  CRegKey newer;
  ASSERT_EQ(newer.Create(key, u"1.a\\0\\win32"), ERROR_SUCCESS);
  ASSERT_EQ(newer.SetStringValue(u"", u"/newer/lib.so"), ERROR_SUCCESS);
  std::string path;
  EXPECT_EQ(QueryPathOfRegTypeLib(kTestLibId, 1, 5, 0, &path), S_OK);
  EXPECT_EQ(path, "/newer/lib.so");
  CComPtr<ITypeLib> loaded;
  EXPECT_EQ(LoadRegTypeLib(kTestLibId, 1, 5, 0, &loaded), TYPE_E_CANTLOADLIBRARY) << "the file is not there";
}

TEST_F(Registration, ARegisteredPathToTheWrongLibrary) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"TypeLib\\{5A1C0000-0000-4000-8000-0000000000BB}\\1.0\\0\\win32"),
            ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"", Utf8ToUtf16(program)), ERROR_SUCCESS);
  CComPtr<ITypeLib> loaded;
  EXPECT_EQ(LoadRegTypeLib(MakeGuid("{5A1C0000-0000-4000-8000-0000000000BB}"), 1, 0, 0, &loaded),
            TYPE_E_LIBNOTREGISTERED);
}

TEST_F(Registration, ModulesWithoutALibrary) {
  CComPtr<ITypeLib> loaded;
  EXPECT_EQ(LoadTypeLib(store.dir() + "/missing.so", &loaded), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(LoadTypeLib(QCOM_LIBRARY_PATH, &loaded), TYPE_E_CANTLOADLIBRARY);
  EXPECT_EQ(LoadTypeLib(program, &loaded), S_OK);
}

TEST_F(Registration, AnUnreadableStore) {
  store.Write("][");
  EXPECT_EQ(RegisterTypeLib(lib, program), TYPE_E_REGISTRYACCESS);
  EXPECT_EQ(UnRegisterTypeLib(kTestLibId, 1, 0, 0, SYS_WIN32), TYPE_E_REGISTRYACCESS);
  CComPtr<ITypeLib> loaded;
  EXPECT_EQ(LoadRegTypeLib(kTestLibId, 1, 0, 0, &loaded), TYPE_E_REGISTRYACCESS);
  EXPECT_EQ(store.Contents(), "][");
}

}  // namespace
