// What reaches the frame window while it still fades in: the load runs pending messages 256
// times, and a command chosen then must not run against a half-built window.
#include <gtest/gtest.h>

#include "frame/form1.h"
#include "frame/forms.h"
#include "hook/msghook.h"
#include "panel/form2.h"
#include "support/ui_driver.h"

using namespace testsupport;

namespace {

// Plays the user who acts as soon as the window appears: when the frame is first shown (the
// start of the fade-in), it posts `action`'s message; it also notes whether the load had
// finished when the frame window went away.
struct EarlyUser {
  static inline HHOOK hook = nullptr;
  static inline UINT toPanel = 0;  // a panel menu command, or 0
  static inline bool closeFrame = false;
  static inline bool acted = false;
  static inline bool destroyed = false;
  static inline bool loadedWhenDestroyed = false;

  static LRESULT CALLBACK Watch(int code, WPARAM wParam, LPARAM lParam) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && m->hwnd && m->hwnd == form1().Handle()) {
      if (m->message == WM_SHOWWINDOW && m->wParam && !acted) {
        acted = true;
        if (toPanel) PostMessageW(form2().Handle(), WM_COMMAND, toPanel, 0);
        if (closeFrame) PostMessageW(form1().Handle(), WM_CLOSE, 0, 0);
      }
      if (m->message == WM_DESTROY) {
        destroyed = true;
        loadedWhenDestroyed = form1().LoadFinished();
      }
    }
    return CallNextHookEx(hook, code, wParam, lParam);
  }
  static void Install() {
    hook = SetWindowsHookExW(WH_CALLWNDPROC, Watch, nullptr, GetCurrentThreadId());
  }
  static void Remove() { UnhookWindowsHookEx(hook); }
};

}  // namespace

TEST(FrameLoad, MenuCommandChosenDuringFadeInRunsAfterTheLoad) {
  // The panel's entries exist before its window does; their ids are fixed then.
  EarlyUser::toPanel = form2().recordcursor->Id();
  EarlyUser::Install();
  ASSERT_TRUE(form1().Create());
  EarlyUser::Remove();
  ASSERT_TRUE(EarlyUser::acted);
  EXPECT_TRUE(form2().recordcursor->Checked()) << "ran inside the fade-in";
  PumpFor(300);
  EXPECT_FALSE(form2().recordcursor->Checked()) << "never ran";
  EXPECT_EQ(GetWindowLongW(form1().Handle(), GWL_EXSTYLE) & WS_EX_LAYERED, 0);
}

namespace {
// Starts the program with the early user at work: what they chose during the fade-in ends
// the program, but only once the load has finished.
void StartWithTheEarlyUserAndExpectTheEndAfterLoad() {
  EarlyUser::Install();
  form1().Create();
  PumpFor(300);
  EarlyUser::Remove();
  ASSERT_TRUE(EarlyUser::acted);
  EXPECT_TRUE(EarlyUser::destroyed);
  EXPECT_TRUE(EarlyUser::loadedWhenDestroyed);
  EXPECT_FALSE(form1().IsLoaded());
  EXPECT_FALSE(form2().IsLoaded());
}
}  // namespace

TEST(FrameLoad, QuitChosenDuringFadeInClosesOnceLoaded) {
  EarlyUser::toPanel = form2().quit->Id();
  StartWithTheEarlyUserAndExpectTheEndAfterLoad();
}

TEST(FrameLoad, CloseDuringFadeInWaitsForTheLoadThenUnhooks) {
  EarlyUser::closeFrame = true;
  StartWithTheEarlyUserAndExpectTheEndAfterLoad();
  for (HWND w : orvik::msghookModule::hookedwnds()) EXPECT_EQ(w, nullptr);
}
