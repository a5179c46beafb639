#pragma once
// Rounding and unit conversions shared by every window. No <windows.h>: built natively too.
//
// Forms and controls are measured in twips, 1440 to the logical inch. How many pixels that is
// follows the windows' DPI: 15 twips a pixel at 96 (100%), 12 at 120, 10 at 144, 7.5 at 192.
#include <cmath>
#include <cstdint>

namespace orvik {

inline constexpr int kDesignDpi = 96;  // the DPI the skin and every pixel size were drawn for
inline constexpr double kTwipsPerInch = 1440;

// Nearest integer with halves going to the even neighbour (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
inline double RoundHalfEven(double v) {
  const double f = std::floor(v);
  const double d = v - f;
  if (d > 0.5) return f + 1.0;
  if (d < 0.5) return f;
  return std::fmod(f, 2.0) == 0.0 ? f : f + 1.0;
}

inline int32_t CInt32(double v) { return static_cast<int32_t>(RoundHalfEven(v)); }

// A DPI the program can lay out at: anything below 96 or absurdly high is taken as 96.
inline int SaneDpi(int dpi) {
  return dpi >= kDesignDpi && dpi <= 8 * kDesignDpi ? dpi : kDesignDpi;
}

inline double TwipsPerPixelAt(int dpi) { return kTwipsPerInch / SaneDpi(dpi); }

// The DPI of the program's windows, set once the main window knows it (and again should it
// move to a monitor of another scaling); 96 until then.
int UiDpi();
void SetUiDpi(int dpi);
inline double TwipsPerPixel() { return TwipsPerPixelAt(UiDpi()); }

// Twips to whole pixels, rounded half to even.
inline int32_t TwipsToPixelsAt(double twips, int dpi) {
  return CInt32(twips / TwipsPerPixelAt(dpi));
}
inline int32_t TwipsToPixels(double twips) { return TwipsToPixelsAt(twips, UiDpi()); }
inline double PixelsToTwips(double pixels) { return pixels * TwipsPerPixel(); }

// A length drawn as `designPixels` at 100%, in whole pixels at `dpi` (halves to even): the same
// number the twips of that length give at that DPI.
inline int32_t ScaledPixelsAt(double designPixels, int dpi) {
  return CInt32(designPixels * SaneDpi(dpi) / kDesignDpi);
}
inline int32_t ScaledPixels(double designPixels) { return ScaledPixelsAt(designPixels, UiDpi()); }

}  // namespace orvik
