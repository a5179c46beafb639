#include "frame/countdown_window.h"

#include <string>
#include <utility>

#include "toolkit/screen.h"
#include "toolkit/units.h"

namespace orvik {

namespace {
constexpr UINT_PTR kTickTimer = 1;
// Often enough that a digit changes and the end comes within a frame of their moments.
constexpr UINT kTickMs = 40;
// An id of its own: the frame window's hot keys use theirs on another window.
constexpr int kEscapeHotKeyId = 0x4344;

}  // namespace

CountdownWindow::CountdownWindow()
    : tk::Form(tk::FormOptions::ClickThroughPopup(kCountdownColor)) {}

void CountdownWindow::Run(const CaptureArea& area, int seconds) {
  Remove();
  HWND h = hWnd();
  if (!h) return;
  const int side = ScaledPixels(kCountdownDiameter);
  font_.reset(CreateFontW(-ScaledPixels(kCountdownDigitHeight), 0, 0, 0, FW_BOLD, FALSE, FALSE,
                          FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                          ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_SWISS, L"Tahoma"));
  // A layered window shows nothing until its attributes are set.
  SetLayeredWindowAttributes(h, 0, 255, LWA_ALPHA);
  tk::UniqueRgn disc(CreateEllipticRgn(0, 0, side + 1, side + 1));
  // The system owns the region once it took it.
  if (disc && SetWindowRgn(h, disc.get(), FALSE)) disc.release();
  timeline_.emplace(seconds, tk::MonotonicSeconds());
  digit_ = timeline_->DigitAt(tk::MonotonicSeconds());
  escapeHeld_ = RegisterHotKey(h, kEscapeHotKeyId, 0, VK_ESCAPE) != FALSE;
  SetWindowPos(h, HWND_TOPMOST, area.x0 + (area.width - side) / 2,
               area.y0 + (area.height - side) / 2, side, side, SWP_NOACTIVATE);
  ShowWindow(h, SW_SHOWNOACTIVATE);
  UpdateWindow(h);
  SetTimer(h, kTickTimer, kTickMs, nullptr);
  if (onDigit && digit_ > 0) onDigit(digit_);
}

void CountdownWindow::Remove() {
  Stop();
  Unload();
}

void CountdownWindow::Stop() {
  if (IsLoaded()) {
    KillTimer(Handle(), kTickTimer);
    if (escapeHeld_) UnregisterHotKey(Handle(), kEscapeHotKeyId);
  }
  escapeHeld_ = false;
  timeline_.reset();
  digit_ = 0;
}

// The digit that is due now; the window goes when the digits are done, and the end is told
// once the screen under it had time to repaint.
void CountdownWindow::Advance() {
  if (!timeline_) return;
  const double now = tk::MonotonicSeconds();
  const int digit = timeline_->DigitAt(now);
  if (digit != digit_) {
    digit_ = digit;
    if (digit == 0) {
      ShowWindow(Handle(), SW_HIDE);
    } else {
      InvalidateRect(Handle(), nullptr, TRUE);
      if (onDigit) onDigit(digit);
    }
  }
  if (!timeline_->Over(now)) return;
  Stop();
  // The handler may take this window away or run a message loop: it comes last.
  if (std::function<void()> end = onEnd) end();
}

void CountdownWindow::PaintDigit(HDC dc) {
  if (digit_ <= 0) return;
  RECT r{};
  GetClientRect(Handle(), &r);
  tk::SelectGuard font(
      dc, font_ ? static_cast<HGDIOBJ>(font_.get()) : GetStockObject(DEFAULT_GUI_FONT));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kCountdownDigitColor);
  const std::wstring text = std::to_wstring(digit_);
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r,
            DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

std::optional<LRESULT> CountdownWindow::Form_Message(UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_TIMER:
      if (wParam != kTickTimer) return std::nullopt;
      Advance();
      return 0;
    case WM_HOTKEY:
      if (static_cast<int>(wParam) != kEscapeHotKeyId || !Running()) return 0;
      Stop();
      if (std::function<void()> escape = onEscape) escape();
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(Handle(), &ps);
      PaintDigit(dc);
      EndPaint(Handle(), &ps);
      return 0;
    }
    default:
      return tk::ClickThroughAnswer(msg);
  }
}

}  // namespace orvik
