#pragma once
// Device samples to the float stereo the timeline resamples: every format a device may offer
// is read once, here. Mono is heard on both sides; surround is folded down by where each
// channel's speaker stands, so that stereo played through a surround output keeps its level
// (the mix's soft knee, not a scale-down here, keeps loud sums from clipping).
#include <cstdint>
#include <vector>

#include "sound/sound_timeline.h"

namespace orvik::sound {

// Speaker positions, the bits of a channel mask (as WAVEFORMATEXTENSIBLE's dwChannelMask).
namespace speaker {
constexpr uint32_t kFrontLeft = 0x1;
constexpr uint32_t kFrontRight = 0x2;
constexpr uint32_t kFrontCenter = 0x4;
constexpr uint32_t kLowFrequency = 0x8;
constexpr uint32_t kBackLeft = 0x10;
constexpr uint32_t kBackRight = 0x20;
constexpr uint32_t kFrontLeftOfCenter = 0x40;
constexpr uint32_t kFrontRightOfCenter = 0x80;
constexpr uint32_t kBackCenter = 0x100;
constexpr uint32_t kSideLeft = 0x200;
constexpr uint32_t kSideRight = 0x400;
constexpr uint32_t kTopCenter = 0x800;
constexpr uint32_t kTopFrontLeft = 0x1000;
constexpr uint32_t kTopFrontCenter = 0x2000;
constexpr uint32_t kTopFrontRight = 0x4000;
constexpr uint32_t kTopBackLeft = 0x8000;
constexpr uint32_t kTopBackCenter = 0x10000;
constexpr uint32_t kTopBackRight = 0x20000;
}  // namespace speaker

// The layout of a device that names none: mono, stereo, 3.0, quad, 5.0, 5.1, 6.1, 7.1; more
// channels than eight have no usual places.
uint32_t UsualChannelMask(uint32_t channels);

// How much each device channel adds to the left and to the right output: fronts at unity
// (those between them panned at constant power), the centre at -3 dB on both sides, back, side
// and top speakers at -3 dB on theirs (-6 dB on both when centred), the LFE left out. Channels
// the mask gives no place are heard as a centre.
class StereoDownmix {
 public:
  explicit StereoDownmix(uint32_t channels, uint32_t channelMask = 0);
  uint32_t Channels() const { return static_cast<uint32_t>(left_.size()); }
  float Left(uint32_t channel) const { return left_[channel]; }
  float Right(uint32_t channel) const { return right_[channel]; }
  // Two channels that go through as they are: front left and front right.
  bool Stereo() const { return stereo_; }

 private:
  std::vector<float> left_, right_;
  bool stereo_ = false;
};

// Writes `frames` frames of `format` read from `data` to `out` as interleaved stereo (2 x
// `frames` floats). Floats that are not numbers become 0, others are held within +/-4.
void ConvertToStereo(const DeviceFormat& format, const StereoDownmix& mix, const void* data,
                     uint32_t frames, float* out);

}  // namespace orvik::sound
