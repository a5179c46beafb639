#include "recorder/marks/press_hook.h"

#include "toolkit/screen.h"

namespace orvik {

namespace {
// The button and direction of a mouse message; false for moves and wheels.
bool PressOf(WPARAM message, PressEvent* event) {
  switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
      event->button = PressButton::Left;
      event->down = message == WM_LBUTTONDOWN;
      return true;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
      event->button = PressButton::Right;
      event->down = message == WM_RBUTTONDOWN;
      return true;
    default:
      return false;
  }
}
}  // namespace

PressHook::PressHook() : EventHook(WH_MOUSE_LL, OnMouse) {}

LRESULT CALLBACK PressHook::OnMouse(int code, WPARAM message, LPARAM data) {
  PressEvent event;
  auto* events = HookEvents<PressEvent>::Current();
  if (code == HC_ACTION && events && PressOf(message, &event)) {
    const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(data);
    event.x = info->pt.x;
    event.y = info->pt.y;
    event.time = tk::MonotonicSeconds();
    events->Push(event);
  }
  return CallNextHookEx(nullptr, code, message, data);
}

}  // namespace orvik
