#pragma once
// What is drawn into a frame where the pointer is: the rings of the presses showing at the
// frame's moment, then the cursor over them, placed by its hot spot.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "recorder/capture/capture_area.h"
#include "recorder/marks/click_marks.h"
#include "toolkit/handles.h"

namespace orvik {

// Draws the cursor showing right now, placed by its hot spot; nothing when it is hidden.
// Keeps the hot spot of the last cursor it drew, which rarely changes between frames.
class CursorPainter {
 public:
  void Draw(HDC surface, const CaptureArea& area);

 private:
  HCURSOR cursor_ = nullptr;  // shared cursor handles: not owned
  POINT hotSpot_{};
};

// Draws the rings of the presses showing at a frame's moment, blended over the picture: under
// the cursor, which is drawn after them.
class RingPainter {
 public:
  // Makes the two rings' pictures for a screen of `dpi`; false when the system gave no room.
  bool Create(int dpi);
  void Draw(HDC surface, const CaptureArea& area, const std::vector<VisibleRing>& rings) const;

 private:
  struct Ring {
    tk::UniqueBitmap bitmap;
    tk::UniqueMemDc dc;
    std::unique_ptr<tk::SelectGuard> selected;
  };
  bool Make(Ring* ring, uint32_t color);
  RingSize size_;
  Ring left_, right_;
};

}  // namespace orvik
