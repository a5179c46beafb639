// The frame window's own costs: start-up (with the 256-round fade-in on its own) and one
// resize (region, layout, grip), which runs on every step of a sizing drag.
#include <windows.h>

#include <chrono>
#include <cstdio>

#include "frame/form1.h"
#include "frame/forms.h"

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point g_shown;
HHOOK g_hook = nullptr;

double MsSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

LRESULT CALLBACK NoteFirstShow(int code, WPARAM wParam, LPARAM lParam) {
  const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && m->message == WM_SHOWWINDOW && m->wParam &&
      m->hwnd == form1().Handle() && g_shown == Clock::time_point()) {
    g_shown = Clock::now();
  }
  return CallNextHookEx(g_hook, code, wParam, lParam);
}

void Pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

}  // namespace

int main() {
  g_hook = SetWindowsHookExW(WH_CALLWNDPROC, NoteFirstShow, nullptr, GetCurrentThreadId());
  const auto start = Clock::now();
  if (!form1().Create()) return 1;
  const double load = MsSince(start);
  const double fade = std::chrono::duration<double, std::milli>(Clock::now() - g_shown).count();
  UnhookWindowsHookEx(g_hook);
  std::printf("start-up (load event, fade-in included): %.1f ms\n", load);
  std::printf("fade-in (first show to end of load, 256 rounds): %.1f ms\n", fade);

  orvik::Form1& f = form1();
  Pump();
  constexpr int kResizes = 500;
  const double w = f.Width();
  const auto t = Clock::now();
  for (int i = 0; i < kResizes; ++i) f.SetWidth(w + (i % 2 ? 0 : 15 * 40));
  const double perResize = MsSince(t) / kResizes;
  Pump();
  std::printf("one resize (region, layout, grip), mean of %d: %.2f ms\n", kResizes, perResize);
  f.Unload();
  return 0;
}
