// What goes into the frames: the cursor where it really is, and closing mid-recording.
#include "e2e/app_fixture.h"
#include "recorder/output/avidecs.h"
#include "toolkit/app.h"
#include "toolkit/screen.h"

using namespace testsupport;

namespace {

constexpr int kPointerX = 700;
constexpr int kPointerY = 600;
constexpr int kBox = 48;  // the region around the pointer that is checked

// Records a short full-screen clip with the pointer parked over the empty (black) screen and
// returns the last frame's pixels around it: (kPointerX - kBox/2, kPointerY - kBox/2).
std::vector<uint8_t> PointerRegion(AppTest& test, const std::wstring& avi) {
  MoveTo(kPointerX, kPointerY);
  (void)test;
  form2().start_Click();
  EXPECT_TRUE(form1().Recording());
  PumpFor(800);
  form1().stop_click();
  RegionFrames f = DecodeRegion(avi, kPointerX - kBox / 2, kPointerY - kBox / 2, kBox, kBox);
  return f.frames.empty() ? std::vector<uint8_t>() : f.frames.back();
}

void ExpectIdleMenusAfterFailure() {
  EXPECT_TRUE(form2().start->Enabled());
  EXPECT_FALSE(form2().done->Enabled());
  EXPECT_FALSE(form2().pause->Enabled());
  EXPECT_EQ(form1().Timer1.Interval() + form1().Timer2.Interval(), 0u);
}

bool Lit(const std::vector<uint8_t>& px, int x, int y) {
  const size_t i = (static_cast<size_t>(y) * kBox + x) * 3;
  return px[i] + px[i + 1] + px[i + 2] > 60;
}

// A small drive of its own for a test (tmpfs; needs root). Wine's process ids are small and
// repeat across parallel runs: the tick count makes the mount point this run's own.
struct SmallDrive {
  explicit SmallDrive(const char* size)
      : mount("/tmp/orvik-full-" + std::to_string(GetCurrentProcessId()) + "-" +
              std::to_string(GetTickCount())) {
    mounted =
        RunShell("mkdir -p " + mount + " && mount -t tmpfs -o size=" + size + " tmpfs " + mount,
                 nullptr) == 0;
  }
  ~SmallDrive() { RunShell("umount " + mount + "; rmdir " + mount, nullptr); }
  std::wstring File(const std::wstring& name) const {
    std::wstring path = L"Z:" + Wide(mount) + L"/" + name;
    for (wchar_t& c : path)
      if (c == L'/') c = L'\\';
    return path;
  }
  // Takes every byte left with a file of its own.
  void Fill() const {
    RunShell("fallocate -l $(df -B1 --output=avail " + mount + " | tail -1) " + mount +
                 "/filler || dd if=/dev/zero of=" + mount + "/filler bs=4k",
             nullptr);
  }
  std::string mount;
  bool mounted = false;
};

}  // namespace

class CursorTest : public AppTest {
 protected:
  std::vector<uint8_t> Record(const std::wstring& name,
                              const std::wstring& codecName = kCodecFullFrames) {
    DialogWatcher save(
        L"保存文件",
        [this, name](HWND h) {
          const std::wstring path = Path(name);
          SendMessageW(h, CDM_SETCONTROLTEXT, kFileNameBox, reinterpret_cast<LPARAM>(path.c_str()));
          PressButton(h, IDOK);
        },
        30000);
    CodecDialogAnswer codec(codecName, 30000);
    std::vector<uint8_t> px = PointerRegion(*this, Path(name));
    save.Wait();
    codec.Wait();
    preselected_ = codec.Preselected();
    return px;
  }
  std::wstring preselected_;
};

// Recorded the way a user in a hurry does: OK on the codec dialog as it opens, which is on our
// lossless codec; decoded by ffmpeg.
TEST_F(CursorTest, PaintedWithItsHotSpotAtThePointer) {
  std::vector<uint8_t> px = Record(L"cursor.avi", kCodecAsOpened);
  EXPECT_EQ(preselected_, kCodecOrvik);
  EXPECT_EQ(Probe(Path(L"cursor.avi")).codecName, "zmbv");
  ASSERT_EQ(px.size(), static_cast<size_t>(kBox * kBox * 3));
  const int hx = kBox / 2, hy = kBox / 2;  // the pointer inside the region
  int lit = 0, litAboveLeft = 0;
  for (int y = 0; y < kBox; ++y) {
    for (int x = 0; x < kBox; ++x) {
      if (!Lit(px, x, y)) continue;
      ++lit;
      if (x < hx - 2 || y < hy - 2) ++litAboveLeft;
    }
  }
  EXPECT_GT(lit, 10) << "no cursor drawn near the pointer";
  // The arrow hangs down and right from its hot spot; nothing lies above or left of it
  // (a cursor drawn 8 pixels up and left of the pointer would).
  EXPECT_EQ(litAboveLeft, 0);
}

TEST_F(CursorTest, AbsentWhenCursorRecordingIsOff) {
  form2().recordcursor_Click();
  ASSERT_FALSE(form2().recordcursor->Checked());
  std::vector<uint8_t> px = Record(L"nocursor.avi");
  ASSERT_EQ(px.size(), static_cast<size_t>(kBox * kBox * 3));
  int lit = 0;
  for (int y = 0; y < kBox; ++y)
    for (int x = 0; x < kBox; ++x) lit += Lit(px, x, y);
  EXPECT_EQ(lit, 0);
}

// Answering No goes on as before the question: a running recording runs on (the time the
// question was up is not recorded), a paused one stays paused.
TEST_F(AppTest, ClosingWhileRecordingAsksAndNoGoesOn) {
  StartViaCommand(Path(L"close.avi"));
  ASSERT_TRUE(form1().Recording());
  const double startedAt = tk::MonotonicSeconds();
  PumpFor(500);
  auto closeAndAnswerNo = [] {
    DialogWatcher no(L"", [](HWND h) {
      Sleep(1000);  // the question stays up a while: that time is not recorded
      PressButton(h, IDNO);
    });
    PostMessageW(form1().Handle(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(PumpUntil([&] { return no.Seen(); }, 10000));
    EXPECT_EQ(no.Text(), L"正在录制，是否停止？");
    PumpUntil([&] { return !FindDialog(L""); }, 10000);
  };
  closeAndAnswerNo();
  EXPECT_TRUE(form1().IsLoaded());
  EXPECT_TRUE(form1().Recording());
  EXPECT_TRUE(form1().Timer1.Enabled());
  const int32_t frames = form1().Session().FrameCount();
  EXPECT_TRUE(PumpUntil([&] { return form1().Session().FrameCount() > frames; }, 5000))
      << "no longer recording";
  const double elapsed = form1().Session().Clock().Elapsed(tk::MonotonicSeconds());
  EXPECT_LE(elapsed, tk::MonotonicSeconds() - startedAt - 1.0);

  Command(form2().pause);
  ASSERT_TRUE(PumpUntil([] { return form2().pause->Caption() == L"继续"; }, 5000));
  closeAndAnswerNo();
  EXPECT_TRUE(form1().Recording());
  EXPECT_TRUE(form1().Session().Paused());
  EXPECT_FALSE(form1().Timer1.Enabled());
  EXPECT_EQ(form2().pause->Caption(), L"继续");
  const int32_t paused = form1().Session().FrameCount();
  const double pausedElapsed = form1().Session().ElapsedSeconds();
  PumpFor(500);
  EXPECT_EQ(form1().Session().FrameCount(), paused);
  EXPECT_EQ(form1().Session().ElapsedSeconds(), pausedElapsed);
}

// Logging off or shutting down during a recording: the file is finished as the session ends,
// with every frame handed over and the first segment's legacy index, as a stop finishes it.
TEST_F(AppTest, TheSessionEndingFinishesTheRecording) {
  const std::wstring avi = Path(L"logoff.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  PumpFor(1200);
  EXPECT_EQ(SendMessageW(form1().Handle(), WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_TRUE(form1().Recording());  // only asked: the session may not end yet
  const int32_t handed = form1().Session().FrameCount();
  SendMessageW(form1().Handle(), WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
  EXPECT_FALSE(form1().Recording());
  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_GE(info.packetPts.size(), static_cast<size_t>(handed));
  std::string idx1;
  RunShell("grep -c idx1 '" + UnixPath(avi) + "'", &idx1);
  EXPECT_GE(std::atoi(idx1.c_str()), 1) << "the file was not finished";
}

TEST_F(AppTest, ClosingWhileRecordingAndYesEndsWithAPlayableFile) {
  const std::wstring avi = Path(L"yes.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  PumpFor(1000);
  DialogWatcher yes(L"", [](HWND h) { PressButton(h, IDYES); });
  PostMessageW(form1().Handle(), WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([] { return !form1().IsLoaded(); }, 10000));
  EXPECT_TRUE(yes.Seen());
  EXPECT_FALSE(form2().IsLoaded());
  EXPECT_FALSE(form1().Session().Output().Accepting());
  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_GE(info.frames, 8);
}

// A recording onto a drive that fills up stops with one message and keeps what it wrote.
TEST_F(AppTest, AFullDiskStopsTheRecordingAndKeepsAPlayableFile) {
  SmallDrive drive("4m");
  if (!drive.mounted) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";

  // A small area keeps frames small: the drive fills after a dozen or so.
  form1().x0 = kPatternX;
  form1().y0 = kPatternY;
  form1().aviwidth = 320;
  form1().aviheight = 240;
  form2().recordareae->SetChecked(true);
  const std::wstring avi = drive.File(L"full.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());

  DialogWatcher message(
      tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 60000);
  ASSERT_TRUE(PumpUntil([] { return !form1().Recording(); }, 60000));
  PumpUntil([&] { return message.Seen(); }, 20000);
  ASSERT_TRUE(message.Seen());
  EXPECT_NE(message.Text().find(L"磁盘空间不足"), std::wstring::npos);
  ExpectIdleMenusAfterFailure();
  PumpFor(1000);  // no second message comes
  // The main window keeps the recording, marked with why it ended.
  wchar_t why[256] = L"";
  GetWindowTextW(form1().Face().Lines().front(), why, 256);
  EXPECT_EQ(std::wstring(why), L"磁盘空间不足，录制已停止。");

  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  ASSERT_GE(info.frames, 3);
  RegionFrames frames = DecodeRegion(avi, 0, 0, kPatternWidth, kPatternHeight);
  ASSERT_EQ(static_cast<long>(frames.frames.size()), info.frames);
  // The last frame is whole: the pattern's margin frames it on all four sides. (Its time
  // blocks may be torn by a capture during the pattern's repaint, as any frame's may.)
  const std::vector<uint8_t>& last = frames.frames.back();
  auto magenta = [&](int x, int y) {
    const uint8_t* p = &last[(static_cast<size_t>(y) * kPatternWidth + x) * 3];
    return p[0] > 200 && p[1] < 60 && p[2] > 200;
  };
  int wrong = 0;
  for (int x = 0; x < kPatternWidth; ++x) {
    wrong += !magenta(x, kMargin / 2);
    wrong += !magenta(x, kPatternHeight - 1 - kMargin / 2);
  }
  for (int y = 0; y < kPatternHeight; ++y) {
    wrong += !magenta(kMargin / 2, y);
    wrong += !magenta(kPatternWidth - 1 - kMargin / 2, y);
  }
  EXPECT_EQ(wrong, 0);
  const size_t n = frames.frames.size();
  EXPECT_TRUE(ReadTimeBlocks(last, kPatternWidth, kPatternHeight, kMargin, kMargin) ||
              ReadTimeBlocks(frames.frames[n - 2], kPatternWidth, kPatternHeight, kMargin, kMargin))
      << "neither of the last two frames shows a readable time";
}

// A drive filled by another program while the recording was paused: the stop cannot put down
// the file's last index (300 slots need more than the page left), and says so as a full disk
// stopping a recording does; the file plays every frame it got.
TEST_F(AppTest, AStopThatCannotFinishTheFileSaysWhy) {
  SmallDrive drive("8m");
  if (!drive.mounted) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  form1().x0 = kPatternX;
  form1().y0 = kPatternY;
  form1().aviwidth = 64;
  form1().aviheight = 64;
  form2().recordareae->SetChecked(true);
  form2().CheckFrameRate(30);
  const std::wstring avi = drive.File(L"paused.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  // 300 slots at least: an index of 16 bytes a slot that needs more than one new page.
  PumpUntil([] { return form1().Session().ElapsedSeconds() >= 10.5; }, 30000);
  Command(form2().pause);
  ASSERT_TRUE(PumpUntil([] { return form1().Session().Paused(); }, 5000));
  PumpFor(1500);  // the writer commits what it has
  const int32_t frames = form1().Session().FrameCount();
  drive.Fill();

  DialogWatcher message(
      tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 30000);
  Command(form2().done);
  ASSERT_TRUE(PumpUntil([&] { return message.Seen(); }, 30000)) << "the stop said nothing";
  EXPECT_NE(message.Text().find(L"磁盘空间不足"), std::wstring::npos) << Utf8(message.Text());
  EXPECT_NE(message.Text().find(avi), std::wstring::npos) << Utf8(message.Text());
  EXPECT_FALSE(form1().Recording());
  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_EQ(static_cast<long>(info.packetPts.size()), frames);
}

// Frames go to the writer from memory: the temporary bitmap, written once as the format
// template, may be locked by someone else during the recording without a message or a lost
// frame.
TEST_F(AppTest, ALockedTemporaryBitmapDoesNotDisturbTheRecording) {
  const std::wstring avi = Path(L"locked.avi");
  StartViaCommand(avi);
  ASSERT_TRUE(form1().Recording());
  HANDLE lock = CreateFileW(form1().TempBitmapPath().c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const int32_t before = form1().Session().FrameCount();
  EXPECT_TRUE(PumpUntil([&] { return form1().Session().FrameCount() >= before + 8; }, 10000));
  EXPECT_EQ(FindDialog(tk::AppTitle()), nullptr) << "a message came";
  CloseHandle(lock);
  form1().stop_click();
  ProbeInfo info = Probe(avi);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_GE(info.frames, 8);
}
