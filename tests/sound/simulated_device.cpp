#include "sound/simulated_device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvik::sound::sim {
namespace {

constexpr double kTick = 0.01;

bool InAny(const std::vector<Span>& spans, double t) {
  return std::any_of(spans.begin(), spans.end(), [t](const Span& s) { return s.Holds(t); });
}

// Independent jitter of up to +/-`amplitude` on each tick that still never goes back: tick k's
// time plus its draw, emitted in sorted order (a draw can only pass the four ticks around it).
// Deterministic and the same everywhere, unlike the standard distributions.
class Jitter {
 public:
  explicit Jitter(double amplitude) : amplitude_(amplitude) {
    for (int i = 0; i < 5; ++i) Draw();
  }
  double Next() {
    const auto least = std::min_element(ahead_.begin(), ahead_.end());
    const double noise = *least - kTick * emitted_++;
    ahead_.erase(least);
    Draw();
    return noise;
  }

 private:
  void Draw() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    const double u = static_cast<double>(state_ >> 11) / 9007199254740992.0;
    ahead_.push_back(kTick * drawn_++ + amplitude_ * (2 * u - 1));
  }
  double amplitude_;
  uint64_t state_ = 42;
  int64_t drawn_ = 0, emitted_ = 0;
  std::vector<double> ahead_;
};

}  // namespace

void EncodeSample(SampleType type, double v, uint8_t* p) {
  switch (type) {
    case SampleType::Int16: {
      const auto s = static_cast<int16_t>(std::lround(v * 32767));
      std::memcpy(p, &s, 2);
      break;
    }
    case SampleType::Int24: {
      const auto s = static_cast<int32_t>(std::lround(v * 8388607));
      std::memcpy(p, &s, 3);
      break;
    }
    case SampleType::Int32: {
      const auto s = static_cast<int32_t>(std::lround(v * 2147483647.0));
      std::memcpy(p, &s, 4);
      break;
    }
    case SampleType::Float32: {
      const auto s = static_cast<float>(v);
      std::memcpy(p, &s, 4);
      break;
    }
  }
}

double Device::RecordingTime(double t) const {
  double paused = 0;
  for (const Span& p : pauses) paused += std::clamp(t - p.from, 0.0, p.to - p.from);
  return t - paused;
}

void Record(const Device& device, Timeline& timeline,
            const std::function<void(const std::vector<float>&)>& listen) {
  const uint32_t bytes = device.format.BytesPerFrame(), channels = device.format.channels;
  const auto period = static_cast<int64_t>(device.format.rate * kTick);
  Jitter jitter(device.jitter);
  double readAt = 0;
  int64_t read = 0;
  std::vector<uint8_t> packet;
  std::vector<double> samples;
  std::vector<float> out;
  const auto ticks = static_cast<int64_t>(std::llround(device.seconds / kTick));
  for (int64_t k = 1; k <= ticks; ++k) {
    const double t = k * kTick;
    const auto made = static_cast<int64_t>(std::floor(t * device.TrueRate()));
    if (InAny(device.gaps, t)) read = made;
    const bool stalled = InAny(device.stalls, t);
    if (!stalled) readAt = std::max(readAt, device.RecordingTime(t) + jitter.Next());
    for (; read < made && !stalled; read += period) {
      const auto frames = static_cast<uint32_t>(std::min(period, made - read));
      if (InAny(device.pauses, t)) continue;
      samples.assign(frames, 0.0);
      device.sound(read, samples);
      const bool silent = std::all_of(samples.begin(), samples.end(), [](double v) { return !v; });
      packet.resize(static_cast<size_t>(frames) * bytes);
      for (uint32_t f = 0; f < frames && !silent; ++f)
        for (uint32_t c = 0; c < channels; ++c)
          EncodeSample(device.format.type, device.sounding >> c & 1 ? samples[f] : 0.0,
                       &packet[(f * channels + c) * (bytes / channels)]);
      timeline.Push(packet.data(), frames, readAt, silent);
    }
    if (!stalled) read = made;
    const bool last = k == ticks;
    if (k % 50 != 0 && !last) continue;
    out.clear();
    timeline.Produce(device.RecordingTime(t) - (last ? 0 : device.lag), &out);
    listen(out);
  }
}

void PulseFinder::Feed(const std::vector<float>& stereo) {
  const auto nonzero = [](float v) { return v != 0; };
  for (auto it = stereo.begin(); it != stereo.end();) {
    if (peak_ == 0) {  // between pulses: skip the silence at once
      const auto next = std::find_if(it, stereo.end(), nonzero);
      const auto skipped = (next - it) / 2;
      frame_ += skipped;
      it += 2 * skipped;
      if (skipped > 0) previous_ = 0;
      if (it == stereo.end()) break;
    }
    Step(*it);
    it += 2;
  }
}

void PulseFinder::Step(double v) {
  if (peakFrame_ == frame_ - 1) afterPeak_ = v;
  if (v != 0 && std::fabs(v) > std::fabs(peak_)) {
    peak_ = v;
    peakFrame_ = frame_;
    beforePeak_ = previous_;
  }
  if (v == 0 && peak_ != 0) {
    const double curve = beforePeak_ - 2 * peak_ + afterPeak_;
    const double shift = curve != 0 ? (beforePeak_ - afterPeak_) / (2 * curve) : 0;
    pulses_.push_back((peakFrame_ + shift) / kOutputRate);
    peak_ = 0;
  }
  previous_ = v;
  ++frame_;
}

}  // namespace orvik::sound::sim
