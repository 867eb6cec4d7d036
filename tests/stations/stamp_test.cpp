// Within one process two documents never share a key, whatever the clock does: it stands still, ticks coarsely,
// or is set back.
#include <chrono>

#include "export/release_steps.h"
#include "tests/export/release_fixture.h"

namespace {

// 23:59:59.998 UTC on 3 June 2014.
constexpr std::int64_t kLateEvening = 1401839999998;
std::int64_t g_clock = kLateEvening;
std::int64_t Clock() { return g_clock; }

class ReleaseStamps : public ::testing::Test {
 protected:
  void SetUp() override {
    g_clock = kLateEvening;
    SetReleaseClock(&Clock);
  }
  void TearDown() override { SetReleaseClock(nullptr); }
};

TEST_F(ReleaseStamps, AClockThatStandsStillStillGivesEveryStampItsOwnKey) {
  // The date and time go with the key: the third stamp falls on the next second, and the next day.
  const ReleaseStamp expected[] = {{u"140603235959998", u"20140603", u"235959"},
                                   {u"140603235959999", u"20140603", u"235959"},
                                   {u"140604000000000", u"20140604", u"000000"},
                                   {u"140604000000001", u"20140604", u"000000"}};
  for (const ReleaseStamp& e : expected) {
    ReleaseStamp s = MakeReleaseStamp();
    EXPECT_EQ(s.key, e.key);
    EXPECT_EQ(s.date, e.date);
    EXPECT_EQ(s.time, e.time);
  }
}

TEST_F(ReleaseStamps, AClockSetBackGoesOnFromTheLastKeyUntilItHasCaughtUp) {
  EXPECT_EQ(MakeReleaseStamp().key, u"140603235959998");
  g_clock -= 3600 * 1000;  // an hour back: nothing waits for it to come round again
  EXPECT_EQ(MakeReleaseStamp().key, u"140603235959999");
  g_clock += 3600 * 1000 + 5000;  // past the last key: the keys follow the clock again
  EXPECT_EQ(MakeReleaseStamp().key, u"140604000004998");
}

// A clock that moves on only every 16 milliseconds, as some system clocks do.
std::int64_t CoarseClock() {
  using namespace std::chrono;
  static const auto start = steady_clock::now();
  std::int64_t elapsed = duration_cast<milliseconds>(steady_clock::now() - start).count();
  return kLateEvening + elapsed / 16 * 16;
}

TEST_F(ReleaseStamps, ACoarseClockIsWaitedForSoEveryKeyIsATimeTheClockShowed) {
  SetReleaseClock(&CoarseClock);
  std::set<std::u16string> keys;
  std::int64_t last = -1;
  for (int i = 0; i < 5; ++i) {
    ReleaseStamp s = MakeReleaseStamp();
    std::int64_t millisecond = std::stoll(Utf16ToUtf8(s.key.substr(12)));
    std::int64_t tick = (millisecond - (kLateEvening % 1000) + 1000) % 1000;
    EXPECT_EQ(tick % 16, 0) << Utf16ToUtf8(s.key);
    EXPECT_TRUE(keys.insert(s.key).second) << Utf16ToUtf8(s.key);
    std::int64_t value = std::stoll(Utf16ToUtf8(s.key));
    EXPECT_GT(value, last);
    last = value;
  }
}

// Whole releases on a clock that stands still: every document's records share a key of its own.
class FrozenClockRelease : public release_test::ReleaseFixture {
 protected:
  void SetUp() override {
    ReleaseFixture::SetUp();
    g_clock = kLateEvening;
    SetReleaseClock(&Clock);
  }
  void TearDown() override {
    SetReleaseClock(nullptr);
    ReleaseFixture::TearDown();
  }
};

TEST_F(FrozenClockRelease, DocumentsReleasedInTheSameMillisecondGetKeysOfTheirOwn) {
  for (const char* invoice : {"INV-1", "INV-2", "INV-3"}) {
    auto values = release_test::RequiredValues();
    values.push_back(release_test::Value("TBHB.BHINV", invoice));
    ASSERT_EQ(Release(values), KFX_REL_SUCCESS) << ::testing::PrintToString(Logged());
  }
  auto tpec = Rows("TPEC"), tbhb = Rows("TBHB"), tbsb = Rows("TBSB"), tblb = Rows("TBLB");
  ASSERT_EQ(tbhb.size(), 3u);
  const char* keys[] = {"140603235959998", "140603235959999", "140604000000000"};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(*tbhb[i]["BHINV"], "INV-" + std::to_string(i + 1));
    for (auto [row, columns] : std::vector<std::pair<release_test::Row*, std::vector<const char*>>>{
             {&tpec[i], {"PEGUI", "PEICN"}}, {&tbhb[i], {"BHGUI", "BHICN"}}, {&tbsb[i], {"BSGUI", "BSICN"}},
             {&tblb[i], {"BLGUI", "BLICN"}}}) {
      for (const char* column : columns) EXPECT_EQ(*(*row)[column], keys[i]) << column;
    }
  }
}

}  // namespace
