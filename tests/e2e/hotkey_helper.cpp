// Another program for the hot-key tests, under the same Wine:
//   hotkey_helper press <modifiers> <vkey>          presses the combination through SendInput
//   hotkey_helper hold <modifiers> <vkey> <event>   holds it as its own hot key, sets the named
//                                                   event, and keeps it until killed (at most
//                                                   two minutes)
// Exit code 0 when done, 2 when the system refused.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <vector>

namespace {

void Press(UINT modifiers, WORD key) {
  std::vector<WORD> down;
  if (modifiers & MOD_CONTROL) down.push_back(VK_CONTROL);
  if (modifiers & MOD_SHIFT) down.push_back(VK_SHIFT);
  if (modifiers & MOD_ALT) down.push_back(VK_MENU);
  down.push_back(key);
  std::vector<INPUT> in;
  for (WORD k : down) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    in.push_back(i);
  }
  for (auto it = down.rbegin(); it != down.rend(); ++it) {
    INPUT i{};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = *it;
    i.ki.dwFlags = KEYEVENTF_KEYUP;
    in.push_back(i);
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 4) return 1;
  const UINT modifiers = static_cast<UINT>(_wtoi(argv[2]));
  const UINT key = static_cast<UINT>(_wtoi(argv[3]));
  if (wcscmp(argv[1], L"press") == 0) {
    Press(modifiers, static_cast<WORD>(key));
    return 0;
  }
  if (wcscmp(argv[1], L"hold") != 0 || argc < 5) return 1;
  if (!RegisterHotKey(nullptr, 1, modifiers, key)) return 2;
  if (HANDLE held = OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[4])) {
    SetEvent(held);
    CloseHandle(held);
  }
  Sleep(120000);
  return 0;
}
