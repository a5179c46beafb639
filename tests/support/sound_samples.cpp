#include "support/sound_samples.h"

#include <algorithm>
#include <cmath>
#include <complex>

namespace testsupport {

namespace {

constexpr double kPi = 3.14159265358979323846;
// 0.68 s at 48 kHz: bins of 1.5 Hz, and long tones still give several windows to average.
constexpr size_t kMaxWindow = 32768;
constexpr size_t kMinWindow = 256;

uint32_t Le32(const std::string& b, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}

uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8);
}

void Fft(std::vector<std::complex<double>>& a) {
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> step = std::polar(1.0, -2 * kPi / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> w = 1;
      for (size_t k = 0; k < len / 2; ++k, w *= step) {
        const std::complex<double> u = a[i + k], v = a[i + k + len / 2] * w;
        a[i + k] = u + v;
        a[i + k + len / 2] = u - v;
      }
    }
  }
}

// Power spectrum averaged over half-overlapping Hann windows of n samples (Welch).
std::vector<double> AveragePower(const std::vector<float>& x, size_t n) {
  std::vector<double> power(n / 2, 0);
  std::vector<std::complex<double>> frame(n);
  for (size_t at = 0; at + n <= x.size(); at += n / 2) {
    for (size_t i = 0; i < n; ++i)
      frame[i] = x[at + i] * (0.5 - 0.5 * std::cos(2 * kPi * i / static_cast<double>(n)));
    Fft(frame);
    for (size_t k = 0; k < n / 2; ++k) power[k] += std::norm(frame[k]);
  }
  return power;
}

}  // namespace

Sound::Sound(std::vector<float> interleaved, int channels, int rate, double start)
    : samples_(std::move(interleaved)), channels_(channels), rate_(rate), start_(start) {}

Sound Sound::Failed(std::string why) {
  Sound s;
  s.error_ = std::move(why);
  return s;
}

Sound Sound::FromWav(const std::string& b) {
  if (b.size() < 12 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 4, "WAVE") != 0)
    return Failed("not a WAV file");
  int channels = 0, rate = 0, bits = 0;
  for (size_t at = 12; at + 8 <= b.size();) {
    const std::string id = b.substr(at, 4);
    // A writer that could not seek back leaves the data size unset: the rest is data.
    const size_t size = std::min<size_t>(Le32(b, at + 4), b.size() - at - 8);
    if (id == "fmt " && size >= 16) {
      channels = Le16(b, at + 10);
      rate = static_cast<int>(Le32(b, at + 12));
      bits = Le16(b, at + 22);
    } else if (id == "data") {
      if (bits != 16 || channels <= 0 || rate <= 0) return Failed("WAV data is not 16-bit PCM");
      std::vector<float> samples(size / 2);
      for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>(Le16(b, at + 8 + 2 * i)) / 32768.0f;
      return Sound(std::move(samples), channels, rate);
    }
    at += 8 + size + (size & 1);
  }
  return Failed("WAV file has no data");
}

Sound Sound::Between(double from, double to) const {
  if (!Ok()) return *this;
  auto frameAt = [&](double t) {
    const double f = std::round((t - start_) * rate_);
    return static_cast<size_t>(std::clamp(f, 0.0, static_cast<double>(Frames())));
  };
  const size_t first = frameAt(from), last = std::max(first, frameAt(to));
  return Sound(
      std::vector<float>(samples_.begin() + first * channels_, samples_.begin() + last * channels_),
      channels_, rate_, start_ + static_cast<double>(first) / rate_);
}

Sound Sound::Channel(int channel) const {
  if (channel < 0 || channel >= channels_) return Failed("no channel " + std::to_string(channel));
  std::vector<float> one(Frames());
  for (size_t i = 0; i < one.size(); ++i) one[i] = samples_[i * channels_ + channel];
  return Sound(std::move(one), 1, rate_, start_);
}

std::vector<float> Sound::Mono() const {
  std::vector<float> mono(Frames(), 0);
  for (size_t i = 0; i < samples_.size(); ++i) mono[i / channels_] += samples_[i] / channels_;
  return mono;
}

double Sound::Frequency() const {
  if (!Ok() || Rms() < 1e-4) return 0;
  const std::vector<float> mono = Mono();
  size_t n = kMaxWindow;
  while (n > mono.size()) n >>= 1;
  if (n < kMinWindow) return 0;
  const std::vector<double> power = AveragePower(mono, n);
  const size_t k = std::max_element(power.begin() + 1, power.end() - 1) - power.begin();
  // The peak's true place between bins, from a parabola through the log power around it.
  const double a = std::log(power[k - 1] + 1e-30), b = std::log(power[k] + 1e-30),
               c = std::log(power[k + 1] + 1e-30);
  const double curve = a - 2 * b + c;
  const double shift = curve < 0 ? 0.5 * (a - c) / curve : 0;
  return (static_cast<double>(k) + shift) * rate_ / static_cast<double>(n);
}

double Sound::Rms() const {
  if (samples_.empty()) return 0;
  double sum = 0;
  for (float s : samples_) sum += static_cast<double>(s) * s;
  return std::sqrt(sum / static_cast<double>(samples_.size()));
}

double Sound::Peak() const {
  float peak = 0;
  for (float s : samples_) peak = std::max(peak, std::fabs(s));
  return peak;
}

std::vector<double> Sound::Clicks(double threshold, double quietSeconds) const {
  std::vector<double> onsets;
  if (!Ok()) return onsets;
  const size_t quietNeeded = static_cast<size_t>(quietSeconds * rate_);
  size_t quiet = quietNeeded;  // the recording's start counts as quiet
  for (size_t f = 0; f < Frames(); ++f) {
    float loudest = 0;
    for (int c = 0; c < channels_; ++c)
      loudest = std::max(loudest, std::fabs(samples_[f * channels_ + c]));
    if (loudest < threshold) {
      ++quiet;
      continue;
    }
    if (quiet >= quietNeeded) onsets.push_back(start_ + static_cast<double>(f) / rate_);
    quiet = 0;
  }
  return onsets;
}

}  // namespace testsupport
