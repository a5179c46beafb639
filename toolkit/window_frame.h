#pragma once
// How another program's top-level window shows on the screen: the frame the user sees, and
// whether it shows at all.
#include <windows.h>

#include <string>

namespace tk {

// The window's visible frame in screen pixels: DWM's extended frame bounds (without the
// invisible resize borders) where DWM answers, else the window's rectangle. False when the
// window is gone.
bool VisibleFrame(HWND window, RECT* frame);

// Visible, not minimized and not cloaked (a window on another virtual desktop, or a suspended
// app's, is visible to the system yet not on the screen).
bool ShowsOnScreen(HWND window);

// The window's title. For another program's window the system answers from what it keeps,
// without a message to that program, so a program that hangs cannot stop the caller.
std::wstring WindowTitle(HWND window);

}  // namespace tk
