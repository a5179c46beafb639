#include "toolkit/menu.h"

#include <gtest/gtest.h>

#include "support/ui_driver.h"
#include "toolkit/form.h"
#include "toolkit/timer.h"
#include "window_testing.h"

using namespace toolkit_testing;

namespace {

// What the HMENU itself says about the item at `pos` of `menu`.
struct Shown {
  std::wstring caption;
  bool grayed = false;
  bool checked = false;
  HMENU submenu = nullptr;
  UINT id = 0;
};

Shown ShownItem(HMENU menu, UINT pos) {
  wchar_t text[128] = {};
  MENUITEMINFOW mii{};
  mii.cbSize = sizeof(mii);
  mii.fMask = MIIM_STATE | MIIM_STRING | MIIM_SUBMENU | MIIM_ID;
  mii.dwTypeData = text;
  mii.cch = 128;
  Shown s;
  if (!GetMenuItemInfoW(menu, pos, TRUE, &mii)) return s;
  s.caption = text;
  s.grayed = (mii.fState & MFS_GRAYED) != 0;
  s.checked = (mii.fState & MFS_CHECKED) != 0;
  s.submenu = mii.hSubMenu;
  s.id = mii.wID;
  return s;
}

// The control panel's menu tree, with a click counter per item.
struct PanelMenu {
  tk::Menu menu;
  int starts = 0, pauses = 0, cursorToggles = 0;
  tk::MenuItem* file;
  tk::MenuItem* start;
  tk::MenuItem* pause;
  tk::MenuItem* setting;
  tk::MenuItem* recordcursor;

  PanelMenu() {
    file = &menu.Add(L"文件(&F)");
    start = &file->Add(L"开始", [this] { ++starts; });
    pause = &file->Add(L"暂停", [this] { ++pauses; });
    file->AddSeparator();
    file->Add(L"退出");
    setting = &menu.Add(L"设置(&O)");
    recordcursor = &setting->Add(L"录制光标", [this] {
      recordcursor->SetChecked(!recordcursor->Checked());
      ++cursorToggles;
    });
    recordcursor->SetChecked(true);
    pause->SetEnabled(false);
  }
};

}  // namespace

TEST(Menu, TreeStatesShowInTheMenuBar) {
  PanelMenu m;
  tk::Form form(tk::FormOptions::Sizable(L"panel", 4620, 3105));
  form.SetMenuBar(&m.menu);
  HWND h = form.hWnd();
  ASSERT_TRUE(h);
  HMENU bar = GetMenu(h);
  ASSERT_EQ(bar, m.menu.Handle());
  EXPECT_EQ(GetMenuItemCount(bar), 2);
  Shown file = ShownItem(bar, 0);
  EXPECT_EQ(file.caption, L"文件(&F)");
  ASSERT_TRUE(file.submenu);
  EXPECT_EQ(GetMenuItemCount(file.submenu), 4);
  EXPECT_EQ(ShownItem(file.submenu, 0).caption, L"开始");
  EXPECT_EQ(ShownItem(file.submenu, 0).id, m.start->Id());
  EXPECT_TRUE(ShownItem(file.submenu, 1).grayed);
  EXPECT_FALSE(m.pause->Enabled());
  HMENU settings = ShownItem(bar, 1).submenu;
  EXPECT_TRUE(ShownItem(settings, 0).checked);

  // Run-time changes go both into the tree and into the HMENU.
  m.pause->SetEnabled(true);
  m.pause->SetCaption(L"继续");
  m.recordcursor->SetChecked(false);
  m.setting->SetEnabled(false);
  EXPECT_TRUE(m.pause->Enabled());
  EXPECT_EQ(m.pause->Caption(), L"继续");
  EXPECT_FALSE(m.recordcursor->Checked());
  EXPECT_FALSE(ShownItem(file.submenu, 1).grayed);
  EXPECT_EQ(ShownItem(file.submenu, 1).caption, L"继续");
  EXPECT_FALSE(ShownItem(settings, 0).checked);
  EXPECT_TRUE(ShownItem(bar, 1).grayed);

  // Items added later appear too.
  tk::MenuItem& visit = m.setting->Add(L"访问官网");
  EXPECT_EQ(GetMenuItemCount(settings), 2);
  EXPECT_EQ(ShownItem(settings, 1).id, visit.Id());
}

TEST(Menu, CommandsReachTheClickHandler) {
  PanelMenu m;
  tk::Form form(tk::FormOptions::Sizable(L"panel", 4620, 3105));
  form.SetMenuBar(&m.menu);
  form.Show();
  SendMessageW(form.hWnd(), WM_COMMAND, MAKEWPARAM(m.start->Id(), 0), 0);
  EXPECT_EQ(m.starts, 1);
  PostMessageW(form.hWnd(), WM_COMMAND, MAKEWPARAM(m.recordcursor->Id(), 0), 0);
  PumpFor(20);
  EXPECT_EQ(m.cursorToggles, 1);
  EXPECT_FALSE(m.recordcursor->Checked());
  EXPECT_FALSE(ShownItem(ShownItem(GetMenu(form.hWnd()), 1).submenu, 0).checked);

  // The way a user picks it: Alt+F opens the file menu, Enter chooses its first entry.
  SetForegroundWindow(form.hWnd());
  PumpFor(50);
  keybd_event(VK_MENU, 0, 0, 0);
  keybd_event('F', 0, 0, 0);
  keybd_event('F', 0, KEYEVENTF_KEYUP, 0);
  keybd_event(VK_MENU, 0, KEYEVENTF_KEYUP, 0);
  keybd_event(VK_RETURN, 0, 0, 0);
  keybd_event(VK_RETURN, 0, KEYEVENTF_KEYUP, 0);
  EXPECT_TRUE(PumpUntil([&] { return m.starts == 2; }, 3000));
}

// A busy timer that lets pending messages run on every tick (as the capture tick does) must
// not take the menu's own mouse input: the click on the item still chooses it.
TEST(Menu, ClickOnAnOpenMenuIsChosenWhileATimerLetsMessagesRun) {
  PanelMenu m;
  tk::Form form(tk::FormOptions::Sizable(L"panel", 4620, 3105));
  form.SetMenuBar(&m.menu);
  form.Show();
  tk::Timer busy;
  int ticks = 0;
  busy.onTimer = [&] {
    ++ticks;
    tk::DoEvents();
  };
  busy.SetInterval(1);
  busy.SetEnabled(true);
  for (int round = 1; round <= 3; ++round) {
    testsupport::MenuClick click(form.hWnd(), L"文件(&F)", L"开始");
    ASSERT_TRUE(click.PumpUntilDone()) << click.Error() << " in round " << round;
    EXPECT_TRUE(PumpUntil([&] { return m.starts == round; }, 2000));
  }
  EXPECT_GT(ticks, 100);
}

TEST(Menu, OwnsItsHandleAcrossFormUnloadsAndLetsGoWhenDestroyed) {
  auto m = std::make_unique<PanelMenu>();
  tk::Form form(tk::FormOptions::Sizable(L"panel", 4620, 3105));
  form.SetMenuBar(&m->menu);
  form.Show();
  HMENU bar = m->menu.Handle();
  m->pause->SetCaption(L"继续");
  ASSERT_TRUE(form.Unload());
  EXPECT_TRUE(IsMenu(bar));  // the window did not take the menu with it

  // Loaded again, the bar comes back with the states the tree kept.
  HWND h = form.hWnd();
  EXPECT_EQ(GetMenu(h), bar);
  EXPECT_EQ(ShownItem(ShownItem(bar, 0).submenu, 1).caption, L"继续");

  const UINT startId = m->start->Id();
  m.reset();
  EXPECT_FALSE(IsMenu(bar));
  EXPECT_EQ(GetMenu(h), nullptr);
  // A stale command id finds nothing rather than a destroyed item.
  EXPECT_FALSE(tk::Menu::DispatchCommand(startId));
  SendMessageW(h, WM_COMMAND, MAKEWPARAM(startId, 0), 0);
}
