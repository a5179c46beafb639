// Starting, stopping and ending a recording: the frame window's recording operations.
#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "panel/form3.h"
#include "recorder/avidecs.h"
#include "recorder/recording_text.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"
#include "toolkit/units.h"

namespace orvik {

namespace {
constexpr int kFrameRate = 10;
// Long enough for any path the dialog can produce.
constexpr size_t kFileBufferChars = 32768;
}  // namespace

bool Form1::AskForOutputFile(std::wstring* path) {
  static const wchar_t kFilter[] = L"Avi Files (*.avi)\0*.avi\0All Files (*.*)\0*.*\0";
  std::vector<wchar_t> file(kFileBufferChars, L'\0');
  std::vector<wchar_t> title(kFileBufferChars, L'\0');
  const std::wstring folder = tk::AppPath();
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = Handle();
  ofn.hInstance = tk::AppInstance();
  ofn.lpstrFilter = kFilter;
  ofn.nFilterIndex = 0;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrFileTitle = title.data();
  ofn.nMaxFileTitle = static_cast<DWORD>(title.size());
  ofn.lpstrInitialDir = folder.c_str();
  ofn.lpstrTitle = L"保存文件";
  // The user names a new file here, so it must not have to exist; replacing one is asked
  // about once the final name (with ".avi") is known.
  ofn.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST;
  if (!GetSaveFileNameW(&ofn)) return false;
  *path = AviPathFromChoice(file.data());
  return true;
}

bool Form1::ConfirmReplace(const std::wstring& path) {
  if (!tk::FileExists(path)) return true;
  const int answer =
      tk::MsgBox(L"文件已存在，是否替换？\r\n" + path, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2);
  if (answer != IDYES) return false;
  tk::RemoveFile(path);
  return true;
}

// A black frame of the capture size: the writer learns the stream format from it.
bool Form1::WriteFormatTemplate() {
  Picture1.SetWidth(aviwidth * static_cast<double>(kTwipsPerPixel));
  Picture1.SetHeight(aviheight * static_cast<double>(kTwipsPerPixel));
  Picture1.ClearPicture();
  Picture1.SetBackColor(RGB(0, 0, 0));
  return Picture1.SaveLayerAsBmp(TempBitmapPath());
}

void Form1::SetRecordingMenus() {
  Form2& panel = form2();
  panel.start->SetEnabled(false);
  panel.pause->SetEnabled(true);
  panel.done->SetEnabled(true);
  panel.quit->SetEnabled(false);
  panel.recordcursor->SetEnabled(false);
  panel.recordareae->SetEnabled(false);
}

void Form1::SetIdleMenus() {
  Form2& panel = form2();
  panel.start->SetEnabled(true);
  panel.pause->SetEnabled(false);
  panel.done->SetEnabled(false);
  panel.quit->SetEnabled(true);
  panel.recordcursor->SetEnabled(true);
  panel.recordareae->SetEnabled(true);
}

void Form1::start_click() {
  if (Recording() || starting_) return;
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
  if (!AskForOutputFile(&path)) return;
  if (closePending_) return;
  if (!ConfirmReplace(path)) return;
  avipath = path;
  tk::DoEvents();
  if (!WriteFormatTemplate()) {
    tk::MsgBox(L"无法写入临时文件：\r\n" + TempBitmapPath(), MB_OK | MB_ICONERROR);
    return;
  }
  if (!AVIDecs::AviOpenWriter(Handle(), TempBitmapPath(), avipath, kFrameRate)) {
    tk::MsgBox(L"请选择其它编码！", MB_OK);
    return;
  }
  tk::DoEvents();
  if (AbandonStartIfClosing()) return;
  SetRecordingMenus();
  SetWindowState(tk::kStateMinimized);
  Timer1.SetEnabled(true);
  Timer2.SetEnabled(true);
  // Both modes tick as fast as the system allows; a tick only captures when a new
  // 100 ms slot has begun, so every slot gets a fresh frame.
  if (form2().recordareae->Checked())
    Timer2.SetInterval(1);
  else
    Timer1.SetInterval(1);
  hcursor = GetCursor();
  starttime = CInt32(tk::SecondsSinceMidnight());
  clock_.Start(tk::MonotonicSeconds());
}

// The program is closing while start was still asking: no recording begins, and the file the
// writer had just made, which holds no frame, does not stay behind.
bool Form1::AbandonStartIfClosing() {
  if (!closePending_) return false;
  AVIDecs::AviCloseWriter();
  tk::RemoveFile(avipath);
  return true;
}

void Form1::stop_click() {
  Timer1.SetInterval(0);
  Timer2.SetInterval(0);
  PauseRecordingClock();  // the recording's length stays readable until the next start
  AVIDecs::AviCloseWriter();
  if (tk::FileLength(avipath) == 0u) tk::RemoveFile(avipath);
  Picture1.ClearPicture();
  if (form2().IsLoaded()) SetForegroundWindow(form2().Handle());
  framecount = 0;
  SetCaption(L"Orvik");
  SetIdleMenus();
}

void Form1::PauseRecordingClock() { clock_.Pause(tk::MonotonicSeconds()); }
void Form1::ResumeRecordingClock() { clock_.Resume(tk::MonotonicSeconds()); }

namespace {
std::wstring WhyTheRecordingStopped(AVIDecs::CloseReason reason) {
  switch (reason) {
    case AVIDecs::CloseReason::SizeLimit:
      return L"录像文件已达到大小上限，录制已停止。";
    case AVIDecs::CloseReason::DiskFull:
      return L"磁盘空间不足，录制已停止。";
    default:
      return L"无法继续写入录像文件，录制已停止。";
  }
}
}  // namespace

// The writer stopped taking frames (a failed write, a full disk, the size limit): the file
// so far is finished and kept, the recording ends, and the user is told once why.
void Form1::OnWriterClosedItself() {
  const AVIDecs::CloseReason reason = AVIDecs::AviWriterCloseReason();
  stop_click();
  tk::MsgBox(WhyTheRecordingStopped(reason) + L"\r\n已录制的内容保存在：\r\n" + avipath,
             MB_OK | MB_ICONWARNING);
}

void Form1::Form_Unload(int& cancel) {
  // Closing in the middle of the load (the fade-in runs pending messages) or of start (its
  // dialogs do) would pull the window away under them: the close waits for them to end.
  if (!loadFinished_ || starting_) {
    closePending_ = true;
    cancel = 1;
    return;
  }
  if (Recording()) {
    const int32_t t0 = CInt32(tk::SecondsSinceMidnight());
    Timer1.SetEnabled(false);
    Timer2.SetEnabled(false);
    PauseRecordingClock();
    const int answer = tk::MsgBox(L"正在录制，是否停止？", MB_YESNO, L"");
    if (answer != IDYES) {
      starttime = CInt32(static_cast<double>(tk::SecondsSinceMidnight()) + starttime - t0);
      Timer1.SetEnabled(Timer1.Interval() != 0);
      Timer2.SetEnabled(Timer2.Interval() != 0);
      ResumeRecordingClock();  // re-armed timers record again, even after a pause
      cancel = 1;
      return;
    }
    Timer1.SetInterval(0);
    Timer2.SetInterval(0);
    AVIDecs::AviCloseWriter();
  }
  UnhookWindows();
  Hide();
  // The overlay confines the pointer while a rectangle is placed; closing it frees it.
  if (form3().IsLoaded()) form3().Unload();
  form2().Unload();
}

}  // namespace orvik
