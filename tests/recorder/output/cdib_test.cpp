#include "recorder/output/cdib.h"

#include <gtest/gtest.h>

#include <cstring>

#include "recorder/bmp_samples.h"
#include "support/dialogs.h"
#include "support/message_boxes.h"
#include "support/unix_tools.h"
#include "toolkit/app.h"
#include "toolkit/files.h"

using namespace testsupport;
using samples::BmpRecipe;
using samples::MakeBmp;

namespace {

class CdibTest : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDir(L"cdib"); }
  void TearDown() override { RemoveTree(dir_); }

  std::wstring Write(const std::wstring& name, const std::vector<uint8_t>& bytes) {
    std::wstring path = dir_ + L"\\" + name;
    tk::File f = tk::File::Open(path, tk::FileMode::Replace);
    EXPECT_TRUE(f.IsOpen());
    EXPECT_TRUE(bytes.empty() || f.WriteAt(0, bytes.data(), bytes.size()));
    return path;
  }

  std::vector<uint8_t> ReadAll(const std::wstring& path) {
    tk::File f = tk::File::Open(path, tk::FileMode::Read);
    std::vector<uint8_t> bytes(static_cast<size_t>(f.Length().value_or(0)));
    EXPECT_TRUE(bytes.empty() || f.ReadAt(0, bytes.data(), bytes.size()));
    return bytes;
  }

  std::wstring dir_;
};

// The reader's message for `path` answered like a user would, with what it said and showed.
DialogSeries::Answered LoadExpectingMessage(cDIB& dib, const std::wstring& path) {
  DialogSeries box(tk::AppTitle(), 1);
  EXPECT_FALSE(dib.CreateFromFile(path));
  const auto& answered = box.Wait();
  EXPECT_EQ(answered.size(), 1u) << Utf8(path);
  return answered.empty() ? DialogSeries::Answered{} : answered[0];
}

void ExpectBlocksOf(const cDIB& dib, const std::vector<uint8_t>& bmp) {
  const size_t offBits = samples::Get32(bmp, 10);
  ASSERT_NE(dib.PointerToBitmapInfo(), nullptr);
  ASSERT_EQ(static_cast<size_t>(dib.SizeBitmapInfo()), offBits - 14);
  EXPECT_EQ(std::memcmp(dib.PointerToBitmapInfo(), bmp.data() + 14, offBits - 14), 0);
  ASSERT_EQ(static_cast<size_t>(dib.SizeImage()), samples::Get32(bmp, 34));
  EXPECT_EQ(std::memcmp(dib.PointerToBits(), bmp.data() + offBits, dib.SizeImage()), 0);
}

}  // namespace

TEST_F(CdibTest, InfoBlockSizeFollowsTheOffsetOfThePixels) {
  struct Case {
    int bits;
    int infoSize;
  } cases[] = {{24, 40}, {32, 40}, {8, 1064}};
  for (const Case& c : cases) {
    auto bmp = MakeBmp({37, 11, c.bits});
    cDIB dib;
    ASSERT_TRUE(dib.CreateFromFile(Write(L"f.bmp", bmp))) << c.bits;
    EXPECT_EQ(dib.SizeBitmapInfo(), c.infoSize);
    EXPECT_EQ(dib.BitOffset(), 14 + c.infoSize);
    ExpectBlocksOf(dib, bmp);
  }
}

TEST_F(CdibTest, PropertiesReportTheHeaderFields) {
  auto bmp = MakeBmp({640, -480, 32});
  samples::Put32(bmp, 38, 1234);
  samples::Put32(bmp, 42, static_cast<uint32_t>(-77));
  samples::Put32(bmp, 50, 9);  // biClrImportant
  cDIB dib;
  ASSERT_TRUE(dib.CreateFromFile(Write(L"f.bmp", bmp)));
  EXPECT_EQ(dib.FileType(), 0x4D42);
  EXPECT_EQ(dib.SizeFileHeader(), static_cast<int32_t>(bmp.size()));
  EXPECT_EQ(dib.BitOffset(), 54);
  EXPECT_EQ(dib.SizeInfoHeader(), 40);
  EXPECT_EQ(dib.Width(), 640);
  EXPECT_EQ(dib.Height(), -480);
  EXPECT_EQ(dib.Planes(), 1);
  EXPECT_EQ(dib.BitCount(), 32);
  EXPECT_EQ(dib.Compression(), 0);
  EXPECT_EQ(dib.SizeImage(), 640 * 480 * 4);
  EXPECT_EQ(dib.XPPM(), 1234);
  EXPECT_EQ(dib.YPPM(), -77);
  EXPECT_EQ(dib.ClrUsed(), 0);
  EXPECT_EQ(dib.ClrImportant(), 9);
}

TEST_F(CdibTest, SecondLoadReplacesBothBlocksAndEveryHeaderValue) {
  cDIB dib;
  ASSERT_TRUE(dib.CreateFromFile(Write(L"a.bmp", MakeBmp({8, 8, 8, 1}))));
  auto second = MakeBmp({30, 7, 24, 2});
  ASSERT_TRUE(dib.CreateFromFile(Write(L"b.bmp", second)));
  EXPECT_EQ(dib.Width(), 30);
  EXPECT_EQ(dib.Height(), 7);
  EXPECT_EQ(dib.BitCount(), 24);
  EXPECT_EQ(dib.BitOffset(), 54);
  EXPECT_EQ(dib.SizeFileHeader(), static_cast<int32_t>(second.size()));
  ExpectBlocksOf(dib, second);
}

TEST_F(CdibTest, ZeroImageSizeIsComputedFromTheGeometry) {
  BmpRecipe recipe{5, 3, 24};
  recipe.sizeImageFilled = false;
  cDIB dib;
  ASSERT_TRUE(dib.CreateFromFile(Write(L"f.bmp", MakeBmp(recipe))));
  EXPECT_EQ(dib.SizeImage(), 16 * 3);
}

TEST_F(CdibTest, FramesOfOneSizeReuseTheSameTwoBuffers) {
  const std::wstring path = dir_ + L"\\frame.bmp";
  cDIB dib;
  const uint8_t* seen[4] = {};
  for (int i = 0; i < 4; ++i) {
    auto bmp = MakeBmp({64, 32, 24, static_cast<uint32_t>(i)});
    Write(L"frame.bmp", bmp);
    ASSERT_TRUE(dib.CreateFromFile(path));
    ExpectBlocksOf(dib, bmp);
    seen[i] = dib.PointerToBits();
  }
  EXPECT_EQ(seen[2], seen[0]);
  EXPECT_EQ(seen[3], seen[1]);
}

TEST_F(CdibTest, MissingLockedAndForeignFilesAreRefusedWithTheirMessages) {
  auto kept = MakeBmp({9, 9, 24, 5});
  cDIB dib;
  ASSERT_TRUE(dib.CreateFromFile(Write(L"kept.bmp", kept)));

  const std::wstring missing = dir_ + L"\\missing.bmp";
  auto m = LoadExpectingMessage(dib, missing);
  EXPECT_EQ(m.text, L"File does not exist:\r\n" + missing);
  EXPECT_EQ(m.icon, LoadIconW(nullptr, IDI_ERROR));

  const std::wstring locked = Write(L"locked.bmp", MakeBmp({4, 4, 24}));
  {
    tk::UniqueFile lock(CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(lock);
    m = LoadExpectingMessage(dib, locked);
    EXPECT_EQ(m.text, L"File is locked - cannot access:\r\n" + locked);
    EXPECT_EQ(m.icon, LoadIconW(nullptr, IDI_ERROR));
  }

  auto png = MakeBmp({4, 4, 24});
  png[0] = 0x89;
  png[1] = 'P';
  const std::wstring foreign = Write(L"picture.bmp", png);
  m = LoadExpectingMessage(dib, foreign);
  EXPECT_EQ(m.text, L"File is not a supported bitmap format:\r\n" + foreign);
  EXPECT_EQ(m.icon, LoadIconW(nullptr, IDI_INFORMATION));
  // The file header read from the foreign file shows; everything else is the kept bitmap.
  EXPECT_EQ(dib.FileType(), 0x5089);
  EXPECT_EQ(dib.Width(), 9);
  ExpectBlocksOf(dib, kept);
}

TEST_F(CdibTest, MalformedFilesAreRefusedAndKeepThePreviousContent) {
  auto good = MakeBmp({16, 16, 32, 3});
  cDIB dib;
  ASSERT_TRUE(dib.CreateFromFile(Write(L"good.bmp", good)));

  auto truncated = MakeBmp({16, 16, 24});
  truncated.resize(truncated.size() - 1);
  auto lowOffset = MakeBmp({16, 16, 24});
  samples::Put32(lowOffset, 10, 40);
  auto hugeImage = MakeBmp({16, 16, 24});
  samples::Put32(hugeImage, 34, 0x7FFFFFF0);
  auto tableOutside = MakeBmp({16, 16, 8});
  samples::Put32(tableOutside, 10, 54);
  auto header44 = MakeBmp({16, 16, 32});  // no such header: its 44 bytes are no stream format
  samples::Put32(header44, 14, 44);
  samples::Put32(header44, 10, 58);
  struct Case {
    const wchar_t* name;
    std::vector<uint8_t> bytes;
  } cases[] = {{L"empty.bmp", {}},
               {L"short.bmp", {'B', 'M', 0, 0}},
               {L"truncated.bmp", truncated},
               {L"low-offset.bmp", lowOffset},
               {L"huge-image.bmp", hugeImage},
               {L"table-outside.bmp", tableOutside},
               {L"header-44.bmp", header44}};
  for (const Case& c : cases) {
    const std::wstring path = Write(c.name, c.bytes);
    auto m = LoadExpectingMessage(dib, path);
    EXPECT_EQ(m.text, L"File is not a supported bitmap format:\r\n" + path);
    ExpectBlocksOf(dib, good);
    EXPECT_EQ(dib.FileType(), 0x4D42);
  }
}

TEST_F(CdibTest, AGapBeforeThePixelsIsNeitherInfoNorWrittenBack) {
  const auto plain = MakeBmp({6, 5, 24, 4});
  std::vector<uint8_t> gapped(plain.begin(), plain.begin() + 54);
  gapped.insert(gapped.end(), 100, 0xCC);
  gapped.insert(gapped.end(), plain.begin() + 54, plain.end());
  samples::Put32(gapped, 2, static_cast<uint32_t>(gapped.size()));
  samples::Put32(gapped, 10, 154);
  cDIB dib;
  ASSERT_TRUE(dib.CreateFromFile(Write(L"gap.bmp", gapped)));
  EXPECT_EQ(dib.SizeBitmapInfo(), 40);
  EXPECT_EQ(dib.BitOffset(), 154);
  const std::wstring out = dir_ + L"\\out.bmp";
  ASSERT_TRUE(dib.WriteToFile(out));
  EXPECT_EQ(ReadAll(out), plain);
}

TEST_F(CdibTest, PackedDibWritesAFileOf54PlusImageBytes) {
  auto bmp = MakeBmp({21, 9, 24, 8});
  std::vector<uint8_t> packed(bmp.begin() + 14, bmp.end());
  cDIB dib;
  ASSERT_TRUE(dib.CreateFromPackedDIBPointer(packed.data(), packed.size()));
  EXPECT_EQ(dib.SizeBitmapInfo(), 40);
  EXPECT_EQ(dib.BitOffset(), 54);
  const int32_t image = dib.SizeImage();
  EXPECT_EQ(dib.SizeFileHeader(), 54 + image);

  const std::wstring out = dir_ + L"\\packed.bmp";
  ASSERT_TRUE(dib.WriteToFile(out));
  auto written = ReadAll(out);
  ASSERT_EQ(written.size(), static_cast<size_t>(54 + image));
  EXPECT_EQ(samples::Get32(written, 2), static_cast<uint32_t>(54 + image));
  EXPECT_EQ(samples::Get32(written, 10), 54u);
  EXPECT_TRUE(std::equal(written.begin(), written.end(), bmp.begin()));
  cDIB back;
  ASSERT_TRUE(back.CreateFromFile(out));
  ExpectBlocksOf(back, bmp);
}

TEST_F(CdibTest, PackedDibRefusalsLeaveTheObjectAsItWas) {
  auto bmp = MakeBmp({4, 4, 24});
  std::vector<uint8_t> packed(bmp.begin() + 14, bmp.end());
  cDIB dib;
  EXPECT_FALSE(dib.CreateFromPackedDIBPointer(packed.data(), packed.size() - 1));
  EXPECT_EQ(dib.PointerToBits(), nullptr);
  EXPECT_FALSE(dib.WriteToFile(dir_ + L"\\nothing.bmp"));
  EXPECT_FALSE(tk::FileExists(dir_ + L"\\nothing.bmp"));

  ASSERT_TRUE(dib.CreateFromPackedDIBPointer(packed.data(), packed.size()));
  auto eight = MakeBmp({4, 4, 8});
  EXPECT_FALSE(dib.CreateFromPackedDIBPointer(eight.data() + 14, eight.size() - 14));
  EXPECT_EQ(dib.BitCount(), 24);
  ExpectBlocksOf(dib, bmp);
  // Its own blocks are a valid source too.
  EXPECT_TRUE(dib.CreateFromPackedDIBPointer(dib.PointerToBitmapInfo(), packed.size()));
  ExpectBlocksOf(dib, bmp);
}

TEST_F(CdibTest, WriteToFileKeepsALongerFilesTailAndReportsFailures) {
  auto bmp = MakeBmp({4, 4, 24});
  cDIB dib;
  ASSERT_TRUE(dib.CreateFromFile(Write(L"src.bmp", bmp)));
  const std::wstring longer = Write(L"longer.bmp", std::vector<uint8_t>(bmp.size() + 10, 0xAB));
  ASSERT_TRUE(dib.WriteToFile(longer));
  auto written = ReadAll(longer);
  ASSERT_EQ(written.size(), bmp.size() + 10);
  EXPECT_TRUE(std::equal(bmp.begin(), bmp.end(), written.begin()));
  EXPECT_EQ(written.back(), 0xAB);

  EXPECT_FALSE(dib.WriteToFile(dir_ + L"\\no-such-folder\\out.bmp"));
}
