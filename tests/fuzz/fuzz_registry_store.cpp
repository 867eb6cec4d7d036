// The registry store file: parsing, writing back (a store reads in as the tree it was written from), and the
// registry functions walking a tree read from a damaged or unusual file.
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_support.h"
#include "platform/registry/registry.h"
#include "platform/registry/store.h"

namespace {

std::string g_store;

// Walks the tree through the registry functions and compares it with the parsed one.
void Walk(HKEY key, const RegistryKeyNode& node, int depth) {
  DWORD subKeys = 0, values = 0;
  FUZZ_REQUIRE(RegQueryInfoKey(key, &subKeys, &values) == ERROR_SUCCESS);
  FUZZ_REQUIRE(subKeys == node.subkeys.size());
  FUZZ_REQUIRE(values == node.values.size());
  for (DWORD i = 0; i < values; ++i) {
    std::u16string name;
    DWORD type = REG_NONE;
    FUZZ_REQUIRE(RegEnumValue(key, i, &name, &type) == ERROR_SUCCESS);
    FUZZ_REQUIRE(name == node.values[i].name && type == node.values[i].type);
    std::u16string text;
    DWORD number = 0;
    FUZZ_REQUIRE(RegQueryValueEx(key, name, &type, &text, &number) == ERROR_SUCCESS);
    FUZZ_REQUIRE(text == node.values[i].text && number == node.values[i].number);
  }
  if (depth >= 8) return;  // deeper keys are compared through the written text
  for (DWORD i = 0; i < subKeys && i < 16; ++i) {
    std::u16string name;
    FUZZ_REQUIRE(RegEnumKeyEx(key, i, &name) == ERROR_SUCCESS);
    FUZZ_REQUIRE(name == node.subkeys[i].name);
    CRegKey sub;
    FUZZ_REQUIRE(sub.Open(key, name) == ERROR_SUCCESS);
    Walk(sub, node.subkeys[i], depth + 1);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_store = fuzz::ScratchDir() + "/registry.json";
  RegistrySetStorePath(g_store);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text = fuzz::AsText(data, size);
  RegistryKeyNode root;
  std::string fault;
  bool ok = ParseRegistryStore(text, &root, &fault);
  FUZZ_REQUIRE(ok == fault.empty());

  // The registry functions see the same store, or the same fault.
  fuzz::WriteBytes(g_store, text);
  RegistryClearFault();
  DWORD subKeys = 0;
  LSTATUS status = RegQueryInfoKey(HKEY_CLASSES_ROOT, &subKeys, nullptr);
  if (!ok) {
    if (!text.empty()) {
      FUZZ_REQUIRE(status == static_cast<LSTATUS>(ERROR_BADDB));
      FUZZ_REQUIRE(RegistryLastFault().message.find(fault) != std::string::npos);
    }
    FUZZ_REQUIRE(root.subkeys.empty() && root.values.empty());
    return 0;
  }
  FUZZ_REQUIRE(status == ERROR_SUCCESS);
  Walk(HKEY_CLASSES_ROOT, root, 0);

  // Written back, it reads in as the same tree, and writing that again gives the same text.
  std::string written = SerializeRegistryStore(root);
  RegistryKeyNode again;
  if (!ParseRegistryStore(written, &again, &fault))
    fuzz::Broken(("a written store does not read: " + fault).c_str(), __FILE__, __LINE__);
  FUZZ_REQUIRE(again == root);
  FUZZ_REQUIRE(SerializeRegistryStore(again) == written);

  // A change through the registry functions keeps everything else.
  {
    CRegKey key;
    FUZZ_REQUIRE(key.Create(HKEY_CLASSES_ROOT, u"FuzzAdded") == ERROR_SUCCESS);
    FUZZ_REQUIRE(key.SetStringValue(u"", u"x") == ERROR_SUCCESS);
  }
  RegistryKeyNode changed = root;
  changed.AddSubkey(u"FuzzAdded").SetValue(RegistryValue{u"", REG_SZ, u"x", 0});
  RegistryKeyNode stored;
  std::string storedText;
  {
    std::ifstream in(g_store, std::ios::binary);
    storedText.assign(std::istreambuf_iterator<char>(in), {});
  }
  FUZZ_REQUIRE(ParseRegistryStore(storedText, &stored, &fault));
  FUZZ_REQUIRE(stored == changed);
  return 0;
}
