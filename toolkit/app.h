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

// Waits for `object` to be signalled, running meanwhile the messages other threads send to this
// one (a thread that waits with SendMessage on this one would otherwise wait forever); posted
// messages, input and paints stay queued. False when `timeoutMs` passed first: every wait of the
// GUI thread has a bound.
bool WaitRunningSentMessages(HANDLE object, DWORD timeoutMs);
// The same for a condition another thread makes true, looked at every millisecond.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs);
// Runs the messages other threads have sent to this one and are waiting on; nothing else.
void RunSentMessages();

}  // namespace tk
