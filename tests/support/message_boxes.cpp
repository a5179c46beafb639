#include "support/message_boxes.h"

#include "support/dialogs.h"

namespace testsupport {

namespace {
BOOL CALLBACK FindIcon(HWND hwnd, LPARAM lp) {
  wchar_t cls[64] = {};
  GetClassNameW(hwnd, cls, 64);
  if (_wcsicmp(cls, L"Static") != 0 || (GetWindowLongW(hwnd, GWL_STYLE) & SS_TYPEMASK) != SS_ICON)
    return TRUE;
  *reinterpret_cast<HICON*>(lp) = reinterpret_cast<HICON>(SendMessageW(hwnd, STM_GETICON, 0, 0));
  return FALSE;
}
}  // namespace

HICON DialogIcon(HWND dialog) {
  HICON icon = nullptr;
  EnumChildWindows(dialog, FindIcon, reinterpret_cast<LPARAM>(&icon));
  return icon;
}

DialogSeries::DialogSeries(std::wstring title, int count, int button, DWORD timeoutMs) {
  thread_ = std::thread([this, title = std::move(title), count, button, timeoutMs] {
    const DWORD start = GetTickCount();
    auto late = [&] { return GetTickCount() - start > timeoutMs; };
    HWND last = nullptr;
    while (!stop_ && static_cast<int>(answered_.size()) < count && !late()) {
      HWND h = FindDialog(title);
      if (!h || h == last) {
        Sleep(30);
        continue;
      }
      Sleep(100);  // let the dialog finish initialising, as a person would
      answered_.push_back({DialogText(h), DialogIcon(h)});
      PressButton(h, button);
      last = h;
      while (IsWindow(h) && !late()) Sleep(20);  // the next one may reuse nothing of it
    }
  });
}

DialogSeries::~DialogSeries() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

const std::vector<DialogSeries::Answered>& DialogSeries::Wait() {
  if (thread_.joinable()) thread_.join();
  return answered_;
}

}  // namespace testsupport
