// The release stamp of consecutive documents: a document in the same millisecond as the one before waits for
// the clock to move on, so that its key is still the time of its release.
#include <gtest/gtest.h>

#include "export/release_steps.h"

namespace {

int g_calls = 0;
// 14:05:09.007 for three readings, then 14:05:09.012.
std::int64_t SlowClock() { return g_calls++ < 3 ? 1401804309007 : 1401804309012; }

TEST(ReleaseStampWait, ADocumentInTheSameMillisecondTakesTheClocksNextTime) {
  g_calls = 0;
  SetReleaseClock(&SlowClock);
  ReleaseStamp first = MakeReleaseStamp();
  ReleaseStamp second = MakeReleaseStamp();
  SetReleaseClock(nullptr);
  EXPECT_EQ(first.key, u"140603140509007");
  EXPECT_EQ(second.key, u"140603140509012") << "the clock's time, not the last key plus one";
}

}  // namespace
