#pragma once
// A recording in fast-forward for the sound timeline: a device on its own clock (`ppm` off its
// nominal rate) read every 10 ms of real time by a capture thread whose readAt wanders within
// +/-`jitter`, with the stalls, gaps and pauses a test asks for, and a writer that asks for
// sound `lag` behind the recording clock every half second and for the exact end at the last.
#include <cstdint>
#include <functional>
#include <vector>

#include "sound/sound_timeline.h"

namespace orvik::sound::sim {

struct Span {
  double from, to;  // real seconds
  bool Holds(double t) const { return t >= from && t < to; }
};

struct Device {
  DeviceFormat format;
  double ppm = 0;
  double jitter = 0;
  double lag = 0.3;
  double seconds = 10;       // real time simulated
  std::vector<Span> gaps;    // the device makes nothing (loopback while nothing plays)
  std::vector<Span> stalls;  // nothing is read; what was made arrives at the end, all at once
  std::vector<Span> pauses;  // the recording is paused: read, but not pushed
  // Fills `samples` for the device's frames from `first` on; frame m is made at real time
  // m / TrueRate(). Packets left all zero are pushed as silent.
  std::function<void(int64_t first, std::vector<double>& samples)> sound;
  // The channels that carry `sound`, a bit each (all alike); the others stay silent.
  uint64_t sounding = ~uint64_t{0};

  double TrueRate() const { return format.rate * (1 + ppm * 1e-6); }
  // The recording clock at real time `t`.
  double RecordingTime(double t) const;
};

// Writes `v` (-1..1) as one sample of `type` at `p`.
void EncodeSample(SampleType type, double v, uint8_t* p);

// Runs `device` into `timeline`, handing each Produce's frames to `listen`.
void Record(const Device& device, Timeline& timeline,
            const std::function<void(const std::vector<float>& stereo)>& listen);

// Output times (seconds) of the pulses a stream of clicks comes out as: each run of frames
// that are not exactly zero, at its peak interpolated between frames.
class PulseFinder {
 public:
  void Feed(const std::vector<float>& stereo);
  const std::vector<double>& Pulses() const { return pulses_; }

 private:
  void Step(double v);
  int64_t frame_ = 0, peakFrame_ = -1;
  double peak_ = 0, beforePeak_ = 0, afterPeak_ = 0, previous_ = 0;
  std::vector<double> pulses_;
};

}  // namespace orvik::sound::sim
