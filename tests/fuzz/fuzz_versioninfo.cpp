// Version blocks: the parser, and the lookups of a block that parsed.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/com/versioninfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A copy of exactly the input's size, so that any read past it is caught.
  std::vector<BYTE> block(data, data + size);
  ParsedVersionInfo info;
  std::string error;
  bool ok = ParseVersionInfo(block, &info, &error);
  if (!ok) {
    FUZZ_REQUIRE(!error.empty());
    return 0;
  }
  FUZZ_REQUIRE(info.length >= 6 && info.length <= block.size());
  FUZZ_REQUIRE(info.fixed.dwSignature == VS_FFI_SIGNATURE);

  // The lookups see the block as the parser did.
  block.resize(info.length);
  const void* value = nullptr;
  UINT length = 0;
  FUZZ_REQUIRE(VerQueryValue(block.data(), u"\\", &value, &length));
  FUZZ_REQUIRE(length >= sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO fixed;
  std::memcpy(&fixed, value, sizeof fixed);
  FUZZ_REQUIRE(std::memcmp(&fixed, &info.fixed, sizeof fixed) == 0);
  if (VerQueryValue(block.data(), u"\\VarFileInfo\\Translation", &value, &length)) {
    FUZZ_REQUIRE(static_cast<const BYTE*>(value) + length <= block.data() + block.size());
  }
  for (const ParsedVersionString& s : info.strings) {
    if (s.key.find(u'\\') != std::u16string::npos || s.table.find(u'\\') != std::u16string::npos) continue;
    std::u16string path = u"\\StringFileInfo\\" + s.table + u"\\" + s.key;
    if (!VerQueryValue(block.data(), path, &value, &length)) continue;  // an earlier entry of the same name wins
    FUZZ_REQUIRE(static_cast<const BYTE*>(value) + 2 * length <= block.data() + block.size());
  }
  return 0;
}
