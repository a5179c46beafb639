#pragma once
// Rounding and unit conversions shared by every window. No <windows.h>: built natively too.
#include <cmath>
#include <cstdint>

namespace orvik {

constexpr int kTwipsPerPixel = 15;

// Nearest integer with halves going to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
inline double RoundHalfEven(double v) {
  const double f = std::floor(v);
  const double d = v - f;
  if (d > 0.5) return f + 1.0;
  if (d < 0.5) return f;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

inline int32_t CInt32(double v) { return static_cast<int32_t>(RoundHalfEven(v)); }

// Twips to whole pixels, rounded half to even.
inline int32_t TwipsToPixels(double twips) { return CInt32(twips / kTwipsPerPixel); }
inline double PixelsToTwips(double pixels) { return pixels * kTwipsPerPixel; }

}  // namespace orvik
