#include "recorder/session/countdown.h"

#include <gtest/gtest.h>

using namespace orvik;

TEST(Countdown, DigitsCountDownAndLeaveTheScreenBeforeTheEnd) {
  const CountdownTimeline three(3, 100.0);
  EXPECT_EQ(three.DigitAt(100.0), 3);
  EXPECT_EQ(three.DigitAt(100.99), 3);
  EXPECT_EQ(three.DigitAt(101.0), 2);
  EXPECT_EQ(three.DigitAt(102.5), 1);
  // The last moment is the screen's, to repaint what lay under the digits.
  EXPECT_EQ(three.DigitAt(103.0 - CountdownTimeline::kClearBeforeEnd - 0.01), 1);
  EXPECT_EQ(three.DigitAt(103.0 - CountdownTimeline::kClearBeforeEnd + 0.01), 0);
  EXPECT_FALSE(three.Over(102.999));
  EXPECT_TRUE(three.Over(103.0));
  EXPECT_EQ(three.DigitAt(104.0), 0);
  // A clock read just before the start (another thread's) shows the first digit, not one more.
  EXPECT_EQ(three.DigitAt(99.5), 3);
  EXPECT_EQ(CountdownTimeline(10, 0).DigitAt(0.5), 10);
}
