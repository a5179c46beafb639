#pragma once
// The screen, the clocks and the clipboard as the program uses them.
#include <windows.h>

#include <cstdint>
#include <optional>

#include "toolkit/picture.h"

namespace tk {

// The DPI windows are laid out at: a window's own (its monitor's, for a per-monitor aware
// program), the system's where the system cannot say; 96 where neither can.
int WindowDpi(HWND hwnd);
int SystemDpi();
// GetSystemMetrics at a DPI, where the system has the call; the plain metric otherwise.
int SystemMetricAt(int index, int dpi);

// Primary screen size in pixels and in twips (pixels x twips a pixel at the windows' DPI).
int32_t ScreenWidthPixels();
int32_t ScreenHeightPixels();
int32_t ScreenWidthTwips();
int32_t ScreenHeightTwips();

// Seconds since local midnight with a fraction, in single precision.
float SecondsSinceMidnight();
// Seconds on a monotonic clock (QueryPerformanceCounter), for measuring spans.
double MonotonicSeconds();

// A copy of the clipboard's bitmap (CF_BITMAP), or nullopt when it holds none or cannot
// be opened.
std::optional<Picture> ClipboardPicture();
// Puts a copy of `picture` on the clipboard as CF_BITMAP; false when it could not.
bool SetClipboardPicture(const Picture& picture);

}  // namespace tk
