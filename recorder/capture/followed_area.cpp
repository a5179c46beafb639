#include "recorder/capture/followed_area.h"

#include <algorithm>

namespace orvik {

namespace {
ScreenRect Intersection(const ScreenRect& a, const ScreenRect& b) {
  ScreenRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
               std::min(a.bottom, b.bottom)};
  if (r.right <= r.left || r.bottom <= r.top) return ScreenRect{};
  return r;
}
}  // namespace

FollowedCopy FollowedCopyAt(const FollowedFrame& picked, FollowedWindowState state,
                            const ScreenRect& window, const ScreenRect& screen) {
  FollowedCopy copy;
  if (state != FollowedWindowState::Shown) {
    copy.kind =
        state == FollowedWindowState::Closed ? FollowedCopy::Kind::End : FollowedCopy::Kind::Hold;
    return copy;
  }
  // 64-bit sums: a window may report any coordinates.
  const int64_t left = static_cast<int64_t>(window.left) + picked.offsetX;
  const int64_t top = static_cast<int64_t>(window.top) + picked.offsetY;
  const auto clamp = [](int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, INT32_MIN / 2, INT32_MAX / 2));
  };
  copy.frame = CaptureArea{clamp(left), clamp(top), picked.width, picked.height};
  // A window made larger is cut at the frame; one made smaller leaves the rest black.
  const ScreenRect frameRect{copy.frame.x0, copy.frame.y0, clamp(left + picked.width),
                             clamp(top + picked.height)};
  const ScreenRect taken = Intersection(Intersection(frameRect, window), screen);
  if (taken.right > taken.left) {
    copy.source =
        CaptureArea{taken.left, taken.top, taken.right - taken.left, taken.bottom - taken.top};
    copy.destX = taken.left - copy.frame.x0;
    copy.destY = taken.top - copy.frame.y0;
  }
  copy.fillsFrame = copy.source.width == picked.width && copy.source.height == picked.height;
  return copy;
}

FollowedFrame FollowedFrameAtPick(const ScreenRect& window, const ScreenRect& screen) {
  const ScreenRect shown = Intersection(window, screen);
  return FollowedFrame{shown.left - window.left, shown.top - window.top, shown.right - shown.left,
                       shown.bottom - shown.top};
}

}  // namespace orvik
