#include "recorder/marks/shortcut_filter.h"

#include <algorithm>
#include <iterator>

namespace orvik {

namespace {
// Virtual-key codes, as <windows.h> names them.
constexpr uint32_t kVkLeftCtrl = 0xA2, kVkRightAlt = 0xA5, kVkNumpad0 = 0x60, kVkNumpad9 = 0x69;
constexpr uint32_t kVkAdd = 0x6B;
// The scan-code bit Windows sets on the left Ctrl it makes up for AltGr (0x21D).
constexpr uint32_t kMadeUpScanCode = 0x200;

// With Num Lock off the numpad's digits 0-9 report the keys printed under them: Ins, End,
// Down, PgDn, Left, Clear, Right, Home, Up, PgUp; only the flag tells them from the arrow keys.
constexpr uint32_t kNumpadDigitsWithoutNumLock[] = {0x2D, 0x23, 0x28, 0x22, 0x25,
                                                    0x0C, 0x27, 0x24, 0x26, 0x21};

bool IsNumpadDigit(const RawKey& key) {
  if (key.vkCode >= kVkNumpad0 && key.vkCode <= kVkNumpad9) return true;
  if (key.flags & kRawKeyExtended) return false;
  return std::find(std::begin(kNumpadDigitsWithoutNumLock), std::end(kNumpadDigitsWithoutNumLock),
                   key.vkCode) != std::end(kNumpadDigitsWithoutNumLock);
}

bool IsHexDigitKey(const RawKey& key) {
  const uint32_t vk = key.vkCode;
  return (vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'F') || IsNumpadDigit(key);
}
}  // namespace

std::optional<KeyEvent> ShortcutFilter::Pass(const RawKey& key, uint32_t held, double now) {
  const bool down = !(key.flags & kRawKeyUp);
  FollowAltGr(key, down, held);
  const bool repeat = down && IsRepeat(key);
  previous_ = key;
  if (down) lastDown_ = key;
  const uint32_t modifiers = Modifiers(held);
  if (!(modifiers & kKeyAlt)) hexAltCode_ = false;
  if (key.vkCode >= passedDown_.size() || IsModifierKey(key.vkCode)) return std::nullopt;
  if (!(down ? PassPress(key, modifiers, repeat) : PassRelease(key.vkCode))) return std::nullopt;
  return KeyEvent{key.vkCode, down, modifiers, now};
}

bool ShortcutFilter::PassPress(const RawKey& key, uint32_t modifiers, bool repeat) {
  const bool shortcut = !IsAltCode(key, modifiers) && IsShortcut({modifiers, key.vkCode});
  // A shortcut's key still held after its modifiers were let go repeats as typing: those
  // repeats stay out, its release does not.
  if (shortcut || !repeat) passedDown_[key.vkCode] = shortcut;
  return shortcut;
}

bool ShortcutFilter::PassRelease(uint32_t vk) {
  const bool passed = passedDown_[vk];
  passedDown_[vk] = false;
  return passed;
}

// The system repeats only the key pressed last, a second at most after its press.
bool ShortcutFilter::IsRepeat(const RawKey& key) const {
  return lastDown_ && lastDown_->vkCode == key.vkCode && key.time - lastDown_->time < kRepeatGapMs;
}

void ShortcutFilter::FollowAltGr(const RawKey& key, bool down, uint32_t held) {
  if (!(held & kHeldRightAlt)) altGr_ = false;  // let go, whether or not the hook was told
  if (key.vkCode != kVkRightAlt) return;
  if (!down) {
    altGr_ = false;
    return;
  }
  // A held AltGr repeats; whether the made-up Ctrl comes again with each repeat or not, the
  // key stays AltGr until it is let go.
  const bool madeUpCtrl = previous_ && previous_->vkCode == kVkLeftCtrl &&
                          !(previous_->flags & kRawKeyUp) &&
                          ((previous_->scanCode & kMadeUpScanCode) || previous_->time == key.time);
  altGr_ = altGr_ || madeUpCtrl;
}

uint32_t ShortcutFilter::Modifiers(uint32_t held) const {
  uint32_t modifiers = 0;
  if ((held & kHeldRightCtrl) || ((held & kHeldLeftCtrl) && !altGr_)) modifiers |= kKeyCtrl;
  if (held & (kHeldLeftShift | kHeldRightShift)) modifiers |= kKeyShift;
  if ((held & kHeldLeftAlt) || ((held & kHeldRightAlt) && !altGr_)) modifiers |= kKeyAlt;
  if (held & (kHeldLeftWin | kHeldRightWin)) modifiers |= kKeyWin;
  return modifiers;
}

// Alt held while numpad digits are typed enters the character of that code when Alt is let
// go; Alt + Num + begins a hexadecimal code, whose digits may be letters A-F.
bool ShortcutFilter::IsAltCode(const RawKey& key, uint32_t modifiers) {
  if (!(modifiers & kKeyAlt)) return false;
  if (key.vkCode == kVkAdd) hexAltCode_ = true;
  return key.vkCode == kVkAdd || IsNumpadDigit(key) || (hexAltCode_ && IsHexDigitKey(key));
}

}  // namespace orvik
