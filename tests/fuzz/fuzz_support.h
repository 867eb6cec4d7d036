// Shared pieces of the fuzz programs: a scratch folder, property checks that stop the run, and texts built
// from raw input.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace fuzz {

// A property of the code under test did not hold: report it as a crash so the input is kept.
[[noreturn]] inline void Broken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  std::fflush(stderr);
  std::abort();
}
#define FUZZ_REQUIRE(condition) \
  ((condition) ? static_cast<void>(0) : ::fuzz::Broken(#condition, __FILE__, __LINE__))

// One folder per process, in memory where the system offers it (the programs write files on every input),
// removed when the process ends.
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    std::error_code ec;
    std::filesystem::path base =
        ::access("/dev/shm", W_OK) == 0 ? std::filesystem::path("/dev/shm") : std::filesystem::temp_directory_path(ec);
    std::string pattern = (base / "qorvena-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) Broken("cannot create a scratch folder", __FILE__, __LINE__);
    static std::string made = pattern;
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(made, ignored);
    });
    return pattern;
  }();
  return dir;
}

inline void WriteBytes(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) Broken("cannot write a scratch file", __FILE__, __LINE__);
}

inline std::string_view AsText(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// UTF-8 that may also encode lone surrogates (ED A0 80 .. ED BF BF), so that readable inputs can still reach
// invalid UTF-16. A byte that starts no sequence stands for the character of the same number.
inline std::u16string LooseUtf16(std::string_view s) {
  std::u16string out;
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    int extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    std::uint32_t cp = extra == 3 ? c & 0x07 : extra == 2 ? c & 0x0F : extra == 1 ? c & 0x1F : c;
    bool ok = extra > 0 && i + static_cast<std::size_t>(extra) < s.size();
    for (int k = 1; ok && k <= extra; ++k) {
      auto cc = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      ok = (cc & 0xC0) == 0x80;
      cp = (cp << 6) | (cc & 0x3F);
    }
    if (!ok || cp > 0x10FFFF) {
      out.push_back(c);
      ++i;
      continue;
    }
    i += static_cast<std::size_t>(extra) + 1;
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
  }
  return out;
}

// A double that can be any bit pattern, and often lies on or next to an integer (the ends of the integer
// ranges are where conversions go wrong).
inline double ConsumeDouble(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: {
      std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    case 1: return static_cast<double>(in.ConsumeIntegral<std::int64_t>());
    case 2: return static_cast<double>(in.ConsumeIntegral<std::int64_t>()) + in.ConsumeIntegralInRange<int>(-4, 4) / 4.0;
    default: return in.ConsumeFloatingPoint<double>();
  }
}

}  // namespace fuzz
