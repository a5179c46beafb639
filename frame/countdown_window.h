#pragma once
// The big digits counted down in the middle of what a recording will take, before its first
// frame. Like the area border it takes neither the focus nor a click; since it never has the
// keyboard, it holds Esc as a hot key for as long as it runs.
#include <windows.h>

#include <functional>
#include <optional>

#include "recorder/capture/capture_area.h"
#include "recorder/session/countdown.h"
#include "toolkit/form.h"
#include "toolkit/handles.h"

namespace orvik {

// A deep teal nothing else on the program's windows uses: a frame holding it holds the digits.
constexpr COLORREF kCountdownColor = RGB(0, 150, 136);
constexpr COLORREF kCountdownDigitColor = RGB(255, 255, 255);
// The disc's diameter and the digits' height, pixels at 100%.
constexpr int kCountdownDiameter = 200;
constexpr int kCountdownDigitHeight = 140;

class CountdownWindow : public tk::Form {
 public:
  CountdownWindow();

  // Counts `seconds` down on a disc centred on `area` (screen pixels), without activating.
  void Run(const CaptureArea& area, int seconds);
  // Stops counting and takes the window away; no event is raised.
  void Remove();
  bool Running() const { return timeline_.has_value(); }
  // The digit on the screen now (0: none).
  int Digit() const { return digit_; }

  // Each digit as it shows (3, 2, 1).
  std::function<void(int secondsLeft)> onDigit;
  // The time ran out: the digits have been off the screen for a moment.
  std::function<void()> onEnd;
  // Esc was pressed, wherever the keyboard was.
  std::function<void()> onEscape;

 protected:
  std::optional<LRESULT> Form_Message(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void Advance();
  void Stop();
  void PaintDigit(HDC dc);

  std::optional<CountdownTimeline> timeline_;
  int digit_ = 0;
  bool escapeHeld_ = false;
  tk::UniqueFont font_;
};

}  // namespace orvik
