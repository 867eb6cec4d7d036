// The registry tree in memory and its file format.
//
// File format (UTF-8 JSON):
//   { "format": "qorvena-registry", "version": 1,
//     "HKEY_CLASSES_ROOT": KEY }
//   KEY    := { "default": VALUE?, "values": { NAME: VALUE, ... }?, "keys": { NAME: KEY, ... }? }
//   VALUE  := "text" (REG_SZ) | 0..4294967295 (REG_DWORD)
// Keys and values are written in order of their names without regard to case, so equal trees give equal files.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/comtypes.h"

struct RegistryValue {
  std::u16string name;  // empty: the key's default value
  DWORD type = 1;       // REG_SZ or REG_DWORD
  std::u16string text;
  DWORD number = 0;

  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

struct RegistryKeyNode {
  std::u16string name;
  std::vector<RegistryValue> values;      // ordered by folded name
  std::vector<RegistryKeyNode> subkeys;   // ordered by folded name

  RegistryKeyNode* FindSubkey(std::u16string_view name);
  const RegistryKeyNode* FindSubkey(std::u16string_view name) const;
  // Finds or adds; `created` tells which.
  RegistryKeyNode& AddSubkey(std::u16string_view name, bool* created = nullptr);
  bool RemoveSubkey(std::u16string_view name);
  const RegistryValue* FindValue(std::u16string_view name) const;
  void SetValue(RegistryValue value);
  bool RemoveValue(std::u16string_view name);

  friend bool operator==(const RegistryKeyNode&, const RegistryKeyNode&) = default;
};

// Case folding of names: ASCII and Latin-1 letters.
std::u16string RegistryFoldName(std::u16string_view name);
bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b);

// Checks a key name (one path component) or a value name. False and why when it is not acceptable.
bool RegistryValidKeyName(std::u16string_view name, std::string* why = nullptr);
bool RegistryValidValueName(std::u16string_view name, std::string* why = nullptr);
bool RegistryValidText(std::u16string_view text, std::string* why = nullptr);

// Parses the text of a store file into `root` (the HKEY_CLASSES_ROOT key). False and a description of the fault
// when the text is not a well-formed store; never throws.
bool ParseRegistryStore(std::string_view text, RegistryKeyNode* root, std::string* fault);
std::string SerializeRegistryStore(const RegistryKeyNode& root);
