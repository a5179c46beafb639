#pragma once
// The shortcuts pressed anywhere, for the caption the frames show: a low-level keyboard hook
// (see LowLevelHook), there only while a recording runs and is not paused. Typing (see
// ShortcutFilter), and every key while the focus is in a password field, are dropped in the
// hook itself; the keys kept go nowhere but into the frames' caption.
#include <windows.h>

#include "recorder/marks/key_caption.h"
#include "recorder/marks/low_level_hook.h"

namespace orvik {

class KeyHook : public EventHook<KeyEvent> {
 public:
  // Installs the hook; Installed() says whether the system took it.
  KeyHook();

 private:
  static LRESULT CALLBACK OnKey(int code, WPARAM message, LPARAM data);
};

// Whether the keyboard focus of the foreground window's thread is in a password field (an
// edit control with ES_PASSWORD).
bool FocusIsInPasswordField();

}  // namespace orvik
