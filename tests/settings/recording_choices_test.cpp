#include "settings/recording_choices.h"

#include <gtest/gtest.h>

#include "frame/face_text.h"
#include "toolkit/paths.h"

using namespace orvik;

TEST(RecordingChoices, OnlyOfferedRatesAreTakenFromWhatWasStored) {
  EXPECT_EQ(FrameRateFromStored(std::nullopt), 10);
  for (int rate : kFrameRateChoices) EXPECT_EQ(FrameRateFromStored(rate), rate);
  // The writer would clamp these; the menu has no entry to check for them.
  for (uint32_t bad : {0u, 1u, 7u, 25u, 60u, 0xFFFFFFFFu, 0x8000000Au}) {
    EXPECT_EQ(FrameRateFromStored(bad), kDefaultFrameRate) << bad;
  }
}

TEST(RecordingChoices, StoredSoundAndFormatChoicesRoundTripAndAnythingElseIsTheDefault) {
  for (SoundChoice c : kSoundChoices) EXPECT_EQ(SoundChoiceFromStored(StoredSoundChoice(c)), c);
  EXPECT_EQ(SoundChoiceFromStored(std::wstring(L" Both ")), SoundChoice::Both);
  EXPECT_EQ(SoundChoiceFromStored(std::wstring(L"MICROPHONE")), SoundChoice::Microphone);
  // A new user, or a value the program never wrote, gets MP4.
  EXPECT_EQ(FileFormatFromStored(std::wstring(L" AVI")), FileFormat::Avi);
  EXPECT_EQ(FileFormatFromStored(std::nullopt), FileFormat::Mp4);
  EXPECT_EQ(FileFormatFromStored(std::wstring(L"mkv")), FileFormat::Mp4);
  for (const wchar_t* bad : {L"", L"sys", L"system sound", L"麦克风", L"both,system"})
    EXPECT_EQ(SoundChoiceFromStored(std::wstring(bad)), SoundChoice::None) << bad;
  EXPECT_EQ(SoundChoiceFromStored(std::nullopt), SoundChoice::None);
  EXPECT_TRUE(WantsSystemSound(SoundChoice::Both) && WantsMicrophone(SoundChoice::Both));
  EXPECT_FALSE(WantsSystemSound(SoundChoice::Microphone) || WantsMicrophone(SoundChoice::System));
}

TEST(RecordingChoices, FolderOfASavedFile) {
  EXPECT_EQ(tk::FolderOfFile(L"C:\\videos\\clip.avi"), L"C:\\videos");
  EXPECT_EQ(tk::FolderOfFile(L"Z:\\tmp/x/clip.avi"), L"Z:\\tmp/x");
  EXPECT_EQ(tk::FolderOfFile(L"C:\\clip.avi"), L"C:\\");  // not "C:", the drive's current folder
  EXPECT_EQ(tk::FolderOfFile(L"\\\\server\\share\\clip.avi"), L"\\\\server\\share");
  EXPECT_EQ(tk::FolderOfFile(L"\\clip.avi"), L"\\");
  EXPECT_EQ(tk::FolderOfFile(L"clip.avi"), L"");
  EXPECT_EQ(tk::FolderOfFile(L""), L"");
}

TEST(RecordingChoices, SaveDialogStartsInTheFirstFolderThatServes) {
  SaveFolderFacts f;
  f.remembered = L"D:\\last";
  f.rememberedExists = true;
  f.programFolder = L"C:\\Program Files\\Orvik";
  f.programFolderWritable = true;
  f.videosFolder = L"C:\\users\\me\\Videos";
  f.fallbackFolder = L"C:\\Program Files\\Orvik";
  EXPECT_EQ(InitialSaveFolder(f), L"D:\\last");

  f.rememberedExists = false;  // removed since (or a drive no longer there)
  EXPECT_EQ(InitialSaveFolder(f), L"C:\\Program Files\\Orvik");
  f.remembered = L"";
  f.rememberedExists = true;  // an empty stored value is nothing remembered
  EXPECT_EQ(InitialSaveFolder(f), L"C:\\Program Files\\Orvik");

  f.programFolderWritable = false;
  EXPECT_EQ(InitialSaveFolder(f), L"C:\\users\\me\\Videos");
  f.videosFolder.clear();
  EXPECT_EQ(InitialSaveFolder(f), L"C:\\Program Files\\Orvik");
}

TEST(CountdownChoice, OnlyTheOfferedLengthsAreRemembered) {
  EXPECT_EQ(CountdownFromStored(std::nullopt), 0);  // a new user starts at once
  for (int offered : kCountdownChoices)
    EXPECT_EQ(CountdownFromStored(static_cast<uint32_t>(offered)), offered);
  EXPECT_EQ(CountdownFromStored(4u), 0);
  EXPECT_EQ(CountdownFromStored(0xFFFFFFFFu), 0);
  EXPECT_EQ(CountdownCaption(0), L"无");
  EXPECT_EQ(CountdownCaption(10), L"10 秒");
  EXPECT_EQ(CountdownText(3), L"3 秒后开始录制");
}
