#pragma once
// Lets one owner watch chosen messages of this process's windows as an event and decide,
// message by message, whether the window's own procedure still handles them. Works by
// subclassing: every hooked window gets the one shared procedure msghookModule::msgwndproc,
// which finds the replaced procedure in tables shared by the whole process. Everything runs on
// the GUI thread that owns the hooked windows: the tables take no lock.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hook/msghook_args.h"

namespace orvik {

class msghook : public msghookConstants {
 public:
  // The only way to make one: it empties the shared tables (giving any window a previous
  // instance left hooked its own procedure back) and becomes the instance that receives every
  // event. The shared reference keeps it alive until a full unhook.
  static std::shared_ptr<msghook> Create();
  ~msghook();
  msghook(const msghook&) = delete;
  msghook& operator=(const msghook&) = delete;

  // Cleared before each msgevent; a handler sets it to keep the message from the window.
  bool Enabled = false;
  // The MINMAXINFO points of the window during a WM_GETMINMAXINFO event; what a handler leaves
  // here goes back to the system.
  int32_t MaxSizeX = 0;
  int32_t MaxSizeY = 0;
  int32_t MaxPositionX = 0;
  int32_t MaxPositionY = 0;
  int32_t MinTrackSizeX = 0;
  int32_t MinTrackSizeY = 0;
  int32_t MaxTrackSizeX = 0;
  int32_t MaxTrackSizeY = 0;

  // One listener each. arg1..arg3 depend on the message (see ClassifyMessage).
  std::function<void(HWND hwnd, UINT msg, int32_t arg1, int32_t arg2, int32_t arg3)> msgevent;
  std::function<void(HWND hwnd, const std::wstring& ClassName)> EnumChildevent;

  // flaghook true: hook hwnd (the first window hooked while none is registered also becomes a
  // clipboard viewer). A window that is already hooked stays as it is. false: unhook hwnd, or
  // every hooked window when hwnd is null, which also releases this instance from the shared
  // reference. Returns false when the window could not be hooked.
  bool setmsghook(HWND hwnd, bool flaghook);

  // vkey != 0 registers a hot key under `id` for the first window ever hooked, unless a key
  // with that id is held already (one key per id, any number of ids); vkey == 0 unregisters
  // every held key. Returns whether the system accepted every call. Throws
  // std::out_of_range when no window has been hooked yet.
  bool sethotkey(int32_t vkey, int32_t Modifier, int32_t id);

  // Empty ClassName: raises EnumChildevent for every descendant of hwnd and returns null.
  // Otherwise: the first descendant whose class is ClassName (any case), or null. An exception
  // from the handler stops the enumeration and reaches the caller.
  HWND GetChildWindow(HWND hwnd, const std::wstring& ClassName);

  void gotoEnumChildevent(HWND hwnd, const std::wstring& ClassName);
  // Raises msgevent; 1 when the handler set Enabled, else 0.
  int32_t gotomsgevent(HWND hwnd, UINT msg, int32_t arg1, int32_t arg2, int32_t arg3);

 private:
  msghook() = default;
  void ReleaseHotKey();

  struct HeldHotKey {
    int32_t id;  // 0 is a valid id too
    HWND wnd;
  };
  std::vector<HeldHotKey> hotkeys;
};

// Process-wide state of the hook class and the procedures the system calls.
namespace msghookModule {

// The instance that receives the events, or null after a full unhook.
std::shared_ptr<msghook> hookobject();
// Entry i (from 1) is the window of the i-th hook call, null once unhooked; entry 0 is unused.
// Both tables only grow until the next instance is created.
const std::vector<HWND>& hookedwnds();
const std::vector<WNDPROC>& oldprocs();
// The window registered as clipboard viewer and the one after it in the chain (either may be
// null).
HWND viewerwnd();
HWND nextviewer();

LRESULT CALLBACK msgwndproc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
BOOL CALLBACK enumchildproc(HWND hwnd, LPARAM lParam);

}  // namespace msghookModule

}  // namespace orvik
