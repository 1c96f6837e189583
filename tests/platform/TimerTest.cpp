#include "platform/Timer.h"

#include <gtest/gtest.h>

#include <thread>

using namespace meldrix;

TEST(Timer, StartZeroIsNowAndRunsOutAtTheGivenMoment) {
  ScopedFakeClock clock(5000);
  TimerValue now = TimerStart(0);
  EXPECT_NE(now, 0u);
  EXPECT_TRUE(TimerTimeout(now));
  TimerValue t = TimerStart(100);
  EXPECT_EQ(TimerDifference(now, t), 100);
  clock->Advance(99);
  EXPECT_FALSE(TimerTimeout(t));
  clock->Advance(1);
  EXPECT_TRUE(TimerTimeout(t));
  clock->Advance(1000000);
  EXPECT_TRUE(TimerTimeout(t)) << "a timer stays run out";
  // An overlong duration is cut so that it still lies ahead.
  const TimerValue longest = TimerStart(0xFFFF'FFFFu);
  EXPECT_FALSE(TimerTimeout(longest));
  EXPECT_EQ(TimerDifference(TimerStart(0), longest), static_cast<std::int32_t>(kTimerMaxMs));
}

// 0 is never a timer value and never runs out, also where the counter wraps.
TEST(Timer, ComparisonsHoldAcrossTheWrapOfTheCounter) {
  ScopedFakeClock clock(0xFFFF'FF00ull);
  const TimerValue one = TimerStart(0x100);  // the 32-bit value of now + 0x100 is exactly 0
  EXPECT_EQ(one, 1u);
  EXPECT_FALSE(TimerTimeout(one));
  TimerValue t = TimerStart(0x200);  // runs out after the low 32 bits wrap
  EXPECT_LT(t, 0x200u);
  EXPECT_FALSE(TimerTimeout(t));
  clock->Advance(0x1FF);
  EXPECT_FALSE(TimerTimeout(t));
  clock->Advance(1);
  EXPECT_TRUE(TimerTimeout(t));
  EXPECT_TRUE(TimerTimeout(one));
  EXPECT_FALSE(TimerTimeout(0)) << "0 means no timer";
  EXPECT_EQ(TimerDifference(0xFFFF'FFF0u, 0x10u), 0x20);
  EXPECT_EQ(TimerDifference(0x10u, 0xFFFF'FFF0u), -0x20);
}

TEST(Timer, RealClockMovesForward) {
  TimerValue t = TimerStart(2);
  EXPECT_FALSE(TimerTimeout(TimerStart(1000)));
  std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_TRUE(TimerTimeout(t));
}
