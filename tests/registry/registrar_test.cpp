#include "platform/registry/registrar.h"

#include <gtest/gtest.h>

#include <random>

#include "platform/com/utf.h"
#include "platform/registry/registry.h"
#include "tests/registry/temp_store.h"

namespace {

// The whole registry, one line per key and value: `Key\Sub` and `Key\Sub @name=text` (@= for the default).
void DumpKey(HKEY key, const std::string& path, std::string* out) {
  std::u16string name;
  DWORD type = 0;
  for (DWORD i = 0; RegEnumValue(key, i, &name, &type) == ERROR_SUCCESS; ++i) {
    std::u16string text;
    DWORD number = 0;
    RegQueryValueEx(key, name, nullptr, &text, &number);
    *out += path + " @" + Utf16ToUtf8(name) + "=" + (type == REG_DWORD ? "#" + std::to_string(number) : Utf16ToUtf8(text)) +
            "\n";
  }
  for (DWORD i = 0; RegEnumKeyEx(key, i, &name) == ERROR_SUCCESS; ++i) {
    std::string child = (path.empty() ? "" : path + "\\") + Utf16ToUtf8(name);
    *out += child + "\n";
    CRegKey sub;
    if (sub.Open(key, name) == ERROR_SUCCESS) DumpKey(sub, child, out);
  }
}

std::string Dump() {
  std::string out;
  DumpKey(HKEY_CLASSES_ROOT, "", &out);
  return out;
}

class Registrar : public ::testing::Test {
 protected:
  HRESULT Register(std::u16string_view script) { return registrar.StringRegister(script); }
  HRESULT Unregister(std::u16string_view script) { return registrar.StringUnregister(script); }

  TempStore store;
  CRegObject registrar;
};

TEST_F(Registrar, RegistersKeysValuesAndDefaults) {
  ASSERT_EQ(Register(u"HKCR\n"
                     u"{\n"
                     u"  NoRemove CLSID\n"
                     u"  {\n"
                     u"    ForceRemove {A4836D49-3680-49e8-B8F0-9F6413E4DA13} = s 'qorvena.QorvenExportConnector'\n"
                     u"    {\n"
                     u"      ProgID = s 'qorvena.QorvenExportConnector'\n"
                     u"      ForceRemove Programmable\n"
                     u"      InprocServer32 = s '/opt/q.so'\n"
                     u"      {\n"
                     u"        val ThreadingModel = s 'Both'\n"
                     u"      }\n"
                     u"      val Count = d '42'\n"
                     u"      val Mask = d '0xFFFFFFFF'\n"
                     u"    }\n"
                     u"  }\n"
                     u"}\n"),
            S_OK)
      << registrar.ErrorText();
  EXPECT_EQ(Dump(),
            "CLSID\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13}\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13} @=qorvena.QorvenExportConnector\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13} @Count=#42\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13} @Mask=#4294967295\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13}\\InprocServer32\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13}\\InprocServer32 @=/opt/q.so\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13}\\InprocServer32 @ThreadingModel=Both\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13}\\ProgID\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13}\\ProgID @=qorvena.QorvenExportConnector\n"
            "CLSID\\{A4836D49-3680-49e8-B8F0-9F6413E4DA13}\\Programmable\n");
}

TEST_F(Registrar, QuotedNamesKeywordsInAnyCaseAndReplacements) {
  registrar.AddReplacement(u"MODULE", u"/path/it''s.so");
  registrar.AddReplacement(u"APPID", u"{EE0D74DB-D178-4352-9CEE-31B29287A6D8}");
  ASSERT_EQ(Register(u"hkey_classes_root { NOREMOVE AppID { '%AppId%' = S 'qorvena'\n"
                     u"  'qorvena.DLL' { VAL AppID = s '%APPID%' }\n"
                     u"  'key with spaces' = s 'it''s 100%%' { 'NoRemove' } } }\n"
                     u"HKCR { M = s '%MODULE%' }"),
            S_OK)
      << registrar.ErrorText();
  EXPECT_EQ(RegText(u"AppID\\{EE0D74DB-D178-4352-9CEE-31B29287A6D8}"), u"qorvena");
  EXPECT_EQ(RegText(u"AppID\\qorvena.DLL", u"AppID"), u"{EE0D74DB-D178-4352-9CEE-31B29287A6D8}");
  EXPECT_EQ(RegText(u"AppID\\key with spaces"), u"it's 100%");
  EXPECT_TRUE(RegKeyExists(u"AppID\\key with spaces\\NoRemove")) << "a quoted keyword is a name";
  EXPECT_EQ(RegText(u"M"), u"/path/it's.so");
}

TEST_F(Registrar, ForceRemoveDeletesTheSubtreeBeforeWritingAndDeleteDeletes) {
  CRegKey stale;
  ASSERT_EQ(stale.Create(HKEY_CLASSES_ROOT, u"CLSID\\{a4836d49-3680-49e8-b8f0-9f6413e4da13}\\Stale"), ERROR_SUCCESS);
  ASSERT_EQ(stale.Create(HKEY_CLASSES_ROOT, u"Old\\Child"), ERROR_SUCCESS);
  stale.Close();
  const char16_t* script =
      u"HKCR { NoRemove CLSID { ForceRemove {A4836D49-3680-49E8-B8F0-9F6413E4DA13} = s 'x' { ProgID = s 'p' } }\n"
      u"       Delete Old }";
  ASSERT_EQ(Register(script), S_OK) << registrar.ErrorText();
  const std::string once = Dump();
  // The key is made afresh, with the script's spelling.
  EXPECT_EQ(once,
            "CLSID\n"
            "CLSID\\{A4836D49-3680-49E8-B8F0-9F6413E4DA13}\n"
            "CLSID\\{A4836D49-3680-49E8-B8F0-9F6413E4DA13} @=x\n"
            "CLSID\\{A4836D49-3680-49E8-B8F0-9F6413E4DA13}\\ProgID\n"
            "CLSID\\{A4836D49-3680-49E8-B8F0-9F6413E4DA13}\\ProgID @=p\n");
  ASSERT_EQ(Register(script), S_OK);
  EXPECT_EQ(Dump(), once);
}

TEST_F(Registrar, UnregisterRemovesWhatTheScriptNamesAndKeepsNoRemoveKeys) {
  CRegKey other;
  ASSERT_EQ(other.Create(HKEY_CLASSES_ROOT, u"CLSID\\{Other}"), ERROR_SUCCESS);
  ASSERT_EQ(other.Create(HKEY_CLASSES_ROOT, u"Keep\\Unnamed"), ERROR_SUCCESS);
  other.Close();
  const std::string before = Dump();
  const char16_t* script =
      u"HKCR {\n"
      u"  Prog { CLSID = s '{C}' }\n"
      u"  NoRemove CLSID { ForceRemove {C} = s 'x' { InprocServer32 = s 'm' { val ThreadingModel = s 'Both' } } }\n"
      u"  NoRemove Keep = s 'kept' { val V = s '1' Named }\n"
      u"  Holder { NoRemove Shared { Inside } }\n"
      u"}";
  ASSERT_EQ(Register(script), S_OK) << registrar.ErrorText();
  CRegKey extra;
  ASSERT_EQ(extra.Create(HKEY_CLASSES_ROOT, u"Prog\\Unnamed"), ERROR_SUCCESS);
  ASSERT_EQ(extra.Create(HKEY_CLASSES_ROOT, u"Holder\\Shared\\Foreign"), ERROR_SUCCESS);
  extra.Close();
  ASSERT_EQ(Unregister(script), S_OK) << registrar.ErrorText();
  EXPECT_FALSE(RegKeyExists(u"Prog")) << "a removable key goes with everything beneath it";
  EXPECT_FALSE(RegKeyExists(u"CLSID\\{C}"));
  EXPECT_TRUE(RegKeyExists(u"CLSID\\{Other}"));
  EXPECT_TRUE(RegKeyExists(u"Keep\\Unnamed"));
  EXPECT_FALSE(RegKeyExists(u"Keep\\Named"));
  EXPECT_EQ(RegText(u"Keep", u"V"), u"<missing>") << "named values are removed";
  EXPECT_EQ(RegText(u"Keep"), u"kept") << "a NoRemove key keeps its default value";
  EXPECT_TRUE(RegKeyExists(u"Holder\\Shared\\Foreign")) << "a key holding a NoRemove key stays while it holds one";
  EXPECT_FALSE(RegKeyExists(u"Holder\\Shared\\Inside"));
  // Unregistering again finds nothing to remove and succeeds.
  ASSERT_EQ(RegDeleteTree(HKEY_CLASSES_ROOT, u"Holder"), ERROR_SUCCESS);
  CRegKey keep;
  ASSERT_EQ(keep.Open(HKEY_CLASSES_ROOT, u"Keep"), ERROR_SUCCESS);
  ASSERT_EQ(keep.DeleteValue(u""), ERROR_SUCCESS);
  keep.Close();
  EXPECT_EQ(Unregister(script), S_OK);
  EXPECT_EQ(Dump(), before);
}

TEST_F(Registrar, EmptyScriptChangesNothing) {
  EXPECT_EQ(Register(u""), S_OK);
  EXPECT_EQ(Register(u" \r\n\t "), S_OK);
  EXPECT_EQ(Register(u"HKCR { }"), S_OK);
  EXPECT_EQ(Dump(), "");
}

// Bad scripts: a clear error naming the line, and the registry untouched.
TEST_F(Registrar, BadScriptsAreRefusedWithoutChangingAnything) {
  CRegKey seed;
  ASSERT_EQ(seed.Create(HKEY_CLASSES_ROOT, u"Seed"), ERROR_SUCCESS);
  seed.Close();
  const std::string before = store.Contents();
  std::u16string deep = u"HKCR {";
  for (int i = 0; i < 600; ++i) deep += u" k {";
  for (int i = 0; i < 600; ++i) deep += u" }";
  deep += u" }";
  struct Case {
    std::u16string script;
    const char* message;  // part of the error text
  };
  const Case cases[] = {
      {u"HKLM { }", "line 1: the root key 'HKLM' is not available"},
      {u"HKEY_CURRENT_USER { }", "is not available"},
      {u"Software { }", "line 1: expected a root key (HKCR), found 'Software'"},
      {u"'HKCR' { }", "expected a root key"},
      {u"{ }", "expected a root key"},
      {u"HKCR", "expected '{' after 'HKCR'"},
      {u"HKCR Foo", "expected '{'"},
      {u"HKCR {\n  A\n", "line 3: the script ends before the '{' of line 1 is closed"},
      {u"HKCR { } }", "expected a root key (HKCR), found '}'"},
      {u"HKCR { } trailing", "found 'trailing'"},
      {u"HKCR { { } }", "expected a key name, found '{'"},
      {u"HKCR { = }", "expected a key name, found '='"},
      {u"HKCR {\n A = }", "line 2: expected a value type (s or d), found '}'"},
      {u"HKCR { A = x 'v' }", "expected a value type (s or d), found 'x'"},
      {u"HKCR { A = 's' 'v' }", "expected a value type"},
      {u"HKCR { A = m 'v' }", "not supported"},
      {u"HKCR { A = b '00' }", "not supported"},
      {u"HKCR { A = s }", "expected a value, found '}'"},
      {u"HKCR { A = s", "ends where a value was expected"},
      {u"HKCR { A = d 'abc' }", "expected a number"},
      {u"HKCR { A = d '4294967296' }", "expected a number"},
      {u"HKCR { A = d '-1' }", "expected a number"},
      {u"HKCR { A = d '0x' }", "expected a number"},
      {u"HKCR { 'unterminated }", "a quoted text is not closed"},
      {u"HKCR { val }", "expected a value name, found '}'"},
      {u"HKCR { val V }", "expected '=' after the value name 'V'"},
      {u"HKCR { val V = }", "expected a value type"},
      {u"HKCR { NoRemove }", "expected a key name, found '}'"},
      {u"HKCR { NoRemove ForceRemove A }", "'ForceRemove' cannot follow 'NoRemove'"},
      {u"HKCR { ForceRemove val A = s 'x' }", "cannot follow"},
      {u"HKCR { A\\B }", "bad key name 'A\\B': a key name cannot contain a backslash"},
      {u"HKCR { " + std::u16string(256, u'n') + u" }", "a key name has at most 255 characters"},
      {u"HKCR { A = s '" + std::u16string(1, char16_t(0xDC00)) + u"' }", "not valid UTF-16"},
      {u"HKCR { %UNKNOWN% }", "line 1: unknown replacement %UNKNOWN%"},
      {u"HKCR {\n\n 100% }", "line 3: a '%' has no closing '%'"},
      {deep, "nested deeper than 512"},
  };
  for (const auto& c : cases) {
    HRESULT hr = Register(c.script);
    EXPECT_EQ(hr, kRegistrarScriptError) << c.message;
    EXPECT_NE(registrar.ErrorText().find(c.message), std::string::npos)
        << "expected \"" << c.message << "\" in \"" << registrar.ErrorText() << "\"";
    EXPECT_EQ(Unregister(c.script), kRegistrarScriptError) << c.message;
    EXPECT_EQ(store.Contents(), before) << c.message;
  }
}

TEST_F(Registrar, ReplacementsAreNamedWithoutCaseAndReplaceable) {
  EXPECT_EQ(registrar.AddReplacement(u"", u"x"), E_INVALIDARG);
  registrar.AddReplacement(u"Name", u"first");
  registrar.AddReplacement(u"NAME", u"second");
  ASSERT_EQ(Register(u"HKCR { K = s '%name%' }"), S_OK);
  EXPECT_EQ(RegText(u"K"), u"second");
  registrar.ClearReplacements();
  EXPECT_EQ(Register(u"HKCR { K = s '%name%' }"), kRegistrarScriptError);
}

TEST_F(Registrar, UTF8ScriptsAsModulesKeepThem) {
  ASSERT_EQ(registrar.StringRegister(std::string_view("HKCR { 'Caf\xc3\xa9' = s '\xe2\x82\xac' }")), S_OK);
  EXPECT_EQ(RegText(u"Caf\u00e9"), u"\u20ac");
  ASSERT_EQ(registrar.StringUnregister(std::string_view("HKCR { 'caf\xc3\xa9' }")), S_OK);
  EXPECT_EQ(Dump(), "");
}

TEST_F(Registrar, StoreFaultsAreReportedAndNothingIsWritten) {
  store.Write("garbage");
  EXPECT_EQ(Register(u"HKCR { A }"), HRESULT_FROM_WIN32(ERROR_BADDB));
  EXPECT_NE(registrar.ErrorText().find(store.path()), std::string::npos) << registrar.ErrorText();
  EXPECT_EQ(Unregister(u"HKCR { A }"), HRESULT_FROM_WIN32(ERROR_BADDB));
  EXPECT_EQ(store.Contents(), "garbage");
}

// Whatever the text, the parser answers with a result, never a crash.
TEST(RegistrarParser, SurvivesArbitraryText) {
  std::mt19937 random(20240611);
  const std::u16string alphabet = u"HKCR{}= \n'%sdvalNoRemoveForceRemoveDelete\\\x00e9";
  for (int round = 0; round < 3000; ++round) {
    std::u16string text;
    std::size_t length = random() % 120;
    for (std::size_t i = 0; i < length; ++i) {
      if (random() % 10 == 0)
        text.push_back(static_cast<char16_t>(random() % 0x10000));
      else
        text.push_back(alphabet[random() % alphabet.size()]);
    }
    RegistryScript script;
    std::string error;
    HRESULT hr = ParseRegistryScript(text, &script, &error);
    EXPECT_TRUE(hr == S_OK || (hr == kRegistrarScriptError && !error.empty()));
    std::u16string expanded;
    ExpandRegistryScript(text, {{u"MODULE", u"m"}}, &expanded, &error);
  }
}

}  // namespace
