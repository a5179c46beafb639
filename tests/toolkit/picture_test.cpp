#include "toolkit/picture.h"

#include <gtest/gtest.h>

#include "support/unix_tools.h"
#include "toolkit/bmp_format.h"
#include "toolkit/files.h"
#include "toolkit/property_bag.h"
#include "toolkit/screen.h"
#include "window_testing.h"

using namespace toolkit_testing;

namespace {

// A 19 x 19, 24-bit BMP like the title-button pictures, a gradient in its rows.
std::vector<uint8_t> ButtonBmp() {
  auto h = orvik::MakeBmpHeader(19, 19, 24);
  std::vector<uint8_t> bmp(h.begin(), h.end());
  const size_t stride = orvik::BmpStride(19, 24);
  for (int row = 0; row < 19; ++row) {
    std::vector<uint8_t> line(stride, 0);
    for (int x = 0; x < 19; ++x) {
      line[x * 3 + 0] = static_cast<uint8_t>(200 + row);  // B
      line[x * 3 + 1] = static_cast<uint8_t>(10 * x);     // G
      line[x * 3 + 2] = 0x58;                             // R
    }
    bmp.insert(bmp.end(), line.begin(), line.end());
  }
  return bmp;
}

}  // namespace

TEST(Picture, LoadsSavesAndKeepsPixelsAndDepth) {
  std::wstring dir = testsupport::MakeTempDir(L"picture");
  const std::vector<uint8_t> bytes = ButtonBmp();
  std::optional<tk::Picture> pic = tk::Picture::FromBmpBytes(bytes.data(), bytes.size());
  ASSERT_TRUE(pic);
  EXPECT_EQ(pic->Width(), 19);
  EXPECT_EQ(pic->Height(), 19);
  EXPECT_EQ(pic->BitCount(), 24);
  // Bottom-up: file row 0 is the picture's bottom row.
  EXPECT_EQ(pic->PixelAt(3, 18), RGB(0x58, 30, 200));
  EXPECT_EQ(pic->PixelAt(0, 0), RGB(0x58, 0, 218));
  EXPECT_EQ(pic->PixelAt(19, 0), CLR_INVALID);

  // Saved and read back, a 24-bit picture is the same file.
  EXPECT_EQ(pic->BmpBytes(), bytes);
  const std::wstring path = dir + L"\\button.bmp";
  ASSERT_TRUE(pic->SaveBmp(path));
  std::optional<tk::Picture> again = tk::Picture::LoadBmpFile(path);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->BmpBytes(), bytes);

  // A 32-bit picture saves as 32-bit with the header the frame reader needs.
  tk::Picture solid = tk::Picture::Solid(3, 2, RGB(1, 2, 3));
  std::vector<uint8_t> out = solid.BmpBytes();
  ASSERT_EQ(out.size(), 54u + 24u);
  EXPECT_EQ(orvik::ReadLe16(&out[28]), 32u);
  EXPECT_EQ(orvik::ReadLe32(&out[34]), 24u);
  EXPECT_EQ(orvik::ReadLe32(&out[10]), 54u);
  EXPECT_EQ(out[54], 3);
  EXPECT_EQ(out[55], 2);
  EXPECT_EQ(out[56], 1);

  EXPECT_FALSE(tk::Picture::LoadBmpFile(dir + L"\\missing.bmp"));
  tk::File junk = tk::File::Open(dir + L"\\junk.bmp", tk::FileMode::Replace);
  junk.WriteAt(0, "BM not really a bitmap at all, just text pretending to be one", 60);
  junk.Close();
  EXPECT_FALSE(tk::Picture::LoadBmpFile(dir + L"\\junk.bmp"));
  EXPECT_FALSE(tk::Picture().SaveBmp(dir + L"\\none.bmp"));
  testsupport::RemoveTree(dir);
}

TEST(Picture, CopiesShareOneBitmapThatGoesWithTheLastCopy) {
  HBITMAP handle;
  {
    tk::Picture a = tk::Picture::Solid(8, 8, RGB(9, 9, 9));
    handle = a.handle();
    tk::Picture b = a;
    EXPECT_TRUE(b.SameAs(a));
    EXPECT_EQ(b.handle(), handle);
    a = tk::Picture();
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(GetObjectType(handle), static_cast<DWORD>(OBJ_BITMAP));  // b still holds it
  }
  EXPECT_EQ(GetObjectType(handle), 0u);
}

TEST(Picture, PersistedFormRoundTripsAndRefusesWhatIsNotAPicture) {
  const std::vector<uint8_t> bytes = ButtonBmp();
  tk::Picture pic = *tk::Picture::FromBmpBytes(bytes.data(), bytes.size());
  std::vector<uint8_t> persisted = tk::PictureToPersisted(pic);
  EXPECT_EQ(persisted.size(), 24 + bytes.size());

  orvik::PropertyBag bag;
  ASSERT_TRUE(bag.WritePicture("BackGroundPicture", persisted));
  ASSERT_TRUE(bag.WritePicture("MouseDownPicture", tk::PictureToPersisted(tk::Picture())));
  std::vector<uint8_t> encoded = bag.Encode();
  auto decoded = orvik::PropertyBag::Decode(encoded.data(), encoded.size());
  ASSERT_TRUE(decoded.ok);
  const orvik::PropValue* v = decoded.bag.Find("backgroundpicture");
  ASSERT_TRUE(v);
  std::optional<tk::Picture> back = tk::PictureFromPersisted(v->bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->BmpBytes(), bytes);

  std::optional<tk::Picture> none =
      tk::PictureFromPersisted(decoded.bag.Find("mousedownpicture")->bytes);
  ASSERT_TRUE(none);
  EXPECT_TRUE(none->empty());

  // The right header around bytes that are no BMP, and no header at all.
  std::vector<uint8_t> text(40, 'x');
  EXPECT_FALSE(tk::PictureFromPersisted(orvik::MakePersistedPicture(text)));
  EXPECT_FALSE(tk::PictureFromPersisted(bytes));
}

TEST(Screen, SizesClocksAndTheClipboard) {
  EXPECT_EQ(tk::ScreenWidthTwips(), GetSystemMetrics(SM_CXSCREEN) * 15);
  EXPECT_EQ(tk::ScreenHeightTwips(), GetSystemMetrics(SM_CYSCREEN) * 15);
  EXPECT_EQ(tk::ScreenWidthPixels() * 15, tk::ScreenWidthTwips());

  SYSTEMTIME t;
  GetLocalTime(&t);
  const float s = tk::SecondsSinceMidnight();
  const double expected = t.wHour * 3600.0 + t.wMinute * 60 + t.wSecond;
  EXPECT_GE(s, 0.0f);
  EXPECT_LT(s, 86400.0f);
  if (expected > 5 && expected < 86395) {
    EXPECT_NEAR(s, expected, 2.0);
  }

  const double a = tk::MonotonicSeconds();
  Sleep(20);
  const double b = tk::MonotonicSeconds();
  EXPECT_GE(b - a, 0.015);
  EXPECT_LT(b - a, 5.0);

  tk::Picture pic = tk::Picture::Solid(30, 20, RGB(12, 200, 34));
  ASSERT_TRUE(tk::SetClipboardPicture(pic));
  std::optional<tk::Picture> got = tk::ClipboardPicture();
  ASSERT_TRUE(got);
  EXPECT_EQ(got->Width(), 30);
  EXPECT_EQ(got->Height(), 20);
  EXPECT_EQ(got->PixelAt(29, 19), RGB(12, 200, 34));
  EXPECT_FALSE(got->SameAs(pic));

  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  CloseClipboard();
  EXPECT_FALSE(tk::ClipboardPicture());
}
