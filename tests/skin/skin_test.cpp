#include "skin/skin.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "controls/button.h"
#include "skin/generator/artwork.h"
#include "support/ui_driver.h"
#include "toolkit/app.h"
#include "toolkit/form.h"
#include "toolkit/handles.h"

using namespace orvik;

namespace {

std::vector<uint8_t> CommittedFile(const std::string& name) {
  std::ifstream in(std::string(ORVIK_SKIN_RES_DIR) + "/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The icon drawn at its own size over green, read back pixel by pixel.
class DrawnIcon {
 public:
  DrawnIcon(HICON icon, int side) : side_(side) {
    BITMAPINFO bi{};
    bi.bmiHeader = {sizeof(BITMAPINFOHEADER), side, -side, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap_.reset(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    dc_.reset(CreateCompatibleDC(nullptr));
    pixels_ = static_cast<uint32_t*>(bits);
    if (!bitmap_ || !dc_ || !pixels_) return;
    tk::SelectGuard select(dc_.get(), bitmap_.get());
    for (int i = 0; i < side * side; ++i) pixels_[i] = 0x0000FF00;
    drawn_ = DrawIconEx(dc_.get(), 0, 0, icon, side, side, 0, nullptr, DI_NORMAL) != FALSE;
    GdiFlush();
  }
  bool drawn() const { return drawn_; }
  // 0x00RRGGBB
  uint32_t At(int x, int y) const { return pixels_[y * side_ + x] & 0xFFFFFF; }

 private:
  int side_;
  tk::UniqueMemDc dc_;
  tk::UniqueBitmap bitmap_;
  uint32_t* pixels_ = nullptr;
  bool drawn_ = false;
};

// The windows lay out at `dpi` while it lives, as in a program started at that scaling.
class UiDpiScope {
 public:
  explicit UiDpiScope(int dpi) : old_(UiDpi()) { SetUiDpi(dpi); }
  ~UiDpiScope() { SetUiDpi(old_); }
  UiDpiScope(const UiDpiScope&) = delete;
  UiDpiScope& operator=(const UiDpiScope&) = delete;

 private:
  int old_;
};

}  // namespace

TEST(SkinLoader, EveryPieceLoadsAsItsCommittedBitmap) {
  for (const SkinPiece& p : kSkinPieces) {
    SCOPED_TRACE(p.file);
    tk::Picture pic = LoadSkinBitmap(p.id);
    ASSERT_FALSE(pic.empty());
    EXPECT_EQ(pic.Width(), p.width);
    EXPECT_EQ(pic.Height(), p.height);
    EXPECT_EQ(pic.BitCount(), 24);
    // Same pixels, rows the right way up: saved again it is the committed file.
    EXPECT_TRUE(pic.BmpBytes() == CommittedFile(p.file));
  }
  EXPECT_EQ(LoadSkinBitmap(SkinId::rightborder).PixelAt(3, 100), RGB(107, 153, 209));
  EXPECT_TRUE(LoadSkinBitmap(static_cast<SkinId>(IDB_BOTTOMBORDER + 50)).empty());
}

TEST(SkinLoader, ButtonBagsDecodeWithPicturesTheControlCanShow) {
  const char* pictureKeys[] = {"BackGroundPicture", "MouseMovePicture", "MouseDownPicture"};
  // Top-left pixel of the normal, hover and pressed faces (no glyph reaches it).
  const COLORREF corners[] = {RGB(0xEB, 0xF1, 0xFA), RGB(0xFD, 0xFE, 0xFF), RGB(0x90, 0xA2, 0xCE)};
  // A pixel of each glyph: minimize's bar, maximize's title bar, close's crossing and the
  // corner of restore's front window.
  const POINT glyphAt[] = {{9, 12}, {9, 5}, {9, 9}, {4, 14}};
  for (int n = 1; n <= kButtonCount; ++n) {
    SCOPED_TRACE(n);
    std::optional<PropertyBag> bag = LoadButtonBag(n);
    ASSERT_TRUE(bag);
    EXPECT_TRUE(bag->Encode() == CommittedFile("button" + std::to_string(n) + ".bag"));
    EXPECT_EQ(bag->ReadInt16("Button", 0), 1);
    for (int s = 0; s < 3; ++s) {
      const PropValue* stored = bag->Find(pictureKeys[s]);
      ASSERT_NE(stored, nullptr) << pictureKeys[s];
      std::optional<tk::Picture> pic = tk::PictureFromPersisted(stored->bytes);
      ASSERT_TRUE(pic && !pic->empty()) << pictureKeys[s];
      EXPECT_EQ(pic->Width(), kButtonSide);
      EXPECT_EQ(pic->Height(), kButtonSide);
      EXPECT_EQ(pic->BitCount(), 24);
      EXPECT_EQ(pic->PixelAt(0, 0), corners[s]) << pictureKeys[s];
      EXPECT_EQ(pic->PixelAt(glyphAt[n - 1].x, glyphAt[n - 1].y), RGB(0x58, 0x64, 0x85));
    }
  }
  EXPECT_FALSE(LoadButtonBag(0));
  EXPECT_FALSE(LoadButtonBag(kButtonCount + 1));
}

TEST(SkinLoader, AppIconLoadsAtBothSizesWithSeeThroughCorners) {
  for (int side : {32, 16}) {
    SCOPED_TRACE(side);
    tk::UniqueIcon icon(static_cast<HICON>(
        LoadImageW(tk::AppInstance(), MAKEINTRESOURCEW(IDI_ORVIK), IMAGE_ICON, side, side, 0)));
    ASSERT_TRUE(icon);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon.get(), &info));
    tk::UniqueBitmap colour(info.hbmColor), mask(info.hbmMask);
    BITMAP bm{};
    ASSERT_TRUE(GetObjectW(colour.get(), sizeof bm, &bm));
    EXPECT_EQ(bm.bmWidth, side);
    EXPECT_EQ(bm.bmHeight, side);

    DrawnIcon drawn(icon.get(), side);
    ASSERT_TRUE(drawn.drawn());
    EXPECT_EQ(drawn.At(0, 0), 0x00FF00u);  // the background shows through the corner
    const uint32_t mark = drawn.At(side / 2, side * 14 / 32);  // the red record mark
    EXPECT_GT(mark >> 16, 0xC0u);
    EXPECT_LT((mark >> 8) & 0xFF, 0x80u);
  }
}

TEST(SkinLoader, AtOtherDpisPiecesAndBagsAreDrawnForThatDpi) {
  for (int dpi : {120, 192}) {
    SCOPED_TRACE(dpi);
    for (const SkinPiece& p : kSkinPieces) {
      tk::Picture pic = LoadSkinBitmap(p.id, dpi);
      ASSERT_FALSE(pic.empty()) << p.file;
      EXPECT_EQ(pic.Width(), SkinPieceSizeAt(p, dpi).width) << p.file;
      EXPECT_EQ(pic.Height(), SkinPieceSizeAt(p, dpi).height) << p.file;
      EXPECT_TRUE(pic.BmpBytes() == skinart::DrawPiece(p.id, dpi).Bmp24()) << p.file;
    }
    for (int n = 1; n <= kButtonCount; ++n) {
      std::optional<PropertyBag> bag = LoadButtonBag(n, dpi);
      ASSERT_TRUE(bag) << n;
      EXPECT_TRUE(bag->Encode() == skinart::ButtonBag(n, dpi).Encode()) << n;
    }
    EXPECT_TRUE(LoadSkinBitmap(static_cast<SkinId>(IDB_BOTTOMBORDER + 50), dpi).empty());
    EXPECT_FALSE(LoadButtonBag(kButtonCount + 1, dpi));
  }
  // 96 DPI is the compiled-in skin.
  EXPECT_TRUE(LoadSkinBitmap(SkinId::rightcaption, 96).BmpBytes() ==
              CommittedFile("rightcaption.bmp"));
}

// The close button as the frame builds it at 200%: its twips place holds the 192-DPI
// picture pixel for pixel, and a real click at the middle of what is drawn reaches it.
TEST(SkinTitleButton, BuiltFromThe192DpiBagIsAsBigAsItsPictureAndClicksAtItsMiddle) {
  UiDpiScope scaled(192);
  SetCursorPos(1900, 1050);
  tk::Form form{tk::FormOptions::Sizable(L"title button", 3000, 1500)};
  form.Move(1500, 1500);
  form.Show();
  Button button;
  ASSERT_TRUE(button.Create(form.hWnd(), 1080, 75, 285, 285));
  std::optional<PropertyBag> bag = LoadButtonBag(3, 192);
  ASSERT_TRUE(bag);
  ASSERT_TRUE(button.ReadProperties(*bag));
  button.Move(1080, 75, 285, 285);
  button.SetVisible(true);
  int clicks = 0;
  float upX = -1, upY = -1;
  button.Click = [&] { ++clicks; };
  button.MouseUp = [&](int16_t&, int16_t&, float& x, float& y) { upX = x, upY = y; };
  testsupport::PumpFor(50);

  RECT client{};
  ASSERT_TRUE(GetClientRect(button.hWnd(), &client));
  EXPECT_EQ(client.right, 38);
  EXPECT_EQ(client.bottom, 38);
  // What shows is the close button drawn for 192 DPI, not a stretch of the 96 DPI one.
  const skinart::Canvas drawn =
      skinart::DrawButton(skinart::Glyph::close, skinart::ButtonState::normal, 192);
  ASSERT_EQ(drawn.width(), 38);
  int differing = 0;
  for (int y = 0; y < 38; ++y)
    for (int x = 0; x < 38; ++x) {
      const skinart::Rgb c = drawn.At(x, y);
      differing += button.Surface().Point(x * 7.5, y * 7.5) != RGB(c.r, c.g, c.b);
    }
  EXPECT_EQ(differing, 0);

  POINT middle{19, 19};
  ClientToScreen(button.hWnd(), &middle);
  EXPECT_EQ(WindowFromPoint(middle), button.hWnd());
  ASSERT_TRUE(testsupport::ClickAt(middle.x, middle.y));
  EXPECT_TRUE(testsupport::PumpUntil([&] { return clicks == 1; }, 5000));
  EXPECT_FLOAT_EQ(upX, 19 * 7.5f);
  EXPECT_FLOAT_EQ(upY, 19 * 7.5f);
  if (GetCapture() == button.hWnd()) ReleaseCapture();
}
