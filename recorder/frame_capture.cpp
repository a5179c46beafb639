// One capture tick: copy the screen (or the selected area) into the frame surface, paint the
// cursor, save the frame as the temporary bitmap and hand it to the writer.
#include <climits>

#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "recorder/avidecs.h"
#include "recorder/recording_text.h"
#include "toolkit/app.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace orvik {

namespace {
std::wstring DecimalSeparator() {
  wchar_t sep[8] = L".";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
  return sep;
}

// Until the next slot begins every tick would find its slot taken: the timer rests until
// about a millisecond before it, which spares the GUI thread hundreds of idle wake-ups.
void RestUntilNextSlot(tk::Timer& timer, const RecordingClock& clock, int64_t slot) {
  const double next = static_cast<double>(slot + 1) * RecordingClock::kSlotSeconds;
  const double left = next - clock.Elapsed(tk::MonotonicSeconds());
  if (left > 0.003) timer.DelayNextTick(static_cast<uint32_t>(left * 1000) - 1);
}

// Clears a flag when the tick ends, however it ends.
class TickGuard {
 public:
  explicit TickGuard(bool& flag) : flag_(flag) { flag_ = true; }
  ~TickGuard() { flag_ = false; }
  TickGuard(const TickGuard&) = delete;
  TickGuard& operator=(const TickGuard&) = delete;

 private:
  bool& flag_;
};
// GDI leaves the fourth byte of 32-bit pixels at 0, which decoders read as a fully
// transparent alpha channel; every frame is made opaque before it is saved.
void MakeOpaque(const tk::LayerPixels& layer) {
  for (int y = 0; y < layer.height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(layer.bits + static_cast<size_t>(y) * layer.stride);
    for (int x = 0; x < layer.width; ++x) row[x] |= 0xFF000000u;
  }
}
}  // namespace

void Form1::Timer1_Timer() { CaptureTick(true); }
void Form1::Timer2_Timer() { CaptureTick(false); }

void Form1::CaptureTick(bool fullScreen) {
  if (inTick_) return;  // pending messages run at the end of a tick: never nest ticks
  TickGuard guard(inTick_);
  const int64_t slot = clock_.ClaimSlot(tk::MonotonicSeconds());
  if (slot < 0 || slot > INT32_MAX) return;  // this slot already has its frame

  const int32_t left = fullScreen ? 0 : x0;
  const int32_t top = fullScreen ? 0 : y0;
  CaptureScreen(left, top);
  if (form2().recordcursor->Checked()) DrawCursor(left, top);
  MakeOpaque(Picture1.Pixels());
  Picture1.SaveLayerAsBmp(TempBitmapPath());
  AVIDecs::AviWriteFrame(static_cast<int32_t>(slot), TempBitmapPath());
  if (!AVIDecs::AviWriterIsOpen()) {
    OnWriterClosedItself();
    return;
  }
  if (framecount < INT32_MAX) ++framecount;
  if (fullScreen) {
    static const std::wstring separator = DecimalSeparator();
    const float seconds = tk::SecondsSinceMidnight() - static_cast<float>(starttime);
    SetCaption(ProgressCaption(framecount, seconds, separator));
  }
  RestUntilNextSlot(fullScreen ? Timer1 : Timer2, clock_, slot);
  tk::DoEvents();
}

// A straight copy from the screen: the clipboard, which holds the user's data, is not used.
void Form1::CaptureScreen(int32_t left, int32_t top) {
  tk::WindowDc screen(nullptr);
  if (!screen) return;
  BitBlt(Picture1.hDC(), 0, 0, aviwidth, aviheight, screen.get(), left, top, SRCCOPY);
}

// The cursor showing right now, placed by its hot spot; nothing when it is hidden.
void Form1::DrawCursor(int32_t left, int32_t top) {
  CURSORINFO info{};
  info.cbSize = sizeof info;
  if (!GetCursorInfo(&info)) return;
  cursorpos = info.ptScreenPos;
  if (!(info.flags & CURSOR_SHOWING)) return;
  HCURSOR cursor = info.hCursor ? info.hCursor : LoadCursorW(nullptr, IDC_ARROW);
  if (cursor != hotSpotCursor_) {
    ICONINFO icon{};
    if (!GetIconInfo(cursor, &icon)) {
      cursor = LoadCursorW(nullptr, IDC_ARROW);  // a cursor of another process we cannot read
      if (!GetIconInfo(cursor, &icon)) return;
    }
    tk::UniqueBitmap mask(icon.hbmMask), color(icon.hbmColor);
    hotSpotCursor_ = cursor;
    hotSpot_ = POINT{static_cast<LONG>(icon.xHotspot), static_cast<LONG>(icon.yHotspot)};
  }
  DrawIconEx(Picture1.hDC(), cursorpos.x - hotSpot_.x - left, cursorpos.y - hotSpot_.y - top,
             hotSpotCursor_, 0, 0, 0, nullptr, DI_NORMAL);
}

}  // namespace orvik
