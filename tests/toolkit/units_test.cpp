#include "toolkit/units.h"

#include <gtest/gtest.h>

using namespace orvik;

TEST(Rounding, HalvesGoToEven) {
  EXPECT_EQ(CInt32(2.5), 2);
  EXPECT_EQ(CInt32(3.5), 4);
  EXPECT_EQ(CInt32(-2.5), -2);
  EXPECT_EQ(CInt32(0.5), 0);
  EXPECT_EQ(CInt32(6.75), 7);
  EXPECT_EQ(CInt32(2.4999), 2);
  EXPECT_EQ(CInt32(-0.6), -1);
}

TEST(Rounding, TwipsToPixels) {
  EXPECT_EQ(TwipsToPixels(15360), 1024);
  EXPECT_EQ(TwipsToPixels(7.5), 0);   // half a pixel rounds to even 0
  EXPECT_EQ(TwipsToPixels(22.5), 2);  // 1.5 -> 2
  EXPECT_EQ(TwipsToPixels(37.5), 2);  // 2.5 -> 2
  EXPECT_EQ(TwipsToPixels(28800), 1920);
  EXPECT_EQ(PixelsToTwips(2200), 33000.0);  // wider than a 16-bit twips value
}

namespace {
// Sets the windows' DPI for one test and puts back what was there.
class UiDpiFor {
 public:
  explicit UiDpiFor(int dpi) : saved_(UiDpi()) { SetUiDpi(dpi); }
  ~UiDpiFor() { SetUiDpi(saved_); }

 private:
  int saved_;
};
}  // namespace

TEST(UnitsAtEveryDpi, TwipsFollowTheDpiAndHalvesGoToEven) {
  struct Case {
    int dpi;
    double twipsPerPixel;
    int32_t icon;  // the caption icon's 345 twips
  };
  // 345 twips: 23 px, 28.75 -> 29, 34.5 -> 34 (even), 46.
  const Case cases[] = {{96, 15, 23}, {120, 12, 29}, {144, 10, 34}, {192, 7.5, 46}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.dpi);
    EXPECT_EQ(TwipsPerPixelAt(c.dpi), c.twipsPerPixel);
    EXPECT_EQ(TwipsToPixelsAt(345, c.dpi), c.icon);
    EXPECT_EQ(TwipsToPixelsAt(0.5 * c.twipsPerPixel, c.dpi), 0);
    EXPECT_EQ(TwipsToPixelsAt(1.5 * c.twipsPerPixel, c.dpi), 2);
    EXPECT_EQ(TwipsToPixelsAt(2.5 * c.twipsPerPixel, c.dpi), 2);
    EXPECT_EQ(TwipsToPixelsAt(3.5 * c.twipsPerPixel, c.dpi), 4);
    EXPECT_EQ(TwipsToPixelsAt(-2.5 * c.twipsPerPixel, c.dpi), -2);
    // The whole screen in twips is the whole screen in pixels again.
    EXPECT_EQ(TwipsToPixelsAt(1920 * c.twipsPerPixel, c.dpi), 1920);
    // The current DPI is the one the conversions without a DPI use.
    UiDpiFor set(c.dpi);
    EXPECT_EQ(UiDpi(), c.dpi);
    EXPECT_EQ(TwipsPerPixel(), c.twipsPerPixel);
    EXPECT_EQ(TwipsToPixels(345), c.icon);
    EXPECT_EQ(PixelsToTwips(46), 46 * c.twipsPerPixel);
  }
  EXPECT_EQ(UiDpi(), kDesignDpi);
}

TEST(UnitsAtEveryDpi, ScaledPixelsAreWhatTheTwipsOfThatLengthGive) {
  // 100% lengths at 125%: 2 -> 2.5 -> 2, 3 -> 3.75 -> 4, 4 -> 5, 15 -> 18.75 -> 19;
  // at 150%: 3 -> 4.5 -> 4, 5 -> 7.5 -> 8; at 200% every length doubles.
  EXPECT_EQ(ScaledPixelsAt(2, 120), 2);
  EXPECT_EQ(ScaledPixelsAt(3, 120), 4);
  EXPECT_EQ(ScaledPixelsAt(4, 120), 5);
  EXPECT_EQ(ScaledPixelsAt(15, 120), 19);
  EXPECT_EQ(ScaledPixelsAt(3, 144), 4);
  EXPECT_EQ(ScaledPixelsAt(5, 144), 8);
  EXPECT_EQ(ScaledPixelsAt(14, 192), 28);
  EXPECT_EQ(ScaledPixelsAt(14, 96), 14);
  for (int dpi : {96, 120, 144, 168, 192}) {
    for (int n = 0; n <= 3000; ++n) {
      ASSERT_EQ(ScaledPixelsAt(n, dpi), TwipsToPixelsAt(n * 15.0, dpi)) << n << " at " << dpi;
    }
  }
  UiDpiFor set(192);
  EXPECT_EQ(ScaledPixels(400), 800);
}

TEST(UnitsAtEveryDpi, ADpiNoLayoutCanUseIsTakenAsTheDesignDpi) {
  for (int dpi : {0, -96, 72, 95, 769, 100000}) {
    EXPECT_EQ(SaneDpi(dpi), 96) << dpi;
    EXPECT_EQ(TwipsPerPixelAt(dpi), 15) << dpi;
    EXPECT_EQ(ScaledPixelsAt(10, dpi), 10) << dpi;
  }
  EXPECT_EQ(SaneDpi(96), 96);
  EXPECT_EQ(SaneDpi(768), 768);
  UiDpiFor set(0);
  EXPECT_EQ(UiDpi(), 96);
}
