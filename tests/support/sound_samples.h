#pragma once
// A stretch of recorded sound and what the tests ask of it: its dominant frequency, its level
// and the instants of its clicks, so a test reads like the behaviour it checks:
//   EXPECT_NEAR(SoundOf(avi).Between(1.0, 3.0).Frequency(), 1000, 2);
// Window-free: samples come from a WAV file (ffmpeg's extraction) or a capture.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

class Sound {
 public:
  Sound() = default;
  // Interleaved samples, full scale = 1. `start` is the time of the first frame in the whole
  // recording, so the times a part reports are the recording's.
  Sound(std::vector<float> interleaved, int channels, int rate, double start = 0);
  // A failed extraction or capture, and why.
  static Sound Failed(std::string why);
  // 16-bit PCM WAV file contents; Failed when it is anything else.
  static Sound FromWav(const std::string& bytes);

  bool Ok() const { return rate_ > 0 && channels_ > 0; }
  const std::string& Error() const { return error_; }
  int Rate() const { return rate_; }
  int Channels() const { return channels_; }
  size_t Frames() const { return channels_ > 0 ? samples_.size() / channels_ : 0; }
  double Start() const { return start_; }
  double Seconds() const { return rate_ > 0 ? static_cast<double>(Frames()) / rate_ : 0; }

  // The part from `from` to `to` seconds of the recording (clamped to what there is).
  Sound Between(double from, double to) const;
  // One channel alone (0 left, 1 right).
  Sound Channel(int channel) const;

  // The frequency with the most energy, in Hz (to a fraction of a hertz for a steady tone);
  // 0 for silence.
  double Frequency() const;
  // Root mean square over every sample, full scale = 1 (a sine of peak A: A / sqrt 2).
  double Rms() const;
  // The largest magnitude of any sample.
  double Peak() const;
  // Times (seconds of the recording) where the sound rises to `threshold` after at least
  // `quietSeconds` below it: the onsets of clicks. A tone louder than the threshold counts
  // once, where it starts.
  std::vector<double> Clicks(double threshold = 0.1, double quietSeconds = 0.05) const;

 private:
  std::vector<float> Mono() const;

  std::vector<float> samples_;
  int channels_ = 0;
  int rate_ = 0;
  double start_ = 0;
  std::string error_;
};

}  // namespace testsupport
