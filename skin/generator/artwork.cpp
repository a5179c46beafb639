#include "skin/generator/artwork.h"

#include <algorithm>
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
constexpr double kTabLeft = 28.5, kTabRight = 94.5, kTabRadius = 3.5;

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

const SkinPiece& PieceOf(SkinId id) {
  for (const SkinPiece& p : kSkinPieces)
    if (p.id == id) return p;
  return kSkinPieces[0];
}

Rgb CaptionShade(double y) {
  return Mix(kCaptionTop, kCaptionBottom, std::clamp(y / (kCaptionHeight - 2), 0.0, 1.0));
}

Rgb CaptionRow(int y) { return y >= kCaptionHeight - 1 ? kCaptionLine : CaptionShade(y); }

void PaintCaption(Canvas& c) {
  for (int y = 0; y < std::min(kCaptionHeight, c.height()); ++y)
    c.FillRect(0, y, c.width(), 1, CaptionRow(y));
}

// Columns x0.. from row y0 down carry the border, the outer column on the given side.
void PaintBorder(Canvas& c, int x0, bool outerOnLeft, int y0 = 0) {
  for (int i = 0; i < kBorderWidth; ++i) {
    const Rgb col = kBorderColumns[outerOnLeft ? i : kBorderWidth - 1 - i];
    c.FillRect(x0 + i, y0, 1, c.height() - y0, col);
  }
}

// Edges lie on even design units, so the symbol stays crisp at 32 and at 16 pixels.
void DrawAppSymbol(Canvas& c, double ox, double oy, double scale, bool hardTile) {
  auto at = [&](double v, double o) { return o + v * scale; };
  auto tileColour = [&](int, int y) {
    return Mix(kTileTop, kTileBottom, std::clamp((y + 0.5 - oy) / (32 * scale), 0.0, 1.0));
  };
  if (hardTile)
    c.Fill([](double, double) { return true; }, tileColour);
  else
    c.Fill(RoundRect(at(0, ox), at(0, oy), at(32, ox), at(32, oy), 6 * scale), tileColour);
  c.Fill(RoundRect(at(4, ox), at(6, oy), at(28, ox), at(22, oy), 2 * scale), kScreen);
  c.Fill(RoundRect(at(10, ox), at(24, oy), at(22, ox), at(26, oy), 1 * scale), kScreen);
  c.Fill(Circle(at(16, ox), at(14, oy), 4.5 * scale), kRecord);
}

Canvas BackCaption(int w, int h) {
  Canvas c(w, h);
  PaintCaption(c);
  return c;
}

Canvas LeftCaption(int w, int h) {
  Canvas c = BackCaption(w, h);
  DrawAppSymbol(c, 4, 3, 0.5, false);
  return c;
}

Canvas RightCaption(int w, int h) {
  Canvas c(w, h, kToolbarEnd);
  PaintCaption(c);
  // The tab: its outline is the caption's hairline stepping down around the buttons.
  c.Fill(RoundRect(kTabLeft, 0, kTabRight, h, kTabRadius), kCaptionLine);
  c.Fill(RoundRect(kTabLeft + 1, 0, kTabRight - 1, h - 1, kTabRadius - 1),
         [](int, int y) { return CaptionShade(y); });
  for (int y = 0; y < kCaptionHeight - 1; ++y) c.FillRect(0, y, w, 1, CaptionRow(y));
  return c;
}

Canvas Border(int w, int h, bool outerOnLeft, int top) {
  Canvas c(w, h);
  PaintBorder(c, 0, outerOnLeft);
  // Rows over the caption band look like the band, so the border starts below it.
  for (int y = 0; y + top < kCaptionHeight; ++y) c.FillRect(0, y, w, 1, CaptionRow(y + top));
  return c;
}

Canvas ToolbarBack(int w, int h) {
  Canvas c(w, h, kToolbarEnd);
  c.FillRect(0, 0, kToolbarRampStart, h, kMenu);
  c.HorizontalGradient(kToolbarRampStart, 0, kToolbarRampEnd - kToolbarRampStart, h, kMenu,
                       kToolbarEnd);
  c.FillRect(0, h - 1, w, 1, kBorder);
  return c;
}

// The sizing grip: dots in a triangle against the bottom-right corner, each a dark pixel
// pair with a light one below-right so the grip reads as raised.
void DrawGrip(Canvas& c, int right, int bottom) {
  for (int row = 0; row < 3; ++row)
    for (int col = 0; col <= row; ++col) {
      const int x = right - 1 - 4 * col - 1;
      const int y = bottom - 1 - 4 * (2 - row) - 1;
      c.FillRect(x + 1, y + 1, 2, 2, kGripLight);
      c.FillRect(x, y, 2, 2, kGripDot);
    }
}

Canvas BottomBorder(int w, int h) {
  Canvas c(w, h);
  c.FillRect(0, 0, w, 1, kBorder);
  c.VerticalGradient(0, 1, w, h - 2, kBarTop, kBarBottom);
  c.FillRect(0, h - 1, w, 1, kBorderColumns[0]);
  PaintBorder(c, 0, true, 1);
  PaintBorder(c, w - kBorderWidth, false, 1);
  DrawGrip(c, w - kBorderWidth - 2, h - 3);
  return c;
}

void ButtonFace(Canvas& c, ButtonState state) {
  const int n = kButtonSide;
  switch (state) {
    case ButtonState::normal:
      c.VerticalGradient(0, 0, n, n, kButtonTop, kButtonBottom);
      break;
    case ButtonState::hover:
      c.VerticalGradient(0, 0, n, n - 1, kHoverTop, kHoverBottom);
      c.FillRect(0, n - 1, n, 1, kHoverEdge);
      break;
    case ButtonState::pressed:
      c.FillRect(0, 0, n, n, kPressedFace);
      c.FillRect(0, 0, n, 1, kPressedTopEdge);
      c.FillRect(0, n - 1, n, 1, kPressedBottomEdge);
      break;
  }
}

// A window outline with a two-pixel title bar.
void WindowOutline(Canvas& c, int x, int y, int w, int h) {
  c.FillRect(x, y, w, 2, kGlyph);
  c.FillRect(x, y, 1, h, kGlyph);
  c.FillRect(x + w - 1, y, 1, h, kGlyph);
  c.FillRect(x, y + h - 1, w, 1, kGlyph);
}

void DrawGlyph(Canvas& c, Glyph glyph, const Canvas& face) {
  switch (glyph) {
    case Glyph::minimize:
      c.FillRect(6, 12, 7, 2, kGlyph);
      break;
    case Glyph::maximize:
      WindowOutline(c, 5, 5, 9, 9);
      break;
    case Glyph::close:
      c.Fill(Union(Stroke(5.5, 5.5, 13.5, 13.5, 0.95), Stroke(13.5, 5.5, 5.5, 13.5, 0.95)), kGlyph);
      break;
    case Glyph::restore:
      WindowOutline(c, 7, 4, 8, 8);
      // The front window hides what of the back one lies behind it.
      c.Paste(face.Crop(4, 7, 8, 8), 4, 7);
      WindowOutline(c, 4, 7, 8, 8);
      break;
  }
}

std::vector<uint8_t> PersistedButton(Glyph glyph, ButtonState state) {
  return MakePersistedPicture(ButtonBmp(glyph, state));
}

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

Canvas DrawPiece(SkinId id) {
  const SkinPiece& p = PieceOf(id);
  switch (id) {
    case SkinId::backcaption:
      return BackCaption(p.width, p.height);
    case SkinId::leftcaption:
      return LeftCaption(p.width, p.height);
    case SkinId::rightcaption:
      return RightCaption(p.width, p.height);
    case SkinId::toolbarback:
      return ToolbarBack(p.width, p.height);
    case SkinId::leftborder:
      return Border(p.width, p.height, true, kCaptionHeight);
    case SkinId::rightborder:
      return Border(p.width, p.height, false, kRightBorderTop);
    case SkinId::bottomborder:
      return BottomBorder(p.width, p.height);
  }
  return Canvas(p.width, p.height);
}

Canvas DrawButton(Glyph glyph, ButtonState state) {
  Canvas face(kButtonSide, kButtonSide);
  ButtonFace(face, state);
  Canvas c = face;
  DrawGlyph(c, glyph, face);
  return c;
}

std::vector<uint8_t> ButtonBmp(Glyph glyph, ButtonState state) {
  std::vector<uint8_t> bmp = DrawButton(glyph, state).Bmp24();
  // The stored button pictures are whole 32-bit words long (1196 bytes, not 1194): the
  // file size says so, the pixel size still counts only the rows.
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

PropertyBag ButtonBag(int n) {
  const Glyph g = ButtonGlyph(n);
  // 503 HiMetric is 19 pixels at 96 dpi; the host keeps the control's size beside the
  // control's own keys, and keeps every key in lower case.
  PropertyBag bag;
  bag.WriteInt32("_extentx", 503);
  bag.WriteInt32("_extenty", 503);
  bag.WritePicture("backgroundpicture", PersistedButton(g, ButtonState::normal));
  bag.WritePicture("mousemovepicture", PersistedButton(g, ButtonState::hover));
  bag.WritePicture("mousedownpicture", PersistedButton(g, ButtonState::pressed));
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
