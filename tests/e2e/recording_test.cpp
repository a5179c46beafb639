// Recording end to end: the real windows, real dialogs, real mouse input, real AVI files
// decoded by ffmpeg, and the time pattern on the screen to check every frame against.
#include <atomic>
#include <cmath>
#include <set>
#include <thread>

#include "e2e/app_fixture.h"
#include "recorder/output/avidecs.h"
#include "support/message_boxes.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

using namespace testsupport;

namespace {

struct MenuState {
  bool start, pause, done, quit, cursor, area;
};

MenuState Menus() {
  orvik::Form2& p = form2();
  return {p.start->Enabled(), p.pause->Enabled(),        p.done->Enabled(),
          p.quit->Enabled(),  p.recordcursor->Enabled(), p.recordareae->Enabled()};
}

void ExpectRecordingMenus() {
  MenuState m = Menus();
  EXPECT_FALSE(m.start);
  EXPECT_TRUE(m.pause);
  EXPECT_TRUE(m.done);
  EXPECT_FALSE(m.quit);
  EXPECT_FALSE(m.cursor);
  EXPECT_FALSE(m.area);
}

void ExpectIdleMenus() {
  MenuState m = Menus();
  EXPECT_TRUE(m.start);
  EXPECT_FALSE(m.pause);
  EXPECT_FALSE(m.done);
  EXPECT_TRUE(m.quit);
  EXPECT_TRUE(m.cursor);
  EXPECT_TRUE(m.area);
}

// Pumps until the recording has a frame: a file that gets none is removed at stop.
void RecordAFrame() {
  PumpUntil([] { return form1().Session().FrameCount() > 0; }, 10000);
}

// Pumps until `seconds` of recording time have passed.
void RecordFor(double seconds) {
  PumpUntil([&] { return form1().Session().Clock().Elapsed(tk::MonotonicSeconds()) >= seconds; },
            static_cast<DWORD>(seconds * 1000 + 15000));
}

std::wstring ClipboardText() {
  std::wstring text;
  if (!OpenClipboard(nullptr)) return text;
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      text = p;
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return text;
}

void SetClipboardText(const std::wstring& text) {
  ASSERT_TRUE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
  memcpy(GlobalLock(mem), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(mem);
  SetClipboardData(CF_UNICODETEXT, mem);
  CloseClipboard();
}

// The pattern's time in every frame of the recording (nullopt where it could not be read).
std::vector<std::optional<uint32_t>> FrameTimes(const RegionFrames& f) {
  std::vector<std::optional<uint32_t>> times;
  for (const auto& frame : f.frames)
    times.push_back(ReadTimeBlocks(frame, f.width, f.height, kMargin, kMargin));
  return times;
}

}  // namespace

TEST_F(AppTest, FullScreenRecordingPlaysAtTheSpeedItHappened) {
  SetClipboardText(L"the user's own text");
  const DWORD clipboardBefore = GetClipboardSequenceNumber();
  const std::wstring avi = Path(L"full.avi");

  StartViaMenu(avi, kCodecOrvik);  // the lossless codec: every picture must survive exactly
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(form1().WindowState(), tk::kStateMinimized);
  ExpectRecordingMenus();
  RecordFor(4.0);
  Sleep(1000);           // a machine too busy to capture the last second
  form2().done_Click();  // what 停止 runs
  const double recorded = form1().Session().ElapsedSeconds();
  ASSERT_FALSE(form1().Recording());
  ExpectIdleMenus();
  EXPECT_EQ(form1().Session().FrameCount(), 0);
  EXPECT_EQ(form1().Caption(), L"Orvik");

  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_EQ(info.streams, 1);
  EXPECT_EQ(info.codecType, "video");
  EXPECT_EQ(info.codecName, "zmbv");
  EXPECT_EQ(info.width, tk::ScreenWidthPixels());
  EXPECT_EQ(info.height, tk::ScreenHeightPixels());
  EXPECT_EQ(info.frameRate, "10/1");
  // The file lasts as long as the recording ran, to the slot it was stopped in: the last
  // picture is held through the slots that got no frame at the end.
  EXPECT_LE(info.duration, recorded + 0.1) << info.raw;
  EXPECT_GE(info.duration, recorded) << info.raw;

  RegionFrames frames = DecodeRegion(avi, kPatternX, kPatternY, kPatternWidth, kPatternHeight);
  ASSERT_GE(frames.frames.size(), 10u);
  ExpectFramesInTheirSlots(frames, RecordingStartMs(), 10);

  EXPECT_EQ(GetClipboardSequenceNumber(), clipboardBefore);
  EXPECT_EQ(ClipboardText(), L"the user's own text");
}

TEST_F(AppTest, PauseLeavesThePausedSpanOutAndMenusFollowTheState) {
  const std::wstring avi = Path(L"pause.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  RecordFor(1.5);

  // The menu lives in the frame window, which start minimized: bring it back first.
  form1().SetWindowState(tk::kStateNormal);
  PumpFor(300);
  ClickMenu(L"文件(&F)", L"暂停");
  PumpUntil([] { return form2().pause->Caption() == L"继续"; }, 5000);
  EXPECT_EQ(form2().pause->Caption(), L"继续");
  EXPECT_FALSE(form1().Timer1.Enabled());
  EXPECT_FALSE(form1().Timer2.Enabled());
  ExpectRecordingMenus();
  const uint32_t pausedAt = NowMs();
  PumpFor(2000);
  // Paused past a flush, the file on disk already plays every frame before the pause, and
  // the count the caption shows is the count of frames in it.
  ProbeInfo during = Probe(avi);
  ASSERT_TRUE(during.ok) << during.raw;
  EXPECT_EQ(static_cast<long>(during.packetPts.size()), form1().Session().FrameCount());

  ClickMenu(L"文件(&F)", L"继续");
  PumpUntil([] { return form2().pause->Caption() == L"暂停"; }, 5000);
  const uint32_t pausedFor = NowMs() - pausedAt;
  EXPECT_TRUE(form1().Timer1.Enabled());
  EXPECT_EQ(form1().WindowState(), tk::kStateMinimized);  // resume minimizes again
  RecordFor(3.0);
  form1().SetWindowState(tk::kStateNormal);
  PumpFor(300);
  ClickMenu(L"文件(&F)", L"停止");
  if (!PumpUntil([] { return !form1().Recording(); }, 10000)) {
    // Fail here rather than record on until the size limit's message box holds the test.
    ADD_FAILURE() << "the click on 停止 did not stop the recording";
    form1().stop_click();
  }
  ExpectIdleMenus();

  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  // The file ends with the last slot captured, no later than the stop; the pause is not in it.
  const double recorded = form1().Session().Clock().Elapsed(tk::MonotonicSeconds());
  EXPECT_LE(info.duration, recorded + 0.1);
  EXPECT_LT(info.duration, 3.0 + pausedFor / 1000.0 - 1.0);

  // Across the pause the pattern's time jumps once, by no more than the paused span.
  RegionFrames frames = DecodeRegion(avi, kPatternX, kPatternY, kPatternWidth, kPatternHeight);
  const auto times = FrameTimes(frames);
  int jumps = 0;
  for (size_t k = 1; k < times.size(); ++k) {
    if (!times[k] || !times[k - 1]) continue;
    const double gap = static_cast<int32_t>(*times[k] - *times[k - 1]) -
                       (frames.pts[k] - frames.pts[k - 1]) * 100.0;
    if (gap > 1000) {
      ++jumps;
      EXPECT_LE(gap, pausedFor + 200.0);
    }
  }
  EXPECT_EQ(jumps, 1);
}

TEST_F(AppTest, StopWhilePausedThenStartAgain) {
  StartViaCommand(Path(L"one.avi"));
  ASSERT_TRUE(form1().Recording());
  RecordFor(0.5);
  Command(form2().pause);
  PumpUntil([] { return form2().pause->Caption() == L"继续"; }, 5000);
  Command(form2().done);
  PumpUntil([] { return !form1().Recording(); }, 5000);
  // Stop leaves the timers disabled.
  EXPECT_FALSE(form1().Timer1.Enabled());
  EXPECT_FALSE(form1().Timer2.Enabled());
  ExpectIdleMenus();

  // The next recording starts with 暂停, and its first use pauses.
  StartViaCommand(Path(L"two.avi"));
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(form2().pause->Caption(), L"暂停");
  EXPECT_TRUE(form1().Timer1.Enabled());
  EXPECT_TRUE(form1().Timer2.Enabled());
  RecordFor(0.5);
  EXPECT_GT(form1().Session().FrameCount(), 0);
  Command(form2().pause);
  PumpUntil([] { return form2().pause->Caption() == L"继续"; }, 5000);
  EXPECT_TRUE(form1().Recording());
  EXPECT_TRUE(form1().Session().Paused());
  EXPECT_FALSE(form1().Timer1.Enabled());
  Command(form2().done);
  PumpUntil([] { return !form1().Recording(); }, 5000);
  EXPECT_TRUE(Probe(Path(L"two.avi")).ok);

  // Stopped before its first frame (no tick ran in between): no file stays behind.
  StartViaCommand(Path(L"none.avi"));
  ASSERT_TRUE(form1().Recording());
  form1().stop_click();
  EXPECT_FALSE(tk::FileExists(Path(L"none.avi")));
}

TEST_F(AppTest, SaveDialogNamesAndCancel) {
  // A name without the extension, and one with it in capitals.
  StartViaCommand(Path(L"clip"));
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(form1().avipath, Path(L"clip.avi"));
  RecordAFrame();
  Command(form2().done);
  PumpUntil([] { return !form1().Recording(); }, 5000);
  EXPECT_TRUE(tk::FileExists(Path(L"clip.avi")));

  // The extension typed in capitals is kept: the same file, so replacing it is asked first.
  DialogWatcher replace(
      tk::AppTitle(), [](HWND h) { PressButton(h, IDYES); }, 30000);
  StartViaCommand(Path(L"clip.AVI"));
  EXPECT_TRUE(replace.Wait());
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(form1().avipath, Path(L"clip.AVI"));
  Command(form2().done);
  PumpUntil([] { return !form1().Recording(); }, 5000);

  // Cancel changes nothing.
  const std::wstring before = form1().avipath;
  StartViaCommand(L"");
  EXPECT_FALSE(form1().Recording());
  EXPECT_EQ(form1().avipath, before);
  ExpectIdleMenus();
}

TEST_F(AppTest, AnExistingFileIsReplacedOnlyWhenTheUserSaysSo) {
  const std::wstring avi = Path(L"mine.avi");
  {
    tk::File f = tk::File::Open(avi, tk::FileMode::Replace);
    ASSERT_TRUE(f.WriteAt(0, "precious", 8));
  }
  DialogWatcher no(
      tk::AppTitle(), [](HWND h) { PressButton(h, IDNO); }, 30000);
  StartViaCommand(avi);
  ASSERT_TRUE(no.Wait());
  EXPECT_NE(no.Text().find(avi), std::wstring::npos);
  EXPECT_FALSE(form1().Recording());
  EXPECT_EQ(tk::FileLength(avi), 8u);

  // Yes, then Cancel in the codec dialog: the file is still the user's.
  // (A message box with only OK also closes on IDYES.)
  DialogSeries yesThenOk(tk::AppTitle(), 2, IDYES);
  StartViaCommand(avi, L"");
  ASSERT_EQ(yesThenOk.Wait().size(), 2u);
  EXPECT_EQ(yesThenOk.Wait()[1].text, L"请选择其它编码！");
  EXPECT_FALSE(form1().Recording());
  EXPECT_EQ(tk::FileLength(avi), 8u);

  DialogWatcher yes(
      tk::AppTitle(), [](HWND h) { PressButton(h, IDYES); }, 30000);
  StartViaCommand(avi);
  ASSERT_TRUE(yes.Wait());
  ASSERT_TRUE(form1().Recording());
  RecordFor(0.5);
  Command(form2().done);
  PumpUntil([] { return !form1().Recording(); }, 5000);
  EXPECT_TRUE(Probe(avi).ok);
}

TEST_F(AppTest, CodecCancelledOrUnusableLeavesTheProgramIdle) {
  for (const wchar_t* codec : {L"", kCodecVideo1}) {
    DialogWatcher message(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 30000);
    StartViaCommand(Path(std::wstring(codec) + L"codec.avi"), codec);
    ASSERT_TRUE(message.Wait()) << "codec " << Utf8(codec);
    EXPECT_EQ(message.Text(), L"请选择其它编码！");
    EXPECT_FALSE(form1().Recording());
    ExpectIdleMenus();
    EXPECT_FALSE(form1().Session().Output().Accepting());
  }
}

// Names the system would read otherwise, and files that cannot be made, are told apart from a
// codec that refuses: the message names the file and the reason, and no codec dialog opens.
TEST_F(AppTest, SaveNamesFollowTheSystemsRulesAndUnusableFilesSayWhy) {
  StartViaCommand(Path(L"clip.avi."));
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(form1().avipath, Path(L"clip.avi"));
  RecordAFrame();
  Command(form2().done);
  PumpUntil([] { return !form1().Recording(); }, 5000);
  EXPECT_TRUE(Probe(Path(L"clip.avi")).ok);

  ASSERT_TRUE(CreateDirectoryW(Path(L"taken.avi").c_str(), nullptr));
  const struct {
    std::wstring chosen;
    std::wstring says;
  } refused[] = {
      {Path(L"CON"), L"设备名"},
      {Path(L"taken"), Path(L"taken.avi") + L"\r\n已有同名的文件夹"},
  };
  for (const auto& r : refused) {
    DialogWatcher box(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 30000);
    CodecDialogAnswer codec(kCodecFullFrames, 30000);
    StartViaCommand(r.chosen);
    ASSERT_TRUE(box.Wait()) << Utf8(r.chosen);
    EXPECT_NE(box.Text().find(r.says), std::wstring::npos) << Utf8(box.Text());
    EXPECT_FALSE(codec.Offered().size()) << "the codec dialog opened for " << Utf8(r.chosen);
    EXPECT_FALSE(form1().Recording());
    ExpectIdleMenus();
  }
}

// Menus, the window menu, message boxes and the move/size loop run their own message loops;
// the capture goes on inside them. The 文件 menu is held open until twelve more frames were
// written (it would stay open until the test gives up if the capture stood still); the writer
// may lag the clock by a frame or two, so at least ten slots of that span must hold a frame,
// with none missing between them, each showing its own time, not an old picture.
TEST_F(AppTest, AnOpenMenuDoesNotStallTheCapture) {
  const std::wstring avi = Path(L"menu.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  form1().SetWindowState(tk::kStateNormal);
  RecordFor(1.0);

  HMENU bar = GetMenu(Panel());
  RECT title{};
  ASSERT_TRUE(GetMenuItemRect(Panel(), bar, 0, &title));
  // The holding thread reads nothing of the program but the file's frame count, which the
  // writer keeps for any thread.
  const orvik::RecordingOutput* file = &form1().Session().Output();
  double openedAt = 0, closedAt = 0;  // monotonic seconds
  std::atomic<bool> done{false}, opened{false}, captured{false};
  std::thread hold([&] {
    ClickAt((title.left + title.right) / 2, (title.top + title.bottom) / 2);
    for (int i = 0; i < 100 && !VisiblePopupMenu(); ++i) Sleep(20);
    opened = VisiblePopupMenu() != nullptr;
    openedAt = tk::MonotonicSeconds();
    const uint32_t before = file->FramesWritten();
    for (int i = 0; i < 1500 && !captured; ++i) {
      captured = file->FramesWritten() >= before + 12;
      Sleep(20);
    }
    closedAt = tk::MonotonicSeconds();
    CloseLeftOpenMenu();
    done = true;
  });
  PumpUntil([&] { return done.load(); }, 40000);
  hold.join();
  ASSERT_TRUE(opened) << "the menu did not open";
  ASSERT_TRUE(captured) << "the capture stood still while the menu was open";
  const orvik::SharedClock& clock = form1().Session().Clock();
  const double from = clock.Elapsed(openedAt), to = clock.Elapsed(closedAt);
  RecordFor(to + 0.5);
  form1().stop_click();

  RegionFrames frames = DecodeRegion(avi, kPatternX, kPatternY, kPatternWidth, kPatternHeight);
  const auto times = FrameTimes(frames);
  const uint32_t start = RecordingStartMs();
  const long first = static_cast<long>(from * 10) + 1, last = static_cast<long>(to * 10);
  std::vector<long> spanPts;
  std::set<uint32_t> spanTimes;  // a stalled capture would show one picture over and over
  for (size_t k = 0; k < frames.pts.size(); ++k) {
    const long pts = frames.pts[k];
    if (pts < first || pts > last) continue;
    if (!spanPts.empty() && spanPts.back() == pts) continue;  // a decoder's repeat
    spanPts.push_back(pts);
    if (times[k]) spanTimes.insert(*times[k]);
  }
  EXPECT_GE(spanPts.size(), 10u) << "too few frames while the menu was open";
  if (!spanPts.empty()) {
    EXPECT_EQ(spanPts.back() - spanPts.front() + 1, static_cast<long>(spanPts.size()))
        << "slots of the span without a frame";
  }
  EXPECT_GE(spanTimes.size() * 2, spanPts.size()) << "the span shows old pictures";
  ExpectFramesInTheirSlots(frames, start, 10);
}
