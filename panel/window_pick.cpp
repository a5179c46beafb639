#include "panel/window_pick.h"

#include <algorithm>

#include "toolkit/window_frame.h"

namespace orvik {

namespace {
struct Listing {
  std::vector<PickableWindow>* windows;
  RECT screen;
};

// EnumWindows goes from the top of the Z order down.
BOOL CALLBACK AddIfPickable(HWND window, LPARAM param) {
  Listing& list = *reinterpret_cast<Listing*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() || !tk::ShowsOnScreen(window)) return TRUE;
  // A window clicks go through (another program's overlay or marker) is not what is pointed at.
  if (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TRANSPARENT) return TRUE;
  RECT frame{}, shown{};
  if (!tk::VisibleFrame(window, &frame) || !IntersectRect(&shown, &frame, &list.screen))
    return TRUE;
  list.windows->push_back({window, PixelRect{shown.left, shown.top, shown.right, shown.bottom}});
  return TRUE;
}
}  // namespace

std::vector<PickableWindow> PickableWindows(int screenWidth, int screenHeight) {
  std::vector<PickableWindow> windows;
  Listing list{&windows, RECT{0, 0, screenWidth, screenHeight}};
  EnumWindows(AddIfPickable, reinterpret_cast<LPARAM>(&list));
  return windows;
}

const PickableWindow* WindowAt(const std::vector<PickableWindow>& windows, int x, int y) {
  const auto hit = std::find_if(windows.begin(), windows.end(), [x, y](const PickableWindow& w) {
    return x >= w.frame.left && x < w.frame.right && y >= w.frame.top && y < w.frame.bottom;
  });
  return hit == windows.end() ? nullptr : &*hit;
}

}  // namespace orvik
