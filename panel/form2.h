#pragma once
// The control panel: the window that carries the recording menu. It cuts itself down to a
// strip of its menu bar and lives inside the frame window's toolbar band.
#include <array>
#include <cstdint>
#include <string>

#include "settings/recording_choices.h"
#include "toolkit/form.h"
#include "toolkit/menu.h"

namespace orvik {

// The address of the product's own page; the query marks the version that opened it.
extern const wchar_t kProductPage[];

// Opens the product page through Explorer; where none can show it, nothing happens.
void OpenProductPage();

class Form2 : public tk::Form {
 public:
  Form2();

  // Menu entries (owned by `menu_`).
  tk::MenuItem* file = nullptr;
  tk::MenuItem* start = nullptr;
  tk::MenuItem* pause = nullptr;
  tk::MenuItem* done = nullptr;
  tk::MenuItem* quit = nullptr;
  tk::MenuItem* setting = nullptr;
  tk::MenuItem* recordcursor = nullptr;
  tk::MenuItem* showclicks = nullptr;  // 显示点击: rings where buttons are pressed
  tk::MenuItem* showkeys = nullptr;    // 显示按键: a caption of the shortcuts pressed
  tk::MenuItem* recordareae = nullptr;
  tk::MenuItem* framerate = nullptr;  // 帧率: one entry per rate of kFrameRateChoices
  std::array<tk::MenuItem*, kFrameRateChoices.size()> rates{};
  tk::MenuItem* sound = nullptr;  // 声音: one entry per choice of kSoundChoices
  std::array<tk::MenuItem*, kSoundChoices.size()> sounds{};
  tk::MenuItem* countdown = nullptr;  // 倒计时: one entry per length of kCountdownChoices
  std::array<tk::MenuItem*, kCountdownChoices.size()> countdowns{};
  tk::MenuItem* 访问官方网站 = nullptr;

  void start_Click();
  void pause_Click();
  void done_Click();
  void quit_Click();
  void recordcursor_Click();
  // Turned on or off for the next recordings, and remembered for the next run.
  void showclicks_Click();
  void showkeys_Click();
  void recordareae_Click();
  // The chosen rate is checked, used by the next recording and remembered for the next run.
  void framerate_Click(int framesPerSecond);
  // The rate whose entry is checked.
  int FrameRate() const;
  // Checks the entry of this rate (one the menu offers) and unchecks the others.
  void CheckFrameRate(int framesPerSecond);
  // The chosen sound is checked, recorded by the next recording and remembered for the next run.
  void sound_Click(SoundChoice choice);
  SoundChoice Sound() const;
  void CheckSound(SoundChoice choice);
  // The chosen length is checked, counted down before the next recordings and remembered.
  void countdown_Click(int seconds);
  // The seconds of the checked length (0: none).
  int Countdown() const;
  void CheckCountdown(int seconds);
  void 访问官方网站_Click();

 protected:
  void Form_Load() override;
  void Form_Paint() override;
  void Form_KeyDown(int& keyCode, int shift) override;
  void Form_Unload(int& cancel) override;

 private:
  void BuildMenu();
  int FrameBorderPixels() const;
  int MenuBandRight() const;
  tk::Menu menu_;
};

}  // namespace orvik
