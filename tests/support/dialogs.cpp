#include "support/dialogs.h"

#include <vector>

namespace testsupport {

namespace {
struct FindCtx {
  const std::wstring* title;
  HWND except;
  HWND found;
};

BOOL CALLBACK FindProc(HWND hwnd, LPARAM lp) {
  auto* ctx = reinterpret_cast<FindCtx*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != GetCurrentProcessId() || !IsWindowVisible(hwnd) || hwnd == ctx->except) return TRUE;
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (std::wstring(cls) != L"#32770") return TRUE;
  wchar_t text[512] = {};
  GetWindowTextW(hwnd, text, 512);
  if (*ctx->title == text) {
    ctx->found = hwnd;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK CollectStatic(HWND hwnd, LPARAM lp) {
  auto* out = reinterpret_cast<std::wstring*>(lp);
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (_wcsicmp(cls, L"Static") == 0) {
    wchar_t text[2048] = {};
    GetWindowTextW(hwnd, text, 2048);
    if (text[0]) {
      if (!out->empty()) *out += L"\n";
      *out += text;
    }
  }
  return TRUE;
}
}  // namespace

HWND FindDialog(const std::wstring& title, HWND except) {
  FindCtx ctx{&title, except, nullptr};
  EnumWindows(FindProc, reinterpret_cast<LPARAM>(&ctx));
  return ctx.found;
}

HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs, HWND except) {
  DWORD start = GetTickCount();
  for (;;) {
    if (HWND h = FindDialog(title, except)) return h;
    if (GetTickCount() - start > timeoutMs) return nullptr;
    Sleep(30);
  }
}

std::wstring DialogText(HWND dialog) {
  std::wstring out;
  EnumChildWindows(dialog, CollectStatic, reinterpret_cast<LPARAM>(&out));
  return out;
}

void PressButton(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

void SetItemText(HWND dialog, int id, const std::wstring& text) {
  SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

DialogWatcher::DialogWatcher(std::wstring title, std::function<void(HWND)> answer,
                             DWORD timeoutMs) {
  thread_ = std::thread([this, title = std::move(title), answer = std::move(answer), timeoutMs] {
    DWORD start = GetTickCount();
    while (!stop_) {
      if (HWND h = FindDialog(title)) {
        Sleep(100);  // let the dialog finish initialising, as a person would
        text_ = DialogText(h);
        seen_ = true;
        answer(h);
        return;
      }
      if (GetTickCount() - start > timeoutMs) return;
      Sleep(30);
    }
  });
}

DialogWatcher::~DialogWatcher() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

bool DialogWatcher::Wait() {
  if (thread_.joinable()) thread_.join();
  return seen_;
}

}  // namespace testsupport
