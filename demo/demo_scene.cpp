// A full-screen scene that moves: a clock, a bouncing ball, a marching bar chart and some
// text in Latin and Chinese letters. The run command records it, so a first recording shows
// that pictures, motion and text all arrive in the file. At every whole second of its clock it
// plays a tick while its header flashes, so a recording's sound can be held against its
// picture.
#include <windows.h>
// After windows.h: the lean build leaves the wave functions out of it.
#include <mmsystem.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "toolkit/handles.h"

namespace {

constexpr UINT_PTR kRedrawTimer = 1;
constexpr UINT kFrameMs = 33;
// Long enough to show in a 10 fps recording, short enough to be a moment.
constexpr DWORD kFlashMs = 150;

// 30 ms of 1.5 kHz dying away, mono 16-bit: a sharp start that a waveform shows as a spike.
constexpr int kTickRate = 48000;
std::vector<int16_t> MakeTick() {
  std::vector<int16_t> samples;
  for (int i = 0; i < kTickRate * 3 / 100; ++i) {
    const double t = static_cast<double>(i) / kTickRate;
    samples.push_back(
        static_cast<int16_t>(20000 * std::sin(2 * 3.14159265 * 1500 * t) * std::exp(-t / 0.008)));
  }
  return samples;
}

// A short tick through the default sound output (under Wine: the sound server's default
// sink). The output stays open, so a tick starts within a period of the write instead of
// after a device is opened. Without a sound device the scene simply stays silent.
class Ticker {
 public:
  Ticker() : samples_(MakeTick()) {
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, kTickRate, kTickRate * 2, 2, 16, 0};
    if (waveOutOpen(&out_, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) != MMSYSERR_NOERROR) {
      out_ = nullptr;
      return;
    }
    header_.lpData = reinterpret_cast<LPSTR>(samples_.data());
    header_.dwBufferLength = static_cast<DWORD>(samples_.size() * sizeof(int16_t));
    waveOutPrepareHeader(out_, &header_, sizeof header_);
  }
  ~Ticker() {
    if (!out_) return;
    waveOutReset(out_);
    waveOutUnprepareHeader(out_, &header_, sizeof header_);
    waveOutClose(out_);
  }
  Ticker(const Ticker&) = delete;
  Ticker& operator=(const Ticker&) = delete;

  void Play() {
    if (!out_ || (queued_ && !(header_.dwFlags & WHDR_DONE))) return;
    queued_ = waveOutWrite(out_, &header_, sizeof header_) == MMSYSERR_NOERROR;
  }

 private:
  std::vector<int16_t> samples_;
  HWAVEOUT out_ = nullptr;
  WAVEHDR header_{};
  bool queued_ = false;
};

struct Scene {
  DWORD startTicks = GetTickCount();
  tk::UniqueFont title;
  tk::UniqueFont body;
  Ticker* ticker = nullptr;
  DWORD second = 0;    // the clock's last whole second
  DWORD tickedAt = 0;  // when its tick was played
};

Scene g_scene;

HFONT MakeFont(int height, int weight) {
  return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                     OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, DEFAULT_PITCH,
                     L"Tahoma");
}

void FillBox(HDC dc, int left, int top, int right, int bottom, COLORREF color) {
  RECT r{left, top, right, bottom};
  tk::UniqueBrush brush(CreateSolidBrush(color));
  FillRect(dc, &r, brush.get());
}

void DrawText(HDC dc, HFONT font, int x, int y, COLORREF color, const wchar_t* text) {
  tk::SelectGuard selected(dc, font);
  SetTextColor(dc, color);
  SetBkMode(dc, TRANSPARENT);
  TextOutW(dc, x, y, text, lstrlenW(text));
}

void DrawBall(HDC dc, int width, int height, double t) {
  const int r = height / 14;
  const double px = std::fabs(std::fmod(t * 0.35, 2.0) - 1.0);  // 0..1..0
  const double py = std::fabs(std::sin(t * 2.2));
  const int cx = r + static_cast<int>(px * (width - 2 * r));
  const int cy = height - r - static_cast<int>(py * height * 0.45);
  tk::UniqueBrush brush(CreateSolidBrush(RGB(230, 90, 40)));
  tk::SelectGuard withBrush(dc, brush.get());
  tk::SelectGuard withPen(dc, GetStockObject(NULL_PEN));
  Ellipse(dc, cx - r, cy - r, cx + r, cy + r);
}

void DrawBars(HDC dc, int left, int bottom, int width, int height, double t) {
  const int bars = 12;
  const int step = width / bars;
  for (int i = 0; i < bars; ++i) {
    const double level = 0.55 + 0.45 * std::sin(t * 3.0 + i * 0.6);
    const int top = bottom - static_cast<int>(level * height);
    FillBox(dc, left + i * step, top, left + i * step + step * 3 / 4, bottom,
            RGB(40 + i * 15, 120, 220 - i * 12));
  }
}

// The header flashes from the moment the tick is played, so picture and sound start together.
void TickOnWholeSeconds() {
  const DWORD now = GetTickCount();
  const DWORD second = (now - g_scene.startTicks) / 1000;
  if (second == g_scene.second) return;
  g_scene.second = second;
  g_scene.tickedAt = now;
  if (g_scene.ticker) g_scene.ticker->Play();
}

void Paint(HDC dc, int width, int height) {
  const DWORD now = GetTickCount();
  const double t = (now - g_scene.startTicks) / 1000.0;
  const bool flash = g_scene.second > 0 && now - g_scene.tickedAt < kFlashMs;
  FillBox(dc, 0, 0, width, height, RGB(245, 246, 250));
  FillBox(dc, 0, 0, width, height / 8, flash ? RGB(250, 140, 20) : RGB(32, 64, 128));
  DrawText(dc, g_scene.title.get(), 24, height / 40, RGB(255, 255, 255), L"Orvik demo scene");

  wchar_t clock[64];
  swprintf(clock, 64, L"%02d:%04.1f", static_cast<int>(t) / 60, std::fmod(t, 60.0));
  DrawText(dc, g_scene.title.get(), width - width / 4, height / 40, RGB(255, 230, 120), clock);

  const wchar_t* lines[] = {
      L"This window is recorded by Orvik running under Wine.",
      L"The ball bounces, the bars march and the clock counts tenths of a second,",
      L"so every frame of the recording differs from the one before.",
      L"Every whole second the header flashes and a tick sounds.",
      L"屏幕录像 — 文件 / 设置 / 开始 / 停止",
  };
  int y = height / 8 + height / 30;
  for (const wchar_t* line : lines) {
    DrawText(dc, g_scene.body.get(), 24, y, RGB(20, 20, 20), line);
    y += height / 20;
  }
  DrawBars(dc, width / 2, height - height / 12, width / 2 - 24, height / 3, t);
  DrawBall(dc, width / 2, height, t);
}

// Paints into a memory bitmap first so the screen never shows a half-drawn scene.
void PaintBuffered(HWND window) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(window, &ps);
  RECT client;
  GetClientRect(window, &client);
  {
    tk::UniqueMemDc mem(CreateCompatibleDC(dc));
    tk::UniqueBitmap bitmap(CreateCompatibleBitmap(dc, client.right, client.bottom));
    tk::SelectGuard selected(mem.get(), bitmap.get());
    Paint(mem.get(), client.right, client.bottom);
    BitBlt(dc, 0, 0, client.right, client.bottom, mem.get(), 0, 0, SRCCOPY);
  }
  EndPaint(window, &ps);
}

LRESULT CALLBACK SceneProc(HWND window, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_TIMER:
      TickOnWholeSeconds();
      InvalidateRect(window, nullptr, FALSE);
      return 0;
    case WM_PAINT:
      PaintBuffered(window);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_DESTROY:
      KillTimer(window, kRedrawTimer);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, msg, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = SceneProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"OrvikDemoScene";
  RegisterClassW(&wc);
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  g_scene.title.reset(MakeFont(height / 18, FW_BOLD));
  g_scene.body.reset(MakeFont(height / 34, FW_NORMAL));
  // A tool window never takes the foreground from the recorder started after it.
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, wc.lpszClassName, L"Orvik demo scene",
                                WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr,
                                instance, nullptr);
  if (!window) return 1;
  Ticker ticker;
  g_scene.ticker = &ticker;
  SetTimer(window, kRedrawTimer, kFrameMs, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  g_scene.ticker = nullptr;
  return 0;
}
