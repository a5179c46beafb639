#include "frame/area_border.h"

#include "toolkit/handles.h"

namespace orvik {

namespace {
// WDA_EXCLUDEFROMCAPTURE, not in every SDK's headers: Windows 10 2004 and later leave such a
// window out of screen captures.
constexpr DWORD kExcludeFromCapture = 0x11;

void Fill(HDC dc, const RECT& r, COLORREF color) {
  SetDCBrushColor(dc, color);
  FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}
}  // namespace

AreaBorder::AreaBorder() : tk::Form(tk::FormOptions::ClickThroughPopup(kAreaBorderColor)) {}

void AreaBorder::ShowAround(const CaptureArea& area) {
  HWND h = hWnd();
  if (!h) return;
  dashed_ = false;
  around_ = area;
  // A layered window shows nothing until its attributes are set.
  SetLayeredWindowAttributes(h, 0, 255, LWA_ALPHA);
  ExcludeFromCapture();
  const int outset = AreaBorderPixels(kAreaBorderGap) + AreaBorderPixels(kAreaBorderWidth);
  const int width = area.width + 2 * outset, height = area.height + 2 * outset;
  CutOutArea(width, height);
  SetWindowPos(h, HWND_TOPMOST, area.x0 - outset, area.y0 - outset, width, height,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void AreaBorder::MoveAround(const CaptureArea& area) {
  if (!IsLoaded() || (area.x0 == around_.x0 && area.y0 == around_.y0)) return;
  if (area.width != around_.width || area.height != around_.height) {
    ShowAround(area);
    return;
  }
  around_ = area;
  const int outset = AreaBorderPixels(kAreaBorderGap) + AreaBorderPixels(kAreaBorderWidth);
  SetWindowPos(Handle(), HWND_TOPMOST, area.x0 - outset, area.y0 - outset, 0, 0,
               SWP_NOSIZE | SWP_NOACTIVATE);
}

void AreaBorder::SetDashed(bool dashed) {
  if (!IsLoaded() || dashed == dashed_) return;
  dashed_ = dashed;
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// The window is the band alone: the area inside stays the screen's own.
void AreaBorder::CutOutArea(int width, int height) {
  tk::UniqueRgn band(CreateRectRgn(0, 0, width, height));
  const int w = AreaBorderPixels(kAreaBorderWidth);
  tk::UniqueRgn hole(CreateRectRgn(w, w, width - w, height - w));
  CombineRgn(band.get(), band.get(), hole.get(), RGN_DIFF);
  // The system owns the region once it took it.
  if (SetWindowRgn(Handle(), band.get(), FALSE)) band.release();
}

// Belt and braces: the band is outside the area anyway, but a capture of the whole screen
// by another program should not show it either. Older systems lack the call or the value, and
// Wine refuses it: failing is fine.
void AreaBorder::ExcludeFromCapture() {
  using SetAffinity = BOOL(WINAPI*)(HWND, DWORD);
  FARPROC proc = GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetWindowDisplayAffinity");
  if (!proc) return;
  auto setAffinity = reinterpret_cast<SetAffinity>(reinterpret_cast<void (*)()>(proc));
  setAffinity(Handle(), kExcludeFromCapture);
}

void AreaBorder::PaintBand(HDC dc) {
  RECT r{};
  GetClientRect(Handle(), &r);
  Fill(dc, r, dashed_ ? kAreaBorderPausedColor : kAreaBorderColor);
  if (!dashed_) return;
  const int w = AreaBorderPixels(kAreaBorderWidth), dash = AreaBorderPixels(kAreaBorderDash);
  for (int x = 0; x < r.right; x += 2 * dash) {
    Fill(dc, RECT{x, 0, x + dash, w}, kAreaBorderColor);
    Fill(dc, RECT{x, r.bottom - w, x + dash, r.bottom}, kAreaBorderColor);
  }
  for (int y = 0; y < r.bottom; y += 2 * dash) {
    Fill(dc, RECT{0, y, w, y + dash}, kAreaBorderColor);
    Fill(dc, RECT{r.right - w, y, r.right, y + dash}, kAreaBorderColor);
  }
}

std::optional<LRESULT> AreaBorder::Form_Message(UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_ERASEBKGND:
      PaintBand(reinterpret_cast<HDC>(wParam));
      return 1;
    default:
      return tk::ClickThroughAnswer(msg);
  }
}

}  // namespace orvik
