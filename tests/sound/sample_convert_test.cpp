// The fold of a device's channels to stereo, heard as a listener would: every channel plays a
// tone of its own pitch, and each pitch's level is measured on the left and on the right.
#include "sound/sample_convert.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sound/simulated_device.h"

namespace orvik::sound {
namespace {

using namespace speaker;

constexpr double kPi = 3.14159265358979;
constexpr uint32_t kFrames = 4800;  // 0.1 s: every channel's tone fills whole cycles
constexpr double kAmplitude = 0.5;

double HzOf(uint32_t channel) { return 500 + 250.0 * channel; }

// A channel's level on each side, as a gain: 1 is the level it was played at.
struct Heard {
  double left, right;
};

// The peak amplitude of `hz` on one side of interleaved stereo.
double AmplitudeOf(const std::vector<float>& stereo, int side, double hz) {
  double sine = 0, cosine = 0;
  for (uint32_t f = 0; f < kFrames; ++f) {
    const double phase = 2 * kPi * hz * f / kOutputRate;
    sine += stereo[2 * f + side] * std::sin(phase);
    cosine += stereo[2 * f + side] * std::cos(phase);
  }
  return 2 * std::hypot(sine, cosine) / kFrames;
}

std::vector<Heard> Fold(const DeviceFormat& format) {
  const uint32_t channels = format.channels, bytes = format.BytesPerFrame() / channels;
  std::vector<uint8_t> data(kFrames * format.BytesPerFrame());
  for (uint32_t f = 0; f < kFrames; ++f)
    for (uint32_t c = 0; c < channels; ++c)
      sim::EncodeSample(format.type, kAmplitude * std::sin(2 * kPi * HzOf(c) * f / format.rate),
                        &data[(f * channels + c) * bytes]);
  std::vector<float> stereo(2 * kFrames);
  ConvertToStereo(format, StereoDownmix(channels, format.channelMask), data.data(), kFrames,
                  stereo.data());
  std::vector<Heard> heard;
  for (uint32_t c = 0; c < channels; ++c)
    heard.push_back({AmplitudeOf(stereo, 0, HzOf(c)) / kAmplitude,
                     AmplitudeOf(stereo, 1, HzOf(c)) / kAmplitude});
  return heard;
}

// Fronts at unity, so stereo played through a surround output keeps its level; the centre at
// -3 dB on both sides; surrounds and heights at -3 dB on their side; the LFE left out; nothing
// scaled down to make room for the rest.
TEST(StereoDownmix, EveryChannelIsHeardWhereItsSpeakerStandsAtItsLevel) {
  const double half = 0.70710678;
  const Heard left{1, 0}, right{0, 1}, centre{half, half}, lfe{0, 0}, leftSurround{half, 0},
      rightSurround{0, half}, backCentre{0.5, 0.5};
  struct Layout {
    std::string name;
    DeviceFormat format;
    std::vector<Heard> expected;
  };
  const uint32_t fiveOne = kFrontLeft | kFrontRight | kFrontCenter | kLowFrequency;
  const std::vector<Layout> layouts = {
      {"mono", {SampleType::Int16, 48000, 1}, {{1, 1}}},
      {"stereo", {SampleType::Float32, 48000, 2}, {left, right}},
      {"quad",
       {SampleType::Float32, 48000, 4, kFrontLeft | kFrontRight | kBackLeft | kBackRight},
       {left, right, leftSurround, rightSurround}},
      {"5.1 back",
       {SampleType::Int32, 48000, 6, fiveOne | kBackLeft | kBackRight},
       {left, right, centre, lfe, leftSurround, rightSurround}},
      {"5.1 side",
       {SampleType::Int24, 48000, 6, fiveOne | kSideLeft | kSideRight},
       {left, right, centre, lfe, leftSurround, rightSurround}},
      {"7.1",
       {SampleType::Float32, 48000, 8, fiveOne | kBackLeft | kBackRight | kSideLeft | kSideRight},
       {left, right, centre, lfe, leftSurround, rightSurround, leftSurround, rightSurround}},
      {"7.1 without a mask",
       {SampleType::Int16, 48000, 8},
       {left, right, centre, lfe, leftSurround, rightSurround, leftSurround, rightSurround}},
      {"6.1 without a mask",
       {SampleType::Float32, 48000, 7},
       {left, right, centre, lfe, backCentre, leftSurround, rightSurround}},
      {"four channels, two placed",
       {SampleType::Float32, 48000, 4, kFrontLeft | kFrontRight},
       {left, right, centre, centre}},
      {"7.1 wide with heights",
       {SampleType::Float32, 48000, 10,
        fiveOne | kBackLeft | kBackRight | kFrontLeftOfCenter | kFrontRightOfCenter |
            kTopFrontLeft | kTopFrontRight},
       {left,
        right,
        centre,
        lfe,
        leftSurround,
        rightSurround,
        {0.92388, 0.38268},
        {0.38268, 0.92388},
        leftSurround,
        rightSurround}},
  };
  for (const Layout& layout : layouts) {
    const std::vector<Heard> heard = Fold(layout.format);
    for (uint32_t c = 0; c < layout.format.channels; ++c) {
      SCOPED_TRACE(layout.name + ", channel " + std::to_string(c + 1));
      EXPECT_NEAR(heard[c].left, layout.expected[c].left, 1e-3);
      EXPECT_NEAR(heard[c].right, layout.expected[c].right, 1e-3);
    }
  }
}

}  // namespace
}  // namespace orvik::sound
