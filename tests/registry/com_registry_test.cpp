#include "platform/registry/com_registry.h"

#include <gtest/gtest.h>

#include "platform/com/activation.h"
#include "platform/registry/registrar.h"
#include "tests/registry/temp_store.h"

namespace {

constexpr CLSID kClass = MakeGuid("{A4836D49-3680-49E8-B8F0-9F6413E4DA13}");

class ComRegistry : public ::testing::Test {
 protected:
  void SetUp() override {
    CRegObject registrar;
    ASSERT_EQ(registrar.StringRegister(
                  u"HKCR { qorvena.QorvenExportConnector { CLSID = s '{A4836D49-3680-49e8-B8F0-9F6413E4DA13}' }\n"
                  u"  Broken.ProgID { CLSID = s 'not a guid' }\n"
                  u"  NoRemove CLSID { {A4836D49-3680-49e8-B8F0-9F6413E4DA13} = s 'x' {\n"
                  u"    ProgID = s 'qorvena.QorvenExportConnector'\n"
                  u"    InprocServer32 = s '/opt/qorvena/qorvena.so' } } }"),
              S_OK)
        << registrar.ErrorText();
  }
  TempStore store;
};

TEST_F(ComRegistry, ProgIDToCLSIDAndBack) {
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"qorvena.QorvenExportConnector", &clsid), S_OK);
  EXPECT_EQ(clsid, kClass);
  EXPECT_EQ(CLSIDFromProgID(u"QORVENA.qorvenexportconnector", &clsid), S_OK) << "names compare without case";
  std::u16string progId;
  EXPECT_EQ(ProgIDFromCLSID(kClass, &progId), S_OK);
  EXPECT_EQ(progId, u"qorvena.QorvenExportConnector");
  EXPECT_EQ(ProgIDFromCLSID(MakeGuid("{00000000-1111-2222-3333-444444444444}"), &progId), REGDB_E_CLASSNOTREG);
}

TEST_F(ComRegistry, UnknownOrBrokenProgIDs) {
  struct Case {
    std::u16string progId;
    HRESULT hr;
  };
  const Case cases[] = {
      {u"nobody.Nothing", CO_E_CLASSSTRING},
      {u"Broken.ProgID", CO_E_CLASSSTRING},
      {u"", CO_E_CLASSSTRING},
      {u"qorvena.QorvenExportConnector\\CLSID", CO_E_CLASSSTRING},
      {std::u16string(300, u'p'), CO_E_CLASSSTRING},
  };
  for (const auto& c : cases) {
    CLSID clsid = kClass;
    EXPECT_EQ(CLSIDFromProgID(c.progId.c_str(), &clsid), c.hr);
    EXPECT_EQ(clsid, GUID_NULL);
  }
  EXPECT_EQ(CLSIDFromProgID(nullptr, nullptr), E_INVALIDARG);
}

TEST_F(ComRegistry, InprocServerLocation) {
  std::string path;
  EXPECT_EQ(LocateInprocServer(kClass, &path), S_OK);
  EXPECT_EQ(path, "/opt/qorvena/qorvena.so");
  EXPECT_EQ(LocateInprocServer(MakeGuid("{00000000-1111-2222-3333-444444444444}"), &path), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(path, "");
}

TEST_F(ComRegistry, AnUnreadableStoreIsNotMistakenForAMissingClass) {
  store.Write("{broken");
  CLSID clsid;
  EXPECT_EQ(CLSIDFromProgID(u"qorvena.QorvenExportConnector", &clsid), REGDB_E_READREGDB);
  std::string path;
  EXPECT_EQ(LocateInprocServer(kClass, &path), REGDB_E_READREGDB);
  EXPECT_NE(RegistryLastFault().message.find(store.path()), std::string::npos);
}

TEST_F(ComRegistry, ActivationOfARegisteredModuleThatIsMissing) {
  EnableRegistryActivation();
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  CComPtr<IUnknown> object;
  EXPECT_EQ(CoCreateInstance(kClass, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, reinterpret_cast<void**>(&object)),
            CO_E_DLLNOTFOUND);
  EXPECT_EQ(CoCreateInstance(MakeGuid("{00000000-1111-2222-3333-444444444444}"), nullptr, CLSCTX_INPROC_SERVER,
                             IID_IUnknown, reinterpret_cast<void**>(&object)),
            REGDB_E_CLASSNOTREG);
  CoUninitialize();
  CoSetInprocServerLocator(nullptr);
}

TEST_F(ComRegistry, SelfRegistrationOfModulesThatCannotDoIt) {
  struct Case {
    std::string path;
    HRESULT hr;
    const char* message;
  };
  TempStore::WriteFile(store.dir() + "/text.so", "not a module");
  const Case cases[] = {
      {store.dir() + "/missing.so", HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "cannot find the module"},
      {store.dir() + "/text.so", HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND), "cannot load the module"},
      {QCOM_LIBRARY_PATH, HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND), "has no entry point DllRegisterServer"},
  };
  for (const auto& c : cases) {
    std::string message;
    EXPECT_EQ(RegisterServerModule(c.path, &message), c.hr) << c.path;
    EXPECT_NE(message.find(c.message), std::string::npos) << message;
  }
  std::string message;
  EXPECT_EQ(UnregisterServerModule(QCOM_LIBRARY_PATH, &message), HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));
  EXPECT_NE(message.find("DllUnregisterServer"), std::string::npos);
}

}  // namespace
