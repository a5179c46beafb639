#pragma once
// Device samples to the float stereo the timeline resamples: every format a device may offer
// is read once, here, and mono is heard on both sides while surround is folded in so that
// nothing a device sends at full scale can exceed full scale by the folding alone.
#include <cstdint>
#include <vector>

#include "sound/sound_timeline.h"

namespace orvik::sound {

// How much each device channel adds to the left and to the right output.
class StereoDownmix {
 public:
  explicit StereoDownmix(uint32_t channels);
  uint32_t Channels() const { return static_cast<uint32_t>(left_.size()); }
  float Left(uint32_t channel) const { return left_[channel]; }
  float Right(uint32_t channel) const { return right_[channel]; }

 private:
  std::vector<float> left_, right_;
};

// Writes `frames` frames of `format` read from `data` to `out` as interleaved stereo (2 x
// `frames` floats). Floats that are not numbers become 0, others are held within +/-4.
void ConvertToStereo(const DeviceFormat& format, const StereoDownmix& mix, const void* data,
                     uint32_t frames, float* out);

}  // namespace orvik::sound
