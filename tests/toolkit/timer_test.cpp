#include "toolkit/timer.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "window_testing.h"

using namespace toolkit_testing;

TEST(Timer, StartsSilentWithIntervalZeroAndEnabled) {
  tk::Timer t;
  int ticks = 0;
  t.onTimer = [&] { ++ticks; };
  EXPECT_EQ(t.Interval(), 0u);
  EXPECT_TRUE(t.Enabled());
  EXPECT_FALSE(t.Armed());
  PumpFor(150);
  EXPECT_EQ(ticks, 0);
}

TEST(Timer, TicksOnTheGuiThreadAndStopsAtIntervalZeroOrDisabled) {
  tk::Timer t;
  int ticks = 0;
  DWORD thread = 0;
  t.onTimer = [&] {
    ++ticks;
    thread = GetCurrentThreadId();
  };
  t.SetInterval(20);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }, 3000));
  EXPECT_EQ(thread, GetCurrentThreadId());

  t.SetInterval(0);
  PumpFor(30);  // a tick already queued is dropped, not delivered late
  ticks = 0;
  PumpFor(150);
  EXPECT_EQ(ticks, 0);

  t.SetInterval(20);
  t.SetEnabled(false);
  PumpFor(150);
  EXPECT_EQ(ticks, 0);
  EXPECT_EQ(t.Interval(), 20u);  // disabling keeps the interval

  t.SetEnabled(true);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }, 3000));
}

// How fast interval 1 really ticks is measured in bench/toolkit_bench; here it ticks on and on.
TEST(Timer, IntervalOneKeepsTicking) {
  tk::Timer t;
  int ticks = 0;
  t.onTimer = [&] { ++ticks; };
  t.SetInterval(1);
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 60; }, 10000));
  t.SetInterval(0);
}

TEST(Timer, ASlowHandlerThatRunsMessagesNeverNests) {
  tk::Timer t;
  int depth = 0, maxDepth = 0, ticks = 0;
  t.onTimer = [&] {
    ++ticks;
    maxDepth = std::max(maxDepth, ++depth);
    PumpFor(15);  // longer than the interval, letting messages run like a capture tick
    --depth;
  };
  t.SetInterval(2);
  PumpFor(300);
  t.SetInterval(0);
  EXPECT_GE(ticks, 5);
  EXPECT_EQ(maxDepth, 1);
}

TEST(Timer, HandlersMayRearmOrDestroyTheirTimer) {
  auto t = std::make_unique<tk::Timer>();
  int ticks = 0;
  t->onTimer = [&] {
    if (++ticks == 2) t.reset();
  };
  t->SetInterval(5);
  PumpFor(200);
  EXPECT_EQ(ticks, 2);

  tk::Timer once;
  int onceTicks = 0;
  once.onTimer = [&] {
    ++onceTicks;
    once.SetInterval(0);
  };
  once.SetInterval(5);
  PumpFor(150);
  EXPECT_EQ(onceTicks, 1);

  tk::Timer throws;
  int thrown = 0;
  throws.onTimer = [&] {
    ++thrown;
    throw std::runtime_error("tick failed");
  };
  throws.SetInterval(5);
  EXPECT_TRUE(PumpUntil([&] { return thrown >= 2; }, 2000));  // still ticking after a throw
}

TEST(Timer, ADelayedTickComesLateThenTheIntervalResumes) {
  tk::Timer t;
  std::vector<DWORD> at;
  t.onTimer = [&] { at.push_back(GetTickCount()); };
  t.SetInterval(1);
  ASSERT_TRUE(PumpUntil([&] { return !at.empty(); }, 2000));
  at.clear();
  const DWORD held = GetTickCount();
  t.DelayNextTick(300);
  PumpFor(150);
  EXPECT_TRUE(at.empty()) << "ticked during the hold";
  ASSERT_TRUE(PumpUntil([&] { return at.size() >= 20; }, 3000));
  EXPECT_GE(at.front() - held, 250u);
  EXPECT_EQ(t.Interval(), 1u);
  EXPECT_TRUE(t.Enabled());
}

TEST(Timer, DisablingDuringAHoldCancelsIt) {
  tk::Timer t;
  int ticks = 0;
  t.onTimer = [&] { ++ticks; };
  t.SetInterval(5);
  t.DelayNextTick(100);
  t.SetEnabled(false);
  PumpFor(300);
  EXPECT_EQ(ticks, 0);
  t.SetEnabled(true);  // ticks at the interval again, no hold left over
  EXPECT_TRUE(PumpUntil([&] { return ticks >= 3; }, 2000));
}
