#include "support/codec_dialog.h"

#include "support/time_blocks.h"

namespace testsupport {

CodecDialogAnswer::CodecDialogAnswer(std::wstring codec, DWORD timeoutMs)
    : codec_(std::move(codec)) {
  watcher_ = std::make_unique<DialogWatcher>(
      L"Video Compression", [this](HWND h) { Answer(h); }, timeoutMs);
}

void CodecDialogAnswer::Answer(HWND dialog) {
  HWND combo = GetDlgItem(dialog, kCodecComboId);
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const LRESULT len = SendMessageW(combo, CB_GETLBTEXTLEN, i, 0);
    std::wstring text(len > 0 ? len + 1 : 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text.data()));
    text.resize(wcslen(text.c_str()));
    offered_.push_back(text);
  }
  const LRESULT current = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  if (current >= 0 && static_cast<size_t>(current) < offered_.size())
    preselected_ = offered_[static_cast<size_t>(current)];
  if (codec_ == kCodecAsOpened) {
    chosen_ = true;
    okPressedMs_ = NowMs();
    PressButton(dialog, IDOK);
    return;
  }
  LRESULT index = CB_ERR;
  if (!codec_.empty())
    index = SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(codec_.c_str()));
  if (index == CB_ERR) {
    PressButton(dialog, IDCANCEL);
    return;
  }
  // The dialog reads the codec's settings on the selection-change notification, which
  // CB_SETCURSEL alone does not send.
  SendMessageW(combo, CB_SETCURSEL, index, 0);
  SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kCodecComboId, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo));
  chosen_ = true;
  okPressedMs_ = NowMs();
  PressButton(dialog, IDOK);
}

}  // namespace testsupport
