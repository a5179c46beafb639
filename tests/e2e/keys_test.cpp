// The shortcuts pressed shown in the recorded frames: real keys through the X server into a
// window of the test's, a real recording, the decoded file's pixels.
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "e2e/app_fixture.h"
#include "recorder/marks/key_caption.h"
#include "recorder/marks/key_hook.h"
#include "recorder/marks/press_hook.h"
#include "settings/remembered_choices.h"
#include "toolkit/handles.h"

using namespace testsupport;

namespace {

// A grey pad over the bottom of the screen, where the caption is drawn into the frames, with
// a plain edit and a password edit along its top that the keys are typed into.
constexpr int kPadX = 360, kPadY = 860, kPadW = 1200, kPadH = 220;
constexpr int kScreenW = 1920, kScreenH = 1080;
// The band of the frame the caption is looked for in.
constexpr int kBandX = 560, kBandY = 940, kBandW = 800, kBandH = 120;

LRESULT CALLBACK PadProc(HWND h, UINT msg, WPARAM w, LPARAM l) {
  return DefWindowProcW(h, msg, w, l);
}

// The pad, kept above the program's own windows.
tk::UniqueWindow MakePad() {
  tk::UniqueWindow pad = MakeCanvas(L"OrvikKeyPad", PadProc, kPadX, kPadY, kPadW, kPadH);
  SetWindowTextW(pad.get(), L"OrvikKeyPad");
  SetWindowPos(pad.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  return pad;
}

HWND MakeEdit(HWND pad, int x, DWORD style) {
  return CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER | style, x, 10, 300, 28,
                         pad, nullptr, GetModuleHandleW(nullptr), nullptr);
}

std::wstring TextOf(HWND edit) {
  wchar_t text[64] = {};
  GetWindowTextW(edit, text, 64);
  return text;
}

// Puts `text` on the clipboard, for a Ctrl+V whose paste shows that the keys arrived.
void SetClipboardText(const std::wstring& text) {
  tk::UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t)));
  ASSERT_TRUE(block && OpenClipboard(nullptr));
  std::memcpy(GlobalLock(block.get()), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  GlobalUnlock(block.get());
  EmptyClipboard();
  if (SetClipboardData(CF_UNICODETEXT, block.get())) block.release();
  CloseClipboard();
}

// Gives the keyboard to `edit`: the X focus to a window of ours, so that the X server's keys
// reach this Wine at all, then the focus inside it.
void FocusOn(HWND pad, HWND edit) {
  XdoWhilePumping("search --name '^OrvikKeyPad$' windowfocus --sync");
  SetForegroundWindow(pad);
  SetFocus(edit);
  PumpFor(300);
}

// What a frame's band shows: the dark box's pixels and bounds, and the light text's pixels.
struct SeenCaption {
  int dark = 0, light = 0;
  int x0 = kBandW, y0 = kBandH, x1 = -1, y1 = -1;
  bool Shown() const { return dark > 500 && light > 30; }
};

SeenCaption Look(const std::vector<uint8_t>& bgr) {
  SeenCaption seen;
  for (int y = 0; y < kBandH; ++y) {
    for (int x = 0; x < kBandW; ++x) {
      const uint8_t* p = &bgr[(static_cast<size_t>(y) * kBandW + x) * 3];
      const int low = std::min({p[0], p[1], p[2]}), high = std::max({p[0], p[1], p[2]});
      if (low > 200) ++seen.light;
      if (high >= 70) continue;
      ++seen.dark;
      seen.x0 = std::min(seen.x0, x), seen.y0 = std::min(seen.y0, y);
      seen.x1 = std::max(seen.x1, x), seen.y1 = std::max(seen.y1, y);
    }
  }
  return seen;
}

double Now() { return form1().Session().ElapsedSeconds(); }
double SlotStart(long slot) { return slot / 10.0; }

// Keys sent through the X server; returns the recording's time before and after.
std::pair<double, double> Keys(const std::string& what) {
  const double before = Now();
  EXPECT_TRUE(XdoWhilePumping(what));
  return {before, Now()};
}

// A key event sent through the system as a keyboard makes it: its scan code, flags and time
// (`ms` after the first) reach a low-level hook as they are given.
struct SentKey {
  WORD vk, scan;
  DWORD flags, ms;
};

// Sends `keys`; returns the recording's time before and after.
std::pair<double, double> Send(const std::vector<SentKey>& keys) {
  const double before = Now();
  const DWORD start = GetTickCount();
  std::vector<INPUT> inputs;
  for (const SentKey& k : keys) {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = k.vk;
    in.ki.wScan = k.scan;
    in.ki.dwFlags = k.flags;
    in.ki.time = start + k.ms;
    inputs.push_back(in);
  }
  EXPECT_EQ(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)),
            inputs.size());
  PumpFor(300);
  return {before, Now()};
}

constexpr DWORD kExtended = KEYEVENTF_EXTENDEDKEY, kUp = KEYEVENTF_KEYUP;

// AltGr + `vk` on a layout with AltGr, as Windows reports it: a left Ctrl it makes up (scan
// code 0x21D) at the right Alt's time, the right Alt, the key, both let go.
std::vector<SentKey> AltGr(WORD vk, WORD scan) {
  return {{VK_LCONTROL, 0x21D, 0, 0},
          {VK_RMENU, 0x38, kExtended, 0},
          {vk, scan, 0, 60},
          {vk, scan, kUp, 100},
          {VK_LCONTROL, 0x21D, kUp, 150},
          {VK_RMENU, 0x38, kExtended | kUp, 150}};
}

}  // namespace

TEST_F(AppTest, ShortcutsShowAsACaptionNeverTypingPasswordsOrWhilePaused) {
  tk::UniqueWindow pad = MakePad();
  HWND plain = MakeEdit(pad.get(), 10, 0);
  HWND password = MakeEdit(pad.get(), 330, ES_PASSWORD);
  Command(form2().showkeys);
  Command(form2().recordcursor);  // off: only the caption changes the band
  PumpFor(300);
  ASSERT_TRUE(form2().showkeys->Checked());
  EXPECT_EQ(orvik::ProgramSettings().ReadNumber(L"ShowKeys"), 1u);
  const std::wstring avi = Path(L"keys.avi");
  StartViaCommand(avi, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(orvik::KeyHook::Live(), 1);
  EXPECT_EQ(orvik::PressHook::Live(), 0);  // clicks are off
  EXPECT_FALSE(form2().showkeys->Enabled());
  SetWindowPos(pad.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  FocusOn(pad.get(), plain);

  const auto typed = Keys("type --delay 80 abc");
  PumpFor(600);
  EXPECT_EQ(TextOf(plain), L"abc") << "the keys did not reach the edit";
  const auto shortcut = Keys("key ctrl+shift+k");
  PumpFor(2600);
  SetClipboardText(L"xyz");
  FocusOn(pad.get(), password);
  const auto secret = Keys("type --delay 80 pw");
  Keys("key ctrl+v");
  PumpFor(1200);
  EXPECT_EQ(TextOf(password), L"pwxyz") << "the keys did not reach the password edit";

  Command(form2().pause);
  PumpUntil([] { return form2().pause->Caption() == L"继续"; }, 5000);
  EXPECT_EQ(orvik::KeyHook::Live(), 0);  // no hook while paused
  FocusOn(pad.get(), plain);
  Keys("key ctrl+shift+j");
  PumpFor(300);
  const double resumedAt = Now();
  Command(form2().pause);
  PumpUntil([] { return form2().pause->Caption() == L"暂停"; }, 5000);
  EXPECT_EQ(orvik::KeyHook::Live(), 1);
  PumpFor(1000);
  form2().done_Click();
  EXPECT_EQ(orvik::KeyHook::Live(), 0);  // gone with the stop

  const RegionFrames band = DecodeRegion(avi, kBandX, kBandY, kBandW, kBandH);
  ASSERT_GE(band.frames.size(), 40u);
  std::optional<double> firstShown;
  for (size_t k = 0; k < band.frames.size(); ++k) {
    const double t = SlotStart(band.pts[k]);
    const SeenCaption seen = Look(band.frames[k]);
    SCOPED_TRACE("frame at " + std::to_string(t) + " s");
    if (t < shortcut.first || t >= resumedAt) {
      EXPECT_FALSE(seen.Shown()) << "typing or a key pressed while paused showed";
      continue;
    }
    if (seen.Shown() && !firstShown) firstShown = t;
    // Full from its first frame until 1.5 s after the press: centred, 48 px above the bottom.
    if (firstShown && t < shortcut.first + orvik::KeyCaption::kHoldSeconds) {
      ASSERT_TRUE(seen.Shown());
      EXPECT_NEAR((seen.x0 + seen.x1) / 2.0 + kBandX, kScreenW / 2.0, 1.5);
      EXPECT_EQ(seen.y1 + kBandY, kScreenH - 48 - 1);
      EXPECT_GT(seen.x1 - seen.x0, 120);  // "Ctrl + Shift + K" is wide
    }
    if (t > shortcut.second + 2.0) {
      EXPECT_EQ(seen.dark, 0) << "still there 2 s later";
    }
  }
  ASSERT_TRUE(firstShown) << "no caption after Ctrl + Shift + K";
  EXPECT_LE(*firstShown, shortcut.second + 0.3);
  EXPECT_LT(typed.second, shortcut.first);
  EXPECT_GT(secret.first, shortcut.second + 2.0);

  // Turned off: a recording with shortcuts has no caption and no hook.
  Command(form2().showkeys);
  PumpFor(300);
  EXPECT_EQ(orvik::ProgramSettings().ReadNumber(L"ShowKeys"), 0u);
  const std::wstring plainAvi = Path(L"plain.avi");
  StartViaCommand(plainAvi, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(orvik::KeyHook::Live(), 0);
  FocusOn(pad.get(), plain);
  Keys("key ctrl+shift+k Return");
  PumpFor(800);
  form2().done_Click();
  for (const auto& frame : DecodeRegion(plainAvi, kBandX, kBandY, kBandW, kBandH).frames)
    EXPECT_EQ(Look(frame).dark, 0);
}

// This Wine makes no AltGr of an X keyboard's: with a German X layout the key reaches a hook
// as VK_OEM_8 or not at all when the program started with it, as a plain right Alt when the
// layout changed later. So the sequences Windows makes for AltGr are sent through SendInput.
TEST_F(AppTest, AltGrAndAltNumpadTypingShowNothingAShortcutRightAfterDoes) {
  tk::UniqueWindow pad = MakePad();
  HWND plain = MakeEdit(pad.get(), 10, 0);
  Command(form2().showkeys);
  Command(form2().recordcursor);
  PumpFor(300);
  ASSERT_TRUE(form2().showkeys->Checked());
  const std::wstring avi = Path(L"altgr.avi");
  StartViaCommand(avi, kCodecOrvik);
  ASSERT_TRUE(form1().Recording());
  SetWindowPos(pad.get(), HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  FocusOn(pad.get(), plain);

  Send(AltGr('Q', 0x10));  // German @
  Send(AltGr('E', 0x12));  // €
  Send(AltGr('A', 0x1E));  // Polish ą
  // Alt + Num 0 2 2 5: å.
  std::vector<SentKey> altCode{{VK_LMENU, 0x38, 0, 0}};
  const std::pair<WORD, WORD> digits[] = {
      {VK_NUMPAD0, 0x52}, {VK_NUMPAD2, 0x50}, {VK_NUMPAD2, 0x50}, {VK_NUMPAD5, 0x4C}};
  for (const auto& [vk, scan] : digits) {
    const DWORD ms = altCode.back().ms + 40;
    altCode.push_back({vk, scan, 0, ms});
    altCode.push_back({vk, scan, kUp, ms + 30});
  }
  altCode.push_back({VK_LMENU, 0x38, kUp, altCode.back().ms + 40});
  Send(altCode);
  PumpFor(1000);
  // Ctrl + Alt + T with the left Alt, sent the same way.
  const auto shortcut = Send({{VK_LCONTROL, 0x1D, 0, 0},
                              {VK_LMENU, 0x38, 0, 50},
                              {'T', 0x14, 0, 100},
                              {'T', 0x14, kUp, 150},
                              {VK_LMENU, 0x38, kUp, 200},
                              {VK_LCONTROL, 0x1D, kUp, 250}});
  PumpFor(1000);
  form2().done_Click();

  const RegionFrames band = DecodeRegion(avi, kBandX, kBandY, kBandW, kBandH);
  std::optional<double> firstShown;
  for (size_t k = 0; k < band.frames.size(); ++k) {
    const double t = SlotStart(band.pts[k]);
    const bool shown = Look(band.frames[k]).Shown();
    SCOPED_TRACE("frame at " + std::to_string(t) + " s");
    if (t < shortcut.first) {
      EXPECT_FALSE(shown) << "AltGr or Alt + numpad typing showed";
    } else if (shown && !firstShown) {
      firstShown = t;
    }
  }
  ASSERT_TRUE(firstShown) << "no caption after Ctrl + Alt + T";
  EXPECT_LE(*firstShown, shortcut.second + 0.3);
}
