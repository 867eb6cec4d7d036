// HKEY_CLASSES_ROOT as a file-backed store, with a Win32-shaped API over it.
//
// The store is one file (JSON, UTF-8) that holds the whole tree. Every change is a read-modify-write of the
// whole file under an advisory lock beside it (<store>.lock), written to a temporary file, flushed and renamed
// over the old one, so readers always see a complete store and two processes can register at once. Readers take
// no lock.
//
// Key and value names compare without regard to case and keep the case they were created with. Values are text
// (REG_SZ) or numbers (REG_DWORD); the unnamed value is the key's default value.
//
// A RegistryTransaction groups changes: all Reg* calls of the thread work on one in-memory copy of the store,
// written once at Commit. A transaction that ends without Commit leaves the store as it was. Transactions nest:
// an inner one that ends without Commit undoes only its own changes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/comtypes.h"

struct HKEY__;
using HKEY = HKEY__*;
// The one predefined key of this registry.
extern HKEY const HKEY_CLASSES_ROOT;

using LSTATUS = LONG;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_DWORD = 4;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Win32 error numbers of the registry functions (the others are in comtypes.h).
constexpr DWORD ERROR_SUCCESS = 0;
constexpr DWORD ERROR_INVALID_HANDLE = 6;
constexpr DWORD ERROR_DISK_FULL = 112;
constexpr DWORD ERROR_LOCK_FAILED = 167;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;
constexpr DWORD ERROR_BADDB = 1009;
constexpr DWORD ERROR_BADKEY = 1010;
constexpr DWORD ERROR_CANTOPEN = 1011;
constexpr DWORD ERROR_CANTREAD = 1012;
constexpr DWORD ERROR_CANTWRITE = 1013;
constexpr DWORD ERROR_REGISTRY_IO_FAILED = 1016;
constexpr DWORD ERROR_KEY_DELETED = 1018;

// Limits, as the system registry has them.
constexpr std::size_t kRegMaxKeyNameLength = 255;
constexpr std::size_t kRegMaxValueNameLength = 16383;
constexpr std::size_t kRegMaxDepth = 512;

// --- Where the store lives -------------------------------------------------------------------------------------
// An explicit path set here wins; then the environment variable QORVENA_REGISTRY; then
// $HOME/.qorvena/registry.json. Setting an empty path goes back to the environment and the default.
void RegistrySetStorePath(const std::string& path);
std::string RegistryStorePath();

// --- Faults of the store itself ---------------------------------------------------------------------------------
// A store that cannot be read, is not a store, or cannot be written makes the Reg* call fail with an error
// number and records here what went wrong, naming the file. Missing keys and values are not faults.
struct RegistryFault {
  HRESULT hr = S_OK;
  std::string message;  // UTF-8, names the file and the fault
};
// The calling thread's last store fault; hr is S_OK when there was none since the last clear.
RegistryFault RegistryLastFault();
void RegistryClearFault();

// --- Transactions -----------------------------------------------------------------------------------------------
class RegistryTransaction {
 public:
  RegistryTransaction();  // begins, or joins the thread's open transaction
  ~RegistryTransaction();  // without Commit: undoes this transaction's changes
  RegistryTransaction(const RegistryTransaction&) = delete;
  RegistryTransaction& operator=(const RegistryTransaction&) = delete;

  // S_OK while usable; the store's fault when it could not be read or locked.
  HRESULT Status() const { return status_; }
  // Writes the store (outermost transaction only; an inner one just keeps its changes). After a failed
  // Commit nothing was written and the store is as it was.
  HRESULT Commit();

 private:
  HRESULT status_ = S_OK;
  bool outer_ = false;
  bool done_ = false;
  void* savepoint_ = nullptr;  // inner: the tree as it was when this transaction began
};

// --- Win32-shaped functions -------------------------------------------------------------------------------------
// Sub-key paths separate names with backslashes; an empty path means the key itself. They return ERROR_SUCCESS
// or a Win32 error number: ERROR_FILE_NOT_FOUND for a missing key or value, ERROR_INVALID_PARAMETER for a bad
// name, ERROR_KEY_DELETED for a handle whose key is gone, and the store faults above.
LSTATUS RegCreateKeyEx(HKEY key, std::u16string_view subKey, HKEY* result, DWORD* disposition = nullptr);
LSTATUS RegOpenKeyEx(HKEY key, std::u16string_view subKey, HKEY* result);
LSTATUS RegCloseKey(HKEY key);
LSTATUS RegSetStringValue(HKEY key, std::u16string_view valueName, std::u16string_view text);
LSTATUS RegSetDwordValue(HKEY key, std::u16string_view valueName, DWORD number);
// Either output may be null. `text` receives the text of a REG_SZ value, `number` the number of a REG_DWORD.
LSTATUS RegQueryValueEx(HKEY key, std::u16string_view valueName, DWORD* type, std::u16string* text,
                        DWORD* number = nullptr);
// The text value `valueName` of sub-key `subKey`; ERROR_INVALID_DATA (13) when it is not text.
LSTATUS RegGetString(HKEY key, std::u16string_view subKey, std::u16string_view valueName, std::u16string* text);
// Sub-keys and values in order of their names, without regard to case; ERROR_NO_MORE_ITEMS past the end.
LSTATUS RegEnumKeyEx(HKEY key, DWORD index, std::u16string* name);
LSTATUS RegEnumValue(HKEY key, DWORD index, std::u16string* name, DWORD* type);
LSTATUS RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* values);
LSTATUS RegDeleteValue(HKEY key, std::u16string_view valueName);
// Deletes a key that has no sub-keys (ERROR_ACCESS_DENIED when it has some).
LSTATUS RegDeleteKey(HKEY key, std::u16string_view subKey);
// Deletes a key with everything beneath it; an empty path deletes the sub-keys and values of `key` itself.
LSTATUS RegDeleteTree(HKEY key, std::u16string_view subKey);

// HRESULT of a registry function's result.
inline HRESULT HResultFromRegistry(LSTATUS status) { return HRESULT_FROM_WIN32(static_cast<DWORD>(status)); }

// --- Owning key handle, ATL style -------------------------------------------------------------------------------
class CRegKey {
 public:
  CRegKey() = default;
  explicit CRegKey(HKEY key) : m_hKey(key) {}
  CRegKey(CRegKey&& other) noexcept : m_hKey(other.Detach()) {}
  CRegKey& operator=(CRegKey&& other) noexcept;
  CRegKey(const CRegKey&) = delete;
  CRegKey& operator=(const CRegKey&) = delete;
  ~CRegKey() { Close(); }

  LSTATUS Create(HKEY parent, std::u16string_view name, DWORD* disposition = nullptr);
  LSTATUS Open(HKEY parent, std::u16string_view name);
  LSTATUS Close();
  HKEY Detach();
  void Attach(HKEY key);

  LSTATUS SetStringValue(std::u16string_view name, std::u16string_view text);
  LSTATUS QueryStringValue(std::u16string_view name, std::u16string* text) const;
  LSTATUS SetDWORDValue(std::u16string_view name, DWORD number);
  LSTATUS QueryDWORDValue(std::u16string_view name, DWORD* number) const;
  // Creates sub-key `subKey` and sets its value `valueName` (default when empty).
  LSTATUS SetKeyValue(std::u16string_view subKey, std::u16string_view text, std::u16string_view valueName = {});
  LSTATUS DeleteValue(std::u16string_view name);
  LSTATUS DeleteSubKey(std::u16string_view name);
  LSTATUS RecurseDeleteKey(std::u16string_view name);
  LSTATUS EnumKey(DWORD index, std::u16string* name) const;

  operator HKEY() const { return m_hKey; }

  HKEY m_hKey = nullptr;
};
