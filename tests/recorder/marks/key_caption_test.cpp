#include "recorder/marks/key_caption.h"

#include <gtest/gtest.h>

namespace orvik {
namespace {

constexpr uint32_t kCtrlShift = kKeyCtrl | kKeyShift;

// A press and release of `key` with `modifiers` held, at `time`.
void Press(KeyCaption& caption, uint32_t key, uint32_t modifiers, double time) {
  caption.Add(KeyEvent{key, true, modifiers, time});
  caption.Add(KeyEvent{key, false, modifiers, time + 0.05});
}

std::wstring TextAt(const KeyCaption& caption, double now) {
  const auto shown = caption.CaptionAt(now);
  return shown ? shown->text : L"(none)";
}

// What one press alone shows.
std::wstring Shown(uint32_t key, uint32_t modifiers) {
  KeyCaption caption({{kCtrlShift, 0x78}, {kCtrlShift, 0x77}});
  caption.Add(KeyEvent{modifiers & kKeyCtrl ? 0xA2u : 0xA0u, true, modifiers, 0.9});
  Press(caption, key, modifiers, 1);
  return TextAt(caption, 1.1);
}

TEST(KeyCaption, ShortcutsAndSpecialKeysReadAsOnTheKeyboardInOneOrder) {
  EXPECT_EQ(Shown('S', kCtrlShift), L"Ctrl + Shift + S");
  EXPECT_EQ(Shown(0x2E, kKeyWin | kKeyAlt | kKeyShift | kKeyCtrl),
            L"Ctrl + Shift + Alt + Win + Delete");
  EXPECT_EQ(Shown('4', kKeyAlt), L"Alt + 4");
  EXPECT_EQ(Shown(0xBA, kKeyCtrl), L"Ctrl + ;");
  EXPECT_EQ(Shown(0x20, kKeyCtrl), L"Ctrl + Space");
  EXPECT_EQ(Shown(0x65, kKeyCtrl), L"Ctrl + Num 5");
  EXPECT_EQ(Shown(0x7B, 0), L"F12");
  EXPECT_EQ(Shown(0x87, 0), L"F24");
  EXPECT_EQ(Shown(0x0D, 0), L"Enter");
  EXPECT_EQ(Shown(0x1B, 0), L"Esc");
  EXPECT_EQ(Shown(0x08, 0), L"Backspace");
  EXPECT_EQ(Shown(0x22, 0), L"PgDn");
  EXPECT_EQ(Shown(0x24, 0), L"Home");
  EXPECT_EQ(Shown(0x25, 0), L"Left");
  EXPECT_EQ(Shown(0x28, 0), L"Down");
  EXPECT_EQ(Shown(0x09, kKeyShift), L"Shift + Tab");
  EXPECT_EQ(Shown(0x77, kKeyCtrl), L"Ctrl + F8");  // only the exact hot keys are left out
}

TEST(KeyCaption, TypingModifiersAloneAndOurHotKeysShowNothing) {
  for (uint32_t key : {0x41u, 0x5Au, 0x30u, 0x39u, 0x20u, 0xBEu, 0xDEu, 0x63u, 0x6Bu, 0x2Du})
    EXPECT_EQ(Shown(key, 0), L"(none)") << key;
  EXPECT_EQ(Shown('A', kKeyShift), L"(none)");
  EXPECT_EQ(Shown(0xBF, kKeyShift), L"(none)");
  EXPECT_EQ(Shown(0x78, kCtrlShift), L"(none)");  // stop
  EXPECT_EQ(Shown(0x77, kCtrlShift), L"(none)");  // pause
  EXPECT_EQ(Shown(0xAD, kKeyCtrl), L"(none)");    // a media key has no name to show
  KeyCaption caption;
  for (uint32_t key : {0x10u, 0x11u, 0x12u, 0x5Bu, 0x5Cu, 0xA0u, 0xA3u, 0xA5u})
    Press(caption, key, kKeyCtrl | kKeyAlt | kKeyShift | kKeyWin, 1);
  EXPECT_FALSE(caption.CaptionAt(1.1));
  // Typing after a shortcut leaves its caption as it was.
  Press(caption, 'S', kKeyCtrl, 2);
  Press(caption, 'A', 0, 2.5);
  Press(caption, 'B', kKeyShift, 2.6);
  EXPECT_EQ(TextAt(caption, 2.7), L"Ctrl + S");
  EXPECT_EQ(caption.CaptionAt(2.7)->opacity, 1.0f);
}

TEST(KeyCaption, RepeatsCountHeldKeysDoNotAndANewCombinationReplaces) {
  KeyCaption caption;
  Press(caption, 'Z', kKeyCtrl, 1);
  EXPECT_EQ(TextAt(caption, 1.1), L"Ctrl + Z");
  Press(caption, 'Z', kKeyCtrl, 1.4);
  Press(caption, 'Z', kKeyCtrl, 2.9);  // 1.5 s after the last: still showing
  EXPECT_EQ(TextAt(caption, 3), L"Ctrl + Z \u00D73");
  // Held down, one press the system repeats: the caption stays as long, and counts it once.
  for (double t = 3.2; t < 6; t += 0.03) caption.Add(KeyEvent{'Z', true, kKeyCtrl, t});
  EXPECT_EQ(TextAt(caption, 6.5), L"Ctrl + Z \u00D74");
  caption.Add(KeyEvent{'Z', false, kKeyCtrl, 6});
  // Ctrl + Shift + Z is another combination: it replaces, and Ctrl + Z starts again from one.
  Press(caption, 'Z', kCtrlShift, 6.2);
  EXPECT_EQ(TextAt(caption, 6.3), L"Ctrl + Shift + Z");
  Press(caption, 'Z', kKeyCtrl, 6.4);
  EXPECT_EQ(TextAt(caption, 6.5), L"Ctrl + Z");
  // Once faded out, the same combination is a new caption.
  Press(caption, 'Z', kKeyCtrl, 9);
  EXPECT_EQ(TextAt(caption, 9.1), L"Ctrl + Z");
  // A key whose release never came (kept from us in a password field) is pressed anew later.
  caption.Add(KeyEvent{0x2E, true, 0, 10});
  caption.Add(KeyEvent{0x2E, true, 0, 11.5});
  EXPECT_EQ(TextAt(caption, 11.6), L"Delete \u00D72");
  caption.Clear();
  EXPECT_FALSE(caption.CaptionAt(11.6));
}

TEST(KeyCaption, StaysOneAndAHalfSecondsThenFadesOverPointThree) {
  KeyCaption caption;
  EXPECT_FALSE(caption.CaptionAt(0));
  Press(caption, 0x0D, 0, 10);
  EXPECT_FLOAT_EQ(caption.CaptionAt(10)->opacity, 1);
  EXPECT_FLOAT_EQ(caption.CaptionAt(11.5)->opacity, 1);
  EXPECT_NEAR(caption.CaptionAt(11.65)->opacity, 0.5, 1e-3);
  EXPECT_NEAR(caption.CaptionAt(11.79)->opacity, 0.033, 1e-3);
  EXPECT_FALSE(caption.CaptionAt(11.8));
  Press(caption, 0x0D, 0, 11.7);  // pressed again while fading: full again, counted
  EXPECT_FLOAT_EQ(caption.CaptionAt(12)->opacity, 1);
  EXPECT_EQ(caption.CaptionAt(12)->text, L"Enter \u00D72");
}

TEST(KeyCaption, PixelsAreARoundedDarkBoxWithLightTextScaledWithTheScreen) {
  constexpr int w = 40, h = 20, r = 8;
  std::vector<uint8_t> text(w * h, 0);
  text[10 * w + 20] = 255;
  const std::vector<uint32_t> px = CaptionPixels(w, h, r, text);
  ASSERT_EQ(px.size(), size_t{w * h});
  auto alpha = [&](int x, int y) { return px[y * w + x] >> 24; };
  EXPECT_EQ(px[0], 0u);  // the corners are rounded off
  EXPECT_EQ(px[(h - 1) * w + w - 1], 0u);
  EXPECT_GT(alpha(r, 0), 200u);  // an edge's middle is not
  EXPECT_EQ(alpha(1, 10), kCaptionBoxAlpha);
  EXPECT_LT(alpha(2, 2), kCaptionBoxAlpha);  // smoothed
  EXPECT_GT(alpha(2, 2), 0u);
  const uint32_t box = px[5 * w + 5];
  EXPECT_EQ(box & 0xFF, (0x20u * kCaptionBoxAlpha + 127) / 255);  // premultiplied
  EXPECT_EQ(px[10 * w + 20], 0xFFF4F4F4u);

  EXPECT_EQ(CaptionLayoutAt(96).bottomGap, 48);
  EXPECT_EQ(CaptionLayoutAt(192).bottomGap, 96);
  EXPECT_EQ(CaptionLayoutAt(144).fontPixels, 30);
}

}  // namespace
}  // namespace orvik
