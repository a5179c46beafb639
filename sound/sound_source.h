#pragma once
// Where a recording's sound comes from, as the file's writer sees it: mixed 16-bit stereo at
// 48000 Hz, produced up to a recording time. No <windows.h>: the writer is tested natively with
// sources of its own.
#include <cstdint>
#include <vector>

namespace orvik::sound {

class SoundSource {
 public:
  virtual ~SoundSource() = default;
  // On the writer's thread: the sound from where the last call stopped up to recording time
  // `until` (seconds, pauses left out), appended to `pcm` as interleaved 16-bit stereo.
  virtual void Produce(double until, std::vector<int16_t>* pcm) = 0;
};

}  // namespace orvik::sound
