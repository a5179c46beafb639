#pragma once
// Answers real dialogs the way a user would: a watcher thread finds the dialog window
// (class #32770) by its title, reads its text and presses a button or fills an edit box.
// Every wait is bounded, so a dialog nobody expected fails the test instead of hanging it.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

// A visible top-level #32770 window of this process with exactly this title, or null.
// `except` skips one window: a prompt may carry the title of the dialog that raised it.
HWND FindDialog(const std::wstring& title, HWND except = nullptr);
// Waits up to timeoutMs for FindDialog(title, except).
HWND WaitForDialog(const std::wstring& title, DWORD timeoutMs, HWND except = nullptr);
// The texts of the dialog's static controls, joined by "\n" (the message of a message box).
std::wstring DialogText(HWND dialog);
// Presses the button with this control id (IDOK, IDYES, ...) as a click would.
void PressButton(HWND dialog, int id);
// Sets the text of the edit control with this id.
void SetItemText(HWND dialog, int id, const std::wstring& text);

// Runs `answer` on a watcher thread when a dialog with `title` appears (within timeoutMs).
class DialogWatcher {
 public:
  DialogWatcher(std::wstring title, std::function<void(HWND)> answer, DWORD timeoutMs = 20000);
  ~DialogWatcher();
  DialogWatcher(const DialogWatcher&) = delete;
  DialogWatcher& operator=(const DialogWatcher&) = delete;

  // Blocks until the watcher answered or gave up; true when the dialog was seen.
  bool Wait();
  bool Seen() const { return seen_; }
  // Text of the dialog when it was found (static controls).
  const std::wstring& Text() const { return text_; }

 private:
  std::atomic<bool> seen_{false};
  std::atomic<bool> stop_{false};
  std::wstring text_;
  std::thread thread_;
};

}  // namespace testsupport
