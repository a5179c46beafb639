#include "toolkit/app.h"

#include <vector>

#include "toolkit/handles.h"

namespace tk {

namespace {
std::wstring& TitleStorage() {
  static std::wstring title = L"Orvik";
  return title;
}
}  // namespace

const std::wstring& AppTitle() { return TitleStorage(); }
void SetAppTitle(std::wstring title) { TitleStorage() = std::move(title); }

bool PrevInstance() {
  // The mutex stays open for the life of the process; a later copy finds it.
  static UniqueHandle mutex;
  static const bool previous = [] {
    mutex.reset(CreateMutexW(nullptr, FALSE, L"Local\\Orvik.SingleInstance"));
    return mutex && GetLastError() == ERROR_ALREADY_EXISTS;
  }();
  return previous;
}

HINSTANCE AppInstance() { return GetModuleHandleW(nullptr); }

std::wstring AppPath() {
  std::vector<wchar_t> buf(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return L"";
    if (n < buf.size()) {
      std::wstring path(buf.data(), n);
      size_t slash = path.find_last_of(L"\\/");
      return slash == std::wstring::npos ? L"" : path.substr(0, slash);
    }
    buf.resize(buf.size() * 2);
  }
}

int MsgBox(const std::wstring& text, UINT flags) { return MsgBox(text, flags, AppTitle()); }

int MsgBox(const std::wstring& text, UINT flags, const std::wstring& title) {
  HWND owner = GetActiveWindow();
  return MessageBoxW(owner, text.c_str(), title.c_str(), flags);
}

namespace {
// Inside a menu's or a move/size loop's own message loop, mouse and key messages belong to
// that loop: taken here they would reach the popup's window procedure, which ignores them,
// and the click that should choose an item or end the loop would be lost.
bool InModalInputLoop() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(GetCurrentThreadId(), &info)) return false;
  return (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_INMOVESIZE)) != 0;
}
}  // namespace

void DoEvents() {
  const UINT which = InModalInputLoop()
                         ? PM_REMOVE | PM_QS_SENDMESSAGE | PM_QS_POSTMESSAGE | PM_QS_PAINT
                         : PM_REMOVE;
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, which)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

bool WaitUntil(const std::function<bool()>& done, double seconds) {
  const ULONGLONG until =
      GetTickCount64() + static_cast<ULONGLONG>(seconds > 0 ? seconds * 1000 : 0);
  while (!done()) {
    if (GetTickCount64() >= until) return false;
    if (MsgWaitForMultipleObjectsEx(0, nullptr, 1, QS_SENDMESSAGE, 0) == WAIT_OBJECT_0)
      RunSentMessages();
  }
  return true;
}

void RunSentMessages() {
  // Peeking runs the sent messages; nothing is taken from the queue.
  MSG msg;
  PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace tk
