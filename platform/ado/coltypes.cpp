#include "platform/ado/coltypes.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <vector>

#include "platform/com/format.h"
#include "platform/com/utf.h"

namespace ado {
namespace {

char16_t UpperAscii(char16_t c) { return (c >= u'a' && c <= u'z') ? static_cast<char16_t>(c - 32) : c; }
bool IsBlank(char16_t c) { return c == u' ' || c == u'\t'; }
bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

std::u16string Number(long long v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

// Splits "DECIMAL(8, 0)" into "DECIMAL" and {8, 0}; "CHARACTER VARYING(10)" into "CHARACTER VARYING" and {10}.
void SplitDeclared(std::u16string_view declared, std::u16string& name, std::vector<long>& args) {
  std::u16string upper;
  for (char16_t c : declared) upper += UpperAscii(c);
  std::size_t open = upper.find(u'(');
  std::u16string head = upper.substr(0, open);
  // Collapse blanks so "DOUBLE  PRECISION" and "DOUBLE PRECISION" are the same name.
  for (char16_t c : head) {
    if (IsBlank(c)) {
      if (!name.empty() && name.back() != u' ') name += u' ';
    } else {
      name += c;
    }
  }
  while (!name.empty() && name.back() == u' ') name.pop_back();
  if (open == std::u16string::npos) return;
  long value = -1;
  for (std::size_t i = open + 1; i < upper.size() && upper[i] != u')'; ++i) {
    char16_t c = upper[i];
    if (IsDigit(c)) {
      value = (value < 0 ? 0 : value) * 10 + (c - u'0');
      if (value > 1000000000L) value = 1000000000L;
    } else if (c == u',') {
      args.push_back(value < 0 ? 0 : value);
      value = -1;
    }
  }
  if (value >= 0) args.push_back(value);
}

bool IsOneOf(const std::u16string& name, std::initializer_list<std::u16string_view> names) {
  for (auto n : names)
    if (name == n) return true;
  return false;
}

BYTE ClampByte(long v) { return static_cast<BYTE>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The parts of a decimal number written as text: sign, digits before and after the point, no exponent.
struct ParsedNumber {
  bool negative = false;
  std::u16string integerDigits;   // without leading zeros
  std::u16string fractionDigits;  // without trailing zeros
};

bool ParseDecimalText(std::u16string_view text, ParsedNumber& out) {
  std::size_t b = 0, e = text.size();
  while (b < e && IsBlank(text[b])) ++b;
  while (e > b && IsBlank(text[e - 1])) --e;
  if (b == e) return false;
  std::size_t i = b;
  if (text[i] == u'+' || text[i] == u'-') {
    out.negative = text[i] == u'-';
    ++i;
  }
  std::u16string whole, fraction;
  bool point = false, anyDigit = false;
  for (; i < e; ++i) {
    char16_t c = text[i];
    if (IsDigit(c)) {
      (point ? fraction : whole) += c;
      anyDigit = true;
    } else if (c == u'.' && !point) {
      point = true;
    } else {
      return false;
    }
  }
  if (!anyDigit) return false;
  std::size_t nz = whole.find_first_not_of(u'0');
  out.integerDigits = nz == std::u16string::npos ? std::u16string() : whole.substr(nz);
  std::size_t last = fraction.find_last_not_of(u'0');
  out.fractionDigits = last == std::u16string::npos ? std::u16string() : fraction.substr(0, last + 1);
  if (out.integerDigits.empty() && out.fractionDigits.empty()) out.negative = false;  // -0 is 0
  return true;
}

std::u16string Canonical(const ParsedNumber& n) {
  std::u16string s;
  if (n.negative) s += u'-';
  s += n.integerDigits.empty() ? u"0" : n.integerDigits;
  if (!n.fractionDigits.empty()) s += u"." + n.fractionDigits;
  return s;
}

// Text of a VARIANT for checking; false for values that have no text (interfaces, errors).
bool ValueText(const VARIANT& v, std::u16string& text) {
  switch (v.vt) {
    case VT_BSTR:
      text.assign(BstrView(v.bstrVal));
      return true;
    case VT_R4:
    case VT_R8: {
      double d = v.vt == VT_R4 ? static_cast<double>(v.fltVal) : v.dblVal;
      if (!std::isfinite(d)) return false;
      char buf[400];
      auto r = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::fixed);
      if (r.ec != std::errc()) return false;
      text = AsciiToUtf16(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)));
      return true;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN:
    case VT_ERROR:
      return false;
    default: {
      CComVariant converted;
      if (FAILED(VariantChangeType(&converted, &v, 0, VT_BSTR))) return false;
      text = BstrToString(converted.bstrVal);
      return true;
    }
  }
}

std::size_t CodePoints(std::u16string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
    ++n;
  }
  return n;
}

// Offset of the first code unit after `count` code points.
std::size_t CodePointOffset(std::u16string_view s, std::size_t count) {
  std::size_t i = 0;
  while (count > 0 && i < s.size()) {
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
    ++i;
    --count;
  }
  return i;
}

std::u16string ColumnLabel(const ColumnInfo& c) { return c.tableName.empty() ? c.name : c.tableName + u"." + c.name; }

void Refuse(ProviderError& error, HRESULT number, const char16_t* state, LONG native, std::u16string description) {
  error.number = number;
  error.sqlState = state;
  error.nativeError = native;
  error.description = std::move(description);
}

// `text` may be the bound value's own text.
bool CheckText(const ColumnInfo& c, std::u16string& text, BoundValue& bound, ProviderError& error) {
  if (c.definedSize > 0) {
    std::size_t limit = static_cast<std::size_t>(c.definedSize);
    if (CodePoints(text) > limit) {
      std::size_t cut = CodePointOffset(text, limit);
      bool onlyBlanks = text.find_first_not_of(u' ', cut) == std::u16string::npos;
      if (!onlyBlanks) {
        Refuse(error, DB_E_DATAOVERFLOW, kStateTooLong, kNativeTooLong,
               u"Value " + QuoteValueForMessage(text) + u" for column " + ColumnLabel(c) + u" is too long: " +
                   c.typeText + u" holds at most " + Number(c.definedSize) + u" characters.");
        return false;
      }
      // Excess trailing blanks are dropped, as SQL assigns text to a shorter column.
      text.resize(cut);
    }
  }
  bound.kind = BoundValue::Kind::Text;
  if (&bound.text != &text) bound.text = std::move(text);
  return true;
}

bool CheckDecimal(const ColumnInfo& c, const std::u16string& text, BoundValue& bound, ProviderError& error) {
  ParsedNumber n;
  if (!ParseDecimalText(text, n)) {
    Refuse(error, DB_E_CANTCONVERTVALUE, kStateNotANumber, kNativeNotANumber,
           u"Value " + QuoteValueForMessage(text) + u" for column " + ColumnLabel(c) + u" is not a valid number for " +
               c.typeText + u".");
    return false;
  }
  int precision = c.precision == 255 ? 31 : c.precision;
  int scale = c.numericScale == 255 ? 0 : c.numericScale;
  int maxInteger = precision - scale;
  if (static_cast<int>(n.integerDigits.size()) > maxInteger || static_cast<int>(n.fractionDigits.size()) > scale) {
    Refuse(error, DB_E_DATAOVERFLOW, kStateOutOfRange, kNativeOutOfRange,
           u"Value " + QuoteValueForMessage(text) + u" for column " + ColumnLabel(c) + u" is out of range: " +
               c.typeText + u" holds at most " + Number(maxInteger < 0 ? 0 : maxInteger) + u" integer and " +
               Number(scale) + u" fraction digits.");
    return false;
  }
  bound.kind = BoundValue::Kind::Text;
  bound.text = Canonical(n);
  bound.significantDigits = static_cast<int>(n.integerDigits.size() + n.fractionDigits.size());
  return true;
}

bool CheckInteger(const ColumnInfo& c, const std::u16string& text, BoundValue& bound, ProviderError& error) {
  ParsedNumber n;
  if (!ParseDecimalText(text, n) || !n.fractionDigits.empty()) {
    Refuse(error, DB_E_CANTCONVERTVALUE, kStateNotANumber, kNativeNotANumber,
           u"Value " + QuoteValueForMessage(text) + u" for column " + ColumnLabel(c) + u" is not a valid integer for " +
               c.typeText + u".");
    return false;
  }
  LONGLONG lo = std::numeric_limits<LONGLONG>::min(), hi = std::numeric_limits<LONGLONG>::max();
  if (c.type == adSmallInt) lo = -32768, hi = 32767;
  if (c.type == adInteger) lo = std::numeric_limits<LONG>::min(), hi = std::numeric_limits<LONG>::max();
  if (c.type == adTinyInt) lo = -128, hi = 127;
  LONGLONG value = 0;
  std::string digits = Utf16ToUtf8(Canonical(n));
  auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (r.ec != std::errc() || value < lo || value > hi) {
    Refuse(error, DB_E_DATAOVERFLOW, kStateOutOfRange, kNativeOutOfRange,
           u"Value " + QuoteValueForMessage(text) + u" for column " + ColumnLabel(c) + u" is out of range for " +
               c.typeText + u".");
    return false;
  }
  bound.kind = BoundValue::Kind::Integer;
  bound.integer = value;
  return true;
}

bool CheckReal(const ColumnInfo& c, const std::u16string& text, BoundValue& bound, ProviderError& error) {
  std::string s = Utf16ToUtf8(text);
  std::size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
  double d = 0;
  bool ok = false;
  if (b != std::string::npos) {
    const char* first = s.data() + b + (s[b] == '+' ? 1 : 0);
    auto r = std::from_chars(first, s.data() + e + 1, d);
    ok = r.ec == std::errc() && r.ptr == s.data() + e + 1 && std::isfinite(d);
  }
  if (!ok) {
    Refuse(error, DB_E_CANTCONVERTVALUE, kStateNotANumber, kNativeNotANumber,
           u"Value " + QuoteValueForMessage(text) + u" for column " + ColumnLabel(c) + u" is not a valid number for " +
               c.typeText + u".");
    return false;
  }
  bound.kind = BoundValue::Kind::Real;
  bound.real = d;
  return true;
}

}  // namespace

void DescribeDeclaredType(std::u16string_view declared, ColumnInfo& c) {
  std::u16string name;
  std::vector<long> args;
  SplitDeclared(declared, name, args);
  auto arg = [&](std::size_t i, long fallback) { return i < args.size() ? args[i] : fallback; };
  c.precision = 255;
  c.numericScale = 255;
  c.attributes &= ~(adFldFixed | adFldLong);
  auto text = [&](DataTypeEnum type, bool fixed, long fallbackSize, std::u16string_view shown) {
    c.type = type;
    c.definedSize = static_cast<LONG>(arg(0, fallbackSize));
    if (fixed) c.attributes |= adFldFixed;
    c.typeText = std::u16string(shown) + (args.empty() && !fixed ? u"" : u"(" + Number(c.definedSize) + u")");
  };
  auto number = [&](DataTypeEnum type, BYTE precision, LONG size, const char16_t* shown) {
    c.type = type;
    c.precision = precision;
    c.definedSize = size;
    c.attributes |= adFldFixed;
    c.typeText = shown;
  };
  if (IsOneOf(name, {u"CHAR", u"CHARACTER"})) {
    text(adChar, true, 1, u"CHAR");
  } else if (IsOneOf(name, {u"NCHAR", u"GRAPHIC", u"NATIONAL CHARACTER"})) {
    text(adWChar, true, 1, name == u"GRAPHIC" ? u"GRAPHIC" : u"NCHAR");
  } else if (IsOneOf(name, {u"VARCHAR", u"CHARACTER VARYING", u"CHAR VARYING"})) {
    text(adVarChar, false, 0, u"VARCHAR");
  } else if (IsOneOf(name, {u"NVARCHAR", u"VARGRAPHIC", u"NATIONAL CHARACTER VARYING"})) {
    text(adVarWChar, false, 0, name == u"VARGRAPHIC" ? u"VARGRAPHIC" : u"NVARCHAR");
  } else if (IsOneOf(name, {u"DECIMAL", u"DEC", u"NUMERIC", u"NUM"})) {
    bool isDecimal = name == u"DECIMAL" || name == u"DEC";
    c.type = isDecimal ? adDecimal : adNumeric;
    c.precision = ClampByte(arg(0, 5));
    c.numericScale = ClampByte(arg(1, 0));
    if (c.numericScale > c.precision) c.numericScale = c.precision;
    c.definedSize = isDecimal ? 16 : 19;
    c.attributes |= adFldFixed;
    c.typeText = (isDecimal ? u"DECIMAL(" : u"NUMERIC(") + Number(c.precision) + u"," + Number(c.numericScale) + u")";
  } else if (IsOneOf(name, {u"INTEGER", u"INT"})) {
    number(adInteger, 10, 4, u"INTEGER");
  } else if (name == u"SMALLINT") {
    number(adSmallInt, 5, 2, u"SMALLINT");
  } else if (name == u"BIGINT") {
    number(adBigInt, 19, 8, u"BIGINT");
  } else if (IsOneOf(name, {u"REAL", u"FLOAT", u"DOUBLE", u"DOUBLE PRECISION"})) {
    number(adDouble, 15, 8, u"DOUBLE");
  } else if (name == u"DATE") {
    number(adDBDate, 255, 6, u"DATE");
  } else if (name == u"TIME") {
    number(adDBTime, 255, 6, u"TIME");
  } else if (name == u"TIMESTAMP") {
    number(adDBTimeStamp, 255, 16, u"TIMESTAMP");
  } else if (IsOneOf(name, {u"BLOB", u"BINARY", u"VARBINARY"})) {
    c.type = adVarBinary;
    c.definedSize = static_cast<LONG>(arg(0, 0));
    c.typeText = name;
  } else if (IsOneOf(name, {u"TEXT", u"CLOB", u"DBCLOB"})) {
    c.type = adLongVarWChar;
    c.definedSize = 0;
    c.attributes |= adFldLong;
    c.typeText = name;
  } else {
    c.type = adVarWChar;
    c.definedSize = 0;
    c.typeText = name.empty() ? u"(no type)" : name;
  }
}

bool CheckColumnValue(const ColumnInfo& c, const VARIANT& value, BoundValue& bound, ProviderError& error) {
  // The bound value's text is the working copy, so a BoundValue used for record after record keeps its storage.
  bound.kind = BoundValue::Kind::Null;
  bound.integer = 0;
  bound.real = 0;
  bound.significantDigits = 0;
  bound.text.clear();
  if (value.vt == VT_NULL || value.vt == VT_EMPTY) return true;
  std::u16string& text = bound.text;
  if (!ValueText(value, text)) {
    Refuse(error, DB_E_CANTCONVERTVALUE, u"22018", kNativeNotANumber,
           u"The value given for column " + ColumnLabel(c) + u" cannot be converted to " + c.typeText + u".");
    return false;
  }
  switch (c.type) {
    case adChar:
    case adWChar:
    case adVarChar:
    case adVarWChar:
    case adBSTR:
    case adLongVarChar:
    case adLongVarWChar:
      return CheckText(c, text, bound, error);
    case adDecimal:
    case adNumeric:
      return CheckDecimal(c, text, bound, error);
    case adTinyInt:
    case adSmallInt:
    case adInteger:
    case adBigInt:
      return CheckInteger(c, text, bound, error);
    case adSingle:
    case adDouble:
      return CheckReal(c, text, bound, error);
    default:
      bound.kind = BoundValue::Kind::Text;
      return true;
  }
}

bool CheckTextCharacters(const ColumnInfo& c, const VARIANT& value, ProviderError& error) {
  if (value.vt != VT_BSTR) return true;
  std::u16string_view text = BstrView(value.bstrVal);
  std::size_t bad = text.size();
  for (std::size_t i = 0; i < text.size() && bad == text.size(); ++i) {
    char16_t ch = text[i];
    if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      ++i;  // a whole pair
    } else if (ch == 0 || (ch >= 0xD800 && ch <= 0xDFFF)) {
      bad = i;
    }
  }
  if (bad == text.size()) return true;
  // The message itself must be valid text: the offending characters show as replacement characters.
  std::u16string shown(text);
  std::size_t position = CodePoints(text.substr(0, bad)) + 1;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    char16_t ch = shown[i];
    if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < shown.size() && shown[i + 1] >= 0xDC00 && shown[i + 1] <= 0xDFFF) {
      ++i;
    } else if (ch == 0 || (ch >= 0xD800 && ch <= 0xDFFF)) {
      shown[i] = 0xFFFD;
    }
  }
  char16_t code = text[bad];
  std::u16string what = code == 0 ? std::u16string(u"a NUL character")
                                  : u"half of a surrogate pair (U+" + FormatBounded(8, u"%04X", static_cast<int>(code)) + u") without its other half";
  Refuse(error, DB_E_CANTCONVERTVALUE, kStateBadCharacter, kNativeBadCharacter,
         u"Value " + QuoteValueForMessage(shown) + u" for column " + ColumnLabel(c) + u" cannot be stored: character " +
             Number(static_cast<long long>(position)) + u" is " + what + u".");
  return false;
}

std::u16string FormatDecimal(std::u16string_view canonical, int scale) {
  std::u16string s(canonical);
  if (scale <= 0) return s;
  std::size_t point = s.find(u'.');
  std::size_t have = point == std::u16string::npos ? 0 : s.size() - point - 1;
  if (point == std::u16string::npos) s += u'.';
  if (static_cast<int>(have) < scale) s.append(static_cast<std::size_t>(scale) - have, u'0');
  return s;
}

std::u16string QuoteValueForMessage(std::u16string_view text) {
  constexpr std::size_t kShown = 100;
  if (CodePoints(text) <= kShown) return u"'" + std::u16string(text) + u"'";
  return u"'" + std::u16string(text.substr(0, CodePointOffset(text, kShown))) + u"...'";
}

}  // namespace ado
