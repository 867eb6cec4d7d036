#include "platform/com/bstr.h"

#include <cstdlib>
#include <cstring>
#include <limits>

// Layout: [uint32 byte length][characters][two zero bytes]; the BSTR points at the characters.
namespace {
constexpr std::size_t kPrefix = sizeof(std::uint32_t);

BSTR Allocate(UINT length) {
  if (length > (std::numeric_limits<std::uint32_t>::max() - 8) / 2) return nullptr;
  std::size_t bytes = static_cast<std::size_t>(length) * 2;
  auto* block = static_cast<unsigned char*>(std::malloc(kPrefix + bytes + 2));
  if (!block) return nullptr;
  auto byteLen = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &byteLen, kPrefix);
  std::memset(block + kPrefix, 0, bytes + 2);
  return reinterpret_cast<BSTR>(block + kPrefix);
}
}  // namespace

BSTR SysAllocStringLen(LPCOLESTR text, UINT length) {
  BSTR b = Allocate(length);
  if (b && text) std::memcpy(b, text, static_cast<std::size_t>(length) * 2);
  return b;
}

BSTR SysAllocString(LPCOLESTR text) {
  if (!text) return nullptr;
  return SysAllocString(std::u16string_view(text));
}

BSTR SysAllocString(std::u16string_view text) {
  if (text.size() > std::numeric_limits<UINT>::max()) return nullptr;
  return SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<unsigned char*>(text) - kPrefix);
}

UINT SysStringByteLen(BSTR text) {
  if (!text) return 0;
  std::uint32_t byteLen;
  std::memcpy(&byteLen, reinterpret_cast<unsigned char*>(text) - kPrefix, kPrefix);
  return byteLen;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / 2; }

int SysReAllocString(BSTR* target, LPCOLESTR text) {
  if (!target) return 0;
  BSTR b = SysAllocString(text);
  if (text && !b) return 0;
  SysFreeString(*target);
  *target = b;
  return 1;
}
