#pragma once
// The frame window: the program's main window. It owns the recording (a session it drives
// from the menu's commands and its two capture timers), the frame surface `Picture1`, the
// message hook `tmsg`, and the skin that stands in for the system caption: caption band, icon,
// title, title buttons, borders and grip bar, with the control panel embedded in the toolbar
// band.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "controls/button.h"
#include "frame/area_border.h"
#include "frame/countdown_window.h"
#include "frame/frame_layout.h"
#include "frame/recorder_face.h"
#include "hook/msghook.h"
#include "recorder/file/left_over_mp4.h"
#include "recorder/session/recording_session.h"
#include "toolkit/form.h"
#include "toolkit/label.h"
#include "toolkit/picturebox.h"
#include "toolkit/timer.h"

namespace orvik {

class Form1 : public tk::Form {
 public:
  Form1();
  ~Form1() override;

  // Recording control, called by the control panel's menu.
  void start_click();
  void stop_click();
  // The panel's pause entry: the capture timers rest and the recording's clock stops.
  void PauseRecording();
  void ResumeRecording();
  bool Recording() const { return Timer1.Interval() + Timer2.Interval() != 0; }
  // The countdown before the first frame runs: the file is open, no frame is taken yet.
  bool CountingDown() const { return countdown_.Running(); }
  const CountdownWindow& Countdown() const { return countdown_; }
  std::wstring TempBitmapPath() const { return temppath + L"tem.bmp"; }
  const RecordingSession& Session() const { return session_; }
  // The border around a recorded area; not loaded when none is shown.
  const AreaBorder& RecordedAreaBorder() const { return areaBorder_; }

  // True once the load (fade-in included) has finished; commands wait for it.
  bool LoadFinished() const { return loadFinished_; }
  // Runs `command` now, or when the load has finished if it is still running.
  void WhenLoaded(std::function<void()> command);

  // The title shown in the caption band.
  void SetTitle(const std::wstring& title);
  // The face shows what a start will record now (unless it shows the last recording, which
  // stays until the next start).
  void ShowWhatAStartWillDo();
  const RecorderFace& Face() const { return face_; }

  // Caption band: move, top sizing, maximize toggle, window menu.
  void backcaption_MouseMove(int button, int shift, float x, float y);
  void backcaption_MouseDown(int button, int shift, float x, float y);
  void backcaption_MouseUp(int button, int shift, float x, float y);
  void backcaption_DblClick();
  // Caption icon: top-left sizing, a click that waits for a double click.
  void leftcaption_MouseMove(int button, int shift, float x, float y);
  void leftcaption_MouseDown(int button, int shift, float x, float y);
  void leftcaption_MouseUp(int button, int shift, float x, float y);
  void leftcaption_DblClick();

  // The message hook's event: size limits, menu commands, the panel's close command, the
  // hot keys.
  void tmsg_msgevent(HWND hwnd, UINT msg, int32_t arg1, int32_t arg2, int32_t arg3);

  // Hot keys that reach the program from anywhere, held through tmsg while it runs: the same
  // as choosing 停止 and 暂停/继续 in the panel's menu.
  static constexpr UINT kHotKeyModifiers = MOD_CONTROL | MOD_SHIFT;
  static constexpr UINT kStopKey = VK_F9;
  static constexpr UINT kPauseKey = VK_F8;
  static constexpr int32_t kStopHotKeyId = 1;
  static constexpr int32_t kPauseHotKeyId = 2;
  // Posted by the thread that repairs what earlier runs left: news to show or tell.
  static constexpr UINT kRepairsChangedMessage = WM_APP + 0x52;

  // Recording state; the capture rectangle is written by the area overlay and the panel.
  int32_t aviwidth = 0;
  int32_t aviheight = 0;
  int32_t x0 = 0;
  int32_t y0 = 0;
  // The window the area follows, picked with a click on the overlay (another program's: not
  // owned; null: the area stays put), and where the area lay in it then.
  HWND followedWindow = nullptr;
  FollowedFrame followedFrame;
  HMENU sysmenu = nullptr;
  int16_t icondblclicked = 0;
  std::wstring temppath;  // ends in a path separator
  std::wstring avipath;   // the recording's file, MP4 or AVI (the name is older than MP4)
  std::shared_ptr<msghook> tmsg;

  tk::Timer Timer1;  // full-screen capture
  tk::Timer Timer2;  // area capture

  tk::PictureBox backcaption;
  tk::PictureBox leftcaption;
  tk::Label Label1;
  tk::PictureBox rightcaption;
  Button Button1;  // minimize
  Button Button2;  // maximize
  Button Button3;  // close
  Button Button4;  // restore, under Button2
  tk::PictureBox toolbarback;
  tk::PictureBox leftborder;
  tk::PictureBox rightborder;
  tk::PictureBox bottomborder;
  tk::PictureBox Picture1;

 protected:
  void Form_Load() override;
  void Form_Unload(int& cancel) override;
  void Form_Resize() override;
  void Form_MouseDown(int button, int shift, float x, float y) override;
  void Form_MouseUp(int button, int shift, float x, float y) override;
  std::optional<LRESULT> Form_Message(UINT msg, WPARAM wParam, LPARAM lParam) override;

 private:
  // Start-up and layout.
  struct PiecePlace;
  static const PiecePlace kPiecePlaces[];
  void CreatePieces();
  void LoadSkin();
  void MoveToNewScaling(int dpi, const RECT& suggested);
  void StripCaption();
  void HookWindows();
  void PaintToolbarGradient();
  void FadeInWindow(HWND window);
  void FinishLoad();
  void LayOutPieces();
  void SetFrameRegion();
  void CopyGrip();
  // Dragging.
  void WireDragHandlers();
  void Label1_MouseMove(int button, int shift, float x, float y);
  void Label1_MouseDown(int button, int shift, float x, float y);
  void Label1_MouseUp(int button, int shift, float x, float y);
  void rightcaption_MouseMove(int button, int shift, float x, float y);
  void rightcaption_MouseDown(int button, int shift, float x, float y);
  void leftborder_MouseMove(int button, int shift, float x, float y);
  void leftborder_MouseDown(int button, int shift, float x, float y);
  void rightborder_MouseMove(int button, int shift, float x, float y);
  void rightborder_MouseDown(int button, int shift, float x, float y);
  void bottomborder_MouseMove(int button, int shift, float x, float y);
  void bottomborder_MouseDown(int button, int shift, float x, float y);
  void PanelToFront();
  void SendDrag(SysDrag command);
  void ShowWindowMenuAt(int x, int y, UINT flags);
  bool Maximized() const { return WindowState() == tk::kStateMaximized; }
  // Title buttons.
  void CreateTitleButtons();
  void ReloadTitleButtons();
  void ShowStateButtons();
  void Button1_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y);
  void Button2_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y);
  void Button3_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y);
  void Button4_MouseUp(int16_t& Button, int16_t& Shift, float& X, float& Y);
  // Message handling.
  void OnPanelMessage(UINT msg, int32_t arg1);
  void OnFrameMessage(UINT msg, int32_t arg1);
  void SetSizeLimits();
  void UnhookWindows();
  void RegisterHotKeys();
  void OnHotKey(int32_t id);
  // Capture ticks.
  void Timer1_Timer();
  void Timer2_Timer();
  void CaptureTick(bool fullScreen);
  void TellWhyTheRecordingEnded(EngineError error);
  void FinishRecordingAsTheSessionEnds();
  void TellWhatSoundIsMissing(const sound::SoundRecorder::Wanted& wanted);
  void ShowLastRecording(EngineError error);
  void NoteTheFileIsFinished(EngineError error);
  // What earlier runs left unfinished, finished beside the window.
  void RepairWhatTheLastRunLeft();
  void ShowRepairs();
  void TellWhatBecameOf(const LeftOverRepairs::Finished& finished);
  bool BeingRepaired(const std::wstring& path) const;
  // Start helpers.
  bool AskForOutputFile(std::wstring* path, FileFormat* format);
  StartOutcome StartSession(const RecordingSession::Setup& setup);
  bool ConfirmReplace(const std::wstring& path);
  void PrepareFrameSurface();
  bool ReportStart(StartOutcome outcome);
  void SetRecordingMenus();
  void SetIdleMenus();
  void StartRecording();
  bool AbandonStartIfClosing();
  void BeginRecording(const RecordingSession::Setup& setup);
  // The countdown between the dialogs and the first frame.
  void CountDownThenBegin(const RecordingSession::Setup& setup, int seconds);
  void BeginAfterCountdown();
  void CancelCountdown();
  void SetCountdownMenus();
  bool FollowsAWindow();

  RecordingSession session_;
  LeftOverRepairs repairs_;
  bool tellingRepairs_ = false;  // a message about a repair is up
  RecorderFace face_;
  AreaBorder areaBorder_;
  CountdownWindow countdown_;
  RecordingSession::Setup countdownSetup_;  // of the session the countdown begins
  int stateBeforeCountdown_ = tk::kStateNormal;
  // Load runs pending messages while it fades in; what arrives then waits for the end.
  bool loadFinished_ = false;
  bool closePending_ = false;
  bool starting_ = false;  // inside start_click, whose dialogs run their own message loops
  std::vector<std::function<void()>> deferred_;
};

}  // namespace orvik
