#pragma once
// Which of the keyboard's events may reach the caption: the keyboard hook asks for each event
// as it comes, so that typing never enters the hook's queue or this process's memory. It sees
// every event, modifiers too, since telling AltGr from Ctrl + Alt takes the events around a
// key. No <windows.h>.
#include <bitset>
#include <cstdint>
#include <optional>

#include "recorder/marks/key_caption.h"

namespace orvik {

// A key event as a low-level keyboard hook is told of it (KBDLLHOOKSTRUCT's fields).
struct RawKey {
  uint32_t vkCode = 0;
  uint32_t scanCode = 0;
  uint32_t flags = 0;  // kRawKey* bits
  uint32_t time = 0;   // the system's milliseconds
};
// KBDLLHOOKSTRUCT's flags that matter here (LLKHF_EXTENDED, LLKHF_UP).
constexpr uint32_t kRawKeyExtended = 0x01;
constexpr uint32_t kRawKeyUp = 0x80;

// The modifier keys the system reports held (GetAsyncKeyState), one bit a side.
constexpr uint32_t kHeldLeftCtrl = 1 << 0, kHeldRightCtrl = 1 << 1;
constexpr uint32_t kHeldLeftShift = 1 << 2, kHeldRightShift = 1 << 3;
constexpr uint32_t kHeldLeftAlt = 1 << 4, kHeldRightAlt = 1 << 5;
constexpr uint32_t kHeldLeftWin = 1 << 6, kHeldRightWin = 1 << 7;

// Passes a key's press when it is a shortcut the caption may show (IsShortcut, with the
// modifiers that really are held), its release only when its press was passed. Typing never
// passes: letters, digits and punctuation with or without Shift, keys without a name, keys
// typed with AltGr, and Alt + numpad character codes.
//
// AltGr: on a layout that has it, Windows reports the right Alt as a left Ctrl it makes up
// (scan code 0x21D, or the same time as the right Alt) followed by the right Alt itself.
// While such a right Alt is held, neither it nor the left Ctrl counts: keys pressed with it
// are typing, or show alone when they act alone (Enter, F5). A real left Ctrl with the right
// Alt on a layout without AltGr still counts, unless both went down within the same tick of
// the system's clock, which cannot be told from AltGr. Ctrl with the LEFT Alt is always a
// shortcut: on AltGr layouts Windows types the AltGr character for it too where no program
// takes it, but the hook cannot know which program will, and the user pressed it as one.
// (Wine makes no such AltGr of an X layout's: its AltGr arrives as VK_OEM_8 with nothing held,
// or, when the layout changed after the program started, as a plain right Alt that counts.)
//
// The modifiers are taken from the system's key state, not from the events seen: a release
// the hook never saw (after Ctrl + Alt + Del, or a lock of the screen) would leave them held.
// Keys sent by other programs (LLKHF_INJECTED) are judged as the keyboard's own: an on-screen
// keyboard or a password manager types, a macro presses shortcuts the viewer sees happen.
class ShortcutFilter {
 public:
  // The event to queue for the caption, at `now` on the recording's clock; nothing for typing.
  std::optional<KeyEvent> Pass(const RawKey& key, uint32_t held, double now);

 private:
  bool PassPress(const RawKey& key, uint32_t modifiers, bool repeat);
  bool PassRelease(uint32_t vk);
  void FollowAltGr(const RawKey& key, bool down, uint32_t held);
  bool IsRepeat(const RawKey& key) const;
  uint32_t Modifiers(uint32_t held) const;
  bool IsAltCode(const RawKey& key, uint32_t modifiers);

  static constexpr uint32_t kRepeatGapMs = 1200;
  std::optional<RawKey> previous_, lastDown_;
  bool altGr_ = false;           // the right Alt held is AltGr
  bool hexAltCode_ = false;      // Alt + Num + began a hexadecimal character code
  std::bitset<256> passedDown_;  // keys whose press was passed and not yet released
};

}  // namespace orvik
