// The frame window as it appears after start-up: placement, styles, region, the painted
// toolbar band, the title and the embedded panel; the single instance; the fade-in.
#include <cstdlib>

#include "e2e/frame_fixture.h"
#include "toolkit/screen.h"

using namespace testsupport;
using orvik::Form1;

namespace {
int Brightness(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c); }

// Pixels clearly darker than the skin (text) inside a screen rectangle.
int DarkPixels(const ScreenShot& shot, const RECT& r) {
  int n = 0;
  for (int y = r.top; y < r.bottom; ++y)
    for (int x = r.left; x < r.right; ++x) n += Brightness(shot.At(x, y)) < 300;
  return n;
}

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe(self);
  return exe.substr(0, exe.find_last_of(L"\\/")) + L"\\..\\..\\frame\\Orvik.exe";
}

bool ProcessHasVisibleWindow(DWORD pid) {
  struct Search {
    DWORD pid;
    bool found;
  } search{pid, false};
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        DWORD owner = 0;
        GetWindowThreadProcessId(h, &owner);
        if (owner == s->pid && IsWindowVisible(h)) s->found = true;
        return !s->found;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}
}  // namespace

TEST_F(FrameTest, StartsCentredWithoutCaptionButSizable) {
  const RECT r = Outer();
  const int w = r.right - r.left, h = r.bottom - r.top;
  EXPECT_EQ(r.left, (tk::ScreenWidthPixels() - w) / 2);
  EXPECT_EQ(r.top, (tk::ScreenHeightPixels() - h) / 2);
  const LONG style = GetWindowLongW(Frame(), GWL_STYLE);
  EXPECT_EQ(style & WS_CAPTION, 0);
  EXPECT_NE(style & WS_THICKFRAME, 0);
  // The window kept its size; what was caption is client area now.
  RECT client{};
  GetClientRect(Frame(), &client);
  RECT framed = client;
  AdjustWindowRectEx(&framed, static_cast<DWORD>(style), FALSE, 0);
  EXPECT_EQ(framed.right - framed.left, w);
  EXPECT_EQ(framed.bottom - framed.top, h);
  EXPECT_GT(client.bottom, 341);
  // The fade-in leaves an ordinary opaque window behind.
  EXPECT_EQ(GetWindowLongW(Frame(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
  EXPECT_TRUE(form1().LoadFinished());
  EXPECT_EQ(form1().BackColor(), RGB(240, 240, 240));
  EXPECT_EQ(form1().aviwidth, tk::ScreenWidthPixels());
  EXPECT_EQ(form1().aviheight, tk::ScreenHeightPixels());
  EXPECT_NE(form1().sysmenu, nullptr);
  EXPECT_FALSE(form1().temppath.empty());
}

TEST_F(FrameTest, RegionRoundsTheTopCornersOnly) {
  const RECT r = Outer();
  const int w = r.right - r.left, h = r.bottom - r.top;
  RECT client{};
  GetClientRect(Frame(), &client);
  const int top = (h - client.bottom) - 3;
  const RECT box = RegionBox();
  EXPECT_EQ(box.left, 4);
  EXPECT_EQ(box.top, top);
  EXPECT_EQ(box.right, w - 4);
  EXPECT_EQ(box.bottom, h - 3);
  EXPECT_FALSE(InRegion(4, top));
  EXPECT_FALSE(InRegion(w - 5, top));
  EXPECT_TRUE(InRegion(4, h - 4));
  EXPECT_TRUE(InRegion(w - 5, h - 4));

  // On the screen: the desktop shows through the rounded corners, not the square ones.
  const ScreenShot shot;
  const COLORREF desktop = shot.At(r.left - 20, r.top - 20);
  EXPECT_EQ(shot.At(r.left + 4, r.top + top), desktop);
  EXPECT_EQ(shot.At(r.right - 5, r.top + top), desktop);
  EXPECT_EQ(shot.At(r.left + 2, r.top + h / 2), desktop);  // the sizing frame is clipped
  EXPECT_NE(shot.At(r.left + 4, r.bottom - 4), desktop);
  EXPECT_NE(shot.At(r.right - 5, r.bottom - 4), desktop);
  EXPECT_NE(shot.At(r.left + w / 2, r.top + top), desktop);
}

TEST_F(FrameTest, ToolbarBandShowsTheGradientAndItsEdgeLine) {
  const ScreenShot shot;
  const int bandTop = 23, bandHeight = 28;  // 345 and 420 twips
  const COLORREF menu = GetSysColor(COLOR_MENU);
  EXPECT_EQ(form1().toolbarback.Point(1, 1), menu);
  const int row = bandTop + 3;  // below the right end's bulge, above the panel's strip
  EXPECT_EQ(shot.At(ClientPoint(40, row)), menu);  // 600 twips
  EXPECT_EQ(shot.At(ClientPoint(334, row)), RGB(201, 210, 236));
  EXPECT_EQ(shot.At(ClientPoint(400, row)), RGB(201, 210, 236));
  for (int x : {20, 120, 250, 380}) {
    EXPECT_EQ(shot.At(ClientPoint(x, bandTop + bandHeight - 1)), RGB(107, 153, 209)) << x;
  }
  // Half way the colour lies between its ends.
  const COLORREF mid = shot.At(ClientPoint(187, row));
  EXPECT_LE(GetRValue(mid), std::max<int>(GetRValue(menu), 201));
  EXPECT_GE(GetRValue(mid), std::min<int>(GetRValue(menu), 201));
  EXPECT_NE(mid, menu);
}

TEST_F(FrameTest, TitleIsCentredBetweenIconAndButtons) {
  Form1& f = form1();
  EXPECT_EQ(f.Label1.Caption(), L"Orvik 3.0");
  const double text = f.TextWidth(f.Label1.Caption());
  const double centred =
      (f.ScaleWidth() - f.rightcaption.Width() + 2 * f.leftcaption.Width() - text) / 2;
  EXPECT_EQ(f.Label1.Width(), text);  // as wide as its text
  EXPECT_NEAR(f.Label1.Left(), centred, 15);
  EXPECT_LE(f.Label1.Left() + f.Label1.Width(), f.rightcaption.Left());
  // The title is drawn: dark glyph pixels in the label's place on the screen.
  RECT label{};
  GetWindowRect(f.Label1.hWnd(), &label);
  EXPECT_GT(DarkPixels(ScreenShot(), label), 20);
  EXPECT_EQ(f.rightcaption.Left(), f.ScaleWidth() - f.rightcaption.Width() - 30);
  EXPECT_EQ(f.rightborder.Left(), f.ScaleWidth() - f.rightborder.Width() - 15);
  EXPECT_EQ(f.bottomborder.Top(), f.ScaleHeight() - f.bottomborder.Height());
}

TEST_F(FrameTest, NarrowWindowEndsALongTitleAtTheButtons) {
  Form1& f = form1();
  f.SetTitle(L"Orvik 3.0 - a title far longer than the caption has room for");
  PumpFor(100);
  EXPECT_EQ(f.Label1.Left() + f.Label1.Width(), f.rightcaption.Left());
  EXPECT_GT(f.Label1.Width(), f.TextWidth(L"Orvik 3.0 - a title far longer"));
  // It stays there as the window narrows.
  f.SetWidth(f.Width() - 600);
  PumpFor(100);
  EXPECT_EQ(f.Label1.Left() + f.Label1.Width(), f.rightcaption.Left());
}

TEST_F(FrameTest, PanelMenuSitsInTheToolbarBand) {
  HWND panel = form2().Handle();
  ASSERT_TRUE(panel);
  EXPECT_EQ(GetAncestor(panel, GA_PARENT), Frame());
  RECT bar{};
  ASSERT_TRUE(GetMenuItemRect(panel, GetMenu(panel), 0, &bar));
  RECT band{};
  GetWindowRect(form1().toolbarback.hWnd(), &band);
  EXPECT_GE(bar.top, band.top);
  EXPECT_LE(bar.bottom, band.bottom);
  // Both menu captions are drawn inside the band.
  RECT second{};
  ASSERT_TRUE(GetMenuItemRect(panel, GetMenu(panel), 1, &second));
  const ScreenShot shot;
  EXPECT_GT(DarkPixels(shot, bar), 20);
  EXPECT_GT(DarkPixels(shot, second), 20);
  // The borders lie above the panel and the bottom bar above them.
  HWND top = GetWindow(form1().bottomborder.hWnd(), GW_HWNDFIRST);
  EXPECT_EQ(top, form1().bottomborder.hWnd());
}

TEST_F(FrameTest, GripSitsOnePixelInsideTheRightEdge) {
  Form1& f = form1();
  const tk::Picture& bar = f.bottomborder.GetPicture();
  ASSERT_FALSE(bar.empty());
  const int right = static_cast<int>(f.ScaleWidth() / 15);
  const int barTop = static_cast<int>(f.bottomborder.Top() / 15);
  const ScreenShot shot;
  // The picture's last columns appear in the last columns but one of the client area.
  for (int dy : {5, 15, 22}) {
    for (int dx = 2; dx <= 8; ++dx) {
      EXPECT_EQ(shot.At(ClientPoint(right - 1 - dx, barTop + dy)),
                bar.PixelAt(bar.Width() - dx, dy))
          << dx << "," << dy;
    }
  }
}

TEST_F(FrameTest, SecondCopyEndsWithoutAWindowAndTheFirstStays) {
  std::wstring cmd = L"\"" + ProgramPath() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  // Late in a long run Wine once refused a start outright; a second try tells that apart from
  // a program that cannot start.
  bool started = false;
  DWORD error = 0;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    started = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                             &pi) != 0;
    if (!started) {
      error = GetLastError();
      Sleep(500);
    }
  }
  ASSERT_TRUE(started) << "CreateProcess failed, error " << error;
  bool sawWindow = false;
  const DWORD start = GetTickCount();
  while (WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT && GetTickCount() - start < 20000) {
    sawWindow = sawWindow || ProcessHasVisibleWindow(pi.dwProcessId);
    PumpFor(5);
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(pi.hProcess, &code);
  if (code == STILL_ACTIVE) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u);
  EXPECT_FALSE(sawWindow);
  EXPECT_TRUE(form1().IsLoaded());
  EXPECT_TRUE(IsWindowVisible(Frame()));
}

TEST_F(FrameTest, MinimizingChangesNeitherLayoutNorRegion) {
  Form1& f = form1();
  const RECT box = RegionBox();
  const double captionLeft = f.rightcaption.Left(), barTop = f.bottomborder.Top();
  f.SetWindowState(tk::kStateMinimized);
  PumpFor(200);
  ASSERT_TRUE(IsIconic(Frame()));
  const RECT minimized = RegionBox();
  EXPECT_EQ(minimized.right, box.right);
  EXPECT_EQ(minimized.bottom, box.bottom);
  EXPECT_EQ(f.rightcaption.Left(), captionLeft);
  EXPECT_EQ(f.bottomborder.Top(), barTop);
  f.SetWindowState(tk::kStateNormal);
  PumpFor(200);
  EXPECT_EQ(RegionBox().right, box.right);
}
