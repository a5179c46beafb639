#pragma once
// Geometry of the area-selection overlay: corners in twips as the mouse reports them, the
// committed capture rectangle in screen pixels. No <windows.h>.
#include <cstdint>
#include <optional>

#include "recorder/capture/capture_area.h"

namespace orvik {

struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

struct Selection {
  float x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // twips until committed
  bool placing = false;

  void Reset() { *this = Selection(); }
  // Left press while not placing: the first corner.
  void BeginAt(float x, float y) {
    x1 = x;
    y1 = y;
  }
  // Drag with the left button: the opposite corner.
  void DragTo(float x, float y) {
    x2 = x;
    y2 = y;
  }
  // Release of the left button at (x, y): starts placing when the rectangle has a size in both
  // directions (a click, or a line of zero width or height, places nothing). True if it did.
  bool ReleaseAt(float x, float y);
  // Whether a release at (x, y) lies within `slopPixels` of the press: a click, which picks the
  // window under it rather than drawing a rectangle.
  bool IsClickAt(float x, float y, int32_t slopPixels) const;
  // Placing: the rectangle keeps its size and is centred on the pointer.
  void CentreOn(float x, float y);
  // The pointer position (pixels) at the rectangle's centre.
  void Centre(int32_t* px, int32_t* py) const;
  // Where the pointer may go so that the rectangle centred on it stays on the screen.
  PixelRect Confinement(int32_t screenWidthPx, int32_t screenHeightPx) const;
  // The rectangle's width and height in pixels, as Commit would make them.
  void PixelSize(int32_t* width, int32_t* height) const;
  // Left press while placing: ordered corners converted to pixels. Empty (and nothing changes)
  // when the rectangle would have no width or height.
  std::optional<CaptureArea> Commit();
};

}  // namespace orvik
