// GUIDs: compile-time literals, parsing and the registry's "{XXXXXXXX-XXXX-...}" form.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/com/comtypes.h"

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};

  friend constexpr bool operator==(const GUID&, const GUID&) = default;
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

inline constexpr GUID GUID_NULL{};
inline constexpr IID IID_NULL{};

namespace guid_detail {
constexpr int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX", with or without braces.
template <class Char>
constexpr std::optional<GUID> Parse(std::basic_string_view<Char> s) {
  if (s.size() == 38) {
    if (s.front() != Char('{') || s.back() != Char('}')) return std::nullopt;
    s = s.substr(1, 36);
  }
  if (s.size() != 36) return std::nullopt;
  constexpr int dashes[] = {8, 13, 18, 23};
  for (int d : dashes)
    if (s[static_cast<std::size_t>(d)] != Char('-')) return std::nullopt;
  std::uint8_t bytes[16] = {};
  std::size_t pos = 0;
  for (int b = 0; b < 16; ++b) {
    if (pos == 8 || pos == 13 || pos == 18 || pos == 23) ++pos;
    auto c1 = s[pos], c2 = s[pos + 1];
    if (c1 > 0x7F || c2 > 0x7F) return std::nullopt;
    int hi = HexValue(static_cast<char>(c1)), lo = HexValue(static_cast<char>(c2));
    if (hi < 0 || lo < 0) return std::nullopt;
    bytes[b] = static_cast<std::uint8_t>(hi * 16 + lo);
    pos += 2;
  }
  GUID g;
  g.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) | bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[static_cast<std::size_t>(i)] = bytes[8 + i];
  return g;
}
}  // namespace guid_detail

// A GUID literal checked at compile time: MakeGuid("{00000514-0000-0010-8000-00AA006D2EA4}").
consteval GUID MakeGuid(const char* text) {
  std::size_t n = 0;
  while (text[n]) ++n;
  auto g = guid_detail::Parse(std::string_view(text, n));
  if (!g) throw "malformed GUID literal";
  return *g;
}

std::optional<GUID> GuidFromString(std::u16string_view text);
std::optional<GUID> GuidFromString(std::string_view text);
// Upper-case registry form with braces.
std::u16string GuidToString(const GUID& g);
std::string GuidToNarrowString(const GUID& g);

// Win32-shaped wrappers.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
HRESULT IIDFromString(LPCOLESTR text, IID* iid);
int StringFromGUID2(REFGUID g, LPOLESTR buffer, int cchMax);
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }

template <>
struct std::hash<GUID> {
  std::size_t operator()(const GUID& g) const noexcept {
    std::size_t h = g.Data1;
    h = h * 31 + g.Data2;
    h = h * 31 + g.Data3;
    for (auto b : g.Data4) h = h * 31 + b;
    return h;
  }
};
