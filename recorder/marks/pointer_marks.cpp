#include "recorder/marks/pointer_marks.h"

#include <cstring>

namespace orvik {

void CursorPainter::Draw(HDC surface, const CaptureArea& area) {
  CURSORINFO info{};
  info.cbSize = sizeof info;
  if (!GetCursorInfo(&info) || !(info.flags & CURSOR_SHOWING)) return;
  HCURSOR cursor = info.hCursor ? info.hCursor : LoadCursorW(nullptr, IDC_ARROW);
  if (cursor != cursor_) {
    ICONINFO icon{};
    if (!GetIconInfo(cursor, &icon)) {
      cursor = LoadCursorW(nullptr, IDC_ARROW);  // a cursor of another process we cannot read
      if (!GetIconInfo(cursor, &icon)) return;
    }
    tk::UniqueBitmap mask(icon.hbmMask), color(icon.hbmColor);
    cursor_ = cursor;
    hotSpot_ = POINT{static_cast<LONG>(icon.xHotspot), static_cast<LONG>(icon.yHotspot)};
  }
  DrawIconEx(surface, info.ptScreenPos.x - hotSpot_.x - area.x0,
             info.ptScreenPos.y - hotSpot_.y - area.y0, cursor_, 0, 0, 0, nullptr, DI_NORMAL);
}

bool RingPainter::Create(int dpi) {
  const RingSize size = RingSizeAt(dpi);
  if (size.side != size_.side) {  // made for another scaling: unselected before they go
    for (Ring* ring : {&left_, &right_}) {
      ring->selected.reset();
      ring->dc.reset();
      ring->bitmap.reset();
    }
  }
  size_ = size;
  return Make(&left_, RingColor(PressButton::Left)) && Make(&right_, RingColor(PressButton::Right));
}

bool RingPainter::Make(Ring* ring, uint32_t color) {
  if (ring->selected) return true;  // made for an earlier recording
  BITMAPINFO bmi{};
  bmi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bmi.bmiHeader.biWidth = size_.side;
  bmi.bmiHeader.biHeight = -size_.side;  // top-down, as the pixels are made
  bmi.bmiHeader.biPlanes = 1;
  bmi.bmiHeader.biBitCount = 32;
  bmi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  ring->bitmap.reset(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
  ring->dc.reset(CreateCompatibleDC(nullptr));
  if (!ring->bitmap || !bits || !ring->dc) return false;
  const std::vector<uint32_t> pixels = RingPixels(size_.side, size_.radius, size_.stroke, color);
  std::memcpy(bits, pixels.data(), pixels.size() * sizeof pixels[0]);
  ring->selected = std::make_unique<tk::SelectGuard>(ring->dc.get(), ring->bitmap.get());
  return true;
}

void RingPainter::Draw(HDC surface, const CaptureArea& area,
                       const std::vector<VisibleRing>& rings) const {
  const int side = size_.side, half = side / 2;
  for (const VisibleRing& ring : rings) {
    const int x = ring.x - area.x0 - half, y = ring.y - area.y0 - half;
    if (x >= area.width || y >= area.height || x + side <= 0 || y + side <= 0) continue;
    const Ring& picture = ring.button == PressButton::Left ? left_ : right_;
    if (!picture.dc) continue;
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(ring.opacity * 255.0f + 0.5f),
                              AC_SRC_ALPHA};
    AlphaBlend(surface, x, y, side, side, picture.dc.get(), 0, 0, side, side, blend);
  }
}

}  // namespace orvik
