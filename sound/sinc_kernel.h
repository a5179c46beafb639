#pragma once
// The resampler's interpolation kernel: a Kaiser-windowed sinc (beta 7) tabulated at 256 phases,
// interpolated linearly between them. 16 taps at the lower of the two rates, cutoff at 0.9 of
// the lower Nyquist frequency: whatever the phase, flat within 0.001 dB at 1 kHz and 0.06 dB
// at 16 kHz (-2.7 dB at 20 kHz), while images and aliases from beyond 0.6 of the rate are at
// least 73 dB down. Fewer taps either dull the treble or let images through at -35 dB; more buy
// little below 16 kHz. A device faster than the output widens the kernel in proportion, so the
// cutoff follows the output's Nyquist frequency (32 taps at 96 kHz).
#include <vector>

namespace orvik::sound {

class SincKernel {
 public:
  // `inputPerOutput`: device frames per output frame at the nominal rates.
  explicit SincKernel(double inputPerOutput);

  int Taps() const { return taps_; }  // even
  // The weights of Taps() consecutive input frames for a position `phase` (0 <= phase < 1)
  // after the frame at index Taps() / 2 - 1 of them. They add up to one, so a constant input
  // comes out unchanged.
  void Weights(double phase, float* weights) const;

 private:
  int taps_;
  std::vector<float> table_;  // phases + 1 rows of taps_ weights
};

}  // namespace orvik::sound
