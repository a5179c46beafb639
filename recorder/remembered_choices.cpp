#include "recorder/remembered_choices.h"

#include "recorder/recording_choices.h"
#include "toolkit/app.h"
#include "toolkit/files.h"

namespace orvik {

namespace {
constexpr wchar_t kFrameRateValue[] = L"FrameRate";
constexpr wchar_t kSaveFolderValue[] = L"SaveFolder";
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

std::wstring SaveDialogFolder() {
  SaveFolderFacts facts;
  facts.remembered = ProgramSettings().ReadText(kSaveFolderValue);
  facts.rememberedExists = facts.remembered && tk::FolderExists(*facts.remembered);
  facts.programFolder = tk::AppPath();
  facts.programFolderWritable = tk::FolderIsWritable(facts.programFolder);
  // Asked for only when needed: the known-folder lookup starts the shell's machinery.
  if (!facts.rememberedExists && !facts.programFolderWritable) {
    facts.videosFolder = tk::UserVideosFolder();
  }
  facts.fallbackFolder = facts.programFolder;
  return InitialSaveFolder(facts);
}

void RememberSaveFolder(const std::wstring& savedFile) {
  const std::wstring folder = FolderOfFile(savedFile);
  if (!folder.empty()) ProgramSettings().WriteText(kSaveFolderValue, folder);
}

}  // namespace orvik
