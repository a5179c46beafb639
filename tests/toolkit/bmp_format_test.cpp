#include "toolkit/bmp_format.h"

#include <gtest/gtest.h>

#include <vector>

using namespace orvik;

namespace {
std::vector<uint8_t> Bmp(int32_t width, int32_t height, int bits) {
  auto h = MakeBmpHeader(width, height, bits);
  std::vector<uint8_t> data(h.begin(), h.end());
  data.resize(data.size() +
              BmpStride(width, bits) * static_cast<size_t>(height < 0 ? -height : height));
  return data;
}
}  // namespace

TEST(BmpHeader, FieldsTheFrameReaderRelies) {
  // 2200 x 3 at 32 bits: rows of 8800 bytes, no padding needed.
  auto h = MakeBmpHeader(2200, 3, 32);
  EXPECT_EQ(h[0], 'B');
  EXPECT_EQ(h[1], 'M');
  EXPECT_EQ(ReadLe32(&h[2]), 54u + 2200u * 4u * 3u);  // bfSize
  EXPECT_EQ(ReadLe32(&h[10]), 54u);                   // bfOffBits
  EXPECT_EQ(ReadLe32(&h[14]), 40u);                   // biSize
  EXPECT_EQ(ReadLe32(&h[18]), 2200u);
  EXPECT_EQ(ReadLe32(&h[22]), 3u);
  EXPECT_EQ(ReadLe16(&h[26]), 1u);
  EXPECT_EQ(ReadLe16(&h[28]), 32u);
  EXPECT_EQ(ReadLe32(&h[30]), 0u);               // BI_RGB
  EXPECT_EQ(ReadLe32(&h[34]), 2200u * 4u * 3u);  // biSizeImage filled in

  // 24-bit rows are padded to 4 bytes: 19 pixels take 57 bytes, stored in 60.
  EXPECT_EQ(BmpStride(19, 24), 60u);
  EXPECT_EQ(ReadLe32(&MakeBmpHeader(19, 19, 24)[34]), 60u * 19u);
  EXPECT_EQ(ReadLe32(&MakeBmpHeader(19, 19, 24)[2]), 1194u);
  EXPECT_EQ(BmpStride(3, 1), 4u);
  EXPECT_EQ(BmpStride(0, 24), 0u);
  EXPECT_EQ(BmpStride(kBmpMaxSide + 1, 24), 0u);
}

TEST(BmpParse, AcceptsWhatItWritesAndTopDownRows) {
  for (int bits : {24, 32}) {
    std::vector<uint8_t> data = Bmp(5, 3, bits);
    auto v = ParseBmp(data.data(), data.size());
    ASSERT_TRUE(v) << bits;
    EXPECT_EQ(v->width, 5);
    EXPECT_EQ(v->height, 3);
    EXPECT_EQ(v->bitCount, bits);
    EXPECT_EQ(v->pixels, data.data() + 54);
    EXPECT_EQ(v->pixelSize, v->stride * 3);
    EXPECT_EQ(v->infoSize, 40u);
  }
  std::vector<uint8_t> topDown = Bmp(4, -2, 32);
  auto v = ParseBmp(topDown.data(), topDown.size());
  ASSERT_TRUE(v);
  EXPECT_EQ(v->height, -2);
  EXPECT_EQ(v->pixelSize, 32u);
}

TEST(BmpParse, RefusesAnythingThatWouldReadOutside) {
  std::vector<uint8_t> good = Bmp(5, 3, 24);
  auto refuses = [](std::vector<uint8_t> d) { return !ParseBmp(d.data(), d.size()); };

  EXPECT_TRUE(refuses(std::vector<uint8_t>(good.begin(), good.end() - 1)));  // last row short
  std::vector<uint8_t> d = good;
  d[0] = 'X';
  EXPECT_TRUE(refuses(d));
  d = good;
  WriteLe32(&d[10], static_cast<uint32_t>(good.size()) + 1);  // pixels past the end
  EXPECT_TRUE(refuses(d));
  d = good;
  WriteLe32(&d[10], 20);  // pixels overlapping the info header
  EXPECT_TRUE(refuses(d));
  d = good;
  WriteLe32(&d[14], 0xFFFFFFF0u);  // info header larger than the file
  EXPECT_TRUE(refuses(d));
  d = good;
  WriteLe32(&d[18], 0x7FFFFFFF);  // absurd width
  EXPECT_TRUE(refuses(d));
  d = good;
  WriteLe32(&d[22], 0x80000000u);  // most negative height
  EXPECT_TRUE(refuses(d));
  d = good;
  WriteLe16(&d[28], 7);  // unknown bit count
  EXPECT_TRUE(refuses(d));
  d = good;
  WriteLe32(&d[30], 1);  // run-length compressed
  EXPECT_TRUE(refuses(d));

  // An 8-bit image needs its colour table before the pixels.
  std::vector<uint8_t> pal = Bmp(4, 1, 8);
  WriteLe16(&pal[28], 8);
  EXPECT_TRUE(refuses(pal));  // offBits 54 leaves no room for 256 colours
  WriteLe32(&pal[46], 2);     // biClrUsed 2: 8 bytes of table
  WriteLe32(&pal[10], 62);
  pal.resize(62 + 4);
  EXPECT_FALSE(refuses(pal));
  WriteLe32(&pal[46], 257);  // more colours than 8 bits can index
  EXPECT_TRUE(refuses(pal));
  EXPECT_FALSE(ParseBmp(nullptr, 0));
}
