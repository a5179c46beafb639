#pragma once
// Where one source's sound went missing during a recording, from the times its device's sound
// covers: a stretch it did not cover for a second or more, or any stretch whose cause is known
// (the device failed, did not answer, or was swapped for the new default), is a gap. No
// <windows.h>; not thread-safe (its owner locks).
#include <optional>
#include <vector>

#include "sound/sound_sources.h"

namespace orvik::sound {

class GapTracker {
 public:
  explicit GapTracker(Source source) : source_(source) {}

  // The device's sound covers recording time [from, to]: a gap before it ends at `from`.
  void Delivered(double from, double to);
  // Why the device gives no sound from now on, until it delivers again (a later cause replaces
  // an earlier one: it says more of the end of the gap).
  void Missing(GapCause cause);
  // The gaps so far, with one that is still open at recording time `end` running to the end.
  std::vector<SoundGap> Gaps(double end) const;

 private:
  // Silence without a known cause shorter than this is left unsaid: packets come late under
  // load, and a device starting up may take a moment.
  static constexpr double kUnsaidSeconds = 1.0;
  bool Said(double from, double to, std::optional<GapCause> cause) const;

  Source source_;
  double coveredUntil_ = 0;
  std::optional<GapCause> cause_;
  std::vector<SoundGap> gaps_;
};

}  // namespace orvik::sound
