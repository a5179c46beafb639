#include "recorder/marks/key_hook.h"

#include <cwchar>
#include <optional>
#include <utility>

#include "recorder/marks/shortcut_filter.h"
#include "toolkit/screen.h"

namespace orvik {

namespace {
// The modifier keys held before this event, one bit a side: the key's own state is not yet
// updated when the hook is called, but the keys pressed before it are.
uint32_t HeldSides() {
  const std::pair<int, uint32_t> sides[] = {
      {VK_LCONTROL, kHeldLeftCtrl}, {VK_RCONTROL, kHeldRightCtrl}, {VK_LSHIFT, kHeldLeftShift},
      {VK_RSHIFT, kHeldRightShift}, {VK_LMENU, kHeldLeftAlt},      {VK_RMENU, kHeldRightAlt},
      {VK_LWIN, kHeldLeftWin},      {VK_RWIN, kHeldRightWin}};
  uint32_t held = 0;
  for (const auto& [key, bit] : sides) {
    if (GetAsyncKeyState(key) & 0x8000) held |= bit;
  }
  return held;
}
}  // namespace

bool FocusIsInPasswordField() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(0, &info) || !info.hwndFocus) return false;
  wchar_t name[64] = {};
  if (!GetClassNameW(info.hwndFocus, name, 64)) return false;
  // Edit, and the rich edits (RichEdit20W, RICHEDIT50W), which take the same style.
  const bool edit = _wcsicmp(name, L"Edit") == 0 || _wcsnicmp(name, L"RichEdit", 8) == 0;
  return edit && (GetWindowLongW(info.hwndFocus, GWL_STYLE) & ES_PASSWORD) != 0;
}

KeyHook::KeyHook() : EventHook(WH_KEYBOARD_LL, OnKey) {}

LRESULT CALLBACK KeyHook::OnKey(int code, WPARAM message, LPARAM data) {
  // One filter a hook: each hook has a thread of its own, and the filter follows every event
  // that hook is told of.
  static thread_local ShortcutFilter filter;
  auto* events = HookEvents<KeyEvent>::Current();
  const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
  if (code == HC_ACTION && events) {
    const RawKey key{info->vkCode, info->scanCode, info->flags, info->time};
    // Typing is dropped here, before anything is kept; the focus is looked at only for the
    // few events that are shortcuts.
    const std::optional<KeyEvent> shortcut = filter.Pass(key, HeldSides(), tk::MonotonicSeconds());
    if (shortcut && !FocusIsInPasswordField()) events->Push(*shortcut);
  }
  return CallNextHookEx(nullptr, code, message, data);
}

}  // namespace orvik
