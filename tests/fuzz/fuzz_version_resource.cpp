// Version resources read from module files: the ELF section headers of any file, then the block.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/com/versioninfo.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::ScratchDir() + "/module.so";
  fuzz::WriteBytes(path, fuzz::AsText(data, size));
  std::vector<BYTE> block;
  std::string error;
  HRESULT hr = ReadVersionResource(path, &block, &error);
  if (FAILED(hr)) {
    FUZZ_REQUIRE(block.empty() && !error.empty());
    FUZZ_REQUIRE(hr == HRESULT_FROM_WIN32(ERROR_BAD_FORMAT) || hr == HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND) ||
                 hr == HRESULT_FROM_WIN32(ERROR_INVALID_DATA));
  } else {
    ParsedVersionInfo info;
    FUZZ_REQUIRE(ParseVersionInfo(block, &info, &error));
    FUZZ_REQUIRE(info.length == block.size());
  }
  // The Win32 forms agree with it.
  DWORD handle = 1;
  DWORD needed = GetFileVersionInfoSize(path, &handle);
  FUZZ_REQUIRE(handle == 0);
  FUZZ_REQUIRE(needed == block.size());
  if (needed != 0) {
    std::vector<BYTE> copy(needed);
    FUZZ_REQUIRE(GetFileVersionInfo(path, 0, needed, copy.data()));
    FUZZ_REQUIRE(copy == block);
    FUZZ_REQUIRE(!GetFileVersionInfo(path, 0, needed - 1, copy.data()));
    FUZZ_REQUIRE(VersionInfoLastError().code == ERROR_INSUFFICIENT_BUFFER);
  }
  return 0;
}
