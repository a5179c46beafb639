#include "hook/msghook.h"
#include "toolkit/app.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/ui_driver.h"

using namespace orvik;
namespace mod = orvik::msghookModule;

namespace {

constexpr UINT kAnswer42 = WM_APP + 1;  // the window's own procedure answers it with 42
constexpr wchar_t kOwnClass[] = L"OrvikHookTestWindow";

// What a window's own procedure saw. As a viewer it behaves like another program's clipboard
// viewer: it passes changes on and follows chain changes.
struct OwnLog {
  std::vector<UINT> msgs;
  bool viewer = false;
  HWND next = nullptr;
  int Count(UINT m) const { return static_cast<int>(std::count(msgs.begin(), msgs.end(), m)); }
};

LRESULT ActAsViewer(OwnLog& log, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_CHANGECBCHAIN && reinterpret_cast<HWND>(w) == log.next) {
    log.next = reinterpret_cast<HWND>(l);
  } else if (log.next) {
    SendMessageW(log.next, m, w, l);
  }
  return 0;
}

LRESULT CALLBACK OwnProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(l);
    SetWindowLongPtrW(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* log = reinterpret_cast<OwnLog*>(GetWindowLongPtrW(h, GWLP_USERDATA));
  if (log) log->msgs.push_back(m);
  if (log && log->viewer && (m == WM_DRAWCLIPBOARD || m == WM_CHANGECBCHAIN)) {
    return ActAsViewer(*log, m, w, l);
  }
  if (m == kAnswer42) return 42;
  if (m == WM_KEYDOWN) return 43;
  return DefWindowProcW(h, m, w, l);
}

// A hidden window with its own procedure and log; destroyed with the object.
class TestWindow {
 public:
  explicit TestWindow(DWORD style = WS_OVERLAPPEDWINDOW, HWND parent = nullptr) {
    static const bool registered = [] {
      WNDCLASSW wc = {};
      wc.lpfnWndProc = OwnProc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = kOwnClass;
      return RegisterClassW(&wc) != 0;
    }();
    (void)registered;
    hwnd_ = CreateWindowExW(0, kOwnClass, L"hook test", style, 10, 10, 300, 200, parent, nullptr,
                            GetModuleHandleW(nullptr), &log);
  }
  ~TestWindow() { Destroy(); }
  TestWindow(const TestWindow&) = delete;
  TestWindow& operator=(const TestWindow&) = delete;

  HWND get() const { return hwnd_; }
  void Destroy() {
    LeaveViewerChain();
    if (hwnd_) DestroyWindow(hwnd_);
    hwnd_ = nullptr;
  }
  LONG_PTR Procedure() const { return GetWindowLongPtrW(hwnd_, GWLP_WNDPROC); }
  // Registers as clipboard viewer the way another program would.
  void JoinViewerChain() {
    log.next = SetClipboardViewer(hwnd_);
    log.viewer = true;
  }
  void LeaveViewerChain() {
    if (log.viewer) ChangeClipboardChain(hwnd_, log.next);
    log.viewer = false;
  }

  OwnLog log;

 private:
  HWND hwnd_ = nullptr;
};

LONG_PTR HookProcedure() { return reinterpret_cast<LONG_PTR>(&mod::msgwndproc); }

LPARAM Point(int x, int y) { return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y)); }

// The test support's pumping, with this file's usual timeout.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 3000) {
  return testsupport::PumpUntil(done, timeoutMs);
}
using testsupport::PumpFor;

bool PutTextOnClipboard(HWND owner, const wchar_t* text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  const size_t bytes = (wcslen(text) + 1) * sizeof(wchar_t);
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
  memcpy(GlobalLock(mem), text, bytes);
  GlobalUnlock(mem);
  const bool ok = SetClipboardData(CF_UNICODETEXT, mem) != nullptr;
  if (!ok) GlobalFree(mem);
  CloseClipboard();
  return ok;
}

struct Event {
  HWND hwnd;
  UINT msg;
  int32_t arg1, arg2, arg3;
};

class MsgHook : public ::testing::Test {
 protected:
  void SetUp() override {
    tmsg->msgevent = [this](HWND h, UINT m, int32_t a1, int32_t a2, int32_t a3) {
      events.push_back({h, m, a1, a2, a3});
      if (onEvent) onEvent(h, m);
    };
  }
  void TearDown() override {
    if (auto obj = mod::hookobject()) obj->setmsghook(nullptr, false);
  }
  std::vector<Event> EventsOf(UINT msg) const {
    std::vector<Event> out;
    for (const auto& e : events) {
      if (e.msg == msg) out.push_back(e);
    }
    return out;
  }

  std::shared_ptr<msghook> tmsg = msghook::Create();
  std::vector<Event> events;
  std::function<void(HWND, UINT)> onEvent;
};

// --- Delivery and consumption

TEST_F(MsgHook, UnreportedMessagesPassStraightThroughWithTheirResult) {
  TestWindow w;
  ASSERT_TRUE(tmsg->setmsghook(w.get(), true));
  EXPECT_EQ(w.Procedure(), HookProcedure());
  EXPECT_EQ(SendMessageW(w.get(), kAnswer42, 0, 0), 42);
  EXPECT_EQ(w.log.Count(kAnswer42), 1);
  EXPECT_TRUE(EventsOf(kAnswer42).empty());
  SendMessageW(w.get(), WM_PAINT, 0, 0);
  EXPECT_EQ(w.log.Count(WM_PAINT), 1);
  EXPECT_TRUE(EventsOf(WM_PAINT).empty());
}

TEST_F(MsgHook, ConsumedMessageReturnsOneWithoutTheWindowsProcedure) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  onEvent = [&](HWND, UINT m) { tmsg->Enabled = m == WM_SYSCOMMAND; };

  EXPECT_EQ(SendMessageW(w.get(), WM_SYSCOMMAND, SC_CLOSE, 0), 1);
  EXPECT_EQ(w.log.Count(WM_SYSCOMMAND), 0);
  EXPECT_TRUE(IsWindow(w.get()));
  ASSERT_EQ(EventsOf(WM_SYSCOMMAND).size(), 1u);
  EXPECT_EQ(EventsOf(WM_SYSCOMMAND)[0].arg1, SC_CLOSE);

  // Not consumed: the window's own answer comes back.
  EXPECT_EQ(SendMessageW(w.get(), WM_KEYDOWN, VK_F5, 0), 43);
  EXPECT_EQ(w.log.Count(WM_KEYDOWN), 1);
  ASSERT_EQ(EventsOf(WM_KEYDOWN).size(), 1u);
  EXPECT_EQ(EventsOf(WM_KEYDOWN)[0].hwnd, w.get());
  EXPECT_EQ(EventsOf(WM_KEYDOWN)[0].arg1, VK_F5);
}

TEST_F(MsgHook, EachGroupCarriesItsArguments) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  w.log.msgs.clear();  // registering as clipboard viewer sent it WM_DRAWCLIPBOARD
  onEvent = [&](HWND, UINT) { tmsg->Enabled = true; };  // keep them from DefWindowProc
  struct Case {
    UINT msg;
    WPARAM wp;
    LPARAM lp;
    int32_t arg1, arg2, arg3;
  };
  const Case cases[] = {
      {WM_LBUTTONDOWN, MK_LBUTTON | MK_SHIFT, Point(-5, 300), MK_LBUTTON | MK_SHIFT, -5, 300},
      {WM_NCMOUSEMOVE, HTCAPTION, Point(1200, -40), HTCAPTION, 1200, -40},
      {WM_HOTKEY, 7, MAKELPARAM(MOD_CONTROL | MOD_ALT, 'K'), 7, MOD_CONTROL | MOD_ALT, 'K'},
      {WM_SIZE, SIZE_RESTORED, Point(800, 600), 800, 600, 0},
      {WM_MOVE, 0, Point(-30, 40), -30, 40, 0},
      {WM_KEYDOWN, VK_F5, Point(3, 4), VK_F5, 0, 0},
      {WM_KEYUP, VK_F6, Point(3, 4), VK_F6, 0, 0},
      {WM_SYSCOMMAND, SC_CLOSE, Point(3, 4), SC_CLOSE, 0, 0},
      {WM_COMMAND, MAKEWPARAM(1234, 1), 0x55, 0x104D2, 0, 0},
      {WM_ACTIVATEAPP, TRUE, 0x66, 1, 0, 0},
      {WM_NCACTIVATE, TRUE, 0, 1, 0, 0},
      {WM_QUERYOPEN, 5, Point(3, 4), 5, 0, 0},
      {WM_DRAWCLIPBOARD, 9, Point(3, 4), 0, 0, 0},
      {WM_QUERYENDSESSION, 9, ENDSESSION_LOGOFF, 0, 0, 0},
  };
  for (const Case& c : cases) {
    events.clear();
    EXPECT_EQ(SendMessageW(w.get(), c.msg, c.wp, c.lp), 1) << c.msg;
    ASSERT_EQ(events.size(), 1u) << c.msg;
    const Event& e = events[0];
    EXPECT_EQ(e.hwnd, w.get());
    EXPECT_EQ(e.msg, c.msg);
    EXPECT_EQ(e.arg1, c.arg1) << c.msg;
    EXPECT_EQ(e.arg2, c.arg2) << c.msg;
    EXPECT_EQ(e.arg3, c.arg3) << c.msg;
    EXPECT_EQ(w.log.Count(c.msg), 0) << c.msg;
  }
}

TEST_F(MsgHook, RealResizingAndMovingReportTheClientSizeAndPosition) {
  TestWindow w(WS_POPUP);  // no frame: the client area is the whole window
  tmsg->setmsghook(w.get(), true);
  w.log.msgs.clear();
  SetWindowPos(w.get(), nullptr, 0, 0, 800, 600, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_FALSE(EventsOf(WM_SIZE).empty());
  EXPECT_EQ(EventsOf(WM_SIZE).back().arg1, 800);
  EXPECT_EQ(EventsOf(WM_SIZE).back().arg2, 600);
  EXPECT_EQ(EventsOf(WM_SIZE).back().arg3, 0);

  SetWindowPos(w.get(), nullptr, -30, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_FALSE(EventsOf(WM_MOVE).empty());
  EXPECT_EQ(EventsOf(WM_MOVE).back().arg1, -30);
  EXPECT_EQ(EventsOf(WM_MOVE).back().arg2, 40);
  EXPECT_EQ(w.log.Count(WM_SIZE), static_cast<int>(EventsOf(WM_SIZE).size()));
}

TEST_F(MsgHook, HandlerThatThrowsLeavesTheMessageToTheWindow) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  onEvent = [&](HWND, UINT) {
    tmsg->Enabled = true;
    throw std::runtime_error("handler failed");
  };
  EXPECT_EQ(SendMessageW(w.get(), WM_KEYDOWN, 'A', 0), 43);
  EXPECT_EQ(w.log.Count(WM_KEYDOWN), 1);
  // The next message is delivered as usual.
  onEvent = nullptr;
  SendMessageW(w.get(), WM_KEYUP, 'A', 0);
  EXPECT_EQ(EventsOf(WM_KEYUP).size(), 1u);
}

// --- Nested sends

TEST_F(MsgHook, NestedSendsRunTheirOwnEventsAndOuterReadsEnabledLast) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  std::vector<UINT> order;
  onEvent = [&](HWND h, UINT m) {
    order.push_back(m);
    if (m == WM_COMMAND) {
      EXPECT_EQ(SendMessageW(h, WM_KEYDOWN, 'B', 0), 43);  // nested, not consumed
      tmsg->Enabled = true;                                // set after the nested send
    }
  };
  EXPECT_EQ(SendMessageW(w.get(), WM_COMMAND, 100, 0), 1);
  EXPECT_EQ(order, (std::vector<UINT>{WM_COMMAND, WM_KEYDOWN}));
  EXPECT_EQ(w.log.Count(WM_KEYDOWN), 1);
  EXPECT_EQ(w.log.Count(WM_COMMAND), 0);

  // Set before the nested send, the flag is cleared by the inner event: not consumed.
  onEvent = [&](HWND h, UINT m) {
    if (m == WM_COMMAND) {
      tmsg->Enabled = true;
      SendMessageW(h, WM_KEYDOWN, 'B', 0);
    }
  };
  SendMessageW(w.get(), WM_COMMAND, 101, 0);
  EXPECT_EQ(w.log.Count(WM_COMMAND), 1);
}

TEST_F(MsgHook, FullUnhookFromInsideAHandlerKeepsTheInstanceUntilItReturns) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  std::weak_ptr<msghook> weak = tmsg;
  msghook* raw = tmsg.get();
  tmsg.reset();  // only the shared reference holds it now
  ASSERT_FALSE(weak.expired());
  onEvent = [&](HWND, UINT m) {
    if (m != WM_KEYDOWN) return;
    raw->setmsghook(nullptr, false);
    raw->Enabled = true;  // still a live object here
  };
  EXPECT_EQ(SendMessageW(w.get(), WM_KEYDOWN, 'C', 0), 1);
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(w.Procedure(), reinterpret_cast<LONG_PTR>(&OwnProc));
}

// --- WM_GETMINMAXINFO

MINMAXINFO SampleMinMax() {
  MINMAXINFO info = {};
  info.ptReserved = {11, 22};
  info.ptMaxSize = {1000, 700};
  info.ptMaxPosition = {-8, -8};
  info.ptMinTrackSize = {120, 40};
  info.ptMaxTrackSize = {2000, 1500};
  return info;
}

bool SamePoints(const MINMAXINFO& a, const MINMAXINFO& b) { return memcmp(&a, &b, sizeof a) == 0; }

TEST_F(MsgHook, MinMaxInfoRoundTripsThroughTheFields) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  MINMAXINFO seen = {};
  onEvent = [&](HWND, UINT m) {
    if (m != WM_GETMINMAXINFO) return;
    seen.ptMaxSize = {tmsg->MaxSizeX, tmsg->MaxSizeY};
    seen.ptMaxPosition = {tmsg->MaxPositionX, tmsg->MaxPositionY};
    seen.ptMinTrackSize = {tmsg->MinTrackSizeX, tmsg->MinTrackSizeY};
    seen.ptMaxTrackSize = {tmsg->MaxTrackSizeX, tmsg->MaxTrackSizeY};
  };

  MINMAXINFO info = SampleMinMax();
  w.log.msgs.clear();
  EXPECT_EQ(SendMessageW(w.get(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 1);
  EXPECT_TRUE(SamePoints(info, SampleMinMax()));
  seen.ptReserved = info.ptReserved;
  EXPECT_TRUE(SamePoints(seen, SampleMinMax()));
  EXPECT_EQ(w.log.Count(WM_GETMINMAXINFO), 0);
  ASSERT_EQ(EventsOf(WM_GETMINMAXINFO).size(), 1u);
  EXPECT_EQ(EventsOf(WM_GETMINMAXINFO)[0].arg1, 0);

  onEvent = [&](HWND, UINT m) {
    if (m != WM_GETMINMAXINFO) return;
    tmsg->MaxPositionX = -4;
    tmsg->MaxPositionY = -4;
    tmsg->MaxSizeX = 1032;
    tmsg->MaxSizeY = 747;
    tmsg->MinTrackSizeX = 400;
    tmsg->MinTrackSizeY = 300;
  };
  EXPECT_EQ(SendMessageW(w.get(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 1);
  EXPECT_EQ(info.ptReserved.x, 11);
  EXPECT_EQ(info.ptReserved.y, 22);
  EXPECT_EQ(info.ptMaxPosition.x, -4);
  EXPECT_EQ(info.ptMaxSize.x, 1032);
  EXPECT_EQ(info.ptMaxSize.y, 747);
  EXPECT_EQ(info.ptMinTrackSize.x, 400);
  EXPECT_EQ(info.ptMinTrackSize.y, 300);
  EXPECT_EQ(info.ptMaxTrackSize.x, 2000);
  EXPECT_EQ(w.log.Count(WM_GETMINMAXINFO), 0);
}

TEST_F(MsgHook, MinMaxInfoFromTheHandlerLimitsRealResizing) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  onEvent = [&](HWND, UINT m) {
    if (m != WM_GETMINMAXINFO) return;
    tmsg->MinTrackSizeX = 400;
    tmsg->MinTrackSizeY = 300;
  };
  w.log.msgs.clear();
  SetWindowPos(w.get(), nullptr, 0, 0, 100, 100, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT r;
  GetWindowRect(w.get(), &r);
  EXPECT_EQ(r.right - r.left, 400);
  EXPECT_EQ(r.bottom - r.top, 300);
  EXPECT_FALSE(EventsOf(WM_GETMINMAXINFO).empty());
  EXPECT_EQ(w.log.Count(WM_GETMINMAXINFO), 0);
}

TEST_F(MsgHook, MinMaxInfoSurvivesAThrowingHandlerAndANullPointer) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  onEvent = [&](HWND, UINT m) {
    if (m != WM_GETMINMAXINFO) return;
    tmsg->MinTrackSizeX = 401;
    throw std::runtime_error("handler failed");
  };
  MINMAXINFO info = SampleMinMax();
  EXPECT_EQ(SendMessageW(w.get(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info)), 1);
  EXPECT_EQ(info.ptMinTrackSize.x, 401);
  EXPECT_EQ(w.log.Count(WM_GETMINMAXINFO), 0);

  // Nothing to read: the window's own procedure decides, and nothing is raised.
  events.clear();
  SendMessageW(w.get(), WM_GETMINMAXINFO, 0, 0);
  EXPECT_EQ(w.log.Count(WM_GETMINMAXINFO), 1);
  EXPECT_TRUE(EventsOf(WM_GETMINMAXINFO).empty());
}

// --- Tables, unhooking and lifetime

TEST_F(MsgHook, FullUnhookRestoresEveryProcedureAndReleasesTheInstance) {
  TestWindow a, b;
  tmsg->setmsghook(a.get(), true);
  tmsg->setmsghook(b.get(), true);
  EXPECT_EQ(mod::hookedwnds(), (std::vector<HWND>{nullptr, a.get(), b.get()}));
  EXPECT_EQ(mod::oldprocs(), (std::vector<WNDPROC>{nullptr, OwnProc, OwnProc}));

  std::weak_ptr<msghook> weak = tmsg;
  tmsg.reset();
  SendMessageW(b.get(), WM_KEYDOWN, 'D', 0);  // the shared reference still delivers
  EXPECT_EQ(EventsOf(WM_KEYDOWN).size(), 1u);
  ASSERT_FALSE(weak.expired());

  weak.lock()->setmsghook(nullptr, false);
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(mod::hookobject(), nullptr);
  EXPECT_EQ(a.Procedure(), reinterpret_cast<LONG_PTR>(&OwnProc));
  EXPECT_EQ(b.Procedure(), reinterpret_cast<LONG_PTR>(&OwnProc));
  EXPECT_EQ(mod::hookedwnds(), (std::vector<HWND>{nullptr, nullptr, nullptr}));
  EXPECT_EQ(mod::oldprocs().size(), 3u);
  EXPECT_EQ(SendMessageW(a.get(), kAnswer42, 0, 0), 42);
}

TEST_F(MsgHook, UnhookingOneWindowLeavesTheOthersAndHookingAgainAppends) {
  TestWindow a, b;
  tmsg->setmsghook(a.get(), true);
  tmsg->setmsghook(b.get(), true);
  tmsg->setmsghook(a.get(), false);
  EXPECT_EQ(a.Procedure(), reinterpret_cast<LONG_PTR>(&OwnProc));
  EXPECT_EQ(b.Procedure(), HookProcedure());
  SendMessageW(a.get(), WM_KEYDOWN, 'E', 0);
  SendMessageW(b.get(), WM_KEYDOWN, 'F', 0);
  ASSERT_EQ(EventsOf(WM_KEYDOWN).size(), 1u);
  EXPECT_EQ(EventsOf(WM_KEYDOWN)[0].hwnd, b.get());
  EXPECT_EQ(mod::hookobject(), tmsg);

  tmsg->setmsghook(a.get(), true);
  EXPECT_EQ(mod::hookedwnds(), (std::vector<HWND>{nullptr, nullptr, b.get(), a.get()}));
  EXPECT_EQ(mod::oldprocs().size(), 4u);
  EXPECT_EQ(mod::oldprocs()[3], OwnProc);
  EXPECT_EQ(SendMessageW(a.get(), kAnswer42, 0, 0), 42);
}

TEST_F(MsgHook, HookingAnAlreadyHookedWindowChangesNothing) {
  TestWindow w;
  ASSERT_TRUE(tmsg->setmsghook(w.get(), true));
  ASSERT_TRUE(tmsg->setmsghook(w.get(), true));
  EXPECT_EQ(mod::hookedwnds().size(), 2u);
  EXPECT_EQ(SendMessageW(w.get(), WM_KEYDOWN, 'G', 0), 43);
  EXPECT_EQ(EventsOf(WM_KEYDOWN).size(), 1u);
  EXPECT_EQ(w.log.Count(WM_KEYDOWN), 1);
  tmsg->setmsghook(w.get(), false);
  EXPECT_EQ(w.Procedure(), reinterpret_cast<LONG_PTR>(&OwnProc));
}

TEST_F(MsgHook, WindowsThatCannotBeHookedLeaveNoTrace) {
  EXPECT_FALSE(tmsg->setmsghook(nullptr, true));
  // Another process's window: subclassing is refused, so it must not stay a clipboard viewer
  // that nobody answers for.
  EXPECT_FALSE(tmsg->setmsghook(GetDesktopWindow(), true));
  EXPECT_EQ(mod::hookedwnds().size(), 1u);
  EXPECT_EQ(mod::viewerwnd(), nullptr);
  EXPECT_EQ(GetClipboardViewer(), nullptr);

  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  HWND gone = w.get();
  w.Destroy();
  // Its handle may come back for another window: the entry must not claim it.
  EXPECT_EQ(mod::hookedwnds(), (std::vector<HWND>{nullptr, nullptr}));
  EXPECT_EQ(mod::viewerwnd(), nullptr);
  EXPECT_FALSE(tmsg->setmsghook(gone, true));
  EXPECT_EQ(mod::hookedwnds().size(), 2u);
}

WNDPROC g_laterPrevious = nullptr;
int g_laterCalls = 0;
LRESULT CALLBACK LaterSubclass(HWND h, UINT m, WPARAM w, LPARAM l) {
  ++g_laterCalls;
  return CallWindowProcW(g_laterPrevious, h, m, w, l);
}

TEST_F(MsgHook, UnhookUnderALaterSubclasserKeepsItsChainWorking) {
  TestWindow w;
  tmsg->setmsghook(w.get(), true);
  g_laterCalls = 0;
  g_laterPrevious = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(w.get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LaterSubclass)));

  tmsg->setmsghook(w.get(), false);
  EXPECT_EQ(w.Procedure(), reinterpret_cast<LONG_PTR>(&LaterSubclass));
  EXPECT_EQ(SendMessageW(w.get(), kAnswer42, 0, 0), 42);
  EXPECT_EQ(SendMessageW(w.get(), WM_KEYDOWN, 'H', 0), 43);
  EXPECT_TRUE(EventsOf(WM_KEYDOWN).empty());
  EXPECT_EQ(g_laterCalls, 2);

  // Hooked again, msgwndproc in the chain serves again rather than stacking a second copy.
  tmsg->setmsghook(w.get(), true);
  EXPECT_EQ(w.Procedure(), reinterpret_cast<LONG_PTR>(&LaterSubclass));
  EXPECT_EQ(SendMessageW(w.get(), WM_KEYDOWN, 'I', 0), 43);
  EXPECT_EQ(EventsOf(WM_KEYDOWN).size(), 1u);
  EXPECT_EQ(w.log.Count(WM_KEYDOWN), 2);
}

TEST_F(MsgHook, WindowsOutsideTheTablesGetTheDefaultProcedure) {
  TestWindow w;
  SetWindowLongPtrW(w.get(), GWLP_WNDPROC, HookProcedure());
  EXPECT_EQ(SendMessageW(w.get(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"plain")), TRUE);
  wchar_t text[16] = {};
  GetWindowTextW(w.get(), text, 16);
  EXPECT_STREQ(text, L"plain");
  EXPECT_EQ(SendMessageW(w.get(), kAnswer42, 0, 0), 0);
  EXPECT_TRUE(events.empty());
}

TEST_F(MsgHook, ANewInstanceTakesOverAndTheOldOneCannotUndoIt) {
  TestWindow a, b;
  tmsg->setmsghook(a.get(), true);
  std::shared_ptr<msghook> second = msghook::Create();
  std::vector<Event> secondEvents;
  second->msgevent = [&](HWND h, UINT m, int32_t x, int32_t y, int32_t z) {
    secondEvents.push_back({h, m, x, y, z});
  };
  // The first instance's window got its own procedure back with the tables.
  EXPECT_EQ(a.Procedure(), reinterpret_cast<LONG_PTR>(&OwnProc));
  EXPECT_EQ(mod::hookedwnds().size(), 1u);
  EXPECT_EQ(mod::hookobject(), second);

  second->setmsghook(b.get(), true);
  tmsg.reset();  // the first instance goes; the second keeps its window
  EXPECT_EQ(b.Procedure(), HookProcedure());
  SendMessageW(b.get(), WM_KEYDOWN, 'J', 0);
  ASSERT_EQ(secondEvents.size(), 1u);
  EXPECT_EQ(secondEvents[0].arg1, 'J');
  EXPECT_TRUE(events.empty());
  second->setmsghook(nullptr, false);
}

// --- Child windows

TEST_F(MsgHook, ChildEnumerationReportsEveryDescendantWithItsClass) {
  std::vector<std::pair<HWND, std::wstring>> found;
  tmsg->EnumChildevent = [&](HWND h, const std::wstring& name) { found.emplace_back(h, name); };

  TestWindow lonely;
  EXPECT_EQ(tmsg->GetChildWindow(lonely.get(), L""), nullptr);
  EXPECT_TRUE(found.empty());

  TestWindow parent;
  HINSTANCE inst = GetModuleHandleW(nullptr);
  HWND label = CreateWindowExW(0, L"STATIC", L"x", WS_CHILD, 0, 0, 10, 10, parent.get(), nullptr,
                               inst, nullptr);
  TestWindow group(WS_CHILD, parent.get());
  HWND edit =
      CreateWindowExW(0, L"EDIT", L"", WS_CHILD, 0, 0, 10, 10, group.get(), nullptr, inst, nullptr);
  ASSERT_TRUE(label && group.get() && edit);

  EXPECT_EQ(tmsg->GetChildWindow(parent.get(), L""), nullptr);
  ASSERT_EQ(found.size(), 3u);
  auto nameOf = [&](HWND h) {
    for (const auto& f : found) {
      if (f.first == h) return f.second;
    }
    return std::wstring(L"<missing>");
  };
  EXPECT_EQ(nameOf(label), L"Static");
  EXPECT_EQ(nameOf(group.get()), kOwnClass);
  EXPECT_EQ(nameOf(edit), L"Edit");

  // With a class name: the first descendant of that class, and no events.
  found.clear();
  EXPECT_EQ(tmsg->GetChildWindow(parent.get(), L"edit"), edit);
  EXPECT_EQ(tmsg->GetChildWindow(parent.get(), L"ListBox"), nullptr);
  EXPECT_EQ(tmsg->GetChildWindow(lonely.get(), L"Edit"), nullptr);
  EXPECT_TRUE(found.empty());

  // A failing handler stops the walk and its error reaches the caller.
  int calls = 0;
  tmsg->EnumChildevent = [&](HWND, const std::wstring&) {
    ++calls;
    throw std::runtime_error("stop");
  };
  EXPECT_THROW(tmsg->GetChildWindow(parent.get(), L""), std::runtime_error);
  EXPECT_EQ(calls, 1);
}

// --- Hot key

bool OtherWindowCanRegister(HWND other, UINT mods, UINT vk) {
  if (!RegisterHotKey(other, 0x99, mods, vk)) return false;
  UnregisterHotKey(other, 0x99);
  return true;
}

TEST_F(MsgHook, HotKeyIsHeldByTheFirstHookedWindowUntilReleased) {
  EXPECT_THROW(tmsg->sethotkey('K', MOD_CONTROL, 5), std::out_of_range);

  TestWindow first, second, other;
  tmsg->setmsghook(first.get(), true);
  tmsg->setmsghook(second.get(), true);
  const UINT mods = MOD_CONTROL | MOD_ALT;
  ASSERT_TRUE(tmsg->sethotkey(VK_F9, mods, 5));
  EXPECT_FALSE(OtherWindowCanRegister(other.get(), mods, VK_F9));
  // One key per id: the same id is refused while held, another id holds a second key.
  EXPECT_FALSE(tmsg->sethotkey(VK_F7, mods, 5));
  EXPECT_TRUE(OtherWindowCanRegister(other.get(), mods, VK_F7));
  ASSERT_TRUE(tmsg->sethotkey(VK_F8, mods, 6));
  EXPECT_FALSE(OtherWindowCanRegister(other.get(), mods, VK_F8));

  // Releasing gives back every key held.
  EXPECT_TRUE(tmsg->sethotkey(0, 0, 0));
  EXPECT_TRUE(OtherWindowCanRegister(other.get(), mods, VK_F9));
  EXPECT_TRUE(OtherWindowCanRegister(other.get(), mods, VK_F8));

  // Id 0 is a real id: it is released like any other.
  ASSERT_TRUE(tmsg->sethotkey(VK_F9, mods, 0));
  EXPECT_FALSE(OtherWindowCanRegister(other.get(), mods, VK_F9));
  EXPECT_TRUE(tmsg->sethotkey(0, 0, 0));
  EXPECT_TRUE(OtherWindowCanRegister(other.get(), mods, VK_F9));

  // A key the system refuses is not recorded as held.
  ASSERT_TRUE(RegisterHotKey(other.get(), 1, mods, VK_F10));
  EXPECT_FALSE(tmsg->sethotkey(VK_F10, mods, 2));
  EXPECT_TRUE(tmsg->sethotkey(VK_F11, mods, 3));
  UnregisterHotKey(other.get(), 1);
  // The instance gives its key back when it goes.
  tmsg->setmsghook(nullptr, false);
  tmsg.reset();
  EXPECT_TRUE(OtherWindowCanRegister(other.get(), mods, VK_F11));
}

void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> in;
  for (WORD k : keys) {
    INPUT i = {};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = k;
    in.push_back(i);
  }
  for (auto it = keys.end(); it != keys.begin();) {
    INPUT i = {};
    i.type = INPUT_KEYBOARD;
    i.ki.wVk = *--it;
    i.ki.dwFlags = KEYEVENTF_KEYUP;
    in.push_back(i);
  }
  SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
}

TEST_F(MsgHook, PressedHotKeyArrivesAsAnEventOfTheFirstWindow) {
  TestWindow w, second;
  tmsg->setmsghook(w.get(), true);
  tmsg->setmsghook(second.get(), true);
  ASSERT_TRUE(tmsg->sethotkey(VK_F7, MOD_CONTROL | MOD_ALT, 12));
  PressKeys({VK_CONTROL, VK_MENU, VK_F7});
  ASSERT_TRUE(PumpUntil([&] { return !EventsOf(WM_HOTKEY).empty(); }));
  const Event e = EventsOf(WM_HOTKEY)[0];
  EXPECT_EQ(e.hwnd, w.get());
  EXPECT_EQ(e.arg1, 12);
  EXPECT_EQ(e.arg2, MOD_CONTROL | MOD_ALT);
  EXPECT_EQ(e.arg3, VK_F7);
  tmsg->sethotkey(0, 0, 0);
}

// --- Clipboard viewer chain

int DrawsSeen(const TestWindow& w) { return w.log.Count(WM_DRAWCLIPBOARD); }

class ViewerChain : public MsgHook {
 protected:
  void SetUp() override {
    MsgHook::SetUp();
    ASSERT_EQ(GetClipboardViewer(), nullptr) << "a viewer was left over";
  }
  void TearDown() override {
    MsgHook::TearDown();
    EXPECT_EQ(mod::viewerwnd(), nullptr);
  }
  bool ChangeClipboard() { return PutTextOnClipboard(owner.get(), L"orvik"); }
  // Changes the clipboard and waits until `viewer` heard of it.
  bool ChangeClipboardAndWaitFor(const TestWindow& viewer) {
    const int before = DrawsSeen(viewer);
    return ChangeClipboard() && PumpUntil([&] { return DrawsSeen(viewer) > before; });
  }
  size_t Draws() const { return EventsOf(WM_DRAWCLIPBOARD).size(); }

  TestWindow owner;
};

TEST_F(ViewerChain, OnlyTheFirstHookedWindowBecomesTheViewer) {
  TestWindow a, b;
  tmsg->setmsghook(a.get(), true);
  tmsg->setmsghook(b.get(), true);
  EXPECT_EQ(GetClipboardViewer(), a.get());
  EXPECT_EQ(mod::viewerwnd(), a.get());
  EXPECT_EQ(mod::nextviewer(), nullptr);

  // Unhooking another window leaves the registration alone.
  tmsg->setmsghook(b.get(), false);
  EXPECT_EQ(GetClipboardViewer(), a.get());
  ASSERT_TRUE(ChangeClipboardAndWaitFor(a));
  ASSERT_EQ(Draws(), 1u);
  EXPECT_EQ(EventsOf(WM_DRAWCLIPBOARD)[0].hwnd, a.get());

  tmsg->setmsghook(a.get(), false);
  EXPECT_EQ(GetClipboardViewer(), nullptr);
  EXPECT_EQ(mod::viewerwnd(), nullptr);
  // A later hook registers anew.
  tmsg->setmsghook(b.get(), true);
  EXPECT_EQ(GetClipboardViewer(), b.get());
}

TEST_F(ViewerChain, AViewerRegisteredBeforeOursKeepsHearingOfChanges) {
  TestWindow earlier, w;
  earlier.JoinViewerChain();
  tmsg->setmsghook(w.get(), true);
  EXPECT_EQ(mod::nextviewer(), earlier.get());
  const int ownBefore = DrawsSeen(w);  // registering already told the window's own procedure

  ASSERT_TRUE(ChangeClipboardAndWaitFor(earlier));
  EXPECT_EQ(Draws(), 1u);
  EXPECT_EQ(DrawsSeen(w), ownBefore + 1);  // not consumed: the window saw it too

  tmsg->setmsghook(w.get(), false);
  EXPECT_EQ(GetClipboardViewer(), earlier.get());
  ASSERT_TRUE(ChangeClipboardAndWaitFor(earlier));
  EXPECT_EQ(Draws(), 1u);
}

TEST_F(ViewerChain, AViewerRegisteredAfterOursKeepsHearingAfterWeLeave) {
  TestWindow w, later;
  tmsg->setmsghook(w.get(), true);
  later.JoinViewerChain();
  EXPECT_EQ(later.log.next, w.get());
  ASSERT_TRUE(ChangeClipboardAndWaitFor(later));
  EXPECT_EQ(Draws(), 1u);

  tmsg->setmsghook(w.get(), false);
  EXPECT_EQ(later.log.next, nullptr);  // told through WM_CHANGECBCHAIN
  ASSERT_TRUE(ChangeClipboardAndWaitFor(later));
  EXPECT_EQ(Draws(), 1u);
}

TEST_F(ViewerChain, ChainChangesAreFollowedOrPassedOn) {
  TestWindow first, second, w;
  first.JoinViewerChain();
  second.JoinViewerChain();         // chain: second -> first
  tmsg->setmsghook(w.get(), true);  // chain: w -> second -> first
  ASSERT_EQ(mod::nextviewer(), second.get());

  // Removing a viewer further down is passed on to the one that links to it.
  first.LeaveViewerChain();
  EXPECT_EQ(second.log.next, nullptr);
  EXPECT_EQ(mod::nextviewer(), second.get());
  // Removing our next viewer relinks us to what followed it.
  second.LeaveViewerChain();
  EXPECT_EQ(mod::nextviewer(), nullptr);
  EXPECT_EQ(w.log.Count(WM_CHANGECBCHAIN), 0);

  const int before = DrawsSeen(second);
  ASSERT_TRUE(ChangeClipboardAndWaitFor(w));
  PumpFor(100);
  EXPECT_EQ(DrawsSeen(second), before);
}

TEST_F(ViewerChain, ADestroyedViewerWindowLeavesTheChain) {
  TestWindow earlier;
  earlier.JoinViewerChain();
  {
    TestWindow w;
    tmsg->setmsghook(w.get(), true);
    ASSERT_EQ(GetClipboardViewer(), w.get());
  }
  EXPECT_EQ(GetClipboardViewer(), earlier.get());
  EXPECT_EQ(mod::viewerwnd(), nullptr);
  EXPECT_TRUE(ChangeClipboardAndWaitFor(earlier));
}

}  // namespace
