#include "platform/com/versioninfo.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <bit>
#include <cerrno>
#include <cstring>
#include <iterator>

#include "platform/com/utf.h"

namespace {

constexpr std::size_t kMaxSectionBytes = 1u << 20;
constexpr std::size_t kMaxNameTableBytes = 16u << 20;
constexpr std::size_t kMaxPathParts = 8;

thread_local VersionInfoError t_error;

WORD Word(std::span<const BYTE> b, std::size_t at) { return static_cast<WORD>(b[at] | (b[at + 1] << 8)); }
DWORD Dword(std::span<const BYTE> b, std::size_t at) { return DWORD{Word(b, at)} | (DWORD{Word(b, at + 2)} << 16); }
std::size_t Align4(std::size_t n) { return (n + 3) & ~std::size_t{3}; }

char16_t Fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c; }
bool SameKey(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Fold(a[i]) != Fold(b[i])) return false;
  return true;
}

struct Node {
  std::size_t offset = 0;
  std::size_t end = 0;  // offset + wLength
  WORD type = 0;
  WORD valueLength = 0;
  std::u16string key;
  std::size_t value = 0;  // offset of the value
  std::size_t valueBytes = 0;
  std::size_t children = 0;  // offset of the first child
};

// Reads the structure at `offset`, which must lie within [offset, limit).
bool ReadNode(std::span<const BYTE> b, std::size_t offset, std::size_t limit, Node* n, std::string* error) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what + " at byte " + std::to_string(offset);
    return false;
  };
  if (limit > b.size() || offset > limit || limit - offset < 6) return fail("a structure is cut short");
  WORD length = Word(b, offset);
  if (length < 6 || length > limit - offset) return fail("a structure has a bad length");
  n->offset = offset;
  n->end = offset + length;
  n->valueLength = Word(b, offset + 2);
  n->type = Word(b, offset + 4);
  if (n->type > 1) return fail("a structure has a bad type");
  n->key.clear();
  std::size_t at = offset + 6;
  while (true) {
    if (at + 2 > n->end) return fail("a key is not terminated");
    char16_t c = Word(b, at);
    at += 2;
    if (c == 0) break;
    n->key.push_back(c);
  }
  n->value = std::min(Align4(at), n->end);
  n->valueBytes = n->type == 1 ? std::size_t{n->valueLength} * 2 : n->valueLength;
  if (n->valueBytes > n->end - n->value) return fail("a value runs past its structure");
  n->children = std::min(Align4(n->value + n->valueBytes), n->end);
  return true;
}

template <class F>
bool ForEachChild(std::span<const BYTE> b, const Node& parent, std::string* error, F f) {
  std::size_t at = parent.children;
  // Trailing padding of fewer than 6 bytes is not a structure.
  while (at < parent.end && parent.end - at >= 6) {
    Node child;
    if (!ReadNode(b, at, parent.end, &child, error)) return false;
    if (!f(child)) return false;
    at = Align4(child.end);
  }
  return true;
}

std::u16string Text(std::span<const BYTE> b, const Node& n) {
  std::u16string text;
  for (std::size_t i = 0; i + 1 < n.valueBytes; i += 2) text.push_back(Word(b, n.value + i));
  while (!text.empty() && text.back() == 0) text.pop_back();
  return text;
}

bool Fail(DWORD code, std::string message) {
  t_error = VersionInfoError{code, std::move(message)};
  return false;
}

// --- ELF --------------------------------------------------------------------------------------------------------

class File {
 public:
  explicit File(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
  ~File() {
    if (fd_ >= 0) ::close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  int fd() const { return fd_; }
  std::uint64_t size = 0;

  bool Read(std::uint64_t offset, void* buffer, std::size_t count) const {
    if (offset > size || count > size - offset) return false;
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
      ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

 private:
  int fd_;
};

struct SectionHeader {
  std::uint32_t name = 0;
  std::uint32_t type = 0;
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
  std::uint32_t link = 0;
};

template <class Ehdr, class Shdr>
HRESULT ReadSection(const File& f, const std::string& path, const char* wanted, std::vector<BYTE>* out,
                    std::string* error) {
  auto bad = [&](const std::string& what) {
    *error = path + " is not a readable ELF file: " + what;
    return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
  };
  Ehdr eh;
  if (!f.Read(0, &eh, sizeof eh)) return bad("the file header is cut short");
  if (eh.e_shoff == 0) {
    *error = path + " has no section headers, so no version resource";
    return HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);
  }
  if (eh.e_shentsize < sizeof(Shdr)) return bad("the section header size is wrong");
  auto header = [&](std::uint64_t index, SectionHeader* sh) {
    Shdr raw;
    if (!f.Read(eh.e_shoff + index * eh.e_shentsize, &raw, sizeof raw)) return false;
    *sh = SectionHeader{raw.sh_name, raw.sh_type, raw.sh_offset, raw.sh_size, raw.sh_link};
    return true;
  };
  SectionHeader first;
  if (!header(0, &first)) return bad("the section headers lie outside the file");
  std::uint64_t count = eh.e_shnum != 0 ? eh.e_shnum : first.size;
  std::uint64_t names = eh.e_shstrndx != SHN_XINDEX ? eh.e_shstrndx : first.link;
  if (eh.e_shoff > f.size || count > (f.size - eh.e_shoff) / eh.e_shentsize)
    return bad("the section headers lie outside the file");
  if (names >= count) return bad("the section name table is missing");
  SectionHeader nameSection;
  if (!header(names, &nameSection)) return bad("the section name table is missing");
  if (nameSection.size > kMaxNameTableBytes) return bad("the section name table is too large");
  std::vector<char> table(static_cast<std::size_t>(nameSection.size));
  if (!f.Read(nameSection.offset, table.data(), table.size())) return bad("the section name table lies outside the file");
  std::size_t wantedLength = std::strlen(wanted);
  for (std::uint64_t i = 0; i < count; ++i) {
    SectionHeader sh;
    if (!header(i, &sh)) return bad("a section header lies outside the file");
    if (sh.name >= table.size()) continue;
    const char* name = table.data() + sh.name;
    std::size_t room = table.size() - sh.name;
    if (strnlen(name, room) != wantedLength || std::memcmp(name, wanted, wantedLength) != 0) continue;
    if (sh.type == SHT_NOBITS || sh.size == 0) {
      *error = path + ": the version section is empty";
      return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    if (sh.size > kMaxSectionBytes) {
      *error = path + ": the version section is larger than 1 MiB";
      return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    }
    out->resize(static_cast<std::size_t>(sh.size));
    if (!f.Read(sh.offset, out->data(), out->size())) return bad("the version section lies outside the file");
    return S_OK;
  }
  *error = path + " has no version resource (no " + wanted + " section)";
  return HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND);
}

}  // namespace

bool ParseVersionInfo(std::span<const BYTE> b, ParsedVersionInfo* info, std::string* error) {
  *info = ParsedVersionInfo{};
  Node root;
  if (!ReadNode(b, 0, b.size(), &root, error)) return false;
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return false;
  };
  if (root.key != u"VS_VERSION_INFO") return fail("the block does not begin with VS_VERSION_INFO");
  if (root.valueBytes < sizeof(VS_FIXEDFILEINFO)) return fail("the fixed file information is missing");
  if (Dword(b, root.value) != VS_FFI_SIGNATURE)
    return fail("the fixed file information does not carry the signature 0xFEEF04BD");
  std::array<DWORD, sizeof(VS_FIXEDFILEINFO) / 4> fields;
  static_assert(sizeof fields == sizeof(VS_FIXEDFILEINFO));
  for (std::size_t i = 0; i < fields.size(); ++i) fields[i] = Dword(b, root.value + 4 * i);
  info->fixed = std::bit_cast<VS_FIXEDFILEINFO>(fields);
  info->length = root.end;
  bool ok = ForEachChild(b, root, error, [&](const Node& child) {
    if (SameKey(child.key, u"StringFileInfo")) {
      return ForEachChild(b, child, error, [&](const Node& table) {
        return ForEachChild(b, table, error, [&](const Node& s) {
          if (s.type != 1) return fail("a version string is not text");
          info->strings.push_back({table.key, s.key, Text(b, s)});
          return true;
        });
      });
    }
    if (SameKey(child.key, u"VarFileInfo")) {
      return ForEachChild(b, child, error, [&](const Node& var) {
        if (SameKey(var.key, u"Translation"))
          for (std::size_t i = 0; i + 4 <= var.valueBytes; i += 4) info->translations.push_back(Dword(b, var.value + i));
        return true;
      });
    }
    return true;
  });
  return ok;
}

HRESULT ReadVersionResource(const std::string& path, std::vector<BYTE>* block, std::string* error) {
  block->clear();
  std::string ignored;
  if (!error) error = &ignored;
  File f(path);
  if (f.fd() < 0) {
    int err = errno;
    *error = "cannot open " + path + ": " + std::strerror(err);
    return HRESULT_FROM_WIN32(err == ENOENT || err == ENOTDIR ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
  }
  struct stat st{};
  if (::fstat(f.fd(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = path + " is not a regular file";
    return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
  }
  f.size = static_cast<std::uint64_t>(st.st_size);
  unsigned char ident[EI_NIDENT];
  if (!f.Read(0, ident, sizeof ident) || std::memcmp(ident, ELFMAG, SELFMAG) != 0) {
    *error = path + " is not an ELF file";
    return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
  }
  if (ident[EI_DATA] != ELFDATA2LSB) {
    *error = path + " is not a little-endian ELF file";
    return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
  }
  HRESULT hr;
  if (ident[EI_CLASS] == ELFCLASS64)
    hr = ReadSection<Elf64_Ehdr, Elf64_Shdr>(f, path, kVersionSectionName, block, error);
  else if (ident[EI_CLASS] == ELFCLASS32)
    hr = ReadSection<Elf32_Ehdr, Elf32_Shdr>(f, path, kVersionSectionName, block, error);
  else {
    *error = path + " is an ELF file of an unknown class";
    return HRESULT_FROM_WIN32(ERROR_BAD_FORMAT);
  }
  if (FAILED(hr)) {
    block->clear();
    return hr;
  }
  ParsedVersionInfo info;
  std::string why;
  if (!ParseVersionInfo(*block, &info, &why)) {
    block->clear();
    *error = path + ": the version resource is damaged: " + why;
    return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
  }
  block->resize(info.length);
  return S_OK;
}

DWORD GetFileVersionInfoSize(const std::string& path, DWORD* handle) {
  if (handle) *handle = 0;
  std::vector<BYTE> block;
  std::string error;
  HRESULT hr = ReadVersionResource(path, &block, &error);
  if (FAILED(hr)) {
    Fail(HRESULT_CODE(hr), error);
    return 0;
  }
  t_error = {};
  return static_cast<DWORD>(block.size());
}

bool GetFileVersionInfo(const std::string& path, DWORD, DWORD length, void* data) {
  if (!data) return Fail(ERROR_INVALID_PARAMETER, "no buffer for the version information of " + path);
  std::vector<BYTE> block;
  std::string error;
  HRESULT hr = ReadVersionResource(path, &block, &error);
  if (FAILED(hr)) return Fail(HRESULT_CODE(hr), error);
  if (length < block.size())
    return Fail(ERROR_INSUFFICIENT_BUFFER, "the version information of " + path + " needs " +
                                               std::to_string(block.size()) + " bytes");
  std::memcpy(data, block.data(), block.size());
  t_error = {};
  return true;
}

bool VerQueryValue(const void* data, std::u16string_view subBlock, const void** buffer, UINT* length) {
  if (buffer) *buffer = nullptr;
  if (length) *length = 0;
  if (!data || !buffer || !length) return Fail(ERROR_INVALID_PARAMETER, "VerQueryValue needs a block and outputs");
  const auto* bytes = static_cast<const BYTE*>(data);
  std::size_t total = static_cast<std::size_t>(bytes[0] | (bytes[1] << 8));
  std::span<const BYTE> b(bytes, total);
  Node node;
  if (!ReadNode(b, 0, b.size(), &node, nullptr) || node.key != u"VS_VERSION_INFO")
    return Fail(ERROR_INVALID_DATA, "not a version block");
  std::vector<std::u16string_view> parts;
  std::size_t start = 0;
  while (start <= subBlock.size()) {
    std::size_t end = subBlock.find(u'\\', start);
    if (end == std::u16string_view::npos) end = subBlock.size();
    if (end > start) parts.push_back(subBlock.substr(start, end - start));
    start = end + 1;
  }
  if (parts.size() > kMaxPathParts)
    return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, "no such version value");
  for (auto part : parts) {
    Node found;
    bool hit = false;
    if (!ForEachChild(b, node, nullptr, [&](const Node& child) {
          if (!hit && SameKey(child.key, part)) {
            found = child;
            hit = true;
          }
          return true;
        }))
      return Fail(ERROR_INVALID_DATA, "the version block is damaged");
    if (!hit) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, "no version value " + Utf16ToUtf8(subBlock));
    node = found;
  }
  if (node.valueBytes == 0) return Fail(ERROR_RESOURCE_TYPE_NOT_FOUND, "no version value " + Utf16ToUtf8(subBlock));
  *buffer = bytes + node.value;
  *length = node.type == 1 ? node.valueLength : static_cast<UINT>(node.valueBytes);
  t_error = {};
  return true;
}

VersionInfoError VersionInfoLastError() { return t_error; }
