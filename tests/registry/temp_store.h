// A registry store of its own for each test, in a fresh temporary folder.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/registry/registry.h"

class TempStore {
 public:
  TempStore() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qorvena-registry-XXXXXX").string();
    dir_ = ::mkdtemp(pattern.data());
    path_ = dir_ + "/registry.json";
    RegistrySetStorePath(path_);
    RegistryClearFault();
  }
  ~TempStore() {
    RegistrySetStorePath("");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  TempStore(const TempStore&) = delete;
  TempStore& operator=(const TempStore&) = delete;

  const std::string& dir() const { return dir_; }
  const std::string& path() const { return path_; }

  // The store file's bytes; empty when there is no file.
  std::string Contents() const { return ReadFile(path_); }
  void Write(const std::string& bytes) const { WriteFile(path_, bytes); }

  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

 private:
  std::string dir_;
  std::string path_;
};

// The text of a key's value, or "<missing>".
inline std::u16string RegText(std::u16string_view key, std::u16string_view value = {}) {
  std::u16string text;
  if (RegGetString(HKEY_CLASSES_ROOT, key, value, &text) != ERROR_SUCCESS) return u"<missing>";
  return text;
}

inline bool RegKeyExists(std::u16string_view key) {
  CRegKey k;
  return k.Open(HKEY_CLASSES_ROOT, key) == ERROR_SUCCESS;
}

inline DWORD RegSubKeyCount(std::u16string_view key) {
  CRegKey k;
  if (k.Open(HKEY_CLASSES_ROOT, key) != ERROR_SUCCESS) return 0;
  DWORD n = 0;
  RegQueryInfoKey(k, &n, nullptr);
  return n;
}
