#pragma once
// How a hot key reads in a menu: "Ctrl+Shift+F9", shown after a tab so the system lines the
// keys of a popup up in a column of their own. No <windows.h>: built natively too.
#include <cstdint>
#include <string>

namespace tk {

// Hot-key modifier bits as RegisterHotKey takes them (MOD_ALT, MOD_CONTROL, MOD_SHIFT).
constexpr uint32_t kHotKeyAlt = 1;
constexpr uint32_t kHotKeyControl = 2;
constexpr uint32_t kHotKeyShift = 4;

// "Ctrl+Shift+F9" for the modifiers and virtual key: F1..F24, letters and digits by name,
// other keys as "#<code>". Modifiers in the order Ctrl, Shift, Alt.
std::wstring HotKeyText(uint32_t modifiers, uint32_t virtualKey);

// What a menu entry shows: its caption, then a tab and the key when it has one.
std::wstring MenuLabel(const std::wstring& caption, const std::wstring& keyText);

}  // namespace tk
