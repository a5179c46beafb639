#pragma once
// Answers message boxes that come one after another (a reader's complaint followed by its
// caller's), recording what each said and which icon it showed.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// The icon a message box shows (compare with LoadIconW(nullptr, IDI_ERROR), ...), or null.
HICON DialogIcon(HWND dialog);

// Answers `count` dialogs titled `title`, one after another, by pressing `button`.
class DialogSeries {
 public:
  struct Answered {
    std::wstring text;
    HICON icon = nullptr;
  };
  DialogSeries(std::wstring title, int count, int button = IDOK, DWORD timeoutMs = 20000);
  ~DialogSeries();
  DialogSeries(const DialogSeries&) = delete;
  DialogSeries& operator=(const DialogSeries&) = delete;

  // Blocks until all were answered or the wait gave up; the dialogs answered, in order.
  const std::vector<Answered>& Wait();

 private:
  std::atomic<bool> stop_{false};
  std::vector<Answered> answered_;
  std::thread thread_;
};

}  // namespace testsupport
