#include "panel/form2.h"

#include <algorithm>

#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form3.h"
#include "settings/remembered_choices.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"
#include "toolkit/screen.h"
#include "toolkit/units.h"

namespace orvik {

const wchar_t kProductPage[] = L"https://orvik.example/";

Form2::Form2() : tk::Form(tk::FormOptions::Sizable(L"Orvik", 4620, 3105)) { BuildMenu(); }

void Form2::BuildMenu() {
  file = &menu_.Add(L"文件(&F)");
  start = &file->Add(L"开始", [this] { start_Click(); });
  pause = &file->Add(L"暂停", [this] { pause_Click(); });
  done = &file->Add(L"停止", [this] { done_Click(); });
  quit = &file->Add(L"退出", [this] { quit_Click(); });
  setting = &menu_.Add(L"设置(&O)");
  recordcursor = &setting->Add(L"录制光标", [this] { recordcursor_Click(); });
  showclicks = &setting->Add(L"显示点击", [this] { showclicks_Click(); });
  showkeys = &setting->Add(L"显示按键", [this] { showkeys_Click(); });
  recordareae = &setting->Add(L"录制区域", [this] { recordareae_Click(); });
  framerate = &setting->Add(L"帧率");
  for (size_t i = 0; i < rates.size(); ++i) {
    const int rate = kFrameRateChoices[i];
    rates[i] = &framerate->Add(std::to_wstring(rate), [this, rate] { framerate_Click(rate); });
  }
  CheckFrameRate(kDefaultFrameRate);
  sound = &setting->Add(L"声音");
  for (size_t i = 0; i < sounds.size(); ++i) {
    const SoundChoice choice = kSoundChoices[i];
    sounds[i] = &sound->Add(SoundCaption(choice), [this, choice] { sound_Click(choice); });
  }
  CheckSound(SoundChoice::None);
  countdown = &setting->Add(L"倒计时");
  for (size_t i = 0; i < countdowns.size(); ++i) {
    const int seconds = kCountdownChoices[i];
    countdowns[i] =
        &countdown->Add(CountdownCaption(seconds), [this, seconds] { countdown_Click(seconds); });
  }
  CheckCountdown(0);
  访问官方网站 = &setting->Add(L"访问官网", [this] { 访问官方网站_Click(); });
  recordcursor->SetChecked(true);
  recordareae->SetChecked(true);  // load turns it off: the program starts in full-screen mode
  SetMenuBar(&menu_);
}

void Form2::Form_Load() {
  Form1& frame = form1();
  const double nc1 = frame.Height() - frame.ScaleHeight();
  const double nc2 = Height() - ScaleHeight();
  // Only the menu bar's rows stay visible; the system owns the region once it is set.
  const int border = FrameBorderPixels();
  HRGN strip = CreateRectRgn(border, TwipsToPixels(nc1) - border, MenuBandRight(),
                             TwipsToPixels(nc2) - border);
  if (strip && !SetWindowRgn(Handle(), strip, TRUE)) DeleteObject(strip);
  SetParent(Handle(), frame.Handle());
  Move(60, frame.toolbarback.Top() + 60 - nc1 + 60);
  done->SetEnabled(false);
  pause->SetEnabled(false);
  recordareae->SetChecked(false);
  CheckFrameRate(RememberedFrameRate());
  CheckSound(RememberedSoundChoice());
  showclicks->SetChecked(RememberedShowClicks());
  CheckCountdown(RememberedCountdown());
  showkeys->SetChecked(RememberedShowKeys());
}

// The sizing frame's thickness: 4 pixels at 100%, as the system draws it at this DPI.
int Form2::FrameBorderPixels() const {
  RECT outer{}, client{};
  GetWindowRect(Handle(), &outer);
  GetClientRect(Handle(), &client);
  const int border = ((outer.right - outer.left) - client.right) / 2;
  return border > 0 ? border : ScaledPixels(4);
}

// Where the strip ends: 100 pixels at 100%, and never before the last menu's caption does,
// whose text grows with the DPI.
int Form2::MenuBandRight() const {
  int right = ScaledPixels(100);
  HMENU bar = GetMenu(Handle());
  const int count = bar ? GetMenuItemCount(bar) : 0;
  RECT item{}, outer{};
  if (count > 0 && GetMenuItemRect(Handle(), bar, count - 1, &item) &&
      GetWindowRect(Handle(), &outer)) {
    right = std::max(right, static_cast<int>(item.right - outer.left) + ScaledPixels(2));
  }
  return right;
}

void Form2::Form_Paint() { SetForegroundWindow(Handle()); }

void Form2::Form_KeyDown(int& keyCode, int shift) {
  if (keyCode == VK_SPACE && shift == tk::kAltMask) {
    keyCode = 0;
    form1().leftcaption_MouseUp(tk::kRightButton, 0, 45, 345);
  }
  // Tab leads from the menu to the last recording's commands.
  if (keyCode == VK_TAB && form1().Face().FocusCommands()) keyCode = 0;
}

void Form2::Form_Unload(int& cancel) {
  if (form1().IsLoaded() && form1().Visible()) cancel = 1;
}

void Form2::start_Click() { form1().start_click(); }
void Form2::done_Click() { form1().stop_click(); }
void Form2::quit_Click() { form1().Unload(); }
void Form2::recordcursor_Click() {
  recordcursor->SetChecked(!recordcursor->Checked());
  form1().ShowWhatAStartWillDo();
}

void Form2::showclicks_Click() {
  showclicks->SetChecked(!showclicks->Checked());
  RememberShowClicks(showclicks->Checked());
  form1().ShowWhatAStartWillDo();
}

void Form2::showkeys_Click() {
  showkeys->SetChecked(!showkeys->Checked());
  RememberShowKeys(showkeys->Checked());
  form1().ShowWhatAStartWillDo();
}

void Form2::pause_Click() {
  Form1& frame = form1();
  if (pause->Caption() == L"暂停") {
    frame.PauseRecording();
    pause->SetCaption(L"继续");
    return;
  }
  frame.SetWindowState(tk::kStateMinimized);
  tk::DoEvents();
  frame.ResumeRecording();
  pause->SetCaption(L"暂停");
}

void Form2::framerate_Click(int framesPerSecond) {
  CheckFrameRate(framesPerSecond);
  RememberFrameRate(framesPerSecond);
  form1().ShowWhatAStartWillDo();
}

int Form2::FrameRate() const {
  for (size_t i = 0; i < rates.size(); ++i) {
    if (rates[i]->Checked()) return kFrameRateChoices[i];
  }
  return kDefaultFrameRate;
}

void Form2::CheckFrameRate(int framesPerSecond) {
  for (size_t i = 0; i < rates.size(); ++i) {
    rates[i]->SetChecked(kFrameRateChoices[i] == framesPerSecond);
  }
}

void Form2::sound_Click(SoundChoice choice) {
  CheckSound(choice);
  RememberSoundChoice(choice);
  form1().ShowWhatAStartWillDo();
}

SoundChoice Form2::Sound() const {
  for (size_t i = 0; i < sounds.size(); ++i) {
    if (sounds[i]->Checked()) return kSoundChoices[i];
  }
  return SoundChoice::None;
}

void Form2::CheckSound(SoundChoice choice) {
  for (size_t i = 0; i < sounds.size(); ++i) sounds[i]->SetChecked(kSoundChoices[i] == choice);
}

void Form2::countdown_Click(int seconds) {
  CheckCountdown(seconds);
  RememberCountdown(seconds);
  form1().ShowWhatAStartWillDo();
}

int Form2::Countdown() const {
  for (size_t i = 0; i < countdowns.size(); ++i) {
    if (countdowns[i]->Checked()) return kCountdownChoices[i];
  }
  return 0;
}

void Form2::CheckCountdown(int seconds) {
  for (size_t i = 0; i < countdowns.size(); ++i)
    countdowns[i]->SetChecked(kCountdownChoices[i] == seconds);
}

void Form2::recordareae_Click() {
  tk::DoEvents();  // let the menu close and the screen repaint first
  recordareae->SetChecked(!recordareae->Checked());
  if (recordareae->Checked()) {
    tk::DoEvents();
    form3().ShowOverlay();
    return;
  }
  form1().aviwidth = tk::ScreenWidthPixels();
  form1().aviheight = tk::ScreenHeightPixels();
  form1().followedWindow = nullptr;
  form1().ShowWhatAStartWillDo();
}

void OpenProductPage() {
  tk::RunCommand(std::wstring(L"explorer ") + kProductPage + L"?pm3.0", SW_SHOWNORMAL);
}

void Form2::访问官方网站_Click() { OpenProductPage(); }

}  // namespace orvik
