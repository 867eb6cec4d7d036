// Column types from declared type texts, and the checks a database makes before it stores a value: what the
// IBM i refuses (text longer than CHAR(n), a non-number or too many digits for DECIMAL/NUMERIC(p,s)) a provider
// refuses too, instead of storing a mangled value.
#pragma once

#include <string>
#include <string_view>

#include "platform/ado/provider.h"

namespace ado {

// Fills type, definedSize, precision, numericScale, the fixed/long attributes and typeText of a column from a
// declared type such as "CHAR(15)", "DECIMAL(8, 0)", "NUMERIC(6,0)", "INTEGER". An empty or unknown type is a
// variable-length text without a declared length.
void DescribeDeclaredType(std::u16string_view declared, ColumnInfo& column);

// A value in the form it is bound to a statement.
struct BoundValue {
  enum class Kind { Null, Text, Integer, Real };
  Kind kind = Kind::Null;
  std::u16string text;   // Text; for DECIMAL/NUMERIC the canonical number ("-123.4", "0.05", "7")
  LONGLONG integer = 0;  // Integer
  double real = 0;       // Real
  int significantDigits = 0;  // DECIMAL/NUMERIC: digits without leading/trailing zeros
};

// Checks a value against its column and converts it for binding. On refusal fills `error` (number, SQL state,
// description naming the column and the value) and returns false:
//   22001 (DB_E_DATAOVERFLOW)     text longer than CHAR/VARCHAR(n) (excess trailing blanks are dropped instead)
//   22018 (DB_E_CANTCONVERTVALUE) not a number for a numeric column (an empty text included)
//   22003 (DB_E_DATAOVERFLOW)     more integer digits than p-s or more fraction digits than s, or an integer
//                                 out of the column's range
// A VT_NULL or VT_EMPTY value binds as NULL; whether the column takes NULL is the database's to decide.
bool CheckColumnValue(const ColumnInfo& column, const VARIANT& value, BoundValue& bound, ProviderError& error);

// Text no column can hold as given: a NUL character, or half of a UTF-16 surrogate pair with no other half. A
// database would change it (a replacement character, a cut at the NUL) or refuse it; such a value is refused
// (22021 DB_E_CANTCONVERTVALUE, as the IBM i refuses a character it cannot convert) with the place of the first
// such character. Values that are not text pass.
bool CheckTextCharacters(const ColumnInfo& column, const VARIANT& value, ProviderError& error);

// The text of a DECIMAL/NUMERIC value with exactly `scale` fraction digits, as the database shows it
// ("123.40" for 123.4 in DECIMAL(5,2)); `canonical` is a BoundValue text.
std::u16string FormatDecimal(std::u16string_view canonical, int scale);

// A value for messages: quoted text, cut after 100 characters.
std::u16string QuoteValueForMessage(std::u16string_view text);

// SQL states and native errors of the refusals, as the IBM i reports them.
inline constexpr char16_t kStateTooLong[] = u"22001";
inline constexpr char16_t kStateOutOfRange[] = u"22003";
inline constexpr char16_t kStateNotANumber[] = u"22018";
inline constexpr char16_t kStateBadCharacter[] = u"22021";
inline constexpr LONG kNativeTooLong = -404;
inline constexpr LONG kNativeOutOfRange = -406;
inline constexpr LONG kNativeNotANumber = -420;
inline constexpr LONG kNativeBadCharacter = -330;

}  // namespace ado
