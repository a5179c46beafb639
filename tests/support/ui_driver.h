#pragma once
// Drives the program's real windows from a test running in the same process: real mouse
// input through xdotool, menus found by their captions, and the GUI thread kept pumping
// while modal loops (menus, dialogs) run.
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace testsupport {

// Lets this thread's window messages run for `ms` milliseconds.
void PumpFor(DWORD ms);
// Pumps until `done` returns true or `timeoutMs` passes; returns the last `done()`.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Runs xdotool with these arguments; true when it succeeded.
bool Xdo(const std::string& args);
// Moves the real pointer to screen pixels. (xdotool's --sync would wait forever when the
// pointer is already there, so this settles with a short sleep instead.)
bool MoveTo(int x, int y);
// Moves the real pointer and clicks (button 1 left, 3 right) at screen pixels.
bool ClickAt(int x, int y, int button = 1);

// Runs xdotool on another thread while this thread keeps its windows' messages running, so
// the input may start a modal loop here (a system move or size loop, a menu) that the rest of
// the command then drives and ends. True when xdotool succeeded.
bool XdoWhilePumping(const std::string& args, DWORD timeoutMs = 20000);
// Presses `button` at (x1, y1), moves in steps to (x2, y2) and releases there, with the real
// pointer, pumping all along.
bool DragWithPointer(int x1, int y1, int x2, int y2, int button = 1);

// The popup menu showing now, if any.
HWND VisiblePopupMenu();
// Closes a menu left open, so that its modal loop lets the test go on.
void CloseLeftOpenMenu();

// Chooses `item` under the menu-bar entry `top` of `window` the way a user does: a click on
// the bar entry, then a click on the item in the menu that opens. Captions are compared
// without the "&" marks and without the key text after a tab. Runs on its own thread: the GUI
// thread must keep pumping (the menu loop runs there) until Wait() or Done().
class MenuClick {
 public:
  MenuClick(HWND window, std::wstring top, std::wstring item, DWORD timeoutMs = 15000);
  ~MenuClick();
  MenuClick(const MenuClick&) = delete;
  MenuClick& operator=(const MenuClick&) = delete;

  bool Done() const { return done_; }
  // Pumps until the clicks were made; true when both were.
  bool PumpUntilDone();
  const std::string& Error() const { return error_; }

 private:
  void Run(HWND window, std::wstring top, std::wstring item, DWORD timeoutMs);
  std::atomic<bool> done_{false};
  std::atomic<bool> ok_{false};
  std::string error_;
  std::thread thread_;
};

}  // namespace testsupport
