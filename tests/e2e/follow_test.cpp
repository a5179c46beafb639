// A window picked with a click on the area overlay and followed while it moves: the real
// pointer, a real recording of the time pattern (another program's window), its decoded frames.
#include <algorithm>

#include "e2e/app_fixture.h"
#include "e2e/frame_fixture.h"
#include "frame/area_border.h"

using namespace testsupport;

namespace {

constexpr int kMovedX = 700, kMovedY = 500;

bool OverlayUp() { return form3().IsLoaded() && form3().Visible(); }

std::vector<std::wstring> FaceLines() {
  std::vector<std::wstring> texts;
  for (HWND line : form1().Face().Lines()) {
    wchar_t text[512] = L"";
    GetWindowTextW(line, text, 512);
    texts.push_back(text);
  }
  return texts;
}

// The pattern's frame, in screen pixels, as the system has it now.
RECT PatternRect(HWND pattern) {
  RECT r{};
  GetWindowRect(pattern, &r);
  return r;
}

bool Magenta(const std::vector<uint8_t>& bgr, int width, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * width + x) * 3;
  return bgr[i] > 240 && bgr[i + 1] < 16 && bgr[i + 2] > 240;
}

long SlotAt(double seconds) { return static_cast<long>(seconds * 10); }

// The fixture's pattern started again where it was, now to be dragged as by a title bar. (An X
// move from outside, xdotool's windowmove, moves only the X window: this Wine keeps the
// window where it was for every program, its own included.)
HWND RestartPatternMovable(PROCESS_INFORMATION* pattern) {
  HWND old = FindWindowW(L"OrvikTestPattern", nullptr);
  TerminateProcess(pattern->hProcess, 0);
  WaitForSingleObject(pattern->hProcess, 5000);
  CloseHandle(pattern->hProcess);
  CloseHandle(pattern->hThread);
  *pattern = {};
  PumpUntil([&] { return !IsWindow(old); }, 5000);
  std::wstring cmd = L"\"" + TestProgram(L"pattern_window.exe") + L"\" " +
                     std::to_wstring(kPatternX) + L" " + std::to_wstring(kPatternY) + L" movable";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                      pattern))
    return nullptr;
  HWND window = nullptr;
  PumpUntil([&] { return (window = FindWindowW(L"OrvikTestPattern", nullptr)) != nullptr; }, 10000);
  PumpFor(300);
  return window;
}

}  // namespace

TEST_F(AppTest, AWindowPickedWithAClickIsFollowedWhereverItMoves) {
  const HWND pattern = RestartPatternMovable(&pattern_);
  ASSERT_TRUE(pattern);
  form2().recordcursor->SetChecked(false);  // the picture is the window's alone
  form2().recordareae_Click();
  ASSERT_TRUE(PumpUntil(OverlayUp, 10000));

  // Hovering outlines the window under the pointer, inside its frame; elsewhere, not it.
  MoveTo(kPatternX + 40, kPatternY + 20);
  PumpFor(400);
  EXPECT_EQ(form3().HoveredWindow(), pattern);
  {
    const ScreenShot shot;
    EXPECT_EQ(shot.At(kPatternX + 1, kPatternY + 1), RGB(0, 120, 215));
    EXPECT_EQ(shot.At(kPatternX + kPatternWidth - 2, kPatternY + kPatternHeight - 2),
              RGB(0, 120, 215));
  }
  MoveTo(kPatternX + 40, kPatternY + kPatternHeight + 40);
  PumpFor(300);
  EXPECT_NE(form3().HoveredWindow(), pattern);
  EXPECT_NE(ScreenShot().At(kPatternX + 1, kPatternY + 1), RGB(0, 120, 215));

  // A click without a drag picks it: the area is its frame, and the face says which window.
  MoveTo(kPatternX + 40, kPatternY + 20);
  PumpFor(300);
  Xdo("click 1");
  ASSERT_TRUE(PumpUntil([] { return !OverlayUp(); }, 5000));
  EXPECT_EQ(form1().followedWindow, pattern);
  EXPECT_EQ(form1().x0, kPatternX);
  EXPECT_EQ(form1().y0, kPatternY);
  ASSERT_EQ(form1().aviwidth, kPatternWidth);
  ASSERT_EQ(form1().aviheight, kPatternHeight);
  EXPECT_EQ(FaceLines().at(0), L"窗口：Orvik test pattern  288 x 56");
  MoveTo(1200, 900);

  const std::wstring avi = Path(L"follow.avi");
  StartViaCommand(avi, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  ASSERT_TRUE(form1().Session().Following());
  const orvik::AreaBorder& border = form1().RecordedAreaBorder();
  const int outset = orvik::AreaBorderPixels(orvik::kAreaBorderGap) +
                     orvik::AreaBorderPixels(orvik::kAreaBorderWidth);
  PumpFor(1000);

  // Dragged by the user with the real pointer, as by its title bar.
  const double movedFrom = form1().Session().ElapsedSeconds();
  ASSERT_TRUE(XdoWhilePumping(
      "mousemove " + std::to_string(kPatternX + 40) + " " + std::to_string(kPatternY + 20) +
      " sleep 0.1 mousedown 1 sleep 0.2 mousemove 400 300 sleep 0.2 mousemove " +
      std::to_string(kMovedX + 40) + " " + std::to_string(kMovedY + 20) + " sleep 0.3 mouseup 1"));
  ASSERT_TRUE(PumpUntil([&] { return PatternRect(pattern).left == kMovedX; }, 5000));
  const double movedBy = form1().Session().ElapsedSeconds();
  PumpFor(1500);
  RECT around{};
  GetWindowRect(border.Handle(), &around);
  EXPECT_EQ(around.left, kMovedX - outset) << "the border did not follow";
  EXPECT_EQ(around.top, kMovedY - outset);
  EXPECT_EQ(around.right - around.left, kPatternWidth + 2 * outset);

  // Closed: the last picture is held to the stop, and the face says why it stood still.
  TerminateProcess(pattern_.hProcess, 0);
  WaitForSingleObject(pattern_.hProcess, 5000);
  ASSERT_TRUE(PumpUntil([&] { return !IsWindow(pattern); }, 5000));
  const double closedBy = form1().Session().ElapsedSeconds();
  PumpFor(1200);
  form1().stop_click();
  EXPECT_TRUE(form1().Session().FollowedWindowClosed());
  const std::vector<std::wstring> after = FaceLines();
  EXPECT_NE(std::find(after.begin(), after.end(), L"跟随的窗口已关闭：之后保持最后的画面"),
            after.end());

  const RegionFrames frames = DecodeRegion(avi, 0, 0, kPatternWidth, kPatternHeight);
  ASSERT_GE(frames.frames.size(), 20u);
  size_t afterTheMove = 0;
  for (size_t k = 0; k < frames.frames.size(); ++k) {
    const long slot = frames.pts[k];
    EXPECT_LE(slot, SlotAt(closedBy) + 1) << "a frame taken after the window closed";
    if (slot > SlotAt(movedFrom) && slot <= SlotAt(movedBy) + 1) continue;  // while it moved
    const std::vector<uint8_t>& f = frames.frames[k];
    // Its margin at the frame's corners and its time where the frame's top-left says (the
    // margin is 16 px: within 2 px, the blocks still read).
    EXPECT_TRUE(Magenta(f, kPatternWidth, 2, 2) &&
                Magenta(f, kPatternWidth, kPatternWidth - 3, kPatternHeight - 3))
        << "slot " << slot << " does not hold the window";
    EXPECT_TRUE(ReadTimeBlocks(f, kPatternWidth, kPatternHeight, kMargin, kMargin))
        << "slot " << slot;
    afterTheMove += slot > SlotAt(movedBy) + 1;
  }
  EXPECT_GE(afterTheMove, 8u);
  ExpectFramesInTheirSlots(frames, RecordingStartMs(), 10);
  // The held picture lasts to the stop.
  const ProbeInfo info = Probe(avi);
  EXPECT_GE(info.duration, closedBy + 1.0);
}
