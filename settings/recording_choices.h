#pragma once
// The choices a user makes for recordings that the program remembers between runs: the frame
// rate and the folder recordings are saved in; here, which values are valid and what is used
// when nothing (or something unusable) was remembered. No <windows.h>.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "recorder/output/file_format.h"
#include "recorder/session/recording_clock.h"

namespace orvik {

// The rates the 帧率 menu offers, in its order.
constexpr std::array<int, 5> kFrameRateChoices = {5, 10, 15, 20, 30};

// A remembered rate when it is one the menu offers; otherwise the default rate.
int FrameRateFromStored(std::optional<uint32_t> stored);

// The countdown's lengths before the first frame, "倒计时" in the menu: seconds, in the menu's
// order; 0 is 无: the recording starts at once.
constexpr std::array<int, 4> kCountdownChoices = {0, 3, 5, 10};

// A remembered length when it is one the menu offers; otherwise 0.
int CountdownFromStored(std::optional<uint32_t> stored);
// The menu's caption of a length: "无", "3 秒".
std::wstring CountdownCaption(int seconds);

// What a recording's sound comes from: the 声音 menu's entries, in its order.
enum class SoundChoice { None, System, Microphone, Both };
constexpr std::array<SoundChoice, 4> kSoundChoices = {SoundChoice::None, SoundChoice::System,
                                                      SoundChoice::Microphone, SoundChoice::Both};
// How a choice is stored: "none", "system", "microphone", "both".
const wchar_t* StoredSoundChoice(SoundChoice choice);
// The choice as the 声音 menu and the main window name it ("无声音", "系统声音", ...).
const wchar_t* SoundCaption(SoundChoice choice);
// A stored choice, read without regard to case or surrounding blanks; None for anything else.
SoundChoice SoundChoiceFromStored(const std::optional<std::wstring>& stored);
constexpr bool WantsSystemSound(SoundChoice c) {
  return c == SoundChoice::System || c == SoundChoice::Both;
}
constexpr bool WantsMicrophone(SoundChoice c) {
  return c == SoundChoice::Microphone || c == SoundChoice::Both;
}

// How a format is stored: "mp4", "avi".
const wchar_t* StoredFileFormat(FileFormat format);
// A stored format, read as a sound choice is; MP4 (what a new user gets) for anything else.
FileFormat FileFormatFromStored(const std::optional<std::wstring>& stored);

// What the program knows about where a save dialog could start.
struct SaveFolderFacts {
  std::optional<std::wstring> remembered;  // the folder last saved to, if any was stored
  bool rememberedExists = false;
  std::wstring programFolder;
  bool programFolderWritable = false;
  std::wstring videosFolder;  // may be empty where the system has none
  std::wstring fallbackFolder;
};

// The folder last saved to while it still exists; else the program's folder when it can be
// written to; else the user's Videos folder; else the fallback.
std::wstring InitialSaveFolder(const SaveFolderFacts& facts);

}  // namespace orvik
