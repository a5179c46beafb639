#pragma once
// The recording choices the program remembers between runs, under HKCU\Software\Orvik: the
// frame rate picked in the 帧率 menu and the folder last saved to.
#include <string>

#include "toolkit/settings.h"

namespace orvik {

// Where the choices are kept.
const tk::Settings& ProgramSettings();

// The remembered rate when it is one the menu offers; otherwise the default.
int RememberedFrameRate();
void RememberFrameRate(int framesPerSecond);

// Where the save dialog starts: the folder last saved to while it exists; otherwise the
// program's folder when it can be written to, else the user's Videos folder.
std::wstring SaveDialogFolder();
// Remembers the folder of a file a recording was saved to.
void RememberSaveFolder(const std::wstring& savedFile);

}  // namespace orvik
