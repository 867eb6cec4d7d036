#include <gtest/gtest.h>

#include "platform/ado/provider.h"
#include "tests/ado/ado_test_support.h"

namespace {

using adotest::Narrow;

TEST(ConnectionString, ParsesKeysCaseInsensitivelyAndValuesAsWritten) {
  struct Case {
    std::u16string text;
    std::u16string key;
    std::u16string value;  // expected value of key
  };
  const Case cases[] = {
      {u"Provider=IBMDA400;Data source=SYSTEM1;", u"provider", u"IBMDA400"},
      {u"Provider=IBMDA400;Data source=SYSTEM1;", u"DATA SOURCE", u"SYSTEM1"},
      {u"  Provider = IBMDA400 ;  Data Source =  sqlite:/tmp/x  ", u"Data Source", u"sqlite:/tmp/x"},
      {u"Data Source=\"odbc:Driver={X};Server=a\";User ID=u", u"data source", u"odbc:Driver={X};Server=a"},
      {u"Password='it''s';", u"Password", u"it's"},
      {u"A=1;A=2", u"a", u"2"},  // the last one wins
      {u"junk;Provider=P", u"Provider", u"P"},
      {u"Provider=", u"Provider", u""},
  };
  for (const auto& c : cases) {
    auto props = ado::ParseConnectionString(c.text);
    const std::u16string* v = props.Find(c.key);
    ASSERT_NE(v, nullptr) << Narrow(c.text);
    EXPECT_EQ(*v, c.value) << Narrow(c.text);
  }
  EXPECT_EQ(ado::ParseConnectionString(u"Provider=IBMDA400").Find(u"Data Source"), nullptr);
}

TEST(ConnectionString, DataSourceChoosesTheProvider) {
  adotest::TempDir dir;
  std::u16string existing = Utf8ToUtf16(dir.path().string());
  EXPECT_EQ(ado::ProviderKindFor(u"sqlite:/no/such/folder"), u"sqlite");
  EXPECT_EQ(ado::ProviderKindFor(u"SQLITE:" + existing), u"sqlite");
  EXPECT_EQ(ado::ProviderKindFor(existing), u"sqlite");
  EXPECT_EQ(ado::ProviderKindFor(u"odbc:DSN=ecm"), u"odbc");
  EXPECT_EQ(ado::ProviderKindFor(u"ERPSYS01"), u"odbc");
  EXPECT_EQ(ado::ProviderKindFor(existing + u"/missing"), u"odbc");
  EXPECT_NE(ado::FindProvider(u"sqlite"), nullptr);
}

}  // namespace
