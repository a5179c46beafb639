// Recordings an earlier run left unfinished, met by the real program as a user starts it (its
// own process, the prefix's registry): a file held by a player is left as it was and finished at
// the next start; a long file is repaired while the window answers and says how far it is; a
// note that names other programs' files, or a copy, changes none of their bytes.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "mp4/memory_file.h"
#include "mp4/mp4_writer.h"
#include "settings/remembered_choices.h"
#include "support/dialogs.h"
#include "support/ui_driver.h"
#include "support/unix_tools.h"
#include "toolkit/files.h"
#include "toolkit/handles.h"
#include "toolkit/settings.h"

using namespace testsupport;

namespace {

std::wstring ProgramPath() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring exe(self);
  return exe.substr(0, exe.find_last_of(L"\\/")) + L"\\..\\..\\frame\\Orvik.exe";
}

// The windows of one process: its top-level ones, or the children of one.
std::vector<HWND> WindowsOf(DWORD pid, HWND parent = nullptr) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{pid, {}};
  const auto collect = [](HWND h, LPARAM lp) -> BOOL {
    auto* s = reinterpret_cast<Search*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == s->pid && IsWindowVisible(h)) s->found.push_back(h);
    return TRUE;
  };
  if (parent)
    EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&search));
  else
    EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring ClassOf(HWND h) {
  wchar_t name[64] = L"";
  GetClassNameW(h, name, 64);
  return name;
}

std::wstring TextOf(HWND h) {
  wchar_t text[2048] = L"";
  SendMessageTimeoutW(h, WM_GETTEXT, 2048, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 1000,
                      nullptr);
  return text;
}

// Orvik.exe, started as a user starts it, and closed (or ended) when the test is done with it.
class Program {
 public:
  Program() {
    std::wstring cmd = L"\"" + ProgramPath() + L"\"";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    started_ = CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &si, &pi_) != 0;
  }
  ~Program() {
    if (!started_) return;
    if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 9);
    WaitForSingleObject(pi_.hProcess, 5000);
    CloseHandle(pi_.hThread);
    CloseHandle(pi_.hProcess);
  }

  // The main window, once its face shows.
  HWND Frame(DWORD timeoutMs = 20000) {
    HWND found = nullptr;
    PumpUntil(
        [&] {
          for (HWND h : WindowsOf(pi_.dwProcessId))
            if (FaceOf(h)) found = h;
          return found != nullptr;
        },
        timeoutMs);
    return found;
  }
  // The face's lines as shown.
  std::vector<std::wstring> FaceLines() {
    std::vector<std::wstring> lines;
    HWND frame = Frame(0);
    HWND face = frame ? FaceOf(frame) : nullptr;
    if (!face) return lines;
    for (HWND h : WindowsOf(pi_.dwProcessId, face))
      if (ClassOf(h) == L"Static") lines.push_back(TextOf(h));
    return lines;
  }
  // A message box of the program's, and its text.
  HWND MessageBox(DWORD timeoutMs) {
    HWND found = nullptr;
    PumpUntil(
        [&] {
          for (HWND h : WindowsOf(pi_.dwProcessId))
            if (ClassOf(h) == L"#32770") found = h;
          return found != nullptr;
        },
        timeoutMs);
    return found;
  }
  // Whether the window answers a message within `ms`.
  bool Answers(DWORD ms) {
    DWORD_PTR result = 0;
    HWND frame = Frame(0);
    return frame && SendMessageTimeoutW(frame, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, ms, &result) != 0;
  }
  // Closes the program as its close button does; false when it has not ended in `ms`.
  bool Close(DWORD ms) {
    if (HWND frame = Frame(0)) PostMessageW(frame, WM_CLOSE, 0, 0);
    return WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0;
  }
  bool Started() const { return started_; }

 private:
  static HWND FaceOf(HWND frame) {
    return FindWindowExW(frame, nullptr, L"OrvikRecorderFace", nullptr);
  }

  bool started_ = false;
  PROCESS_INFORMATION pi_{};
};

void WriteWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
  tk::File f = tk::File::Open(path, tk::FileMode::Replace);
  ASSERT_TRUE(f.WriteAt(0, bytes.data(), bytes.size()));
}

orvik::FileIdentity IdentityOf(const std::wstring& path) {
  const auto id = tk::File::Open(path, tk::FileMode::Read).Identify();
  return id ? orvik::FileIdentity{id->volume, id->index} : orvik::FileIdentity{};
}

// What a run killed in the middle of recording leaves: our MP4 in `fragments` whole fragments of
// 10 pictures at 10 fps (the last one cut by the kill), and its note.
orvik::UnfinishedRecording LeaveKilledRecording(const std::wstring& path, int fragments) {
  orvik::UnfinishedRecording note;
  note.id = orvik::NewRecordingId();
  note.path = path;
  note.partialPath = path + L".77.partial";
  mp4test::MemoryFile file;
  mp4::Writer writer;
  mp4::VideoFormat video;
  video.width = 64, video.height = 48, video.framesPerSecond = 10;
  video.sps = {0x67, 0x42, 0xC0, 0x0A, 0x8C, 0x8D, 0x40};
  video.pps = {0x68, 0xCE, 0x3C, 0x80};
  mp4::WriterOptions options;
  options.recordingId = note.id;
  EXPECT_TRUE(writer.Open(file, video, nullptr, options));
  const std::vector<uint8_t> picture(300, 0x5A);
  for (uint32_t slot = 0; slot < 10u * fragments; ++slot) {
    EXPECT_TRUE(writer.WriteVideo(slot, picture.data(), 300, slot % 10 == 0));
    if (slot % 10 == 9) {
      EXPECT_TRUE(writer.Flush());
    }
  }
  // The kill came as the next fragment was written: its start is on the disk, unnamed.
  const uint64_t whole = file.image.size();
  file.image.resize(whole + 200, 0);
  file.image[whole + 3] = 0xF0;
  std::memcpy(&file.image[whole + 4], "free", 4);
  WriteWholeFile(path, file.image);
  note.file = IdentityOf(path);
  return note;
}

int Shell(const std::string& command) {
  std::string out;
  const int code = RunShell(command, &out);
  EXPECT_EQ(code, 0) << command << "\n" << out;
  return code;
}

bool NothingNoted() { return tk::Settings(L"Software\\Orvik\\Unfinished").ValueNames().empty(); }

class LeftOver : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(orvik::ProgramSettings().Clear());
    dir_ = MakeTempDir(L"leftover");
  }
  void TearDown() override {
    orvik::ProgramSettings().Clear();
    RemoveTree(dir_);
  }
  std::wstring Path(const std::wstring& name) const { return dir_ + L"\\" + name; }

  std::wstring dir_;
};

}  // namespace

// A player holds the file: the start says so and that the file is as it was, and keeps the
// note; the next start, the player gone, finishes it into a plain MP4 and says where and how
// long.
TEST_F(LeftOver, AFileHeldByAPlayerIsLeftAsItWasAndFinishedAtTheNextStart) {
  const std::wstring path = Path(L"killed.mp4");
  const orvik::UnfinishedRecording note = LeaveKilledRecording(path, 2);
  ASSERT_TRUE(orvik::RememberUnfinished(note));
  const std::string before = ReadWholeFile(path);
  {
    tk::UniqueFile player(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(player);
    Program program;
    ASSERT_TRUE(program.Started());
    ASSERT_TRUE(program.Frame());
    HWND told = program.MessageBox(20000);
    ASSERT_TRUE(told);
    const std::wstring text = DialogText(told);
    EXPECT_NE(text.find(L"暂时无法修复：\r\n" + path), std::wstring::npos) << Utf8(text);
    EXPECT_NE(text.find(L"正被其它程序使用"), std::wstring::npos) << Utf8(text);
    EXPECT_NE(text.find(L"文件保持原样"), std::wstring::npos) << Utf8(text);
    PressButton(told, IDOK);
    EXPECT_TRUE(program.Close(10000));
    EXPECT_EQ(ReadWholeFile(path), before);
    EXPECT_FALSE(NothingNoted());
  }
  Program next;
  ASSERT_TRUE(next.Started());
  HWND told = next.MessageBox(20000);
  ASSERT_TRUE(told);
  const std::wstring text = DialogText(told);
  EXPECT_NE(text.find(L"上次的录像没有正常结束，已修复：\r\n" + path + L"\r\n保留时长 00:02"),
            std::wstring::npos)
      << Utf8(text);
  EXPECT_TRUE(NothingNoted());  // told once: a third start has nothing to finish
  PressButton(told, IDOK);
  EXPECT_TRUE(next.Close(10000));
  std::string out;
  RunShell("ffprobe -v error -show_entries format=duration:stream=nb_frames -of csv=p=0 " +
               ShellQuote(UnixPath(path)) + " 2>/dev/null",
           &out);
  EXPECT_EQ(out, "20\n2.000000\n");
}

// A repair of hours of fragments runs beside the window: the face says which file and how far,
// and the window answers all along. Closed while it reads, the program ends at once and the file
// stays as it was, noted; the next start finishes it.
TEST_F(LeftOver, ALongRepairRunsBesideAWindowThatAnswersAndSaysHowFar) {
  constexpr int kFragments = 20000;  // 5 h 33 min of 10 fps pictures, a fragment a second
  const std::wstring path = Path(L"long.mp4");
  const orvik::UnfinishedRecording note = LeaveKilledRecording(path, kFragments);
  ASSERT_TRUE(orvik::RememberUnfinished(note));
  const std::string before = ReadWholeFile(path);
  const std::wstring notice = L"正在修复上次的录像（";
  const auto noticeShown = [&](Program& p) {
    for (const std::wstring& line : p.FaceLines())
      if (line.rfind(notice, 0) == 0) return line;
    return std::wstring();
  };
  {
    Program program;
    ASSERT_TRUE(program.Frame());
    ASSERT_TRUE(PumpUntil([&] { return !noticeShown(program).empty(); }, 10000));
    EXPECT_NE(noticeShown(program).find(path), std::wstring::npos) << Utf8(noticeShown(program));
    EXPECT_TRUE(program.Close(5000));
  }
  EXPECT_TRUE(ReadWholeFile(path) == before);
  EXPECT_FALSE(NothingNoted());

  Program program;
  ASSERT_TRUE(program.Frame());
  std::vector<std::wstring> seen;
  int asked = 0, answered = 0;
  HWND told = nullptr;
  const DWORD start = GetTickCount();
  while (!(told = program.MessageBox(0)) && GetTickCount() - start < 120000) {
    const std::wstring line = noticeShown(program);
    if (!line.empty() && (seen.empty() || seen.back() != line)) seen.push_back(line);
    ++asked;
    answered += program.Answers(300);
    Sleep(20);
  }
  ASSERT_TRUE(told);
  EXPECT_EQ(answered, asked);
  EXPECT_GE(seen.size(), 2u);  // it moves on
  const std::wstring text = DialogText(told);
  EXPECT_NE(text.find(L"已修复：\r\n" + path + L"\r\n保留时长 333:20"), std::wstring::npos)
      << Utf8(text);
  PressButton(told, IDOK);
  EXPECT_TRUE(PumpUntil([&] { return noticeShown(program).empty(); }, 5000));
  EXPECT_TRUE(NothingNoted());
  printf("[ repair   ] %d fragments: %zu notices, the window answered %d of %d times\n", kFragments,
         seen.size(), answered, asked);
}

// A stale note is ordinary: after a crash the user records to the same name with another
// program, or copies a file over it. Neither an older program's note of a path, nor a note whose
// id the file does not carry, nor one whose file is not the one it made, changes a byte.
TEST_F(LeftOver, NotesNamingOtherProgramsFilesOrACopyChangeNoneOfTheirBytes) {
  const std::wstring plain = Path(L"other.mp4"), bframes = Path(L"bframes.mp4"),
                     copy = Path(L"copy.mp4");
  const std::string input =
      "ffmpeg -v error -y -f lavfi -i testsrc2=size=320x240:rate=30 -f lavfi -i sine=f=440 "
      "-t 6.2 -c:a aac -c:v libx264 -pix_fmt yuv420p ";
  ASSERT_EQ(Shell(input + "-bf 0 -g 30 -movflags frag_keyframe+empty_moov+default_base_moof " +
                  ShellQuote(UnixPath(plain))),
            0);
  ASSERT_EQ(Shell(input + "-bf 2 -g 30 -movflags frag_keyframe+empty_moov " +
                  ShellQuote(UnixPath(bframes))),
            0);
  // Laid out as ours are while recording: a 16-byte 'free' after its ftyp.
  std::string spliced = ReadWholeFile(plain);
  const char placeholder[16] = {0, 0, 0, 16, 'f', 'r', 'e', 'e'};
  spliced.insert(static_cast<uint8_t>(spliced[3]), placeholder, sizeof placeholder);
  WriteWholeFile(plain, std::vector<uint8_t>(spliced.begin(), spliced.end()));
  const orvik::UnfinishedRecording ours = LeaveKilledRecording(Path(L"ours.mp4"), 2);
  ASSERT_TRUE(CopyFileW(ours.path.c_str(), copy.c_str(), FALSE));

  orvik::ProgramSettings().WriteText(L"RecordingInProgress", plain);
  for (const std::wstring& other : {plain, bframes}) {
    orvik::UnfinishedRecording note;
    note.id = orvik::NewRecordingId();
    note.path = other;
    note.file = IdentityOf(other);
    ASSERT_TRUE(orvik::RememberUnfinished(note));
  }
  orvik::UnfinishedRecording copied = ours;
  copied.path = copy;
  ASSERT_TRUE(orvik::RememberUnfinished(copied));
  const std::string plainBytes = ReadWholeFile(plain), bframesBytes = ReadWholeFile(bframes),
                    copyBytes = ReadWholeFile(copy);

  Program program;
  ASSERT_TRUE(program.Frame());
  EXPECT_TRUE(PumpUntil(
      [] { return NothingNoted() && !orvik::ProgramSettings().ReadText(L"RecordingInProgress"); },
      20000));
  EXPECT_FALSE(program.MessageBox(1000));  // nothing to tell
  EXPECT_TRUE(program.Close(10000));
  EXPECT_TRUE(ReadWholeFile(plain) == plainBytes);
  EXPECT_TRUE(ReadWholeFile(bframes) == bframesBytes);
  EXPECT_TRUE(ReadWholeFile(copy) == copyBytes);
}
