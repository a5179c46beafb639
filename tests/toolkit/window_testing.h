#pragma once
// Helpers for the toolkit's window tests: letting messages run for a while and reading
// what the screen really shows.
#include <windows.h>

#include <vector>

#include "support/ui_driver.h"
#include "toolkit/app.h"
#include "toolkit/screen.h"

namespace toolkit_testing {

using testsupport::PumpFor;
using testsupport::PumpUntil;

// The colour the screen shows at a screen pixel.
inline COLORREF ScreenPixel(int x, int y) {
  HDC dc = GetDC(nullptr);
  COLORREF c = GetPixel(dc, x, y);
  ReleaseDC(nullptr, dc);
  return c;
}

// The colour shown at a client pixel of a window. Wine copies painted window contents to
// the X screen asynchronously, so pending messages run for a moment first.
inline COLORREF ShownPixel(HWND hwnd, int x, int y) {
  PumpFor(30);
  POINT p{x, y};
  ClientToScreen(hwnd, &p);
  return ScreenPixel(p.x, p.y);
}

// GDI objects this process holds. Wine's GetGuiResources answers 0; there the count comes
// from filling the rest of the handle table with brushes: what does not fit is in use.
inline int GdiObjects() {
  const int counted = static_cast<int>(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS));
  if (counted > 0) return counted;
  constexpr int kTable = 70000;  // more than Wine's table holds
  std::vector<HBRUSH> probe;
  probe.reserve(kTable);
  while (static_cast<int>(probe.size()) < kTable) {
    HBRUSH b = CreateSolidBrush(RGB(1, 2, 3));
    if (!b) break;
    probe.push_back(b);
  }
  for (HBRUSH b : probe) DeleteObject(b);
  return kTable - static_cast<int>(probe.size());
}

}  // namespace toolkit_testing
