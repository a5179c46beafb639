#pragma once
// The thin frame drawn on the screen around an area being recorded, so the user sees what goes
// into the recording. It lies wholly outside the area, so the capture never sees it; it takes
// neither the focus nor a click, and belongs to no window (the frame window is minimized while
// recording, and an owned window would go with it).
#include <windows.h>

#include <optional>

#include "recorder/capture/capture_area.h"
#include "toolkit/form.h"
#include "toolkit/units.h"

namespace orvik {

// Screen pixels at 100%: a band kAreaBorderWidth wide, kAreaBorderGap outside the area's edge;
// both grow with the windows' DPI (AreaBorderPixels).
constexpr int kAreaBorderGap = 1;
constexpr int kAreaBorderWidth = 3;
// A strong red the skin never uses; while paused, every other dash is dark grey.
constexpr COLORREF kAreaBorderColor = RGB(230, 40, 40);
constexpr COLORREF kAreaBorderPausedColor = RGB(64, 64, 64);
constexpr int kAreaBorderDash = 6;
// One of the sizes above at the windows' DPI.
inline int AreaBorderPixels(int designPixels) { return ScaledPixels(designPixels); }

class AreaBorder : public tk::Form {
 public:
  AreaBorder();

  // Shows the border, solid, around `area` (screen pixels), without activating it.
  void ShowAround(const CaptureArea& area);
  // Moves the border shown to `area` of the same size (a followed window moved); nothing when
  // it is there already.
  void MoveAround(const CaptureArea& area);
  // Dashed while the recording is paused, solid again when it goes on.
  void SetDashed(bool dashed);
  // Takes the border off the screen (its window goes); nothing happens when none is shown.
  void Remove() { Unload(); }

 protected:
  std::optional<LRESULT> Form_Message(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void CutOutArea(int width, int height);
  void ExcludeFromCapture();
  void PaintBand(HDC dc);

  bool dashed_ = false;
  CaptureArea around_;
};

}  // namespace orvik
