#include "recorder/capture/followed_window.h"

#include "toolkit/screen.h"
#include "toolkit/window_frame.h"

namespace orvik {

void FollowedWindow::Follow(HWND window, const FollowedFrame& picked) {
  window_ = window;
  picked_ = picked;
  screen_ = ScreenRect{0, 0, tk::ScreenWidthPixels(), tk::ScreenHeightPixels()};
  closed_ = false;
}

FollowedCopy FollowedWindow::Now() {
  RECT frame{};
  FollowedWindowState state = FollowedWindowState::Shown;
  if (closed_ || !IsWindow(window_)) {
    closed_ = true;
    state = FollowedWindowState::Closed;
  } else if (!tk::ShowsOnScreen(window_) || !tk::VisibleFrame(window_, &frame)) {
    state = FollowedWindowState::Hidden;
  }
  return FollowedCopyAt(picked_, state,
                        ScreenRect{frame.left, frame.top, frame.right, frame.bottom}, screen_);
}

}  // namespace orvik
