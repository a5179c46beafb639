#include "settings/remembered_choices.h"

#include "settings/recording_choices.h"
#include "toolkit/app.h"
#include "toolkit/files.h"
#include "toolkit/paths.h"

namespace orvik {

namespace {
constexpr wchar_t kFrameRateValue[] = L"FrameRate";
constexpr wchar_t kSaveFolderValue[] = L"SaveFolder";
constexpr wchar_t kSoundValue[] = L"Sound";
constexpr wchar_t kSystemSoundDeviceValue[] = L"SystemSoundDevice";
constexpr wchar_t kMicrophoneDeviceValue[] = L"MicrophoneDevice";
constexpr wchar_t kShowClicksValue[] = L"ShowClicks";
constexpr wchar_t kCountdownValue[] = L"Countdown";
constexpr wchar_t kShowKeysValue[] = L"ShowKeys";
constexpr wchar_t kFormatValue[] = L"Format";
// Where an older version kept the one recording in progress, as a bare path: nothing in it
// proves that the file there is still ours.
constexpr wchar_t kOldInProgressValue[] = L"RecordingInProgress";

const tk::Settings& UnfinishedSettings() {
  static const tk::Settings settings(L"Software\\Orvik\\Unfinished");
  return settings;
}
}  // namespace

const tk::Settings& ProgramSettings() {
  static const tk::Settings settings(L"Software\\Orvik");
  return settings;
}

int RememberedFrameRate() {
  return FrameRateFromStored(ProgramSettings().ReadNumber(kFrameRateValue));
}

void RememberFrameRate(int framesPerSecond) {
  ProgramSettings().WriteNumber(kFrameRateValue, static_cast<uint32_t>(framesPerSecond));
}

SoundChoice RememberedSoundChoice() {
  return SoundChoiceFromStored(ProgramSettings().ReadText(kSoundValue));
}

void RememberSoundChoice(SoundChoice choice) {
  ProgramSettings().WriteText(kSoundValue, StoredSoundChoice(choice));
}

// An on/off choice kept as a DWORD, off unless it was turned on.
namespace {
bool RememberedSwitch(const wchar_t* value) {
  return ProgramSettings().ReadNumber(value).value_or(0) != 0;
}

void RememberSwitch(const wchar_t* value, bool on) {
  ProgramSettings().WriteNumber(value, on ? 1 : 0);
}
}  // namespace

bool RememberedShowClicks() { return RememberedSwitch(kShowClicksValue); }
void RememberShowClicks(bool show) { RememberSwitch(kShowClicksValue, show); }
bool RememberedShowKeys() { return RememberedSwitch(kShowKeysValue); }
void RememberShowKeys(bool show) { RememberSwitch(kShowKeysValue, show); }

int RememberedCountdown() {
  return CountdownFromStored(ProgramSettings().ReadNumber(kCountdownValue));
}

void RememberCountdown(int seconds) {
  ProgramSettings().WriteNumber(kCountdownValue, static_cast<uint32_t>(seconds));
}

FileFormat RememberedFileFormat() {
  return FileFormatFromStored(ProgramSettings().ReadText(kFormatValue));
}

void RememberFileFormat(FileFormat format) {
  ProgramSettings().WriteText(kFormatValue, StoredFileFormat(format));
}

bool RememberUnfinished(const UnfinishedRecording& recording) {
  return UnfinishedSettings().WriteText(StoredName(recording.id), StoredValue(recording));
}

void ForgetUnfinished(const RecordingId& id) { UnfinishedSettings().Remove(StoredName(id)); }

// A value this program did not write is dropped as it is read.
std::vector<UnfinishedRecording> UnfinishedRecordings() {
  ProgramSettings().Remove(kOldInProgressValue);
  std::vector<UnfinishedRecording> found;
  const tk::Settings& settings = UnfinishedSettings();
  for (const std::wstring& name : settings.ValueNames()) {
    const std::optional<std::wstring> value = settings.ReadText(name);
    std::optional<UnfinishedRecording> r =
        value ? UnfinishedFromStored(name, *value) : std::nullopt;
    if (r)
      found.push_back(std::move(*r));
    else
      settings.Remove(name);
  }
  return found;
}

std::wstring NamedSystemSoundDevice() {
  return ProgramSettings().ReadText(kSystemSoundDeviceValue).value_or(L"");
}

std::wstring NamedMicrophoneDevice() {
  return ProgramSettings().ReadText(kMicrophoneDeviceValue).value_or(L"");
}

namespace {
// Asked with a probe file, once, and only when no remembered folder answers first: the face
// shows the folder on every menu change.
bool ProgramFolderIsWritable() {
  static const bool writable = tk::FolderIsWritable(tk::AppPath());
  return writable;
}
}  // namespace

std::wstring SaveDialogFolder() {
  SaveFolderFacts facts;
  facts.remembered = ProgramSettings().ReadText(kSaveFolderValue);
  facts.rememberedExists = facts.remembered && tk::FolderExists(*facts.remembered);
  facts.programFolder = tk::AppPath();
  facts.programFolderWritable = !facts.rememberedExists && ProgramFolderIsWritable();
  // Asked for only when needed: the known-folder lookup starts the shell's machinery.
  if (!facts.rememberedExists && !facts.programFolderWritable) {
    facts.videosFolder = tk::UserVideosFolder();
  }
  facts.fallbackFolder = facts.programFolder;
  return InitialSaveFolder(facts);
}

void RememberSaveFolder(const std::wstring& savedFile) {
  const std::wstring folder = tk::FolderOfFile(savedFile);
  if (!folder.empty()) ProgramSettings().WriteText(kSaveFolderValue, folder);
}

}  // namespace orvik
