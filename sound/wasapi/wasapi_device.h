#pragma once
// A source's device through the MMDevice API and WASAPI in shared mode, polled: the device
// sound/device_choice.h picks from the active endpoints, recorded as a capture stream, or an
// output in loopback with silence played into it (loopback sends no packets while nothing
// plays). A device chosen as the default follows it: IMMNotificationClient says when the
// default changes, and a check of the default endpoint's id every second covers a system whose
// notifications do not come. Windows only.
#include <functional>
#include <memory>
#include <string>

#include "sound/capture_device.h"

namespace orvik::sound {

// Not yet open; every call is made on the recorder's threads, which have joined COM's
// multithreaded apartment.
std::unique_ptr<CaptureDevice> MakeWasapiDevice(Source source, const std::wstring& wanted);

// For tests under a Wine whose device API never shows the sound server's default output
// change: there the default endpoint's id, its name and the list of endpoints stay as they
// were when the process first used sound, and no notification comes (measured with
// `pactl set-default-sink`). Names the output to take for the default in place of the system's
// answer; an empty function gives the system's answer again.
void SetDefaultOutputStandIn(std::function<std::wstring()> defaultOutputName);

}  // namespace orvik::sound
