// "keys": the recording with 显示按键 off and on while a shortcut is pressed twice a second.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "frame/forms.h"
#include "panel/form2.h"
#include "recorder/marks/key_caption_painter.h"
#include "recording.h"
#include "scenarios.h"
#include "screen_frame.h"
#include "toolkit/units.h"

namespace capture_bench {
namespace {

// The caption drawn into a 32-bit frame of the screen's size, as a tick draws it: CPU a frame
// when only its opacity changes (most frames), and when its text changes each frame.
struct CaptionCost {
  double blendMs = 0, newTextMs = 0;
};
CaptionCost CaptionMs() {
  CaptionCost cost;
  ScreenFrame frame;
  orvik::KeyCaptionPainter painter;
  if (!frame.selected || !painter.Create(orvik::kDesignDpi)) return cost;
  auto run = [&](bool newText) {
    const double cpu0 = ProcessCpuSeconds();
    for (int i = 0; i < kRingFrames; ++i) {
      const int count = newText ? i + 2 : 3;
      painter.Draw(frame.dc.get(), frame.area,
                   {orvik::CaptionText({orvik::kKeyCtrl | orvik::kKeyShift, 'S'}, count), 0.6f});
    }
    return (ProcessCpuSeconds() - cpu0) * 1000 / kRingFrames;
  };
  cost.blendMs = run(false);
  cost.newTextMs = run(true);
  return cost;
}

// Ctrl + Shift + S pressed every half second through the system's input, until `stop`: the
// same combination, so the caption's text changes with each press ("×2", "×3").
void PressShortcuts(const std::atomic<bool>& stop) {
  auto key = [](WORD vk, bool up) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return in;
  };
  while (!stop) {
    INPUT keys[] = {key(VK_CONTROL, false), key(VK_SHIFT, false), key('S', false),
                    key('S', true),         key(VK_SHIFT, true),  key(VK_CONTROL, true)};
    SendInput(6, keys, sizeof(INPUT));
    for (int i = 0; i < 10 && !stop; ++i) Sleep(50);
  }
}

}  // namespace

// The same recording with 显示按键 off and on, back to back, while a shortcut is pressed twice a
// second through both: what the hook and the caption cost a frame.
void CompareKeys(const Servers& servers, const std::wstring& dir) {
  std::atomic<bool> stop{false};
  std::thread presser([&] { PressShortcuts(stop); });
  const BothWays both = RecordBothWays(servers, dir + L"\\keys.avi",
                                       [](int i) { form2().showkeys->SetChecked(i == 1); });
  stop = true;
  presser.join();
  const CaptionCost caption = CaptionMs();
  PrintBothWays("Keys shown (a shortcut every 0.5 s)", "off", "on", both, 0.3);
  std::printf(
      "   (the caption alone, in a frame of the screen's size, CPU over %d frames: %.3f ms a frame "
      "blended, %.3f ms when its text changes every frame)\n",
      kRingFrames, caption.blendMs, caption.newTextMs);
}

}  // namespace capture_bench
