// Column types from declared type texts, the checks a value passes before it is stored, and the VARIANT
// conversions those checks rest on.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "platform/ado/coltypes.h"
#include "platform/com/variant.h"

namespace {

std::size_t CodePoints(std::u16string_view s) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < s.size(); ++i, ++n)
    if (s[i] >= 0xD800 && s[i] <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) ++i;
  return n;
}

CComVariant MakeValue(FuzzedDataProvider& in) {
  CComVariant v;
  switch (in.ConsumeIntegralInRange<int>(0, 11)) {
    case 0: v = CComVariant(in.ConsumeIntegral<LONG>()); break;
    case 1: v = CComVariant(fuzz::ConsumeDouble(in)); break;
    case 2: v = CComVariant(in.ConsumeBool()); break;
    case 3: v.vt = VT_I8; v.llVal = in.ConsumeIntegral<LONGLONG>(); break;
    case 4: v.vt = VT_UI8; v.ullVal = in.ConsumeIntegral<ULONGLONG>(); break;
    case 5: {
      std::uint32_t bits = in.ConsumeIntegral<std::uint32_t>();
      v.vt = VT_R4;
      std::memcpy(&v.fltVal, &bits, sizeof bits);
      break;
    }
    case 6: v.vt = VT_I2; v.iVal = in.ConsumeIntegral<SHORT>(); break;
    case 7: v.vt = VT_NULL; break;
    case 8: v.vt = VT_DATE; v.date = fuzz::ConsumeDouble(in); break;
    case 9: v.vt = VT_UI4; v.ulVal = in.ConsumeIntegral<ULONG>(); break;
    default: v = CComVariant(std::u16string_view(fuzz::LooseUtf16(in.ConsumeRandomLengthString(200)))); break;
  }
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  std::u16string declared = fuzz::LooseUtf16(in.ConsumeRandomLengthString(40));
  CComVariant value = MakeValue(in);

  ado::ColumnInfo column;
  column.name = u"BHINV";
  column.tableName = u"TBHB";
  ado::DescribeDeclaredType(declared, column);
  FUZZ_REQUIRE(!column.typeText.empty());
  FUZZ_REQUIRE(column.definedSize >= 0);
  bool decimal = column.type == adDecimal || column.type == adNumeric;
  if (decimal) FUZZ_REQUIRE(column.numericScale <= column.precision);

  ado::BoundValue bound;
  ado::ProviderError error;
  error.number = S_OK;
  bool ok = ado::CheckColumnValue(column, value, bound, error);
  if (!ok) {
    FUZZ_REQUIRE(FAILED(error.number) && !error.description.empty());
    FUZZ_REQUIRE(error.sqlState == u"22001" || error.sqlState == u"22003" || error.sqlState == u"22018");
  } else {
    FUZZ_REQUIRE(error.number == S_OK);
    if (value.vt == VT_NULL) FUZZ_REQUIRE(bound.kind == ado::BoundValue::Kind::Null);
    if (bound.kind == ado::BoundValue::Kind::Text && column.definedSize > 0 &&
        (column.type == adChar || column.type == adWChar || column.type == adVarChar || column.type == adVarWChar))
      FUZZ_REQUIRE(CodePoints(bound.text) <= static_cast<std::size_t>(column.definedSize));
    if (decimal && bound.kind == ado::BoundValue::Kind::Text) {
      FUZZ_REQUIRE(bound.significantDigits <= column.precision);
      // The canonical text is accepted again as itself.
      ado::BoundValue again;
      FUZZ_REQUIRE(ado::CheckColumnValue(column, CComVariant(std::u16string_view(bound.text)), again, error));
      FUZZ_REQUIRE(again.text == bound.text);
      std::u16string shown = ado::FormatDecimal(bound.text, column.numericScale);
      std::size_t point = shown.find(u'.');
      if (column.numericScale > 0)
        FUZZ_REQUIRE(point != std::u16string::npos && shown.size() - point - 1 == column.numericScale);
    }
  }
  std::u16string quoted = ado::QuoteValueForMessage(VariantToString(value));
  FUZZ_REQUIRE(quoted.size() >= 2 && quoted.front() == u'\'' && quoted.back() == u'\'');

  // Conversions between the automation types never fail silently into garbage.
  for (VARTYPE to : {VT_BSTR, VT_I2, VT_I4, VT_I8, VT_UI1, VT_UI4, VT_UI8, VT_R4, VT_R8, VT_BOOL, VT_DATE, VT_INT}) {
    CComVariant converted;
    HRESULT hr = VariantChangeType(&converted, &value, 0, to);
    if (SUCCEEDED(hr)) FUZZ_REQUIRE(converted.vt == to);
    else FUZZ_REQUIRE(converted.vt == VT_EMPTY);
  }
  return 0;
}
