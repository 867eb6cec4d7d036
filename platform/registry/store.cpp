#include "platform/registry/store.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "platform/com/utf.h"
#include "platform/registry/registry.h"

namespace {

char16_t FoldChar(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  return c;
}

int CompareFolded(std::u16string_view a, std::u16string_view b) {
  std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    char16_t x = FoldChar(a[i]), y = FoldChar(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

template <class Vec, class NameOf>
auto LowerBound(Vec& items, std::u16string_view name, NameOf nameOf) {
  return std::lower_bound(items.begin(), items.end(), name,
                          [&](const auto& item, std::u16string_view n) { return CompareFolded(nameOf(item), n) < 0; });
}

const auto kKeyName = [](const RegistryKeyNode& k) -> std::u16string_view { return k.name; };
const auto kValueName = [](const RegistryValue& v) -> std::u16string_view { return v.name; };

bool ValidUtf16(std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    char16_t c = s[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= s.size() || s[i + 1] < 0xDC00 || s[i + 1] > 0xDFFF) return false;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

using Json = nlohmann::json;
using OrderedJson = nlohmann::ordered_json;

std::string Quote(std::u16string_view name) { return "'" + Utf16ToUtf8(name) + "'"; }

std::string PathText(const std::vector<std::u16string>& path) {
  std::string out = "HKEY_CLASSES_ROOT";
  for (const auto& p : path) out += "\\" + Utf16ToUtf8(p);
  return out;
}

bool ValueFromJson(const Json& j, std::u16string name, RegistryValue* out, std::string* fault) {
  out->name = std::move(name);
  if (j.is_string()) {
    out->type = REG_SZ;
    out->text = Utf8ToUtf16(j.get_ref<const std::string&>());
    return true;
  }
  if (j.is_number_unsigned() && j.get<std::uint64_t>() <= 0xFFFFFFFFu) {
    out->type = REG_DWORD;
    out->number = static_cast<DWORD>(j.get<std::uint64_t>());
    return true;
  }
  *fault = "is neither text nor a number from 0 to 4294967295";
  return false;
}

bool KeyFromJson(const Json& j, RegistryKeyNode* key, std::vector<std::u16string>& path, std::string* fault) {
  auto fail = [&](const std::string& what) {
    *fault = "key " + PathText(path) + " " + what;
    return false;
  };
  if (!j.is_object()) return fail("is not an object");
  if (path.size() > kRegMaxDepth) return fail("lies deeper than " + std::to_string(kRegMaxDepth) + " levels");
  for (const auto& [member, content] : j.items()) {
    if (member == "default") {
      RegistryValue v;
      std::string why;
      if (!ValueFromJson(content, u"", &v, &why)) return fail("has a default value that " + why);
      key->SetValue(std::move(v));
    } else if (member == "values") {
      if (!content.is_object()) return fail("has \"values\" that is not an object");
      for (const auto& [name8, value] : content.items()) {
        std::u16string name = Utf8ToUtf16(name8);
        std::string why;
        if (name.empty()) return fail("has a value without a name (the default value is \"default\")");
        if (!RegistryValidValueName(name, &why)) return fail("has a bad value name " + Quote(name) + ": " + why);
        if (key->FindValue(name)) return fail("has the value " + Quote(name) + " twice");
        RegistryValue v;
        if (!ValueFromJson(value, name, &v, &why)) return fail("has a value " + Quote(name) + " that " + why);
        key->SetValue(std::move(v));
      }
    } else if (member == "keys") {
      if (!content.is_object()) return fail("has \"keys\" that is not an object");
      for (const auto& [name8, sub] : content.items()) {
        std::u16string name = Utf8ToUtf16(name8);
        std::string why;
        if (!RegistryValidKeyName(name, &why)) return fail("has a bad sub-key name " + Quote(name) + ": " + why);
        if (key->FindSubkey(name)) return fail("has the sub-key " + Quote(name) + " twice");
        RegistryKeyNode& child = key->AddSubkey(name);
        path.push_back(name);
        bool ok = KeyFromJson(sub, &child, path, fault);
        path.pop_back();
        if (!ok) return false;
      }
    } else {
      return fail("has an unknown member \"" + member + "\"");
    }
  }
  return true;
}

OrderedJson ValueToJson(const RegistryValue& v) {
  if (v.type == REG_DWORD) return OrderedJson(v.number);
  return OrderedJson(Utf16ToUtf8(v.text));
}

OrderedJson KeyToJson(const RegistryKeyNode& key) {
  OrderedJson j = OrderedJson::object();
  OrderedJson values = OrderedJson::object();
  for (const auto& v : key.values) {
    if (v.name.empty())
      j["default"] = ValueToJson(v);
    else
      values[Utf16ToUtf8(v.name)] = ValueToJson(v);
  }
  if (!values.empty()) j["values"] = std::move(values);
  if (!key.subkeys.empty()) {
    OrderedJson keys = OrderedJson::object();
    for (const auto& k : key.subkeys) keys[Utf16ToUtf8(k.name)] = KeyToJson(k);
    j["keys"] = std::move(keys);
  }
  return j;
}

}  // namespace

std::u16string RegistryFoldName(std::u16string_view name) {
  std::u16string out(name);
  for (auto& c : out) c = FoldChar(c);
  return out;
}

bool RegistryNamesEqual(std::u16string_view a, std::u16string_view b) { return CompareFolded(a, b) == 0; }

bool RegistryValidKeyName(std::u16string_view name, std::string* why) {
  auto fail = [&](const char* text) {
    if (why) *why = text;
    return false;
  };
  if (name.empty()) return fail("a key name cannot be empty");
  if (name.size() > kRegMaxKeyNameLength) return fail("a key name has at most 255 characters");
  if (name.find(u'\\') != std::u16string_view::npos) return fail("a key name cannot contain a backslash");
  if (!ValidUtf16(name)) return fail("the name is not valid UTF-16");
  return true;
}

bool RegistryValidValueName(std::u16string_view name, std::string* why) {
  if (name.size() > kRegMaxValueNameLength) {
    if (why) *why = "a value name has at most 16383 characters";
    return false;
  }
  if (!ValidUtf16(name)) {
    if (why) *why = "the name is not valid UTF-16";
    return false;
  }
  return true;
}

bool RegistryValidText(std::u16string_view text, std::string* why) {
  if (!ValidUtf16(text)) {
    if (why) *why = "the text is not valid UTF-16";
    return false;
  }
  return true;
}

RegistryKeyNode* RegistryKeyNode::FindSubkey(std::u16string_view n) {
  auto it = LowerBound(subkeys, n, kKeyName);
  return it != subkeys.end() && CompareFolded(it->name, n) == 0 ? &*it : nullptr;
}

const RegistryKeyNode* RegistryKeyNode::FindSubkey(std::u16string_view n) const {
  return const_cast<RegistryKeyNode*>(this)->FindSubkey(n);
}

RegistryKeyNode& RegistryKeyNode::AddSubkey(std::u16string_view n, bool* created) {
  auto it = LowerBound(subkeys, n, kKeyName);
  if (it != subkeys.end() && CompareFolded(it->name, n) == 0) {
    if (created) *created = false;
    return *it;
  }
  if (created) *created = true;
  RegistryKeyNode node;
  node.name = std::u16string(n);
  return *subkeys.insert(it, std::move(node));
}

bool RegistryKeyNode::RemoveSubkey(std::u16string_view n) {
  auto it = LowerBound(subkeys, n, kKeyName);
  if (it == subkeys.end() || CompareFolded(it->name, n) != 0) return false;
  subkeys.erase(it);
  return true;
}

const RegistryValue* RegistryKeyNode::FindValue(std::u16string_view n) const {
  auto it = LowerBound(values, n, kValueName);
  return it != values.end() && CompareFolded(it->name, n) == 0 ? &*it : nullptr;
}

void RegistryKeyNode::SetValue(RegistryValue value) {
  auto it = LowerBound(values, value.name, kValueName);
  if (it != values.end() && CompareFolded(it->name, value.name) == 0) {
    // A value set again keeps the case its name was created with, as the system registry does.
    value.name = it->name;
    *it = std::move(value);
  } else {
    values.insert(it, std::move(value));
  }
}

bool RegistryKeyNode::RemoveValue(std::u16string_view n) {
  auto it = LowerBound(values, n, kValueName);
  if (it == values.end() || CompareFolded(it->name, n) != 0) return false;
  values.erase(it);
  return true;
}

bool ParseRegistryStore(std::string_view text, RegistryKeyNode* root, std::string* fault) {
  *root = RegistryKeyNode{};
  root->name = u"HKEY_CLASSES_ROOT";
  Json doc;
  try {
    doc = Json::parse(text.begin(), text.end());
  } catch (const Json::exception& e) {
    *fault = std::string("not valid JSON (") + e.what() + ")";
    return false;
  }
  try {
    if (!doc.is_object()) {
      *fault = "not a registry store (the document is not an object)";
      return false;
    }
    auto format = doc.find("format");
    if (format == doc.end() || !format->is_string() || format->get_ref<const std::string&>() != "qorvena-registry") {
      *fault = "not a registry store (\"format\" is not \"qorvena-registry\")";
      return false;
    }
    auto version = doc.find("version");
    if (version == doc.end() || !version->is_number_unsigned() || version->get<std::uint64_t>() != 1) {
      *fault = "a registry store of an unknown version (this program reads version 1)";
      return false;
    }
    for (const auto& [member, content] : doc.items()) {
      if (member != "format" && member != "version" && member != "HKEY_CLASSES_ROOT") {
        *fault = "not a registry store (unknown member \"" + member + "\")";
        return false;
      }
      (void)content;
    }
    auto hkcr = doc.find("HKEY_CLASSES_ROOT");
    if (hkcr == doc.end()) return true;
    std::vector<std::u16string> path;
    if (!KeyFromJson(*hkcr, root, path, fault)) {
      *root = RegistryKeyNode{};
      root->name = u"HKEY_CLASSES_ROOT";
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    *fault = std::string("unreadable content (") + e.what() + ")";
    return false;
  }
}

std::string SerializeRegistryStore(const RegistryKeyNode& root) {
  OrderedJson doc = OrderedJson::object();
  doc["format"] = "qorvena-registry";
  doc["version"] = 1;
  doc["HKEY_CLASSES_ROOT"] = KeyToJson(root);
  return doc.dump(2) + "\n";
}
