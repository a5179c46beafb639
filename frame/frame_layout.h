#pragma once
// The frame window's geometry without a window: where the skin pieces go on a resize, the
// window region, the sizing zones of each piece, the toolbar gradient and the maximized
// placement. Form1 feeds it what it reads from its windows; everything here is plain numbers,
// so the native build tests it under the sanitizers.
#include <cstdint>

namespace orvik {

// Twips per pixel is fixed; these are the skin's design sizes in twips.
inline constexpr double kCaptionIconWidth = 345;    // `leftcaption`
inline constexpr double kRightCaptionWidth = 1515;  // `rightcaption`
inline constexpr double kBorderWidth = 60;          // `leftborder`, `rightborder`
inline constexpr double kBottomBarHeight = 390;     // `bottomborder`
inline constexpr double kGripSpan = 1000;           // right end of `bottomborder`'s picture

// What a skin piece shows under the pointer; also what its next press does.
enum class SizingCursor { Default, SizeNS, SizeWE, SizeNWSE, SizeNESW };

// WM_SYSCOMMAND values that start the system's own move and size loops.
enum SysDrag : uint32_t {
  kNoDrag = 0,
  kSizeLeft = 0xF001,
  kSizeRight = 0xF002,
  kSizeTop = 0xF003,
  kSizeTopLeft = 0xF004,
  kSizeTopRight = 0xF005,
  kSizeBottom = 0xF006,
  kSizeBottomLeft = 0xF007,
  kSizeBottomRight = 0xF008,
  kMoveByCaption = 0xF012,
};

struct RegionBox {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

// The window region: a rounded rectangle (rounded top corners) united with a plain one that
// starts below the rounding, so the bottom corners stay square. Pixels relative to the
// window's outer top-left corner.
struct FrameRegion {
  RegionBox rounded;
  RegionBox square;
  int32_t ellipse = 15;  // width and height of the corner ellipse
};

// outerWidth/outerHeight: the window's outer size, clientHeight: its client height, all in
// twips. Insets are 4, 4, 3 pixels (left, right, bottom) normally and 1, 1, 1 maximized; the
// top is one pixel below the client area's top edge.
FrameRegion FrameRegionFor(double outerWidth, double outerHeight, double clientHeight,
                           bool maximized);

// Inputs of the resize rule, in twips.
struct LayoutInput {
  double clientWidth = 0;
  double clientHeight = 0;
  double rightCaptionWidth = kRightCaptionWidth;
  double rightBorderWidth = kBorderWidth;
  double bottomBarHeight = kBottomBarHeight;
  double captionIconWidth = kCaptionIconWidth;
  double titleTextWidth = 0;  // the title measured in the frame window's font
  double titleLabelWidth = 0;
  double pictureLeft = 0;  // `Picture1`'s position, which the rule keeps
  double pictureTop = 0;
};

// Where the resize rule puts the pieces, in twips.
struct LayoutResult {
  double rightCaptionLeft = 0;
  double rightBorderLeft = 0;
  double bottomBarTop = 0;
  double titleLeft = 0;
  double pictureWidth = 0;  // `Picture1`'s size when no recording runs
  double pictureHeight = 0;
  double gripLeft = 0;  // where the grip's 1000 twips are copied onto the bottom bar
};

LayoutResult LayOut(const LayoutInput& in);

// Sizing zones, pointer in twips relative to the piece. `maximized` windows show the arrow on
// the caption band and the borders. The caption icon and the right caption end keep their
// cursor when maximized (their move handlers do nothing then), so they take `current`.
SizingCursor CaptionBandZone(double y, bool maximized);
SizingCursor CaptionIconZone(double x, double y, bool maximized, SizingCursor current);
SizingCursor RightCaptionZone(double x, double y, double width, bool maximized,
                              SizingCursor current);
SizingCursor SideBorderZone(bool maximized);
// barHeight: the bottom bar's inner height; clientWidth: the frame's client width.
SizingCursor BottomBarZone(double x, double y, double barHeight, double clientWidth,
                           bool maximized);

// The command a left press starts on each piece, given the cursor it shows; kNoDrag for none.
SysDrag CaptionBandPress(SizingCursor cursor, bool leftButton);
SysDrag SideBorderPress(SizingCursor cursor, bool rightSide);
SysDrag BottomBarPress(SizingCursor cursor, double x);

// A title button acts on a left release strictly inside it.
bool ReleasedInside(int button, double x, double y, double width, double height);

// Screen pixel where the caption icon's click opens the window menu: just below the icon.
// frameLeft/frameTop are the window's outer position, iconHeight the icon's, in twips.
struct PixelPoint {
  int32_t x = 0, y = 0;
};
PixelPoint IconMenuPoint(double frameLeft, double frameTop, double iconHeight);
// Where a right release over the icon opens it: next to the pointer (x, y in the icon).
PixelPoint IconPointerMenuPoint(double frameLeft, double frameTop, double iconLeft, double iconTop,
                                double x, double y);

// The toolbar band's colour at x twips: from `base` (a COLORREF, 0x00BBGGRR) at 600 twips to
// RGB(201, 210, 236) at 5000 twips.
inline constexpr uint32_t kGradientEnd = 0xECD2C9;  // RGB(201, 210, 236)
inline constexpr uint32_t kToolbarEdge = 0xD1996B;  // RGB(107, 153, 209)
inline constexpr double kGradientStart = 600;
inline constexpr double kGradientStop = 5000;
uint32_t GradientColour(uint32_t base, double x);

// The maximized placement and the smallest size the frame may be dragged to, in pixels.
struct MaxGeometry {
  int32_t positionX = -4, positionY = -4;
  int32_t sizeX = 0, sizeY = 0;
  int32_t minTrackX = 400, minTrackY = 300;
};
// Screen size in twips; taskbarHeight in pixels (0 when there is none).
MaxGeometry FrameMaxGeometry(int32_t screenWidthTwips, int32_t screenHeightTwips,
                             int32_t taskbarHeight);

}  // namespace orvik
