#include "hook/msghook.h"

#include <cstring>
#include <exception>
#include <iterator>
#include <utility>

namespace orvik {

#define ORVIK_SAME_AS_SDK(name) static_assert(msghook::k##name == name, #name)
ORVIK_SAME_AS_SDK(SC_KEYMENU);
ORVIK_SAME_AS_SDK(SC_HOTKEY);
ORVIK_SAME_AS_SDK(SC_MOVE);
ORVIK_SAME_AS_SDK(SC_SIZE);
ORVIK_SAME_AS_SDK(SC_MINIMIZE);
ORVIK_SAME_AS_SDK(SC_MAXIMIZE);
ORVIK_SAME_AS_SDK(SC_CLOSE);
ORVIK_SAME_AS_SDK(SC_RESTORE);
ORVIK_SAME_AS_SDK(MK_LBUTTON);
ORVIK_SAME_AS_SDK(MK_RBUTTON);
ORVIK_SAME_AS_SDK(MK_MBUTTON);
ORVIK_SAME_AS_SDK(MK_SHIFT);
ORVIK_SAME_AS_SDK(MK_CONTROL);
ORVIK_SAME_AS_SDK(MOD_ALT);
ORVIK_SAME_AS_SDK(MOD_CONTROL);
ORVIK_SAME_AS_SDK(MOD_SHIFT);
ORVIK_SAME_AS_SDK(WM_MOVE);
ORVIK_SAME_AS_SDK(WM_SIZE);
ORVIK_SAME_AS_SDK(WM_SYSCOMMAND);
ORVIK_SAME_AS_SDK(WM_COMMAND);
ORVIK_SAME_AS_SDK(WM_ACTIVATEAPP);
ORVIK_SAME_AS_SDK(WM_NCACTIVATE);
ORVIK_SAME_AS_SDK(WM_GETMINMAXINFO);
ORVIK_SAME_AS_SDK(WM_QUERYOPEN);
ORVIK_SAME_AS_SDK(WM_HOTKEY);
ORVIK_SAME_AS_SDK(WM_DRAWCLIPBOARD);
ORVIK_SAME_AS_SDK(WM_QUERYENDSESSION);
ORVIK_SAME_AS_SDK(WM_KEYDOWN);
ORVIK_SAME_AS_SDK(WM_KEYUP);
ORVIK_SAME_AS_SDK(WM_MOUSEMOVE);
ORVIK_SAME_AS_SDK(WM_LBUTTONDOWN);
ORVIK_SAME_AS_SDK(WM_LBUTTONUP);
ORVIK_SAME_AS_SDK(WM_LBUTTONDBLCLK);
ORVIK_SAME_AS_SDK(WM_RBUTTONDOWN);
ORVIK_SAME_AS_SDK(WM_RBUTTONUP);
ORVIK_SAME_AS_SDK(WM_RBUTTONDBLCLK);
ORVIK_SAME_AS_SDK(WM_MBUTTONDOWN);
ORVIK_SAME_AS_SDK(WM_MBUTTONUP);
ORVIK_SAME_AS_SDK(WM_MBUTTONDBLCLK);
ORVIK_SAME_AS_SDK(WM_NCMOUSEMOVE);
ORVIK_SAME_AS_SDK(WM_NCLBUTTONDOWN);
ORVIK_SAME_AS_SDK(WM_NCLBUTTONUP);
ORVIK_SAME_AS_SDK(WM_NCLBUTTONDBLCLK);
ORVIK_SAME_AS_SDK(WM_NCRBUTTONDOWN);
ORVIK_SAME_AS_SDK(WM_NCRBUTTONUP);
ORVIK_SAME_AS_SDK(WM_NCRBUTTONDBLCLK);
ORVIK_SAME_AS_SDK(WM_NCMBUTTONDOWN);
ORVIK_SAME_AS_SDK(WM_NCMBUTTONUP);
ORVIK_SAME_AS_SDK(WM_NCMBUTTONDBLCLK);
#undef ORVIK_SAME_AS_SDK

namespace {

struct ModuleState {
  std::vector<HWND> hookedwnds{nullptr};
  std::vector<WNDPROC> oldprocs{nullptr};
  // Windows unhooked while a later subclasser sat above msgwndproc: taking it out would cut
  // that subclasser off, so it stays in their chain and keeps handing on to what it replaced.
  std::vector<std::pair<HWND, WNDPROC>> coveredprocs;
  HWND viewerwnd = nullptr;
  HWND nextviewer = nullptr;
  // The instance whose construction last emptied the tables; only its destruction unhooks.
  const msghook* tablesowner = nullptr;
  std::shared_ptr<msghook> hookobject;

  ~ModuleState() {
    // The last instance unhooks through the tables as it goes, so it must go while they live.
    std::shared_ptr<msghook> last = std::move(hookobject);
  }
};

ModuleState& State() {
  static ModuleState state;
  return state;
}

size_t FindHooked(HWND hwnd) {
  const auto& wnds = State().hookedwnds;
  if (!hwnd) return 0;
  for (size_t i = 1; i < wnds.size(); ++i) {
    if (wnds[i] == hwnd) return i;
  }
  return 0;
}

LONG_PTR OurProcedure() { return reinterpret_cast<LONG_PTR>(&msghookModule::msgwndproc); }

// --- Clipboard viewer chain: every viewer must pass changes and chain news on, or the
// viewers registered before it stop hearing of them.

void JoinViewerChain(HWND hwnd) {
  auto& s = State();
  if (s.viewerwnd) return;
  s.nextviewer = SetClipboardViewer(hwnd);
  // SetClipboardViewer returns null both for failure and for "no viewer before us".
  if (GetClipboardViewer() == hwnd) {
    s.viewerwnd = hwnd;
  } else {
    s.nextviewer = nullptr;
  }
}

void LeaveViewerChain() {
  auto& s = State();
  if (!s.viewerwnd) return;
  HWND viewer = std::exchange(s.viewerwnd, nullptr);
  HWND next = std::exchange(s.nextviewer, nullptr);
  ChangeClipboardChain(viewer, next);
}

LRESULT FollowChainChange(WPARAM wParam, LPARAM lParam) {
  auto& s = State();
  HWND removed = reinterpret_cast<HWND>(wParam);
  if (removed && removed == s.nextviewer) {
    s.nextviewer = reinterpret_cast<HWND>(lParam);
  } else if (s.nextviewer) {
    SendMessageW(s.nextviewer, WM_CHANGECBCHAIN, wParam, lParam);
  }
  return 0;
}

void PassDrawClipboard(HWND hwnd, WPARAM wParam, LPARAM lParam) {
  const auto& s = State();
  if (hwnd == s.viewerwnd && s.nextviewer) {
    SendMessageW(s.nextviewer, WM_DRAWCLIPBOARD, wParam, lParam);
  }
}

// --- Subclassing

WNDPROC TakeCovered(HWND hwnd) {
  auto& covered = State().coveredprocs;
  for (auto it = covered.begin(); it != covered.end(); ++it) {
    if (it->first == hwnd) {
      WNDPROC old = it->second;
      covered.erase(it);
      return old;
    }
  }
  return nullptr;
}

WNDPROC Subclass(HWND hwnd) {
  SetLastError(0);
  LONG_PTR old = SetWindowLongPtrW(hwnd, GWLP_WNDPROC, OurProcedure());
  if (!old && GetLastError() != 0) return nullptr;
  return reinterpret_cast<WNDPROC>(old);
}

bool HookWindow(HWND hwnd) {
  auto& s = State();
  if (!hwnd || !IsWindow(hwnd)) return false;
  // A second msgwndproc in the same chain would find its own entry and call itself forever.
  if (FindHooked(hwnd)) return true;
  s.hookedwnds.reserve(s.hookedwnds.size() + 1);
  s.oldprocs.reserve(s.oldprocs.size() + 1);
  // Registration comes first, so the WM_DRAWCLIPBOARD it sends reaches the window's own
  // procedure rather than the event.
  const bool joined = !s.viewerwnd;
  JoinViewerChain(hwnd);
  // A window unhooked under another subclasser still has msgwndproc in its chain: take it back.
  WNDPROC old = TakeCovered(hwnd);
  if (!old) old = Subclass(hwnd);
  if (!old) {
    if (joined && s.viewerwnd == hwnd) LeaveViewerChain();
    return false;
  }
  s.hookedwnds.push_back(hwnd);
  s.oldprocs.push_back(old);
  return true;
}

void RestoreProcedure(HWND hwnd, WNDPROC old) {
  if (!IsWindow(hwnd)) return;
  if (GetWindowLongPtrW(hwnd, GWLP_WNDPROC) == OurProcedure()) {
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(old));
  } else {
    State().coveredprocs.emplace_back(hwnd, old);
  }
}

// hwnd null: every hooked window.
void UnhookWindows(HWND hwnd) {
  auto& s = State();
  if (!hwnd || hwnd == s.viewerwnd) LeaveViewerChain();
  for (size_t i = 1; i < s.hookedwnds.size(); ++i) {
    HWND w = s.hookedwnds[i];
    if (!w || (hwnd && w != hwnd)) continue;
    s.hookedwnds[i] = nullptr;
    RestoreProcedure(w, s.oldprocs[i]);
  }
}

// A destroyed window is no longer hooked; its handle may later name another window.
void ForgetWindow(HWND hwnd) {
  for (auto& w : State().hookedwnds) {
    if (w == hwnd) w = nullptr;
  }
}

LRESULT CallCoveredOrDefault(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  WNDPROC old = nullptr;
  for (const auto& entry : State().coveredprocs) {
    if (entry.first == hwnd) old = entry.second;
  }
  if (!old) return DefWindowProcW(hwnd, msg, wParam, lParam);
  const LRESULT r = CallWindowProcW(old, hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) TakeCovered(hwnd);
  return r;
}

// --- Events

void LoadMinMaxFields(msghook& obj, const MINMAXINFO& info) {
  obj.MaxSizeX = info.ptMaxSize.x;
  obj.MaxSizeY = info.ptMaxSize.y;
  obj.MaxPositionX = info.ptMaxPosition.x;
  obj.MaxPositionY = info.ptMaxPosition.y;
  obj.MinTrackSizeX = info.ptMinTrackSize.x;
  obj.MinTrackSizeY = info.ptMinTrackSize.y;
  obj.MaxTrackSizeX = info.ptMaxTrackSize.x;
  obj.MaxTrackSizeY = info.ptMaxTrackSize.y;
}

void StoreMinMaxFields(const msghook& obj, MINMAXINFO& info) {
  info.ptMaxSize = {obj.MaxSizeX, obj.MaxSizeY};
  info.ptMaxPosition = {obj.MaxPositionX, obj.MaxPositionY};
  info.ptMinTrackSize = {obj.MinTrackSizeX, obj.MinTrackSizeY};
  info.ptMaxTrackSize = {obj.MaxTrackSizeX, obj.MaxTrackSizeY};
}

// False when no instance listens: the message then goes to the window's own procedure.
bool RelayMinMaxInfo(HWND hwnd, LPARAM lParam) noexcept {
  std::shared_ptr<msghook> obj = State().hookobject;
  if (!obj || !lParam) return false;
  MINMAXINFO info;
  std::memcpy(&info, reinterpret_cast<const void*>(lParam), sizeof info);
  LoadMinMaxFields(*obj, info);
  try {
    obj->gotomsgevent(hwnd, WM_GETMINMAXINFO, 0, 0, 0);
  } catch (...) {
    // Whatever the handler managed to set before it failed still goes back.
  }
  StoreMinMaxFields(*obj, info);
  std::memcpy(reinterpret_cast<void*>(lParam), &info, sizeof info);
  return true;
}

// True when the handler consumed the message.
bool RaiseMsgEvent(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) noexcept {
  const MsgArgLayout layout = ClassifyMessage(msg);
  if (layout == MsgArgLayout::None || layout == MsgArgLayout::MinMaxInfo) return false;
  // The copy keeps the instance alive should the handler run a full unhook.
  std::shared_ptr<msghook> obj = State().hookobject;
  if (!obj) return false;
  const MsgEventArgs args = EventArgs(layout, wParam, lParam);
  try {
    return obj->gotomsgevent(hwnd, msg, args.arg1, args.arg2, args.arg3) != 0;
  } catch (...) {
    return false;
  }
}

struct ChildSearch {
  msghook* listener;
  const std::wstring* className;
  HWND found = nullptr;
  std::exception_ptr error;
};

}  // namespace

// --- msghook

std::shared_ptr<msghook> msghook::Create() {
  std::shared_ptr<msghook> created(new msghook());
  auto& s = State();
  UnhookWindows(nullptr);
  s.hookedwnds.assign(1, nullptr);
  s.oldprocs.assign(1, nullptr);
  s.tablesowner = created.get();
  s.hookobject = created;
  return created;
}

msghook::~msghook() {
  try {
    ReleaseHotKey();
    auto& s = State();
    if (s.tablesowner == this) {
      UnhookWindows(nullptr);
      s.tablesowner = nullptr;
    }
  } catch (...) {
  }
}

bool msghook::setmsghook(HWND hwnd, bool flaghook) {
  if (flaghook) return HookWindow(hwnd);
  UnhookWindows(hwnd);
  if (!hwnd) {
    // Released on return; this may be the last reference, so nothing touches *this after it.
    std::shared_ptr<msghook> released = std::move(State().hookobject);
  }
  return true;
}

bool msghook::sethotkey(int32_t vkey, int32_t Modifier, int32_t id) {
  if (vkey == 0) {
    bool ok = true;
    for (const HeldHotKey& key : std::exchange(hotkeys, {})) {
      ok = UnregisterHotKey(key.wnd, key.id) != FALSE && ok;
    }
    return ok;
  }
  HWND owner = State().hookedwnds.at(1);
  for (const HeldHotKey& key : hotkeys) {
    if (key.id == id) return false;
  }
  if (!owner) return false;
  if (!RegisterHotKey(owner, id, static_cast<UINT>(Modifier), static_cast<UINT>(vkey))) {
    return false;
  }
  hotkeys.push_back({id, owner});
  return true;
}

void msghook::ReleaseHotKey() {
  if (!hotkeys.empty()) sethotkey(0, 0, 0);
}

HWND msghook::GetChildWindow(HWND hwnd, const std::wstring& ClassName) {
  ChildSearch search{this, &ClassName, nullptr, nullptr};
  EnumChildWindows(hwnd, msghookModule::enumchildproc, reinterpret_cast<LPARAM>(&search));
  if (search.error) std::rethrow_exception(search.error);
  return search.found;
}

void msghook::gotoEnumChildevent(HWND hwnd, const std::wstring& ClassName) {
  if (EnumChildevent) EnumChildevent(hwnd, ClassName);
}

int32_t msghook::gotomsgevent(HWND hwnd, UINT msg, int32_t arg1, int32_t arg2, int32_t arg3) {
  Enabled = false;
  if (msgevent) msgevent(hwnd, msg, arg1, arg2, arg3);
  return Enabled ? 1 : 0;
}

// --- msghookModule

namespace msghookModule {

std::shared_ptr<msghook> hookobject() { return State().hookobject; }
const std::vector<HWND>& hookedwnds() { return State().hookedwnds; }
const std::vector<WNDPROC>& oldprocs() { return State().oldprocs; }
HWND viewerwnd() { return State().viewerwnd; }
HWND nextviewer() { return State().nextviewer; }

LRESULT CALLBACK msgwndproc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const size_t i = FindHooked(hwnd);
  // Not (or no longer) hooked: the window still needs a working procedure.
  if (i == 0) return CallCoveredOrDefault(hwnd, msg, wParam, lParam);
  // Taken before the event: a handler that unhooks this window still leaves this message a
  // procedure to go to.
  const WNDPROC prev = State().oldprocs[i];
  const bool viewer = hwnd == State().viewerwnd;
  if (viewer && msg == WM_CHANGECBCHAIN) return FollowChainChange(wParam, lParam);
  // A viewer destroyed while still registered would cut the chain after it.
  if (viewer && msg == WM_DESTROY) LeaveViewerChain();

  bool consumed = false;
  if (msg == WM_GETMINMAXINFO) {
    if (RelayMinMaxInfo(hwnd, lParam)) return 1;
  } else {
    consumed = RaiseMsgEvent(hwnd, msg, wParam, lParam);
  }
  // Passed on whatever the handler decided: the chain is not ours to cut.
  if (msg == WM_DRAWCLIPBOARD) PassDrawClipboard(hwnd, wParam, lParam);
  if (consumed) return 1;

  const LRESULT r = CallWindowProcW(prev, hwnd, msg, wParam, lParam);
  if (msg == WM_NCDESTROY) ForgetWindow(hwnd);
  return r;
}

BOOL CALLBACK enumchildproc(HWND hwnd, LPARAM lParam) {
  auto& search = *reinterpret_cast<ChildSearch*>(lParam);
  wchar_t name[257] = {};  // the longest class name the system accepts, and its NUL
  GetClassNameW(hwnd, name, static_cast<int>(std::size(name)));
  if (!search.className->empty()) {
    if (CompareStringOrdinal(name, -1, search.className->c_str(), -1, TRUE) != CSTR_EQUAL) {
      return TRUE;
    }
    search.found = hwnd;
    return FALSE;
  }
  // Nothing may unwind through the system's enumeration: the error waits for GetChildWindow.
  try {
    search.listener->gotoEnumChildevent(hwnd, name);
  } catch (...) {
    search.error = std::current_exception();
    return FALSE;
  }
  return TRUE;
}

}  // namespace msghookModule

}  // namespace orvik
