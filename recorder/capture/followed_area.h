#pragma once
// Where a recording that follows a window takes each frame from: the frame keeps the size it had
// at the start and goes where the window is now. No <windows.h>.
#include <cstdint>

#include "recorder/capture/capture_area.h"

namespace orvik {

// Screen pixels, right and bottom exclusive.
struct ScreenRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
};

enum class FollowedWindowState {
  Shown,
  Hidden,  // minimized or hidden: nothing of it on the screen to take
  Closed,
};

// The frame as it was picked: its size, and where its top-left lay from the window's top-left
// (not 0 when the window reached past the screen's left or top edge then).
struct FollowedFrame {
  int32_t offsetX = 0, offsetY = 0, width = 0, height = 0;
};

// What one tick does.
struct FollowedCopy {
  enum class Kind { Copy, Hold, End };
  Kind kind = Kind::Copy;
  // The frame's place on the screen now (what the cursor and the rings are drawn against).
  CaptureArea frame;
  // The part of the screen copied, and where it goes in the frame; empty when none of the
  // frame is on the screen.
  CaptureArea source;
  int32_t destX = 0, destY = 0;
  // Whether the copy fills the whole frame; if not, the rest is black.
  bool fillsFrame = false;
};

// Hold: the window is hidden or minimized (the last picture stays); End: it is closed (the last
// picture stays to the end).
FollowedCopy FollowedCopyAt(const FollowedFrame& picked, FollowedWindowState state,
                            const ScreenRect& window, const ScreenRect& screen);

// The frame of a window whose visible frame is `window` when picked: the part on the screen.
FollowedFrame FollowedFrameAtPick(const ScreenRect& window, const ScreenRect& screen);

}  // namespace orvik
