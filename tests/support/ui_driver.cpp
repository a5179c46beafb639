#include "support/ui_driver.h"

#include <cwchar>
#include <vector>

#include "support/unix_tools.h"

namespace testsupport {

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const DWORD start = GetTickCount();
  for (;;) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) continue;  // the program ending is checked by the test
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (done()) return true;
    if (GetTickCount() - start >= timeoutMs) return done();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

bool Xdo(const std::string& args) { return RunShell("xdotool " + args, nullptr, 20000) == 0; }

bool MoveTo(int x, int y) {
  return Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.1");
}

bool ClickAt(int x, int y, int button) {
  return Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.1 click " +
             std::to_string(button));
}

bool XdoWhilePumping(const std::string& args, DWORD timeoutMs) {
  std::atomic<bool> done{false};
  bool ok = false;
  std::thread worker([&] {
    ok = Xdo(args);
    done = true;
  });
  PumpUntil([&] { return done.load(); }, timeoutMs);
  worker.join();
  return ok;
}

bool DragWithPointer(int x1, int y1, int x2, int y2, int button) {
  auto at = [](int x, int y) {
    return "mousemove " + std::to_string(x) + " " + std::to_string(y) + " sleep 0.1 ";
  };
  const std::string b = std::to_string(button);
  std::string steps = at(x1, y1) + "mousedown " + b + " sleep 0.3 ";
  for (int i = 1; i <= 4; ++i) {
    steps += at(x1 + (x2 - x1) * i / 4, y1 + (y2 - y1) * i / 4);
  }
  steps += "sleep 0.2 mouseup " + b + " sleep 0.2";
  return XdoWhilePumping(steps);
}

namespace {
// The caption as the program set it: no "&" marks, and no key text after a tab.
std::wstring WithoutAmpersands(const std::wstring& s) {
  std::wstring out;
  for (wchar_t c : s) {
    if (c == L'\t') break;
    if (c != L'&') out += c;
  }
  return out;
}

int FindItem(HMENU menu, const std::wstring& caption) {
  const int n = GetMenuItemCount(menu);
  for (int i = 0; i < n; ++i) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION);
    if (WithoutAmpersands(text) == WithoutAmpersands(caption)) return i;
  }
  return -1;
}
}  // namespace

HWND VisiblePopupMenu() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND h, LPARAM lp) -> BOOL {
        wchar_t cls[16] = {};
        GetClassNameW(h, cls, 16);
        if (wcscmp(cls, L"#32768") == 0 && IsWindowVisible(h)) {
          *reinterpret_cast<HWND*>(lp) = h;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Closes a menu left open so its modal loop lets the test go on. EndMenu, which Wine honours
// from any thread of the process; starting xdotool for an Escape can stall while the menu's
// thread is busy in its loop.
void CloseLeftOpenMenu() {
  for (int i = 0; i < 5 && VisiblePopupMenu(); ++i) {
    EndMenu();
    Sleep(200);
  }
}

MenuClick::MenuClick(HWND window, std::wstring top, std::wstring item, DWORD timeoutMs)
    : thread_([=] { Run(window, top, item, timeoutMs); }) {}

MenuClick::~MenuClick() {
  if (thread_.joinable()) thread_.join();
}

bool MenuClick::PumpUntilDone() {
  PumpUntil([this] { return done_.load(); }, 30000);
  if (thread_.joinable()) thread_.join();
  return ok_;
}

void MenuClick::Run(HWND window, std::wstring top, std::wstring item, DWORD timeoutMs) {
  HMENU bar = GetMenu(window);
  const int topIndex = bar ? FindItem(bar, top) : -1;
  HMENU sub = topIndex >= 0 ? GetSubMenu(bar, topIndex) : nullptr;
  const int itemIndex = sub ? FindItem(sub, item) : -1;
  RECT r{};
  if (itemIndex < 0 || !GetMenuItemRect(window, bar, static_cast<UINT>(topIndex), &r)) {
    error_ = "menu entry not found";
    done_ = true;
    return;
  }
  ClickAt((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  const DWORD start = GetTickCount();
  HWND popup = nullptr;
  while (!(popup = VisiblePopupMenu()) && GetTickCount() - start < timeoutMs) Sleep(20);
  if (!popup) {
    error_ = "the menu did not open";
    done_ = true;
    return;
  }
  Sleep(150);
  if (reinterpret_cast<HMENU>(SendMessageW(popup, MN_GETHMENU, 0, 0)) != sub) {
    error_ = "another menu opened (is the window minimized?)";
    CloseLeftOpenMenu();
    done_ = true;
    return;
  }
  RECT ir{};
  if (!GetMenuItemRect(nullptr, sub, static_cast<UINT>(itemIndex), &ir)) {
    // Fall back to the popup's own geometry: items stacked from its top.
    RECT pr{};
    GetWindowRect(popup, &pr);
    const int h = GetSystemMetrics(SM_CYMENUSIZE);
    ir = RECT{pr.left, pr.top + 3 + itemIndex * h, pr.right, pr.top + 3 + (itemIndex + 1) * h};
  }
  ClickAt((ir.left + ir.right) / 2, (ir.top + ir.bottom) / 2);
  // A click that missed leaves the menu open, and its modal loop would hold the test.
  const DWORD clicked = GetTickCount();
  while (VisiblePopupMenu() && GetTickCount() - clicked < 3000) Sleep(20);
  if (VisiblePopupMenu()) {
    error_ = "the menu stayed open after the click";
    CloseLeftOpenMenu();
    done_ = true;
    return;
  }
  ok_ = true;
  done_ = true;
}

}  // namespace testsupport
