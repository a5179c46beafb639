#pragma once
// The sources a recording's sound can come from, why one may give none, and the stretches of a
// recording where one gave none. No <windows.h>.
#include <optional>

namespace orvik::sound {

enum class Source { SystemSound, Microphone };

enum class DeviceProblem {
  None,
  NoSoundSystem,  // the system has no sound devices at all (no audio service or server)
  NotFound,       // no device records this source: the named one is not there, or none can
  Refused,        // the device would not start
  NoAnswer,       // the device did not answer within the time a start may take
};

// Why a source's sound is missing for a while.
enum class GapCause {
  NoPackets,       // no sound came in time: the device sent none, or too late to be heard
  DeviceFailed,    // the device reported an error (unplugged, its service gone)
  NoAnswer,        // a call into the device did not return in time: it was left behind
  DefaultChanged,  // the default device changed, and the source moved over to the new one
};

// A stretch of recording time (seconds, pauses left out) in which a source's sound is silence.
struct SoundGap {
  Source source = Source::SystemSound;
  double from = 0;
  std::optional<double> to;  // none: to the end of the recording
  GapCause cause = GapCause::NoPackets;
};

}  // namespace orvik::sound
