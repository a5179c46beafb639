// The skin's title buttons with real clicks, and closing the program from every path.
#include "e2e/app_fixture.h"
#include "e2e/frame_fixture.h"
#include "recorder/output/avidecs.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

using namespace testsupport;
using orvik::Form1;

namespace {
bool Click(HWND control, int button = 1) {
  const POINT p = FrameTest::CentreOf(control);
  return ClickAt(p.x, p.y, button);
}

std::string At(int x, int y) { return std::to_string(x) + " " + std::to_string(y); }

// Presses the left button inside `control` and lets go at screen (x, y).
bool PressAndReleaseAt(HWND control, int x, int y) {
  const POINT p = FrameTest::CentreOf(control);
  return XdoWhilePumping("mousemove " + At(p.x, p.y) + " sleep 0.1 mousedown 1 sleep 0.2 " +
                         "mousemove " + At(x, y) + " sleep 0.2 mouseup 1 sleep 0.2");
}
}  // namespace

class FrameButtonsTest : public FrameTest {};

TEST_F(FrameButtonsTest, MaximizeAndRestoreSwapButtonsRegionAndPlacement) {
  Form1& f = form1();
  const RECT normal = Outer();
  EXPECT_TRUE(f.Button2.Visible());
  EXPECT_FALSE(f.Button4.Visible());

  ASSERT_TRUE(Click(f.Button2.hWnd()));
  ASSERT_TRUE(PumpUntil([] { return IsZoomed(Frame()) != 0; }, 3000));
  PumpFor(200);
  // The placement the frame asked for while maximizing: no taskbar here.
  const RECT max = Outer();
  const int taskbar = 0;
  EXPECT_EQ(max.left, -4);
  EXPECT_EQ(max.top, -4);
  EXPECT_EQ(max.right - max.left, tk::ScreenWidthPixels() + 8);
  EXPECT_EQ(max.bottom - max.top, tk::ScreenHeightPixels() - taskbar + 9);
  const RECT maxBox = RegionBox();
  EXPECT_EQ(maxBox.left, 1);
  EXPECT_EQ(maxBox.right, max.right - max.left - 1);
  EXPECT_EQ(maxBox.bottom, max.bottom - max.top - 1);
  EXPECT_FALSE(f.Button2.Visible());
  EXPECT_TRUE(f.Button4.Visible());

  ASSERT_TRUE(Click(f.Button4.hWnd()));
  ASSERT_TRUE(PumpUntil([] { return !IsZoomed(Frame()); }, 3000));
  PumpFor(200);
  const RECT back = Outer();
  EXPECT_EQ(back.left, normal.left);
  EXPECT_EQ(back.top, normal.top);
  EXPECT_EQ(back.right, normal.right);
  EXPECT_EQ(back.bottom, normal.bottom);
  const RECT box = RegionBox();
  EXPECT_EQ(box.left, 4);
  EXPECT_EQ(box.right, normal.right - normal.left - 4);
  EXPECT_EQ(box.bottom, normal.bottom - normal.top - 3);
  EXPECT_TRUE(f.Button2.Visible());
  EXPECT_FALSE(f.Button4.Visible());
}

TEST_F(FrameButtonsTest, CaptionDoubleClickTogglesButNotOnTheSizingStrip) {
  const RECT normal = Outer();
  const POINT p = ClientPoint(100, 12);
  ASSERT_TRUE(XdoWhilePumping("mousemove " + At(p.x, p.y) +
                              " sleep 0.1 click --repeat 2 --delay 80 1 sleep 0.3"));
  ASSERT_TRUE(PumpUntil([] { return IsZoomed(Frame()) != 0; }, 3000));
  EXPECT_EQ(RegionBox().left, 1);
  // Maximized, the caption is all move zone (which does nothing): double click restores.
  ASSERT_TRUE(XdoWhilePumping("mousemove " + At(300, 8) +
                              " sleep 0.1 click --repeat 2 --delay 80 1 sleep 0.3"));
  ASSERT_TRUE(PumpUntil([] { return !IsZoomed(Frame()); }, 3000));
  EXPECT_EQ(Outer().left, normal.left);
  EXPECT_EQ(RegionBox().left, 4);

  // The top 3 pixels size instead; a double click there changes nothing.
  const POINT strip = ClientPoint(100, 1);
  ASSERT_TRUE(XdoWhilePumping("mousemove " + At(strip.x, strip.y) +
                              " sleep 0.1 click --repeat 2 --delay 80 1 sleep 0.3"));
  PumpFor(300);
  EXPECT_FALSE(IsZoomed(Frame()));
  // And while the band shows its sizing cursor the maximize button does nothing either.
  form1().backcaption.SetMousePointer(IDC_SIZENS);
  ASSERT_TRUE(Click(form1().Button2.hWnd()));
  PumpFor(300);
  EXPECT_FALSE(IsZoomed(Frame()));
}

TEST_F(FrameButtonsTest, MinimizeButtonMinimizes) {
  ASSERT_TRUE(Click(form1().Button1.hWnd()));
  EXPECT_TRUE(PumpUntil([] { return IsIconic(Frame()) != 0; }, 3000));
}

TEST_F(FrameButtonsTest, ReleaseOutsideOrOnTheEdgeOrWithTheRightButtonDoesNothing) {
  HWND close = form1().Button3.hWnd();
  RECT r{};
  GetWindowRect(close, &r);
  ASSERT_TRUE(PressAndReleaseAt(close, r.left - 30, r.top + 40));
  PumpFor(200);
  ASSERT_TRUE(form1().IsLoaded());
  // Exactly on the left edge: X = 0 is not inside.
  ASSERT_TRUE(PressAndReleaseAt(close, r.left, (r.top + r.bottom) / 2));
  PumpFor(200);
  ASSERT_TRUE(form1().IsLoaded());
  ASSERT_TRUE(Click(close, 3));
  PumpFor(200);
  ASSERT_TRUE(form1().IsLoaded());
  ASSERT_TRUE(Click(form1().Button2.hWnd(), 3));
  PumpFor(200);
  EXPECT_FALSE(IsZoomed(Frame()));
  ASSERT_TRUE(Click(form1().Button1.hWnd(), 3));
  PumpFor(200);
  EXPECT_FALSE(IsIconic(Frame()));
}

TEST_F(FrameButtonsTest, CloseButtonClosesTheProgram) {
  ASSERT_TRUE(Click(form1().Button3.hWnd()));
  EXPECT_TRUE(PumpUntil([] { return !form1().IsLoaded(); }, 3000));
  EXPECT_FALSE(form2().IsLoaded());
}

TEST_F(FrameButtonsTest, PanelCloseCommandClosesTheWholeProgram) {
  SendMessageW(form2().Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(PumpUntil([] { return !form1().IsLoaded(); }, 5000));
  EXPECT_FALSE(form2().IsLoaded());
}

TEST_F(FrameButtonsTest, PanelKeepsItsOtherSystemCommands) {
  const RECT before = Outer();
  SendMessageW(form2().Handle(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
  PumpFor(200);
  EXPECT_TRUE(form1().IsLoaded());
  EXPECT_TRUE(form2().IsLoaded());
  EXPECT_EQ(Outer().left, before.left);
}

TEST_F(FrameButtonsTest, AnyFrameCommandIsAlsoSentAsASystemCommand) {
  // A command id that is not a system command still goes through as one, harmlessly.
  SendMessageW(Frame(), WM_COMMAND, 0x1234, 0);
  PumpFor(100);
  EXPECT_TRUE(form1().IsLoaded());
  SendMessageW(Frame(), WM_COMMAND, SC_MAXIMIZE, 0);
  EXPECT_TRUE(PumpUntil([] { return IsZoomed(Frame()) && !form1().Button2.Visible(); }, 5000));
}

// Closing while start still asks, or while the area overlay is up, leaves nothing behind.

TEST_F(AppTest, CloseWhileTheSaveDialogIsOpenStartsNothing) {
  const std::wstring path = Path(L"closing.avi");
  DialogWatcher save(L"保存文件", [&](HWND h) {
    PostMessageW(form1().Handle(), WM_CLOSE, 0, 0);
    Sleep(300);
    SendMessageW(h, CDM_SETCONTROLTEXT, kFileNameBox, reinterpret_cast<LPARAM>(path.c_str()));
    PressButton(h, IDOK);
  });
  form2().start_Click();
  EXPECT_TRUE(save.Wait());
  EXPECT_TRUE(PumpUntil([] { return !form1().IsLoaded(); }, 5000));
  EXPECT_FALSE(form1().Session().Output().Accepting());
  EXPECT_FALSE(tk::FileExists(path));
  EXPECT_FALSE(form1().IsLoaded());
  EXPECT_FALSE(form2().IsLoaded());
}

TEST_F(AppTest, CloseWhileTheCodecDialogIsOpenLeavesNoWriterOrFile) {
  const std::wstring path = Path(L"closing.avi");
  DialogWatcher save(L"保存文件", [&](HWND h) {
    SendMessageW(h, CDM_SETCONTROLTEXT, kFileNameBox, reinterpret_cast<LPARAM>(path.c_str()));
    PressButton(h, IDOK);
  });
  DialogWatcher codec(L"Video Compression", [&](HWND h) {
    PostMessageW(form1().Handle(), WM_CLOSE, 0, 0);
    Sleep(300);
    HWND combo = GetDlgItem(h, kCodecComboId);
    const LRESULT i = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                   reinterpret_cast<LPARAM>(kCodecFullFrames));
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
    SendMessageW(h, WM_COMMAND, MAKEWPARAM(kCodecComboId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
    PressButton(h, IDOK);
  });
  form2().start_Click();
  EXPECT_TRUE(codec.Wait());
  EXPECT_TRUE(PumpUntil([] { return !form1().IsLoaded(); }, 5000));
  EXPECT_FALSE(form1().Recording());
  EXPECT_FALSE(form1().Session().Output().Accepting());
  EXPECT_FALSE(tk::FileExists(path));
  EXPECT_FALSE(form1().IsLoaded());
}

TEST_F(AppTest, CloseWhileTheOverlayConfinesThePointerFreesIt) {
  form2().recordareae_Click();
  ASSERT_TRUE(PumpUntil([] { return form3().IsLoaded() && form3().Visible(); }, 10000));
  PumpFor(300);
  ASSERT_TRUE(DragWithPointer(200, 200, 500, 400));
  RECT clip{};
  GetClipCursor(&clip);
  ASSERT_NE(clip.left, 0) << "the rectangle is not being placed";
  PostMessageW(form1().Handle(), WM_CLOSE, 0, 0);
  PumpFor(300);
  GetClipCursor(&clip);
  EXPECT_EQ(clip.left, 0);
  EXPECT_EQ(clip.top, 0);
  EXPECT_EQ(clip.right, tk::ScreenWidthPixels());
  EXPECT_EQ(clip.bottom, tk::ScreenHeightPixels());
  EXPECT_FALSE(form3().IsLoaded());
  EXPECT_FALSE(form1().IsLoaded());
}

TEST_F(AppTest, CloseButtonDuringARecordingAsksFirst) {
  StartViaCommand(Path(L"asked.avi"));
  ASSERT_TRUE(form1().Recording());
  form1().SetWindowState(tk::kStateNormal);
  PumpFor(300);
  {
    DialogWatcher no(L"", [](HWND h) { PressButton(h, IDNO); });
    ASSERT_TRUE(Click(form1().Button3.hWnd()));
    PumpUntil([&] { return no.Seen(); }, 5000);
    PumpFor(300);
    EXPECT_TRUE(no.Seen());
  }
  EXPECT_TRUE(form1().IsLoaded());
  EXPECT_TRUE(form1().Recording());
  {
    DialogWatcher yes(L"", [](HWND h) { PressButton(h, IDYES); });
    ASSERT_TRUE(Click(form1().Button3.hWnd()));
    PumpUntil([] { return !form1().IsLoaded(); }, 5000);
  }
  EXPECT_FALSE(form1().IsLoaded());
  const ProbeInfo info = Probe(Path(L"asked.avi"));
  EXPECT_TRUE(info.ok) << info.raw;
  EXPECT_GT(info.frames, 0);
}

TEST_F(AppTest, ResizingDuringARecordingKeepsTheFrameSurface) {
  const std::wstring path = Path(L"resized.avi");
  StartViaCommand(path);
  ASSERT_TRUE(form1().Recording());
  form1().SetWindowState(tk::kStateNormal);
  PumpFor(300);
  const double w = form1().Picture1.Width(), h = form1().Picture1.Height();
  EXPECT_EQ(w, tk::ScreenWidthTwips());
  EXPECT_EQ(h, tk::ScreenHeightTwips());
  RECT border{};
  GetWindowRect(form1().rightborder.hWnd(), &border);
  const RECT before = FrameTest::Outer();
  ASSERT_TRUE(
      DragWithPointer(border.left + 2, before.top + 150, border.left + 82, before.top + 150));
  PumpFor(300);
  EXPECT_EQ(FrameTest::Outer().right, before.right + 80);
  EXPECT_EQ(form1().rightborder.Left(), form1().ScaleWidth() - 75);
  EXPECT_EQ(form1().Picture1.Width(), w);
  EXPECT_EQ(form1().Picture1.Height(), h);
  PumpFor(500);
  form1().stop_click();
  const ProbeInfo info = Probe(path);
  ASSERT_TRUE(info.ok) << info.raw;
  EXPECT_EQ(info.width, tk::ScreenWidthPixels());
  EXPECT_EQ(info.height, tk::ScreenHeightPixels());
  EXPECT_GT(info.frames, 3);
  // After the recording the surface fits the window again on the next layout.
  form1().SetWidth(form1().Width() - 15);
  PumpFor(100);
  EXPECT_EQ(form1().Picture1.Width(), form1().rightborder.Left() - form1().Picture1.Left());
}
