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

struct MouseMessageKind {
  UINT msg;
  MouseMsg::Kind kind;
  int button;  // 0: the buttons held
};
constexpr MouseMessageKind kMouseMessages[] = {
    {WM_LBUTTONDOWN, MouseMsg::Down, kLeftButton},
    {WM_RBUTTONDOWN, MouseMsg::Down, kRightButton},
    {WM_MBUTTONDOWN, MouseMsg::Down, kMiddleButton},
    {WM_LBUTTONUP, MouseMsg::Up, kLeftButton},
    {WM_RBUTTONUP, MouseMsg::Up, kRightButton},
    {WM_MBUTTONUP, MouseMsg::Up, kMiddleButton},
    {WM_LBUTTONDBLCLK, MouseMsg::DblClick, kLeftButton},
    {WM_MOUSEMOVE, MouseMsg::Move, 0},
};

const MouseMessageKind* FindMouseMessage(UINT msg) {
  for (const MouseMessageKind& k : kMouseMessages)
    if (k.msg == msg) return &k;
  return nullptr;
}
}  // namespace

bool IsMouseMessage(UINT msg) { return FindMouseMessage(msg) != nullptr; }

MouseMsg DecodeMouse(UINT msg, WPARAM wParam, LPARAM lParam) {
  MouseMsg m;
  const MouseMessageKind* k = FindMouseMessage(msg);
  if (!k) return m;
  m.kind = k->kind;
  m.button = k->button ? k->button : HeldButtons(wParam);
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

void FireMouseEvents(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int& held,
                     const MouseEvents& events) {
  const MouseMsg m = DecodeMouse(msg, wParam, lParam);
  const bool leftWasDown = (held & kLeftButton) != 0;
  TrackCapture(hwnd, m, held);
  auto fire = [&](const MouseEvents::MouseHandler& handler) {
    if (handler) Guarded([&] { handler(m.button, m.shift, m.x, m.y); });
  };
  switch (m.kind) {
    case MouseMsg::Down:
      fire(events.onMouseDown);
      break;
    case MouseMsg::Move:
      fire(events.onMouseMove);
      break;
    case MouseMsg::DblClick:
      if (events.onDblClick) Guarded(events.onDblClick);
      break;
    case MouseMsg::Up: {
      fire(events.onMouseUp);
      RECT client{};
      GetClientRect(hwnd, &client);
      const POINT p{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      if (m.button == kLeftButton && leftWasDown && PtInRect(&client, p) && events.onClick) {
        Guarded(events.onClick);
      }
      break;
    }
    default:
      break;
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
