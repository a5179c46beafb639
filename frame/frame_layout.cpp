#include "frame/frame_layout.h"

#include "toolkit/units.h"

namespace orvik {

namespace {
// Corner zones of the icon and the right caption end, and the bands of the bottom bar.
constexpr double kIconCorner = 90;
constexpr double kRightCorner = 120;
constexpr double kTopBand = 45;
constexpr double kBarZone = 100;

RegionBox Inset(double w, double h, int32_t top, int32_t side, int32_t bottom) {
  return RegionBox{side, top, CInt32(w / TwipsPerPixel() - side),
                   CInt32(h / TwipsPerPixel() - bottom)};
}
}  // namespace

FrameRegion FrameRegionFor(double outerWidth, double outerHeight, double clientHeight,
                           bool maximized) {
  const int32_t top = CInt32((outerHeight - clientHeight) / TwipsPerPixel() - ScaledPixels(3));
  const int32_t side = maximized ? 1 : ScaledPixels(4);
  const int32_t bottom = maximized ? 1 : ScaledPixels(3);
  FrameRegion region;
  region.rounded = Inset(outerWidth, outerHeight, top, side, bottom);
  region.square = Inset(outerWidth, outerHeight, top + ScaledPixels(10), side, bottom);
  region.ellipse = ScaledPixels(15);
  return region;
}

LayoutResult LayOut(const LayoutInput& in) {
  LayoutResult out;
  out.rightCaptionLeft = in.clientWidth - in.rightCaptionWidth - 30;
  out.rightBorderLeft = in.clientWidth - in.rightBorderWidth - TwipsPerPixel();
  out.bottomBarTop = in.clientHeight - in.bottomBarHeight;
  // Centred in the caption between the icon side and the title buttons, but a title too long
  // for that space ends where the buttons begin.
  out.titleLeft =
      (in.clientWidth - in.rightCaptionWidth + 2 * in.captionIconWidth - in.titleTextWidth) / 2;
  if (out.titleLeft + in.titleLabelWidth > out.rightCaptionLeft) {
    out.titleLeft = out.rightCaptionLeft - in.titleLabelWidth;
  }
  out.pictureWidth = out.rightBorderLeft - in.pictureLeft;
  out.pictureHeight = out.bottomBarTop - in.pictureTop;
  // One pixel inside the right client edge.
  out.gripLeft = in.clientWidth - kGripSpan - TwipsPerPixel();
  return out;
}

SizingCursor CaptionBandZone(double y, bool maximized) {
  if (maximized) return SizingCursor::Default;
  return y < kTopBand ? SizingCursor::SizeNS : SizingCursor::Default;
}

SizingCursor CaptionIconZone(double x, double y, bool maximized, SizingCursor current) {
  if (maximized) return current;
  return x < kIconCorner && y < kIconCorner ? SizingCursor::SizeNWSE : SizingCursor::Default;
}

SizingCursor RightCaptionZone(double x, double y, double width, bool maximized,
                              SizingCursor current) {
  if (maximized) return current;
  return x > width - kRightCorner && y < kRightCorner ? SizingCursor::SizeNESW
                                                      : SizingCursor::Default;
}

SizingCursor SideBorderZone(bool maximized) {
  return maximized ? SizingCursor::Default : SizingCursor::SizeWE;
}

SizingCursor BottomBarZone(double x, double y, double barHeight, double clientWidth,
                           bool maximized) {
  if (maximized) return SizingCursor::Default;
  const bool bottom = y > barHeight - kBarZone;
  const bool leftEnd = x < kBarZone;
  const bool rightEnd = x > clientWidth - kBarZone;
  if (leftEnd && bottom) return SizingCursor::SizeNESW;
  if (rightEnd && bottom) return SizingCursor::SizeNWSE;
  if (bottom) return SizingCursor::SizeNS;
  if (leftEnd || rightEnd) return SizingCursor::SizeWE;
  return SizingCursor::Default;
}

SysDrag CaptionBandPress(SizingCursor cursor, bool leftButton) {
  if (cursor == SizingCursor::Default) return kMoveByCaption;
  if (cursor == SizingCursor::SizeNS && leftButton) return kSizeTop;
  return kNoDrag;
}

SysDrag SideBorderPress(SizingCursor cursor, bool rightSide) {
  if (cursor == SizingCursor::Default) return kNoDrag;
  return rightSide ? kSizeRight : kSizeLeft;
}

SysDrag BottomBarPress(SizingCursor cursor, double x) {
  switch (cursor) {
    case SizingCursor::SizeNS:
      return kSizeBottom;
    case SizingCursor::SizeNESW:
      return kSizeBottomLeft;
    case SizingCursor::SizeNWSE:
      return kSizeBottomRight;
    case SizingCursor::SizeWE:
      return x >= kBarZone ? kSizeRight : kSizeLeft;
    default:
      return kNoDrag;
  }
}

bool ReleasedInside(int button, double x, double y, double width, double height) {
  return button == 1 && x > 0 && y > 0 && x < width && y < height;
}

PixelPoint IconMenuPoint(double frameLeft, double frameTop, double iconHeight) {
  return PixelPoint{CInt32((frameLeft + 45) / TwipsPerPixel()) + ScaledPixels(2),
                    CInt32((iconHeight + frameTop) / TwipsPerPixel()) + ScaledPixels(2)};
}

PixelPoint IconPointerMenuPoint(double frameLeft, double frameTop, double iconLeft, double iconTop,
                                double x, double y) {
  return PixelPoint{CInt32((iconLeft + frameLeft + x) / TwipsPerPixel()) + ScaledPixels(2),
                    CInt32((iconTop + frameTop + y) / TwipsPerPixel()) + ScaledPixels(2)};
}

uint32_t GradientColour(uint32_t base, double x) {
  const int32_t r = base & 0xFF, g = (base >> 8) & 0xFF, b = (base >> 16) & 0xFF;
  const int32_t dr = 201 - r, dg = 210 - g, db = 236 - b;
  // Single precision, as the band was always drawn; the ends come out exact either way.
  const float t = static_cast<float>((x - kGradientStart) / (kGradientStop - kGradientStart));
  auto channel = [t](int32_t from, int32_t delta) {
    return static_cast<uint32_t>(CInt32(static_cast<float>(from) + static_cast<float>(delta) * t));
  };
  return channel(r, dr) | channel(g, dg) << 8 | channel(b, db) << 16;
}

MaxGeometry FrameMaxGeometry(int32_t screenWidthTwips, int32_t screenHeightTwips,
                             int32_t taskbarHeight) {
  MaxGeometry m;
  m.sizeX = CInt32(screenWidthTwips / TwipsPerPixel() + 8);
  m.sizeY = CInt32(screenHeightTwips / TwipsPerPixel() - taskbarHeight + 8 + 1);
  m.minTrackX = ScaledPixels(400);
  m.minTrackY = ScaledPixels(300);
  return m;
}

}  // namespace orvik
