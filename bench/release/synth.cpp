#include "bench/release/synth.h"

#include <cstdio>
#include <map>
#include <vector>

#include "ecm/catalogue.h"
#include "platform/com/utf.h"

namespace bench {
namespace {

constexpr char16_t kLineTable[] = u"InvoiceLines";

// How many optional columns of each table are mapped besides the required ones.
constexpr int kOptionalPerTable[] = {10, 16, 8, 0};
constexpr int kLineCommon = 2;   // TBLB columns mapped to one value per document
constexpr int kLineColumns = 6;  // TBLB columns mapped to a table field

struct Rng {
  std::uint64_t state;
  std::uint64_t Next() {  // splitmix64
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
};

// "CHAR(15)" -> kind 'C', 15; "DECIMAL(15, 2)" -> 'D', 15, 2.
struct ColumnType {
  char kind = 'C';
  int length = 1;
  int scale = 0;
};

ColumnType ParseType(std::u16string_view text) {
  std::string t = Utf16ToUtf8(text);
  ColumnType type;
  if (t.rfind("CHAR(", 0) == 0) {
    type.kind = 'C';
    std::sscanf(t.c_str() + 5, "%d", &type.length);
  } else {
    type.kind = 'D';
    std::sscanf(t.c_str() + t.find('(') + 1, "%d , %d", &type.length, &type.scale);
  }
  return type;
}

// Field names are the column keys with the full stop replaced, so every mapped column has a field of its own.
std::u16string FieldName(std::u16string_view key) {
  std::u16string name(key);
  for (char16_t& c : name)
    if (c == u'.') c = u'_';
  return name;
}

// A value that fits the column: text of letters and digits no longer than the column; numbers with no more
// integer and fraction digits than the column holds (and at most 15 significant digits); dates and times as
// the ERP writes them.
std::u16string ValueFor(const CatalogueColumn& c, Rng& rng) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  ColumnType type = ParseType(c.typeText);
  std::u16string label = c.label;
  char buf[64];
  if (type.kind == 'C') {
    int length = type.length <= 3 ? type.length : 3 + rng.Below(type.length < 24 ? type.length - 2 : 22);
    std::u16string text;
    for (int i = 0; i < length; ++i) text += static_cast<char16_t>(kAlphabet[rng.Below(36)]);
    return text;
  }
  if (type.length == 8 && type.scale == 0 && label.find(u"Date") != std::u16string::npos) {
    std::snprintf(buf, sizeof buf, "2024%02d%02d", 1 + rng.Below(12), 1 + rng.Below(28));
  } else if (type.length == 6 && type.scale == 0 && label.find(u"Time") != std::u16string::npos) {
    std::snprintf(buf, sizeof buf, "%02d%02d%02d", rng.Below(24), rng.Below(60), rng.Below(60));
  } else {
    int integerDigits = type.length - type.scale;
    int maxDigits = integerDigits < 9 ? integerDigits : 9;
    int digits = maxDigits > 0 ? 1 + rng.Below(maxDigits) : 0;
    std::string text;
    for (int i = 0; i < digits; ++i) text += static_cast<char>('0' + (i == 0 ? 1 + rng.Below(9) : rng.Below(10)));
    if (text.empty()) text.push_back('0');
    if (type.scale > 0) {
      text += '.';
      for (int i = 0; i < type.scale; ++i) text += static_cast<char>('0' + rng.Below(10));
    }
    return AsciiToUtf16(text);
  }
  return AsciiToUtf16(buf);
}

// The mapped columns, in catalogue order, and how each one gets its value.
enum class Source { Field, LineField, Constant, Operator };
struct Mapped {
  const CatalogueColumn* column;
  Source source;
};

const std::vector<Mapped>& MappedColumns() {
  static const std::vector<Mapped> mapped = [] {
    std::vector<Mapped> out;
    int optional[4] = {0, 0, 0, 0};
    int lineCommon = 0, lineColumns = 0;
    for (const CatalogueColumn& c : CatalogueColumns()) {
      std::u16string_view key = c.key;
      if (c.required) {
        out.push_back({&c, Source::Field});
        continue;
      }
      if (c.table == ECM_TBLB) {
        if (lineColumns < kLineColumns) {
          out.push_back({&c, Source::LineField});
          ++lineColumns;
        } else if (lineCommon < kLineCommon) {
          out.push_back({&c, Source::Field});
          ++lineCommon;
        }
        continue;
      }
      if (optional[c.table] >= kOptionalPerTable[c.table]) continue;
      ++optional[c.table];
      // Flags are usually constants of the class; the creating user is the scan operator.
      Source source = Source::Field;
      if (key == u"TPEC.PELDU") source = Source::Operator;
      else if (ParseType(c.typeText).kind == 'C' && ParseType(c.typeText).length == 1) source = Source::Constant;
      out.push_back({&c, source});
    }
    return out;
  }();
  return mapped;
}

}  // namespace

capture::DocumentClass MakeInvoiceClass(const ClassSettings& settings, ClassShape* shape) {
  capture::DocumentClass c;
  c.name = u"Invoice";
  c.batchClassName = u"AP Invoices";
  c.instanceName = u"ECM export (benchmark)";
  c.serverName = settings.serverName;
  c.userName = settings.userName;
  c.password = settings.password;
  c.customProperties = {{u"serverAPILibrary", settings.library}};
  ClassShape s;
  for (const Mapped& m : MappedColumns()) {
    std::u16string field = FieldName(m.column->key);
    switch (m.source) {
      case Source::Field:
        c.indexFields.push_back({field, u""});
        c.links.push_back({field, KFX_REL_INDEXFIELD, m.column->key});
        if (m.column->required) ++s.required;
        else if (m.column->table == ECM_TBLB) ++s.lineCommon;
        else ++s.header;
        break;
      case Source::LineField:
        c.indexFields.push_back({field, kLineTable});
        c.links.push_back({field, KFX_REL_INDEXFIELD, m.column->key});
        ++s.lineColumns;
        break;
      case Source::Constant:
        c.links.push_back({u"0", KFX_REL_TEXTCONSTANT, m.column->key});
        ++s.header;
        break;
      case Source::Operator:
        c.links.push_back({u"Scan Operator's User ID", KFX_REL_VARIABLE, m.column->key});
        ++s.header;
        break;
    }
  }
  // Where the original file lives, for the success message.
  c.batchFields = {u"OriginalFolder", u"OriginalFileNameExt"};
  c.links.push_back({u"OriginalFolder", KFX_REL_BATCHFIELD, u"OriginalFolder"});
  c.links.push_back({u"First Page Original File Name", KFX_REL_VARIABLE, u"OriginalFileName"});
  c.links.push_back({u"OriginalFileNameExt", KFX_REL_BATCHFIELD, u"OriginalFileNameExt"});
  if (shape) *shape = s;
  return c;
}

capture::Batch MakeBatchFrame(const capture::DocumentClass& documentClass) {
  capture::Batch batch;
  batch.name = u"Benchmark";
  batch.batchClass = documentClass.batchClassName;
  batch.documentClass = documentClass.name;
  batch.batchFields = {{u"OriginalFolder", u"/srv/scans/ap"}, {u"OriginalFileNameExt", u"pdf"}};
  batch.values = {{u"Scan Operator's User ID", u"JSMITH"}};
  batch.documents.resize(1);
  return batch;
}

void MakeInvoice(const capture::DocumentClass&, std::uint64_t seed, std::size_t index,
                 capture::BatchDocument& document) {
  Rng rng{seed ^ (0xD1B54A32D192ED03ull * (index + 1))};
  char name[64];
  std::snprintf(name, sizeof name, "INV-%08zu", index + 1);
  document.name = AsciiToUtf16(name);
  std::snprintf(name, sizeof name, "/srv/kofax/release/bench/%08zu.pdf", index + 1);
  document.kofaxPdfFileName = AsciiToUtf16(name);
  std::snprintf(name, sizeof name, "inv-%08zu.tif", index + 1);
  document.originalFileName = AsciiToUtf16(name);
  document.indexFields.clear();
  document.tables.clear();
  document.values.clear();
  int lines = rng.Below(6);
  capture::TableRows rows(static_cast<std::size_t>(lines));
  for (const Mapped& m : MappedColumns()) {
    if (m.source == Source::Field) {
      document.indexFields[FieldName(m.column->key)] = ValueFor(*m.column, rng);
    } else if (m.source == Source::LineField) {
      for (capture::TextMap& row : rows) row[FieldName(m.column->key)] = ValueFor(*m.column, rng);
    }
  }
  if (lines > 0) document.tables[kLineTable] = std::move(rows);
}

}  // namespace bench
