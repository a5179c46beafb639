#pragma once
// The frame window: the program's main window. It owns the recording state, the two capture
// timers, the frame surface `Picture1`, and the skin pieces the control panel sits in.
#include <windows.h>

#include <cstdint>
#include <string>

#include "recorder/recording_clock.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/picturebox.h"
#include "toolkit/timer.h"

namespace orvik {

class Form1 : public tk::Form {
 public:
  Form1();

  // Recording control, called by the control panel's menu.
  void start_click();
  void stop_click();
  // Pause and resume keep the frame slots in step with the time shown (the panel keeps
  // the whole-second bookkeeping of the caption).
  void PauseRecordingClock();
  void ResumeRecordingClock();
  bool Recording() const { return Timer1.Interval() + Timer2.Interval() != 0; }
  std::wstring TempBitmapPath() const { return temppath + L"tem.bmp"; }
  const RecordingClock& Clock() const { return clock_; }

  // Caption-icon right-click handling: opens the window menu next to the icon.
  void leftcaption_MouseUp(int button, int shift, float x, float y);

  // Recording state; the capture rectangle is written by the area overlay and the panel.
  int32_t aviwidth = 0;
  int32_t aviheight = 0;
  int32_t x0 = 0;
  int32_t y0 = 0;
  int32_t starttime = 0;  // whole seconds since midnight, moved forward by pauses
  HMENU sysmenu = nullptr;
  int16_t icondblclicked = 0;
  std::wstring temppath;  // ends in a path separator
  std::wstring avipath;
  int32_t framecount = 0;   // frames written in this recording
  HRGN framergn = nullptr;  // owned by the system once set on the window
  HCURSOR hcursor = nullptr;
  POINT cursorpos{};

  tk::Timer Timer1;  // full-screen capture
  tk::Timer Timer2;  // area capture

  tk::PictureBox backcaption;
  tk::PictureBox leftcaption;
  tk::Label Label1;
  tk::PictureBox rightcaption;
  tk::PictureBox toolbarback;
  tk::PictureBox leftborder;
  tk::PictureBox rightborder;
  tk::PictureBox bottomborder;
  tk::PictureBox Picture1;

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  void Form_Resize() override;
  std::optional<LRESULT> Form_Message(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  void CreatePieces();
  void LayOutPieces();
  // Capture ticks.
  void Timer1_Timer();
  void Timer2_Timer();
  void CaptureTick(bool fullScreen);
  void CaptureScreen(int32_t left, int32_t top);
  void DrawCursor(int32_t left, int32_t top);
  void OnWriterClosedItself();
  // Start helpers.
  bool AskForOutputFile(std::wstring* path);
  bool ConfirmReplace(const std::wstring& path);
  bool WriteFormatTemplate();
  void SetRecordingMenus();
  void SetIdleMenus();

  RecordingClock clock_;
  bool inTick_ = false;
  HCURSOR hotSpotCursor_ = nullptr;  // the cursor whose hot spot is cached below
  POINT hotSpot_{};
};

}  // namespace orvik
