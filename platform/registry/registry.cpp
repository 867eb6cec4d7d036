#include "platform/registry/registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "platform/com/utf.h"
#include "platform/registry/store.h"

struct HKEY__ {
  std::vector<std::u16string> path;  // names from HKEY_CLASSES_ROOT down
  bool predefined = false;
};

namespace {

HKEY__ g_classesRoot{{}, true};

constexpr std::size_t kMaxStoreBytes = 64u << 20;

// --- store location ---------------------------------------------------------------------------------------------

std::mutex g_configMutex;
std::string g_explicitPath;

// --- faults -----------------------------------------------------------------------------------------------------

thread_local RegistryFault t_fault;

LSTATUS Fault(DWORD code, std::string message) {
  t_fault.hr = HRESULT_FROM_WIN32(code);
  t_fault.message = std::move(message);
  return static_cast<LSTATUS>(code);
}

DWORD CodeFromErrno(int err, DWORD fallback) {
  switch (err) {
    case EACCES:
    case EPERM:
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case ENOSPC:
    case EDQUOT:
      return ERROR_DISK_FULL;
    case ENOTDIR:
    case ENOENT:
      return ERROR_PATH_NOT_FOUND;
    default:
      return fallback;
  }
}

std::string ErrnoText(int err) { return std::strerror(err); }

std::string DirectoryOf(const std::string& path) {
  auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// mkdir -p; true when the folder exists afterwards.
bool MakeDirectories(const std::string& dir, int* err) {
  struct stat st{};
  if (::stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    *err = ENOTDIR;
    return false;
  }
  if (errno != ENOENT) {
    *err = errno;
    return false;
  }
  std::string parent = DirectoryOf(dir);
  if (parent != dir && !MakeDirectories(parent, err)) return false;
  if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) {
    *err = errno;
    return false;
  }
  return true;
}

// --- reading ----------------------------------------------------------------------------------------------------

std::shared_ptr<const RegistryKeyNode> EmptyRoot() {
  auto root = std::make_shared<RegistryKeyNode>();
  root->name = u"HKEY_CLASSES_ROOT";
  return root;
}

// Reads the store file. A missing file is an empty store. On a fault returns the error number (recorded).
LSTATUS ReadStore(const std::string& path, std::shared_ptr<const RegistryKeyNode>* out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    if (err == ENOENT) {
      // A missing folder or file: nothing registered yet.
      *out = EmptyRoot();
      return ERROR_SUCCESS;
    }
    if (err == ENOTDIR)
      return Fault(ERROR_PATH_NOT_FOUND, "cannot read the registry store " + path + ": " + ErrnoText(err));
    return Fault(CodeFromErrno(err, ERROR_REGISTRY_IO_FAILED),
                 "cannot read the registry store " + path + ": " + ErrnoText(err));
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st{};
  if (::fstat(fd, &st) != 0)
    return Fault(ERROR_REGISTRY_IO_FAILED, "cannot read the registry store " + path + ": " + ErrnoText(errno));
  if (!S_ISREG(st.st_mode))
    return Fault(ERROR_BADDB, "the registry store " + path + " is not a regular file");
  if (static_cast<std::uint64_t>(st.st_size) > kMaxStoreBytes)
    return Fault(ERROR_BADDB, "the registry store " + path + " is corrupt: larger than 64 MiB");
  std::string text;
  text.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  while (got < text.size()) {
    ssize_t n = ::read(fd, text.data() + got, text.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      return Fault(ERROR_REGISTRY_IO_FAILED, "cannot read the registry store " + path + ": " + ErrnoText(errno));
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  text.resize(got);
  if (text.empty()) return Fault(ERROR_BADDB, "the registry store " + path + " is corrupt: the file is empty");
  auto root = std::make_shared<RegistryKeyNode>();
  std::string fault;
  if (!ParseRegistryStore(text, root.get(), &fault))
    return Fault(ERROR_BADDB, "the registry store " + path + " is corrupt: " + fault);
  *out = std::move(root);
  return ERROR_SUCCESS;
}

// --- writing ----------------------------------------------------------------------------------------------------

LSTATUS WriteStore(const std::string& path, const RegistryKeyNode& root) {
  std::string text;
  try {
    text = SerializeRegistryStore(root);
  } catch (const std::exception& e) {
    return Fault(ERROR_CANTWRITE, "cannot write the registry store " + path + ": " + e.what());
  }
  std::string dir = DirectoryOf(path);
  auto fail = [&](int err, const std::string& what) {
    return Fault(CodeFromErrno(err, ERROR_REGISTRY_IO_FAILED),
                 "cannot write the registry store " + path + ": " + what + ": " + ErrnoText(err));
  };
  std::string temp = path + ".XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return fail(errno, "cannot create a temporary file in " + dir);
  // Keep the mode of the store being replaced; a new store is readable by everyone.
  mode_t mode = 0644;
  struct stat st{};
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  auto abandon = [&](int err, const std::string& what) {
    ::close(fd);
    ::unlink(temp.c_str());
    return fail(err, what);
  };
  if (::fchmod(fd, mode) != 0) return abandon(errno, "cannot set the mode of " + temp);
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return abandon(errno, "cannot write " + temp);
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) return abandon(errno, "cannot flush " + temp);
  if (::close(fd) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return fail(err, "cannot close " + temp);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    int err = errno;
    ::unlink(temp.c_str());
    return fail(err, "cannot replace the store");
  }
  // Make the rename itself durable.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return ERROR_SUCCESS;
}

// --- transactions -----------------------------------------------------------------------------------------------

struct OpenTransaction {
  std::string path;
  int lockFd = -1;
  RegistryKeyNode root;
  bool dirty = false;
  int depth = 0;
};

thread_local OpenTransaction* t_transaction = nullptr;

LSTATUS LockStore(const std::string& path, int* lockFd) {
  std::string dir = DirectoryOf(path);
  int err = 0;
  if (!MakeDirectories(dir, &err))
    return Fault(CodeFromErrno(err, ERROR_REGISTRY_IO_FAILED),
                 "cannot write the registry store " + path + ": cannot create the folder " + dir + ": " +
                     ErrnoText(err));
  std::string lockPath = path + ".lock";
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0)
    return Fault(CodeFromErrno(errno, ERROR_LOCK_FAILED), "cannot lock the registry store " + path +
                                                              ": cannot open " + lockPath + ": " + ErrnoText(errno));
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    int e = errno;
    ::close(fd);
    return Fault(ERROR_LOCK_FAILED, "cannot lock the registry store " + path + ": " + ErrnoText(e));
  }
  *lockFd = fd;
  return ERROR_SUCCESS;
}

void UnlockStore(int fd) {
  if (fd < 0) return;
  ::flock(fd, LOCK_UN);
  ::close(fd);
}

// --- key resolution ---------------------------------------------------------------------------------------------

bool SplitPath(std::u16string_view subKey, std::vector<std::u16string>* parts) {
  parts->clear();
  if (subKey.empty()) return true;
  std::size_t start = 0;
  while (true) {
    std::size_t end = subKey.find(u'\\', start);
    std::u16string_view part = subKey.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (!RegistryValidKeyName(part)) return false;
    parts->emplace_back(part);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return true;
}

// The node of a handle, or null when its key is gone.
RegistryKeyNode* Resolve(RegistryKeyNode& root, const std::vector<std::u16string>& path) {
  RegistryKeyNode* node = &root;
  for (const auto& name : path) {
    node = node->FindSubkey(name);
    if (!node) return nullptr;
  }
  return node;
}

const RegistryKeyNode* Resolve(const RegistryKeyNode& root, const std::vector<std::u16string>& path) {
  return Resolve(const_cast<RegistryKeyNode&>(root), path);
}

bool ValidHandle(HKEY key) { return key != nullptr; }

// Runs a read on the thread's transaction, or on the store as it is in the file.
template <class F>
LSTATUS ReadOp(F f) {
  if (t_transaction) return f(static_cast<const RegistryKeyNode&>(t_transaction->root));
  std::shared_ptr<const RegistryKeyNode> root;
  if (LSTATUS s = ReadStore(RegistryStorePath(), &root); s != ERROR_SUCCESS) return s;
  return f(*root);
}

// Runs a change in the thread's transaction, or in a transaction of its own.
template <class F>
LSTATUS WriteOp(F f) {
  if (t_transaction) {
    LSTATUS s = f(t_transaction->root);
    if (s == ERROR_SUCCESS) t_transaction->dirty = true;
    return s;
  }
  RegistryTransaction tx;
  if (FAILED(tx.Status())) return static_cast<LSTATUS>(HRESULT_CODE(tx.Status()));
  LSTATUS s = f(t_transaction->root);
  if (s != ERROR_SUCCESS) return s;
  t_transaction->dirty = true;
  if (HRESULT hr = tx.Commit(); FAILED(hr)) return static_cast<LSTATUS>(HRESULT_CODE(hr));
  return ERROR_SUCCESS;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  return "/tmp";
}

}  // namespace

HKEY const HKEY_CLASSES_ROOT = &g_classesRoot;

// --- configuration and faults -----------------------------------------------------------------------------------

void RegistrySetStorePath(const std::string& path) {
  std::lock_guard lock(g_configMutex);
  g_explicitPath = path;
}

std::string RegistryStorePath() {
  {
    std::lock_guard lock(g_configMutex);
    if (!g_explicitPath.empty()) return g_explicitPath;
  }
  const char* env = std::getenv("QORVENA_REGISTRY");
  if (env && *env) return env;
  return HomeFolder() + "/.qorvena/registry.json";
}

RegistryFault RegistryLastFault() { return t_fault; }

void RegistryClearFault() { t_fault = RegistryFault{}; }

// --- transactions -----------------------------------------------------------------------------------------------

RegistryTransaction::RegistryTransaction() {
  if (t_transaction) {
    ++t_transaction->depth;
    savepoint_ = new RegistryKeyNode(t_transaction->root);
    return;
  }
  auto tx = std::make_unique<OpenTransaction>();
  tx->path = RegistryStorePath();
  if (LSTATUS s = LockStore(tx->path, &tx->lockFd); s != ERROR_SUCCESS) {
    status_ = HRESULT_FROM_WIN32(static_cast<DWORD>(s));
    done_ = true;
    return;
  }
  std::shared_ptr<const RegistryKeyNode> root;
  // Under the lock the file is read afresh: another process may just have replaced it.
  if (LSTATUS s = ReadStore(tx->path, &root); s != ERROR_SUCCESS) {
    UnlockStore(tx->lockFd);
    status_ = HRESULT_FROM_WIN32(static_cast<DWORD>(s));
    done_ = true;
    return;
  }
  tx->root = *root;
  tx->depth = 1;
  outer_ = true;
  t_transaction = tx.release();
}

RegistryTransaction::~RegistryTransaction() {
  if (!outer_) {
    if (auto* saved = static_cast<RegistryKeyNode*>(savepoint_)) {
      if (!done_ && t_transaction) t_transaction->root = std::move(*saved);
      delete saved;
      if (t_transaction) --t_transaction->depth;
    }
    return;
  }
  OpenTransaction* tx = t_transaction;
  t_transaction = nullptr;
  if (tx) {
    UnlockStore(tx->lockFd);
    delete tx;
  }
}

HRESULT RegistryTransaction::Commit() {
  if (FAILED(status_)) return status_;
  if (done_) return E_UNEXPECTED;
  done_ = true;
  if (!outer_) return S_OK;
  OpenTransaction* tx = t_transaction;
  if (!tx) return E_UNEXPECTED;
  if (!tx->dirty) return S_OK;
  if (LSTATUS s = WriteStore(tx->path, tx->root); s != ERROR_SUCCESS) {
    status_ = HRESULT_FROM_WIN32(static_cast<DWORD>(s));
    return status_;
  }
  return S_OK;
}

// --- Win32-shaped functions -------------------------------------------------------------------------------------

LSTATUS RegCreateKeyEx(HKEY key, std::u16string_view subKey, HKEY* result, DWORD* disposition) {
  if (!ValidHandle(key) || !result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::u16string> parts;
  if (!SplitPath(subKey, &parts)) return ERROR_INVALID_PARAMETER;
  if (key->path.size() + parts.size() > kRegMaxDepth) return ERROR_INVALID_PARAMETER;
  bool createdAny = false;
  std::vector<std::u16string> full = key->path;
  LSTATUS s = WriteOp([&](RegistryKeyNode& root) -> LSTATUS {
    RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    for (const auto& p : parts) {
      bool created = false;
      node = &node->AddSubkey(p, &created);
      createdAny = createdAny || created;
      full.push_back(node->name);
    }
    return ERROR_SUCCESS;
  });
  if (s != ERROR_SUCCESS) return s;
  if (disposition) *disposition = createdAny ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
  *result = new HKEY__{std::move(full), false};
  return ERROR_SUCCESS;
}

LSTATUS RegOpenKeyEx(HKEY key, std::u16string_view subKey, HKEY* result) {
  if (!ValidHandle(key) || !result) return ERROR_INVALID_PARAMETER;
  *result = nullptr;
  std::vector<std::u16string> parts;
  if (!SplitPath(subKey, &parts)) return ERROR_INVALID_PARAMETER;
  std::vector<std::u16string> full = key->path;
  LSTATUS s = ReadOp([&](const RegistryKeyNode& root) -> LSTATUS {
    const RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    for (const auto& p : parts) {
      node = node->FindSubkey(p);
      if (!node) return ERROR_FILE_NOT_FOUND;
      full.push_back(node->name);
    }
    return ERROR_SUCCESS;
  });
  if (s != ERROR_SUCCESS) return s;
  *result = new HKEY__{std::move(full), false};
  return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key) {
  if (!key) return ERROR_INVALID_HANDLE;
  if (!key->predefined) delete key;
  return ERROR_SUCCESS;
}

namespace {
LSTATUS SetValue(HKEY key, RegistryValue value) {
  if (!ValidHandle(key)) return ERROR_INVALID_HANDLE;
  if (!RegistryValidValueName(value.name) || !RegistryValidText(value.text)) return ERROR_INVALID_PARAMETER;
  return WriteOp([&](RegistryKeyNode& root) -> LSTATUS {
    RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    node->SetValue(std::move(value));
    return ERROR_SUCCESS;
  });
}
}  // namespace

LSTATUS RegSetStringValue(HKEY key, std::u16string_view valueName, std::u16string_view text) {
  return SetValue(key, RegistryValue{std::u16string(valueName), REG_SZ, std::u16string(text), 0});
}

LSTATUS RegSetDwordValue(HKEY key, std::u16string_view valueName, DWORD number) {
  return SetValue(key, RegistryValue{std::u16string(valueName), REG_DWORD, {}, number});
}

LSTATUS RegQueryValueEx(HKEY key, std::u16string_view valueName, DWORD* type, std::u16string* text,
                        DWORD* number) {
  if (!ValidHandle(key)) return ERROR_INVALID_HANDLE;
  return ReadOp([&](const RegistryKeyNode& root) -> LSTATUS {
    const RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    const RegistryValue* v = node->FindValue(valueName);
    if (!v) return ERROR_FILE_NOT_FOUND;
    if (type) *type = v->type;
    if (text) *text = v->type == REG_SZ ? v->text : std::u16string();
    if (number) *number = v->type == REG_DWORD ? v->number : 0;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegGetString(HKEY key, std::u16string_view subKey, std::u16string_view valueName, std::u16string* text) {
  HKEY sub = nullptr;
  if (LSTATUS s = RegOpenKeyEx(key, subKey, &sub); s != ERROR_SUCCESS) return s;
  DWORD type = REG_NONE;
  LSTATUS s = RegQueryValueEx(sub, valueName, &type, text);
  RegCloseKey(sub);
  if (s == ERROR_SUCCESS && type != REG_SZ) return ERROR_INVALID_DATA;
  return s;
}

LSTATUS RegEnumKeyEx(HKEY key, DWORD index, std::u16string* name) {
  if (!ValidHandle(key) || !name) return ERROR_INVALID_PARAMETER;
  return ReadOp([&](const RegistryKeyNode& root) -> LSTATUS {
    const RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    if (index >= node->subkeys.size()) return ERROR_NO_MORE_ITEMS;
    *name = node->subkeys[index].name;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegEnumValue(HKEY key, DWORD index, std::u16string* name, DWORD* type) {
  if (!ValidHandle(key) || !name) return ERROR_INVALID_PARAMETER;
  return ReadOp([&](const RegistryKeyNode& root) -> LSTATUS {
    const RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    if (index >= node->values.size()) return ERROR_NO_MORE_ITEMS;
    *name = node->values[index].name;
    if (type) *type = node->values[index].type;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegQueryInfoKey(HKEY key, DWORD* subKeys, DWORD* values) {
  if (!ValidHandle(key)) return ERROR_INVALID_HANDLE;
  return ReadOp([&](const RegistryKeyNode& root) -> LSTATUS {
    const RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    if (subKeys) *subKeys = static_cast<DWORD>(node->subkeys.size());
    if (values) *values = static_cast<DWORD>(node->values.size());
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteValue(HKEY key, std::u16string_view valueName) {
  if (!ValidHandle(key)) return ERROR_INVALID_HANDLE;
  return WriteOp([&](RegistryKeyNode& root) -> LSTATUS {
    RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    return node->RemoveValue(valueName) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
  });
}

namespace {
LSTATUS DeleteKey(HKEY key, std::u16string_view subKey, bool tree) {
  if (!ValidHandle(key)) return ERROR_INVALID_HANDLE;
  std::vector<std::u16string> parts;
  if (!SplitPath(subKey, &parts)) return ERROR_INVALID_PARAMETER;
  if (parts.empty() && !tree) return ERROR_INVALID_PARAMETER;
  return WriteOp([&](RegistryKeyNode& root) -> LSTATUS {
    RegistryKeyNode* node = Resolve(root, key->path);
    if (!node) return ERROR_KEY_DELETED;
    if (parts.empty()) {
      node->subkeys.clear();
      node->values.clear();
      return ERROR_SUCCESS;
    }
    for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
      node = node->FindSubkey(parts[i]);
      if (!node) return ERROR_FILE_NOT_FOUND;
    }
    RegistryKeyNode* target = node->FindSubkey(parts.back());
    if (!target) return ERROR_FILE_NOT_FOUND;
    if (!tree && !target->subkeys.empty()) return ERROR_ACCESS_DENIED;
    node->RemoveSubkey(parts.back());
    return ERROR_SUCCESS;
  });
}
}  // namespace

LSTATUS RegDeleteKey(HKEY key, std::u16string_view subKey) { return DeleteKey(key, subKey, false); }

LSTATUS RegDeleteTree(HKEY key, std::u16string_view subKey) { return DeleteKey(key, subKey, true); }

// --- CRegKey ----------------------------------------------------------------------------------------------------

CRegKey& CRegKey::operator=(CRegKey&& other) noexcept {
  if (this != &other) Attach(other.Detach());
  return *this;
}

LSTATUS CRegKey::Create(HKEY parent, std::u16string_view name, DWORD* disposition) {
  HKEY key = nullptr;
  LSTATUS s = RegCreateKeyEx(parent, name, &key, disposition);
  if (s == ERROR_SUCCESS) Attach(key);
  return s;
}

LSTATUS CRegKey::Open(HKEY parent, std::u16string_view name) {
  HKEY key = nullptr;
  LSTATUS s = RegOpenKeyEx(parent, name, &key);
  if (s == ERROR_SUCCESS) Attach(key);
  return s;
}

LSTATUS CRegKey::Close() {
  LSTATUS s = ERROR_SUCCESS;
  if (m_hKey) s = RegCloseKey(m_hKey);
  m_hKey = nullptr;
  return s;
}

HKEY CRegKey::Detach() { return std::exchange(m_hKey, nullptr); }

void CRegKey::Attach(HKEY key) {
  Close();
  m_hKey = key;
}

LSTATUS CRegKey::SetStringValue(std::u16string_view name, std::u16string_view text) {
  return RegSetStringValue(m_hKey, name, text);
}

LSTATUS CRegKey::QueryStringValue(std::u16string_view name, std::u16string* text) const {
  DWORD type = REG_NONE;
  LSTATUS s = RegQueryValueEx(m_hKey, name, &type, text);
  if (s == ERROR_SUCCESS && type != REG_SZ) return ERROR_INVALID_DATA;
  return s;
}

LSTATUS CRegKey::SetDWORDValue(std::u16string_view name, DWORD number) { return RegSetDwordValue(m_hKey, name, number); }

LSTATUS CRegKey::QueryDWORDValue(std::u16string_view name, DWORD* number) const {
  DWORD type = REG_NONE;
  LSTATUS s = RegQueryValueEx(m_hKey, name, &type, nullptr, number);
  if (s == ERROR_SUCCESS && type != REG_DWORD) return ERROR_INVALID_DATA;
  return s;
}

LSTATUS CRegKey::SetKeyValue(std::u16string_view subKey, std::u16string_view text, std::u16string_view valueName) {
  CRegKey sub;
  if (LSTATUS s = sub.Create(m_hKey, subKey); s != ERROR_SUCCESS) return s;
  return sub.SetStringValue(valueName, text);
}

LSTATUS CRegKey::DeleteValue(std::u16string_view name) { return RegDeleteValue(m_hKey, name); }

LSTATUS CRegKey::DeleteSubKey(std::u16string_view name) { return RegDeleteKey(m_hKey, name); }

LSTATUS CRegKey::RecurseDeleteKey(std::u16string_view name) {
  if (name.empty()) return ERROR_INVALID_PARAMETER;
  return RegDeleteTree(m_hKey, name);
}

LSTATUS CRegKey::EnumKey(DWORD index, std::u16string* name) const { return RegEnumKeyEx(m_hKey, index, name); }
