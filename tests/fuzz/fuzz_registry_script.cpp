// Registry scripts: replacement, parsing, and registering and unregistering them in a scratch store that
// already holds the module's own registration.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_support.h"
#include "platform/com/utf.h"
#include "platform/registry/registrar.h"
#include "platform/registry/registry.h"
#include "platform/registry/store.h"

namespace {

std::string g_store;     // path of the scratch store
std::string g_baseline;  // its contents before each input

const char16_t kModule[] = u"/opt/qorvena/lib/qorvena.so";
const char16_t kAppId[] = u"{6F7E3AD0-3C1B-4C55-9A43-6E4D5B0C1A20}";

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void AddReplacements(CRegObject& registrar) {
  registrar.AddReplacement(u"MODULE", kModule);
  registrar.AddReplacement(u"MODULE_RAW", kModule);
  registrar.AddReplacement(u"APPID", kAppId);
}

bool HoldsNoRemove(const std::vector<RegistryScriptItem>& items) {
  for (const auto& i : items)
    if (!i.isValue && (i.flag == RegistryScriptItem::Flag::NoRemove || HoldsNoRemove(i.children))) return true;
  return false;
}

bool KeyExists(std::u16string_view name) {
  CRegKey key;
  return key.Open(HKEY_CLASSES_ROOT, name) == ERROR_SUCCESS;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_store = fuzz::ScratchDir() + "/registry.json";
  RegistrySetStorePath(g_store);
  CRegObject registrar;
  AddReplacements(registrar);
  for (const char* name : {"qorvena.rgs", "QorvenExportConnector.rgs", "DodoSetupScript.rgs"}) {
    std::string script = ReadAll(std::string(QORVENA_SOURCE_DIR "/resources/") + name);
    if (script.empty() || FAILED(registrar.StringRegister(std::string_view(script))))
      fuzz::Broken(("cannot register " + std::string(name) + ": " + registrar.ErrorText()).c_str(), __FILE__, __LINE__);
  }
  g_baseline = ReadAll(g_store);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text = fuzz::LooseUtf16(fuzz::AsText(data, size));
  fuzz::WriteBytes(g_store, g_baseline);

  CRegObject registrar;
  AddReplacements(registrar);
  RegistryReplacements replacements = {{u"MODULE", kModule}, {u"MODULE_RAW", kModule}, {u"APPID", kAppId}};
  std::u16string expanded;
  std::string error;
  RegistryScript script;
  bool parses = SUCCEEDED(ExpandRegistryScript(text, replacements, &expanded, &error)) &&
                SUCCEEDED(ParseRegistryScript(expanded, &script, &error));
  FUZZ_REQUIRE(parses || !error.empty());

  HRESULT hr = registrar.StringRegister(std::u16string_view(text));
  if (!parses) {
    FUZZ_REQUIRE(hr == kRegistrarScriptError);
    FUZZ_REQUIRE(registrar.ErrorText() == error);
  }
  if (FAILED(hr)) {
    // Nothing of a script that fails is written.
    FUZZ_REQUIRE(!registrar.ErrorText().empty());
    FUZZ_REQUIRE(ReadAll(g_store) == g_baseline);
    return 0;
  }
  FUZZ_REQUIRE(registrar.ErrorText().empty());

  // What was written is a well-formed store in its canonical form.
  std::string written = ReadAll(g_store);
  RegistryKeyNode root;
  std::string fault;
  if (!ParseRegistryStore(written, &root, &fault))
    fuzz::Broken(("a registered script leaves a store that does not read: " + fault).c_str(), __FILE__, __LINE__);
  FUZZ_REQUIRE(SerializeRegistryStore(root) == written);

  // Unregistering removes every key the script named that holds nothing the script keeps.
  hr = registrar.StringUnregister(std::u16string_view(text));
  if (FAILED(hr))
    fuzz::Broken(("a script that registers does not unregister: " + registrar.ErrorText()).c_str(), __FILE__, __LINE__);
  for (const auto& r : script.roots)
    for (const auto& item : r.children)
      if (!item.isValue &&
          (item.flag == RegistryScriptItem::Flag::None || item.flag == RegistryScriptItem::Flag::ForceRemove) &&
          !HoldsNoRemove(item.children))
        FUZZ_REQUIRE(!KeyExists(item.name));
  return 0;
}
