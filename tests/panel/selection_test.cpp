#include "panel/selection.h"

#include <gtest/gtest.h>

using namespace orvik;

namespace {
constexpr float T = 15;  // twips per pixel
}

TEST(Selection, CommitOrdersCornersBeforeConverting) {
  Selection s;
  s.BeginAt(300 * T, 200 * T);
  s.DragTo(100 * T, 50 * T);
  ASSERT_TRUE(s.ReleaseAt(100 * T, 50 * T));
  EXPECT_TRUE(s.placing);
  auto area = s.Commit();
  ASSERT_TRUE(area);
  EXPECT_EQ(area->x0, 100);
  EXPECT_EQ(area->y0, 50);
  EXPECT_EQ(area->width, 200);
  EXPECT_EQ(area->height, 150);
  EXPECT_FALSE(s.placing);
}

TEST(Selection, ConfinementRoundsHalvesToEven) {
  Selection s;
  s.BeginAt(0, 0);
  ASSERT_TRUE(s.ReleaseAt(101 * T, 80 * T));
  PixelRect r = s.Confinement(1024, 768);
  EXPECT_EQ(r.left, 50);  // 50.5
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.right, 974);  // 973.5
  EXPECT_EQ(r.bottom, 728);
  int32_t cx, cy;
  s.Centre(&cx, &cy);
  EXPECT_EQ(cx, 50);  // 50.5 -> 50
  EXPECT_EQ(cy, 40);
}

TEST(Selection, ClickOrFlatLinePlacesNothing) {
  Selection s;
  s.BeginAt(500, 500);
  EXPECT_FALSE(s.ReleaseAt(500, 500));
  EXPECT_FALSE(s.placing);
  s.BeginAt(500, 500);
  EXPECT_FALSE(s.ReleaseAt(900, 500));  // zero height
  EXPECT_FALSE(s.ReleaseAt(505, 900));  // a third of a pixel wide rounds to zero
  EXPECT_FALSE(s.placing);
  // A press and release a few pixels apart is still a click (it picks the window under it).
  s.BeginAt(500 * T, 500 * T);
  EXPECT_TRUE(s.IsClickAt(504 * T, 496 * T, 4));
  EXPECT_FALSE(s.IsClickAt(505 * T, 500 * T, 4));
}

TEST(Selection, PlacingCarriesTheRectangleCentredOnThePointer) {
  Selection s;
  s.BeginAt(10 * T, 10 * T);
  ASSERT_TRUE(s.ReleaseAt(50 * T, 30 * T));
  s.CentreOn(400 * T, 300 * T);
  auto area = s.Commit();
  ASSERT_TRUE(area);
  EXPECT_EQ(area->x0, 380);
  EXPECT_EQ(area->y0, 290);
  EXPECT_EQ(area->width, 40);
  EXPECT_EQ(area->height, 20);
}

TEST(Selection, CommitRefusesAnEmptyRectangle) {
  Selection s;
  s.placing = true;  // e.g. a stale state: corners all zero
  EXPECT_FALSE(s.Commit());
  EXPECT_TRUE(s.placing);
}

TEST(Selection, LargeScreensDoNotOverflow) {
  Selection s;
  s.BeginAt(0, 0);
  ASSERT_TRUE(s.ReleaseAt(3840 * T, 2160 * T));
  auto area = s.Commit();
  ASSERT_TRUE(area);
  EXPECT_EQ(area->width, 3840);
  EXPECT_EQ(area->height, 2160);
}
