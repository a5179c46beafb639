#include "toolkit/window_util.h"

#include "toolkit/app.h"
#include "toolkit/form.h"
#include "toolkit/handles.h"

namespace tk::detail {

bool RegisterClassOnce(const wchar_t* name, WNDPROC proc, UINT style, HBRUSH background) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof(existing);
  if (GetClassInfoExW(AppInstance(), name, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.style = style;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = kWindowExtraBytes;
  wc.hInstance = AppInstance();
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = background;
  wc.lpszClassName = name;
  return RegisterClassExW(&wc) != 0;
}

int KeyShiftState() {
  int shift = 0;
  if (GetKeyState(VK_SHIFT) < 0) shift |= kShiftMask;
  if (GetKeyState(VK_CONTROL) < 0) shift |= kCtrlMask;
  if (GetKeyState(VK_MENU) < 0) shift |= kAltMask;
  return shift;
}

namespace {
int HeldButtons(WPARAM wParam) {
  int held = 0;
  if (wParam & MK_LBUTTON) held |= kLeftButton;
  if (wParam & MK_RBUTTON) held |= kRightButton;
  if (wParam & MK_MBUTTON) held |= kMiddleButton;
  return held;
}
}  // namespace

MouseMsg DecodeMouse(UINT msg, WPARAM wParam, LPARAM lParam) {
  MouseMsg m;
  switch (msg) {
    case WM_LBUTTONDOWN:
      m.kind = MouseMsg::Down, m.button = kLeftButton;
      break;
    case WM_RBUTTONDOWN:
      m.kind = MouseMsg::Down, m.button = kRightButton;
      break;
    case WM_MBUTTONDOWN:
      m.kind = MouseMsg::Down, m.button = kMiddleButton;
      break;
    case WM_LBUTTONUP:
      m.kind = MouseMsg::Up, m.button = kLeftButton;
      break;
    case WM_RBUTTONUP:
      m.kind = MouseMsg::Up, m.button = kRightButton;
      break;
    case WM_MBUTTONUP:
      m.kind = MouseMsg::Up, m.button = kMiddleButton;
      break;
    case WM_LBUTTONDBLCLK:
      m.kind = MouseMsg::DblClick, m.button = kLeftButton;
      break;
    case WM_MOUSEMOVE:
      m.kind = MouseMsg::Move, m.button = HeldButtons(wParam);
      break;
    default:
      return m;
  }
  m.shift = ((wParam & MK_SHIFT) ? kShiftMask : 0) | ((wParam & MK_CONTROL) ? kCtrlMask : 0) |
            (GetKeyState(VK_MENU) < 0 ? kAltMask : 0);
  m.x = Twips(GET_X_LPARAM(lParam));
  m.y = Twips(GET_Y_LPARAM(lParam));
  return m;
}

void TrackCapture(HWND hwnd, const MouseMsg& m, int& held) {
  if (m.kind == MouseMsg::Down || m.kind == MouseMsg::DblClick) {
    held |= m.button;
    if (GetCapture() != hwnd) SetCapture(hwnd);
  } else if (m.kind == MouseMsg::Up) {
    held &= ~m.button;
    if (held == 0 && GetCapture() == hwnd) ReleaseCapture();
  }
}

HWND RealParent(HWND hwnd) {
  HWND parent = GetAncestor(hwnd, GA_PARENT);
  return parent == GetDesktopWindow() ? nullptr : parent;
}

RECT RectInParent(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  if (HWND parent = RealParent(hwnd)) {
    MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  }
  return r;
}

void SetRectTwips(HWND hwnd, double left, double top, double width, double height) {
  const int w = Px(width), h = Px(height);
  SetWindowPos(hwnd, nullptr, Px(left), Px(top), w < 0 ? 0 : w, h < 0 ? 0 : h,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

HFONT DefaultFont() { return static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)); }

SIZE TextSizePixels(HFONT font, const std::wstring& text) {
  SIZE size{};
  WindowDc dc(nullptr);
  if (!dc) return size;
  SelectGuard g(dc.get(), font ? font : DefaultFont());
  GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &size);
  return size;
}

}  // namespace tk::detail
