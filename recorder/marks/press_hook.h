#pragma once
// The presses of the mouse's buttons anywhere on the screen, for the rings the frames show: a
// low-level mouse hook (see LowLevelHook), there only while a recording runs and is not paused.
#include <windows.h>

#include "recorder/marks/click_marks.h"
#include "recorder/marks/low_level_hook.h"

namespace orvik {

class PressHook : public EventHook<PressEvent> {
 public:
  // Installs the hook; Installed() says whether the system took it.
  PressHook();

 private:
  static LRESULT CALLBACK OnMouse(int code, WPARAM message, LPARAM data);
};

}  // namespace orvik
