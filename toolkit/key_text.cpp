#include "toolkit/key_text.h"

namespace tk {

namespace {
constexpr uint32_t kVkF1 = 0x70;
constexpr uint32_t kVkF24 = 0x87;
}  // namespace

std::wstring HotKeyText(uint32_t modifiers, uint32_t virtualKey) {
  std::wstring text;
  if (modifiers & kHotKeyControl) text += L"Ctrl+";
  if (modifiers & kHotKeyShift) text += L"Shift+";
  if (modifiers & kHotKeyAlt) text += L"Alt+";
  if (virtualKey >= kVkF1 && virtualKey <= kVkF24) {
    text += L"F" + std::to_wstring(virtualKey - kVkF1 + 1);
  } else if ((virtualKey >= L'A' && virtualKey <= L'Z') ||
             (virtualKey >= L'0' && virtualKey <= L'9')) {
    text += static_cast<wchar_t>(virtualKey);
  } else {
    text += L"#" + std::to_wstring(virtualKey);
  }
  return text;
}

std::wstring MenuLabel(const std::wstring& caption, const std::wstring& keyText) {
  return keyText.empty() ? caption : caption + L"\t" + keyText;
}

}  // namespace tk
