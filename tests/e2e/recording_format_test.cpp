// What a recording is written as, chosen in the save dialog: MP4 (H.264 + AAC) with no codec
// dialog, or AVI with it; the file itself on the clipboard; and an MP4 a run left in fragments,
// finished at the next start.
#include <windows.h>
// shellapi.h and shlobj.h need windows.h before them.
#include <shellapi.h>
#include <shlobj.h>

#include <cstring>
#include <memory>

#include "e2e/app_fixture.h"
#include "mp4/memory_file.h"
#include "recorder/remembered_choices.h"
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

// The types of a file's top-level boxes, up to the first that does not fit.
std::vector<std::string> TopLevelBoxes(const std::string& file) {
  std::vector<std::string> types;
  uint64_t at = 0;
  auto byte = [&](uint64_t i) { return static_cast<uint64_t>(static_cast<uint8_t>(file[i])); };
  while (at + 8 <= file.size()) {
    uint64_t size = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
    if (size == 1 && at + 16 <= file.size()) {
      size = 0;
      for (int i = 0; i < 8; ++i) size = size << 8 | byte(at + 8 + i);
    }
    if (size < 8 || size > file.size() - at) break;
    types.push_back(file.substr(at + 4, 4));
    at += size;
  }
  return types;
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
  EXPECT_EQ(Stored(L"RecordingInProgress"), mp4);
  RecordFor(1.5);
  form1().stop_click();
  EXPECT_EQ(Stored(L"RecordingInProgress"), L"");  // finished: nothing for the next start
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

namespace {

// A run that was killed in the middle of an MP4 recording: two whole fragments of 10 pictures
// on the disk, and a third cut short; the program kept its name.
class LeftOverTest : public AppTest {
 protected:
  void BeforeProgramStarts() override {
    path_ = Path(L"killed.mp4");
    mp4test::MemoryFile file;
    mp4::Writer writer;
    mp4::VideoFormat video;
    video.width = 64, video.height = 48, video.framesPerSecond = 10;
    video.sps = {0x67, 0x42, 0xC0, 0x0A, 0x8C, 0x8D, 0x40};
    video.pps = {0x68, 0xCE, 0x3C, 0x80};
    ASSERT_TRUE(writer.Open(file, video, nullptr));
    const std::vector<uint8_t> picture(300, 0x5A);
    for (uint32_t slot = 0; slot < 20; ++slot) {
      ASSERT_TRUE(writer.WriteVideo(slot, picture.data(), 300, slot % 10 == 0));
      if (slot % 10 == 9) {
        ASSERT_TRUE(writer.Flush());
      }
    }
    const uint64_t whole = file.image.size();
    file.image.resize(whole + 200, 0);  // a fragment the power cut in its header
    file.image[whole + 3] = 0xF0;
    std::memcpy(&file.image[whole + 4], "moof", 4);
    tk::UniqueFile out(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(out.get(), file.image.data(), static_cast<DWORD>(file.image.size()),
                          &written, nullptr));
    out.reset();
    orvik::RememberRecordingInProgress(path_);
    told_ = std::make_unique<DialogWatcher>(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 20000);
  }

  std::wstring path_;
  std::unique_ptr<DialogWatcher> told_;
};

}  // namespace

TEST_F(LeftOverTest, TheNextStartFinishesItAndSaysWhereAndHowLong) {
  ASSERT_TRUE(told_->Wait());
  const std::wstring told = L"上次的录像没有正常结束，已修复：\r\n" + path_ + L"\r\n保留时长 00:02";
  EXPECT_NE(told_->Text().find(told), std::wstring::npos) << Utf8(told_->Text());
  EXPECT_EQ(Stored(L"RecordingInProgress"), L"");
  // A plain MP4 now: the placeholder became the mdat over the fragments, the index at the
  // end, the cut fragment gone.
  EXPECT_EQ(TopLevelBoxes(ReadWholeFile(path_)),
            (std::vector<std::string>{"ftyp", "mdat", "moov"}));
  std::string out;
  RunShell("ffprobe -v error -show_entries format=duration -of csv=p=0 " +
               ShellQuote(UnixPath(path_)) + " 2>/dev/null",
           &out);
  EXPECT_NEAR(std::atof(out.c_str()), 2.0, 0.01) << out;
  // Told once: the next start has nothing left to finish.
  EXPECT_FALSE(orvik::RecordingLeftInProgress());
}

namespace {

// Another program's fragmented MP4 named by a stale RecordingInProgress: ffmpeg's fragments at
// key frames, laid out as ours are (a 16-byte 'free' after its ftyp), with no mark of ours.
class ForeignLeftOverTest : public AppTest {
 protected:
  void BeforeProgramStarts() override {
    path_ = Path(L"theirs.mp4");
    std::string log;
    ASSERT_EQ(RunShell("ffmpeg -v error -nostdin -y -f lavfi -i testsrc2=s=320x240:r=25 -f lavfi "
                       "-i sine=f=440:sample_rate=48000 -t 6.2 -c:v libx264 -preset veryfast "
                       "-g 25 -c:a aac -movflags frag_keyframe+empty_moov+default_base_moof " +
                           ShellQuote(UnixPath(path_)) + " 2>&1",
                       &log),
              0)
        << log;
    bytes_ = ReadWholeFile(path_);
    ASSERT_GT(bytes_.size(), 100000u);
    const size_t ftyp = static_cast<uint8_t>(bytes_[3]);
    const char placeholder[16] = {0, 0, 0, 16, 'f', 'r', 'e', 'e'};
    bytes_.insert(ftyp, placeholder, sizeof placeholder);
    tk::UniqueFile out(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_TRUE(
        WriteFile(out.get(), bytes_.data(), static_cast<DWORD>(bytes_.size()), &written, nullptr));
    out.reset();
    orvik::RememberRecordingInProgress(path_);
    told_ = std::make_unique<DialogWatcher>(
        tk::AppTitle(), [](HWND h) { PressButton(h, IDOK); }, 5000);
  }

  std::wstring path_;
  std::string bytes_;
  std::unique_ptr<DialogWatcher> told_;
};

}  // namespace

TEST_F(ForeignLeftOverTest, TheNextStartLeavesItByteForByteAndSaysNothing) {
  ASSERT_TRUE(PumpUntil([] { return form1().LoadFinished(); }, 20000));
  EXPECT_EQ(Stored(L"RecordingInProgress"), L"");
  EXPECT_TRUE(ReadWholeFile(path_) == bytes_);
  EXPECT_FALSE(told_->Seen()) << Utf8(told_->Text());
}
