#pragma once
// Texts the recorder shows and the rules behind them: the output file's name and format, why it
// cannot be made, the progress caption, and a left-over recording's repair. No <windows.h>.
#include <cstdint>
#include <string>
#include <vector>

#include "recorder/output/engine_error.h"
#include "recorder/output/output_file.h"
#include "settings/recording_choices.h"
#include "sound/sound_sources.h"

namespace orvik {

// What is wrong with a name the user chose to save a recording under.
enum class SaveNameProblem {
  None,
  NoFileName,  // empty, or only a folder (the name ends in a separator)
  DeviceName,  // CON, NUL, COM1, ...: names the system keeps for devices
};

// The save dialog's file types, in its order (the dialog counts them from 1).
enum class SaveType { Mp4 = 1, Avi = 2, AllFiles = 3 };
// The type the dialog opens on for a remembered format.
SaveType SaveTypeOf(FileFormat format);
// The format a type stands for; All Files stands for none, and gets `otherwise`.
FileFormat FormatOfSaveType(SaveType type, FileFormat otherwise);

struct SaveName {
  std::wstring path;  // the name to record to, when there is no problem
  FileFormat format = FileFormat::Mp4;
  SaveNameProblem problem = SaveNameProblem::None;
};

// The chosen save name made a recording's file name: blanks (spaces, tabs, ideographic spaces)
// trimmed from both ends and the trailing dots and spaces the system drops from file names
// removed. A name that ends in ".mp4" or ".avi" (in any case) is written in that format as it
// stands; any other gets the extension of the chosen type, with All Files that of the
// remembered format ("clip.txt" as MP4 is "clip.txt.mp4", "clip.avi." is "clip.avi").
SaveName SavePathFromChoice(const std::wstring& chosen, SaveType type, FileFormat remembered);
// The message for a name that cannot be used.
std::wstring SaveNameMessage(const std::wstring& chosen, SaveNameProblem problem);

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

// Told at start once a recording the last run left unfinished was repaired, with its path and
// the length kept (mm:ss); or why it could not be this time, and whether its file is as it was.
std::wstring RepairedRecordingMessage(const std::wstring& path, double seconds);
enum class UnrepairedBecause { InUse, Unreachable, Failed };
std::wstring UnrepairedRecordingMessage(const std::wstring& path, UnrepairedBecause why,
                                        bool fileChanged);
// On the main window while one is repaired: which, and how much of it has been read (0..1).
std::wstring RepairNotice(const std::wstring& path, double done);

}  // namespace orvik
