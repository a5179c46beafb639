#include "panel/size_readout.h"

namespace orvik {

namespace {
// The start of a box of `size` along one axis of `extent` pixels, for a pointer at `at`.
int32_t Place(int32_t at, int32_t size, int32_t extent, int32_t gap) {
  const int32_t after = at + gap;
  if (after + size <= extent) return after;
  const int32_t before = at - gap - size;
  if (before >= 0) return before;
  return extent - size > 0 ? extent - size : 0;
}
}  // namespace

std::wstring SizeReadoutText(int32_t width, int32_t height) {
  return std::to_wstring(width) + L" x " + std::to_wstring(height);
}

PixelRect ReadoutBox(int32_t pointerX, int32_t pointerY, int32_t boxWidth, int32_t boxHeight,
                     int32_t screenWidth, int32_t screenHeight, int32_t gap) {
  const int32_t left = Place(pointerX, boxWidth, screenWidth, gap);
  const int32_t top = Place(pointerY, boxHeight, screenHeight, gap);
  return PixelRect{left, top, left + boxWidth, top + boxHeight};
}

}  // namespace orvik
