#include "recorder/marks/shortcut_filter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace orvik {
namespace {

// Virtual keys, scan codes and KBDLLHOOKSTRUCT flags as Windows reports them to the hook.
constexpr uint32_t kLCtrl = 0xA2, kLShift = 0xA0, kLAlt = 0xA4, kRAlt = 0xA5, kLWin = 0x5B;
constexpr uint32_t kCtrlScan = 0x1D, kMadeUpCtrlScan = 0x21D, kAltScan = 0x38;
constexpr uint32_t kExt = kRawKeyExtended, kUp = kRawKeyUp, kAltDown = 0x20;  // LLKHF_ALTDOWN

// Stands in for the system around the hook: the modifiers' key state as GetAsyncKeyState
// reports it before each event, and what the filter passed, as "Ctrl + Alt + T" for a press
// and "up T" for a release.
class Keyboard {
 public:
  void Down(uint32_t vk, uint32_t scan, uint32_t ms, uint32_t flags = 0) {
    if (const auto event = filter_.Pass(RawKey{vk, scan, flags, ms}, held_, ms / 1000.0)) {
      const std::wstring name = CaptionText({event->modifiers, event->virtualKey}, 1);
      passed.push_back(event->down ? name : L"up " + KeyName(event->virtualKey));
    }
    const std::pair<uint32_t, uint32_t> sides[] = {{kLCtrl, kHeldLeftCtrl},
                                                   {kLShift, kHeldLeftShift},
                                                   {kLAlt, kHeldLeftAlt},
                                                   {kRAlt, kHeldRightAlt},
                                                   {kLWin, kHeldLeftWin}};
    for (const auto& [key, bit] : sides) {
      if (key == vk) held_ = flags & kUp ? held_ & ~bit : held_ | bit;
    }
  }
  void Up(uint32_t vk, uint32_t scan, uint32_t ms, uint32_t flags = 0) {
    Down(vk, scan, ms, flags | kUp);
  }
  void Press(uint32_t vk, uint32_t scan, uint32_t ms, uint32_t flags = 0) {
    Down(vk, scan, ms, flags);
    Up(vk, scan, ms + 40, flags);
  }
  // AltGr + `vk` as Windows reports it: a left Ctrl it makes up at the right Alt's time, the
  // right Alt, the key; then both let go, the made-up Ctrl first.
  void AltGr(uint32_t vk, uint32_t scan, uint32_t ms, uint32_t ctrlScan = kMadeUpCtrlScan) {
    Down(kLCtrl, ctrlScan, ms);
    Down(kRAlt, kAltScan, ms, kExt | kAltDown);
    Press(vk, scan, ms + 60, kAltDown);
    Up(kLCtrl, ctrlScan, ms + 150, kAltDown);
    Up(kRAlt, kAltScan, ms + 150, kExt);
  }
  // The system's state after keys let go where the hook was not told (the secure desktop).
  void ReleasedUnseen() { held_ = 0; }

  std::vector<std::wstring> passed;

 private:
  ShortcutFilter filter_;
  uint32_t held_ = 0;
};

using Passed = std::vector<std::wstring>;

TEST(ShortcutFilter, AltGrTypingPassesNothingWhileCtrlWithEitherAltStillDoes) {
  Keyboard kb;
  kb.AltGr('Q', 0x10, 1000);             // German @
  kb.AltGr('E', 0x12, 2000);             // €
  kb.AltGr('A', 0x1E, 3000);             // Polish ą
  kb.AltGr('Q', 0x10, 4000, kCtrlScan);  // a made-up Ctrl known only by its time
  EXPECT_EQ(kb.passed, Passed{});

  // Right after: Ctrl + Alt + T with the left Alt.
  kb.Down(kLCtrl, kCtrlScan, 9000);
  kb.Down(kLAlt, kAltScan, 9050, kAltDown);
  kb.Press('T', 0x14, 9100, kAltDown);
  kb.Up(kLAlt, kAltScan, 9200);
  kb.Up(kLCtrl, kCtrlScan, 9250);
  // The right Alt on a layout without AltGr: a real left Ctrl pressed a moment before it.
  kb.Down(kLCtrl, kCtrlScan, 10000);
  kb.Down(kRAlt, kAltScan, 10050, kExt | kAltDown);
  kb.Press('T', 0x14, 10100, kAltDown);
  kb.Up(kRAlt, kAltScan, 10200, kExt);
  kb.Up(kLCtrl, kCtrlScan, 10250);
  kb.Down(kRAlt, kAltScan, 11000, kExt | kAltDown);
  kb.Press('F', 0x21, 11050, kAltDown);
  kb.Up(kRAlt, kAltScan, 11100, kExt);
  EXPECT_EQ(kb.passed,
            (Passed{L"Ctrl + Alt + T", L"up T", L"Ctrl + Alt + T", L"up T", L"Alt + F", L"up F"}));
}

TEST(ShortcutFilter, AltNumpadCodesPassNothingWithNumLockOnOrOffOrInHex) {
  Keyboard kb;
  auto altCode = [&](std::initializer_list<std::pair<uint32_t, uint32_t>> keys, uint32_t t,
                     uint32_t flags = 0) {
    kb.Down(kLAlt, kAltScan, t, kAltDown);
    for (const auto& [vk, scan] : keys) kb.Press(vk, scan, t += 100, kAltDown | flags);
    kb.Up(kLAlt, kAltScan, t + 100);
  };
  altCode({{0x60, 0x52}, {0x62, 0x50}, {0x62, 0x50}, {0x65, 0x4C}}, 1000);  // Num 0 2 2 5
  altCode({{0x2D, 0x52}, {0x28, 0x50}, {0x28, 0x50}, {0x0C, 0x4C}}, 2000);  // Num Lock off
  altCode({{0x6B, 0x4E}, {'2', 0x03}, {'0', 0x0B}, {'A', 0x1E}, {'C', 0x2E}}, 3000);  // hex
  EXPECT_EQ(kb.passed, Passed{});
  // Alt pressed anew: its letters, the real arrow keys and F4 are shortcuts again.
  altCode({{'A', 0x1E}}, 4000);
  altCode({{0x28, 0x50}}, 5000, kExt);
  altCode({{0x73, 0x3E}}, 6000);
  EXPECT_EQ(kb.passed,
            (Passed{L"Alt + A", L"up A", L"Alt + Down", L"up Down", L"Alt + F4", L"up F4"}));
}

TEST(ShortcutFilter, TypingNeverPassesAHeldShortcutRepeatsAndItsReleasePass) {
  Keyboard kb;
  // Letters, digits, space, punctuation, a numpad digit, a character sent as VK_PACKET, and
  // a code no key has.
  const uint32_t typed[] = {'A', 'Z', '0', 0x20, 0xBE, 0x63, 0xE7, 0x1FF};
  for (uint32_t vk : typed) kb.Press(vk, 0x1E, 1000);
  kb.Down(kLShift, 0x2A, 1100);
  kb.Press('A', 0x1E, 1200);
  kb.Press(0xBF, 0x35, 1300);
  kb.Press(0x09, 0x0F, 1400);  // Shift + Tab acts
  kb.Up(kLShift, 0x2A, 1500);
  kb.Down(kLCtrl, kCtrlScan, 1600);
  kb.Press(0xAD, 0x20, 1700, kExt);  // a media key has no name to show
  EXPECT_EQ(kb.passed, (Passed{L"Shift + Tab", L"up Tab"}));

  // Ctrl + Z held: its repeats pass; once Ctrl is let go they type z, and only the release
  // passes. Ctrl's own events never do, nor a z typed next.
  kb.passed.clear();
  for (uint32_t t = 2000; t <= 2600; t += 150) kb.Down('Z', 0x2C, t);
  kb.Up(kLCtrl, kCtrlScan, 2650);
  kb.Down('Z', 0x2C, 2700);
  kb.Down('Z', 0x2C, 2730);
  kb.Up('Z', 0x2C, 2760);
  kb.Press('Z', 0x2C, 2800);  // typed right after
  Passed held(5, L"Ctrl + Z");
  held.push_back(L"up Z");
  EXPECT_EQ(kb.passed, held);

  // Ctrl + Alt + Del, Win + L: the secure desktop keeps the releases from the hook. The typing
  // after them is typing, and the L typed later does not pass its release.
  kb.passed.clear();
  kb.Down(kLCtrl, kCtrlScan, 3000);
  kb.Down(kLAlt, kAltScan, 3050, kAltDown);
  kb.Down(0x2E, 0x53, 3100, kExt | kAltDown);
  kb.ReleasedUnseen();
  kb.Press('P', 0x19, 9000);
  kb.Down(kLWin, 0x5B, 10000, kExt);
  kb.Down('L', 0x26, 10050);
  kb.ReleasedUnseen();
  kb.Press('L', 0x26, 20000);
  kb.Press('W', 0x11, 20100);
  // AltGr let go unseen: the left Ctrl counts again.
  kb.Down(kLCtrl, kMadeUpCtrlScan, 21000);
  kb.Down(kRAlt, kAltScan, 21000, kExt | kAltDown);
  kb.ReleasedUnseen();
  kb.Down(kLCtrl, kCtrlScan, 30000);
  kb.Press('S', 0x1F, 30100);
  EXPECT_EQ(kb.passed, (Passed{L"Ctrl + Alt + Delete", L"Win + L", L"Ctrl + S", L"up S"}));
}

}  // namespace
}  // namespace orvik
