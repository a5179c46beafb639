#pragma once
// Taking one frame: the screen, a rectangle of it or a followed window's part copied into the
// frame surface.
#include <windows.h>

#include "recorder/capture/capture_area.h"
#include "recorder/capture/followed_area.h"

namespace orvik {

// A straight copy from the screen's DC: the clipboard, which holds the user's data, is not
// used.
void CaptureScreen(HDC surface, HDC screen, const CaptureArea& area);
// A followed window's frame of `width` x `height`: the part of it on the screen, black around.
void CaptureFollowed(HDC surface, HDC screen, const FollowedCopy& copy, int width, int height);

}  // namespace orvik
