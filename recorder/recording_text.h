#pragma once
// Texts the recorder shows and the rules behind them: the output file's name, why it cannot be
// made, and the progress caption. No <windows.h>.
#include <cstdint>
#include <string>
#include <vector>

#include "recorder/engine_error.h"
#include "sound/sound_sources.h"

namespace orvik {

// What is wrong with a name the user chose to save a recording under.
enum class AviNameProblem {
  None,
  NoFileName,  // empty, or only a folder (the name ends in a separator)
  DeviceName,  // CON, NUL, COM1, ...: names the system keeps for devices
};

struct AviName {
  std::wstring path;  // the name to record to, when there is no problem
  AviNameProblem problem = AviNameProblem::None;
};

// The chosen save name made a recording's file name: blanks (spaces, tabs, ideographic spaces)
// trimmed from both ends and the trailing dots and spaces the system drops from file names
// removed, then ".avi" appended unless it already ends in exactly ".avi" (case-sensitive:
// "clip.AVI" becomes "clip.AVI.avi", "clip.avi." becomes "clip.avi").
AviName AviPathFromChoice(const std::wstring& chosen);
// The message for a name that cannot be used.
std::wstring AviNameMessage(const std::wstring& chosen, AviNameProblem problem);

// Why the output file of a recording cannot be made.
enum class OutputFileError {
  None,
  IsFolder,        // a folder has that name
  AccessDenied,    // the folder cannot be written to, or the file is read-only
  InUse,           // another program holds the file
  FolderNotFound,  // the folder is gone
  NameTooLong,
  DiskFull,
  InvalidName,
  Other,  // the caller adds the system's own description
};

// "无法创建录像文件：" with the path and the reason, for a message box.
std::wstring OutputFileMessage(const std::wstring& path, OutputFileError error);

// Why a sound source the user chose is not in the recording, for a message box shown as the
// recording begins without it. `device`: the name the user gave the device, if any.
std::wstring SoundSourceMessage(sound::Source source, sound::DeviceProblem problem,
                                const std::wstring& device);
// After a recording: where its sound is missing and why, a line for each gap (by source, then
// time; times of the recording as mm:ss); empty when nothing is.
std::wstring SoundGapsMessage(const std::vector<sound::SoundGap>& gaps);

// Why a recording that was running ended by itself, for a message box and the main window.
std::wstring WhyTheRecordingStopped(EngineError error);

// A number in general format: no trailing zeros, up to 15 significant digits, the given
// decimal separator ("3.5078125", "-0.25", "12").
std::wstring GeneralNumber(double value, const std::wstring& decimalSeparator);

// "Flame:<count> Second:<seconds>", the caption shown on the task-bar button while recording.
std::wstring ProgressCaption(int64_t frameCount, float seconds,
                             const std::wstring& decimalSeparator);

}  // namespace orvik
