#pragma once
// The shortcuts pressed shown in the recorded frames: a caption such as "Ctrl + Shift + S" at
// the bottom of the picture, so viewers of a tutorial see which keys did what. Plain typing is
// never shown. Only the frames get the caption, never the screen. No <windows.h>.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/key_text.h"

namespace orvik {

// Modifier bits, as RegisterHotKey takes them (MOD_ALT, MOD_CONTROL, MOD_SHIFT, MOD_WIN).
constexpr uint32_t kKeyAlt = tk::kHotKeyAlt;
constexpr uint32_t kKeyCtrl = tk::kHotKeyControl;
constexpr uint32_t kKeyShift = tk::kHotKeyShift;
constexpr uint32_t kKeyWin = 8;

// A key going down or up: its virtual-key code, the modifiers held as it went, and when, in
// the seconds of the clock the recording's slots are measured with.
struct KeyEvent {
  uint32_t virtualKey = 0;
  bool down = true;
  uint32_t modifiers = 0;
  double time = 0;
};

// A key with the modifiers held.
struct KeyCombo {
  uint32_t modifiers = 0;
  uint32_t virtualKey = 0;
  bool operator==(const KeyCombo& o) const {
    return modifiers == o.modifiers && virtualKey == o.virtualKey;
  }
};

struct VisibleCaption {
  std::wstring text;
  float opacity = 1;  // 0..1
};

class KeyCaption {
 public:
  static constexpr double kHoldSeconds = 1.5;
  static constexpr double kFadeSeconds = 0.3;

  // `leftOut`: combinations never shown (the program's own hot keys).
  explicit KeyCaption(std::vector<KeyCombo> leftOut = {}) : leftOut_(std::move(leftOut)) {}

  // A shortcut replaces the caption, or counts up when it is the one showing; a key held
  // down (the system repeating it) keeps its caption showing without counting.
  void Add(const KeyEvent& event);
  // The caption at `now`: full for kHoldSeconds after the last press, then fading.
  std::optional<VisibleCaption> CaptionAt(double now) const;
  void Clear();

 private:
  bool Shows(const KeyCombo& combo) const;
  std::vector<KeyCombo> leftOut_;
  // Keys down now, and when the last press or repeat of each came, so that a repeat is known
  // from a new press.
  struct HeldKey {
    uint32_t key;
    double lastDown;
  };
  static constexpr double kRepeatGapSeconds = 1.2;  // the longest delay before repeats is 1 s
  std::vector<HeldKey> held_;
  std::optional<KeyCombo> showing_;
  int count_ = 0;
  double lastPress_ = 0;
};

// Whether the key is Ctrl, Shift, Alt or Win (either side), which show only with another key.
bool IsModifierKey(uint32_t virtualKey);
// The key's name as printed on the keyboard ("S", "F5", "Enter", "PgDn"); empty for keys
// without one (media keys, IME keys), which are never shown.
std::wstring KeyName(uint32_t virtualKey);
// Whether a key pressed with these modifiers is a shortcut the caption may show: a key with a
// name, pressed with Ctrl, Alt or Win, or one that acts alone (Enter, Esc, Tab, Backspace,
// Delete, the arrows, Home/End, PgUp/PgDn, F1-F24). Anything else is typing.
bool IsShortcut(const KeyCombo& combo);
// "Ctrl + Shift + S", modifiers in the order Ctrl, Shift, Alt, Win; "Ctrl + Z ×3" from the
// second press of the same combination on.
std::wstring CaptionText(const KeyCombo& combo, int count);

// The caption's box as drawn on a screen of `dpi`: sizes at 96, scaled with it.
struct CaptionLayout {
  int fontPixels = 20, padX = 14, padY = 8, radius = 8;
  int bottomGap = 48;  // from the box's bottom edge to the frame's
};
CaptionLayout CaptionLayoutAt(int dpi);
constexpr uint32_t kCaptionBoxColor = 0x202020;  // 0xRRGGBB
constexpr uint8_t kCaptionBoxAlpha = 224;
constexpr uint32_t kCaptionTextColor = 0xF4F4F4;

// The caption's pixels, premultiplied BGRA, rows top-down, `width` x `height`: the rounded
// box with its corners smoothed, and the light text over it where `textCoverage` (0..255 a
// pixel, the same size, e.g. the text drawn white on black) says.
std::vector<uint32_t> CaptionPixels(int width, int height, int radius,
                                    const std::vector<uint8_t>& textCoverage);

}  // namespace orvik
