#include "e2e/app_fixture.h"

#include <optional>

#include "settings/remembered_choices.h"

namespace testsupport {

std::wstring TestProgram(const std::wstring& name) {
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring s(path);
  return s.substr(0, s.find_last_of(L"\\/") + 1) + name;
}

tk::UniqueWindow MakeCanvas(const wchar_t* className, WNDPROC proc, int x, int y, int w, int h) {
  static tk::UniqueBrush brush(CreateSolidBrush(kCanvasColor));
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = brush.get();
  wc.lpszClassName = className;
  RegisterClassW(&wc);
  tk::UniqueWindow canvas(CreateWindowExW(WS_EX_TOOLWINDOW, className, L"", WS_POPUP | WS_VISIBLE,
                                          x, y, w, h, nullptr, nullptr, wc.hInstance, nullptr));
  UpdateWindow(canvas.get());
  return canvas;
}

void ExpectFramesInTheirSlots(const RegionFrames& frames, uint32_t startMs, int framesPerSecond) {
  const double slotMs = 1000.0 / framesPerSecond;
  constexpr double kRoundingMs = 2;  // both clocks are read in whole milliseconds
  size_t readable = 0, inTheirSlot = 0;
  std::optional<uint32_t> last;
  for (size_t k = 0; k < frames.frames.size(); ++k) {
    const auto time =
        ReadTimeBlocks(frames.frames[k], frames.width, frames.height, kMargin, kMargin);
    if (!time) continue;
    ++readable;
    const double slotStart = static_cast<double>(startMs) + frames.pts[k] * slotMs;
    const double offset = static_cast<int32_t>(*time - static_cast<uint32_t>(slotStart));
    EXPECT_LE(offset, slotMs + kRoundingMs)
        << "frame " << k << " pts " << frames.pts[k] << " shows a time after its slot";
    if (offset >= -slotMs) ++inTheirSlot;
    if (last) {
      EXPECT_GE(static_cast<int32_t>(*time - *last), 0) << "frame " << k << " goes back";
    }
    last = time;
  }
  EXPECT_GE(readable * 10, frames.frames.size() * 9) << "too many frames without a readable time";
  EXPECT_GE(inTheirSlot * 2, readable) << "most frames show a time long before their slot";
}

void AppTest::SetUp() {
  dir_ = MakeTempDir(L"app");
  // Every test is a first run: what another test chose is not remembered.
  ASSERT_TRUE(orvik::ProgramSettings().Clear());
  orvik::RememberFileFormat(orvik::FileFormat::Avi);
  BeforeProgramStarts();
  if (HasFatalFailure()) return;
  StartPattern();
  ASSERT_TRUE(form1().Create());
  PumpFor(500);
}

void AppTest::TearDown() {
  if (form1().IsLoaded() && (form1().Recording() || form1().CountingDown())) form1().stop_click();
  ClipCursor(nullptr);
  if (pattern_.hProcess) {
    TerminateProcess(pattern_.hProcess, 0);
    WaitForSingleObject(pattern_.hProcess, 5000);
    CloseHandle(pattern_.hProcess);
    CloseHandle(pattern_.hThread);
  }
  // ORVIK_KEEP_TEST_FILES=1 keeps the recordings of a test for a closer look.
  if (!GetEnvironmentVariableW(L"ORVIK_KEEP_TEST_FILES", nullptr, 0)) RemoveTree(dir_);
}

void AppTest::StartPattern() {
  std::wstring cmd = L"\"" + TestProgram(L"pattern_window.exe") + L"\" " +
                     std::to_wstring(kPatternX) + L" " + std::to_wstring(kPatternY);
  STARTUPINFOW si{};
  si.cb = sizeof si;
  ASSERT_TRUE(CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                             &pattern_));
}

void AppTest::RunStart(const std::wstring& path, const std::wstring& codec, bool viaMenu) {
  DialogWatcher save(
      L"保存文件",
      [this, path](HWND h) {
        wchar_t folder[MAX_PATH] = {};
        SendMessageW(h, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
        saveDialogFolder_ = folder;
        ReadFileTypes(h);
        if (saveTypeToChoose_ > 0) ChooseFileType(h, saveTypeToChoose_);
        if (path.empty()) {
          PressButton(h, IDCANCEL);
          return;
        }
        SendMessageW(h, CDM_SETCONTROLTEXT, kFileNameBox, reinterpret_cast<LPARAM>(path.c_str()));
        PressButton(h, IDOK);
      },
      30000);
  CodecDialogAnswer answer(codec, 30000);
  if (viaMenu) {
    // The start runs inside the menu's click, once the pumping below delivers it.
    ClickMenu(L"文件(&F)", L"开始");
    PumpUntil([&] { return form1().Recording(); }, 20000);
  } else {
    form2().start_Click();  // what the menu entry runs; returns when start has finished
  }
  // A dialog that never came (cancelled earlier) is not waited for: the watchers stop here.
  codecDialogSeen_ = answer.Seen();
  codecOkMs_ = answer.OkPressedMs();
}

void AppTest::ReadFileTypes(HWND dialog) {
  HWND types = GetDlgItem(dialog, kFileTypeBox);
  saveDialogTypes_.clear();
  const int count = static_cast<int>(SendMessageW(types, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = L"";
    if (SendMessageW(types, CB_GETLBTEXTLEN, i, 0) < 256)
      SendMessageW(types, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    saveDialogTypes_.push_back(text);
  }
  saveDialogOpenedOn_ = static_cast<int>(SendMessageW(types, CB_GETCURSEL, 0, 0)) + 1;
}

// As a pick in the list tells the dialog (Wine's dialog takes the type at CBN_SELENDOK).
void AppTest::ChooseFileType(HWND dialog, int type) {
  HWND types = GetDlgItem(dialog, kFileTypeBox);
  SendMessageW(types, CB_SETCURSEL, type - 1, 0);
  for (WORD note : {CBN_SELENDOK, CBN_SELCHANGE})
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(kFileTypeBox, note),
                 reinterpret_cast<LPARAM>(types));
}

void AppTest::StartViaMenu(const std::wstring& path, const std::wstring& codec) {
  RunStart(path, codec, true);
}

void AppTest::StartViaCommand(const std::wstring& path, const std::wstring& codec) {
  RunStart(path, codec, false);
}

void AppTest::Command(tk::MenuItem* item) {
  PostMessageW(Panel(), WM_COMMAND, MAKEWPARAM(item->Id(), 0), 0);
}

void AppTest::ClickMenu(const std::wstring& top, const std::wstring& item) {
  MenuClick click(Panel(), top, item);
  ASSERT_TRUE(click.PumpUntilDone()) << click.Error();
}

uint32_t AppTest::RecordingStartMs() const {
  return static_cast<uint32_t>(
      static_cast<int64_t>(form1().Session().Clock().StartedAt() * 1000.0));
}

}  // namespace testsupport
