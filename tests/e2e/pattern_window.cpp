// A test window that shows the time as a machine-readable row of blocks, so frames of a
// recording can be checked after decoding. Row 1: the performance-counter time in
// milliseconds (32 bits, most significant first, white = 1); row 2: the same bits inverted,
// so a frame captured in the middle of a repaint is recognised as torn. A bar below moves
// with the time, and a solid magenta margin surrounds it all. Usage: pattern_window.exe [x y]
// [movable]: a movable pattern is dragged anywhere by the left button, as by a title bar.
#include <windows.h>
#include <mmsystem.h>

#include <cstdint>
#include <cstdlib>

#include "support/time_blocks.h"

namespace {

void PaintTime(HDC dc, uint32_t ms) {
  using namespace testsupport;
  static HBRUSH margin = CreateSolidBrush(kMarginColor);
  RECT outer{0, 0, kPatternWidth, kPatternHeight};
  FillRect(dc, &outer, margin);
  SetViewportOrgEx(dc, kMargin, kMargin, nullptr);
  RECT all{0, 0, kBlocksWidth, kBlocksHeight};
  FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
  for (int bit = 0; bit < 32; ++bit) {
    const bool one = (ms >> (31 - bit)) & 1u;
    RECT r1{bit * kBlock, 0, bit * kBlock + kBlock, kBlock};
    RECT r2{bit * kBlock, kBlock, bit * kBlock + kBlock, 2 * kBlock};
    FillRect(dc, &r1, static_cast<HBRUSH>(GetStockObject(one ? WHITE_BRUSH : BLACK_BRUSH)));
    FillRect(dc, &r2, static_cast<HBRUSH>(GetStockObject(one ? BLACK_BRUSH : WHITE_BRUSH)));
  }
  const int barX = static_cast<int>((ms / 10) % (kBlocksWidth - kBlock));
  RECT bar{barX, 2 * kBlock + 2, barX + kBlock, kBlocksHeight};
  FillRect(dc, &bar, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetViewportOrgEx(dc, 0, 0, nullptr);
}

bool g_movable = false;

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCHITTEST && g_movable) return HTCAPTION;
  if (msg == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    PaintTime(ps.hdc, testsupport::NowMs());
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE inst, HINSTANCE, PWSTR, int) {
  int x = 100, y = 100;
  if (__argc >= 3) {
    x = atoi(__argv[1]);
    y = atoi(__argv[2]);
  }
  g_movable = __argc >= 4 && lstrcmpA(__argv[3], "movable") == 0;
  WNDCLASSW wc{};
  wc.lpfnWndProc = Proc;
  wc.hInstance = inst;
  wc.lpszClassName = L"OrvikTestPattern";
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  RegisterClassW(&wc);
  HWND hwnd = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, wc.lpszClassName,
                              L"Orvik test pattern", WS_POPUP | WS_VISIBLE, x, y,
                              testsupport::kPatternWidth, testsupport::kPatternHeight, nullptr,
                              nullptr, inst, nullptr);
  HDC screen = GetDC(hwnd);
  HDC buffer = CreateCompatibleDC(screen);
  SelectObject(buffer, CreateCompatibleBitmap(screen, testsupport::kPatternWidth,
                                              testsupport::kPatternHeight));
  ReleaseDC(hwnd, screen);
  timeBeginPeriod(1);
  MSG msg;
  for (;;) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) return 0;
      DispatchMessageW(&msg);
    }
    // Painted off screen and copied in one go, so a capture rarely sees half a pattern.
    HDC dc = GetDC(hwnd);
    PaintTime(buffer, testsupport::NowMs());
    BitBlt(dc, 0, 0, testsupport::kPatternWidth, testsupport::kPatternHeight, buffer, 0, 0,
           SRCCOPY);
    ReleaseDC(hwnd, dc);
    GdiFlush();
    Sleep(2);
  }
}
