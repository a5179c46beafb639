#pragma once
// A frame of the screen's size to draw a recording's marks into, as a tick does: the clicks' rings
// and the keys' caption are timed alone in one.
#include <windows.h>

#include <memory>

#include "recorder/capture/capture_area.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace capture_bench {

// A 32-bit frame of the screen's size selected into a memory DC, as a tick draws into.
struct ScreenFrame {
  ScreenFrame() {
    BITMAPINFO bmi{};
    bmi.bmiHeader = {
        sizeof(BITMAPINFOHEADER), area.width, area.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    bitmap.reset(CreateDIBSection(nullptr, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0));
    dc.reset(CreateCompatibleDC(nullptr));
    if (bitmap && dc) selected = std::make_unique<tk::SelectGuard>(dc.get(), bitmap.get());
  }
  const orvik::CaptureArea area{0, 0, tk::ScreenWidthPixels(), tk::ScreenHeightPixels()};
  tk::UniqueBitmap bitmap;
  tk::UniqueMemDc dc;
  std::unique_ptr<tk::SelectGuard> selected;
};

// How many frames a mark alone is drawn into to time it.
constexpr int kRingFrames = 2000;

}  // namespace capture_bench
