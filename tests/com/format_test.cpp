#include <gtest/gtest.h>

#include <limits>

#include "platform/com/format.h"

namespace {

TEST(Format, TheMessageShapesOfTheSystem) {
  EXPECT_EQ(Format(u"%02d%02d%02d%02d%02d%02d%03d", 14, 6, 3, 14, 5, 9, 7), u"140603140509007");
  EXPECT_EQ(Format(u"%04d%02d%02d", 2014, 6, 3), u"20140603");
  EXPECT_EQ(Format(u"%s (Error Code: 0x%08lx)", u"Failed", 0), u"Failed (Error Code: 0x00000000)");
  EXPECT_EQ(Format(u"(Error Code: 0x%08lx)", static_cast<int>(0x80040E21u)), u"(Error Code: 0x80040e21)");
  EXPECT_EQ(Format(u"Unknown error 0x%0lX", static_cast<int>(0x800A0E78u)), u"Unknown error 0x800A0E78");
  EXPECT_EQ(Format(u"IDispatch error #%d", 3092), u"IDispatch error #3092");
  EXPECT_EQ(Format(u"%01d.%01d.%01d", 1, 5, 2), u"1.5.2");
  EXPECT_EQ(Format(u"Error Updating TBLB record %d of %d: %s", 2, 3, u"x"), u"Error Updating TBLB record 2 of 3: x");
  EXPECT_EQ(Format(u"%d%%", -5), u"-5%");
}

TEST(Format, FlagsWidthAndPrecision) {
  EXPECT_EQ(Format(u"[%5d|%-5d|%05d|%+d|%.3d]", 42, 42, -42, 7, 5), u"[   42|42   |-0042|+7|005]");
  EXPECT_EQ(Format(u"[%*s|%.2s|%hs]", 4, u"ab", u"abcdef", "narrow"), u"[  ab|ab|narrow]");
  EXPECT_EQ(Format(u"%x %X %#x %o %u", 255, 255, 255, 8, -1), u"ff FF 0xff 10 4294967295");
  EXPECT_EQ(Format(u"%lld", 1234567890123LL), u"1234567890123");
  EXPECT_EQ(Format(u"%s", static_cast<const char16_t*>(nullptr)), u"(null)");
}

TEST(Format, HostileFormatsAreSafe) {
  EXPECT_EQ(Format(u"%s and %d", u"only one"), u"only one and 0");
  EXPECT_EQ(Format(u"%d", u"text"), u"0");
  EXPECT_EQ(Format(u"trailing %"), u"trailing ");
  EXPECT_EQ(Format(u"%q"), u"%q");
  EXPECT_EQ(Format(u"%99999999999d", 1).size(), 4096u);
}

TEST(Format, NumbersForIntegerConversionsAreCutToTheIntegerRange) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  struct Case {
    const char16_t* format;
    double value;
    const char16_t* expected;
  } cases[] = {
      {u"%d", 42.9, u"42"},
      {u"%d", -42.9, u"-42"},
      {u"%lld", 7.26127e+307, u"9223372036854775807"},
      {u"%lld", -1e300, u"-9223372036854775808"},
      {u"%lld", 9223372036854775808.0, u"9223372036854775807"},
      {u"%lld", nan, u"0"},
      {u"%lld", -inf, u"-9223372036854775808"},
      {u"%llu", 1e300, u"18446744073709551615"},
      {u"%llu", 18446744073709551616.0, u"18446744073709551615"},
      {u"%llu", 9223372036854775808.0, u"9223372036854775808"},
      {u"%llu", -1.0, u"18446744073709551615"},
      {u"%llx", inf, u"ffffffffffffffff"},
      {u"%x", nan, u"0"},
      {u"%c", 1e300, u"\uffff"},
  };
  for (const Case& c : cases) EXPECT_EQ(Format(c.format, c.value), c.expected) << c.value;
}

TEST(Format, WidthAndPrecisionFromTheArguments) {
  struct Case {
    std::u16string expected, actual;
  } cases[] = {
      {u"[   ab]", Format(u"[%*s]", 5, u"ab")},
      {u"[ab   ]", Format(u"[%*s]", -5, u"ab")},
      {u"[abc]", Format(u"[%.*s]", -1, u"abc")},
      {u"[7]", Format(u"[%.*d]", -3, 7)},
      {u"[1.500000]", Format(u"[%*.*f]", 5, -2, 1.5)},
      {u"[  1.5]", Format(u"[%*.*f]", 5, 1, 1.5)},
      {u"[7" + std::u16string(4095, u' ') + u"]", Format(u"[%*d]", std::numeric_limits<long long>::min(), 7)},
      {u"[" + std::u16string(4095, u' ') + u"7]", Format(u"[%*d]", std::numeric_limits<long long>::max(), 7)},
      {u"[7]", Format(u"[%.*d]", std::numeric_limits<long long>::min(), 7)},
  };
  for (const Case& c : cases) EXPECT_EQ(c.actual, c.expected);
}

TEST(Format, LongFixedPointNumbersAreWrittenWhole) {
  std::u16string text = Format(u"%.600f", 1e300);
  ASSERT_EQ(text.size(), 301u + 1u + 600u);
  EXPECT_EQ(text.substr(0, 4), u"1000");
  EXPECT_EQ(text.substr(301), u"." + std::u16string(600, u'0'));
  EXPECT_EQ(Format(u"%.4096f", -1e308).size(), 1u + 309u + 1u + 4096u);
  EXPECT_EQ(Format(u"[%.2f|%e|%g]", 2.5, 1.0, 0.5), u"[2.50|1.000000e+00|0.5]");
}

TEST(Format, BoundedCutsAtTheLimit) {
  std::u16string long_text(2000, u'x');
  EXPECT_EQ(FormatBounded(1023, u"Error: %s", long_text).size(), 1023u);
  EXPECT_EQ(FormatBounded(1023, u"%s", std::u16string(1023, u'y')).size(), 1023u);
}

}  // namespace

#include "platform/com/message_format.h"

namespace {

TEST(MessageFormat, InsertsAndEscapesAsTheSystemFormatsThem) {
  struct Case {
    std::u16string format;
    std::vector<std::u16string> args;
    bool ok;
    std::u16string text;
  };
  const Case cases[] = {
      {u"beginning with '%1'.", {u"Sender ID"}, true, u"beginning with 'Sender ID'."},
      {u"%2 and %1!s!", {u"a", u"b"}, true, u"b and a"},
      {u"100%% sure%.%n", {}, true, u"100% sure.\r\n"},
      {u"cut here%0 not shown", {}, true, u"cut here"},
      {u"line\nbreak kept", {}, true, u"line\nbreak kept"},
      {u"%1 missing", {}, false, u""},
      {u"%1!d! not text", {u"5"}, false, u""},
      {u"%1!s unterminated", {u"x"}, false, u""},
      {u"%12", {u"a", u"b", u"c", u"d", u"e", u"f", u"g", u"h", u"i", u"j", u"k", u"twelve"}, true, u"twelve"},
  };
  for (const Case& c : cases) {
    std::u16string out = u"unchanged";
    EXPECT_EQ(FormatMessageFromString(c.format, c.args, &out), c.ok) << std::string(c.format.begin(), c.format.end());
    EXPECT_EQ(out, c.ok ? c.text : u"unchanged");
  }
}

}  // namespace
