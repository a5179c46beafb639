#include "toolkit/form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "window_testing.h"

using namespace toolkit_testing;

namespace {

struct MouseEvent {
  char kind;  // 'd' down, 'm' move, 'u' up
  int button, shift;
  float x, y;
};

// A form that records every event it gets.
class ProbeForm : public tk::Form {
 public:
  using tk::Form::Form;
  int loads = 0, unloads = 0, resizes = 0, activates = 0, paints = 0, dblClicks = 0;
  int cancelUnload = 0;
  int stateSeenByResize = -1;
  bool consumeAltSpace = true;
  std::vector<std::pair<int, int>> keys;
  std::vector<MouseEvent> mouse;

 protected:
  void Form_Load() override { ++loads; }
  void Form_Unload(int& cancel) override {
    ++unloads;
    cancel = cancelUnload;
  }
  void Form_Resize() override {
    ++resizes;
    stateSeenByResize = WindowState();
  }
  void Form_Activate() override { ++activates; }
  void Form_Paint() override { ++paints; }
  void Form_DblClick() override { ++dblClicks; }
  void Form_KeyDown(int& keyCode, int shift) override {
    keys.emplace_back(keyCode, shift);
    if (consumeAltSpace && keyCode == VK_SPACE && shift == tk::kAltMask) keyCode = 0;
  }
  void Form_MouseDown(int b, int s, float x, float y) override {
    mouse.push_back({'d', b, s, x, y});
  }
  void Form_MouseMove(int b, int s, float x, float y) override {
    mouse.push_back({'m', b, s, x, y});
  }
  void Form_MouseUp(int b, int s, float x, float y) override { mouse.push_back({'u', b, s, x, y}); }
};

tk::FormOptions ProbeOptions() {
  tk::FormOptions o = tk::FormOptions::Sizable(L"Probe 录制", 6240, 5115);
  o.left = 1500;
  o.top = 1200;
  return o;
}

// A visible popup menu window (class #32768) of this process, e.g. the system menu.
HWND VisiblePopupMenu() {
  struct Ctx {
    HWND found = nullptr;
  } ctx;
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        wchar_t cls[16] = {};
        GetClassNameW(h, cls, 16);
        DWORD pid = 0;
        GetWindowThreadProcessId(h, &pid);
        if (pid == GetCurrentProcessId() && IsWindowVisible(h) && std::wstring(cls) == L"#32768") {
          reinterpret_cast<Ctx*>(lp)->found = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

void Key(BYTE vk, bool down) { keybd_event(vk, 0, down ? 0 : KEYEVENTF_KEYUP, 0); }

void Focus(HWND h) {
  SetForegroundWindow(h);
  SetFocus(h);
  PumpFor(50);
}

}  // namespace

TEST(Form, LoadsOnFirstReferenceAndUnloadsUnlessCancelled) {
  ProbeForm f(ProbeOptions());
  EXPECT_FALSE(f.IsLoaded());
  EXPECT_EQ(f.loads, 0);
  HWND h = f.hWnd();
  ASSERT_TRUE(h);
  EXPECT_EQ(f.hWnd(), h);
  EXPECT_EQ(f.loads, 1);
  EXPECT_FALSE(IsWindowVisible(h));  // loading does not show
  f.Show();
  EXPECT_TRUE(f.Visible());

  f.cancelUnload = 1;
  EXPECT_FALSE(f.Unload());
  EXPECT_TRUE(IsWindow(h));
  SendMessageW(h, WM_CLOSE, 0, 0);  // a close goes through the same handler
  EXPECT_EQ(f.unloads, 2);
  EXPECT_TRUE(IsWindow(h));

  f.cancelUnload = 0;
  SendMessageW(h, WM_CLOSE, 0, 0);
  EXPECT_EQ(f.unloads, 3);
  EXPECT_FALSE(IsWindow(h));
  EXPECT_FALSE(f.IsLoaded());
  EXPECT_TRUE(f.Unload());  // nothing left to unload

  ASSERT_TRUE(f.hWnd());  // the next reference loads it again
  EXPECT_EQ(f.loads, 2);
}

TEST(Form, GeometryInTwipsRoundTrips) {
  ProbeForm f(ProbeOptions());
  f.Show();
  EXPECT_EQ(f.ScaleWidth(), 6240);
  EXPECT_EQ(f.ScaleHeight(), 5115);
  EXPECT_EQ(f.Left(), 1500);
  EXPECT_EQ(f.Top(), 1200);
  const double frameW = f.Width() - f.ScaleWidth();
  const double frameH = f.Height() - f.ScaleHeight();
  EXPECT_GT(frameW, 0);
  EXPECT_GT(frameH, 0);

  f.Move(3000, 2250, 9000, 7500);
  EXPECT_EQ(f.Left(), 3000);
  EXPECT_EQ(f.Top(), 2250);
  EXPECT_EQ(f.Width(), 9000);
  EXPECT_EQ(f.Height(), 7500);
  EXPECT_EQ(f.ScaleWidth(), 9000 - frameW);

  // Twips that are not whole pixels round half to even: 1522.5 is 101.5 px -> 102.
  f.Move(1522.5, 37.5);
  EXPECT_EQ(f.Left(), 102 * 15);
  EXPECT_EQ(f.Top(), 2 * 15);  // 2.5 px -> 2
  f.SetWidth(20000);           // 1333.3 px -> 1333
  EXPECT_EQ(f.Width(), 1333 * 15);

  f.SetCaption(L"Flame:25 Second:3.5");
  EXPECT_EQ(f.Caption(), L"Flame:25 Second:3.5");
  wchar_t text[64] = {};
  GetWindowTextW(f.hWnd(), text, 64);
  EXPECT_STREQ(text, L"Flame:25 Second:3.5");
}

TEST(Form, WindowStatesAndResizeEvents) {
  ProbeForm f(ProbeOptions());
  f.hWnd();
  EXPECT_EQ(f.resizes, 0);  // sizes sent while the window is made come before the load
  f.Show();
  PumpFor(50);
  EXPECT_GE(f.resizes, 1);  // a form is laid out when it first appears
  EXPECT_EQ(f.WindowState(), tk::kStateNormal);

  const double width = f.Width();
  f.SetWindowState(tk::kStateMaximized);
  EXPECT_TRUE(IsZoomed(f.hWnd()));
  EXPECT_EQ(f.WindowState(), tk::kStateMaximized);
  EXPECT_EQ(f.stateSeenByResize, tk::kStateMaximized);

  f.resizes = 0;
  f.SetWindowState(tk::kStateMinimized);
  EXPECT_TRUE(IsIconic(f.hWnd()));
  EXPECT_EQ(f.WindowState(), tk::kStateMinimized);
  EXPECT_GE(f.resizes, 1);
  EXPECT_EQ(f.stateSeenByResize, tk::kStateMinimized);

  f.SetWindowState(tk::kStateNormal);
  EXPECT_EQ(f.WindowState(), tk::kStateNormal);
  EXPECT_EQ(f.Width(), width);

  // A hidden form keeps a chosen state until it is shown.
  f.Hide();
  EXPECT_FALSE(f.Visible());
  f.SetWindowState(tk::kStateMaximized);
  EXPECT_FALSE(f.Visible());
  EXPECT_EQ(f.WindowState(), tk::kStateMaximized);
  f.Show();
  EXPECT_TRUE(IsZoomed(f.hWnd()));
}

TEST(Form, BackColorPaintsTheClientArea) {
  tk::FormOptions o = ProbeOptions();
  o.backColor = RGB(240, 240, 240);
  ProbeForm f(o);
  f.Show();
  f.Refresh();
  PumpFor(50);
  EXPECT_EQ(ShownPixel(f.hWnd(), 10, 10), RGB(240, 240, 240));
  f.SetBackColor(RGB(200, 10, 30));
  f.Refresh();
  EXPECT_EQ(f.BackColor(), RGB(200, 10, 30));
  EXPECT_EQ(ShownPixel(f.hWnd(), 10, 10), RGB(200, 10, 30));
  EXPECT_GE(f.paints, 1);
}

TEST(Form, AltSpaceArrivesAsKeyDownAndConsumingItKeepsTheSystemMenuShut) {
  ProbeForm f(ProbeOptions());
  f.Show();
  Focus(f.hWnd());
  // If the system menu opened anyway its modal loop would hold the test: close it then.
  std::atomic<bool> done{false};
  std::atomic<bool> menuSeen{false};
  std::thread watcher([&] {
    for (int i = 0; i < 150 && !done; ++i) {
      Sleep(10);
      if (VisiblePopupMenu()) {
        menuSeen = true;
        Key(VK_ESCAPE, true);
        Key(VK_ESCAPE, false);
      }
    }
  });
  Key(VK_MENU, true);
  Key(VK_SPACE, true);
  Key(VK_SPACE, false);
  Key(VK_MENU, false);
  PumpFor(400);
  done = true;
  watcher.join();
  ASSERT_FALSE(f.keys.empty());
  EXPECT_NE(std::find(f.keys.begin(), f.keys.end(), std::make_pair(32, int{tk::kAltMask})),
            f.keys.end());
  EXPECT_FALSE(menuSeen);

  f.keys.clear();
  Key(VK_CONTROL, true);
  Key(VK_MENU, true);
  Key(VK_SPACE, true);
  Key(VK_SPACE, false);
  Key(VK_MENU, false);
  Key(VK_CONTROL, false);
  PumpFor(200);
  EXPECT_NE(
      std::find(f.keys.begin(), f.keys.end(), std::make_pair(32, tk::kAltMask | tk::kCtrlMask)),
      f.keys.end());
}

TEST(Form, MouseEventsCarryTwipsButtonsAndKeepCaptureWhileDragging) {
  ProbeForm f(ProbeOptions());
  f.Show();
  Focus(f.hWnd());
  POINT origin{0, 0};
  ClientToScreen(f.hWnd(), &origin);
  SetCursorPos(origin.x + 10, origin.y + 20);
  PumpFor(50);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  PumpFor(50);
  SetCursorPos(origin.x - 30, origin.y + 40);  // outside the window, still dragging
  PumpFor(50);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  PumpFor(50);

  const MouseEvent* down = nullptr;
  const MouseEvent* up = nullptr;
  const MouseEvent* dragOutside = nullptr;
  for (const MouseEvent& e : f.mouse) {
    if (e.kind == 'd' && !down) down = &e;
    if (e.kind == 'u') up = &e;
    if (e.kind == 'm' && e.button == tk::kLeftButton && e.x < 0) dragOutside = &e;
  }
  ASSERT_TRUE(down);
  EXPECT_EQ(down->button, tk::kLeftButton);
  EXPECT_EQ(down->shift, 0);
  EXPECT_EQ(down->x, 150);
  EXPECT_EQ(down->y, 300);
  ASSERT_TRUE(dragOutside);  // captured: moves outside still arrive
  EXPECT_EQ(dragOutside->x, -450);
  EXPECT_EQ(dragOutside->y, 600);
  ASSERT_TRUE(up);
  EXPECT_EQ(up->button, tk::kLeftButton);
  EXPECT_EQ(up->x, -450);
  EXPECT_NE(GetCapture(), f.hWnd());  // released with the last button

  // A right press with Shift held.
  f.mouse.clear();
  SetCursorPos(origin.x + 5, origin.y + 5);
  Key(VK_SHIFT, true);
  mouse_event(MOUSEEVENTF_RIGHTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_RIGHTUP, 0, 0, 0, 0);
  Key(VK_SHIFT, false);
  PumpFor(50);
  bool rightDown = false;
  for (const MouseEvent& e : f.mouse) {
    if (e.kind == 'd') {
      rightDown = true;
      EXPECT_EQ(e.button, tk::kRightButton);
      EXPECT_EQ(e.shift, tk::kShiftMask);
    }
  }
  EXPECT_TRUE(rightDown);

  // A double click.
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTDOWN, 0, 0, 0, 0);
  mouse_event(MOUSEEVENTF_LEFTUP, 0, 0, 0, 0);
  PumpFor(50);
  EXPECT_EQ(f.dblClicks, 1);
}

TEST(Form, BorderlessPopupCoversTheScreenFromItsOrigin) {
  ProbeForm f(tk::FormOptions::BorderlessPopup());
  f.Show();
  EXPECT_EQ(f.Left(), 0);
  EXPECT_EQ(f.Top(), 0);
  EXPECT_EQ(f.ScaleWidth(), tk::ScreenWidthTwips());
  EXPECT_EQ(f.ScaleHeight(), tk::ScreenHeightTwips());
  EXPECT_EQ(f.Width(), f.ScaleWidth());
  POINT origin{0, 0};
  ClientToScreen(f.hWnd(), &origin);
  EXPECT_EQ(origin.x, 0);
  EXPECT_EQ(origin.y, 0);
}

TEST(Form, ReparentedFormReportsPositionInsideItsHost) {
  ProbeForm host(ProbeOptions());
  ProbeForm guest(tk::FormOptions::Sizable(L"guest", 3000, 1500));
  host.Show();
  guest.hWnd();
  SetParent(guest.hWnd(), host.hWnd());
  guest.Move(60, 420);
  guest.Show();
  EXPECT_EQ(guest.Left(), 60);
  EXPECT_EQ(guest.Top(), 420);
  EXPECT_EQ(GetAncestor(guest.hWnd(), GA_PARENT), host.hWnd());
  // Unloading the host takes the guest's window with it; the guest object notices.
  EXPECT_TRUE(host.Unload());
  EXPECT_FALSE(guest.IsLoaded());
}
