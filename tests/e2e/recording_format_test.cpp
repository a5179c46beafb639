// What a recording is written as, chosen in the save dialog: MP4 (H.264 + AAC) with no codec
// dialog, or AVI with it; and the file itself on the clipboard.
#include <windows.h>
// shellapi.h and shlobj.h need windows.h before them.
#include <shellapi.h>
#include <shlobj.h>

#include "e2e/app_fixture.h"
#include "settings/remembered_choices.h"
#include "support/sound_tools.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/screen.h"

using namespace testsupport;

namespace {

void RecordFor(double seconds) {
  PumpUntil([&] { return form1().Session().Clock().Elapsed(tk::MonotonicSeconds()) >= seconds; },
            static_cast<DWORD>(seconds * 1000 + 15000));
}

std::string ProbeStreams(const std::wstring& path) {
  std::string out;
  RunShell(
      "ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + ShellQuote(UnixPath(path)),
      &out);
  return out;
}

// The files CF_HDROP names, and the drop effect offered beside it (0: none).
struct CopiedFiles {
  std::vector<std::wstring> files;
  DWORD effect = 0;
};
CopiedFiles ClipboardFiles() {
  CopiedFiles got;
  if (!OpenClipboard(nullptr)) return got;
  if (auto drop = static_cast<HDROP>(GetClipboardData(CF_HDROP))) {
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      wchar_t name[MAX_PATH * 4] = L"";
      DragQueryFileW(drop, i, name, MAX_PATH * 4);
      got.files.push_back(name);
    }
  }
  if (HANDLE h = GetClipboardData(RegisterClipboardFormatW(CFSTR_PREFERREDDROPEFFECT))) {
    if (const auto* effect = static_cast<const DWORD*>(GlobalLock(h))) {
      got.effect = *effect;
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return got;
}

std::wstring Stored(const wchar_t* value) {
  return orvik::ProgramSettings().ReadText(value).value_or(L"(none)");
}

enum SaveTypes { kMp4Type = 1, kAviType = 2, kAllFilesType = 3 };

// A new user, with the system's sound chosen: the dialog opens on MP4.
class FormatTest : public AppTest {
 protected:
  // A start whose codec dialog is cancelled: the program asks for another codec, and no
  // recording begins.
  void StartCancellingTheCodec(const std::wstring& path) {
    DialogWatcher pleaseChoose(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 30000);
    StartViaCommand(path, L"");
    EXPECT_TRUE(codecDialogSeen_);
    EXPECT_TRUE(pleaseChoose.Seen());
    EXPECT_FALSE(form1().Recording());
  }

  void BeforeProgramStarts() override {
    ASSERT_TRUE(orvik::ProgramSettings().Clear());
    orvik::RememberSoundChoice(orvik::SoundChoice::System);
    orvik::ProgramSettings().WriteText(L"SystemSoundDevice", kSystemSoundDevice);
  }
};

}  // namespace

TEST_F(FormatTest, Mp4StartsWithoutTheCodecDialogAndTheTypeChosenLastIsRemembered) {
  std::string why;
  ASSERT_TRUE(SoundServerUp(&why)) << why;
  const std::wstring mp4 = Path(L"first.mp4");
  StartViaCommand(Path(L"first"));
  EXPECT_EQ(saveDialogTypes_, (std::vector<std::wstring>{L"Mp4 Files (*.mp4)", L"Avi Files (*.avi)",
                                                         L"All Files (*.*)"}));
  EXPECT_EQ(saveDialogOpenedOn_, kMp4Type);
  ASSERT_TRUE(form1().Recording());
  EXPECT_FALSE(codecDialogSeen_);
  EXPECT_EQ(form1().avipath, mp4);
  // Noted for the next start, which finishes the file should this run end here: its name, and
  // the file itself, which keeps its identity as it takes the name.
  RecordFor(1.5);
  const std::vector<orvik::UnfinishedRecording> noted = orvik::UnfinishedRecordings();
  ASSERT_EQ(noted.size(), 1u);
  EXPECT_EQ(noted[0].path, mp4);
  EXPECT_EQ(noted[0].id, form1().Session().Output().Unfinished().id);
  const auto file = tk::File::Open(mp4, tk::FileMode::Read).Identify();
  ASSERT_TRUE(file);
  EXPECT_EQ(noted[0].file, (orvik::FileIdentity{file->volume, file->index}));
  form1().stop_click();
  EXPECT_TRUE(orvik::UnfinishedRecordings().empty());  // finished: nothing for the next start
  EXPECT_EQ(ProbeStreams(mp4), "h264\naac\n");
  EXPECT_EQ(Stored(L"Format"), L"mp4");

  // 复制文件: the file itself, to be pasted as a copy.
  HWND copyFile = form1().Face().CommandButton(orvik::RecorderFace::kCopyFile);
  ASSERT_TRUE(IsWindowVisible(copyFile));
  SendMessageW(copyFile, BM_CLICK, 0, 0);
  const CopiedFiles copied = ClipboardFiles();
  EXPECT_EQ(copied.files, std::vector<std::wstring>{mp4});
  EXPECT_EQ(copied.effect, static_cast<DWORD>(DROPEFFECT_COPY));

  // AVI chosen: the codec dialog asks, as it always did; cancelled, nothing is recorded, and
  // the type is remembered all the same.
  saveTypeToChoose_ = kAviType;
  StartCancellingTheCodec(Path(L"second"));
  EXPECT_EQ(Stored(L"Format"), L"avi");

  // The dialog opens on AVI now. A typed ".MP4" wins over it: no codec dialog.
  saveTypeToChoose_ = 0;
  StartViaCommand(Path(L"third.MP4"), L"");
  EXPECT_EQ(saveDialogOpenedOn_, kAviType);
  EXPECT_FALSE(codecDialogSeen_);
  ASSERT_TRUE(form1().Recording());
  EXPECT_EQ(form1().avipath, Path(L"third.MP4"));
  RecordFor(0.5);
  form1().stop_click();
  EXPECT_EQ(ProbeStreams(Path(L"third.MP4")), "h264\naac\n");
  EXPECT_EQ(Stored(L"Format"), L"avi");  // the type chosen, not the one typed

  // All Files with no extension typed: the remembered format's.
  saveTypeToChoose_ = kAllFilesType;
  StartCancellingTheCodec(Path(L"fourth"));
  EXPECT_FALSE(tk::FileExists(Path(L"fourth.mp4")));
  EXPECT_EQ(Stored(L"Format"), L"avi");
}
