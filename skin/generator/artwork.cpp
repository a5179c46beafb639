#include "skin/generator/artwork.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "toolkit/bmp_format.h"

namespace orvik::skinart {

namespace {

using namespace palette;

// The caption band runs edge to edge: light blue at the top brightening to white-blue, so
// the title buttons (darker at their bottoms) stand out, closed by a hairline.
constexpr Rgb kCaptionTop = Hex(0xCADCF3);
constexpr Rgb kCaptionBottom = Hex(0xEEF4FC);
constexpr Rgb kCaptionLine = Hex(0x9DB9E2);
constexpr int kCaptionHeight = 23;

// The title buttons reach two pixels below the caption band; the band bulges down around
// them as a tab with rounded corners.
constexpr double kTabMargin = 3.5, kTabRadius = 3.5;

// The toolbar band as the frame paints it over its picture: the menu colour, a ramp to the
// band's blue, and the border colour along the bottom.
constexpr Rgb kMenu = Hex(0xF0F0F0);
constexpr Rgb kToolbarEnd = Hex(0xC9D2EC);
constexpr int kToolbarRampStart = 40, kToolbarRampEnd = 333;

// Side borders, outermost column first. They frame the body from the toolbar band down.
constexpr Rgb kBorderColumns[4] = {kBorder, kBorder, kBorder, Hex(0x9DBDE6)};
constexpr int kBorderWidth = 4;
// The right border is placed 8 pixels from the top, over the caption band's lower rows,
// where it takes the band's colours.
constexpr int kRightBorderTop = 8;

// The bottom bar and its grip.
constexpr Rgb kBarTop = Hex(0xE4EDF9);
constexpr Rgb kBarBottom = Hex(0xCCDBF1);
constexpr Rgb kGripDot = Hex(0x6F93C9);
constexpr Rgb kGripLight = Hex(0xF7FAFE);

// The application symbol, in a 32-unit design square: a blue tile holding a screen with
// a red record mark, and the screen's stand.
constexpr Rgb kTileTop = Hex(0x6A9BE0);
constexpr Rgb kTileBottom = Hex(0x2F62B5);
constexpr Rgb kScreen = Hex(0xF7FAFF);
constexpr Rgb kRecord = Hex(0xE2463C);

const SkinPiece* PieceOf(SkinId id) {
  for (const SkinPiece& p : kSkinPieces)
    if (p.id == id) return &p;
  return nullptr;
}

// Edges lie on even design units, so the symbol stays crisp at 32 and at 16 pixels; at other
// sizes its rectangles' edges are taken to whole pixels.
void DrawAppSymbol(Canvas& c, double ox, double oy, double scale, bool hardTile) {
  auto at = [&](double v, double o) { return o + std::floor(v * scale + 0.5); };
  auto tileColour = [&](int, int y) {
    return Mix(kTileTop, kTileBottom, std::clamp((y + 0.5 - oy) / (32 * scale), 0.0, 1.0));
  };
  if (hardTile)
    c.Fill([](double, double) { return true; }, tileColour);
  else
    c.Fill(RoundRect(at(0, ox), at(0, oy), at(32, ox), at(32, oy), 6 * scale), tileColour);
  c.Fill(RoundRect(at(4, ox), at(6, oy), at(28, ox), at(22, oy), 2 * scale), kScreen);
  c.Fill(RoundRect(at(10, ox), at(24, oy), at(22, ox), at(26, oy), 1 * scale), kScreen);
  c.Fill(Circle(ox + 16 * scale, oy + 14 * scale, 4.5 * scale), kRecord);
}

// The artwork at one DPI. Design lengths (pixels at 96 DPI) become whole pixels before
// anything is drawn, positions and widths through the same rounding, so lines keep to pixel
// boundaries and parts that meet at 96 DPI meet at every scale.
class Artist {
 public:
  explicit Artist(int dpi) : dpi_(SaneDpi(dpi)), k_(static_cast<double>(dpi_) / kDesignDpi) {}

  int Px(double design) const { return ScaledPixelsAt(design, dpi_); }
  // For shapes that are sampled rather than filled by whole pixels.
  double Exact(double design) const { return design * k_; }

  Canvas Piece(const SkinPiece& p) const;
  Canvas Button(Glyph glyph, ButtonState state) const;

 private:
  int Hairline() const { return Px(1); }
  int CaptionHeight() const { return Px(kCaptionHeight); }
  Rgb CaptionShade(double y) const;
  Rgb CaptionRow(int y) const;
  void PaintCaption(Canvas& c) const;
  void PaintBorder(Canvas& c, int x0, bool outerOnLeft, int y0) const;
  Canvas BackCaption(int w, int h) const;
  Canvas LeftCaption(int w, int h) const;
  Canvas RightCaption(int w, int h) const;
  Canvas Border(int w, int h, bool outerOnLeft, int top) const;
  Canvas ToolbarBack(int w, int h) const;
  void DrawGrip(Canvas& c, int right, int bottom) const;
  Canvas BottomBorder(int w, int h) const;
  void ButtonFace(Canvas& c, ButtonState state) const;
  int GlyphLength(double design) const;
  void WindowOutline(Canvas& c, int x, int y, int w, int h) const;
  void DrawGlyph(Canvas& c, Glyph glyph, const Canvas& face) const;

  int dpi_;
  double k_;
};

// The shade runs over the rows above the hairline.
Rgb Artist::CaptionShade(double y) const {
  const int last = CaptionHeight() - Hairline() - 1;
  return Mix(kCaptionTop, kCaptionBottom, std::clamp(y / last, 0.0, 1.0));
}

Rgb Artist::CaptionRow(int y) const {
  return y >= CaptionHeight() - Hairline() ? kCaptionLine : CaptionShade(y);
}

void Artist::PaintCaption(Canvas& c) const {
  for (int y = 0; y < std::min(CaptionHeight(), c.height()); ++y)
    c.FillRect(0, y, c.width(), 1, CaptionRow(y));
}

// Columns x0.. from row y0 down carry the border, the outer column on the given side.
void Artist::PaintBorder(Canvas& c, int x0, bool outerOnLeft, int y0) const {
  for (int i = 0; i < kBorderWidth; ++i) {
    const Rgb col = kBorderColumns[outerOnLeft ? i : kBorderWidth - 1 - i];
    c.FillRect(x0 + Px(i), y0, Px(i + 1) - Px(i), c.height() - y0, col);
  }
}

Canvas Artist::BackCaption(int w, int h) const {
  Canvas c(w, h);
  PaintCaption(c);
  return c;
}

// The symbol sits at 16 pixels (at 96 DPI) in the middle of the shaded rows.
Canvas Artist::LeftCaption(int w, int h) const {
  Canvas c = BackCaption(w, h);
  const int side = Px(16);
  const int top = (CaptionHeight() - Hairline() - side) / 2;
  DrawAppSymbol(c, Px(4), top, side / 32.0, false);
  return c;
}

Canvas Artist::RightCaption(int w, int h) const {
  Canvas c(w, h, kToolbarEnd);
  PaintCaption(c);
  // The tab: its outline is the caption's hairline stepping down around the buttons.
  const double left = ButtonLeftAt(0, dpi_) - Exact(kTabMargin);
  const double right = ButtonLeftAt(2, dpi_) + ButtonSideAt(dpi_) + Exact(kTabMargin);
  const int line = Hairline();
  c.Fill(RoundRect(left, 0, right, h, Exact(kTabRadius)), kCaptionLine);
  c.Fill(RoundRect(left + line, 0, right - line, h - line, Exact(kTabRadius) - line),
         [this](int, int y) { return CaptionShade(y); });
  for (int y = 0; y < CaptionHeight() - line; ++y) c.FillRect(0, y, w, 1, CaptionRow(y));
  return c;
}

Canvas Artist::Border(int w, int h, bool outerOnLeft, int top) const {
  Canvas c(w, h);
  PaintBorder(c, 0, outerOnLeft, 0);
  // Rows over the caption band look like the band, so the border starts below it.
  for (int y = 0; y + top < CaptionHeight(); ++y) c.FillRect(0, y, w, 1, CaptionRow(y + top));
  return c;
}

Canvas Artist::ToolbarBack(int w, int h) const {
  Canvas c(w, h, kToolbarEnd);
  const int rampStart = Px(kToolbarRampStart);
  c.FillRect(0, 0, rampStart, h, kMenu);
  c.HorizontalGradient(rampStart, 0, Px(kToolbarRampEnd) - rampStart, h, kMenu, kToolbarEnd);
  c.FillRect(0, h - Hairline(), w, Hairline(), kBorder);
  return c;
}

// The sizing grip: dots in a triangle against the bottom-right corner, each a dark square
// with a light one below-right so the grip reads as raised.
void Artist::DrawGrip(Canvas& c, int right, int bottom) const {
  const int dot = Px(2), pitch = Px(4), shadow = Px(1);
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col <= row; ++col) {
      const int x = right - dot - pitch * col;
      const int y = bottom - dot - pitch * (2 - row);
      c.FillRect(x + shadow, y + shadow, dot, dot, kGripLight);
      c.FillRect(x, y, dot, dot, kGripDot);
    }
}

Canvas Artist::BottomBorder(int w, int h) const {
  Canvas c(w, h);
  const int line = Hairline();
  c.FillRect(0, 0, w, line, kBorder);
  c.VerticalGradient(0, line, w, h - 2 * line, kBarTop, kBarBottom);
  c.FillRect(0, h - line, w, line, kBorderColumns[0]);
  PaintBorder(c, 0, true, line);
  PaintBorder(c, w - Px(kBorderWidth), false, line);
  DrawGrip(c, w - Px(kBorderWidth) - Px(2), h - Px(3));
  return c;
}

Canvas Artist::Piece(const SkinPiece& p) const {
  const PixelSize size = SkinPieceSizeAt(p, dpi_);
  const int w = size.width, h = size.height;
  switch (p.id) {
    case SkinId::backcaption:
      return BackCaption(w, h);
    case SkinId::leftcaption:
      return LeftCaption(w, h);
    case SkinId::rightcaption:
      return RightCaption(w, h);
    case SkinId::toolbarback:
      return ToolbarBack(w, h);
    case SkinId::leftborder:
      return Border(w, h, true, CaptionHeight());
    case SkinId::rightborder:
      return Border(w, h, false, Px(kRightBorderTop));
    case SkinId::bottomborder:
      return BottomBorder(w, h);
  }
  return Canvas(w, h);
}

void Artist::ButtonFace(Canvas& c, ButtonState state) const {
  const int n = c.width(), line = Hairline();
  switch (state) {
    case ButtonState::normal:
      c.VerticalGradient(0, 0, n, n, kButtonTop, kButtonBottom);
      break;
    case ButtonState::hover:
      c.VerticalGradient(0, 0, n, n - line, kHoverTop, kHoverBottom);
      c.FillRect(0, n - line, n, line, kHoverEdge);
      break;
    case ButtonState::pressed:
      c.FillRect(0, 0, n, n, kPressedFace);
      c.FillRect(0, 0, n, line, kPressedTopEdge);
      c.FillRect(0, n - line, n, line, kPressedBottomEdge);
      break;
  }
}

// A glyph's extent in whole pixels of the same parity as the button's side, so the glyph
// sits exactly in the middle: the nearest such length, the shorter one on a tie.
int Artist::GlyphLength(double design) const {
  const int side = ButtonSideAt(dpi_);
  const double exact = Exact(design);
  int shorter = static_cast<int>(std::floor(exact));
  if ((side - shorter) % 2 != 0) --shorter;
  return exact - shorter <= shorter + 2 - exact ? shorter : shorter + 2;
}

// A window outline with a two-pixel title bar.
void Artist::WindowOutline(Canvas& c, int x, int y, int w, int h) const {
  const int line = Hairline();
  c.FillRect(x, y, w, Px(2), kGlyph);
  c.FillRect(x, y, line, h, kGlyph);
  c.FillRect(x + w - line, y, line, h, kGlyph);
  c.FillRect(x, y + h - line, w, line, kGlyph);
}

void Artist::DrawGlyph(Canvas& c, Glyph glyph, const Canvas& face) const {
  const int side = c.width();
  // The maximize outline; the minimize bar rests on its bottom edge.
  const int window = GlyphLength(9), windowAt = (side - window) / 2;
  switch (glyph) {
    case Glyph::minimize: {
      const int bar = GlyphLength(7);
      c.FillRect((side - bar) / 2, windowAt + window - Px(2), bar, Px(2), kGlyph);
      break;
    }
    case Glyph::maximize:
      WindowOutline(c, windowAt, windowAt, window, window);
      break;
    case Glyph::close: {
      const double mid = side / 2.0, reach = Exact(4), half = Exact(0.95);
      c.Fill(Union(Stroke(mid - reach, mid - reach, mid + reach, mid + reach, half),
                   Stroke(mid + reach, mid - reach, mid - reach, mid + reach, half)),
             kGlyph);
      break;
    }
    case Glyph::restore: {
      const int both = GlyphLength(11), at = (side - both) / 2;
      const int shift = Px(3), w = both - shift;
      WindowOutline(c, at + shift, at, w, w);
      // The front window hides what of the back one lies behind it.
      c.Paste(face.Crop(at, at + shift, w, w), at, at + shift);
      WindowOutline(c, at, at + shift, w, w);
      break;
    }
  }
}

Canvas Artist::Button(Glyph glyph, ButtonState state) const {
  const int side = ButtonSideAt(dpi_);
  Canvas face(side, side);
  ButtonFace(face, state);
  Canvas c = face;
  DrawGlyph(c, glyph, face);
  return c;
}

std::vector<uint8_t> PersistedButton(Glyph glyph, ButtonState state, int dpi) {
  return MakePersistedPicture(ButtonBmp(glyph, state, dpi));
}

// A length in pixels at `dpi` in HiMetric (hundredths of a millimetre), as extents are kept.
int32_t HiMetric(int pixels, int dpi) { return CInt32(pixels * 2540.0 / SaneDpi(dpi)); }

IconImage IconAt(int side) {
  IconImage image{Canvas(side, side), {}};
  DrawAppSymbol(image.pixels, 0, 0, side / 32.0, true);
  // The tile's rounded corners are cut by the mask, so its edge stays free of any
  // background blended in.
  const Shape tile = RoundRect(0, 0, side, side, 6 * side / 32.0);
  for (int y = 0; y < side; ++y)
    for (int x = 0; x < side; ++x) image.transparent.push_back(Canvas::Coverage(tile, x, y) < 8);
  return image;
}

const char* GlyphName(Glyph g) {
  switch (g) {
    case Glyph::minimize:
      return "minimize";
    case Glyph::maximize:
      return "maximize";
    case Glyph::close:
      return "close";
    case Glyph::restore:
      return "restore";
  }
  return "";
}

const char* StateName(ButtonState s) {
  switch (s) {
    case ButtonState::normal:
      return "normal";
    case ButtonState::hover:
      return "hover";
    case ButtonState::pressed:
      return "pressed";
  }
  return "";
}

}  // namespace

Canvas DrawPiece(SkinId id, int dpi) {
  const SkinPiece* p = PieceOf(id);
  return p ? Artist(dpi).Piece(*p) : Canvas(0, 0);
}

Canvas DrawButton(Glyph glyph, ButtonState state, int dpi) {
  return Artist(dpi).Button(glyph, state);
}

std::vector<uint8_t> ButtonBmp(Glyph glyph, ButtonState state, int dpi) {
  std::vector<uint8_t> bmp = DrawButton(glyph, state, dpi).Bmp24();
  // The stored button pictures are whole 32-bit words long (1196 bytes, not 1194, at 96
  // DPI): the file size says so, the pixel size still counts only the rows.
  bmp.resize((bmp.size() + 3) / 4 * 4, 0);
  WriteLe32(&bmp[2], static_cast<uint32_t>(bmp.size()));
  return bmp;
}

std::vector<uint8_t> AppIconFile() { return EncodeIco({IconAt(32), IconAt(16)}); }

Glyph ButtonGlyph(int n) {
  static constexpr Glyph kGlyphs[kButtonCount] = {Glyph::minimize, Glyph::maximize, Glyph::close,
                                                  Glyph::restore};
  return kGlyphs[(n >= 1 && n <= kButtonCount ? n : 1) - 1];
}

PropertyBag ButtonBag(int n, int dpi) {
  const Glyph g = ButtonGlyph(n);
  // 503 HiMetric is 19 pixels at 96 dpi; the host keeps the control's size beside the
  // control's own keys, and keeps every key in lower case.
  const int32_t extent = HiMetric(ButtonSideAt(dpi), dpi);
  PropertyBag bag;
  bag.WriteInt32("_extentx", extent);
  bag.WriteInt32("_extenty", extent);
  bag.WritePicture("backgroundpicture", PersistedButton(g, ButtonState::normal, dpi));
  bag.WritePicture("mousemovepicture", PersistedButton(g, ButtonState::hover, dpi));
  bag.WritePicture("mousedownpicture", PersistedButton(g, ButtonState::pressed, dpi));
  bag.WriteInt16("button", 1);
  bag.WriteString("text", "");
  // The host stores a zero colour as a 16-bit integer.
  bag.WriteInt16("fcolor", 0);
  bag.WriteBool("value", false);
  return bag;
}

std::vector<GeneratedFile> SkinFiles() {
  std::vector<GeneratedFile> files;
  for (const SkinPiece& p : kSkinPieces) files.push_back({p.file, DrawPiece(p.id).Bmp24()});
  files.push_back({"orvik.ico", AppIconFile()});
  for (int n = 1; n <= kButtonCount; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "button%d.bag", n);
    files.push_back({name, ButtonBag(n).Encode()});
  }
  for (Glyph g : {Glyph::minimize, Glyph::maximize, Glyph::close, Glyph::restore})
    for (ButtonState s : {ButtonState::normal, ButtonState::hover, ButtonState::pressed})
      files.push_back(
          {std::string("buttons/") + GlyphName(g) + "_" + StateName(s) + ".bmp", ButtonBmp(g, s)});
  return files;
}

}  // namespace orvik::skinart
