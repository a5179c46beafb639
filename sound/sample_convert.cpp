#include "sound/sample_convert.h"

#include <cmath>
#include <cstring>

namespace orvik::sound {
namespace {

// A float device can go past full scale; this far is kept, so that later sums stay finite.
constexpr float kFloatLimit = 4.0f;
// A speaker heard from between two others, at the same power: -3 dB on each side.
constexpr float kHalfPower = 0.70710678f;
// Front speakers between the centre and a side, panned at constant power: cos and sin of pi/8.
constexpr float kNearSide = 0.92387953f;
constexpr float kFarSide = 0.38268343f;

struct Share {
  float left, right;
};

// Where a speaker is heard in stereo. Back, side and top speakers join their side at -3 dB, as
// they would reach a listener between two speakers; the low-frequency channel is left out, the
// usual fold-down.
Share ShareOf(uint32_t speakerBit) {
  using namespace speaker;
  switch (speakerBit) {
    case kFrontLeft:
      return {1, 0};
    case kFrontRight:
      return {0, 1};
    case kFrontLeftOfCenter:
      return {kNearSide, kFarSide};
    case kFrontRightOfCenter:
      return {kFarSide, kNearSide};
    case kLowFrequency:
      return {0, 0};
    case kBackLeft:
    case kSideLeft:
    case kTopFrontLeft:
    case kTopBackLeft:
      return {kHalfPower, 0};
    case kBackRight:
    case kSideRight:
    case kTopFrontRight:
    case kTopBackRight:
      return {0, kHalfPower};
    case kBackCenter:  // a -3 dB surround, heard from both sides at -3 dB more
    case kTopCenter:
    case kTopFrontCenter:
    case kTopBackCenter:
      return {kHalfPower * kHalfPower, kHalfPower * kHalfPower};
    default:  // the front centre, and channels without a known place
      return {kHalfPower, kHalfPower};
  }
}

uint32_t SampleBytes(SampleType type) {
  switch (type) {
    case SampleType::Int16:
      return 2;
    case SampleType::Int24:
      return 3;
    case SampleType::Int32:
    case SampleType::Float32:
      return 4;
  }
  return 0;
}

template <SampleType T>
float Sample(const uint8_t* p);

template <>
float Sample<SampleType::Int16>(const uint8_t* p) {
  return static_cast<int16_t>(p[0] | p[1] << 8) * (1.0f / 32768);
}

template <>
float Sample<SampleType::Int24>(const uint8_t* p) {
  // Placed in the top three bytes, the sign bit lands where int32 has it.
  const uint32_t v = uint32_t{p[0]} << 8 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 24;
  return static_cast<float>(static_cast<int32_t>(v)) * (1.0f / 2147483648.0f);
}

template <>
float Sample<SampleType::Int32>(const uint8_t* p) {
  const uint32_t v = p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  return static_cast<float>(static_cast<int32_t>(v)) * (1.0f / 2147483648.0f);
}

template <>
float Sample<SampleType::Float32>(const uint8_t* p) {
  float v;
  std::memcpy(&v, p, sizeof v);
  if (std::isnan(v)) return 0;
  return v > kFloatLimit ? kFloatLimit : v < -kFloatLimit ? -kFloatLimit : v;
}

template <SampleType T>
void Convert(const uint8_t* in, uint32_t frames, const StereoDownmix& mix, float* out) {
  const uint32_t channels = mix.Channels();
  const size_t bytes = SampleBytes(T);
  for (uint32_t f = 0; f < frames; ++f, in += bytes * channels, out += 2) {
    if (channels == 1) {
      out[0] = out[1] = Sample<T>(in);
    } else if (mix.Stereo()) {
      out[0] = Sample<T>(in);
      out[1] = Sample<T>(in + bytes);
    } else {
      float left = 0, right = 0;
      for (uint32_t c = 0; c < channels; ++c) {
        const float v = Sample<T>(in + c * bytes);
        left += mix.Left(c) * v;
        right += mix.Right(c) * v;
      }
      out[0] = left;
      out[1] = right;
    }
  }
}

}  // namespace

uint32_t DeviceFormat::BytesPerFrame() const { return SampleBytes(type) * channels; }

bool DeviceFormat::Valid() const {
  return SampleBytes(type) != 0 && channels >= 1 && channels <= 32 && rate >= 8000 &&
         rate <= 384000;
}

uint32_t UsualChannelMask(uint32_t channels) {
  using namespace speaker;
  constexpr uint32_t kStereo = kFrontLeft | kFrontRight;
  constexpr uint32_t kFiveOne = kStereo | kFrontCenter | kLowFrequency | kBackLeft | kBackRight;
  switch (channels) {
    case 1:
      return kFrontCenter;
    case 2:
      return kStereo;
    case 3:
      return kStereo | kFrontCenter;
    case 4:
      return kStereo | kBackLeft | kBackRight;
    case 5:
      return kFiveOne & ~kLowFrequency;
    case 6:
      return kFiveOne;
    case 7:
      return kStereo | kFrontCenter | kLowFrequency | kBackCenter | kSideLeft | kSideRight;
    case 8:
      return kFiveOne | kSideLeft | kSideRight;
  }
  return 0;
}

StereoDownmix::StereoDownmix(uint32_t channels, uint32_t channelMask)
    : left_(channels, 0.0f), right_(channels, 0.0f) {
  if (channels == 1) {
    left_[0] = right_[0] = 1;
    return;
  }
  uint32_t mask = channelMask ? channelMask : UsualChannelMask(channels);
  for (uint32_t c = 0; c < channels; ++c) {
    // The lowest bit left places this channel; none left: no known place.
    const uint32_t bit = mask & (~mask + 1);
    mask &= ~bit;
    const Share share = ShareOf(bit);
    left_[c] = share.left;
    right_[c] = share.right;
  }
  stereo_ = channels == 2 && left_[0] == 1 && right_[0] == 0 && left_[1] == 0 && right_[1] == 1;
}

void ConvertToStereo(const DeviceFormat& format, const StereoDownmix& mix, const void* data,
                     uint32_t frames, float* out) {
  const auto* in = static_cast<const uint8_t*>(data);
  switch (format.type) {
    case SampleType::Int16:
      return Convert<SampleType::Int16>(in, frames, mix, out);
    case SampleType::Int24:
      return Convert<SampleType::Int24>(in, frames, mix, out);
    case SampleType::Int32:
      return Convert<SampleType::Int32>(in, frames, mix, out);
    case SampleType::Float32:
      return Convert<SampleType::Float32>(in, frames, mix, out);
  }
}

}  // namespace orvik::sound
