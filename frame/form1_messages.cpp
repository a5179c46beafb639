// The frame window's handling of the messages its hook reports: the maximized placement and
// the smallest size, the commands of its own pop-up window menu, the panel's close command,
// which closes the whole program, and the hot keys.
#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "toolkit/key_text.h"
#include "toolkit/screen.h"

namespace orvik {

void Form1::tmsg_msgevent(HWND hwnd, UINT msg, int32_t arg1, int32_t arg2, int32_t arg3) {
  (void)arg2, (void)arg3;
  // The panel is asked for without loading it: a message that arrives while the program
  // closes must not bring the panel back.
  if (hwnd && hwnd == form2().Handle()) {
    OnPanelMessage(msg, arg1);
  } else if (hwnd == Handle()) {
    OnFrameMessage(msg, arg1);
  }
}

void Form1::OnPanelMessage(UINT msg, int32_t arg1) {
  if (msg == WM_SYSCOMMAND && arg1 == SC_CLOSE) {
    tmsg->Enabled = true;  // the panel never closes alone
    Unload();
    return;
  }
  // A menu command chosen while the window still fades in would run against a window that
  // is not finished: it waits, and reaches the panel again once the load is done.
  if (msg == WM_COMMAND && !LoadFinished()) {
    tmsg->Enabled = true;
    HWND panel = form2().Handle();
    const WPARAM command = static_cast<WPARAM>(static_cast<uint32_t>(arg1));
    WhenLoaded([panel, command] {
      if (IsWindow(panel)) PostMessageW(panel, WM_COMMAND, command, 0);
    });
  }
}

void Form1::OnFrameMessage(UINT msg, int32_t arg1) {
  if (msg == WM_GETMINMAXINFO) SetSizeLimits();
  if (msg == WM_HOTKEY) OnHotKey(arg1);
  // The window menu is popped up by the skin, so its choices arrive as commands; the system
  // carries them out as the system commands they are.
  if (msg == WM_COMMAND) {
    SendMessageW(Handle(), WM_SYSCOMMAND, static_cast<WPARAM>(static_cast<uint32_t>(arg1)), 0);
  }
}

// A key another program holds is done without: its entry shows no key and nothing is said.
void Form1::RegisterHotKeys() {
  Form2& panel = form2();
  const struct {
    UINT key;
    int32_t id;
    tk::MenuItem* entry;
  } keys[] = {{kStopKey, kStopHotKeyId, panel.done}, {kPauseKey, kPauseHotKeyId, panel.pause}};
  for (const auto& k : keys) {
    const bool held =
        tmsg->sethotkey(static_cast<int32_t>(k.key), static_cast<int32_t>(kHotKeyModifiers), k.id);
    k.entry->SetKeyText(held ? tk::HotKeyText(kHotKeyModifiers, k.key) : L"");
  }
}

// The key chooses the menu entry: the same command reaches the panel, and only while the
// entry can be chosen (recording, or paused for the pause key).
void Form1::OnHotKey(int32_t id) {
  Form2& panel = form2();
  tk::MenuItem* entry = id == kStopHotKeyId    ? panel.done
                        : id == kPauseHotKeyId ? panel.pause
                                               : nullptr;
  if (!entry || !entry->Enabled() || !panel.IsLoaded()) return;
  PostMessageW(panel.Handle(), WM_COMMAND, MAKEWPARAM(entry->Id(), 0), 0);
}

// Maximized, the sizing frame lies just off the screen; the taskbar stays uncovered.
void Form1::SetSizeLimits() {
  RECT taskbar{};
  if (HWND tray = FindWindowW(L"Shell_TrayWnd", nullptr)) GetWindowRect(tray, &taskbar);
  const MaxGeometry m = FrameMaxGeometry(tk::ScreenWidthTwips(), tk::ScreenHeightTwips(),
                                         taskbar.bottom - taskbar.top);
  tmsg->MaxPositionX = m.positionX;
  tmsg->MaxPositionY = m.positionY;
  tmsg->MaxSizeX = m.sizeX;
  tmsg->MaxSizeY = m.sizeY;
  tmsg->MinTrackSizeX = m.minTrackX;
  tmsg->MinTrackSizeY = m.minTrackY;
}

}  // namespace orvik
