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

Image Piece(SkinId id) { return *Decode24(DrawPiece(id).Bmp24()); }

// Pixels drawn in exactly the glyph colour.
std::set<std::pair<int, int>> GlyphPixels(const Image& img) {
  std::set<std::pair<int, int>> out;
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x)
      if (img.At(x, y) == palette::kGlyph) out.insert({x, y});
  return out;
}

struct Box {
  int left = 99, top = 99, right = -1, bottom = -1;
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
  const Image caption = Piece(SkinId::backcaption);
  for (int y = 0; y < caption.height; ++y)
    for (int x = 1; x < caption.width; ++x)
      ASSERT_EQ(caption.At(x, y), caption.At(0, y)) << x << "," << y;

  for (SkinId id : {SkinId::leftborder, SkinId::rightborder}) {
    const Image border = Piece(id);
    for (int y = 40; y < border.height; ++y)
      for (int x = 0; x < border.width; ++x) ASSERT_EQ(border.At(x, y), border.At(x, 39));
  }

  // The bottom bar is uniform between its side borders except for the right end that the
  // frame copies to the window's right edge (1000 twips, 67 pixels): the grip lies there.
  const Image bar = Piece(SkinId::bottomborder);
  bool gripSeen = false;
  for (int y = 0; y < bar.height; ++y) {
    for (int x = 4; x < bar.width - 67; ++x) ASSERT_EQ(bar.At(x, y), bar.At(4, y)) << x;
    for (int x = bar.width - 67; x < bar.width - 4; ++x) gripSeen |= bar.At(x, y) != bar.At(4, y);
  }
  EXPECT_TRUE(gripSeen);
}

TEST(SkinPieces, JoinWithoutSeams) {
  const Image caption = Piece(SkinId::backcaption);
  const Image left = Piece(SkinId::leftcaption);
  const Image right = Piece(SkinId::rightcaption);
  const Image rightBorder = Piece(SkinId::rightborder);
  const Image leftBorder = Piece(SkinId::leftborder);
  const Image bar = Piece(SkinId::bottomborder);
  for (int y = 0; y < caption.height; ++y) {
    EXPECT_EQ(left.At(left.width - 1, y), caption.At(0, y)) << y;
    EXPECT_EQ(right.At(0, y), caption.At(0, y)) << y;
  }
  // The right border is placed 8 pixels down, over the caption band, where it must not
  // show; below the band it is the border.
  for (int y = 0; y + 8 < caption.height; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(rightBorder.At(x, y), caption.At(0, y + 8)) << y;
  EXPECT_EQ(rightBorder.At(3, 40), palette::kBorder);
  EXPECT_EQ(leftBorder.At(0, 0), palette::kBorder);
  // The bottom bar lies over both borders and carries them on.
  for (int x = 0; x < 4; ++x) {
    EXPECT_EQ(bar.At(x, 10), leftBorder.At(x, 100)) << x;
    EXPECT_EQ(bar.At(bar.width - 4 + x, 10), rightBorder.At(x, 100)) << x;
  }
}

TEST(SkinPieces, ToolbarPictureShowsWhatTheFramePaintsOverIt) {
  const Image band = Piece(SkinId::toolbarback);
  EXPECT_EQ(band.At(0, 5), Hex(0xF0F0F0));
  EXPECT_EQ(band.At(333, 5), (Rgb{201, 210, 236}));
  EXPECT_EQ(band.At(1599, 5), (Rgb{201, 210, 236}));
  for (int x : {0, 200, 1599}) EXPECT_EQ(band.At(x, band.height - 1), (Rgb{107, 153, 209}));
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
  for (Glyph g : kGlyphs) {
    // Column 0 never carries a glyph.
    const Image normal = *Decode24(ButtonBmp(g, ButtonState::normal));
    EXPECT_EQ(normal.At(0, 0), Hex(0xEBF1FA));
    EXPECT_EQ(normal.At(0, 18), Hex(0xBFD2EA));
    for (int y = 1; y < 19; ++y) EXPECT_LE(normal.At(0, y).g, normal.At(0, y - 1).g);

    const Image hover = *Decode24(ButtonBmp(g, ButtonState::hover));
    EXPECT_GE(std::min({hover.At(0, 0).r, hover.At(0, 0).g, hover.At(0, 0).b}), 0xF8);
    for (int y = 0; y < 18; ++y) EXPECT_GE(hover.At(0, y).g, normal.At(0, y).g) << y;
    EXPECT_EQ(hover.At(0, 18), Hex(0x8D9CCD));

    const Image pressed = *Decode24(ButtonBmp(g, ButtonState::pressed));
    EXPECT_EQ(pressed.At(0, 0), Hex(0x90A2CE));
    for (int y = 1; y < 18; ++y) EXPECT_EQ(pressed.At(0, y), Hex(0xBFD2EA));
    EXPECT_EQ(pressed.At(0, 18), Hex(0xF8FAFD));
  }
}

TEST(TitleButtons, GlyphIsTheSameInEveryStateAndCentred) {
  for (Glyph g : kGlyphs) {
    const auto normal = GlyphPixels(*Decode24(ButtonBmp(g, ButtonState::normal)));
    ASSERT_FALSE(normal.empty());
    for (ButtonState s : kStates)
      EXPECT_EQ(GlyphPixels(*Decode24(ButtonBmp(g, s))), normal) << static_cast<int>(s);
    const Box b = BoundsOf(normal);
    EXPECT_EQ(b.left + b.right, 18) << static_cast<int>(g);
  }
}

TEST(TitleButtons, EachGlyphReadsAsItsKind) {
  auto glyph = [](Glyph g) { return GlyphPixels(*Decode24(ButtonBmp(g, ButtonState::normal))); };
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
