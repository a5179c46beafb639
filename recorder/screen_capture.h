#pragma once
// Taking one frame: the screen (or a rectangle of it) copied into the frame surface, the
// cursor painted in at its hot spot, and the pixels made opaque.
#include <windows.h>

#include <cstdint>

#include "recorder/capture_area.h"
#include "toolkit/picturebox.h"

namespace orvik {

// A straight copy from the screen: the clipboard, which holds the user's data, is not used.
void CaptureScreen(HDC surface, const CaptureArea& area);

// Draws the cursor showing right now, placed by its hot spot; nothing when it is hidden.
// Keeps the hot spot of the last cursor it drew, which rarely changes between frames.
class CursorPainter {
 public:
  void Draw(HDC surface, const CaptureArea& area);

 private:
  HCURSOR cursor_ = nullptr;  // shared cursor handles: not owned
  POINT hotSpot_{};
};

// GDI leaves the fourth byte of 32-bit pixels at 0, which decoders read as a fully
// transparent alpha channel; every frame is made opaque before it is written.
void MakeOpaque(const tk::LayerPixels& layer);

}  // namespace orvik
