#include "recorder/capture/screen_capture.h"

namespace orvik {

void CaptureScreen(HDC surface, HDC screen, const CaptureArea& area) {
  if (!screen) return;
  BitBlt(surface, 0, 0, area.width, area.height, screen, area.x0, area.y0, SRCCOPY);
}

void CaptureFollowed(HDC surface, HDC screen, const FollowedCopy& copy, int width, int height) {
  // The surfaces are reused frame after frame: what the copy leaves is made black again.
  if (!copy.fillsFrame) PatBlt(surface, 0, 0, width, height, BLACKNESS);
  if (!screen || copy.source.width <= 0 || copy.source.height <= 0) return;
  BitBlt(surface, copy.destX, copy.destY, copy.source.width, copy.source.height, screen,
         copy.source.x0, copy.source.y0, SRCCOPY);
}

}  // namespace orvik
