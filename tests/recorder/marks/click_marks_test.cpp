#include "recorder/marks/click_marks.h"

#include <gtest/gtest.h>

using orvik::ClickMarks;
using orvik::PressButton;
using orvik::PressEvent;

namespace {
PressEvent Down(PressButton b, double t, int x = 10, int y = 20) { return {b, true, x, y, t}; }
PressEvent Up(PressButton b, double t) { return {b, false, 0, 0, t}; }
}  // namespace

TEST(ClickMarks, ARingShowsFromItsPressWhileHeldThenFadesOutAndIsForgotten) {
  ClickMarks marks;
  marks.Add(Down(PressButton::Left, 1.0, 300, 200));
  EXPECT_TRUE(marks.RingsAt(0.99).empty());  // a frame taken before the press has no ring
  auto rings = marks.RingsAt(1.0);
  ASSERT_EQ(rings.size(), 1u);
  EXPECT_EQ(rings[0].x, 300);
  EXPECT_EQ(rings[0].y, 200);  // where it went down, wherever the pointer goes while held
  EXPECT_FLOAT_EQ(rings[0].opacity, 1.0f);
  EXPECT_FLOAT_EQ(marks.RingsAt(5.0)[0].opacity, 1.0f);  // held for four seconds
  marks.Add(Up(PressButton::Left, 5.0));
  EXPECT_NEAR(marks.RingsAt(5.25)[0].opacity, 0.5f, 1e-6);
  EXPECT_TRUE(marks.RingsAt(5.5).empty());
  EXPECT_TRUE(marks.RingsAt(5.25).empty());  // forgotten, not only hidden
}

TEST(ClickMarks, ReleasesEndTheirOwnButtonsLatestPressOnly) {
  ClickMarks marks;
  marks.Add(Up(PressButton::Left, 0.5));  // its press came before listening began: ignored
  marks.Add(Down(PressButton::Left, 1.0));
  marks.Add(Down(PressButton::Right, 1.1));
  marks.Add(Up(PressButton::Right, 1.2));
  auto rings = marks.RingsAt(1.45);
  ASSERT_EQ(rings.size(), 2u);
  EXPECT_EQ(rings[0].button, PressButton::Left);
  EXPECT_FLOAT_EQ(rings[0].opacity, 1.0f);
  EXPECT_EQ(rings[1].button, PressButton::Right);
  EXPECT_NEAR(rings[1].opacity, 0.5f, 1e-6);
  // A quick click taken in one batch still shows in the next frame, fading from its release.
  marks.Add(Down(PressButton::Right, 1.5));
  marks.Add(Up(PressButton::Right, 1.5));
  EXPECT_EQ(marks.RingsAt(1.6).size(), 3u);
  // A flood of presses keeps the newest.
  for (int i = 0; i < 100; ++i) marks.Add(Down(PressButton::Left, 2.0 + i * 0.001, i, i));
  rings = marks.RingsAt(3.0);
  ASSERT_EQ(rings.size(), ClickMarks::kMostRings);
  EXPECT_EQ(rings.back().x, 99);
  marks.Clear();
  EXPECT_TRUE(marks.RingsAt(3.0).empty());
}

TEST(ClickMarks, RingPixelsAreAPremultipliedSmoothRingAroundTheCentre) {
  constexpr int side = orvik::kRingSide;
  const auto px = orvik::RingPixels(side, orvik::kRingRadius, orvik::kRingStroke, 0xFFB000);
  ASSERT_EQ(px.size(), static_cast<size_t>(side * side));
  const int c = side / 2;
  auto at = [&](int x, int y) { return px[static_cast<size_t>(y) * side + x]; };
  EXPECT_EQ(at(c, c), 0u);                                // the hot spot stays clear
  EXPECT_EQ(at(c + orvik::kRingRadius, c), 0xFFFFB000u);  // the stroke in full colour
  EXPECT_EQ(at(c, c - orvik::kRingRadius), 0xFFFFB000u);
  EXPECT_EQ(at(0, 0), 0u);
  int partial = 0;
  for (int y = 0; y < side; ++y) {
    for (int x = 0; x < side; ++x) {
      const uint32_t p = at(x, y), a = p >> 24;
      EXPECT_EQ(p, at(side - 1 - x, y));  // symmetric about its centre
      EXPECT_EQ(p, at(x, side - 1 - y));
      EXPECT_LE((p >> 16) & 0xFF, a);  // premultiplied
      if (a > 0 && a < 255) ++partial;
    }
  }
  EXPECT_GT(partial, 4 * orvik::kRingRadius);  // smoothed edges all round, inside and out
  EXPECT_EQ(at(side - 1, c), 0u);              // the square holds the whole ring
}
