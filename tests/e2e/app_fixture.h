#pragma once
// The real program's windows, run in the test's own process, with the time pattern window
// (another process) on the screen so recorded frames can be checked.
#include <windows.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/form1.h"
#include "frame/forms.h"
#include "panel/form2.h"
#include "panel/form3.h"
#include "support/codec_dialog.h"
#include "support/dialogs.h"
#include "support/time_blocks.h"
#include "support/ui_driver.h"
#include "support/unix_tools.h"
#include "toolkit/handles.h"

namespace testsupport {

constexpr int kPatternX = 100;
constexpr int kPatternY = 100;
constexpr int kFileNameBox = 0x47c;
constexpr int kFileTypeBox = 0x470;

// The full path of a program built next to the test (pattern_window.exe, hotkey_helper.exe).
std::wstring TestProgram(const std::wstring& name);

// Every frame whose pattern time can be read was captured in its own slot of a recording at
// `framesPerSecond` that began at `startMs`: none shows a time after its slot ended, the times
// never go back, and most show a time within a slot of their slot's start (the pattern window
// may be late to repaint on a busy machine now and then, never mostly). At least nine frames
// in ten must be readable.
void ExpectFramesInTheirSlots(const RegionFrames& frames, uint32_t startMs, int framesPerSecond);

// A plain grey window of the test's own at screen pixels (x, y, w, h): the X server gives a press
// to the program only over one of its windows, and click rings are seen against it. `proc`
// sees its messages; `className` names the class it registers with that procedure.
constexpr COLORREF kCanvasColor = RGB(128, 128, 128);
tk::UniqueWindow MakeCanvas(const wchar_t* className, WNDPROC proc, int x, int y, int w, int h);

class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  HWND Panel() { return form2().Handle(); }
  std::wstring Path(const std::wstring& name) const { return dir_ + L"\\" + name; }

  // Chooses 文件 > 开始 with real clicks and answers the save dialog with `path` (empty:
  // Cancel) and the codec dialog with `codec` (empty: Cancel). Returns once the start
  // operation has finished (recording or not).
  void StartViaMenu(const std::wstring& path, const std::wstring& codec = kCodecFullFrames);
  // The same through the entry's handler, without the pointer; returns when start is done.
  void StartViaCommand(const std::wstring& path, const std::wstring& codec = kCodecFullFrames);
  void Command(tk::MenuItem* item);
  void ClickMenu(const std::wstring& top, const std::wstring& item);

  // The pattern's time (performance-counter ms) when the recording started.
  uint32_t RecordingStartMs() const;
  // Runs before the program's windows are made, with the remembered choices cleared and AVI
  // remembered as the file type (the flow with the codec dialog most tests drive); a test of
  // MP4 recordings remembers that instead.
  virtual void BeforeProgramStarts() {}

  std::wstring dir_;
  // The folder the last save dialog showed when it opened, the file types it offered and the
  // one it opened on (counted from 1).
  std::wstring saveDialogFolder_;
  std::vector<std::wstring> saveDialogTypes_;
  int saveDialogOpenedOn_ = 0;
  // The file type the next save dialog chooses before the name is typed (0: the one it opened
  // on), as a user picks one from the list.
  int saveTypeToChoose_ = 0;
  // Whether the last start showed the codec dialog, and when its OK was pressed (NowMs; 0: not).
  bool codecDialogSeen_ = false;
  uint32_t codecOkMs_ = 0;
  PROCESS_INFORMATION pattern_{};

 private:
  void StartPattern();
  void RunStart(const std::wstring& path, const std::wstring& codec, bool viaMenu);
  void ReadFileTypes(HWND dialog);
  void ChooseFileType(HWND dialog, int type);
};

}  // namespace testsupport
