// Version resources: the VS_VERSIONINFO block, built at compile time into its own ELF section of a module, and
// read back from the module FILE as GetFileVersionInfo/VerQueryValue do.
//
// Block layout (little-endian, every structure on a 4-byte boundary):
//   struct { WORD wLength; WORD wValueLength; WORD wType; WCHAR szKey[]; padding; value; padding; children }
// VS_VERSION_INFO (value: VS_FIXEDFILEINFO) > StringFileInfo > string table "040904E4" > String "Name" = text,
// and VS_VERSION_INFO > VarFileInfo > Var "Translation" = DWORD language/code page pairs.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com/comtypes.h"

struct VS_FIXEDFILEINFO {
  DWORD dwSignature;
  DWORD dwStrucVersion;
  DWORD dwFileVersionMS;
  DWORD dwFileVersionLS;
  DWORD dwProductVersionMS;
  DWORD dwProductVersionLS;
  DWORD dwFileFlagsMask;
  DWORD dwFileFlags;
  DWORD dwFileOS;
  DWORD dwFileType;
  DWORD dwFileSubtype;
  DWORD dwFileDateMS;
  DWORD dwFileDateLS;
};

constexpr DWORD VS_FFI_SIGNATURE = 0xFEEF04BDu;
constexpr DWORD VS_FFI_STRUCVERSION = 0x00010000u;
constexpr DWORD VS_FFI_FILEFLAGSMASK = 0x0000003Fu;
constexpr DWORD VOS__WINDOWS32 = 0x00000004u;
constexpr DWORD VFT_APP = 0x1;
constexpr DWORD VFT_DLL = 0x2;
constexpr DWORD VFT2_UNKNOWN = 0x0;

constexpr DWORD ERROR_BAD_FORMAT = 11;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;

// The section that holds a module's version block.
inline constexpr const char* kVersionSectionName = ".rsrc.version";

constexpr DWORD MakeVersion(WORD high, WORD low) { return (DWORD{high} << 16) | low; }

// --- building ---------------------------------------------------------------------------------------------------

struct VersionStringEntry {
  std::u16string_view key;
  std::u16string_view value;
};

struct VersionStringTableDescription {
  std::u16string_view key;  // language and code page in hex, "040904E4"
  std::span<const VersionStringEntry> strings;
};

struct VersionDescription {
  VS_FIXEDFILEINFO fixed;
  std::span<const VersionStringTableDescription> stringTables;
  std::span<const DWORD> translations;  // language in the low word, code page in the high word
};

namespace version_detail {
constexpr void PutWord(std::vector<BYTE>& b, std::uint32_t w) {
  b.push_back(static_cast<BYTE>(w & 0xFF));
  b.push_back(static_cast<BYTE>((w >> 8) & 0xFF));
}
constexpr void PutDword(std::vector<BYTE>& b, DWORD d) {
  PutWord(b, d & 0xFFFF);
  PutWord(b, d >> 16);
}
constexpr void Align(std::vector<BYTE>& b) {
  while (b.size() % 4) b.push_back(0);
}
constexpr void PutText(std::vector<BYTE>& b, std::u16string_view s) {
  for (char16_t c : s) PutWord(b, c);
  PutWord(b, 0);
}
constexpr std::size_t Begin(std::vector<BYTE>& b, std::size_t valueLength, WORD type, std::u16string_view key) {
  Align(b);
  std::size_t start = b.size();
  PutWord(b, 0);
  PutWord(b, static_cast<std::uint32_t>(valueLength));
  PutWord(b, type);
  PutText(b, key);
  Align(b);
  return start;
}
constexpr void End(std::vector<BYTE>& b, std::size_t start) {
  std::size_t length = b.size() - start;
  if (length > 0xFFFF) throw "version block too large";
  b[start] = static_cast<BYTE>(length & 0xFF);
  b[start + 1] = static_cast<BYTE>(length >> 8);
}
}  // namespace version_detail

constexpr std::vector<BYTE> BuildVersionInfo(const VersionDescription& d) {
  using namespace version_detail;
  std::vector<BYTE> b;
  std::size_t root = Begin(b, sizeof(VS_FIXEDFILEINFO), 0, u"VS_VERSION_INFO");
  const DWORD fixed[] = {d.fixed.dwSignature,       d.fixed.dwStrucVersion,   d.fixed.dwFileVersionMS,
                         d.fixed.dwFileVersionLS,   d.fixed.dwProductVersionMS, d.fixed.dwProductVersionLS,
                         d.fixed.dwFileFlagsMask,   d.fixed.dwFileFlags,      d.fixed.dwFileOS,
                         d.fixed.dwFileType,        d.fixed.dwFileSubtype,    d.fixed.dwFileDateMS,
                         d.fixed.dwFileDateLS};
  for (DWORD v : fixed) PutDword(b, v);
  if (!d.stringTables.empty()) {
    std::size_t info = Begin(b, 0, 1, u"StringFileInfo");
    for (const auto& table : d.stringTables) {
      std::size_t t = Begin(b, 0, 1, table.key);
      for (const auto& s : table.strings) {
        std::size_t entry = Begin(b, s.value.size() + 1, 1, s.key);
        PutText(b, s.value);
        End(b, entry);
      }
      End(b, t);
    }
    End(b, info);
  }
  if (!d.translations.empty()) {
    std::size_t info = Begin(b, 0, 1, u"VarFileInfo");
    std::size_t var = Begin(b, d.translations.size() * 4, 0, u"Translation");
    for (DWORD t : d.translations) PutDword(b, t);
    End(b, var);
    End(b, info);
  }
  End(b, root);
  return b;
}

template <std::size_t N>
constexpr std::array<BYTE, N> VersionInfoArray(const VersionDescription& d) {
  std::vector<BYTE> v = BuildVersionInfo(d);
  if (v.size() != N) throw "size mismatch";
  std::array<BYTE, N> a{};
  for (std::size_t i = 0; i < N; ++i) a[i] = v[i];
  return a;
}

// Places the version block of `description` (a constexpr VersionDescription) in the module's version section.
#define QORVENA_VERSION_RESOURCE(variable, description)                                                        \
  [[gnu::section(".rsrc.version"), gnu::used]] alignas(4) constexpr auto variable =                             \
      VersionInfoArray<BuildVersionInfo(description).size()>(description)

// --- reading ----------------------------------------------------------------------------------------------------

struct ParsedVersionString {
  std::u16string table;  // "040904E4"
  std::u16string key;
  std::u16string value;
};

struct ParsedVersionInfo {
  VS_FIXEDFILEINFO fixed{};
  std::vector<ParsedVersionString> strings;
  std::vector<DWORD> translations;
  std::size_t length = 0;  // of the block, from its header
};

// Checks and reads a version block. False and why when it is not a well-formed block; never reads outside it.
bool ParseVersionInfo(std::span<const BYTE> block, ParsedVersionInfo* info, std::string* error);

// The version block of a module file, found through its ELF section headers. S_OK, or HRESULT_FROM_WIN32 of
// ERROR_FILE_NOT_FOUND (no file), ERROR_BAD_FORMAT (not an ELF file, or damaged), ERROR_RESOURCE_TYPE_NOT_FOUND
// (no version section), ERROR_INVALID_DATA (the block is damaged); `error` names the file and the fault.
HRESULT ReadVersionResource(const std::string& path, std::vector<BYTE>* block, std::string* error);

// Win32 forms. The size is that of the block; GetFileVersionInfo fails with ERROR_INSUFFICIENT_BUFFER rather
// than hand back a cut block. On failure VersionInfoLastError tells why.
DWORD GetFileVersionInfoSize(const std::string& path, DWORD* handle);
bool GetFileVersionInfo(const std::string& path, DWORD handle, DWORD length, void* data);
// "\" yields the VS_FIXEDFILEINFO, "\VarFileInfo\Translation" the DWORD pairs (length in bytes),
// "\StringFileInfo\040904E4\ProductVersion" the text (length in characters, with the terminating null).
// Names compare without regard to case.
bool VerQueryValue(const void* block, std::u16string_view subBlock, const void** buffer, UINT* length);
struct VersionInfoError {
  DWORD code = 0;
  std::string message;
};
VersionInfoError VersionInfoLastError();
