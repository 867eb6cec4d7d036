// The registrar: runs registry scripts in ATL's syntax against HKEY_CLASSES_ROOT.
//
//   HKCR
//   {
//       NoRemove CLSID
//       {
//           ForceRemove {GUID} = s 'Name'
//           {
//               InprocServer32 = s '%MODULE%'
//               {
//                   val ThreadingModel = s 'Both'
//               }
//           }
//       }
//   }
//
// Tokens are separated by white space; a token in single quotes may hold anything ('' stands for one quote) and
// is never a keyword. Keywords (any case): NoRemove, ForceRemove, Delete, val, and the value types s (text) and
// d (number, decimal or 0x hex). %NAME% is replaced before parsing (names without regard to case; %% is %).
//
// Registering creates every key named and sets every value; a ForceRemove key is deleted with its sub-keys
// first; a Delete key is deleted. Unregistering deletes every key named, with everything beneath it, except
// NoRemove keys (and keys that hold a NoRemove key), which stay with whatever the script does not name; named
// values (val) are deleted. A script runs as one registry transaction: if it fails, nothing of it is written.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/com/comtypes.h"

// The result of parsing: a tree of items under each root key.
struct RegistryScriptValue {
  DWORD type = 1;  // REG_SZ or REG_DWORD
  std::u16string text;
  DWORD number = 0;
};

struct RegistryScriptItem {
  enum class Flag { None, ForceRemove, NoRemove, Delete };
  bool isValue = false;  // `val NAME = ...`
  Flag flag = Flag::None;
  std::u16string name;
  bool hasValue = false;  // a key's default value, or the named value
  RegistryScriptValue value;
  std::vector<RegistryScriptItem> children;
  int line = 0;
};

struct RegistryScript {
  std::vector<RegistryScriptItem> roots;  // each root's items; only HKEY_CLASSES_ROOT exists here
};

using RegistryReplacements = std::vector<std::pair<std::u16string, std::u16string>>;

// A bad script gives DISP_E_EXCEPTION and a message naming the line and the fault.
constexpr HRESULT kRegistrarScriptError = DISP_E_EXCEPTION;

// Replaces %NAME% and %% in `text`.
HRESULT ExpandRegistryScript(std::u16string_view text, const RegistryReplacements& replacements,
                             std::u16string* expanded, std::string* error);
// Parses an expanded script. Never throws; nesting is limited to the registry's depth.
HRESULT ParseRegistryScript(std::u16string_view text, RegistryScript* script, std::string* error);

// ATL's registrar object.
class CRegObject {
 public:
  HRESULT AddReplacement(std::u16string_view key, std::u16string_view item);
  HRESULT ClearReplacements();
  HRESULT StringRegister(std::u16string_view script);
  HRESULT StringUnregister(std::u16string_view script);
  // UTF-8 scripts, as modules keep them.
  HRESULT StringRegister(std::string_view script);
  HRESULT StringUnregister(std::string_view script);
  // What went wrong in the last call; empty after a success.
  const std::string& ErrorText() const { return error_; }

 private:
  HRESULT Run(std::u16string_view script, bool doRegister);

  RegistryReplacements replacements_;
  std::string error_;
};
