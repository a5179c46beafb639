// The border that marks a recorded area on the screen: just outside the area, never in its
// frames, never in the way of the pointer or the keyboard, dashed while paused, gone at stop.
#include <cstdlib>

#include "e2e/app_fixture.h"
#include "e2e/frame_fixture.h"
#include "frame/area_border.h"
#include "toolkit/window_testing.h"

using namespace testsupport;

namespace {

constexpr orvik::CaptureArea kArea{80, 80, 400, 120};
// How far outside the area's edge pixels the middle of the band lies.
constexpr int kBandMiddle = orvik::kAreaBorderGap + orvik::kAreaBorderWidth / 2 + 1;

bool Near(int r, int g, int b, COLORREF c = orvik::kAreaBorderColor) {
  return std::abs(r - GetRValue(c)) <= 8 && std::abs(g - GetGValue(c)) <= 8 &&
         std::abs(b - GetBValue(c)) <= 8;
}
bool Near(COLORREF shown, COLORREF c = orvik::kAreaBorderColor) {
  return Near(GetRValue(shown), GetGValue(shown), GetBValue(shown), c);
}

// What the screen shows along the middle of the band on each side (top, bottom, left, right):
// how many pixels have the border's colour, and how many its paused dashes' colour.
struct Side {
  int border = 0, paused = 0, length = 0;
};
std::vector<Side> SidesOnScreen() {
  const ScreenShot shot;
  std::vector<Side> sides(4);
  auto count = [&](Side& side, int x, int y) {
    side.border += Near(shot.At(x, y));
    side.paused += Near(shot.At(x, y), orvik::kAreaBorderPausedColor);
    ++side.length;
  };
  const int right = kArea.x0 + kArea.width - 1, bottom = kArea.y0 + kArea.height - 1;
  for (int x = kArea.x0; x <= right; ++x) {
    count(sides[0], x, kArea.y0 - kBandMiddle);
    count(sides[1], x, bottom + kBandMiddle);
  }
  for (int y = kArea.y0; y <= bottom; ++y) {
    count(sides[2], kArea.x0 - kBandMiddle, y);
    count(sides[3], right + kBandMiddle, y);
  }
  return sides;
}

// Border-coloured pixels on the screen in the area and the one-pixel gap around it.
int BorderPixelsInsideTheGap() {
  const ScreenShot shot;
  const int gap = orvik::kAreaBorderGap;
  int found = 0;
  for (int y = kArea.y0 - gap; y < kArea.y0 + kArea.height + gap; ++y)
    for (int x = kArea.x0 - gap; x < kArea.x0 + kArea.width + gap; ++x)
      found += Near(shot.At(x, y));
  return found;
}

void ChoosePause() {
  const std::wstring before = form2().pause->Caption();
  PostMessageW(form2().Handle(), WM_COMMAND, MAKEWPARAM(form2().pause->Id(), 0), 0);
  PumpUntil([&] { return form2().pause->Caption() != before; }, 5000);
  PumpFor(300);  // the window's new pixels reach the screen
}

void RecordSomeFrames() {
  const int32_t now = form1().Session().FrameCount();
  PumpUntil([&] { return form1().Session().FrameCount() >= now + 5; }, 10000);
}

}  // namespace

TEST_F(AppTest, AreaBorderMarksTheAreaOnTheScreenButNeverInTheRecording) {
  form1().x0 = kArea.x0;
  form1().y0 = kArea.y0;
  form1().aviwidth = kArea.width;
  form1().aviheight = kArea.height;
  form2().recordareae->SetChecked(true);
  MoveTo(1200, 900);  // the pointer well away from the area and its border
  const std::wstring avi = Path(L"area.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  const orvik::AreaBorder& border = form1().RecordedAreaBorder();
  ASSERT_TRUE(border.Visible());
  const HWND window = border.Handle();
  PumpFor(300);
  for (const Side& side : SidesOnScreen()) EXPECT_EQ(side.border, side.length) << "not solid";
  EXPECT_EQ(BorderPixelsInsideTheGap(), 0);

  // Never in the way: no focus, clicks go through, no task-bar button, and not minimized with
  // the frame window.
  const LONG_PTR wanted =
      WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  EXPECT_EQ(GetWindowLongPtrW(window, GWL_EXSTYLE) & wanted, wanted);
  EXPECT_EQ(GetWindow(window, GW_OWNER), nullptr);
  EXPECT_NE(GetForegroundWindow(), window);
  EXPECT_NE(WindowFromPoint(POINT{kArea.x0 - kBandMiddle, kArea.y0 + 50}), window);

  ChoosePause();
  ASSERT_TRUE(form1().Session().Paused());
  for (const Side& side : SidesOnScreen()) {
    EXPECT_GT(side.border, 0) << "the paused border is gone";
    EXPECT_GT(side.paused, 0) << "the paused border is not dashed";
    EXPECT_EQ(side.border + side.paused, side.length);
  }
  ChoosePause();
  for (const Side& side : SidesOnScreen()) EXPECT_EQ(side.border, side.length) << "still dashed";
  RecordSomeFrames();

  form1().stop_click();
  EXPECT_FALSE(IsWindow(window));
  PumpFor(300);
  for (const Side& side : SidesOnScreen()) EXPECT_EQ(side.border, 0) << "left on the screen";
  const RegionFrames frames = DecodeRegion(avi, 0, 0, kArea.width, kArea.height);
  ASSERT_GE(frames.frames.size(), 5u);
  int inFrames = 0;
  for (const std::vector<uint8_t>& f : frames.frames)
    for (size_t i = 0; i + 2 < f.size(); i += 3) inFrames += Near(f[i + 2], f[i + 1], f[i]);
  EXPECT_EQ(inFrames, 0);

  // Recordings that show and take down the border hold no GDI object beyond their end. (A
  // run's first two recordings leave a few that the system keeps for good, fewer without the
  // border; from then on the count stays.)
  std::vector<int> gdi;
  for (const wchar_t* name : {L"two.avi", L"three.avi"}) {
    StartViaCommand(Path(name));
    ChoosePause();
    ChoosePause();
    RecordSomeFrames();
    form1().stop_click();
    gdi.push_back(toolkit_testing::GdiObjects());
  }
  EXPECT_EQ(gdi[1], gdi[0]);
}
