#include "recorder/session/recording_clock.h"

#include <gtest/gtest.h>

using orvik::RecordingClock;

TEST(RecordingClock, EachTickClaimsTheSlotItFallsInOnce) {
  RecordingClock c;
  c.Start(1000.0);
  EXPECT_EQ(c.ClaimSlot(1000.0), 0u);
  EXPECT_EQ(c.ClaimSlot(1000.05), std::nullopt);  // same slot: no second frame
  EXPECT_EQ(c.ClaimSlot(1000.1), 1u);
  EXPECT_EQ(c.ClaimSlot(1000.3), 3u);  // slot 2 was never reached: stays empty
  EXPECT_EQ(c.ClaimSlot(1000.299), std::nullopt);
  EXPECT_DOUBLE_EQ(c.NextSlotStart(), 0.4);
}

TEST(RecordingClock, PausedSpansAreLeftOut) {
  RecordingClock c;
  c.Start(10.0);
  EXPECT_EQ(c.ClaimSlot(10.45), 4u);
  c.Pause(10.5);
  EXPECT_EQ(c.ClaimSlot(11.0), std::nullopt);  // no frames while paused
  EXPECT_DOUBLE_EQ(c.Elapsed(12.0), 0.5);
  c.Resume(12.5);  // paused for 2 s
  EXPECT_NEAR(c.Elapsed(12.6), 0.6, 1e-9);
  EXPECT_EQ(c.ClaimSlot(12.5), 5u);
  EXPECT_EQ(c.ClaimSlot(13.0), 10u);
}

TEST(RecordingClock, StartBeginsANewRecording) {
  RecordingClock c;
  c.Start(5.0);
  c.ClaimSlot(9.0);
  c.Pause(9.5);
  c.Start(100.0);  // a stop while paused, then a new start
  EXPECT_TRUE(c.Running());
  EXPECT_EQ(c.ClaimSlot(100.0), 0u);
}

TEST(RecordingClock, LongRecordingsKeepCounting) {
  RecordingClock c;
  c.Start(0.0);
  EXPECT_EQ(c.ClaimSlot(3600.0 * 2), 72000u);  // past 54 minutes, past 32767 frames
  // Past what a file can index no slot is handed out.
  EXPECT_EQ(c.ClaimSlot(4294967296.0 / 10), std::nullopt);
}

TEST(RecordingClock, SlotsFollowTheFrameRateThroughEveryStart) {
  RecordingClock c(30);
  c.Start(0.0);
  EXPECT_EQ(c.ClaimSlot(0.1), 3u);
  EXPECT_EQ(c.ClaimSlot(1.0), 30u);
  c.Start(50.0);
  EXPECT_EQ(c.FrameRate(), 30);
  EXPECT_EQ(c.ClaimSlot(50.5), 15u);
  EXPECT_EQ(RecordingClock(0).FrameRate(), 1);
  EXPECT_EQ(RecordingClock(1000).FrameRate(), 60);
}
