#pragma once
// The recording choices the program remembers between runs, under HKCU\Software\Orvik: the
// frame rate picked in the 帧率 menu, the sound picked in the 声音 menu, whether clicks are
// shown, the folder and file type last saved to, and the sound devices a user (or a test) names
// instead of the system's defaults. Beside them, the file of a recording that is running, so
// the next run can finish one a kill or a power cut left behind.
#include <optional>
#include <string>
#include <vector>

#include "recorder/file/unfinished_recording.h"
#include "settings/recording_choices.h"
#include "toolkit/settings.h"

namespace orvik {

// Where the choices are kept.
const tk::Settings& ProgramSettings();

// The remembered rate when it is one the menu offers; otherwise the default.
int RememberedFrameRate();
void RememberFrameRate(int framesPerSecond);

SoundChoice RememberedSoundChoice();
void RememberSoundChoice(SoundChoice choice);
// Whether 显示点击 is on (off unless it was turned on).
bool RememberedShowClicks();
void RememberShowClicks(bool show);
// The seconds of 倒计时 before the first frame: one the menu offers, else 0 (none).
int RememberedCountdown();
void RememberCountdown(int seconds);
// Whether 显示按键 is on (off unless it was turned on).
bool RememberedShowKeys();
void RememberShowKeys(bool show);
// The endpoint names of the devices to record instead of the defaults (empty: the defaults).
std::wstring NamedSystemSoundDevice();
std::wstring NamedMicrophoneDevice();

// The format of the file type last chosen in the save dialog (MP4 for a new user).
FileFormat RememberedFileFormat();
void RememberFileFormat(FileFormat format);

// The recordings not finished yet, each from its first frame until its file is finished, or a
// later start finds that the file is not ours: what runs that ended in the middle of one left,
// and files a start could not finish yet. Under HKCU\Software\Orvik\Unfinished.
bool RememberUnfinished(const UnfinishedRecording& recording);
void ForgetUnfinished(const RecordingId& id);
std::vector<UnfinishedRecording> UnfinishedRecordings();

// Where the save dialog starts: the folder last saved to while it exists; otherwise the
// program's folder when it can be written to, else the user's Videos folder.
std::wstring SaveDialogFolder();
// Remembers the folder of a file a recording was saved to.
void RememberSaveFolder(const std::wstring& savedFile);

}  // namespace orvik
