#include "e2e/frame_fixture.h"

#include "toolkit/handles.h"
#include "toolkit/screen.h"

namespace testsupport {

void FrameTest::SetUp() {
  ASSERT_TRUE(form1().Create());
  PumpFor(300);
}

void FrameTest::TearDown() {
  if (form1().IsLoaded() && form1().Recording()) form1().stop_click();
  ClipCursor(nullptr);
}

RECT FrameTest::Outer() {
  RECT r{};
  GetWindowRect(Frame(), &r);
  return r;
}

POINT FrameTest::ClientPoint(int x, int y) {
  POINT p{x, y};
  ClientToScreen(Frame(), &p);
  return p;
}

POINT FrameTest::CentreOf(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

RECT FrameTest::RegionBox() {
  tk::UniqueRgn rgn(CreateRectRgn(0, 0, 0, 0));
  RECT box{};
  if (GetWindowRgn(Frame(), rgn.get()) != ERROR) GetRgnBox(rgn.get(), &box);
  return box;
}

bool FrameTest::InRegion(int x, int y) {
  tk::UniqueRgn rgn(CreateRectRgn(0, 0, 0, 0));
  return GetWindowRgn(Frame(), rgn.get()) != ERROR && PtInRegion(rgn.get(), x, y);
}

ScreenShot::ScreenShot() {
  const int w = tk::ScreenWidthPixels(), h = tk::ScreenHeightPixels();
  image_ = tk::Picture::Solid(w, h, 0);
  tk::WindowDc screen(nullptr);
  tk::UniqueMemDc dc(CreateCompatibleDC(screen.get()));
  tk::SelectGuard select(dc.get(), image_.handle());
  BitBlt(dc.get(), 0, 0, w, h, screen.get(), 0, 0, SRCCOPY);
}

PopupWatch::PopupWatch(DWORD timeoutMs, UINT chooseCommand)
    : thread_([=] { Run(timeoutMs, chooseCommand); }) {}

PopupWatch::~PopupWatch() {
  if (thread_.joinable()) thread_.join();
}

bool PopupWatch::PumpUntilDone() {
  PumpUntil([this] { return done_.load(); }, 30000);
  if (thread_.joinable()) thread_.join();
  return opened_;
}

void PopupWatch::Run(DWORD timeoutMs, UINT chooseCommand) {
  const DWORD start = GetTickCount();
  HWND popup = nullptr;
  while (!(popup = VisiblePopupMenu()) && GetTickCount() - start < timeoutMs) Sleep(10);
  if (popup) {
    openedAfter_ = GetTickCount() - start;
    GetWindowRect(popup, &where_);
    opened_ = true;
    Sleep(200);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0));
    RECT item{};
    bool found = false;
    for (int i = 0; chooseCommand && menu && i < GetMenuItemCount(menu); ++i) {
      if (GetMenuItemID(menu, i) == chooseCommand) {
        found = GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &item) != 0;
        break;
      }
    }
    if (found) {
      ClickAt((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    } else {
      Xdo("key Escape");
    }
    const DWORD closing = GetTickCount();
    while (VisiblePopupMenu() && GetTickCount() - closing < 3000) Sleep(20);
    CloseLeftOpenMenu();
  }
  done_ = true;
}

}  // namespace testsupport
