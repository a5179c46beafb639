#include "toolkit/key_text.h"

#include <gtest/gtest.h>

TEST(KeyText, ModifiersInFixedOrderThenTheKey) {
  using namespace tk;
  EXPECT_EQ(HotKeyText(kHotKeyShift | kHotKeyControl, 0x78), L"Ctrl+Shift+F9");
  EXPECT_EQ(HotKeyText(kHotKeyAlt | kHotKeyShift | kHotKeyControl, 0x70), L"Ctrl+Shift+Alt+F1");
  EXPECT_EQ(HotKeyText(kHotKeyAlt, 0x87), L"Alt+F24");
  EXPECT_EQ(HotKeyText(kHotKeyControl, 'K'), L"Ctrl+K");
  EXPECT_EQ(HotKeyText(0, '7'), L"7");
  EXPECT_EQ(HotKeyText(kHotKeyControl, 0x88), L"Ctrl+#136");  // past F24: no name
  EXPECT_EQ(HotKeyText(kHotKeyControl, 'a'), L"Ctrl+#97");    // not a virtual-key code

  // The key goes after a tab; without one the caption is left as it is.
  EXPECT_EQ(MenuLabel(L"停止", L"Ctrl+Shift+F9"), L"停止\tCtrl+Shift+F9");
  EXPECT_EQ(MenuLabel(L"暂停", L""), L"暂停");
}
