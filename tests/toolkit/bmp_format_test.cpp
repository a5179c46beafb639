#include "toolkit/bmp_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recorder/bmp_samples.h"

using namespace orvik;
using namespace orvik::bmp;
using samples::BmpRecipe;
using samples::MakeBmp;
using samples::Put16;
using samples::Put32;

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

namespace {
Parsed Parse(const std::vector<uint8_t>& b) { return ParseFile(b.data(), b.size()); }

std::vector<uint8_t> Bmp24(int w = 16, int h = 8) { return MakeBmp({w, h, 24}); }
}  // namespace

TEST(BmpLayout, InfoBlockRunsFromTheFileHeaderToThePixels) {
  struct Case {
    int bits;
    size_t infoSize;
  } cases[] = {{24, 40}, {32, 40}, {8, 1064}, {4, 104}, {1, 48}};
  for (const Case& c : cases) {
    auto b = MakeBmp({5, 3, c.bits});
    Parsed p = Parse(b);
    ASSERT_EQ(p.verdict, Verdict::Ok) << c.bits;
    EXPECT_EQ(p.layout.infoOffset, 14u);
    EXPECT_EQ(p.layout.infoSize, c.infoSize) << c.bits;
    EXPECT_EQ(p.layout.pixelOffset, 14 + c.infoSize);
    EXPECT_EQ(p.layout.pixelSize, samples::Stride(5, c.bits) * 3);
    EXPECT_EQ(p.layout.pixelOffset + p.layout.pixelSize, b.size());
    EXPECT_EQ(p.layout.info.biBitCount, c.bits);
  }
}

TEST(BmpLayout, HeaderFieldsDecodeLittleEndianAndRoundTrip) {
  auto b = MakeBmp({7, 1, 24});
  Put32(b, 18, 0x01020304);
  Put32(b, 22, static_cast<uint32_t>(-9));
  Put32(b, 42, static_cast<uint32_t>(-2835));
  FileHeader f = DecodeFileHeader(b.data());
  InfoHeader i = DecodeInfoHeader(b.data() + 14);
  EXPECT_EQ(f.bfType, kTypeBM);
  EXPECT_EQ(f.bfSize, b.size());
  EXPECT_EQ(f.bfOffBits, 54u);
  EXPECT_EQ(i.biWidth, 0x01020304);
  EXPECT_EQ(i.biHeight, -9);
  EXPECT_EQ(i.biYPelsPerMeter, -2835);
  EXPECT_EQ(i.biPlanes, 1);
  std::vector<uint8_t> again(54);
  EncodeFileHeader(f, again.data());
  EncodeInfoHeader(i, again.data() + 14);
  EXPECT_TRUE(std::equal(again.begin(), again.end(), b.begin()));
}

TEST(BmpLayout, ZeroImageSizeIsComputedFromTheGeometryWithPaddedRows) {
  BmpRecipe recipe{3, -5, 24};
  recipe.sizeImageFilled = false;
  Parsed p = Parse(MakeBmp(recipe));
  ASSERT_EQ(p.verdict, Verdict::Ok);
  EXPECT_EQ(p.layout.pixelSize, 12u * 5);  // 9 bytes of pixels padded to 12 per row
  EXPECT_EQ(p.layout.info.biSizeImage, 60u);

  EXPECT_EQ(UncompressedImageSize(1, 1, 1), 4u);
  EXPECT_EQ(UncompressedImageSize(33, 2, 1), 16u);
  EXPECT_EQ(UncompressedImageSize(1920, 1080, 24), 1920u * 3 * 1080);
  EXPECT_EQ(UncompressedImageSize(1921, -1, 24), 5764u);
  EXPECT_EQ(UncompressedImageSize(10, 10, 7), 0u);
  EXPECT_EQ(UncompressedImageSize(0x7FFFFFFF, 0x7FFFFFFF, 32), 0u);  // no overflow, refused
}

TEST(BmpLayout, LargerImageSizeAndTrailingBytesAreAccepted) {
  BmpRecipe recipe{4, 4, 32};
  recipe.extraTail = 100;
  auto b = MakeBmp(recipe);
  Put32(b, 34, 64 + 20);  // pixel block declared a little longer than the geometry
  Parsed p = Parse(b);
  ASSERT_EQ(p.verdict, Verdict::Ok);
  EXPECT_EQ(p.layout.pixelSize, 84u);
}

TEST(BmpLayout, CompressedBitmapsNeedTheirStoredSize) {
  auto b = MakeBmp({8, 8, 8});
  Put32(b, 30, 1);  // BI_RLE8
  Put32(b, 34, 10);
  Parsed p = Parse(b);
  ASSERT_EQ(p.verdict, Verdict::Ok);
  EXPECT_EQ(p.layout.pixelSize, 10u);
  Put32(b, 34, 0);
  EXPECT_EQ(Parse(b).verdict, Verdict::Malformed);
}

TEST(BmpRefusal, WrongTypeKeepsTheFileHeaderRead) {
  auto b = Bmp24();
  b[0] = 'P';
  Parsed p = Parse(b);
  EXPECT_EQ(p.verdict, Verdict::NotBitmap);
  EXPECT_EQ(p.layout.file.bfType, 0x4D50);
  EXPECT_EQ(p.layout.file.bfOffBits, 54u);
}

TEST(BmpRefusal, TruncatedFilesAndOffsetsOutsideTheFile) {
  auto b = Bmp24();
  EXPECT_EQ(ParseFile(b.data(), 0).verdict, Verdict::Malformed);
  EXPECT_EQ(ParseFile(b.data(), 13).verdict, Verdict::Malformed);
  EXPECT_EQ(ParseFile(b.data(), 14).verdict, Verdict::Malformed);
  EXPECT_EQ(ParseFile(b.data(), 53).verdict, Verdict::Malformed);
  EXPECT_EQ(ParseFile(b.data(), b.size() - 1).verdict, Verdict::Malformed);  // pixels cut

  for (uint32_t off : {0u, 14u, 53u, static_cast<uint32_t>(b.size() + 1), 0xFFFFFFFFu}) {
    auto c = b;
    Put32(c, 10, off);
    EXPECT_EQ(Parse(c).verdict, Verdict::Malformed) << off;
  }
}

TEST(BmpRefusal, SizesThatContradictTheGeometryOrAreAbsurd) {
  auto check = [](size_t at, uint32_t value, bool is16 = false) {
    auto b = MakeBmp({16, 8, 24});
    if (is16)
      Put16(b, at, value);
    else
      Put32(b, at, value);
    return ParseFile(b.data(), b.size()).verdict;
  };
  EXPECT_EQ(check(34, 16 * 3 * 8 - 1), Verdict::Malformed);  // rows would be read past it
  EXPECT_EQ(check(34, 0xFFFFFFFF), Verdict::Malformed);
  EXPECT_EQ(check(18, 0), Verdict::Malformed);  // width
  EXPECT_EQ(check(18, static_cast<uint32_t>(-16)), Verdict::Malformed);
  EXPECT_EQ(check(22, 0), Verdict::Malformed);  // height
  EXPECT_EQ(check(22, 0x80000000u), Verdict::Malformed);
  EXPECT_EQ(check(18, 0x40000000), Verdict::Malformed);  // pixels far past the file
  EXPECT_EQ(check(28, 7, true), Verdict::Malformed);     // no such depth
  EXPECT_EQ(check(14, 12), Verdict::Malformed);          // info header too small
  EXPECT_EQ(check(14, 41), Verdict::Malformed);          // info header past bfOffBits
  EXPECT_EQ(check(46, 1u << 20), Verdict::Malformed);    // colour table past bfOffBits
}

TEST(BmpRefusal, ColourTableMustFitBeforeThePixels) {
  auto b = MakeBmp({8, 8, 8});
  Put32(b, 46, 257);  // more entries than 8 bits can index
  EXPECT_EQ(Parse(b).verdict, Verdict::Malformed);
  Put32(b, 46, 16);  // a short table inside the block is fine
  EXPECT_EQ(Parse(b).verdict, Verdict::Ok);

  auto noTable = MakeBmp({8, 8, 24});
  Put16(noTable, 28, 8);  // 8-bit pixels with bfOffBits 54: the implied table is missing
  Put32(noTable, 34, 64);
  EXPECT_EQ(Parse(noTable).verdict, Verdict::Malformed);
}

TEST(PackedDib, TwentyFourBitsGetsTheFileHeaderOfA54ByteHeaderedFile) {
  auto bmp = MakeBmp({6, 4, 24});
  std::vector<uint8_t> dib(bmp.begin() + 14, bmp.end());
  Parsed p = ParsePackedDib(dib.data(), dib.size());
  ASSERT_EQ(p.verdict, Verdict::Ok);
  EXPECT_EQ(p.layout.infoOffset, 0u);
  EXPECT_EQ(p.layout.infoSize, 40u);
  EXPECT_EQ(p.layout.pixelOffset, 40u);
  EXPECT_EQ(p.layout.pixelSize, 20u * 4);  // 18 bytes of pixels padded to 20 a row
  EXPECT_EQ(p.layout.file.bfType, kTypeBM);
  EXPECT_EQ(p.layout.file.bfOffBits, 54u);
  EXPECT_EQ(p.layout.file.bfSize, 54u + 80);
  EXPECT_EQ(p.layout.file.bfReserved1 | p.layout.file.bfReserved2, 0);
}

TEST(PackedDib, BitFieldMasksBelongToTheInfoBlock) {
  auto bmp = MakeBmp({4, 2, 32});
  std::vector<uint8_t> dib(bmp.begin() + 14, bmp.begin() + 54);
  Put32(dib, 16, kBiBitfields);
  for (uint32_t mask : {0xFF0000u, 0xFF00u, 0xFFu}) {
    dib.resize(dib.size() + 4);
    Put32(dib, dib.size() - 4, mask);
  }
  dib.insert(dib.end(), bmp.begin() + 54, bmp.end());
  Parsed p = ParsePackedDib(dib.data(), dib.size());
  ASSERT_EQ(p.verdict, Verdict::Ok);
  EXPECT_EQ(p.layout.infoSize, 52u);
  EXPECT_EQ(p.layout.pixelOffset, 52u);
  EXPECT_EQ(p.layout.file.bfOffBits, 66u);
}

TEST(PackedDib, RefusesPalettesMissingSizesAndShortBuffers) {
  auto dibOf = [](BmpRecipe recipe) {
    auto bmp = MakeBmp(recipe);
    return std::vector<uint8_t>(bmp.begin() + 14, bmp.end());
  };
  auto eight = dibOf({4, 4, 8});
  EXPECT_EQ(ParsePackedDib(eight.data(), eight.size()).verdict, Verdict::Malformed);
  BmpRecipe zero{4, 4, 24};
  zero.sizeImageFilled = false;
  auto noSize = dibOf(zero);
  EXPECT_EQ(ParsePackedDib(noSize.data(), noSize.size()).verdict, Verdict::Malformed);
  auto ok = dibOf({4, 4, 24});
  EXPECT_EQ(ParsePackedDib(ok.data(), ok.size() - 1).verdict, Verdict::Malformed);
  EXPECT_EQ(ParsePackedDib(ok.data(), 39).verdict, Verdict::Malformed);
  Put32(ok, 20, 0x7FFFFFFF);
  EXPECT_EQ(ParsePackedDib(ok.data(), ok.size()).verdict, Verdict::Malformed);
}
