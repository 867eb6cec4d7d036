#include "platform/registry/registrar.h"

#include "platform/com/errortext.h"
#include "platform/com/utf.h"
#include "platform/registry/registry.h"
#include "platform/registry/store.h"

namespace {

using Item = RegistryScriptItem;
using Flag = RegistryScriptItem::Flag;

bool IsSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f' || c == u'\v'; }

bool Is(std::u16string_view token, std::u16string_view keyword) { return RegistryNamesEqual(token, keyword); }

std::string Line(int line) { return "line " + std::to_string(line) + ": "; }

std::string Show(std::u16string_view text) {
  constexpr std::size_t kMax = 60;
  std::string out = Utf16ToUtf8(text.substr(0, kMax));
  if (text.size() > kMax) out += "...";
  return "'" + out + "'";
}

struct Token {
  std::u16string text;
  bool quoted = false;
  int line = 1;
  bool Structural(char16_t c) const { return !quoted && text.size() == 1 && text[0] == c; }
  bool AnyStructural() const { return Structural(u'{') || Structural(u'}') || Structural(u'='); }
};

class Parser {
 public:
  explicit Parser(std::u16string_view text) : text_(text) {}

  HRESULT Parse(RegistryScript* script, std::string* error) {
    Token t;
    while (true) {
      bool more = false;
      if (!Next(&t, &more)) return Fail(error);
      if (!more) return S_OK;
      if (t.quoted || t.AnyStructural()) {
        error_ = Line(t.line) + "expected a root key (HKCR), found " + Show(t.text);
        return Fail(error);
      }
      if (!Is(t.text, u"HKCR") && !Is(t.text, u"HKEY_CLASSES_ROOT")) {
        static constexpr std::u16string_view kOtherRoots[] = {
            u"HKCU", u"HKLM", u"HKU", u"HKCC", u"HKPD", u"HKDD", u"HKEY_CURRENT_USER", u"HKEY_LOCAL_MACHINE",
            u"HKEY_USERS", u"HKEY_CURRENT_CONFIG", u"HKEY_PERFORMANCE_DATA", u"HKEY_DYN_DATA"};
        bool known = false;
        for (auto r : kOtherRoots) known = known || Is(t.text, r);
        error_ = Line(t.line) + (known ? "the root key " + Show(t.text) +
                                             " is not available: this registry holds HKEY_CLASSES_ROOT only"
                                       : "expected a root key (HKCR), found " + Show(t.text));
        return Fail(error);
      }
      Token open;
      if (!Next(&open, &more)) return Fail(error);
      if (!more || !open.Structural(u'{')) {
        error_ = Line(more ? open.line : line_) + "expected '{' after " + Show(t.text);
        return Fail(error);
      }
      Item root;
      root.name = u"HKEY_CLASSES_ROOT";
      root.line = t.line;
      if (!Items(&root.children, 0, t.line)) return Fail(error);
      script->roots.push_back(std::move(root));
    }
  }

 private:
  HRESULT Fail(std::string* error) {
    if (error) *error = error_;
    return kRegistrarScriptError;
  }

  // False on a lexical error (error_ set); `more` is false at the end of the text.
  bool Next(Token* t, bool* more) {
    while (pos_ < text_.size() && IsSpace(text_[pos_])) {
      if (text_[pos_] == u'\n') ++line_;
      ++pos_;
    }
    *more = pos_ < text_.size();
    if (!*more) return true;
    t->text.clear();
    t->line = line_;
    if (text_[pos_] == u'\'') {
      t->quoted = true;
      ++pos_;
      while (true) {
        if (pos_ >= text_.size()) {
          error_ = Line(t->line) + "a quoted text is not closed";
          return false;
        }
        char16_t c = text_[pos_];
        if (c == u'\'') {
          if (pos_ + 1 < text_.size() && text_[pos_ + 1] == u'\'') {
            t->text.push_back(u'\'');
            pos_ += 2;
            continue;
          }
          ++pos_;
          break;
        }
        if (c == u'\n') ++line_;
        t->text.push_back(c);
        ++pos_;
      }
      return true;
    }
    t->quoted = false;
    while (pos_ < text_.size() && !IsSpace(text_[pos_])) t->text.push_back(text_[pos_++]);
    return true;
  }

  bool Peek(Token* t, bool* more) {
    std::size_t pos = pos_;
    int line = line_;
    bool ok = Next(t, more);
    pos_ = pos;
    line_ = line;
    return ok;
  }

  bool ExpectName(const char* what, Token* t) {
    bool more = false;
    if (!Next(t, &more)) return false;
    if (!more) {
      error_ = Line(line_) + "the script ends where " + what + " was expected";
      return false;
    }
    if (t->AnyStructural()) {
      error_ = Line(t->line) + "expected " + what + ", found " + Show(t->text);
      return false;
    }
    return true;
  }

  bool Value(RegistryScriptValue* value) {
    Token type;
    if (!ExpectName("a value type (s or d)", &type)) return false;
    if (type.quoted) {
      error_ = Line(type.line) + "expected a value type (s or d), found " + Show(type.text);
      return false;
    }
    if (Is(type.text, u"m") || Is(type.text, u"b")) {
      error_ = Line(type.line) + "the value type " + Show(type.text) +
               " (multi-string or binary) is not supported: use s or d";
      return false;
    }
    bool number = Is(type.text, u"d");
    if (!number && !Is(type.text, u"s")) {
      error_ = Line(type.line) + "expected a value type (s or d), found " + Show(type.text);
      return false;
    }
    Token v;
    if (!ExpectName("a value", &v)) return false;
    if (!number) {
      std::string why;
      if (!RegistryValidText(v.text, &why)) {
        error_ = Line(v.line) + "bad text value: " + why;
        return false;
      }
      value->type = 1;
      value->text = std::move(v.text);
      return true;
    }
    if (!ParseNumber(v.text, &value->number)) {
      error_ = Line(v.line) + "expected a number from 0 to 4294967295 (decimal or 0x hex), found " + Show(v.text);
      return false;
    }
    value->type = 4;
    return true;
  }

  static bool ParseNumber(std::u16string_view s, DWORD* out) {
    unsigned base = 10;
    if (s.size() > 2 && s[0] == u'0' && (s[1] == u'x' || s[1] == u'X')) {
      base = 16;
      s.remove_prefix(2);
    }
    if (s.empty()) return false;
    std::uint64_t n = 0;
    for (char16_t c : s) {
      unsigned digit;
      if (c >= u'0' && c <= u'9') digit = c - u'0';
      else if (base == 16 && c >= u'a' && c <= u'f') digit = c - u'a' + 10;
      else if (base == 16 && c >= u'A' && c <= u'F') digit = c - u'A' + 10;
      else return false;
      n = n * base + digit;
      if (n > 0xFFFFFFFFu) return false;
    }
    *out = static_cast<DWORD>(n);
    return true;
  }

  // Items up to the '}' that closes the brace opened on `openLine`.
  bool Items(std::vector<Item>* items, std::size_t depth, int openLine) {
    while (true) {
      Token t;
      bool more = false;
      if (!Next(&t, &more)) return false;
      if (!more) {
        error_ = Line(line_) + "the script ends before the '{' of line " + std::to_string(openLine) + " is closed";
        return false;
      }
      if (t.Structural(u'}')) return true;
      if (t.AnyStructural()) {
        error_ = Line(t.line) + "expected a key name, found " + Show(t.text);
        return false;
      }
      Item item;
      item.line = t.line;
      if (!t.quoted) {
        if (Is(t.text, u"ForceRemove")) item.flag = Flag::ForceRemove;
        else if (Is(t.text, u"NoRemove")) item.flag = Flag::NoRemove;
        else if (Is(t.text, u"Delete")) item.flag = Flag::Delete;
      }
      if (item.flag != Flag::None) {
        std::u16string keyword = t.text;
        if (!ExpectName("a key name", &t)) return false;
        if (!t.quoted && (Is(t.text, u"ForceRemove") || Is(t.text, u"NoRemove") || Is(t.text, u"Delete") ||
                          Is(t.text, u"val"))) {
          error_ = Line(t.line) + Show(t.text) + " cannot follow " + Show(keyword) +
                   " (quote it to use it as a key name)";
          return false;
        }
      }
      if (!t.quoted && item.flag == Flag::None && Is(t.text, u"val")) {
        item.isValue = true;
        if (!ExpectName("a value name", &t)) return false;
        std::string why;
        if (!RegistryValidValueName(t.text, &why)) {
          error_ = Line(t.line) + "bad value name " + Show(t.text) + ": " + why;
          return false;
        }
        item.name = std::move(t.text);
        Token eq;
        if (!Next(&eq, &more)) return false;
        if (!more || !eq.Structural(u'=')) {
          error_ = Line(more ? eq.line : line_) + "expected '=' after the value name " + Show(item.name);
          return false;
        }
        if (!Value(&item.value)) return false;
        item.hasValue = true;
        items->push_back(std::move(item));
        continue;
      }
      std::string why;
      if (!RegistryValidKeyName(t.text, &why)) {
        error_ = Line(t.line) + "bad key name " + Show(t.text) + ": " + why;
        return false;
      }
      item.name = std::move(t.text);
      Token next;
      if (!Peek(&next, &more)) return false;
      if (more && next.Structural(u'=')) {
        Next(&next, &more);
        if (!Value(&item.value)) return false;
        item.hasValue = true;
        if (!Peek(&next, &more)) return false;
      }
      if (more && next.Structural(u'{')) {
        Next(&next, &more);
        if (depth + 1 >= kRegMaxDepth) {
          error_ = Line(next.line) + "keys are nested deeper than " + std::to_string(kRegMaxDepth) + " levels";
          return false;
        }
        if (!Items(&item.children, depth + 1, next.line)) return false;
      }
      items->push_back(std::move(item));
    }
  }

  std::u16string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::string error_;
};

std::string KeyPath(const std::u16string& parent, std::u16string_view name) {
  return Utf16ToUtf8(parent) + "\\" + Utf16ToUtf8(name);
}

std::string StatusText(LSTATUS status) {
  HRESULT hr = HResultFromRegistry(status);
  RegistryFault fault = RegistryLastFault();
  if (FAILED(fault.hr) && fault.hr == hr) return fault.message;
  std::u16string text;
  if (SystemMessageText(hr, &text)) {
    while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r')) text.pop_back();
    return Utf16ToUtf8(text);
  }
  return "error " + std::to_string(status);
}

bool HoldsNoRemove(const std::vector<Item>& items) {
  for (const auto& i : items)
    if (!i.isValue && (i.flag == Flag::NoRemove || HoldsNoRemove(i.children))) return true;
  return false;
}

class Runner {
 public:
  std::string error;

  HRESULT Register(HKEY parent, const std::u16string& path, const std::vector<Item>& items) {
    for (const auto& item : items) {
      if (item.isValue) {
        if (HRESULT hr = SetValue(parent, path, item.name, item.value); FAILED(hr)) return hr;
        continue;
      }
      if (item.flag == Flag::Delete || item.flag == Flag::ForceRemove) {
        LSTATUS s = RegDeleteTree(parent, item.name);
        if (s != ERROR_SUCCESS && s != static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND))
          return Failed(s, "cannot delete the key " + KeyPath(path, item.name), item.line);
        if (item.flag == Flag::Delete) continue;
      }
      CRegKey key;
      if (LSTATUS s = key.Create(parent, item.name); s != ERROR_SUCCESS)
        return Failed(s, "cannot create the key " + KeyPath(path, item.name), item.line);
      std::u16string childPath = path + u"\\" + item.name;
      if (item.hasValue)
        if (HRESULT hr = SetValue(key, childPath, u"", item.value); FAILED(hr)) return hr;
      if (HRESULT hr = Register(key, childPath, item.children); FAILED(hr)) return hr;
    }
    return S_OK;
  }

  HRESULT Unregister(HKEY parent, const std::u16string& path, const std::vector<Item>& items) {
    for (const auto& item : items) {
      if (item.isValue) {
        LSTATUS s = RegDeleteValue(parent, item.name);
        if (s != ERROR_SUCCESS && s != static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND))
          return Failed(s, "cannot delete the value " + Utf16ToUtf8(item.name) + " of " + Utf16ToUtf8(path),
                        item.line);
        continue;
      }
      if (item.flag == Flag::Delete) continue;
      CRegKey key;
      if (LSTATUS s = key.Open(parent, item.name); s != ERROR_SUCCESS) {
        if (s == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) continue;
        return Failed(s, "cannot open the key " + KeyPath(path, item.name), item.line);
      }
      std::u16string childPath = path + u"\\" + item.name;
      bool keep = item.flag == Flag::NoRemove;
      if (keep || HoldsNoRemove(item.children)) {
        if (HRESULT hr = Unregister(key, childPath, item.children); FAILED(hr)) return hr;
        if (keep) continue;
        DWORD subKeys = 0;
        if (LSTATUS s = RegQueryInfoKey(key, &subKeys, nullptr); s != ERROR_SUCCESS)
          return Failed(s, "cannot read the key " + KeyPath(path, item.name), item.line);
        if (subKeys != 0) continue;
      }
      key.Close();
      if (LSTATUS s = RegDeleteTree(parent, item.name); s != ERROR_SUCCESS)
        return Failed(s, "cannot delete the key " + KeyPath(path, item.name), item.line);
    }
    return S_OK;
  }

 private:
  HRESULT SetValue(HKEY key, const std::u16string& path, const std::u16string& name, const RegistryScriptValue& v) {
    LSTATUS s = v.type == REG_DWORD ? RegSetDwordValue(key, name, v.number) : RegSetStringValue(key, name, v.text);
    if (s == ERROR_SUCCESS) return S_OK;
    return Failed(s, "cannot set the " + (name.empty() ? std::string("default value") : "value " + Utf16ToUtf8(name)) +
                         " of " + Utf16ToUtf8(path),
                  0);
  }

  HRESULT Failed(LSTATUS status, const std::string& what, int line) {
    error = (line > 0 ? Line(line) : std::string()) + what + ": " + StatusText(status);
    return HResultFromRegistry(status);
  }
};

}  // namespace

HRESULT ExpandRegistryScript(std::u16string_view text, const RegistryReplacements& replacements,
                             std::u16string* expanded, std::string* error) {
  expanded->clear();
  expanded->reserve(text.size());
  int line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    if (c == u'\n') ++line;
    if (c != u'%') {
      expanded->push_back(c);
      continue;
    }
    std::size_t close = text.find(u'%', i + 1);
    if (close == std::u16string_view::npos) {
      if (error) *error = Line(line) + "a '%' has no closing '%' (write %% for a percent sign)";
      return kRegistrarScriptError;
    }
    std::u16string_view name = text.substr(i + 1, close - i - 1);
    if (name.empty()) {
      expanded->push_back(u'%');
    } else {
      const std::u16string* found = nullptr;
      for (const auto& [key, item] : replacements)
        if (RegistryNamesEqual(key, name)) found = &item;
      if (!found) {
        if (error) *error = Line(line) + "unknown replacement %" + Utf16ToUtf8(name) + "%";
        return kRegistrarScriptError;
      }
      expanded->append(*found);
    }
    i = close;
  }
  return S_OK;
}

HRESULT ParseRegistryScript(std::u16string_view text, RegistryScript* script, std::string* error) {
  script->roots.clear();
  Parser parser(text);
  return parser.Parse(script, error);
}

HRESULT CRegObject::AddReplacement(std::u16string_view key, std::u16string_view item) {
  if (key.empty()) return E_INVALIDARG;
  for (auto& [k, v] : replacements_) {
    if (RegistryNamesEqual(k, key)) {
      v = std::u16string(item);
      return S_OK;
    }
  }
  replacements_.emplace_back(std::u16string(key), std::u16string(item));
  return S_OK;
}

HRESULT CRegObject::ClearReplacements() {
  replacements_.clear();
  return S_OK;
}

HRESULT CRegObject::StringRegister(std::u16string_view script) { return Run(script, true); }
HRESULT CRegObject::StringUnregister(std::u16string_view script) { return Run(script, false); }
HRESULT CRegObject::StringRegister(std::string_view script) { return Run(Utf8ToUtf16(script), true); }
HRESULT CRegObject::StringUnregister(std::string_view script) { return Run(Utf8ToUtf16(script), false); }

HRESULT CRegObject::Run(std::u16string_view text, bool doRegister) {
  error_.clear();
  try {
    std::u16string expanded;
    if (HRESULT hr = ExpandRegistryScript(text, replacements_, &expanded, &error_); FAILED(hr)) return hr;
    RegistryScript script;
    if (HRESULT hr = ParseRegistryScript(expanded, &script, &error_); FAILED(hr)) return hr;
    RegistryClearFault();
    RegistryTransaction tx;
    if (FAILED(tx.Status())) {
      error_ = RegistryLastFault().message;
      return tx.Status();
    }
    Runner runner;
    for (const auto& root : script.roots) {
      HRESULT hr = doRegister ? runner.Register(HKEY_CLASSES_ROOT, root.name, root.children)
                              : runner.Unregister(HKEY_CLASSES_ROOT, root.name, root.children);
      if (FAILED(hr)) {
        error_ = runner.error;
        return hr;
      }
    }
    if (HRESULT hr = tx.Commit(); FAILED(hr)) {
      error_ = RegistryLastFault().message;
      return hr;
    }
    return S_OK;
  } catch (const std::bad_alloc&) {
    error_ = "out of memory";
    return E_OUTOFMEMORY;
  }
}
