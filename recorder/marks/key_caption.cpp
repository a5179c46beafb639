#include "recorder/marks/key_caption.h"

#include <algorithm>
#include <cmath>

#include "toolkit/units.h"

namespace orvik {

namespace {
// Virtual-key codes, as <windows.h> names them.
constexpr uint32_t kVkBack = 0x08, kVkTab = 0x09, kVkReturn = 0x0D, kVkEscape = 0x1B;
constexpr uint32_t kVkSpace = 0x20, kVkPrior = 0x21, kVkDown = 0x28, kVkDelete = 0x2E;
constexpr uint32_t kVkF1 = 0x70, kVkF24 = 0x87;

const wchar_t* const kPageToArrowNames[] = {L"PgUp", L"PgDn", L"End",   L"Home",
                                            L"Left", L"Up",   L"Right", L"Down"};

struct NamedKey {
  uint32_t key;
  const wchar_t* name;
};
constexpr NamedKey kNamedKeys[] = {
    {kVkBack, L"Backspace"},
    {kVkTab, L"Tab"},
    {kVkReturn, L"Enter"},
    {0x13, L"Pause"},
    {0x14, L"CapsLock"},
    {kVkEscape, L"Esc"},
    {kVkSpace, L"Space"},
    {0x2C, L"PrtSc"},
    {0x2D, L"Insert"},
    {kVkDelete, L"Delete"},
    {0x5D, L"Menu"},
    {0x6A, L"Num *"},
    {0x6B, L"Num +"},
    {0x6D, L"Num -"},
    {0x6E, L"Num ."},
    {0x6F, L"Num /"},
    {0x90, L"NumLock"},
    {0x91, L"ScrollLock"},
    // The punctuation keys as a US keyboard prints them.
    {0xBA, L";"},
    {0xBB, L"="},
    {0xBC, L","},
    {0xBD, L"-"},
    {0xBE, L"."},
    {0xBF, L"/"},
    {0xC0, L"`"},
    {0xDB, L"["},
    {0xDC, L"\\"},
    {0xDD, L"]"},
    {0xDE, L"'"},
};

bool IsFunctionKey(uint32_t key) { return key >= kVkF1 && key <= kVkF24; }

// Keys that show even without Ctrl, Alt or Win: they do something rather than type.
bool IsSpecialKey(uint32_t key) {
  return key == kVkReturn || key == kVkEscape || key == kVkTab || key == kVkBack ||
         key == kVkDelete || (key >= kVkPrior && key <= kVkDown) || IsFunctionKey(key);
}
}  // namespace

bool IsModifierKey(uint32_t key) {
  return (key >= 0x10 && key <= 0x12) || key == 0x5B || key == 0x5C || (key >= 0xA0 && key <= 0xA5);
}

std::wstring KeyName(uint32_t key) {
  if ((key >= L'A' && key <= L'Z') || (key >= L'0' && key <= L'9'))
    return std::wstring(1, static_cast<wchar_t>(key));
  if (IsFunctionKey(key)) return L"F" + std::to_wstring(key - kVkF1 + 1);
  if (key >= kVkPrior && key <= kVkDown) return kPageToArrowNames[key - kVkPrior];
  if (key >= 0x60 && key <= 0x69) return L"Num " + std::to_wstring(key - 0x60);
  for (const NamedKey& k : kNamedKeys) {
    if (k.key == key) return k.name;
  }
  return {};
}

std::wstring CaptionText(const KeyCombo& combo, int count) {
  std::wstring text;
  const std::pair<uint32_t, const wchar_t*> modifiers[] = {
      {kKeyCtrl, L"Ctrl + "}, {kKeyShift, L"Shift + "}, {kKeyAlt, L"Alt + "}, {kKeyWin, L"Win + "}};
  for (const auto& [bit, name] : modifiers) {
    if (combo.modifiers & bit) text += name;
  }
  text += KeyName(combo.virtualKey);
  if (count > 1) text += L" \u00D7" + std::to_wstring(count);
  return text;
}

bool IsShortcut(const KeyCombo& combo) {
  if (KeyName(combo.virtualKey).empty()) return false;
  return (combo.modifiers & (kKeyCtrl | kKeyAlt | kKeyWin)) || IsSpecialKey(combo.virtualKey);
}

bool KeyCaption::Shows(const KeyCombo& combo) const {
  return IsShortcut(combo) && std::find(leftOut_.begin(), leftOut_.end(), combo) == leftOut_.end();
}

void KeyCaption::Add(const KeyEvent& event) {
  if (IsModifierKey(event.virtualKey)) return;
  const auto held = std::find_if(held_.begin(), held_.end(),
                                 [&](const HeldKey& k) { return k.key == event.virtualKey; });
  if (!event.down) {
    if (held != held_.end()) held_.erase(held);
    return;
  }
  const KeyCombo combo{event.modifiers & (kKeyCtrl | kKeyShift | kKeyAlt | kKeyWin),
                       event.virtualKey};
  // The system repeats a held key many times a second; a key whose release was never seen
  // (dropped while a password field had the focus) is pressed anew after a pause.
  if (held != held_.end() && event.time - held->lastDown < kRepeatGapSeconds) {
    held->lastDown = event.time;
    if (showing_ && *showing_ == combo) lastPress_ = std::max(lastPress_, event.time);
    return;
  }
  if (held != held_.end()) held_.erase(held);
  held_.push_back(HeldKey{event.virtualKey, event.time});
  if (!Shows(combo)) return;
  const bool stillShowing = showing_ && CaptionAt(event.time).has_value();
  if (stillShowing && *showing_ == combo) {
    ++count_;
  } else {
    showing_ = combo;
    count_ = 1;
  }
  lastPress_ = event.time;
}

std::optional<VisibleCaption> KeyCaption::CaptionAt(double now) const {
  if (!showing_) return std::nullopt;
  const double age = std::max(0.0, now - lastPress_);
  if (age >= kHoldSeconds + kFadeSeconds) return std::nullopt;
  const double faded = age <= kHoldSeconds ? 0.0 : (age - kHoldSeconds) / kFadeSeconds;
  return VisibleCaption{CaptionText(*showing_, count_), static_cast<float>(1.0 - faded)};
}

void KeyCaption::Clear() {
  held_.clear();
  showing_.reset();
  count_ = 0;
}

CaptionLayout CaptionLayoutAt(int dpi) {
  CaptionLayout layout;
  for (int* size :
       {&layout.fontPixels, &layout.padX, &layout.padY, &layout.radius, &layout.bottomGap}) {
    *size = ScaledPixelsAt(*size, dpi);
  }
  return layout;
}

namespace {
// How much of the pixel at (x, y) the box with corners of `radius` covers.
double BoxCoverage(int x, int y, int width, int height, int radius) {
  const double px = x + 0.5, py = y + 0.5;
  const double cx =
      std::clamp(px, static_cast<double>(radius), static_cast<double>(width - radius));
  const double cy =
      std::clamp(py, static_cast<double>(radius), static_cast<double>(height - radius));
  if (cx == px || cy == py) return 1.0;  // not in a corner's square
  return std::clamp(radius - std::hypot(px - cx, py - cy) + 0.5, 0.0, 1.0);
}

uint32_t Channel(uint32_t color, int shift) { return (color >> shift) & 0xFF; }
}  // namespace

std::vector<uint32_t> CaptionPixels(int width, int height, int radius,
                                    const std::vector<uint8_t>& textCoverage) {
  const size_t count = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0);
  std::vector<uint32_t> pixels(count, 0);
  radius = std::clamp(radius, 0, std::min(width, height) / 2);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const size_t i = static_cast<size_t>(y) * width + x;
      const double box = BoxCoverage(x, y, width, height, radius) * kCaptionBoxAlpha / 255.0;
      const double text = i < textCoverage.size() ? textCoverage[i] / 255.0 : 0.0;
      auto mix = [&](int shift) {
        const double c = Channel(kCaptionTextColor, shift) * text +
                         Channel(kCaptionBoxColor, shift) * box * (1 - text);
        return static_cast<uint32_t>(std::lround(c));
      };
      const uint32_t alpha = static_cast<uint32_t>(std::lround(255 * (text + box * (1 - text))));
      pixels[i] = alpha << 24 | mix(16) << 16 | mix(8) << 8 | mix(0);
    }
  }
  return pixels;
}

}  // namespace orvik
