#pragma once
// Answers the system's compression-options dialog ("Video Compression", shown by the AVI
// writer's open) from a watcher thread, the way a user picks a codec by its name.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/dialogs.h"

namespace testsupport {

// The entries Wine's dialog lists, in its order.
inline const wchar_t kCodecFullFrames[] = L"Full Frames (Uncompressed)";
inline const wchar_t kCodecMsRle[] = L"Wine MS-RLE video codec";
inline const wchar_t kCodecVideo1[] = L"Wine Video 1 video codec";
inline const wchar_t kCodecCinepak[] = L"Cinepak Video codec";
// Ours, listed after Wine's own once the program has registered it.
inline const wchar_t kCodecOrvik[] = L"Orvik lossless screen codec (ZMBV)";
// Not an entry: OK pressed on whatever the dialog opened with, as a user in a hurry does.
inline const wchar_t kCodecAsOpened[] = L"(as the dialog opens)";

constexpr int kCodecComboId = 880;

// Start it before the call that shows the dialog. With a codec name it selects that entry
// and presses OK (Cancel when the name is not listed); with an empty name it presses Cancel.
class CodecDialogAnswer {
 public:
  explicit CodecDialogAnswer(std::wstring codec, DWORD timeoutMs = 20000);
  // Blocks until the dialog was answered or the wait gave up; true when it was seen.
  bool Wait() { return watcher_->Wait(); }
  // Whether the dialog has appeared.
  bool Seen() const { return watcher_->Seen(); }
  // Whether the codec was found in the list and chosen.
  bool Chosen() const { return chosen_; }
  // Every entry the dialog listed.
  const std::vector<std::wstring>& Offered() const { return offered_; }
  // The entry selected when the dialog opened.
  const std::wstring& Preselected() const { return preselected_; }
  // The performance-counter ms just before OK was pressed (0: it was not).
  uint32_t OkPressedMs() const { return okPressedMs_; }

 private:
  void Answer(HWND dialog);

  std::wstring codec_;
  bool chosen_ = false;
  std::vector<std::wstring> offered_;
  std::wstring preselected_;
  std::atomic<uint32_t> okPressedMs_{0};
  std::unique_ptr<DialogWatcher> watcher_;
};

}  // namespace testsupport
