// The release stamp's sequence: keys never repeat within the process, and a clock that is set back does not
// hold the release up.
#include <gtest/gtest.h>

#include "export/release_steps.h"

namespace {

std::int64_t g_now = 0;
std::int64_t ManualClock() { return g_now; }
std::int64_t TickingClock() { return g_now++; }

TEST(ReleaseStampSequence, AClockSetBackIsNotWaitedFor) {
  g_now = 1401804309007;  // 2014-06-03 14:05:09.007 UTC
  SetReleaseClock(&ManualClock);
  ReleaseStamp before = MakeReleaseStamp();
  g_now -= 3600 * 1000;  // set back an hour: waiting for it would stall the release for that hour
  ReleaseStamp after = MakeReleaseStamp();
  ReleaseStamp next = MakeReleaseStamp();
  SetReleaseClock(nullptr);
  EXPECT_EQ(before.key, u"140603140509007");
  EXPECT_EQ(after.key, u"140603140509008");
  EXPECT_EQ(next.key, u"140603140509009");
  EXPECT_EQ(after.date, u"20140603");
  EXPECT_EQ(after.time, u"140509");
}

TEST(ReleaseStampSequence, AClockInTheSameMillisecondIsWaitedFor) {
  g_now = 1401804309007;
  SetReleaseClock(&TickingClock);
  ReleaseStamp a = MakeReleaseStamp();
  g_now = 1401804309007 - 5;  // a little behind: the next key comes when the clock has passed the last one
  ReleaseStamp b = MakeReleaseStamp();
  SetReleaseClock(nullptr);
  EXPECT_EQ(a.key, u"140603140509007");
  EXPECT_EQ(b.key, u"140603140509008");
  EXPECT_EQ(g_now, 1401804309007 + 2) << "the clock was read until it had moved on";
}

TEST(ReleaseStampSequence, AnotherClockStartsAnewSequence) {
  g_now = 1401804309007;
  SetReleaseClock(&ManualClock);
  MakeReleaseStamp();
  SetReleaseClock(&ManualClock);
  g_now = 1401804309000;  // earlier than the last stamp of the other sequence
  EXPECT_EQ(MakeReleaseStamp().key, u"140603140509000");
  SetReleaseClock(nullptr);
}

}  // namespace
