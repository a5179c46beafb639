#include "skin/generator/artwork.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>

#include "toolkit/bmp_format.h"

using namespace orvik;
using namespace orvik::skinart;

namespace {

namespace fs = std::filesystem;

const fs::path kResDir = ORVIK_SKIN_RES_DIR;

std::vector<uint8_t> ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A 24-bit BMP file's pixels, top row first.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<Rgb> pixels;
  Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

std::optional<Image> Decode24(const std::vector<uint8_t>& file) {
  std::optional<BmpView> v = ParseBmp(file.data(), file.size());
  if (!v || v->bitCount != 24 || v->height < 0) return std::nullopt;
  Image img{v->width, v->height, {}};
  for (int y = 0; y < img.height; ++y) {
    const uint8_t* row = v->pixels + v->stride * (img.height - 1 - y);
    for (int x = 0; x < img.width; ++x)
      img.pixels.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
  }
  return img;
}

Image Piece(SkinId id, int dpi = kDesignDpi) { return *Decode24(DrawPiece(id, dpi).Bmp24()); }
Image ButtonImage(Glyph g, ButtonState s, int dpi = kDesignDpi) {
  return *Decode24(ButtonBmp(g, s, dpi));
}

// 100%, 125%, 150%, 175% and 200%.
const int kDpis[] = {96, 120, 144, 168, 192};
int Px(double design, int dpi) { return ScaledPixelsAt(design, dpi); }

// Pixels drawn in exactly the glyph colour.
std::set<std::pair<int, int>> GlyphPixels(const Image& img) {
  std::set<std::pair<int, int>> out;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.At(x, y) == palette::kGlyph) out.insert({x, y});
  return out;
}

struct Box {
  int left = 999, top = 999, right = -1, bottom = -1;
};

Box BoundsOf(const std::set<std::pair<int, int>>& px) {
  Box b;
  for (auto [x, y] : px) {
    b.left = std::min(b.left, x);
    b.top = std::min(b.top, y);
    b.right = std::max(b.right, x);
    b.bottom = std::max(b.bottom, y);
  }
  return b;
}

const Glyph kGlyphs[] = {Glyph::minimize, Glyph::maximize, Glyph::close, Glyph::restore};
const ButtonState kStates[] = {ButtonState::normal, ButtonState::hover, ButtonState::pressed};

}  // namespace

TEST(SkinResources, CommittedFilesAreWhatTheGeneratorWrites) {
  std::set<std::string> expected;
  for (const GeneratedFile& f : SkinFiles()) {
    expected.insert(f.path);
    EXPECT_TRUE(ReadFile(kResDir / f.path) == f.bytes)
        << f.path << " is stale: run skin_generator skin/res and commit the result";
  }
  // Nothing left behind from artwork that is no longer drawn.
  std::set<std::string> present;
  for (const auto& e : fs::recursive_directory_iterator(kResDir))
    if (e.is_regular_file()) present.insert(fs::relative(e.path(), kResDir).generic_string());
  EXPECT_EQ(present, expected);
}

// The frame crops the long pieces to the window's size, so whatever part shows must look
// the same: the bands repeat along their width, the borders along their height.
TEST(SkinPieces, LongPiecesRepeatWhereverTheyAreCut) {
  for (int dpi : kDpis) {
    SCOPED_TRACE(dpi);
    const Image caption = Piece(SkinId::backcaption, dpi);
    for (int y = 0; y < caption.height; ++y)
      for (int x = 1; x < caption.width; ++x)
        ASSERT_EQ(caption.At(x, y), caption.At(0, y)) << x << "," << y;

    const int below = Px(40, dpi);
    for (SkinId id : {SkinId::leftborder, SkinId::rightborder}) {
      const Image border = Piece(id, dpi);
      for (int y = below; y < border.height; ++y)
        for (int x = 0; x < border.width; ++x) ASSERT_EQ(border.At(x, y), border.At(x, below));
    }

    // The bottom bar is uniform between its side borders except for the right end that the
    // frame copies to the window's right edge (1000 twips, 67 pixels at 96 DPI): the grip
    // lies there.
    const Image bar = Piece(SkinId::bottomborder, dpi);
    const int end = TwipsToPixelsAt(1000, dpi), side = Px(4, dpi);
    bool gripSeen = false;
    for (int y = 0; y < bar.height; ++y) {
      for (int x = side; x < bar.width - end; ++x) ASSERT_EQ(bar.At(x, y), bar.At(side, y)) << x;
      for (int x = bar.width - end; x < bar.width - side; ++x)
        gripSeen |= bar.At(x, y) != bar.At(side, y);
    }
    EXPECT_TRUE(gripSeen);
  }
}

TEST(SkinPieces, JoinWithoutSeams) {
  for (int dpi : kDpis) {
    SCOPED_TRACE(dpi);
    const Image caption = Piece(SkinId::backcaption, dpi);
    const Image left = Piece(SkinId::leftcaption, dpi);
    const Image right = Piece(SkinId::rightcaption, dpi);
    const Image rightBorder = Piece(SkinId::rightborder, dpi);
    const Image leftBorder = Piece(SkinId::leftborder, dpi);
    const Image bar = Piece(SkinId::bottomborder, dpi);
    for (int y = 0; y < caption.height; ++y) {
      EXPECT_EQ(left.At(left.width - 1, y), caption.At(0, y)) << y;
      EXPECT_EQ(right.At(0, y), caption.At(0, y)) << y;
    }
    // The right border is placed 8 pixels (at 96 DPI) down, over the caption band, where it
    // must not show; below the band it is the border.
    const int down = Px(8, dpi), width = rightBorder.width;
    for (int y = 0; y + down < caption.height; ++y)
      for (int x = 0; x < width; ++x) EXPECT_EQ(rightBorder.At(x, y), caption.At(0, y + down)) << y;
    EXPECT_EQ(rightBorder.At(width - 1, caption.height), palette::kBorder);
    EXPECT_EQ(leftBorder.At(0, 0), palette::kBorder);
    // The bottom bar lies over both borders and carries them on.
    for (int x = 0; x < width; ++x) {
      EXPECT_EQ(bar.At(x, bar.height / 2), leftBorder.At(x, 100)) << x;
      EXPECT_EQ(bar.At(bar.width - width + x, bar.height / 2), rightBorder.At(x, 100)) << x;
    }
  }
}

// Each piece is as many pixels as the twips the frame gives its place: 15 twips a pixel at
// 96 DPI, and the conversion of the DPI otherwise, so a piece neither falls short of its
// place nor is stretched into it.
TEST(SkinPieces, AtEveryDpiEachPieceHasTheSizeItsTwipsGive) {
  const int leftCaptionSide[] = {23, 29, 34, 40, 46};  // 345 twips, halves to even
  for (size_t i = 0; i < std::size(kDpis); ++i) {
    const int dpi = kDpis[i];
    SCOPED_TRACE(dpi);
    for (const SkinPiece& p : kSkinPieces) {
      const Image img = Piece(p.id, dpi);
      EXPECT_EQ(img.width, TwipsToPixelsAt(p.width * 15.0, dpi)) << p.file;
      EXPECT_EQ(img.height, TwipsToPixelsAt(p.height * 15.0, dpi)) << p.file;
    }
    EXPECT_EQ(Piece(SkinId::leftcaption, dpi).width, leftCaptionSide[i]);
  }
}

TEST(SkinPieces, ToolbarPictureShowsWhatTheFramePaintsOverIt) {
  for (int dpi : kDpis) {
    SCOPED_TRACE(dpi);
    const Image band = Piece(SkinId::toolbarback, dpi);
    EXPECT_EQ(band.At(Px(39, dpi), 5), Hex(0xF0F0F0));
    EXPECT_EQ(band.At(Px(333, dpi), 5), (Rgb{201, 210, 236}));
    EXPECT_EQ(band.At(band.width - 1, 5), (Rgb{201, 210, 236}));
    for (int x : {0, 200, band.width - 1})
      for (int y = band.height - Px(1, dpi); y < band.height; ++y)
        EXPECT_EQ(band.At(x, y), (Rgb{107, 153, 209}));
  }
}

TEST(TitleButtons, CommittedBagsHoldTheStoredProperties) {
  const std::vector<std::string> keys = {"_extentx",
                                         "_extenty",
                                         "backgroundpicture",
                                         "mousemovepicture",
                                         "mousedownpicture",
                                         "button",
                                         "text",
                                         "fcolor",
                                         "value"};
  for (int n = 1; n <= kButtonCount; ++n) {
    SCOPED_TRACE("button" + std::to_string(n));
    const std::vector<uint8_t> file = ReadFile(kResDir / ("button" + std::to_string(n) + ".bag"));
    PropertyBag::Decoded d = PropertyBag::Decode(file.data(), file.size());
    ASSERT_TRUE(d.ok) << d.error.what;
    const PropertyBag& bag = d.bag;
    EXPECT_EQ(bag.Keys(), keys);
    EXPECT_EQ(bag.Find("_extentx")->type, PropType::Int32);
    EXPECT_EQ(bag.ReadInt32("_extentx", 0), 503);
    EXPECT_EQ(bag.ReadInt32("_extenty", 0), 503);
    EXPECT_EQ(bag.Find("Button")->type, PropType::Int16);
    EXPECT_EQ(bag.ReadInt16("Button", 0), 1);
    EXPECT_EQ(bag.Find("Text")->type, PropType::String);
    EXPECT_EQ(bag.ReadString("Text", "x"), "");
    EXPECT_EQ(bag.Find("fcolor")->type, PropType::Int16);
    EXPECT_EQ(bag.ReadInt32("fcolor", 7), 0);
    EXPECT_EQ(bag.Find("value")->type, PropType::Bool);
    EXPECT_EQ(bag.ReadBool("value", true), false);

    const char* pictureKeys[] = {"BackGroundPicture", "MouseMovePicture", "MouseDownPicture"};
    for (int s = 0; s < 3; ++s) {
      std::optional<std::vector<uint8_t>> bmp = bag.ReadPictureBmp(pictureKeys[s]);
      ASSERT_TRUE(bmp) << pictureKeys[s];
      EXPECT_EQ(bmp->size(), 1196u);
      EXPECT_EQ(ReadLe32(bmp->data() + 2), 1196u);  // the file size field agrees
      std::optional<Image> img = Decode24(*bmp);
      ASSERT_TRUE(img) << pictureKeys[s];
      EXPECT_EQ(img->width, 19);
      EXPECT_EQ(img->height, 19);
      EXPECT_TRUE(*bmp == ButtonBmp(ButtonGlyph(n), kStates[s])) << pictureKeys[s];
    }
  }
}

TEST(TitleButtons, FacesUseTheDesignColours) {
  for (int dpi : kDpis) {
    SCOPED_TRACE(dpi);
    const int n = ButtonSideAt(dpi), line = Px(1, dpi);
    for (Glyph g : kGlyphs) {
      // Column 0 never carries a glyph.
      const Image normal = ButtonImage(g, ButtonState::normal, dpi);
      ASSERT_EQ(normal.width, n);
      ASSERT_EQ(normal.height, n);
      EXPECT_EQ(normal.At(0, 0), Hex(0xEBF1FA));
      EXPECT_EQ(normal.At(0, n - 1), Hex(0xBFD2EA));
      for (int y = 1; y < n; ++y) EXPECT_LE(normal.At(0, y).g, normal.At(0, y - 1).g);

      const Image hover = ButtonImage(g, ButtonState::hover, dpi);
      EXPECT_GE(std::min({hover.At(0, 0).r, hover.At(0, 0).g, hover.At(0, 0).b}), 0xF8);
      for (int y = 0; y < n - line; ++y) EXPECT_GE(hover.At(0, y).g, normal.At(0, y).g) << y;
      for (int y = n - line; y < n; ++y) EXPECT_EQ(hover.At(0, y), Hex(0x8D9CCD));

      const Image pressed = ButtonImage(g, ButtonState::pressed, dpi);
      for (int y = 0; y < n; ++y) {
        const Rgb want = y < line ? Hex(0x90A2CE) : y >= n - line ? Hex(0xF8FAFD) : Hex(0xBFD2EA);
        EXPECT_EQ(pressed.At(0, y), want) << y;
      }
    }
  }
}

TEST(TitleButtons, GlyphIsTheSameInEveryStateAndCentred) {
  for (int dpi : kDpis) {
    SCOPED_TRACE(dpi);
    const int last = ButtonSideAt(dpi) - 1;
    for (Glyph g : kGlyphs) {
      const auto normal = GlyphPixels(ButtonImage(g, ButtonState::normal, dpi));
      ASSERT_FALSE(normal.empty());
      for (ButtonState s : kStates)
        EXPECT_EQ(GlyphPixels(ButtonImage(g, s, dpi)), normal) << static_cast<int>(s);
      const Box b = BoundsOf(normal);
      EXPECT_EQ(b.left + b.right, last) << static_cast<int>(g);
      // The minimize bar sits low by design; the others are centred both ways.
      if (g != Glyph::minimize) EXPECT_EQ(b.top + b.bottom, last) << static_cast<int>(g);
    }
  }
}

// Drawn at the size, not stretched: the outlines hold only the glyph colour and the face's
// own colour of each row, their lines as thick as the design's scaled, and the cross
// blends only its own colour into the face.
TEST(TitleButtons, AtEveryDpiTheGlyphsAreDrawnSharp) {
  auto between = [](uint8_t v, uint8_t a, uint8_t b) {
    return v >= std::min(a, b) && v <= std::max(a, b);
  };
  for (int dpi : kDpis) {
    SCOPED_TRACE(dpi);
    const int n = ButtonSideAt(dpi);
    for (Glyph g : kGlyphs)
      for (ButtonState s : kStates) {
        const Image img = ButtonImage(g, s, dpi);
        for (int y = 0; y < n; ++y)
          for (int x = 0; x < n; ++x) {
            const Rgb c = img.At(x, y), face = img.At(0, y), ink = palette::kGlyph;
            if (g == Glyph::close) {
              ASSERT_TRUE(between(c.r, face.r, ink.r) && between(c.g, face.g, ink.g) &&
                          between(c.b, face.b, ink.b))
                  << x << "," << y;
            } else {
              ASSERT_TRUE(c == face || c == ink) << static_cast<int>(g) << " " << x << "," << y;
            }
          }
      }
    const auto maximize = GlyphPixels(ButtonImage(Glyph::maximize, ButtonState::normal, dpi));
    const Box b = BoundsOf(maximize);
    int bar = 0, side = 0;
    while (maximize.count({b.left + 2 * Px(1, dpi), b.top + bar})) ++bar;
    while (maximize.count({b.left + side, (b.top + b.bottom) / 2})) ++side;
    EXPECT_EQ(bar, Px(2, dpi));
    EXPECT_EQ(side, Px(1, dpi));
  }
}

TEST(TitleButtons, EachGlyphReadsAsItsKind) {
  auto glyph = [](Glyph g) { return GlyphPixels(ButtonImage(g, ButtonState::normal)); };
  auto has = [](const std::set<std::pair<int, int>>& px, int x, int y) {
    return px.count({x, y}) > 0;
  };

  // Minimize: a short horizontal bar in the lower half.
  const auto minimize = glyph(Glyph::minimize);
  Box b = BoundsOf(minimize);
  EXPECT_GE(b.top, 10);
  EXPECT_GE(b.right - b.left + 1, 2 * (b.bottom - b.top + 1));
  EXPECT_LE(b.right - b.left + 1, 9);

  // Maximize: one square outline whose top two rows form a title bar.
  const auto maximize = glyph(Glyph::maximize);
  b = BoundsOf(maximize);
  EXPECT_EQ(b.right - b.left, b.bottom - b.top);
  for (int x = b.left; x <= b.right; ++x) {
    EXPECT_TRUE(has(maximize, x, b.top) && has(maximize, x, b.top + 1)) << x;
    EXPECT_TRUE(has(maximize, x, b.bottom)) << x;
  }
  for (int y = b.top + 2; y < b.bottom; ++y)
    for (int x = b.left + 1; x < b.right; ++x) EXPECT_FALSE(has(maximize, x, y)) << x << "," << y;

  // Restore: two overlapping outlines, the back one up and to the right.
  const auto restore = glyph(Glyph::restore);
  b = BoundsOf(restore);
  EXPECT_TRUE(has(restore, b.right, b.top));
  EXPECT_TRUE(has(restore, b.left, b.bottom));
  EXPECT_FALSE(has(restore, b.left, b.top));
  EXPECT_FALSE(has(restore, b.right, b.bottom));
  EXPECT_NE(restore, maximize);

  // Close: a diagonal cross, symmetric both ways, open in the middle of each side.
  const auto close = glyph(Glyph::close);
  b = BoundsOf(close);
  for (auto [x, y] : close) {
    EXPECT_TRUE(has(close, b.left + b.right - x, y)) << x << "," << y;
    EXPECT_TRUE(has(close, x, b.top + b.bottom - y)) << x << "," << y;
  }
  const int cx = (b.left + b.right) / 2, cy = (b.top + b.bottom) / 2;
  EXPECT_TRUE(has(close, cx, cy));
  EXPECT_TRUE(has(close, b.left, b.top) && has(close, b.right, b.bottom));
  EXPECT_FALSE(has(close, cx, b.top));
  EXPECT_FALSE(has(close, b.left, cy));
}

// The frame places its title buttons in twips (480, 780 and 1080 from the caption's right
// end, 75 down, 285 square); the caption's tab must lie around them at every DPI, and the
// buttons' pictures must fill those places exactly.
TEST(TitleButtons, AtEveryDpiTheTabLiesAroundTheButtonsPlaces) {
  const double twipsLeft[] = {480, 780, 1080};
  const Rgb toolbar = {201, 210, 236};
  for (int dpi : kDpis) {
    SCOPED_TRACE(dpi);
    const int side = ButtonSideAt(dpi), top = ButtonTopAt(dpi);
    EXPECT_EQ(side, TwipsToPixelsAt(285, dpi));
    EXPECT_EQ(top, TwipsToPixelsAt(75, dpi));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(ButtonLeftAt(i, dpi), TwipsToPixelsAt(twipsLeft[i], dpi));

    const Image caption = Piece(SkinId::rightcaption, dpi);
    const int first = ButtonLeftAt(0, dpi), end = ButtonLeftAt(2, dpi) + side;
    ASSERT_LE(top + side, caption.height);
    // Along the bottom row the tab (not the toolbar's colour) spans the buttons and a few
    // pixels either side, as at 96 DPI, with the toolbar showing beside it.
    const int bottom = caption.height - 1;
    int tabLeft = 0, tabRight = caption.width - 1;
    while (tabLeft < first && caption.At(tabLeft, bottom) == toolbar) ++tabLeft;
    while (tabRight >= end && caption.At(tabRight, bottom) == toolbar) --tabRight;
    EXPECT_GT(tabLeft, 0);
    EXPECT_LT(tabLeft, first);
    EXPECT_GE(tabRight, end);
    EXPECT_LT(tabRight, caption.width - 1);
    EXPECT_LE(first - tabLeft, Px(4, dpi) + 1);
    EXPECT_LE(tabRight - end, Px(4, dpi) + 1);
  }
}

// The bag for a DPI describes the button drawn for it: its extent is the picture's size in
// HiMetric there (about 503, 19 pixels at 96 DPI), its pictures that size.
TEST(TitleButtons, BagsAtEveryDpiCarryTheButtonsDrawnForIt) {
  const char* pictureKeys[] = {"BackGroundPicture", "MouseMovePicture", "MouseDownPicture"};
  for (int dpi : kDpis) {
    SCOPED_TRACE(dpi);
    const int side = ButtonSideAt(dpi);
    for (int n = 1; n <= kButtonCount; ++n) {
      const PropertyBag bag = ButtonBag(n, dpi);
      const int32_t extent = bag.ReadInt32("_extentx", 0).value_or(0);
      EXPECT_EQ(bag.ReadInt32("_extenty", 0), extent);
      EXPECT_EQ(extent, CInt32(side * 2540.0 / dpi));
      EXPECT_NEAR(extent, 503, 2540.0 / dpi);
      for (int s = 0; s < 3; ++s) {
        std::optional<std::vector<uint8_t>> bmp = bag.ReadPictureBmp(pictureKeys[s]);
        ASSERT_TRUE(bmp);
        EXPECT_EQ(bmp->size() % 4, 0u);
        EXPECT_EQ(ReadLe32(bmp->data() + 2), bmp->size());
        std::optional<Image> img = Decode24(*bmp);
        ASSERT_TRUE(img);
        EXPECT_EQ(img->width, side);
        EXPECT_EQ(img->height, side);
        EXPECT_TRUE(*bmp == ButtonBmp(ButtonGlyph(n), kStates[s], dpi));
      }
    }
  }
  // A DPI below the design's is taken as 96: the committed bag.
  EXPECT_TRUE(ButtonBag(3, 48).Encode() == ButtonBag(3).Encode());
}
