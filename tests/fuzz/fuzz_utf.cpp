// UTF-8 and UTF-16 conversions: any bytes either way.
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "platform/com/utf.h"

namespace {

// A strict UTF-8 check, independent of the converters.
bool ValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    std::size_t n;
    std::uint32_t cp;
    if (c < 0x80) { ++i; continue; }
    if (c >= 0xC2 && c <= 0xDF) { n = 1; cp = c & 0x1F; }
    else if (c >= 0xE0 && c <= 0xEF) { n = 2; cp = c & 0x0F; }
    else if (c >= 0xF0 && c <= 0xF4) { n = 3; cp = c & 0x07; }
    else return false;
    if (i + n >= s.size()) return false;
    for (std::size_t k = 1; k <= n; ++k) {
      auto cc = static_cast<unsigned char>(s[i + k]);
      if ((cc & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if ((n == 2 && cp < 0x800) || (n == 3 && (cp < 0x10000 || cp > 0x10FFFF)) || (cp >= 0xD800 && cp <= 0xDFFF))
      return false;
    i += n + 1;
  }
  return true;
}

bool ValidUtf16(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (s[i] >= 0xDC00 && s[i] <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes = fuzz::AsText(data, size);

  // Bytes as UTF-8: never more code units than bytes, always valid UTF-16, exact for valid input.
  std::u16string wide = Utf8ToUtf16(bytes);
  FUZZ_REQUIRE(wide.size() <= bytes.size());
  FUZZ_REQUIRE(ValidUtf16(wide));
  std::string back = Utf16ToUtf8(wide);
  FUZZ_REQUIRE(ValidUtf8(back));
  if (ValidUtf8(bytes)) FUZZ_REQUIRE(back == bytes);
  else FUZZ_REQUIRE(wide.find(u'\uFFFD') != std::u16string::npos);
  FUZZ_REQUIRE(Utf8ToUtf16(back) == wide);

  // Bytes as UTF-16 (little-endian pairs): always valid UTF-8, exact for valid input.
  std::u16string units;
  for (std::size_t i = 0; i + 1 < size; i += 2) units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
  std::string narrow = Utf16ToUtf8(units);
  FUZZ_REQUIRE(ValidUtf8(narrow));
  FUZZ_REQUIRE(narrow.size() <= units.size() * 3);
  std::u16string round = Utf8ToUtf16(narrow);
  if (ValidUtf16(units)) {
    FUZZ_REQUIRE(round == units);
  } else {
    // Each lone surrogate becomes one U+FFFD; everything else stays.
    FUZZ_REQUIRE(round.size() == units.size());
    for (std::size_t i = 0; i < units.size(); ++i)
      FUZZ_REQUIRE(round[i] == units[i] || (round[i] == u'\uFFFD' && units[i] >= 0xD800 && units[i] <= 0xDFFF));
  }
  return 0;
}
