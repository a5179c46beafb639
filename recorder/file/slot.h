#pragma once
// A recording's time slots: slot i holds the picture for recording time i / frames per second.
// No <windows.h>.
#include <cstdint>

namespace orvik {

using Slot = uint32_t;

}  // namespace orvik
