#include <gtest/gtest.h>

#include "platform/ado/coltypes.h"
#include "tests/ado/ado_test_support.h"

namespace {

using adotest::Narrow;

TEST(DeclaredType, GivesAdoTypeSizePrecisionAndScale) {
  struct Case {
    std::u16string declared;
    DataTypeEnum type;
    LONG size;
    int precision, scale;
    bool fixed;
    std::u16string shown;
  };
  const Case cases[] = {
      {u"CHAR(15)", adChar, 15, 255, 255, true, u"CHAR(15)"},
      {u"char(1)", adChar, 1, 255, 255, true, u"CHAR(1)"},
      {u"CHARACTER", adChar, 1, 255, 255, true, u"CHAR(1)"},
      {u"VARCHAR(80)", adVarChar, 80, 255, 255, false, u"VARCHAR(80)"},
      {u"DECIMAL(8, 0)", adDecimal, 16, 8, 0, true, u"DECIMAL(8,0)"},
      {u"DECIMAL(15,2)", adDecimal, 16, 15, 2, true, u"DECIMAL(15,2)"},
      {u"DEC(5)", adDecimal, 16, 5, 0, true, u"DECIMAL(5,0)"},
      {u"NUMERIC(6,0)", adNumeric, 19, 6, 0, true, u"NUMERIC(6,0)"},
      {u"INTEGER", adInteger, 4, 10, 255, true, u"INTEGER"},
      {u"SMALLINT", adSmallInt, 2, 5, 255, true, u"SMALLINT"},
      {u"BIGINT", adBigInt, 8, 19, 255, true, u"BIGINT"},
      {u"DOUBLE PRECISION", adDouble, 8, 15, 255, true, u"DOUBLE"},
      {u"TIMESTAMP", adDBTimeStamp, 16, 255, 255, true, u"TIMESTAMP"},
      {u"", adVarWChar, 0, 255, 255, false, u"(no type)"},
  };
  for (const auto& c : cases) {
    ado::ColumnInfo col;
    ado::DescribeDeclaredType(c.declared, col);
    SCOPED_TRACE(Narrow(c.declared));
    EXPECT_EQ(col.type, c.type);
    EXPECT_EQ(col.definedSize, c.size);
    EXPECT_EQ(col.precision, c.precision);
    EXPECT_EQ(col.numericScale, c.scale);
    EXPECT_EQ((col.attributes & adFldFixed) != 0, c.fixed);
    EXPECT_EQ(col.typeText, c.shown);
  }
}

ado::ColumnInfo Column(std::u16string_view declared) {
  ado::ColumnInfo c;
  c.name = u"COL";
  c.tableName = u"TBHB";
  ado::DescribeDeclaredType(declared, c);
  return c;
}

TEST(ColumnValue, AcceptsWhatFitsAndRefusesWhatTheDatabaseRefuses) {
  struct Case {
    std::u16string declared;
    std::u16string value;
    bool accepted;
    std::u16string boundOrState;  // the bound text when accepted, else the SQL state
  };
  const Case cases[] = {
      {u"CHAR(2)", u"AB", true, u"AB"},
      {u"CHAR(2)", u"", true, u""},
      {u"CHAR(2)", u"ABC", false, u"22001"},
      {u"CHAR(2)", u"AB   ", true, u"AB"},  // excess blanks only: dropped
      {u"CHAR(2)", u"A B", false, u"22001"},
      {u"CHAR(2)", u"\u00e9\u00e8", true, u"\u00e9\u00e8"},  // characters, not bytes
      {u"VARCHAR(3)", u"ABCD", false, u"22001"},
      {u"DECIMAL(5,2)", u"123.45", true, u"123.45"},
      {u"DECIMAL(5,2)", u"-123.45", true, u"-123.45"},
      {u"DECIMAL(5,2)", u" +1.5 ", true, u"1.5"},
      {u"DECIMAL(5,2)", u"0001.50", true, u"1.5"},
      {u"DECIMAL(5,2)", u".5", true, u"0.5"},
      {u"DECIMAL(5,2)", u"-0", true, u"0"},
      {u"DECIMAL(5,2)", u"1234.5", false, u"22003"},
      {u"DECIMAL(5,2)", u"1.234", false, u"22003"},
      {u"DECIMAL(5,2)", u"1.230", true, u"1.23"},
      {u"DECIMAL(5,2)", u"12a", false, u"22018"},
      {u"DECIMAL(5,2)", u"", false, u"22018"},
      {u"DECIMAL(5,2)", u"  ", false, u"22018"},
      {u"DECIMAL(5,2)", u"1e2", false, u"22018"},
      {u"DECIMAL(5,2)", u"1.2.3", false, u"22018"},
      {u"DECIMAL(5,2)", u"-", false, u"22018"},
      {u"DECIMAL(8,0)", u"20240131", true, u"20240131"},
      {u"DECIMAL(8,0)", u"12.7", false, u"22003"},
      {u"NUMERIC(6,0)", u"123456", true, u"123456"},
      {u"NUMERIC(6,0)", u"1234567", false, u"22003"},
      {u"SMALLINT", u"32767", true, u""},
      {u"SMALLINT", u"32768", false, u"22003"},
      {u"INTEGER", u"12.0", true, u""},
      {u"INTEGER", u"12.5", false, u"22018"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Narrow(c.declared + u" <- '" + c.value + u"'"));
    ado::BoundValue bound;
    ado::ProviderError error;
    bool ok = ado::CheckColumnValue(Column(c.declared), CComVariant(c.value), bound, error);
    ASSERT_EQ(ok, c.accepted) << Narrow(error.description);
    if (ok) {
      if (bound.kind == ado::BoundValue::Kind::Text) {
        EXPECT_EQ(bound.text, c.boundOrState);
      }
    } else {
      EXPECT_EQ(error.sqlState, c.boundOrState);
      EXPECT_NE(error.description.find(u"TBHB.COL"), std::u16string::npos) << Narrow(error.description);
    }
  }
}

TEST(ColumnValue, RefusalTextsNameColumnTypeAndValue) {
  ado::BoundValue bound;
  ado::ProviderError e;
  ASSERT_FALSE(ado::CheckColumnValue(Column(u"CHAR(2)"), CComVariant(u"ABC"), bound, e));
  EXPECT_EQ(e.number, DB_E_DATAOVERFLOW);
  EXPECT_EQ(e.nativeError, -404);
  EXPECT_EQ(e.description, u"Value 'ABC' for column TBHB.COL is too long: CHAR(2) holds at most 2 characters.");
  ASSERT_FALSE(ado::CheckColumnValue(Column(u"DECIMAL(5,2)"), CComVariant(u"1234.5"), bound, e));
  EXPECT_EQ(e.number, DB_E_DATAOVERFLOW);
  EXPECT_EQ(e.description,
            u"Value '1234.5' for column TBHB.COL is out of range: DECIMAL(5,2) holds at most 3 integer and 2 "
            u"fraction digits.");
  ASSERT_FALSE(ado::CheckColumnValue(Column(u"DECIMAL(5,2)"), CComVariant(u"12a"), bound, e));
  EXPECT_EQ(e.number, DB_E_CANTCONVERTVALUE);
  EXPECT_EQ(e.description, u"Value '12a' for column TBHB.COL is not a valid number for DECIMAL(5,2).");
  // A long value is cut in the message.
  ASSERT_FALSE(ado::CheckColumnValue(Column(u"CHAR(2)"), CComVariant(std::u16string(500, u'x')), bound, e));
  EXPECT_NE(e.description.find(std::u16string(100, u'x') + u"...'"), std::u16string::npos);
  EXPECT_EQ(e.description.find(std::u16string(101, u'x')), std::u16string::npos);
}

TEST(ColumnValue, NumbersAndNullsGivenAsVariants) {
  ado::BoundValue bound;
  ado::ProviderError e;
  EXPECT_TRUE(ado::CheckColumnValue(Column(u"DECIMAL(5,2)"), CComVariant(12.5), bound, e));
  EXPECT_EQ(bound.text, u"12.5");
  EXPECT_TRUE(ado::CheckColumnValue(Column(u"DECIMAL(5,2)"), CComVariant(LONG{42}), bound, e));
  EXPECT_EQ(bound.text, u"42");
  CComVariant null;
  null.vt = VT_NULL;
  EXPECT_TRUE(ado::CheckColumnValue(Column(u"DECIMAL(5,2)"), null, bound, e));
  EXPECT_EQ(bound.kind, ado::BoundValue::Kind::Null);
  EXPECT_FALSE(ado::CheckColumnValue(Column(u"CHAR(2)"), CComVariant(DISP_E_TYPEMISMATCH, VT_ERROR), bound, e));
}

TEST(DecimalText, ShowsExactlyTheScale) {
  EXPECT_EQ(ado::FormatDecimal(u"123.4", 2), u"123.40");
  EXPECT_EQ(ado::FormatDecimal(u"7", 2), u"7.00");
  EXPECT_EQ(ado::FormatDecimal(u"-0.05", 2), u"-0.05");
  EXPECT_EQ(ado::FormatDecimal(u"20240131", 0), u"20240131");
}

}  // namespace
