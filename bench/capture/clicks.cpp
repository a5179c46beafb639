// "clicks": the recording with 显示点击 off and on while the left button is clicked four times a
// second.
#include <cstdio>
#include <string>
#include <vector>

#include "frame/forms.h"
#include "panel/form2.h"
#include "recorder/marks/pointer_marks.h"
#include "recording.h"
#include "scenarios.h"
#include "screen_frame.h"
#include "support/unix_tools.h"
#include "toolkit/units.h"

namespace capture_bench {

using testsupport::RunShell;

namespace {

// Two rings drawn into a 32-bit frame of the screen's size, as a tick draws them: CPU a frame.
double TwoRingsMs() {
  ScreenFrame frame;
  if (!frame.selected) return 0;
  const int w = frame.area.width, h = frame.area.height;
  orvik::RingPainter rings;
  if (!rings.Create(orvik::kDesignDpi)) return 0;
  const std::vector<orvik::VisibleRing> shown = {{orvik::PressButton::Left, w / 2, h / 2, 0.6f},
                                                 {orvik::PressButton::Right, w / 3, h / 3, 1.0f}};
  const double cpu0 = ProcessCpuSeconds();
  for (int i = 0; i < kRingFrames; ++i) rings.Draw(frame.dc.get(), frame.area, shown);
  return (ProcessCpuSeconds() - cpu0) * 1000 / kRingFrames;
}

}  // namespace

// The same recording with 显示点击 off and on, back to back, while a click lands on the screen's
// middle every quarter second through both (two rings fading at any moment when on): what the
// rings and the hook cost a frame.
void CompareClicks(const Servers& servers, const std::wstring& dir) {
  std::string clicker;
  RunShell(
      "(for i in $(seq 240); do xdotool mousemove 960 540 click 1; sleep 0.25; done) "
      ">/dev/null 2>&1 & echo $!",
      &clicker);
  const BothWays both = RecordBothWays(servers, dir + L"\\clicks.avi",
                                       [](int i) { form2().showclicks->SetChecked(i == 1); });
  RunShell("kill " + Trim(clicker), nullptr);
  const double ringsMs = TwoRingsMs();
  PrintBothWays("Clicks shown (4 clicks a second)", "off", "on", both, 0.3);
  std::printf(
      "   (per-second figures come in 1 ms steps at 10 fps; the rings alone: two drawn into a "
      "frame of the screen's size cost %.3f ms, CPU over %d frames)\n",
      ringsMs, kRingFrames);
}

}  // namespace capture_bench
