#include "toolkit/form.h"

#include "toolkit/app.h"
#include "toolkit/menu.h"
#include "toolkit/screen.h"
#include "toolkit/window_util.h"

namespace tk {

using detail::Guarded;
using detail::Px;

namespace {
constexpr wchar_t kFormClass[] = L"OrvikForm";

int ShowCommandFor(int state) {
  switch (state) {
    case kStateMinimized:
      return SW_MINIMIZE;
    case kStateMaximized:
      return SW_MAXIMIZE;
    default:
      return SW_RESTORE;
  }
}

// The same for a hidden window, which the command also shows.
int FirstShowCommandFor(int state) {
  switch (state) {
    case kStateMinimized:
      return SW_SHOWMINIMIZED;
    case kStateMaximized:
      return SW_SHOWMAXIMIZED;
    default:
      return SW_SHOWNORMAL;
  }
}
}  // namespace

FormOptions FormOptions::Sizable(std::wstring caption, double clientWidth, double clientHeight) {
  FormOptions o;
  o.caption = std::move(caption);
  o.clientWidth = clientWidth;
  o.clientHeight = clientHeight;
  return o;
}

FormOptions FormOptions::BorderlessPopup() {
  FormOptions o;
  o.style = WS_POPUP | WS_CLIPCHILDREN;
  o.left = 0;
  o.top = 0;
  o.clientWidth = ScreenWidthTwips();
  o.clientHeight = ScreenHeightTwips();
  return o;
}

FormOptions FormOptions::ClickThroughPopup(COLORREF backColor) {
  FormOptions o;
  o.style = WS_POPUP;
  o.exStyle =
      WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE | WS_EX_TOOLWINDOW | WS_EX_TOPMOST;
  o.left = 0;
  o.top = 0;
  o.clientWidth = 0;
  o.clientHeight = 0;
  o.backColor = backColor;
  return o;
}

std::optional<LRESULT> ClickThroughAnswer(UINT msg) {
  if (msg == WM_NCHITTEST) return HTTRANSPARENT;
  if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
  return std::nullopt;
}

Form::Form(FormOptions options) : options_(std::move(options)), font_(detail::DefaultFont()) {
  backColor_ = options_.backColor == CLR_INVALID ? GetSysColor(COLOR_BTNFACE) : options_.backColor;
  backBrush_.reset(CreateSolidBrush(backColor_));
}

Form::~Form() {
  if (!hwnd_) return;
  // The derived part is gone: no event may reach it while the window goes.
  HWND h = hwnd_;
  detail::ForgetInstance(h);
  hwnd_ = nullptr;
  if (GetMenu(h)) SetMenu(h, nullptr);  // the menu bar belongs to its Menu object
  DestroyWindow(h);
}

HWND Form::hWnd() {
  if (hwnd_ || loading_) return hwnd_;
  if (!MakeWindow()) return nullptr;
  loading_ = true;
  Guarded([&] { Form_Load(); });
  loading_ = false;
  return hwnd_;
}

bool Form::MakeWindow() {
  if (!detail::RegisterClassOnce(kFormClass, WndProc, CS_DBLCLKS, nullptr)) return false;
  HMENU bar = menu_ ? menu_->Handle() : nullptr;
  const DWORD style = options_.style & ~WS_VISIBLE;  // forms appear through Show()
  RECT r{0, 0, Px(options_.clientWidth), Px(options_.clientHeight)};
  AdjustWindowRectEx(&r, style, bar != nullptr, options_.exStyle);
  const int x = options_.left ? Px(*options_.left) : CW_USEDEFAULT;
  const int y = options_.top ? Px(*options_.top) : CW_USEDEFAULT;
  shownOnce_ = false;
  creating_ = true;
  CreateWindowExW(options_.exStyle, kFormClass, options_.caption.c_str(), style, x, y,
                  r.right - r.left, r.bottom - r.top, options_.owner, bar, AppInstance(), this);
  creating_ = false;
  if (!hwnd_) return false;
  if (menu_) menu_->AttachTo(hwnd_);
  SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  LoadIcons();
  return true;
}

void Form::LoadIcons() {
  if (!options_.iconId) return;
  auto load = [&](int cx, int cy) {
    return static_cast<HICON>(
        LoadImageW(AppInstance(), MAKEINTRESOURCEW(options_.iconId), IMAGE_ICON, cx, cy, 0));
  };
  // The sizes the system shows icons at on this window's monitor.
  const int dpi = WindowDpi(hwnd_);
  bigIcon_.reset(load(SystemMetricAt(SM_CXICON, dpi), SystemMetricAt(SM_CYICON, dpi)));
  smallIcon_.reset(load(SystemMetricAt(SM_CXSMICON, dpi), SystemMetricAt(SM_CYSMICON, dpi)));
  if (bigIcon_) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.get()));
  if (smallIcon_) {
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.get()));
  }
}

bool Form::Unload() {
  if (!hwnd_) return true;
  if (unloading_) return false;  // a close arriving while the unload handler asks the user
  int cancel = 0;
  unloading_ = true;
  Guarded([&] { Form_Unload(cancel); });
  unloading_ = false;
  if (cancel) return false;
  if (hwnd_) DestroyWindow(hwnd_);
  return hwnd_ == nullptr;
}

void Form::AfterDestroy() {
  hwnd_ = nullptr;
  pendingState_ = -1;
  buttonsDown_ = 0;
  swallowSysChar_ = false;
  bigIcon_.reset();
  smallIcon_.reset();
}

void Form::Show() {
  HWND h = hWnd();
  if (!h) return;
  if (pendingState_ >= 0) {
    ShowWindow(h, FirstShowCommandFor(pendingState_));
    pendingState_ = -1;
  } else if (!Visible()) {
    ShowWindow(h, SW_SHOW);
  }
}

void Form::Hide() {
  if (hwnd_) ShowWindow(hwnd_, SW_HIDE);
}

bool Form::Visible() const { return hwnd_ && (GetWindowLongW(hwnd_, GWL_STYLE) & WS_VISIBLE) != 0; }

void Form::SetVisible(bool visible) { visible ? Show() : Hide(); }

std::wstring Form::Caption() const {
  if (!hwnd_) return options_.caption;
  const int length = GetWindowTextLengthW(hwnd_);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd_, text.data(), length + 1)));
  return text;
}

void Form::SetCaption(const std::wstring& caption) {
  // Under Wine every change goes to the X server as the window's name: only real ones go.
  if (caption == options_.caption && hWnd()) return;
  options_.caption = caption;
  if (HWND h = hWnd()) SetWindowTextW(h, caption.c_str());
}

int Form::WindowState() const {
  if (!hwnd_) return kStateNormal;
  if (pendingState_ >= 0) return pendingState_;
  if (IsIconic(hwnd_)) return kStateMinimized;
  if (IsZoomed(hwnd_)) return kStateMaximized;
  return kStateNormal;
}

void Form::SetWindowState(int state) {
  HWND h = hWnd();
  if (!h) return;
  if (!Visible()) {
    // Showing a hidden form in a new state would make it visible; Show() applies it.
    pendingState_ = state;
    return;
  }
  if (state == WindowState()) return;
  ShowWindow(h, ShowCommandFor(state));
  // Restoring a minimized window that was maximized before brings back the maximized one.
  if (state == kStateNormal && IsZoomed(h)) ShowWindow(h, SW_RESTORE);
}

RECT Form::OuterRectInParent() const {
  if (!hwnd_) return RECT{};
  return detail::RectInParent(hwnd_);
}

double Form::Left() const { return detail::Twips(OuterRectInParent().left); }
double Form::Top() const { return detail::Twips(OuterRectInParent().top); }
double Form::Width() const {
  RECT r = OuterRectInParent();
  return detail::Twips(r.right - r.left);
}
double Form::Height() const {
  RECT r = OuterRectInParent();
  return detail::Twips(r.bottom - r.top);
}

void Form::SetOuterRect(double left, double top, double width, double height) {
  if (HWND h = hWnd()) detail::SetRectTwips(h, left, top, width, height);
}

void Form::SetLeft(double twips) { Move(twips, Top()); }
void Form::SetTop(double twips) { Move(Left(), twips); }
void Form::SetWidth(double twips) { Move(Left(), Top(), twips, Height()); }
void Form::SetHeight(double twips) { Move(Left(), Top(), Width(), twips); }
void Form::Move(double left, double top) {
  hWnd();
  SetOuterRect(left, top, Width(), Height());
}
void Form::Move(double left, double top, double width, double height) {
  SetOuterRect(left, top, width, height);
}

double Form::ScaleWidth() const {
  RECT r{};
  if (hwnd_) GetClientRect(hwnd_, &r);
  return hwnd_ ? detail::Twips(r.right) : options_.clientWidth;
}

double Form::ScaleHeight() const {
  RECT r{};
  if (hwnd_) GetClientRect(hwnd_, &r);
  return hwnd_ ? detail::Twips(r.bottom) : options_.clientHeight;
}

void Form::SetBackColor(COLORREF color) {
  backColor_ = color;
  backBrush_.reset(CreateSolidBrush(color));
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void Form::ZOrder(int position) {
  if (HWND h = hWnd()) {
    SetWindowPos(h, position == 0 ? HWND_TOP : HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
}

void Form::SetMenuBar(Menu* menu) {
  menu_ = menu;
  if (!hwnd_) return;
  ::SetMenu(hwnd_, menu ? menu->Handle() : nullptr);
  if (menu) menu->AttachTo(hwnd_);
}

double Form::TextWidth(const std::wstring& text) const {
  return detail::Twips(detail::TextSizePixels(font_, text).cx);
}

double Form::TextHeight(const std::wstring& text) const {
  return detail::Twips(detail::TextSizePixels(font_, text).cy);
}

void Form::Refresh() {
  if (hwnd_) {
    RedrawWindow(hwnd_, nullptr, nullptr,
                 RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

LRESULT CALLBACK Form::WndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  return detail::RouteMessage(hwnd, msg, wParam, lParam, &Form::hwnd_, &Form::Handle,
                              &Form::AfterDestroy);
}

LRESULT Form::OnKey(UINT msg, WPARAM wParam, LPARAM lParam) {
  int keyCode = static_cast<int>(wParam);
  int shift = detail::KeyShiftState();
  // The context bit says Alt was down even when the key state was not updated (posted keys).
  if (msg == WM_SYSKEYDOWN && (lParam & (1 << 29))) shift |= kAltMask;
  Guarded([&] { Form_KeyDown(keyCode, shift); });
  if (keyCode == 0) {
    // TranslateMessage has already queued the WM_SYSCHAR that would open the system menu.
    if (msg == WM_SYSKEYDOWN) swallowSysChar_ = true;
    return 0;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

void Form::OnMouse(UINT msg, WPARAM wParam, LPARAM lParam) {
  const detail::MouseMsg m = detail::DecodeMouse(msg, wParam, lParam);
  detail::TrackCapture(hwnd_, m, buttonsDown_);
  Guarded([&] {
    switch (m.kind) {
      case detail::MouseMsg::Down:
        Form_MouseDown(m.button, m.shift, m.x, m.y);
        break;
      case detail::MouseMsg::Up:
        Form_MouseUp(m.button, m.shift, m.x, m.y);
        break;
      case detail::MouseMsg::Move:
        Form_MouseMove(m.button, m.shift, m.x, m.y);
        break;
      case detail::MouseMsg::DblClick:
        Form_DblClick();
        break;
      default:
        break;
    }
  });
}

LRESULT Form::Handle(UINT msg, WPARAM wParam, LPARAM lParam) {
  if (std::optional<LRESULT> r = Form_Message(msg, wParam, lParam)) return *r;
  if (detail::IsMouseMessage(msg)) {
    OnMouse(msg, wParam, lParam);
    return 0;
  }
  switch (msg) {
    case WM_CLOSE:
      Unload();
      return 0;
    case WM_DESTROY:
      // DestroyWindow would destroy an attached menu bar, which its Menu object owns.
      if (GetMenu(hwnd_)) ::SetMenu(hwnd_, nullptr);
      return 0;
    case WM_SIZE:
      // The sizes sent while CreateWindowEx runs come before Form_Load.
      if (!creating_) Guarded([&] { Form_Resize(); });
      return 0;
    case WM_SHOWWINDOW:
      // A form is laid out when it first appears even if its size never changed.
      if (wParam && !shownOnce_) {
        shownOnce_ = true;
        Guarded([&] { Form_Resize(); });
      }
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam)) Guarded([&] { Form_Activate(); });
      break;
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd_, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, backBrush_.get());
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd_, &ps);
      EndPaint(hwnd_, &ps);
      Guarded([&] { Form_Paint(); });
      return 0;
    }
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
      return OnKey(msg, wParam, lParam);
    case WM_SYSCHAR:
      if (swallowSysChar_) {
        swallowSysChar_ = false;
        return 0;
      }
      break;
    case WM_COMMAND:
      if (lParam == 0 && Menu::DispatchCommand(LOWORD(wParam))) return 0;
      break;
    case WM_CAPTURECHANGED:
      buttonsDown_ = 0;
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wParam, lParam);
}

}  // namespace tk
