#include "frame/frame_layout.h"

#include <gtest/gtest.h>

#include "toolkit/units.h"

using namespace orvik;

namespace {
constexpr double kPx = 15;
uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }
}  // namespace

// The region clips the sizing frame: its top is one pixel into the client area, its sides and
// bottom hug the client edges, and only the rounded part has round corners.
TEST(FrameRegion, NormalWindowKeepsInsetsFourFourThree) {
  const FrameRegion r = FrameRegionFor(424 * kPx, 349 * kPx, 341 * kPx, false);
  EXPECT_EQ(r.rounded.left, 4);
  EXPECT_EQ(r.rounded.top, 5);
  EXPECT_EQ(r.rounded.right, 420);
  EXPECT_EQ(r.rounded.bottom, 346);
  EXPECT_EQ(r.square.left, 4);
  EXPECT_EQ(r.square.top, 15);
  EXPECT_EQ(r.square.right, 420);
  EXPECT_EQ(r.square.bottom, 346);
  EXPECT_EQ(r.ellipse, 15);
}

TEST(FrameRegion, MaximizedWindowKeepsOnePixelInsets) {
  const FrameRegion r = FrameRegionFor(1928 * kPx, 1089 * kPx, 1081 * kPx, true);
  EXPECT_EQ(r.rounded.left, 1);
  EXPECT_EQ(r.rounded.top, 5);
  EXPECT_EQ(r.rounded.right, 1927);
  EXPECT_EQ(r.rounded.bottom, 1088);
  EXPECT_EQ(r.square.top, 15);
  EXPECT_EQ(r.square.bottom, 1088);
}

TEST(FrameRegion, TopFollowsTheNonClientHeight) {
  // A caption still counted in the frame (before the frame is recomputed) moves the top down.
  const FrameRegion r = FrameRegionFor(424 * kPx, 372 * kPx, 341 * kPx, false);
  EXPECT_EQ(r.rounded.top, 28);
  EXPECT_EQ(r.square.top, 38);
}

TEST(FrameLayout, DesignSizePlacesEveryPiece) {
  LayoutInput in;
  in.clientWidth = 6240;
  in.clientHeight = 5115;
  in.titleTextWidth = 600;
  in.titleLabelWidth = 2430;
  in.pictureLeft = 1800;
  in.pictureTop = 840;
  const LayoutResult out = LayOut(in);
  EXPECT_EQ(out.rightCaptionLeft, 4695);
  EXPECT_EQ(out.rightBorderLeft, 6165);
  EXPECT_EQ(out.bottomBarTop, 4725);
  // The label box (wider than its text) would pass the buttons if centred: it ends there.
  EXPECT_EQ(out.titleLeft, 4695 - 2430);
  EXPECT_EQ(out.pictureWidth, 6165 - 1800);
  EXPECT_EQ(out.pictureHeight, 4725 - 840);
  EXPECT_EQ(out.gripLeft, 6240 - 1015);
}

TEST(FrameLayout, LongTitleEndsAtTheTitleButtons) {
  LayoutInput in;
  in.clientWidth = 6000;
  in.clientHeight = 4500;
  in.titleTextWidth = 5000;
  in.titleLabelWidth = 5200;
  const LayoutResult out = LayOut(in);
  EXPECT_EQ(out.titleLeft + in.titleLabelWidth, out.rightCaptionLeft);
}

TEST(FrameLayout, TitleIsCentredWhenItsBoxFits) {
  LayoutInput in;
  in.clientWidth = 9000;
  in.clientHeight = 4500;
  in.titleTextWidth = 600;
  in.titleLabelWidth = 2430;
  const LayoutResult out = LayOut(in);
  EXPECT_EQ(out.titleLeft, (9000 - 1515 + 690 - 600) / 2.0);
  EXPECT_LT(out.titleLeft + in.titleLabelWidth, out.rightCaptionLeft);
  // Ending exactly at the buttons is not overflowing: the centred place stays.
  in.clientWidth = 6525;
  const LayoutResult edge = LayOut(in);
  EXPECT_EQ(edge.titleLeft + in.titleLabelWidth, edge.rightCaptionLeft);
  EXPECT_EQ(edge.titleLeft, (in.clientWidth - 1515 + 690 - 600) / 2.0);
}

TEST(SizingZones, CaptionBandSizesOnlyAlongItsTopThreePixels) {
  EXPECT_EQ(CaptionBandZone(0, false), SizingCursor::SizeNS);
  EXPECT_EQ(CaptionBandZone(44.9, false), SizingCursor::SizeNS);
  EXPECT_EQ(CaptionBandZone(45, false), SizingCursor::Default);
  EXPECT_EQ(CaptionBandZone(0, true), SizingCursor::Default);
}

TEST(SizingZones, IconAndRightEndSizeFromTheirOuterCorners) {
  EXPECT_EQ(CaptionIconZone(89, 89, false, SizingCursor::Default), SizingCursor::SizeNWSE);
  EXPECT_EQ(CaptionIconZone(90, 10, false, SizingCursor::SizeNWSE), SizingCursor::Default);
  EXPECT_EQ(CaptionIconZone(10, 90, false, SizingCursor::SizeNWSE), SizingCursor::Default);
  // Maximized, the move handlers leave the cursor as it was.
  EXPECT_EQ(CaptionIconZone(10, 10, true, SizingCursor::Default), SizingCursor::Default);
  EXPECT_EQ(CaptionIconZone(300, 300, true, SizingCursor::SizeNWSE), SizingCursor::SizeNWSE);

  EXPECT_EQ(RightCaptionZone(1400, 119, 1515, false, SizingCursor::Default),
            SizingCursor::SizeNESW);
  EXPECT_EQ(RightCaptionZone(1395, 10, 1515, false, SizingCursor::Default),
            SizingCursor::Default);  // x must exceed width - 120
  EXPECT_EQ(RightCaptionZone(1500, 120, 1515, false, SizingCursor::SizeNESW),
            SizingCursor::Default);
  EXPECT_EQ(RightCaptionZone(1500, 10, 1515, true, SizingCursor::Default), SizingCursor::Default);
}

TEST(SizingZones, BottomBarCornersWinOverEdgesAndEnds) {
  const double h = 390, w = 6240;
  EXPECT_EQ(BottomBarZone(50, 300, h, w, false), SizingCursor::SizeNESW);
  EXPECT_EQ(BottomBarZone(6200, 300, h, w, false), SizingCursor::SizeNWSE);
  EXPECT_EQ(BottomBarZone(3000, 300, h, w, false), SizingCursor::SizeNS);
  EXPECT_EQ(BottomBarZone(50, 100, h, w, false), SizingCursor::SizeWE);
  EXPECT_EQ(BottomBarZone(6200, 100, h, w, false), SizingCursor::SizeWE);
  EXPECT_EQ(BottomBarZone(3000, 100, h, w, false), SizingCursor::Default);
  // Boundaries are strict: y = h - 100 is not the bottom band, x = 100 not the left end.
  EXPECT_EQ(BottomBarZone(3000, 290, h, w, false), SizingCursor::Default);
  EXPECT_EQ(BottomBarZone(100, 100, h, w, false), SizingCursor::Default);
  EXPECT_EQ(BottomBarZone(6140, 100, h, w, false), SizingCursor::Default);
  for (double x : {50.0, 3000.0, 6200.0}) {
    EXPECT_EQ(BottomBarZone(x, 300, h, w, true), SizingCursor::Default);
  }
  EXPECT_EQ(SideBorderZone(false), SizingCursor::SizeWE);
  EXPECT_EQ(SideBorderZone(true), SizingCursor::Default);
}

TEST(SizingCommands, EachZoneStartsItsOwnSystemCommand) {
  EXPECT_EQ(BottomBarPress(SizingCursor::SizeNS, 3000), kSizeBottom);
  EXPECT_EQ(BottomBarPress(SizingCursor::SizeNESW, 50), kSizeBottomLeft);
  EXPECT_EQ(BottomBarPress(SizingCursor::SizeNWSE, 6200), kSizeBottomRight);
  EXPECT_EQ(BottomBarPress(SizingCursor::SizeWE, 99), kSizeLeft);
  EXPECT_EQ(BottomBarPress(SizingCursor::SizeWE, 100), kSizeRight);
  EXPECT_EQ(BottomBarPress(SizingCursor::Default, 3000), kNoDrag);
  EXPECT_EQ(SideBorderPress(SizingCursor::SizeWE, false), kSizeLeft);
  EXPECT_EQ(SideBorderPress(SizingCursor::SizeWE, true), kSizeRight);
  EXPECT_EQ(SideBorderPress(SizingCursor::Default, true), kNoDrag);
  EXPECT_EQ(static_cast<uint32_t>(kSizeTopLeft), 0xF004u);
  EXPECT_EQ(static_cast<uint32_t>(kSizeTopRight), 0xF005u);
}

TEST(SizingCommands, CaptionMovesWithAnyButtonButSizesOnlyWithTheLeft) {
  EXPECT_EQ(CaptionBandPress(SizingCursor::Default, true), kMoveByCaption);
  EXPECT_EQ(CaptionBandPress(SizingCursor::Default, false), kMoveByCaption);
  EXPECT_EQ(CaptionBandPress(SizingCursor::SizeNS, true), kSizeTop);
  EXPECT_EQ(CaptionBandPress(SizingCursor::SizeNS, false), kNoDrag);
  EXPECT_EQ(static_cast<uint32_t>(kMoveByCaption), 0xF012u);
}

TEST(TitleButtons, ActOnlyOnALeftReleaseStrictlyInside) {
  EXPECT_TRUE(ReleasedInside(1, 1, 1, 285, 285));
  EXPECT_TRUE(ReleasedInside(1, 284.9, 284.9, 285, 285));
  EXPECT_FALSE(ReleasedInside(1, 0, 100, 285, 285));
  EXPECT_FALSE(ReleasedInside(1, 100, 0, 285, 285));
  EXPECT_FALSE(ReleasedInside(1, 285, 100, 285, 285));
  EXPECT_FALSE(ReleasedInside(1, 100, 285, 285, 285));
  EXPECT_FALSE(ReleasedInside(1, -15, 100, 285, 285));
  EXPECT_FALSE(ReleasedInside(2, 100, 100, 285, 285));
  EXPECT_FALSE(ReleasedInside(4, 100, 100, 285, 285));
}

TEST(WindowMenu, OpensBelowTheIconOrNextToThePointer) {
  const PixelPoint below = IconMenuPoint(300 * kPx, 200 * kPx, 345);
  EXPECT_EQ(below.x, 300 + 3 + 2);
  EXPECT_EQ(below.y, 200 + 23 + 2);
  const PixelPoint atPointer = IconPointerMenuPoint(300 * kPx, 200 * kPx, 0, 0, 150, 75);
  EXPECT_EQ(atPointer.x, 300 + 10 + 2);
  EXPECT_EQ(atPointer.y, 200 + 5 + 2);
  // Off-screen to the left (a window partly outside the screen).
  const PixelPoint left = IconMenuPoint(-100 * kPx, 0, 345);
  EXPECT_EQ(left.x, -100 + 3 + 2);
}

TEST(ToolbarGradient, RunsFromTheMenuColourToTheFixedEnd) {
  const uint32_t menu = Rgb(240, 240, 240);
  EXPECT_EQ(GradientColour(menu, 600), menu);
  EXPECT_EQ(GradientColour(menu, 5000), Rgb(201, 210, 236));
  // Halfway the channels land on .5 and round to even: 220.5, 225, 238.
  EXPECT_EQ(GradientColour(menu, 2800), Rgb(220, 225, 238));
  // Any start colour, darker or lighter than the end, still ends there.
  EXPECT_EQ(GradientColour(Rgb(0, 0, 0), 5000), Rgb(201, 210, 236));
  EXPECT_EQ(GradientColour(Rgb(255, 255, 255), 5000), Rgb(201, 210, 236));
  EXPECT_EQ(GradientColour(Rgb(10, 20, 30), 600), Rgb(10, 20, 30));
}

TEST(ToolbarGradient, ChangesMonotonicallyAcrossTheBand) {
  const uint32_t menu = Rgb(255, 255, 255);
  uint32_t last = GradientColour(menu, 600);
  for (double x = 601; x <= 5000; ++x) {
    const uint32_t c = GradientColour(menu, x);
    ASSERT_LE(c & 0xFF, last & 0xFF) << x;
    ASSERT_LE((c >> 8) & 0xFF, (last >> 8) & 0xFF) << x;
    last = c;
  }
}

TEST(MaximizedPlacement, CoversTheScreenAboveTheTaskbar) {
  const MaxGeometry m = FrameMaxGeometry(1024 * 15, 768 * 15, 30);
  EXPECT_EQ(m.positionX, -4);
  EXPECT_EQ(m.positionY, -4);
  EXPECT_EQ(m.sizeX, 1032);
  EXPECT_EQ(m.sizeY, 747);
  EXPECT_EQ(m.minTrackX, 400);
  EXPECT_EQ(m.minTrackY, 300);
  const MaxGeometry noTaskbar = FrameMaxGeometry(1920 * 15, 1080 * 15, 0);
  EXPECT_EQ(noTaskbar.sizeX, 1928);
  EXPECT_EQ(noTaskbar.sizeY, 1089);
}

// The same window, 424 x 349 pixels at 100% with a client area 341 high, at every scaling: its
// twips stay, its pixels and the region's insets grow with the DPI (halves to even).
class FrameLayoutAtEveryDpi : public ::testing::Test {
 protected:
  void TearDown() override { SetUiDpi(kDesignDpi); }
};

TEST_F(FrameLayoutAtEveryDpi, RegionMenuPointAndSizeLimitsScale) {
  struct Case {
    int dpi;
    RegionBox rounded;
    int32_t squareTop, ellipse;
    PixelPoint menu;  // below the icon of a window whose corner is at 4500, 3000 twips
    int32_t minX, minY;
  };
  const Case cases[] = {
      {96, {4, 5, 420, 346}, 15, 15, {305, 225}, 400, 300},
      {120, {5, 6, 525, 432}, 18, 19, {381, 281}, 500, 375},
      {144, {6, 8, 630, 520}, 23, 22, {457, 337}, 600, 450},
      {192, {8, 10, 840, 692}, 30, 30, {610, 450}, 800, 600},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    SetUiDpi(c.dpi);
    const FrameRegion r = FrameRegionFor(424 * kPx, 349 * kPx, 341 * kPx, false);
    EXPECT_EQ(r.rounded.left, c.rounded.left);
    EXPECT_EQ(r.rounded.top, c.rounded.top);
    EXPECT_EQ(r.rounded.right, c.rounded.right);
    EXPECT_EQ(r.rounded.bottom, c.rounded.bottom);
    EXPECT_EQ(r.square.left, c.rounded.left);
    EXPECT_EQ(r.square.top, c.squareTop);
    EXPECT_EQ(r.square.right, c.rounded.right);
    EXPECT_EQ(r.square.bottom, c.rounded.bottom);
    EXPECT_EQ(r.ellipse, c.ellipse);

    const PixelPoint menu = IconMenuPoint(4500, 3000, kCaptionIconWidth);
    EXPECT_EQ(menu.x, c.menu.x);
    EXPECT_EQ(menu.y, c.menu.y);

    // Maximized, the window still covers the 1920 x 1080 screen and 4 pixels beyond each side.
    const double perPixel = TwipsPerPixelAt(c.dpi);
    const MaxGeometry m = FrameMaxGeometry(CInt32(1920 * perPixel), CInt32(1080 * perPixel), 0);
    EXPECT_EQ(m.sizeX, 1928);
    EXPECT_EQ(m.sizeY, 1089);
    EXPECT_EQ(m.minTrackX, c.minX);
    EXPECT_EQ(m.minTrackY, c.minY);
  }
}

TEST_F(FrameLayoutAtEveryDpi, RightBorderAndGripStayOnePixelInsideTheEdge) {
  for (int dpi : {96, 120, 144, 192}) {
    SCOPED_TRACE(dpi);
    SetUiDpi(dpi);
    LayoutInput in;
    in.clientWidth = 6240;
    in.clientHeight = 5115;
    in.pictureLeft = 1800;
    in.pictureTop = 840;
    const LayoutResult out = LayOut(in);
    const int32_t client = TwipsToPixelsAt(in.clientWidth, dpi);
    EXPECT_EQ(TwipsToPixelsAt(out.rightBorderLeft + kBorderWidth, dpi), client - 1);
    EXPECT_EQ(TwipsToPixelsAt(out.gripLeft + kGripSpan, dpi), client - 1);
    EXPECT_EQ(out.rightCaptionLeft, 6240 - kRightCaptionWidth - 30);
    EXPECT_EQ(out.bottomBarTop, 5115 - kBottomBarHeight);
  }
}
