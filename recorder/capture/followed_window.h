#pragma once
// The window a recording follows, looked at once a frame: where its frame is to be taken now.
#include <windows.h>

#include "recorder/capture/followed_area.h"

namespace orvik {

class FollowedWindow {
 public:
  // Follows `window` (another program's: not owned) from now on; null follows nothing.
  void Follow(HWND window, const FollowedFrame& picked);
  bool Active() const { return window_ != nullptr; }
  // What this frame takes (see FollowedCopyAt). A closed window stays closed: its handle may
  // later name another window.
  FollowedCopy Now();
  bool Closed() const { return closed_; }

 private:
  HWND window_ = nullptr;
  FollowedFrame picked_;
  ScreenRect screen_;
  bool closed_ = false;
};

}  // namespace orvik
