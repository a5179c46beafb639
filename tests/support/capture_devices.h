#pragma once
// The machine's sound as a recorder sees it: the capture devices Wine lists through the
// MMDevice API, and short recordings from one of them through WASAPI in shared mode.
#include <windows.h>

#include <string>
#include <vector>

#include "support/sound_samples.h"

namespace testsupport {

// The friendly names (PKEY_Device_FriendlyName) of the active capture endpoints. Wine reads
// the sound server's devices once per process, when it first uses sound.
std::vector<std::wstring> CaptureDeviceNames();

// Records `seconds` from the capture endpoint with this friendly name (polled, shared mode), at
// its mix format; Failed when it cannot be recorded.
Sound RecordDevice(const std::wstring& friendlyName, double seconds);

}  // namespace testsupport
