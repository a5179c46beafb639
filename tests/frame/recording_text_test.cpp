#include "frame/recording_text.h"

#include <gtest/gtest.h>

using namespace orvik;

namespace {
std::wstring Path(const std::wstring& chosen, SaveType type = SaveType::Avi) {
  return SavePathFromChoice(chosen, type, FileFormat::Mp4).path;
}
SaveNameProblem ProblemOf(const std::wstring& chosen) {
  return SavePathFromChoice(chosen, SaveType::Mp4, FileFormat::Mp4).problem;
}
}  // namespace

TEST(SaveName, TheChosenTypesExtensionIsAddedAfterWhatTheSystemTrims) {
  EXPECT_EQ(Path(L"C:\\v\\clip"), L"C:\\v\\clip.avi");
  EXPECT_EQ(Path(L"C:\\v\\clip.avi"), L"C:\\v\\clip.avi");
  EXPECT_EQ(Path(L"  C:\\v\\a b  "), L"C:\\v\\a b.avi");
  EXPECT_EQ(Path(L"avi"), L"avi.avi");
  // Trailing dots and spaces are dropped by the system; blanks of any kind are trimmed.
  EXPECT_EQ(Path(L"C:\\v\\clip.avi."), L"C:\\v\\clip.avi");
  EXPECT_EQ(Path(L"C:\\v\\clip. . "), L"C:\\v\\clip.avi");
  EXPECT_EQ(Path(L"C:\\v\\clip\t"), L"C:\\v\\clip.avi");
  EXPECT_EQ(Path(L"\u3000C:\\v\\clip\u3000", SaveType::Mp4), L"C:\\v\\clip.mp4");
  EXPECT_EQ(Path(L"C:\\v\\CONSOLE"), L"C:\\v\\CONSOLE.avi");  // only whole device names
  EXPECT_EQ(Path(L"C:\\v\\COM10", SaveType::Mp4), L"C:\\v\\COM10.mp4");
  EXPECT_EQ(Path(L"C:\\v\\clip.txt", SaveType::Mp4), L"C:\\v\\clip.txt.mp4");
  EXPECT_EQ(Path(L"C:\\v.mp4\\clip", SaveType::Avi), L"C:\\v.mp4\\clip.avi");
}

TEST(SaveName, ATypedExtensionInAnyCaseWinsOverTheChosenType) {
  struct Case {
    const wchar_t* chosen;
    SaveType type;
    FileFormat remembered;
    const wchar_t* path;
    FileFormat format;
  };
  const FileFormat mp4 = FileFormat::Mp4, avi = FileFormat::Avi;
  const Case cases[] = {
      {L"C:\\v\\clip.AVI", SaveType::Mp4, mp4, L"C:\\v\\clip.AVI", avi},
      {L"C:\\v\\clip.Mp4", SaveType::Avi, avi, L"C:\\v\\clip.Mp4", mp4},
      {L"C:\\v\\clip.mp4.", SaveType::AllFiles, avi, L"C:\\v\\clip.mp4", mp4},
      {L"C:\\v\\clip", SaveType::Mp4, avi, L"C:\\v\\clip.mp4", mp4},
      {L"C:\\v\\clip", SaveType::Avi, mp4, L"C:\\v\\clip.avi", avi},
      // All Files has no extension of its own: the remembered format's is added.
      {L"C:\\v\\clip", SaveType::AllFiles, avi, L"C:\\v\\clip.avi", avi},
      {L"C:\\v\\clip.mov", SaveType::AllFiles, mp4, L"C:\\v\\clip.mov.mp4", mp4},
  };
  for (const Case& c : cases) {
    const SaveName name = SavePathFromChoice(c.chosen, c.type, c.remembered);
    EXPECT_EQ(name.problem, SaveNameProblem::None) << c.chosen;
    EXPECT_EQ(name.path, c.path) << c.chosen;
    EXPECT_EQ(name.format, c.format) << c.chosen;
  }
  // The dialog opens on the remembered format's type; what a type leaves open is decided by
  // the caller.
  EXPECT_EQ(SaveTypeOf(avi), SaveType::Avi);
  EXPECT_EQ(SaveTypeOf(mp4), SaveType::Mp4);
  EXPECT_EQ(FormatOfSaveType(SaveType::AllFiles, avi), avi);
  EXPECT_EQ(FormatOfSaveType(SaveType::Mp4, avi), mp4);
}

TEST(SaveName, DeviceNamesAndFolderOnlyNamesAreRefused) {
  for (const wchar_t* device : {L"CON", L"C:\\v\\nul", L"C:\\v\\Aux.avi", L"C:\\v\\com1",
                                L"C:\\v\\LPT9.txt", L"C:\\v\\prn .mp4"})
    EXPECT_EQ(ProblemOf(device), SaveNameProblem::DeviceName) << device;
  for (const wchar_t* folder : {L"C:\\v\\", L"C:\\v/", L"   ", L"C:\\v\\..", L""})
    EXPECT_EQ(ProblemOf(folder), SaveNameProblem::NoFileName) << folder;
  EXPECT_NE(SaveNameMessage(L"NUL", SaveNameProblem::DeviceName).find(L"NUL"), std::wstring::npos);
}

TEST(LeftOverRecording, TheMessageSaysWhereHowLongAndWhetherTheFileIsAsItWas) {
  EXPECT_EQ(RepairedRecordingMessage(L"C:\\v\\clip.mp4", 754.9),
            L"上次的录像没有正常结束，已修复：\r\nC:\\v\\clip.mp4\r\n保留时长 12:34");
  // "As it was" only when not a byte changed.
  const std::wstring untouched =
      UnrepairedRecordingMessage(L"C:\\v\\clip.mp4", UnrepairedBecause::InUse, false);
  const std::wstring halfDone =
      UnrepairedRecordingMessage(L"C:\\v\\clip.mp4", UnrepairedBecause::Failed, true);
  EXPECT_NE(untouched.find(L"C:\\v\\clip.mp4"), std::wstring::npos);
  EXPECT_NE(untouched.find(L"文件保持原样"), std::wstring::npos);
  EXPECT_NE(untouched.find(L"正被其它程序使用"), std::wstring::npos);
  EXPECT_EQ(halfDone.find(L"保持原样"), std::wstring::npos);
  EXPECT_NE(halfDone.find(L"下次启动时将继续修复"), std::wstring::npos);
  EXPECT_EQ(RepairNotice(L"D:\\a.mp4", 0.425), L"正在修复上次的录像（42%）：D:\\a.mp4");
}

TEST(ProgressCaption, GeneralFormatWithTheUsersSeparator) {
  EXPECT_EQ(ProgressCaption(25, 3.5078125f, L"."), L"Flame:25 Second:3.5078125");
  EXPECT_EQ(ProgressCaption(1, -0.25f, L","), L"Flame:1 Second:-0,25");
  EXPECT_EQ(ProgressCaption(40000, 4000.0f, L"."), L"Flame:40000 Second:4000");
  EXPECT_EQ(GeneralNumber(0.1, L"."), L"0.1");
}

TEST(RecordingText, SoundMessagesSayWhichSourceWhyAndWhen) {
  using orvik::sound::DeviceProblem;
  using orvik::sound::Source;
  const std::wstring system = SoundSourceMessage(Source::SystemSound, DeviceProblem::NotFound, L"");
  EXPECT_NE(system.find(L"系统声音"), std::wstring::npos);
  EXPECT_NE(system.find(L"立体声混音"), std::wstring::npos);
  const std::wstring named =
      SoundSourceMessage(Source::Microphone, DeviceProblem::NotFound, L"USB Mic");
  EXPECT_NE(named.find(L"“USB Mic”"), std::wstring::npos);
  EXPECT_NE(named.find(L"麦克风"), std::wstring::npos);
  EXPECT_EQ(SoundSourceMessage(Source::Microphone, DeviceProblem::None, L""), L"");
  EXPECT_NE(SoundSourceMessage(Source::SystemSound, DeviceProblem::NoAnswer, L"").find(L"没有响应"),
            std::wstring::npos);
}

// A line a gap: which source, from when to when (or to the end, or at one moment), and why.
TEST(RecordingText, SoundGapsSayWhichSourceFromWhenToWhenAndWhy) {
  using orvik::sound::GapCause;
  using orvik::sound::Source;
  EXPECT_EQ(SoundGapsMessage({}), L"");
  std::vector<orvik::sound::SoundGap> gaps = {
      {Source::SystemSound, 3.2, 4.9, GapCause::NoPackets},
      {Source::SystemSound, 754.9, 754.95, GapCause::DefaultChanged},
      {Source::Microphone, -1, std::nullopt, GapCause::NoAnswer}};
  const std::wstring text = SoundGapsMessage(gaps);
  EXPECT_NE(text.find(L"\r\n系统声音：从 00:03 到 00:04，没有收到声音设备的声音。\r\n"),
            std::wstring::npos)
      << testing::PrintToString(text);
  EXPECT_NE(text.find(L"\r\n系统声音：在 12:34，默认声音设备已更换"), std::wstring::npos);
  EXPECT_NE(text.find(L"\r\n麦克风：从 00:00 起直到结束，声音设备没有响应"), std::wstring::npos);
  gaps.resize(11, gaps[0]);
  EXPECT_NE(SoundGapsMessage(gaps).find(L"另有 3 处"), std::wstring::npos);
}
