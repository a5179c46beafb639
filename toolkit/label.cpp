#include "toolkit/label.h"

#include "toolkit/app.h"
#include "toolkit/form.h"
#include "toolkit/picturebox.h"
#include "toolkit/window_util.h"

namespace tk {

using detail::Guarded;
using detail::Px;

namespace {
constexpr wchar_t kLabelClass[] = L"OrvikLabel";
}

Label::~Label() {
  if (hwnd_) {
    detail::ForgetInstance(hwnd_);
    DestroyWindow(hwnd_);
  }
}

bool Label::Create(PictureBox& container, double left, double top, double width, double height,
                   const std::wstring& caption) {
  if (!Create(container.hWnd(), left, top, width, height, caption)) return false;
  box_ = &container;
  return true;
}

bool Label::Create(HWND container, double left, double top, double width, double height,
                   const std::wstring& caption) {
  if (hwnd_) {
    detail::ForgetInstance(hwnd_);
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
  box_ = nullptr;
  caption_ = caption;
  if (!font_) font_ = detail::DefaultFont();
  if (!container || !detail::RegisterClassOnce(kLabelClass, WndProc, CS_DBLCLKS, nullptr)) {
    return false;
  }
  CreateWindowExW(0, kLabelClass, caption.c_str(), WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS,
                  Px(left), Px(top), Px(width), Px(height), container, nullptr, AppInstance(),
                  this);
  return hwnd_ != nullptr;
}

void Label::SetCaption(const std::wstring& caption) {
  caption_ = caption;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

RECT Label::RectInParent() const { return hwnd_ ? detail::RectInParent(hwnd_) : RECT{}; }
double Label::Left() const { return detail::Twips(RectInParent().left); }
double Label::Top() const { return detail::Twips(RectInParent().top); }
double Label::Width() const {
  RECT r = RectInParent();
  return detail::Twips(r.right - r.left);
}
double Label::Height() const {
  RECT r = RectInParent();
  return detail::Twips(r.bottom - r.top);
}
void Label::SetRect(double left, double top, double width, double height) {
  if (hwnd_) detail::SetRectTwips(hwnd_, left, top, width, height);
}
void Label::SetLeft(double twips) { SetRect(twips, Top(), Width(), Height()); }
void Label::SetTop(double twips) { SetRect(Left(), twips, Width(), Height()); }
void Label::Move(double left, double top, double width, double height) {
  SetRect(left, top, width, height);
}

bool Label::Visible() const {
  return hwnd_ && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0;
}
void Label::SetVisible(bool visible) {
  if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE);
}

void Label::SetForeColor(COLORREF color) {
  foreColor_ = color;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void Label::SetBackColor(COLORREF color) {
  backColor_ = color;
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

void Label::SetFont(HFONT borrowed) {
  font_ = borrowed ? borrowed : detail::DefaultFont();
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

double Label::TextWidth(const std::wstring& text) const {
  return detail::Twips(detail::TextSizePixels(font_, text).cx);
}

double Label::TextHeight(const std::wstring& text) const {
  return detail::Twips(detail::TextSizePixels(font_, text).cy);
}

void Label::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  if (!dc) return;
  RECT client;
  GetClientRect(hwnd_, &client);
  // Transparency: the container's pixels under the label, then the glyphs over them.
  if (box_ && box_->hDC()) {
    const RECT at = RectInParent();
    BitBlt(dc, 0, 0, client.right, client.bottom, box_->hDC(), at.left, at.top, SRCCOPY);
  } else {
    const COLORREF back = backColor_ != CLR_INVALID ? backColor_ : GetSysColor(COLOR_BTNFACE);
    const COLORREF old = SetBkColor(dc, back);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &client, nullptr, 0, nullptr);
    SetBkColor(dc, old);
  }
  {
    SelectGuard g(dc, font_);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, foreColor_);
    TextOutW(dc, 0, 0, caption_.c_str(), static_cast<int>(caption_.size()));
  }
  EndPaint(hwnd_, &ps);
}

LRESULT CALLBACK Label::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return detail::RouteMessage(hwnd, msg, wParam, lParam, &Label::hwnd_, &Label::Handle,
                              &Label::WindowGone);
}

void Label::WindowGone() {
  hwnd_ = nullptr;
  buttonsDown_ = 0;
}

LRESULT Label::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (detail::IsMouseMessage(msg)) {
    detail::FireMouseEvents(hwnd_, msg, wParam, lParam, buttonsDown_, *this);
    return 0;
  }
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_CAPTURECHANGED:
      buttonsDown_ = 0;
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

}  // namespace tk
