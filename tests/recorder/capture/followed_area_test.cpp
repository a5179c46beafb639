#include "recorder/capture/followed_area.h"

#include <gtest/gtest.h>

using orvik::FollowedCopy;
using orvik::FollowedCopyAt;
using orvik::FollowedFrame;
using orvik::FollowedFrameAtPick;
using orvik::FollowedWindowState;
using orvik::ScreenRect;

namespace {
constexpr ScreenRect kScreen{0, 0, 1920, 1080};
constexpr FollowedFrame kPicked{0, 0, 400, 300};

FollowedCopy Shown(const ScreenRect& window, const FollowedFrame& picked = kPicked) {
  return FollowedCopyAt(picked, FollowedWindowState::Shown, window, kScreen);
}

void ExpectCopy(const FollowedCopy& c, int sx, int sy, int w, int h, int dx, int dy) {
  EXPECT_EQ(c.kind, FollowedCopy::Kind::Copy);
  EXPECT_EQ(c.source.x0, sx);
  EXPECT_EQ(c.source.y0, sy);
  EXPECT_EQ(c.source.width, w);
  EXPECT_EQ(c.source.height, h);
  EXPECT_EQ(c.destX, dx);
  EXPECT_EQ(c.destY, dy);
}
}  // namespace

TEST(FollowedArea, TheFrameGoesWithTheWindowAtTheSizeItWasPicked) {
  const FollowedCopy moved = Shown({700, 500, 1100, 800});
  ExpectCopy(moved, 700, 500, 400, 300, 0, 0);
  EXPECT_TRUE(moved.fillsFrame);
  EXPECT_EQ(moved.frame.x0, 700);
  EXPECT_EQ(moved.frame.width, 400);
  // Made larger: cut at the picked size from its top-left.
  const FollowedCopy larger = Shown({100, 50, 900, 650});
  ExpectCopy(larger, 100, 50, 400, 300, 0, 0);
  EXPECT_TRUE(larger.fillsFrame);
  // Made smaller: only the window is copied, the rest of the frame stays black.
  const FollowedCopy smaller = Shown({100, 50, 300, 150});
  ExpectCopy(smaller, 100, 50, 200, 100, 0, 0);
  EXPECT_FALSE(smaller.fillsFrame);
  EXPECT_EQ(smaller.frame.width, 400);
  EXPECT_EQ(smaller.frame.height, 300);
}

TEST(FollowedArea, WhatLiesOffTheScreenIsLeftBlack) {
  const FollowedCopy pastLeftTop = Shown({-150, -100, 250, 200});
  ExpectCopy(pastLeftTop, 0, 0, 250, 200, 150, 100);
  EXPECT_FALSE(pastLeftTop.fillsFrame);
  EXPECT_EQ(pastLeftTop.frame.x0, -150);  // the cursor and rings are placed against this
  ExpectCopy(Shown({1800, 1000, 2200, 1300}), 1800, 1000, 120, 80, 0, 0);
  const FollowedCopy gone = Shown({3000, 2000, 3400, 2300});
  EXPECT_EQ(gone.kind, FollowedCopy::Kind::Copy);
  EXPECT_EQ(gone.source.width, 0);
  EXPECT_FALSE(gone.fillsFrame);
  // Absurd coordinates do not overflow.
  EXPECT_EQ(Shown({INT32_MAX - 10, INT32_MAX - 10, INT32_MAX, INT32_MAX}).source.width, 0);

  // Picked while reaching past the screen's left and top: the frame is the part that showed,
  // and keeps that place in the window.
  const FollowedFrame picked = FollowedFrameAtPick({-50, -20, 350, 280}, kScreen);
  EXPECT_EQ(picked.offsetX, 50);
  EXPECT_EQ(picked.offsetY, 20);
  EXPECT_EQ(picked.width, 350);
  EXPECT_EQ(picked.height, 280);
  const FollowedCopy inside = Shown({500, 400, 900, 700}, picked);
  ExpectCopy(inside, 550, 420, 350, 280, 0, 0);
  EXPECT_TRUE(inside.fillsFrame);
}

TEST(FollowedArea, AHiddenWindowHoldsTheLastPictureAndAClosedOneEndsTheFollowing) {
  const ScreenRect where{100, 100, 500, 400};
  EXPECT_EQ(FollowedCopyAt(kPicked, FollowedWindowState::Hidden, where, kScreen).kind,
            FollowedCopy::Kind::Hold);
  EXPECT_EQ(FollowedCopyAt(kPicked, FollowedWindowState::Closed, where, kScreen).kind,
            FollowedCopy::Kind::End);
}
