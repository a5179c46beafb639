#pragma once
// What the toolkit's window classes share: instance lookup, mouse decoding, twips, text
// measuring. Internal to toolkit/.
#include <windows.h>
#include <windowsx.h>

#include <string>

#include "toolkit/mouse_events.h"
#include "toolkit/units.h"

namespace tk::detail {

// The object behind a window lives in the window's extra bytes, not in GWLP_USERDATA,
// so that code subclassing our windows can keep using GWLP_USERDATA for itself.
constexpr int kInstanceSlot = 0;
constexpr int kWindowExtraBytes = sizeof(void*);

bool RegisterClassOnce(const wchar_t* name, WNDPROC proc, UINT style, HBRUSH background);

// Stores the CREATESTRUCT's object at WM_NCCREATE and reads it back afterwards.
template <typename T>
T* InstanceFor(HWND hwnd, UINT msg, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* self = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
    SetWindowLongPtrW(hwnd, kInstanceSlot, reinterpret_cast<LONG_PTR>(self));
    return self;
  }
  return reinterpret_cast<T*>(GetWindowLongPtrW(hwnd, kInstanceSlot));
}
inline void ForgetInstance(HWND hwnd) { SetWindowLongPtrW(hwnd, kInstanceSlot, 0); }

// Runs an event handler; whatever it throws stops at the window procedure.
template <typename F>
void Guarded(F&& f) noexcept {
  try {
    f();
  } catch (...) {
    OutputDebugStringW(L"Orvik: an event handler threw; the event was dropped\n");
  }
}

// The window procedure of every toolkit window class T: finds the object behind the window,
// lets `handle` answer the message (nothing thrown gets past here) and calls `gone` once the
// window has been destroyed.
template <typename T>
LRESULT RouteMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, HWND T::*window,
                     LRESULT (T::*handle)(UINT, WPARAM, LPARAM), void (T::*gone)()) {
  T* self = InstanceFor<T>(hwnd, msg, lParam);
  if (!self) return DefWindowProcW(hwnd, msg, wParam, lParam);
  if (msg == WM_NCCREATE) self->*window = hwnd;
  LRESULT result = 0;
  try {
    result = (self->*handle)(msg, wParam, lParam);
  } catch (...) {
    result = DefWindowProcW(hwnd, msg, wParam, lParam);
  }
  if (msg == WM_NCDESTROY) {
    ForgetInstance(hwnd);
    (self->*gone)();
  }
  return result;
}

inline int Px(double twips) { return orvik::TwipsToPixels(twips); }
inline float Twips(int pixels) { return static_cast<float>(pixels * orvik::TwipsPerPixel()); }

int KeyShiftState();

// One mouse message decoded for an event.
struct MouseMsg {
  enum Kind { None, Down, Up, Move, DblClick } kind = None;
  int button = 0;  // the button pressed or released; for moves the buttons held
  int shift = 0;
  float x = 0, y = 0;  // twips
};
MouseMsg DecodeMouse(UINT msg, WPARAM wParam, LPARAM lParam);
bool IsMouseMessage(UINT msg);

// Pressing captures the mouse until every button is up again; `held` tracks the buttons.
void TrackCapture(HWND hwnd, const MouseMsg& m, int& held);

// Decodes a mouse message of a control, tracks its capture and fires its events.
void FireMouseEvents(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, int& held,
                     const MouseEvents& events);

// The window's outer rectangle in its parent's client coordinates (screen coordinates for a
// top-level window). Reparented windows without WS_CHILD report the owner as GetParent, so
// the real parent comes from GetAncestor.
RECT RectInParent(HWND hwnd);
HWND RealParent(HWND hwnd);

// Moves and sizes a window with twips given in its parent's client coordinates.
void SetRectTwips(HWND hwnd, double left, double top, double width, double height);

HFONT DefaultFont();
SIZE TextSizePixels(HFONT font, const std::wstring& text);

}  // namespace tk::detail
