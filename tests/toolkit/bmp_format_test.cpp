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

namespace {
// A BMP file with any header: `after` bytes (masks, table, gap) between the header and
// the pixels, which are the geometry's rows when that is known and 30 bytes otherwise.
struct Header {
  uint32_t size = 40;
  uint16_t bits = 24;
  uint32_t compression = kBiRgb;
  int32_t height = 2;
  uint32_t clrUsed = 0;
  size_t after = 0;
  uint16_t planes = 1;
  int32_t width = 4;
};

std::vector<uint8_t> FileWith(const Header& h) {
  uint64_t pixels = UncompressedImageSize(h.width, h.height, h.bits);
  if (h.compression != kBiRgb && h.compression != kBiBitfields &&
      h.compression != kBiAlphaBitfields)
    pixels = 30;
  if (pixels == 0) pixels = 30;
  const size_t offBits = 14 + h.size + h.after;
  std::vector<uint8_t> b(offBits + pixels, 0x5A);
  b[0] = 'B';
  b[1] = 'M';
  Put32(b, 2, static_cast<uint32_t>(b.size()));
  Put32(b, 6, 0);
  Put32(b, 10, static_cast<uint32_t>(offBits));
  std::fill(b.begin() + 14, b.begin() + 14 + h.size, 0);
  Put32(b, 14, h.size);
  Put32(b, 18, static_cast<uint32_t>(h.width));
  Put32(b, 22, static_cast<uint32_t>(h.height));
  Put16(b, 26, h.planes);
  Put16(b, 28, h.bits);
  Put32(b, 30, h.compression);
  Put32(b, 34, static_cast<uint32_t>(pixels));
  Put32(b, 46, h.clrUsed);
  return b;
}
}  // namespace

// One table for the verdict both readers share: what the frame reader says, what the
// picture loader says, and the info block a stream format gets (header, masks, table).
TEST(BmpVerdict, BothReadersTakeTheSharedVerdictAndAnHonestInfoBlock) {
  const Verdict ok = Verdict::Ok, bad = Verdict::Malformed, cannotDraw = Verdict::Unsupported;
  struct Case {
    const char* what;
    Header h;
    Verdict frame;
    Verdict picture;
    size_t infoSize;
  } cases[] = {
      {"plain 24 bits", {}, ok, ok, 40},
      {"a gap before the pixels is not info", {40, 24, kBiRgb, 2, 0, 100}, ok, ok, 40},
      {"16 colours of 8 bits, then a gap", {40, 8, kBiRgb, 2, 16, 64 + 32}, ok, ok, 104},
      {"masks after a 40-byte header", {40, 32, kBiBitfields, 2, 0, 12}, ok, ok, 52},
      {"four masks after a 40-byte header",
       {40, 32, kBiAlphaBitfields, 2, 0, 16},
       ok,
       cannotDraw,
       56},
      {"masks inside a 52-byte header", {52, 16, kBiBitfields}, ok, ok, 52},
      {"four masks inside a 56-byte header", {56, 32, kBiAlphaBitfields}, ok, cannotDraw, 56},
      {"108-byte header", {108, 32, kBiBitfields, -2}, ok, ok, 108},
      {"124-byte header, 2 colours and a gap", {124, 24, kBiRgb, 2, 2, 8 + 20}, ok, ok, 132},
      {"run-length 8 bits", {40, 8, kBiRle8, 2, 0, 1024}, ok, cannotDraw, 1064},
      {"run-length 4 bits", {40, 4, kBiRle4, 2, 0, 64}, ok, cannotDraw, 104},
      {"embedded image, no depth of its own", {40, 0, kBiPng}, ok, cannotDraw, 40},
      {"two planes", {40, 24, kBiRgb, 2, 0, 0, 2}, bad, bad, 0},
      {"no planes", {40, 24, kBiRgb, 2, 0, 0, 0}, bad, bad, 0},
      {"run-length 8 at 4 bits", {40, 4, kBiRle8, 2, 0, 64}, bad, bad, 0},
      {"run-length 4 at 8 bits", {40, 8, kBiRle4, 2, 0, 1024}, bad, bad, 0},
      {"run-length 8 at 24 bits", {40, 24, kBiRle8}, bad, bad, 0},
      {"run-length top-down", {40, 8, kBiRle8, -2, 0, 1024}, bad, bad, 0},
      {"run-length 4 top-down", {40, 4, kBiRle4, -2, 0, 64}, bad, bad, 0},
      {"no depth, uncompressed", {40, 0, kBiRgb}, bad, bad, 0},
      {"no depth, masks", {40, 0, kBiBitfields, 2, 0, 12}, bad, bad, 0},
      {"no depth, run-length", {40, 0, kBiRle8}, bad, bad, 0},
      {"7 bits", {40, 7, kBiRgb}, bad, bad, 0},
      {"masks at 24 bits", {40, 24, kBiBitfields, 2, 0, 12}, bad, bad, 0},
      {"masks missing after a 40-byte header", {40, 32, kBiBitfields}, bad, bad, 0},
      {"masks cut short", {40, 16, kBiBitfields, 2, 0, 8}, bad, bad, 0},
      {"three of four masks", {40, 32, kBiAlphaBitfields, 2, 0, 12}, bad, bad, 0},
      {"four masks in a 52-byte header", {52, 32, kBiAlphaBitfields}, bad, bad, 0},
      {"44-byte header with masks", {44, 32, kBiBitfields}, bad, bad, 0},
      {"44-byte header", {44, 24}, bad, bad, 0},
      {"64-byte header", {64, 24}, bad, bad, 0},
      {"12-byte header", {12, 24, kBiRgb, 2, 0, 28}, bad, bad, 0},
      {"257 colours of 8 bits", {40, 8, kBiRgb, 2, 257, 1028}, bad, bad, 0},
      {"full table of 8 bits cut short", {40, 8, kBiRgb, 2, 0, 1020}, bad, bad, 0},
      {"3 colours with room for 2", {40, 24, kBiRgb, 2, 3, 8}, bad, bad, 0},
      {"wider than any picture", {40, 24, kBiRgb, 2, 0, 0, 1, kMaxSide + 1}, bad, bad, 0},
      {"taller than any picture", {40, 8, kBiRgb, -kMaxSide - 1, 2, 8}, bad, bad, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::vector<uint8_t> b = FileWith(c.h);
    const Parsed frame = ParseFile(b.data(), b.size());
    Verdict picture = Verdict::NotBitmap;
    const std::optional<BmpView> view = ParseBmp(b.data(), b.size(), &picture);
    EXPECT_EQ(frame.verdict, c.frame);
    EXPECT_EQ(picture, c.picture);
    EXPECT_EQ(view.has_value(), c.picture == ok);
    if (c.frame != ok) continue;
    EXPECT_EQ(frame.layout.infoSize, c.infoSize);
    EXPECT_EQ(frame.layout.pixelOffset, 14 + c.h.size + c.h.after);
    if (view) {
      EXPECT_EQ(view->infoSize, c.infoSize);
      EXPECT_EQ(view->pixelSize, frame.layout.pixelSize);
      EXPECT_EQ(view->pixels, b.data() + frame.layout.pixelOffset);
    }
  }
  // Packed, the same headers get the same verdict and the same info block.
  for (const Case& c : cases) {
    if (c.h.bits < 16 || (c.frame == ok && c.infoSize != c.h.size + c.h.after)) continue;
    SCOPED_TRACE(std::string("packed: ") + c.what);
    const std::vector<uint8_t> b = FileWith(c.h);
    const Parsed packed = ParsePackedDib(b.data() + 14, b.size() - 14);
    EXPECT_EQ(packed.verdict, c.frame);
    if (packed.verdict == ok) {
      EXPECT_EQ(packed.layout.infoSize, c.infoSize);
    }
  }
}
