#include "recorder/bmp_format.h"

#include <gtest/gtest.h>

#include "recorder/bmp_samples.h"

using namespace orvik::bmp;
using samples::BmpRecipe;
using samples::MakeBmp;
using samples::Put16;
using samples::Put32;

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
