// "follow": an 800 x 450 part of the scene's window recorded as a plain area and as a followed
// window, while the bench moves the window every second.
#include <windows.h>

#include <cstdio>

#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "recorder/capture/followed_window.h"
#include "recording.h"
#include "scenarios.h"
#include "toolkit/screen.h"

namespace capture_bench {
namespace {

// Where a followed window is now, as a tick asks it: CPU a look.
constexpr int kFollowLooks = 2000;
double FollowLookMs(HWND window, const orvik::FollowedFrame& frame) {
  orvik::FollowedWindow followed;
  followed.Follow(window, frame);
  const double cpu0 = ProcessCpuSeconds();
  for (int i = 0; i < kFollowLooks; ++i) followed.Now();
  return (ProcessCpuSeconds() - cpu0) * 1000 / kFollowLooks;
}

// Moves the scene's window by 200 px and back, a move each call. Asked of the window's own thread
// (SWP_ASYNCWINDOWPOS posts the request), so the move's work is the scene's, not this process's;
// an X-side move (xdotool windowmove) would not do, as this Wine does not see it.
HWND g_movedScene = nullptr;
void CALLBACK MoveTheScene(HWND, UINT, UINT_PTR, DWORD) {
  static bool aside = false;
  aside = !aside;
  SetWindowPos(g_movedScene, nullptr, aside ? -200 : 0, 0, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
}

}  // namespace

// The same 800 x 450 part of the scene's window recorded as a plain area and as a followed
// window, back to back, while the window moves every second through both (so what the moves
// cost the servers and the scene is in both): what following costs a frame.
void CompareFollow(const Servers& servers, const std::wstring& dir) {
  HWND scene = FindWindowW(L"OrvikVideoScene", nullptr);
  if (!scene) scene = FindWindowW(L"OrvikDemoScene", nullptr);
  if (!scene) {
    std::printf("capture_bench follow: no scene window to follow\n");
    return;
  }
  const int w = 800, h = 450;
  const orvik::FollowedFrame frame{tk::ScreenWidthPixels() - w - 40, 100, w, h};
  orvik::Form1& f = form1();
  f.x0 = frame.offsetX, f.y0 = frame.offsetY, f.aviwidth = w, f.aviheight = h;
  f.followedFrame = frame;
  form2().recordareae->SetChecked(true);
  g_movedScene = scene;
  const UINT_PTR mover = SetTimer(nullptr, 0, 1000, MoveTheScene);
  const BothWays both = RecordBothWays(servers, dir + L"\\follow.avi", [&](int i) {
    form1().followedWindow = i == 1 ? scene : nullptr;
  });
  KillTimer(nullptr, mover);
  SetWindowPos(scene, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  const double lookMs = FollowLookMs(scene, frame);
  form2().recordareae->SetChecked(false);
  PrintBothWays("A window moved every second", "plain area", "followed", both, 0.3);
  std::printf("   (the look alone, as a tick makes it: %.4f ms, CPU over %d looks)\n", lookMs,
              kFollowLooks);
}

}  // namespace capture_bench
