#pragma once
// The part of the screen a recording takes, in screen pixels. No <windows.h>.
#include <cstdint>

namespace orvik {

struct CaptureArea {
  int32_t x0 = 0, y0 = 0, width = 0, height = 0;
};

}  // namespace orvik
