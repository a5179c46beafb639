#include "controls/codec_preselection.h"

namespace orvik {

namespace {
constexpr int kCodecList = 880;  // the dialog's codec combo box
}  // namespace

CodecPreselection::CodecPreselection(std::wstring description) {
  description_ = std::move(description);
  if (!description_.empty() && !hook_)
    hook_ = SetWindowsHookExW(WH_CBT, OnCbt, nullptr, GetCurrentThreadId());
}

CodecPreselection::~CodecPreselection() {
  if (hook_) UnhookWindowsHookEx(hook_);
  hook_ = nullptr;
  description_.clear();
}

LRESULT CALLBACK CodecPreselection::OnCbt(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE) Select(reinterpret_cast<HWND>(wParam));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CodecPreselection::Select(HWND dialog) {
  HWND list = GetDlgItem(dialog, kCodecList);
  if (!list || description_.empty()) return;
  const LRESULT index = SendMessageW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(description_.c_str()));
  description_.clear();  // once: the user's own choice is not overridden
  if (index == CB_ERR) return;
  SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kCodecList, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list));
}

}  // namespace orvik
