#pragma once
// Taking one frame: the screen (or a rectangle of it) copied into the frame surface and the
// cursor painted in at its hot spot.
#include <windows.h>

#include <cstdint>

#include "recorder/capture_area.h"

namespace orvik {

// A straight copy from the screen's DC: the clipboard, which holds the user's data, is not
// used.
void CaptureScreen(HDC surface, HDC screen, const CaptureArea& area);

// Draws the cursor showing right now, placed by its hot spot; nothing when it is hidden.
// Keeps the hot spot of the last cursor it drew, which rarely changes between frames.
class CursorPainter {
 public:
  void Draw(HDC surface, const CaptureArea& area);

 private:
  HCURSOR cursor_ = nullptr;  // shared cursor handles: not owned
  POINT hotSpot_{};
};

}  // namespace orvik
