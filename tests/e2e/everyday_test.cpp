// Everyday use end to end: hot keys pressed by another program while the window is minimized,
// a key another program holds, the frame-rate choice in a real file, and what the program
// remembers for its next run.
#include <algorithm>
#include <cwchar>
#include <memory>

#include "e2e/app_fixture.h"
#include "settings/remembered_choices.h"
#include "toolkit/app.h"
#include "toolkit/screen.h"

using namespace testsupport;
using orvik::Form1;

namespace {

// Pumps until `seconds` of recording time have passed.
void RecordFor(double seconds) {
  PumpUntil([&] { return form1().Session().Clock().Elapsed(tk::MonotonicSeconds()) >= seconds; },
            static_cast<DWORD>(seconds * 1000 + 15000));
}

// Runs the hot-key helper with these arguments; its exit code once it ended (bounded).
DWORD RunHelper(const std::wstring& args, PROCESS_INFORMATION* keep = nullptr) {
  std::wstring cmd = L"\"" + TestProgram(L"hotkey_helper.exe") + L"\" " + args;
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return 99;
  if (keep) {
    *keep = pi;
    return 0;
  }
  DWORD code = 98;
  if (WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0)
    GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return code;
}

std::wstring KeyArgs(UINT key) {
  return std::to_wstring(Form1::kHotKeyModifiers) + L" " + std::to_wstring(key);
}

// The key pressed on the keyboard: another process sends it into the system's input.
void PressHotKey(UINT key) { ASSERT_EQ(RunHelper(L"press " + KeyArgs(key)), 0u); }

// What the entry shows in the real menu.
std::wstring MenuText(tk::MenuItem* item) {
  wchar_t text[128] = {};
  GetMenuStringW(GetMenu(form2().Handle()), item->Id(), text, 128, MF_BYCOMMAND);
  return text;
}

bool SameFolder(std::wstring a, std::wstring b) {
  for (auto* s : {&a, &b}) {
    while (!s->empty() && (s->back() == L'\\' || s->back() == L'/')) s->pop_back();
  }
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

bool HotKeyIsFree(UINT key) {
  if (!RegisterHotKey(nullptr, 0x55, Form1::kHotKeyModifiers, key)) return false;
  UnregisterHotKey(nullptr, 0x55);
  return true;
}

// A second run of the program: a rate and a folder were chosen in the first.
class RememberedTest : public AppTest {
 protected:
  void BeforeProgramStarts() override {
    orvik::RememberFrameRate(20);
    orvik::RememberSaveFolder(dir_ + L"\\earlier.avi");
  }
};

// Another program holds the stop key before this one starts.
class HeldKeyTest : public AppTest {
 protected:
  void BeforeProgramStarts() override {
    const std::wstring event = L"OrvikTestKeyHeld" + std::to_wstring(GetCurrentProcessId());
    HANDLE held = CreateEventW(nullptr, TRUE, FALSE, event.c_str());
    ASSERT_EQ(RunHelper(L"hold " + KeyArgs(Form1::kStopKey) + L" " + event, &holder_), 0u);
    ASSERT_EQ(WaitForSingleObject(held, 15000), WAIT_OBJECT_0) << "the helper took no key";
    CloseHandle(held);
    startBox_ = std::make_unique<DialogWatcher>(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 5000);
  }
  void TearDown() override {
    AppTest::TearDown();
    if (holder_.hProcess) {
      TerminateProcess(holder_.hProcess, 0);
      WaitForSingleObject(holder_.hProcess, 5000);
      CloseHandle(holder_.hProcess);
      CloseHandle(holder_.hThread);
    }
  }
  PROCESS_INFORMATION holder_{};
  std::unique_ptr<DialogWatcher> startBox_;
};

}  // namespace

TEST_F(RememberedTest, HotKeysPauseResumeAndStopAMinimizedRecordingAtTheRememberedRate) {
  orvik::Form2& panel = form2();
  EXPECT_EQ(panel.FrameRate(), 20);
  EXPECT_TRUE(panel.rates[3]->Checked());
  EXPECT_FALSE(panel.rates[1]->Checked());
  EXPECT_EQ(MenuText(panel.done), L"停止\tCtrl+Shift+F9");
  EXPECT_EQ(MenuText(panel.pause), L"暂停\tCtrl+Shift+F8");

  // With nothing recording the keys do nothing, as the greyed entries would.
  PressHotKey(Form1::kPauseKey);
  PumpFor(500);
  EXPECT_EQ(panel.pause->Caption(), L"暂停");
  EXPECT_FALSE(form1().Recording());

  const std::wstring avi = Path(L"hot.avi");
  StartViaCommand(avi);
  EXPECT_TRUE(SameFolder(saveDialogFolder_, dir_)) << Utf8(saveDialogFolder_);
  ASSERT_TRUE(form1().Recording());
  ASSERT_EQ(form1().WindowState(), tk::kStateMinimized);
  EXPECT_FALSE(panel.framerate->Enabled());
  RecordFor(1.0);

  PressHotKey(Form1::kPauseKey);
  ASSERT_TRUE(PumpUntil([&] { return form1().Session().Paused(); }, 5000));
  EXPECT_EQ(panel.pause->Caption(), L"继续");
  EXPECT_EQ(MenuText(panel.pause), L"继续\tCtrl+Shift+F8");
  EXPECT_FALSE(form1().Timer1.Enabled());
  const double pausedAt = form1().Session().ElapsedSeconds();
  PumpFor(1000);
  EXPECT_DOUBLE_EQ(form1().Session().ElapsedSeconds(), pausedAt);

  PressHotKey(Form1::kPauseKey);
  ASSERT_TRUE(PumpUntil([&] { return !form1().Session().Paused(); }, 5000));
  EXPECT_EQ(panel.pause->Caption(), L"暂停");
  EXPECT_TRUE(form1().Timer1.Enabled());
  RecordFor(3.0);
  // The caption counts the frames written, at most 20 a second.
  const std::wstring caption = form1().Caption();
  long frames = 0;
  double seconds = 0;
  ASSERT_EQ(swscanf(caption.c_str(), L"Flame:%ld Second:%lf", &frames, &seconds), 2)
      << Utf8(caption);
  EXPECT_GT(frames, 0) << Utf8(caption);
  EXPECT_LE(frames, seconds * 20 + 1) << Utf8(caption);

  EXPECT_EQ(form1().WindowState(), tk::kStateMinimized);
  PressHotKey(Form1::kStopKey);
  ASSERT_TRUE(PumpUntil([] { return !form1().Recording(); }, 5000));
  EXPECT_TRUE(panel.start->Enabled());
  EXPECT_FALSE(panel.done->Enabled());
  EXPECT_TRUE(panel.framerate->Enabled());
  EXPECT_EQ(form1().Caption(), L"Orvik");

  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_EQ(info.frameRate, "20/1");
  EXPECT_LE(info.duration, form1().Session().ElapsedSeconds() + 0.05);
  RegionFrames decoded = DecodeRegion(avi, kPatternX, kPatternY, kPatternWidth, kPatternHeight);
  EXPECT_GE(decoded.frames.size(), 20u);

  // At exit the keys go back to the system.
  EXPECT_FALSE(HotKeyIsFree(Form1::kStopKey));
  form1().Unload();
  PumpFor(300);
  EXPECT_TRUE(HotKeyIsFree(Form1::kStopKey));
  EXPECT_TRUE(HotKeyIsFree(Form1::kPauseKey));
}

TEST_F(HeldKeyTest, AKeyAnotherProgramHoldsIsDoneWithoutAWord) {
  EXPECT_FALSE(startBox_->Wait()) << "a message box at start: " << Utf8(startBox_->Text());
  EXPECT_EQ(MenuText(form2().done), L"停止");
  EXPECT_EQ(MenuText(form2().pause), L"暂停\tCtrl+Shift+F8");

  const std::wstring avi = Path(L"held.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  DialogWatcher anyBox(
      tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 3000);
  RecordFor(1.0);
  PressHotKey(Form1::kPauseKey);
  EXPECT_TRUE(PumpUntil([&] { return form1().Session().Paused(); }, 5000));
  Command(form2().done);
  ASSERT_TRUE(PumpUntil([] { return !form1().Recording(); }, 5000));
  EXPECT_FALSE(anyBox.Wait()) << Utf8(anyBox.Text());
  EXPECT_TRUE(Probe(avi).ok);
}

TEST_F(AppTest, ThirtyFramesASecondOf1280x720FillTheirSlots) {
  orvik::Form2& panel = form2();
  EXPECT_EQ(panel.FrameRate(), 10);  // first run
  Command(panel.rates[4]);
  ASSERT_TRUE(PumpUntil([&] { return panel.rates[4]->Checked(); }, 5000));
  EXPECT_EQ(std::count_if(panel.rates.begin(), panel.rates.end(),
                          [](tk::MenuItem* r) { return r->Checked(); }),
            1);
  EXPECT_EQ(orvik::ProgramSettings().ReadNumber(L"FrameRate"), 30u);

  // The area the overlay would commit for a 1280x720 rectangle at the top left.
  panel.recordareae->SetChecked(true);
  form1().x0 = 0;
  form1().y0 = 0;
  form1().aviwidth = 1280;
  form1().aviheight = 720;
  MoveTo(1600, 1000);  // the pointer stays out of the picture
  const std::wstring avi = Path(L"thirty.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  RecordFor(4.0);
  form2().done_Click();
  const double recorded = form1().Session().ElapsedSeconds();

  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_EQ(info.width, 1280);
  EXPECT_EQ(info.height, 720);
  EXPECT_EQ(info.frameRate, "30/1");
  EXPECT_LE(info.duration, recorded + 1.0 / 30) << info.raw;
  RegionFrames frames = DecodeRegion(avi, kPatternX, kPatternY, kPatternWidth, kPatternHeight);
  // How many slots get a frame of their own is the capture bench's to measure; here every
  // frame is in its own slot of a thirtieth of a second.
  EXPECT_GE(frames.frames.size(), 10u);
  ExpectFramesInTheirSlots(frames, RecordingStartMs(), 30);
}

TEST_F(AppTest, SaveDialogStartsInTheProgramsFolderThenWhereTheLastRecordingWent) {
  StartViaCommand(L"");  // cancelled: nothing saved, nothing remembered
  EXPECT_TRUE(SameFolder(saveDialogFolder_, tk::AppPath())) << Utf8(saveDialogFolder_);
  EXPECT_FALSE(orvik::ProgramSettings().ReadText(L"SaveFolder"));

  StartViaCommand(Path(L"kept.avi"));
  ASSERT_TRUE(form1().Recording());
  Command(form2().done);
  ASSERT_TRUE(PumpUntil([] { return !form1().Recording(); }, 5000));
  EXPECT_TRUE(SameFolder(orvik::SaveDialogFolder(), dir_));

  StartViaCommand(L"");
  EXPECT_TRUE(SameFolder(saveDialogFolder_, dir_)) << Utf8(saveDialogFolder_);
}
