#pragma once
// The sources a recording's sound can come from, and why one may give none. No <windows.h>.
namespace orvik::sound {

enum class Source { SystemSound, Microphone };

enum class DeviceProblem {
  None,
  NoSoundSystem,  // the system has no sound devices at all (no audio service or server)
  NotFound,       // no device records this source: the named one is not there, or none can
  Refused,        // the device would not start
};

}  // namespace orvik::sound
