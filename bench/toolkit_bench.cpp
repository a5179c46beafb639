// Figures for the toolkit's per-frame paths: saving the frame layer, painting a screen-sized
// picture into it, and how fast timers tick. Prints numbers; asserts nothing.
//   toolkit_bench [width height]   (default 1920 1080)
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "toolkit/app.h"
#include "toolkit/form.h"
#include "toolkit/picturebox.h"
#include "toolkit/screen.h"
#include "toolkit/timer.h"
#include "toolkit/window_testing.h"

using toolkit_testing::GdiObjects;

namespace {

struct Stats {
  double median = 0, p95 = 0, max = 0;
};

Stats Summarise(std::vector<double> ms) {
  std::sort(ms.begin(), ms.end());
  Stats s;
  s.median = ms[ms.size() / 2];
  s.p95 = ms[ms.size() * 95 / 100];
  s.max = ms.back();
  return s;
}

template <typename F>
Stats Time(int runs, F f) {
  std::vector<double> ms;
  for (int i = 0; i < runs; ++i) {
    const double t0 = tk::MonotonicSeconds();
    f(i);
    ms.push_back((tk::MonotonicSeconds() - t0) * 1000);
  }
  return Summarise(ms);
}

void Print(const char* what, const Stats& s) {
  std::printf("%-44s median %7.2f ms  p95 %7.2f ms  max %7.2f ms\n", what, s.median, s.p95, s.max);
}

void PumpFor(double seconds) {
  const double end = tk::MonotonicSeconds() + seconds;
  while (tk::MonotonicSeconds() < end) {
    tk::DoEvents();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
  }
}

int TicksPerSecondOfTkTimer(uint32_t interval) {
  tk::Timer t;
  int ticks = 0;
  t.onTimer = [&] { ++ticks; };
  t.SetInterval(interval);
  PumpFor(1.0);
  return ticks;
}

int TicksPerSecondOfWindowTimer(UINT interval) {
  int ticks = 0;
  MSG msg;
  const UINT_PTR id = SetTimer(nullptr, 0, interval, nullptr);
  const double end = tk::MonotonicSeconds() + 1.0;
  while (tk::MonotonicSeconds() < end) {
    if (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_TIMER) ++ticks;
      DispatchMessageW(&msg);
    } else {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
  }
  KillTimer(nullptr, id);
  return ticks;
}

}  // namespace

int main(int argc, char** argv) {
  const int width = argc > 2 ? std::atoi(argv[1]) : 1920;
  const int height = argc > 2 ? std::atoi(argv[2]) : 1080;
  std::printf("frame %d x %d, 32-bit layer (%.1f MB per BMP)\n", width, height,
              (54.0 + width * 4.0 * height) / 1e6);

  tk::Form form(tk::FormOptions::Sizable(L"bench", 6000, 4000));
  form.hWnd();
  tk::PictureBox box;
  box.Create(form.hWnd(), 0, 0, width * 15.0, height * 15.0);
  box.SetBackColor(0);
  tk::Picture screen = tk::Picture::Solid(width, height, RGB(30, 90, 200));

  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring path = std::wstring(temp) + L"toolkit_bench.bmp";

  const int gdiBefore = GdiObjects();
  Print("SaveLayerAsBmp (one write, no copy)", Time(60, [&](int) { box.SaveLayerAsBmp(path); }));
  Print("Image() then Picture::SaveBmp", Time(20, [&](int) { box.Image().SaveBmp(path); }));
  Print("PaintPicture 1:1 whole frame",
        Time(60, [&](int) { box.PaintPicture(screen, 0, 0, width * 15.0, height * 15.0); }));
  Print("PaintPicture scaled to 3/4",
        Time(30, [&](int) { box.PaintPicture(screen, 0, 0, width * 11.25, height * 11.25); }));
  Print("SetPicture (clipboard path)", Time(30, [&](int) { box.SetPicture(screen); }));
  Print("Screen BitBlt into the layer", Time(60, [&](int) {
          HDC dc = GetDC(nullptr);
          BitBlt(box.hDC(), 0, 0, width, height, dc, 0, 0, SRCCOPY);
          ReleaseDC(nullptr, dc);
        }));
  std::printf("GDI objects before %d, after all frames %d\n", gdiBefore, GdiObjects());

  timeBeginPeriod(1);
  std::printf("tk::Timer interval 1:   %d ticks/s\n", TicksPerSecondOfTkTimer(1));
  std::printf("tk::Timer interval 7:   %d ticks/s\n", TicksPerSecondOfTkTimer(7));
  std::printf("tk::Timer interval 100: %d ticks/s\n", TicksPerSecondOfTkTimer(100));
  std::printf("SetTimer interval 1:    %d ticks/s (window timer, for comparison)\n",
              TicksPerSecondOfWindowTimer(1));
  timeEndPeriod(1);
  DeleteFileW(path.c_str());
  return 0;
}
