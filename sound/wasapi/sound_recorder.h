#pragma once
// The recording's sound from the system's devices: the recorder of sound/device_recorder.h
// with WASAPI devices, its threads in COM's multithreaded apartment (the reading one as an
// MMCSS "Audio" task), and its waits on the window thread letting the messages other threads
// send to that thread run. Windows only.
#include "sound/device_recorder.h"

namespace orvik::sound {

class SoundRecorder : public DeviceRecorder {
 public:
  SoundRecorder();
};

}  // namespace orvik::sound
