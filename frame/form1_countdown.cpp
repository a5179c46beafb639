// The frame window's countdown between the start's dialogs and the first frame: the file is
// open and the session waits; Esc or 停止 gives the start up as if it had not been made.
#include "frame/form1.h"
#include "frame/face_text.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "settings/remembered_choices.h"

namespace orvik {

void Form1::CountDownThenBegin(const RecordingSession::Setup& setup, int seconds) {
  countdownSetup_ = setup;
  stateBeforeCountdown_ = WindowState();
  SetCountdownMenus();
  face_.ShowCountdown(seconds);
  SetCaption(CountdownText(seconds));
  // Out of the way of what is recorded, as it is while recording.
  SetWindowState(tk::kStateMinimized);
  if (form2().recordareae->Checked()) areaBorder_.ShowAround(setup.area);
  countdown_.onDigit = [this](int secondsLeft) {
    face_.ShowCountdown(secondsLeft);
    SetCaption(CountdownText(secondsLeft));
  };
  countdown_.onEnd = [this] { BeginAfterCountdown(); };
  countdown_.onEscape = [this] { CancelCountdown(); };
  countdown_.Run(setup.area, seconds);
}

// Only 停止 stays: it gives the countdown up, as Esc does.
void Form1::SetCountdownMenus() {
  SetRecordingMenus();
  form2().pause->SetEnabled(false);
}

// From here on the file is a recording a kill would leave behind.
void Form1::BeginAfterCountdown() {
  countdown_.Remove();
  session_.Begin();
  RememberUnfinished(session_.Output().Unfinished());
  BeginRecording(countdownSetup_);
}

// No file is left, and the window is as it was before the start.
void Form1::CancelCountdown() {
  countdown_.Remove();
  areaBorder_.Remove();
  session_.Abandon();
  SetCaption(L"Orvik");
  SetIdleMenus();
  face_.ShowBeforeCountdown();
  SetWindowState(stateBeforeCountdown_);
}

}  // namespace orvik
