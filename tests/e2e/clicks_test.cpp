// Clicks shown in the recorded frames: real presses through the X server, a real recording,
// the decoded file's pixels.
#include <cmath>
#include <optional>

#include "e2e/app_fixture.h"
#include "recorder/marks/click_marks.h"
#include "recorder/marks/press_hook.h"
#include "settings/remembered_choices.h"
#include "toolkit/handles.h"

using namespace testsupport;

namespace {

// A plain grey window the presses land on: the X server gives a press to the program only over
// one of its windows. It notes when each press reached it, on the recording's clock.
constexpr int kCanvasX = 1100, kCanvasY = 150, kCanvasW = 700, kCanvasH = 800;
std::optional<double> g_leftDownAt, g_rightDownAt;

LRESULT CALLBACK CanvasProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  const double now = form1().Session().ElapsedSeconds();
  if (msg == WM_LBUTTONDOWN && !g_leftDownAt) g_leftDownAt = now;
  if (msg == WM_RBUTTONDOWN && !g_rightDownAt) g_rightDownAt = now;
  return DefWindowProcW(h, msg, w, l);
}

// What a frame shows around one press: the ring found where the picture differs from the
// canvas, and the colour of the ring's right-hand point.
constexpr int kSide = 80;
struct SeenRing {
  int changed = 0;
  double cx = 0, cy = 0;  // offset of the changed pixels' centre from the press
  uint8_t b = 0, g = 0, r = 0;
};

SeenRing Look(const std::vector<uint8_t>& bgr) {
  SeenRing seen;
  int x0 = kSide, y0 = kSide, x1 = -1, y1 = -1;
  auto px = [&](int x, int y) { return &bgr[(static_cast<size_t>(y) * kSide + x) * 3]; };
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const uint8_t* p = px(x, y);
      if (std::abs(p[0] - 128) + std::abs(p[1] - 128) + std::abs(p[2] - 128) < 24) continue;
      ++seen.changed;
      x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
    }
  }
  if (!seen.changed) return seen;
  seen.cx = (x0 + x1) / 2.0 - kSide / 2;
  seen.cy = (y0 + y1) / 2.0 - kSide / 2;
  const uint8_t* p = px(static_cast<int>(std::lround((x0 + x1) / 2.0)) + orvik::kRingRadius,
                        static_cast<int>(std::lround((y0 + y1) / 2.0)));
  seen.b = p[0], seen.g = p[1], seen.r = p[2];
  return seen;
}

RegionFrames AroundPress(const std::wstring& avi, int x, int y) {
  return DecodeRegion(avi, x - kSide / 2, y - kSide / 2, kSide, kSide);
}

long SlotAt(double seconds) { return static_cast<long>(std::floor(seconds * 10)); }

// Presses at `x, y` sent through the X server; returns the recording time before the first.
double Press(int x, int y, const std::string& what) {
  const double before = form1().Session().ElapsedSeconds();
  EXPECT_TRUE(XdoWhilePumping("mousemove " + std::to_string(x) + " " + std::to_string(y) +
                              " sleep 0.1 " + what));
  return before;
}

}  // namespace

TEST_F(AppTest, ClicksShowAsRingsInTheirSlotsOnlyWhileRecordingAndNotPaused) {
  tk::UniqueWindow canvas =
      MakeCanvas(L"ClickCanvas", CanvasProc, kCanvasX, kCanvasY, kCanvasW, kCanvasH);
  Command(form2().showclicks);
  Command(form2().recordcursor);  // off: only the rings change the picture
  PumpFor(300);
  ASSERT_TRUE(form2().showclicks->Checked());
  EXPECT_EQ(orvik::ProgramSettings().ReadNumber(L"ShowClicks"), 1u);
  const std::wstring avi = Path(L"clicks.avi");
  StartViaCommand(avi, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(orvik::PressHook::Live(), 1);
  EXPECT_FALSE(form2().showclicks->Enabled());
  SetWindowPos(canvas.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  PumpFor(800);

  constexpr int kLeftX = 1300, kLeftY = 300, kRightX = 1500, kRightY = 700;
  constexpr int kPausedX = 1300, kPausedY = 800;
  const double leftFrom = Press(kLeftX, kLeftY, "mousedown 1");
  PumpFor(800);
  const double heldUntil = Press(kLeftX, kLeftY, "mouseup 1");
  PumpFor(1000);
  const double rightFrom = Press(kRightX, kRightY, "click 3");
  PumpFor(1000);
  ASSERT_TRUE(g_leftDownAt && g_rightDownAt) << "the presses did not reach the canvas";

  Command(form2().pause);
  PumpUntil([] { return form2().pause->Caption() == L"继续"; }, 5000);
  EXPECT_EQ(orvik::PressHook::Live(), 0);  // no hook while paused
  Press(kPausedX, kPausedY, "click 1");
  PumpFor(500);
  Command(form2().pause);
  PumpUntil([] { return form2().pause->Caption() == L"暂停"; }, 5000);
  EXPECT_EQ(orvik::PressHook::Live(), 1);
  PumpFor(1000);
  form2().done_Click();
  EXPECT_EQ(orvik::PressHook::Live(), 0);  // gone with the stop

  // The held left press: in the frame of its slot or the next, centred on the hot spot, in
  // full colour while held, gone once faded.
  RegionFrames left = AroundPress(avi, kLeftX, kLeftY);
  ASSERT_GE(left.frames.size(), 30u);
  std::optional<long> leftFirst;
  for (size_t k = 0; k < left.frames.size(); ++k) {
    const long slot = left.pts[k];
    const SeenRing seen = Look(left.frames[k]);
    if (seen.changed && !leftFirst) leftFirst = slot;
    if (slot < SlotAt(leftFrom)) {
      EXPECT_EQ(seen.changed, 0) << "slot " << slot;
    }
    if (slot > SlotAt(*g_leftDownAt) + 1 && slot < SlotAt(heldUntil)) {
      ASSERT_GT(seen.changed, 0) << "no ring while held, slot " << slot;
      EXPECT_LE(std::abs(seen.cx), 2.0);
      EXPECT_LE(std::abs(seen.cy), 2.0);
      EXPECT_EQ(RGB(seen.r, seen.g, seen.b), RGB(0xFF, 0xB0, 0x00)) << "slot " << slot;
    }
    if (slot > SlotAt(heldUntil + 0.8)) {
      EXPECT_EQ(seen.changed, 0) << "slot " << slot;
    }
  }
  ASSERT_TRUE(leftFirst);
  EXPECT_LE(*leftFirst, SlotAt(*g_leftDownAt) + 1);

  // The right click: its own colour, in its slot or the next.
  RegionFrames right = AroundPress(avi, kRightX, kRightY);
  std::optional<long> rightFirst;
  for (size_t k = 0; k < right.frames.size(); ++k) {
    const SeenRing seen = Look(right.frames[k]);
    if (!seen.changed || rightFirst) continue;
    rightFirst = right.pts[k];
    EXPECT_LE(std::abs(seen.cx), 2.0);
    EXPECT_LE(std::abs(seen.cy), 2.0);
    EXPECT_GT(seen.b, seen.r + 60);  // blue, not the left ring's amber
  }
  ASSERT_TRUE(rightFirst);
  EXPECT_GE(*rightFirst, SlotAt(rightFrom));
  EXPECT_LE(*rightFirst, SlotAt(*g_rightDownAt) + 1);

  // The press made while paused left no ring in any frame.
  for (const auto& frame : AroundPress(avi, kPausedX, kPausedY).frames)
    EXPECT_EQ(Look(frame).changed, 0);

  // Turned off (and the cursor back on): a recording with presses has no ring and no hook.
  Command(form2().showclicks);
  Command(form2().recordcursor);
  PumpFor(300);
  EXPECT_EQ(orvik::ProgramSettings().ReadNumber(L"ShowClicks"), 0u);
  const std::wstring plain = Path(L"plain.avi");
  StartViaCommand(plain, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(orvik::PressHook::Live(), 0);
  PumpFor(500);
  Press(kRightX, kRightY, "click 1 click 3");
  PumpFor(800);
  form2().done_Click();
  int amberOrBlue = 0;
  for (const auto& frame : AroundPress(plain, kRightX, kRightY).frames) {
    for (size_t i = 0; i + 2 < frame.size(); i += 3) {
      const uint8_t b = frame[i], g = frame[i + 1], r = frame[i + 2];
      amberOrBlue += (r > 200 && g > 120 && b < 60) || (b > 200 && r < 60);
    }
  }
  EXPECT_EQ(amberOrBlue, 0);
}
