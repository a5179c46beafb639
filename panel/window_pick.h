#pragma once
// The top-level windows the area overlay offers to pick with a click: taken with the screen's
// image, so what is outlined is what the frozen image shows.
#include <windows.h>

#include <vector>

#include "panel/selection.h"

namespace orvik {

struct PickableWindow {
  HWND window = nullptr;  // another program's: not owned
  PixelRect frame;        // its visible frame, clipped to the screen
};

// Other programs' windows showing on the screen, topmost first.
std::vector<PickableWindow> PickableWindows(int screenWidth, int screenHeight);

// The topmost of `windows` whose frame holds (x, y); null when none does.
const PickableWindow* WindowAt(const std::vector<PickableWindow>& windows, int x, int y);

}  // namespace orvik
