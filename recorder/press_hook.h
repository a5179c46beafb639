#pragma once
// The presses of the mouse's buttons anywhere on the screen, for the rings the frames show. A
// low-level mouse hook on a thread of its own: it answers each event at once, whatever the
// capture is doing on the GUI thread, so the pointer never waits for a recording. It exists
// only while a recording runs and is not paused. Making and ending it waits for its thread at
// most kHookAnswerMs (letting sent messages run); a thread that does not answer is left behind
// with what it uses.
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "recorder/click_marks.h"

namespace orvik {

constexpr DWORD kHookAnswerMs = 2000;

class PressHook {
 public:
  // Installs the hook; Installed() says whether the system took it.
  PressHook();
  // Removes the hook and ends its thread.
  ~PressHook();
  PressHook(const PressHook&) = delete;
  PressHook& operator=(const PressHook&) = delete;

  bool Installed() const;
  // The presses and releases since the last call, in the order they came.
  std::vector<PressEvent> Take();
  // How many hooks this process holds right now.
  static int Live() { return live_.load(); }

  struct Shared;  // the hook thread's; it keeps it alive as long as it runs

 private:
  static LRESULT CALLBACK OnMouse(int code, WPARAM message, LPARAM data);
  static void Run(const std::shared_ptr<Shared>& s);

  std::shared_ptr<Shared> s_;
  std::thread thread_;
  static std::atomic<int> live_;
};

}  // namespace orvik
