#include "settings/recording_choices.h"

#include <algorithm>

namespace orvik {

int FrameRateFromStored(std::optional<uint32_t> stored) {
  if (!stored) return kDefaultFrameRate;
  for (int rate : kFrameRateChoices) {
    if (static_cast<uint32_t>(rate) == *stored) return rate;
  }
  return kDefaultFrameRate;
}

const wchar_t* SoundCaption(SoundChoice choice) {
  switch (choice) {
    case SoundChoice::System:
      return L"系统声音";
    case SoundChoice::Microphone:
      return L"麦克风";
    case SoundChoice::Both:
      return L"系统声音和麦克风";
    case SoundChoice::None:
      break;
  }
  return L"无声音";
}

const wchar_t* StoredSoundChoice(SoundChoice choice) {
  switch (choice) {
    case SoundChoice::System:
      return L"system";
    case SoundChoice::Microphone:
      return L"microphone";
    case SoundChoice::Both:
      return L"both";
    case SoundChoice::None:
      break;
  }
  return L"none";
}

namespace {
// A stored word without blanks, in lower case.
std::wstring StoredWord(const std::wstring& stored) {
  std::wstring word;
  for (wchar_t c : stored) {
    if (c == L' ' || c == L'\t') continue;
    word += (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  }
  return word;
}
}  // namespace

SoundChoice SoundChoiceFromStored(const std::optional<std::wstring>& stored) {
  if (!stored) return SoundChoice::None;
  const std::wstring word = StoredWord(*stored);
  for (SoundChoice choice : kSoundChoices)
    if (word == StoredSoundChoice(choice)) return choice;
  return SoundChoice::None;
}

const wchar_t* StoredFileFormat(FileFormat format) {
  return format == FileFormat::Avi ? L"avi" : L"mp4";
}

FileFormat FileFormatFromStored(const std::optional<std::wstring>& stored) {
  return stored && StoredWord(*stored) == L"avi" ? FileFormat::Avi : FileFormat::Mp4;
}

int CountdownFromStored(std::optional<uint32_t> stored) {
  if (!stored) return 0;
  const auto offered =
      std::find(kCountdownChoices.begin(), kCountdownChoices.end(), static_cast<int64_t>(*stored));
  return offered == kCountdownChoices.end() ? 0 : *offered;
}

std::wstring CountdownCaption(int seconds) {
  return seconds <= 0 ? L"无" : std::to_wstring(seconds) + L" 秒";
}

std::wstring InitialSaveFolder(const SaveFolderFacts& facts) {
  if (facts.remembered && !facts.remembered->empty() && facts.rememberedExists) {
    return *facts.remembered;
  }
  if (facts.programFolderWritable && !facts.programFolder.empty()) return facts.programFolder;
  if (!facts.videosFolder.empty()) return facts.videosFolder;
  return facts.fallbackFolder;
}

}  // namespace orvik
