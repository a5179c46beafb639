// The countdown before the first frame: a real recording whose frames are decoded, and starts
// given up with real keys.
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <vector>

#include "e2e/app_fixture.h"
#include "frame/countdown_window.h"
#include "settings/remembered_choices.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/units.h"

using namespace testsupport;

namespace {

std::wstring FaceLine() {
  const auto& lines = form1().Face().Lines();
  wchar_t text[1024] = L"";
  if (!lines.empty()) GetWindowTextW(lines[0], text, 1024);
  return text;
}

// Keys from the keyboard, through the system's input queue (the digits never have the focus).
void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> in;
  auto add = [&](WORD key, DWORD flags) {
    in.push_back(INPUT{});
    in.back().type = INPUT_KEYBOARD;
    in.back().ki = {key, 0, flags, 0, 0};
  };
  for (WORD k : keys) add(k, 0);
  for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) add(*it, KEYEVENTF_KEYUP);
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

bool NearCountdownColor(const uint8_t* p) {
  const COLORREF c = orvik::kCountdownColor;
  return std::abs(p[0] - GetBValue(c)) + std::abs(p[1] - GetGValue(c)) +
             std::abs(p[2] - GetRValue(c)) <
         40;
}

// A start given up during the countdown leaves nothing noted as unfinished, and the window, its
// menus, caption and face as they were.
void ExpectAsBeforeTheStart(const std::wstring& faceBefore) {
  ASSERT_TRUE(PumpUntil([] { return !form1().CountingDown(); }, 3000));
  PumpFor(300);
  EXPECT_FALSE(form1().Recording());
  EXPECT_FALSE(form1().Session().Active());
  EXPECT_TRUE(orvik::UnfinishedRecordings().empty());
  EXPECT_TRUE(form2().start->Enabled());
  EXPECT_FALSE(form2().pause->Enabled());
  EXPECT_FALSE(form2().done->Enabled());
  EXPECT_TRUE(form2().countdown->Enabled());
  EXPECT_EQ(form1().Caption(), L"Orvik");
  EXPECT_EQ(FaceLine(), faceBefore);
  EXPECT_FALSE(IsIconic(form1().Handle()));
  EXPECT_FALSE(form1().Countdown().IsLoaded());
}

}  // namespace

TEST_F(AppTest, CountdownComesBetweenTheDialogsAndTheFirstFrameAndIsNeverRecorded) {
  Command(form2().countdowns[1]);
  PumpFor(300);
  ASSERT_TRUE(form2().countdowns[1]->Checked());
  EXPECT_FALSE(form2().countdowns[0]->Checked());
  EXPECT_EQ(orvik::ProgramSettings().ReadNumber(L"Countdown"), 3u);
  const std::wstring avi = Path(L"countdown.avi");
  StartViaCommand(avi, kCodecOrvik);
  const uint32_t okMs = codecOkMs_;
  ASSERT_NE(okMs, 0u);
  ASSERT_TRUE(form1().CountingDown());
  EXPECT_FALSE(form1().Recording());
  EXPECT_TRUE(orvik::UnfinishedRecordings().empty());  // a kill now leaves nothing to repair
  EXPECT_FALSE(form2().start->Enabled());
  EXPECT_FALSE(form2().pause->Enabled());
  EXPECT_TRUE(form2().done->Enabled());
  EXPECT_FALSE(form2().countdown->Enabled());
  EXPECT_EQ(FaceLine(), L"3 秒后开始录制");
  EXPECT_EQ(form1().Caption(), L"3 秒后开始录制");
  EXPECT_TRUE(IsIconic(form1().Handle()));

  // On the screen, centred, never active, letting clicks through; the digits count down.
  HWND digits = form1().Countdown().Handle();
  const int cx = GetSystemMetrics(SM_CXSCREEN) / 2, cy = GetSystemMetrics(SM_CYSCREEN) / 2;
  const int side = orvik::ScaledPixels(orvik::kCountdownDiameter);
  const LONG_PTR ex = GetWindowLongPtrW(digits, GWL_EXSTYLE);
  EXPECT_EQ(ex & (WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOPMOST),
            WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOPMOST);
  PumpFor(200);
  {
    tk::WindowDc screen(nullptr);
    const COLORREF seen = GetPixel(screen.get(), cx - side * 3 / 8, cy);
    EXPECT_EQ(seen, orvik::kCountdownColor);
  }
  int framesDuringCountdown = 0;
  bool sawTwo = false, sawOne = false;
  ASSERT_TRUE(PumpUntil(
      [&] {
        EXPECT_NE(GetForegroundWindow(), digits);
        if (form1().CountingDown()) framesDuringCountdown += form1().Session().FrameCount();
        sawTwo = sawTwo || FaceLine() == L"2 秒后开始录制";
        sawOne = sawOne || FaceLine() == L"1 秒后开始录制";
        return form1().Recording();
      },
      6000));
  EXPECT_EQ(framesDuringCountdown, 0);
  EXPECT_TRUE(sawTwo && sawOne);
  EXPECT_FALSE(form1().Countdown().IsLoaded());
  EXPECT_GE(static_cast<int32_t>(RecordingStartMs() - okMs), 3000);
  ASSERT_EQ(orvik::UnfinishedRecordings().size(), 1u);
  EXPECT_EQ(orvik::UnfinishedRecordings()[0].path, avi);
  EXPECT_TRUE(form2().pause->Enabled());
  PumpFor(1500);
  form2().done_Click();

  // The first frame shows the pattern at least the countdown's length after OK; every frame
  // is in its slot of a clock that started then.
  const RegionFrames pattern =
      DecodeRegion(avi, kPatternX, kPatternY, kPatternWidth, kPatternHeight);
  ASSERT_GE(pattern.frames.size(), 10u);
  const auto first =
      ReadTimeBlocks(pattern.frames[0], pattern.width, pattern.height, kMargin, kMargin);
  ASSERT_TRUE(first);
  EXPECT_GE(static_cast<int32_t>(*first - okMs), 3000);
  ExpectFramesInTheirSlots(pattern, RecordingStartMs(), form2().FrameRate());
  // Not a pixel of the disc where it stood, from the first frame on.
  const RegionFrames middle = DecodeRegion(avi, cx - side / 2, cy - side / 2, side, side);
  ASSERT_EQ(middle.frames.size(), pattern.frames.size());
  int discPixels = 0;
  for (const auto& frame : middle.frames) {
    for (size_t i = 0; i + 2 < frame.size(); i += 3) discPixels += NearCountdownColor(&frame[i]);
  }
  EXPECT_EQ(discPixels, 0);

  // Esc from the keyboard gives the next start up; so do 停止's hot key and closing the
  // program. Each start goes over the recording just made, the user agreeing to replace it: it
  // stays, byte for byte, and nothing is left beside it.
  const std::string recorded = ReadWholeFile(avi);
  const std::vector<std::wstring> files = FilesIn(dir_);
  const auto startOverTheRecording = [&] {
    DialogWatcher replace(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDYES); }, 30000);
    StartViaCommand(avi, kCodecOrvik);
    EXPECT_TRUE(replace.Wait());
    ASSERT_TRUE(form1().CountingDown());
    EXPECT_EQ(FilesIn(dir_).size(), files.size() + 1);  // the new file, under a name of its own
  };
  const auto expectTheRecordingAsItWas = [&] {
    EXPECT_EQ(ReadWholeFile(avi), recorded);
    EXPECT_EQ(FilesIn(dir_), files);
  };
  const std::wstring lastRecording = FaceLine();
  form1().SetWindowState(tk::kStateNormal);  // as the user left it before this start
  PumpFor(200);
  startOverTheRecording();
  PumpFor(500);
  PressKeys({VK_ESCAPE});
  ExpectAsBeforeTheStart(lastRecording);
  EXPECT_TRUE(form1().Face().ShowsRecording());
  expectTheRecordingAsItWas();

  startOverTheRecording();
  PumpFor(500);
  PressKeys({VK_CONTROL, VK_SHIFT, static_cast<WORD>(orvik::Form1::kStopKey)});
  ExpectAsBeforeTheStart(lastRecording);
  expectTheRecordingAsItWas();
  // Esc is the countdown's only while it runs.
  EXPECT_TRUE(RegisterHotKey(nullptr, 77, 0, VK_ESCAPE));
  UnregisterHotKey(nullptr, 77);

  // Closing the program during the countdown gives the start up, then closes, asking nothing.
  startOverTheRecording();
  PostMessageW(form1().Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(PumpUntil([] { return !form1().IsLoaded(); }, 5000));
  expectTheRecordingAsItWas();
  EXPECT_TRUE(orvik::UnfinishedRecordings().empty());
  EXPECT_FALSE(form1().Countdown().IsLoaded());
}
