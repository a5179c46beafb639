#include "skin/generator/canvas.h"

#include <gtest/gtest.h>

#include "toolkit/bmp_format.h"

using namespace orvik;
using namespace orvik::skinart;

TEST(SkinCanvas, BmpRowsAreBottomUpBgrAndPadded) {
  Canvas c(2, 2);
  c.Set(0, 0, Hex(0x010203));  // top-left
  c.Set(1, 1, Hex(0x0A0B0C));  // bottom-right
  c.Set(5, 5, Hex(0xFFFFFF));  // outside: ignored
  const std::vector<uint8_t> bmp = c.Bmp24();
  ASSERT_EQ(bmp.size(), kBmpHeaderSize + 2 * 8u);
  auto view = ParseBmp(bmp.data(), bmp.size());
  ASSERT_TRUE(view);
  EXPECT_EQ(view->bitCount, 24);
  const uint8_t* bottom = bmp.data() + kBmpHeaderSize;
  const uint8_t* top = bottom + 8;
  EXPECT_EQ(top[0], 0x03);
  EXPECT_EQ(top[1], 0x02);
  EXPECT_EQ(top[2], 0x01);
  EXPECT_EQ(bottom[3], 0x0C);
  EXPECT_EQ(bottom[5], 0x0A);
  EXPECT_EQ(top[6], 0);  // padding
  EXPECT_EQ(top[7], 0);
}

TEST(SkinCanvas, ShapesBlendByTheShareOfThePixelTheyCover) {
  Canvas c(4, 1, Hex(0x000000));
  // Covers pixel 0 fully, the left half of pixel 1, nothing of pixels 2 and 3.
  c.Fill([](double x, double) { return x < 1.5; }, Hex(0xC8C8C8));
  EXPECT_EQ(c.At(0, 0), Hex(0xC8C8C8));
  EXPECT_EQ(c.At(1, 0), Hex(0x646464));
  EXPECT_EQ(c.At(2, 0), Hex(0x000000));

  EXPECT_EQ(Canvas::Coverage(Circle(8, 8, 3), 7, 7), 16);
  EXPECT_EQ(Canvas::Coverage(Circle(8, 8, 3), 0, 0), 0);
  // A rounded rectangle leaves its corner pixel partly uncovered, its edges whole.
  const Shape r = RoundRect(0, 0, 10, 10, 4);
  EXPECT_LT(Canvas::Coverage(r, 0, 0), 8);
  EXPECT_EQ(Canvas::Coverage(r, 5, 0), 16);
  EXPECT_EQ(Canvas::Coverage(Stroke(0, 0.5, 10, 0.5, 0.5), 4, 0), 16);
  EXPECT_EQ(Canvas::Coverage(Minus(r, Circle(5, 5, 20)), 5, 5), 0);
}
