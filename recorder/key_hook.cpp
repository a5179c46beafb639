#include "recorder/key_hook.h"

#include <cwchar>

#include "toolkit/screen.h"

namespace orvik {

namespace {
bool Held(int key) { return (GetAsyncKeyState(key) & 0x8000) != 0; }

// The modifiers held as the key went: the key's own state is not yet updated when the hook
// is called, but the modifiers pressed before it are.
uint32_t HeldModifiers() {
  uint32_t modifiers = 0;
  if (Held(VK_CONTROL)) modifiers |= kKeyCtrl;
  if (Held(VK_SHIFT)) modifiers |= kKeyShift;
  if (Held(VK_MENU)) modifiers |= kKeyAlt;
  if (Held(VK_LWIN) || Held(VK_RWIN)) modifiers |= kKeyWin;
  return modifiers;
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
  auto* events = HookEvents<KeyEvent>::Current();
  const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  const bool up = message == WM_KEYUP || message == WM_SYSKEYUP;
  const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(data);
  // The modifiers count as held with the next key (read from the key state), never alone:
  // their own events are not queued, which spares the focus check for most events.
  if (code == HC_ACTION && events && (down || up) && !IsModifierKey(info->vkCode) &&
      !FocusIsInPasswordField()) {
    events->Push(KeyEvent{info->vkCode, down, HeldModifiers(), tk::MonotonicSeconds()});
  }
  return CallNextHookEx(nullptr, code, message, data);
}

}  // namespace orvik
