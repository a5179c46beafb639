// The area overlay driven with the real pointer (xdotool), and area recordings.
#include <algorithm>

#include "e2e/app_fixture.h"
#include "panel/size_readout.h"
#include "toolkit/screen.h"

using namespace testsupport;

namespace {

bool OverlayUp() { return form3().IsLoaded() && form3().Visible(); }

void ShowOverlay() {
  form2().recordareae_Click();
  ASSERT_TRUE(PumpUntil(OverlayUp, 10000));
  PumpFor(300);
}

// Presses at (x1, y1), drags to (x2, y2) and releases, with the real pointer.
void Drag(int x1, int y1, int x2, int y2) {
  MoveTo(x1, y1);
  Xdo("mousedown 1");
  PumpFor(100);
  MoveTo((x1 + x2) / 2, (y1 + y2) / 2);
  PumpFor(100);
  MoveTo(x2, y2);
  Xdo("mouseup 1");
  PumpFor(300);
}

// The key goes to the window with the keyboard focus, as for a user: the overlay has it.
// It goes in through the system's input queue (SendInput), which, unlike an X key event,
// does not depend on which X window the X server thinks has the focus.
void PressEscape() {
  SetForegroundWindow(form3().Handle());
  SetFocus(form3().Handle());
  PumpFor(200);
  INPUT keys[2] = {};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = VK_ESCAPE;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
  PumpFor(200);
}

RECT ClipRect() {
  RECT r{};
  GetClipCursor(&r);
  return r;
}

bool FullScreenClip() {
  RECT r = ClipRect();
  return r.left == 0 && r.top == 0 && r.right == tk::ScreenWidthPixels() &&
         r.bottom == tk::ScreenHeightPixels();
}

// The screen's pixels in a rectangle, as RGB rows; empty when the shot failed.
std::string ScreenRgb(int x, int y, int w, int h) {
  const std::string file = UnixPath(ScratchFile(L"rgb"));
  std::string shot;
  RunShell("import -window root -crop " + std::to_string(w) + "x" + std::to_string(h) + "+" +
               std::to_string(x) + "+" + std::to_string(y) + " -depth 8 rgb:" + file + " && cat " +
               file + " && rm -f " + file,
           &shot);
  return shot.size() == static_cast<size_t>(w) * h * 3 ? shot : std::string();
}

bool Grey(const std::string& rgb, int w, int x, int y, int value) {
  const size_t i = (static_cast<size_t>(y) * w + x) * 3;
  return i + 2 < rgb.size() && static_cast<uint8_t>(rgb[i]) == value &&
         static_cast<uint8_t>(rgb[i + 1]) == value && static_cast<uint8_t>(rgb[i + 2]) == value;
}

// The size readout as the screen shows it below and right of the pointer at (x, y): the box's
// size and which of its pixels are text. Zero size when no readout is there.
struct Readout {
  int width = 0, height = 0;
  std::vector<bool> text;
};

Readout ReadoutNextTo(int x, int y) {
  constexpr int kW = 240, kH = 60;
  const std::string shot = ScreenRgb(x + orvik::kReadoutGap, y + orvik::kReadoutGap, kW, kH);
  Readout r;
  // A white edge around a dark box.
  if (!Grey(shot, kW, 0, 0, 255) || !Grey(shot, kW, 1, 1, 32)) return r;
  while (r.width < kW && Grey(shot, kW, r.width, 0, 255)) ++r.width;
  while (r.height < kH && Grey(shot, kW, 0, r.height, 255)) ++r.height;
  for (int cy = 1; cy + 1 < r.height; ++cy)
    for (int cx = 1; cx + 1 < r.width; ++cx) r.text.push_back(!Grey(shot, kW, cx, cy, 32));
  return r;
}

}  // namespace

TEST_F(AppTest, SizeReadoutFollowsTheDragAndStaysWhileTheRectangleIsPlaced) {
  ShowOverlay();
  MoveTo(200, 200);
  Xdo("mousedown 1");
  PumpFor(100);
  MoveTo(500, 400);
  PumpFor(300);
  const Readout small = ReadoutNextTo(500, 400);  // "300 x 200"
  ASSERT_GT(small.width, 0) << "no readout next to the pointer";
  EXPECT_GT(small.height, 10);
  EXPECT_NE(std::count(small.text.begin(), small.text.end(), true), 0);

  // In the bottom-right corner it goes above and left of the pointer, whole.
  const int cornerX = tk::ScreenWidthPixels() - 20, cornerY = tk::ScreenHeightPixels() - 20;
  MoveTo(cornerX, cornerY);
  PumpFor(300);
  const int gap = orvik::kReadoutGap;
  const std::string corner = ScreenRgb(cornerX - gap - 2, cornerY - gap - 2, 2, 2);
  EXPECT_TRUE(Grey(corner, 2, 1, 1, 255) && Grey(corner, 2, 0, 0, 32))
      << "no readout box ends left of and above the pointer";

  MoveTo(900, 700);
  PumpFor(300);
  const Readout large = ReadoutNextTo(900, 700);  // "700 x 500"
  ASSERT_GT(large.width, 0);
  EXPECT_EQ(ReadoutNextTo(500, 400).width, 0) << "the old readout stayed behind";
  EXPECT_NE(large.text, small.text);

  // Placing: the rectangle keeps its size, and so does what the readout says.
  Xdo("mouseup 1");
  PumpFor(300);
  ASSERT_TRUE(form3().CurrentSelection().placing);
  MoveTo(700, 600);
  PumpFor(300);
  const Readout placed = ReadoutNextTo(700, 600);
  EXPECT_EQ(placed.width, large.width);
  EXPECT_EQ(placed.text, large.text);
  PressEscape();
  PumpUntil([] { return !OverlayUp(); }, 5000);
}

TEST_F(AppTest, DraggedRectangleIsPlacedThenCommitted) {
  ShowOverlay();
  Drag(80, 80, 480, 200);
  ASSERT_TRUE(form3().CurrentSelection().placing);
  // The pointer jumped to the rectangle's centre and is kept where the rectangle fits.
  POINT p{};
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 280);
  EXPECT_EQ(p.y, 140);
  RECT clip = ClipRect();
  EXPECT_EQ(clip.left, 200);
  EXPECT_EQ(clip.top, 60);
  EXPECT_EQ(clip.right, tk::ScreenWidthPixels() - 200);
  EXPECT_EQ(clip.bottom, tk::ScreenHeightPixels() - 60);

  Xdo("click 1");
  ASSERT_TRUE(PumpUntil([] { return !OverlayUp(); }, 5000));
  EXPECT_EQ(form1().x0, 80);
  EXPECT_EQ(form1().y0, 80);
  EXPECT_EQ(form1().aviwidth, 400);
  EXPECT_EQ(form1().aviheight, 120);
  EXPECT_TRUE(form2().recordareae->Checked());
  EXPECT_TRUE(FullScreenClip());

  // Switching the mode off goes back to the whole screen.
  form2().recordareae_Click();
  EXPECT_FALSE(form2().recordareae->Checked());
  EXPECT_EQ(form1().aviwidth, tk::ScreenWidthPixels());
  EXPECT_EQ(form1().aviheight, tk::ScreenHeightPixels());
}

TEST_F(AppTest, EscapeCancelsAndSwitchesAreaModeOff) {
  const int32_t w = form1().aviwidth, h = form1().aviheight;
  ShowOverlay();
  Drag(100, 100, 300, 300);
  PressEscape();
  ASSERT_TRUE(PumpUntil([] { return !OverlayUp(); }, 5000));
  EXPECT_FALSE(form2().recordareae->Checked());
  EXPECT_EQ(form1().aviwidth, w);
  EXPECT_EQ(form1().aviheight, h);
  EXPECT_TRUE(FullScreenClip());
}

TEST_F(AppTest, RightClickResetsAndAClickPlacesNothing) {
  ShowOverlay();
  Drag(100, 100, 300, 300);
  ASSERT_TRUE(form3().CurrentSelection().placing);
  Xdo("click 3");
  PumpFor(300);
  EXPECT_FALSE(form3().CurrentSelection().placing);
  EXPECT_EQ(form3().CurrentSelection().x2, 0);
  EXPECT_FALSE(FullScreenClip());  // the confinement stays until the next release

  MoveTo(500, 400);
  Xdo("mousedown 1 mouseup 1");
  PumpFor(300);
  EXPECT_FALSE(form3().CurrentSelection().placing);
  // A flat line has no area either.
  Drag(500, 400, 700, 400);
  EXPECT_FALSE(form3().CurrentSelection().placing);
  EXPECT_TRUE(OverlayUp());
  PressEscape();
  PumpUntil([] { return !OverlayUp(); }, 5000);
}

TEST_F(AppTest, AreaRecordingHoldsExactlyThatRectangle) {
  ShowOverlay();
  Drag(80, 80, 480, 200);
  Xdo("click 1");
  ASSERT_TRUE(PumpUntil([] { return !OverlayUp(); }, 5000));
  MoveTo(1200, 900);  // keep the pointer out of the picture
  form2().recordcursor->SetChecked(false);

  const std::wstring avi = Path(L"area.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(form1().Timer1.Interval(), 0u);
  EXPECT_NE(form1().Timer2.Interval(), 0u);
  PumpFor(1500);
  const std::string screen = UnixPath(ScratchFile(L"rgb"));
  RunShell("import -window root -crop 400x120+80+80 -depth 8 rgb:" + screen, nullptr);
  PumpFor(300);
  form1().stop_click();

  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_EQ(info.width, 400);
  EXPECT_EQ(info.height, 120);
  RegionFrames frames = DecodeRegion(avi, 0, 0, 400, 120);
  ASSERT_FALSE(frames.frames.empty());
  const auto& last = frames.frames.back();
  // The pattern sits at (20, 20) in the rectangle: its time reads there.
  EXPECT_TRUE(ReadTimeBlocks(last, 400, 120, 20 + kMargin, 20 + kMargin));
  // Everywhere but the changing blocks, the frame holds the screen's pixels.
  std::string shot;
  RunShell("cat " + screen + " && rm -f " + screen, &shot);
  ASSERT_EQ(shot.size(), 400u * 120u * 3u);
  int differing = 0;
  for (int y = 0; y < 120; ++y) {
    for (int x = 0; x < 400; ++x) {
      const bool blocks = x >= 20 + kMargin && x < 20 + kMargin + kBlocksWidth &&
                          y >= 20 + kMargin && y < 20 + kMargin + kBlocksHeight;
      if (blocks) continue;
      const size_t i = (static_cast<size_t>(y) * 400 + x) * 3;
      const bool same = static_cast<uint8_t>(shot[i]) == last[i + 2] &&
                        static_cast<uint8_t>(shot[i + 1]) == last[i + 1] &&
                        static_cast<uint8_t>(shot[i + 2]) == last[i];
      if (!same) ++differing;
    }
  }
  EXPECT_EQ(differing, 0);
  // Magenta margin right where the pattern window begins.
  const size_t m = (static_cast<size_t>(22) * 400 + 22) * 3;
  EXPECT_EQ(last[m], 255);
  EXPECT_EQ(last[m + 1], 0);
  EXPECT_EQ(last[m + 2], 255);
}
