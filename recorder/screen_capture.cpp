#include "recorder/screen_capture.h"

#include "toolkit/handles.h"

namespace orvik {

void CaptureScreen(HDC surface, HDC screen, const CaptureArea& area) {
  if (!screen) return;
  BitBlt(surface, 0, 0, area.width, area.height, screen, area.x0, area.y0, SRCCOPY);
}

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

}  // namespace orvik
