#pragma once
// The size readout the overlay shows next to the pointer: what it says and where it goes so
// that it stays whole on the screen. Screen pixels throughout. No <windows.h>.
#include <cstdint>
#include <string>

#include "panel/selection.h"

namespace orvik {

// Gap between the pointer's hot spot and the readout box, clear of the cross cursor's arms (at
// 100%; the overlay passes it scaled to the DPI).
constexpr int32_t kReadoutGap = 16;

// "1280 x 720".
std::wstring SizeReadoutText(int32_t width, int32_t height);

// The readout box of `boxWidth` x `boxHeight` below and right of the pointer; flipped to the
// pointer's left or above it where it would leave the screen, and kept on the screen when it
// fits neither side.
PixelRect ReadoutBox(int32_t pointerX, int32_t pointerY, int32_t boxWidth, int32_t boxHeight,
                     int32_t screenWidth, int32_t screenHeight, int32_t gap = kReadoutGap);

}  // namespace orvik
