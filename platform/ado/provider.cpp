#include "platform/ado/provider.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <system_error>

#include "platform/com/utf.h"

namespace ado {
namespace {

char16_t LowerAscii(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

std::u16string Trim(std::u16string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return std::u16string(s.substr(b, e - b));
}

struct Registry {
  std::mutex mutex;
  std::vector<std::pair<std::u16string, Provider*>> providers;
};
Registry& Providers() {
  static Registry* r = new Registry;  // providers register from static objects; never destroyed
  return *r;
}

}  // namespace

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

namespace {
std::uint32_t HashNoCase(std::u16string_view name) {
  std::uint32_t h = 2166136261u;
  for (char16_t c : name) h = (h ^ LowerAscii(c)) * 16777619u;
  return h;
}
}  // namespace

std::shared_ptr<const ColumnIndex> ColumnIndex::Build(const std::vector<ColumnInfo>& columns) {
  auto index = std::make_shared<ColumnIndex>();
  std::size_t size = 8;
  while (size < columns.size() * 2) size *= 2;
  index->slots_.assign(size, 0);
  index->names_.reserve(columns.size());
  for (std::size_t i = 0; i < columns.size(); ++i) {
    index->names_.push_back(columns[i].name);
    if (index->Find(columns[i].name) != npos) continue;  // an earlier column of that name wins
    std::size_t slot = HashNoCase(columns[i].name) & (size - 1);
    while (index->slots_[slot] != 0) slot = (slot + 1) & (size - 1);
    index->slots_[slot] = static_cast<std::uint32_t>(i + 1);
  }
  return index;
}

std::size_t ColumnIndex::Find(std::u16string_view name) const {
  if (slots_.empty()) return npos;
  std::size_t mask = slots_.size() - 1;
  for (std::size_t slot = HashNoCase(name) & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
    std::size_t column = slots_[slot] - 1;
    if (EqualsNoCase(names_[column], name)) return column;
  }
  return npos;
}

const std::u16string* ConnectionProperties::Find(std::u16string_view key) const {
  const std::u16string* found = nullptr;
  for (const auto& [k, v] : pairs)
    if (EqualsNoCase(k, key)) found = &v;
  return found;
}

ConnectionProperties ParseConnectionString(std::u16string_view text) {
  ConnectionProperties props;
  std::size_t i = 0, n = text.size();
  while (i < n) {
    std::size_t eq = i;
    while (eq < n && text[eq] != u'=' && text[eq] != u';') ++eq;
    if (eq >= n || text[eq] == u';') {  // a part without '=' is ignored
      i = eq + 1;
      continue;
    }
    std::u16string key = Trim(text.substr(i, eq - i));
    std::size_t j = eq + 1;
    while (j < n && IsBlank(text[j]) ) ++j;
    std::u16string value;
    if (j < n && (text[j] == u'"' || text[j] == u'\'')) {
      char16_t quote = text[j++];
      while (j < n) {
        if (text[j] == quote) {
          if (j + 1 < n && text[j + 1] == quote) {
            value += quote;
            j += 2;
            continue;
          }
          ++j;
          break;
        }
        value += text[j++];
      }
      while (j < n && text[j] != u';') ++j;  // anything after the closing quote is dropped
    } else {
      std::size_t end = j;
      while (end < n && text[end] != u';') ++end;
      value = Trim(text.substr(j, end - j));
      j = end;
    }
    if (!key.empty()) props.pairs.emplace_back(std::move(key), std::move(value));
    i = j + 1;
  }
  return props;
}

void RegisterProvider(std::u16string_view kind, Provider* provider) {
  auto& r = Providers();
  std::lock_guard lock(r.mutex);
  for (auto& entry : r.providers) {
    if (EqualsNoCase(entry.first, kind)) {
      entry.second = provider;
      return;
    }
  }
  r.providers.emplace_back(std::u16string(kind), provider);
}

Provider* FindProvider(std::u16string_view kind) {
  auto& r = Providers();
  std::lock_guard lock(r.mutex);
  for (auto& entry : r.providers)
    if (EqualsNoCase(entry.first, kind)) return entry.second;
  return nullptr;
}

std::u16string ProviderKindFor(std::u16string_view dataSource) {
  if (dataSource.size() >= 7 && EqualsNoCase(dataSource.substr(0, 7), u"sqlite:")) return u"sqlite";
  if (dataSource.size() >= 5 && EqualsNoCase(dataSource.substr(0, 5), u"odbc:")) return u"odbc";
  if (!dataSource.empty()) {
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(Utf16ToUtf8(dataSource)), ec)) return u"sqlite";
  }
  return u"odbc";
}

}  // namespace ado
