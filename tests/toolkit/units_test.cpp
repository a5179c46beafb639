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
