#include "panel/selection.h"

#include <cmath>
#include <utility>

#include "toolkit/units.h"

namespace orvik {

namespace {
bool HasArea(float x1, float y1, float x2, float y2) {
  return CInt32(std::fabs(x2 - x1) / TwipsPerPixel()) != 0 &&
         CInt32(std::fabs(y2 - y1) / TwipsPerPixel()) != 0;
}
}  // namespace

bool Selection::ReleaseAt(float x, float y) {
  if (x == x1 && y == y1) return false;
  DragTo(x, y);
  if (!HasArea(x1, y1, x2, y2)) return false;
  placing = true;
  return true;
}

bool Selection::IsClickAt(float x, float y, int32_t slopPixels) const {
  const double slop = slopPixels * TwipsPerPixel();
  return std::fabs(x - x1) <= slop && std::fabs(y - y1) <= slop;
}

void Selection::CentreOn(float x, float y) {
  const float dx = x - (x2 - x1) / 2 - x1;
  const float dy = y - (y2 - y1) / 2 - y1;
  x1 += dx;
  x2 += dx;
  y1 += dy;
  y2 += dy;
}

void Selection::Centre(int32_t* px, int32_t* py) const {
  *px = CInt32((x1 + x2) / 2 / TwipsPerPixel());
  *py = CInt32((y1 + y2) / 2 / TwipsPerPixel());
}

PixelRect Selection::Confinement(int32_t screenWidthPx, int32_t screenHeightPx) const {
  const double hw = std::fabs(x1 - x2) / 2 / TwipsPerPixel();
  const double hh = std::fabs(y1 - y2) / 2 / TwipsPerPixel();
  return PixelRect{CInt32(hw), CInt32(hh), CInt32(screenWidthPx - hw), CInt32(screenHeightPx - hh)};
}

void Selection::PixelSize(int32_t* width, int32_t* height) const {
  const float left = std::fmin(x1, x2) / TwipsPerPixel();
  const float right = std::fmax(x1, x2) / TwipsPerPixel();
  const float top = std::fmin(y1, y2) / TwipsPerPixel();
  const float bottom = std::fmax(y1, y2) / TwipsPerPixel();
  *width = CInt32(right - left);
  *height = CInt32(bottom - top);
}

std::optional<CaptureArea> Selection::Commit() {
  float a = x1, b = y1, c = x2, d = y2;
  if (c < a) std::swap(a, c);
  if (d < b) std::swap(b, d);
  a /= TwipsPerPixel();
  b /= TwipsPerPixel();
  c /= TwipsPerPixel();
  d /= TwipsPerPixel();
  CaptureArea area{CInt32(a), CInt32(b), CInt32(c - a), CInt32(d - b)};
  if (area.width <= 0 || area.height <= 0) return std::nullopt;
  placing = false;
  x1 = a;
  y1 = b;
  x2 = c;
  y2 = d;
  return area;
}

}  // namespace orvik
