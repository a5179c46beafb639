// The conversion MP4's encoder is fed by, against BT.601 limited range worked out in floating
// point: every luma sample and every chroma sample (of each 2 x 2 block's mean colour) within 2
// code values, at odd sizes (the last column and bottom row left out) and in both row orders.
#include "recorder/encode/bgra_to_i420.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

namespace {

struct Rgb {
  double r, g, b;
};

int Luma(Rgb c) {
  return static_cast<int>(std::lround(16 + 219 * (0.299 * c.r + 0.587 * c.g + 0.114 * c.b) / 255));
}
int Cb(Rgb c) {
  return static_cast<int>(
      std::lround(128 + 224 * (-0.168736 * c.r - 0.331264 * c.g + 0.5 * c.b) / 255));
}
int Cr(Rgb c) {
  return static_cast<int>(
      std::lround(128 + 224 * (0.5 * c.r - 0.418688 * c.g - 0.081312 * c.b) / 255));
}

TEST(BgraToI420, EverySampleIsWithinTwoOfBt601AtOddSizesInBothRowOrders) {
  std::mt19937 random(7);
  for (const int height : {17, -17, 18, -2}) {
    const int width = 33, rows = std::abs(height);
    std::vector<uint8_t> bits(static_cast<size_t>(width) * rows * 4);
    for (uint8_t& b : bits) b = static_cast<uint8_t>(random());
    // The picture's pixel at (x, y) from its top, whichever way the rows lie in memory.
    const auto at = [&](int x, int y) {
      const int row = height > 0 ? rows - 1 - y : y;
      const uint8_t* p = &bits[(static_cast<size_t>(row) * width + x) * 4];
      return Rgb{double(p[2]), double(p[1]), double(p[0])};
    };
    orvik::BgraToI420 converter;
    ASSERT_TRUE(converter.Open(width, height));
    ASSERT_EQ(converter.Width(), 32);
    ASSERT_EQ(converter.Height(), rows & ~1);
    ASSERT_TRUE(converter.Convert(bits.data()));
    int worst = 0;
    for (int y = 0; y < converter.Height(); ++y)
      for (int x = 0; x < converter.Width(); ++x)
        worst = std::max(
            worst, std::abs(converter.Plane(0)[y * converter.Stride(0) + x] - Luma(at(x, y))));
    for (int y = 0; y < converter.Height() / 2; ++y)
      for (int x = 0; x < converter.Width() / 2; ++x) {
        Rgb mean{0, 0, 0};
        for (int k = 0; k < 4; ++k) {
          const Rgb c = at(2 * x + k % 2, 2 * y + k / 2);
          mean = {mean.r + c.r / 4, mean.g + c.g / 4, mean.b + c.b / 4};
        }
        worst =
            std::max(worst, std::abs(converter.Plane(1)[y * converter.Stride(1) + x] - Cb(mean)));
        worst =
            std::max(worst, std::abs(converter.Plane(2)[y * converter.Stride(2) + x] - Cr(mean)));
      }
    EXPECT_LE(worst, 2) << "height " << height;
  }
}

}  // namespace
