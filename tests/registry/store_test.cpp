#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "platform/registry/registry.h"
#include "platform/registry/store.h"
#include "tests/registry/temp_store.h"

namespace {

std::u16string AsciiKey(int k) {
  std::string text = std::to_string(k);
  return std::u16string(text.begin(), text.end());
}

class Store : public ::testing::Test {
 protected:
  TempStore store;
};

TEST_F(Store, MissingFileIsAnEmptyRegistryAndReadsCreateNothing) {
  CRegKey key;
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"CLSID"), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  std::u16string name;
  EXPECT_EQ(RegEnumKeyEx(HKEY_CLASSES_ROOT, 0, &name), static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS));
  EXPECT_FALSE(std::filesystem::exists(store.path()));
  EXPECT_EQ(RegistryLastFault().hr, S_OK);
}

TEST_F(Store, WritesTheDocumentedFileFormat) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"AppID\\{X}"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"", u"qorvena"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"AppID", u"{X}"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(u"Flags", 7), ERROR_SUCCESS);
  EXPECT_EQ(store.Contents(),
            "{\n"
            "  \"format\": \"qorvena-registry\",\n"
            "  \"version\": 1,\n"
            "  \"HKEY_CLASSES_ROOT\": {\n"
            "    \"keys\": {\n"
            "      \"AppID\": {\n"
            "        \"keys\": {\n"
            "          \"{X}\": {\n"
            "            \"default\": \"qorvena\",\n"
            "            \"values\": {\n"
            "              \"AppID\": \"{X}\",\n"
            "              \"Flags\": 7\n"
            "            }\n"
            "          }\n"
            "        }\n"
            "      }\n"
            "    }\n"
            "  }\n"
            "}\n");
}

TEST_F(Store, NamesCompareWithoutCaseAndKeepTheirCase) {
  CRegKey key;
  DWORD disposition = 0;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13}", &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(key.SetStringValue(u"ThreadingModel", u"Both"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"THREADINGMODEL", u"Apartment"), ERROR_SUCCESS);

  CRegKey again;
  ASSERT_EQ(again.Create(HKEY_CLASSES_ROOT, u"clsid\\{a4836d49-3680-49E8-b8f0-9f6413e4da13}", &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  std::u16string text;
  EXPECT_EQ(again.QueryStringValue(u"threadingmodel", &text), ERROR_SUCCESS);
  EXPECT_EQ(text, u"Apartment");

  std::u16string name;
  ASSERT_EQ(RegEnumKeyEx(HKEY_CLASSES_ROOT, 0, &name), ERROR_SUCCESS);
  EXPECT_EQ(name, u"CLSID");
  CRegKey clsid;
  ASSERT_EQ(clsid.Open(HKEY_CLASSES_ROOT, u"Clsid"), ERROR_SUCCESS);
  ASSERT_EQ(clsid.EnumKey(0, &name), ERROR_SUCCESS);
  EXPECT_EQ(name, u"{A4836D49-3680-49e8-B8F0-9F6413E4DA13}");
  DWORD type = 0;
  ASSERT_EQ(RegEnumValue(again, 0, &name, &type), ERROR_SUCCESS);
  EXPECT_EQ(name, u"ThreadingModel");
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(RegSubKeyCount(u"CLSID"), 1u);
}

TEST_F(Store, EnumeratesInOrderOfNamesWithoutCase) {
  for (const char16_t* name : {u"b", u"C", u"a", u"B2"}) {
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, std::u16string(u"Parent\\") + name), ERROR_SUCCESS);
  }
  CRegKey parent;
  ASSERT_EQ(parent.Open(HKEY_CLASSES_ROOT, u"Parent"), ERROR_SUCCESS);
  std::vector<std::u16string> names;
  std::u16string name;
  for (DWORD i = 0; parent.EnumKey(i, &name) == ERROR_SUCCESS; ++i) names.push_back(name);
  EXPECT_EQ(names, (std::vector<std::u16string>{u"a", u"b", u"B2", u"C"}));
}

TEST_F(Store, ValuesOfBothKinds) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"K"), ERROR_SUCCESS);
  ASSERT_EQ(key.SetDWORDValue(u"n", 0xFFFFFFFFu), ERROR_SUCCESS);
  ASSERT_EQ(key.SetStringValue(u"s", u"text \u00e9\U0001F600"), ERROR_SUCCESS);
  DWORD n = 0;
  std::u16string s;
  EXPECT_EQ(key.QueryDWORDValue(u"n", &n), ERROR_SUCCESS);
  EXPECT_EQ(n, 0xFFFFFFFFu);
  EXPECT_EQ(key.QueryStringValue(u"s", &s), ERROR_SUCCESS);
  EXPECT_EQ(s, u"text \u00e9\U0001F600");
  EXPECT_EQ(key.QueryStringValue(u"n", &s), static_cast<LSTATUS>(ERROR_INVALID_DATA));
  EXPECT_EQ(key.QueryDWORDValue(u"s", &n), static_cast<LSTATUS>(ERROR_INVALID_DATA));
  EXPECT_EQ(key.QueryStringValue(u"", &s), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(key.DeleteValue(u"S"), ERROR_SUCCESS);
  EXPECT_EQ(key.DeleteValue(u"s"), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Store, DeletingKeys) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"A\\B\\C"), ERROR_SUCCESS);
  CRegKey b;
  ASSERT_EQ(b.Open(HKEY_CLASSES_ROOT, u"A\\B"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, u"A"), static_cast<LSTATUS>(ERROR_ACCESS_DENIED)) << "has sub-keys";
  EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, u"A\\B\\C"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKey(HKEY_CLASSES_ROOT, u"A\\B\\C"), static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND));
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"A\\B\\C\\D"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, u"a"), ERROR_SUCCESS);
  EXPECT_FALSE(RegKeyExists(u"A"));
  // A handle whose key is gone.
  EXPECT_EQ(b.SetStringValue(u"x", u"y"), static_cast<LSTATUS>(ERROR_KEY_DELETED));
  std::u16string name;
  EXPECT_EQ(b.EnumKey(0, &name), static_cast<LSTATUS>(ERROR_KEY_DELETED));
  // An empty path empties the key itself.
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"E\\F"), ERROR_SUCCESS);
  CRegKey e;
  ASSERT_EQ(e.Open(HKEY_CLASSES_ROOT, u"E"), ERROR_SUCCESS);
  ASSERT_EQ(e.SetStringValue(u"v", u"1"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTree(e, u""), ERROR_SUCCESS);
  DWORD subKeys = 9, values = 9;
  EXPECT_EQ(RegQueryInfoKey(e, &subKeys, &values), ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 0u);
  EXPECT_EQ(values, 0u);
}

TEST_F(Store, BadNamesAreRefused) {
  const std::u16string tooLong(256, u'k');
  const std::u16string loneSurrogate(1, char16_t(0xD800));
  struct Case {
    std::u16string path;
    const char* why;
  };
  const Case cases[] = {
      {u"\\A", "leading backslash"},
      {u"A\\", "trailing backslash"},
      {u"A\\\\B", "empty name"},
      {tooLong, "256 characters"},
      {u"A\\" + loneSurrogate, "invalid UTF-16"},
  };
  for (const auto& c : cases) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyEx(HKEY_CLASSES_ROOT, c.path, &key), static_cast<LSTATUS>(ERROR_INVALID_PARAMETER)) << c.why;
    EXPECT_EQ(key, nullptr);
  }
  CRegKey ok;
  ASSERT_EQ(ok.Create(HKEY_CLASSES_ROOT, std::u16string(255, u'k')), ERROR_SUCCESS);
  EXPECT_EQ(ok.SetStringValue(loneSurrogate, u"x"), static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(ok.SetStringValue(u"x", loneSurrogate), static_cast<LSTATUS>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(RegCloseKey(nullptr), static_cast<LSTATUS>(ERROR_INVALID_HANDLE));
}

TEST_F(Store, TransactionWritesOnceAtCommit) {
  CRegKey seed;
  ASSERT_EQ(seed.Create(HKEY_CLASSES_ROOT, u"Seed"), ERROR_SUCCESS);
  const std::string before = store.Contents();
  {
    RegistryTransaction tx;
    ASSERT_EQ(tx.Status(), S_OK);
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"InTransaction"), ERROR_SUCCESS);
    EXPECT_TRUE(RegKeyExists(u"InTransaction")) << "the transaction sees its own changes";
    EXPECT_EQ(store.Contents(), before) << "nothing is written before Commit";
    EXPECT_EQ(tx.Commit(), S_OK);
  }
  EXPECT_TRUE(RegKeyExists(u"InTransaction"));
  EXPECT_NE(store.Contents(), before);
}

TEST_F(Store, TransactionWithoutCommitLeavesTheStoreAsItWas) {
  CRegKey seed;
  ASSERT_EQ(seed.Create(HKEY_CLASSES_ROOT, u"Seed\\Child"), ERROR_SUCCESS);
  const std::string before = store.Contents();
  {
    RegistryTransaction tx;
    CRegKey key;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"Added"), ERROR_SUCCESS);
    ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, u"Seed"), ERROR_SUCCESS);
  }
  EXPECT_EQ(store.Contents(), before);
  EXPECT_TRUE(RegKeyExists(u"Seed\\Child"));
  EXPECT_FALSE(RegKeyExists(u"Added"));
}

TEST_F(Store, InnerTransactionUndoesOnlyItsOwnChanges) {
  RegistryTransaction outer;
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"Outer"), ERROR_SUCCESS);
  {
    RegistryTransaction inner;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"InnerAbandoned"), ERROR_SUCCESS);
  }
  {
    RegistryTransaction inner;
    ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"InnerKept"), ERROR_SUCCESS);
    EXPECT_EQ(inner.Commit(), S_OK);
  }
  EXPECT_TRUE(std::filesystem::exists(store.path()) == false) << "inner commits do not write";
  ASSERT_EQ(outer.Commit(), S_OK);
  EXPECT_TRUE(RegKeyExists(u"Outer"));
  EXPECT_TRUE(RegKeyExists(u"InnerKept"));
  EXPECT_FALSE(RegKeyExists(u"InnerAbandoned"));
}

TEST_F(Store, ReplacingKeepsTheModeAndLeavesNoTemporaryFiles) {
  CRegKey key;
  ASSERT_EQ(key.Create(HKEY_CLASSES_ROOT, u"A"), ERROR_SUCCESS);
  ASSERT_EQ(::chmod(store.path().c_str(), 0600), 0);
  ASSERT_EQ(key.SetStringValue(u"v", u"1"), ERROR_SUCCESS);
  struct stat st{};
  ASSERT_EQ(::stat(store.path().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(store.dir()))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"registry.json", "registry.json.lock"}));
}

// Stores that are not stores: every read and write fails with ERROR_BADDB and a message naming the file, and
// the file is left exactly as it was.
TEST_F(Store, CorruptStoresGiveAClearErrorAndStayUntouched) {
  std::string deep;
  for (int i = 0; i < 600; ++i) deep += "{\"keys\":{\"k\":";
  deep += "{}";
  for (int i = 0; i < 600; ++i) deep += "}}";
  const std::string header = "{\"format\":\"qorvena-registry\",\"version\":1,\"HKEY_CLASSES_ROOT\":";
  struct Case {
    std::string bytes;
    const char* fault;  // part of the message
  };
  const Case cases[] = {
      {"", "the file is empty"},
      {"not json", "not valid JSON"},
      {std::string(200000, '['), "not valid JSON"},
      {"[]", "not a registry store"},
      {"{}", "\"format\""},
      {"{\"format\":\"other\",\"version\":1}", "\"format\""},
      {"{\"format\":\"qorvena-registry\",\"version\":2}", "unknown version"},
      {"{\"format\":\"qorvena-registry\",\"version\":1,\"extra\":1}", "unknown member"},
      {header + "[]}", "is not an object"},
      {header + "{\"keys\":{\"A\":{},\"a\":{}}}}", "twice"},
      {header + "{\"keys\":{\"A\\\\B\":{}}}}", "backslash"},
      {header + "{\"keys\":{\"\":{}}}}", "cannot be empty"},
      {header + "{\"default\":[1]}}", "neither text nor a number"},
      {header + "{\"values\":{\"n\":4294967296}}}", "neither text nor a number"},
      {header + "{\"values\":{\"n\":-1}}}", "neither text nor a number"},
      {header + "{\"values\":{\"n\":1.5}}}", "neither text nor a number"},
      {header + "{\"values\":{\"\":\"x\"}}}", "without a name"},
      {header + "{\"color\":1}}", "unknown member"},
      {header + "{\"keys\":{\"x\":\"\xff\xfe\"}}}", "not valid JSON"},
      {header + deep + "}", "deeper than 512"},
  };
  for (const auto& c : cases) {
    store.Write(c.bytes);
    RegistryClearFault();
    CRegKey key;
    EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"A"), static_cast<LSTATUS>(ERROR_BADDB)) << c.fault;
    RegistryFault fault = RegistryLastFault();
    EXPECT_EQ(fault.hr, HRESULT_FROM_WIN32(ERROR_BADDB)) << c.fault;
    EXPECT_NE(fault.message.find(store.path()), std::string::npos) << fault.message;
    EXPECT_NE(fault.message.find("corrupt"), std::string::npos) << fault.message;
    EXPECT_NE(fault.message.find(c.fault), std::string::npos) << fault.message;
    EXPECT_EQ(key.Create(HKEY_CLASSES_ROOT, u"B"), static_cast<LSTATUS>(ERROR_BADDB)) << c.fault;
    RegistryTransaction tx;
    EXPECT_EQ(tx.Status(), HRESULT_FROM_WIN32(ERROR_BADDB));
    EXPECT_EQ(store.Contents(), c.bytes) << c.fault;
  }
}

TEST_F(Store, AStoreThatIsAFolderIsRefused) {
  std::filesystem::create_directory(store.path());
  CRegKey key;
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"A"), static_cast<LSTATUS>(ERROR_BADDB));
  EXPECT_NE(RegistryLastFault().message.find("not a regular file"), std::string::npos);
}

TEST_F(Store, AnUnwritablePlaceGivesAClearErrorAndWritesNothing) {
  // A regular file where the store's folder should be: no user, not even root, can write there.
  const std::string blocker = store.dir() + "/blocker";
  TempStore::WriteFile(blocker, "x");
  const std::string path = blocker + "/registry.json";
  RegistrySetStorePath(path);
  CRegKey key;
  EXPECT_EQ(key.Open(HKEY_CLASSES_ROOT, u"A"), static_cast<LSTATUS>(ERROR_PATH_NOT_FOUND));
  RegistryClearFault();
  LSTATUS s = key.Create(HKEY_CLASSES_ROOT, u"A");
  EXPECT_NE(s, ERROR_SUCCESS);
  RegistryFault fault = RegistryLastFault();
  EXPECT_TRUE(FAILED(fault.hr));
  EXPECT_NE(fault.message.find(path), std::string::npos) << fault.message;
  EXPECT_NE(fault.message.find("cannot write"), std::string::npos) << fault.message;
  EXPECT_EQ(TempStore::ReadFile(blocker), "x");
}

TEST_F(Store, WhereTheStoreLives) {
  RegistrySetStorePath("");
  ::setenv("QORVENA_REGISTRY", "/somewhere/env.json", 1);
  EXPECT_EQ(RegistryStorePath(), "/somewhere/env.json");
  ::unsetenv("QORVENA_REGISTRY");
  const char* home = std::getenv("HOME");
  std::string savedHome = home ? home : "";
  ::setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(RegistryStorePath(), "/home/someone/.qorvena/registry.json");
  ::setenv("QORVENA_REGISTRY", "/somewhere/env.json", 1);
  RegistrySetStorePath("/explicit/store.json");
  EXPECT_EQ(RegistryStorePath(), "/explicit/store.json");
  ::unsetenv("QORVENA_REGISTRY");
  if (home)
    ::setenv("HOME", savedHome.c_str(), 1);
  else
    ::unsetenv("HOME");
}

// Several processes changing the store at the same time lose nothing.
TEST_F(Store, ConcurrentProcessesLoseNoChange) {
  constexpr int kProcesses = 4;
  constexpr int kKeysEach = 25;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int k = 0; k < kKeysEach; ++k) {
        CRegKey key;
        std::u16string name = u"P" + std::u16string(1, char16_t(u'0' + p)) + u"\\K" + AsciiKey(k);
        if (key.Create(HKEY_CLASSES_ROOT, name) != ERROR_SUCCESS) ++failures;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  for (int p = 0; p < kProcesses; ++p)
    EXPECT_EQ(RegSubKeyCount(u"P" + std::u16string(1, char16_t(u'0' + p))), static_cast<DWORD>(kKeysEach));
}

}  // namespace
