#pragma once
// Application-wide services: title, instance, executable folder, message boxes and
// letting pending window messages run.
#include <windows.h>

#include <functional>
#include <string>

namespace tk {

// The title every message box carries unless told otherwise.
const std::wstring& AppTitle();
void SetAppTitle(std::wstring title);

HINSTANCE AppInstance();
// True when another copy of the program already runs (first call decides; the answer
// stays the same for the life of the process).
bool PrevInstance();

// Folder of the running executable, without a trailing separator.
std::wstring AppPath();

// Shows a message box titled with the application's title (or `title` when given)
// and returns the pressed button (IDOK, IDYES = 6, ...).
int MsgBox(const std::wstring& text, UINT flags = MB_OK);
int MsgBox(const std::wstring& text, UINT flags, const std::wstring& title);

// Runs the window messages waiting in this thread's queue, then returns. While a menu or a
// move/size loop is tracking, its mouse and key input is left to it.
void DoEvents();

// The program's bounded wait (a tk::BoundedWait): returns true once `done` says so, looked at
// every millisecond, or false when `seconds` have passed first. Meanwhile it runs the messages
// other threads send to this one (a thread that waits with SendMessage on this one would
// otherwise wait forever); posted messages, input and paints stay queued.
bool WaitUntil(const std::function<bool()>& done, double seconds);
// Runs the messages other threads have sent to this one and are waiting on; nothing else.
void RunSentMessages();

}  // namespace tk
