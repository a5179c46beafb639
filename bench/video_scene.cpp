// The capture bench's scene: a full-screen window with a page of text and, beside it, a 640x360
// video playing at 25 frames a second, drawn as a player draws it (SetDIBitsToDevice of each
// frame into its place, nothing else repainted). The frames are made before the window shows,
// so that afterwards the scene costs only its drawing. Ends when its window is closed or its
// process ended.
#include <windows.h>

#include <cstdint>
#include <vector>

#include "codec/screen_scenes.h"
#include "toolkit/handles.h"

namespace {

constexpr int kVideoW = 640, kVideoH = 360;
constexpr int kVideoFrames = 25;  // a second's worth, played in a loop
constexpr UINT kFrameMs = 40;
constexpr UINT_PTR kFrameTimer = 1;

struct Scene {
  std::vector<scenes::Image> frames;
  RECT video{};
  DWORD startTicks = 0;
  int shown = -1;
  tk::UniqueFont font;
};

Scene g_scene;

const wchar_t* const kLines[] = {
    L"Quarterly notes. The screen recorder keeps every pixel of the desktop as it was,",
    L"frame after frame, while a video plays in the window beside this text.",
    L"Lines of text stay still; only the video changes, and it changes everywhere.",
    L"屏幕录像 — 文件 / 设置 / 开始 / 停止",
    L"0123456789 abcdefghijklmnopqrstuvwxyz ABCDEFGHIJKLMNOPQRSTUVWXYZ",
};

void PaintText(HDC dc, const RECT& client) {
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  tk::SelectGuard selected(dc, g_scene.font.get());
  SetBkMode(dc, TRANSPARENT);
  int y = 24;
  for (int row = 0; y < client.bottom - 24; ++row, y += 22) {
    const wchar_t* line = kLines[row % (sizeof kLines / sizeof kLines[0])];
    TextOutW(dc, 24, y, line, lstrlenW(line));
  }
}

int DueFrame() {
  return static_cast<int>((GetTickCount() - g_scene.startTicks) / kFrameMs) % kVideoFrames;
}

void PaintVideoFrame(HDC dc, int index) {
  const scenes::Image& img = g_scene.frames[static_cast<size_t>(index)];
  BITMAPINFO bmi{};
  bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), img.width, -img.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  SetDIBitsToDevice(dc, g_scene.video.left, g_scene.video.top, img.width, img.height, 0, 0, 0,
                    img.height, img.Bytes(), &bmi, DIB_RGB_COLORS);
  g_scene.shown = index;
}

LRESULT CALLBACK SceneProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER: {
      if (DueFrame() != g_scene.shown) InvalidateRect(window, &g_scene.video, FALSE);
      return 0;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(window, &ps);
      RECT client;
      GetClientRect(window, &client);
      // A new video frame repaints only its own place.
      if (!EqualRect(&ps.rcPaint, &g_scene.video)) PaintText(dc, client);
      PaintVideoFrame(dc, DueFrame());
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_DESTROY:
      KillTimer(window, kFrameTimer);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
  for (int i = 0; i < kVideoFrames; ++i) {
    g_scene.frames.emplace_back(kVideoW, kVideoH);
    scenes::Video(g_scene.frames.back(), 0, 0, kVideoW, kVideoH, i);
  }
  const int left = width - kVideoW - width / 40, top = height / 10;
  g_scene.video = {left, top, left + kVideoW, top + kVideoH};
  g_scene.font.reset(CreateFontW(-16, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY,
                                 DEFAULT_PITCH, L"Tahoma"));
  WNDCLASSW wc{};
  wc.lpfnWndProc = SceneProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"OrvikVideoScene";
  RegisterClassW(&wc);
  // A tool window never takes the foreground from the recorder started after it.
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"Orvik video scene",
                                WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr,
                                instance, nullptr);
  if (!window) return 1;
  g_scene.startTicks = GetTickCount();
  SetTimer(window, kFrameTimer, kFrameMs / 2, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}
