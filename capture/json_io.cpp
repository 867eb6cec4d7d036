#include "capture/json_io.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/com/utf.h"

namespace capture {

namespace {

using Json = nlohmann::ordered_json;

constexpr int kMaxNesting = 64;

// Raised inside the readers; turned into the caller's error text at the boundary.
struct InputFault {
  std::string message;
};

std::string Quote(std::u16string_view text) { return "'" + Utf16ToUtf8(text) + "'"; }

std::string KindName(const Json& value) {
  switch (value.type()) {
    case Json::value_t::null: return "null";
    case Json::value_t::object: return "an object";
    case Json::value_t::array: return "a list";
    case Json::value_t::string: return "a text";
    case Json::value_t::boolean: return "true or false";
    case Json::value_t::number_integer:
    case Json::value_t::number_unsigned:
    case Json::value_t::number_float: return "a number";
    default: return "something else";
  }
}

// A JSON path element, escaped as JSON pointers escape them.
std::string PathPart(std::string_view key) {
  std::string out;
  for (char c : key) {
    if (c == '~') out += "~0";
    else if (c == '/') out += "~1";
    else out += c;
  }
  return out;
}

// A stream over text that is not copied.
class ViewBuffer : public std::streambuf {
 public:
  explicit ViewBuffer(std::string_view text) {
    char* begin = const_cast<char*>(text.data());
    setg(begin, begin, begin + text.size());
  }

 protected:
  pos_type seekoff(off_type off, std::ios_base::seekdir dir, std::ios_base::openmode) override {
    char* target = (dir == std::ios_base::beg ? eback() : dir == std::ios_base::cur ? gptr() : egptr()) + off;
    if (target < eback() || target > egptr()) return pos_type(off_type(-1));
    setg(eback(), target, egptr());
    return pos_type(target - eback());
  }
  pos_type seekpos(pos_type pos, std::ios_base::openmode which) override {
    return seekoff(off_type(pos), std::ios_base::beg, which);
  }
};

class Reader {
 public:
  explicit Reader(std::string source) : source_(std::move(source)) {}

  [[noreturn]] void Fail(const std::string& path, const std::string& message) const {
    throw InputFault{source_ + ": at " + (path.empty() ? "/" : path) + ": " + message};
  }

  // Parses the text; syntax errors name the line and column.
  Json Parse(std::string_view text) const {
    ViewBuffer buffer(text);
    std::istream in(&buffer);
    CheckNesting(in);
    try {
      return Json::parse(text);
    } catch (const Json::exception& e) {
      ViewBuffer again(text);
      std::istream from(&again);
      SyntaxFault(e, from);
    }
  }

  // A parser's fault as the caller's error: a syntax error with its line and column in `text`.
  [[noreturn]] void SyntaxFault(const Json::exception& e, std::istream& text) const {
    std::string what = e.what();
    if (const auto* syntax = dynamic_cast<const Json::parse_error*>(&e)) {
      auto [line, column] = LineColumn(text, syntax->byte);
      // Keep the parser's own description, without its internal prefix and position.
      if (auto pos = what.find(": "); pos != std::string::npos) what = what.substr(pos + 2);
      throw InputFault{source_ + ":" + std::to_string(line) + ":" + std::to_string(column) +
                       ": not valid JSON: " + what};
    }
    // A number out of range: the parser gives no position, but says which number.
    if (auto pos = what.find("] "); pos != std::string::npos) what = what.substr(pos + 2);
    throw InputFault{source_ + ": not valid JSON: " + what};
  }

  // Refuses absurd nesting before the parser sees it.
  void CheckNesting(std::istream& in) const {
    int depth = 0;
    bool inString = false, escaped = false;
    std::size_t offset = 0;
    for (int next = in.get(); next != std::char_traits<char>::eof(); next = in.get(), ++offset) {
      char c = static_cast<char>(next);
      if (inString) {
        if (escaped) escaped = false;
        else if (c == '\\') escaped = true;
        else if (c == '"') inString = false;
        continue;
      }
      if (c == '"') inString = true;
      else if (c == '{' || c == '[') {
        if (++depth > kMaxNesting) {
          in.clear();
          in.seekg(0);
          auto [line, column] = LineColumn(in, offset + 1);
          throw InputFault{source_ + ":" + std::to_string(line) + ":" + std::to_string(column) +
                           ": nested deeper than " + std::to_string(kMaxNesting) + " levels"};
        }
      } else if (c == '}' || c == ']') {
        --depth;
      }
    }
  }

  const Json& Object(const Json& value, const std::string& path) const {
    if (!value.is_object()) Fail(path, "expected an object, found " + KindName(value));
    return value;
  }

  // Members of an object; anything not in `known` is a fault, except names starting with '_' (comments).
  void OnlyMembers(const Json& object, const std::string& path, std::initializer_list<std::string_view> known) const {
    for (auto it = object.begin(); it != object.end(); ++it) {
      const std::string& key = it.key();
      if (!key.empty() && key[0] == '_') continue;
      bool ok = false;
      for (std::string_view k : known) ok = ok || k == key;
      if (!ok) {
        std::string list;
        for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
        Fail(path + "/" + PathPart(key), "unknown member '" + key + "' (expected one of: " + list + ")");
      }
    }
  }

  // A text; numbers are taken as written, null as empty.
  std::u16string Text(const Json& value, const std::string& path) const {
    if (value.is_string()) return Utf8ToUtf16(value.get_ref<const std::string&>());
    if (value.is_number()) return Utf8ToUtf16(value.dump());
    if (value.is_null()) return {};
    Fail(path, "expected a text, found " + KindName(value));
  }

  std::u16string OptionalText(const Json& object, const std::string& path, const char* name) const {
    auto it = object.find(name);
    if (it == object.end()) return {};
    return Text(*it, path + "/" + name);
  }

  std::u16string RequiredText(const Json& object, const std::string& path, const char* name) const {
    auto it = object.find(name);
    if (it == object.end()) Fail(path, std::string("the member '") + name + "' is missing");
    std::u16string text = Text(*it, path + "/" + name);
    if (text.empty()) Fail(path + "/" + name, "must not be empty");
    return text;
  }

  // {"name": "text", ...}
  TextMap TextObject(const Json& object, const std::string& path, const char* name) const {
    TextMap map;
    auto it = object.find(name);
    if (it == object.end()) return map;
    std::string here = path + "/" + name;
    Object(*it, here);
    for (auto m = it->begin(); m != it->end(); ++m) {
      if (m.key().empty()) Fail(here, "a name must not be empty");
      map[Utf8ToUtf16(m.key())] = Text(m.value(), here + "/" + PathPart(m.key()));
    }
    return map;
  }

  std::vector<std::u16string> TextList(const Json& object, const std::string& path, const char* name) const {
    std::vector<std::u16string> list;
    auto it = object.find(name);
    if (it == object.end()) return list;
    std::string here = path + "/" + name;
    if (!it->is_array()) Fail(here, "expected a list, found " + KindName(*it));
    for (std::size_t i = 0; i < it->size(); ++i) {
      std::string at = here + "/" + std::to_string(i);
      std::u16string text = Text((*it)[i], at);
      if (text.empty()) Fail(at, "must not be empty");
      list.push_back(std::move(text));
    }
    return list;
  }

 private:
  static std::pair<std::size_t, std::size_t> LineColumn(std::istream& text, std::size_t byte) {
    // The parser counts the byte it stopped at from 1.
    std::size_t end = byte > 0 ? byte - 1 : 0;
    std::size_t line = 1, column = 1;
    for (std::size_t i = 0; i < end; ++i) {
      int c = text.get();
      if (c == std::char_traits<char>::eof()) break;
      if (c == '\n') {
        ++line;
        column = 1;
      } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
        ++column;
      }
    }
    return {line, column};
  }

  std::string source_;
};

bool ReadFile(const std::string& path, std::string& text, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    if (error) *error = path + ": cannot be read: it is a folder";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = path + ": cannot be read: " + std::generic_category().message(errno);
    return false;
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) {
    if (error) *error = path + ": cannot be read";
    return false;
  }
  text = buffer.str();
  return true;
}

LONG ParseSourceType(const Reader& reader, const Json& value, const std::string& path) {
  if (value.is_number_integer()) {
    auto n = value.get<long long>();
    if (n >= KFX_REL_INDEXFIELD && n <= KFX_REL_BATCHFIELD) return static_cast<LONG>(n);
  } else if (value.is_string()) {
    const std::string& s = value.get_ref<const std::string&>();
    if (s == "indexField" || s == "KFX_REL_INDEXFIELD") return KFX_REL_INDEXFIELD;
    if (s == "textConstant" || s == "KFX_REL_TEXTCONSTANT") return KFX_REL_TEXTCONSTANT;
    if (s == "platformValue" || s == "KFX_REL_VARIABLE") return KFX_REL_VARIABLE;
    if (s == "batchField" || s == "KFX_REL_BATCHFIELD") return KFX_REL_BATCHFIELD;
  }
  reader.Fail(path, "expected a source type: indexField, textConstant, platformValue, batchField or 0 to 3");
}

void ParseDocument(const Reader& r, const Json& value, const std::string& path, BatchDocument& doc) {
  r.Object(value, path);
  r.OnlyMembers(value, path, {"name", "kofaxPdfFileName", "originalFileName", "indexFields", "values"});
  doc.name = r.OptionalText(value, path, "name");
  doc.kofaxPdfFileName = r.OptionalText(value, path, "kofaxPdfFileName");
  doc.originalFileName = r.OptionalText(value, path, "originalFileName");
  doc.values = r.TextObject(value, path, "values");
  auto fields = value.find("indexFields");
  if (fields == value.end()) return;
  std::string here = path + "/indexFields";
  r.Object(*fields, here);
  for (auto f = fields->begin(); f != fields->end(); ++f) {
    std::string at = here + "/" + PathPart(f.key());
    if (f.key().empty()) r.Fail(here, "a field name must not be empty");
    std::u16string name = Utf8ToUtf16(f.key());
    if (!f.value().is_array()) {
      doc.indexFields[name] = r.Text(f.value(), at);
      continue;
    }
    // A list is a table: one object of field values per row.
    TableRows& rows = doc.tables[name];
    for (std::size_t i = 0; i < f.value().size(); ++i) {
      std::string rowAt = at + "/" + std::to_string(i);
      const Json& row = f.value()[i];
      if (!row.is_object()) r.Fail(rowAt, "expected a table row (an object of field values), found " + KindName(row));
      TextMap cells;
      for (auto c = row.begin(); c != row.end(); ++c) {
        if (c.key().empty()) r.Fail(rowAt, "a field name must not be empty");
        cells[Utf8ToUtf16(c.key())] = r.Text(c.value(), rowAt + "/" + PathPart(c.key()));
      }
      rows.push_back(std::move(cells));
    }
  }
}

// The batch's own members; `documents` is how many documents its list has (the list itself is read apart).
void ParseBatchHeader(const Reader& r, const Json& root, std::size_t documents, Batch& batch) {
  r.Object(root, "");
  r.OnlyMembers(root, "", {"name", "batchClass", "documentClass", "batchFields", "values", "documents"});
  batch.name = r.OptionalText(root, "", "name");
  batch.batchClass = r.OptionalText(root, "", "batchClass");
  batch.documentClass = r.RequiredText(root, "", "documentClass");
  batch.batchFields = r.TextObject(root, "", "batchFields");
  batch.values = r.TextObject(root, "", "values");
  auto docs = root.find("documents");
  if (docs == root.end()) r.Fail("", "the member 'documents' is missing");
  if (!docs->is_array()) r.Fail("/documents", "expected a list of documents, found " + KindName(*docs));
  if (documents == 0) r.Fail("/documents", "the batch has no documents");
}

// Builds the JSON of a batch from the parser's events, keeping the batch's own members but handing each element
// of its document list over as soon as it is complete, so that no more than one document is held at a time.
class BatchEvents {
 public:
  using DocumentHandler = std::function<void(std::size_t index, Json& document)>;

  BatchEvents(const Reader& reader, DocumentHandler onDocument)
      : reader_(reader), onDocument_(std::move(onDocument)) {}

  Json& Root() { return root_; }
  std::size_t Documents() const { return documents_; }

  bool null() { return Value(Json(nullptr)); }
  bool boolean(bool v) { return Value(Json(v)); }
  bool number_integer(Json::number_integer_t v) { return Value(Json(v)); }
  bool number_unsigned(Json::number_unsigned_t v) { return Value(Json(v)); }
  bool number_float(Json::number_float_t v, const Json::string_t&) { return Value(Json(v)); }
  bool string(Json::string_t& v) { return Value(Json(std::move(v))); }
  bool binary(Json::binary_t& v) { return Value(Json(Json::binary_t(std::move(v)))); }
  bool start_object(std::size_t) { return Open(Json::object()); }
  bool start_array(std::size_t) { return Open(Json::array()); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(Json::string_t& k) {
    if (stack_.size() == 1 && inRoot_) {
      // A member given twice would silently replace the first, a list of documents included.
      if (!seen_.insert(k).second) reader_.Fail("/" + PathPart(k), "the member '" + k + "' is given twice");
    }
    key_ = std::move(k);
    return true;
  }
  template <class Exception>
  bool parse_error(std::size_t, const std::string&, const Exception& e) {
    throw e;
  }

 private:
  // Where the next value goes: the member being read, the next list element, or a document of its own.
  Json* Place() {
    if (stack_.empty()) return &root_;
    Json* top = stack_.back();
    if (top == &documentList_) {
      document_ = Json();
      return &document_;
    }
    if (top->is_object()) return &(*top)[key_];
    top->push_back(Json());
    return &top->back();
  }

  bool Value(Json&& value) {
    Json* place = Place();
    *place = std::move(value);
    if (place == &document_) HandOver();
    return true;
  }

  bool Open(Json&& container) {
    if (stack_.empty()) inRoot_ = container.is_object();
    if (stack_.size() == 1 && inRoot_ && key_ == "documents" && container.is_array()) {
      root_["documents"] = Json::array();
      stack_.push_back(&documentList_);
      return true;
    }
    Json* place = Place();
    *place = std::move(container);
    stack_.push_back(place);
    return true;
  }

  bool Close() {
    Json* closed = stack_.back();
    stack_.pop_back();
    if (closed == &document_) HandOver();
    return true;
  }

  void HandOver() {
    onDocument_(documents_++, document_);
    document_ = Json();
  }

  const Reader& reader_;
  DocumentHandler onDocument_;
  Json root_;
  Json documentList_;  // stands for the list of documents while it is read; never filled
  Json document_;      // the document being read
  std::vector<Json*> stack_;
  std::string key_;
  bool inRoot_ = false;
  std::set<std::string> seen_;
  std::size_t documents_ = 0;
};

void ParseClassJson(const Reader& r, const Json& root, DocumentClass& c) {
  r.Object(root, "");
  r.OnlyMembers(root, "", {"documentClass", "batchClass", "connector", "instanceName", "serverName", "userName",
                           "password", "customProperties", "indexFields", "batchFields", "valueNames", "links"});
  c = DocumentClass{};
  c.name = r.RequiredText(root, "", "documentClass");
  c.batchClassName = r.OptionalText(root, "", "batchClass");
  if (root.contains("connector")) c.connectorProgId = r.RequiredText(root, "", "connector");
  c.instanceName = r.OptionalText(root, "", "instanceName");
  c.serverName = r.OptionalText(root, "", "serverName");
  c.userName = r.OptionalText(root, "", "userName");
  c.password = r.OptionalText(root, "", "password");

  if (auto props = root.find("customProperties"); props != root.end()) {
    r.Object(*props, "/customProperties");
    for (auto p = props->begin(); p != props->end(); ++p) {
      if (p.key().empty()) r.Fail("/customProperties", "a property name must not be empty");
      c.customProperties.push_back(
          {Utf8ToUtf16(p.key()), r.Text(p.value(), "/customProperties/" + PathPart(p.key()))});
    }
  }

  if (auto fields = root.find("indexFields"); fields != root.end()) {
    if (!fields->is_array()) r.Fail("/indexFields", "expected a list, found " + KindName(*fields));
    std::set<std::u16string> names;
    for (std::size_t i = 0; i < fields->size(); ++i) {
      std::string at = "/indexFields/" + std::to_string(i);
      const Json& f = (*fields)[i];
      IndexFieldDef def;
      if (f.is_string()) {
        def.name = r.Text(f, at);
        if (def.name.empty()) r.Fail(at, "must not be empty");
      } else {
        r.Object(f, at);
        r.OnlyMembers(f, at, {"name", "table"});
        def.name = r.RequiredText(f, at, "name");
        def.table = r.OptionalText(f, at, "table");
      }
      if (!names.insert(def.name).second) r.Fail(at, "the index field " + Quote(def.name) + " is defined twice");
      c.indexFields.push_back(std::move(def));
    }
    // A document names fields and tables side by side, so a table may not share a field's name.
    for (std::size_t i = 0; i < c.indexFields.size(); ++i)
      if (c.HasTable(c.indexFields[i].name))
        r.Fail("/indexFields/" + std::to_string(i),
               "the index field " + Quote(c.indexFields[i].name) + " has the name of a table");
  }

  c.batchFields = r.TextList(root, "", "batchFields");
  std::set<std::u16string> batchFields;
  for (std::size_t i = 0; i < c.batchFields.size(); ++i)
    if (!batchFields.insert(c.batchFields[i]).second)
      r.Fail("/batchFields/" + std::to_string(i), "the batch field " + Quote(c.batchFields[i]) + " is defined twice");
  c.valueNames = root.contains("valueNames") ? r.TextList(root, "", "valueNames") : DefaultValueNames();

  if (auto links = root.find("links"); links != root.end()) {
    if (!links->is_array()) r.Fail("/links", "expected a list, found " + KindName(*links));
    for (std::size_t i = 0; i < links->size(); ++i) {
      std::string at = "/links/" + std::to_string(i);
      const Json& l = (*links)[i];
      r.Object(l, at);
      r.OnlyMembers(l, at, {"source", "type", "destination"});
      LinkDef link;
      auto source = l.find("source");
      if (source == l.end()) r.Fail(at, "the member 'source' is missing");
      link.source = r.Text(*source, at + "/source");
      auto type = l.find("type");
      if (type == l.end()) r.Fail(at, "the member 'type' is missing");
      link.sourceType = ParseSourceType(r, *type, at + "/type");
      auto destination = l.find("destination");
      if (destination == l.end()) r.Fail(at, "the member 'destination' is missing");
      link.destination = r.Text(*destination, at + "/destination");
      c.links.push_back(std::move(link));
    }
  }
}

// The batch's own members against the class.
void CheckHeaderAgainstClass(const Reader& r, const Batch& batch, const DocumentClass& c) {
  if (!batch.batchClass.empty() && !c.batchClassName.empty() && batch.batchClass != c.batchClassName)
    r.Fail("/batchClass", "the batch class " + Quote(batch.batchClass) + " is not the batch class " +
                              Quote(c.batchClassName) + " of the document class " + Quote(c.name));
  for (const auto& [name, value] : batch.batchFields) {
    bool known = false;
    for (const auto& f : c.batchFields) known = known || f == name;
    if (!known)
      r.Fail("/batchFields/" + PathPart(Utf16ToUtf8(name)),
             "the document class " + Quote(c.name) + " has no batch field " + Quote(name));
  }
}

// One document's fields and tables against the class.
void CheckDocumentAgainstClass(const Reader& r, const BatchDocument& doc, std::size_t index, const DocumentClass& c) {
  std::string at = "/documents/" + std::to_string(index) + "/indexFields/";
  for (const auto& [name, value] : doc.indexFields) {
    const IndexFieldDef* def = c.FindIndexField(name);
    if (!def)
      r.Fail(at + PathPart(Utf16ToUtf8(name)),
             "the document class " + Quote(c.name) + " has no index field " + Quote(name));
    if (!def->table.empty())
      r.Fail(at + PathPart(Utf16ToUtf8(name)), "the index field " + Quote(name) + " belongs to the table " +
                                                   Quote(def->table) + ": give it in that table's rows");
  }
  for (const auto& [table, rows] : doc.tables) {
    std::string tableAt = at + PathPart(Utf16ToUtf8(table));
    if (!c.HasTable(table)) r.Fail(tableAt, "the document class " + Quote(c.name) + " has no table " + Quote(table));
    for (std::size_t row = 0; row < rows.size(); ++row) {
      for (const auto& [field, value] : rows[row]) {
        const IndexFieldDef* def = c.FindIndexField(field);
        if (!def || def->table != table)
          r.Fail(tableAt + "/" + std::to_string(row) + "/" + PathPart(Utf16ToUtf8(field)),
                 "the table " + Quote(table) + " has no field " + Quote(field));
      }
    }
  }
}

bool Failed(const std::string& message, std::string* error) {
  if (error) *error = message;
  return false;
}

}  // namespace

// Where the batch's text comes from: a file, opened afresh for every pass, or a text in memory.
struct BatchReader::Source {
  std::string name;
  std::string path;       // a file, or
  std::string_view text;  // a text
  bool isFile = false;

  // A stream from the start; null when the file cannot be opened any more.
  std::unique_ptr<std::istream> Open(std::unique_ptr<std::streambuf>& buffer) const {
    if (isFile) {
      auto file = std::make_unique<std::ifstream>(path, std::ios::binary);
      if (!*file) return nullptr;
      return file;
    }
    buffer = std::make_unique<ViewBuffer>(text);
    return std::make_unique<std::istream>(buffer.get());
  }

  // Reads the batch, handing its documents to `onDocument`; the batch's members (documents left out) to `root`.
  void Pass(const Reader& reader, const BatchEvents::DocumentHandler& onDocument, Json* root,
            std::size_t* documents) const {
    std::unique_ptr<std::streambuf> buffer;
    std::unique_ptr<std::istream> in = Open(buffer);
    if (!in) throw InputFault{name + ": cannot be read: " + std::generic_category().message(errno)};
    BatchEvents events(reader, onDocument);
    try {
      Json::sax_parse(*in, &events);
    } catch (const Json::exception& e) {
      std::unique_ptr<std::streambuf> again;
      std::unique_ptr<std::istream> from = Open(again);
      if (!from) throw InputFault{name + ": cannot be read: " + std::generic_category().message(errno)};
      reader.SyntaxFault(e, *from);
    }
    if (in->bad()) throw InputFault{name + ": cannot be read"};
    if (root) *root = std::move(events.Root());
    if (documents) *documents = events.Documents();
  }
};

BatchReader::BatchReader() = default;
BatchReader::~BatchReader() = default;

bool BatchReader::Open(const std::string& path, std::string* error) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) return Failed(path + ": cannot be read: it is a folder", error);
  if (!std::ifstream(path, std::ios::binary))
    return Failed(path + ": cannot be read: " + std::generic_category().message(errno), error);
  source_ = std::make_unique<Source>();
  source_->name = source_->path = path;
  source_->isFile = true;
  return Load(error);
}

bool BatchReader::OpenText(std::string_view text, const std::string& sourceName, std::string* error) {
  source_ = std::make_unique<Source>();
  source_->name = sourceName;
  source_->text = text;
  return Load(error);
}

bool BatchReader::Load(std::string* error) {
  const std::string sourceName = source_->name;
  Reader reader(sourceName);
  header_ = Batch{};
  count_ = 0;
  try {
    {
      std::unique_ptr<std::streambuf> buffer;
      std::unique_ptr<std::istream> in = source_->Open(buffer);
      if (!in) return Failed(sourceName + ": cannot be read: " + std::generic_category().message(errno), error);
      reader.CheckNesting(*in);
    }
    // A document's fault is told only after the batch's own members, as they come first in a batch.
    std::optional<InputFault> documentFault;
    Json root;
    std::size_t count = 0;
    source_->Pass(
        reader,
        [&](std::size_t index, Json& document) {
          if (documentFault) return;
          try {
            BatchDocument doc;
            ParseDocument(reader, document, "/documents/" + std::to_string(index), doc);
          } catch (const InputFault& fault) {
            documentFault = fault;
          }
        },
        &root, &count);
    Batch header;
    header.file = sourceName;
    ParseBatchHeader(reader, root, count, header);
    if (documentFault) throw *documentFault;
    header_ = std::move(header);
    count_ = count;
    return true;
  } catch (const InputFault& fault) {
    source_.reset();
    return Failed(fault.message, error);
  } catch (const std::exception& e) {
    source_.reset();
    return Failed(sourceName + ": cannot be read: " + e.what(), error);
  }
}

const Batch& BatchReader::Header() const { return header_; }
std::size_t BatchReader::DocumentCount() const { return count_; }

bool BatchReader::ForEachDocument(const std::function<void(std::size_t, const BatchDocument&)>& visit,
                                  std::string* error) const {
  if (!source_) return Failed("no batch has been read", error);
  Reader reader(source_->name);
  std::size_t count = 0;
  try {
    source_->Pass(
        reader,
        [&](std::size_t index, Json& document) {
          BatchDocument doc;
          ParseDocument(reader, document, "/documents/" + std::to_string(index), doc);
          visit(index, doc);
        },
        nullptr, &count);
  } catch (const InputFault& fault) {
    return Failed(fault.message + " (the batch changed while it was released)", error);
  } catch (const std::exception& e) {
    return Failed(source_->name + ": cannot be read: " + e.what(), error);
  }
  if (count != count_)
    return Failed(source_->name + ": the batch changed while it was released: it had " + std::to_string(count_) +
                      " documents, now " + std::to_string(count),
                  error);
  return true;
}

bool BatchReader::CheckAgainstClass(const DocumentClass& c, std::string* error) const {
  if (!source_) return Failed("no batch has been read", error);
  Reader reader(source_->name);
  try {
    CheckHeaderAgainstClass(reader, header_, c);
  } catch (const InputFault& fault) {
    return Failed(fault.message, error);
  }
  std::optional<InputFault> fault;
  std::string readError;
  bool read = ForEachDocument(
      [&](std::size_t index, const BatchDocument& doc) {
        if (fault) return;
        try {
          CheckDocumentAgainstClass(reader, doc, index, c);
        } catch (const InputFault& f) {
          fault = f;
        }
      },
      &readError);
  if (!read) return Failed(readError, error);
  if (fault) return Failed(fault->message, error);
  return true;
}

namespace {
// Every document of an opened batch; `batch` is left as it was when one cannot be read.
bool ReadWholeBatch(BatchReader& reader, Batch& batch, std::string* error) {
  Batch parsed = reader.Header();
  parsed.documents.reserve(reader.DocumentCount());
  if (!reader.ForEachDocument([&](std::size_t, const BatchDocument& doc) { parsed.documents.push_back(doc); }, error))
    return false;
  batch = std::move(parsed);
  return true;
}
}  // namespace

bool ParseBatch(std::string_view text, const std::string& sourceName, Batch& batch, std::string* error) {
  BatchReader reader;
  return reader.OpenText(text, sourceName, error) && ReadWholeBatch(reader, batch, error);
}

bool ReadBatchFile(const std::string& path, Batch& batch, std::string* error) {
  BatchReader reader;
  return reader.Open(path, error) && ReadWholeBatch(reader, batch, error);
}

bool CheckBatchAgainstClass(const Batch& batch, const DocumentClass& c, std::string* error) {
  Reader r(batch.file);
  try {
    CheckHeaderAgainstClass(r, batch, c);
    for (std::size_t i = 0; i < batch.documents.size(); ++i) CheckDocumentAgainstClass(r, batch.documents[i], i, c);
    return true;
  } catch (const InputFault& fault) {
    if (error) *error = fault.message;
    return false;
  }
}

bool ParseClass(std::string_view text, const std::string& sourceName, DocumentClass& documentClass,
                std::string* error) {
  Reader reader(sourceName);
  try {
    DocumentClass parsed;
    ParseClassJson(reader, reader.Parse(text), parsed);
    documentClass = std::move(parsed);
    return true;
  } catch (const InputFault& fault) {
    if (error) *error = fault.message;
  } catch (const std::exception& e) {
    if (error) *error = sourceName + ": cannot be read: " + e.what();
  }
  return false;
}

bool ReadClassFile(const std::string& path, DocumentClass& documentClass, std::string* error) {
  std::string text;
  if (!ReadFile(path, text, error)) return false;
  return ParseClass(text, path, documentClass, error);
}

std::string SourceTypeName(LONG sourceType) {
  switch (sourceType) {
    case KFX_REL_INDEXFIELD: return "indexField";
    case KFX_REL_TEXTCONSTANT: return "textConstant";
    case KFX_REL_VARIABLE: return "platformValue";
    case KFX_REL_BATCHFIELD: return "batchField";
    default: return std::to_string(sourceType);
  }
}

std::string ClassToJson(const DocumentClass& c) {
  auto u8 = [](std::u16string_view s) { return Utf16ToUtf8(s); };
  Json root = Json::object();
  root["documentClass"] = u8(c.name);
  root["batchClass"] = u8(c.batchClassName);
  root["connector"] = u8(c.connectorProgId);
  root["instanceName"] = u8(c.instanceName);
  root["serverName"] = u8(c.serverName);
  root["userName"] = u8(c.userName);
  root["password"] = u8(c.password);
  Json props = Json::object();
  for (const PropertyDef& p : c.customProperties) props[u8(p.name)] = u8(p.value);
  root["customProperties"] = props;
  Json fields = Json::array();
  for (const IndexFieldDef& f : c.indexFields) {
    if (f.table.empty()) fields.push_back(u8(f.name));
    else fields.push_back(Json{{"name", u8(f.name)}, {"table", u8(f.table)}});
  }
  root["indexFields"] = fields;
  Json batchFields = Json::array();
  for (const auto& f : c.batchFields) batchFields.push_back(u8(f));
  root["batchFields"] = batchFields;
  Json names = Json::array();
  for (const auto& n : c.valueNames) names.push_back(u8(n));
  root["valueNames"] = names;
  Json links = Json::array();
  for (const LinkDef& l : c.links) {
    Json type = l.sourceType >= KFX_REL_INDEXFIELD && l.sourceType <= KFX_REL_BATCHFIELD
                    ? Json(SourceTypeName(l.sourceType))
                    : Json(l.sourceType);
    links.push_back(Json{{"source", u8(l.source)}, {"type", type}, {"destination", u8(l.destination)}});
  }
  root["links"] = links;
  return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace capture
