#pragma once
// The presses of the mouse's buttons anywhere on the screen, for the rings the frames show. A
// low-level mouse hook on a thread of its own: it answers each event at once, whatever the
// capture is doing on the GUI thread, so the pointer never waits for a recording. It exists
// only while a recording runs and is not paused.
#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "recorder/click_marks.h"

namespace orvik {

class PressHook {
 public:
  // Installs the hook; Installed() says whether the system took it.
  PressHook();
  // Removes the hook and ends its thread.
  ~PressHook();
  PressHook(const PressHook&) = delete;
  PressHook& operator=(const PressHook&) = delete;

  bool Installed() const { return installed_; }
  // The presses and releases since the last call, in the order they came.
  std::vector<PressEvent> Take();
  // How many hooks this process holds right now.
  static int Live() { return live_.load(); }

 private:
  static LRESULT CALLBACK OnMouse(int code, WPARAM message, LPARAM data);
  void Run(HANDLE ready);
  void Keep(const PressEvent& event);

  std::thread thread_;
  DWORD threadId_ = 0;
  bool installed_ = false;
  std::mutex mutex_;
  std::vector<PressEvent> events_;
  // The hook procedure has no context of its own: it reaches the one hook through this.
  static std::atomic<PressHook*> current_;
  static std::atomic<int> live_;
};

}  // namespace orvik
