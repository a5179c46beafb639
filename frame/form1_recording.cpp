// The frame window's recording operations: the commands of the control panel's menu and the
// capture ticks, as thin calls into the recording session; what it reports is shown here.
#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "codec/zmbv_driver.h"
#include "controls/codec_preselection.h"
#include "frame/form1.h"
#include "frame/forms.h"
#include "frame/recording_text.h"
#include "panel/form2.h"
#include "panel/form3.h"
#include "recorder/output/avidecs.h"
#include "settings/remembered_choices.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"
#include "toolkit/units.h"
#include "toolkit/window_frame.h"

namespace orvik {

namespace {
// Long enough for any path the dialog can produce.
constexpr size_t kFileBufferChars = 32768;

std::wstring DecimalSeparator() {
  wchar_t sep[8] = L".";
  GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8);
  return sep;
}

}  // namespace

// The save dialog, opened on the type chosen last; the chosen name goes through the program's
// naming rules, which give the file's format.
bool Form1::AskForOutputFile(std::wstring* path, FileFormat* format) {
  static const wchar_t kFilter[] =
      L"Mp4 Files (*.mp4)\0*.mp4\0Avi Files (*.avi)\0*.avi\0All Files (*.*)\0*.*\0";
  std::vector<wchar_t> file(kFileBufferChars, L'\0');
  std::vector<wchar_t> title(kFileBufferChars, L'\0');
  const std::wstring folder = SaveDialogFolder();
  const FileFormat remembered = RememberedFileFormat();
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Handle();
  ofn.hInstance = tk::AppInstance();
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = static_cast<DWORD>(SaveTypeOf(remembered));
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrFileTitle = title.data();
  ofn.nMaxFileTitle = static_cast<DWORD>(title.size());
  ofn.lpstrInitialDir = folder.c_str();
  ofn.lpstrTitle = L"保存文件";
  // The user names a new file here, so it must not have to exist; replacing one is asked
  // about once the final name (with its extension) is known.
  ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameW(&ofn)) return false;
  const SaveType type = ofn.nFilterIndex >= 1 && ofn.nFilterIndex <= 3
                            ? static_cast<SaveType>(ofn.nFilterIndex)
                            : SaveTypeOf(remembered);
  const SaveName name = SavePathFromChoice(file.data(), type, remembered);
  if (name.problem != SaveNameProblem::None) {
    tk::MsgBox(SaveNameMessage(file.data(), name.problem), MB_OK | MB_ICONWARNING);
    return false;
  }
  // The type chosen is remembered even when the start goes no further; All Files stands for no
  // format, so the one the name got is.
  RememberFileFormat(FormatOfSaveType(type, name.format));
  *path = name.path;
  *format = name.format;
  return true;
}

// Only asks: the file that is there stays until the new recording really begins.
bool Form1::ConfirmReplace(const std::wstring& path) {
  if (!tk::FileExists(path)) return true;
  const int answer =
      tk::MsgBox(L"文件已存在，是否替换？\r\n" + path, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
  return answer == IDYES;
}

// A black frame of the capture size: the writer learns the stream format from it.
void Form1::PrepareFrameSurface() {
  Picture1.SetWidth(aviwidth * TwipsPerPixel());
  Picture1.SetHeight(aviheight * TwipsPerPixel());
  Picture1.ClearPicture();
  Picture1.SetBackColor(RGB(0, 0, 0));
}

void Form1::SetRecordingMenus() {
  Form2& panel = form2();
  panel.start->SetEnabled(false);
  panel.pause->SetEnabled(true);
  panel.pause->SetCaption(L"暂停");  // a stop while paused left it reading "继续"
  panel.done->SetEnabled(true);
  panel.quit->SetEnabled(false);
  panel.recordcursor->SetEnabled(false);
  panel.showclicks->SetEnabled(false);
  panel.showkeys->SetEnabled(false);
  panel.recordareae->SetEnabled(false);
  panel.framerate->SetEnabled(false);
  panel.sound->SetEnabled(false);
  panel.countdown->SetEnabled(false);
}

void Form1::SetIdleMenus() {
  Form2& panel = form2();
  panel.start->SetEnabled(true);
  panel.pause->SetEnabled(false);
  panel.done->SetEnabled(false);
  panel.quit->SetEnabled(true);
  panel.recordcursor->SetEnabled(true);
  panel.showclicks->SetEnabled(true);
  panel.showkeys->SetEnabled(true);
  panel.recordareae->SetEnabled(true);
  panel.framerate->SetEnabled(true);
  panel.sound->SetEnabled(true);
  panel.countdown->SetEnabled(true);
}

void Form1::start_click() {
  if (Recording() || starting_ || CountingDown()) return;
  starting_ = true;
  StartRecording();
  starting_ = false;
  // A close asked for while the dialogs were open waited for them; it happens now.
  if (closePending_) {
    closePending_ = false;
    Unload();
  }
}

void Form1::StartRecording() {
  std::wstring path;
  FileFormat format = FileFormat::Mp4;
  if (!AskForOutputFile(&path, &format)) return;
  if (closePending_) return;
  if (BeingRepaired(path)) {
    tk::MsgBox(L"这个文件正在修复，请稍后再试，或换一个文件名。\r\n" + path,
               MB_OK | MB_ICONWARNING);
    return;
  }
  if (!ConfirmReplace(path)) return;
  avipath = path;
  tk::DoEvents();
  PrepareFrameSurface();
  const bool fullScreen = !form2().recordareae->Checked();
  RecordingSession::Setup setup;
  setup.owner = Handle();
  setup.outputPath = avipath;
  setup.format = format;
  setup.templatePath = TempBitmapPath();
  setup.area = fullScreen ? CaptureArea{0, 0, aviwidth, aviheight}
                          : CaptureArea{x0, y0, aviwidth, aviheight};
  setup.frameRate = form2().FrameRate();
  const SoundChoice sound = form2().Sound();
  setup.sound.system = WantsSystemSound(sound);
  setup.sound.microphone = WantsMicrophone(sound);
  setup.sound.systemDevice = NamedSystemSoundDevice();
  setup.sound.microphoneDevice = NamedMicrophoneDevice();
  setup.showClicks = form2().showclicks->Checked();
  setup.dpi = UiDpi();
  setup.showKeys = form2().showkeys->Checked();
  setup.ownKeys = {{kHotKeyModifiers, kStopKey}, {kHotKeyModifiers, kPauseKey}};
  if (!fullScreen && FollowsAWindow()) {
    setup.followWindow = followedWindow;
    setup.followFrame = followedFrame;
  }
  const int countdown = form2().Countdown();
  setup.beginsLater = countdown > 0;
  const StartOutcome outcome = StartSession(setup);
  if (!ReportStart(outcome)) return;
  if (setup.beginsLater) {
    CountDownThenBegin(setup, countdown);
    return;
  }
  RememberUnfinished(session_.Output().Unfinished());
  tk::DoEvents();
  if (AbandonStartIfClosing()) return;
  BeginRecording(setup);
}

// The first frame is due: the menus, the face and the timers turn to the recording.
void Form1::BeginRecording(const RecordingSession::Setup& setup) {
  const bool fullScreen = !form2().recordareae->Checked();
  RememberSaveFolder(avipath);
  SetRecordingMenus();
  face_.ShowLive(0, 0);
  SetWindowState(tk::kStateMinimized);
  Timer1.SetEnabled(true);
  Timer2.SetEnabled(true);
  // Both modes tick as fast as the system allows; a tick only captures when a new slot has
  // begun, so every slot gets a fresh frame.
  (fullScreen ? Timer1 : Timer2).SetInterval(1);
  // The user sees which part of the screen is recorded; the whole screen needs no marking.
  if (!fullScreen) areaBorder_.ShowAround(setup.area);
  // Said on the system's screen when a logoff or shutdown waits for the file to be finished.
  ShutdownBlockReasonCreate(Handle(), L"正在录制：关闭前先保存录像文件");
  TellWhatSoundIsMissing(setup.sound);
}

// An MP4 starts at once; an AVI asks for its codec, the dialog opening on the codec chosen
// last time (ours the first time).
StartOutcome Form1::StartSession(const RecordingSession::Setup& setup) {
  if (setup.format == FileFormat::Mp4) return session_.Start(setup, Picture1);
  CodecPreselection preselect(CodecDescription(AVIDecs::AviNextCodec()));
  return session_.Start(setup, Picture1);
}

// A sound source the user chose that gives nothing: the recording runs without it, and the
// user is told why (the capture goes on while the message is up).
void Form1::TellWhatSoundIsMissing(const sound::SoundRecorder::Wanted& wanted) {
  const sound::SoundRecorder::Started& started = session_.SoundStarted();
  std::wstring text;
  auto add = [&](sound::Source source, sound::DeviceProblem problem, const std::wstring& name) {
    if (problem == sound::DeviceProblem::None) return;
    if (!text.empty()) text += L"\r\n\r\n";
    text += SoundSourceMessage(source, problem, name);
  };
  add(sound::Source::SystemSound, started.systemProblem, wanted.systemDevice);
  add(sound::Source::Microphone, started.microphoneProblem, wanted.microphoneDevice);
  if (!text.empty()) tk::MsgBox(text, MB_OK | MB_ICONWARNING);
}

// True when the recording began; otherwise tells the user why not.
bool Form1::ReportStart(StartOutcome outcome) {
  switch (outcome) {
    case StartOutcome::Started:
      return true;
    case StartOutcome::TemplateNotSaved:
      tk::MsgBox(L"无法写入临时文件：\r\n" + TempBitmapPath(), MB_OK | MB_ICONERROR);
      return false;
    case StartOutcome::FileNotCreatable: {
      const OutputFileProblem& p = session_.StartFileProblem();
      std::wstring text = OutputFileMessage(avipath, p.error);
      if (p.error == OutputFileError::Other) text += L"\r\n" + tk::ErrorText(p.systemCode);
      tk::MsgBox(text, MB_OK | MB_ICONERROR);
      return false;
    }
    case StartOutcome::CodecNotOpened:
      tk::MsgBox(L"请选择其它编码！", MB_OK);
      return false;
  }
  return false;
}

// The program is closing while start was still asking: no recording begins, and the file the
// writer had just made, which holds no frame, does not stay behind.
bool Form1::AbandonStartIfClosing() {
  if (!closePending_) return false;
  session_.Abandon();
  ForgetUnfinished(session_.Output().Unfinished().id);
  return true;
}

void Form1::stop_click() {
  if (CountingDown()) {
    CancelCountdown();
    return;
  }
  Timer1.SetInterval(0);
  Timer2.SetInterval(0);
  areaBorder_.Remove();
  const EngineError error = session_.Stop();
  NoteTheFileIsFinished(error);
  ShutdownBlockReasonDestroy(Handle());
  Picture1.ClearPicture();
  if (form2().IsLoaded()) SetForegroundWindow(form2().Handle());
  SetCaption(L"Orvik");
  SetIdleMenus();
  ShowLastRecording(error);
  TellWhyTheRecordingEnded(error);
}

// The face keeps the recording until the next start: its picture, length, frames, size and
// path, and why it ended when it ended by itself. A recording that left no file shows what a
// start will do instead.
void Form1::ShowLastRecording(EngineError error) {
  // A file of that name the recording did not replace is not this recording.
  const std::optional<uint64_t> bytes =
      session_.Output().Named() ? tk::FileLength(avipath) : std::nullopt;
  if (!bytes) {
    ShowWhatAStartWillDo();
    return;
  }
  RecordingFacts facts;
  facts.seconds = session_.ElapsedSeconds();
  facts.frames = session_.Output().FramesWritten();
  facts.bytes = *bytes;
  facts.path = avipath;
  if (EndsARecording(error)) facts.endedBecause = WhyTheRecordingStopped(error);
  facts.followedWindowClosed = session_.FollowedWindowClosed();
  face_.ShowRecording(facts, session_.LastPicture());
}

void Form1::ShowWhatAStartWillDo() {
  if (face_.ShowsRecording() || Recording() || CountingDown() || !form2().IsLoaded()) return;
  Form2& panel = form2();
  StartFacts facts;
  facts.fullScreen = !panel.recordareae->Checked();
  facts.x = x0, facts.y = y0, facts.width = aviwidth, facts.height = aviheight;
  if (facts.fullScreen) {
    facts.x = facts.y = 0;
    facts.width = tk::ScreenWidthPixels(), facts.height = tk::ScreenHeightPixels();
  } else if (FollowsAWindow()) {
    facts.followedTitle = tk::WindowTitle(followedWindow);
    facts.followsWindow = true;
  }
  facts.framesPerSecond = panel.FrameRate();
  facts.cursor = panel.recordcursor->Checked();
  facts.clicks = panel.showclicks->Checked();
  facts.keys = panel.showkeys->Checked();
  facts.countdownSeconds = panel.Countdown();
  facts.sound = panel.Sound();
  facts.format = RememberedFileFormat();
  facts.codec = CodecDescription(AVIDecs::AviNextCodec());
  facts.folder = SaveDialogFolder();
  facts.stopKey = panel.done->KeyText();
  facts.pauseKey = panel.pause->KeyText();
  face_.ShowStart(facts);
}

// A recording the writer could not finish, or that it stopped by itself (a failed write, a full
// disk): what was written is kept, and the user is told once why and where it is; and where the
// sound is missing, from when to when and why.
void Form1::TellWhyTheRecordingEnded(EngineError error) {
  std::wstring text;
  if (EndsARecording(error)) {
    text = WhyTheRecordingStopped(error);
    if (session_.Output().Named() && tk::FileExists(avipath))
      text += L"\r\n已录制的内容保存在：\r\n" + avipath;
  }
  if (const std::wstring gaps = SoundGapsMessage(session_.SoundGaps()); !gaps.empty())
    text += (text.empty() ? L"" : L"\r\n\r\n") + gaps;
  if (!text.empty()) tk::MsgBox(text, MB_OK | MB_ICONWARNING);
}

// Logging off or shutting down: the file is finished now, every frame up to here in it, as a
// stop would; the process may not live to its destructor, and nobody is there to be told.
void Form1::FinishRecordingAsTheSessionEnds() {
  if (CountingDown()) CancelCountdown();
  if (!Recording()) return;
  Timer1.SetInterval(0);
  Timer2.SetInterval(0);
  areaBorder_.Remove();
  NoteTheFileIsFinished(session_.Stop());
  ShutdownBlockReasonDestroy(Handle());
}

// A file the writer could not finish (a full disk, a failed write) stays noted for the next
// start, which finishes it if it is still in fragments.
void Form1::NoteTheFileIsFinished(EngineError error) {
  if (!EndsARecording(error) || !session_.Output().Named())
    ForgetUnfinished(session_.Output().Unfinished().id);
}

void Form1::PauseRecording() {
  Timer1.SetEnabled(false);
  Timer2.SetEnabled(false);
  session_.Pause();
  areaBorder_.SetDashed(true);
}

void Form1::ResumeRecording() {
  Timer1.SetEnabled(Timer1.Interval() != 0);
  Timer2.SetEnabled(Timer2.Interval() != 0);
  session_.Resume();
  areaBorder_.SetDashed(false);
}

// Whether the area follows a picked window; one closed since the pick is forgotten.
bool Form1::FollowsAWindow() {
  if (followedWindow && !IsWindow(followedWindow)) followedWindow = nullptr;
  return followedWindow != nullptr;
}

void Form1::Timer1_Timer() { CaptureTick(true); }
void Form1::Timer2_Timer() { CaptureTick(false); }

// The tick lets no pending messages run itself: the loop that dispatched it runs them as soon
// as it returns. A click taken inside a tick could open a menu whose loop then ran inside the
// tick, and the timer drops every tick that comes while its handler is still running: the
// capture stood still for as long as the menu was open.
void Form1::CaptureTick(bool fullScreen) {
  const TickOutcome outcome = session_.Tick(form2().recordcursor->Checked());
  if (outcome == TickOutcome::WriterClosed) {
    stop_click();  // tells the user why
    return;
  }
  if (outcome == TickOutcome::Written && session_.Following())
    areaBorder_.MoveAround(session_.FrameArea());
  // Restored during a recording, the face counts along; minimized, nothing is drawn.
  if (outcome == TickOutcome::Written && !IsIconic(Handle()))
    face_.ShowLive(session_.ElapsedSeconds(), session_.FrameCount());
  if (outcome == TickOutcome::Written && fullScreen) {
    static const std::wstring separator = DecimalSeparator();
    SetCaption(ProgressCaption(session_.FrameCount(), static_cast<float>(session_.ElapsedSeconds()),
                               separator));
  }
  // Until the next slot begins every tick would find its slot taken: the timer rests until
  // about a millisecond before it, which spares the GUI thread hundreds of idle wake-ups.
  const double rest = session_.SecondsToNextSlot();
  if (rest > 0.003)
    (fullScreen ? Timer1 : Timer2).DelayNextTick(static_cast<uint32_t>(rest * 1000) - 1);
}

void Form1::Form_Unload(int& cancel) {
  // Closing in the middle of the load (the fade-in runs pending messages) or of start (its
  // dialogs do) would pull the window away under them: the close waits for them to end.
  if (!loadFinished_ || starting_) {
    closePending_ = true;
    cancel = 1;
    return;
  }
  if (CountingDown()) CancelCountdown();
  if (Recording()) {
    PauseRecording();
    const int answer = tk::MsgBox(L"正在录制，是否停止？", MB_YESNO, L"");
    if (answer != IDYES) {
      // The recording goes on as the pause entry says: a recording the user paused (before
      // or during the question) stays paused.
      if (form2().pause->Caption() == L"暂停") ResumeRecording();
      cancel = 1;
      return;
    }
    Timer1.SetInterval(0);
    Timer2.SetInterval(0);
    areaBorder_.Remove();
    const EngineError error = session_.Stop();
    NoteTheFileIsFinished(error);
    TellWhyTheRecordingEnded(error);
  }
  // A repair cut off before it writes leaves its file as it was, noted for the next start.
  repairs_.Stop(3);
  UnhookWindows();
  zmbv::UnregisterOrvikCodec();
  Hide();
  // The overlay confines the pointer while a rectangle is placed; closing it frees it.
  if (form3().IsLoaded()) form3().Unload();
  form2().Unload();
}

}  // namespace orvik
